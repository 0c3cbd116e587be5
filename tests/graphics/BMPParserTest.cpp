#include "bmpparser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugCapture.h"
#include "ImageWriters.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

TestImage8 Pattern(int32_t w, int32_t h) {
  TestImage8 img;
  img.width = w;
  img.height = h;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) img.pixels.push_back(uint8_t(x < 3 ? 9 : y * 16 + x));  // runs and literals
  for (int i = 0; i < 200; ++i) img.palette.push_back({uint8_t(i), uint8_t(i + 1), uint8_t(i + 2)});
  return img;
}

class BMPParserTest : public ::testing::Test {
 protected:
  int32_t Open(const std::vector<uint8_t>& bytes) {
    FixedStringBuffer<512> path(dir.WriteFile("image.bmp", bytes).c_str());
    return parser.Open(path);
  }
  // Opens, makes a world of the file's size and reads the pixels; answers ReadPixels' result.
  int32_t Load(const std::vector<uint8_t>& bytes) {
    EXPECT_EQ(Open(bytes), 0);
    int16_t w, h;
    parser.GetSize(w, h);
    EXPECT_TRUE(world.Create(MacRect{0, 0, h, w}, nullptr));
    return parser.ReadPixels(&world);
  }
  uint8_t At(int32_t x, int32_t y) { return world.GetBaseAddr()[(int64_t)y * world.GetRowBytes() + x]; }
  // Every byte of the world's bitmap beyond the picture (row padding) is still zero.
  bool PaddingClean() {
    PlatformBitmap* b = world.GetWorld();
    for (int32_t y = 0; y < b->Height(); ++y)
      for (int32_t x = b->Width(); x < b->RowLength(); ++x)
        if (b->TopDownRow(y)[x] != 0) return false;
    return true;
  }
  void ExpectPicture(const TestImage8& img, const std::string& what) {
    for (int32_t y = 0; y < img.height; ++y)
      for (int32_t x = 0; x < img.width; ++x)
        ASSERT_EQ(At(x, y), img.pixels[y * img.width + x]) << what << " at " << x << "," << y;
    EXPECT_TRUE(PaddingClean()) << what;
  }
  // An RLE8 file of the given size with `data` as its pixel stream.
  static std::vector<uint8_t> RLE(int32_t w, int32_t h, const std::vector<uint8_t>& data) {
    BMPFields f;
    f.width = w;
    f.height = h;
    f.compression = 1;
    f.colorsUsed = 2;
    return BuildBMP(f, {{0, 0, 0}, {255, 255, 255}}, data);
  }

  TestTempFolder dir;
  BMPParser parser;
  Offscreen world;
};

TEST_F(BMPParserTest, LoadsWhatCommonToolsWrite) {
  struct Case { uint32_t header; bool topDown, rle; int32_t w, h; } cases[] = {
      {kBMPInfoHeader, false, false, 5, 3}, {kBMPInfoHeader, true, false, 5, 3},
      {kBMPInfoHeader, false, true, 7, 4},  {kBMPV4Header, false, false, 6, 2},
      {kBMPV4Header, true, false, 4, 5},    {kBMPV4Header, false, true, 9, 3},
      {kBMPV5Header, false, false, 3, 3},   {kBMPV5Header, true, false, 1, 1},
      {kBMPV5Header, false, true, 300, 2},
  };
  for (const Case& k : cases) {
    std::string what = std::to_string(k.header) + (k.topDown ? " top-down" : "") + (k.rle ? " rle" : "");
    TestImage8 img = Pattern(k.w, k.h);
    BMPWriteOptions o;
    o.headerSize = k.header;
    o.topDown = k.topDown;
    o.rle8 = k.rle;
    ASSERT_EQ(Load(WriteBMP8(img, o)), 0) << what;
    int16_t w, h;
    parser.GetSize(w, h);
    EXPECT_EQ(w, k.w);
    EXPECT_EQ(h, k.h) << what;
    EXPECT_EQ(parser.GetColorCount(), 200);
    EXPECT_EQ(parser.GetColors()[150].red, 150) << what;
    EXPECT_EQ(parser.GetColors()[150].blue, 152);
    EXPECT_EQ(parser.GetColors()[200].red, 0);
    ExpectPicture(img, what);
  }
}

TEST_F(BMPParserTest, ZeroColoursUsedMeansAFullTable) {
  BMPWriteOptions o;
  o.writeColorsUsed = false;
  ASSERT_EQ(Load(WriteBMP8(Pattern(4, 2), o)), 0);
  EXPECT_EQ(parser.GetColorCount(), 256);
}

