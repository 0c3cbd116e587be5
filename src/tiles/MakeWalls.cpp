#include "MakeWalls.h"

#include <cstdio>

#include "Compressor.h"
#include "SpriteList.h"
#include "TileSupport.h"
#include "WallError.h"
#include "offscrn.h"
#include "palwrap.h"
#include "resfile.h"

namespace {

constexpr uint32_t kNoPaletteId = 0xFFFFFFFFu;
constexpr uint32_t kWallListVersion = 502;
constexpr uint32_t kStyleListVersion = 504;
constexpr int32_t kTransitionStyle = 9;
constexpr int32_t kTransitionPattern = 252;
constexpr int16_t kWallFrames = 5;
constexpr int16_t kStyleFrames = 4;

void MakeCompressor() {
  if (gCompressor == nullptr) gCompressor = new Compressor;
}

// Colour frames of walls and patterns: clear colour `clear`, runs of 16 or more, suppression
// to the usable range of the global palette.
CompressorSettings ColourSettings(uint8_t clear) {
  const PalWrap* palette = GetGlobalPalette();
  CompressorSettings s = {};
  s.flags = kCompressClearColor | kCompressRepeats | kCompressSuppress;
  s.clearColor = clear;
  s.minRepeat = 16;
  s.suppressLow = static_cast<uint8_t>(palette->FirstUsableIndex());
  s.suppressHigh = static_cast<uint8_t>(palette->LastUsableIndex());
  return s;
}

CompressorSettings DepthSettings() {
  CompressorSettings s = {};
  s.flags = kCompressClearColor | kCompressRepeats;
  s.clearColor = 255;
  s.minRepeat = 8;
  return s;
}

// Wall styles are masks: everything that is not clear (255) becomes colour 0.
CompressorSettings StyleSettings() {
  CompressorSettings s = {};
  s.flags = kCompressClearColor | kCompressRepeats | kCompressSuppress;
  s.clearColor = 255;
  s.minRepeat = 16;
  s.suppressLow = 0;
  s.suppressHigh = 0;
  return s;
}

uint8_t TopLeftPixel(Offscreen* world) {
  return world != nullptr && world->Exists() ? world->GetBaseAddr()[0] : 0;
}

// {left, top, right, bottom} as written in the layout tables.
MacRect LTRB(int16_t left, int16_t top, int16_t right, int16_t bottom) {
  return MacRect{top, left, bottom, right};
}

// The list of one zoom; a WallError is printed and gives a null list.
template <class Make>
MHandle* ListOrNull(Make make) {
  try {
    return make();
  } catch (const WallError& error) {
    PrintWallError(error);
    return nullptr;
  }
}

MHandle* MakeWallList(Offscreen* colour, Offscreen* depth, int32_t zoom) {
  MakeCompressor();
  MacRect rects[kWallFrames];
  if (!GetWallRects(zoom, rects)) return nullptr;
  // Pieces that leave the image would be cut from pixels that are not there: empty frames.
  if (!TileRectsInside(colour, rects, kWallFrames)) ThrowWallError("image too small for the wall pieces", zoom);
  gCompressor->SetSettings(ColourSettings(TopLeftPixel(colour)));
  gCompressor->TrimFrames(colour, rects, kWallFrames, kTrimTop, 0);
  MHandle* list = nullptr;
  int32_t status = gCompressor->CompressSpriteList(colour, rects, list, kWallFrames, nullptr, kNoPaletteId,
                                                   kWallListVersion);
  if (status != 0) ThrowWallError("could not make spritelist", status);
  if (depth != nullptr && depth->Exists()) {
    gCompressor->SetSettings(DepthSettings());
    MHandle* depthList = nullptr;
    status = gCompressor->CompressSpriteList(depth, rects, depthList, kWallFrames, nullptr, kNoPaletteId,
                                             kWallListVersion);
    if (status != 0) {
      HFree(list);
      ThrowWallError("could not make z spritelist", status);
    }
    status = Compressor::MergeSpriteLists(depthList, list);
    HFree(depthList);
    if (status != 0) {
      HFree(list);
      ThrowWallError("could not mmerge sprite lists", status);
    }
  }
  return list;
}

// A style or pattern list: four untrimmed frames of `world`, the global palette for the
// colour suppression. An image that does not hold the four pieces throws `tooSmall`.
MHandle* MakeFourFrameList(Offscreen* world, int32_t zoom, bool transition, const CompressorSettings& settings,
                           uint32_t paletteId, const char* tooSmall) {
  MakeCompressor();
  MacRect rects[kStyleFrames];
  if (!GetWallStyleRects(zoom, transition, rects)) return nullptr;
  if (!TileRectsInside(world, rects, kStyleFrames)) ThrowWallError(tooSmall, zoom);
  gCompressor->SetSettings(settings);
  MHandle* list = nullptr;
  int32_t status = gCompressor->CompressSpriteList(world, rects, list, kStyleFrames, GetGlobalPalette(),
                                                   paletteId, kStyleListVersion);
  if (status != 0) ThrowWallError("could not make spritelist", status);
  return list;
}

MHandle* MakeStyleList(Offscreen* world, int32_t style, int32_t zoom) {
  return MakeFourFrameList(world, zoom, style == kTransitionStyle, StyleSettings(), kNoPaletteId,
                           "image too small for the wall style pieces");
}

}  // namespace

