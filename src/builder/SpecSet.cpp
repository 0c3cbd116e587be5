#include "SpecSet.h"

#include <cstdio>
#include <cstring>

#include "ObjectBuilder.h"
#include "TagKeys.h"
#include "resfile.h"

namespace {

// Pair-group numbers run from 1 to 255; 0 is none.
constexpr int32_t kPairGroupCount = 256;

// Gives the set ownership of a new spec: appended, or put first. A list that cannot take
// it (it is full) ends the build, at `place` (the tag), rather than losing the tag.
template <class T>
T* Adopt(PtrList<T>& list, T* spec, bool first, const AttribEntry* place = nullptr) {
  if (first) {
    list.Prepend(spec);
  } else {
    list.Append(spec);
  }
  if (!list.Contains(spec)) {
    delete spec;
    ThrowError("too many tags of one kind in spec file (at most 32767)", place);
  }
  return spec;
}

}  // namespace

SpecSet::SpecSet(iResFile* file) : fFile(file) { fHeadlineSizes.SetHeadlineDefaults(); }

SpecSet::~SpecSet() {
  DeleteAll(fSprites);
  DeleteAll(fDrawGroups);
  DeleteAll(fSounds);
  DeleteAll(fSlots);
  DeleteAll(fHeadlines);
  DeleteAll(fAttributes);
  DeleteAll(fSkillTables);
  DeleteAll(fTargets);
  DeleteAll(fCatalogs);
  DeleteAll(fTreeTables);
  DeleteAll(fBitmaps);
  DeleteAll(fWallStyles);
}

// Tag dispatch, in file order. "Put first" lists hold the last tag first.
//   career, job          ignored
//   sprite, headline     a SpriteSpec, appended (a headline also a HeadlineSpec, put first)
//   wall style           WallStyleSpriteSpec, put first
//   catalog, ttab,
//   bmpfile              their specs, put first
//   interaction          into the latest ttab
//   target               registers a target
//   drawgroup            DGRPSpec, appended; item tags go into the latest one
//   sizes                the sprite sizes
//   sound, slots,
//   attributes           their specs, appended; slot and attribute tags go into the latest
//   skill table          one at most; skill tags go into it
//   anything else        the warning "unknown tag: %s"
// A key that its tag does not read is reported too (WarnUnknownKeys), before the tag is
// compiled.
void SpecSet::ParseSpecTags(AttribTableList& tags) {
  fHeadlineSizes.SetHeadlineDefaults();
  GetDefaultTarget();

  DGRPSpec* latestDrawGroup = nullptr;
  SlotsSpec* latestSlots = nullptr;
  AttrStringSpec* latestAttributes = nullptr;
  SkillTable* skillTable = nullptr;
  SpriteSpec* previousSprite = nullptr;
  int32_t spriteCounter = 0;
  int32_t headlineCounter = 0;

  for (int32_t index = 0; index < tags.Count(); index++) {
    AttribTable& tag = *tags.Nth(index);
    const char* name = TagName(tag);

    if (std::strcmp(name, "career") == 0 || std::strcmp(name, "job") == 0) continue;
    WarnUnknownKeys(tag);
    if (std::strcmp(name, "sprite") == 0 || std::strcmp(name, "headline") == 0) {
      const bool headline = std::strcmp(name, "headline") == 0;
      if (headline) {
        Adopt(fHeadlines, new HeadlineSpec, true, TagPlace(tag))->Parse(tag, headlineCounter);
      }
      SpriteSpec* sprite = Adopt(fSprites, new SpriteSpec, false, TagPlace(tag));
      sprite->Parse(tag, spriteCounter, headline ? fHeadlineSizes : fSpriteSizes,
                    previousSprite ? &previousSprite->mFileName : nullptr, headline);
      fFirstSpriteOfId.emplace(sprite->fId, sprite);
      previousSprite = sprite;
    } else if (std::strcmp(name, "wall style") == 0) {
      Adopt(fWallStyles, new WallStyleSpriteSpec, true, TagPlace(tag))->Parse(tag);
    } else if (std::strcmp(name, "catalog") == 0) {
      Adopt(fCatalogs, new CatalogSpec, true, TagPlace(tag))->Parse(tag, *this);
    } else if (std::strcmp(name, "ttab") == 0) {
      Adopt(fTreeTables, new TreeTableSpec, true, TagPlace(tag))->Parse(tag, *this);
    } else if (std::strcmp(name, "interaction") == 0) {
      if (fTreeTables.Nth(0) == nullptr) ThrowError("interaction tag without ttab tag");
      fTreeTables.Nth(0)->ParseInteraction(tag);
    } else if (std::strcmp(name, "bmpfile") == 0) {
      Adopt(fBitmaps, new BMPResourceSpec, true, TagPlace(tag))->Parse(tag);
    } else if (std::strcmp(name, "target") == 0) {
      GetTargetForTag(tag);
    } else if (std::strcmp(name, "drawgroup") == 0) {
      latestDrawGroup = Adopt(fDrawGroups, new DGRPSpec, false, TagPlace(tag));
      latestDrawGroup->Parse(tag, fFile);
    } else if (std::strcmp(name, "item") == 0) {
      if (latestDrawGroup == nullptr) ThrowError("item tag received before drawgroup tag");
      latestDrawGroup->ParseItem(tag, *this);
    } else if (std::strcmp(name, "sizes") == 0) {
      fSpriteSizes.ParseSizes(tag);
    } else if (std::strcmp(name, "sound") == 0) {
      Adopt(fSounds, new SoundSpec, false, TagPlace(tag))->Parse(tag);
    } else if (std::strcmp(name, "slots") == 0) {
      latestSlots = Adopt(fSlots, new SlotsSpec, false, TagPlace(tag));
      latestSlots->Parse(tag, fFile);
    } else if (std::strcmp(name, "slot") == 0) {
      if (latestSlots == nullptr) ThrowError("slot tag received before slots tag");
      latestSlots->ParseSlot(tag);
    } else if (std::strcmp(name, "attributes") == 0) {
      latestAttributes = Adopt(fAttributes, new AttrStringSpec, false, TagPlace(tag));
      latestAttributes->Parse(tag);
    } else if (std::strcmp(name, "attribute") == 0) {
      if (latestAttributes == nullptr) ThrowError("got an attribute tag before attributes tag");
      latestAttributes->ParseAttribute(tag);
    } else if (std::strcmp(name, "skill table") == 0) {
      if (skillTable != nullptr) ThrowError("found more than one skill table tag");
      skillTable = Adopt(fSkillTables, new SkillTable, false, TagPlace(tag));
      skillTable->Parse(tag);
    } else if (std::strcmp(name, "skill") == 0) {
      if (skillTable == nullptr) ThrowError("got a skill tag before \"skill table tag\"");
      skillTable->ParseSkill(tag);
    } else {
      char message[1024];
      std::snprintf(message, sizeof message, "unknown tag: %s", name);
      PrintWarning(message, TagPlace(tag));
    }
  }

  ResolvePairGroups();
}

