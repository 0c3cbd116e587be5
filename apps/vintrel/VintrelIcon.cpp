#include "VintrelIcon.h"

#include <cmath>

namespace {

struct Colour {
  uint8_t r, g, b;
};

// The drawing in units of the icon's side (0 to 1, y down): the colour at the centre of a
// pixel, and false where the icon is transparent.
bool ColourAt(double u, double v, Colour& out) {
  // The block: a top face and two side faces below it.
  constexpr double kLeft = 0.22, kRight = 0.78, kMid = 0.5, kTop = 0.30, kSlope = 0.14 / 0.28, kHeight = 0.30;
  double top = std::fabs(u - kMid) / (kMid - kLeft) + std::fabs(v - kTop) / 0.14;
  if (top <= 1.0) {
    out = top > 0.86 ? Colour{30, 60, 120} : Colour{130, 180, 240};
    return true;
  }
  if (u >= kLeft && u <= kRight) {
    double edge = kTop + (0.14 - std::fabs(u - kMid) * kSlope);  // lower edge of the top face
    if (v >= edge && v <= edge + kHeight) {
      bool outline = u - kLeft < 0.03 || kRight - u < 0.03 || edge + kHeight - v < 0.03 || std::fabs(u - kMid) < 0.015;
      if (outline) out = Colour{30, 60, 120};
      else out = u < kMid ? Colour{70, 120, 200} : Colour{45, 85, 155};
      return true;
    }
  }
  // The floor tile under it.
  double tile = std::fabs(u - kMid) / 0.48 + std::fabs(v - 0.74) / 0.24;
  if (tile <= 1.0) {
    out = tile > 0.9 ? Colour{110, 80, 40} : Colour{205, 175, 115};
    return true;
  }
  return false;
}

}  // namespace

std::vector<uint8_t> VintrelIconPixels(int size) {
  std::vector<uint8_t> pixels;
  if (size < 1) return pixels;
  pixels.assign(size_t(size) * size_t(size) * 4, 0);
  uint8_t* p = pixels.data();
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x, p += 4) {
      Colour c{};
      if (!ColourAt((x + 0.5) / size, (y + 0.5) / size, c)) continue;
      p[0] = c.r;
      p[1] = c.g;
      p[2] = c.b;
      p[3] = 255;
    }
  }
  return pixels;
}
