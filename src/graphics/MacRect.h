// Rectangles and points with 16-bit coordinates, in the vocabulary of the older 2-D drawing
// library that the graphics code speaks, and the rectangle arithmetic every sprite maker
// uses. A rectangle covers left <= x < right and top <= y < bottom. Plain values: nothing
// here allocates or keeps state.
#pragma once

#include <cstdint>

// Stored as four 16-bit values in this order (swapped field by field in files).
struct MacRect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

// Vertical first. Where a point travels as one 32-bit value, v is the low half.
struct MacPoint {
  int16_t v;
  int16_t h;
};

// Note the argument order: left, top, right, bottom.
void MacSetRect(MacRect& rect, int16_t left, int16_t top, int16_t right, int16_t bottom);
// Moves the rect by dh across and dv down (16-bit wrap-around arithmetic).
void MacOffsetRect(MacRect& rect, int16_t dh, int16_t dv);
// Shrinks the rect by dh on the left and right and dv on the top and bottom; negative grows.
void MacInsetRect(MacRect& rect, int16_t dh, int16_t dv);
// Intersects a and b into out; false, with out all zero, when the intersection is empty.
bool MacSectRect(const MacRect& a, const MacRect& b, MacRect& out);
// The smallest rect holding both (empty inputs are not treated specially).
void MacUnionRect(const MacRect& a, const MacRect& b, MacRect& out);
bool MacEqualRect(const MacRect& a, const MacRect& b);
bool MacEmptyRect(const MacRect& rect);  // top >= bottom or left >= right
bool MacPtInRect(MacPoint point, const MacRect& rect);
// The point clamped into the rect (right - 1 and bottom - 1 at the far edges).
MacPoint MacPinRect(const MacRect& rect, MacPoint point);
MacPoint MacRectCenter(const MacRect& rect);
// Moves the rect so that its centre lies on the point.
void MacCenterRect(MacRect& rect, MacPoint point);

// Ticks of 1/60 second since an arbitrary start, from the platform's millisecond clock.
uint32_t MacTickCount();
// The ticks that `milliseconds` make; what MacTickCount reports for a clock reading.
uint32_t MacTicksFromMilliseconds(uint32_t milliseconds);
// The double-click interval in ticks.
uint32_t MacGetDblTime();
