#include "tilewalls.h"

#include "ctilept.h"
#include "XAssert.h"

uint8_t TileWalls::sSegmentTable[4][64];
uint8_t TileWalls::sSelectorTable[4][5];

namespace {

// The lookups are ready before main, whoever links the tile walls in.
struct RotationLookupsAtStart {
  RotationLookupsAtStart() { TileWalls::GenerateRotationLookups(); }
} gRotationLookupsAtStart;

}  // namespace

TileWalls::TileWalls() : mSegments(0), mPlacement(0), mStyles{}, mPatterns{}, mRotation(0), mBlocking{} {}

TileWalls::TileWalls(const PackedTileWalls& packed) : TileWalls() {
  mSegments = packed.fSegments;
  mPlacement = packed.fPlacement;
  for (int32_t i = 0; i < kSegmentCount; ++i) mStyles[i] = packed.fStyles[i];
  for (int32_t face = 0; face < 4; ++face) mPatterns[face] = packed.fStyles[face];
  mPatterns[4] = mPatterns[5] = packed.fStyles[4];
  mPatterns[6] = mPatterns[7] = packed.fStyles[5];
}

TileWalls::TileWalls(const PackedTileWalls& packed, const uint8_t blocking[4]) : TileWalls(packed) {
  for (int32_t side = 0; side < 4; ++side) mBlocking[side] = blocking[side];
}

TileWalls& TileWalls::operator=(const TileWalls& in) {
  XASSERT(&in != this, "TileWalls assigned to self");
  if (&in == this) return *this;
  mSegments = in.mSegments;
  mPlacement = in.mPlacement;
  for (int32_t i = 0; i < kSegmentCount; ++i) mStyles[i] = in.mStyles[i];
  for (int32_t i = 0; i < kFaceCount; ++i) mPatterns[i] = in.mPatterns[i];
  mRotation = in.mRotation;
  for (int32_t i = 0; i < 4; ++i) mBlocking[i] = in.mBlocking[i];
  return *this;
}

int32_t TileWalls::SegmentIndex(uint32_t segment) {
  switch (segment) {
    case kLeftWall: return 0;
    case kTopWall: return 1;
    case kRightWall: return 2;
    case kBottomWall: return 3;
    case kHorizDiag: return 4;
    case kVertDiag: return 5;
    default: return -1;
  }
}

bool TileWalls::HasWall(uint32_t segments) const { return (mSegments & segments) == segments; }

bool TileWalls::IsSingleWall(uint32_t segments) {
  return segments != 0 && segments <= kVertDiag && (segments & (segments - 1)) == 0;
}

int32_t TileWalls::FaceOf(uint32_t segment, int32_t subFace) const {
  if (segment == kHorizDiag) return subFace == 2 ? 4 : 5;
  if (segment == kVertDiag) return subFace == 3 ? 7 : 6;
  return SegmentIndex(segment);
}

uint32_t TileWalls::GetPlacement(uint32_t segment) const {
  XASSERT(IsSingleWall(segment), "GetPlacement called for multiple wall segments");
  XASSERT(HasWall(segment) && segment != 0, "GetPlacement on non-existent wall segment");
  if (!IsSingleWall(segment) || !HasWall(segment)) return 0;
  if (segment & kDiagWalls) return 3;
  return (mPlacement >> (2 * SegmentIndex(segment))) & 3;
}

void TileWalls::SetPlacement(uint32_t placement, uint32_t segment) {
  bool ok = IsSingleWall(segment) && HasWall(segment);
  XASSERT(ok, "SetPlacement on non-existent wall");
  if (!ok || (segment & kDiagWalls)) return;
  int32_t shift = 2 * SegmentIndex(segment);
  mPlacement = (mPlacement & ~(3u << shift)) | ((placement & 3) << shift);
}

uint32_t TileWalls::GetStyle(uint32_t segment) const {
  XASSERT(IsSingleWall(segment), "requesting style of more than 1 wall segment");
  XASSERT(HasWall(segment) && segment != 0, "wall segment doesn't exist");
  if (!IsSingleWall(segment) || !HasWall(segment)) return 0;
  return mStyles[SegmentIndex(segment)];
}

void TileWalls::SetStyle(uint32_t style, uint32_t segment) {
  XASSERT(style < kMaxStyles, "style out of range");
  if (style >= kMaxStyles) return;
  uint32_t targets = segment == kAllWalls ? mSegments : segment;
  bool ok = targets != 0 && HasWall(targets);
  if (segment != kAllWalls) XASSERT(ok, "SetPattern: wall segment doesn't exist");
  if (!ok) return;
  for (uint32_t bit = 1; bit <= kVertDiag; bit <<= 1) {
    if (targets & bit) mStyles[SegmentIndex(bit)] = style;
  }
}

