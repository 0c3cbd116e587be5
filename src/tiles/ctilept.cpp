#include "ctilept.h"

#include "XAssert.h"

CTilePt::CTilePt(int32_t inX, int32_t inY, int32_t inLevel)
    : x(static_cast<int8_t>(inX)), y(static_cast<int8_t>(inY)), level(static_cast<uint8_t>(inLevel)) {
  XASSERT(inLevel >= 0 && inLevel <= kLevelCount, "level out-of-range");
}

CTilePt& CTilePt::operator=(const CTilePt& in) {
  XASSERT(&in != this, "assigning CTilePt to self");
  x = in.x;
  y = in.y;
  level = in.level;
  return *this;
}

CTilePt& CTilePt::operator+=(const CTilePt& in) {
  XASSERT(in.level == 0 || in.level == level, "CTilePts on different levels");
  x = static_cast<int8_t>(x + in.x);
  y = static_cast<int8_t>(y + in.y);
  return *this;
}

CTilePt CTilePt::operator+(const CTilePt& in) const {
  CTilePt sum(*this);
  sum += in;
  return sum;
}

const CTilePt TileNeighbourOffsets[8] = {
    CTilePt(0, -1), CTilePt(0, 1),  CTilePt(-1, 0), CTilePt(1, 0),
    CTilePt(-1, -1), CTilePt(1, 1), CTilePt(1, -1), CTilePt(-1, 1),
};

void TileRotationTable::Build() {
  constexpr int32_t kLast = kSize - 1;
  for (int32_t rotation = 1; rotation <= 3; ++rotation) {
    for (int32_t x = 0; x < kSize; ++x) {
      for (int32_t y = 0; y < kSize; ++y) {
        int32_t rx = x, ry = y;
        switch (rotation) {
          case 1: rx = kLast - y; ry = x; break;
          case 2: rx = kLast - x; ry = kLast - y; break;
          case 3: rx = y; ry = kLast - x; break;
          default: XASSERT(false, "huh?"); break;
        }
        fTable[rotation - 1][x][y][0] = static_cast<uint8_t>(rx);
        fTable[rotation - 1][x][y][1] = static_cast<uint8_t>(ry);
      }
    }
  }
  fBuilt = true;
}

CTilePt TileRotationTable::Rotate(int32_t rotation, int32_t x, int32_t y) const {
  if (rotation == 0) return CTilePt(x, y);
  bool inRange = rotation >= 1 && rotation <= 3 && x >= 0 && x < kSize && y >= 0 && y < kSize;
  XASSERT(inRange, "huh?");
  if (!inRange) return CTilePt(x, y);
  const uint8_t* to = fTable[rotation - 1][x][y];
  return CTilePt(to[0], to[1]);
}
