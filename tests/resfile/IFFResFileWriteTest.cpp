// IFF 1.0 resource files: where blocks are allocated (exact reuse, split, skipped, merged),
// replacing, rewriting, removing and renaming resources, detaching, and compaction at Close.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "DebugCapture.h"
#include "IFF1TestSupport.h"
#include "IFFResFile.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"

using namespace iff1test;
using ifftest::BytesOf;
using ifftest::HandleOf;
using ifftest::PathOf;

namespace {

constexpr uint32_t kOBJD = MakeResType('O', 'B', 'J', 'D');
constexpr uint32_t kSPR2 = MakeResType('S', 'P', 'R', '2');

const FixedStringBuffer<4> kNoName;

std::string ResName(IFFResFile& file, MHandle* h) {
  FixedStringBuffer<64> name;
  file.GetResName(h, name);
  return name.c_str();
}

const DiskBlock* BlockAt(const std::vector<DiskBlock>& blocks, uint32_t offset) {
  for (const DiskBlock& b : blocks)
    if (b.offset == offset) return &b;
  return nullptr;
}

class IFFResFileWriteTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "w.iff") {
    return folder.WriteFile(name, bytes);
  }
  TestTempFolder folder;
};

}  // namespace

TEST_F(IFFResFileWriteTest, AllocationTakesFitsSplitsSkipsAndMerges) {
  const std::string names = NameListBlock({});
  const uint32_t holeAt = uint32_t(64 + names.size());
  const std::string data(100, 'd');  // needs 116 bytes
  struct Case {
    const char* what;
    std::vector<size_t> holes;  // free blocks at holeAt, one after the other
    bool takenAtHole;
    int32_t restSize;  // a free block left behind the taken one (0: none)
  };
  const std::vector<Case> cases = {
      {"exact fit", {116}, true, 0},
      {"16 bytes larger: split", {132}, true, 16},
      {"much larger: split", {1000}, true, 884},
      {"1 byte larger: skipped", {117}, false, 0},
      {"15 bytes larger: skipped", {131}, false, 0},
      {"two neighbours merged to fit", {50, 66}, true, 0},
      {"three neighbours merged and split", {40, 40, 200}, true, 164},
  };
  for (const Case& c : cases) {
    std::string bytes = FileHeader() + names;
    uint32_t freeTotal = 0;
    for (size_t size : c.holes) {
      bytes += FreeBlock(size);
      freeTotal += uint32_t(size);
    }
    bytes += Block(kSPR2, 1, 0, -1, "live");
    std::string path = Write(bytes);
    IFFResFile file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
    EXPECT_EQ(file.GetFreeBytes(), freeTotal) << c.what;
    MHandle* h = HandleOf(data);
    file.AddResource(h, kOBJD, 7, kNoName, true);
    file.WriteResource(h);
    ASSERT_EQ(file.GetError(), noErr) << c.what;
    std::string after = TestTempFolder::ReadFile(path);
    bool complete = false;
    std::vector<DiskBlock> blocks = WalkBlocks(after, &complete);
    EXPECT_TRUE(complete) << c.what;
    uint32_t expectedAt = c.takenAtHole ? holeAt : uint32_t(bytes.size());
    const DiskBlock* taken = BlockAt(blocks, expectedAt);
    ASSERT_NE(taken, nullptr) << c.what;
    EXPECT_EQ(taken->type, kOBJD) << c.what;
    EXPECT_EQ(taken->size, 116) << c.what;
    EXPECT_EQ(after.substr(expectedAt + 16, 100), data) << c.what;
    if (c.restSize > 0) {
      const DiskBlock* rest = BlockAt(blocks, holeAt + 116);
      ASSERT_NE(rest, nullptr) << c.what;
      EXPECT_EQ(rest->type, kFreeBlockType) << c.what;
      EXPECT_EQ(rest->flags & kInvalid, kInvalid) << c.what;
      EXPECT_EQ(rest->size, c.restSize) << c.what;
    }
    EXPECT_EQ(file.GetFreeBytes(), c.takenAtHole ? freeTotal - 116 : freeTotal) << c.what;
    ASSERT_EQ(file.Close(), noErr) << c.what;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
    EXPECT_EQ(BytesOf(file.GetResource(kOBJD, 7)), data) << c.what;
    EXPECT_EQ(BytesOf(file.GetResource(kSPR2, 1)), "live") << c.what;
    file.Close();
  }
}

