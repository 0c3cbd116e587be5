#include "DGRPSpec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "attribtable.h"
#include "ObjectBuilder.h"
#include "SpecSet.h"
#include "SpriteSpec.h"
#include "XAssert.h"

namespace {

const int32_t kDirections = 8;
const int32_t kFirstZoom = 1;
const int32_t kLastZoom = 3;

// The item tag's offsets are given in tile units; the group stores them in the game's units.
const float kThird = 0.33333334f;
const float kAltScale = 4.898979f;  // 2 * sqrt(6)
const float kPlaneScale = 16.0f;

// Directions of a sprite: the four even ones, and the odd ones too when it has diagonals.
bool ServesDirection(const SpriteSpec* sprite, int32_t d) {
  return (d & 1) == 0 || (sprite != nullptr && sprite->HasDiagonals());
}

int32_t WrapDirection(int32_t d) { return ((d % kDirections) + kDirections) % kDirections; }

}  // namespace

DGRPSpec::~DGRPSpec() { DeleteAll(fEmbedded); }

void DGRPSpec::Parse(AttribTable& tag, iResFile* file) {
  ParseCommonAttrs(*this, tag, kResourceIdRange);
  fFile = file;
  fOrdering = kOrderingFixed;
  if (AttribEntry* ordering = tag.FindEntry("ordering")) {
    const char* text = EntryValue(ordering);
    if (strcmp(text, "fixed") == 0) {
      fOrdering = kOrderingFixed;
    } else if (strcmp(text, "obscured") == 0) {
      fOrdering = kOrderingObscured;
    } else {
      ThrowError("unknown ordering", ordering);
    }
  }
}

void DGRPSpec::ParseItem(AttribTable& tag, SpecSet& set) {
  const char* tagName = tag.FindName(0);
  XASSERT(tagName != nullptr && strcmp(tagName, "item") == 0, "bad tag");

  const char* type = tag.FindName(1);
  if (type == nullptr || strcmp(type, "sprite") != 0) {
    if (type != nullptr && strcmp(type, "object") == 0) {
      PrintWarning("draw group item tag specifying depracated \"object\" type", nullptr);
      return;
    }
    if (type != nullptr && strcmp(type, "slot") == 0) {
      PrintWarning("draw group item tag specifying depracated \"slot\" type", nullptr);
      return;
    }
    char message[256];
    std::snprintf(message, sizeof message, "unknown item type \"%.64s\" (sprite expected)",
                  type != nullptr ? type : "");
    ThrowError(message, TagPlace(tag));
  }

  DrawGroupItem item;
  float alt = 0;
  GetFloatAttr(tag, "alt", alt);
  item.fAlt = alt * kThird * kAltScale;
  float x = 0;
  float y = 0;
  GetFloatAttr(tag, "x", x);
  GetFloatAttr(tag, "y", y);
  item.fX = x * kThird * kPlaneScale;
  item.fY = y * kThird * kPlaneScale;

  int32_t id = 0;
  if (!GetRangedAttr(tag, "id", kResourceIdRange, id)) ThrowError("id required", TagPlace(tag));
  item.fSpriteId = id;
  int32_t directionOffset = 0;
  GetIntAttr(tag, "direction offset", directionOffset);
  uint16_t luminous = 0;
  GetBoolAttr(tag, "luminous", luminous);
  if (luminous) item.fFlags |= DrawGroupItem::kLuminous;

  SpriteSpec* sprite = FindSpriteSpec(set, id);
  CheckItemSprite(tag, sprite, id, directionOffset);
  AddItem(item, sprite, directionOffset);
}

void DGRPSpec::CheckItemSprite(AttribTable& tag, const SpriteSpec* sprite, int32_t id,
                               int32_t directionOffset) const {
  char message[512];
  if (sprite == nullptr) {
    std::snprintf(message, sizeof message,
                  "sprite not found for some dgrp item: no sprite tag with id %d comes before "
                  "this item of draw group %d",
                  int(id), int(fId));
    ThrowError(message, TagPlace(tag));
  }
  // A sheet with fewer columns than the symmetry has views would give the group the sprite
  // numbers of other zooms, or numbers past the sprite's last.
  if (sprite->fColumns < sprite->SymmetryViewCount()) {
    std::snprintf(message, sizeof message,
                  "sprite %d (line %d) has columns=%d, but symmetry %s draws %d views: give it "
                  "columns=%d, or a symmetry of fewer views (bi-lateral 2, radial or "
                  "radial-flip 1), for draw group %d to show it",
                  int(id), int(sprite->fLine), int(sprite->fColumns), sprite->SymmetryName(),
                  int(sprite->SymmetryViewCount()), int(sprite->SymmetryViewCount()), int(fId));
    ThrowError(message, TagPlace(tag));
  }
  if ((directionOffset & 1) != 0 && !sprite->HasDiagonals()) {
    std::snprintf(message, sizeof message,
                  "direction offset %d is odd, but sprite %d (line %d) has no diagonal views "
                  "(frames=2 gives them)",
                  int(directionOffset), int(id), int(sprite->fLine));
    ThrowError(message, tag.FindEntry("direction offset"));
  }
}

