// Draw groups (resource 'DGRP'): for each view of an object, given by a set of directions and
// one zoom level, the ordered list of sprites drawn with their offsets and flags.
// The builder fills them from the object-make file and saves them; the game reads them.
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "StringBuffer.h"

class ReconStream;
class iResFile;

// One sprite drawn in one view. A new item is all zero.
struct DrawGroupItem {
  enum : uint32_t { kMirrored = 1, kLuminous = 4 };

  int32_t fSpriteId = 0;     // id of the sprite resource
  int32_t fSpriteIndex = 0;  // index of the image within that sprite
  int32_t fValueA = 0;       // horizontal draw offset, as the builder fills it
  int32_t fValueB = 0;       // vertical draw offset, as the builder fills it
  float fAlt = 0;            // height offset
  float fX = 0;              // horizontal offset
  float fY = 0;              // vertical offset
  uint32_t fFlags = 0;       // kMirrored, kLuminous; other bits are carried

  // Reads, writes or measures the item in the stored form of `version` (20003 or later).
  void Reconstitute(ReconStream& r, int32_t version);
};

// The sprites of the directions set in the mask at one zoom, in drawing order.
class DrawGroupEntry {
 public:
  std::vector<DrawGroupItem> fItems;
  uint32_t fDirectionMask = 0;  // bit 1 << d: the entry serves direction d
  uint32_t fZoom = 0;

  bool HasDirection(uint32_t d) const { return (fDirectionMask & (1u << (d % 32))) != 0; }
  uint32_t GetZoom() const { return fZoom; }
  int32_t CountItems() const { return static_cast<int32_t>(fItems.size()); }

  // The item at `index`, or null (with an assertion) outside 0..count-1.
  DrawGroupItem* GetItem(uint32_t index);

  // Inserts a copy of `item` before `position`; a negative position appends. A position past
  // the last item asserts and inserts nothing.
  void InsertItem(const DrawGroupItem& item, int32_t position);

  // Reads, writes or measures the entry in the stored form of `version` (20003 or later).
  // Returns false when the stream ran out of data or holds an impossible item count.
  bool Reconstitute(ReconStream& r, int32_t version);
};

class DrawGroup {
 public:
  enum : int16_t { kVersion = 20004 };

  std::vector<DrawGroupEntry> fEntries;  // in stored order
  FixedStringBuffer<64> fName;           // the resource name

  // Reads 'DGRP' `id` from `file`, with its name. Returns 0, the file's error when the
  // resource is missing, or -48 (short read) when the stored data are malformed; on any
  // failure the group is left as it was.
  int32_t Load(iResFile* file, uint16_t id);

  // Adds the group as 'DGRP' `id` (native order, version 20004) and writes it to disk.
  // Returns 0 or the file's error.
  int32_t Save(iResFile* file, uint16_t id);

  // The first entry in stored order that serves `direction` (taken mod 32) at `zoom`, or null.
  DrawGroupEntry* GetEntry(uint32_t direction, uint32_t zoom);

  // Appends an empty entry and returns it (valid until the next entry is added).
  DrawGroupEntry* AddEntry();

  // True when some item of some entry shows sprite `spriteId`.
  bool UsesSprite(int16_t spriteId) const;

  // Reads (any stored version), writes (always 20004) or measures the group. Returns false
  // when the stream ran out of data while reading; the group may then be partly read.
  bool Reconstitute(ReconStream& r);
};
