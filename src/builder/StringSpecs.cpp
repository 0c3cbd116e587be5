// Specs of labelled string sets (slots and attributes), skill tables, sounds and headlines.

#include <cstdio>
#include <cstring>
#include <string>

#include "MakeSPR.h"
#include "ObjectBuilder.h"
#include "StageSpecs.h"
#include "offscrn.h"
#include "resfile.h"

namespace {

// String set of the slot labels.
constexpr uint16_t kSlotLabelsId = 257;
// First 'STR#' id of the skill sets.
constexpr uint16_t kFirstSkillSetId = 129;
// Labels beyond this index would pad a string set without end; only a mistyped index asks.
constexpr int32_t kMaxLabelIndex = 0x7FFE;
constexpr IntRange kLabelIndexRange{0, kMaxLabelIndex};
// Headline sheet rows are 98 pixels apart and their cells reach 97 pixels below the row's top;
// the last row whose cells fit 16-bit coordinates is 333.
constexpr int32_t kHeadlineRowHeight = 98;
constexpr int32_t kLastHeadlineRow = (INT16_MAX - 97) / kHeadlineRowHeight;

const char* const kSkillSetNames[SkillTable::kSetCount] = {"a2o", "c2o", "a2c", "c2a"};

[[noreturn]] void ThrowBadLabelIndex(int32_t index, AttribTable& tag) {
  char message[128];
  std::snprintf(message, sizeof message, "label index %d out of range", int(index));
  ThrowError(message, TagPlace(tag));
}

// A float key, or `absent`.
float FloatOr(AttribTable& tag, const char* key, float absent) {
  float value = absent;
  GetFloatAttr(tag, key, value);
  return value;
}

struct NamedFlag {
  const char* key;
  int32_t flag;
};

const NamedFlag kRoutingFlags[] = {
    {"north", 1},
    {"northeast", 2},
    {"east", 4},
    {"southeast", 8},
    {"south", 16},
    {"southwest", 32},
    {"west", 64},
    {"northwest", 128},
    {"no rotation snap", kSlotNoRotationSnap},
    {"absolute", kSlotAbsolute},
    {"ignore rooms", kSlotIgnoreRooms},
    {"snap to direction", kSlotSnapToDirection},
    {"random", kSlotRandom},
    {"alt not required", kSlotAltNotRequired},
    {"average object location", kSlotAverageObjectLocation},
};

struct NamedHeight {
  const char* name;
  int32_t code;
};

const NamedHeight kSlotHeights[] = {
    {"ground", 1}, {"low table", 2}, {"table", 3},     {"counter", 4},
    {"non-standard", 5}, {"sitting", 7}, {"end table", 8},
};

}  // namespace

bool SetStringLabel(StringSet& set, int32_t index, const char* text) {
  if (index < 0 || index > kMaxLabelIndex) return false;
  while (set.Count() <= index) {
    const int32_t count = set.Count();
    set.SetString(uint32_t(count + 1), std::to_string(count).c_str());
  }
  set.SetString(uint32_t(index + 1), text);
  return true;
}

// --- StringSpec, SlotsSpec, AttrStringSpec --------------------------------------------------

void StringSpec::Parse(AttribTable& tag) {
  ParseCommonAttrs(*this, tag, kResourceIdRange);
  fStrings.SetName(fName.c_str());
}

void SlotsSpec::Parse(AttribTable& tag, iResFile* file) {
  StringSpec::Parse(tag);
  if (file != nullptr) fStrings.Load(file, kSlotLabelsId);
  fStrings.Clear();
  std::string name = fName.c_str();
  name += " labels";
  fStrings.SetName(name.c_str());
}

