// The folder-resolved resource file: a read-only iResFile over folders of loose resources.
#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

#include "DebugCapture.h"
#include "MemResFile.h"
#include "ResolveResFile.h"
#include "TestTempFolder.h"
#include "VornFile.h"

namespace {

constexpr uint32_t kSPR = MakeResType('S', 'P', 'R', '#');
constexpr uint32_t kBMP = MakeResType('B', 'M', 'P', '_');

std::string Bytes(MHandle* h) {
  std::string out(HLock(h), static_cast<size_t>(HGetSize(h)));
  HUnlock(h);
  return out;
}

void Reverse(void* data, int32_t size) {
  char* p = static_cast<char*>(data);
  for (int32_t i = 0; i < size / 2; ++i) std::swap(p[i], p[size - 1 - i]);
}

class ResolveResFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp.WriteFile("obj.dir/#128#Chair.spr", "chair sprite");
    tmp.WriteFile("obj.dir/#129#table.spr", "table");
    tmp.WriteFile("obj.dir/label.bmp", "bitmap");
    tmp.WriteFile("more/#130#lamp.spr", "lamp");
    tmp.WriteFile("more/#128#other.spr", "hidden by the first folder");
  }
  int32_t OpenFolders(const std::string& list) { return file.Open(FixedStringBuffer<1024>(list.c_str())); }

  TestTempFolder tmp;
  ResolveResFile file;
};

