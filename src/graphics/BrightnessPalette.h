// Brightness tools of the palette toolkit: a table that maps every palette colour to the
// palette colour nearest to it made brighter or darker (compared in CIE L*u*v*, sRGB
// primaries with a D65 white), a brightness change of one colour in YUV, and a tinted grey.
// Colours travel as 0x00RRGGBB. Nothing here keeps state.
#ifndef GRAPHICS_BRIGHTNESSPALETTE_H
#define GRAPHICS_BRIGHTNESSPALETTE_H

#include <cstdint>

class PalWrap;

// For each palette entry i, outTable[i] is the usable index whose colour is nearest (squared
// L*u*v* distance, lowest index on ties) to entry i with its lightness changed to
// L* * scale + offset, capped to 0..100 (its chromaticity kept). Entries a palette does not
// have map to themselves; a palette without colours gives the identity table.
void MakeBrightnessTable(const PalWrap& palette, float scale, float offset, uint8_t outTable[256]);

// The colour with its YUV luma changed to Y * scale + offset; each component clamped to
// 0..1 and rounded back to 0..255.
uint32_t AdjustColorBrightness(uint32_t rgb, float scale, float offset);

// g = (R + G + B) / 3 * factor + 0.5, clamped to 0..255; the result has red min(g + 48, 255)
// and green and blue g.
uint32_t TintedGrey(uint32_t rgb, float factor);

#endif  // GRAPHICS_BRIGHTNESSPALETTE_H
