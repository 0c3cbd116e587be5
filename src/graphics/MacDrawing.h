// The current drawing port and the conversions between MacRect and the 32-bit rectangle of
// the platform's drawing calls. One process-wide port, gPort, used by one thread at a time
// (the build thread): offscreen worlds make themselves the port while they are drawn into.
#pragma once

#include <cstdint>

#include "MacRect.h"

class PlatformDC;
class PlatformWindow;  // a front end's window; opaque to the graphics code

// A rectangle with 32-bit fields, in the platform's order.
struct IntRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// Sign-extends each field.
void MacRectToRECT(IntRect& out, const MacRect& rect);
void MacRectToRECT(const MacRect& rect, IntRect& out);
// Truncates each field to 16 bits.
void RECTToMacRect(MacRect& out, const IntRect& rect);
MacRect RECTToMacRect(const IntRect& rect);
// Intersects a and b into out; false, with out all zero, when either is empty or they do
// not overlap. `out` may be one of the inputs.
bool IntersectIntRect(IntRect& out, const IntRect& a, const IntRect& b);

// The current port. The port owns `dc` only when it has a window (it obtained the DC from
// the window and gives it back on release); a DC set without a window is its setter's.
struct MacPort {
  PlatformWindow* window = nullptr;
  PlatformDC* dc = nullptr;
};

extern MacPort gPort;

// How a window's drawing context is obtained and given back. A front end that draws into
// windows installs these; without them a window port has no DC.
using MacGetWindowDCProc = PlatformDC* (*)(PlatformWindow* window);
using MacReleaseWindowDCProc = void (*)(PlatformWindow* window, PlatformDC* dc);
void MacSetWindowDCProcs(MacGetWindowDCProc get, MacReleaseWindowDCProc release);

// Gives back a window's DC when the port has both; then both become null.
void MacReleasePort();
// Releases the current port and makes `dc` (not owned) the port; returns it.
PlatformDC* MacSetPortDC(PlatformDC* dc);
// Releases the current port; a non-null window becomes the port with a fresh DC of its own.
void MacSetPortWindow(PlatformWindow* window);
// Null window: as MacSetPortDC(dc). Otherwise as MacSetPortWindow(window); `dc` is ignored.
void MacSetPort(PlatformWindow* window, PlatformDC* dc);
void MacGetPort(MacPort& out);
