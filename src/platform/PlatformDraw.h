// 2-D drawing into the bitmap of a memory drawing context: brushes and pens, filled, framed
// and inverted rectangles, ellipses, lines from the pen position, the background colour,
// and text layout; plus the window services that a front end supplies (invalidation and
// coordinate conversion) and the text of a system error code.
//
// Colours are 0x00BBGGRR values; each is drawn as the nearest entry of the selected bitmap's
// colour table. Rectangles cover left <= x < right, top <= y < bottom, and every pixel
// written is clipped to the bitmap. Text is drawn in black with the face of PlatformFont.h;
// without a font it is laid out in fixed cells of kPlatformTextCellWidth x
// kPlatformTextCellHeight pixels and only its extent is reported.
//
// Not thread-safe: one drawing thread at a time.
#ifndef PLATFORM_DRAW_H
#define PLATFORM_DRAW_H

#include <cstdint>
#include <string>

#include "PlatformBitmap.h"

class PlatformWindow;

struct PlatformRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

constexpr uint32_t kPlatformWhite = 0x00FFFFFF;
constexpr uint32_t kPlatformBlack = 0x00000000;

constexpr int32_t kPlatformTextCellWidth = 8;
constexpr int32_t kPlatformTextCellHeight = 16;

// Text layout flags.
constexpr uint32_t kPlatformTextCenter = 0x0001;
constexpr uint32_t kPlatformTextRight = 0x0002;
constexpr uint32_t kPlatformTextBottom = 0x0008;
constexpr uint32_t kPlatformTextWordBreak = 0x0010;
constexpr uint32_t kPlatformTextSingleLine = 0x0020;
constexpr uint32_t kPlatformTextNoClip = 0x0100;
constexpr uint32_t kPlatformTextNoPrefix = 0x0800;

// A solid brush. The two stock brushes are never deleted.
class PlatformBrush {
 public:
  uint32_t Color() const { return fColor; }
  bool IsStock() const { return fStock; }

 private:
  friend PlatformBrush* PlatformCreateSolidBrush(uint32_t);
  friend PlatformBrush* PlatformStockWhiteBrush();
  friend PlatformBrush* PlatformStockBlackBrush();
  PlatformBrush(uint32_t color, bool stock) : fColor(color), fStock(stock) {}
  uint32_t fColor;
  bool fStock;
};

PlatformBrush* PlatformCreateSolidBrush(uint32_t color);
PlatformBrush* PlatformStockWhiteBrush();
PlatformBrush* PlatformStockBlackBrush();
// Deletes a brush made by PlatformCreateSolidBrush; refused (false) for a stock brush or null.
bool PlatformDeleteBrush(PlatformBrush* brush);
// Brushes made and not yet deleted (for tests of who frees what).
int32_t PlatformLiveBrushCount();

// A pen of one pixel's width and a colour.
class PlatformPen {
 public:
  uint32_t Color() const { return fColor; }

 private:
  friend PlatformPen* PlatformCreatePen(uint32_t);
  explicit PlatformPen(uint32_t color) : fColor(color) {}
  uint32_t fColor;
};

PlatformPen* PlatformCreatePen(uint32_t color);
bool PlatformDeletePen(PlatformPen* pen);  // false for null
// Selects `pen` (null: the stock black pen) and answers the pen selected before.
PlatformPen* PlatformSelectPen(PlatformDC* dc, PlatformPen* pen);

// Each answers false for a null context or brush.
bool PlatformFillRect(PlatformDC* dc, const PlatformRect& rect, PlatformBrush* brush);
bool PlatformFrameRect(PlatformDC* dc, const PlatformRect& rect, PlatformBrush* brush);
// Inverts every bit of the palette indices in the rect.
bool PlatformInvertRect(PlatformDC* dc, const PlatformRect& rect);
// Fills the ellipse inside the rect with `brush` and outlines it with the selected pen.
bool PlatformEllipse(PlatformDC* dc, const PlatformRect& rect, PlatformBrush* brush);

// Moves the pen; answers the old position through the out parameters when given.
void PlatformMoveTo(PlatformDC* dc, int32_t x, int32_t y, int32_t* oldX = nullptr, int32_t* oldY = nullptr);
// Draws with the selected pen from the pen position to (x, y), the end pixel excluded, and
// moves the pen there.
bool PlatformLineTo(PlatformDC* dc, int32_t x, int32_t y);

uint32_t PlatformGetBkColor(PlatformDC* dc);        // white for null
uint32_t PlatformSetBkColor(PlatformDC* dc, uint32_t color);  // answers the old colour

// Draws `length` characters of `text` in `rect` as the flags say and answers the height of
// the text (0 for a null context). With kPlatformTextWordBreak (and not
// kPlatformTextSingleLine) lines break at spaces to fit the rect's width; a single line with
// kPlatformTextBottom stands on the rect's bottom. Glyphs are clipped to the rect unless
// kPlatformTextNoClip is given.
int32_t PlatformDrawText(PlatformDC* dc, const char* text, int32_t length, const PlatformRect& rect, uint32_t flags);
// The extent of one line of `length` characters; false for a null context.
bool PlatformGetTextExtent(PlatformDC* dc, const char* text, int32_t length, int32_t& width, int32_t& height);

// Window services, supplied by a front end that has windows. Without them invalidation does
// nothing and the coordinate conversions leave the point as it is.
struct PlatformWindowProcs {
  void (*invalidate)(PlatformWindow* window, const PlatformRect& rect, bool erase) = nullptr;
  void (*clientToScreen)(PlatformWindow* window, int32_t& x, int32_t& y) = nullptr;
  void (*screenToClient)(PlatformWindow* window, int32_t& x, int32_t& y) = nullptr;
};
void PlatformSetWindowProcs(const PlatformWindowProcs& procs);
void PlatformInvalidateRect(PlatformWindow* window, const PlatformRect& rect, bool erase);
void PlatformClientToScreen(PlatformWindow* window, int32_t& x, int32_t& y);
void PlatformScreenToClient(PlatformWindow* window, int32_t& x, int32_t& y);

// The system's text for an error code.
std::string PlatformErrorText(int32_t code);

#endif  // PLATFORM_DRAW_H
