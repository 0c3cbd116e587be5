#include "VornFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "FileLibTestSupport.h"
#include "TestTempFolder.h"

namespace {

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

class VornFileTest : public ::testing::Test {
 protected:
  VornFile* OpenRead(const std::string& path) { return fManager.Open(VornString(path), false); }
  VornFile* OpenWrite(const std::string& path) { return fManager.Open(VornString(path), true); }

  TestTempFolder fTmp;
  VornFileManager fManager;
};

TEST_F(VornFileTest, CachedReadsStraddleBlocksAndStopAtTheEnd) {
  std::string data = Pattern(5000);
  VornFile* f = OpenRead(fTmp.WriteFile("big.bin", data));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->GetSize(), 5000);

  std::vector<char> all(5000);
  ASSERT_TRUE(f->ReadBytes(all.data(), 5000));  // a 4096 block, then a 904 block
  EXPECT_EQ(std::string(all.data(), 5000), data);
  EXPECT_EQ(f->Tell(), 5000);
  char one;
  EXPECT_FALSE(f->ReadBytes(&one, 1));
  EXPECT_EQ(f->Tell(), 5000);

  // Small reads across the block edge.
  ASSERT_TRUE(f->Seek(0));
  std::vector<char> part(4090);
  ASSERT_TRUE(f->ReadBytes(part.data(), 4090));
  char edge[12];
  ASSERT_TRUE(f->ReadBytes(edge, 12));
  EXPECT_EQ(std::string(edge, 12), data.substr(4090, 12));
  EXPECT_EQ(f->Tell(), 4102);
  uint32_t word;
  ASSERT_TRUE(f->ReadLong(word));
  EXPECT_EQ(word, static_cast<uint8_t>(data[4102]) | static_cast<uint8_t>(data[4103]) << 8 |
                      static_cast<uint8_t>(data[4104]) << 16 |
                      static_cast<uint32_t>(static_cast<uint8_t>(data[4105])) << 24);
  fManager.Close(f);
}

TEST_F(VornFileTest, ShortFileNeverReadsPastItsBlock) {
  VornFile* f = OpenRead(fTmp.WriteFile("short.bin", "0123456789"));
  ASSERT_NE(f, nullptr);
  char buf[16] = {};
  ASSERT_TRUE(f->ReadBytes(buf, 4));
  EXPECT_EQ(f->Tell(), 4);
  EXPECT_FALSE(f->ReadBytes(buf, 8));  // 6 left
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_EQ(f->Tell(), 10);
  EXPECT_TRUE(f->ReadBytes(buf, 0));

  // A seek to the end is accepted; one past it is refused and changes nothing.
  ASSERT_TRUE(f->Seek(2));
  ASSERT_TRUE(f->ReadBytes(buf, 3));
  EXPECT_FALSE(f->Seek(11));
  EXPECT_FALSE(f->Seek(-1));
  EXPECT_EQ(f->Tell(), 5);
  ASSERT_TRUE(f->ReadBytes(buf, 2));
  EXPECT_EQ(std::string(buf, 2), "56");
  EXPECT_TRUE(f->Seek(10));
  EXPECT_EQ(f->Tell(), 10);
  EXPECT_FALSE(f->ReadBytes(buf, 1));

  // The empty file.
  VornFile* empty = OpenRead(fTmp.WriteFile("empty.bin", ""));
  ASSERT_NE(empty, nullptr);
  EXPECT_FALSE(empty->ReadBytes(buf, 1));
  EXPECT_EQ(empty->Tell(), 0);
  fManager.Close(empty);
  fManager.Close(f);
}

