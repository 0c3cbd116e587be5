#include "TGAParser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "ImageWriters.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

// 256 colours: a colour cube of 6 x 7 x 6 levels and a grey ramp.
struct CubePalette {
  PalWrap pal;
  CubePalette() {
    std::vector<PlatformColorEntry> c(256);
    int i = 0;
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 7; ++g)
        for (int b = 0; b < 6; ++b) c[i++] = {uint8_t(r * 51), uint8_t(g * 42), uint8_t(b * 51), 0};
    for (; i < 256; ++i) c[i] = {uint8_t((i - 252) * 60 + 10), uint8_t((i - 252) * 60 + 10), uint8_t((i - 252) * 60 + 10), 0};
    pal.Create(c.data(), 0);
  }
};

// Pixels with runs that cross rows, exact palette colours and colours in between.
std::vector<TestRGBA> Picture(int32_t w, int32_t h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<TestRGBA> px((size_t)w * h);
  for (size_t i = 0; i < px.size(); ++i) {
    if (i % 11 < 6 && i > 0) {
      px[i] = px[i - 1];  // repeats, some reaching over a row end
    } else {
      px[i] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    }
  }
  return px;
}

class TGAParserTest : public ::testing::Test {
 protected:
  int32_t Open(const std::vector<uint8_t>& bytes) {
    FixedStringBuffer<512> path(dir.WriteFile("image.tga", bytes).c_str());
    return parser.Open(path);
  }
  void MakeWorlds(int16_t w, int16_t h) {
    ASSERT_TRUE(color.Create(MacRect{0, 0, h, w}, &cube.pal));
    ASSERT_TRUE(alpha.Create(MacRect{0, 0, h, w}, nullptr));
  }
  static uint8_t At(Offscreen& o, int32_t x, int32_t y) {
    return o.GetBaseAddr()[(int64_t)y * o.GetRowBytes() + x];
  }
  static bool PaddingClean(Offscreen& o) {
    PlatformBitmap* b = o.GetWorld();
    for (int32_t y = 0; y < b->Height(); ++y)
      for (int32_t x = b->Width(); x < b->RowLength(); ++x)
        if (b->TopDownRow(y)[x] != 0) return false;
    return true;
  }
  void ExpectPicture(const std::vector<TestRGBA>& px, int32_t w, int32_t h, bool withAlpha,
                     const std::string& what) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const TestRGBA& p = px[(size_t)y * w + x];
        ASSERT_EQ(At(color, x, y), cube.pal.FindNearestColor(p.r, p.g, p.b)) << what << " " << x << "," << y;
        ASSERT_EQ(At(alpha, x, y), withAlpha ? p.a : 0) << what << " " << x << "," << y;
      }
    EXPECT_TRUE(PaddingClean(color)) << what;
    EXPECT_TRUE(PaddingClean(alpha)) << what;
  }

  TestTempFolder dir;
  CubePalette cube;
  TGAParser parser;
  Offscreen color, alpha;
};

TEST_F(TGAParserTest, LoadsEveryTypeDepthAndOrigin) {
  const int32_t w = 7, h = 5;
  std::vector<TestRGBA> px = Picture(w, h, 3);
  for (int bits : {24, 32})
    for (bool rle : {false, true})
      for (int origin = 0; origin < 4; ++origin) {
        TGAWriteOptions o;
        o.bits = bits;
        o.rle = rle;
        o.rightToLeft = origin & 1;
        o.topToBottom = origin & 2;
        o.idLength = origin == 3 ? 5 : 0;
        std::string what = std::to_string(bits) + (rle ? " rle" : " raw") + " origin " + std::to_string(origin);
        ASSERT_EQ(Open(WriteTGA(w, h, px, o)), 0) << what;
        uint16_t gw, gh;
        parser.GetSize(gw, gh);
        EXPECT_EQ(gw, w);
        EXPECT_EQ(gh, h);
        EXPECT_EQ(parser.IsOpaque(), bits == 24 ? 1 : 0);
        MakeWorlds(w, h);
        ASSERT_EQ(parser.Render(&color, &alpha), 0) << what;
        ExpectPicture(px, w, h, bits == 32, what);
      }
}

