// The destination of a build opened as an object file set (path.iff, path.spf, path.dir) and
// only then as a single IFF 2.x file, through the real morvik program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "MHandle.h"
#include "SpecTestSupport.h"
#include "TestTempFolder.h"

namespace {

typedef FixedStringBuffer<260> Path;

const uint32_t kSPR = MakeResType('S', 'P', 'R', '#');
const uint32_t kPALT = MakeResType('P', 'A', 'L', 'T');
const uint32_t kDGRP = MakeResType('D', 'G', 'R', 'P');
const uint32_t kSTR = MakeResType('S', 'T', 'R', '#');

const char kSpec[] =
    "<sizes lwidth=16 lheight=16 mwidth=8 mheight=8 swidth=4 sheight=4>\n"
    "<sprite id=5 name=flat bmpfile=a.bmp paletteid=2>\n"
    "<drawgroup id=10 name=g>\n<item sprite id=5>\n";

// An object-make file and the 8-bit BMP sheet of one sprite of four views in three zooms.
void WriteSources(const TestTempFolder& folder) {
  folder.WriteFile("obj.omk", kSpec);
  TestImage8 image;
  image.width = 4 * (16 + 8 + 4);
  image.height = 16;
  image.pixels.assign(size_t(image.width * image.height), 0);
  for (size_t i = 0; i < image.pixels.size(); i++) image.pixels[i] = uint8_t(1 + i % 7);
  image.palette.resize(256);
  for (int i = 0; i < 256; i++) image.palette[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
  folder.MakeFolder("art");
  folder.WriteFile("art/a.bmp", WriteBMP8(image));
}

MorvikResult BuildGraphics(const TestTempFolder& folder, const std::string& dest) {
  return RunMorvik(folder, {dest, "-spec", folder / "obj.omk", "-graphics", folder / "art/"});
}

// Makes an IFF 2.x file at `path`, holding a 'STR#' 128 "keep!" when `keep` is set.
void MakeFile(const std::string& path, bool keep) {
  IFFResFile2 file;
  ASSERT_EQ(file.Create(Path(path.c_str())), 0);
  if (!keep) return;
  ASSERT_EQ(file.Open(Path(path.c_str())), 0);
  MHandle* h = HAlloc(6);
  BlockMove("keep!", HLock(h), 6);
  HUnlock(h);
  file.AddResource(h, kSTR, 128, FixedStringBuffer<64>("other"), true);
  ASSERT_EQ(file.Close(), 0);
}

// Number of resources of each type, as "type:count" for the types asked.
std::string Counts(const std::string& path) {
  IFFResFile2 file;
  if (file.Open(Path(path.c_str())) != 0) return "<no file>";
  std::string text;
  for (uint32_t type : {kSPR, kPALT, kDGRP, kSTR}) {
    text += std::to_string(file.Count(type)) + " ";
  }
  if (file.Count(kSTR) == 1) {
    MHandle* h = file.GetResource(kSTR, 128);
    text += h != nullptr ? std::string(HLock(h), 5) : "<lost>";
  }
  return text;
}

}  // namespace

TEST(DestinationSet, SpritesGoToTheSpriteFileOfATwoFileSet) {
  TestTempFolder folder;
  WriteSources(folder);
  MakeFile(folder / "obj.iff", true);
  MakeFile(folder / "obj.spf", false);
  MorvikResult r = BuildGraphics(folder, folder / "obj");
  ASSERT_EQ(r.code, 0) << r.log;
  // SPR#, PALT, DGRP, STR# counts.
  EXPECT_EQ(Counts(folder / "obj.spf"), "1 1 1 0 ");
  EXPECT_EQ(Counts(folder / "obj.iff"), "0 0 0 1 keep!");
}

TEST(DestinationSet, TheExtensionChoosesTheComponent) {
  TestTempFolder folder;
  WriteSources(folder);
  MakeFile(folder / "obj.iff", true);
  MakeFile(folder / "obj.spf", false);
  // Named with its extension, the .iff file is a set of one member and takes everything.
  MorvikResult r = BuildGraphics(folder, folder / "obj.iff");
  ASSERT_EQ(r.code, 0) << r.log;
  EXPECT_EQ(Counts(folder / "obj.iff"), "1 1 1 1 keep!");
  EXPECT_EQ(Counts(folder / "obj.spf"), "0 0 0 0 ");
}

TEST(DestinationSet, OtherExtensionsOpenAsOneIFFFile) {
  TestTempFolder folder;
  WriteSources(folder);
  MakeFile(folder / "obj.dat", true);
  MorvikResult r = BuildGraphics(folder, folder / "obj.dat");
  ASSERT_EQ(r.code, 0) << r.log;
  EXPECT_EQ(Counts(folder / "obj.dat"), "1 1 1 1 keep!");

  // A path with no component and no file opens as neither.
  r = BuildGraphics(folder, folder / "none");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.log.find("fatal error: could not open object file " + folder / "none" + "\n"),
            std::string::npos)
      << r.log;
}
