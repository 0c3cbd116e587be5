// The floor, water and thick-wall stages end to end: the real morvik program cuts images made
// here into an object file, which the tests open again and check resource by resource.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "MakeThickWalls.h"
#include "TileTestSupport.h"
#include "TileTestWorlds.h"

namespace {

const uint32_t kSPR2 = 0x53505232;
const uint32_t kSPR = 0x53505223;
const uint32_t kPALT = 0x50414C54;

// An object file that a run of morvik left, read back resource by resource.
struct TileObjectFile {
  explicit TileObjectFile(std::string p) : path(std::move(p)) {}
  // The bytes of a resource, or empty when it is missing; its name and order flag.
  std::vector<uint8_t> Get(uint32_t type, uint16_t id, std::string* name = nullptr, bool* native = nullptr) const {
    StoredResource r = ReadStoredResource(path, type, id);
    if (name != nullptr) *name = r.name;
    if (native != nullptr) *native = r.native;
    return r.bytes;
  }
  size_t Count(uint32_t type) const { return ResourceIds(path, type).size(); }
  std::string path;
};

// The palette record holds `palette`: 16 bytes of header, then red, green, blue per entry.
void ExpectPalette(const std::vector<uint8_t>& record, const std::vector<TestRGB>& palette) {
  ASSERT_EQ(record.size(), 784u);
  int wrong = 0;
  for (int i = 0; i < 256; i++) {
    const uint8_t* c = &record[16 + 3 * i];
    if (c[0] != palette[i].r || c[1] != palette[i].g || c[2] != palette[i].b) wrong++;
  }
  EXPECT_EQ(wrong, 0);
}

spritedec::SpriteListInfo ListOf(const std::vector<uint8_t>& bytes) {
  spritedec::SpriteListInfo list;
  std::string error;
  EXPECT_TRUE(spritedec::DecodeSpriteList(bytes.data(), bytes.size(), list, error)) << error;
  return list;
}

spritedec::Spr2Frame Spr2FrameOf(const std::vector<uint8_t>& bytes, const spritedec::ListFrame& at) {
  spritedec::Spr2Frame frame;
  std::string error;
  EXPECT_TRUE(spritedec::DecodeSpr2Frame(bytes.data() + at.offset, at.size, frame, error)) << error;
  return frame;
}

class FloorStages : public ::testing::Test {
 protected:
  TestTempFolder dir;
};

TEST_F(FloorStages, EachFloorKindWritesItsIdsAndPalette) {
  const struct {
    const char* option;
    const char* id;
    uint16_t ids[3];
    uint32_t paletteId;
    bool palette;
  } cases[] = {
      {"-floor", "5", {5, 261, 517}, 5, true},
      {"-floorshadow", "3", {771, 803, 835}, 1, false},
      {"-pooltile", "2", {1026, 1042, 1058}, 1026, true},
      {"-pooltile", "17", {1073, 1077, 1081}, 1073, true},
  };
  const TileImage image = FloorImage(226, 65);
  const std::vector<TestRGB> palette = TilePalette(3);
  dir.WriteFile("floor.bmp", TileBmp(image, palette));
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.id);
    const std::string obj = MakeEmptyObjectFile(dir, std::string(c.option + 1) + c.id + ".iff");
    const TileRun run = RunMorvikIn(dir, {c.option, c.id, dir / "floor.bmp", obj});
    EXPECT_EQ(run.code, 0) << run.err;
    TileObjectFile file(obj);
    EXPECT_EQ(file.Count(kSPR2), 3u);
    for (int zoom = 1; zoom <= 3; zoom++) {
      std::string name = "?";
      bool native = false;
      const std::vector<uint8_t> bytes = file.Get(kSPR2, c.ids[zoom - 1], &name, &native);
      ASSERT_FALSE(bytes.empty()) << zoom;
      EXPECT_EQ(name, "");
      EXPECT_TRUE(native);
      const spritedec::SpriteListInfo list = ListOf(bytes);
      EXPECT_EQ(list.version, 1000u);
      ASSERT_EQ(list.count, 1u);
      EXPECT_EQ(list.paletteId, c.paletteId);
      const spritedec::Spr2Frame frame = Spr2FrameOf(bytes, list.frames[0]);
      EXPECT_EQ(frame.paletteId, c.paletteId);
      ExpectFloorFrame(image, zoom, frame);
    }
    if (c.palette) {
      ExpectPalette(file.Get(kPALT, uint16_t(c.paletteId)), palette);
    } else {
      EXPECT_EQ(file.Count(kPALT), 0u);
    }
  }
}

