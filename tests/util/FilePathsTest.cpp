#include "FilePaths.h"

#include <gtest/gtest.h>

#include <string>

#include "DebugCapture.h"
#include "MHandle.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"
#include "filelist.h"

namespace {

using Path = FixedStringBuffer<260>;

TEST(FilePaths, SplitPath) {
  struct Case {
    const char* path;
    const char* folder;
    const char* base;
    const char* extension;
  };
  const Case cases[] = {
      {"plain", "", "plain", ""},
      {"c:\\dir.v2\\file", "c:\\dir.v2\\", "file", ""},  // a dot in a folder is no extension
      {"a/b/sprite.final.tga", "a/b/", "sprite.final", ".tga"},
      {"dir\\.hidden", "dir\\", "", ".hidden"},
      {"mixed\\sep/name.omk", "mixed\\sep/", "name", ".omk"},
      {"folder/", "folder/", "", ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Path folder, base, extension, name, without;
    SplitPath(Path(c.path), folder, base, extension);
    EXPECT_STREQ(folder.c_str(), c.folder);
    EXPECT_STREQ(base.c_str(), c.base);
    EXPECT_STREQ(extension.c_str(), c.extension);
    GetPathFolder(Path(c.path), folder);
    EXPECT_STREQ(folder.c_str(), c.folder);
    GetPathFileName(Path(c.path), name);
    EXPECT_EQ(std::string(name.c_str()), std::string(c.base) + c.extension);
    SplitExtension(Path(c.path), without, extension);
    EXPECT_EQ(std::string(without.c_str()), std::string(c.folder) + c.base);
    EXPECT_STREQ(extension.c_str(), c.extension);
  }
  // Outputs are cut to their capacity, never overflowed.
  ScopedDebugCapture capture;
  FixedStringBuffer<4> small, base, extension;
  SplitPath(Path("longfolder/longname.ext"), small, base, extension);
  EXPECT_STREQ(small.c_str(), "lon");
}

TEST(FilePaths, WriteHandleToFile) {
  TestTempFolder tmp;
  MHandle* h = HAlloc(5);
  char* p = HLock(h);
  for (int i = 0; i < 5; ++i) p[i] = static_cast<char>('a' + i);
  HUnlock(h);
  EXPECT_EQ(WriteHandleToFile(h, Path((tmp / "out.bin").c_str())), 0);
  EXPECT_EQ(TestTempFolder::ReadFile(tmp / "out.bin"), "abcde");
  EXPECT_FALSE(IsMHandleLocked(h));
  EXPECT_EQ(WriteHandleToFile(h, Path((tmp / "no/such/folder.bin").c_str())), -1);
  PlatformFileResetFaults();
  PlatformFileFailAt(kPlatformFaultWrite, 1);
  EXPECT_EQ(WriteHandleToFile(h, Path((tmp / "short.bin").c_str())), -1);
  PlatformFileResetFaults();
  EXPECT_FALSE(IsMHandleLocked(h));
  EXPECT_EQ(WriteHandleToFile(nullptr, Path((tmp / "null.bin").c_str())), -1);
  HFree(h);
}

// Anything with GetName(StringBuffer&) can be registered.
struct FakeFile {
  std::string name;
  void GetName(StringBuffer& path) { path.assign(name.c_str()); }
};

TEST(FileRegistry, CountsUsersByCaseFoldedFileName) {
  FileRegistry<FakeFile> registry;
  FakeFile a{"c:\\objects\\Chair.iff"};
  FakeFile same{"d:/other/CHAIR.IFF"};
  FakeFile b{"table.iff"};
  FakeFile longName{"dir/" + std::string(40, 'x') + ".iff"};

  auto* entry = registry.Add(&a);
  EXPECT_EQ(entry->count, 1);
  EXPECT_EQ(registry.Add(&a)->count, 2);
  registry.Add(&b);
  EXPECT_EQ(registry.Find(Path("CHAIR.iff")), &a);
  EXPECT_EQ(registry.Find(Path("x/y/chair.IFF")), &a);
  EXPECT_EQ(registry.Find(Path("desk.iff")), nullptr);
  {
    ScopedDebugCapture capture;
    EXPECT_EQ(registry.Add(&same)->file, &a);  // another file under the same name
    EXPECT_TRUE(capture.Saw("names not mapping to same pointer"));
    EXPECT_FALSE(registry.Remove(&same));
  }
  EXPECT_FALSE(registry.Remove(&a));
  EXPECT_TRUE(registry.Remove(&a));
  EXPECT_EQ(registry.Find(Path("chair.iff")), nullptr);
  EXPECT_FALSE(registry.Remove(&a));

  registry.Add(&longName);  // the key keeps 31 characters
  EXPECT_EQ(registry.Find(Path(std::string(31, 'x').c_str())), &longName);
  EXPECT_EQ(registry.Count(), 2);
}

}  // namespace