TEST_F(VornFileTest, StringsLongsAndBufferLimits) {
  std::string path = fTmp / "strings.bin";
  ASSERT_TRUE(fManager.Create(VornString(path)));
  VornFile* w = OpenWrite(path);
  ASSERT_NE(w, nullptr);
  std::string s254(254, 'a'), s255(255, 'b');
  ASSERT_TRUE(w->WriteString(s254.c_str()));
  ASSERT_TRUE(w->WriteString(s255.c_str()));
  ASSERT_TRUE(w->WriteLong(int32_t(-2)));
  ASSERT_TRUE(w->WriteString(""));
  EXPECT_EQ(w->GetSize(), 1 + 254 + 5 + 255 + 4 + 1);
  fManager.Close(w);

  std::string raw = TestTempFolder::ReadFile(path);
  EXPECT_EQ(static_cast<uint8_t>(raw[0]), 254);
  EXPECT_EQ(raw.substr(255, 5), std::string("\xFF\xFF\0\0\0", 5));
  EXPECT_EQ(raw.substr(515, 4), std::string("\xFE\xFF\xFF\xFF", 4));

  VornFile* r = OpenRead(path);
  ASSERT_NE(r, nullptr);
  std::vector<char> buf(300);
  {
    ScopedDebugCapture reports;
    EXPECT_FALSE(r->ReadString(buf.data(), 255));  // exactly length + 1
    EXPECT_TRUE(reports.Saw("(len + 1) < size"));
  }
  ASSERT_TRUE(r->Seek(0));
  ASSERT_TRUE(r->ReadString(buf.data(), 256));
  EXPECT_EQ(std::string(buf.data()), s254);
  ASSERT_TRUE(r->ReadString(buf.data(), 257));
  EXPECT_EQ(std::string(buf.data()), s255);
  int32_t value = 0;
  ASSERT_TRUE(r->ReadLong(value));
  EXPECT_EQ(value, -2);
  ASSERT_TRUE(r->ReadString(buf.data(), 1 + 1));
  EXPECT_STREQ(buf.data(), "");
  fManager.Close(r);
}

TEST_F(VornFileTest, StoredStringLengthsAreChecked) {
  // A length near 2^32 must not wrap round the buffer check; one past the end of the file
  // must not be read.
  ScopedDebugCapture reports;
  std::string huge = fTmp.WriteFile("huge.bin", std::string("\xFF\xFF\xFF\xFF\xFFxyz", 8));
  std::string past = fTmp.WriteFile("past.bin", std::string("\x0Axyz", 4));
  std::vector<char> buf(64, 'Q');
  VornFile* f = OpenRead(huge);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(f->ReadString(buf.data(), 64));
  fManager.Close(f);
  f = OpenRead(past);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(f->ReadString(buf.data(), 64));
  EXPECT_EQ(buf[0], 'Q');
  fManager.Close(f);
}

TEST_F(VornFileTest, WriteSeekExtendAndSetSize) {
  std::string path = fTmp.WriteFile("grow.bin", "0123456789");
  VornFile* f = OpenWrite(path);
  ASSERT_NE(f, nullptr);
  {
    ScopedDebugCapture reports;
    EXPECT_TRUE(f->SeekExtend(100));
  }
  EXPECT_EQ(f->GetSize(), 100);
  EXPECT_EQ(f->Tell(), 100);
  EXPECT_EQ(TestTempFolder::ReadFile(path).size(), 10u);  // nothing written yet

  ASSERT_TRUE(f->Seek(8));
  EXPECT_EQ(f->Write("ABCD", 4), 4);
  EXPECT_EQ(f->Write("x", 0), 0);
  ASSERT_TRUE(f->SetSize(6));
  EXPECT_EQ(f->GetSize(), 6);
  EXPECT_EQ(TestTempFolder::ReadFile(path), "012345");
  ASSERT_TRUE(f->SetSize(8));
  EXPECT_EQ(TestTempFolder::ReadFile(path), std::string("012345\0\0", 8));
  EXPECT_TRUE(f->Flush());

  // Platform faults surface as failures, and a failed write does not move the position.
  PlatformFileResetFaults();
  PlatformFileFailAt(kPlatformFaultWrite, 1);
  {
    ScopedDebugCapture reports;
    EXPECT_FALSE(f->WriteBytes("zz", 2));
  }
  EXPECT_EQ(f->Tell(), 8);
  PlatformFileFailAt(kPlatformFaultTruncate, 1);
  {
    ScopedDebugCapture reports;
    EXPECT_FALSE(f->SetSize(2));
  }
  PlatformFileResetFaults();
  fManager.Close(f);

  VornFile* ro = OpenRead(path);
  ASSERT_NE(ro, nullptr);
  EXPECT_EQ(ro->Write("x", 1), 0);
  fManager.Close(ro);
}