TEST_F(IFFResFileWriteTest, RewritingAndReplacingMarkTheOldBlockBeforeTheNewOneIsLive) {
  std::string path = Write(FileHeader() + NameListBlock({{1, "Chair"}}) +
                           Block(kOBJD, 1, kNativeOrder, 1, "0123456789"));
  const uint32_t oldAt = uint32_t(64 + NameListBlock({{1, "Chair"}}).size());
  IFFResFile file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  MHandle* h = file.GetResource(kOBJD, 1);
  ASSERT_NE(h, nullptr);
  std::memcpy(HLock(h), "abcdefghij", 10);
  HUnlock(h);
  file.WriteResource(h);
  ASSERT_EQ(file.GetError(), noErr);
  // Written: the old block is a free block that marks the resource (its id, and the mark's
  // word of its type where a free block's name index stands), the new block the one live
  // block. The same
  // size moves too, so that the stored bytes are never half overwritten. Once the Update's
  // sync made the new block durable, the mark is a plain free block.
  for (const bool updated : {false, true}) {
    const char* when = updated ? "after Update" : "written";
    std::vector<DiskBlock> blocks = WalkBlocks(TestTempFolder::ReadFile(path));
    ASSERT_EQ(blocks.size(), 3u) << when;
    EXPECT_EQ(blocks[1].offset, oldAt) << when;
    EXPECT_EQ(blocks[1].type, kFreeBlockType) << when;
    EXPECT_EQ(blocks[1].flags & kInvalid, kInvalid) << when;
    EXPECT_EQ(blocks[1].id, 1) << when;
    FileBlockHeader mark{kFreeBlockType, blocks[1].size, 1, uint16_t(kNativeOrder | kInvalid), 0};
    ASSERT_TRUE(MakeIFF1Mark(mark, kOBJD, oldAt));
    EXPECT_EQ(blocks[1].nameIndex, updated ? kNoNameIndex : mark.fNameIndex) << when;
    EXPECT_EQ(blocks[2].type, kOBJD) << when;
    EXPECT_EQ(blocks[2].nameIndex, 1) << when;
    EXPECT_EQ(file.CheckLedger(), noErr) << when;
    file.Update();
    ASSERT_EQ(file.GetError(), noErr);
  }
  EXPECT_EQ(ResName(file, h), "Chair");

  // Replacing under the same type and id: the old handle, block and name go.
  MHandle* replacement = HandleOf("new data, longer");
  file.AddResource(replacement, kOBJD, 1, FixedStringBuffer<64>("Stool"), false);
  EXPECT_EQ(file.Count(kOBJD), 1);
  EXPECT_EQ(file.GetResource(kOBJD, 1), replacement);
  EXPECT_EQ(ResName(file, replacement), "Stool");
  // Adding the handle it already holds keeps it.
  file.AddResource(replacement, kOBJD, 1, FixedStringBuffer<64>("Stool"), false);
  EXPECT_EQ(BytesOf(file.GetResource(kOBJD, 1)), "new data, longer");
  ASSERT_EQ(file.Close(), noErr);

  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(file.Count(kOBJD), 1);
  MHandle* got = file.GetNamedResource(kOBJD, FixedStringBuffer<64>("stool"));
  EXPECT_EQ(BytesOf(got), "new data, longer");
  EXPECT_FALSE(file.IsNativeOrder(got));
  EXPECT_EQ(file.GetNamedResource(kOBJD, FixedStringBuffer<64>("Chair")), nullptr);
  EXPECT_EQ(file.GetNameList()->Count(), 1u);
  file.Close();
}

