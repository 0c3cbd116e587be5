#include "MakeThickWalls.h"

#include <cstdio>

#include "Compressor.h"
#include "MHandle.h"
#include "MakeWalls.h"
#include "PlatformDebug.h"
#include "SpriteList.h"
#include "TileSupport.h"
#include "WallError.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

constexpr uint32_t kThickAlphaListVersion = 505;
constexpr uint32_t kNoPaletteId = 0xFFFFFFFF;

// A scale outside 1 to 3 would cut pieces that leave the image: the maker refuses it before
// anything is written.
void RefuseBadScale(int32_t scale) {
  if (scale >= 1 && scale <= 3) return;
  XASSERT(scale >= 1 && scale <= 3, "bad scale");
  ThrowWallError("bad scale", scale);
}

// One list of the 46 pieces of `world`, compressed with `settings`; null after printing the
// failure. The pieces must lie inside the image, else the list would hold clipped frames.
MHandle* MakeThickList(Offscreen* world, int32_t scale, const CompressorSettings& settings,
                       uint32_t paletteId, uint32_t version) {
  try {
    if (gCompressor == nullptr) gCompressor = new Compressor;
    MacRect rects[kThickWallPieceCount];
    if (!ThickWallPieceRects(rects, scale)) ThrowWallError("bad scale", scale);
    if (world == nullptr || !world->Exists()) ThrowWallError("no image for thick wall pieces", 0);
    if (!TileRectsInside(world, rects, kThickWallPieceCount)) {
      ThrowWallError("image too small for the thick wall pieces", scale);
    }
    gCompressor->SetSettings(settings);
    MHandle* list = nullptr;
    const int32_t status = gCompressor->CompressSpriteList(world, rects, list, kThickWallPieceCount,
                                                           GetGlobalPalette(), paletteId, version);
    if (status != 0) ThrowWallError("could not make spritelist", status);
    return list;
  } catch (const WallError& error) {
    PrintWallError(error);
    return nullptr;
  }
}

}  // namespace

bool ThickWallPieceRects(MacRect rects[kThickWallPieceCount], int32_t scale) {
  if (scale < 1 || scale > 3) {
    XASSERT(scale >= 1 && scale <= 3, "bad scale");
    return false;
  }
  const int32_t k = 1 << (scale - 1);
  int32_t count = 0;
  for (int32_t r = 0; r < 6; r++) {
    for (int32_t c = 0; c < 8; c++) {
      if ((r == 0 && c == 0) || (r == 5 && c == 7)) continue;
      const int32_t h = 18 * k + 36 * c * k;
      const int32_t v = 10 * k + 75 * r * k;
      MacRect& piece = rects[count++];
      piece.left = static_cast<int16_t>(h - 16 * k);
      piece.top = static_cast<int16_t>(v - 8 * k);
      piece.right = static_cast<int16_t>(h + 16 * k);
      piece.bottom = static_cast<int16_t>(v + 8 * k);
      char line[64];
      std::snprintf(line, sizeof line, "(%d, %d; %d, %d)\n", piece.left, piece.top, piece.right,
                    piece.bottom);
      PlatformDebugOutput(line);
    }
  }
  XASSERT(count == kThickWallPieceCount, "logic error");
  return true;
}

int32_t MakeThickWalls(Offscreen* colour, int32_t scale, iResFile* file) {
  return RunWallMaker([&] {
    RefuseBadScale(scale);
    TileLists lists;
    lists.Add(MakeThickList(colour, scale, TileColourSettings(colour), kThickWallPaletteId, kSpriteListColorVersion),
              ThickWallSpriteId(scale));
    if (!lists.Complete()) return false;
    lists.WriteAll(file, kTileSprType);
    WriteTilePalette(file, kThickWallPaletteId);
    return true;
  });
}

int32_t MakeThickCutaway(Offscreen* colour, Offscreen* alpha, int32_t zoom, iResFile* file) {
  return RunWallMaker([&] {
    RefuseBadScale(zoom);
    TileLists colourList;
    colourList.Add(MakeThickList(colour, zoom, TileColourSettings(colour), kThickCutawayPaletteId,
                                 kSpriteListColorVersion),
                   ThickCutawaySpriteId(zoom));

    // The alpha list: the same pieces of the TGA's alpha channel, 255 clear.
    CompressorSettings settings = TileColourSettings(colour);
    settings.clearColor = 255;
    TileLists alphaList;
    if (alpha == nullptr || !alpha->Exists()) {
      // Without an alpha channel the list would hold empty frames.
      PrintWallError(WallError{"thick wall cutaway tga has no alpha channel", 0});
      alphaList.Add(nullptr, ThickCutawayAlphaSpriteId(zoom));
    } else {
      alphaList.Add(MakeThickList(alpha, zoom, settings, kNoPaletteId, kThickAlphaListVersion),
                    ThickCutawayAlphaSpriteId(zoom));
    }
    if (!colourList.Complete() || !alphaList.Complete()) return false;
    colourList.WriteAll(file, kTileSprType);
    WriteTilePalette(file, kThickCutawayPaletteId);
    alphaList.WriteAll(file, kTileSprType);
    return true;
  });
}
