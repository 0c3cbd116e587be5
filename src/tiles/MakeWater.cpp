#include "MakeWater.h"

#include <vector>

#include "MakeFloors.h"
#include "MakeSPR.h"
#include "ObjectBuilder.h"
#include "Sprite2Compressor.h"
#include "TileSupport.h"
#include "XAssert.h"
#include "offscrn.h"

namespace {

// Ends the build with `message` after raising it as an assertion.
[[noreturn]] void WaterFailure(const char* message) {
  XASSERT(false, message);
  ThrowError(message);
}

}  // namespace

void ClampWaterDepth(Offscreen* depth) {
  if (depth == nullptr || !depth->Exists()) return;
  int32_t width = 0;
  int32_t height = 0;
  depth->GetSize(width, height);
  uint8_t* row = depth->GetBaseAddr();
  const int32_t step = depth->GetRowBytes();
  for (int32_t y = 0; y < height; y++, row += step) {
    for (int32_t x = 0; x < width; x++) {
      if (row[x] == 255) row[x] = 254;
    }
  }
}

void MakeWaterTile(const StringBuffer& bmp, const StringBuffer& tga, iResFile* file, int32_t id) {
  // Another id would write over sprites that are not water tiles. Checked first: the image
  // names come from the id, so an id out of range names images that need not exist.
  if (id < 0 || id > 15) WaterFailure("water tile id out-of-range");
  // Without its BMP the tile would be matched to whatever palette was loaded last.
  RequirePaletteBmp(bmp);
  Offscreen colour;
  Offscreen depth;
  RenderImageFile(&bmp, &tga, &colour, &depth, 0);
  // Frames without depth would not be water tiles: the TGA must carry an alpha channel.
  if (!depth.Exists()) ThrowError("water tile tga has no alpha channel for depth");
  ClampWaterDepth(&depth);

  const uint16_t spriteId = WaterSpriteId(id);

  // Largest first, untrimmed.
  MacRect rects[3];
  for (int32_t i = 0; i < 3; i++) FloorTileRect(rects[i], 3 - i);
  if (!TileRectsInside(&colour, rects, 3)) {
    ThrowError("tga file too small for some sprite position...did you export all frames?");
  }
  std::vector<MHandle*> frames;
  for (const MacRect& rect : rects) {
    frames.push_back(EncodeSprite2ColorZ(&colour, &depth, rect, rect, spriteId));
  }
  MHandle* list = AssembleSprite2List(frames, spriteId);
  if (list == nullptr) ThrowError("could not make water tile sprite");

  const char* failed = nullptr;
  if (AddTileResource(file, list, kTileSpr2Type, spriteId, tga.c_str(), false, kTileSpriteSteps, failed) != 0) {
    WaterFailure(failed);
  }
  if (AddTilePalette(file, spriteId, failed) != 0) WaterFailure(failed);
}
