// The tile options of the real morvik program when the tile cannot be made: each case runs on
// its own copy of an object file that already holds a good floor tile, and must end with exit
// code 1, say why on the standard error stream, and leave the object file byte for byte as it
// was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TileTestSupport.h"
#include "TileTestWorlds.h"

namespace {

// Makes a 24-bit BMP of `width` x `height`, every pixel grey.
std::vector<uint8_t> Bmp24(int32_t width, int32_t height) {
  BMPFields fields;
  fields.width = width;
  fields.height = height;
  fields.bitCount = 24;
  const size_t row = (size_t(width) * 3 + 3) / 4 * 4;
  return BuildBMP(fields, {}, std::vector<uint8_t>(row * size_t(height), 0x80));
}

std::vector<uint8_t> Tga(int32_t width, int32_t height, int bits) {
  TGAWriteOptions options;
  options.bits = bits;
  return WriteTGA(width, height, FilledRGBA(width, height, TestRGBA{90, 60, 30, 40}), options);
}

// The images of the cases: good ones of each kind's size, and ones too small for any zoom.
void WriteImages(const TestTempFolder& dir) {
  dir.WriteFile("floor.bmp", TileBmp(FloorImage(226, 65), TilePalette(1)));
  dir.WriteFile("floor24.bmp", Bmp24(226, 65));
  dir.WriteFile("notbmp.bmp", std::string("this is text, not an image\n"));
  // 64 x 64, with another palette than the floor already in the object file.
  dir.WriteFile("small.bmp", TileBmp(FloorImage(64, 64), TilePalette(9)));
  dir.WriteFile("small32.tga", Tga(64, 64, 32));
  dir.WriteFile("style24.tga", Tga(656, 320, 24));
  // A thick-wall image of zoom 1 (286 x 393) with a 24-bit TGA: no alpha for the cutaway.
  dir.WriteFile("thick.bmp", WriteBMP8(FilledImage8(286, 393, 5)));
  dir.WriteFile("thick24.tga", Tga(286, 393, 24));
  dir.WriteFile("wall.tga", Tga(884, 1152, 32));
}

struct Case {
  std::vector<std::string> args;  // "OBJ" stands for the case's copy of the object file
  std::vector<std::string> err;   // lines the standard error stream must hold
};

}  // namespace

