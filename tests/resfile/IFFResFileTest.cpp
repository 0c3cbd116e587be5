// IFF 1.0 resource files: the byte layout that Create and writes leave, opening hand-built
// files (block order, the name list in both forms, corrupt headers), and the look-ups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugCapture.h"
#include "IFF1TestSupport.h"
#include "IFFResFile.h"
#include "TestTempFolder.h"

using namespace iff1test;
using ifftest::BytesOf;
using ifftest::HandleOf;
using ifftest::PathOf;

namespace {

constexpr uint32_t kSPR2 = MakeResType('S', 'P', 'R', '2');
constexpr uint32_t kOBJD = MakeResType('O', 'B', 'J', 'D');
constexpr uint32_t kDGRP = MakeResType('D', 'G', 'R', 'P');

const FixedStringBuffer<4> kNoName;

std::string ResName(IFFResFile& file, MHandle* h) {
  FixedStringBuffer<64> name;
  file.GetResName(h, name);
  return name.c_str();
}

class IFFResFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "t.iff") {
    return folder.WriteFile(name, bytes);
  }
  TestTempFolder folder;
};

}  // namespace

TEST_F(IFFResFileTest, CreateWritesTheHeaderAndAnEmptyNameList) {
  std::string path = folder / "new.iff";
  IFFResFile file;
  ASSERT_EQ(file.Create(PathOf(path)), noErr);
  EXPECT_FALSE(file.ValidFile());
  EXPECT_EQ(TestTempFolder::ReadFile(path), FileHeader() + NameListBlock({}));
  EXPECT_EQ(file.Create(PathOf(path)), fileExistsErr);

  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(file.CountTypes(), 0);
  EXPECT_EQ(file.Open(PathOf(path)), alreadyOpenErr);
  EXPECT_EQ(file.Delete(PathOf(path)), alreadyOpenErr);
  EXPECT_EQ(file.Close(), noErr);
  EXPECT_EQ(file.Delete(PathOf(path)), noErr);
  EXPECT_EQ(file.Delete(PathOf(path)), fileNotFoundErr);
}

TEST_F(IFFResFileTest, AddedResourcesReachTheDiskWithTheirNames) {
  std::string path = folder / "rt.iff";
  IFFResFile file;
  ASSERT_EQ(file.Create(PathOf(path)), noErr);
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  file.AddResource(HandleOf("sprite"), kSPR2, 200, FixedStringBuffer<64>("Chair"), true);
  file.AddResource(HandleOf("def"), kOBJD, 128, kNoName, false);
  EXPECT_EQ(file.GetError(), noErr);
  ASSERT_EQ(file.Close(), noErr);

  // The old name list is freed, the new one and the two resources follow in the order added.
  std::string bytes = TestTempFolder::ReadFile(path);
  std::string freedNames = Block(kFreeBlockType, 1, kInvalid | kInternalFlag | kNativeOrder, -1,
                                 NameListData({}));
  std::string expected = FileHeader() + freedNames + NameListBlock({{1, "Chair"}}) +
                         Block(kSPR2, 200, kNativeOrder, 1, "sprite") +
                         Block(kOBJD, 128, 0, -1, "def");
  EXPECT_EQ(bytes, expected);

  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(file.CountTypes(), 2);
  MHandle* h = file.GetNamedResource(kSPR2, FixedStringBuffer<64>("chair"));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(BytesOf(h), "sprite");
  EXPECT_EQ(ResName(file, h), "Chair");
  EXPECT_TRUE(file.IsNativeOrder(h));
  int16_t id = 0;
  file.GetResID(h, id);
  EXPECT_EQ(id, 200);
  EXPECT_EQ(file.GetResType(h), kSPR2);
  MHandle* d = file.GetResource(kOBJD, 128);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(BytesOf(d), "def");
  EXPECT_FALSE(file.IsNativeOrder(d));
  EXPECT_EQ(ResName(file, d), "");
  EXPECT_EQ(file.GetFreeBytes(), 32u);
  file.Close();
}