TEST_F(TGAParserTest, PacketsCrossRows) {
  // A 6 x 2 image, bottom row first: a raw packet of 2, then a run of 10 that starts four
  // pixels before the end of the first stored row and fills the first six of the next.
  TGAFields f;
  f.imageType = 10;
  f.width = 6;
  f.height = 2;
  f.depth = 24;
  f.descriptor = 0x20;  // top row first, so stored rows are picture rows
  std::vector<uint8_t> body = {1, 0, 0, 0, 0, 0, 51, 0x89, 0, 0, 255};  // B, G, R
  ASSERT_EQ(Open(BuildTGA(f, body)), 0);
  MakeWorlds(6, 2);
  ASSERT_EQ(parser.Render(&color, nullptr), 0);
  const uint8_t red = cube.pal.FindColor(255, 0, 0), black = cube.pal.FindColor(0, 0, 0);
  const uint8_t want[2][6] = {{black, cube.pal.FindColor(51, 0, 0), red, red, red, red},
                              {red, red, red, red, red, red}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(At(color, x, y), want[y][x]) << x << "," << y;
  // Without packets crossing rows the same picture reads the same.
  std::vector<TestRGBA> px = Picture(9, 4, 5);
  TGAWriteOptions o;
  o.rle = true;
  o.bits = 32;
  o.runsCrossRows = false;
  ASSERT_EQ(Open(WriteTGA(9, 4, px, o)), 0);
  MakeWorlds(9, 4);
  ASSERT_EQ(parser.Render(&color, &alpha), 0);
  ExpectPicture(px, 9, 4, true, "rows kept apart");
}

TEST_F(TGAParserTest, HeadersThatAreRefused) {
  auto header = [](uint8_t type, uint8_t depth, uint8_t descriptor, uint8_t map, uint16_t w, uint16_t h) {
    TGAFields f;
    f.imageType = type;
    f.depth = depth;
    f.descriptor = descriptor;
    f.colorMapType = map;
    f.width = w;
    f.height = h;
    return BuildTGA(f, std::vector<uint8_t>((size_t)4 * w * h, 0));
  };
  struct Case { int32_t want; std::vector<uint8_t> bytes; } cases[] = {
      {kTGABadType, header(3, 8, 0, 0, 2, 2)},
      {kTGABadType, header(1, 24, 0, 1, 2, 2)},
      {kTGABadDepth, header(2, 16, 0, 0, 2, 2)},
      {kTGABadAlphaBits, header(2, 32, 0x20, 0, 2, 2)},
      {kTGAHasColorMap, header(2, 24, 0, 1, 2, 2)},
      {kTGABadSize, header(2, 24, 0, 0, 0, 2)},
      {kTGABadSize, header(10, 32, 8, 0, 2, 0)},
      {kTGABadSize, header(2, 24, 0, 0, 32768, 1)},
      {-48, {2, 0, 2, 0, 0}},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(Open(k.bytes), k.want);
    EXPECT_FALSE(parser.HasImage());
    uint16_t w = 1, h = 1;
    parser.GetSize(w, h);
    EXPECT_EQ(w + h, 0);
  }
  FixedStringBuffer<512> missing((dir / "none.tga").c_str());
  EXPECT_LT(parser.Open(missing), 0);
  ScopedDebugCapture capture;
  EXPECT_NE(parser.Render(&color, &alpha), 0);
  EXPECT_TRUE(capture.Saw("no image file"));
}

TEST_F(TGAParserTest, CorruptPixelDataStopsInsideTheWorld) {
  const int32_t w = 5, h = 3;
  std::vector<TestRGBA> px = Picture(w, h, 9);
  // Uncompressed files cut short are refused by Open (below); a run-length file may still
  // hold too few packets for its picture after Open let it pass.
  struct Case { const char* what; bool rle; int bits; int cut; std::vector<uint8_t> extra; int32_t want; } cases[] = {
      {"rle cut short", true, 24, 2, {}, -48},
      {"run past the last pixel", true, 32, 0, {}, kTGARunPastEnd},
  };
  for (const Case& k : cases) {
    TGAWriteOptions o;
    o.rle = k.rle;
    o.bits = k.bits;
    o.topToBottom = true;
    std::vector<uint8_t> bytes = WriteTGA(w, h, px, o);
    bytes.resize(bytes.size() - k.cut);
    if (k.want == kTGARunPastEnd) {
      // Grow the last packet by enough pixels to leave the picture, data included.
      TGAWriteOptions single = o;
      std::vector<TestRGBA> same(px.size(), px.back());
      bytes = WriteTGA(w, h, same, single);  // runs of at most 128: one run of 15
      ASSERT_EQ(bytes[18], 0x80 | 14);
      bytes[18] = 0x80 | 20;
    }
    ASSERT_EQ(Open(bytes), 0) << k.what;
    MakeWorlds(w, h);
    ScopedDebugCapture capture;
    EXPECT_EQ(parser.Render(&color, &alpha), k.want) << k.what;
    EXPECT_TRUE(PaddingClean(color)) << k.what;
    EXPECT_TRUE(PaddingClean(alpha)) << k.what;
    if (k.want == kTGARunPastEnd) {
      EXPECT_TRUE(capture.Saw("tga run past edge of bitmap"));
      EXPECT_EQ(At(color, 4, 2), cube.pal.FindColor(px.back().r, px.back().g, px.back().b));
    } else {
      // The rows before the cut are in place.
      EXPECT_EQ(At(color, 0, 0), cube.pal.FindColor(px[0].r, px[0].g, px[0].b)) << k.what;
    }
  }
}

// A file shorter than the least pixel data of the size it declares is refused by Open, with
// FlatFile's short-read code, before a world of that size is made for it: every pixel when
// uncompressed, one packet (header byte and pixel) per 128 pixels when run-length.
TEST_F(TGAParserTest, FilesTooShortForTheirDeclaredSizeAreRefusedAtOpen) {
  auto header = [](uint8_t type, uint8_t depth, uint16_t w, uint16_t h, uint8_t idLength, size_t body) {
    TGAFields f;
    f.imageType = type;
    f.depth = depth;
    f.descriptor = depth == 32 ? 0x28 : 0x20;
    f.width = w;
    f.height = h;
    f.idLength = idLength;
    return BuildTGA(f, std::vector<uint8_t>(body, 0x80));
  };
  struct Case { const char* what; std::vector<uint8_t> bytes; int32_t want; } cases[] = {
      // 18 + 100 bytes declaring 32767 x 32767 run-length pixels: it needs 8,388,096 packets.
      {"rle 32-bit, 32767 x 32767 in 118 bytes", header(10, 32, 32767, 32767, 0, 100), -48},
      {"rle 24-bit one byte short of 2 packets", header(10, 24, 16, 9, 0, 7), -48},
      {"rle 24-bit exactly 2 packets", header(10, 24, 16, 9, 0, 8), 0},
      {"rle 32-bit, the id counts as header", header(10, 32, 128, 1, 4, 4), -48},
      {"rle 32-bit, id and one packet", header(10, 32, 128, 1, 4, 5), 0},
      {"raw 24-bit one byte short", header(2, 24, 5, 3, 0, 44), -48},
      {"raw 24-bit whole", header(2, 24, 5, 3, 0, 45), 0},
      {"raw 32-bit one byte short, with an id", header(2, 32, 5, 3, 2, 59), -48},
      {"raw 32-bit whole, with an id", header(2, 32, 5, 3, 2, 60), 0},
      {"raw 32-bit 32767 x 32767 in 118 bytes", header(2, 32, 32767, 32767, 0, 100), -48},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(Open(k.bytes), k.want) << k.what;
    EXPECT_EQ(parser.HasImage(), k.want == 0) << k.what;
  }
}

// A file cut after Open is measured again by Render: no row of what is left is decoded.
TEST_F(TGAParserTest, FileCutAfterOpenIsRefusedBeforeDecoding) {
  const int32_t w = 4, h = 300;
  const std::vector<TestRGBA> same((size_t)w * h, TestRGBA{10, 20, 30, 200});
  for (bool rle : {false, true}) {
    TGAWriteOptions o;
    o.bits = 32;
    o.rle = rle;
    const std::vector<uint8_t> bytes = WriteTGA(w, h, same, o);
    ASSERT_EQ(Open(bytes), 0);
    // Half the pixel data stays: 10 runs of 128 pixels need 50 bytes.
    dir.WriteFile("image.tga", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 18 + (bytes.size() - 18) / 2));
    color.Dispose();
    alpha.Dispose();
    MakeWorlds(w, h);
    for (int32_t y = 0; y < h; ++y) std::memset(alpha.GetBaseAddr() + (int64_t)y * alpha.GetRowBytes(), 7, w);
    EXPECT_EQ(parser.Render(&color, &alpha), -48) << rle;
    int32_t changed = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) changed += At(alpha, x, y) != 7;
    EXPECT_EQ(changed, 0) << rle;
  }
}

