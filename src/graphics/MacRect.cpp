#include "MacRect.h"

#include "MacDrawing.h"
#include "PlatformThread.h"

namespace {

int16_t Wrap16(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

constexpr uint32_t kDoubleClickMilliseconds = 500;

}  // namespace

void MacSetRect(MacRect& rect, int16_t left, int16_t top, int16_t right, int16_t bottom) {
  rect.top = top;
  rect.left = left;
  rect.bottom = bottom;
  rect.right = right;
}

void MacOffsetRect(MacRect& rect, int16_t dh, int16_t dv) {
  rect.left = Wrap16(rect.left + dh);
  rect.right = Wrap16(rect.right + dh);
  rect.top = Wrap16(rect.top + dv);
  rect.bottom = Wrap16(rect.bottom + dv);
}

void MacInsetRect(MacRect& rect, int16_t dh, int16_t dv) {
  rect.left = Wrap16(rect.left + dh);
  rect.right = Wrap16(rect.right - dh);
  rect.top = Wrap16(rect.top + dv);
  rect.bottom = Wrap16(rect.bottom - dv);
}

bool MacSectRect(const MacRect& a, const MacRect& b, MacRect& out) {
  IntRect ra, rb, rc;
  MacRectToRECT(ra, a);
  MacRectToRECT(rb, b);
  bool any = IntersectIntRect(rc, ra, rb);
  RECTToMacRect(out, rc);
  return any;
}

void MacUnionRect(const MacRect& a, const MacRect& b, MacRect& out) {
  MacRect u;
  u.top = a.top < b.top ? a.top : b.top;
  u.left = a.left < b.left ? a.left : b.left;
  u.bottom = a.bottom > b.bottom ? a.bottom : b.bottom;
  u.right = a.right > b.right ? a.right : b.right;
  out = u;
}

bool MacEqualRect(const MacRect& a, const MacRect& b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

bool MacEmptyRect(const MacRect& rect) { return rect.top >= rect.bottom || rect.left >= rect.right; }

bool MacPtInRect(MacPoint point, const MacRect& rect) {
  return rect.left <= point.h && point.h < rect.right && rect.top <= point.v && point.v < rect.bottom;
}

MacPoint MacPinRect(const MacRect& rect, MacPoint point) {
  if (point.h >= rect.right) point.h = Wrap16(rect.right - 1);
  else if (point.h < rect.left) point.h = rect.left;
  if (point.v >= rect.bottom) point.v = Wrap16(rect.bottom - 1);
  else if (point.v < rect.top) point.v = rect.top;
  return point;
}

MacPoint MacRectCenter(const MacRect& rect) {
  MacPoint p;
  p.v = Wrap16((rect.top + rect.bottom) / 2);
  p.h = Wrap16((rect.left + rect.right) / 2);
  return p;
}

void MacCenterRect(MacRect& rect, MacPoint point) {
  MacPoint centre = MacRectCenter(rect);
  MacOffsetRect(rect, Wrap16(point.h - centre.h), Wrap16(point.v - centre.v));
}

uint32_t MacTicksFromMilliseconds(uint32_t milliseconds) {
  // 64-bit product, so that the tick count runs on smoothly past 19.9 hours of clock.
  return static_cast<uint32_t>(static_cast<uint64_t>(milliseconds) * 60u / 1000u);
}

uint32_t MacTickCount() { return MacTicksFromMilliseconds(PlatformTickCount()); }

uint32_t MacGetDblTime() { return MacTicksFromMilliseconds(kDoubleClickMilliseconds); }
