#include "MacDrawingShims.h"

#include <cmath>
#include <cstring>
#include <string>

#include "PlatformDebug.h"
#include "PlatformDraw.h"
#include "XAssert.h"

namespace {

PlatformRect ToPlatform(const MacRect& rect) {
  IntRect r;
  MacRectToRECT(r, rect);
  return PlatformRect{r.left, r.top, r.right, r.bottom};
}

PlatformRect ToPlatform(const IntRect& r) { return PlatformRect{r.left, r.top, r.right, r.bottom}; }

// The port's DC, or null after reporting "no dc".
PlatformDC* PortDC() {
  XASSERT(gPort.dc, "no dc");
  return gPort.dc;
}

// Fills with the stock brush of white or black, or with a brush made for the call.
void FillWithColor(PlatformDC* dc, const PlatformRect& rect, uint32_t color) {
  color &= 0x00FFFFFF;
  if (color == kPlatformWhite) {
    PlatformFillRect(dc, rect, PlatformStockWhiteBrush());
  } else if (color == kPlatformBlack) {
    PlatformFillRect(dc, rect, PlatformStockBlackBrush());
  } else {
    PlatformBrush* brush = PlatformCreateSolidBrush(color);
    PlatformFillRect(dc, rect, brush);
    PlatformDeleteBrush(brush);
  }
}

void FrameWithColor(const MacRect& rect, uint32_t color) {
  PlatformDC* dc = PortDC();
  if (!dc) return;
  PlatformBrush* brush = PlatformCreateSolidBrush(color);
  PlatformFrameRect(dc, ToPlatform(rect), brush);
  PlatformDeleteBrush(brush);
}

void DrawTextAtPen(const char* text, int32_t length) {
  PlatformDC* dc = PortDC();
  if (!dc || text == nullptr || length <= 0) return;
  const int32_t x = dc->fDrawState.penX, y = dc->fDrawState.penY;
  PlatformDrawText(dc, text, length, PlatformRect{x, 0, 32767, y},
                   kPlatformTextBottom | kPlatformTextSingleLine | kPlatformTextNoClip | kPlatformTextNoPrefix);
  PlatformMoveTo(dc, x, y);
}

PlatformPen* ArrowPen() {
  static PlatformPen* pen = PlatformCreatePen(kPlatformBlack);
  return pen;
}

int16_t Sign(int32_t value, int16_t size) { return static_cast<int16_t>(value < 0 ? -size : size); }

}  // namespace

void MacPaintRect(const MacRect& rect, uint32_t color) {
  if (PlatformDC* dc = PortDC()) FillWithColor(dc, ToPlatform(rect), color);
}

void MacEraseRect(const IntRect& rect) {
  if (PlatformDC* dc = PortDC()) FillWithColor(dc, ToPlatform(rect), PlatformGetBkColor(dc));
}

void MacEraseRect(const MacRect& rect) {
  if (PlatformDC* dc = PortDC()) FillWithColor(dc, ToPlatform(rect), PlatformGetBkColor(dc));
}

void MacFrameRect(const MacRect& rect, uint32_t color) { FrameWithColor(rect, color); }

void MacFrameRectBlack(const MacRect& rect) { FrameWithColor(rect, kPlatformBlack); }

void MacInvertRect(const MacRect& rect) {
  if (PlatformDC* dc = PortDC()) PlatformInvertRect(dc, ToPlatform(rect));
}

void MacInvalRect(const MacRect& rect) {
  if (gPort.window) PlatformInvalidateRect(gPort.window, ToPlatform(rect), false);
}

void MacPaintOval(const MacRect& rect) {
  PlatformDC* dc = PortDC();
  if (!dc) return;
  PlatformBrush* brush = PlatformCreateSolidBrush(kPlatformBlack);
  PlatformEllipse(dc, ToPlatform(rect), brush);
  PlatformDeleteBrush(brush);
}

void MacLine(int16_t dh, int16_t dv) {
  PlatformDC* dc = PortDC();
  if (!dc) return;
  PlatformLineTo(dc, dc->fDrawState.penX + dh, dc->fDrawState.penY + dv);
}

void MacDrawString(const uint8_t* text) {
  if (text == nullptr) return;
  DrawTextAtPen(reinterpret_cast<const char*>(text + 1), text[0]);
}

