// ParseCommandLine in-process: the fields that a valid line sets.
#include "CommandLineBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DebugCapture.h"

namespace {

// Parses `args` (the program word is added) and expects no usage error.
struct Parsed {
  explicit Parsed(std::vector<std::string> args) : fWords(std::move(args)) {
    fWords.insert(fWords.begin(), "morvik");
    for (std::string& w : fWords) fArgv.push_back(w.data());
    fArgv.push_back(nullptr);
    fLog = open_memstream(&fLogText, &fLogSize);
    fBuilder = std::make_unique<CommandLineBuilder>(fLog, static_cast<int32_t>(fWords.size()), fArgv.data());
    try {
      fBuilder->ParseCommandLine();
      fOk = true;
    } catch (const char*) {
      fOk = false;
    }
    std::fflush(fLog);
  }
  ~Parsed() {
    fBuilder.reset();
    std::fclose(fLog);
    std::free(fLogText);
  }
  CommandLineBuilder& operator*() { return *fBuilder; }
  CommandLineBuilder* operator->() { return fBuilder.get(); }

  std::vector<std::string> fWords;
  std::vector<char*> fArgv;
  char* fLogText = nullptr;
  size_t fLogSize = 0;
  FILE* fLog;
  std::unique_ptr<CommandLineBuilder> fBuilder;
  bool fOk = false;
};

}  // namespace

TEST(CommandLineBuilder, DirectoriesGetATrailingSlash) {
  struct Case {
    std::string option, dir, expected;
  } cases[] = {{"-graphics", "tga", "tga/"},     {"-graphics", "tga/", "tga/"}, {"-graphics", "tga\\", "tga\\"},
               {"-bmps", "art", "art/"},         {"-bmps", "art\\", "art\\"}};
  for (const Case& c : cases) {
    Parsed p({"obj.iff", "-spec", "a.omk", c.option, c.dir});
    ASSERT_TRUE(p.fOk) << c.option << " " << c.dir;
    const StringBuffer& dir = c.option == "-graphics" ? p->fGraphicsDir : p->fBitmapDir;
    EXPECT_STREQ(dir.c_str(), c.expected.c_str());
    EXPECT_EQ(c.option == "-graphics" ? p->fMakeGraphics : p->fMakeBitmaps, 1);
  }
}

TEST(CommandLineBuilder, WallAndTileFields) {
  Parsed wall({"obj.iff", "-wall", "w.tga", "w.bmp", "3c"});
  ASSERT_TRUE(wall.fOk);
  EXPECT_EQ(wall->fWallStyle, 3);
  EXPECT_EQ(wall->fCutaway, 1);
  EXPECT_EQ(wall->fMakeWall, 1);
  EXPECT_STREQ(wall->fTgaFile.c_str(), "w.tga");
  EXPECT_STREQ(wall->fPaletteFile.c_str(), "w.bmp");

  Parsed plain({"obj.iff", "-wall", "w.tga", "w.bmp", "12"});
  ASSERT_TRUE(plain.fOk);
  EXPECT_EQ(plain->fWallStyle, 12);
  EXPECT_EQ(plain->fCutaway, 0);

  Parsed water({"-watertile", "7", "water.iff"});
  ASSERT_TRUE(water.fOk);
  EXPECT_STREQ(water->fBmpFile.c_str(), "07.bmp");
  EXPECT_STREQ(water->fTgaFile.c_str(), "07.tga");
  EXPECT_STREQ(water->fObjectFile.c_str(), "water.iff");
  EXPECT_EQ(water->fTileId, 7);
  EXPECT_EQ(water->fMakeWaterTile, 1);

  Parsed style({"-wallstyle", "5C", "s.tga", "styles.iff"});
  ASSERT_TRUE(style.fOk);
  EXPECT_EQ(style->fTileId, 5);
  EXPECT_EQ(style->fCutaway, 1);
  EXPECT_STREQ(style->fObjectFile.c_str(), "styles.iff");
  // The same object file named before the tile option too: nothing is dropped.
  Parsed twice({"styles.iff", "-wallstyle", "5", "s.tga", "styles.iff"});
  ASSERT_TRUE(twice.fOk);
  EXPECT_STREQ(twice->fObjectFile.c_str(), "styles.iff");

  Parsed shadow({"-floorshadow", "9", "f.bmp", "floor.iff"});
  ASSERT_TRUE(shadow.fOk);
  EXPECT_EQ(shadow->fMakeFloor, 1);
  EXPECT_EQ(shadow->fFloorShadow, 1);
  EXPECT_EQ(shadow->fPoolTile, 0);

  Parsed cut({"-thickcutaway", "3", "t.bmp", "t.tga", "thick.iff"});
  ASSERT_TRUE(cut.fOk);
  EXPECT_EQ(cut->fThickWallScale, 3);
  EXPECT_STREQ(cut->fBmpFile.c_str(), "t.bmp");
  EXPECT_STREQ(cut->fTgaFile.c_str(), "t.tga");
  EXPECT_STREQ(cut->fObjectFile.c_str(), "thick.iff");
}

TEST(CommandLineBuilder, TemplateOptionsAndFlags) {
  Parsed p({"obj.iff", "-tmpl", "t.iff", "-retain", "-prefix", "pre", "-v", "-spec", "a.omk", "-sounds", "-slot",
            "-attr", "-skills", "-printdgrps", "-ttab", "-catalog", "cat", "-famhist", "fh.txt"});
  ASSERT_TRUE(p.fOk);
  EXPECT_EQ(p->fHasTemplate, 1);
  EXPECT_STREQ(p->fTemplateFile.c_str(), "t.iff");
  EXPECT_EQ(p->fRetain, 1);
  EXPECT_STREQ(p->fPrefix.c_str(), "pre");
  EXPECT_EQ(p->fVerbose, 1);
  EXPECT_STREQ(p->fAttributesFile.c_str(), "a.omk");
  EXPECT_EQ(p->fMakeSounds + p->fMakeSlots + p->fMakeAttributes + p->fMakeSkills + p->fPrintDrawGroups +
                p->fMakeTreeTables + p->fMakeCatalog + p->fMakeFamilyHistory,
            8);
  EXPECT_STREQ(p->fCatalogDir.c_str(), "cat");
  EXPECT_STREQ(p->fFamilyHistoryFile.c_str(), "fh.txt");
  EXPECT_STREQ(p->fProgramPath.c_str(), "morvik");
  EXPECT_EQ(p.fLogSize, 0u);
}

TEST(CommandLineBuilder, EmptySpecFileIsReported) {
  ScopedDebugCapture capture;
  Parsed p({"obj.iff", "-spec", "", "-graphics", "d"});
  EXPECT_FALSE(p.fOk);
  EXPECT_TRUE(capture.Saw("got a 0 length string for spec file"));
  std::string log(p.fLogText, p.fLogSize);
  EXPECT_EQ(log.rfind("morvik: no spec file specified\n", 0), 0u);
}