void SpecSet::ResolvePairGroups() {
  bool seen[kPairGroupCount] = {};
  for (PtrListIterator<SpriteSpec> it(fSprites); it.Current(); it.Next()) {
    const int32_t g = it.Current()->fPairing;
    const SpriteSpec& sprite = *it.Current();
    if (g >= kPairGroupCount) ThrowErrorAtSpec("code error, too many pair groups", sprite);
    if (g < 0) ThrowErrorAtSpec("pairing expected to be >=0", sprite);
    if (g == 0 || seen[g]) continue;
    seen[g] = true;

    PtrList<SpriteSpec> group;
    for (PtrListIterator<SpriteSpec> member(fSprites); member.Current(); member.Next()) {
      if (member.Current()->fPairing == g) group.Append(member.Current());
    }
    if (group.Count() < 2) {
      ThrowErrorAtSpec("could not find more than one sprite for a pair group", sprite);
    }

    for (PtrListIterator<DGRPSpec> dg(fDrawGroups); dg.Current(); dg.Next()) {
      DGRPSpec* drawGroup = dg.Current();
      DGRPEmbedded* used = nullptr;
      for (PtrListIterator<SpriteSpec> member(group); member.Current(); member.Next()) {
        DGRPEmbedded* pair = drawGroup->FindEmbedded(member.Current());
        if (pair == nullptr) continue;
        if (used != nullptr) {
          ThrowErrorAtSpec("draw group uses two sprites from same pair group", *drawGroup);
        }
        used = pair;
      }
      if (used == nullptr) continue;
      const int32_t offset = used->fDirectionOffset;
      for (PtrListIterator<SpriteSpec> member(group); member.Current(); member.Next()) {
        if (drawGroup->FindEmbedded(member.Current()) == nullptr) {
          drawGroup->AddEmbedded(offset, member.Current());
        }
      }
      drawGroup->CompletePairGroup(group);
    }
  }
}

TargetSpec* SpecSet::GetDefaultTarget() {
  if (fFile == nullptr || fFile->Count(kObjDefinitionType) != 1) return nullptr;
  const int16_t registered = fTargets.Count();
  if (registered == 0) {
    MHandle* handle = fFile->GetIndResource(kObjDefinitionType, 1);
    if (handle == nullptr) ThrowError("could not get default target");
    return GetTarget(handle);
  }
  if (registered == 1) return fTargets.Nth(0);
  return nullptr;
}

TargetSpec* SpecSet::GetTargetForTag(AttribTable& tag) {
  int64_t guid = 0;
  if (GetRangedAttr(tag, "guid", kGuidRange, guid, kLongExpected)) {
    const int16_t count = fFile ? fFile->Count(kObjDefinitionType) : 0;
    for (int32_t index = 1; index <= count; index++) {
      MHandle* handle = fFile->GetIndResource(kObjDefinitionType, uint16_t(index));
      TargetSpec* target = handle ? GetTarget(handle) : nullptr;
      if (target == nullptr) ThrowError("could not create target from handle", TagPlace(tag));
      ObjDefinition* definition = target->GetDefinition();
      if (definition != nullptr && definition->GetGUID() == uint32_t(guid)) return target;
    }
    char message[128];
    std::snprintf(message, sizeof message, "could not find object with guid %ld",
                  long(int32_t(uint32_t(guid))));
    PrintFileWarning(fFile, message);
    return nullptr;
  }

  AttribEntry* object = tag.FindEntry("object");
  if (object == nullptr) ThrowError("object name or guid required in target spec", TagPlace(tag));
  FixedStringBuffer<64> name(EntryValue(object));
  MHandle* handle = fFile ? fFile->GetNamedResource(kObjDefinitionType, name) : nullptr;
  if (handle == nullptr) ThrowError("coult not get objd resource for target tag", TagPlace(tag));
  return GetTarget(handle);
}

TargetSpec* SpecSet::GetTarget(MHandle* handle) {
  for (PtrListIterator<TargetSpec> it(fTargets); it.Current(); it.Next()) {
    if (it.Current()->GetHandle() == handle) return it.Current();
  }
  return Adopt(fTargets, new TargetSpec(fFile, handle), false);
}

SpecSet* CurrentSpecSet() {
  ObjectBuilder* builder = gCurrentBuilder;
  return builder ? builder->fSpecs : nullptr;
}

void DeleteSpecSet(SpecSet* specs) { delete specs; }