TEST_F(IFFResFileWriteTest, OnlyMarksWrittenHereComeBack) {
  constexpr uint32_t kSTRs = MakeResType('S', 'T', 'R', '#');
  // Free blocks of other writers, whose id and name index hold what they held: four
  // printable characters (as in a found file whose free block carried text there), small
  // indexes, -1, and a word of the marks' shape whose check does not fit its block.
  std::string file = FileHeader() + NameListBlock({{1, "Chair"}});
  FileBlockHeader wrongCheck{kFreeBlockType, 16 + 5, 3, kInvalid, 0};
  ASSERT_TRUE(MakeIFF1Mark(wrongCheck, kOBJD, uint32_t(file.size())));
  for (const auto& [id, flags, nameIndex] : std::vector<std::tuple<int16_t, uint16_t, int32_t>>{
           {3, kInvalid, int32_t(uint32_t(wrongCheck.fNameIndex) ^ 1)},
           {1, kInvalid, int32_t(MakeResType('V', 'A', 'N', 'T'))},
           {128, kInvalid | kNativeOrder, int32_t(kOBJD)},
           {1, kInvalid | kInternalFlag, int32_t(kSTRs)},
           {2, kInvalid, 1},
           {3, kInvalid, -1}})
    file += Block(kFreeBlockType, id, flags, nameIndex, "freed");
  // A mark written here (OBJD 7) comes back; then two live blocks that the layout's free
  // (id and name index kept) would make look like marks: one with text in its name index,
  // one with the very word that marks it at its offset.
  const uint32_t markAt = uint32_t(file.size());
  FileBlockHeader mark{kFreeBlockType, 16 + 4, 7, uint16_t(kInvalid | kNativeOrder), 0};
  ASSERT_TRUE(MakeIFF1Mark(mark, kOBJD, markAt));
  file += Block(kFreeBlockType, 7, mark.fFlags, mark.fNameIndex, "kept");
  file += Block(kSTRs, 5, kNativeOrder, int32_t(MakeResType('V', 'A', 'N', 'T')), "text");
  FileBlockHeader shaped{kSTRs, 16 + 6, 6, kNativeOrder, 0};
  ASSERT_TRUE(MakeIFF1Mark(shaped, kSTRs, uint32_t(file.size())));
  file += Block(kSTRs, 6, kNativeOrder, shaped.fNameIndex, "shaped");
  const std::string path = Write(file);

  IFFResFile iff;
  ASSERT_EQ(iff.Open(PathOf(path)), noErr);
  EXPECT_EQ(iff.CountTypes(), 2);
  EXPECT_EQ(iff.Count(kOBJD), 1);
  EXPECT_EQ(BytesOf(iff.GetResource(kOBJD, 7)), "kept");
  EXPECT_EQ(iff.Count(kSTRs), 2);
  EXPECT_EQ(iff.Count(MakeResType('V', 'A', 'N', 'T')), 0);
  EXPECT_EQ(iff.CheckLedger(), noErr);
  for (int16_t id : {5, 6}) {
    iff.RemoveResource(iff.GetResource(kSTRs, uint16_t(id)));
    ASSERT_EQ(iff.GetError(), noErr);
  }
  EXPECT_EQ(iff.CheckLedger(), noErr);
  ASSERT_EQ(iff.Close(), noErr);

  // The freed blocks keep their id and name index, but a word of the marks' shape.
  std::vector<DiskBlock> blocks = WalkBlocks(TestTempFolder::ReadFile(path));
  ASSERT_GE(blocks.size(), 2u);
  EXPECT_EQ(blocks[blocks.size() - 2].nameIndex, int32_t(MakeResType('V', 'A', 'N', 'T')));
  EXPECT_EQ(blocks.back().nameIndex, kNoNameIndex);
  ASSERT_EQ(iff.Open(PathOf(path)), noErr);
  EXPECT_EQ(iff.CountTypes(), 1);
  EXPECT_EQ(BytesOf(iff.GetResource(kOBJD, 7)), "kept");
  iff.Close();
}