TEST_F(IFFResFileTest, BlockOrderDecidesTheIndexes) {
  // A user's own NAME id 1 lives beside the name list, which stays hidden.
  std::string bytes = FileHeader() + Block(kOBJD, 1, 0, -1, "o1") + Block(kSPR2, 5, 0, -1, "s5") +
                      NameListBlock({{1, "Door"}, {2, "Door"}, {3, "Lamp"}}) +
                      Block(kOBJD, 2, 0, 1, "o2") + Block(kSPR2, 6, 0, 2, "s6") +
                      Block(kNameListType, 1, 0, -1, "mine") + Block(kSPR2, 7, 0, 3, "s7");
  std::string path = Write(bytes);
  IFFResFile file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(file.CountTypes(), 3);
  // The type whose first block stands latest in the file comes first.
  EXPECT_EQ(file.GetIndType(1), kNameListType);
  EXPECT_EQ(file.GetIndType(2), kSPR2);
  EXPECT_EQ(file.GetIndType(3), kOBJD);
  EXPECT_EQ(file.GetIndType(0), kNameListType);
  EXPECT_EQ(file.GetIndType(4), 0u);
  EXPECT_EQ(file.GetError(), badTypeIndexErr);
  EXPECT_EQ(file.Count(kSPR2), 3);
  EXPECT_EQ(file.Count(kNameListType), 1);
  EXPECT_EQ(file.Count(kDGRP), 0);
  EXPECT_EQ(BytesOf(file.GetResource(kNameListType, 1)), "mine");
  // Within a type the block that stands last is index 1.
  EXPECT_EQ(BytesOf(file.GetIndResource(kSPR2, 1)), "s7");
  EXPECT_EQ(BytesOf(file.GetIndResource(kSPR2, 0)), "s7");
  EXPECT_EQ(BytesOf(file.GetIndResource(kSPR2, 3)), "s5");
  EXPECT_EQ(file.GetIndResource(kSPR2, 4), nullptr);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  EXPECT_EQ(file.GetResource(kSPR2, 8), nullptr);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);

  // Door of the asked type is found whatever its case; one of another type is skipped.
  EXPECT_EQ(BytesOf(file.GetNamedResource(kSPR2, FixedStringBuffer<64>("DOOR"))), "s6");
  EXPECT_EQ(BytesOf(file.GetNamedResource(kOBJD, FixedStringBuffer<64>("door"))), "o2");
  EXPECT_EQ(file.GetNamedResource(kDGRP, FixedStringBuffer<64>("Door")), nullptr);
  EXPECT_EQ(file.GetError(), notMemberErr);
  EXPECT_EQ(file.GetNamedResource(kSPR2, kNoName), nullptr);
  EXPECT_EQ(file.GetError(), notMemberErr);

  MHandle* unknown = HandleOf("x");
  EXPECT_EQ(file.GetResType(unknown), 0u);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  EXPECT_TRUE(file.IsNativeOrder(unknown));
  EXPECT_EQ(file.GetError(), notMemberErr);
  int16_t attrs = 5;
  file.GetResAttrs(file.GetResource(kSPR2, 5), attrs);
  EXPECT_EQ(attrs, 0);
  EXPECT_EQ(file.GetError(), unsupportedErr);
  EXPECT_EQ(file.Suspend(), unavailableErr);
  EXPECT_TRUE(file.ValidFile());
  HFree(unknown);
  file.Close();
}

TEST_F(IFFResFileTest, UniqueNamesAndIds) {
  std::string bytes = FileHeader() + NameListBlock({{1, "Chair"}, {2, "Chair0"}, {3, "Sofa"}}) +
                      Block(kSPR2, 5, 0, 1, "a") + Block(kSPR2, 300, 0, 2, "b") +
                      Block(kOBJD, -4, 0, 3, "c");
  IFFResFile file;
  ASSERT_EQ(file.Open(PathOf(Write(bytes))), noErr);
  FixedStringBuffer<64> name("chair");
  file.UniqueName(kSPR2, name);
  EXPECT_STREQ(name.c_str(), "chair1");
  name.assign("Sofa");
  file.UniqueName(kSPR2, name);  // only another type uses it
  EXPECT_STREQ(name.c_str(), "Sofa");
  name.assign("Sofa");
  file.UniqueName(kOBJD, name);
  EXPECT_STREQ(name.c_str(), "Sofa0");
  EXPECT_EQ(file.UniqueID(kSPR2), 301);
  EXPECT_EQ(file.UniqueID(kOBJD), 129);
  EXPECT_EQ(file.UniqueID(kDGRP), 129);
  file.Close();

  // A name of 63 characters keeps room for its number, so the search ends.
  std::string longName(63, 'n');
  bytes = FileHeader() + NameListBlock({{1, longName}}) + Block(kSPR2, 1, 0, 1, "a");
  ASSERT_EQ(file.Open(PathOf(Write(bytes, "long.iff"))), noErr);
  name.assign(longName.c_str());
  file.UniqueName(kSPR2, name);
  EXPECT_EQ(std::string(name.c_str()), longName.substr(0, 62) + "0");
  file.Close();
}

