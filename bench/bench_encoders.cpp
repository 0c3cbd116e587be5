// Encoder throughput over generated art, each figure printed beside its goal:
// - SPR# : a 1024 x 768 sheet cut into 128 x 128 frames, as sprite and tile sheets are;
// - SPR2 colour + z + alpha of one 2048 x 2048 frame, smooth content (filled shapes on a clear
//   background, anti-aliased edges, depth following the shapes): must not get slower;
// - SPR2 colour + z + alpha of one 2048 x 2048 frame, noisy content (dithered alpha and noisy
//   depth inside visible areas, the worst case for run lengths): at least 300 MP/s;
// - SPR2 colour + z of the noisy frame, for reference.
// The cases run interleaved, round after round, and the median of each is printed, beside
// memcpy of the same input bytes measured in the same run.
//
// Build: cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOBJTOOLS_BENCH=ON
//        cmake --build build-bench --target bench_encoders
//        build-bench/bin/bench_encoders [rounds] [part of a case name]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"

#include "Compressor.h"
#include "MHandle.h"
#include "Sprite2Compressor.h"
#include "SpriteList.h"
#include "offscrn.h"

namespace {

constexpr int kSheetWidth = 1024;
constexpr int kSheetHeight = 768;
constexpr int kFrameSide = 2048;
constexpr int kAlphaBits = 5;

void Put(Offscreen& w, int x, int y, uint8_t v) { w.GetBaseAddr()[intptr_t(y) * w.GetRowBytes() + x] = v; }

struct Layers {
  Offscreen colour, z, alpha;
  explicit Layers(int w, int h)
      : colour(MacRect{0, 0, int16_t(h), int16_t(w)}), z(MacRect{0, 0, int16_t(h), int16_t(w)}),
        alpha(MacRect{0, 0, int16_t(h), int16_t(w)}) {}
};

struct Shape {
  float cx, cy, r;
  uint8_t base;
};

// Discs over colour 0 (z 255, alpha 0); `shapes` per million pixels.
std::vector<Shape> MakeShapes(int w, int h, int count, int minRadius, int spread, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Shape> shapes;
  for (int i = 0; i < count; ++i)
    shapes.push_back({float(rng() % w), float(rng() % h), float(minRadius + rng() % spread), uint8_t(16 + 8 * (rng() % 28))});
  return shapes;
}

// Calls fn(x, y, shape, distance) for the topmost shape covering each pixel (the last one
// drawn), with the cover (> 1 inside, 0..1 on the edge); pixels outside every shape are left.
void ForEachCovered(int w, int h, const std::vector<Shape>& shapes,
                    const std::function<void(int, int, const Shape&, float, float)>& fn) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Shape* top = nullptr;
      float topD = 0, topCover = 0;
      for (const Shape& s : shapes) {
        if (std::fabs(x - s.cx) > s.r + 1 || std::fabs(y - s.cy) > s.r + 1) continue;
        float d = std::sqrt((x - s.cx) * (x - s.cx) + (y - s.cy) * (y - s.cy));
        float cover = s.r + 0.5f - d;
        if (cover <= 0) continue;
        top = &s, topD = d, topCover = cover;
      }
      if (top) fn(x, y, *top, topD, topCover);
    }
}

// Smooth rendered art: a few shading bands, depth towards the centre, partial alpha only on
// the anti-aliased edges.
void PaintSmooth(Layers& l, int w, int h) {
  ForEachCovered(w, h, MakeShapes(w, h, 240, 30, 140, 2024), [&](int x, int y, const Shape& s, float d, float cover) {
    uint8_t c, a;
    if (cover >= 1) {
      c = uint8_t(s.base + int(4 * d / s.r));
      a = 255;
    } else {
      c = uint8_t(s.base + 7);
      a = uint8_t(cover * 255);
    }
    Put(l.colour, x, y, c);
    Put(l.z, x, y, (a >> (8 - kAlphaBits)) == 0 ? 255 : uint8_t(40 + 150 * d / s.r));
    Put(l.alpha, x, y, a);
  });
}

