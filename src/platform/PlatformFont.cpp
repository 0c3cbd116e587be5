#include "PlatformFont.h"

#include <mutex>

#ifdef OBJTOOLS_HAVE_FONTS
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

namespace {

#ifdef OBJTOOLS_HAVE_FONTS

// The loaded face, kept for the life of the process.
struct Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  PlatformFontMetrics metrics{0, 0};
};

std::mutex gFontLock;

// Finds the sans-serif face through fontconfig and opens it; null face when anything fails.
Face LoadFace() {
  Face result;
  // A configuration of our own, released once the file is known, so that the process-wide
  // one (which a window toolkit may be using) is left alone.
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (config == nullptr) return result;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPattern* match = nullptr;
  if (pattern != nullptr) {
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult matchResult = FcResultNoMatch;
    match = FcFontMatch(config, pattern, &matchResult);
    FcPatternDestroy(pattern);
  }
  if (match == nullptr) {
    FcConfigDestroy(config);
    return result;
  }
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    if (FT_Init_FreeType(&result.library) == 0) {
      if (FT_New_Face(result.library, reinterpret_cast<const char*>(file), index, &result.face) != 0 ||
          FT_Set_Pixel_Sizes(result.face, 0, kPlatformFontPixelSize) != 0) {
        if (result.face) FT_Done_Face(result.face);
        result.face = nullptr;
        FT_Done_FreeType(result.library);
        result.library = nullptr;
      }
    }
  }
  FcPatternDestroy(match);
  FcConfigDestroy(config);
  if (result.face) {
    const FT_Size_Metrics& m = result.face->size->metrics;
    result.metrics.ascent = static_cast<int32_t>((m.ascender + 63) >> 6);
    result.metrics.lineHeight = static_cast<int32_t>((m.height + 63) >> 6);
    if (result.metrics.lineHeight <= 0) result.metrics.lineHeight = kPlatformFontPixelSize;
  }
  return result;
}

// The face, loaded on first use. Callers hold gFontLock.
Face& TheFace() {
  static Face face = LoadFace();
  return face;
}

// Loads the glyph of one Latin-1 character; false when the face has none to render.
bool LoadGlyph(FT_Face face, unsigned char c) {
  return FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0;
}

#endif

}  // namespace

bool PlatformFontAvailable() {
#ifdef OBJTOOLS_HAVE_FONTS
  std::lock_guard<std::mutex> hold(gFontLock);
  return TheFace().face != nullptr;
#else
  return false;
#endif
}

bool PlatformFontGetMetrics(PlatformFontMetrics& metrics) {
  metrics = PlatformFontMetrics{0, 0};
#ifdef OBJTOOLS_HAVE_FONTS
  std::lock_guard<std::mutex> hold(gFontLock);
  if (TheFace().face == nullptr) return false;
  metrics = TheFace().metrics;
  return true;
#else
  return false;
#endif
}

int32_t PlatformFontTextWidth(const char* text, int32_t length) {
#ifdef OBJTOOLS_HAVE_FONTS
  if (text == nullptr || length <= 0) return 0;
  std::lock_guard<std::mutex> hold(gFontLock);
  FT_Face face = TheFace().face;
  if (face == nullptr) return 0;
  int64_t width = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (FT_Load_Char(face, static_cast<unsigned char>(text[i]), FT_LOAD_DEFAULT) == 0)
      width += face->glyph->advance.x >> 6;
  }
  return width > INT32_MAX ? INT32_MAX : static_cast<int32_t>(width);
#else
  (void)text;
  (void)length;
  return 0;
#endif
}

void PlatformFontDrawText(const char* text, int32_t length, int32_t x, int32_t baseline, PlatformFontPlot plot,
                          void* context) {
#ifdef OBJTOOLS_HAVE_FONTS
  if (text == nullptr || length <= 0 || plot == nullptr) return;
  std::lock_guard<std::mutex> hold(gFontLock);
  FT_Face face = TheFace().face;
  if (face == nullptr) return;
  int64_t penX = x;
  for (int32_t i = 0; i < length; ++i) {
    if (!LoadGlyph(face, static_cast<unsigned char>(text[i]))) continue;
    const FT_GlyphSlot glyph = face->glyph;
    const FT_Bitmap& bitmap = glyph->bitmap;
    if (bitmap.pitch < 0) continue;  // rendered glyphs are top-down; anything else is not ours to read
    const int64_t left = penX + glyph->bitmap_left, top = int64_t(baseline) - glyph->bitmap_top;
    for (unsigned int row = 0; row < bitmap.rows; ++row) {
      const unsigned char* bits = bitmap.buffer + int64_t(row) * bitmap.pitch;
      for (unsigned int col = 0; col < bitmap.width; ++col) {
        const bool covered = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (bits[col >> 3] & (0x80 >> (col & 7))) != 0
                                                                     : bits[col] >= 128;
        const int64_t px = left + col, py = top + row;
        if (covered && px >= INT32_MIN && px <= INT32_MAX && py >= INT32_MIN && py <= INT32_MAX)
          plot(context, static_cast<int32_t>(px), static_cast<int32_t>(py));
      }
    }
    penX += glyph->advance.x >> 6;
  }
#else
  (void)text;
  (void)length;
  (void)x;
  (void)baseline;
  (void)plot;
  (void)context;
#endif
}