TEST_F(IFFResFileTest, OldFormNamesAreRead) {
  std::string bytes = FileHeader() +
                      Block(kNameListType, 0, kInternalFlag, -1,
                            OldNameData({{7, "Table"}, {9, "Lamp"}})) +
                      Block(kOBJD, 1, 0, 9, "o") + Block(kSPR2, 1, 0, 7, "s");
  std::string path = Write(bytes);
  IFFResFile file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(ResName(file, file.GetResource(kOBJD, 1)), "Lamp");
  EXPECT_EQ(BytesOf(file.GetNamedResource(kSPR2, FixedStringBuffer<64>("table"))), "s");
  // A change of names saves the stream form and retires the old one.
  file.AddResource(HandleOf("d"), kDGRP, 1, FixedStringBuffer<64>("Rug"), true);
  ASSERT_EQ(file.Close(), noErr);
  for (const DiskBlock& b : WalkBlocks(TestTempFolder::ReadFile(path)))
    EXPECT_FALSE(b.type == kNameListType && b.id == 0) << "old names left at " << b.offset;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(ResName(file, file.GetResource(kOBJD, 1)), "Lamp");
  EXPECT_EQ(ResName(file, file.GetResource(kDGRP, 1)), "Rug");
  EXPECT_EQ(file.GetNameList()->NewIndex(), 11);
  file.Close();
}

TEST_F(IFFResFileTest, EveryHeaderByteCounts) {
  for (size_t at : {0u, 9u, 11u, 33u, 34u, 35u, 59u, 62u, 63u}) {
    std::string bytes = FileHeader() + NameListBlock({});
    bytes[at] = char(bytes[at] ^ 0x20);
    IFFResFile file;
    EXPECT_EQ(file.Open(PathOf(Write(bytes))), badHeaderErr) << "byte " << at;
    EXPECT_FALSE(file.ValidFile());
  }
  IFFResFile file;
  EXPECT_EQ(file.Open(PathOf(Write(FileHeader().substr(0, 40)))), badHeaderErr);
  EXPECT_EQ(file.Open(PathOf(folder / "missing.iff")), unavailableErr);
  EXPECT_FALSE(file.ValidFile());
  // An IFF 2.x header is refused, and an IFF 2.x file refuses this one.
  EXPECT_EQ(file.Open(PathOf(Write(ifftest::FileHeaderBytes()))), badHeaderErr);
  IFFResFile2 other;
  EXPECT_EQ(other.Open(PathOf(Write(FileHeader() + NameListBlock({})))), badHeaderErr);
}

TEST_F(IFFResFileTest, CorruptBlocksEndTheWalk) {
  ScopedDebugCapture capture;
  const std::string names = NameListBlock({{1, "Chair"}});
  const std::string good = Block(kSPR2, 1, 0, 1, "good");
  struct Case {
    const char* what;
    std::string tail;
  };
  const std::vector<Case> cases = {
      {"size 0", Block(kSPR2, 2, 0, -1, "bad", 0)},
      {"size 15", Block(kSPR2, 2, 0, -1, "bad", 15)},
      {"negative size", Block(kSPR2, 2, 0, -1, "bad", -16)},
      {"past the end", Block(kSPR2, 2, 0, -1, "bad", 1000)},
      {"huge", Block(kSPR2, 2, 0, -1, "bad", 0x7FFFFFF0)},
      {"free block cut short", Block(kFreeBlockType, 0, kInvalid, -1, "", 500)},
      {"a few trailing bytes", std::string(15, 'q')},
  };
  for (const Case& c : cases) {
    std::string path = Write(FileHeader() + names + good + c.tail);
    IFFResFile file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
    EXPECT_EQ(file.Count(kSPR2), 1) << c.what;
    EXPECT_EQ(BytesOf(file.GetResource(kSPR2, 1)), "good") << c.what;
    EXPECT_EQ(ResName(file, file.GetResource(kSPR2, 1)), "Chair") << c.what;
    file.Close();
  }
}

