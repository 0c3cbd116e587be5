#include "PlatformDraw.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "PlatformFont.h"

namespace {

int32_t gLiveBrushes = 0;
PlatformWindowProcs gWindowProcs;

uint8_t NearestIndex(const PlatformBitmap* bitmap, uint32_t color) {
  const int32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  const PlatformColorEntry* table = bitmap->ColorTable();
  int32_t best = 0;
  int64_t bestDistance = INT64_MAX;
  for (int32_t i = 0; i < 256; ++i) {
    const int64_t dr = table[i].red - r, dg = table[i].green - g, db = table[i].blue - b;
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return static_cast<uint8_t>(best);
}

// The bitmap's pixels clipped to it, written through one index.
struct Canvas {
  PlatformBitmap* bitmap;
  explicit Canvas(PlatformDC* dc) : bitmap(dc ? dc->Bitmap() : nullptr) {}
  bool Valid() const { return bitmap != nullptr && bitmap->Width() > 0 && bitmap->Height() > 0; }
  bool Inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < bitmap->Width() && y < bitmap->Height(); }
  void Put(int32_t x, int32_t y, uint8_t index) {
    if (Inside(x, y)) bitmap->TopDownRow(y)[x] = index;
  }
  // The rect clipped to the bitmap; false when nothing is left.
  bool Clip(const PlatformRect& in, PlatformRect& out) const {
    out.left = in.left > 0 ? in.left : 0;
    out.top = in.top > 0 ? in.top : 0;
    out.right = in.right < bitmap->Width() ? in.right : bitmap->Width();
    out.bottom = in.bottom < bitmap->Height() ? in.bottom : bitmap->Height();
    return out.left < out.right && out.top < out.bottom;
  }
  void Fill(const PlatformRect& rect, uint8_t index) {
    PlatformRect r;
    if (!Clip(rect, r)) return;
    for (int32_t y = r.top; y < r.bottom; ++y) std::memset(bitmap->TopDownRow(y) + r.left, index, size_t(r.right - r.left));
  }
};

uint32_t PenColor(PlatformDC* dc) { return dc->fDrawState.pen ? dc->fDrawState.pen->Color() : kPlatformBlack; }

// Ellipse membership of pixel (x, y) for the ellipse inscribed in `r`.
bool InEllipse(const PlatformRect& r, int32_t x, int32_t y) {
  const double a = (r.right - r.left) / 2.0, b = (r.bottom - r.top) / 2.0;
  if (a <= 0 || b <= 0) return false;
  const double dx = (x + 0.5 - (r.left + a)) / a, dy = (y + 0.5 - (r.top + b)) / b;
  return dx * dx + dy * dy <= 1.0;
}

}  // namespace

PlatformBrush* PlatformCreateSolidBrush(uint32_t color) {
  PlatformBrush* brush = new (std::nothrow) PlatformBrush(color & 0x00FFFFFF, false);
  if (brush) ++gLiveBrushes;
  return brush;
}

PlatformBrush* PlatformStockWhiteBrush() {
  static PlatformBrush brush(kPlatformWhite, true);
  return &brush;
}

PlatformBrush* PlatformStockBlackBrush() {
  static PlatformBrush brush(kPlatformBlack, true);
  return &brush;
}

bool PlatformDeleteBrush(PlatformBrush* brush) {
  if (brush == nullptr || brush->IsStock()) return false;
  delete brush;
  --gLiveBrushes;
  return true;
}

int32_t PlatformLiveBrushCount() { return gLiveBrushes; }

PlatformPen* PlatformCreatePen(uint32_t color) { return new (std::nothrow) PlatformPen(color & 0x00FFFFFF); }

bool PlatformDeletePen(PlatformPen* pen) {
  if (pen == nullptr) return false;
  delete pen;
  return true;
}

PlatformPen* PlatformSelectPen(PlatformDC* dc, PlatformPen* pen) {
  if (dc == nullptr) return nullptr;
  PlatformPen* old = dc->fDrawState.pen;
  dc->fDrawState.pen = pen;
  return old;
}

bool PlatformFillRect(PlatformDC* dc, const PlatformRect& rect, PlatformBrush* brush) {
  Canvas canvas(dc);
  if (!canvas.Valid() || brush == nullptr) return false;
  canvas.Fill(rect, NearestIndex(canvas.bitmap, brush->Color()));
  return true;
}

