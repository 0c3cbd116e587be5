// Builds whose writes cannot reach the object file: through the real morvik program, every
// stage that writes runs on an object file whose block chain breaks after its first records
// (they open, but no new block can be placed). Each build must end with a fatal error, exit
// code 1, and leave the file on disk exactly as it was, the resources it would have replaced
// or removed included.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "IFFResFile2.h"
#include "ImageWriters.h"
#include "ObjDefinition.h"
#include "SoundRecord.h"
#include "SpecTestSupport.h"
#include "TestTempFolder.h"
#include "TreeTable.h"
#include "strset.h"

namespace {

constexpr uint32_t kGuid = 0x1234;
constexpr uint16_t kTableId = 2001;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A version-5 tree table of one interaction (action tree 4096), as older tools stored it.
std::vector<uint8_t> OldTreeTable() {
  return {1, 0, 5, 0,                // one entry, version 5
          0x00, 0x10, 0, 0, 0, 0,    // action tree 4096, second tree 0, no motive values
          0, 0, 0, 0, 0, 0, 0, 0,    // flags, index
          0, 0, 0, 0,                // custom attenuation 0.0
          50, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};  // values C and D
}

void AddResource(IFFResFile2& file, uint32_t type, uint16_t id, const std::vector<uint8_t>& bytes,
                 const char* name) {
  MHandle* h = HAlloc(uint32_t(bytes.size()));
  std::memcpy(HLock(h), bytes.data(), bytes.size());
  HUnlock(h);
  file.AddResource(h, type, id, FixedStringBuffer<64>(name), true);
  file.WriteResource(h);
  ASSERT_EQ(file.GetError(), 0);
}

// What an object file holds beside its definition.
enum class Held {
  kDefinition,  // nothing else
  kOldTable,    // its tree table in version 5
  kStoredData,  // a sound, a skill set and its tree table, which the stages would replace
};

// An IFF 2.x file holding one object definition (GUID kGuid, tree table kTableId) and what
// `held` says; closed and without a saved map, so that opening it walks the chain.
void WriteObject(const std::string& path, Held held = Held::kDefinition) {
  FixedStringBuffer<260> name(path.c_str());
  IFFResFile2 file;
  ASSERT_EQ(file.Create(name), 0);
  ASSERT_EQ(file.Open(name), 0);
  ObjDefinition d;
  d.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
  d.SetGUID(kGuid);
  d.fWords[7] = kTableId;
  std::vector<uint8_t> bytes(ObjDefinition::kByteSize);
  d.WriteTo(bytes.data());
  AddResource(file, kObjDefinitionType, 128, bytes, "chair");
  if (held == Held::kOldTable) {
    AddResource(file, kTreeTableType, kTableId, OldTreeTable(), "interactions");
  }
  if (held == Held::kStoredData) {
    SoundRecord sound;
    sound.fId = 50;
    sound.fName.assign("old.wav");
    ASSERT_TRUE(sound.Save(&file));
    StringSet skills;
    skills.SetString(1, "fish");
    ASSERT_EQ(skills.Save(&file, 129), 0);
    TreeTable table(16);
    ASSERT_TRUE(table.AddEntry(0, 4096));
    table.GetEntry(0)->fName = "Sit";
    ASSERT_EQ(table.Save(&file, int16_t(kTableId), "interactions"), 0);
  }
  ASSERT_EQ(file.Close(), 0);
  IFFResFile2 clearer;
  ASSERT_EQ(clearer.ClearSavedMap(name), 0);
}

// The object above followed by a record header whose size (8) is smaller than a header: the
// chain breaks there. Opening keeps the definition; no new block can be placed after it.
std::string MakeBrokenObject(const TestTempFolder& folder, Held held) {
  const std::string path = folder / "broken.iff";
  std::remove(path.c_str());
  WriteObject(path, held);
  std::string bytes = TestTempFolder::ReadFile(path);
  std::string junk(76 + 40, '\0');
  std::memcpy(&junk[0], "JUNK", 4);
  junk[7] = 8;  // big-endian size 8
  for (size_t i = 76; i < junk.size(); i++) junk[i] = char(0xA5);
  folder.WriteFile("broken.iff", bytes + junk);
  return path;
}

std::vector<uint8_t> Bmp(int width, int height, uint8_t fill) {
  TestImage8 image;
  image.width = width;
  image.height = height;
  image.pixels.assign(size_t(width) * height, fill);
  for (int i = 0; i < 256; i++) image.palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  image.pixels[0] = 0;  // the clear colour
  return WriteBMP8(image);
}

// The images and files the stages read, made once per folder.
void WriteInputs(const TestTempFolder& folder) {
  folder.MakeFolder("art");
  // One sprite of four views, cells 16, 8 and 4 wide: a 112 x 16 sheet and its palette.
  folder.WriteFile("art/a.bmp", Bmp(112, 16, 1));
  folder.WriteFile("art/a.tga",
                   WriteTGA(112, 16, std::vector<TestRGBA>(112 * 16, TestRGBA{1, 254, 0, 255})));
  // The headline sheet: one row of three cells.
  folder.WriteFile("head.bmp", Bmp(120, 100, 1));
  TGAWriteOptions options;
  options.bits = 32;
  folder.WriteFile("head.tga", WriteTGA(120, 100, std::vector<TestRGBA>(120 * 100, TestRGBA{1, 254, 0, 255}),
                                        options));
  folder.MakeFolder("bitmaps");
  folder.WriteFile("bitmaps/thumb.bmp", std::string("BM-thumb"));
  folder.WriteFile("bitmaps/extra.bmp", std::string("BM-extra"));
  folder.WriteFile("floor.bmp", Bmp(227, 66, 3));
  folder.WriteFile("pattern.bmp", Bmp(660, 330, 3));
  folder.WriteFile("thick.bmp", Bmp(300, 400, 3));
  // Images that hold the pieces of every zoom (a tile with a zoom missing is not made, and
  // writes nothing): a wall with its palette, and a 32-bit wall style (its alpha channel is
  // the style).
  folder.WriteFile("wall.bmp", Bmp(884, 1152, 3));
  folder.WriteFile("wall.tga", WriteTGA(884, 1152, std::vector<TestRGBA>(884 * 1152, TestRGBA{3, 252, 1, 255})));
  folder.WriteFile("style.tga", WriteTGA(660, 330, std::vector<TestRGBA>(660 * 330, TestRGBA{3, 252, 1, 0}),
                                         options));
  folder.WriteFile("art/style.tga", WriteTGA(660, 330, std::vector<TestRGBA>(660 * 330, TestRGBA{3, 252, 1, 0}),
                                             options));
  folder.WriteFile("thick.tga", WriteTGA(300, 400, std::vector<TestRGBA>(300 * 400, TestRGBA{3, 252, 1, 0}),
                                         options));
  WriteObject(folder / "template.iff");
}

}  // namespace