TEST_F(IFFResFileTest, CorruptNameListsGiveNoNames) {
  ScopedDebugCapture capture;
  std::string countPastEnd = NameListData({{1, "Chair"}});
  countPastEnd[12] = char(0x40);  // a count of 64 records in a few bytes
  std::string namePastEnd = NameListData({{1, "Chair"}});
  namePastEnd.pop_back();  // the string loses its NUL
  std::string wrongType = NameListData({{1, "Chair"}});
  wrongType[8] = 'X';
  const std::vector<std::string> lists = {
      Block(kNameListType, 1, kInternalFlag | kNativeOrder, -1, countPastEnd),
      Block(kNameListType, 1, kInternalFlag | kNativeOrder, -1, namePastEnd),
      Block(kNameListType, 1, kInternalFlag | kNativeOrder, -1, wrongType),
      Block(kNameListType, 1, kInternalFlag | kNativeOrder, -1, "short"),
      Block(kNameListType, 0, kInternalFlag, -1, OldNameData({{1, "Chair"}}).substr(0, 7)),
      Block(kNameListType, 0, kInternalFlag, -1, "\x01\x00\x00"),
  };
  for (size_t i = 0; i < lists.size(); ++i) {
    std::string path = Write(FileHeader() + lists[i] + Block(kSPR2, 1, 0, 1, "s"));
    IFFResFile file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << "list " << i;
    EXPECT_EQ(file.GetNameList()->Count(), 0u) << "list " << i;
    EXPECT_EQ(BytesOf(file.GetResource(kSPR2, 1)), "s") << "list " << i;
    EXPECT_EQ(file.GetNamedResource(kSPR2, FixedStringBuffer<64>("Chair")), nullptr);
    file.Close();
  }
}

// A block may carry a name index that the name list lacks (the list was dropped as corrupt,
// or never had it). A name given later must not take that index, or the block would come
// back with that name.
TEST_F(IFFResFileTest, NewNamesNeverTakeAnIndexThatABlockCarries) {
  std::string countPastEnd = NameListData({{1, "Chair"}});
  countPastEnd[12] = char(0x40);
  const std::string chair = Block(kSPR2, 1, 0, 1, "chair sprite");
  struct Case {
    const char* what;
    std::string blocks;
    const char* secondName;  // of SPR2 2 after the new name was saved
  };
  // A damaged file may also carry the largest index, in a block or in the name list: the new
  // name then takes one that nothing uses.
  const std::vector<Case> cases = {
      {"list dropped", Block(kNameListType, 1, kInternalFlag | kNativeOrder, -1, countPastEnd) + chair +
                           Block(kSPR2, 2, 0, 2, "stray index"), ""},
      {"index missing from the list", NameListBlock({{1, "Chair"}}) + chair + Block(kSPR2, 2, 0, 2, "stray index"), ""},
      {"largest index in a block", NameListBlock({{1, "Chair"}}) + chair + Block(kSPR2, 2, 0, INT32_MAX, "stray index"),
       ""},
      {"largest index in the list", NameListBlock({{1, "Chair"}, {INT32_MAX, "Table"}}) + chair +
                                        Block(kSPR2, 2, 0, INT32_MAX, "table sprite"), "Table"},
  };
  ScopedDebugCapture capture;
  for (const Case& c : cases) {
    std::string path = Write(FileHeader() + c.blocks);
    {
      IFFResFile file;
      ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
      file.AddResource(HandleOf("lamp"), kOBJD, 128, FixedStringBuffer<64>("Lamp"), true);
      ASSERT_EQ(file.GetError(), noErr) << c.what;
      ASSERT_EQ(file.Close(), noErr) << c.what;
    }
    IFFResFile file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
    EXPECT_EQ(ResName(file, file.GetResource(kSPR2, 2)), c.secondName) << c.what;
    EXPECT_EQ(ResName(file, file.GetResource(kOBJD, 128)), "Lamp") << c.what;
    file.Close();
  }
}

