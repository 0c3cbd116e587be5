#include "MakeFloors.h"

#include <vector>

#include "Compressor.h"
#include "Sprite2Compressor.h"
#include "SpriteList.h"
#include "TileSupport.h"
#include "WallError.h"
#include "offscrn.h"

namespace {

constexpr uint32_t kShadowPaletteId = 1;

// The id rules keep each kind inside its own id range only for these ids; another id would
// write over the sprites of another tile, so the maker refuses it before anything is written.
void RefuseIdOutOfRange(uint32_t id, bool shadow, bool pool) {
  const char* message = nullptr;
  if (shadow) {
    if (id >= 32) message = "shadow id out of range";
  } else if (pool) {
    if (id > 19) {
      message = id < 0x80000000u ? "pool tile overlap piece id out-of-range" : "pool tile id out-of-range";
    }
  } else if (id > 255) {
    message = "floor id out of range";
  }
  if (message == nullptr) return;
  XASSERT(message == nullptr, message);
  ThrowWallError(message, static_cast<int32_t>(id));
}

}  // namespace

void FloorTileRect(MacRect& rect, int32_t zoom) {
  switch (zoom) {
    case 1:
      rect = MacRect{1, 195, 17, 226};
      break;
    case 2:
      rect = MacRect{1, 130, 33, 193};
      break;
    case 3:
      rect = MacRect{1, 1, 65, 128};
      break;
    default:
      XASSERT(false, "bad scale!");
      break;
  }
}

int32_t MakeFloorTile(Offscreen* colour, iResFile* file, uint32_t id, uint8_t shadow, uint8_t pool) {
  return RunWallMaker([&] {
    const bool inPoolTile = pool != 0;
    if (shadow != 0) XASSERT(false == inPoolTile, "pooltile & shadow?!?");
    const bool isShadow = shadow != 0;
    const bool isPool = !isShadow && inPoolTile;
    RefuseIdOutOfRange(id, isShadow, isPool);

    const int32_t tileId = static_cast<int32_t>(id);
    const uint8_t smallId = static_cast<uint8_t>(id);
    uint32_t paletteId = id;
    if (isShadow) paletteId = kShadowPaletteId;
    if (isPool) paletteId = PoolSpriteId(tileId, 1);

    // Every zoom is made before anything is written: a tile with a zoom missing would leave
    // the object file with a palette or sprites that do not belong together.
    TileLists lists;
    for (int32_t zoom = 1; zoom <= 3; zoom++) {
      uint16_t spriteId = FloorSpriteId(smallId, zoom);
      if (isShadow) spriteId = ShadowSpriteId(smallId, zoom);
      if (isPool) spriteId = PoolSpriteId(tileId, zoom);
      lists.Add(MakeFloorSpriteList(colour, zoom, paletteId), spriteId);
    }
    if (!lists.Complete()) return false;
    lists.WriteAll(file, kTileSpr2Type);
    if (!isShadow) {
      WriteTilePalette(file, static_cast<uint16_t>(paletteId));
    }
    return true;
  });
}

MHandle* MakeFloorSpriteList(Offscreen* colour, int32_t zoom, uint32_t paletteId) {
  try {
    if (gCompressor == nullptr) gCompressor = new Compressor;
    if (zoom < 1 || zoom > 3) {
      XASSERT(false, "bad scale!");
      ThrowWallError("bad scale!", zoom);
    }
    MacRect rect = {0, 0, 0, 0};
    FloorTileRect(rect, zoom);
    // A tile that leaves the image would be cut from pixels that are not there.
    if (!TileRectsInside(colour, &rect, 1)) ThrowWallError("image too small for the floor tile", zoom);
    MacRect trimmed = rect;
    gCompressor->SetSettings(TileColourSettings(colour));
    gCompressor->TrimFrames(colour, &trimmed, 1, kTrimTop | kTrimLeft | kTrimBottom | kTrimRight, 0);

    const uint16_t framePalette = static_cast<uint16_t>(paletteId);
    const std::vector<MHandle*> frames = {EncodeSprite2Color(colour, rect, trimmed, framePalette)};
    MHandle* list = AssembleSprite2List(frames, paletteId);
    if (list == nullptr) ThrowWallError("could not make floor sprite", zoom);
    return list;
  } catch (const WallError& error) {
    PrintWallError(error);
    return nullptr;
  }
}

void WriteFloorSprites(iResFile* file, MHandle* list, uint16_t id, const char* name) {
  WriteTileSprites(file, list, kTileSpr2Type, id, name);
}