bool PlatformFrameRect(PlatformDC* dc, const PlatformRect& rect, PlatformBrush* brush) {
  Canvas canvas(dc);
  if (!canvas.Valid() || brush == nullptr) return false;
  if (rect.left >= rect.right || rect.top >= rect.bottom) return true;
  const uint8_t index = NearestIndex(canvas.bitmap, brush->Color());
  canvas.Fill({rect.left, rect.top, rect.right, rect.top + 1}, index);
  canvas.Fill({rect.left, rect.bottom - 1, rect.right, rect.bottom}, index);
  canvas.Fill({rect.left, rect.top, rect.left + 1, rect.bottom}, index);
  canvas.Fill({rect.right - 1, rect.top, rect.right, rect.bottom}, index);
  return true;
}

bool PlatformInvertRect(PlatformDC* dc, const PlatformRect& rect) {
  Canvas canvas(dc);
  if (!canvas.Valid()) return false;
  PlatformRect r;
  if (!canvas.Clip(rect, r)) return true;
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint8_t* row = canvas.bitmap->TopDownRow(y);
    for (int32_t x = r.left; x < r.right; ++x) row[x] = static_cast<uint8_t>(~row[x]);
  }
  return true;
}

bool PlatformEllipse(PlatformDC* dc, const PlatformRect& rect, PlatformBrush* brush) {
  Canvas canvas(dc);
  if (!canvas.Valid() || brush == nullptr) return false;
  PlatformRect r;
  if (!canvas.Clip(rect, r)) return true;
  const uint8_t fill = NearestIndex(canvas.bitmap, brush->Color());
  const uint8_t outline = NearestIndex(canvas.bitmap, PenColor(dc));
  for (int32_t y = r.top; y < r.bottom; ++y) {
    for (int32_t x = r.left; x < r.right; ++x) {
      if (!InEllipse(rect, x, y)) continue;
      const bool edge = !InEllipse(rect, x - 1, y) || !InEllipse(rect, x + 1, y) || !InEllipse(rect, x, y - 1) ||
                        !InEllipse(rect, x, y + 1);
      canvas.Put(x, y, edge ? outline : fill);
    }
  }
  return true;
}

void PlatformMoveTo(PlatformDC* dc, int32_t x, int32_t y, int32_t* oldX, int32_t* oldY) {
  if (dc == nullptr) return;
  if (oldX) *oldX = dc->fDrawState.penX;
  if (oldY) *oldY = dc->fDrawState.penY;
  dc->fDrawState.penX = x;
  dc->fDrawState.penY = y;
}

bool PlatformLineTo(PlatformDC* dc, int32_t x, int32_t y) {
  Canvas canvas(dc);
  if (!canvas.Valid()) return false;
  const uint8_t index = NearestIndex(canvas.bitmap, PenColor(dc));
  int32_t x0 = dc->fDrawState.penX, y0 = dc->fDrawState.penY;
  const int32_t dx = std::abs(x - x0), dy = -std::abs(y - y0);
  const int32_t sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
  int32_t error = dx + dy;
  while (x0 != x || y0 != y) {
    canvas.Put(x0, y0, index);
    const int32_t e2 = 2 * error;
    if (e2 >= dy) {
      error += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      error += dx;
      y0 += sy;
    }
  }
  dc->fDrawState.penX = x;
  dc->fDrawState.penY = y;
  return true;
}

uint32_t PlatformGetBkColor(PlatformDC* dc) { return dc ? dc->fDrawState.backColor : kPlatformWhite; }

uint32_t PlatformSetBkColor(PlatformDC* dc, uint32_t color) {
  if (dc == nullptr) return kPlatformWhite;
  const uint32_t old = dc->fDrawState.backColor;
  dc->fDrawState.backColor = color & 0x00FFFFFF;
  return old;
}