void MacDrawText(const char* text, int16_t offset, int16_t length) {
  if (text == nullptr || offset < 0) return;
  DrawTextAtPen(text + offset, length);
}

int16_t MacStringWidth(const uint8_t* text) {
  PlatformDC* dc = PortDC();
  if (!dc || text == nullptr) return 0;
  int32_t width = 0, height = 0;
  if (!PlatformGetTextExtent(dc, reinterpret_cast<const char*>(text + 1), text[0], width, height)) return 0;
  return static_cast<int16_t>(width);
}

void MacTextBox(const char* text, int32_t length, const MacRect& rect, int16_t justification) {
  PlatformDC* dc = PortDC();
  if (!dc) return;
  uint32_t flags = kPlatformTextWordBreak | kPlatformTextNoPrefix;
  if (justification == 1) flags |= kPlatformTextCenter;
  if (justification == -1) flags |= kPlatformTextRight;
  PlatformDrawText(dc, text, length, ToPlatform(rect), flags);
}

void MacGetBackColor(uint32_t& color) {
  PlatformDC* dc = PortDC();
  color = dc ? PlatformGetBkColor(dc) : kPlatformWhite;
}

void MacSetBackColor(uint32_t color) {
  if (PlatformDC* dc = PortDC()) PlatformSetBkColor(dc, color);
}

void MacLocalToGlobal(MacPoint& point) {
  int32_t x = point.h, y = point.v;
  PlatformClientToScreen(gPort.window, x, y);
  point.h = static_cast<int16_t>(x);
  point.v = static_cast<int16_t>(y);
}

void MacGlobalToLocal(MacPoint& point) {
  int32_t x = point.h, y = point.v;
  PlatformScreenToClient(gPort.window, x, y);
  point.h = static_cast<int16_t>(x);
  point.v = static_cast<int16_t>(y);
}

bool MacIsDoubleClick(uint32_t firstTime, uint32_t secondTime, MacPoint first, MacPoint second) {
  if (secondTime - firstTime > MacGetDblTime()) return false;
  const int32_t dh = second.h - first.h, dv = second.v - first.v;
  return dh >= -4 && dh <= 4 && dv >= -4 && dv <= 4;
}

void MacDrawArrow(MacPoint start, int16_t dh, int16_t dv, int16_t headSize) {
  PlatformDC* dc = PortDC();
  if (!dc) return;
  PlatformPen* previous = PlatformSelectPen(dc, ArrowPen());
  if (dh == 0 && dv == 0) {
    MacRect dot;
    MacSetRect(dot, start.h - 4, start.v - 4, start.h + 5, start.v + 5);
    MacPaintOval(dot);
  } else {
    int32_t hx = 0, hy = 0;
    if (dv == 0) {
      hx = Sign(dh, headSize);
    } else if (dh == 0) {
      hy = Sign(dv, headSize);
    } else {
      const double t = double(dv) / double(dh);
      const double x = std::sqrt(double(headSize) * headSize / (t * t + 1.0));
      const double signedX = dh < 0 ? -x : x;
      hx = static_cast<int32_t>(signedX);
      hy = static_cast<int32_t>(signedX * t);
    }
    PlatformMoveTo(dc, start.h, start.v);
    MacLine(static_cast<int16_t>(dh - hx), static_cast<int16_t>(dv - hy));
    PlatformMoveTo(dc, start.h + dh, start.v + dv);
    MacLine(static_cast<int16_t>(-hy - hx), static_cast<int16_t>(hx - hy));
    MacLine(static_cast<int16_t>(2 * hy), static_cast<int16_t>(-2 * hx));
    MacLine(static_cast<int16_t>(hx - hy), static_cast<int16_t>(hy + hx));
  }
  PlatformSelectPen(dc, previous);
}

void MacDrawArrow(MacPoint start, int16_t dh, int16_t dv) { MacDrawArrow(start, dh, dv, 8); }

void MacDrawArrowTo(MacPoint start, MacPoint end, int16_t headSize) {
  MacDrawArrow(start, static_cast<int16_t>(end.h - start.h), static_cast<int16_t>(end.v - start.v), headSize);
}

void MacDrawArrowTo(MacPoint start, MacPoint end) { MacDrawArrowTo(start, end, 8); }

void MacReportSystemError(int32_t code) {
  const std::string text = PlatformErrorText(code);
  PlatformDebugOutput(text.c_str());
  XASSERT(false, text.c_str());
}