TEST_F(FloorStages, FloorFailuresAreReportedAndWriteNothingWrong) {
  dir.WriteFile("floor.bmp", TileBmp(FloorImage(226, 65), TilePalette()));
  {
    const std::string obj = MakeEmptyObjectFile(dir, "shadow.iff");
    const TileRun run = RunMorvikIn(dir, {"-floorshadow", "40", "floor.bmp", obj});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("shadow id out of range : 40\n"), std::string::npos) << run.err;
    EXPECT_EQ(TileObjectFile(obj).Count(kSPR2), 0u);
  }
  {
    const std::string obj = MakeEmptyObjectFile(dir, "missing.iff");
    const TileRun run = RunMorvikIn(dir, {"-floor", "5", "nothere.bmp", obj});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("fatal error: could not open BMP file nothere.bmp\n"), std::string::npos) << run.err;
  }
  {
    const std::string obj = MakeEmptyObjectFile(dir, "readonly.iff");
    ASSERT_EQ(chmod(obj.c_str(), 0444), 0);
    const TileRun run = RunMorvikIn(dir, {"-pooltile", "3", "floor.bmp", obj});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("fatal error: object file " + obj + " is read-only\n"), std::string::npos) << run.err;
  }
}

// The water images: an 8-bit BMP of the floor image and a 32-bit TGA whose alpha is the depth.
void WriteWaterImages(const TestTempFolder& dir, const char* stem, const TileImage& image,
                      const std::vector<uint8_t>& depth, bool withAlpha = true) {
  const std::vector<TestRGB> palette = TilePalette(5);
  dir.WriteFile(std::string(stem) + ".bmp", TileBmp(image, palette));
  dir.WriteFile(std::string(stem) + ".tga", TileTga(image, palette, withAlpha ? &depth : nullptr));
}

TEST_F(FloorStages, WaterTileHasThreeUntrimmedFramesDrawnEverywhere) {
  const TileImage image = FloorImage(226, 65);
  // Depth 255 (nothing) over half of the image, a gradient over the rest.
  std::vector<uint8_t> depth(image.index.size());
  for (size_t i = 0; i < depth.size(); i++) depth[i] = (i / 7) % 2 ? 255 : uint8_t(i % 200);
  WriteWaterImages(dir, "04", image, depth);
  const std::string obj = MakeEmptyObjectFile(dir, "obj.iff");
  const TileRun run = RunMorvikIn(dir, {"-watertile", "4", obj});
  ASSERT_EQ(run.code, 0) << run.err;

  TileObjectFile file(obj);
  std::string name;
  bool native = true;
  const std::vector<uint8_t> bytes = file.Get(kSPR2, 2052, &name, &native);
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(name, "04.tga");
  EXPECT_FALSE(native);
  const spritedec::SpriteListInfo list = ListOf(bytes);
  EXPECT_EQ(list.version, 1000u);
  EXPECT_EQ(list.paletteId, 2052u);
  ASSERT_EQ(list.count, 3u);
  EXPECT_EQ(list.frames[0].offset, 24u);
  for (int i = 0; i < 3; i++) {
    const int zoom = 3 - i;
    MacRect r = {0, 0, 0, 0};
    FloorTileRect(r, zoom);
    const spritedec::Spr2Frame frame = Spr2FrameOf(bytes, list.frames[i]);
    EXPECT_EQ(frame.width, r.right - r.left);
    EXPECT_EQ(frame.height, r.bottom - r.top);
    EXPECT_EQ(frame.flags, spritedec::kColorData | spritedec::kZData);
    int wrong = 0;
    for (int y = 0; y < frame.height; y++) {
      for (int x = 0; x < frame.width; x++) {
        const size_t at = size_t(r.top + y) * image.width + r.left + x;
        const uint8_t z = depth[at] == 255 ? 254 : depth[at];
        const spritedec::Spr2Pixel& p = frame.At(x, y);
        if (!p.visible || p.colour != image.index[at] || p.z != z) wrong++;
      }
    }
    EXPECT_EQ(wrong, 0) << "zoom " << zoom;
  }
  ExpectPalette(file.Get(kPALT, 2052), TilePalette(5));
}