namespace {

// How wide and tall text is: the face's measures when a font is available, else fixed cells.
struct TextMeasure {
  bool font;
  PlatformFontMetrics metrics;
  TextMeasure() : font(PlatformFontGetMetrics(metrics)) {
    if (!font) metrics = PlatformFontMetrics{kPlatformTextCellHeight, kPlatformTextCellHeight};
  }
  int32_t Width(const char* text, int32_t length) const {
    return font ? PlatformFontTextWidth(text, length) : length * kPlatformTextCellWidth;
  }
};

struct TextLine {
  int32_t start;
  int32_t length;
};

// Breaks the text into lines at spaces so that each fits `width` (a longer word stands alone).
std::vector<TextLine> BreakLines(const TextMeasure& measure, const char* text, int32_t length, int32_t width) {
  std::vector<TextLine> lines;
  int32_t lineStart = 0, lineEnd = 0, i = 0;  // lineEnd: the end of the last word on the line
  bool lineHasWord = false;
  while (i < length) {
    int32_t word = 0;
    while (i + word < length && text[i + word] != ' ') ++word;
    if (lineHasWord && measure.Width(text + lineStart, i + word - lineStart) > width) {
      lines.push_back({lineStart, lineEnd - lineStart});
      lineStart = i;
    }
    lineEnd = i + word;
    lineHasWord = true;
    i += word + 1;
  }
  lines.push_back({lineStart, (lineHasWord ? lineEnd : length) - lineStart});
  return lines;
}

// Glyph pixels are written in the text colour, clipped to the bitmap and, unless the caller
// asked for no clipping, to the rect.
struct GlyphTarget {
  Canvas* canvas;
  PlatformRect clip;
  bool clipToRect;
  uint8_t index;
};

void PlotGlyphPixel(void* context, int32_t x, int32_t y) {
  GlyphTarget* target = static_cast<GlyphTarget*>(context);
  if (target->clipToRect &&
      (x < target->clip.left || x >= target->clip.right || y < target->clip.top || y >= target->clip.bottom))
    return;
  target->canvas->Put(x, y, target->index);
}

}  // namespace

int32_t PlatformDrawText(PlatformDC* dc, const char* text, int32_t length, const PlatformRect& rect, uint32_t flags) {
  if (dc == nullptr || text == nullptr || length <= 0) return 0;
  const TextMeasure measure;
  const bool singleLine = (flags & kPlatformTextSingleLine) || !(flags & kPlatformTextWordBreak);
  const std::vector<TextLine> lines =
      singleLine ? std::vector<TextLine>{{0, length}} : BreakLines(measure, text, length, rect.right - rect.left);
  const int32_t lineHeight = measure.metrics.lineHeight;
  const int32_t height = static_cast<int32_t>(lines.size()) * lineHeight;
  Canvas canvas(dc);
  if (!measure.font || !canvas.Valid()) return height;

  GlyphTarget target{&canvas, rect, !(flags & kPlatformTextNoClip), NearestIndex(canvas.bitmap, kPlatformBlack)};
  int64_t top = (singleLine && (flags & kPlatformTextBottom)) ? int64_t(rect.bottom) - lineHeight : rect.top;
  for (const TextLine& line : lines) {
    const int32_t width = measure.Width(text + line.start, line.length);
    int64_t left = rect.left;
    if (flags & kPlatformTextCenter)
      left = (int64_t(rect.left) + rect.right - width) / 2;
    else if (flags & kPlatformTextRight)
      left = int64_t(rect.right) - width;
    const int64_t baseline = top + measure.metrics.ascent;
    if (left >= INT32_MIN && left <= INT32_MAX && baseline >= INT32_MIN && baseline <= INT32_MAX)
      PlatformFontDrawText(text + line.start, line.length, static_cast<int32_t>(left), static_cast<int32_t>(baseline),
                           PlotGlyphPixel, &target);
    top += lineHeight;
  }
  return height;
}

bool PlatformGetTextExtent(PlatformDC* dc, const char* text, int32_t length, int32_t& width, int32_t& height) {
  width = height = 0;
  if (dc == nullptr || text == nullptr || length < 0) return false;
  const TextMeasure measure;
  width = measure.Width(text, length);
  height = measure.metrics.lineHeight;
  return true;
}

void PlatformSetWindowProcs(const PlatformWindowProcs& procs) { gWindowProcs = procs; }

void PlatformInvalidateRect(PlatformWindow* window, const PlatformRect& rect, bool erase) {
  if (window && gWindowProcs.invalidate) gWindowProcs.invalidate(window, rect, erase);
}

void PlatformClientToScreen(PlatformWindow* window, int32_t& x, int32_t& y) {
  if (window && gWindowProcs.clientToScreen) gWindowProcs.clientToScreen(window, x, y);
}

void PlatformScreenToClient(PlatformWindow* window, int32_t& x, int32_t& y) {
  if (window && gWindowProcs.screenToClient) gWindowProcs.screenToClient(window, x, y);
}

std::string PlatformErrorText(int32_t code) {
  const char* text = std::strerror(code);
  return text ? std::string(text) : std::string("unknown error");
}
