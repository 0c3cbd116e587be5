#include "FolderScanner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FileLibTestSupport.h"
#include "TestTempFolder.h"
#include "VornFile.h"

namespace {

// Records every visit as "path" or "path (ro)" relative to the walked folder.
class Recorder : public FolderScanner {
 public:
  Recorder(const std::string& root, bool enter) : fEnter(enter) {
    VornString normal(root);
    NormalizePath(normal);
    fRoot = normal.str();
  }
  bool EnterFolder(const StringBuffer& path) override {
    fFolders.push_back(Relative(path));
    return fEnter;
  }
  void VisitFile(const StringBuffer& path) override {
    fFiles.push_back(Relative(path) + (CurrentFileWritable() ? "" : " (ro)"));
  }
  std::vector<std::string> fFiles;
  std::vector<std::string> fFolders;

 private:
  std::string Relative(const StringBuffer& path) const {
    std::string p(path.c_str());
    return p.compare(0, fRoot.size(), fRoot) == 0 ? p.substr(fRoot.size()) : "?" + p;
  }
  std::string fRoot;
  bool fEnter;
};

std::string Slashes(std::string path, char to) {
  for (char& c : path) {
    if (c == '/' || c == '\\') c = to;
  }
  return path;
}

class FolderScannerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fTmp.WriteFile("Top.txt", "t");
    fTmp.WriteFile("Sub/Inner.omk", "i");
    fTmp.WriteFile("Sub/Deeper/last.spf", "l");
    std::string locked = fTmp.WriteFile("locked.iff", "r");
    ::chmod(locked.c_str(), 0444);
    fTmp.WriteFile("pack.far",
                   FarBytes::Archive({{"fromfar.iff", "f"}, {"farsub\\hidden.iff", "h"}}).bytes);
    fTmp.WriteFile("broken.far", "not an archive");
  }
  TestTempFolder fTmp;
};

TEST_F(FolderScannerTest, WalksFoldersFilesAndArchiveEntries) {
  Recorder walk(fTmp.Path(), true);
  ScopedDebugCapture capture;  // the broken archive is reported
  EXPECT_EQ(walk.Scan(FixedStringBuffer<260>(fTmp.Path().c_str())), 0);
  // Lower-case, '\\'-separated, in name order, depth first; archive entries read-only; an
  // archive's sub-folder is met but holds nothing on the disk.
  EXPECT_EQ(walk.fFiles, (std::vector<std::string>{"broken.far", "fromfar.iff (ro)", "locked.iff (ro)",
                                                  "sub\\deeper\\last.spf", "sub\\inner.omk", "top.txt"}));
  EXPECT_EQ(walk.fFolders, (std::vector<std::string>{"farsub", "sub", "sub\\deeper"}));

  // The same walk with '/' and with '\\'.
  Recorder forward(fTmp.Path(), true), backward(fTmp.Path(), true);
  forward.Scan(FixedStringBuffer<260>(Slashes(fTmp.Path(), '/').c_str()));
  backward.Scan(FixedStringBuffer<260>(Slashes(fTmp.Path(), '\\').c_str()));
  EXPECT_EQ(forward.fFiles, walk.fFiles);
  EXPECT_EQ(backward.fFiles, walk.fFiles);
}

TEST_F(FolderScannerTest, FoldersNotEnteredAndMissingFolders) {
  Recorder top(fTmp.Path(), false);
  ScopedDebugCapture capture;
  EXPECT_EQ(top.Scan(FixedStringBuffer<260>(fTmp.Path().c_str())), 0);
  EXPECT_EQ(top.fFiles, (std::vector<std::string>{"broken.far", "fromfar.iff (ro)", "locked.iff (ro)", "top.txt"}));

  Recorder none(fTmp.Path(), true);
  EXPECT_EQ(none.Scan(FixedStringBuffer<260>((fTmp / "missing/").c_str())), -1);
  EXPECT_EQ(none.Scan(FixedStringBuffer<260>(fTmp.MakeFolder("empty").c_str())), -1);
  EXPECT_TRUE(none.fFiles.empty());
}

TEST_F(FolderScannerTest, MappedFoldersWalkTheGlobalMap) {
  ScopedDebugCapture capture;
  VornFileManager& global = GetVornFileManager();
  global.AddFolder(VornString(fTmp.Path()), false, true);
  fTmp.WriteFile("added-after-mapping.txt", "x");  // not in the map: not seen
  Recorder walk(fTmp.Path(), false);
  EXPECT_EQ(walk.Scan(FixedStringBuffer<260>(fTmp.Path().c_str())), 0);
  global.Reset();
  EXPECT_EQ(walk.fFiles, (std::vector<std::string>{"broken.far", "fromfar.iff (ro)", "locked.iff (ro)", "top.txt"}));
}

