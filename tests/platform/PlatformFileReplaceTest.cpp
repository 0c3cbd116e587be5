#include <gtest/gtest.h>

#include <sys/stat.h>

#include "PlatformFile.h"
#include "TestTempFolder.h"

TEST(PlatformFileReplace, ReplacesInOneStepAndKeepsTheModeBits) {
  TestTempFolder folder;
  std::string target = folder.WriteFile("Target.iff", "old");
  std::string source = folder.WriteFile("new.tmp", "new bytes");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  // The target is found whatever the case of its name.
  ASSERT_TRUE(PlatformFileReplace(source.c_str(), (folder / "TARGET.IFF").c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(target), "new bytes");
  EXPECT_FALSE(PlatformPathExists(source.c_str()));
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // A missing source or a folder as target changes nothing.
  EXPECT_FALSE(PlatformFileReplace((folder / "missing").c_str(), target.c_str()));
  std::string other = folder.WriteFile("other", "x");
  std::string sub = folder.MakeFolder("sub");
  EXPECT_FALSE(PlatformFileReplace(other.c_str(), sub.substr(0, sub.size() - 1).c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(other), "x");
  // A target that does not exist yet is simply the new name.
  EXPECT_TRUE(PlatformFileReplace(other.c_str(), (folder / "fresh").c_str()));
  EXPECT_EQ(TestTempFolder::ReadFile(folder / "fresh"), "x");
}
