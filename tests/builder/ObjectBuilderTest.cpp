#include "ObjectBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "DebugCapture.h"
#include "PlatformThread.h"
#include "TestTempFolder.h"
#include "XAssert.h"
#include "attribtable.h"

namespace {

// A log stream in memory.
struct MemoryLog {
  MemoryLog() { fFile = open_memstream(&fText, &fSize); }
  ~MemoryLog() {
    if (gLogStream == fFile) gLogStream = nullptr;  // a Run made it the log stream
    std::fclose(fFile);
    std::free(fText);
  }
  std::string Text() {
    std::fflush(fFile);
    return std::string(fText, fSize);
  }
  FILE* fFile;
  char* fText = nullptr;
  size_t fSize = 0;
};

// Installs a build procedure for one test.
struct BuildProcScope {
  explicit BuildProcScope(ObjectBuilder::BuildProc proc) { ObjectBuilder::SetBuildProcForTesting(proc); }
  ~BuildProcScope() { ObjectBuilder::SetBuildProcForTesting(nullptr); }
};

ObjectBuilder* gSeenBuilder = nullptr;

void FailingBuild(ObjectBuilder& builder) {
  gSeenBuilder = gCurrentBuilder;
  EXPECT_EQ(gCurrentBuilder, &builder);
  ThrowError("abc");
}

void SucceedingBuild(ObjectBuilder&) {
  gSeenBuilder = gCurrentBuilder;
  LogMessage("rendering sprite 1");
  PrintWarning("odd size", nullptr);
  AttribEntry entry;
  entry.fLine = 12;
  PrintWarning("missing key", &entry);
}

void OtherExceptionBuild(ObjectBuilder&) { throw std::runtime_error("not a build error"); }

void LineErrorBuild(ObjectBuilder&) {
  AttribEntry entry;
  entry.fLine = 7;
  ThrowError("bad value", &entry);
}

void NullPlaceErrorBuild(ObjectBuilder&) { ThrowError("no place", nullptr); }

void AssertingBuild(ObjectBuilder&) {
  XASSERT(false, "broken invariant");
  LogMessage("not reached");
}

}  // namespace

// A builder that logs into memory, run with a given build procedure.
class ObjectBuilderRun : public ::testing::Test {
 protected:
  ObjectBuilderRun() { builder.fLogFile = log.fFile; }
  int32_t RunWith(ObjectBuilder::BuildProc proc) {
    BuildProcScope scope(proc);
    gSeenBuilder = nullptr;
    return builder.Run();
  }
  MemoryLog log;
  ObjectBuilder builder;
};

TEST_F(ObjectBuilderRun, TerminateIsLoggedAndTheCurrentBuilderCleared) {
  EXPECT_EQ(RunWith(FailingBuild), 1);
  EXPECT_EQ(gSeenBuilder, &builder);
  EXPECT_EQ(gCurrentBuilder, nullptr);
  EXPECT_EQ(log.Text(), "fatal error: abc\n\n");
}

TEST_F(ObjectBuilderRun, ASucceedingBuildLogsAndReturnsZero) {
  EXPECT_EQ(RunWith(SucceedingBuild), 0);
  EXPECT_EQ(gSeenBuilder, &builder);
  EXPECT_EQ(gCurrentBuilder, nullptr);
  EXPECT_EQ(log.Text(), "rendering sprite 1\nwarning: odd size\nwarning: line: 12 - missing key\n");
}

TEST_F(ObjectBuilderRun, OtherExceptionsPassOnAndStillClearTheCurrentBuilder) {
  EXPECT_THROW(RunWith(OtherExceptionBuild), std::runtime_error);
  EXPECT_EQ(gCurrentBuilder, nullptr);
}

TEST_F(ObjectBuilderRun, ErrorsWithALineNumber) {
  EXPECT_EQ(RunWith(LineErrorBuild), 1);
  EXPECT_EQ(log.Text(), "fatal error: line: 7 - bad value\n\n");
  EXPECT_EQ(RunWith(NullPlaceErrorBuild), 1);
  EXPECT_EQ(log.Text(), "fatal error: line: 7 - bad value\n\nfatal error: no place\n\n");
}

TEST_F(ObjectBuilderRun, ThePlaceholderDriverNeverClaimsABuild) {
  EXPECT_EQ(builder.Run(), 1);
  EXPECT_EQ(log.Text().rfind("fatal error: ", 0), 0u);
}

TEST_F(ObjectBuilderRun, SyncBufferGetsLogLinesWithCrLfAndWarningsUnchanged) {
  std::string shared;
  PlatformLock lock;
  builder.SetSync(&shared, &lock);
  EXPECT_TRUE(builder.HasSyncBuffer());
  EXPECT_EQ(RunWith(SucceedingBuild), 0);
  EXPECT_EQ(shared, "rendering sprite 1\r\nwarning: odd size\nwarning: line: 12 - missing key\n");

  builder.EnterSync();
  EXPECT_STREQ(builder.GetSyncMessage(), shared.c_str());
  builder.ClearSyncMessage();
  builder.LeaveSync();
  EXPECT_TRUE(shared.empty());

  EXPECT_EQ(RunWith(FailingBuild), 1);
  EXPECT_EQ(shared, "fatal error: abc\n\r\n");
}

