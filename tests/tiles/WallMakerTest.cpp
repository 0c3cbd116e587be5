// The wall, wall-style and wall-pattern makers: frame layouts, sprite ids, the -wall,
// -wallstyle and -wallpattern stages of the real morvik program and the "wall style" tags of
// -graphics, read back from the object file; and the makers' failures, which are printed, write
// nothing of the tile and end the build.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "MakeWalls.h"
#include "MemResFile.h"
#include "SpriteDecoders.h"
#include "TileTestSupport.h"
#include "TileTestWorlds.h"
#include "WallError.h"
#include "offscrn.h"

namespace {

constexpr uint32_t kPALT = 0x50414C54;

MacRect LTRB(int16_t l, int16_t t, int16_t r, int16_t b) { return MacRect{t, l, b, r}; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct DecodedList {
  spritedec::SpriteListInfo info;
  std::vector<spritedec::SprFrame> frames;
};

// Decodes a stored wall list (host order) and every frame of it.
DecodedList DecodeWallList(const StoredResource& resource) {
  DecodedList list;
  std::string error;
  EXPECT_TRUE(spritedec::DecodeSpriteList(resource.bytes.data(), resource.bytes.size(), list.info, error))
      << error;
  for (const spritedec::ListFrame& f : list.info.frames) {
    spritedec::SprFrame frame;
    EXPECT_TRUE(spritedec::DecodeSprFrame(resource.bytes.data() + f.offset, f.size, frame, error)) << error;
    list.frames.push_back(frame);
  }
  return list;
}

// True when every pixel of `frame` is `value` drawn (not clear).
bool AllColour(const spritedec::SprFrame& frame, uint8_t value) {
  for (const spritedec::SprPixel& p : frame.pixels) {
    if (p.kind != spritedec::SprKind::kColor || p.value != value) return false;
  }
  return !frame.pixels.empty();
}

bool AllClear(const spritedec::SprFrame& frame) {
  for (const spritedec::SprPixel& p : frame.pixels) {
    if (p.kind != spritedec::SprKind::kClear) return false;
  }
  return true;
}

}  // namespace

TEST(WallLayout, WallFramesByZoom) {
  const MacRect expected[3][5] = {
      {LTRB(817, 1, 849, 95), LTRB(817, 385, 849, 479), LTRB(851, 385, 883, 479), LTRB(817, 769, 849, 863),
       LTRB(851, 769, 883, 863)},
      {LTRB(546, 2, 610, 190), LTRB(546, 386, 610, 574), LTRB(614, 386, 678, 574), LTRB(546, 770, 610, 958),
       LTRB(614, 770, 678, 958)},
      {LTRB(4, 4, 132, 380), LTRB(4, 388, 132, 764), LTRB(140, 388, 268, 764), LTRB(4, 772, 132, 1148),
       LTRB(140, 772, 268, 1148)},
  };
  for (int zoom = 1; zoom <= 3; ++zoom) {
    MacRect rects[5];
    ASSERT_TRUE(GetWallRects(zoom, rects));
    for (int i = 0; i < 5; ++i) {
      const MacRect& e = expected[zoom - 1][i];
      EXPECT_TRUE(rects[i].top == e.top && rects[i].left == e.left && rects[i].bottom == e.bottom &&
                  rects[i].right == e.right)
          << "zoom " << zoom << " frame " << i;
    }
  }
  ScopedDebugCapture capture;
  MacRect untouched[5] = {};
  EXPECT_FALSE(GetWallRects(4, untouched));
  EXPECT_FALSE(GetWallStyleRects(0, false, untouched));
  EXPECT_EQ(capture.Count("bad scale"), 2);
  EXPECT_EQ(untouched[0].right, 0);
}

TEST(WallLayout, StyleFramesAndTransitionVariant) {
  MacRect rects[4];
  ASSERT_TRUE(GetWallStyleRects(2, false, rects));
  EXPECT_EQ(rects[0].left, 372);
  EXPECT_EQ(rects[0].bottom, 155);
  EXPECT_EQ(rects[3].top, 55);
  ASSERT_TRUE(GetWallStyleRects(3, true, rects));
  EXPECT_EQ(rects[2].right, 296);
  EXPECT_EQ(rects[3].top, 22);
  EXPECT_EQ(rects[3].bottom, 295);
  ASSERT_TRUE(GetWallStyleRects(1, true, rects));
  EXPECT_EQ(rects[3].left, 648);
  EXPECT_EQ(rects[3].bottom, 92);
}

TEST(WallIds, RulesAndRangeChecks) {
  EXPECT_EQ(WallSpriteId(3, 2, 1), 170);
  EXPECT_EQ(WallSpriteId(1, 1, 0), 129);
  EXPECT_EQ(WallStyleSpriteId(5, 1, 1), 11);
  EXPECT_EQ(WallStyleSpriteId(5, 2, 1), 523);
  EXPECT_EQ(WallStyleSpriteId(5, 3, 1), 1035);
  EXPECT_EQ(WallStyleTagSpriteId(300, 3, 1), 305);
  EXPECT_EQ(WallPatternSpriteId(7, 1), 1543);
  EXPECT_EQ(WallPatternSpriteId(7, 3), 2055);

  ScopedDebugCapture capture;
  EXPECT_EQ(WallStyleSpriteId(22, 1, 0), 44);  // reported, then used unchanged
  EXPECT_TRUE(capture.Saw("can't get id for custom style!"));
  WallStyleSpriteId(256, 1, 0);
  EXPECT_TRUE(capture.Saw("Style out of range"));
  WallStyleSpriteId(1, 4, 0);
  WallPatternSpriteId(1, 0);
  WallStyleTagSpriteId(1, 9, 0);
  EXPECT_EQ(capture.Count("zoom out of range (1,2 or 3, please)"), 3);
  WallStyleTagSpriteId(1, 1, 2);
  EXPECT_TRUE(capture.Saw("cutaway out of range (0 or 1, please)"));
  WallPatternSpriteId(-1, 1);
  EXPECT_TRUE(capture.Saw("Pattern out of range"));
}

namespace {

constexpr int32_t kWallWidth = 884;
constexpr int32_t kWallHeight = 1152;

// A wall sheet: background index 0; the large frame 0 drawn in index 7 from row 100 down, with
// depth 40 there and 255 (clear) elsewhere.
void WriteWallImages(const TestTempFolder& folder, int tgaBits) {
  TestImage8 colours = FilledImage8(kWallWidth, kWallHeight, 0);
  FillRect8(colours, 4, 100, 132, 380, 7);
  folder.WriteFile("w.bmp", WriteBMP8(colours));
  std::vector<TestRGBA> tga = FilledRGBA(kWallWidth, kWallHeight, TestRGBA{10, 10, 10, 255});
  FillRectRGBA(tga, kWallWidth, 4, 100, 132, 380, TestRGBA{10, 10, 10, 40});
  TGAWriteOptions options;
  options.bits = tgaBits;
  folder.WriteFile("w.tga", WriteTGA(kWallWidth, kWallHeight, tga, options));
}

}  // namespace

TEST(WallStage, MorvikMakesTrimmedColourAndDepthFrames) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "walls.iff");
  WriteWallImages(folder, 32);
  TileRun run = RunMorvikIn(folder, {"walls.iff", "-wall", "w.tga", "w.bmp", "3c"});
  ASSERT_EQ(run.code, 0) << run.err;

  EXPECT_EQ(ResourceIds(dest, kSprType), (std::vector<uint16_t>{169, 170, 171}));
  EXPECT_TRUE(ResourceIds(dest, kPALT).empty());
  StoredResource large = ReadStoredResource(dest, kSprType, 171);
  ASSERT_TRUE(large.found);
  EXPECT_TRUE(large.native);
  EXPECT_EQ(large.name, "");
  DecodedList list = DecodeWallList(large);
  EXPECT_EQ(list.info.version, 503u);
  EXPECT_EQ(list.info.paletteId, 0xFFFFFFFFu);
  ASSERT_EQ(list.frames.size(), 10u);
  // Frame 0 lost its clear rows at the top: 128 x 280 of colour 7, and depth 40 behind it.
  EXPECT_EQ(list.frames[0].width, 128);
  EXPECT_EQ(list.frames[0].height, 280);
  EXPECT_TRUE(AllColour(list.frames[0], 7));
  EXPECT_EQ(list.frames[5].height, 280);
  EXPECT_TRUE(AllColour(list.frames[5], 40));
  // An empty frame keeps its rectangle and is all clear.
  EXPECT_EQ(list.frames[2].width, 128);
  EXPECT_EQ(list.frames[2].height, 376);
  EXPECT_TRUE(AllClear(list.frames[2]));

  DecodedList small = DecodeWallList(ReadStoredResource(dest, kSprType, 169));
  ASSERT_EQ(small.frames.size(), 10u);
  EXPECT_EQ(small.frames[0].width, 32);
  EXPECT_EQ(small.frames[0].height, 94);
}