uint32_t TileWalls::GetPattern(uint32_t segment, int32_t subFace) const {
  XASSERT(IsSingleWall(segment), "GetPattern requesting more than 1 wall segment pattern");
  XASSERT(HasWall(segment) && segment != 0, "This wall segment doesn't exist");
  if (!IsSingleWall(segment) || !HasWall(segment)) return 0;
  return mPatterns[FaceOf(segment, subFace)];
}

void TileWalls::SetPattern(uint32_t pattern, uint32_t segment, int32_t subFace) {
  XASSERT(pattern < kMaxPatterns, "SetPattern: inPattern out of range");
  if (pattern >= kMaxPatterns) return;
  if (segment == kAllWalls) {
    for (uint32_t bit = 1; bit <= kVertDiag; bit <<= 1) {
      if (!(mSegments & bit)) continue;
      if (bit & kDiagWalls) {
        mPatterns[FaceOf(bit, bit == kHorizDiag ? 2 : 1)] = pattern;
        mPatterns[FaceOf(bit, bit == kHorizDiag ? 4 : 3)] = pattern;
      } else {
        mPatterns[SegmentIndex(bit)] = pattern;
      }
    }
    return;
  }
  bool ok = segment != 0 && segment <= (kSideWalls | kDiagWalls) && HasWall(segment);
  XASSERT(ok, "SetPattern: wall segment doesn't exist");
  if (!ok) return;
  for (uint32_t bit = 1; bit <= kVertDiag; bit <<= 1) {
    if (segment & bit) mPatterns[FaceOf(bit, subFace)] = pattern;
  }
}

uint8_t TileWalls::GetDiagFloor(int32_t selector) const {
  bool ok = (mSegments & kDiagWalls) != 0 && selector >= kLeft && selector <= kBottom;
  XASSERT(ok, "using floor-in-wall-data incorrectly");
  if (!ok) return 0;
  return static_cast<uint8_t>(selector <= kTop ? mStyles[0] : mPatterns[0]);
}

void TileWalls::SetDiagFloor(uint8_t floor, int32_t selector) {
  bool ok = (mSegments & kDiagWalls) != 0 && selector >= kLeft && selector <= kBottom;
  XASSERT(ok, "using floor-in-wall-data incorrectly");
  if (!ok) return;
  if (selector <= kTop) {
    mStyles[0] = floor;
  } else {
    mPatterns[0] = floor;
  }
}

bool TileWalls::CanAdd(uint32_t segment) const {
  XASSERT(IsSingleWall(segment), "CanAdd: more than 1 wall specified");
  if (!IsSingleWall(segment)) return false;
  if (segment & kDiagWalls) return (mSegments & ~segment) == 0;
  if (mSegments & kDiagWalls) return false;
  int32_t selector = SegmentIndex(segment) + 1;
  int32_t unrotated = RotateSelector(selector, (4 - mRotation % 4) % 4);
  return mBlocking[unrotated - 1] == 0;
}

void TileWalls::AddWall(uint32_t segment) {
  XASSERT(IsSingleWall(segment), "adding more than one wall");
  if (!IsSingleWall(segment)) return;
  bool allowed = CanAdd(segment);
  XASSERT(allowed, "AddWall: segment not allowed");
  if (!allowed) return;
  mSegments |= segment;
  if (segment & kDiagWalls) {
    mStyles[0] = 0;
    mPatterns[0] = 0;
  }
}

uint32_t TileWalls::FirstSegment() const {
  for (uint32_t bit = 1; bit <= kVertDiag; bit <<= 1) {
    if (mSegments & bit) return bit;
  }
  return 0;
}

uint32_t TileWalls::Next(uint32_t inPrevious) const {
  XASSERT(IsSingleWall(inPrevious), "Bad inPrevious to TileWalls::Next");
  if (!IsSingleWall(inPrevious)) return 0;
  for (uint32_t bit = inPrevious << 1; bit <= kVertDiag; bit <<= 1) {
    if (mSegments & bit) return bit;
  }
  return 0;
}