TEST_F(FloorStages, WaterTileFailuresEndTheBuild) {
  const TileImage image = FloorImage(226, 65);
  const std::vector<uint8_t> depth(image.index.size(), 100);
  WriteWaterImages(dir, "16", image, depth);
  WriteWaterImages(dir, "05", image, depth, false);
  WriteWaterImages(dir, "06", FloorImage(200, 65), std::vector<uint8_t>(200 * 65, 100));
  WriteWaterImages(dir, "07", image, depth);
  dir.WriteFile("09.bmp", TileBmp(image, TilePalette()));
  const std::string readOnly = MakeEmptyObjectFile(dir, "readonly.iff");
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  const struct {
    const char* id;
    const char* obj;
    const char* message;
  } cases[] = {
      {"16", "a.iff", "water tile id out-of-range"},
      {"5", "b.iff", "water tile tga has no alpha channel for depth"},
      {"6", "c.iff", "tga file too small for some sprite position...did you export all frames?"},
      {"7", nullptr, "could not add sprites"},
      {"8", "d.iff", "BMP file 08.bmp required.  Could not obtain palette.\n"},
      {"9", "e.iff", "could not open tga file : 09.tga : error #"},
  };
  for (const auto& c : cases) {
    const std::string obj = c.obj != nullptr ? MakeEmptyObjectFile(dir, c.obj) : readOnly;
    const TileRun run = RunMorvikIn(dir, {"-watertile", c.id, obj});
    EXPECT_EQ(run.code, 1) << c.id;
    EXPECT_NE(run.err.find(std::string("fatal error: ") + c.message), std::string::npos) << run.err;
    EXPECT_EQ(TileObjectFile(obj).Count(kSPR2), 0u) << c.id;
  }
}

// ---- Thick walls ------------------------------------------------------------------------------

// An image of `scale`'s pieces, each a block of colour within a clear border of 1.
TileImage ThickImage(int scale) {
  MacRect rects[kThickWallPieceCount];
  ThickWallPieceRects(rects, scale);
  const int k = 1 << (scale - 1);
  TileImage image(286 * k, 393 * k);
  for (int i = 0; i < kThickWallPieceCount; i++) image.FillBlock(rects[i], 1, i);
  return image;
}

