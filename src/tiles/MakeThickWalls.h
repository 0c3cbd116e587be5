// Thick walls: 46 small pieces laid out on a fixed grid of one image per zoom. -thickwalls
// cuts them into one SPR# list and writes the image's palette beside it; -thickcutaway makes
// the cutaway version: a list of the colour image with its palette and a second list of the
// TGA's alpha channel.
//
// The makers throw nothing: every WallError is printed as "%s : %d\n" on the standard error
// stream. Every list of a tile is made before anything is written: a list that cannot be made
// leaves the tile not made, with nothing written; a failed write or palette step ends the
// maker. Not thread-safe: one build at a time uses the global palette and the program-wide
// compressor.
#pragma once

#include <cstdint>

#include "MacRect.h"
#include "XAssert.h"

class Offscreen;
class iResFile;

// Pieces per zoom: a grid of 6 rows by 8 columns less its top-left and bottom-right cells.
constexpr int32_t kThickWallPieceCount = 46;

// The palette of every thick-wall list, whatever its zoom.
constexpr uint16_t kThickWallPaletteId = 4096;
// The palette of every cutaway list: the colour list id of zoom 1.
constexpr uint16_t kThickCutawayPaletteId = 5120;

// Thick-wall list of a zoom (1 to 3): 4096, 4097, 4098.
inline uint16_t ThickWallSpriteId(int32_t scale) { return static_cast<uint16_t>(4095 + scale); }

// Cutaway colour list of a zoom (1 to 3): 5120, 5121, 5122.
inline uint16_t ThickCutawaySpriteId(int32_t zoom) {
  XASSERT(zoom >= 1 && zoom <= 3, "bad zoom");
  return static_cast<uint16_t>(5119 + zoom);
}

// Cutaway alpha list of a zoom (1 to 3): 6144, 6145, 6146.
inline uint16_t ThickCutawayAlphaSpriteId(int32_t zoom) {
  XASSERT(zoom >= 1 && zoom <= 3, "bad zoom");
  return static_cast<uint16_t>(6143 + zoom);
}

// The 46 piece rectangles of a zoom, row by row: with k = 2^(scale - 1) the piece of row r
// and column c is 32k x 16k around h = 18k + 36ck, v = 10k + 75rk. Each rectangle goes to the
// debug output as "(left, top; right, bottom)". A scale outside 1 to 3 raises "bad scale",
// leaves `rects` as they were and answers false.
bool ThickWallPieceRects(MacRect rects[kThickWallPieceCount], int32_t scale);

// -thickwalls: the SPR# list 4095 + scale of the pieces of `colour` (palette id 4096,
// untrimmed, host order), then the global palette as PALT 4096. Both makers answer 0 for a
// tile written; kTileNotMade (nothing written) for a scale outside 1 to 3 or a list that could
// not be made; or the object file's error when a list or palette could not be added or written
// (after printing it).
int32_t MakeThickWalls(Offscreen* colour, int32_t scale, iResFile* file);

// -thickcutaway: the colour list 5119 + zoom (palette id 5120) and PALT 5120, then the list
// 6143 + zoom of the same pieces of `alpha` (version 505, no palette).
int32_t MakeThickCutaway(Offscreen* colour, Offscreen* alpha, int32_t zoom, iResFile* file);
