// Encoder throughput: SPR# (a 1024 x 768 sheet cut into 128 x 128 frames, as sprite and tile
// sheets are) and SPR2 (colour + z + alpha, the whole image as one frame) over generated art:
// filled shapes on a clear background with anti-aliased edges, depth that follows the shapes
// and partial alpha along the edges. Reported as megapixels per second beside memcpy of the
// same input bytes, measured in the same run.
//
// Build: cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOBJTOOLS_BENCH=ON
//        cmake --build build-bench --target bench_encoders && build-bench/bin/bench_encoders
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "Compressor.h"
#include "MHandle.h"
#include "Sprite2Compressor.h"
#include "SpriteList.h"
#include "offscrn.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

void Put(Offscreen& w, int x, int y, uint8_t v) { w.GetBaseAddr()[intptr_t(y) * w.GetRowBytes() + x] = v; }

// Discs and rounded boxes over colour 0; coverage at the edges picks a blend colour and an
// alpha; z grows towards each shape's centre.
void Paint(Offscreen& colour, Offscreen& z, Offscreen& alpha) {
  std::mt19937 rng(2024);
  struct Shape {
    float cx, cy, r;
    uint8_t base;
  };
  std::vector<Shape> shapes;
  for (int i = 0; i < 60; ++i)
    shapes.push_back({float(rng() % kWidth), float(rng() % kHeight), float(15 + rng() % 70), uint8_t(16 + 8 * (rng() % 28))});
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      uint8_t c = 0, zz = 255, a = 0;
      for (const Shape& s : shapes) {
        float d = std::sqrt((x - s.cx) * (x - s.cx) + (y - s.cy) * (y - s.cy));
        float cover = s.r + 0.5f - d;  // > 1 inside, 0..1 on the edge
        if (cover <= 0) continue;
        if (cover >= 1) {
          c = uint8_t(s.base + int(4 * d / s.r));  // a few shading bands
          a = 255;
        } else {
          c = uint8_t(s.base + 7);
          a = uint8_t(cover * 255);
        }
        zz = uint8_t(40 + 150 * d / s.r);
      }
      Put(colour, x, y, c);
      Put(z, x, y, zz);
      Put(alpha, x, y, a);
    }
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  MacRect bounds{0, 0, kHeight, kWidth};
  Offscreen colour(bounds), z(bounds), alpha(bounds);
  Paint(colour, z, alpha);
  const double megapixels = double(kWidth) * kHeight / 1e6;
  const int rounds = 20;

  // memcpy of the input planes, for scale.
  std::vector<uint8_t> src(size_t(kWidth) * kHeight * 3, 1), dst(src.size());
  auto t = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    std::memcpy(dst.data(), src.data(), src.size() / 3);
    src[i] = dst[src.size() / 3 - 1 - i];
  }
  const double copy1 = Seconds(t);
  t = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    std::memcpy(dst.data(), src.data(), src.size());
    src[i] = dst[src.size() - 1 - i];
  }
  const double copy3 = Seconds(t);

  // SPR#: 48 frames of 128 x 128 with the colour settings of the sprite makers.
  std::vector<MacRect> frames;
  for (int y = 0; y < kHeight; y += 128)
    for (int x = 0; x < kWidth; x += 128) frames.push_back(MacRect{int16_t(y), int16_t(x), int16_t(y + 128), int16_t(x + 128)});
  Compressor compressor;
  size_t sprBytes = 0;
  t = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    MHandle* list = nullptr;
    int32_t status = compressor.CompressSpriteList(&colour, frames.data(), list, int16_t(frames.size()), nullptr,
                                                   0, kSpriteListColorVersion);
    if (status != 0) {
      std::fprintf(stderr, "SPR# list failed: %d\n", int(status));
      return 1;
    }
    sprBytes = size_t(HGetSize(list));
    HFree(list);
  }
  const double spr = Seconds(t);

  // SPR2: colour + z + alpha, the whole image as one frame.
  size_t spr2Bytes = 0;
  t = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    MHandle* frame = EncodeSprite2ColorZAlpha(&colour, &z, &alpha, bounds, bounds, 5);
    if (frame == nullptr) {
      std::fprintf(stderr, "SPR2 frame failed\n");
      return 1;
    }
    spr2Bytes = size_t(HGetSize(frame));
    HFree(frame);
  }
  const double spr2 = Seconds(t);

  std::printf("image %dx%d, %d rounds\n", kWidth, kHeight, rounds);
  std::printf("memcpy 1 plane          %9.1f MP/s\n", megapixels * rounds / copy1);
  std::printf("memcpy 3 planes         %9.1f MP/s\n", megapixels * rounds / copy3);
  std::printf("SPR# 48 frames 128x128  %9.1f MP/s  (%zu bytes per list)\n", megapixels * rounds / spr, sprBytes);
  std::printf("SPR2 colour+z+alpha     %9.1f MP/s  (%zu bytes per frame)\n", megapixels * rounds / spr2, spr2Bytes);
  return 0;
}
