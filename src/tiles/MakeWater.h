// Water tiles (-watertile): one SPR2 sprite of three frames, colour and depth, cut from the
// floor tile rectangles of a BMP and TGA pair, with the BMP's palette beside it.
//
// Failures end the build: the images through RenderImageFile, the writes with their own
// messages (Terminate). Not thread-safe: one build at a time uses the global palette.
#pragma once

#include <cstdint>

#include "StringBuffer.h"

class Offscreen;
class iResFile;

// -watertile: loads `bmp` (which must exist: it gives the palette) and `tga`, and writes
// SPR2 `WaterSpriteId(id)` of three frames, colour and depth, zoom 3 first and untrimmed,
// named after the TGA path, and the global palette as PALT under the same id.
void MakeWaterTile(const StringBuffer& bmp, const StringBuffer& tga, iResFile* file, int32_t id);

// Makes every depth value 255 (nothing drawn) 254, so that every pixel of a water tile is drawn.
void ClampWaterDepth(Offscreen* depth);
