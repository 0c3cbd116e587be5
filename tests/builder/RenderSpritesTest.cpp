// Sprite rendering inside the process: the draw-group filter that the dialog program sets,
// and object files that refuse what the stage writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "MemResFile.h"
#include "ObjectBuilder.h"
#include "SpecSet.h"
#include "TestTempFolder.h"
#include "attribtable.h"
#include "flatfile.h"

namespace {

const uint32_t kSPR2 = 0x53505232;
const uint32_t kDGRP = 0x44475250;
const uint32_t kPALT = 0x50414C54;

const char kSizes[] = "<sizes lwidth=16 lheight=16 mwidth=8 mheight=8 swidth=4 sheight=4>\n";

// A sheet of two sprite rows of 4 views: a block of colour 30 with depth 50 in every cell.
void WriteArt(const TestTempFolder& dir) {
  const int width = 4 * (16 + 8 + 4);
  const int height = 32;
  TestImage8 im;
  im.width = width;
  im.height = height;
  im.pixels.assign(size_t(width) * height, 0);
  im.palette.resize(256);
  for (int i = 0; i < 256; i++) im.palette[i] = {uint8_t(i), uint8_t(i / 2), uint8_t(255 - i)};
  std::vector<TestRGBA> px(size_t(width) * height, TestRGBA{0, 0, 0, 255});
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      if (x % 4 == 0 || y % 4 == 0) continue;
      im.pixels[size_t(y) * width + x] = 30;
      px[size_t(y) * width + x].a = 50;
    }
  }
  TGAWriteOptions o;
  o.bits = 32;
  dir.WriteFile("art/s.tga", WriteTGA(width, height, px, o));
  dir.WriteFile("art/s.bmp", WriteBMP8(im));
}

std::string ReadAll(FILE* f) {
  fflush(f);
  rewind(f);
  std::string text;
  char buffer[1024];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  return text;
}

// The filter names draw groups by their 16-bit ids, as a signed list holds them: ids past
// 32767 (40000 is held as -25536) are asked for like the others.
TEST(RenderSprites, DrawGroupFilterSkipsUnusedSprites) {
  struct Case {
    int32_t wantedGroup, wantedSprite;  // the draw group asked for and its sprite
  };
  for (const Case& c : {Case{7, 2}, Case{40000, 40001}}) {
    SCOPED_TRACE(c.wantedGroup);
    TestTempFolder dir;
    WriteArt(dir);
    const std::string obj = dir / "obj.iff";
    {
      IFFResFile2 file;
      FixedStringBuffer<260> p(obj.c_str());
      ASSERT_EQ(file.Create(p), 0);
    }
    const std::string group = std::to_string(c.wantedGroup);
    const std::string sprite = std::to_string(c.wantedSprite);
    const std::string omk = dir.WriteFile(
        "obj.omk", std::string(kSizes) + "<sprite id=1 name=one tgafile=s.tga paletteid=1>\n" +
                       "<sprite id=" + sprite + " name=two tgafile=s.tga>\n" + "<drawgroup id=" +
                       group + " name=seven>\n<item sprite id=" + sprite + ">\n" +
                       "<drawgroup id=8 name=eight>\n<item sprite id=1>\n");
    FILE* log = tmpfile();
    {
      ObjectBuilder builder;
      builder.fObjectFile.assign(obj.c_str());
      builder.fAttributesFile.assign(omk.c_str());
      builder.fMakeGraphics = 1;
      builder.fGraphicsDir.assign((dir / "art/").c_str());
      builder.fDrawGroupIds = {static_cast<int16_t>(c.wantedGroup)};
      builder.fLogFile = log;
      FILE* const oldLog = gLogStream;  // Run makes `log` the log stream; it is closed below
      EXPECT_EQ(builder.Run(), 0);
      gLogStream = oldLog;
    }
    const std::string text = ReadAll(log);
    fclose(log);
    EXPECT_EQ(text.find("Generating sprite 1,"), std::string::npos) << text;
    EXPECT_NE(text.find("Generating sprite " + sprite + ", two...\nRendering file s.tga...\n"),
              std::string::npos)
        << text;

    IFFResFile2 file;
    FixedStringBuffer<260> p(obj.c_str());
    ASSERT_EQ(file.Open(p), 0);
    EXPECT_EQ(file.Count(kSPR2), 1);
    EXPECT_NE(file.GetResource(kSPR2, uint16_t(c.wantedSprite)), nullptr);
    EXPECT_EQ(file.Count(kPALT), 0);
    EXPECT_EQ(file.Count(kDGRP), 1);
    EXPECT_NE(file.GetResource(kDGRP, uint16_t(c.wantedGroup)), nullptr);
  }
}

// Compiles `omk` over `file` and runs the graphics stage on it, the draw groups' writes
// failing when `failDrawGroups` is set; answers the fatal error.
std::string RenderInto(MemResFile& file, const TestTempFolder& dir, const std::string& omk,
                       bool failDrawGroups = false) {
  const std::string path = dir.WriteFile("m.omk", omk);
  SpecSet set(&file);
  AttribTableList tags;
  FlatFile markup;
  FixedStringBuffer<260> p(path.c_str());
  markup.Open(p);
  ReadMarkupFile(tags, &markup);
  markup.Close();
  FixedStringBuffer<260> art((dir / "art/").c_str());
  try {
    set.ParseSpecTags(tags);
    set.RenderSprites(&file, art);
    if (failDrawGroups) file.SetWriteError(shortWriteErr);
    set.WriteDrawGroups();
  } catch (const Terminate& t) {
    return t.c_str();
  }
  return "";
}

TEST(RenderSprites, RefusedWritesEndTheBuild) {
  TestTempFolder dir;
  WriteArt(dir);
  ScopedDebugCapture capture;
  const std::string sprite = std::string(kSizes) + "<sprite id=1 name=one tgafile=s.tga paletteid=1>\n";
  FILE* old = gLogStream;
  gLogStream = nullptr;
  {
    MemResFile readOnly;
    readOnly.SetReadOnly(true);
    EXPECT_EQ(RenderInto(readOnly, dir, sprite), "could not add sprite to destfile");
  }
  {
    MemResFile failing;
    failing.SetWriteError(shortWriteErr);
    EXPECT_EQ(RenderInto(failing, dir, sprite), "could not update dest file");
  }
  {
    // Sprites and palette fit; the draw group's write fails.
    MemResFile file;
    EXPECT_EQ(RenderInto(file, dir, sprite + "<drawgroup id=4 name=g>\n<item sprite id=1>\n", true),
              "could not write draw group 4 to destfile");
  }
  gLogStream = old;
}

}  // namespace
