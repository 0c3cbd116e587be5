#include "BrightnessPalette.h"

#include <algorithm>
#include <cmath>

#include "XAssert.h"
#include "palwrap.h"

namespace {

struct Luv {
  double L, u, v;
};

struct Chroma {
  double x, y;
};

// The RGB to XYZ matrix of three primaries and a white point (chromaticities), scaled so
// that RGB 1, 1, 1 gives the white with Y = 1.
void MakeRGBToXYZ(const Chroma primaries[3], const Chroma& white, double m[3][3]) {
  double p[3][3];  // columns: XYZ of each primary with Y = 1
  for (int c = 0; c < 3; ++c) {
    p[0][c] = primaries[c].x / primaries[c].y;
    p[1][c] = 1.0;
    p[2][c] = (1.0 - primaries[c].x - primaries[c].y) / primaries[c].y;
  }
  const double w[3] = {white.x / white.y, 1.0, (1.0 - white.x - white.y) / white.y};
  // Solve p * s = w for the scale of each primary (Cramer's rule).
  auto det = [](const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  };
  const double d = det(p);
  double s[3];
  for (int c = 0; c < 3; ++c) {
    double q[3][3];
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) q[r][k] = k == c ? w[r] : p[r][k];
    s[c] = det(q) / d;
  }
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[r][c] = p[r][c] * s[c];
}

class LuvConverter {
 public:
  LuvConverter() {
    const Chroma primaries[3] = {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
    const Chroma white = {0.3127, 0.3290};
    MakeRGBToXYZ(primaries, white, fMatrix);
    fYn = 1.0;
    const double Xn = white.x / white.y, Zn = (1.0 - white.x - white.y) / white.y;
    const double denom = Xn + 15.0 * fYn + 3.0 * Zn;
    XASSERT(denom != 0.0, "dammit");
    fUn = denom != 0.0 ? 4.0 * Xn / denom : 0.0;
    fVn = denom != 0.0 ? 9.0 * fYn / denom : 0.0;
  }

  // L*, and the chromaticity u', v' (the white's for black).
  void ToLuv(const PlatformColorEntry& c, double& L, double& up, double& vp) const {
    const double rgb[3] = {c.red / 255.0, c.green / 255.0, c.blue / 255.0};
    double xyz[3];
    for (int r = 0; r < 3; ++r)
      xyz[r] = fMatrix[r][0] * rgb[0] + fMatrix[r][1] * rgb[1] + fMatrix[r][2] * rgb[2];
    const double t = xyz[1] / fYn;
    L = t > 0.008856 ? 116.0 * std::cbrt(t) - 16.0 : 903.3 * t;
    const double denom = xyz[0] + 15.0 * xyz[1] + 3.0 * xyz[2];
    up = denom > 0.0 ? 4.0 * xyz[0] / denom : fUn;
    vp = denom > 0.0 ? 9.0 * xyz[1] / denom : fVn;
  }

  Luv Make(double L, double up, double vp) const {
    return Luv{L, 13.0 * L * (up - fUn), 13.0 * L * (vp - fVn)};
  }

 private:
  double fMatrix[3][3];
  double fYn, fUn, fVn;
};

uint8_t Unit(double v) {
  v = std::clamp(v, 0.0, 1.0);
  return (uint8_t)(v * 255.0 + 0.5);
}

}  // namespace

void MakeBrightnessTable(const PalWrap& palette, float scale, float offset, uint8_t outTable[256]) {
  for (int i = 0; i < 256; ++i) outTable[i] = (uint8_t)i;
  const PlatformColorEntry* colors = palette.GetColors();
  if (!colors) return;
  const int32_t count = std::min(palette.GetColorsUsed(), 256);
  const int32_t first = palette.FirstUsableIndex();
  const int32_t last = std::min(palette.LastUsableIndex(), count - 1);
  static const LuvConverter converter;
  Luv luv[256];
  double up[256], vp[256];
  for (int32_t i = 0; i < count; ++i) {
    double L;
    converter.ToLuv(colors[i], L, up[i], vp[i]);
    luv[i] = converter.Make(L, up[i], vp[i]);
  }
  for (int32_t i = 0; i < count; ++i) {
    const double L = std::clamp(luv[i].L * scale + offset, 0.0, 100.0);
    const Luv want = converter.Make(L, up[i], vp[i]);
    int32_t itsIndex = -1;
    double best = 0.0;
    for (int32_t k = first; k <= last; ++k) {
      const double dL = luv[k].L - want.L, du = luv[k].u - want.u, dv = luv[k].v - want.v;
      const double d = dL * dL + du * du + dv * dv;
      if (std::isnan(d)) {
        XASSERT(!std::isnan(d), "floating point problem");
        continue;
      }
      if (itsIndex == -1 || d < best) {
        itsIndex = k;
        best = d;
      }
    }
    XASSERT(itsIndex != -1, "color matching logic error");
    if (itsIndex != -1) outTable[i] = (uint8_t)itsIndex;
  }
}

uint32_t AdjustColorBrightness(uint32_t rgb, float scale, float offset) {
  const double R = ((rgb >> 16) & 255) / 255.0, G = ((rgb >> 8) & 255) / 255.0, B = (rgb & 255) / 255.0;
  double Y = 0.299 * R + 0.587 * G + 0.114 * B;
  const double U = -0.146 * R - 0.288 * G + 0.434 * B;
  const double V = 0.617 * R - 0.517 * G - 0.1 * B;
  Y = Y * scale + offset;
  const uint8_t r = Unit(Y - 0.001 * U + 1.136 * V);
  const uint8_t g = Unit(Y - 0.396 * U - 0.578 * V);
  const uint8_t b = Unit(Y + 2.041 * U - 0.002 * V);
  return ((uint32_t)r << 16) | ((uint32_t)g << 8) | b;
}

uint32_t TintedGrey(uint32_t rgb, float factor) {
  const double sum = (double)((rgb >> 16) & 255) + ((rgb >> 8) & 255) + (rgb & 255);
  const int32_t g = (int32_t)std::clamp(sum / 3.0 * factor + 0.5, 0.0, 255.0);
  const uint32_t red = (uint32_t)std::min(g + 48, 255);
  return (red << 16) | ((uint32_t)g << 8) | (uint32_t)g;
}