void SlotsSpec::ParseSlot(AttribTable& tag) {
  SlotDescriptor slot;
  GetFloatAttr(tag, "x", slot.fX);
  GetFloatAttr(tag, "y", slot.fY);
  GetFloatAttr(tag, "alt", slot.fAlt);

  AttribEntry* type = tag.FindEntry("type");
  const char* typeText = type ? EntryValue(type) : nullptr;
  if (typeText == nullptr || std::strcmp(typeText, "contained object") == 0) {
    slot.fType = kSlotContainer;
    slot.fMaxSize = 100;
    GetIntAttr(tag, "maximum size", slot.fMaxSize);
    if (slot.fMaxSize < 0) PrintWarning("negative size value in slot tag", TagPlace(tag));
    if (slot.fMaxSize > 100) {
      PrintWarning("size value in slot tag grater than maximum value", TagPlace(tag));
    }
    uint16_t surface = 0;
    if (GetBoolAttr(tag, "surface", surface) && surface) slot.fSurfaceFlags = 1;
    if (AttribEntry* height = tag.FindEntry("height")) {
      slot.fHeightCode = 0;
      bool known = false;
      for (const NamedHeight& h : kSlotHeights) {
        if (std::strcmp(EntryValue(height), h.name) == 0) {
          slot.fHeightCode = h.code;
          known = true;
        }
      }
      if (!known) PrintWarning("unknown slot height found", height);
    }
  } else if (std::strcmp(typeText, "headline") == 0 || std::strcmp(typeText, "sprite") == 0) {
    slot.fType = kSlotSprite;
  } else if (std::strcmp(typeText, "handle") == 0) {
    slot.fType = kSlotHandle;
  } else if (std::strcmp(typeText, "routing") == 0) {
    slot.fType = kSlotRouting;
    GetIntAttr(tag, "standing", slot.fStanding);
    GetIntAttr(tag, "sitting", slot.fSitting);
    GetIntAttr(tag, "ground", slot.fGround);
    GetIntAttr(tag, "target", slot.fTarget);
    slot.fMin = int32_t(FloatOr(tag, "min", 1.0f) * 16);
    slot.fMax = int32_t(FloatOr(tag, "max", 1.0f) * 16);
    slot.fOptimal = int32_t(FloatOr(tag, "optimal", 1.0f) * 16);
    slot.fGradient = FloatOr(tag, "gradient", 3.0f) / 16;
    slot.fResolution = int32_t(FloatOr(tag, "resolution", 1.0f) * 16);
    for (const NamedFlag& f : kRoutingFlags) {
      if (tag.FindEntry(f.key) != nullptr) slot.fFlags |= f.flag;
    }
    if (tag.FindEntry("facing not required") != nullptr) slot.fFacing = kSlotFacingNotRequired;
    if (tag.FindEntry("opposite facing") != nullptr) slot.fFacing = kSlotFacingOpposite;
  }

  if (AttribEntry* name = tag.FindEntry("name")) {
    const int32_t n = int32_t(fDescriptors.size());
    if (!SetLabel(n, EntryValue(name))) ThrowBadLabelIndex(n, tag);
  }
  fDescriptors.push_back(slot);
}

void SlotsSpec::Save(iResFile* file) {
  if (fStrings.Save(file, kSlotLabelsId) != 0 ||
      SaveSlotList(fDescriptors, file, uint16_t(fId)) != 0) {
    ThrowError("could not save slots");
  }
}

void AttrStringSpec::ParseAttribute(AttribTable& tag) {
  int32_t index = 0;
  if (!GetRangedAttr(tag, "index", kLabelIndexRange, index)) {
    ThrowError("index required for attributes", TagPlace(tag));
  }
  AttribEntry* label = tag.FindEntry("label");
  if (label == nullptr) ThrowError("label required for attrributes", TagPlace(tag));
  if (!SetLabel(index, EntryValue(label))) ThrowBadLabelIndex(index, tag);
}

void AttrStringSpec::Save(iResFile* file) {
  if (fStrings.Save(file, uint16_t(fId)) != 0) ThrowError("could not save attributes");
}

// --- SkillTable -----------------------------------------------------------------------------

void SkillTable::Parse(AttribTable& tag) {
  for (const char* key : {"name", "id"}) {
    if (AttribEntry* entry = tag.FindEntry(key)) {
      char message[512];
      std::snprintf(message, sizeof message, "ignored %s %s for skill table", key,
                    EntryValue(entry));
      PrintWarning(message, entry);
    }
  }
}

void SkillTable::ParseSkill(AttribTable& tag) {
  int32_t index = 0;
  if (!GetRangedAttr(tag, "index", kLabelIndexRange, index)) {
    ThrowError("index required for skill", TagPlace(tag));
  }
  AttribEntry* name = tag.FindEntry("name");
  if (name == nullptr) ThrowError("name required for skill", TagPlace(tag));
  AttribEntry* type = tag.FindEntry("type");
  if (type == nullptr || EntryValue(type)[0] == 0) {
    ThrowError("type required for skill", TagPlace(tag));
  }
  const std::string text = EntryValue(type);
  auto has = [&text](const char* part) { return text.find(part) != std::string::npos; };
  int32_t set = -1;
  if (has("a2a") || has("a2o")) {
    set = 0;
  } else if (has("c2c") || has("c2o")) {
    set = 1;
  } else if (has("a2c")) {
    set = 2;
  } else if (has("c2a")) {
    set = 3;
  } else {
    char message[512];
    std::snprintf(message, sizeof message, "unknown skill type %s found.", text.c_str());
    ThrowError(message, TagPlace(tag));
  }
  if (!SetStringLabel(fSets[set], index, EntryValue(name))) ThrowBadLabelIndex(index, tag);
}

