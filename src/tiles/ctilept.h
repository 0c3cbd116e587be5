// A tile position on the isometric grid: x and y (signed bytes) and a level 0 to 2, with
// the eight neighbour offsets and the rotation table of a 64 x 64 tile area.
// Value type; the neighbour table is built before main and only read afterwards.
#pragma once

#include <cstdint>

constexpr int32_t kLevelCount = 2;  // the highest level

class CTilePt {
 public:
  CTilePt() = default;
  // Reports "level out-of-range" for a level outside 0 to 2 (the level is kept as given).
  CTilePt(int32_t inX, int32_t inY, int32_t inLevel = 0);
  CTilePt(const CTilePt& in) = default;
  // Reports "assigning CTilePt to self" when `in` is this point.
  CTilePt& operator=(const CTilePt& in);

  // Adds x and y of `in`. The levels must match unless `in` is of level 0 ("CTilePts on
  // different levels"); the level stays this point's.
  CTilePt& operator+=(const CTilePt& in);
  CTilePt operator+(const CTilePt& in) const;
  bool operator==(const CTilePt& in) const = default;

  int8_t x = 0;
  int8_t y = 0;
  uint8_t level = 0;
};

// Offsets to the eight neighbours, level 0: 0 (0,-1), 1 (0,1), 2 (-1,0), 3 (1,0), 4 (-1,-1),
// 5 (1,1), 6 (1,-1), 7 (-1,1).
extern const CTilePt TileNeighbourOffsets[8];

// Where each tile of a 64 x 64 area goes under a rotation of 1 to 3 quarter turns.
class TileRotationTable {
 public:
  static constexpr int32_t kSize = 64;

  // Fills the table (1: (63 - y, x); 2: (63 - x, 63 - y); 3: (y, 63 - x)) and marks it built.
  void Build();
  bool IsBuilt() const { return fBuilt; }

  // The rotated position of (x, y) under `rotation` 1 to 3, level 0. Rotation 0 answers the
  // position itself. A rotation or position out of range reports "huh?" and answers it
  // unchanged.
  CTilePt Rotate(int32_t rotation, int32_t x, int32_t y) const;

 private:
  uint8_t fTable[3][kSize][kSize][2] = {};
  bool fBuilt = false;
};