TEST_F(BMPParserTest, RLE8DeltasAndRowsEndedEarly) {
  // Row 0 (the bottom): a delta of 3 columns, then two pixels of 7. Row 1: one pixel, then
  // end of line with the rest left alone; then end of bitmap.
  ASSERT_EQ(Load(RLE(6, 2, {0, 2, 3, 0, 2, 7, 0, 0, 1, 5, 0, 0, 0, 1})), 0);
  const uint8_t want[2][6] = {{5, 0, 0, 0, 0, 0}, {0, 0, 0, 7, 7, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(At(x, y), want[y][x]) << x << "," << y;
  // A delta that moves up a row; a stream that ends after its last row needs no marker.
  ASSERT_EQ(Load(RLE(4, 3, {0, 2, 1, 1, 3, 4, 0, 0, 4, 2, 0, 0})), 0);
  EXPECT_EQ(At(1, 1), 4);
  EXPECT_EQ(At(3, 1), 4);
  EXPECT_EQ(At(0, 1), 0);
  EXPECT_EQ(At(0, 0), 2);
  EXPECT_EQ(At(0, 2), 0);
}

TEST_F(BMPParserTest, CorruptRLE8IsRefusedWithoutWritingOutside) {
  // The picture is 5 wide, so its rows may be encoded over 8 bytes but no further.
  struct Case { const char* why; std::vector<uint8_t> data; } cases[] = {
      {"RLE run leaves its row", {9, 3}},
      {"RLE run leaves its row", {3, 3, 6, 3}},
      {"RLE run leaves its row", {8, 3, 1, 3}},
      {"RLE literal leaves its row", {2, 1, 0, 7, 4, 4, 4, 4, 4, 4, 4, 0}},
      {"RLE delta leaves the bitmap", {0, 2, 9, 0}},
      {"RLE delta leaves the bitmap", {6, 1, 0, 2, 3, 0}},
      {"RLE delta leaves the bitmap", {0, 2, 0, 4}},
      {"RLE run leaves its row", {0, 0, 0, 0, 0, 0, 1, 8}},  // above the top row
      {"RLE literal leaves its row", {0, 0, 0, 0, 0, 0, 0, 3, 1, 1, 1, 0}},
      {"read failed reading RLE BMP", {2, 8, 0}},              // pair cut short
      {"read failed reading RLE BMP", {0, 5, 1, 2}},           // literal cut short
      {"read failed reading RLE BMP", {0, 2, 1}},              // delta cut short
      {"read failed reading RLE BMP", {5, 5}},                 // no end of row or bitmap
  };
  for (const Case& k : cases) {
    ScopedDebugCapture capture;
    EXPECT_EQ(Load(RLE(5, 3, k.data)), 1) << k.why;
    EXPECT_TRUE(capture.Saw(k.why)) << k.why;
    EXPECT_TRUE(PaddingClean()) << k.why;
  }
  // What was decoded before the fault stays; the run that would leave its row writes nothing.
  ScopedDebugCapture capture;
  EXPECT_EQ(Load(RLE(5, 3, {3, 1, 6, 2})), 1);
  EXPECT_EQ(At(2, 2), 1);
  EXPECT_EQ(At(3, 2), 0);
}

// Writers encode RLE8 rows in several ways: over the padded row length (runs and literals
// that go on past the width, with padding of any value), or with an early end of line.
// Every way reads as the same picture, at widths on both sides of each multiple of 4.
TEST_F(BMPParserTest, RLE8RowsEncodedPastTheWidthOrEndedEarly) {
  const struct Style {
    const char* name;
    RLE8Rows rows;
    int pad;
  } styles[] = {
      {"to the width", RLE8Rows::kToWidth, 0},
      {"padded runs, padding 0", RLE8Rows::kPaddedRuns, 0},
      {"padded runs, padding 7", RLE8Rows::kPaddedRuns, 7},
      {"padded runs, last pixel repeated", RLE8Rows::kPaddedRuns, -1},
      {"padded literals", RLE8Rows::kPaddedLiterals, 7},
      {"early end of line", RLE8Rows::kEarlyEnd, 0},
  };
  for (int32_t w : {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 255, 257, 301}) {
    TestImage8 img;
    img.width = w;
    img.height = 4;
    for (int32_t y = 0; y < img.height; ++y)
      for (int32_t x = 0; x < w; ++x) {
        // A run at the start, a literal after it, and odd rows that end in zeros.
        const bool zeroTail = y % 2 == 1 && w > 2 && x >= w - 2;
        img.pixels.push_back(zeroTail ? 0 : x < 3 ? uint8_t(9 + y) : uint8_t(y * 16 + x * 3 + 1));
      }
    img.palette.assign(256, TestRGB{});
    for (const Style& k : styles) {
      const std::string what = std::string(k.name) + ", width " + std::to_string(w);
      BMPWriteOptions o;
      o.rle8 = true;
      o.rleRows = k.rows;
      o.rlePad = k.pad;
      ASSERT_EQ(Load(WriteBMP8(img, o)), 0) << what;
      ExpectPicture(img, what);
    }
  }
}

TEST_F(BMPParserTest, BadHeadersAreRefused) {
  auto file = [](int32_t w, int32_t h, uint32_t colorsUsed, size_t tableEntries, size_t dataBytes) {
    BMPFields f;
    f.width = w;
    f.height = h;
    f.colorsUsed = colorsUsed;
    return BuildBMP(f, std::vector<TestRGB>(tableEntries), std::vector<uint8_t>(dataBytes, 0));
  };
  std::vector<uint8_t> v4 = file(4, 1, 2, 2, 4);
  v4[14] = 12;  // a 12-byte core header
  std::vector<uint8_t> pastEnd = file(4, 1, 2, 2, 4);
  std::vector<uint8_t> cut = file(4, 1, 2, 2, 4);
  cut.resize(30);
  pastEnd[10] = 200;
  struct Case { const char* why; std::vector<uint8_t> bytes; } cases[] = {
      {"bmp width or height out of range", file(0, 1, 2, 2, 8)},
      {"bmp width or height out of range", file(-4, 1, 2, 2, 8)},
      {"bmp width or height out of range", file(32768, 1, 2, 2, 32768)},
      {"bmp width or height out of range", file(4, 0, 2, 2, 8)},
      {"bmp width or height out of range", file(4, 32768, 2, 2, 8)},
      {"bmp width or height out of range", file(4, -32768, 2, 2, 8)},
      {"bmp width or height out of range", file(4, INT32_MIN, 2, 2, 8)},
      {"too many colors", file(4, 1, 257, 257, 4)},
      {"couldn't read palette", file(4, 1, 200, 10, 0)},
      {"premature eof reading BMP", file(4, 1, 2, 2, 0)},
      {"premature eof reading BMP", file(5, 3, 2, 2, 8 + 8 + 4)},  // last row one byte short
      {"premature eof reading BMP", pastEnd},
      {"huh?", v4},
      {"Not a BMP file", {'M', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"couldn't read BMP header", {'B', 'M', 0}},
      {"Couldn't read bitmap header", cut},
  };
  for (const Case& k : cases) {
    ScopedDebugCapture capture;
    EXPECT_EQ(Open(k.bytes), 1) << k.why;
    EXPECT_TRUE(capture.Saw(k.why)) << k.why;
    EXPECT_EQ(parser.ReadPixels(&world), 1);
  }
  // The same file with its last row whole (padding of the last row may be left out).
  EXPECT_EQ(Open(file(5, 3, 2, 2, 8 + 8 + 5)), 0);
  ScopedDebugCapture capture;
  FixedStringBuffer<512> missing((dir / "none.bmp").c_str());
  EXPECT_EQ(parser.Open(missing), 1);
  EXPECT_TRUE(capture.Saw("couldn't open bmp file"));
}

TEST_F(BMPParserTest, FourBitFilesOpenButTheirPixelsAreRefused) {
  BMPFields f;
  f.width = 4;
  f.height = 2;
  f.bitCount = 4;
  ScopedDebugCapture capture;
  EXPECT_EQ(Open(BuildBMP(f, std::vector<TestRGB>(16), std::vector<uint8_t>(8, 0x12))), 0);
  EXPECT_TRUE(capture.Saw("not an 8-bit file"));
  EXPECT_EQ(parser.GetColorCount(), 16);
  ASSERT_TRUE(world.Create(MacRect{0, 0, 2, 4}, nullptr));
  EXPECT_EQ(parser.ReadPixels(&world), 1);
  EXPECT_EQ(At(0, 0), 0);
}

TEST_F(BMPParserTest, WorldsOfAnotherSizeAreRefused) {
  ASSERT_EQ(Open(WriteBMP8(Pattern(5, 3))), 0);
  const MacRect sizes[] = {{0, 0, 4, 5}, {0, 0, 3, 4}, {0, 0, 2, 5}, {0, 0, 3, 6}};
  for (const MacRect& r : sizes) {
    ASSERT_TRUE(world.Create(r, nullptr));
    ScopedDebugCapture capture;
    EXPECT_EQ(parser.ReadPixels(&world), 1);
    EXPECT_TRUE(capture.Saw("bmp size does not match the offscreen"));
    EXPECT_EQ(At(0, 0), 0);
  }
  world.Dispose();
  ScopedDebugCapture capture;
  EXPECT_EQ(parser.ReadPixels(&world), 1);
  EXPECT_EQ(parser.ReadPixels(nullptr), 1);
}

}  // namespace