TEST(WallStage, WithoutDepthTheListsHoldColourFramesOnly) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "walls.iff");
  WriteWallImages(folder, 24);
  TileRun run = RunMorvikIn(folder, {"walls.iff", "-wall", "w.tga", "w.bmp", "1"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ResourceIds(dest, kSprType), (std::vector<uint16_t>{129, 130, 131}));
  DecodedList list = DecodeWallList(ReadStoredResource(dest, kSprType, 131));
  EXPECT_EQ(list.info.version, 502u);
  ASSERT_EQ(list.frames.size(), 5u);
  EXPECT_TRUE(AllColour(list.frames[0], 7));
}

TEST(WallStage, AMissingImageEndsTheBuild) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "walls.iff");
  WriteWallImages(folder, 32);
  TileRun missing = RunMorvikIn(folder, {"walls.iff", "-wall", "none.tga", "w.bmp", "1"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_TRUE(Contains(missing.err, "fatal error: could not open tga file : none.tga : error #")) << missing.err;
  EXPECT_TRUE(ResourceIds(dest, kSprType).empty());
}

namespace {

constexpr int32_t kStyleWidth = 656;
constexpr int32_t kStyleHeight = 320;

// A style sheet: alpha 255 (clear) but for the top 34 rows of the large frame 0.
std::vector<uint8_t> StyleTGA(int bits) {
  std::vector<TestRGBA> tga = FilledRGBA(kStyleWidth, kStyleHeight, TestRGBA{200, 0, 0, 255});
  FillRectRGBA(tga, kStyleWidth, 13, 16, 77, 50, TestRGBA{200, 0, 0, 90});
  TGAWriteOptions options;
  options.bits = bits;
  return WriteTGA(kStyleWidth, kStyleHeight, tga, options);
}

}  // namespace

TEST(WallStyleStage, MorvikMakesNamedMaskSprites) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "styles.iff");
  folder.WriteFile("s.tga", StyleTGA(32));
  TileRun run = RunMorvikIn(folder, {"-wallstyle", "5c", "s.tga", "styles.iff"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "5:1:1(11)\n5:2:1(523)\n5:3:1(1035)\n")) << run.out;
  EXPECT_EQ(ResourceIds(dest, kSprType), (std::vector<uint16_t>{11, 523, 1035}));

  StoredResource large = ReadStoredResource(dest, kSprType, 1035);
  EXPECT_EQ(large.name, "5:3:1(1035)");
  EXPECT_TRUE(large.native);
  DecodedList list = DecodeWallList(large);
  EXPECT_EQ(list.info.version, 504u);
  EXPECT_EQ(list.info.paletteId, 0xFFFFFFFFu);
  ASSERT_EQ(list.frames.size(), 4u);
  // Untrimmed: the whole 64 x 271 frame, its top 34 rows drawn in colour 0.
  const spritedec::SprFrame& f = list.frames[0];
  ASSERT_EQ(f.width, 64);
  ASSERT_EQ(f.height, 271);
  EXPECT_EQ(f.At(0, 0), (spritedec::SprPixel{spritedec::SprKind::kColor, 0}));
  EXPECT_EQ(f.At(63, 33), (spritedec::SprPixel{spritedec::SprKind::kColor, 0}));
  EXPECT_EQ(f.At(0, 34).kind, spritedec::SprKind::kClear);
  EXPECT_EQ(list.frames[3].height, 232);
}