TEST_F(VornFileTest, ManagerDiskOperations) {
  VornString a(fTmp.WriteFile("a.txt", "AAAA"));
  VornString b(fTmp.WriteFile("b.txt", "BB"));
  ScopedDebugCapture reports;

  EXPECT_TRUE(fManager.Exists(a));
  EXPECT_TRUE(fManager.Exists(VornString(fTmp / "A.TXT")));
  EXPECT_FALSE(fManager.Exists(VornString(fTmp / "none.txt")));
  EXPECT_FALSE(fManager.Exists(VornString(fTmp.Path())));  // a folder is no file
  EXPECT_EQ(fManager.Open(VornString(fTmp.Path()), false), nullptr);
  EXPECT_EQ(fManager.Open(VornString(fTmp / "none.txt"), false), nullptr);

  EXPECT_FALSE(fManager.Copy(a, b));
  EXPECT_EQ(TestTempFolder::ReadFile(b.str()), "BB");
  EXPECT_FALSE(fManager.Move(a, b));
  EXPECT_TRUE(fManager.Copy(a, VornString(fTmp / "c.txt")));
  EXPECT_TRUE(fManager.Move(VornString(fTmp / "c.txt"), VornString(fTmp / "d.txt")));
  EXPECT_EQ(TestTempFolder::ReadFile(fTmp / "d.txt"), "AAAA");
  EXPECT_TRUE(fManager.Delete(VornString(fTmp / "d.txt")));
  EXPECT_FALSE(fManager.Delete(VornString(fTmp / "d.txt")));

  EXPECT_TRUE(fManager.Create(a));  // empties an existing file
  EXPECT_EQ(TestTempFolder::ReadFile(a.str()), "");

  std::string locked = fTmp.WriteFile("locked.txt", "L");
  ::chmod(locked.c_str(), 0444);
  EXPECT_EQ(OpenWrite(locked), nullptr);
  VornFile* ro = OpenRead(locked);
  ASSERT_NE(ro, nullptr);
  EXPECT_FALSE(ro->IsWritable());
  fManager.Close(ro);

  // Names of opened files are normalised.
  VornFile* f = OpenRead(fTmp / "B.TXT");
  ASSERT_NE(f, nullptr);
  VornString expected(fTmp / "b.txt");
  NormalizePath(expected);
  EXPECT_STREQ(f->GetName(), expected.GetBuffer());
  fManager.Close(f);
}

TEST_F(VornFileTest, CreateFoldersTakesEitherSeparatorAndRelativePaths) {
  VornFileManager::CreateFolders(VornString(fTmp / "one/two\\three/file.bin"));
  EXPECT_TRUE(PlatformIsFolder((fTmp / "one/two/three").c_str()));
  EXPECT_FALSE(PlatformPathExists((fTmp / "one/two/three/file.bin").c_str()));

  // A relative path is made under the current folder.
  std::string cwd = fTmp.MakeFolder("cwd");
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
  VornFileManager::CreateFolders(VornString("r\\s/t.txt"));
  VornFileManager::CreateFolders(VornString("ab"));
  EXPECT_EQ(::chdir(old), 0);
  EXPECT_TRUE(PlatformIsFolder((cwd + "r/s").c_str()));
  EXPECT_FALSE(PlatformPathExists((cwd + "ab").c_str()));
}

TEST(VornPaths, NormaliseAndSplit) {
  VornString p("C:/Game/Data\\Obj.IFF");
  NormalizePath(p);
  EXPECT_STREQ(p.GetBuffer(), "c:\\game\\data\\obj.iff");
  VornString folder, name;
  SplitMappedPath(VornString("A/B\\C.txt"), folder, name);
  EXPECT_STREQ(folder.GetBuffer(), "a\\b\\");
  EXPECT_STREQ(name.GetBuffer(), "c.txt");
  SplitMappedPath(VornString("plain"), folder, name);
  EXPECT_STREQ(folder.GetBuffer(), "");
  EXPECT_STREQ(name.GetBuffer(), "plain");
  std::string longPath(600, 'x');
  SplitMappedPath(VornString("dir\\" + longPath), folder, name);  // no fixed buffer to overflow
  EXPECT_EQ(name.GetLength(), 600u);
  EXPECT_STREQ(GetFolderPart(VornString("a\\b\\c")).GetBuffer(), "a\\b\\");
  EXPECT_STREQ(GetFolderPart(VornString("\\c")).GetBuffer(), "");
  EXPECT_STREQ(GetFolderPart(VornString("c")).GetBuffer(), "");
  EXPECT_TRUE(HasWildcards("a*", -1));
  EXPECT_FALSE(HasWildcards("a?", 1));
}

}  // namespace