void TileWalls::Rotate(uint32_t rotation) {
  XASSERT(rotation <= 3, "bad rotation value");
  if (rotation > 3) return;
  uint32_t turns = (rotation + 4 - mRotation % 4) % 4;
  mRotation = rotation;
  if (turns == 0) return;

  TileWalls turned(*this);
  turned.mSegments = 0;
  turned.mPlacement = 0;
  for (uint32_t bit = 1; bit <= kVertDiag; bit <<= 1) {
    if (!(mSegments & bit)) continue;
    uint32_t to = sSegmentTable[turns][bit];
    int32_t from = SegmentIndex(bit);
    int32_t toIndex = SegmentIndex(to);
    XASSERT(toIndex >= 0, "logic error");
    if (toIndex < 0) continue;
    turned.mSegments |= to;
    turned.mStyles[toIndex] = mStyles[from];
    if (bit & kDiagWalls) {
      int32_t firstSub = bit == kHorizDiag ? 2 : 1;
      for (int32_t sub = firstSub; sub <= 4; sub += 2) {
        turned.mPatterns[FaceOf(to, RotateSelector(sub, turns))] = mPatterns[FaceOf(bit, sub)];
      }
    } else {
      turned.mPatterns[toIndex] = mPatterns[from];
      turned.mPlacement |= ((mPlacement >> (2 * from)) & 3) << (2 * toIndex);
    }
  }
  // The diagonal floors stay where they are kept.
  if (mSegments & kDiagWalls) {
    turned.mStyles[0] = mStyles[0];
    turned.mPatterns[0] = mPatterns[0];
  }
  *this = turned;
}

uint32_t TileWalls::SegmentOfDirection(int32_t direction) {
  switch (direction) {
    case 0: case 1: return kLeftWall;
    case 2: case 3: return kTopWall;
    case 4: case 5: return kVertDiag;
    case 6: case 7: return kHorizDiag;
    default: XASSERT(false, "bad direction"); return 0;
  }
}

uint32_t TileWalls::GetWallBetween(int32_t direction) {
  switch (direction) {
    case 0: return kTopWall;
    case 1: return kBottomWall;
    case 2: return kLeftWall;
    case 3: return kRightWall;
    case 4: case 5: return kVertDiag;
    case 6: case 7: return kHorizDiag;
    default: XASSERT(false, "bad direction passed to GetWallBetween()"); return 0;
  }
}

uint32_t TileWalls::OppositeSegment(uint32_t segment) {
  switch (segment) {
    case kLeftWall: return kRightWall;
    case kRightWall: return kLeftWall;
    case kTopWall: return kBottomWall;
    case kBottomWall: return kTopWall;
    case kHorizDiag: case kVertDiag: return segment;
    default: XASSERT(false, "bad seg to GetAdjacentTile"); return 0;
  }
}

void TileWalls::GetAdjacentTile(uint32_t segment, CTilePt* point) {
  XASSERT(point != nullptr, "Must pass in a CTilePt pointer");
  if (!point) return;
  switch (segment) {
    case kLeftWall: *point += TileNeighbourOffsets[2]; break;
    case kTopWall: *point += TileNeighbourOffsets[0]; break;
    case kRightWall: *point += TileNeighbourOffsets[3]; break;
    case kBottomWall: *point += TileNeighbourOffsets[1]; break;
    case kHorizDiag: case kVertDiag: break;
    default: XASSERT(false, "bad seg to GetAdjacentTile"); break;
  }
}

void TileWalls::GenerateRotationLookups() {
  for (uint32_t rotation = 0; rotation < 4; ++rotation) {
    for (uint32_t set = 0; set < 64; ++set) {
      uint32_t turned = 0;
      for (int32_t side = 0; side < 4; ++side) {
        if (!(set & (1u << side))) continue;
        int32_t to = (side + static_cast<int32_t>(rotation)) % 4;
        XASSERT(to >= 0 && to < 4, "Logic error in TileWalls::GenerateRotationLookups");
        turned |= 1u << to;
      }
      uint32_t diagonals = set & kDiagWalls;
      if (rotation & 1) {
        if (diagonals & kHorizDiag) turned |= kVertDiag;
        if (diagonals & kVertDiag) turned |= kHorizDiag;
      } else {
        turned |= diagonals;
      }
      sSegmentTable[rotation][set] = static_cast<uint8_t>(turned);
    }
    sSelectorTable[rotation][0] = 0;
    for (int32_t selector = 1; selector <= 4; ++selector) {
      int32_t to = ((selector - 1 + static_cast<int32_t>(rotation)) % 4) + 1;
      XASSERT(to >= 1 && to <= 4, "bad selector value");
      sSelectorTable[rotation][selector] = static_cast<uint8_t>(to);
    }
  }
}

uint32_t TileWalls::RotateSegments(uint32_t segments, uint32_t rotation) {
  if (segments >= 64 || rotation > 3) return 0;
  return sSegmentTable[rotation][segments];
}

int32_t TileWalls::RotateSelector(int32_t selector, uint32_t rotation) {
  bool ok = selector >= 1 && selector <= 4 && rotation <= 3;
  XASSERT(ok, "bad selector value");
  if (!ok) return selector;
  return sSelectorTable[rotation][selector];
}
