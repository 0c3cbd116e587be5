#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "IFFResFile2.h"
#include "ObjectBuilder.h"
#include "SpecSet.h"
#include "SpecTestSupport.h"
#include "TestTempFolder.h"

namespace {

const char kGoodSpec[] =
    "<sizes lwidth=10 lheight=20 mwidth=6 mheight=8 swidth=4 sheight=5>\n"
    "<sprite id=1 tgafile=a.tga>\n"
    "<sound id=1 name=a>\n";

// Makes an empty IFF 2.x object file.
std::string MakeObjectFile(const TestTempFolder& folder, const std::string& name) {
  std::string path = folder / name;
  IFFResFile2 file;
  EXPECT_EQ(file.Create(FixedStringBuffer<260>(path.c_str())), 0);
  return path;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Runs a builder in-process with its log in a temporary file.
struct InProcess {
  ObjectBuilder builder;
  std::string log;
  int32_t Run() {
    FILE* file = std::tmpfile();
    builder.fLogFile = file;
    FILE* const oldLog = gLogStream;  // Run makes `file` the log stream; it is closed below
    int32_t result = builder.Run();
    gLogStream = oldLog;
    std::fflush(file);
    long end = std::ftell(file);
    std::rewind(file);
    log.resize(size_t(end));
    log.resize(std::fread(log.data(), 1, log.size(), file));
    std::fclose(file);
    builder.fLogFile = nullptr;
    return result;
  }
};

}  // namespace

TEST(BuildDriver, MorvikCompilesTheSpecFileBeforeTheSpecStages) {
  TestTempFolder folder;
  const std::string dest = MakeObjectFile(folder, "dest.iff");
  const std::string spec = folder.WriteFile("file.omk", std::string(kGoodSpec) + "<frob>\n");
  MorvikResult r = RunMorvik(folder, {dest, "-spec", spec, "-sounds"});
  EXPECT_EQ(r.code, 0) << r.log;
  EXPECT_TRUE(Contains(r.log, "warning: line: 4 - unknown tag: frob\n")) << r.log;
  // The sound of the spec file reached the object file.
  IFFResFile2 file;
  ASSERT_EQ(file.Open(FixedStringBuffer<260>(dest.c_str())), 0);
  EXPECT_EQ(file.Count(MakeResType('F', 'W', 'A', 'V')), 1);
}

TEST(BuildDriver, MorvikFailureMessages) {
  TestTempFolder folder;
  const std::string dest = MakeObjectFile(folder, "dest.iff");
  const std::string spec = folder.WriteFile("file.omk", kGoodSpec);
  const std::string badOrder = folder.WriteFile("order.omk", "<slot>\n");
  const std::string notIff = folder.WriteFile("plain.iff", "just some text, not a resource file");
  const std::string readOnly = MakeObjectFile(folder, "locked.iff");
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);

  struct Case {
    std::vector<std::string> args;
    std::string fatal;
  };
  const Case cases[] = {
      {{folder / "missing.iff", "-spec", spec, "-sounds"},
       "could not open object file " + folder / "missing.iff"},
      {{notIff, "-spec", spec, "-sounds"}, "could not open object file " + notIff},
      {{readOnly, "-spec", spec, "-sounds"}, "object file " + readOnly + " is read-only"},
      {{readOnly, "-spec", spec, "-graphics", folder.Path()},
       "object file " + readOnly + " is read-only"},
      {{dest, "-spec", folder / "missing.omk", "-sounds"},
       "could not open attributes file " + folder / "missing.omk"},
      // The family-history stage comes before the object-make file is read.
      {{dest, "-spec", folder / "missing.omk", "-famhist", folder / "out.txt"},
       "history resource not found"},
      {{dest, "-spec", badOrder, "-slot"}, "slot tag received before slots tag"},
      {{readOnly, "-watertile", "7", readOnly}, "BMP file 07.bmp required.  Could not obtain palette."},
      {{readOnly, "-wallpattern", "1", "p.bmp", readOnly},
       "object file " + readOnly + " is read-only"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    MorvikResult r = RunMorvik(folder, c.args);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Contains(r.log, "fatal error: " + c.fatal + "\n")) << r.log;
  }
}

TEST(BuildDriver, SpecOnlyBuildCompilesAndClosesTheFile) {
  TestTempFolder folder;
  InProcess run;
  run.builder.fObjectFile.assign(MakeObjectFile(folder, "dest.iff").c_str());
  run.builder.fAttributesFile.assign(folder.WriteFile("file.omk", kGoodSpec).c_str());
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.log, "");
  ASSERT_NE(run.builder.fSpecs, nullptr);
  EXPECT_EQ(run.builder.fSpecs->fSprites.Count(), 1);
  EXPECT_EQ(run.builder.fSpecs->fSounds.Count(), 1);
  EXPECT_EQ(iResFile::FirstLiveFile(), nullptr);  // the object file is closed
}

TEST(BuildDriver, ObjectFileIsClosedOnEveryPath) {
  TestTempFolder folder;
  const std::string dest = MakeObjectFile(folder, "dest.iff");
  const std::string bad = folder.WriteFile("bad.omk", "<attribute>");
  {
    // No object-make file and no stage: the destination is opened and closed.
    InProcess run;
    run.builder.fObjectFile.assign(dest.c_str());
    EXPECT_EQ(run.Run(), 0);
    EXPECT_EQ(iResFile::FirstLiveFile(), nullptr);
    EXPECT_EQ(run.builder.fSpecs, nullptr);
  }
  {
    // A fatal error in the compiler.
    InProcess run;
    run.builder.fObjectFile.assign(dest.c_str());
    run.builder.fAttributesFile.assign(bad.c_str());
    EXPECT_EQ(run.Run(), 1);
    EXPECT_EQ(run.log, "fatal error: got an attribute tag before attributes tag\n\n");
    EXPECT_EQ(iResFile::FirstLiveFile(), nullptr);
  }
  {
    // A fatal error in a stage before the object-make file.
    InProcess run;
    run.builder.fObjectFile.assign(dest.c_str());
    run.builder.fMakeThickWalls = 1;
    EXPECT_EQ(run.Run(), 1);
    EXPECT_EQ(run.log, "fatal error: -thickwalls: this stage is not built yet\n\n");
    EXPECT_EQ(iResFile::FirstLiveFile(), nullptr);
  }
  // The file is still a sound, empty IFF file.
  IFFResFile2 file;
  ASSERT_EQ(file.Open(FixedStringBuffer<260>(dest.c_str())), 0);
  EXPECT_EQ(file.CountTypes(), 0);
}

TEST(BuildDriver, TemplateStageComesFirst) {
  TestTempFolder folder;
  InProcess run;
  run.builder.fObjectFile.assign((folder / "missing.iff").c_str());
  run.builder.fTemplateFile.assign((folder / "template.iff").c_str());
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.log, "fatal error: could not make new object\n\n");
}
