// Image loading and the sprite-list helpers of the builder: what RenderImageFile puts into
// the worlds, the BMP probe, SPR# lists with their byte order, trimming, and the rect file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "ImageWriters.h"
#include "MHandle.h"
#include "MakeSPR.h"
#include "ObjectBuilder.h"
#include "SpriteDecoders.h"
#include "TestTempFolder.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

std::vector<TestRGB> Palette() {
  std::vector<TestRGB> p(256);
  for (int i = 0; i < 256; i++) p[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 5)};
  return p;
}

TestImage8 Indexed(int w, int h) {
  TestImage8 im;
  im.width = w;
  im.height = h;
  im.palette = Palette();
  im.pixels.resize(size_t(w) * h);
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) im.pixels[size_t(y) * w + x] = uint8_t((x > 1 && y > 0) ? 30 + x + y : 0);
  }
  return im;
}

std::vector<TestRGBA> Pixels(int w, int h, uint8_t alpha) {
  std::vector<TestRGBA> px(size_t(w) * h);
  for (size_t i = 0; i < px.size(); i++) px[i] = {uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 5 + 1), alpha};
  return px;
}

std::string Error(const std::function<void()>& f) {
  try {
    f();
  } catch (const Terminate& t) {
    return t.c_str();
  }
  return "";
}

uint8_t At(Offscreen& w, int x, int y) { return w.GetBaseAddr()[int64_t(y) * w.GetRowBytes() + x]; }

uint32_t BE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

TEST(RenderImageFile, BmpIndicesWithA24BitTga) {
  TestTempFolder dir;
  const TestImage8 im = Indexed(6, 4);
  FixedStringBuffer<260> bmp(dir.WriteFile("s.bmp", WriteBMP8(im)).c_str());
  FixedStringBuffer<260> tga(dir.WriteFile("s.tga", WriteTGA(6, 4, Pixels(6, 4, 255))).c_str());
  Offscreen colour;
  Offscreen second;
  RenderImageFile(&bmp, &tga, &colour, &second, 0);
  ASSERT_TRUE(colour.Exists());
  EXPECT_FALSE(second.Exists());
  for (int y = 0; y < 4; y++) {
    for (int x = 0; x < 6; x++) EXPECT_EQ(At(colour, x, y), im.pixels[size_t(y) * 6 + x]);
  }
  EXPECT_EQ(GetGlobalPalette()->GetColors()[7].blue, 35);
}

TEST(RenderImageFile, TgaAlphaGoesToTheSecondWorld) {
  TestTempFolder dir;
  FixedStringBuffer<260> bmp(dir.WriteFile("s.bmp", WriteBMP8(Indexed(5, 3))).c_str());
  std::vector<TestRGBA> px = Pixels(5, 3, 0);
  for (size_t i = 0; i < px.size(); i++) px[i].a = uint8_t(i * 10);
  TGAWriteOptions o;
  o.bits = 32;
  FixedStringBuffer<260> tga(dir.WriteFile("s.tga", WriteTGA(5, 3, px, o)).c_str());
  Offscreen colour;
  Offscreen second;
  RenderImageFile(&bmp, &tga, &colour, &second, 0);
  ASSERT_TRUE(second.Exists());
  for (int y = 0; y < 3; y++) {
    for (int x = 0; x < 5; x++) EXPECT_EQ(At(second, x, y), uint8_t((y * 5 + x) * 10));
  }
}