TEST(WallStyleStage, TransitionStyleAndAnImageWithoutAlpha) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "styles.iff");
  folder.WriteFile("s.tga", StyleTGA(32));
  folder.WriteFile("flat.tga", StyleTGA(24));
  TileRun run = RunMorvikIn(folder, {"-wallstyle", "9", "s.tga", "styles.iff"});
  ASSERT_EQ(run.code, 0) << run.err;
  DecodedList list = DecodeWallList(ReadStoredResource(dest, kSprType, WallStyleSpriteId(9, 3, 0)));
  ASSERT_EQ(list.frames.size(), 4u);
  EXPECT_EQ(list.frames[3].height, 273);

  // No alpha channel, no style: the maker says so and writes nothing; the build fails.
  TileRun flat = RunMorvikIn(folder, {"-wallstyle", "4", "flat.tga", "styles.iff"});
  EXPECT_EQ(flat.code, 1);
  EXPECT_TRUE(Contains(flat.err, "wall style image has no alpha channel : 0\n")) << flat.err;
  EXPECT_EQ(ResourceIds(dest, kSprType).size(), 3u);
}

TEST(WallPatternStage, MorvikMakesPatternSpritesAndTheirPalette) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "patterns.iff");
  TestImage8 image = FilledImage8(kStyleWidth, kStyleHeight, 0);
  FillRect8(image, 444, 20, 508, 140, 9);
  folder.WriteFile("p.bmp", WriteBMP8(image));
  TileRun run = RunMorvikIn(folder, {"-wallpattern", "7", "p.bmp", "patterns.iff"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "7:1(1543)\n7:2(1799)\n7:3(2055)\n")) << run.out;
  EXPECT_EQ(ResourceIds(dest, kSprType), (std::vector<uint16_t>{1543, 1799, 2055}));

  StoredResource middle = ReadStoredResource(dest, kSprType, 1799);
  EXPECT_EQ(middle.name, "7:2(1799)");
  DecodedList list = DecodeWallList(middle);
  EXPECT_EQ(list.info.version, 504u);
  EXPECT_EQ(list.info.paletteId, 1543u);
  ASSERT_EQ(list.frames.size(), 4u);
  EXPECT_EQ(list.frames[2].width, 64);
  EXPECT_EQ(list.frames[2].height, 120);
  EXPECT_TRUE(AllColour(list.frames[2], 9));
  EXPECT_TRUE(AllClear(list.frames[0]));

  StoredResource palette = ReadStoredResource(dest, kPALT, 1543);
  ASSERT_TRUE(palette.found);
  EXPECT_EQ(palette.bytes.size(), 784u);
  EXPECT_FALSE(palette.native);
  EXPECT_EQ(palette.name, "");
}