bool GetWallRects(int32_t zoom, MacRect rects[5]) {
  XASSERT(zoom >= kMinScale && zoom <= kMaxScale, "bad scale");
  if (zoom < kMinScale || zoom > kMaxScale) return false;
  const int32_t width = WallCellWidth(zoom);
  const int32_t height = WallHeight(zoom);
  const int32_t pitch = WallHeight(kMaxScale);
  const int32_t inset = ScaleFactor(zoom);
  // The large walls sit at the left, then the middle ones, then the small ones.
  int32_t shift = 0;
  for (int32_t larger = kMaxScale; larger > zoom; --larger) shift += 4 * WallCellWidth(larger);
  static const int32_t kColumn[kWallFrames] = {0, 0, 1, 0, 1};
  static const int32_t kRow[kWallFrames] = {0, 1, 1, 2, 2};
  for (int32_t i = 0; i < kWallFrames; ++i) {
    const int32_t left = shift + kColumn[i] * width;
    const int32_t top = kRow[i] * pitch;
    rects[i] = LTRB(static_cast<int16_t>(left + inset), static_cast<int16_t>(top + inset),
                    static_cast<int16_t>(left + width - inset), static_cast<int16_t>(top + height - inset));
  }
  return true;
}

bool GetWallStyleRects(int32_t zoom, bool transition, MacRect rects[4]) {
  XASSERT(zoom >= kMinScale && zoom <= kMaxScale, "bad scale");
  if (zoom < kMinScale || zoom > kMaxScale) return false;
  static const MacRect kRects[3][5] = {
      {LTRB(554, 22, 570, 89), LTRB(577, 22, 593, 90), LTRB(600, 22, 632, 82), LTRB(648, 39, 652, 97),
       LTRB(648, 23, 652, 92)},
      {LTRB(372, 20, 404, 155), LTRB(408, 20, 440, 156), LTRB(444, 20, 508, 140), LTRB(513, 55, 521, 171),
       LTRB(513, 23, 521, 159)},
      {LTRB(13, 16, 77, 287), LTRB(87, 16, 151, 288), LTRB(168, 16, 296, 256), LTRB(311, 87, 327, 319),
       LTRB(311, 22, 327, 295)},
  };
  const MacRect* row = kRects[zoom - 1];
  for (int32_t i = 0; i < 3; ++i) rects[i] = row[i];
  rects[3] = row[transition ? 4 : 3];
  return true;
}