// Noisy rendered art over transparency: inside each shape the alpha is dithered (about half
// the pixels opaque, the others partly transparent, a few invisible) and the depth and colour
// carry noise, so the token kind changes every pixel or two.
void PaintNoisy(Layers& l, int w, int h) {
  std::mt19937 rng(77);
  ForEachCovered(w, h, MakeShapes(w, h, 240, 30, 140, 4048), [&](int x, int y, const Shape& s, float d, float) {
    uint32_t v = rng();
    uint8_t a = (v & 1) ? 255 : uint8_t((v >> 1) & 255);
    uint8_t z = uint8_t(std::min(254.0f, 40 + 150 * d / s.r + float((v >> 9) & 15)));
    Put(l.colour, x, y, uint8_t(s.base + ((v >> 13) & 7)));
    Put(l.z, x, y, (a >> (8 - kAlphaBits)) == 0 ? 255 : z);  // as ApplyAlphaToZBuffer leaves it
    Put(l.alpha, x, y, a);
  });
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Case {
  const char* name;
  double megapixels;
  const char* goal;
  std::function<size_t()> run;  // answers the output size, 0 on failure
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const char* only = argc > 2 ? argv[2] : "";  // runs only the cases whose names hold it

  Layers sheet(kSheetWidth, kSheetHeight);
  PaintSmooth(sheet, kSheetWidth, kSheetHeight);
  Layers smooth(kFrameSide, kFrameSide), noisy(kFrameSide, kFrameSide);
  PaintSmooth(smooth, kFrameSide, kFrameSide);
  PaintNoisy(noisy, kFrameSide, kFrameSide);
  const MacRect frameBounds{0, 0, kFrameSide, kFrameSide};

  std::vector<MacRect> frames;
  for (int y = 0; y < kSheetHeight; y += 128)
    for (int x = 0; x < kSheetWidth; x += 128) frames.push_back(MacRect{int16_t(y), int16_t(x), int16_t(y + 128), int16_t(x + 128)});
  Compressor compressor;

  // memcpy of three planes of the 2048 x 2048 frame, for scale.
  const size_t planeBytes = size_t(kFrameSide) * kFrameSide;
  std::vector<uint8_t> src(planeBytes * 3, 1), dst(src.size());
  int copies = 0;

  auto frameSize = [](MHandle* frame) {
    if (frame == nullptr) return size_t(0);
    size_t n = size_t(HGetSize(frame));
    HFree(frame);
    return n;
  };
  const double frameMP = double(kFrameSide) * kFrameSide / 1e6;
  std::vector<Case> cases = {
      {"memcpy of 3 planes 2048x2048", frameMP, "", [&] {
         std::memcpy(dst.data(), src.data(), src.size());
         src[size_t(copies++) % src.size()] = dst[src.size() / 2];
         return src.size();
       }},
      {"SPR# 48 frames 128x128", double(kSheetWidth) * kSheetHeight / 1e6, "", [&] {
         MHandle* list = nullptr;
         int32_t status = compressor.CompressSpriteList(&sheet.colour, frames.data(), list, int16_t(frames.size()),
                                                        nullptr, 0, kSpriteListColorVersion);
         return status == 0 ? frameSize(list) : 0;
       }},
      {"SPR2 colour+z+alpha smooth 2048x2048", frameMP, "not slower than before", [&] {
         return frameSize(EncodeSprite2ColorZAlpha(&smooth.colour, &smooth.z, &smooth.alpha, frameBounds, frameBounds,
                                                   kAlphaBits));
       }},
      {"SPR2 colour+z+alpha noisy 2048x2048", frameMP, ">= 300 MP/s", [&] {
         return frameSize(EncodeSprite2ColorZAlpha(&noisy.colour, &noisy.z, &noisy.alpha, frameBounds, frameBounds,
                                                   kAlphaBits));
       }},
      {"SPR2 colour+z noisy 2048x2048", frameMP, "", [&] {
         return frameSize(EncodeSprite2ColorZ(&noisy.colour, &noisy.z, frameBounds, frameBounds));
       }},
      {"SPR2 colour smooth 2048x2048", frameMP, "", [&] {
         return frameSize(EncodeSprite2Color(&smooth.colour, frameBounds, frameBounds));
       }},
  };

  cases.erase(std::remove_if(cases.begin(), cases.end(), [&](const Case& c) { return !std::strstr(c.name, only); }),
              cases.end());
  std::vector<std::vector<double>> seconds(cases.size()), cpu(cases.size());
  std::vector<size_t> sizes(cases.size());
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < cases.size(); ++i) {
      const Case& c = cases[i];
      const double c0 = ThreadSeconds();
      auto t = std::chrono::steady_clock::now();
      size_t bytes = c.run();
      double s = Seconds(t);
      cpu[i].push_back(ThreadSeconds() - c0);
      if (bytes == 0) {
        std::fprintf(stderr, "%s failed\n", c.name);
        return 1;
      }
      sizes[i] = bytes;
      seconds[i].push_back(s);
    }
  }

  std::printf("encoders: median of %d interleaved rounds\n", rounds);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const double m = Median(seconds[i]);
    const double mc = Median(cpu[i]);
    std::printf("%-38s %9.1f MP/s  %8.2f ms (cpu %6.2f ms, %7.1f MP/s)  %9zu bytes  goal: %s\n", c.name,
                c.megapixels / m, m * 1e3, mc * 1e3, c.megapixels / mc, sizes[i], *c.goal ? c.goal : "-");
  }
  return 0;
}