TEST(RenderImageFile, SizeMismatchAndMissingTgaStop) {
  TestTempFolder dir;
  ScopedDebugCapture capture;
  FixedStringBuffer<260> bmp(dir.WriteFile("s.bmp", WriteBMP8(Indexed(6, 4))).c_str());
  FixedStringBuffer<260> taller(dir.WriteFile("t.tga", WriteTGA(6, 5, Pixels(6, 5, 255))).c_str());
  FixedStringBuffer<260> wider(dir.WriteFile("w.tga", WriteTGA(7, 4, Pixels(7, 4, 255))).c_str());
  FixedStringBuffer<260> missing((dir / "none.tga").c_str());
  Offscreen colour;
  Offscreen second;
  // Both files are named, with their sizes.
  EXPECT_EQ(Error([&] { RenderImageFile(&bmp, &taller, &colour, &second, 0); }),
            "bad bmp height: " + dir / "s.bmp" + " is 6 x 4 pixels, its TGA " + dir / "t.tga" +
                " 6 x 5; they must be the same size");
  colour.Dispose();
  EXPECT_EQ(Error([&] { RenderImageFile(&bmp, &wider, &colour, &second, 0); }),
            "bad bmp width: " + dir / "s.bmp" + " is 6 x 4 pixels, its TGA " + dir / "w.tga" +
                " 7 x 4; they must be the same size");
  colour.Dispose();
  const std::string e = Error([&] { RenderImageFile(&bmp, &missing, &colour, &second, 0); });
  EXPECT_EQ(e.rfind("could not open tga file : " + dir / "none.tga" + " : error #", 0), 0u) << e;
}

