// Benchmark of TGA conversion: a generated 1024 x 1024 32-bit TGA with more than 50,000
// distinct colours is read into a colour world and an alpha world, every pixel matched to
// a 256-colour palette. Reports megapixels per second beside a memcpy of the same bytes.
// The palette's memo is cleared before every run, so each run pays for every distinct colour;
// with BENCH_WARM set in the environment it is kept, and the runs after the first show the
// cost of memoised answers.
//
// Usage: bench_tga [folder for the generated file]   (default: $TMPDIR or /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "StringBuffer.h"
#include "TGAParser.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

constexpr int kSide = 1024;
constexpr int kRuns = 7;

// A render-like picture: smooth gradients in red and green, blue in blocks, alpha falling
// off to the edges.
std::vector<uint8_t> MakeTGA(size_t& distinct) {
  std::vector<uint8_t> file(18, 0);
  file[2] = 2;  // uncompressed true colour
  file[12] = kSide & 255;
  file[13] = kSide >> 8;
  file[14] = kSide & 255;
  file[15] = kSide >> 8;
  file[16] = 32;
  file[17] = 0x28;  // 8 alpha bits, top row first
  std::unordered_set<uint32_t> colours;
  file.reserve(18 + (size_t)kSide * kSide * 4);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      uint8_t r = (uint8_t)(x / 4), g = (uint8_t)(y / 4);
      uint8_t b = (uint8_t)(((x / 64) + (y / 64)) * 16);
      uint8_t a = (uint8_t)std::min(255, std::min(std::min(x, y), std::min(kSide - 1 - x, kSide - 1 - y)));
      file.push_back(b);
      file.push_back(g);
      file.push_back(r);
      file.push_back(a);
      colours.insert((uint32_t)r << 16 | (uint32_t)g << 8 | b);
    }
  }
  distinct = colours.size();
  return file;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  std::string path = folder + "/bench_tga.tga";
  size_t distinct = 0;
  std::vector<uint8_t> bytes = MakeTGA(distinct);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::fprintf(stderr, "could not write %s\n", path.c_str());
    return 1;
  }
  std::fclose(f);

  // A 6 x 7 x 6 colour cube and a grey ramp.
  PlatformColorEntry colors[256];
  int i = 0;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 7; ++g)
      for (int b = 0; b < 6; ++b) colors[i++] = {uint8_t(r * 51), uint8_t(g * 42), uint8_t(b * 51), 0};
  for (; i < 256; ++i) colors[i] = {uint8_t((i - 252) * 60), uint8_t((i - 252) * 60), uint8_t((i - 252) * 60), 0};
  PalWrap* pal = GetGlobalPalette();
  pal->Create(colors, 0);

  Offscreen color, alpha;
  MacRect bounds = {0, 0, kSide, kSide};
  if (!color.Create(bounds, pal) || !alpha.Create(bounds, nullptr)) {
    std::fprintf(stderr, "could not make the worlds\n");
    return 1;
  }
  FixedStringBuffer<1024> name(path.c_str());
  std::vector<double> convert, copy;
  std::vector<uint8_t> target(bytes.size());
  for (int run = 0; run < kRuns; ++run) {
    if (!std::getenv("BENCH_WARM")) pal->ColorsChanged();  // cold memo: every distinct colour is searched again
    TGAParser parser;
    auto t0 = std::chrono::steady_clock::now();
    int32_t err = parser.Open(name);
    if (err == 0) err = parser.Render(&color, &alpha);
    auto t1 = std::chrono::steady_clock::now();
    if (err) {
      std::fprintf(stderr, "conversion failed: %d\n", err);
      return 1;
    }
    convert.push_back(Seconds(t1 - t0));
    t0 = std::chrono::steady_clock::now();
    std::memcpy(target.data(), bytes.data(), bytes.size());
    t1 = std::chrono::steady_clock::now();
    copy.push_back(Seconds(t1 - t0));
  }
  std::remove(path.c_str());
  std::sort(convert.begin(), convert.end());
  std::sort(copy.begin(), copy.end());
  const double mp = (double)kSide * kSide / 1e6;
  const double c = convert[kRuns / 2], m = copy[kRuns / 2];
  std::printf("image: %d x %d, 32-bit, %zu distinct colours (%zu bytes)\n", kSide, kSide, distinct,
              bytes.size());
  std::printf("TGA conversion: %8.1f megapixels/s (median of %d runs, %.2f ms)\n", mp / c, kRuns,
              c * 1e3);
  std::printf("memcpy:         %8.1f megapixels/s (same bytes, %.3f ms)\n", mp / m, m * 1e3);
  std::printf("checksum: %u\n", (unsigned)(color.GetBaseAddr()[0] + target[100]));
  return 0;
}