TEST(LostWrites, EveryWritingStageFailsOnAFileThatCannotTakeItsWrites) {
  TestTempFolder folder;
  WriteInputs(folder);
  const std::string sizes = "<sizes lwidth=16 lheight=16 mwidth=8 mheight=8 swidth=4 sheight=4>\n";
  struct Case {
    const char* stage;
    std::string omk;                // empty: no -spec
    std::vector<std::string> args;  // after the object file
    const char* message;            // what the fatal error says
  };
  const std::string bitmaps = folder / "bitmaps";
  const std::vector<Case> cases = {
      {"graphics", sizes + "<sprite id=1 name=one tgafile=a.tga>\n", {"-graphics", folder / "art/"},
       "fatal error: could not update dest file"},
      {"wall style tags", "<\"wall style\" id=300 name=brick tgafile=style.tga>\n",
       {"-graphics", folder / "art/"}, "could not write object file"},
      {"sounds", "<sound id=1 name=a.wav>\n", {"-sounds"}, "could not write object file"},
      {"slot", "<slots id=128 name=chair><slot name=sit>\n", {"-slot"}, "could not save slots"},
      {"headline", "<headline id=300 name=heads tgafile=head.tga>\n",
       {"-headline", folder / "head.tga", folder / "head.bmp"}, "could not write sprites to destfile"},
      {"attr", "<attributes id=256 name=a><attribute index=0 label=x>\n", {"-attr"},
       "could not save attributes"},
      {"skills", "<\"skill table\"><skill index=0 name=cook type=a2o>\n", {"-skills"},
       "could not save skills"},
      {"catalog", "<catalog bmpfile=thumb.bmp cost=5>\n", {"-catalog", bitmaps},
       "could not write object file"},
      {"ttab", "<ttab guid=4660 name=chat>\n", {"-ttab"}, "couldn't save tree table"},
      {"bmps", "<bmpfile id=900 filename=extra.bmp>\n", {"-bmps", bitmaps}, "could not write object file"},
      {"tmpl", "", {"-tmpl", folder / "template.iff"}, "could not make new object"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stage);
    const std::string object = MakeBrokenObject(folder, Held::kStoredData);
    const std::string before = TestTempFolder::ReadFile(object);
    std::vector<std::string> args = {object};
    if (!c.omk.empty()) {
      args.push_back("-spec");
      args.push_back(folder.WriteFile("object.omk", c.omk));
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    const MorvikResult r = RunMorvik(folder, args);
    EXPECT_EQ(r.code, 1) << r.log;
    EXPECT_TRUE(Contains(r.log, "fatal error: ")) << r.log;
    EXPECT_TRUE(Contains(r.log, c.message)) << r.log;
    EXPECT_EQ(TestTempFolder::ReadFile(object), before);
  }
}

TEST(LostWrites, TileMakersFailOnAFileThatCannotTakeItsWrites) {
  TestTempFolder folder;
  WriteInputs(folder);
  const struct {
    const char* stage;
    std::vector<std::string> words;  // the option and its words before the object file
  } cases[] = {
      {"floor", {"-floor", "5", folder / "floor.bmp"}},
      {"wallpattern", {"-wallpattern", "7", folder / "pattern.bmp"}},
      {"thickwalls", {"-thickwalls", "1", folder / "thick.bmp"}},
      {"thickcutaway", {"-thickcutaway", "1", folder / "thick.bmp", folder / "thick.tga"}},
      {"wall", {"-wall", folder / "wall.tga", folder / "wall.bmp", "2"}},
      {"wallstyle", {"-wallstyle", "5", folder / "style.tga"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stage);
    const std::string object = MakeBrokenObject(folder, Held::kDefinition);
    const std::string before = TestTempFolder::ReadFile(object);
    std::vector<std::string> args = c.words;
    args.push_back(object);
    const MorvikResult r = RunMorvik(folder, args);
    EXPECT_EQ(r.code, 1) << r.log;
    // The maker prints what failed; the build then ends naming the object file.
    EXPECT_TRUE(Contains(r.log, "could not add write sprites : ")) << r.log;
    EXPECT_TRUE(Contains(r.log, "fatal error: could not write object file " + object + " (error "))
        << r.log;
    EXPECT_EQ(TestTempFolder::ReadFile(object), before);
  }
}

TEST(LostWrites, AResourceStillPendingAtTheCloseFailsTheBuild) {
  // No stage writes: reading the object-make file brings the old tree table up to date, and that
  // write can only be tried again when the file closes. It fails there too.
  TestTempFolder folder;
  const std::string object = MakeBrokenObject(folder, Held::kOldTable);
  const std::string before = TestTempFolder::ReadFile(object);
  const std::string spec = folder.WriteFile("object.omk", "<ttab guid=4660>\n");
  const MorvikResult r = RunMorvik(folder, {object, "-spec", spec, "-printdgrps"});
  EXPECT_EQ(r.code, 1) << r.log;
  EXPECT_TRUE(Contains(r.log, "fatal error: could not write object file " + object + " (error "))
      << r.log;
  EXPECT_EQ(TestTempFolder::ReadFile(object), before);
}
