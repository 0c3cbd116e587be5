// Benchmark of TGA conversion without a palette BMP: a generated 2048 x 2048 32-bit TGA of
// about a million distinct colours (smooth render-like gradients with noise, alpha falling
// off to the edges) is read into a colour world and an alpha world, every pixel matched to a
// 256-colour palette. Two palettes: a colour cube with a grey ramp, and 256 colours taken from
// the image itself (as a palette made for the image would be, one of them twice). The
// palette's search structures are cleared before every run, so each run pays for every
// distinct colour, as a build does after loading a palette; with BENCH_WARM set in the
// environment they are kept (and with BENCH_KEEP the generated file is left in place). Runs
// are interleaved with a memcpy of the same bytes; medians are printed beside the goal.
//
// Usage: bench_tga [folder for the generated file] [runs]   (default: $TMPDIR or /tmp, 7)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"

#include "StringBuffer.h"
#include "TGAParser.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

constexpr int kSide = 2048;

struct Rgb {
  uint8_t r, g, b;
};

Rgb PixelColour(int x, int y, std::mt19937& rng) {
  const uint32_t v = rng();
  const int nr = int(v & 3) - 2, ng = int((v >> 4) & 3) - 2, nb = int((v >> 8) & 7) - 4;
  auto clamp = [](int c) { return uint8_t(std::min(255, std::max(0, c))); };
  const int r = x / 8, g = y / 8, b = ((x / 32 + y / 48) * 37) & 255;
  return {clamp(r + nr), clamp(g + ng), clamp(b + nb)};
}

// The file's bytes; `distinct` answers the number of distinct colours.
std::vector<uint8_t> MakeTGA(size_t& distinct, std::vector<Rgb>& samples) {
  std::vector<uint8_t> file(18, 0);
  file[2] = 2;  // uncompressed true colour
  file[12] = kSide & 255;
  file[13] = kSide >> 8;
  file[14] = kSide & 255;
  file[15] = kSide >> 8;
  file[16] = 32;
  file[17] = 0x28;  // 8 alpha bits, top row first
  file.resize(18 + size_t(kSide) * kSide * 4);
  std::vector<bool> seen(1u << 24);
  std::mt19937 rng(99);
  uint8_t* p = file.data() + 18;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x, p += 4) {
      const Rgb c = PixelColour(x, y, rng);
      const int edge = std::min(std::min(x, y), std::min(kSide - 1 - x, kSide - 1 - y));
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
      p[3] = uint8_t(std::min(255, edge));
      const uint32_t key = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
      if (!seen[key]) {
        seen[key] = true;
        ++distinct;
      }
      if ((rng() & 16383) == 0 && samples.size() < 255) samples.push_back(c);
    }
  }
  return file;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  std::string path = folder + "/bench_tga.tga";
  size_t distinct = 0;
  std::vector<Rgb> samples;
  std::vector<uint8_t> bytes = MakeTGA(distinct, samples);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::fprintf(stderr, "could not write %s\n", path.c_str());
    return 1;
  }
  std::fclose(f);

  // A 6 x 7 x 6 colour cube and a grey ramp.
  PlatformColorEntry cube[256];
  int i = 0;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 7; ++g)
      for (int b = 0; b < 6; ++b) cube[i++] = {uint8_t(r * 51), uint8_t(g * 42), uint8_t(b * 51), 0};
  for (; i < 256; ++i) cube[i] = {uint8_t((i - 252) * 60), uint8_t((i - 252) * 60), uint8_t((i - 252) * 60), 0};
  // Colours of the image, the first of them twice.
  PlatformColorEntry own[256] = {};
  for (size_t k = 0; k < 256; ++k) {
    const Rgb c = samples.empty() ? Rgb{0, 0, 0} : samples[k < samples.size() ? k : 0];
    own[k] = {c.r, c.g, c.b, 0};
  }
  own[255] = own[0];

  PalWrap cubePalette, ownPalette;
  cubePalette.Create(cube, 0);
  ownPalette.Create(own, 0);
  struct Target {
    const char* name;
    PalWrap* pal;
    Offscreen colour;
    std::vector<double> seconds, cpu;
  } targets[2] = {{"cube palette", &cubePalette, {}, {}, {}}, {"image palette", &ownPalette, {}, {}, {}}};
  Offscreen alpha;
  MacRect bounds = {0, 0, kSide, kSide};
  for (Target& t : targets) {
    if (!t.colour.Create(bounds, t.pal)) {
      std::fprintf(stderr, "could not make the worlds\n");
      return 1;
    }
  }
  if (!alpha.Create(bounds, nullptr)) {
    std::fprintf(stderr, "could not make the worlds\n");
    return 1;
  }
  FixedStringBuffer<1024> name(path.c_str());
  std::vector<double> copy;
  std::vector<uint8_t> target(bytes.size());
  for (int run = 0; run < runs; ++run) {
    for (Target& t : targets) {
      if (!std::getenv("BENCH_WARM")) t.pal->ColorsChanged();  // cold: every distinct colour is searched again
      TGAParser parser;
      const double c0 = ThreadSeconds();
      auto t0 = std::chrono::steady_clock::now();
      int32_t err = parser.Open(name);
      if (err == 0) err = parser.Render(&t.colour, &alpha);
      auto t1 = std::chrono::steady_clock::now();
      if (err) {
        std::fprintf(stderr, "conversion failed: %d\n", err);
        return 1;
      }
      t.seconds.push_back(Seconds(t1 - t0));
      t.cpu.push_back(ThreadSeconds() - c0);
    }
    auto t0 = std::chrono::steady_clock::now();
    std::memcpy(target.data(), bytes.data(), bytes.size());
    auto t1 = std::chrono::steady_clock::now();
    copy.push_back(Seconds(t1 - t0));
  }
  if (!std::getenv("BENCH_KEEP")) std::remove(path.c_str());
  const double mp = double(kSide) * kSide / 1e6;
  std::printf("image: %d x %d, 32-bit, %zu distinct colours (%zu bytes), median of %d interleaved runs\n", kSide,
              kSide, distinct, bytes.size(), runs);
  for (Target& t : targets) {
    const double c = Median(t.seconds);
    const double cpu = Median(t.cpu);
    std::printf("TGA conversion, %-14s %8.1f MP/s  %7.2f ms (cpu %7.2f ms)  goal: >= 200 MP/s\n", t.name, mp / c,
                c * 1e3, cpu * 1e3);
  }
  const double m = Median(copy);
  std::printf("memcpy of the same bytes:      %8.1f MP/s  %7.2f ms\n", mp / m, m * 1e3);
  std::printf("checksum: %u\n", unsigned(targets[0].colour.GetBaseAddr()[0] + targets[1].colour.GetBaseAddr()[77] + target[100]));
  return 0;
}