TEST_F(ResolveResFileTest, GetsByIdAndByNameOverTheSite) {
  ASSERT_EQ(OpenFolders(tmp / "obj.dir;" + tmp / "more"), noErr);
  EXPECT_TRUE(file.ValidFile());
  EXPECT_FALSE(file.IsWritable());

  MHandle* chair = file.GetResource(kSPR, 128);
  ASSERT_NE(chair, nullptr);
  EXPECT_EQ(file.GetError(), noErr);
  EXPECT_EQ(Bytes(chair), "chair sprite");
  EXPECT_EQ(file.GetResource(kSPR, 128), chair);  // the same handle again
  EXPECT_TRUE(file.HasHandle(chair));
  EXPECT_TRUE(file.IsNativeOrder(chair));
  FixedStringBuffer<64> name;
  file.GetResName(chair, name);
  EXPECT_STREQ(name.c_str(), "Chair");
  EXPECT_EQ(file.GetResType(chair), kSPR);
  int16_t id = 0;
  file.GetResID(chair, id);
  EXPECT_EQ(id, 128);

  MHandle* lamp = file.GetNamedResource(kSPR, FixedStringBuffer<64>("lamp"));
  ASSERT_NE(lamp, nullptr);
  EXPECT_EQ(Bytes(lamp), "lamp");
  EXPECT_EQ(file.GetNamedResource(kSPR, FixedStringBuffer<64>("lamp")), lamp);
  file.GetResID(lamp, id);
  EXPECT_EQ(id, 130);

  MHandle* label = file.GetNamedResource(kBMP, FixedStringBuffer<64>("LABEL"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(Bytes(label), "bitmap");
  {
    ScopedDebugCapture capture;  // a resource without an id
    file.GetResID(label, id);
    EXPECT_TRUE(capture.Saw("id out of range"));
  }

  EXPECT_EQ(file.GetResource(kSPR, 999), nullptr);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  EXPECT_EQ(file.GetNamedResource(kSPR, FixedStringBuffer<64>("sofa")), nullptr);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  EXPECT_EQ(file.GetNamedResource(kBMP, FixedStringBuffer<64>("")), nullptr);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  EXPECT_EQ(file.GetLanguageResource(kSPR, 128, 1), nullptr);
  EXPECT_EQ(file.GetError(), noLanguagesErr);
  EXPECT_EQ(file.GetLanguageResource(kSPR, 128, 0), chair);
}

TEST_F(ResolveResFileTest, OpenPathsAndNames) {
  EXPECT_EQ(OpenFolders(tmp / "missing.dir"), alreadyOpenErr);
  EXPECT_FALSE(file.ValidFile());
  EXPECT_EQ(OpenFolders(""), alreadyOpenErr);

  std::string backslashed = tmp / "OBJ.dir";
  for (char& c : backslashed)
    if (c == '/') c = '\\';
  ASSERT_EQ(OpenFolders(backslashed), noErr);
  FixedStringBuffer<1024> path;
  file.GetName(path);
  EXPECT_EQ(std::string(path.c_str()), backslashed + "\\");
  {
    ScopedDebugCapture capture;
    EXPECT_EQ(OpenFolders(tmp / "more"), alreadyOpenErr);  // the open site stays
    EXPECT_TRUE(capture.Saw("double opening"));
  }
  EXPECT_NE(file.GetResource(kSPR, 129), nullptr);
  EXPECT_EQ(file.Close(), noErr);
  EXPECT_FALSE(file.ValidFile());
}

TEST_F(ResolveResFileTest, LeadingDotSlashIsDropped) {
  // Run from the temporary folder so that a relative path names the test's folder.
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(tmp.Path().c_str()), 0);
  int32_t result = OpenFolders(".\\./obj.dir");
  MHandle* h = result == noErr ? file.GetResource(kSPR, 128) : nullptr;
  std::string bytes = h ? Bytes(h) : std::string();
  FixedStringBuffer<256> path;
  if (result == noErr) file.GetName(path);
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(result, noErr);
  EXPECT_EQ(bytes, "chair sprite");
  EXPECT_STREQ(path.c_str(), ".\\obj.dir\\");
}

TEST_F(ResolveResFileTest, TypesCountsAndIndexes) {
  ASSERT_EQ(OpenFolders(tmp / "obj.dir"), noErr);
  EXPECT_EQ(file.CountTypes(), 2);
  EXPECT_EQ(file.GetError(), noErr);
  EXPECT_EQ(file.GetIndType(1), MakeResType('s', 'p', 'r', 0));
  EXPECT_EQ(file.GetIndType(2), MakeResType('b', 'm', 'p', 0));
  EXPECT_EQ(file.GetIndType(0), 0u);
  EXPECT_EQ(file.GetError(), -1);
  EXPECT_EQ(file.GetIndType(3), 0u);
  EXPECT_EQ(file.GetError(), -1);

  // Only folders that the global file manager maps are listed.
  EXPECT_EQ(file.Count(kSPR), 0);
  EXPECT_EQ(file.GetIndResource(kSPR, 1), nullptr);
  EXPECT_EQ(file.GetError(), -1);
  GetVornFileManager().AddFolder(VornString(tmp / "obj.dir/"), false, false);
  EXPECT_EQ(file.Count(kSPR), 2);
  MHandle* first = file.GetIndResource(kSPR, 1);
  MHandle* again = file.GetIndResource(kSPR, 1);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(first, again);  // every indexed get makes a new handle
  EXPECT_EQ(Bytes(first), "chair sprite");
  EXPECT_EQ(file.GetIndResource(kSPR, 3), nullptr);
  EXPECT_EQ(file.GetError(), -1);
  GetVornFileManager().Reset();
}

TEST_F(ResolveResFileTest, EmptyFolderHasNoTypesWithoutAnAssertion) {
  tmp.MakeFolder("empty.dir");
  ASSERT_EQ(OpenFolders(tmp / "empty.dir"), noErr);
  ScopedDebugCapture capture;
  EXPECT_EQ(file.CountTypes(), 0);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  EXPECT_EQ(capture.ReportCount(), 0u);
}

TEST_F(ResolveResFileTest, WritesAreRefused) {
  ASSERT_EQ(OpenFolders(tmp / "obj.dir"), noErr);
  FixedStringBuffer<64> name("new");
  MHandle* h = HAlloc(4);
  file.AddResource(h, kSPR, 200, name, true);
  EXPECT_EQ(file.GetError(), unsupportedErr);
  EXPECT_FALSE(file.HasHandle(h));
  HFree(h);
  EXPECT_EQ(file.Create(name), unsupportedErr);
  EXPECT_EQ(file.Delete(name), unsupportedErr);
  EXPECT_EQ(file.Update(), unsupportedErr);
  MHandle* chair = file.GetResource(kSPR, 128);
  struct Op {
    const char* what;
    void (*run)(ResolveResFile&, MHandle*);
  } ops[] = {
      {"SetResID", [](ResolveResFile& f, MHandle* m) { f.SetResID(m, 5); }},
      {"WriteResource", [](ResolveResFile& f, MHandle* m) { f.WriteResource(m); }},
      {"RemoveResource", [](ResolveResFile& f, MHandle* m) { f.RemoveResource(m); }},
      {"SetResInfo", [](ResolveResFile& f, MHandle* m) { f.SetResInfo(m, 5, FixedStringBuffer<8>("x"), 0); }},
      {"UniqueName", [](ResolveResFile& f, MHandle*) { FixedStringBuffer<8> n("x"); f.UniqueName(kSPR, n); }},
      {"UniqueID", [](ResolveResFile& f, MHandle*) { EXPECT_EQ(f.UniqueID(kSPR), 0); }},
      {"UnusedOperation", [](ResolveResFile& f, MHandle*) { f.UnusedOperation(); }},
      {"GetResAttrs", [](ResolveResFile& f, MHandle* m) { int16_t a = 7; f.GetResAttrs(m, a); EXPECT_EQ(a, 0); }},
  };
  for (const Op& op : ops) {
    file.SetError(noErr);
    op.run(file, chair);
    EXPECT_EQ(file.GetError(), unsupportedErr) << op.what;
  }
  EXPECT_EQ(Bytes(chair), "chair sprite");  // nothing changed the resource
}

TEST_F(ResolveResFileTest, DetachAndForeignHandles) {
  ASSERT_EQ(OpenFolders(tmp / "obj.dir"), noErr);
  MHandle* chair = file.GetResource(kSPR, 128);
  ASSERT_NE(chair, nullptr);
  file.DetachResource(chair);
  EXPECT_EQ(file.GetError(), noErr);
  EXPECT_FALSE(file.HasHandle(chair));
  MHandle* fresh = file.GetResource(kSPR, 128);
  EXPECT_NE(fresh, nullptr);
  EXPECT_NE(fresh, chair);
  HFree(chair);  // the caller's now

  MemResFile other;
  other.PutStored(kSPR, 1, std::string("x"));
  MHandle* foreign = other.GetResource(kSPR, 1);
  ScopedDebugCapture capture;
  file.DetachResource(foreign);
  EXPECT_EQ(file.GetError(), notMemberErr);
  EXPECT_TRUE(capture.Saw("non-member handle"));
  EXPECT_EQ(file.GetResType(foreign), 0u);
  EXPECT_EQ(file.GetError(), notMemberErr);
  int16_t id = 5;
  file.GetResID(foreign, id);
  EXPECT_EQ(id, 0);
  FixedStringBuffer<64> name("stale");
  file.GetResName(foreign, name);
  EXPECT_STREQ(name.c_str(), "");
  EXPECT_EQ(file.GetError(), notMemberErr);

  // Handles stay valid after Close, and stay the file's.
  file.Close();
  EXPECT_EQ(Bytes(fresh), "chair sprite");
  EXPECT_TRUE(file.HasHandle(fresh));
}

TEST_F(ResolveResFileTest, ClosedFileRefusesWithoutCrashing) {
  ScopedDebugCapture capture;
  EXPECT_EQ(file.GetResource(kSPR, 128), nullptr);
  EXPECT_EQ(file.GetError(), fileNotOpenErr);
  EXPECT_EQ(file.Count(kSPR), 0);
  EXPECT_EQ(file.CountTypes(), 0);
  EXPECT_EQ(file.GetNamedResource(kSPR, FixedStringBuffer<8>("x")), nullptr);
  FixedStringBuffer<64> path("stale");
  file.GetName(path);
  EXPECT_STREQ(path.c_str(), "");
  EXPECT_TRUE(capture.Saw("no resolve site to thunk to"));
}

TEST_F(ResolveResFileTest, EmptyLooseFileGivesAnEmptyHandle) {
  tmp.WriteFile("obj.dir/#140#nothing.spr", "");
  ASSERT_EQ(OpenFolders(tmp / "obj.dir"), noErr);
  MHandle* h = file.GetResource(kSPR, 140);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(file.GetError(), noErr);
  EXPECT_EQ(HGetSize(h), 0);
}

TEST_F(ResolveResFileTest, SwizzleIsCalledOnLoad) {
  ASSERT_EQ(OpenFolders(tmp / "obj.dir"), noErr);
  MHandle* table = file.GetResource(kSPR, 129, Reverse);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(Bytes(table), "elbat");
}

TEST(ResolveStatusTest, ManagerCodesBecomeFileErrors) {
  EXPECT_EQ(ResolveResFile::ConvertStatus(0), noErr);
  EXPECT_EQ(ResolveResFile::ConvertStatus(5), noSuchResourceErr);
  EXPECT_EQ(ResolveResFile::ConvertStatus(6), outOfMemoryErr);
  EXPECT_EQ(ResolveResFile::ConvertStatus(3), -1);
}

}  // namespace