TEST(TileCommands, ATileThatIsNotMadeFailsAndLeavesTheObjectFileAsItWas) {
  TestTempFolder dir;
  WriteImages(dir);
  // The object file of every case: a good floor tile 1 and its palette.
  const std::string base = MakeEmptyObjectFile(dir, "base.iff");
  const TileRun made = RunMorvikIn(dir, {"-floor", "1", "floor.bmp", base});
  ASSERT_EQ(made.code, 0) << made.err;
  const std::string baseBytes = TestTempFolder::ReadFile(base);
  ASSERT_FALSE(ReadStoredResource(base, 0x50414C54, 1).bytes.empty());

  const std::string tooSmallFloor =
      "image too small for the floor tile : 1\nimage too small for the floor tile : 2\n"
      "image too small for the floor tile : 3\n";
  const Case cases[] = {
      // Images too small for every zoom.
      {{"-floor", "1", "small.bmp", "OBJ"}, {tooSmallFloor, "fatal error: floor 1 not made, nothing written\n"}},
      {{"-floorshadow", "1", "small.bmp", "OBJ"},
       {tooSmallFloor, "fatal error: floor shadow 1 not made, nothing written\n"}},
      {{"-pooltile", "1", "small.bmp", "OBJ"}, {tooSmallFloor, "fatal error: pool tile 1 not made, nothing written\n"}},
      {{"-wallpattern", "1", "small.bmp", "OBJ"},
       {"image too small for the wall pattern pieces : 1\nimage too small for the wall pattern pieces : 2\n",
        "fatal error: wall pattern 1 not made, nothing written\n"}},
      {{"OBJ", "-wall", "small32.tga", "small.bmp", "1"},
       {"image too small for the wall pieces : 1\n", "image too small for the wall pieces : 3\n",
        "fatal error: wall 1 not made, nothing written\n"}},
      {{"-wallstyle", "1", "small32.tga", "OBJ"},
       {"image too small for the wall style pieces : 1\n", "fatal error: wall style 1 not made, nothing written\n"}},
      {{"-thickwalls", "1", "small.bmp", "OBJ"},
       {"image too small for the thick wall pieces : 1\n",
        "fatal error: thick walls of zoom 1 not made, nothing written\n"}},
      // Numbers outside the kind's range.
      {{"-floor", "300", "floor.bmp", "OBJ"}, {"floor id out of range : 300\n", "fatal error: floor 300 not made"}},
      {{"-floor", "-1", "floor.bmp", "OBJ"}, {"floor id out of range : -1\n", "fatal error: floor -1 not made"}},
      {{"-floorshadow", "40", "floor.bmp", "OBJ"}, {"shadow id out of range : 40\n"}},
      {{"-pooltile", "20", "floor.bmp", "OBJ"}, {"pool tile overlap piece id out-of-range : 20\n"}},
      {{"-thickwalls", "4", "thick.bmp", "OBJ"}, {"bad scale : 4\n", "fatal error: thick walls of zoom 4 not made"}},
      {{"-thickcutaway", "0", "thick.bmp", "thick24.tga", "OBJ"}, {"bad scale : 0\n"}},
      {{"-watertile", "20", "OBJ"}, {"fatal error: water tile id out-of-range\n"}},
      // Images without the alpha channel the kind needs.
      {{"-wallstyle", "1", "style24.tga", "OBJ"},
       {"wall style image has no alpha channel : 0\n", "fatal error: wall style 1 not made, nothing written\n"}},
      {{"-thickcutaway", "1", "thick.bmp", "thick24.tga", "OBJ"},
       {"thick wall cutaway tga has no alpha channel : 0\n",
        "fatal error: thick wall cutaway of zoom 1 not made, nothing written\n"}},
      // Files that are missing or not what the kind is cut from.
      {{"OBJ", "-wall", "wall.tga", "nofile.bmp", "2"},
       {"fatal error: BMP file nofile.bmp required.  Could not obtain palette.\n"}},
      {{"-floor", "5", "nothere.bmp", "OBJ"}, {"fatal error: could not open BMP file nothere.bmp\n"}},
      {{"-floor", "5", "floor24.bmp", "OBJ"},
       {"fatal error: BMP file floor24.bmp is 24-bit: tiles are cut from 8-bit BMPs\n"}},
      {{"-wallpattern", "5", "notbmp.bmp", "OBJ"}, {"fatal error: notbmp.bmp is not a BMP file\n"}},
      {{"-thickwalls", "1", "nothere.bmp", "OBJ"}, {"fatal error: could not open BMP file nothere.bmp\n"}},
  };
  int number = 0;
  for (const Case& c : cases) {
    const std::string obj = dir.WriteFile("case" + std::to_string(++number) + ".iff", baseBytes);
    std::vector<std::string> args = c.args;
    std::string line = "morvik";
    for (std::string& a : args) {
      if (a == "OBJ") a = obj;
      line += " " + (a == obj ? std::string("OBJ") : a);
    }
    SCOPED_TRACE(line);
    const TileRun run = RunMorvikIn(dir, args);
    EXPECT_EQ(run.code, 1);
    for (const std::string& part : c.err) EXPECT_NE(run.err.find(part), std::string::npos) << part << run.err;
    EXPECT_TRUE(TestTempFolder::ReadFile(obj) == baseBytes) << "object file changed";
  }
}

// A word that no option takes is reported by name, and neither object file is touched.
TEST(TileCommands, AnObjectFileBeforeATileOptionIsReported) {
  TestTempFolder dir;
  WriteImages(dir);
  const std::string d = MakeEmptyObjectFile(dir, "d.iff");
  const std::string e = MakeEmptyObjectFile(dir, "e.iff");
  const std::string dBytes = TestTempFolder::ReadFile(d);
  const std::string eBytes = TestTempFolder::ReadFile(e);
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"d.iff", "-floor", "9", "floor.bmp", "e.iff"},
       "no option takes d.iff: the tile options take the object file as their last word"},
      {{"-floor", "9", "floor.bmp", "e.iff", "-wallpattern", "1", "floor.bmp", "d.iff"},
       "second object file not allowed: d.iff"},
      {{"-floor", "9", "floor.bmp", "e.iff", "d.iff"}, "second object file not allowed: d.iff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const TileRun run = RunMorvikIn(dir, c.args);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find(": " + c.message + "\n#####"), std::string::npos) << run.err;
    EXPECT_TRUE(TestTempFolder::ReadFile(d) == dBytes);
    EXPECT_TRUE(TestTempFolder::ReadFile(e) == eBytes);
  }
  // The same object file named twice takes nothing away: the tile is made.
  const TileRun same = RunMorvikIn(dir, {"e.iff", "-floor", "9", "floor.bmp", "e.iff"});
  EXPECT_EQ(same.code, 0) << same.err;
  EXPECT_FALSE(ReadStoredResource(e, 0x50414C54, 9).bytes.empty());
}