// An image whose file cannot hold the pixels its header declares is refused by its reader
// before a world of that size is made (a 118-byte TGA once declared 32767 x 32767 pixels and
// took gigabytes before it failed).
TEST(RenderImageFile, ImagesTooShortForTheirSizeAreRefusedBeforeAnyWorld) {
  TestTempFolder dir;
  ScopedDebugCapture capture;
  auto tga = [&](const char* name, uint8_t type, uint8_t depth) {
    TGAFields f;
    f.imageType = type;
    f.depth = depth;
    f.descriptor = depth == 32 ? 0x28 : 0x20;
    f.width = 2048;
    f.height = 2048;
    return dir.WriteFile(name, BuildTGA(f, std::vector<uint8_t>(100, 0x80)));
  };
  BMPFields f;
  f.width = 2048;
  f.height = 2048;
  f.colorsUsed = 2;
  const std::string bmp = dir.WriteFile("short.bmp", BuildBMP(f, {{0, 0, 255}, {9, 9, 9}}, std::vector<uint8_t>(100, 1)));
  const std::string kCut = " (the file is shorter than its header says: cut short, or not a TGA)";
  const struct {
    std::string tga;  // "" for a BMP alone
    std::string message;
  } cases[] = {
      {tga("rle.tga", 10, 32), "could not open tga file : " + dir / "rle.tga" + " : error #-48" + kCut},
      {tga("raw.tga", 2, 24), "could not open tga file : " + dir / "raw.tga" + " : error #-48" + kCut},
      {"", "couldn't open BMP file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    FixedStringBuffer<260> bmpPath(bmp.c_str());
    FixedStringBuffer<260> tgaPath(c.tga.c_str());
    Offscreen colour;
    Offscreen second;
    EXPECT_EQ(Error([&] { RenderImageFile(c.tga.empty() ? &bmpPath : nullptr, c.tga.empty() ? nullptr : &tgaPath, &colour, &second, 0); }),
              c.message);
    EXPECT_FALSE(colour.Exists());
    EXPECT_FALSE(second.Exists());
  }
}

TEST(RenderImageFile, NonEightBitPaletteFileLeavesTheTgaColours) {
  TestTempFolder dir;
  ScopedDebugCapture capture;
  BMPFields fields;
  fields.width = 4;
  fields.height = 2;
  fields.bitCount = 1;
  std::vector<TestRGB> two(2);
  two[1] = {255, 255, 255};
  FixedStringBuffer<260> bmp(dir.WriteFile("s.bmp", BuildBMP(fields, two, std::vector<uint8_t>(8, 0))).c_str());
  const std::vector<TestRGBA> px = Pixels(4, 2, 255);
  FixedStringBuffer<260> tga(dir.WriteFile("s.tga", WriteTGA(4, 2, px)).c_str());
  Offscreen colour;
  Offscreen second;
  RenderImageFile(&bmp, &tga, &colour, &second, 0);
  EXPECT_TRUE(capture.Saw("too many bits per pixel retrieving palette"));
  ASSERT_TRUE(colour.Exists());
  for (int y = 0; y < 2; y++) {
    for (int x = 0; x < 4; x++) {
      const TestRGBA& c = px[size_t(y) * 4 + x];
      EXPECT_EQ(At(colour, x, y), GetGlobalPalette()->FindColor(c.r, c.g, c.b));
    }
  }
}

// Worlds handed from image to image, as the sprite stage does with its sources, hold after
// each load exactly what new worlds would: pixels a run-length BMP leaves out are clear, not
// those of the image before; the padding of rows is zero; a 24-bit TGA leaves no second
// world; an image of another size gets worlds of its size.
TEST(RenderImageFile, ReusedWorldsHoldWhatNewWorldsHold) {
  TestTempFolder dir;
  ScopedDebugCapture capture;
  TGAWriteOptions deep;
  deep.bits = 32;
  // RLE8 rows that stop after two pixels of colour 9: the rest of each row is not written.
  auto shortRows = [](int w, int h) {
    BMPFields f;
    f.width = w;
    f.height = h;
    f.compression = 1;
    f.colorsUsed = 256;
    std::vector<uint8_t> data;
    for (int y = 0; y < h; y++) data.insert(data.end(), {2, 9, 0, 0});
    data.insert(data.end(), {0, 1});
    return BuildBMP(f, Palette(), data);
  };
  struct Image {
    const char* what;
    std::vector<uint8_t> bmp, tga;
  } images[] = {
      {"32-bit with a raw BMP", WriteBMP8(Indexed(7, 5)), WriteTGA(7, 5, Pixels(7, 5, 40), deep)},
      {"24-bit with a run-length BMP of short rows", shortRows(7, 5), WriteTGA(7, 5, Pixels(7, 5, 255))},
      {"32-bit with a raw BMP again", WriteBMP8(Indexed(7, 5)), WriteTGA(7, 5, Pixels(7, 5, 90), deep)},
      {"32-bit of another size", WriteBMP8(Indexed(9, 3)), WriteTGA(9, 3, Pixels(9, 3, 7), deep)},
  };
  Offscreen colour, second;
  for (size_t i = 0; i < sizeof images / sizeof images[0]; i++) {
    const Image& im = images[i];
    SCOPED_TRACE(im.what);
    FixedStringBuffer<260> bmp(dir.WriteFile("s" + std::to_string(i) + ".bmp", im.bmp).c_str());
    FixedStringBuffer<260> tga(dir.WriteFile("s" + std::to_string(i) + ".tga", im.tga).c_str());
    Offscreen newColour, newSecond;
    RenderImageFile(&bmp, &tga, &newColour, &newSecond, 0);
    RenderImageFile(&bmp, &tga, &colour, &second, 0);
    ASSERT_TRUE(colour.Exists());
    ASSERT_EQ(second.Exists(), newSecond.Exists());
    for (auto [reused, fresh] : {std::pair{&colour, &newColour}, std::pair{&second, &newSecond}}) {
      if (!fresh->Exists()) continue;
      int32_t w = 0, h = 0, fw = 0, fh = 0;
      reused->GetSize(w, h);
      fresh->GetSize(fw, fh);
      ASSERT_EQ(w, fw);
      ASSERT_EQ(h, fh);
      const int32_t padded = -reused->GetRowBytes();
      for (int y = 0; y < h; y++)
        for (int x = 0; x < padded; x++) {
          const uint8_t want = x < w ? At(*fresh, x, y) : 0;
          EXPECT_EQ(At(*reused, x, y), want) << "at " << x << "," << y;
        }
    }
  }
}

TEST(GetBMPColorCount, AnswersOnlyForEightBitFiles) {
  TestTempFolder dir;
  ScopedDebugCapture capture;
  BMPFields f;
  f.width = 2;
  f.height = 2;
  f.colorsUsed = 16;
  std::vector<TestRGB> table(16);
  const std::string eight = dir.WriteFile("8.bmp", BuildBMP(f, table, std::vector<uint8_t>(8, 0)));
  f.bitCount = 24;
  f.colorsUsed = 0;
  const std::string deep = dir.WriteFile("24.bmp", BuildBMP(f, {}, std::vector<uint8_t>(16, 0)));
  const std::string raw = dir.WriteFile("raw.bmp", WriteRawPalette(Palette()));
  const std::string tiny = dir.WriteFile("tiny.bmp", std::string("BM"));
  struct Case {
    std::string path;
    uint16_t answer;
    int32_t count;
    long position;
  } cases[] = {{eight, 1, 16, 54}, {deep, 0, 0, 0}, {raw, 0, 0, 0}, {tiny, 0, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    PlatformFile* file = PlatformFileOpen(c.path.c_str(), PlatformOpenMode::kReadExisting);
    ASSERT_NE(file, nullptr);
    int32_t count = -1;
    EXPECT_EQ(GetBMPColorCount(file, count), c.answer);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(PlatformFileTell(file), c.position);
    PlatformFileClose(file);
  }
  EXPECT_EQ(capture.Count("too many bits per pixel retrieving palette"), 1);

  // A read that fails leaves the stream where it was, as a file that is no BMP does.
  for (int32_t failing : {1, 2}) {
    SCOPED_TRACE(failing);
    PlatformFile* file = PlatformFileOpen(eight.c_str(), PlatformOpenMode::kReadExisting);
    ASSERT_NE(file, nullptr);
    PlatformFileResetFaults();
    PlatformFileFailAt(kPlatformFaultRead, failing);
    int32_t count = -1;
    EXPECT_EQ(GetBMPColorCount(file, count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(PlatformFileTell(file), 0);
    PlatformFileResetFaults();
    PlatformFileClose(file);
  }
}

TEST(MakeSpriteList, ColourAndDepthListIsMergedAndBigEndian) {
  ScopedDebugCapture capture;
  const MacRect bounds = {0, 0, 4, 8};
  Offscreen colour(bounds);
  Offscreen depth(bounds);
  for (int y = 0; y < 4; y++) {
    for (int x = 0; x < 8; x++) {
      colour.GetBaseAddr()[y * colour.GetRowBytes() + x] = (x == 0 && y == 0) ? 0 : uint8_t(40 + x);
      depth.GetBaseAddr()[y * depth.GetRowBytes() + x] = uint8_t(100 + y);
    }
  }
  const std::vector<MacRect> rects = {{0, 0, 4, 4}, {0, 4, 4, 8}};
  std::vector<MacRect> trimmed;
  MHandle* list = MakeSpriteList(&colour, &depth, rects, trimmed, 15, 9, 1);
  ASSERT_NE(list, nullptr);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(HLock(list));
  const size_t size = size_t(HGetSize(list));
  EXPECT_EQ(BE32(p), 503u);
  EXPECT_EQ(BE32(p + 4), 4u);
  EXPECT_EQ(BE32(p + 8), 9u);
  spritedec::SpriteListInfo info;
  std::string error;
  ASSERT_TRUE(spritedec::DecodeSpriteList(p, size, info, error, true)) << error;
  ASSERT_EQ(info.count, 4u);
  for (int i = 0; i < 4; i++) {
    spritedec::SprFrame f;
    ASSERT_TRUE(spritedec::DecodeSprFrame(p + info.frames[i].offset, info.frames[i].size, f, error, true)) << error;
    EXPECT_EQ(f.width, 4);
    EXPECT_EQ(f.height, 4);
  }
  HUnlock(list);
  HFree(list);
  ASSERT_EQ(trimmed.size(), 2u);
  EXPECT_EQ(trimmed[1].left, 4);

  std::vector<MacRect> again = trimmed;
  EXPECT_EQ(Error([&] { MakeSpriteList(&colour, &depth, rects, again, 15, 9, 1); }), "list already contains stuff");
  const std::vector<MacRect> past = {{0, 1, 4, 9}};
  std::vector<MacRect> none;
  EXPECT_EQ(Error([&] { MakeSpriteList(&colour, nullptr, past, none, 15, 9, 1); }),
            "tga file too small for some sprite position...did you export all frames?");
  EXPECT_EQ(Error([&] { TrimSprite2Frames(&depth, past, none, 15, 1); }),
            "tga file too small for some sprite position...did you export all frames?");
}

TEST(SwapSpriteListToBigEndian, SwapsHeaderOffsetsAndFrameHeads) {
  // {version, count, palette id}, two offsets, two 8-byte frame heads.
  std::vector<uint8_t> list(12 + 8 + 16, 0);
  const uint32_t head[5] = {502, 2, 7, 20, 28};
  memcpy(list.data(), head, sizeof head);
  const uint16_t frames[8] = {0, 0, 3, 4, 0, 0, 0x0102, 0x0304};
  memcpy(list.data() + 20, frames, sizeof frames);
  SwapSpriteListToBigEndian(list.data(), int32_t(list.size()));
  EXPECT_EQ(BE32(&list[0]), 502u);
  EXPECT_EQ(BE32(&list[4]), 2u);
  EXPECT_EQ(BE32(&list[8]), 7u);
  EXPECT_EQ(BE32(&list[12]), 20u);
  EXPECT_EQ(BE32(&list[16]), 28u);
  EXPECT_EQ(list[24], 0);
  EXPECT_EQ(list[25], 3);
  EXPECT_EQ(list[34], 0x03);
  EXPECT_EQ(list[35], 0x04);
  // The older layout has no palette id: offsets start at byte 8. A wild offset is left.
  std::vector<uint8_t> old(8 + 4, 0);
  const uint32_t oldHead[3] = {500, 1, 0x7FFFFFF0};
  memcpy(old.data(), oldHead, sizeof oldHead);
  SwapSpriteListToBigEndian(old.data(), int32_t(old.size()));
  EXPECT_EQ(BE32(&old[8]), 0x7FFFFFF0u);
}

TEST(ReadRectFile, RecordsAndErrors) {
  TestTempFolder dir;
  const std::string good = dir.WriteFile("good.txt", "12:\n1 2 30 40\n\n5 6 7 8\n300: next\n0 0 1 1\n");
  PtrList<RectRecord> records;
  ReadRectFile(good.c_str(), records);
  ASSERT_EQ(records.Count(), 2);
  EXPECT_EQ(records.Nth(0)->fSpriteId, 12);
  ASSERT_EQ(records.Nth(0)->fRects.size(), 2u);
  EXPECT_EQ(records.Nth(0)->fRects[0].left, 1);
  EXPECT_EQ(records.Nth(0)->fRects[0].top, 2);
  EXPECT_EQ(records.Nth(0)->fRects[0].right, 30);
  EXPECT_EQ(records.Nth(0)->fRects[0].bottom, 40);
  EXPECT_EQ(records.Nth(1)->fSpriteId, 300);
  DeleteAll(records);

  const struct {
    const char* text;
    const char* message;
    int line;
  } cases[] = {
      {"1 2 3 4\n", "expected id number", 1},
      {"7:\n1 2 3\n", "bad rectangle", 2},
      {"7:\n1 2 3 40000\n", "number out of range", 2},
      {"7:\n8:\n", "empty sprite list", 2},
      {"x7:\n", "could not read SPR# id number", 1},
      {"40000:\n", "number out of range", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = dir.WriteFile("bad.txt", c.text);
    PtrList<RectRecord> list;
    EXPECT_EQ(Error([&] { ReadRectFile(path.c_str(), list); }),
              std::string(c.message) + " in file " + path + " on line " + std::to_string(c.line));
    DeleteAll(list);
  }
  PtrList<RectRecord> none;
  EXPECT_EQ(Error([&] { ReadRectFile((dir / "missing.txt").c_str(), none); }),
            "could not open rect file : " + dir / "missing.txt" + " : error #-1");
}

TEST(CheckImageRendered, NeedsAColourWorld) {
  Offscreen none;
  EXPECT_EQ(Error([&] { CheckImageRendered(&none); }), "cant make walls without tga");
}

}  // namespace
