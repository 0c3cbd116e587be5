// Floor tiles, floor shadows and pool tiles (-floor, -floorshadow, -pooltile): SPR2 sprites
// of one frame per zoom, cut from fixed rectangles of one colour image, with the image's
// palette beside them (except for shadows), and the sprite ids of every floor kind.
//
// The floor maker throws nothing: every WallError is printed as "%s : %d\n" on the standard
// error stream. A tile one of whose zooms cannot be made is not made: nothing of it is
// written; a failed write ends the maker. Not thread-safe: one build at a time uses the
// global palette and the program-wide compressor.
#pragma once

#include <cstdint>

#include "MHandle.h"
#include "MacRect.h"
#include "StringBuffer.h"
#include "XAssert.h"

class Offscreen;
class iResFile;

// The tile rectangle of a zoom in the source image: zoom 1 is 195, 1, 226, 17 (left, top,
// right, bottom), zoom 2 is 130, 1, 193, 33 and zoom 3 is 1, 1, 128, 65. Another zoom raises
// "bad scale!" and leaves `rect` as it was.
void FloorTileRect(MacRect& rect, int32_t zoom);

// Sprite ids of the tile kinds, zoom 1 to 3. Each id range holds its own kind only, so the
// makers refuse ids outside the checked ranges instead of writing over another tile.
inline uint16_t FloorSpriteId(uint8_t id, int32_t zoom) {
  return static_cast<uint16_t>(256 * (zoom - 1) + id);
}

// Shadows 0 to 31.
inline uint16_t ShadowSpriteId(uint8_t id, int32_t zoom) {
  XASSERT(id < 32, "shadow id out of range");
  return static_cast<uint16_t>(768 + 32 * (zoom - 1) + id);
}

// Pool tiles 0 to 15, and the overlap pieces 16 to 19 (1072 to 1083).
inline uint16_t PoolSpriteId(int32_t id, int32_t zoom) {
  if (id > 15) {
    XASSERT(id <= 19, "pool tile overlap piece id out-of-range");
    return static_cast<uint16_t>(1052 + 4 * zoom + id);
  }
  XASSERT(id >= 0 && id <= 15, "pool tile id out-of-range");
  XASSERT(zoom >= 1 && zoom <= 3, "scale out-of-range");
  return static_cast<uint16_t>(1024 + 16 * (zoom - 1) + id);
}

// Water tiles 0 to 15; the id is that of the sprite and of its palette.
inline uint16_t WaterSpriteId(int32_t id) {
  XASSERT(id >= 0 && id <= 15, "water tile id out-of-range");
  return static_cast<uint16_t>(2048 + id);
}

// -floor, -floorshadow (`shadow`) and -pooltile (`pool`): the SPR2 sprite of each zoom of
// tile `id` from `colour`, then (unless a shadow) the global palette as PALT under the
// palette id: the id itself for a floor, PoolSpriteId(id, 1) for a pool tile. A shadow's
// lists name palette 1 and no PALT is written. Every zoom is made before anything is written.
// Answers 0; kTileNotMade when the id is out of its kind's range or a zoom could not be made
// (nothing written); or the object file's error when a list or the palette could not be added
// or written (after printing it).
int32_t MakeFloorTile(Offscreen* colour, iResFile* file, uint32_t id, uint8_t shadow, uint8_t pool);

// The SPR2 list of one zoom's tile of `colour`: version 1000, one frame trimmed on all four
// sides past the clear colour (the image's top-left pixel). Null after printing the failure.
MHandle* MakeFloorSpriteList(Offscreen* colour, int32_t zoom, uint32_t paletteId);

// Adds `list` to the file as SPR2 `id` (host order) and writes it; throws WallError when the
// file reports an error. The list is the file's, or freed, on every way out.
void WriteFloorSprites(iResFile* file, MHandle* list, uint16_t id, const char* name);