TEST_F(TGAParserTest, WorldsOfAnotherSizeAreRefused) {
  std::vector<TestRGBA> px = Picture(4, 4, 1);
  TGAWriteOptions o;
  o.bits = 32;
  ASSERT_EQ(Open(WriteTGA(4, 4, px, o)), 0);
  const MacRect sizes[] = {{0, 0, 3, 4}, {0, 0, 4, 5}};
  for (const MacRect& r : sizes) {
    ASSERT_TRUE(color.Create(r, &cube.pal));
    ASSERT_TRUE(alpha.Create(MacRect{0, 0, 4, 4}, nullptr));
    ScopedDebugCapture capture;
    EXPECT_EQ(parser.Render(&color, &alpha), kTGAWorldMismatch);
    EXPECT_EQ(parser.Render(&alpha, &color), kTGAWorldMismatch);
    EXPECT_EQ(At(alpha, 0, 0), 0);
  }
  Offscreen none;
  ScopedDebugCapture capture;
  EXPECT_EQ(parser.Render(&none, nullptr), kTGAWorldMismatch);
}

TEST_F(TGAParserTest, AlphaOnlyAndPalettesWithoutColours) {
  std::vector<TestRGBA> px = Picture(3, 2, 4);
  TGAWriteOptions o;
  o.bits = 32;
  o.rle = true;
  ASSERT_EQ(Open(WriteTGA(3, 2, px, o)), 0);
  ASSERT_TRUE(alpha.Create(MacRect{0, 0, 2, 3}, nullptr));
  ASSERT_EQ(parser.Render(nullptr, &alpha), 0);
  EXPECT_EQ(At(alpha, 2, 1), px[5].a);
  // A colour world on a palette without colours holds the red components.
  PalWrap empty;
  Offscreen reds;
  ASSERT_TRUE(reds.Create(MacRect{0, 0, 2, 3}, &empty));
  ASSERT_EQ(parser.Render(&reds, nullptr), 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(At(reds, i % 3, i / 3), px[i].r);
  // A 24-bit image leaves the alpha world alone.
  TGAWriteOptions o24;
  ASSERT_EQ(Open(WriteTGA(3, 2, px, o24)), 0);
  ASSERT_TRUE(alpha.Create(MacRect{0, 0, 2, 3}, nullptr));
  MakeWorlds(3, 2);
  ASSERT_EQ(parser.Render(&color, &alpha), 0);
  ExpectPicture(px, 3, 2, false, "24-bit");
}

}  // namespace