void DGRPSpec::AddEmbedded(int32_t directionOffset, SpriteSpec* sprite) {
  DGRPEmbedded* pair = new DGRPEmbedded;
  pair->fDirectionOffset = directionOffset;
  pair->fSprite = sprite;
  fEmbedded.Append(pair);
  if (!fEmbedded.Contains(pair)) {
    // A full list would lose the pair: the item's sprite would be missed by its pair group.
    delete pair;
    ThrowError("too many items in one draw group (at most 32767)");
  }
  auto placed = fEmbeddedOf.emplace(sprite, EmbeddedOf{pair, pair});
  placed.first->second.fLast = pair;
}

void DGRPSpec::AddItem(const DrawGroupItem& item, SpriteSpec* sprite, int32_t directionOffset) {
  AddEmbedded(directionOffset, sprite);
  for (int32_t zoom = kFirstZoom; zoom <= kLastZoom; zoom++) {
    for (int32_t d = 0; d < kDirections; d++) {
      if (!ServesDirection(sprite, d)) continue;
      if (sprite == nullptr) ThrowError("sprite not found for some dgrp item");
      DrawGroupItem copy = item;
      int32_t number = 0;
      bool flip = false;
      sprite->GetSpriteNumber(WrapDirection(d + directionOffset), zoom, 0, number, flip);
      copy.fSpriteIndex = number;
      if (flip) copy.fFlags |= DrawGroupItem::kMirrored;
      InsertItem(copy, d, zoom);
    }
  }
}

void DGRPSpec::InsertItem(const DrawGroupItem& item, int32_t direction, int32_t zoom) {
  DrawGroupEntry* entry = fDrawGroup.GetEntry(static_cast<uint32_t>(direction),
                                              static_cast<uint32_t>(zoom));
  if (entry == nullptr) entry = fDrawGroup.AddEntry();
  fItemsIndexed = false;
  entry->fDirectionMask |= 1u << direction;
  entry->fZoom = static_cast<uint32_t>(zoom);

  IndexEntries();
  const uint64_t key = EntryKey(static_cast<uint32_t>(entry - fDrawGroup.fEntries.data()),
                                item.fSpriteId);
  if (!fSpritesInEntries.insert(key).second) {
    for (DrawGroupItem& existing : entry->fItems) {
      if (existing.fSpriteId == item.fSpriteId) {
        PrintWarning("overwriting a draw group item", nullptr);
        existing = item;
        return;
      }
    }
  }
  const bool front = fOrdering == kOrderingObscured && (direction == 2 || direction == 4);
  entry->InsertItem(item, front && entry->CountItems() > 0 ? 0 : -1);

  entry = fDrawGroup.GetEntry(static_cast<uint32_t>(direction), static_cast<uint32_t>(zoom));
  XASSERT(entry != nullptr, "list did not show up");
  XASSERT(entry == nullptr || entry->CountItems() > 0, "new item did not show up");
}

DGRPEmbedded* DGRPSpec::FindEmbedded(const SpriteSpec* sprite) const {
  auto found = fEmbeddedOf.find(sprite);
  return found != fEmbeddedOf.end() ? found->second.fFirst : nullptr;
}