TEST_F(IFFResFileWriteTest, RemoveRenameAndDetach) {
  std::string path = folder / "r.iff";
  IFFResFile file;
  ASSERT_EQ(file.Create(PathOf(path)), noErr);
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  MHandle* a = HandleOf("aaaa");
  MHandle* b = HandleOf("bbbb");
  file.AddResource(a, kOBJD, 1, FixedStringBuffer<64>("Alpha"), true);
  file.AddResource(b, kSPR2, 1, kNoName, true);
  file.WriteResource(b);
  // Removing the only resource of a type keeps the type.
  file.RemoveResource(b);
  EXPECT_EQ(file.GetError(), noErr);
  EXPECT_EQ(file.CountTypes(), 2);
  EXPECT_EQ(file.Count(kSPR2), 0);
  MHandle* stranger = HandleOf("s");
  file.RemoveResource(stranger);
  EXPECT_EQ(file.GetError(), notMemberErr);
  file.WriteResource(stranger);
  EXPECT_EQ(file.GetError(), notMemberErr);

  file.SetResID(a, 5);
  EXPECT_EQ(file.GetError(), noErr);
  EXPECT_EQ(ResName(file, a), "Alpha");
  file.SetResInfo(a, 5, FixedStringBuffer<64>("Beta"), 1);
  EXPECT_EQ(file.GetError(), noLanguagesErr);
  file.SetResInfo(a, 6, FixedStringBuffer<64>("Beta"), 0);
  EXPECT_EQ(file.GetError(), noErr);
  EXPECT_EQ(file.GetResource(kOBJD, 6), a);

  // A never-written resource is written when detached, and is then the caller's.
  file.DetachResource(a);
  EXPECT_EQ(file.GetError(), noErr);
  MHandle* again = file.GetResource(kOBJD, 6);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, a);
  EXPECT_EQ(BytesOf(again), "aaaa");
  HFree(a);
  // A rename of a stored resource, then an id change, both survive a reopen.
  file.SetResInfo(again, 6, FixedStringBuffer<64>("Gamma"), 0);
  file.SetResID(again, 9);
  ASSERT_EQ(file.Close(), noErr);
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  MHandle* stored = file.GetResource(kOBJD, 9);
  EXPECT_EQ(BytesOf(stored), "aaaa");
  EXPECT_EQ(ResName(file, stored), "Gamma");
  // An empty name drops the name.
  file.SetResInfo(stored, 9, kNoName, 0);
  EXPECT_EQ(ResName(file, stored), "");
  ASSERT_EQ(file.Close(), noErr);
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(ResName(file, file.GetResource(kOBJD, 9)), "");
  EXPECT_EQ(file.GetNameList()->Count(), 0u);
  file.Close();
  HFree(stranger);
}

TEST_F(IFFResFileWriteTest, CloseCompactsFromTenThousandTwoHundredFortyFreeBytes) {
  const std::string names = NameListBlock({{1, "Chair"}});
  for (uint32_t freeBytes : {10239u, 10240u}) {
    std::string bytes = FileHeader() + names + Block(kOBJD, 1, 0, 1, "one") +
                        FreeBlock(freeBytes - 100) + Block(kSPR2, 2, 0, -1, "two") +
                        FreeBlock(100);
    for (bool readOnly : {false, true}) {
      std::string path = Write(bytes, readOnly ? "ro.iff" : "rw.iff");
      if (readOnly) chmod(path.c_str(), 0444);
      IFFResFile file;
      ASSERT_EQ(file.Open(PathOf(path)), noErr);
      EXPECT_EQ(file.IsWritable(), !readOnly);
      EXPECT_EQ(file.GetFreeBytes(), freeBytes);
      MHandle* x = HandleOf("x");
      if (readOnly) {
        file.AddResource(x, kSPR2, 3, kNoName, true);
        EXPECT_EQ(file.GetError(), readOnlyErr);
      }
      HFree(x);
      EXPECT_EQ(file.Close(), noErr);
      std::string after = TestTempFolder::ReadFile(path);
      if (readOnly || freeBytes < 10240) {
        EXPECT_EQ(after, bytes);
      } else {
        // Shortened by exactly its free bytes, the blocks in their order.
        EXPECT_EQ(after.size(), bytes.size() - freeBytes);
        EXPECT_EQ(after, FileHeader() + names + Block(kOBJD, 1, 0, 1, "one") +
                             Block(kSPR2, 2, 0, -1, "two"));
      }
      EXPECT_FALSE(PlatformPathExists((path + "~defrag").c_str()));
      ASSERT_EQ(file.Open(PathOf(path)), noErr);
      EXPECT_EQ(BytesOf(file.GetResource(kSPR2, 2)), "two");
      EXPECT_EQ(ResName(file, file.GetResource(kOBJD, 1)), "Chair");
      file.Close();
    }
  }
}

TEST_F(IFFResFileWriteTest, InternalModeIsNotEnteredTwice) {
  ScopedDebugCapture capture;
  std::string path = folder / "i.iff";
  IFFResFile file;
  ASSERT_EQ(file.Create(PathOf(path)), noErr);
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  file.EnterInternalMode();
  EXPECT_EQ(file.Count(kNameListType), 1);
  file.EnterInternalMode();
  EXPECT_EQ(capture.ReportCount(), 1);
  file.ExitInternalMode();
  EXPECT_EQ(file.Count(kNameListType), 0);
  file.ExitInternalMode();
  EXPECT_EQ(capture.ReportCount(), 2);
  file.Close();
}

