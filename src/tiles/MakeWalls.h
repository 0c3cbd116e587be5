// The wall makers: they cut wall images into SPR# sprite lists, one list per zoom (1 small to
// 3 large), and add them to the object file.
//  - MakeWall: the five pieces of a wall from a colour world and a depth world (-wall);
//  - MakeWallStyle: the four pieces of one numbered wall style (-wallstyle);
//  - MakeWallStyleSprites: the normal and cutaway pieces of a "wall style" tag (-graphics);
//  - MakeWallPattern: the four pieces of one wall pattern, and its palette (-wallpattern).
// The makers throw nothing: a WallError is printed as "%s : %d\n" on the standard error
// stream. Each makes every list of its tile before it writes any: a tile one of whose zooms
// cannot be made is not made and writes nothing; a failure in writing ends the maker. Either
// is answered, for the stage to end the build with. The names of the style and pattern
// sprites are printed on the standard output.
//
// Not thread-safe: the program-wide compressor and the global palette serve one build.
#pragma once

#include <cstdint>

#include "MHandle.h"
#include "MacRect.h"
#include "StringBuffer.h"
#include "XAssert.h"
#include "isoview.h"
#include "tilewalls.h"

class Offscreen;
class iResFile;

constexpr int32_t kCustomWindowStyle = 22;  // a style that has no sprite id
constexpr uint32_t kSprType = 0x53505223;   // 'SPR#'

// 128 + 16 x (style - 1) + zoom, + 8 for a cutaway.
inline uint16_t WallSpriteId(uint8_t style, int32_t zoom, uint16_t cutaway) {
  return static_cast<uint16_t>(128 + 16 * (style - 1) + zoom + (cutaway != 0 ? 8 : 0));
}

// 512 x (zoom - 1) + 2 x style, + 1 for a cutaway.
inline uint16_t WallStyleSpriteId(int32_t style, int32_t zoom, uint32_t cutaway) {
  XASSERT(style >= 0 && style < static_cast<int32_t>(kMaxStyles), "Style out of range");
  XASSERT(zoom >= kMinScale && zoom <= kMaxScale, "zoom out of range (1,2 or 3, please)");
  XASSERT(style != kCustomWindowStyle, "can't get id for custom style!");
  return static_cast<uint16_t>(512 * (zoom - 1) + 2 * style + (cutaway != 0 ? 1 : 0));
}

// Spec id + 3 x cutaway + zoom - 1.
inline uint16_t WallStyleTagSpriteId(uint32_t specId, int32_t zoom, int32_t cutaway) {
  XASSERT(zoom >= kMinScale && zoom <= kMaxScale, "zoom out of range (1,2 or 3, please)");
  XASSERT(cutaway == 0 || cutaway == 1, "cutaway out of range (0 or 1, please)");
  return static_cast<uint16_t>(specId + 3 * cutaway + zoom - 1);
}

// 1536 + 256 x (zoom - 1) + pattern.
inline uint16_t WallPatternSpriteId(int32_t pattern, int32_t zoom) {
  XASSERT(pattern >= 0 && pattern < static_cast<int32_t>(kMaxPatterns), "Pattern out of range");
  XASSERT(zoom >= kMinScale && zoom <= kMaxScale, "zoom out of range (1,2 or 3, please)");
  return static_cast<uint16_t>(1536 + 256 * (zoom - 1) + pattern);
}

// The five frame rectangles of a wall at `zoom`. A zoom outside 1 to 3 reports "bad scale"
// and leaves `rects` unset (false).
bool GetWallRects(int32_t zoom, MacRect rects[5]);
// The four frame rectangles of a wall style or pattern at `zoom`; `transition` takes the
// transition variant of frame 3. Out-of-range zoom as above.
bool GetWallStyleRects(int32_t zoom, bool transition, MacRect rects[4]);

// Each maker answers 0 for a tile written; kTileNotMade (nothing written) when a zoom's list
// could not be made, such as for an image too small for a zoom's pieces ("image too small for
// the wall pieces", style, pattern: "... wall style pieces", "... wall pattern pieces", with
// the zoom as code); or the object file's error when a list or palette could not be added or
// written (after printing it).
int32_t MakeWall(Offscreen* colour, Offscreen* depth, uint8_t style, uint16_t cutaway, iResFile* file);
int32_t MakeWallStyle(Offscreen* world, int32_t style, uint16_t cutaway, iResFile* file);
int32_t MakeWallStyleSprites(Offscreen* normal, Offscreen* cutaway, iResFile* file, int32_t specId,
                             const StringBuffer& specName);
int32_t MakeWallPattern(Offscreen* colour, int32_t pattern, iResFile* file);

// Adds `list` as SPR# `id` (named `name`, or unnamed for null) in host byte order, writes it,
// updates the file and disposes of the list; `list` is null afterwards, on failure too (a list
// that the file did not take is freed). Throws WallError ("could not add sprites", "could
// not add write sprites", "could not update file") with the file's error.
void WriteWallSprites(iResFile* file, MHandle*& list, uint16_t id, const char* name);
