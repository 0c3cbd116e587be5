// The SPR2 frame encoder as it was before its loops were rewritten for speed, kept only as the
// reference that the tests compare the library's encoder with. Same contracts as
// EncodeSprite2Color, EncodeSprite2ColorZ and EncodeSprite2ColorZAlpha.
#pragma once

#include <cstdint>

#include "MHandle.h"
#include "MacRect.h"
#include "Sprite2Compressor.h"

class Offscreen;

namespace spr2ref {

MHandle* EncodeColor(Offscreen* colour, const MacRect& reference, const MacRect& frame,
                     uint16_t paletteId = kSprite2NoPalette);
MHandle* EncodeColorZ(Offscreen* colour, Offscreen* z, const MacRect& reference, const MacRect& frame,
                      uint16_t paletteId = kSprite2NoPalette);
MHandle* EncodeColorZAlpha(Offscreen* colour, Offscreen* z, Offscreen* alpha, const MacRect& reference,
                           const MacRect& frame, int alpha_bits, uint16_t paletteId = kSprite2NoPalette);

}  // namespace spr2ref