TEST_F(IFFResFileWriteTest, WritesAfterABrokenChain) {
  ScopedDebugCapture capture;
  const std::string start = FileHeader() + NameListBlock({}) + Block(kSPR2, 1, 0, -1, "good");
  struct Case {
    const char* what;
    std::string tail;
    bool writes;     // the write is taken
    size_t writeAt;  // where the new block goes
  };
  const std::vector<Case> cases = {
      // Blocks behind a bad size are not trusted: nothing is written over them.
      {"size 0", Block(kSPR2, 2, 0, -1, "hidden", 0) + Block(kSPR2, 3, 0, -1, "more"), false, 0},
      {"live block past the end", Block(kSPR2, 2, 0, -1, "cut", 100), false, 0},
      // A few trailing bytes and an allocation cut short are the end of the file.
      {"trailing bytes", std::string(9, 'q'), true, start.size()},
      {"free block cut short", Block(kFreeBlockType, 0, kInvalid, -1, std::string(300, 'z'), 900),
       true, start.size()},
  };
  for (const Case& c : cases) {
    std::string bytes = start + c.tail;
    std::string path = Write(bytes);
    IFFResFile file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
    MHandle* h = HandleOf("new");
    file.AddResource(h, kOBJD, 1, kNoName, true);
    file.WriteResource(h);
    std::string after = TestTempFolder::ReadFile(path);
    if (!c.writes) {
      EXPECT_EQ(file.GetError(), badHeaderErr) << c.what;
      EXPECT_EQ(after, bytes) << c.what;
    } else {
      EXPECT_EQ(file.GetError(), noErr) << c.what;
      EXPECT_EQ(after, start + Block(kOBJD, 1, kNativeOrder, -1, "new")) << c.what;
    }
    // Close tries the pending write again, and reports it refused.
    EXPECT_EQ(file.Close(), c.writes ? int32_t(noErr) : int32_t(badHeaderErr)) << c.what;
    if (!c.writes) {
      EXPECT_EQ(TestTempFolder::ReadFile(path), bytes) << c.what;
    }
  }
}

// A session of writes is made durable by the syncs of Update and Close, not by one sync per
// write: a file that takes one sprite and one that takes forty, each replacing a palette every
// time as a build does, sync as often; and in the end only the last palette is left.
TEST_F(IFFResFileWriteTest, SyncsDoNotGrowWithTheNumberOfWrites) {
  constexpr uint32_t kPALT = MakeResType('P', 'A', 'L', 'T');
  int64_t syncs[2] = {0, 0};
  const int counts[2] = {1, 40};
  for (int k = 0; k < 2; ++k) {
    const std::string path = Write(FileHeader() + NameListBlock({}) + Block(kPALT, 1, kNativeOrder, -1, std::string(64, 'p')),
                                   "syncs" + std::to_string(k) + ".iff");
    PlatformFileResetFaults();
    {
      IFFResFile file;
      ASSERT_EQ(file.Open(PathOf(path)), noErr);
      for (int i = 0; i < counts[k]; ++i) {
        MHandle* sprite = HandleOf(std::string(size_t(200 + i), char('a' + i % 26)));
        file.AddResource(sprite, kSPR2, uint16_t(100 + i), kNoName, true);
        file.WriteResource(sprite);
        ASSERT_EQ(file.GetError(), noErr);
        file.DetachAndDispose(sprite);
        MHandle* palette = HandleOf(std::string(64, char('A' + i % 26)));
        file.AddResource(palette, kPALT, 1, kNoName, true);
        file.WriteResource(palette);
        ASSERT_EQ(file.GetError(), noErr);
        file.DetachAndDispose(palette);
      }
      file.Update();
      ASSERT_EQ(file.GetError(), noErr);
      ASSERT_EQ(file.Close(), noErr);
    }
    syncs[k] = PlatformFileCallCount(kPlatformFaultFlush);
    int palettes = 0;
    for (const DiskBlock& b : WalkBlocks(TestTempFolder::ReadFile(path)))
      if (b.type == kPALT && !(b.flags & kInvalid)) ++palettes;
    EXPECT_EQ(palettes, 1) << counts[k] << " writes";
    IFFResFile again;
    ASSERT_EQ(again.Open(PathOf(path)), noErr);
    EXPECT_EQ(again.Count(kSPR2), counts[k]);
    EXPECT_EQ(BytesOf(again.GetResource(kPALT, 1)), std::string(64, char('A' + (counts[k] - 1) % 26)));
    again.Close();
  }
  PlatformFileResetFaults();
  EXPECT_EQ(syncs[0], syncs[1]);
  EXPECT_LE(syncs[1], 6);
}