TEST(WallPatternStage, TransitionPattern) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "patterns.iff");
  folder.WriteFile("p.bmp", WriteBMP8(FilledImage8(kStyleWidth, kStyleHeight, 3)));
  TileRun run = RunMorvikIn(folder, {"-wallpattern", "252", "p.bmp", "patterns.iff"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "Doing transition left pattern")) << run.err;
  DecodedList list = DecodeWallList(ReadStoredResource(dest, kSprType, WallPatternSpriteId(252, 3)));
  ASSERT_EQ(list.frames.size(), 4u);
  EXPECT_EQ(list.frames[3].height, 273);
}

TEST(WallStyleTags, GraphicsStageMakesNormalAndCutawaySprites) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "obj.iff");
  folder.MakeFolder("art");
  folder.WriteFile("art/s.tga", StyleTGA(32));
  folder.WriteFile("art/c.tga", StyleTGA(32));
  folder.WriteFile("obj.omk",
                   "<\"wall style\" id=300 name=brick tgafile=s.tga>\n"
                   "<\"wall style\" id=400 tgafile=s.tga \"cutaway tgafile\"=c.tga>\n");
  TileRun run = RunMorvikIn(folder, {"obj.iff", "-spec", "obj.omk", "-graphics", "art/"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ResourceIds(dest, kSprType).size(), 9u);
  for (uint16_t id : {300, 301, 302, 400, 401, 402, 403, 404, 405}) {
    EXPECT_TRUE(ReadStoredResource(dest, kSprType, id).found) << id;
  }
  EXPECT_EQ(ReadStoredResource(dest, kSprType, 301).name, "brick 300:2:0(301)");
  EXPECT_EQ(ReadStoredResource(dest, kSprType, 405).name, " 400:3:1(405)");
  // The last tag comes first.
  EXPECT_LT(run.out.find(" 400:1:0(400)\n"), run.out.find("brick 300:1:0(300)\n")) << run.out;
  DecodedList list = DecodeWallList(ReadStoredResource(dest, kSprType, 302));
  EXPECT_EQ(list.info.version, 504u);
}

