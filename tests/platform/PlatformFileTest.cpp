#include "PlatformFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestTempFolder.h"

namespace {

void MakeReadOnly(const std::string& path) { ::chmod(path.c_str(), 0444); }

TEST(PlatformFile, OpenModes) {
  TestTempFolder tmp;
  std::string plain = tmp.WriteFile("plain.bin", "hello");
  std::string locked = tmp.WriteFile("locked.bin", "ro");
  MakeReadOnly(locked);

  EXPECT_EQ(PlatformFileOpen((tmp / "missing").c_str(), PlatformOpenMode::kReadExisting), nullptr);
  EXPECT_EQ(PlatformFileOpen((tmp / "missing").c_str(), PlatformOpenMode::kReadWriteExisting),
            nullptr);
  EXPECT_EQ(PlatformFileOpen(nullptr, PlatformOpenMode::kReadExisting), nullptr);
  EXPECT_EQ(PlatformFileOpen("", PlatformOpenMode::kReadExisting), nullptr);

  // Read-only comes from the mode bits, whoever runs the test.
  EXPECT_EQ(PlatformFileOpen(locked.c_str(), PlatformOpenMode::kReadWriteExisting), nullptr);
  EXPECT_EQ(PlatformFileOpen(locked.c_str(), PlatformOpenMode::kCreateAlways), nullptr);
  PlatformFile* ro = PlatformFileOpen(locked.c_str(), PlatformOpenMode::kReadExisting);
  ASSERT_NE(ro, nullptr);
  EXPECT_FALSE(PlatformFileIsWritable(ro));
  EXPECT_EQ(PlatformFileWrite(ro, "x", 1), 0);
  EXPECT_FALSE(PlatformFileTruncate(ro, 0));
  PlatformFileClose(ro);

  // A folder never opens as a file, in any mode.
  std::string folder = tmp.MakeFolder("sub");
  for (PlatformOpenMode m : {PlatformOpenMode::kReadExisting, PlatformOpenMode::kReadWriteExisting,
                             PlatformOpenMode::kCreateAlways, PlatformOpenMode::kCreateNew}) {
    EXPECT_EQ(PlatformFileOpen(folder.c_str(), m), nullptr);
    EXPECT_EQ(PlatformFileOpen((tmp / "sub").c_str(), m), nullptr);
  }

  // Create-new refuses an existing name, also under another case; create-always empties.
  EXPECT_EQ(PlatformFileOpen(plain.c_str(), PlatformOpenMode::kCreateNew), nullptr);
  EXPECT_EQ(PlatformFileOpen((tmp / "PLAIN.bin").c_str(), PlatformOpenMode::kCreateNew), nullptr);
  PlatformFile* fresh = PlatformFileOpen((tmp / "fresh.bin").c_str(), PlatformOpenMode::kCreateNew);
  ASSERT_NE(fresh, nullptr);
  PlatformFileClose(fresh);
  PlatformFile* emptied = PlatformFileOpen(plain.c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(emptied, nullptr);
  EXPECT_EQ(PlatformFileSize(emptied), 0);
  PlatformFileClose(emptied);
  PlatformFileClose(nullptr);
}

TEST(PlatformFile, ReadWriteSeekSizeTruncate) {
  TestTempFolder tmp;
  PlatformFile* f = PlatformFileOpen((tmp / "data.bin").c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(PlatformFileIsWritable(f));
  EXPECT_EQ(PlatformFileWrite(f, "abcdefghij", 10), 10);
  EXPECT_EQ(PlatformFileWrite(f, "x", 0), 0);
  EXPECT_EQ(PlatformFileTell(f), 10);
  EXPECT_EQ(PlatformFileSize(f), 10);

  char buf[16] = {};
  EXPECT_TRUE(PlatformFileSeek(f, 6));
  EXPECT_EQ(PlatformFileRead(f, buf, 16), 4);  // bytes moved, not bytes asked
  EXPECT_EQ(std::string(buf, 4), "ghij");
  EXPECT_EQ(PlatformFileRead(f, buf, 16), 0);  // at the end
  EXPECT_FALSE(PlatformFileSeek(f, -1));
  EXPECT_EQ(PlatformFileTell(f), 10);

  // A seek past the end is allowed; the file grows only when written.
  EXPECT_TRUE(PlatformFileSeek(f, 20));
  EXPECT_EQ(PlatformFileSize(f), 10);
  EXPECT_TRUE(PlatformFileTruncate(f, 4));
  EXPECT_EQ(PlatformFileSize(f), 4);
  EXPECT_EQ(PlatformFileTell(f), 20);  // truncate leaves the place alone
  EXPECT_TRUE(PlatformFileTruncate(f, 8));
  EXPECT_TRUE(PlatformFileSeek(f, 0));
  EXPECT_EQ(PlatformFileRead(f, buf, 16), 8);
  EXPECT_EQ(std::memcmp(buf, "abcd\0\0\0\0", 8), 0);
  EXPECT_TRUE(PlatformFileFlush(f));
  PlatformFileClose(f);
}

// A view shows the file's bytes in place from any offset, also after the file is closed; a
// range not wholly inside the file, or a read fault, gives no view (the caller reads instead).
TEST(PlatformFile, ViewsCopiesAndWriteback) {
  TestTempFolder tmp;
  std::string bytes(70000, '\0');
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = char(i * 7 + i / 251);
  PlatformFile* f = PlatformFileOpen((tmp / "view.bin").c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(PlatformFileWrite(f, bytes.data(), int64_t(bytes.size())), int64_t(bytes.size()));
  EXPECT_TRUE(PlatformFileStartWriteback(f, 0, int64_t(bytes.size())));
  EXPECT_FALSE(PlatformFileStartWriteback(f, 0, 0));

  PlatformFileView view;
  ASSERT_TRUE(view.Map(f, 4097, 60000));
  EXPECT_EQ(view.Size(), 60000);
  PlatformFileView tail;
  EXPECT_TRUE(tail.Map(f, 69999, 1));
  EXPECT_FALSE(tail.Map(f, 69999, 2)) << "past the end";
  EXPECT_EQ(tail.Data(), nullptr);
  EXPECT_FALSE(tail.Map(f, -1, 10));
  PlatformFileFailAt(kPlatformFaultRead, 1);
  EXPECT_FALSE(tail.Map(f, 0, 10)) << "a read fault";
  PlatformFileResetFaults();

  // A copy within the system lands at the place asked, moves neither position, and stops at
  // the end of the source.
  PlatformFile* g = PlatformFileOpen((tmp / "copy.bin").c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(g, nullptr);
  ASSERT_TRUE(PlatformFileSeek(f, 5));
  EXPECT_EQ(PlatformFileCopyRange(f, 1000, g, 10, 50000), 50000);
  EXPECT_EQ(PlatformFileCopyRange(f, 69000, g, 50010, 5000), 1000) << "the source ends";
  EXPECT_EQ(PlatformFileTell(f), 5);
  EXPECT_EQ(PlatformFileTell(g), 0);
  PlatformFileFailAt(kPlatformFaultWrite, 1);
  EXPECT_EQ(PlatformFileCopyRange(f, 0, g, 0, 10), 0) << "a write fault";
  PlatformFileResetFaults();
  PlatformFileClose(g);
  const std::string copied = TestTempFolder::ReadFile(tmp / "copy.bin");
  ASSERT_EQ(copied.size(), 51010u);
  EXPECT_EQ(copied.substr(10), bytes.substr(1000, 50000) + bytes.substr(69000));
  PlatformFile* readOnly = PlatformFileOpen((tmp / "copy.bin").c_str(), PlatformOpenMode::kReadExisting);
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(PlatformFileCopyRange(f, 0, readOnly, 0, 10), 0) << "open for reading only";
  PlatformFileClose(readOnly);

  PlatformFileClose(f);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view.Data()), 60000), bytes.substr(4097, 60000));
}

TEST(PlatformFile, PathsTakeEitherSeparatorAndAnyCase) {
  TestTempFolder tmp;
  tmp.WriteFile("Data/Sub/File.TXT", "payload");
  std::string base = tmp.Path();
  for (const char* rel : {"Data/Sub/File.TXT", "data\\sub\\file.txt", "DATA/sub\\FILE.txt"}) {
    SCOPED_TRACE(rel);
    PlatformFile* f = PlatformFileOpen((base + rel).c_str(), PlatformOpenMode::kReadExisting);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(PlatformFileSize(f), 7);
    PlatformFileClose(f);
    EXPECT_TRUE(PlatformPathExists((base + rel).c_str()));
  }
  EXPECT_TRUE(PlatformIsFolder((base + "data\\SUB\\").c_str()));
  EXPECT_FALSE(PlatformIsFolder((base + "data/sub/file.txt").c_str()));
  // A new name under an existing folder of another case lands in that folder.
  EXPECT_EQ(PlatformResolvePath((base + "DATA\\new.bin").c_str()), base + "Data/new.bin");
}

TEST(PlatformFile, FolderIdentityIsTheFolderNotThePath) {
  TestTempFolder tmp;
  tmp.WriteFile("Data/Sub/file.txt", "x");
  tmp.MakeFolder("Other");
  ASSERT_EQ(::symlink((tmp / "Data").c_str(), (tmp / "Data/Sub/up").c_str()), 0);
  const std::string data = PlatformFolderIdentity((tmp / "Data").c_str());
  ASSERT_FALSE(data.empty());
  // Every way of reaching Data names it; other folders, files and missing names do not.
  for (const char* rel : {"Data/", "data\\", "Data/Sub/..", "Data/./Sub/up", "DATA\\SUB\\UP\\"}) {
    SCOPED_TRACE(rel);
    EXPECT_EQ(PlatformFolderIdentity((tmp / rel).c_str()), data);
  }
  EXPECT_NE(PlatformFolderIdentity((tmp / "Other").c_str()), data);
  EXPECT_NE(PlatformFolderIdentity((tmp / "Data/Sub").c_str()), data);
  EXPECT_EQ(PlatformFolderIdentity((tmp / "Data/Sub/file.txt").c_str()), "");
  EXPECT_EQ(PlatformFolderIdentity((tmp / "missing").c_str()), "");
  EXPECT_EQ(PlatformFolderIdentity(""), "");
}

TEST(PlatformFile, DeleteMoveCopyCreateFolder) {
  TestTempFolder tmp;
  std::string a = tmp.WriteFile("a.txt", "AAA");
  std::string b = tmp.WriteFile("b.txt", "BB");
  std::string locked = tmp.WriteFile("locked.txt", "L");
  MakeReadOnly(locked);

  // Move and copy never overwrite, also not a name that differs only in case.
  EXPECT_FALSE(PlatformFileMove(a.c_str(), b.c_str()));
  EXPECT_FALSE(PlatformFileMove(a.c_str(), (tmp / "B.TXT").c_str()));
  EXPECT_FALSE(PlatformFileCopy(a.c_str(), b.c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(b), "BB");
  EXPECT_FALSE(PlatformFileMove((tmp / "none").c_str(), (tmp / "other").c_str()));

  EXPECT_TRUE(PlatformFileCopy(a.c_str(), (tmp / "c.txt").c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(tmp / "c.txt"), "AAA");
  EXPECT_TRUE(PlatformFileCopy(locked.c_str(), (tmp / "lockcopy.txt").c_str()));
  PlatformFile* copy = PlatformFileOpen((tmp / "lockcopy.txt").c_str(), PlatformOpenMode::kReadWriteExisting);
  EXPECT_EQ(copy, nullptr);  // the copy keeps the read-only bits
  PlatformFileClose(copy);
  EXPECT_FALSE(PlatformFileCopy(tmp.Path().c_str(), (tmp / "dircopy").c_str()));

  EXPECT_TRUE(PlatformFileMove(a.c_str(), (tmp / "moved.txt").c_str()));
  EXPECT_FALSE(PlatformPathExists(a.c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(tmp / "moved.txt"), "AAA");
  EXPECT_TRUE(PlatformFileMove((tmp / "moved.txt").c_str(), (tmp / "MOVED.txt").c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(tmp / "MOVED.txt"), "AAA");

  EXPECT_TRUE(PlatformFileDelete((tmp / "C.TXT").c_str()));
  EXPECT_FALSE(PlatformPathExists((tmp / "c.txt").c_str()));
  EXPECT_FALSE(PlatformFileDelete((tmp / "c.txt").c_str()));
  EXPECT_FALSE(PlatformFileDelete(locked.c_str()));

  std::string folder = tmp / "newdir";
  EXPECT_TRUE(PlatformCreateFolder(folder.c_str()));
  EXPECT_FALSE(PlatformCreateFolder(folder.c_str()));
  EXPECT_FALSE(PlatformCreateFolder((tmp / "NEWDIR").c_str()));
  EXPECT_FALSE(PlatformCreateFolder((tmp / "no/such/parent").c_str()));
  EXPECT_FALSE(PlatformFileDelete(folder.c_str()));
  EXPECT_TRUE(PlatformIsFolder(folder.c_str()));
}

std::vector<std::string> FindAll(const std::string& pattern) {
  std::vector<std::string> names;
  PlatformFind find;
  for (bool ok = find.First(pattern.c_str()); ok; ok = find.Next()) names.push_back(find.Entry().name);
  return names;
}

TEST(PlatformFind, PatternsOrderAndFlags) {
  TestTempFolder tmp;
  tmp.WriteFile("Beta.FAR", "12345");
  tmp.WriteFile("alpha.txt", "1");
  tmp.WriteFile("gamma", "");
  std::string locked = tmp.WriteFile("ro.txt", "x");
  MakeReadOnly(locked);
  tmp.MakeFolder("Zed");

  using V = std::vector<std::string>;
  EXPECT_EQ(FindAll(tmp / "*"), (V{"Beta.FAR", "Zed", "alpha.txt", "gamma", "ro.txt"}));
  EXPECT_EQ(FindAll(tmp / "*.*"), FindAll(tmp / "*"));
  EXPECT_EQ(FindAll(tmp / "*.far"), (V{"Beta.FAR"}));
  EXPECT_EQ(FindAll(tmp / "?????"), (V{"gamma"}));
  EXPECT_EQ(FindAll(tmp / "ALPHA.TXT"), (V{"alpha.txt"}));
  EXPECT_EQ(FindAll(tmp / "*.bmp"), V{});
  EXPECT_EQ(FindAll(tmp / "missing\\*"), V{});
  EXPECT_EQ(FindAll(tmp.Path()), V{});

  // Backslashes and a folder of another case.
  std::string back = tmp.Path();
  for (char& c : back) {
    if (c == '/') c = '\\';
  }
  EXPECT_EQ(FindAll(back + "*.TXT"), (V{"alpha.txt", "ro.txt"}));
  tmp.WriteFile("Zed/inner.bin", "abc");
  EXPECT_EQ(FindAll(tmp / "zed\\*"), (V{"inner.bin"}));

  PlatformFind find;
  ASSERT_TRUE(find.First((tmp / "*").c_str()));
  EXPECT_EQ(find.Entry().name, "Beta.FAR");
  EXPECT_FALSE(find.Entry().folder);
  EXPECT_FALSE(find.Entry().readOnly);
  EXPECT_EQ(find.Entry().size, 5);
  ASSERT_TRUE(find.Next());
  EXPECT_TRUE(find.Entry().folder);
  ASSERT_TRUE(find.Next());
  ASSERT_TRUE(find.Next());
  ASSERT_TRUE(find.Next());
  EXPECT_EQ(find.Entry().name, "ro.txt");
  EXPECT_TRUE(find.Entry().readOnly);
  EXPECT_FALSE(find.Next());
  EXPECT_FALSE(find.Next());
}

TEST(PlatformFind, MatchPattern) {
  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {
      {"", "*", true},          {"a", "a*", true},         {"", "?", false},
      {"ab.txt", "*.TXT", true}, {"abc", "a?c", true},      {"ac", "a?c", false},
      {"abc", "ab", false},     {"ab", "abc", false},      {"", "**", true},
      {"a", "a**", true},       {"abcbd", "*b*d", true},   {"abcbe", "*b*d", false},
      {"x.y.z", "*.z", true},   {"ABC", "abc", true},      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*a*c", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlatformMatchPattern(c.name, c.pattern), c.match) << c.name << " vs " << c.pattern;
  }
  EXPECT_FALSE(PlatformMatchPattern("ABC", "abc", true));
  EXPECT_TRUE(PlatformMatchPattern("ABC", "A?C", true));
  std::string longName(5000, 'q');
  EXPECT_TRUE(PlatformMatchPattern(longName.c_str(), "q*q"));
}

TEST(PlatformFile, StreamsGoThroughTheFileCalls) {
  TestTempFolder tmp;
  PlatformFileResetFaults();
  std::string locked = tmp.WriteFile("locked.txt", "ro");
  MakeReadOnly(locked);
  EXPECT_EQ(PlatformFileOpenStream(locked.c_str(), PlatformOpenMode::kCreateAlways), nullptr);
  EXPECT_EQ(PlatformFileOpenStream(tmp.MakeFolder("sub").c_str(), PlatformOpenMode::kCreateAlways),
            nullptr);
  EXPECT_EQ(PlatformFileOpenStream((tmp / "missing").c_str(), PlatformOpenMode::kReadExisting),
            nullptr);

  // Written under another case: the existing name is the one emptied and written.
  std::string existing = tmp.WriteFile("Log.txt", "old text that is longer");
  FILE* out = PlatformFileOpenStream((tmp / "LOG.TXT").c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(out, nullptr);
  EXPECT_GT(std::fprintf(out, "run %d\n", 7), 0);
  EXPECT_EQ(std::fseek(out, 0, SEEK_END), 0);
  EXPECT_EQ(std::ftell(out), 6);
  EXPECT_EQ(std::fclose(out), 0);

  FILE* in = PlatformFileOpenStream(existing.c_str(), PlatformOpenMode::kReadExisting);
  ASSERT_NE(in, nullptr);
  char word[16] = {};
  int number = 0;
  EXPECT_EQ(std::fscanf(in, "%15s%d", word, &number), 2);
  EXPECT_STREQ(word, "run");
  EXPECT_EQ(number, 7);
  EXPECT_EQ(std::fgetc(in), '\n');
  EXPECT_EQ(std::fgetc(in), EOF);
  EXPECT_EQ(std::fputc('x', in), EOF);  // a stream opened for reading writes nothing
  std::fclose(in);

  // A write that the fault injection fails is the stream's error.
  out = PlatformFileOpenStream(existing.c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(out, nullptr);
  PlatformFileFailAt(kPlatformFaultWrite, 1);
  std::fputs("lost", out);
  EXPECT_NE(std::fflush(out), 0);
  EXPECT_NE(std::ferror(out), 0);
  std::fclose(out);
  PlatformFileResetFaults();
}

TEST(PlatformFileFaults, NthCallFailsOnceOrSticky) {
  TestTempFolder tmp;
  PlatformFileResetFaults();
  PlatformFile* f = PlatformFileOpen((tmp / "f.bin").c_str(), PlatformOpenMode::kCreateAlways);
  PlatformFile* g = PlatformFileOpen((tmp / "g.bin").c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(f, nullptr);
  ASSERT_NE(g, nullptr);

  // Counted across files: the second write from now is g's first.
  PlatformFileFailAt(kPlatformFaultWrite, 2);
  EXPECT_EQ(PlatformFileWrite(f, "ab", 2), 2);
  EXPECT_EQ(PlatformFileWrite(g, "ab", 2), 0);
  EXPECT_EQ(PlatformFileWrite(g, "ab", 2), 2);  // disarmed after firing
  EXPECT_EQ(PlatformFileSize(g), 2);
  EXPECT_EQ(PlatformFileCallCount(kPlatformFaultWrite), 3);

  PlatformFileFailAt(kPlatformFaultSeek, 1);
  EXPECT_FALSE(PlatformFileSeek(f, 0));
  EXPECT_EQ(PlatformFileTell(f), 2);  // a failed seek leaves the place
  EXPECT_TRUE(PlatformFileSeek(f, 0));

  PlatformFileFailAt(kPlatformFaultTruncate, 1, true);
  EXPECT_FALSE(PlatformFileTruncate(f, 0));
  EXPECT_FALSE(PlatformFileTruncate(g, 0));
  EXPECT_EQ(PlatformFileSize(f), 2);

  PlatformFileFailAt(kPlatformFaultFlush, 1);
  EXPECT_FALSE(PlatformFileFlush(f));
  EXPECT_TRUE(PlatformFileFlush(f));

  PlatformFileFailAt(kPlatformFaultRead, 1);
  char c;
  EXPECT_EQ(PlatformFileRead(f, &c, 1), 0);
  EXPECT_EQ(PlatformFileRead(f, &c, 1), 1);

  PlatformFileResetFaults();
  EXPECT_TRUE(PlatformFileTruncate(f, 0));
  EXPECT_EQ(PlatformFileCallCount(kPlatformFaultTruncate), 1);
  PlatformFileFailAt(kPlatformFaultWrite, 1);
  PlatformFileFailAt(kPlatformFaultWrite, 0);  // disarms again
  EXPECT_EQ(PlatformFileWrite(f, "z", 1), 1);
  PlatformFileResetFaults();
  PlatformFileClose(f);
  PlatformFileClose(g);
}

// The kinds of call that change files beyond writes and syncs of a file: each fails when
// armed, changes nothing on disk, and counts apart from the others.
TEST(PlatformFileFaults, EveryKindOfChangingCallCanFail) {
  TestTempFolder tmp;
  PlatformFileResetFaults();
  const std::string a = tmp.WriteFile("a.bin", "aaaa");
  const std::string b = tmp / "b.bin";
  struct Case {
    PlatformFaultOp op;
    const char* what;
    std::function<bool()> call;   // true when the call succeeded
    std::function<bool()> intact; // the disk is as before the failing call
  };
  const std::vector<Case> cases = {
      {kPlatformFaultCreate, "create",
       [&] {
         PlatformFile* f = PlatformFileOpen(b.c_str(), PlatformOpenMode::kCreateNew);
         PlatformFileClose(f);
         return f != nullptr;
       },
       [&] { return !PlatformPathExists(b.c_str()); }},
      {kPlatformFaultCreate, "copy", [&] { return PlatformFileCopy(a.c_str(), b.c_str()); },
       [&] { return !PlatformPathExists(b.c_str()); }},
      {kPlatformFaultOpen, "open",
       [&] {
         PlatformFile* f = PlatformFileOpen(a.c_str(), PlatformOpenMode::kReadWriteExisting);
         PlatformFileClose(f);
         return f != nullptr;
       },
       [&] { return TestTempFolder::ReadFile(a) == "aaaa"; }},
      {kPlatformFaultRename, "move", [&] { return PlatformFileMove(a.c_str(), b.c_str()); },
       [&] { return PlatformPathExists(a.c_str()) && !PlatformPathExists(b.c_str()); }},
      {kPlatformFaultRename, "replace", [&] { return PlatformFileReplace(a.c_str(), b.c_str()); },
       [&] { return PlatformPathExists(a.c_str()) && !PlatformPathExists(b.c_str()); }},
      {kPlatformFaultFolderSync, "folder sync", [&] { return PlatformFolderSync(tmp.Path().c_str()); },
       [] { return true; }},
  };
  for (const Case& c : cases) {
    PlatformFileResetFaults();
    PlatformFileFailAt(c.op, 1);
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_TRUE(c.intact()) << c.what;
    EXPECT_EQ(PlatformFileCallCount(c.op), 1) << c.what;
    for (int other = 0; other < kPlatformFaultKinds; ++other)
      if (other != c.op && other != kPlatformFaultFolderSync)
        EXPECT_EQ(PlatformFileCallCount(PlatformFaultOp(other)), 0) << c.what << " counted as " << other;
  }
  PlatformFileResetFaults();

  // A replace whose folder sync fails has renamed all the same, and says both.
  tmp.WriteFile("c.bin", "cc");
  PlatformFileFailAt(kPlatformFaultFolderSync, 1);
  bool renamed = false;
  EXPECT_FALSE(PlatformFileReplace(a.c_str(), (tmp / "c.bin").c_str(), &renamed));
  EXPECT_TRUE(renamed);
  EXPECT_EQ(TestTempFolder::ReadFile(tmp / "c.bin"), "aaaa");
  PlatformFileResetFaults();
}

// A short write puts the first half of its bytes, reports them, and is recorded as such; a
// sticky one cuts every later write.
TEST(PlatformFileFaults, ShortWritesPutHalfTheirBytes) {
  TestTempFolder tmp;
  PlatformFileResetFaults();
  PlatformFile* f = PlatformFileOpen((tmp / "s.bin").c_str(), PlatformOpenMode::kCreateAlways);
  ASSERT_NE(f, nullptr);
  PlatformRecordStart();
  PlatformFileFailAt(kPlatformFaultShortWrite, 2, true);
  EXPECT_EQ(PlatformFileWriteAt(f, "0123456789", 10, 0), 10);
  EXPECT_EQ(PlatformFileWriteAt(f, "ABCDEFGHIJ", 10, 0), 5);
  EXPECT_EQ(PlatformFileWriteAtGathered(f, "ab", 2, "cdef", 4, 10), 3);
  EXPECT_EQ(PlatformFileWrite(f, "x", 1), 0);  // half of one byte is none
  std::vector<PlatformRecordedCall> calls = PlatformRecordStop();
  PlatformFileResetFaults();
  PlatformFileClose(f);
  EXPECT_EQ(TestTempFolder::ReadFile(tmp / "s.bin"), "ABCDE56789abc");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].bytes, "ABCDE");
  EXPECT_EQ(calls[2].bytes, "abc");
  EXPECT_EQ(PlatformFileCallCount(kPlatformFaultWrite), 0);  // reset
}

}  // namespace