TEST(ObjectBuilder, SyncCallsWithoutBufferAreReported) {
  ScopedDebugCapture capture;
  ObjectBuilder builder;
  EXPECT_FALSE(builder.HasSyncBuffer());
  builder.AppendSyncMessage("x");
  EXPECT_STREQ(builder.GetSyncMessage(), "");
  builder.ClearSyncMessage();
  EXPECT_EQ(capture.Count("no sync buffer"), 3);
}

TEST_F(ObjectBuilderRun, AssertionOnTheDialogWorkerEndsTheBuild) {
  ScopedDebugCapture capture;
  SetXAssertMode(XAssertMode::kDialog);
  int32_t result = -1;
  std::thread worker([&] {
    SetXAssertWorkerThread(PlatformCurrentThreadId());
    builder.fRunning = 1;
    result = RunWith(AssertingBuild);
    builder.fRunning = 0;
    SetXAssertWorkerThread(0);
  });
  worker.join();
  SetXAssertMode(XAssertMode::kConsole);
  EXPECT_EQ(result, 1);
  std::string text = log.Text();
  EXPECT_EQ(text.rfind("fatal error: XASSERT failure in file ", 0), 0u) << text;
  EXPECT_NE(text.find(" : (false) broken invariant\n\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("not reached"), std::string::npos);
  EXPECT_EQ(capture.ReportCount(), 0u);
}

namespace {

// The assertion that the next AssertionAtSiteBuild raises, as a file layer would raise it.
const char* gAssertFile = "";
std::string gAssertMessage;

void AssertionAtSiteBuild(ObjectBuilder&) {
  XAssertFailure(gAssertFile, 46, "false", gAssertMessage.c_str());
  LogMessage("not reached");
}

}  // namespace

// An assertion of the layers that read and write object files, on the dialog's worker, ends
// the build with a message that names the file, without the assertion's text or source path.
TEST_F(ObjectBuilderRun, AssertionAboutAFileOnTheDialogWorkerNamesTheFile) {
  TestTempFolder dir;
  const std::string damaged = dir.WriteFile("set dir/chair.spf", "x");
  dir.WriteFile("set dir/chair.iff", "x");
  const std::string base = dir / "set dir/chair";
  struct Case {
    const char* source;
    std::string message;
    std::string fatal;  // the log's first line
  };
  const Case cases[] = {
      {"/build/src/resfile/IFFResFile2.cpp", "corrupt map found. " + damaged,
       "fatal error: object file " + damaged + " is damaged and cannot be read"},
      {"src\\resfile\\IFFResFile2.cpp", "could not write resource " + damaged,
       "fatal error: could not write object file " + damaged},
      {"/build/src/resfile/IFFResMap.cpp", "reconstitution type mismatch",
       "fatal error: object file " + base + ".iff or " + base + ".spf is damaged and cannot be read"},
      {"/build/src/records/ObjDefinition.cpp", "bad version",
       "fatal error: object file " + base + ".iff or " + base + ".spf is damaged and cannot be read"},
      // Elsewhere an assertion is a fault of the program: its text is kept.
      {"/home/records/src/builder/SpecSet.cpp", "bad spec " + damaged,
       "fatal error: XASSERT failure in file /home/records/src/builder/SpecSet.cpp, line 46 : (false) bad spec " +
           damaged},
  };
  ScopedDebugCapture capture;
  SetXAssertMode(XAssertMode::kDialog);
  builder.fObjectFile.assign(base.c_str());
  for (const Case& c : cases) {
    gAssertFile = c.source;
    gAssertMessage = c.message;
    MemoryLog caseLog;
    builder.fLogFile = caseLog.fFile;
    int32_t result = -1;
    std::thread worker([&] {
      SetXAssertWorkerThread(PlatformCurrentThreadId());
      result = RunWith(AssertionAtSiteBuild);
      SetXAssertWorkerThread(0);
    });
    worker.join();
    EXPECT_EQ(result, 1) << c.message;
    EXPECT_EQ(caseLog.Text(), c.fatal + "\n\n") << c.source;
  }
  SetXAssertMode(XAssertMode::kConsole);
  EXPECT_EQ(capture.ReportCount(), 0u);
}

TEST(ObjectBuilder, TerminateCopiesAndCutsItsText) {
  Terminate a("first");
  Terminate b(a);
  EXPECT_STREQ(b.c_str(), "first");
  EXPECT_NE(a.c_str(), b.c_str());
  std::string big(3000, 'e');
  Terminate c(big.c_str());
  EXPECT_EQ(std::string(c.c_str()).size(), 1023u);
}

TEST(ObjectBuilder, Defaults) {
  ObjectBuilder builder;
  EXPECT_EQ(builder.fTileId, INT32_MIN);
  EXPECT_EQ(builder.fSpecs, nullptr);
  EXPECT_EQ(builder.fLogFile, nullptr);
  EXPECT_EQ(builder.fSyncMessage, nullptr);
  EXPECT_EQ(builder.fObjectFile.length(), 0);
  EXPECT_EQ(builder.fMakeGraphics, 0);
}
