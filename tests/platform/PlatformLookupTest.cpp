// The case-insensitive look-ups of the path search: which name they answer, and that a change
// of a folder's names, however and by whomever made, is seen by the next look-up.
#include "PlatformFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TestTempFolder.h"

namespace {

// Makes an empty file without the platform layer, as another program would.
void MakeFileDirectly(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0) << path;
  ::close(fd);
}

// Makes the file in a child process, which first looks names up itself: what the child does
// must not hide the change from this process.
void MakeFileInChild(const std::string& path, const std::string& folder) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    PlatformResolvePath((folder + "no such name").c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) ::close(fd);
    PlatformResolvePath((folder + "no such name").c_str());
    ::_exit(fd >= 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

void MakeFileThroughLayer(const std::string& path) {
  PlatformFile* f = PlatformFileOpen(path.c_str(), PlatformOpenMode::kCreateNew);
  ASSERT_NE(f, nullptr) << path;
  PlatformFileClose(f);
}

TEST(PlatformLookup, AnswersTheExactNameElseTheSmallestMatch) {
  TestTempFolder tmp;
  for (const char* name : {"sheet.TGA", "Sheet.tga", "SHEET.tga", "Art/Cell.bmp", "art2/x"})
    tmp.WriteFile(name, "x");
  const std::string base = tmp.Path();
  struct Case {
    const char* asked;
    const char* answer;
  } cases[] = {
      {"sheet.tga", "SHEET.tga"},         // several match: the smallest in byte order
      {"Sheet.tga", "Sheet.tga"},         // an exact name is taken as it is
      {"sheet.TGA", "sheet.TGA"},
      {"SHEET.TGA", "SHEET.tga"},
      {"sheet.tgb", "sheet.tgb"},         // none matches: left as asked
      {"art/cell.BMP", "Art/Cell.bmp"},   // each part of the path
      {"ART2\\X", "art2/x"},
      {"nothing/cell.bmp", "nothing/cell.bmp"},
      {"art/missing/cell.bmp", "Art/missing/cell.bmp"},
      {"art//cell.bmp", "Art/Cell.bmp"},  // empty parts are dropped
      {"art/", "Art/"},
      {"Art/./cell.bmp", "Art/./Cell.bmp"},  // '.' and '..' are kept
      {"art2/../Art/cell.BMP", "art2/../Art/Cell.bmp"},
  };
  for (int round = 0; round < 2; round++) {  // the second round is answered from what is kept
    for (const Case& c : cases) {
      SCOPED_TRACE(c.asked);
      EXPECT_EQ(PlatformResolvePath((base + c.asked).c_str()), base + c.answer);
    }
  }
}

TEST(PlatformLookup, SeesEveryChangeOfTheFolderAtOnce) {
  TestTempFolder tmp;
  const std::string base = tmp.Path();
  struct Step {
    const char* what;
    std::function<void()> change;
    const char* asked;
    const char* answer;  // null: no name matches
  } steps[] = {
      {"nothing yet", [] {}, "aLpHa.TgA", nullptr},
      {"made through the layer", [&] { MakeFileThroughLayer(base + "alpha.tga"); }, "aLpHa.TgA",
       "alpha.tga"},
      {"a smaller name, by another program", [&] { MakeFileDirectly(base + "Alpha.tga"); },
       "aLpHa.TgA", "Alpha.tga"},
      {"a still smaller one, in a child process",
       [&] { MakeFileInChild(base + "ALPHA.tga", base); }, "aLpHa.TgA", "ALPHA.tga"},
      {"the smallest, by another program", [&] { MakeFileDirectly(base + "ALPHA.TGA"); },
       "aLpHa.TgA", "ALPHA.TGA"},
      {"moved away through the layer",
       [&] { ASSERT_TRUE(PlatformFileMove((base + "ALPHA.TGA").c_str(), (base + "moved.bin").c_str())); },
       "aLpHa.TgA", "ALPHA.tga"},
      {"deleted by another program", [&] { ASSERT_EQ(::unlink((base + "ALPHA.tga").c_str()), 0); },
       "aLpHa.TgA", "Alpha.tga"},
      {"deleted through the layer",
       [&] { ASSERT_TRUE(PlatformFileDelete((base + "Alpha.tga").c_str())); }, "ALPHA.TGA",
       "alpha.tga"},
      {"the last deleted", [&] { ASSERT_TRUE(PlatformFileDelete((base + "alpha.tga").c_str())); },
       "aLpHa.TgA", nullptr},
      {"copied through the layer",
       [&] { ASSERT_TRUE(PlatformFileCopy((base + "moved.bin").c_str(), (base + "ALPHA.TGA").c_str())); },
       "aLpHa.TgA", "ALPHA.TGA"},
      {"renamed by another program",
       [&] { ASSERT_EQ(::rename((base + "ALPHA.TGA").c_str(), (base + "gone").c_str()), 0); },
       "aLpHa.TgA", nullptr},
      {"replaced onto through the layer",
       [&] { ASSERT_TRUE(PlatformFileReplace((base + "gone").c_str(), (base + "Alpha.Tga").c_str())); },
       "aLpHa.TgA", "Alpha.Tga"},
      {"a folder made", [&] { ASSERT_TRUE(PlatformCreateFolder((base + "Sub").c_str())); }, "sUb",
       "Sub"},
      {"a folder removed", [&] { ASSERT_EQ(::rmdir((base + "Sub").c_str()), 0); }, "sUb", nullptr},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    const std::string answer = step.answer ? step.answer : step.asked;
    EXPECT_EQ(PlatformResolvePath((base + step.asked).c_str()), base + answer);
    EXPECT_EQ(PlatformPathExists((base + step.asked).c_str()), step.answer != nullptr);
  }
}

TEST(PlatformLookup, FolderRemadeUnderTheSameName) {
  TestTempFolder tmp;
  const std::string folder = tmp.MakeFolder("art");
  tmp.WriteFile("art/Old.bmp", "x");
  EXPECT_EQ(PlatformResolvePath((folder + "old.bmp").c_str()), folder + "Old.bmp");
  ASSERT_EQ(::unlink((folder + "Old.bmp").c_str()), 0);
  ASSERT_EQ(::rmdir(folder.c_str()), 0);
  tmp.WriteFile("art/New.bmp", "x");
  EXPECT_EQ(PlatformResolvePath((folder + "old.bmp").c_str()), folder + "old.bmp");
  EXPECT_EQ(PlatformResolvePath((folder + "new.bmp").c_str()), folder + "New.bmp");
}

TEST(PlatformLookup, ChangesAreSeenInEveryFolderOfMany) {
  // More folders than are kept at once: each looked up, then each changed, then each looked
  // up again, the last ones first (those still kept).
  TestTempFolder tmp;
  const int kFolders = 150;
  std::vector<std::string> folders;
  for (int i = 0; i < kFolders; i++) {
    folders.push_back(tmp.MakeFolder("f" + std::to_string(i)));
    EXPECT_EQ(PlatformResolvePath((folders.back() + "Name").c_str()), folders.back() + "Name");
  }
  for (const std::string& folder : folders) MakeFileDirectly(folder + "NAME");
  for (int i = kFolders - 1; i >= 0; i--) {
    EXPECT_EQ(PlatformResolvePath((folders[i] + "name").c_str()), folders[i] + "NAME") << i;
  }
}

TEST(PlatformLookup, ThreadsSeeTheirOwnAndEachOthersNames) {
  TestTempFolder tmp;
  const std::string base = tmp.Path();
  const int kThreads = 4;
  const int kNames = 40;
  std::vector<std::thread> threads;
  std::vector<int> wrong(kThreads, 0);
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kNames; i++) {
        const std::string name = "T" + std::to_string(t) + "_" + std::to_string(i) + ".DAT";
        const std::string asked = "t" + std::to_string(t) + "_" + std::to_string(i) + ".dat";
        if (PlatformResolvePath((base + asked).c_str()) != base + asked) wrong[t]++;
        PlatformFile* f = PlatformFileOpen((base + name).c_str(), PlatformOpenMode::kCreateNew);
        if (f == nullptr) {
          wrong[t]++;
          continue;
        }
        PlatformFileClose(f);
        if (PlatformResolvePath((base + asked).c_str()) != base + name) wrong[t]++;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; t++) EXPECT_EQ(wrong[t], 0) << "thread " << t;
  for (int t = 0; t < kThreads; t++) {
    for (int i = 0; i < kNames; i++) {
      const std::string asked = "t" + std::to_string(t) + "_" + std::to_string(i) + ".dat";
      EXPECT_TRUE(PlatformPathExists((base + asked).c_str())) << asked;
    }
  }
}

}  // namespace
