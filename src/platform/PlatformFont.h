// The face that drawn text uses: the system's sans-serif face at a small pixel size, found
// through fontconfig and rasterised with FreeType. When the library is built without them, or
// no face can be found or loaded, no font is available and callers lay text out in fixed cells.
//
// Thread-safe: the face is loaded once and every call that touches it holds one lock.
#ifndef PLATFORM_FONT_H
#define PLATFORM_FONT_H

#include <cstdint>

// The pixel size the face is set to.
constexpr int32_t kPlatformFontPixelSize = 12;

struct PlatformFontMetrics {
  int32_t ascent;      // baseline below the top of a line
  int32_t lineHeight;  // distance from one line's top to the next
};

// True when glyphs can be drawn; loads the face on first use.
bool PlatformFontAvailable();
// The face's line metrics; false (and zeros) without a font.
bool PlatformFontGetMetrics(PlatformFontMetrics& metrics);
// The advance width in pixels of `length` characters of `text` (bytes read as Latin-1);
// 0 without a font.
int32_t PlatformFontTextWidth(const char* text, int32_t length);

// Receives each pixel that a glyph covers at least half.
using PlatformFontPlot = void (*)(void* context, int32_t x, int32_t y);
// Rasterises `length` characters from the pen position (x, baseline), calling `plot` for every
// covered pixel; clipping is the caller's. Does nothing without a font.
void PlatformFontDrawText(const char* text, int32_t length, int32_t x, int32_t baseline, PlatformFontPlot plot,
                          void* context);

#endif  // PLATFORM_FONT_H
