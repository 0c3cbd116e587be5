// The mistakes a content author makes, through the real morvik program: each ends the build
// with a message that names the file, sprite or line at fault (or warns and goes on), and a
// mistake in the markup, or in the art found before the first write, leaves the object file
// byte for byte as it was. Then a rebuild after a sheet changed kind, which must leave what a
// fresh build leaves.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "MHandle.h"
#include "SpecTestSupport.h"
#include "TestTempFolder.h"

namespace {

// Cells of 4, 2 and 1 pixels: a sheet row of four views is 28 x 4.
const char kSizes[] = "<sizes lwidth=4 lheight=4 mwidth=2 mheight=2 swidth=1 sheight=1>\n";
const int kWidth = 28;
const int kHeight = 4;

std::vector<TestRGB> Palette() {
  std::vector<TestRGB> p(256);
  for (int i = 0; i < 256; i++) p[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
  return p;
}

// A sheet whose top-left pixel is clear and every other pixel drawn.
TestSheet Sheet(int width = kWidth, int height = kHeight) {
  TestSheet s(width, height);
  for (size_t i = 1; i < s.index.size(); i++) {
    s.index[i] = uint8_t(10 + i % 5);
    s.depth[i] = uint8_t(100 + i % 7);
    s.alpha[i] = 255;
  }
  return s;
}

std::vector<uint8_t> Tga(const TestSheet& s, int bits) {
  TGAWriteOptions options;
  options.bits = bits;
  return WriteSheetTGA(s, Palette(), options);
}

std::vector<uint8_t> AlphaTga(const TestSheet& s) { return WriteSheetAlphaTGA(s); }

// A BMP of `bits` per pixel (no 8-bit one: no colour table of 256 entries).
std::vector<uint8_t> BmpOfDepth(int bits) {
  BMPFields f;
  f.width = kWidth;
  f.height = kHeight;
  f.bitCount = uint16_t(bits);
  const int rowBytes = (kWidth * bits + 31) / 32 * 4;
  const std::vector<TestRGB> table(bits < 8 ? (1u << bits) : 0);
  return BuildBMP(f, table, std::vector<uint8_t>(size_t(rowBytes) * kHeight, 0));
}

std::vector<uint8_t> TgaWithHeader(uint8_t type, uint8_t depth, uint8_t colourMap) {
  TGAFields f;
  f.imageType = type;
  f.depth = depth;
  f.colorMapType = colourMap;
  f.width = kWidth;
  f.height = kHeight;
  return BuildTGA(f, std::vector<uint8_t>(size_t(kWidth) * kHeight * 4, 0));
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t drop) {
  bytes.resize(bytes.size() - drop);
  return bytes;
}

// The art of a good lamp: a 32-bit sheet and its 8-bit palette BMP.
std::map<std::string, std::vector<uint8_t>> GoodArt() {
  const TestSheet s = Sheet();
  return {{"lamp.tga", Tga(s, 32)}, {"lamp.bmp", WriteSheetBMP8(s, Palette())}};
}

const char kLamp[] = "<sprite id=600 name=lamp tgafile=lamp.tga paletteid=7>\n";
const char kGroup[] = "<drawgroup id=100 name=lamp>\n<item sprite id=600>\n";

// How the object file of a case is given to the program.
enum class Dest { kFile, kReadOnly, kMissing };

struct Mistake {
  const char* what;
  std::string markup;  // the whole object-make file
  std::map<std::string, std::vector<uint8_t>> art;  // over the good art; empty: no such file
  int exit;
  std::string line;    // a whole line of the log; {art} and {dir} stand for the folders
  bool unchanged;      // the object file keeps every byte
  Dest dest = Dest::kFile;
  bool noMarkup = false;
};

std::string Fill(std::string text, const TestTempFolder& dir) {
  for (const auto& [mark, path] : {std::pair<std::string, std::string>{"{art}", dir / "art/"},
                                   std::pair<std::string, std::string>{"{dir}", dir.Path()}}) {
    for (size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), path);
  }
  return text;
}

bool HasLine(const std::string& log, const std::string& line) {
  return ("\n" + log).find("\n" + line + "\n") != std::string::npos;
}

// Every resource of an object file, as type, id and data.
std::vector<std::tuple<uint32_t, int16_t, std::string>> Resources(const std::string& path) {
  std::vector<std::tuple<uint32_t, int16_t, std::string>> out;
  IFFResFile2 file;
  EXPECT_EQ(file.Open(FixedStringBuffer<260>(path.c_str())), 0);
  for (int16_t t = 1; t <= file.CountTypes(); t++) {
    const uint32_t type = file.GetIndType(uint16_t(t));
    for (int16_t i = 1; i <= file.Count(type); i++) {
      MHandle* h = file.GetIndResource(type, uint16_t(i));
      int16_t id = 0;
      file.GetResID(h, id);
      const char* data = static_cast<const char*>(HLock(h));
      out.emplace_back(type, id, std::string(data, data + HGetSize(h)));
      HUnlock(h);
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string NewObjectFile(const TestTempFolder& dir) {
  const std::string path = dir / "obj.iff";
  IFFResFile2 file;
  EXPECT_EQ(file.Create(FixedStringBuffer<260>(path.c_str())), 0);
  return path;
}

MorvikResult Build(const TestTempFolder& dir, const std::string& dest) {
  return RunMorvik(dir, {dest, "-spec", dir / "obj.omk", "-graphics", dir / "art/"});
}

}  // namespace

TEST(AuthorMistakes, EachIsReportedWhereItIsAndFoundBeforeAnyWrite) {
  const std::string good = std::string(kSizes) + kLamp + kGroup;
  const std::vector<uint8_t> none;
  const TestSheet sheet = Sheet();
  const Mistake cases[] = {
      // Good today, and still good.
      {"an id that is not a number", std::string(kSizes) + "<sprite id=abc name=l tgafile=lamp.tga>\n",
       {}, 1, "fatal error: line: 2 - integer value expected for key \"id\" in tag \"sprite\"", true},
      {"an id past 16 bits", std::string(kSizes) + "<sprite id=70000 name=l tgafile=lamp.tga>\n", {}, 1,
       "fatal error: line: 2 - value 70000 for key \"id\" in tag \"sprite\" out of range 0 to 65535", true},
      {"three columns", std::string(kSizes) + "<sprite id=600 name=l tgafile=lamp.tga columns=3>\n", {}, 1,
       "fatal error: line: 2 - columns expected to be 1, 2, or 4", true},
      {"a typo in a tag", good + "<drawgrup id=101 name=x>\n", {}, 0, "warning: line: 5 - unknown tag: drawgrup",
       false},
      {"a missing TGA", good, {{"lamp.tga", none}}, 1,
       "fatal error: could not open tga file : {art}lamp.tga : error #-50 (no such file, or it cannot be read)",
       true},
      {"a truncated TGA", good, {{"lamp.tga", Cut(Tga(sheet, 32), 9)}}, 1,
       "fatal error: could not open tga file : {art}lamp.tga : error #-48 (the file is shorter than its "
       "header says: cut short, or not a TGA)",
       true},
      {"a missing palette BMP", good, {{"lamp.bmp", none}}, 1,
       "fatal error: BMP file {art}lamp.bmp required.  Could not obtain palette.", true},
      // A palette BMP that holds no 8-bit colour table.
      {"a 24-bit palette BMP", good, {{"lamp.bmp", BmpOfDepth(24)}}, 1,
       "fatal error: palette BMP {art}lamp.bmp is a 24-bit BMP: a palette file must be an 8-bit BMP or a raw "
       "file of 256 red, green, blue triples",
       true},
      {"a 4-bit palette BMP", good, {{"lamp.bmp", BmpOfDepth(4)}}, 1,
       "fatal error: palette BMP {art}lamp.bmp is a 4-bit BMP: a palette file must be an 8-bit BMP or a raw "
       "file of 256 red, green, blue triples",
       true},
      {"a 1-bit palette BMP", good, {{"lamp.bmp", BmpOfDepth(1)}}, 1,
       "fatal error: palette BMP {art}lamp.bmp is a 1-bit BMP: a palette file must be an 8-bit BMP or a raw "
       "file of 256 red, green, blue triples",
       true},
      // Keys the build cannot carry out.
      {"one column without a symmetry",
       std::string(kSizes) + "<sprite id=600 name=s tgafile=lamp.tga columns=1 paletteid=7>\n" + kGroup, {}, 1,
       "fatal error: line: 4 - sprite 600 (line 2) has columns=1, but symmetry none draws 4 views: give it "
       "columns=4, or a symmetry of fewer views (bi-lateral 2, radial or radial-flip 1), for draw group 100 to "
       "show it",
       true},
      {"two columns without a symmetry",
       std::string(kSizes) + "<sprite id=600 name=s tgafile=lamp.tga columns=2>\n" + kGroup, {}, 1,
       "fatal error: line: 4 - sprite 600 (line 2) has columns=2, but symmetry none draws 4 views: give it "
       "columns=4, or a symmetry of fewer views (bi-lateral 2, radial or radial-flip 1), for draw group 100 to "
       "show it",
       true},
      {"an odd direction offset without diagonals",
       std::string(kSizes) + kLamp + "<drawgroup id=100 name=lamp>\n<item sprite id=600 \"direction offset\"=1>\n",
       {}, 1,
       "fatal error: line: 4 - direction offset 1 is odd, but sprite 600 (line 2) has no diagonal views "
       "(frames=2 gives them)",
       true},
      {"no sizes tag", std::string(kLamp) + kGroup, {}, 1,
       "fatal error: line: 1 - Empty rectangle found for compression -- sizes may not be specified.", true},
      {"a row the sheet does not hold",
       std::string(kSizes) + "<sprite id=600 name=l tgafile=lamp.tga position=2>\n", {}, 1,
       "fatal error: line: 2 - tga file too small for some sprite position...did you export all frames? "
       "sprite 600 needs 28 x 12 pixels of {art}lamp.tga, which is 28 x 4",
       true},
      // Keys the tag does not read: a warning, and the build goes on.
      {"a misspelt key", std::string(kSizes) + "<sprite id=600 name=l tgafile=lamp.tga paletid=6>\n" + kGroup,
       {}, 0, "warning: line: 2 - unknown key \"paletid\" in tag \"sprite\"", false},
      {"a misspelt symmetry key",
       std::string(kSizes) + "<sprite id=600 name=l tgafile=lamp.tga\n symetry=radial-flip>\n" + kGroup, {}, 0,
       "warning: line: 3 - unknown key \"symetry\" in tag \"sprite\"", false},
      // Images of a kind, or a size, the build does not take.
      {"a 16-bit TGA", good, {{"lamp.tga", TgaWithHeader(2, 16, 0)}}, 1,
       "fatal error: could not open tga file : {art}lamp.tga : error #1200 (a 16-bit or 8-bit TGA: only 24- and "
       "32-bit true-colour TGAs are taken)",
       true},
      {"a colour-mapped TGA", good, {{"lamp.tga", TgaWithHeader(1, 8, 1)}}, 1,
       "fatal error: could not open tga file : {art}lamp.tga : error #1201 (not a true-colour TGA (colour-mapped, "
       "grey or of another image type): only uncompressed or run-length true-colour TGAs are taken)",
       true},
      {"a palette BMP of another size", good, {{"lamp.bmp", WriteSheetBMP8(Sheet(kWidth, 5), Palette())}}, 1,
       "fatal error: bad bmp height: {art}lamp.bmp is 28 x 5 pixels, its TGA {art}lamp.tga 28 x 4; they must be "
       "the same size",
       true},
      {"an alpha image smaller than its sheet", good, {{"lampalpha.tga", AlphaTga(Sheet(kWidth - 1, kHeight))}},
       1,
       "fatal error: alpha image {art}lampalpha.tga is 27 x 4 pixels, its sheet {art}lamp.tga 28 x 4; they must "
       "be the same size",
       true},
      {"an alpha image beside a 24-bit sheet", good,
       {{"lamp.tga", Tga(sheet, 24)}, {"lampalpha.tga", AlphaTga(sheet)}}, 1,
       "fatal error: only supports alpha sprites with z at this time: the alpha image {art}lampalpha.tga needs a "
       "32-bit TGA sheet, and {art}lamp.tga is a 24-bit TGA",
       true},
      {"a mask that is not a BMP", std::string(kSizes) + "<sprite id=600 name=l tgafile=lamp.tga mask=m.bmp>\n",
       {{"m.bmp", WriteRawPalette(Palette())}}, 1,
       "fatal error: no mask to apply: the mask {art}m.bmp of sprite 600 (line 2) is not a BMP", true},
      {"a mask taller than the sheet", std::string(kSizes) + "<sprite id=600 name=l tgafile=lamp.tga mask=m.bmp>\n",
       {{"m.bmp", WriteSheetBMP8(Sheet(kWidth, kHeight + 1), Palette())}}, 1,
       "fatal error: mask too large or sprite file too small: the mask {art}m.bmp of sprite 600 (line 2) is 28 x 5 "
       "pixels from row 0 of {art}lamp.tga, which is 28 x 4",
       true},
      // Draw-group items.
      {"an item before its sprite", std::string(kSizes) + kGroup + kLamp, {}, 1,
       "fatal error: line: 3 - sprite not found for some dgrp item: no sprite tag with id 600 comes before this "
       "item of draw group 100",
       true},
      {"an item of an unknown type", std::string(kSizes) + kLamp + "<drawgroup id=100 name=l>\n<item chair id=600>\n",
       {}, 1, "fatal error: line: 4 - unknown item type \"chair\" (sprite expected)", true},
      // The files named on the command line.
      {"an object-make file that is not there", good, {}, 1,
       "fatal error: could not open attributes file {dir}obj.omk", true, Dest::kFile, true},
      {"an object file that is not there", good, {}, 1, "fatal error: could not open object file {dir}obj.iff",
       true, Dest::kMissing},
      {"a read-only object file", good, {}, 1, "fatal error: object file {dir}obj.iff is read-only", true,
       Dest::kReadOnly},
  };
  for (const Mistake& c : cases) {
    SCOPED_TRACE(c.what);
    TestTempFolder dir;
    std::map<std::string, std::vector<uint8_t>> art = GoodArt();
    for (const auto& [name, bytes] : c.art) art[name] = bytes;
    for (const auto& [name, bytes] : art) {
      if (!bytes.empty()) dir.WriteFile("art/" + name, bytes);
    }
    if (!c.noMarkup) dir.WriteFile("obj.omk", c.markup);
    const std::string dest = c.dest == Dest::kMissing ? dir / "obj.iff" : NewObjectFile(dir);
    if (c.dest == Dest::kReadOnly) chmod(dest.c_str(), 0444);
    const std::string before = TestTempFolder::ReadFile(dest);

    const MorvikResult r = Build(dir, dest);
    EXPECT_EQ(r.code, c.exit) << r.log;
    EXPECT_TRUE(HasLine(r.log, Fill(c.line, dir))) << "wanted: " << Fill(c.line, dir) << "\n" << r.log;
    if (c.unchanged) {
      EXPECT_EQ(TestTempFolder::ReadFile(dest), before);
    } else {
      EXPECT_NE(TestTempFolder::ReadFile(dest), before);
    }
  }
}

// A rebuild after the sheet went from 32-bit to 24-bit (SPR2 to SPR#), or back, holds what a
// fresh build of the same markup and art holds: the sprite of the other kind goes.
TEST(AuthorMistakes, ARebuildAfterASheetChangedKindLeavesWhatAFreshBuildLeaves) {
  const TestSheet sheet = Sheet();
  for (const auto& [from, to] : {std::pair{32, 24}, std::pair{24, 32}}) {
    SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to));
    TestTempFolder dir;
    dir.WriteFile("obj.omk", std::string(kSizes) + kLamp + kGroup);
    dir.WriteFile("art/lamp.bmp", WriteSheetBMP8(sheet, Palette()));
    dir.WriteFile("art/lamp.tga", Tga(sheet, from));
    const std::string rebuilt = NewObjectFile(dir);
    MorvikResult r = Build(dir, rebuilt);
    ASSERT_EQ(r.code, 0) << r.log;
    dir.WriteFile("art/lamp.tga", Tga(sheet, to));
    r = Build(dir, rebuilt);
    ASSERT_EQ(r.code, 0) << r.log;

    const std::string fresh = dir / "fresh.iff";
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Create(FixedStringBuffer<260>(fresh.c_str())), 0);
    }
    r = Build(dir, fresh);
    ASSERT_EQ(r.code, 0) << r.log;
    const auto expected = Resources(fresh);
    ASSERT_EQ(expected.size(), 3u);  // the sprite, its palette, the draw group
    EXPECT_EQ(Resources(rebuilt), expected);
  }
}