// Two blocks of a damaged file carry one name index. Removing, renaming or unnaming one of
// them leaves the other its name.
TEST_F(IFFResFileTest, BlocksSharingANameIndexKeepTheirNamesApart) {
  struct Case {
    const char* what;
    const char* newName;  // null: remove the first resource
    const char* firstAfter;
  } cases[] = {
      {"remove", nullptr, nullptr},
      {"rename", "Seat", "Seat"},
      {"unname", "", ""},
  };
  ScopedDebugCapture capture;
  for (const Case& c : cases) {
    std::string path = Write(FileHeader() + NameListBlock({{1, "Chair"}}) + Block(kSPR2, 1, 0, 1, "a") +
                             Block(kSPR2, 2, 0, 1, "b"));
    {
      IFFResFile file;
      ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
      MHandle* first = file.GetResource(kSPR2, 1);
      if (c.newName)
        file.SetResInfo(first, 1, FixedStringBuffer<64>(c.newName), 0);
      else
        file.RemoveResource(first);
      ASSERT_EQ(file.GetError(), noErr) << c.what;
      EXPECT_EQ(ResName(file, file.GetResource(kSPR2, 2)), "Chair") << c.what;
      ASSERT_EQ(file.Close(), noErr) << c.what;
    }
    IFFResFile file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
    EXPECT_EQ(ResName(file, file.GetResource(kSPR2, 2)), "Chair") << c.what;
    if (c.firstAfter) {
      EXPECT_EQ(ResName(file, file.GetResource(kSPR2, 1)), c.firstAfter) << c.what;
    }
    file.Close();
  }
}

// Names are saved in the new form and every other list is removed: the old-form ones and
// further new-form ones of a damaged file. One left behind could be read at the next open in
// place of the saved names.
TEST_F(IFFResFileTest, SavingNamesRemovesEveryOtherList) {
  const std::string oldList = Block(kNameListType, 0, kInternalFlag, -1, OldNameData({{1, "Chair"}}));
  const std::vector<std::pair<const char*, std::string>> lists = {
      {"two old-form lists", oldList + oldList},
      // The list read is the later one; the saved list goes into the free block before both.
      {"two new-form lists", FreeBlock(400) + NameListBlock({{1, "Stale"}}) + NameListBlock({{1, "Chair"}})},
  };
  for (const auto& [what, names] : lists) {
    std::string path = Write(FileHeader() + names + Block(kSPR2, 1, 0, 1, "a"));
    {
      IFFResFile file;
      ASSERT_EQ(file.Open(PathOf(path)), noErr) << what;
      EXPECT_EQ(ResName(file, file.GetResource(kSPR2, 1)), "Chair") << what;
      file.AddResource(HandleOf("lamp"), kOBJD, 128, FixedStringBuffer<64>("Lamp"), true);
      ASSERT_EQ(file.GetError(), noErr) << what;
      ASSERT_EQ(file.Close(), noErr) << what;
    }
    IFFResFile file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << what;
    EXPECT_EQ(ResName(file, file.GetResource(kSPR2, 1)), "Chair") << what;
    EXPECT_EQ(ResName(file, file.GetResource(kOBJD, 128)), "Lamp") << what;
    file.Close();
  }
}

TEST_F(IFFResFileTest, OperationsOnAClosedFile) {
  IFFResFile file;
  MHandle* h = HandleOf("x");
  EXPECT_EQ(file.CountTypes(), 0);
  EXPECT_EQ(file.GetError(), fileNotOpenErr);
  EXPECT_EQ(file.GetResource(kSPR2, 1), nullptr);
  EXPECT_EQ(file.GetError(), fileNotOpenErr);
  EXPECT_TRUE(file.IsNativeOrder(h));
  EXPECT_EQ(file.GetError(), fileNotOpenErr);
  file.AddResource(h, kSPR2, 1, kNoName, true);
  EXPECT_EQ(file.GetError(), fileNotOpenErr);
  EXPECT_EQ(file.Update(), fileNotOpenErr);
  EXPECT_EQ(file.Close(), fileNotOpenErr);
  EXPECT_FALSE(file.IsWritable());
  FixedStringBuffer<260> name("x");
  file.GetName(name);
  EXPECT_STREQ(name.c_str(), "");
  HFree(h);
}