// The first piece of an SPR# list in host order shows the image at `rect`.
void ExpectFirstPiece(const std::vector<uint8_t>& bytes, const TileImage& image, const MacRect& rect,
                      const std::vector<uint8_t>* values = nullptr) {
  const spritedec::SpriteListInfo list = ListOf(bytes);
  ASSERT_EQ(list.count, uint32_t(kThickWallPieceCount));
  spritedec::SprFrame frame;
  std::string error;
  ASSERT_TRUE(spritedec::DecodeSprFrame(bytes.data() + list.frames[0].offset, list.frames[0].size, frame, error))
      << error;
  ASSERT_EQ(frame.width, rect.right - rect.left);
  ASSERT_EQ(frame.height, rect.bottom - rect.top);
  const std::vector<int> got = spritedec::SprToIndices(frame, spritedec::SprColours{});
  int wrong = 0;
  for (int y = 0; y < frame.height; y++) {
    for (int x = 0; x < frame.width; x++) {
      const size_t at = size_t(rect.top + y) * image.width + rect.left + x;
      const int want = image.index[at] == 0 ? -1 : values ? (*values)[at] : image.index[at];
      if (got[size_t(y) * frame.width + x] != want) wrong++;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(FloorStages, ThickWallsOfEveryScaleShareOnePalette) {
  const std::string obj = MakeEmptyObjectFile(dir, "obj.iff");
  for (int scale = 1; scale <= 3; scale++) {
    dir.WriteFile("thick.bmp", TileBmp(ThickImage(scale), TilePalette(10 * scale)));
    const TileRun run = RunMorvikIn(dir, {"-thickwalls", std::to_string(scale), "thick.bmp", obj});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("Making thickwalls at " + std::to_string(scale) + " from thick.bmp\n"),
              std::string::npos);
  }
  TileObjectFile file(obj);
  EXPECT_EQ(file.Count(kSPR), 3u);
  EXPECT_EQ(file.Count(kPALT), 1u);
  ExpectPalette(file.Get(kPALT, 4096), TilePalette(30));
  const std::vector<uint8_t> medium = file.Get(kSPR, 4097);
  EXPECT_EQ(ListOf(medium).version, 502u);
  EXPECT_EQ(ListOf(medium).paletteId, 4096u);
  ExpectFirstPiece(medium, ThickImage(2), MacRect{4, 76, 36, 140});
}

TEST_F(FloorStages, ThickCutawayWritesColourPaletteAndAlphaLists) {
  const TileImage image = ThickImage(3);
  std::vector<uint8_t> alpha(image.index.size());
  for (size_t i = 0; i < alpha.size(); i++) alpha[i] = image.index[i] == 0 ? 255 : uint8_t(1 + i % 150);
  const std::vector<TestRGB> palette = TilePalette(7);
  dir.WriteFile("cut.bmp", TileBmp(image, palette));
  dir.WriteFile("cut.tga", TileTga(image, palette, &alpha));
  const std::string obj = MakeEmptyObjectFile(dir, "obj.iff");
  const TileRun run = RunMorvikIn(dir, {"-thickcutaway", "3", "cut.bmp", "cut.tga", obj});
  ASSERT_EQ(run.code, 0) << run.err;

  TileObjectFile file(obj);
  const MacRect first = {8, 152, 72, 280};
  const std::vector<uint8_t> colour = file.Get(kSPR, 5122);
  EXPECT_EQ(ListOf(colour).version, 502u);
  EXPECT_EQ(ListOf(colour).paletteId, 5120u);
  ExpectFirstPiece(colour, image, first);
  ExpectPalette(file.Get(kPALT, 5120), palette);
  const std::vector<uint8_t> alphaList = file.Get(kSPR, 6146);
  EXPECT_EQ(ListOf(alphaList).version, 505u);
  EXPECT_EQ(ListOf(alphaList).paletteId, 0xFFFFFFFFu);
  ExpectFirstPiece(alphaList, image, first, &alpha);
  EXPECT_EQ(file.Count(kSPR), 2u);
}

TEST_F(FloorStages, ThickCutawayNeedsItsPaletteBmp) {
  const TileImage image = ThickImage(1);
  dir.WriteFile("cut.tga", TileTga(image, TilePalette(), nullptr));
  const std::string obj = MakeEmptyObjectFile(dir, "obj.iff");
  const TileRun run = RunMorvikIn(dir, {"-thickcutaway", "1", "cut.bmp", "cut.tga", obj});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("fatal error: BMP file cut.bmp required.  Could not obtain palette.\n"),
            std::string::npos) << run.err;
  EXPECT_EQ(TileObjectFile(obj).Count(kSPR), 0u);
}

TEST_F(FloorStages, ThickWallsRefuseABadScaleAndNeedNoWritableFile) {
  dir.WriteFile("thick.bmp", TileBmp(ThickImage(1), TilePalette()));
  const std::string obj = MakeEmptyObjectFile(dir, "obj.iff");
  TileRun run = RunMorvikIn(dir, {"-thickwalls", "5", "thick.bmp", obj});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("bad scale : 5\n"), std::string::npos) << run.err;
  EXPECT_EQ(TileObjectFile(obj).Count(kSPR), 0u);
  EXPECT_EQ(TileObjectFile(obj).Count(kPALT), 0u);

  // No writable check: the maker's own write fails and says so, and the build, whose sprites
  // never reached the file, ends with a fatal error.
  ASSERT_EQ(chmod(obj.c_str(), 0444), 0);
  run = RunMorvikIn(dir, {"-thickwalls", "1", "thick.bmp", obj});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err.find("not writable"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("could not add sprites : "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("fatal error: could not write object file " + obj + " (error "),
            std::string::npos)
      << run.err;
}

}  // namespace