void DGRPSpec::CompletePairGroup(const PtrList<SpriteSpec>& group) {
  const int32_t count = group.Count();
  if (count == 0) return;
  SpriteSpec* first = group.Nth(0);
  const int32_t symmetry = first->fSymmetry;
  if (symmetry != SpriteSpec::kSymmetryBilateral && symmetry != SpriteSpec::kSymmetryRadial &&
      symmetry != SpriteSpec::kSymmetryRadialFlip) {
    ThrowErrorAtSpec("illegal symmetry on a paired sprite", *first);
  }
  if (symmetry == SpriteSpec::kSymmetryBilateral && count != 2) {
    ThrowErrorAtSpec("two sprites expected for bi-laterally symmetric pair group", *first);
  }
  if (symmetry != SpriteSpec::kSymmetryBilateral && count != 4) {
    ThrowErrorAtSpec("four sprites expected for radially symmetric pair group", *first);
  }
  for (int32_t m = 0; m < count; m++) {
    SpriteSpec* member = group.Nth(m);
    // Each at the line of the member at fault.
    if (member->HasDiagonals()) ThrowErrorAtSpec("pairing found for diagonal sprites", *member);
    if (member->fSymmetry != symmetry) {
      ThrowErrorAtSpec("different symmetries for paired sprites", *member);
    }
    if (FindEmbedded(member) == nullptr) ThrowErrorAtSpec("no embedded sprite", *member);
  }

  fItemsIndexed = false;
  fEntriesIndexed = false;
  for (int32_t zoom = kFirstZoom; zoom <= kLastZoom; zoom++) {
    for (int32_t d = 0; d < kDirections; d += 2) {
      DrawGroupEntry* entry = fDrawGroup.GetEntry(static_cast<uint32_t>(d),
                                                  static_cast<uint32_t>(zoom));
      if (entry == nullptr) ThrowError("dir and zoom should be present by now");
      for (DrawGroupItem& item : entry->fItems) {
        if (symmetry == SpriteSpec::kSymmetryBilateral) {
          if ((item.fFlags & DrawGroupItem::kMirrored) == 0) continue;
          if (item.fSpriteId == group.Nth(0)->fId) {
            item.fSpriteId = group.Nth(1)->fId;
          } else if (item.fSpriteId == group.Nth(1)->fId) {
            item.fSpriteId = group.Nth(0)->fId;
          }
        } else {
          for (int32_t m = 0; m < count; m++) {
            if (item.fSpriteId == group.Nth(m)->fId) {
              item.fSpriteId = group.Nth((m + d / 2) % count)->fId;
              break;
            }
          }
        }
      }
    }
  }
}

uint64_t DGRPSpec::EntryKey(uint32_t entry, int32_t spriteId) {
  return (uint64_t(entry) << 32) | uint32_t(spriteId);
}

void DGRPSpec::IndexEntries() {
  if (fEntriesIndexed) return;
  fSpritesInEntries.clear();
  const std::vector<DrawGroupEntry>& entries = fDrawGroup.fEntries;
  for (size_t e = 0; e < entries.size(); e++) {
    for (const DrawGroupItem& item : entries[e].fItems) {
      fSpritesInEntries.insert(EntryKey(static_cast<uint32_t>(e), item.fSpriteId));
    }
  }
  fEntriesIndexed = true;
}

void DGRPSpec::IndexItems() const {
  if (fItemsIndexed) return;
  fItemsBySprite.clear();
  const std::vector<DrawGroupEntry>& entries = fDrawGroup.fEntries;
  for (size_t e = 0; e < entries.size(); e++) {
    for (size_t i = 0; i < entries[e].fItems.size(); i++) {
      fItemsBySprite.push_back({entries[e].fItems[i].fSpriteId, static_cast<uint32_t>(e),
                                static_cast<uint32_t>(i)});
    }
  }
  // Places were pushed in entry and item order; a stable sort keeps that order per sprite.
  std::stable_sort(fItemsBySprite.begin(), fItemsBySprite.end(),
                   [](const ItemPlace& a, const ItemPlace& b) { return a.fSpriteId < b.fSpriteId; });
  fItemsIndexed = true;
  // Looked up once the items are in place, not while they are added: the set of each entry's
  // sprites is given back here and made again by an insert that comes later.
  std::unordered_set<uint64_t>().swap(fSpritesInEntries);
  fEntriesIndexed = false;
}

std::pair<const DGRPSpec::ItemPlace*, const DGRPSpec::ItemPlace*> DGRPSpec::ItemsOf(
    int32_t spriteId) const {
  IndexItems();
  const ItemPlace* begin = fItemsBySprite.data();
  const ItemPlace* end = begin + fItemsBySprite.size();
  return std::equal_range(begin, end, ItemPlace{spriteId, 0, 0},
                          [](const ItemPlace& a, const ItemPlace& b) {
                            return a.fSpriteId < b.fSpriteId;
                          });
}

