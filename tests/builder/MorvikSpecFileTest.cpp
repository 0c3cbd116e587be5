// Runs the real morvik program over object-make files and tile lines that once lost an
// author's data without a word: tags past a pointer list's cap, ids too large for their
// field, tile numbers taken for missing words or wrapped into range.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "SoundRecord.h"
#include "SpecTestSupport.h"
#include "TestTempFolder.h"

namespace {

// An IFF 2.x object file holding the sounds `sounds` (id, wave-file name).
std::string MakeObjectFile(const TestTempFolder& folder,
                           const std::vector<std::pair<uint16_t, std::string>>& sounds) {
  const std::string path = folder / "dest.iff";
  IFFResFile2 file;
  FixedStringBuffer<260> name(path.c_str());
  EXPECT_EQ(file.Create(name), 0);
  EXPECT_EQ(file.Open(name), 0);
  for (const auto& [id, wave] : sounds) {
    SoundRecord record;
    record.fId = id;
    record.fName.assign(wave.c_str());
    EXPECT_TRUE(record.Save(&file));
  }
  file.Close();
  return path;
}

// The sounds of an object file, as "id:name" in file order.
std::vector<std::string> Sounds(const std::string& path) {
  IFFResFile2 file;
  std::vector<std::string> out;
  EXPECT_EQ(file.Open(FixedStringBuffer<260>(path.c_str())), 0);
  for (int32_t i = 1; i <= file.Count(kSoundRecordType); i++) {
    MHandle* h = file.GetIndResource(kSoundRecordType, uint16_t(i));
    int16_t id = 0;
    file.GetResID(h, id);
    SoundRecord record;
    EXPECT_TRUE(record.Load(&file, uint16_t(id)));
    out.push_back(std::to_string(uint16_t(id)) + ":" + record.fName.c_str());
  }
  return out;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST(MorvikSpecFile, TagsPastAPointerListsCapAreCompiled) {
  TestTempFolder folder;
  const std::string dest = MakeObjectFile(folder, {});
  std::string filler;
  for (int i = 0; i < 33000; ++i) filler += "<career>\n";

  // The last tag, number 33,001, is a sound: it reaches the object file.
  const std::string late = folder.WriteFile("late.omk", filler + "<sound id=7 name=late.wav>\n");
  MorvikResult r = RunMorvik(folder, {dest, "-spec", late, "-sounds"});
  EXPECT_EQ(r.code, 0) << r.log;
  EXPECT_EQ(Sounds(dest), std::vector<std::string>{"7:late.wav"});

  // A tag in error past the cap stops the build like any other.
  const std::string bad = folder.WriteFile("bad.omk", filler + "<slot>\n");
  r = RunMorvik(folder, {dest, "-spec", bad, "-slot"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Contains(r.log, "fatal error: slot tag received before slots tag\n")) << r.log;
}

TEST(MorvikSpecFile, AnIdOutsideItsFieldKeepsTheObjectFileWhole) {
  TestTempFolder folder;
  // 70000 wraps to 4464 in a 16-bit id: the sound already there must survive.
  const std::string dest = MakeObjectFile(folder, {{4464, "keep.wav"}});
  const std::string spec =
      folder.WriteFile("ids.omk", "<sound id=1 name=one.wav>\n<sound id=70000 name=new.wav>\n");
  MorvikResult r = RunMorvik(folder, {dest, "-spec", spec, "-sounds"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Contains(r.log,
                       "fatal error: line: 2 - value 70000 for key \"id\" in tag \"sound\" out of "
                       "range 0 to 65535\n"))
      << r.log;
  EXPECT_EQ(Sounds(dest), std::vector<std::string>{"4464:keep.wav"});
}

// A negative tile number is a number, and one too large for 32 bits does not wrap into range
// (4294967299 once became 3): both reach the stage's range check, and nothing is written.
TEST(MorvikSpecFile, TileNumbersOutsideTheirRangeReachTheirRangeChecks) {
  TestTempFolder folder;
  const std::string dest = MakeObjectFile(folder, {{5, "keep.wav"}});
  TestImage8 image;
  image.width = 8;
  image.height = 8;
  image.pixels.assign(64, 1);
  image.palette = {{0, 0, 0}, {200, 100, 50}};
  const std::string bmp = folder.WriteFile("f.bmp", WriteBMP8(image));

  struct Case {
    std::vector<std::string> args;
    int code;
    std::string message;
  };
  const Case cases[] = {
      {{"-wallpattern", "-3", bmp, dest}, 1, "fatal error: wall pattern out of range (0 to 255)\n"},
      {{"-wallstyle", "-3", folder / "w.tga", dest}, 1,
       "fatal error: wall style out of range (0 to 255)\n"},
      // The floor maker reports its range, writes nothing, and the build fails.
      {{"-floor", "-3", bmp, dest}, 1, "floor id out of range : -3\n"},
      {{"-wallpattern", "4294967299", bmp, dest}, 1,
       "fatal error: wall pattern out of range (0 to 255)\n"},
      {{"-floor", "4294967299", bmp, dest}, 1, "floor id out of range : 2147483647\n"},
      {{dest, "-wall", folder / "w.tga", bmp, "4294967299"}, 1,
       "fatal error: wall style out of range (1 to 255)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    MorvikResult r = RunMorvik(folder, c.args);
    EXPECT_EQ(r.code, c.code) << r.log;
    EXPECT_TRUE(Contains(r.log, c.message)) << r.log;
    EXPECT_FALSE(Contains(r.log, "requires 3 parameters")) << r.log;
  }
  EXPECT_EQ(Sounds(dest), std::vector<std::string>{"5:keep.wav"});
  IFFResFile2 file;
  ASSERT_EQ(file.Open(FixedStringBuffer<260>(dest.c_str())), 0);
  EXPECT_EQ(file.CountTypes(), 1);  // no sprite or palette was written
}

// An integer that is not a number as a whole once gave 0 for an id, or the number its first
// digits make, and the build wrote that resource and passed. Now the compiler stops before
// any stage writes, with the getters' message at the key's line, and the object file keeps
// every byte.
TEST(MorvikSpecFile, IntegersThatDoNotParseEndTheBuildBeforeAnyWrite) {
  TestTempFolder folder;
  const std::string dest = MakeObjectFile(folder, {{5, "keep.wav"}});
  const std::string before = TestTempFolder::ReadFile(dest);
  const std::string kSound = "<sound id=9 name=new.wav>\n";
  const auto expected = [](int line, const std::string& key, const std::string& tag,
                           const char* kind = "integer") {
    return "fatal error: line: " + std::to_string(line) + " - " + kind +
           " value expected for key \"" + key + "\" in tag \"" + tag + "\"\n";
  };
  struct Case {
    std::string tags;
    std::string message;
  };
  const Case cases[] = {
      {"<sprite id=abc name=x tgafile=a.tga>", expected(2, "id", "sprite")},
      {"<sound id=12abc name=b.wav>", expected(2, "id", "sound")},
      {"<drawgroup id=0x10 name=d>", expected(2, "id", "drawgroup")},
      {"<\"wall style\" id=w1 tgafile=w.tga>", expected(2, "id", "wall style")},
      {"<sprite id=1 name=x tgafile=a.tga language=1x>", expected(2, "language", "sprite")},
      {"<sprite id=1 name=x tgafile=a.tga frames=2x>", expected(2, "frames", "sprite")},
      {"<sprite id=1 name=x tgafile=a.tga>\n<drawgroup id=3 name=d>\n<item sprite id=1x>",
       expected(4, "id", "item")},
      {"<slots id=1 name=s>\n<slot type=routing standing=1.5>", expected(3, "standing", "slot")},
      {"<target guid=12g>", expected(2, "guid", "target", "long integer")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tags);
    const std::string spec = folder.WriteFile("bad.omk", kSound + c.tags + "\n");
    const MorvikResult r = RunMorvik(folder, {dest, "-spec", spec, "-sounds"});
    EXPECT_EQ(r.code, 1) << r.log;
    EXPECT_TRUE(Contains(r.log, c.message)) << r.log;
    EXPECT_EQ(TestTempFolder::ReadFile(dest), before);
  }

  // A sign and blanks around the digits are still a number.
  const std::string good = folder.WriteFile("good.omk", "<sound id=\" +9 \" name=new.wav>\n");
  const MorvikResult r = RunMorvik(folder, {dest, "-spec", good, "-sounds"});
  EXPECT_EQ(r.code, 0) << r.log;
  const std::vector<std::string> sounds = Sounds(dest);
  EXPECT_NE(std::find(sounds.begin(), sounds.end(), "9:new.wav"), sounds.end());
}
