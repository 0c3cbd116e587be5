#include "MacDrawing.h"

MacPort gPort;

namespace {

MacGetWindowDCProc gGetWindowDC = nullptr;
MacReleaseWindowDCProc gReleaseWindowDC = nullptr;

}  // namespace

void MacRectToRECT(IntRect& out, const MacRect& rect) {
  out.left = rect.left;
  out.top = rect.top;
  out.right = rect.right;
  out.bottom = rect.bottom;
}

void MacRectToRECT(const MacRect& rect, IntRect& out) { MacRectToRECT(out, rect); }

void RECTToMacRect(MacRect& out, const IntRect& rect) { out = RECTToMacRect(rect); }

MacRect RECTToMacRect(const IntRect& rect) {
  MacRect r;
  r.top = static_cast<int16_t>(static_cast<uint16_t>(rect.top));
  r.left = static_cast<int16_t>(static_cast<uint16_t>(rect.left));
  r.bottom = static_cast<int16_t>(static_cast<uint16_t>(rect.bottom));
  r.right = static_cast<int16_t>(static_cast<uint16_t>(rect.right));
  return r;
}

bool IntersectIntRect(IntRect& out, const IntRect& a, const IntRect& b) {
  IntRect r;
  r.left = a.left > b.left ? a.left : b.left;
  r.top = a.top > b.top ? a.top : b.top;
  r.right = a.right < b.right ? a.right : b.right;
  r.bottom = a.bottom < b.bottom ? a.bottom : b.bottom;
  bool aEmpty = a.left >= a.right || a.top >= a.bottom;
  bool bEmpty = b.left >= b.right || b.top >= b.bottom;
  if (aEmpty || bEmpty || r.left >= r.right || r.top >= r.bottom) {
    out = IntRect{0, 0, 0, 0};
    return false;
  }
  out = r;
  return true;
}

void MacSetWindowDCProcs(MacGetWindowDCProc get, MacReleaseWindowDCProc release) {
  gGetWindowDC = get;
  gReleaseWindowDC = release;
}

void MacReleasePort() {
  if (gPort.window && gPort.dc && gReleaseWindowDC) gReleaseWindowDC(gPort.window, gPort.dc);
  gPort.window = nullptr;
  gPort.dc = nullptr;
}

PlatformDC* MacSetPortDC(PlatformDC* dc) {
  MacReleasePort();
  gPort.window = nullptr;
  gPort.dc = dc;
  return dc;
}

void MacSetPortWindow(PlatformWindow* window) {
  MacReleasePort();
  if (window) {
    gPort.window = window;
    gPort.dc = gGetWindowDC ? gGetWindowDC(window) : nullptr;
  }
}

void MacSetPort(PlatformWindow* window, PlatformDC* dc) {
  if (!window) MacSetPortDC(dc);
  else MacSetPortWindow(window);
}

void MacGetPort(MacPort& out) { out = gPort; }
