// The depth clean-up before SPR2 encoding and the trimming of frames to their pixels, checked
// against plain per-pixel statements of the rules over worlds whose pixels to fill and
// pixels to keep fall on every position of a row: at the edges, inside and across the
// boundaries of the blocks that the passes skip in one test.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Compressor.h"
#include "DebugCapture.h"
#include "EncoderTestWorld.h"
#include "Sprite2Compressor.h"
#include "SpriteList.h"

using enctest::GetPixel;
using enctest::MakeWorld;

namespace {

struct Lcg {
  uint32_t state;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
};

// The rule, pixel by pixel in reading order: a coloured pixel (not the top-left colour)
// without depth (255) takes the rounded mean of its left and right neighbours' depths, else
// of those and its upper and lower ones, else of all eight; fills feed later pixels.
std::vector<uint8_t> ReferenceCleanUp(const std::vector<uint8_t>& colour, std::vector<uint8_t> z, int w, int h) {
  const uint8_t clear = colour[0];
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (colour[size_t(y) * w + x] == clear || z[size_t(y) * w + x] != 255) continue;
      unsigned sum = 0, count = 0;
      auto add = [&](int nx, int ny) {
        if (nx < 0 || ny < 0 || nx >= w || ny >= h) return;
        sum += z[size_t(ny) * w + nx];
        ++count;
      };
      add(x - 1, y);
      add(x + 1, y);
      if (sum == 0) {
        add(x, y - 1);
        add(x, y + 1);
      }
      if (sum == 0) {
        add(x - 1, y - 1);
        add(x + 1, y - 1);
        add(x - 1, y + 1);
        add(x + 1, y + 1);
      }
      if (sum != 0) z[size_t(y) * w + x] = uint8_t(std::floor(double(sum) / count + 0.5));
    }
  return z;
}

TEST(CleanUpZBuffer, FillsExactlyAsThePixelByPixelRule) {
  ScopedDebugCapture capture;  // pixels with no depth around are reported and left
  struct Case {
    const char* what;
    int w, h;
    unsigned fillOneIn;  // share of coloured pixels that have no depth
    unsigned clearOneIn;  // share of clear pixels
    bool onlyAtBlockEdges;  // pixels to fill only in the first and last columns of 64
  } cases[] = {
      {"one pixel wide", 1, 40, 2, 3, false},
      {"one block less one", 63, 9, 3, 4, false},
      {"one block", 64, 9, 5, 2, false},
      {"one block and one", 65, 9, 4, 3, false},
      {"rare fills over many blocks", 200, 30, 97, 3, false},
      {"fills at the edges of blocks", 321, 8, 2, 9, true},
      {"most pixels to fill", 140, 12, 1, 5, false},
      {"all clear", 128, 4, 1, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Lcg rng{uint32_t(c.w * 131 + c.h)};
    std::vector<uint8_t> colour(size_t(c.w) * c.h), z(colour.size());
    for (size_t i = 0; i < colour.size(); ++i) {
      const bool clear = i == 0 || rng.Next() % c.clearOneIn == 0;
      colour[i] = clear ? 7 : uint8_t(8 + rng.Next() % 5);
      // Depth 0 and 255 both occur beside fills: a sum of 0 widens the neighbourhood.
      const unsigned pick = rng.Next();
      const int x = int(i % size_t(c.w));
      const bool mayFill = !c.onlyAtBlockEdges || x % 64 == 0 || x % 64 == 63;
      z[i] = mayFill && pick % c.fillOneIn == 0 ? 255 : (pick >> 4) % 4 == 0 ? 0 : uint8_t(pick >> 8) % 255;
    }
    auto cw = MakeWorld(c.w, c.h, [&](int x, int y) { return colour[size_t(y) * c.w + x]; });
    auto zw = MakeWorld(c.w, c.h, [&](int x, int y) { return z[size_t(y) * c.w + x]; });
    CleanUpZBuffer(cw.get(), zw.get());
    const std::vector<uint8_t> want = ReferenceCleanUp(colour, z, c.w, c.h);
    int wrong = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        if (GetPixel(*zw, x, y) != want[size_t(y) * c.w + x] && wrong++ < 5)
          ADD_FAILURE() << "z at " << x << "," << y << " is " << int(GetPixel(*zw, x, y)) << ", want "
                        << int(want[size_t(y) * c.w + x]);
  }
}

// A side is trimmed while its whole row or column is the clear colour.
MacRect ReferenceTrim(const std::vector<uint8_t>& px, int w, MacRect r, uint8_t sides, uint8_t clear) {
  auto at = [&](int x, int y) { return px[size_t(y) * w + x]; };
  auto rowClear = [&](int y) {
    for (int x = r.left; x < r.right; ++x)
      if (at(x, y) != clear) return false;
    return true;
  };
  auto columnClear = [&](int x) {
    for (int y = r.top; y < r.bottom; ++y)
      if (at(x, y) != clear) return false;
    return true;
  };
  if (sides & kTrimTop)
    while (r.top < r.bottom && rowClear(r.top)) ++r.top;
  if (sides & kTrimBottom)
    while (r.bottom > r.top && rowClear(r.bottom - 1)) --r.bottom;
  if (sides & kTrimLeft)
    while (r.left < r.right && columnClear(r.left)) ++r.left;
  if (sides & kTrimRight)
    while (r.right > r.left && columnClear(r.right - 1)) --r.right;
  if (r.top >= r.bottom || r.left >= r.right) return MacRect{0, 0, 0, 0};
  return r;
}

TEST(TrimFrames, WithoutSuppressionTrimsToThePixelsThatAreNotClear) {
  const int w = 90, h = 40;
  const uint8_t clear = 255;
  struct Case {
    const char* what;
    unsigned dots;  // pixels that are not clear
  } cases[] = {{"empty", 0}, {"one pixel", 1}, {"a few", 4}, {"many", 60}};
  for (const Case& c : cases) {
    Lcg rng{c.dots * 7919u + 1};
    std::vector<uint8_t> px(size_t(w) * h, clear);
    for (unsigned i = 0; i < c.dots; ++i) px[rng.Next() % px.size()] = uint8_t(rng.Next() % 200);
    auto world = MakeWorld(w, h, [&](int x, int y) { return px[size_t(y) * w + x]; });
    Compressor compressor;
    CompressorSettings depthTrim;
    depthTrim.flags = kCompressClearColor;  // as the SPR2 frames are trimmed: no suppression
    depthTrim.clearColor = clear;
    compressor.SetSettings(depthTrim);
    const MacRect frames[] = {{0, 0, int16_t(h), int16_t(w)}, {3, 31, 29, 65}, {10, 0, 11, 90}, {0, 45, 40, 46}};
    for (const MacRect& frame : frames)
      for (uint8_t sides = 0; sides < 16; ++sides) {
        MacRect got = frame;
        compressor.TrimFrames(world.get(), &got, 1, sides, 1);
        const MacRect want = ReferenceTrim(px, w, frame, sides, clear);
        EXPECT_TRUE(MacEqualRect(got, want))
            << c.what << ", frame " << frame.top << "," << frame.left << ", sides " << int(sides) << ": got "
            << got.top << "," << got.left << "," << got.bottom << "," << got.right << " want " << want.top << ","
            << want.left << "," << want.bottom << "," << want.right;
      }
  }
}

}  // namespace