void WriteWallSprites(iResFile* file, MHandle*& list, uint16_t id, const char* name) {
  MHandle* h = list;
  list = nullptr;
  WriteTileSprites(file, h, kTileSprType, id, name);
}

int32_t MakeWall(Offscreen* colour, Offscreen* depth, uint8_t style, uint16_t cutaway, iResFile* file) {
  return RunWallMaker([&] {
    TileLists lists;
    for (int32_t zoom = kMinScale; zoom <= kMaxScale; ++zoom) {
      lists.Add(ListOrNull([&] { return MakeWallList(colour, depth, zoom); }), WallSpriteId(style, zoom, cutaway));
    }
    if (!lists.Complete()) return false;
    lists.WriteAll(file, kTileSprType);
    return true;
  });
}

int32_t MakeWallStyle(Offscreen* world, int32_t style, uint16_t cutaway, iResFile* file) {
  return RunWallMaker([&] {
    // A TGA without an alpha channel has no style to cut: empty sprites would pass for it.
    if (world == nullptr || !world->Exists()) ThrowWallError("wall style image has no alpha channel", 0);
    TileLists lists;
    for (int32_t zoom = kMinScale; zoom <= kMaxScale; ++zoom) {
      const uint16_t id = WallStyleSpriteId(style, zoom, cutaway);
      MHandle* list = ListOrNull([&] { return MakeStyleList(world, style, zoom); });
      char name[64];
      std::snprintf(name, sizeof name, "%d:%d:%d(%d)", style, zoom, cutaway != 0 ? 1 : 0,
                    static_cast<int16_t>(id));
      std::printf("%s\n", name);
      lists.Add(list, id, name);
    }
    if (!lists.Complete()) return false;
    lists.WriteAll(file, kTileSprType);
    return true;
  });
}

int32_t MakeWallStyleSprites(Offscreen* normal, Offscreen* cutaway, iResFile* file, int32_t specId,
                             const StringBuffer& specName) {
  return RunWallMaker([&] {
    Offscreen* worlds[2] = {normal, cutaway};
    TileLists lists;
    for (int32_t cut = 0; cut <= 1; ++cut) {
      Offscreen* world = worlds[cut];
      if (world == nullptr || !world->Exists()) continue;
      for (int32_t zoom = kMinScale; zoom <= kMaxScale; ++zoom) {
        const uint16_t id = WallStyleTagSpriteId(static_cast<uint32_t>(specId), zoom, cut);
        MHandle* list = ListOrNull([&] { return MakeStyleList(world, specId, zoom); });
        char name[160];
        std::snprintf(name, sizeof name, "%s %d:%d:%d(%d)", specName.c_str(), specId, zoom, cut,
                      static_cast<int16_t>(id));
        std::printf("%s\n", name);
        lists.Add(list, id, name);
      }
    }
    if (!lists.Complete()) return false;
    lists.WriteAll(file, kTileSprType);
    return true;
  });
}

int32_t MakeWallPattern(Offscreen* colour, int32_t pattern, iResFile* file) {
  return RunWallMaker([&] {
    const uint16_t paletteId = WallPatternSpriteId(pattern, 1);
    const bool transition = pattern == kTransitionPattern;
    TileLists lists;
    for (int32_t zoom = kMinScale; zoom <= kMaxScale; ++zoom) {
      const uint16_t id = WallPatternSpriteId(pattern, zoom);
      char name[64];
      std::snprintf(name, sizeof name, "%d:%d(%d)", pattern, zoom, static_cast<int16_t>(id));
      std::printf("%s\n", name);
      if (transition) std::fprintf(stderr, "Doing transition left pattern");
      lists.Add(ListOrNull([&] {
                  return MakeFourFrameList(colour, zoom, transition, ColourSettings(TopLeftPixel(colour)), paletteId,
                                           "image too small for the wall pattern pieces");
                }),
                id, name);
    }
    if (!lists.Complete()) return false;
    lists.WriteAll(file, kTileSprType);
    WriteTilePalette(file, paletteId);
    return true;
  });
}
