// Sizes of the isometric view by zoom: 1 (small) to 3 (large). The wall makers cut their
// images with them. A zoom outside 1 to 3 is reported ("bad scale") and then treated as
// the nearest zoom in range, so no size is ever computed from a shift out of range.
#pragma once

#include <cstdint>

#include "XAssert.h"

constexpr int32_t kMinScale = 1;
constexpr int32_t kMaxScale = 3;

// The zoom itself when it is in range; otherwise reports "bad scale" and answers the
// nearest zoom in range.
inline int32_t CheckedScale(int32_t inScale) {
  XASSERT(inScale >= kMinScale && inScale <= kMaxScale, "bad scale");
  if (inScale < kMinScale) return kMinScale;
  if (inScale > kMaxScale) return kMaxScale;
  return inScale;
}

// 2^(zoom - 1): 1, 2, 4.
inline int32_t ScaleFactor(int32_t inScale) { return 1 << (CheckedScale(inScale) - 1); }

// 16 x 2^zoom: 32, 64, 128.
inline int32_t TileWidth(int32_t inScale) { return 16 << CheckedScale(inScale); }

// Tile width + 2 x scale factor: 34, 68, 136.
inline int32_t WallCellWidth(int32_t inScale) {
  int32_t s = CheckedScale(inScale);
  return TileWidth(s) + 2 * ScaleFactor(s);
}

// 96 x 2^(zoom - 1): 96, 192, 384.
inline int32_t WallHeight(int32_t inScale) { return 96 * ScaleFactor(inScale); }
