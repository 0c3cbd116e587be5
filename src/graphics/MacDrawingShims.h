// 2-D drawing calls in the older drawing library's vocabulary, drawn on the drawing context of
// the current port (gPort). Every call that draws reports "no dc" and does nothing when the
// port has no drawing context. Colours are 0x00BBGGRR values; points are MacPoints.
//
// The object builder draws only through offscreen worlds; pictures use the erase and frame
// calls. Not thread-safe: the port is the drawing thread's.
#pragma once

#include <cstdint>

#include "MacDrawing.h"
#include "MacRect.h"

// Fills the rect: white and black with the stock brushes, any other colour with a brush made
// for the call and deleted after it.
void MacPaintRect(const MacRect& rect, uint32_t color);
// Fills with the context's background colour, choosing the brush as MacPaintRect does.
void MacEraseRect(const IntRect& rect);
void MacEraseRect(const MacRect& rect);
void MacFrameRect(const MacRect& rect, uint32_t color);
void MacFrameRectBlack(const MacRect& rect);
void MacInvertRect(const MacRect& rect);
// Invalidates the rect of the port's window (not erasing it); nothing for a port without one.
void MacInvalRect(const MacRect& rect);
// A black ellipse inside the rect.
void MacPaintOval(const MacRect& rect);
// A line from the pen position by (dh, dv); the pen moves to its end.
void MacLine(int16_t dh, int16_t dv);
// Draws a length-prefixed string on one line whose bottom is the pen's v, from the pen's h.
void MacDrawString(const uint8_t* text);
// The same for `length` characters of `text` from `offset`.
void MacDrawText(const char* text, int16_t offset, int16_t length);
// The width of a length-prefixed string; 0 when it cannot be measured.
int16_t MacStringWidth(const uint8_t* text);
// Word-wrapped text in the rect: justification 0 left, 1 centred, -1 right.
void MacTextBox(const char* text, int32_t length, const MacRect& rect, int16_t justification);
void MacGetBackColor(uint32_t& color);
void MacSetBackColor(uint32_t color);
// Between the port window's client coordinates and the screen's.
void MacLocalToGlobal(MacPoint& point);
void MacGlobalToLocal(MacPoint& point);
// True when the second click came at most MacGetDblTime ticks after the first and within 4
// pixels of it both across and down.
bool MacIsDoubleClick(uint32_t firstTime, uint32_t secondTime, MacPoint first, MacPoint second);
// An arrow from `start` by (dh, dv) with a head of `headSize` (8 when not given); a 9 x 9 dot
// when dh and dv are both 0. The end-point forms draw from `start` to `end`.
void MacDrawArrow(MacPoint start, int16_t dh, int16_t dv, int16_t headSize);
void MacDrawArrow(MacPoint start, int16_t dh, int16_t dv);
void MacDrawArrowTo(MacPoint start, MacPoint end, int16_t headSize);
void MacDrawArrowTo(MacPoint start, MacPoint end);
// Writes the system's text for `code` to the debug output and reports it as a failed
// assertion.
void MacReportSystemError(int32_t code);
