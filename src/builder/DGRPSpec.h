// A "drawgroup" tag and its "item" tags: for every direction and zoom, the sprites drawn for
// one view of an object (resource 'DGRP').
//
// This is the frame that the object-make compiler relies on: the tag's common keys and
// ordering, and the embedded sprites (one pair {direction offset, sprite spec} per item, in
// item order) that the pair-group check reads and extends. The draw group itself, the item
// expansion and the draw offsets come with the draw-group stage.
#pragma once

#include <cstdint>

#include "GenericSpec.h"
#include "ptrlist.h"

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
  // An "item" tag of this draw group.
  void ParseItem(AttribTable& tag, SpecSet& set);

  // The embedded pair of `sprite`, or null.
  DGRPEmbedded* FindEmbedded(const SpriteSpec* sprite) const;
  // Appends the pair {directionOffset, sprite}.
  void AddEmbedded(int32_t directionOffset, SpriteSpec* sprite);
  const PtrList<DGRPEmbedded>& GetEmbedded() const { return fEmbedded; }

  // Swaps the sprites of a pair group (its members in file order) across the views.
  void CompletePairGroup(const PtrList<SpriteSpec>& group);

  int32_t fOrdering = kOrderingFixed;
  iResFile* fFile = nullptr;

 private:
  PtrList<DGRPEmbedded> fEmbedded;
};
