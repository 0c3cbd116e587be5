// The walls of one tile: which of the four sides and two diagonals are present, with each
// segment's placement, wall style and face patterns, the tile's rotation and the four
// blocking flags. A diagonal never shares its tile with another segment; while one is
// present, two entries that the sides would use carry the floor values of its two halves.
//
// Segments are bits: kLeftWall 1, kTopWall 2, kRightWall 4, kBottomWall 8 (side selectors
// kLeft 1 to kBottom 4: segment = 1 << (selector - 1)), kHorizDiag 16, kVertDiag 32;
// kAllWalls names every present segment in the set operations. Faces 0 to 3 are the sides;
// faces 4 and 5 belong to kHorizDiag (sub-faces 2 and 4), 6 and 7 to kVertDiag (sub-faces
// 1 and 3).
//
// Misuse (several segments where one is wanted, a missing segment, values out of range) is
// reported with XASSERT; the operation then does nothing and getters answer 0.
// Value type. The rotation lookups are static: GenerateRotationLookups fills them before
// main, and they are only read afterwards.
#pragma once

#include <cstdint>

class CTilePt;

constexpr uint32_t kMaxStyles = 256;
constexpr uint32_t kMaxPatterns = 256;

// Side selectors.
constexpr int32_t kLeft = 1;
constexpr int32_t kTop = 2;
constexpr int32_t kRight = 3;
constexpr int32_t kBottom = 4;

// Segment bits.
constexpr uint32_t kLeftWall = 1;
constexpr uint32_t kTopWall = 2;
constexpr uint32_t kRightWall = 4;
constexpr uint32_t kBottomWall = 8;
constexpr uint32_t kHorizDiag = 16;
constexpr uint32_t kVertDiag = 32;
constexpr uint32_t kAllWalls = 255;

constexpr uint32_t kSideWalls = kLeftWall | kTopWall | kRightWall | kBottomWall;
constexpr uint32_t kDiagWalls = kHorizDiag | kVertDiag;

// The 8-byte packed wall record: segment bits, placement (2 bits per side), then one byte per
// segment index 0 to 5 that gives that segment's style; each side's face takes its style as
// pattern, and the faces of a diagonal take its byte too.
struct PackedTileWalls {
  uint8_t fSegments = 0;
  uint8_t fPlacement = 0;
  uint8_t fStyles[6] = {};
};

class TileWalls {
 public:
  static constexpr int32_t kSegmentCount = 6;
  static constexpr int32_t kFaceCount = 8;

  TileWalls();
  explicit TileWalls(const PackedTileWalls& packed);
  TileWalls(const PackedTileWalls& packed, const uint8_t blocking[4]);
  TileWalls(const TileWalls& in) = default;
  // Reports "TileWalls assigned to self" when `in` is this tile.
  TileWalls& operator=(const TileWalls& in);

  // True when every segment of `segments` is present.
  bool HasWall(uint32_t segments) const;
  // True when `segments` is exactly one segment bit (at most 32).
  static bool IsSingleWall(uint32_t segments);

  // The 2-bit placement of a side; a diagonal answers 3.
  uint32_t GetPlacement(uint32_t segment) const;
  void SetPlacement(uint32_t placement, uint32_t segment);

  uint32_t GetStyle(uint32_t segment) const;
  // `segment` may be kAllWalls: every present segment takes the style.
  void SetStyle(uint32_t style, uint32_t segment);

  // The pattern of a face of `segment`; sub-face 0 of a diagonal means 4 (kHorizDiag) or
  // 1 (kVertDiag).
  uint32_t GetPattern(uint32_t segment, int32_t subFace = 0) const;
  // `segment` may be kAllWalls: every face of every present segment takes the pattern.
  void SetPattern(uint32_t pattern, uint32_t segment, int32_t subFace = 0);

  // The floor value of the half of a diagonal tile on the side of `selector` (1 to 4).
  uint8_t GetDiagFloor(int32_t selector) const;
  void SetDiagFloor(uint8_t floor, int32_t selector);

  // False when a diagonal would share the tile with any other segment, or when the side
  // (rotated back by the tile's rotation) is blocked.
  bool CanAdd(uint32_t segment) const;
  // Adds one segment that CanAdd allows; a diagonal starts with both floor values 0.
  void AddWall(uint32_t segment);

  // The lowest present segment, or 0.
  uint32_t FirstSegment() const;
  // The next present segment above `inPrevious` (one segment bit), or 0.
  uint32_t Next(uint32_t inPrevious) const;

  // Turns the walls to `rotation` (0 to 3), each segment keeping its style, patterns,
  // placement and the diagonal floors.
  void Rotate(uint32_t rotation);
  uint32_t GetRotation() const { return mRotation; }

  // Segment of a direction 0 to 7: 0, 1: 1; 2, 3: 2; 4, 5: 32; 6, 7: 16.
  static uint32_t SegmentOfDirection(int32_t direction);
  // The wall crossed going to neighbour `direction` 0 to 7: 0: 2; 1: 8; 2: 1; 3: 4;
  // 4, 5: 32; 6, 7: 16.
  static uint32_t GetWallBetween(int32_t direction);
  // 1 and 4, 2 and 8 swap; the diagonals stay.
  static uint32_t OppositeSegment(uint32_t segment);
  // Moves `point` to the tile across side `segment`; a diagonal leaves it.
  static void GetAdjacentTile(uint32_t segment, CTilePt* point);

  // Fills the rotation lookups; called before main.
  static void GenerateRotationLookups();
  // The segment set `segments` (below 64) after `rotation` quarter turns.
  static uint32_t RotateSegments(uint32_t segments, uint32_t rotation);
  // Selector 1 to 4 after `rotation` quarter turns.
  static int32_t RotateSelector(int32_t selector, uint32_t rotation);

  // Segment index 0 to 5 of one segment bit, or -1.
  static int32_t SegmentIndex(uint32_t segment);

  uint8_t GetBlocking(int32_t side) const { return (side >= 0 && side < 4) ? mBlocking[side] : 0; }

 private:
  int32_t FaceOf(uint32_t segment, int32_t subFace) const;

  uint32_t mSegments;
  uint32_t mPlacement;
  uint32_t mStyles[kSegmentCount];
  uint32_t mPatterns[kFaceCount];
  uint32_t mRotation;
  uint8_t mBlocking[4];

  static uint8_t sSegmentTable[4][64];
  static uint8_t sSelectorTable[4][5];
};