bool DGRPSpec::ShowsSprite(int32_t spriteId) const {
  const auto items = ItemsOf(spriteId);
  return items.first != items.second;
}

void DGRPSpec::UpdateDrawOffsets(SpriteSpec* sprite) {
  // A group that does not show the sprite has no entries to fill for it.
  const auto items = ItemsOf(sprite->fId);
  if (items.first == items.second) return;

  auto pairs = fEmbeddedOf.find(sprite);
  const int32_t base = pairs != fEmbeddedOf.end() ? pairs->second.fLast->fDirectionOffset : 0;
  for (int32_t zoom = kFirstZoom; zoom <= kLastZoom; zoom++) {
    for (int32_t d = 0; d < kDirections; d++) {
      if (!ServesDirection(sprite, d)) continue;
      MacPoint offset;
      sprite->GetDrawOffset(offset, WrapDirection(d + base), zoom, 0);
      DrawGroupEntry* entry = fDrawGroup.GetEntry(static_cast<uint32_t>(d),
                                                  static_cast<uint32_t>(zoom));
      if (entry == nullptr) ThrowError("dir and zoom should be present by now");
      const uint32_t at = static_cast<uint32_t>(entry - fDrawGroup.fEntries.data());
      for (const ItemPlace* place = items.first; place != items.second; place++) {
        if (place->fEntry != at) continue;
        DrawGroupItem& item = entry->fItems[place->fItem];
        item.fValueA = offset.h;
        item.fValueB = offset.v;
      }
    }
  }
}

SpriteSpec* FindSpriteSpec(SpecSet& set, int32_t id) {
  auto found = set.fFirstSpriteOfId.find(id);
  if (found != set.fFirstSpriteOfId.end()) return found->second;
  // A sprite spec put in the list other than by the parse is found by its walk.
  for (PtrListIterator<SpriteSpec> it(set.fSprites); it.Current() != nullptr; it.Next()) {
    if (it.Current()->fId == id) return it.Current();
  }
  return nullptr;
}

bool WantsDrawGroup(const ObjectBuilder* builder, int32_t id) {
  if (builder == nullptr || builder->fDrawGroupIds.empty()) return true;
  for (int16_t wanted : builder->fDrawGroupIds) {
    if (uint16_t(wanted) == uint16_t(id)) return true;
  }
  return false;
}

void SpecSet::WriteDrawGroups() {
  ObjectBuilder* builder = gCurrentBuilder;
  for (PtrListIterator<DGRPSpec> it(fDrawGroups); it.Current() != nullptr; it.Next()) {
    DGRPSpec* spec = it.Current();
    if (!WantsDrawGroup(builder, spec->fId)) continue;
    DrawGroup& group = spec->GetDrawGroup();
    group.fName = spec->fName;
    if (group.Save(fFile, static_cast<uint16_t>(spec->fId)) != 0) {
      FixedStringBuffer<1024> message;
      snprintf(message.buffer(), message.capacity(), "could not write draw group %d to destfile",
               spec->fId);
      ThrowError(message.c_str());
    }
  }
}

void SpecSet::PrintDrawGroups(FILE* out) {
  fprintf(out, "DGroupNum\tName\tDescription\n");
  int32_t previous = -1;
  int32_t base = -1;
  for (PtrListIterator<DGRPSpec> it(fDrawGroups); it.Current() != nullptr; it.Next()) {
    DGRPSpec* spec = it.Current();
    if (spec->fId != previous + 1) base = spec->fId;
    previous = spec->fId;
    DrawGroupEntry* entry = spec->GetDrawGroup().GetEntry(0, 1);
    if (entry == nullptr) continue;
    fprintf(out, "%d\t%s\t", spec->fId - base, spec->fName.c_str());
    for (int32_t i = 0; i < entry->CountItems(); i++) {
      DrawGroupItem* item = entry->GetItem(static_cast<uint32_t>(i));
      if (item == nullptr) ThrowError("bug in draw group class");
      if (i > 0) fprintf(out, " + ");
      SpriteSpec* sprite = FindSpriteSpec(*this, item->fSpriteId);
      if (sprite == nullptr) {
        PrintWarning("sprite spec not found for some id in drawgroup", nullptr);
        continue;
      }
      fprintf(out, "(%s)", sprite->fName.c_str());
    }
    fprintf(out, "\n");
  }
}
