#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "FileLibTestSupport.h"
#include "TestTempFolder.h"
#include "VornFile.h"

namespace {

int OpenDescriptors() {
  int n = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return -1;
  while (::readdir(dir)) ++n;
  ::closedir(dir);
  return n;
}

std::string ReadEntry(VornFileManager& manager, const std::string& path) {
  VornFile* f = manager.Open(VornString(path), false);
  if (!f) return "<null>";
  std::string bytes(static_cast<size_t>(f->GetSize()), '\0');
  bool ok = bytes.empty() || f->ReadBytes(bytes.data(), f->GetSize());
  manager.Close(f);
  return ok ? bytes : "<short>";
}

class VornFARTest : public ::testing::Test {
 protected:
  // Writes source files and packs them with WriteFAR into Path() + "pack.far".
  std::string Pack(const std::vector<FarBytes::Entry>& entries, VornNameMap* out = nullptr) {
    std::string src = fTmp.MakeFolder("src");
    VornNameMap names;
    for (const auto& e : entries) {
      fTmp.WriteFile("src/" + e.name, e.data);
      names[VornString(e.name)] = FileMapping();
    }
    std::string archive = fTmp / "pack.far";
    VornFileManager writer;
    EXPECT_TRUE(writer.WriteFAR(VornString(archive), names, VornString(src)));
    if (out) *out = names;
    return archive;
  }

  TestTempFolder fTmp;
  VornFileManager fManager;
};

TEST_F(VornFARTest, WrittenArchiveMapsAndReadsBackOneAndTwoFoldersDeep) {
  VornNameMap names;
  std::string archive = Pack({{"top.txt", "top data"},
                              {"sub/mid.bin", std::string(5000, 'm')},
                              {"sub/deep/low.txt", "low"}},
                             &names);
  // Directory right after the data; byte 12 holds its offset.
  std::string raw = TestTempFolder::ReadFile(archive);
  uint32_t dirOffset = 16 + 8 + 5000 + 3;
  EXPECT_EQ(raw.substr(0, 8), "FAR!byQK");
  EXPECT_EQ(static_cast<uint8_t>(raw[12]) | static_cast<uint8_t>(raw[13]) << 8, dirOffset & 0xFFFF);
  EXPECT_EQ(names[VornString("sub/deep/low.txt")].mnOffset, 16);  // key order: "sub/d" < "sub/m"
  EXPECT_EQ(names[VornString("sub/mid.bin")].mnSize, 5000);
  EXPECT_EQ(names[VornString("sub/mid.bin")].mnSize2, 5000);

  ASSERT_TRUE(fManager.MapFAR(VornString(archive)));
  EXPECT_EQ(ReadEntry(fManager, fTmp / "top.txt"), "top data");
  EXPECT_EQ(ReadEntry(fManager, fTmp / "SUB\\MID.BIN"), std::string(5000, 'm'));
  EXPECT_EQ(ReadEntry(fManager, fTmp / "sub/deep/low.txt"), "low");

  // An entry opens read-only, its offset 0 is its first byte, reads stop at its end.
  EXPECT_EQ(fManager.Open(VornString(fTmp / "top.txt"), true), nullptr);
  VornFile* f = fManager.Open(VornString(fTmp / "top.txt"), false);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->IsFAR());
  EXPECT_FALSE(f->IsWritable());
  EXPECT_EQ(f->GetSize(), 8);
  char buf[32] = {};
  EXPECT_TRUE(f->Seek(4));
  EXPECT_EQ(f->Read(buf, 32), 4);
  EXPECT_EQ(std::string(buf, 4), "data");
  EXPECT_EQ(f->Read(buf, 32), 0);
  EXPECT_FALSE(f->Seek(9));
  EXPECT_FALSE(f->SetSize(2));
  EXPECT_EQ(f->Write("x", 1), 0);
  fManager.Close(f);

  // Archive entries refuse Delete, Move and Copy; Create of a mapped name fails.
  EXPECT_FALSE(fManager.Delete(VornString(fTmp / "top.txt")));
  EXPECT_FALSE(fManager.Move(VornString(fTmp / "top.txt"), VornString(fTmp / "x.txt")));
  EXPECT_FALSE(fManager.Copy(VornString(fTmp / "top.txt"), VornString(fTmp / "x.txt")));
  EXPECT_FALSE(fManager.Create(VornString(fTmp / "top.txt")));
  EXPECT_TRUE(fManager.Exists(VornString(fTmp / "top.txt")));