void SkillTable::Save(iResFile* file) {
  // The sets with skills replace their stored sets first; only then do the empty ones remove
  // theirs, so that a save that fails ends the build before any stored set is gone.
  for (int32_t k = 0; k < kSetCount; k++) {
    if (fSets[k].Count() == 0) continue;
    fSets[k].SetName(kSkillSetNames[k]);
    if (fSets[k].Save(file, uint16_t(kFirstSkillSetId + k)) != 0) ThrowError("could not save skills");
  }
  for (int32_t k = 0; k < kSetCount; k++) {
    if (fSets[k].Count() > 0) continue;
    const uint16_t id = uint16_t(kFirstSkillSetId + k);
    if (MHandle* old = file->GetResource(kStringSetType, id, nullptr)) file->RemoveResource(old);
  }
}

// --- SoundSpec ------------------------------------------------------------------------------

void SoundSpec::Parse(AttribTable& tag) {
  ParseCommonAttrs(*this, tag, kResourceIdRange);
  AttribEntry* name = tag.FindEntry("name");
  fWaveFile.assign(name ? EntryValue(name) : "");
  if (fWaveFile.length() == 0) ThrowError("name required for sounds", TagPlace(tag));
}

// --- HeadlineSpec ---------------------------------------------------------------------------

void HeadlineSpec::Parse(AttribTable& tag, int32_t& counter) {
  ParseCommonAttrs(*this, tag, kResourceIdRange);
  int value = 0;
  int64_t row = 0;
  AttribEntry* position = tag.FindEntry("position");
  fFirstRow = position && CheckedInteger(tag, position, IntRange{0, kLastHeadlineRow}, row)
                  ? int32_t(row)
                  : counter;
  AttribEntry* frames = tag.FindEntry("frames");
  fRowCount = frames && std::sscanf(EntryValue(frames), "%d", &value) == 1 ? value : 1;
  // The sheet is cut in 16-bit coordinates: a later row would wrap onto another.
  if (fRowCount > 0 && int64_t(fFirstRow) + fRowCount - 1 > kLastHeadlineRow) {
    char message[128];
    std::snprintf(message, sizeof message,
                  "headline rows %d to %lld go past row %d, the last of a headline sheet",
                  int(fFirstRow), static_cast<long long>(int64_t(fFirstRow) + fRowCount - 1),
                  int(kLastHeadlineRow));
    ThrowError(message, TagPlace(tag));
  }
  counter = fFirstRow + fRowCount;
}

void HeadlineSpec::WriteHeadlineSprites(Offscreen* colour, Offscreen* alpha, iResFile* file) {
  // Each sheet row is 98 pixels high and holds the large, middle and small cell.
  constexpr int32_t kRowHeight = kHeadlineRowHeight;
  std::vector<MacRect> cells;
  for (int32_t r = fFirstRow; r < fFirstRow + fRowCount; r++) {
    const int16_t y = int16_t(kRowHeight * r);
    MacRect large{1, 1, 97, 65};
    MacRect middle{1, 1, 49, 33};
    MacRect small{1, 1, 24, 16};
    MacOffsetRect(large, 0, y);
    MacOffsetRect(middle, 66, y);
    MacOffsetRect(small, 100, y);
    cells.push_back(large);
    cells.push_back(middle);
    cells.push_back(small);
  }
  std::vector<MacRect> trimmed;
  MHandle* list = MakeSpriteList(colour, alpha, cells, trimmed, 1, 50, 0);
  if (list == nullptr) return;
  file->AddResource(list, MakeResType('S', 'P', 'R', '#'), uint16_t(fId), fName, false);
  if (file->GetError() != 0) {
    HFree(list);  // the file did not take it
    ThrowError("could not add sprites to destfile");
  }
  file->WriteResource(list);
  if (file->GetError() != 0) ThrowError("could not write sprites to destfile");
  file->Update();
  if (file->GetError() != 0) ThrowError("could not update dest file");
  file->DetachAndDispose(list);
}
