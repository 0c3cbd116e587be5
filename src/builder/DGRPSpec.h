// A "drawgroup" tag and its "item" tags: for every direction and zoom, the sprites drawn for
// one view of an object (resource 'DGRP').
//
// Each item places one sprite spec in the group and is expanded into every direction and
// zoom of that sprite; the embedded sprites (one pair {direction offset, sprite spec} per
// item, in item order) are what the pair-group check reads and extends. After compression
// the items receive their draw offsets, and the graphics stage saves the group.
#pragma once

#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "DrawGroup.h"
#include "GenericSpec.h"
#include "ptrlist.h"

class ObjectBuilder;

class SpecSet;
class SpriteSpec;
class iResFile;

// One item's sprite in a draw group.
struct DGRPEmbedded {
  int32_t fDirectionOffset = 0;
  SpriteSpec* fSprite = nullptr;  // not owned; may be null when no sprite has the item's id
};

class DGRPSpec : public GenericSpec {
 public:
  enum : int32_t { kOrderingFixed = 0, kOrderingObscured = 1 };

  DGRPSpec() = default;
  ~DGRPSpec() override;  // deletes the embedded pairs

  // ParseCommonAttrs; keeps the object file; "ordering" absent or "fixed" 0, "obscured" 1,
  // other text "unknown ordering" at the key.
  void Parse(AttribTable& tag, iResFile* file);
  // An "item" tag of this draw group: places the sprite spec of its "id" in every view.
  // Items of the deprecated types "object" and "slot" are skipped with a warning; any other
  // type, and an item whose sprite the group cannot show (CheckItemSprite), end the build at
  // the item's line.
  void ParseItem(AttribTable& tag, SpecSet& set);
  // Ends the build at the item's line when no sprite spec has the item's id, when the sprite
  // has fewer columns than its symmetry has views, or when an odd direction offset meets a
  // sprite without diagonals: each would fail only after the sprites were written.
  void CheckItemSprite(AttribTable& tag, const SpriteSpec* sprite, int32_t id,
                       int32_t directionOffset) const;

  // Embeds `sprite` with `directionOffset` and inserts a copy of `item` for every zoom and
  // direction of the sprite, with the sprite number and mirror flag of that view. A null
  // sprite ends the build with "sprite not found for some dgrp item".
  void AddItem(const DrawGroupItem& item, SpriteSpec* sprite, int32_t directionOffset);
  // Puts `item` in the entry of (`direction`, `zoom`), made when missing; an item of the
  // same sprite is overwritten with a warning. With obscured ordering, items of directions 2
  // and 4 go in front.
  void InsertItem(const DrawGroupItem& item, int32_t direction, int32_t zoom);

  // The first embedded pair of `sprite`, or null.
  DGRPEmbedded* FindEmbedded(const SpriteSpec* sprite) const;
  // True when an item of the group shows the sprite with id `spriteId` (the whole id: sprite
  // ids run to 65535, past what a signed 16-bit comparison tells apart).
  bool ShowsSprite(int32_t spriteId) const;
  // Appends the pair {directionOffset, sprite}.
  void AddEmbedded(int32_t directionOffset, SpriteSpec* sprite);
  const PtrList<DGRPEmbedded>& GetEmbedded() const { return fEmbedded; }

  // Swaps the sprites of a pair group (its members in file order) across the views.
  void CompletePairGroup(const PtrList<SpriteSpec>& group);

  // Gives every item of `sprite` the draw offsets of its view (needs the sprite's
  // compression bounds), the view turned by the direction offset of the sprite's last item,
  // whose sprite numbers the entries hold. A group that does not show the sprite is left
  // alone. Costs the
  // sprite's own items, not the group's: the items are indexed by sprite once, at the first
  // call after the group changed.
  void UpdateDrawOffsets(SpriteSpec* sprite);

  // The group itself. Changes made through it are seen by later calls here: taking it drops
  // the indexes of items by sprite, which the next look-up builds again.
  DrawGroup& GetDrawGroup() {
    fItemsIndexed = false;
    fEntriesIndexed = false;
    return fDrawGroup;
  }

  int32_t fOrdering = kOrderingFixed;
  iResFile* fFile = nullptr;

 private:
  // Where an item of the group stands: fDrawGroup.fEntries[fEntry].fItems[fItem].
  struct ItemPlace {
    int32_t fSpriteId;
    uint32_t fEntry;
    uint32_t fItem;
  };

  // Builds fItemsBySprite from the group when it is not current.
  void IndexItems() const;
  // Builds fSpritesInEntries from the group when it is not current.
  void IndexEntries();
  static uint64_t EntryKey(uint32_t entry, int32_t spriteId);
  // The places of the items that show `spriteId`, in entry and then item order.
  std::pair<const ItemPlace*, const ItemPlace*> ItemsOf(int32_t spriteId) const;

  PtrList<DGRPEmbedded> fEmbedded;
  // The first and the last embedded pair of each sprite. The last is the item whose copies
  // stand in the entries (a later item of a sprite overwrites the earlier one's).
  struct EmbeddedOf {
    DGRPEmbedded* fFirst;
    DGRPEmbedded* fLast;
  };
  std::unordered_map<const SpriteSpec*, EmbeddedOf> fEmbeddedOf;
  DrawGroup fDrawGroup;
  // Every item's place, sorted by sprite id, then entry, then item; current while
  // fItemsIndexed. Every change of the items clears fItemsIndexed.
  mutable std::vector<ItemPlace> fItemsBySprite;
  mutable bool fItemsIndexed = false;
  // EntryKey(entry index, sprite id) of every item, so that an insert learns in one look-up
  // whether it overwrites; current while fEntriesIndexed, kept so by InsertItem.
  mutable std::unordered_set<uint64_t> fSpritesInEntries;
  mutable bool fEntriesIndexed = false;
};

// The first sprite spec of `set` whose fId is `id`, or null.
SpriteSpec* FindSpriteSpec(SpecSet& set, int32_t id);

// True when `builder` asks for the draw group `id`: it names no draw groups, or names this one.
// The names are 16-bit resource ids, compared as unsigned (a signed list holds 40000 as
// -25536).
bool WantsDrawGroup(const ObjectBuilder* builder, int32_t id);