  // Closing an entry left the archive open; Reset closes it.
  EXPECT_EQ(ReadEntry(fManager, fTmp / "top.txt"), "top data");
  int before = OpenDescriptors();
  fManager.Reset();
  EXPECT_EQ(OpenDescriptors(), before - 1);
  EXPECT_EQ(fManager.Open(VornString(fTmp / "top.txt"), false), nullptr);
}

TEST_F(VornFARTest, DestructorReleasesArchiveHandles) {
  std::string archive = Pack({{"a.txt", "A"}});
  int before = OpenDescriptors();
  {
    VornFileManager manager;
    ASSERT_TRUE(manager.MapFAR(VornString(archive)));
    EXPECT_EQ(OpenDescriptors(), before + 1);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(VornFARTest, SubFolderRecordsFollowTheMappedParents) {
  // Scanning the folder makes it a key first, as a folder walk does.
  fTmp.WriteFile("one.far",
                 FarBytes::Archive({{"sub\\x.txt", "x"}, {"a\\b\\deep.txt", "d"}}).bytes);
  fManager.ScanFolder(VornString(fTmp.Path()), false, true);
  FileMapping* record = nullptr;
  ASSERT_TRUE(fManager.Lookup(VornString(fTmp / "sub"), &record));
  EXPECT_TRUE(record->mbFolder);
  EXPECT_TRUE(fManager.Lookup(VornString(fTmp / "a\\b\\deep.txt"), nullptr));
  EXPECT_FALSE(fManager.Lookup(VornString(fTmp / "a"), nullptr));  // two deep: not recorded
  EXPECT_FALSE(fManager.Lookup(VornString(fTmp / "a\\b"), nullptr));

  VornFileManager second;
  TestTempFolder other;
  other.WriteFile("two.far",
                  FarBytes::Archive({{"a\\first.txt", "1"}, {"a\\b\\deep.txt", "d"}}).bytes);
  second.ScanFolder(VornString(other.Path()), false, true);
  EXPECT_TRUE(second.Lookup(VornString(other / "a"), nullptr));
  EXPECT_TRUE(second.Lookup(VornString(other / "a\\b"), nullptr));
}

// Entries named with a ".." part, a leading separator, a drive colon, or an empty or "." part
// map nothing: no name, no folder key and no folder record outside the archive's own plain
// tree, in the archive's folder or the mapped folder above it. The plain entries still map.
TEST_F(VornFARTest, EntriesThatAreNoPlainPathsArePassedOver) {
  struct Case {
    const char* name;
    const char* lookedUp;  // where a careless mapping would put it, below the scanned folder
  };
  const Case kCases[] = {
      {"..\\up.txt", "box\\..\\up.txt"},      {"../up.txt", "box\\..\\up.txt"},
      {"in\\..\\..\\up.txt", "box\\in\\..\\..\\up.txt"},
      {"\\rooted.txt", "box\\\\rooted.txt"},  {"/rooted.txt", "box\\\\rooted.txt"},
      {"c:\\drive.txt", "box\\c:\\drive.txt"}, {"c:here.txt", "box\\c:here.txt"},
      {".\\dot.txt", "box\\.\\dot.txt"},       {"in\\.\\dot.txt", "box\\in\\.\\dot.txt"},
      {"in\\\\two.txt", "box\\in\\\\two.txt"}, {"in\\", "box\\in\\"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TestTempFolder tmp;
    tmp.WriteFile("box/x.far", FarBytes::Archive({{c.name, "bad"}, {"in\\ok.txt", "ok"}}).bytes);
    VornFileManager manager;
    ScopedDebugCapture reports;
    manager.ScanFolder(VornString(tmp.Path()), false, false);
    manager.ScanFolder(VornString(tmp / "box/"), false, true);
    EXPECT_TRUE(reports.Saw("entry name stays inside the archive's folder"));
    EXPECT_FALSE(manager.Lookup(VornString(tmp / c.lookedUp), nullptr));
    EXPECT_EQ(ReadEntry(manager, tmp / "box/in/ok.txt"), "ok");
    // The only records: "box" above, "in" in the archive's folder, "ok.txt" in "in".
    std::vector<std::string> keys;
    for (const char* folder : {"", "box/", "box/in/"}) {
      const VornNameMap* names = manager.GetFolderMap(VornString(tmp / folder));
      ASSERT_NE(names, nullptr) << folder;
      for (const auto& item : *names) keys.push_back(folder + item.first.str());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"box", "box/in", "box/in/ok.txt"}));
    EXPECT_FALSE(manager.IsFolderMapped(VornString(tmp / "box/../")));
    EXPECT_FALSE(manager.IsFolderMapped(VornString(tmp / "box/./")));
  }
}

TEST_F(VornFARTest, FirstMappingOfAPathWins) {
  fTmp.WriteFile("a.far", FarBytes::Archive({{"same.txt", "from a"}, {"Same.TXT", "dup"}}).bytes);
  fTmp.WriteFile("b.far", FarBytes::Archive({{"same.txt", "from b"}, {"zz.txt", "disk?"},
                                             {"aa.txt", "archive?"}}).bytes);
  fTmp.WriteFile("zz.txt", "disk");  // met after b.far: the disk file takes the record over
  fTmp.WriteFile("aa.txt", "loose");  // met before b.far: the archive's entry is passed over
  fManager.ScanFolder(VornString(fTmp.Path()), false, true);
  EXPECT_EQ(ReadEntry(fManager, fTmp / "same.txt"), "from a");
  EXPECT_EQ(ReadEntry(fManager, fTmp / "zz.txt"), "disk");
  EXPECT_EQ(ReadEntry(fManager, fTmp / "aa.txt"), "loose");
  FileMapping* record = nullptr;
  ASSERT_TRUE(fManager.Lookup(VornString(fTmp / "zz.txt"), &record));
  EXPECT_FALSE(record->mbFAR);
}

TEST_F(VornFARTest, BrokenArchivesAreRefusedWholeAndStayPlainFiles) {
  FarBytes good = FarBytes::Archive({{"one.txt", "1111"}, {"two.txt", "22"}});
  struct Broken {
    const char* what;
    FarBytes bytes;
  };
  std::vector<Broken> cases;
  {
    FarBytes b = good;
    b.bytes[3] = '?';
    cases.push_back({"bad magic", b});
  }
  {
    FarBytes b = good;
    b.PatchU32(8, 2);
    cases.push_back({"bad version", b});
  }
  {
    FarBytes b = good;
    uint32_t dir = 16 + 6;
    b.PatchU32(dir, 0);
    cases.push_back({"count 0", b});
    b.PatchU32(dir, 500000);
    cases.push_back({"count 500000", b});
    b.PatchU32(dir, 3);
    cases.push_back({"count past the directory", b});
  }
  {
    FarBytes b = good;
    uint32_t second = 16 + 6 + 4 + 16 + 7;  // the second entry's size field
    b.PatchU32(second, 0xFFFFFFF0u);
    cases.push_back({"size past the end", b});
    b = good;
    b.PatchU32(second + 8, 0x7FFFFFFFu);
    cases.push_back({"offset past the end", b});
    b = good;
    b.PatchU32(second + 12, 2047);
    cases.push_back({"name length 2047", b});
    b = good;
    b.PatchU32(second + 12, 100);
    cases.push_back({"name past the end", b});
  }
  {
    FarBytes b = good;
    b.PatchU32(12, 0xFFFFFF00u);
    cases.push_back({"directory offset past the end", b});
    b.bytes.resize(10);
    cases.push_back({"truncated header", b});
  }
  for (const Broken& c : cases) {
    SCOPED_TRACE(c.what);
    TestTempFolder tmp;
    std::string path = tmp.WriteFile("broken.far", c.bytes.bytes);
    VornFileManager manager;
    ScopedDebugCapture reports;
    int before = OpenDescriptors();
    EXPECT_FALSE(manager.MapFAR(VornString(path)));
    EXPECT_EQ(OpenDescriptors(), before);  // no handle kept
    EXPECT_FALSE(manager.Lookup(VornString(tmp / "one.txt"), nullptr));
    EXPECT_EQ(manager.GetFolderMap(VornString(tmp.Path())), nullptr);

    // In a folder scan it stays an ordinary file.
    manager.ScanFolder(VornString(tmp.Path()), false, true);
    FileMapping* record = nullptr;
    ASSERT_TRUE(manager.Lookup(VornString(path), &record));
    EXPECT_FALSE(record->mbFAR);
    EXPECT_FALSE(manager.Lookup(VornString(tmp / "one.txt"), nullptr));
  }
}

TEST_F(VornFARTest, NameLengthLimit) {
  std::string name2046(2046, 'n');
  fTmp.WriteFile("long.far", FarBytes::Archive({{name2046, "ok"}}).bytes);
  ASSERT_TRUE(fManager.MapFAR(VornString(fTmp / "long.far")));
  EXPECT_EQ(ReadEntry(fManager, fTmp / name2046), "ok");
}

TEST_F(VornFARTest, ExtractRefusesNamesThatClimbOut) {
  std::string box = fTmp.MakeFolder("box");
  fTmp.WriteFile("box/x.far", FarBytes::Archive({{"..\\escape.txt", "bad"},
                                                 {"ok\\..\\..\\also.txt", "bad"},
                                                 {"Keep\\Good.txt", "good"},
                                                 {"top.txt", "top"}})
                                      .bytes);
  std::string dest = fTmp.MakeFolder("out/dest");
  ScopedDebugCapture reports;
  VornFileManager manager;
  manager.Extract(VornString(box + "x.far"), VornString(dest));
  EXPECT_EQ(TestTempFolder::ReadFile(dest + "keep/good.txt"), "good");
  EXPECT_EQ(TestTempFolder::ReadFile(dest + "top.txt"), "top");
  EXPECT_FALSE(PlatformPathExists((fTmp / "out/escape.txt").c_str()));
  EXPECT_FALSE(PlatformPathExists((fTmp / "escape.txt").c_str()));
  EXPECT_FALSE(PlatformPathExists((fTmp / "also.txt").c_str()));
  EXPECT_FALSE(PlatformPathExists((fTmp / "out/also.txt").c_str()));
  EXPECT_TRUE(reports.Saw("entry name stays inside"));
}

TEST_F(VornFARTest, WriteFARFailsCleanly) {
  VornNameMap names;
  names[VornString("missing.txt")] = FileMapping();
  ScopedDebugCapture reports;
  std::string archive = fTmp / "fail.far";
  EXPECT_FALSE(fManager.WriteFAR(VornString(archive), names, VornString(fTmp.Path())));
  EXPECT_FALSE(PlatformPathExists(archive.c_str()));

  fTmp.WriteFile("present.txt", "p");
  VornNameMap one;
  one[VornString("present.txt")] = FileMapping();
  PlatformFileResetFaults();
  PlatformFileFailAt(kPlatformFaultWrite, 5);
  EXPECT_FALSE(fManager.WriteFAR(VornString(archive), one, VornString(fTmp.Path())));
  PlatformFileResetFaults();
  EXPECT_FALSE(PlatformPathExists(archive.c_str()));
}

TEST_F(VornFARTest, EntriesOfOneArchiveReadFromManyThreads) {
  std::string a(20000, 'a'), b(20000, 'b');
  for (size_t i = 0; i < a.size(); ++i) {
    a[i] = static_cast<char>('a' + i % 13);
    b[i] = static_cast<char>('A' + i % 17);
  }
  fTmp.WriteFile("t.far", FarBytes::Archive({{"a.bin", a}, {"b.bin", b}}).bytes);
  ASSERT_TRUE(fManager.MapFAR(VornString(fTmp / "t.far")));
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::string& expect = t % 2 ? a : b;
      std::string path = fTmp / (t % 2 ? "a.bin" : "b.bin");
      for (int round = 0; round < 20; ++round) {
        VornFile* f = fManager.Open(VornString(path), false);
        std::string got(expect.size(), '\0');
        for (size_t at = 0; at < got.size(); at += 1000) {
          if (!f->ReadBytes(&got[at], 1000)) ++mismatches;
        }
        if (got != expect) ++mismatches;
        fManager.Close(f);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST(VornPathMap, ScanRecordsAndSearches) {
  TestTempFolder tmp;
  tmp.WriteFile("Alpha.TXT", "1");
  tmp.WriteFile("beta.bmp", "22");
  tmp.WriteFile("nofar", "not an archive either");  // ends in "far" without a dot
  std::string locked = tmp.WriteFile("locked.txt", "x");
  ::chmod(locked.c_str(), 0444);
  tmp.WriteFile("Sub/inner.txt", "i");
  tmp.MakeFolder("Empty");

  VornFileManager m;
  ScopedDebugCapture reports;
  MapFindData data;
  EXPECT_FALSE(m.FindFirst(VornString(tmp / "*"), data));  // not mapped yet

  m.ScanFolder(VornString(tmp.Path()), false, false);
  EXPECT_TRUE(m.IsFolderMapped(VornString(tmp.Path())));
  EXPECT_FALSE(m.IsFolderMapped(VornString(tmp / "Sub/")));
  EXPECT_FALSE(m.Lookup(VornString(tmp / "nofar"), nullptr));  // archives not mapped: passed over
  FileMapping* record = nullptr;
  ASSERT_TRUE(m.Lookup(VornString(tmp / "LOCKED.txt"), &record));
  EXPECT_FALSE(record->mbWritable);
  ASSERT_TRUE(m.Lookup(VornString(tmp / "sub"), &record));
  EXPECT_TRUE(record->mbFolder);
  EXPECT_TRUE(record->mbWritable);

  std::vector<std::string> found;
  for (bool ok = m.FindFirst(VornString(tmp / "*.TXT"), data); ok; ok = m.FindNext(data)) {
    found.push_back(data.mName.str());
  }
  EXPECT_EQ(found, (std::vector<std::string>{"alpha.txt", "locked.txt"}));
  EXPECT_FALSE(m.FindNext(data));
  EXPECT_FALSE(m.FindFirst(VornString(tmp / "*.wav"), data));

  m.AddFolder(VornString(tmp.Path()), true, true);
  EXPECT_TRUE(m.IsFolderMapped(VornString(tmp / "sub\\")));
  EXPECT_TRUE(m.IsFolderMapped(VornString(tmp / "empty/")));
  EXPECT_FALSE(m.FindFirst(VornString(tmp / "empty/*"), data));  // mapped but empty
  ASSERT_TRUE(m.Lookup(VornString(tmp / "nofar"), &record));  // no valid archive: a plain file
  EXPECT_FALSE(record->mbFAR);

  // Create, Move, Copy and Delete keep a mapped folder's records.
  EXPECT_TRUE(m.Create(VornString(tmp / "made.txt")));
  EXPECT_TRUE(m.Lookup(VornString(tmp / "made.txt"), nullptr));
  EXPECT_TRUE(m.Move(VornString(tmp / "made.txt"), VornString(tmp / "moved.txt")));
  EXPECT_FALSE(m.Lookup(VornString(tmp / "made.txt"), nullptr));
  EXPECT_TRUE(m.Copy(VornString(tmp / "moved.txt"), VornString(tmp / "copied.txt")));
  EXPECT_TRUE(m.Lookup(VornString(tmp / "copied.txt"), nullptr));
  EXPECT_TRUE(m.Delete(VornString(tmp / "copied.txt")));
  EXPECT_FALSE(m.Lookup(VornString(tmp / "copied.txt"), nullptr));

  // A missing folder ends a scan quietly.
  m.ScanFolder(VornString(tmp / "missing/"), false, false);
  EXPECT_FALSE(m.IsFolderMapped(VornString(tmp / "missing/")));
  m.ScanFolder(VornString(tmp / "noslash"), false, false);
  EXPECT_TRUE(reports.Saw("directoryName"));
}

TEST(VornPathMap, MatchWildcard) {
  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {
      {"", "*", true},           {"a", "a*", true},          {"", "?", false},
      {"file.bmp", "*.BMP", true}, {"a", "**", true},        {"abc", "a***c", true},
      {"ab", "a***c", false},    {"x.far", "*far", true},    {"abc", "?b?", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VornFileManager::MatchWildcard(c.name, c.pattern, false), c.match)
        << c.name << " ~ " << c.pattern;
  }
  EXPECT_FALSE(VornFileManager::MatchWildcard("A", "a", true));
  // Many runs of '*' against a long name finish at once.
  std::string name(3000, 'a');
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  pattern += "*b";
  EXPECT_FALSE(VornFileManager::MatchWildcard(name.c_str(), pattern.c_str(), false));
  std::string longName(2000, 'Z');
  EXPECT_TRUE(VornFileManager::MatchWildcard(longName.c_str(), "z*z", false));
}

}  // namespace

namespace {

TEST(VornPathMap, DumpMappingListsEveryRecord) {
  TestTempFolder tmp;
  tmp.WriteFile("d.far", FarBytes::Archive({{"a.txt", "A"}, {"b.txt", "BB"}}).bytes);
  VornFileManager m;
  ASSERT_TRUE(m.MapFAR(VornString(tmp / "d.far")));
  VornString archive(tmp / "d.far");
  NormalizePath(archive);
  ScopedDebugCapture capture;
  m.DumpMapping();
  std::vector<std::string> text = capture.Text();
  ASSERT_EQ(text.size(), 3u);
  EXPECT_EQ(text[0], "VornFileManager::DumpMapping--------------------------------------------\n");
  EXPECT_EQ(text[1], "0:Dir [a.txt] is at:" + archive.str() + " size:1 offset:16\n");
  EXPECT_EQ(text[2], "1:Dir [b.txt] is at:" + archive.str() + " size:2 offset:17\n");
}

}  // namespace