TEST(WallStyleTags, MissingImageEndsTheBuild) {
  TestTempFolder folder;
  MakeEmptyObjectFile(folder, "obj.iff");
  folder.WriteFile("obj.omk", "<\"wall style\" id=300 tgafile=none.tga>\n");
  TileRun run = RunMorvikIn(folder, {"obj.iff", "-spec", "obj.omk", "-graphics", "./"});
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Contains(run.err, "fatal error: could not open tga file")) << run.err;
}

TEST(WallStyleTags, ATagWhoseStyleIsNotMadeEndsTheBuild) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "obj.iff");
  // Too narrow for the small pieces: the tag's style is not made, and none of its zooms written.
  TGAWriteOptions options;
  options.bits = 32;
  folder.WriteFile("narrow.tga", WriteTGA(600, 330, FilledRGBA(600, 330, TestRGBA{1, 2, 3, 90}), options));
  folder.WriteFile("obj.omk", "<\"wall style\" id=300 tgafile=narrow.tga>\n");
  TileRun run = RunMorvikIn(folder, {"obj.iff", "-spec", "obj.omk", "-graphics", "./"});
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Contains(run.err, "image too small for the wall style pieces : 1\n")) << run.err;
  EXPECT_TRUE(Contains(run.err, "fatal error: wall style tag 300 not made, nothing written\n")) << run.err;
  EXPECT_TRUE(ResourceIds(dest, kSprType).empty());
}

namespace {

// A colour world of the wall sheet's size, all index 5 but a clear top-left pixel.
struct WallWorlds {
  Offscreen colour;
  Offscreen depth;
  WallWorlds() {
    colour.Create(MacRect{0, 0, kWallHeight, kWallWidth});
    const int32_t step = colour.GetRowBytes();
    for (int32_t y = 0; y < kWallHeight; ++y) {
      std::memset(colour.GetBaseAddr() + int64_t(y) * step, 5, kWallWidth);
    }
    colour.GetBaseAddr()[0] = 0;
  }
};

}  // namespace

