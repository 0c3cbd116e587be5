// Loading a sheet ahead on another thread: what Take hands over is what the build's own load
// (RenderImageFile, then CleanUpZBuffer) gives, pixel for pixel and colour for colour, and a
// load that would have said anything (an unfilled depth pixel, a damaged file, an assertion)
// or that is of other files is not handed over.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "ImageLoadAhead.h"
#include "ImageWriters.h"
#include "MakeSPR.h"
#include "ObjectBuilder.h"
#include "Sprite2Compressor.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

std::vector<TestRGB> Palette(int shift) {
  std::vector<TestRGB> p(256);
  for (int i = 0; i < 256; i++) p[i] = {uint8_t(i + shift), uint8_t(i * 3), uint8_t(255 - i)};
  return p;
}

// A 20 x 12 sheet: a block of colours with depth, one coloured pixel without depth beside
// depth (filled by the clean-up), and, when `lonely`, one whose neighbours all have depth 0,
// which the clean-up cannot fill.
TestSheet Sheet(int seed, bool lonely) {
  TestSheet s(20, 12);
  for (int y = 2; y < 10; y++)
    for (int x = 3; x < 17; x++) {
      s.index[s.At(x, y)] = uint8_t(10 + (x * 7 + y * 3 + seed) % 200);
      s.depth[s.At(x, y)] = uint8_t((x * y + seed) % 250);
    }
  s.index[s.At(17, 5)] = 99;  // depth 255: the clean-up gives it its neighbour's
  if (lonely) {
    s.index[s.At(0, 11)] = 42;
    s.depth[s.At(1, 11)] = s.depth[s.At(0, 10)] = s.depth[s.At(1, 10)] = 0;
  }
  return s;
}

std::vector<uint8_t> Tga(const TestSheet& s, const std::vector<TestRGB>& palette) {
  TGAWriteOptions o;
  o.bits = 32;
  return WriteSheetTGA(s, palette, o);
}

struct Loaded {
  std::vector<uint8_t> colour, depth;
  std::vector<uint8_t> palette;  // r, g, b of the global palette's 256 entries
  bool hasDepth = false;
};

std::vector<uint8_t> Pixels(Offscreen& world) {
  std::vector<uint8_t> out;
  if (!world.Exists()) return out;
  int32_t w = 0, h = 0;
  world.GetSize(w, h);
  for (int32_t y = 0; y < h; y++) {
    const uint8_t* row = world.GetBaseAddr() + int64_t(y) * world.GetRowBytes();
    out.insert(out.end(), row, row + w);
  }
  return out;
}

Loaded Capture(Offscreen& colour, Offscreen& depth) {
  Loaded l;
  l.colour = Pixels(colour);
  l.depth = Pixels(depth);
  l.hasDepth = depth.Exists();
  const PlatformColorEntry* c = GetGlobalPalette()->GetColors();
  for (int i = 0; c != nullptr && i < 256; i++) l.palette.insert(l.palette.end(), {c[i].red, c[i].green, c[i].blue});
  EXPECT_EQ(colour.GetPalette(), GetGlobalPalette());
  return l;
}

TEST(ImageLoadAhead, HandsOverWhatTheBuildsOwnLoadGivesAndNothingElse) {
  TestTempFolder dir;
  const std::vector<TestRGB> pal = Palette(0);
  const TestSheet clean = Sheet(1, false);
  dir.WriteFile("clean.tga", Tga(clean, pal));
  dir.WriteFile("clean.bmp", WriteSheetBMP8(clean, pal));
  const TestSheet lonely = Sheet(2, true);
  dir.WriteFile("lonely.tga", Tga(lonely, pal));
  dir.WriteFile("lonely.bmp", WriteSheetBMP8(lonely, pal));
  // Colours matched to a raw palette file (no pixels in it).
  const TestSheet matched = Sheet(3, false);
  dir.WriteFile("matched.tga", Tga(matched, Palette(5)));
  dir.WriteFile("matched.bmp", WriteRawPalette(pal));
  // Pixels from the BMP alone.
  dir.WriteFile("pixels.bmp", WriteSheetBMP8(Sheet(4, false), Palette(9)));
  // A TGA cut short.
  std::vector<uint8_t> cut = Tga(clean, pal);
  cut.resize(cut.size() / 2);
  dir.WriteFile("cut.tga", cut);
  dir.WriteFile("cut.bmp", WriteSheetBMP8(clean, pal));

  struct Case {
    const char* name;
    bool isBmp;
    bool taken;
  } cases[] = {
      {"clean", false, true},   {"matched", false, true}, {"pixels", true, true},
      {"lonely", false, false},  // its clean-up reports a pixel: the build loads it itself
      {"cut", false, false},     // the build's own load ends with the reader's error
  };
  ScopedDebugCapture capture;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SheetFiles files = {dir / (std::string(c.name) + ".bmp"),
                              c.isBmp ? std::string() : dir / (std::string(c.name) + ".tga"), c.isBmp};
    // The build's own load, into worlds that hold an earlier sheet.
    Offscreen colour, depth;
    ImageLoadAhead ahead;
    bool expectedOk = true;
    Loaded expected;
    {
      const FixedStringBuffer<260> bmp(files.palettePath.c_str());
      const FixedStringBuffer<260> tga(files.sourcePath.c_str());
      try {
        if (c.isBmp && depth.Exists()) depth.Dispose();
        RenderImageFile(&bmp, c.isBmp ? nullptr : &tga, &colour, &depth, 0);
        CleanUpZBuffer(&colour, &depth);
        expected = Capture(colour, depth);
      } catch (const Terminate&) {
        expectedOk = false;
      }
      EXPECT_EQ(expectedOk, std::string(c.name) != "cut");
    }
    // Another sheet is in the build's worlds and the global palette when the result is taken.
    {
      const FixedStringBuffer<260> bmp((dir / "clean.bmp").c_str());
      const FixedStringBuffer<260> tga((dir / "clean.tga").c_str());
      GetGlobalPalette()->LoadFromFile(FixedStringBuffer<260>((dir / "matched.tga").c_str()), 0);
      RenderImageFile(&bmp, &tga, &colour, &depth, 0);
    }
    const size_t reports = capture.ReportCount();
    ahead.Start(files);
    SheetFiles other = files;
    other.sourcePath += "x";
    EXPECT_FALSE(ahead.Take(other, &colour, &depth)) << "a load of other files";
    ahead.Start(files);
    ASSERT_EQ(ahead.Take(files, &colour, &depth), c.taken);
    EXPECT_EQ(capture.ReportCount(), reports) << "the thread reports nothing";
    if (!c.taken) continue;
    const Loaded got = Capture(colour, depth);
    EXPECT_EQ(got.colour, expected.colour);
    EXPECT_EQ(got.depth, expected.depth);
    EXPECT_EQ(got.hasDepth, !c.isBmp);
    EXPECT_EQ(got.palette, expected.palette);
    EXPECT_FALSE(ahead.Take(files, &colour, &depth)) << "taken twice";
  }
}

}  // namespace