// An archive entry whose name is not a plain path below the archive's folder is passed over:
// the walk sees only the archive's plain entries and the folder's own files, each once, and
// never a path outside the folder it was given.
TEST(FolderScannerWalk, ArchiveNamesThatLeadOutOrBackAreNotWalked) {
  const char* kHostile[] = {"..\\escape.iff", "../escape.iff",   "ok\\..\\..\\up.iff",
                            "ok/../x.iff",    "\\rooted.iff",     "/rooted.iff",
                            "c:\\drive.iff",  "d:here.iff",       ".\\dot.iff",
                            "a\\.\\dot.iff",  "a\\\\empty.iff",   "trail\\",
                            "..",             "."};
  for (const char* name : kHostile) {
    SCOPED_TRACE(name);
    TestTempFolder tmp;
    tmp.WriteFile("outside.txt", "o");
    tmp.WriteFile("box/keep.txt", "k");
    tmp.WriteFile("box/x.far",
                  FarBytes::Archive({{name, "bad"}, {"Good\\inner.iff", "g"}, {"top.iff", "t"}}).bytes);
    std::string box = tmp / "box/";
    Recorder walk(box, true);
    ScopedDebugCapture reports;
    EXPECT_EQ(walk.Scan(FixedStringBuffer<260>(box.c_str())), 0);
    // (The archive's sub-folder is met; an unmapped walk maps it afresh from the disk.)
    EXPECT_EQ(walk.fFiles, (std::vector<std::string>{"keep.txt", "top.iff (ro)"}));
    EXPECT_EQ(walk.fFolders, (std::vector<std::string>{"good"}));
    EXPECT_TRUE(reports.Saw("entry name stays inside the archive's folder"));
  }
}

// A folder reached again through a link on the disk is passed over: every file is visited
// once and the walk ends. The map's own recursive scan does not follow the link back either.
TEST(FolderScannerWalk, FoldersReachedAgainThroughLinksArePassedOver) {
  {
    SCOPED_TRACE("a link back to the walked folder");
    TestTempFolder tmp;
    tmp.WriteFile("box/keep.txt", "k");
    tmp.WriteFile("box/sub/inner.txt", "i");
    std::string box = tmp / "box/";
    ASSERT_EQ(::symlink(box.c_str(), (tmp / "box/sub/up").c_str()), 0);
    Recorder walk(box, true);
    EXPECT_EQ(walk.Scan(FixedStringBuffer<260>(box.c_str())), 0);
    EXPECT_EQ(walk.fFiles, (std::vector<std::string>{"keep.txt", "sub\\inner.txt"}));
    EXPECT_EQ(walk.fFolders, (std::vector<std::string>{"sub"}));

    VornFileManager manager;
    manager.AddFolder(VornString(box), true, false);
    VornString sub = VornString(box) + VornString("sub\\");
    ASSERT_NE(manager.GetFolderMap(sub), nullptr);
    EXPECT_EQ(manager.GetFolderMap(sub)->count(VornString("up")), 1u);  // recorded as a folder
    EXPECT_FALSE(manager.IsFolderMapped(sub + VornString("up\\")));      // but not scanned
  }
  {
    SCOPED_TRACE("a second way into a folder");
    TestTempFolder tmp;
    tmp.WriteFile("box/sub/deeper/last.txt", "l");
    std::string box = tmp / "box/";
    ASSERT_EQ(::symlink((tmp / "box/sub/deeper").c_str(), (tmp / "box/again").c_str()), 0);
    Recorder walk(box, true);
    EXPECT_EQ(walk.Scan(FixedStringBuffer<260>(box.c_str())), 0);
    // "again" comes first in name order, so the folder is walked there, and only there.
    EXPECT_EQ(walk.fFiles, (std::vector<std::string>{"again\\last.txt"}));
    EXPECT_EQ(walk.fFolders, (std::vector<std::string>{"again", "sub"}));
  }
}

TEST_F(FolderScannerTest, SuffixScanner) {
  ScopedDebugCapture capture;
  SuffixScanner iffs(".IFF", "LOCK", true);
  iffs.Scan(FixedStringBuffer<260>(fTmp.Path().c_str()));
  ASSERT_EQ(iffs.Found().size(), 1u);
  EXPECT_NE(std::string(iffs.Found()[0].c_str()).find("fromfar.iff"), std::string::npos);

  SuffixScanner all("", "", false);
  all.Scan(FixedStringBuffer<260>(fTmp.Path().c_str()));
  EXPECT_EQ(all.Found().size(), 4u);

  SuffixScanner deep(".spf", nullptr, true);
  deep.Scan(FixedStringBuffer<260>(fTmp.Path().c_str()));
  EXPECT_EQ(deep.Found().size(), 1u);
}

}  // namespace