TEST(WallMakers, FailuresArePrintedAndNothingIsKept) {
  ScopedDebugCapture quiet;
  WallWorlds worlds;
  {
    // The file refuses the add: the list goes back to the heap, the maker stops.
    MemResFile file;
    file.SetReadOnly(true);
    testing::internal::CaptureStderr();
    MakeWall(&worlds.colour, &worlds.depth, 2, 0, &file);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("could not add sprites : "), 0u) << err;
    EXPECT_EQ(err.find("could not add sprites", 1), std::string::npos) << err;
    EXPECT_EQ(file.HeldCount(), 0);
  }
  {
    MemResFile file;
    file.SetWriteError(-37);
    testing::internal::CaptureStderr();
    MakeWallPattern(&worlds.colour, 3, &file);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "could not add write sprites : -37\n");
  }
  {
    // A style world that does not exist makes no sprites.
    MemResFile file;
    Offscreen none;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    MakeWallStyleSprites(&none, &none, &file, 300, FixedStringBuffer<8>("x"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(file.WriteCount(), 0);
  }
}

TEST(WallMakers, AnImageTooSmallForAZoomWritesNothing) {
  // Pieces outside the image would be cut from pixels that are not there (empty frames); a
  // tile with a zoom missing is not made, and the zooms that could be made are not written.
  ScopedDebugCapture quiet;
  const struct {
    const char* maker;
    int16_t width, height;
    const char* err;
  } cases[] = {
      // Only the large wall pieces (left of x 268, above y 1148) are inside.
      {"wall", 300, 1150, "image too small for the wall pieces : 1\nimage too small for the wall pieces : 2\n"},
      // The small style and pattern pieces reach x 652.
      {"style", 600, 330, "image too small for the wall style pieces : 1\n"},
      {"tag", 600, 330, "image too small for the wall style pieces : 1\n"},
      {"pattern", 600, 330, "image too small for the wall pattern pieces : 1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.maker);
    Offscreen world;
    ASSERT_TRUE(world.Create(MacRect{0, 0, c.height, c.width}));
    for (int32_t y = 0; y < c.height; ++y) std::memset(world.GetBaseAddr() + int64_t(y) * world.GetRowBytes(), 5, size_t(c.width));
    Offscreen none;
    MemResFile file;
    const int before = LiveHandleCount();
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const std::string maker = c.maker;
    int32_t result = -1;
    if (maker == "wall") result = MakeWall(&world, &none, 2, 0, &file);
    if (maker == "style") result = MakeWallStyle(&world, 5, 0, &file);
    if (maker == "tag") result = MakeWallStyleSprites(&world, &none, &file, 300, FixedStringBuffer<8>("t"));
    if (maker == "pattern") result = MakeWallPattern(&world, 7, &file);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    EXPECT_EQ(result, kTileNotMade);
    EXPECT_EQ(file.CountTypes(), 0);  // no zoom's sprites, no pattern palette
    EXPECT_EQ(LiveHandleCount(), before);  // the lists made were freed
  }
}

TEST(WallMakers, CustomStyleIsReportedAndStillWritten) {
  ScopedDebugCapture capture;
  WallWorlds worlds;
  MemResFile file;
  testing::internal::CaptureStdout();
  MakeWallStyle(&worlds.colour, kCustomWindowStyle, 0, &file);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "22:1:0(44)\n22:2:0(556)\n22:3:0(1068)\n");
  EXPECT_EQ(capture.Count("can't get id for custom style!"), 3);
  EXPECT_TRUE(file.GetStored(kSprType, 1068, nullptr));
}

TEST(WallStages, NumbersThatWouldWriteOverOtherSpritesAreRefused) {
  TestTempFolder folder;
  const std::string dest = MakeEmptyObjectFile(folder, "obj.iff");
  folder.WriteFile("s.tga", StyleTGA(32));
  folder.WriteFile("p.bmp", WriteBMP8(FilledImage8(kStyleWidth, kStyleHeight, 3)));
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"obj.iff", "-wall", "s.tga", "p.bmp", "256"}, "fatal error: wall style out of range (1 to 255)"},
      {{"-wallstyle", "300", "s.tga", "obj.iff"}, "fatal error: wall style out of range (0 to 255)"},
      {{"-wallpattern", "256", "p.bmp", "obj.iff"}, "fatal error: wall pattern out of range (0 to 255)"},
  };
  for (const auto& c : cases) {
    TileRun run = RunMorvikIn(folder, c.args);
    EXPECT_EQ(run.code, 1) << c.message;
    EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
  }
  EXPECT_TRUE(ResourceIds(dest, kSprType).empty());
}
