// The call recording and the folder sync: what a crash-replay test rebuilds files from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PlatformFile.h"
#include "TestTempFolder.h"

namespace {

using Kind = PlatformRecordedKind;

TEST(PlatformFolderSync, SyncsFoldersOnly) {
  TestTempFolder tmp;
  std::string file = tmp.WriteFile("a.bin", "x");
  EXPECT_TRUE(PlatformFolderSync(tmp.Path().c_str()));
  EXPECT_TRUE(PlatformFolderSync(tmp.MakeFolder("Sub").c_str()));
  EXPECT_TRUE(PlatformFolderSync((tmp / "sub").c_str())) << "found in another case";
  EXPECT_FALSE(PlatformFolderSync(file.c_str())) << "a file";
  EXPECT_FALSE(PlatformFolderSync((tmp / "missing").c_str()));
  EXPECT_FALSE(PlatformFolderSync(""));
}

// Every file-changing call of a run comes back in order, with what the system took; reads,
// seeks, failed calls and calls outside the armed span leave no trace.
TEST(PlatformRecord, CapturesEveryChangeInOrder) {
  TestTempFolder tmp;
  const std::string folder = tmp.Path().substr(0, tmp.Path().size() - 1);
  const std::string a = tmp / "a.bin", b = tmp / "b.bin", c = tmp / "c.bin", d = tmp / "d.bin";
  tmp.WriteFile("old.bin", "old");
  PlatformFile* before = PlatformFileOpen(a.c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(before, nullptr);
  ASSERT_EQ(PlatformFileWrite(before, "unseen", 6), 6);

  PlatformRecordStart();
  ASSERT_TRUE(PlatformFileSeek(before, 2));
  ASSERT_EQ(PlatformFileWrite(before, "XY", 2), 2);  // a file opened before arming
  PlatformFileClose(before);
  PlatformFile* f = PlatformFileOpen(b.c_str(), PlatformOpenMode::kCreateNew);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(PlatformFileWrite(f, "hello", 5), 5);
  PlatformFileFailAt(kPlatformFaultWrite, 1);
  ASSERT_EQ(PlatformFileWrite(f, "lost", 4), 0);
  PlatformFileResetFaults();
  // Writes at an offset, one of two parts in one call: each is one write of what it wrote.
  ASSERT_EQ(PlatformFileWriteAt(f, "at", 2, 7), 2);
  ASSERT_EQ(PlatformFileWriteAtGathered(f, "ab", 2, "cd", 2, 9), 4);
  PlatformFileFailAt(kPlatformFaultSeek, 1);
  ASSERT_EQ(PlatformFileWriteAtGathered(f, "lo", 2, "st", 2, 0), 0);
  PlatformFileResetFaults();
  ASSERT_TRUE(PlatformFileSeek(f, 1));
  char got[2];
  ASSERT_EQ(PlatformFileRead(f, got, 2), 2);
  PlatformRecordMark("step");
  ASSERT_TRUE(PlatformFileTruncate(f, 4));
  PlatformFile* g = PlatformFileOpen(a.c_str(), PlatformOpenMode::kReadWriteExisting);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(PlatformFileCopyRange(f, 1, g, 10, 3), 3);
  ASSERT_TRUE(PlatformFileFlush(g));
  PlatformFileClose(g);
  PlatformFileClose(f);
  ASSERT_FALSE(PlatformFileMove(b.c_str(), a.c_str())) << "never overwrites";
  ASSERT_TRUE(PlatformFileMove(b.c_str(), c.c_str()));
  ASSERT_TRUE(PlatformFileCopy(c.c_str(), d.c_str()));
  ASSERT_TRUE(PlatformFileReplace(d.c_str(), (tmp / "OLD.BIN").c_str()));
  ASSERT_TRUE(PlatformFileDelete(c.c_str()));
  ASSERT_TRUE(PlatformFolderSync(tmp.Path().c_str()));
  std::vector<PlatformRecordedCall> calls = PlatformRecordStop();
  ASSERT_TRUE(PlatformFileDelete(a.c_str()));
  EXPECT_TRUE(PlatformRecordStop().empty()) << "disarmed";

  struct Want {
    Kind kind;
    std::string path, to;
    int64_t offset;
    std::string bytes;
  };
  const std::vector<Want> want = {
      {Kind::kWrite, a, "", 2, "XY"},
      {Kind::kCreate, b, "", 0, ""},
      {Kind::kWrite, b, "", 0, "hello"},
      {Kind::kWrite, b, "", 7, "at"},
      {Kind::kWrite, b, "", 9, "abcd"},
      {Kind::kMark, "step", "", 0, ""},
      {Kind::kTruncate, b, "", 4, ""},
      {Kind::kOpenWrite, a, "", 0, ""},
      {Kind::kWrite, a, "", 10, "ell"},
      {Kind::kSync, a, "", 0, ""},
      {Kind::kMove, b, c, 0, ""},
      {Kind::kCopy, c, d, 0, ""},
      {Kind::kReplace, d, tmp / "old.bin", 0, ""},
      {Kind::kFolderSync, folder, "", 0, ""},
      {Kind::kDelete, c, "", 0, ""},
      {Kind::kFolderSync, folder, "", 0, ""},
  };
  ASSERT_EQ(calls.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE("call " + std::to_string(i));
    EXPECT_EQ(calls[i].kind, want[i].kind);
    EXPECT_EQ(calls[i].path, want[i].path);
    EXPECT_EQ(calls[i].to, want[i].to);
    EXPECT_EQ(calls[i].offset, want[i].offset);
    EXPECT_EQ(calls[i].bytes, want[i].bytes);
  }
  // Calls through one open file carry its number; a file opened while disarmed has none.
  EXPECT_EQ(calls[0].file, 0u);
  EXPECT_NE(calls[1].file, 0u);
  for (size_t i : {2, 3, 4, 6}) EXPECT_EQ(calls[i].file, calls[1].file) << i;
  EXPECT_NE(calls[7].file, calls[1].file);
  EXPECT_NE(calls[7].file, 0u);
  EXPECT_EQ(calls[8].file, calls[7].file);
  EXPECT_EQ(calls[9].file, calls[7].file);
}

}  // namespace
