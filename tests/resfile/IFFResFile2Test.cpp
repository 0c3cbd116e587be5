#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BlockChain.h"
#include "DebugCapture.h"
#include "IFFResFile2.h"
#include "IFFTestSupport.h"
#include "PlatformFile.h"
#include "TestTempFolder.h"

using namespace ifftest;

namespace {

constexpr uint32_t kSprite = MakeResType('S', 'P', 'R', '2');
constexpr uint32_t kGroup = MakeResType('D', 'G', 'R', 'P');
constexpr uint32_t kText = MakeResType('S', 'T', 'R', '#');
constexpr uint32_t kTest = MakeResType('T', 'E', 'S', 'T');

struct Spec {
  uint32_t type;
  int16_t id;
  uint8_t language;
  std::string name;
  bool native;
  std::string data;
};

const std::vector<Spec>& Contents() {
  static const std::vector<Spec> specs = {
      {kSprite, 1, 0, "first sprite", true, std::string(300, 's')},
      {kSprite, 200, 0, "", true, "two hundred"},
      {kSprite, -5, 0, "negative", false, std::string("\x01\x02\x03\x04", 4)},
      {kGroup, 128, 0, "group", true, std::string(5000, 'g')},
      {kText, 128, 0, "strings", true, ""},
      {kText, 128, 3, "strings", true, "language three"},
      {kTest, 7, 0, std::string(63, 'n'), true, "long name"},
  };
  return specs;
}

void AddAll(IFFResFile2& file, const std::vector<Spec>& specs, bool write) {
  for (const Spec& s : specs) {
    MHandle* h = HandleOf(s.data);
    FixedStringBuffer<64> name(s.name.c_str());
    file.AddLanguageResource(h, s.type, uint16_t(s.id), name, s.language, s.native);
    ASSERT_EQ(file.GetError(), noErr);
    if (write) {
      file.WriteResource(h);
      ASSERT_EQ(file.GetError(), noErr);
    }
  }
}

void ExpectAll(IFFResFile2& file, const std::vector<Spec>& specs, const std::string& how) {
  std::map<uint32_t, int> perType;
  for (const Spec& s : specs) ++perType[s.type];
  EXPECT_EQ(file.CountTypes(), int16_t(perType.size())) << how;
  for (auto [type, count] : perType) EXPECT_EQ(file.Count(type), count) << how;
  for (const Spec& s : specs) {
    MHandle* h = file.GetLanguageResource(s.type, uint16_t(s.id), s.language);
    ASSERT_NE(h, nullptr) << how << " id " << s.id;
    EXPECT_EQ(BytesOf(h), s.data) << how << " id " << s.id;
    FixedStringBuffer<64> name;
    file.GetResName(h, name);
    EXPECT_EQ(std::string(name.c_str()), s.name) << how;
    int16_t id = 0;
    file.GetResID(h, id);
    EXPECT_EQ(id, s.id) << how;
    EXPECT_EQ(file.GetResType(h), s.type) << how;
    EXPECT_EQ(file.GetResLanguage(h), s.language) << how;
    EXPECT_EQ(file.IsNativeOrder(h), s.native) << how;
  }
}

class IFFResFile2Test : public ::testing::Test {
 protected:
  std::string Path(const char* name = "object.iff") { return folder / name; }

  // A closed file at `path` holding `specs`.
  void MakeFile(const std::string& path, const std::vector<Spec>& specs, bool write = true) {
    IFFResFile2 file;
    ASSERT_EQ(file.Create(PathOf(path)), noErr);
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    AddAll(file, specs, write);
    ASSERT_EQ(file.Close(), noErr);
  }

  TestTempFolder folder;
};

}  // namespace

TEST_F(IFFResFile2Test, NewFileIsTheBare64ByteHeader) {
  IFFResFile2 file;
  ASSERT_EQ(file.Create(PathOf(Path())), noErr);
  EXPECT_EQ(TestTempFolder::ReadFile(Path()), FileHeaderBytes(0));
  EXPECT_EQ(file.Create(PathOf(Path())), fileExistsErr);
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(file.CountTypes(), 0);
  EXPECT_EQ(file.Open(PathOf(Path())), alreadyOpenErr);
  EXPECT_EQ(file.Delete(PathOf(Path())), alreadyOpenErr);
  EXPECT_EQ(file.Close(), noErr);
  EXPECT_EQ(TestTempFolder::ReadFile(Path()), FileHeaderBytes(0));  // nothing changed
  EXPECT_EQ(file.Close(), fileNotOpenErr);
  EXPECT_EQ(file.CountTypes(), 0);
  EXPECT_EQ(file.GetError(), fileNotOpenErr);
}

TEST_F(IFFResFile2Test, RecordAndMapHaveTheirByteLayout) {
  MakeFile(Path(), {{kTest, 0x0102, 0, "ab", true, "xyz"}});
  std::string bytes = TestTempFolder::ReadFile(Path());
  // The header names the map, which follows the one record.
  const uint32_t mapAt = 64 + 76 + 3;
  EXPECT_EQ(bytes.substr(0, 64), FileHeaderBytes(mapAt));
  EXPECT_EQ(bytes.substr(64, 79), RecordBytes(kTest, 0x0102, 0x0010, "ab", "xyz"));
  // rsmp: record header, 12-byte stream header, wasted, one node, one entry, "ab" + pad.
  std::string map = bytes.substr(mapAt);
  ASSERT_EQ(map.size(), 76u + 12 + 28);
  EXPECT_EQ(map.substr(0, 76),
            RecordBytes(kResMapType, 0, 0x0010, "", std::string(40, '\0')).substr(0, 76));
  std::string body = map.substr(76);
  const std::string expect(
      "\0\0\0\0" "\0\0\0\0" "pmsr"        // byte-order flag, version 0, type (host order)
      "\0\0\0\0" "\1\0\0\0"               // wasted 0, one node
      "TSET" "\1\0\0\0"                   // its type, one entry
      "\x40\0\0\0" "\x02\x01" "\x10\0"    // offset 64, id, stored flags
      "ab\0",
      39);
  EXPECT_EQ(body.substr(0, 39), expect);
}

TEST_F(IFFResFile2Test, RoundTripThroughSavedMapAndThroughScan) {
  MakeFile(Path(), Contents(), /*write=*/false);  // written at Close
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    EXPECT_NE(file.GetMapOffset(), 0u);
    ExpectAll(file, Contents(), "saved map");
    EXPECT_EQ(file.Count(kResMapType), 0);  // the map does not list itself
    EXPECT_EQ(file.Close(), noErr);
  }
  IFFResFile2 clearer;
  ASSERT_EQ(clearer.ClearSavedMap(PathOf(Path())), noErr);
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(file.GetMapOffset(), 0u);
  ExpectAll(file, Contents(), "scan");
  EXPECT_EQ(file.Count(kResMapType), 0);
}

TEST_F(IFFResFile2Test, ReadOnlyFileRefusesChanges) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, "data"}});
  ASSERT_EQ(chmod(Path().c_str(), 0444), 0);
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_FALSE(file.IsWritable());
  MHandle* h = file.GetResource(kTest, 1);
  ASSERT_NE(h, nullptr);
  file.WriteResource(h);
  EXPECT_EQ(file.GetError(), readOnlyErr);
  file.RemoveResource(h);
  EXPECT_EQ(file.GetError(), readOnlyErr);
  MHandle* other = HandleOf("x");
  file.AddResource(other, kTest, 2, FixedStringBuffer<4>(), true);
  EXPECT_EQ(file.GetError(), readOnlyErr);
  HFree(other);
  EXPECT_EQ(file.Close(), noErr);
}

TEST_F(IFFResFile2Test, HeadersThatAreNotIFF25Or20AreRefused) {
  std::string oneDotZero = FileHeaderBytes(0);
  oneDotZero[9] = '1';
  oneDotZero[11] = '0';
  std::string byte59 = FileHeaderBytes(0);
  byte59[59] = '2';
  struct Case {
    const char* what;
    std::string bytes;
    int32_t result;
  } cases[] = {
      {"IFF 1.0", oneDotZero, badHeaderErr},
      {"byte 59", byte59, badHeaderErr},
      {"short", FileHeaderBytes(0).substr(0, 40), badHeaderErr},
      {"empty", "", badHeaderErr},
      {"2.0 scans", FileHeaderBytes(0x12345678, '0') + RecordBytes(kTest, 1, 0, "", "a"), noErr},
  };
  for (const Case& c : cases) {
    std::string path = folder.WriteFile("case.iff", c.bytes);
    IFFResFile2 file;
    EXPECT_EQ(file.Open(PathOf(path)), c.result) << c.what;
    if (c.result == noErr) {
      EXPECT_EQ(file.Count(kTest), 1) << c.what;
    }
    EXPECT_EQ(file.ValidFile(), c.result == noErr) << c.what;
  }
}

TEST_F(IFFResFile2Test, SwizzleRunsOnceForForeignOrderData) {
  MakeFile(Path(), {{kTest, 1, 0, "", false, "abcd"}, {kTest, 2, 0, "", true, "abcd"}});
  static int calls;
  calls = 0;
  auto reverse = [](void* data, int32_t size) {
    ++calls;
    std::reverse(static_cast<char*>(data), static_cast<char*>(data) + size);
  };
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  MHandle* h = file.GetResource(kTest, 1, reverse);
  EXPECT_EQ(BytesOf(h), "dcba");
  EXPECT_TRUE(file.IsNativeOrder(h));
  EXPECT_EQ(file.GetResource(kTest, 1, reverse), h);  // same handle, no second call
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 2, reverse)), "abcd");
  EXPECT_EQ(calls, 1);
}

TEST_F(IFFResFile2Test, AddsMatchTheLanguageExactly) {
  IFFResFile2 file;
  ASSERT_EQ(file.Create(PathOf(Path())), noErr);
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  FixedStringBuffer<64> name("n");
  file.AddLanguageResource(HandleOf("base"), kText, 1, name, 0, true);
  file.AddLanguageResource(HandleOf("three"), kText, 1, name, 3, true);
  EXPECT_EQ(file.Count(kText), 2);
  EXPECT_EQ(BytesOf(file.GetLanguageResource(kText, 1, 3)), "three");
  EXPECT_EQ(BytesOf(file.GetLanguageResource(kText, 1, 5)), "base");
  EXPECT_EQ(BytesOf(file.GetResource(kText, 1)), "base");
  // A look-up by name finds language 0 only.
  EXPECT_EQ(BytesOf(file.GetNamedResource(kText, name)), "base");
  EXPECT_EQ(file.GetNamedResource(kText, FixedStringBuffer<4>()), nullptr);
  EXPECT_EQ(file.GetError(), notMemberErr);
  EXPECT_EQ(file.Close(), noErr);
}

TEST_F(IFFResFile2Test, ReplacingMarksTheOldBlockBeforeTheNewIsLive) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, std::string(100, 'a')}});
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  MHandle* h = HandleOf(std::string(50, 'b'));
  file.AddResource(h, kTest, 1, FixedStringBuffer<4>(), true);
  EXPECT_EQ(file.Count(kTest), 1);
  // Until the new data are written, the old record stays whole on disk.
  std::vector<DiskRecord> records = WalkRecords(TestTempFolder::ReadFile(Path()));
  ASSERT_GE(records.size(), 1u);
  EXPECT_EQ(records[0].type, kTest);
  EXPECT_EQ(records[0].flags & kInvalid, 0);
  file.WriteResource(h);
  ASSERT_EQ(file.GetError(), noErr);
  EXPECT_EQ(file.CheckLedger(), noErr);
  // Written: the old block is free but keeps its type and id (the mark a walk falls back to
  // when the new record is not there), the new record is the one live record.
  auto checkMarked = [&](const char* when) {
    records = WalkRecords(TestTempFolder::ReadFile(Path()));
    ASSERT_GE(records.size(), 2u) << when;
    EXPECT_EQ(records[0].type, kTest) << when;
    EXPECT_EQ(records[0].id, 1) << when;
    EXPECT_EQ(records[0].flags & kInvalid, kInvalid) << when;
    int live = 0;
    for (const DiskRecord& r : records) live += r.type == kTest && !(r.flags & kInvalid);
    EXPECT_EQ(live, 1) << when;
  };
  checkMarked("written");
  EXPECT_GE(file.GetWasted(), 176u);  // the old record (and the retired map's block)
  file.Update();
  ASSERT_EQ(file.GetError(), noErr);
  // The Update's sync made the new record durable: the mark is cleared to a plain free block
  // (and synced), so no mark older than the last sync is left to stand beside a later one.
  records = WalkRecords(TestTempFolder::ReadFile(Path()));
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[0].type, kFreeBlockType);
  EXPECT_EQ(records[0].flags & kInvalid, kInvalid);
  int live = 0;
  for (const DiskRecord& r : records) live += r.type == kTest && !(r.flags & kInvalid);
  EXPECT_EQ(live, 1);
  EXPECT_EQ(file.CheckLedger(), noErr);
  // The close clears the mark before it saves the map, which a later open trusts.
  ASSERT_EQ(file.Close(), noErr);
  records = WalkRecords(TestTempFolder::ReadFile(Path()));
  ASSERT_GE(records.size(), 1u);
  EXPECT_EQ(records[0].type, kFreeBlockType);
  EXPECT_EQ(records[0].size, 176u);
  IFFResFile2 again;
  ASSERT_EQ(again.Open(PathOf(Path())), noErr);
  ExpectAll(again, {{kTest, 1, 0, "", true, std::string(50, 'b')}}, "reopen");
}

TEST_F(IFFResFile2Test, FreeBlocksAreReusedSplitOrPassedOver) {
  // need = data + 76. A free block of `freeSize` bytes at offset 64, then a live record.
  struct Case {
    const char* what;
    uint32_t freeData;  // data size of the record that is removed
    uint32_t newData;   // data size of the record that is then written
    bool reused;        // lands at 64
    bool split;         // a free block of the rest follows it
  } cases[] = {
      {"exact", 100, 100, true, false},
      {"need + 75 is passed over", 175, 100, false, false},
      {"need + 76 is split", 176, 100, true, true},
  };
  for (const Case& c : cases) {
    std::string path = Path(c.what);
    MakeFile(path, {{kTest, 1, 0, "", true, std::string(c.freeData, 'f')},
                    {kTest, 2, 0, "", true, "keep"}});
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    file.SetNoDefragment();
    file.RemoveResource(file.GetResource(kTest, 1));
    ASSERT_EQ(file.GetError(), noErr);
    MHandle* h = HandleOf(std::string(c.newData, 'n'));
    file.AddResource(h, kTest, 3, FixedStringBuffer<4>(), true);
    file.WriteResource(h);
    ASSERT_EQ(file.GetError(), noErr);
    std::vector<DiskRecord> records = WalkRecords(TestTempFolder::ReadFile(path));
    ASSERT_GE(records.size(), 2u) << c.what;
    EXPECT_EQ(records[0].type == kTest && records[0].id == 3, c.reused) << c.what;
    if (c.split) {
      EXPECT_EQ(records[1].type, kFreeBlockType) << c.what;
      EXPECT_EQ(records[1].size, 76u) << c.what;
    }
    EXPECT_EQ(file.Close(), noErr);
  }
}

TEST_F(IFFResFile2Test, AdjacentFreeBlocksMergeAndAllocationAtTheEndExtendsByNeed) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, std::string(100, 'a')},
                    {kTest, 2, 0, "", true, std::string(100, 'b')},
                    {kTest, 3, 0, "", true, "keep"}});
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  file.SetNoDefragment();
  file.RemoveResource(file.GetResource(kTest, 1));
  file.RemoveResource(file.GetResource(kTest, 2));
  // 200 bytes of data fit only in the two blocks together (2 x 176 = 352 = 276 + 76).
  MHandle* h = HandleOf(std::string(200, 'm'));
  file.AddResource(h, kTest, 4, FixedStringBuffer<4>(), true);
  file.WriteResource(h);
  ASSERT_EQ(file.GetError(), noErr);
  std::vector<DiskRecord> records = WalkRecords(TestTempFolder::ReadFile(Path()));
  ASSERT_GE(records.size(), 3u);
  EXPECT_EQ(records[0].id, 4);
  EXPECT_EQ(records[1].type, kFreeBlockType);
  EXPECT_EQ(records[1].size, 352u - 276u);
  EXPECT_EQ(records[2].id, 3);
  // Nothing free is large enough now: the file grows by exactly data + 76.
  uint32_t before = uint32_t(TestTempFolder::ReadFile(Path()).size());
  MHandle* big = HandleOf(std::string(1000, 'B'));
  file.AddResource(big, kTest, 5, FixedStringBuffer<4>(), true);
  file.WriteResource(big);
  ASSERT_EQ(file.GetError(), noErr);
  EXPECT_EQ(TestTempFolder::ReadFile(Path()).size(), before + 1076u);
}

TEST_F(IFFResFile2Test, CloseCompactsFromTheThresholdOn) {
  // A removed record of `size` bytes is all the waste; 10240 compacts, 10239 does not.
  for (uint32_t size : {10239u, 10240u}) {
    std::string path = Path(size == 10240 ? "at.iff" : "below.iff");
    MakeFile(path, {{kTest, 1, 0, "", true, std::string(size - 76, 'w')},
                    {kTest, 2, 0, "", true, "live"}});
    IFFResFile2 clearer;
    ASSERT_EQ(clearer.ClearSavedMap(PathOf(path)), noErr);  // no map block to free
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    file.RemoveResource(file.GetResource(kTest, 1));
    ASSERT_EQ(file.GetWasted(), size);
    ASSERT_EQ(file.Close(), noErr);
    bool complete = false;
    std::vector<DiskRecord> records = WalkRecords(TestTempFolder::ReadFile(path), &complete);
    EXPECT_TRUE(complete);
    bool anyFree = std::any_of(records.begin(), records.end(),
                               [](const DiskRecord& r) { return r.type == kFreeBlockType; });
    EXPECT_EQ(anyFree, size < kDefragmentThreshold) << size;
    if (size == kDefragmentThreshold) {
      // Compacted: the live record, then the new map.
      ASSERT_EQ(records.size(), 2u);
      EXPECT_EQ(records[0].offset, 64u);
      EXPECT_EQ(records[0].id, 2);
      EXPECT_EQ(records[1].type, kResMapType);
    }
    IFFResFile2 again;
    ASSERT_EQ(again.Open(PathOf(path)), noErr);
    ExpectAll(again, {{kTest, 2, 0, "", true, "live"}}, "reopen");
  }
}

TEST_F(IFFResFile2Test, DefragmentLeavesOnlyLiveRecordsAtRightOffsets) {
  std::vector<Spec> specs;
  for (int16_t id = 1; id <= 12; ++id)
    specs.push_back({kTest, id, 0, "", true, std::string(size_t(id) * 700, char('a' + id))});
  MakeFile(Path(), specs);
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  std::vector<Spec> kept;
  uint32_t liveBytes = 0;
  for (const Spec& s : specs) {
    if (s.id % 3 == 0) {
      file.RemoveResource(file.GetResource(kTest, uint16_t(s.id)));
      ASSERT_EQ(file.GetError(), noErr);
    } else {
      kept.push_back(s);
      liveBytes += uint32_t(76 + s.data.size());
    }
  }
  // One resource replaced in memory keeps its old block through the compaction.
  MHandle* pending = HandleOf("pending data");
  file.AddResource(pending, kTest, 1, FixedStringBuffer<4>(), true);
  ASSERT_EQ(file.Defragment(), noErr);
  EXPECT_EQ(file.GetWasted(), 0u);
  EXPECT_EQ(file.GetRovingOffset(), -1);
  std::string bytes = TestTempFolder::ReadFile(Path());
  bool complete = false;
  std::vector<DiskRecord> records = WalkRecords(bytes, &complete);
  EXPECT_TRUE(complete);
  EXPECT_EQ(bytes.size(), 64u + liveBytes);
  for (const DiskRecord& r : records) {
    EXPECT_NE(r.type, kFreeBlockType);
    EXPECT_NE(r.type, kResMapType);
  }
  EXPECT_EQ(bytes.substr(0, 64), FileHeaderBytes(0));
  // Every entry still finds its record: load them from disk by detaching what is held.
  for (const Spec& s : kept) {
    if (s.id == 1) continue;
    MHandle* h = file.GetResource(kTest, uint16_t(s.id));
    ASSERT_NE(h, nullptr);
    file.DetachAndDispose(h);
    EXPECT_EQ(BytesOf(file.GetResource(kTest, uint16_t(s.id))), s.data) << s.id;
  }
  ASSERT_EQ(file.Close(), noErr);
  kept[0].data = "pending data";
  IFFResFile2 again;
  ASSERT_EQ(again.Open(PathOf(Path())), noErr);
  ExpectAll(again, kept, "after compaction");
  EXPECT_EQ(again.Count(kTest), int16_t(kept.size()));
}

TEST_F(IFFResFile2Test, CloseWritesANewResourceOfACleanFile) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, "old"}});
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    EXPECT_FALSE(file.IsDirty());
    file.AddResource(HandleOf("new"), kTest, 2, FixedStringBuffer<4>("two"), true);
    ASSERT_EQ(file.GetError(), noErr);
  }  // the destructor closes
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  ExpectAll(file, {{kTest, 1, 0, "", true, "old"}, {kTest, 2, 0, "two", true, "new"}}, "reopen");
}

TEST_F(IFFResFile2Test, DetachAndRemove) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, "one"}});
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  MHandle* added = HandleOf("two");
  file.AddResource(added, kTest, 2, FixedStringBuffer<4>(), true);
  file.DetachResource(added);  // written first, then the caller's
  ASSERT_EQ(file.GetError(), noErr);
  EXPECT_EQ(file.GetResType(added), 0u);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  MHandle* loaded = file.GetResource(kTest, 2);
  EXPECT_NE(loaded, nullptr);
  EXPECT_EQ(BytesOf(loaded), "two");
  HFree(added);
  file.DetachResource(added);
  EXPECT_EQ(file.GetError(), notMemberErr);
  file.RemoveResource(file.GetResource(kTest, 1));
  EXPECT_EQ(file.GetError(), noErr);
  EXPECT_EQ(file.GetResource(kTest, 1), nullptr);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  ASSERT_EQ(file.Close(), noErr);
  IFFResFile2 again;
  ASSERT_EQ(again.Open(PathOf(Path())), noErr);
  ExpectAll(again, {{kTest, 2, 0, "", true, "two"}}, "reopen");
}

TEST_F(IFFResFile2Test, SetResInfoRewritesTheStoredHeader) {
  MakeFile(Path(), {{kTest, 1, 0, "old", true, "data"}});
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    MHandle* h = file.GetResource(kTest, 1);
    file.SetResInfo(h, 9, FixedStringBuffer<64>("new"), 0);
    ASSERT_EQ(file.GetError(), noErr);
    file.SetResID(h, 10);
    ASSERT_EQ(file.GetError(), noErr);
  }
  IFFResFile2 clearer;
  ASSERT_EQ(clearer.ClearSavedMap(PathOf(Path())), noErr);
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  ExpectAll(file, {{kTest, 10, 0, "new", true, "data"}}, "scan");
}

TEST_F(IFFResFile2Test, UniqueNameAndID) {
  IFFResFile2 file;
  ASSERT_EQ(file.Create(PathOf(Path())), noErr);
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(file.UniqueID(kTest), 129);
  const std::string longName(63, 'L');
  for (const std::string& n : {std::string("abc"), std::string("abc0"), longName})
    file.AddResource(HandleOf(n), kTest, uint16_t(file.UniqueID(kTest)),
                     FixedStringBuffer<64>(n.c_str()), true);
  EXPECT_EQ(file.UniqueID(kTest), 132);
  FixedStringBuffer<64> name("abc");
  file.UniqueName(kTest, name);
  EXPECT_STREQ(name.c_str(), "abc1");
  FixedStringBuffer<64> fresh("free");
  file.UniqueName(kTest, fresh);
  EXPECT_STREQ(fresh.c_str(), "free");
  // A taken name of full length still gets a number: the name is cut to make room.
  FixedStringBuffer<64> full(longName.c_str());
  file.UniqueName(kTest, full);
  EXPECT_EQ(std::string(full.c_str()), longName.substr(0, 62) + "0");
}

TEST_F(IFFResFile2Test, SuspendResumeAndARovingOffsetThatStaysInItsFile) {
  std::vector<Spec> big;
  for (int16_t id = 1; id <= 20; ++id) big.push_back({kTest, id, 0, "", true, std::string(500, 'x')});
  MakeFile(Path("big.iff"), big);
  MakeFile(Path("small.iff"), {{kTest, 1, 0, "", true, "s"}});
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path("big.iff"))), noErr);
  MHandle* h = HandleOf("late");
  file.AddResource(h, kTest, 99, FixedStringBuffer<4>(), true);
  file.WriteResource(h);
  EXPECT_GT(file.GetRovingOffset(), 10000);
  ASSERT_EQ(file.Suspend(), noErr);
  EXPECT_FALSE(file.ValidFile());
  ASSERT_EQ(file.Resume(), noErr);
  EXPECT_EQ(file.GetRovingOffset(), 0);
  EXPECT_EQ(file.Count(kTest), 21);
  ASSERT_EQ(file.Close(), noErr);
  EXPECT_EQ(file.Resume(), unavailableErr);  // nothing remembered any more
  // The same object on another, smaller file starts its search inside that file.
  ASSERT_EQ(file.Open(PathOf(Path("small.iff"))), noErr);
  EXPECT_EQ(file.GetRovingOffset(), -1);
  MHandle* s = HandleOf("second");
  file.AddResource(s, kTest, 2, FixedStringBuffer<4>(), true);
  file.WriteResource(s);
  ASSERT_EQ(file.GetError(), noErr);
  ASSERT_EQ(file.Close(), noErr);
  IFFResFile2 again;
  ASSERT_EQ(again.Open(PathOf(Path("small.iff"))), noErr);
  ExpectAll(again, {{kTest, 1, 0, "", true, "s"}, {kTest, 2, 0, "", true, "second"}}, "small");
}

TEST_F(IFFResFile2Test, CopyOptimizedPutsTheMapFirstAndKeepsEverything) {
  MakeFile(Path(), Contents());
  IFFResFile2 source;
  ASSERT_EQ(source.Open(PathOf(Path())), noErr);
  source.RemoveResource(source.GetResource(kGroup, 128));  // leaves a hole in the source
  std::vector<Spec> kept;
  for (const Spec& s : Contents())
    if (s.type != kGroup) kept.push_back(s);
  MHandle* held = source.GetResource(kSprite, 1);  // a handle the caller holds stays valid
  ScopedDebugCapture capture;
  ASSERT_EQ(source.CopyOptimized(PathOf(Path("copy.iff"))), noErr);
  EXPECT_FALSE(capture.Saw("not optimized"));
  EXPECT_EQ(BytesOf(held), Contents()[0].data);
  IFFResFile2 copy;
  ASSERT_EQ(copy.Open(PathOf(Path("copy.iff"))), noErr);
  EXPECT_EQ(copy.GetMapOffset(), 64u);
  EXPECT_EQ(copy.GetWasted(), 0u);
  ExpectAll(copy, kept, "copy");
  bool complete = false;
  std::vector<DiskRecord> records = WalkRecords(TestTempFolder::ReadFile(Path("copy.iff")), &complete);
  EXPECT_TRUE(complete);
  for (const DiskRecord& r : records) EXPECT_NE(r.type, kFreeBlockType);
  IFFResFile2 closed;
  EXPECT_EQ(closed.CopyOptimized(PathOf(Path("copy2.iff"))), unavailableErr);
}

TEST_F(IFFResFile2Test, LiveListStaysConsistentInAnyOrder) {
  auto listed = [](const iResFile* f) {
    for (iResFile* p = iResFile::FirstLiveFile(); p; p = iResFile::NextLiveFile(p))
      if (p == f) return true;
    return false;
  };
  auto* a = new IFFResFile2;
  auto* b = new IFFResFile2;
  auto* c = new IFFResFile2;
  EXPECT_TRUE(listed(a) && listed(b) && listed(c));
  delete b;
  EXPECT_TRUE(listed(a) && !listed(b) && listed(c));
  delete a;
  EXPECT_TRUE(listed(c));
  delete c;
  EXPECT_FALSE(listed(c));
}

// Corrupt record headers: the walk keeps what lies before them, loads nothing past the file,
// and an allocation writes nothing at all.
TEST_F(IFFResFile2Test, CorruptRecordHeadersStopTheWalkAndAllocation) {
  const std::string good = RecordBytes(kTest, 1, 0x10, "good", "good data");
  struct Case {
    const char* what;
    std::string tail;
  } cases[] = {
      {"size 0", RecordBytes(kTest, 2, 0x10, "", "abc", 0)},
      {"size below 76", RecordBytes(kTest, 2, 0x10, "", "abc", 75)},
      {"size past the end", RecordBytes(kTest, 2, 0x10, "", "abc", 5000)},
      {"size near 4 GiB", RecordBytes(kTest, 2, 0x10, "", "abc", 0xFFFFFFF0)},
  };
  ScopedDebugCapture capture;
  for (const Case& c : cases) {
    const std::string bytes = FileHeaderBytes(0) + good + c.tail;
    std::string path = folder.WriteFile("corrupt.iff", bytes);
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
    EXPECT_EQ(file.Count(kTest), 1) << c.what;
    EXPECT_EQ(BytesOf(file.GetResource(kTest, 1)), "good data") << c.what;
    MHandle* h = HandleOf("new");
    file.AddResource(h, kTest, 3, FixedStringBuffer<4>(), true);
    file.WriteResource(h);
    EXPECT_EQ(file.GetError(), badHeaderErr) << c.what;
    EXPECT_EQ(file.Defragment(), badHeaderErr) << c.what;
    EXPECT_NE(file.Close(), noErr) << c.what;
    EXPECT_EQ(TestTempFolder::ReadFile(path).substr(64), bytes.substr(64)) << c.what;
  }
}

// Bytes after the last record too few for a header (a write at the end of the file cut
// short by a full disk) belong to no record: the walk ends before them, and the next
// allocation cuts them off instead of refusing every later write.
TEST_F(IFFResFile2Test, ATailShorterThanAHeaderIsCutOffByTheNextWrite) {
  const std::string good = RecordBytes(kTest, 1, 0x10, "good", "good data");
  for (size_t tail : {1u, 38u, 75u}) {
    const std::string bytes = FileHeaderBytes(0) + good + std::string(tail, 'z');
    std::string path = folder.WriteFile("tail.iff", bytes);
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << tail;
    EXPECT_EQ(file.Count(kTest), 1) << tail;
    MHandle* h = HandleOf("new");
    file.AddResource(h, kTest, 3, FixedStringBuffer<64>("three"), true);
    file.WriteResource(h);
    EXPECT_EQ(file.GetError(), noErr) << tail;
    file.SetNoDefragment();
    ASSERT_EQ(file.Close(), noErr) << tail;
    const std::string after = TestTempFolder::ReadFile(path);
    EXPECT_EQ(after.substr(64, good.size()), good) << tail;
    EXPECT_EQ(after.substr(64 + good.size(), 76), RecordBytes(kTest, 3, 0x10, "three", "new").substr(0, 76)) << tail;
    IFFResFile2 again;
    ASSERT_EQ(again.Open(PathOf(path)), noErr) << tail;
    EXPECT_EQ(BytesOf(again.GetResource(kTest, 1)), "good data") << tail;
    EXPECT_EQ(BytesOf(again.GetResource(kTest, 3)), "new") << tail;
    again.Close();
  }
}

// A saved map that cannot be used falls back to the walk.
TEST_F(IFFResFile2Test, UnusableSavedMapFallsBackToTheWalk) {
  const std::string record = RecordBytes(kTest, 1, 0x10, "r", "payload");
  const uint32_t mapAt = 64 + uint32_t(record.size());
  std::string countPastEnd("\0\0\0\0" "\0\0\0\0" "pmsr" "\0\0\0\0" "\xff\xff\xff\x7f", 20);
  struct Case {
    const char* what;
    uint32_t mapOffset;
    std::string mapRecord;
  } cases[] = {
      {"offset past the end", 999999, ""},
      {"offset inside a record", 70, ""},
      {"not an rsmp", mapAt, RecordBytes(kGroup, 0, 0x10, "", "xxxx")},
      {"free block", mapAt, RecordBytes(kResMapType, 0, 0x14, "", "xxxx")},
      {"node count past its end", mapAt, RecordBytes(kResMapType, 0, 0x10, "", countPastEnd)},
      {"shorter than its header", mapAt, RecordBytes(kResMapType, 0, 0x10, "", "ab")},
  };
  ScopedDebugCapture capture;
  for (const Case& c : cases) {
    std::string path = folder.WriteFile("map.iff", FileHeaderBytes(c.mapOffset) + record + c.mapRecord);
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr) << c.what;
    EXPECT_EQ(file.Count(kTest), 1) << c.what;
    EXPECT_EQ(BytesOf(file.GetResource(kTest, 1)), "payload") << c.what;
  }
}

// An allocation at the end that was cut short leaves a free header running past the end of
// the file: the walk keeps what lies before it, and the next allocation cuts it off first.
TEST_F(IFFResFile2Test, FreeTailPastTheEndIsCutOffBeforeTheNextWrite) {
  const std::string good = RecordBytes(kTest, 1, 0x10, "", "good data");
  const std::string tail = RecordBytes(kFreeBlockType, 0, kInvalid, "", "half", 5000);
  const std::string bytes = FileHeaderBytes(0) + good + tail;
  std::string path = folder.WriteFile("tail.iff", bytes);
  ScopedDebugCapture capture;
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    EXPECT_EQ(file.Count(kTest), 1);
    // A cut that fails writes nothing and is reported.
    PlatformFileFailAt(kPlatformFaultTruncate, 1);
    MHandle* h = HandleOf("new");
    file.AddResource(h, kTest, 2, FixedStringBuffer<4>(), true);
    file.WriteResource(h);
    EXPECT_EQ(file.GetError(), unavailableErr);
    PlatformFileResetFaults();
    EXPECT_EQ(TestTempFolder::ReadFile(path).substr(64), bytes.substr(64));
    file.WriteResource(h);
    ASSERT_EQ(file.GetError(), noErr);
    std::vector<DiskRecord> records = WalkRecords(TestTempFolder::ReadFile(path));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].offset, 64u + good.size());
    EXPECT_EQ(records[1].id, 2);
  }
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  ExpectAll(file, {{kTest, 1, 0, "", true, "good data"}, {kTest, 2, 0, "", true, "new"}}, "reopen");
}

// A detach whose write fails keeps the data with the file, and Close still writes them.
TEST_F(IFFResFile2Test, FailedDetachKeepsTheDataWithTheFile) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, "one"}});
  ScopedDebugCapture capture;
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    MHandle* h = HandleOf("kept");
    file.AddResource(h, kTest, 2, FixedStringBuffer<4>(), true);
    PlatformFileFailAt(kPlatformFaultWrite, 1, /*sticky=*/true);
    file.DetachResource(h);
    EXPECT_EQ(file.GetError(), shortWriteErr);
    PlatformFileResetFaults();
    EXPECT_EQ(file.GetResType(h), kTest);  // still the file's
    EXPECT_EQ(file.GetResource(kTest, 2), h);
    EXPECT_EQ(file.Close(), noErr);
  }
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  ExpectAll(file, {{kTest, 1, 0, "", true, "one"}, {kTest, 2, 0, "", true, "kept"}}, "reopen");
}

TEST_F(IFFResFile2Test, StoredNamesAreCutTo63Characters) {
  std::string record = RecordBytes(kTest, 1, 0x10, "", "data");
  std::memset(&record[12], 'x', 64);  // a name field without its NUL
  std::string path = folder.WriteFile("names.iff", FileHeaderBytes(0) + record);
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  MHandle* h = file.GetResource(kTest, 1);
  FixedStringBuffer<64> name;
  file.GetResName(h, name);
  EXPECT_EQ(std::string(name.c_str()), std::string(63, 'x'));
  EXPECT_EQ(BytesOf(h), "data");
}

TEST_F(IFFResFile2Test, OperationsWithoutAnswer) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, "one"}});
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(file.GetIndType(1), kTest);
  EXPECT_EQ(file.GetIndType(2), 0u);
  EXPECT_EQ(file.GetError(), badTypeIndexErr);
  int16_t attrs = 5;
  file.GetResAttrs(file.GetResource(kTest, 1), attrs);
  EXPECT_EQ(attrs, 0);
  EXPECT_EQ(file.GetError(), unsupportedErr);
  file.UnusedOperation();
  EXPECT_EQ(file.GetError(), unsupportedErr);
  EXPECT_EQ(file.GetIndResource(kTest, 2), nullptr);
  EXPECT_EQ(file.GetError(), noSuchResourceErr);
  MHandle* stranger = HandleOf("x");
  EXPECT_TRUE(file.IsNativeOrder(stranger));
  EXPECT_EQ(file.GetError(), notMemberErr);
  file.WriteResource(stranger);
  EXPECT_EQ(file.GetError(), notMemberErr);
  HFree(stranger);
}

// A read that fails while the file is walked fails the open: a map saved from a partial walk
// would hide the records after it.
TEST_F(IFFResFile2Test, ReadFailureWhileWalkingFailsTheOpen) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, "one"}, {kTest, 2, 0, "", true, "two"}});
  IFFResFile2 clearer;
  ASSERT_EQ(clearer.ClearSavedMap(PathOf(Path())), noErr);
  ScopedDebugCapture capture;
  IFFResFile2 file;
  PlatformFileFailAt(kPlatformFaultRead, 3);  // the file header, record 1, then record 2
  EXPECT_EQ(file.Open(PathOf(Path())), shortReadErr);
  PlatformFileResetFaults();
  EXPECT_FALSE(file.ValidFile());
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(file.Count(kTest), 2);
}

// The first change to a file opened through its saved map retires the map: the header stops
// naming it before its block is freed, and the block counts as wasted.
TEST_F(IFFResFile2Test, FirstChangeRetiresTheSavedMap) {
  MakeFile(Path(), {{kTest, 1, 0, "", true, "one"}});
  std::vector<DiskRecord> before = WalkRecords(TestTempFolder::ReadFile(Path()));
  ASSERT_EQ(before.size(), 2u);
  ASSERT_EQ(before[1].type, kResMapType);
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(file.GetMapOffset(), before[1].offset);
  EXPECT_EQ(file.GetWasted(), 0u);
  file.SetResID(file.GetResource(kTest, 1), 2);
  ASSERT_EQ(file.GetError(), noErr);
  EXPECT_EQ(file.GetMapOffset(), 0u);
  EXPECT_EQ(file.GetWasted(), before[1].size);
  std::string bytes = TestTempFolder::ReadFile(Path());
  EXPECT_EQ(bytes.substr(0, 64), FileHeaderBytes(0));
  std::vector<DiskRecord> after = WalkRecords(bytes);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[1].type, kFreeBlockType);
  EXPECT_EQ(after[1].flags & kInvalid, kInvalid);
}

// A session of writes is made durable by the syncs of Update and Close, not by one sync per
// write: a file that takes one resource and one that takes forty, each replacing a resource
// every time as a build does with its palette, sync as often. And the replaced blocks are
// all freed in the end, so that the closed file holds exactly the last of each.
TEST_F(IFFResFile2Test, SyncsDoNotGrowWithTheNumberOfWrites) {
  int64_t syncs[2] = {0, 0};
  const int counts[2] = {1, 40};
  for (int k = 0; k < 2; ++k) {
    const std::string path = Path(("syncs" + std::to_string(k)).c_str());
    MakeFile(path, {{kTest, 1, 0, "", true, std::string(64, 'p')}});
    PlatformFileResetFaults();
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(PathOf(path)), noErr);
      for (int i = 0; i < counts[k]; ++i) {
        MHandle* sprite = HandleOf(std::string(size_t(200 + i), char('a' + i % 26)));
        file.AddResource(sprite, kTest, uint16_t(100 + i), FixedStringBuffer<4>(), true);
        file.WriteResource(sprite);
        ASSERT_EQ(file.GetError(), noErr);
        file.DetachAndDispose(sprite);
        MHandle* palette = HandleOf(std::string(64, char('A' + i % 26)));
        file.AddResource(palette, kTest, 1, FixedStringBuffer<4>(), true);
        file.WriteResource(palette);
        ASSERT_EQ(file.GetError(), noErr);
        file.DetachAndDispose(palette);
      }
      file.Update();
      ASSERT_EQ(file.GetError(), noErr);
      ASSERT_EQ(file.Close(), noErr);
    }
    syncs[k] = PlatformFileCallCount(kPlatformFaultFlush);
    int live = 0;
    for (const DiskRecord& r : WalkRecords(TestTempFolder::ReadFile(path)))
      if (!(r.flags & kInvalid) && r.type == kTest) ++live;
    EXPECT_EQ(live, counts[k] + 1) << counts[k] << " writes";
    IFFResFile2 again;
    ASSERT_EQ(again.Open(PathOf(path)), noErr);
    EXPECT_EQ(again.Count(kTest), counts[k] + 1);
    MHandle* last = again.GetResource(kTest, 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(BytesOf(last), std::string(64, char('A' + (counts[k] - 1) % 26)));
  }
  PlatformFileResetFaults();
  EXPECT_EQ(syncs[0], syncs[1]);
  EXPECT_LE(syncs[1], 6);
}

// A close that compacts makes its copy durable before the copy replaces the file; the blocks
// waiting to be freed are left out of the copy instead of being freed, after a sync of their
// own, in the file about to be replaced. So a close that compacts after a replacement syncs
// as often as one that only frees the replaced block, and the file keeps only the last data.
TEST_F(IFFResFile2Test, ACompactingCloseSpendsNoSyncOnTheFileItReplaces) {
  const std::vector<Spec> specs = {
      {kTest, 1, 0, "small", true, "first data"},
      {kGroup, 128, 0, "large", true, std::string(kDefragmentThreshold + 100, 'w')},
      {kTest, 2, 0, "last", true, "last data"},
  };
  int64_t syncs[2] = {0, 0};
  for (int compact = 0; compact < 2; ++compact) {
    std::remove(Path().c_str());
    MakeFile(Path(), specs);
    const uint32_t type = compact ? kGroup : kTest;
    const uint16_t id = compact ? 128 : 1;
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(PathOf(Path())), noErr);
      MHandle* data = HandleOf("new data");
      file.AddResource(data, type, id, FixedStringBuffer<8>("new"), true);
      file.WriteResource(data);
      ASSERT_EQ(file.GetError(), noErr);
      file.DetachAndDispose(data);
      ASSERT_EQ(file.GetWasted() >= kDefragmentThreshold, compact == 1);
      const int64_t before = PlatformFileCallCount(kPlatformFaultFlush);
      ASSERT_EQ(file.Close(), noErr);
      syncs[compact] = PlatformFileCallCount(kPlatformFaultFlush) - before;
    }
    const std::vector<DiskRecord> records = WalkRecords(TestTempFolder::ReadFile(Path()));
    if (compact) {
      for (const DiskRecord& r : records) EXPECT_EQ(r.flags & kInvalid, 0) << "compacted";
    }
    IFFResFile2 again;
    ASSERT_EQ(again.Open(PathOf(Path())), noErr);
    EXPECT_EQ(again.Count(kTest), 2);
    EXPECT_EQ(again.Count(kGroup), 1);
    MHandle* replaced = again.GetResource(type, id);
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(BytesOf(replaced), "new data");
  }
  EXPECT_LE(syncs[1], syncs[0]);
}

// A free header that runs past the end hides the blocks behind it from a walk of the file,
// although the saved map still reads them. Neither the allocation of a new block (which cuts
// off such a tail when nothing lies behind it; here it appends) nor the compaction at Close
// (skipped here) may drop them.
TEST_F(IFFResFile2Test, ABrokenFreeHeaderNeverCostsTheBlocksTheSavedMapReads) {
  const std::vector<Spec> specs = {
      {kTest, 1, 0, "before", true, "first data"},
      {kGroup, 128, 0, "wasted", true, std::string(12000, 'w')},
      {kTest, 2, 0, "behind", true, "data behind the broken header"},
  };
  struct Case {
    const char* what;
    bool add;  // add a resource (an allocation), else remove resource 1 (compaction only)
  } cases[] = {{"allocation", true}, {"compaction", false}};
  for (const Case& c : cases) {
    std::remove(Path().c_str());
    MakeFile(Path(), specs);
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(PathOf(Path())), noErr);
      file.SetNoDefragment();
      file.RemoveResource(file.GetResource(kGroup, 128));
      ASSERT_EQ(file.GetError(), noErr);
      ASSERT_EQ(file.Close(), noErr);
    }
    // The first free block's header (before the record behind) now claims more bytes than
    // the file holds.
    std::string bytes = TestTempFolder::ReadFile(Path());
    uint32_t freeAt = 0;
    for (const DiskRecord& r : WalkRecords(bytes))
      if (r.type == kFreeBlockType && freeAt == 0) freeAt = r.offset;
    ASSERT_NE(freeAt, 0u) << c.what;
    bytes.replace(freeAt + 4, 4, std::string("\x00\x7f\xff\xff", 4));
    folder.WriteFile("object.iff", bytes);

    ScopedDebugCapture capture;
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(PathOf(Path())), noErr) << c.what;
      ASSERT_EQ(BytesOf(file.GetResource(kTest, 2)), "data behind the broken header") << c.what;
      if (c.add) {
        FixedStringBuffer<64> name("added");
        file.AddResource(HandleOf("added data"), kTest, 3, name, true);
      } else {
        file.RemoveResource(file.GetResource(kTest, 1));
      }
      EXPECT_EQ(file.Close(), noErr) << c.what;
    }
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr) << c.what;
    EXPECT_EQ(BytesOf(file.GetResource(kTest, 2)), "data behind the broken header") << c.what;
    if (c.add) {
      EXPECT_EQ(BytesOf(file.GetResource(kTest, 1)), "first data") << c.what;
      EXPECT_EQ(BytesOf(file.GetResource(kTest, 3)), "added data") << c.what;
    }
  }
}

// A saved map whose entries share a block, overlap each other's headers or lie inside the
// map's own record is not used (the file is walked): through it one resource would answer
// another's data, and removing one (or retiring the map) would free the other's block.
TEST_F(IFFResFile2Test, SavedMapWithOverlappingEntriesIsNotUsed) {
  struct Case {
    const char* what;
    int32_t record;  // the record whose place the second entry takes
    int32_t delta;   // and how far into it
  } cases[] = {
      {"two entries of one block", 0, 0},
      {"inside the first record's header", 0, 2},
      {"inside the map's own record", 2, 10},
  };
  ScopedDebugCapture capture;
  for (const Case& c : cases) {
    std::remove(Path().c_str());
    MakeFile(Path(), {{kTest, 1, 0, "first", true, "first data"}, {kTest, 2, 0, "second", true, "second data"}});
    std::string bytes = TestTempFolder::ReadFile(Path());
    const std::vector<DiskRecord> records = WalkRecords(bytes);
    ASSERT_GE(records.size(), 3u) << c.what;
    ASSERT_EQ(records[2].type, kResMapType) << c.what;
    // The map's entry of the second record names another place.
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    const size_t at = bytes.find(le32(records[1].offset), records[2].offset + 76);
    ASSERT_NE(at, std::string::npos) << c.what;
    bytes.replace(at, 4, le32(records[size_t(c.record)].offset + uint32_t(c.delta)));
    folder.WriteFile("object.iff", bytes);
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(PathOf(Path())), noErr) << c.what;
      EXPECT_EQ(BytesOf(file.GetResource(kTest, 2)), "second data") << c.what;
      file.RemoveResource(file.GetResource(kTest, 1));
      EXPECT_EQ(file.GetError(), noErr) << c.what;
      EXPECT_EQ(file.Close(), noErr) << c.what;
    }
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr) << c.what;
    EXPECT_EQ(file.Count(kTest), 1) << c.what;
    EXPECT_EQ(BytesOf(file.GetResource(kTest, 2)), "second data") << c.what;
  }
}

// A record header that claims 2 bytes more than its record holds makes the walk meet a
// "free header" inside the next record, running past the end. Cutting the file there would
// destroy that record, which the saved map still reads: the new block goes at the end.
TEST_F(IFFResFile2Test, AFreeTailInsideAMappedRecordIsNotCutOff) {
  MakeFile(Path(), {{kTest, 1, 0, "first", true, "first data"}, {kText, 128, 0, "", true, "twelve bytes"}});
  std::string bytes = TestTempFolder::ReadFile(Path());
  const std::vector<DiskRecord> records = WalkRecords(bytes);
  ASSERT_GE(records.size(), 2u);
  ASSERT_EQ(records[1].type, kText);
  const uint32_t first = records[0].offset, second = records[1].offset;
  // The first size grows by 2; the second record's empty name gets the byte that reads as
  // the invalid flag of the header that the walk now finds 2 bytes into that record.
  const uint32_t grown = records[0].size + 2;
  bytes.replace(first + 4, 4, std::string{char(grown >> 24), char(grown >> 16), char(grown >> 8), char(grown)});
  bytes[second + 13] = char(kInvalid);
  folder.WriteFile("object.iff", bytes);

  ScopedDebugCapture capture;
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    FixedStringBuffer<64> name("added");
    file.AddResource(HandleOf("added data"), kTest, 3, name, true);
    EXPECT_EQ(file.Close(), noErr);
  }
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(BytesOf(file.GetResource(kText, 128)), "twelve bytes");
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 3)), "added data");
}

// The file header names a saved map at a place inside another record, where the record's
// data happen to hold an 'rsmp' header. The map is unusable and the file is walked; the
// first change retires the map named in the header, but must not free a "block" there,
// which would write a free header over the record's data.
TEST_F(IFFResFile2Test, RetiringAMapThatTheWalkDidNotMeetWritesNoFreeBlock) {
  const std::string embedded = RecordBytes(kResMapType, 0, 0x10, "", "xx");
  const std::string data = "abc" + embedded + "tail";
  const uint32_t mapAt = 64 + 76 + 3;
  std::string path = folder.WriteFile("object.iff", FileHeaderBytes(mapAt) + RecordBytes(kTest, 1, 0x10, "r", data));
  ScopedDebugCapture capture;
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    ASSERT_EQ(BytesOf(file.GetResource(kTest, 1)), data);
    FixedStringBuffer<64> name("added");
    file.AddResource(HandleOf("added data"), kTest, 2, name, true);
    EXPECT_EQ(file.Close(), noErr);
  }
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 1)), data);
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 2)), "added data");
}

// A file with a saved map whose block chain breaks after its first record: adding or
// rewriting a resource cannot find a block and fails, and the file keeps every byte (the
// header still names the saved map, the map's block is not freed).
TEST_F(IFFResFile2Test, AWriteThatFailsOnABrokenChainLeavesTheFileAsItWas) {
  const std::vector<Spec> specs = {
      {kTest, 1, 0, "first", true, "first data"},
      {kTest, 2, 0, "second", true, "second data"},
  };
  struct Case {
    const char* what;
    bool rewrite;  // rewrite resource 1, else add a new one
  } cases[] = {{"add", false}, {"rewrite", true}};
  for (const Case& c : cases) {
    std::remove(Path().c_str());
    MakeFile(Path(), specs);
    std::string bytes = TestTempFolder::ReadFile(Path());
    ASSERT_NE(BE32(bytes, 60), 0u) << c.what;  // a saved map
    const std::vector<DiskRecord> records = WalkRecords(bytes);
    ASSERT_GE(records.size(), 2u) << c.what;
    // The second record's size is smaller than a header: the chain breaks there.
    bytes.replace(records[1].offset + 4, 4, std::string("\x00\x00\x00\x05", 4));
    folder.WriteFile("object.iff", bytes);

    ScopedDebugCapture capture;
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(PathOf(Path())), noErr) << c.what;
      ASSERT_EQ(BytesOf(file.GetResource(kTest, 1)), "first data") << c.what;
      if (c.rewrite) {
        MHandle* h = file.GetResource(kTest, 1);
        ASSERT_NE(h, nullptr);
        file.WriteResource(h);
      } else {
        FixedStringBuffer<64> name("added");
        file.AddResource(HandleOf("added data"), kTest, 3, name, true);
        file.Update();
      }
      EXPECT_NE(file.GetError(), noErr) << c.what;
      file.Close();
    }
    EXPECT_EQ(TestTempFolder::ReadFile(Path()), bytes) << c.what;
  }
}

// A block that the saved map names but whose header is marked free is never handed out: were
// the next allocation to take it, the map saved at close would hold two entries at one offset,
// and the resources known only from the map would be lost on the next open. The file keeps
// after close and reopen exactly the resources it showed while open.
TEST_F(IFFResFile2Test, ABlockTheSavedMapNamesIsNotHandedOutAsFree) {
  MakeFile(Path(), {{kTest, 1, 0, "first", true, "first data"}, {kTest, 2, 0, "second", true, "second data"}});
  std::string bytes = TestTempFolder::ReadFile(Path());
  const std::vector<DiskRecord> records = WalkRecords(bytes);
  ASSERT_GE(records.size(), 3u);
  ASSERT_EQ(records[2].type, kResMapType);
  bytes[records[1].offset + 11] = char(kInvalid);  // the second record's header: free
  folder.WriteFile("object.iff", bytes);

  int32_t count = 0;
  std::vector<std::string> seen;
  {
    ScopedDebugCapture capture;
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    FixedStringBuffer<64> name("added");
    file.AddResource(HandleOf("added data!"), kTest, 3, name, true);  // fits the free block
    ASSERT_EQ(file.GetError(), noErr);
    count = file.Count(kTest);
    for (int16_t id = 1; id <= 3; ++id) seen.push_back(BytesOf(file.GetResource(kTest, id)));
    EXPECT_EQ(file.Close(), noErr);
  }
  EXPECT_EQ(seen[0], "first data");
  EXPECT_EQ(seen[2], "added data!");
  ScopedDebugCapture capture;
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(capture.Count("corrupt map"), 0);  // the map saved at close is sound
  EXPECT_EQ(file.Count(kTest), count);
  for (int16_t id = 1; id <= 3; ++id) EXPECT_EQ(BytesOf(file.GetResource(kTest, id)), seen[size_t(id - 1)]) << id;
}

// A saved map of hundreds of entries whose types interleave in the file, so that the entry
// order is far from the order of offsets: the map is used as it is, and an entry of the last
// type that names a place inside the first record's header still makes it unusable.
TEST_F(IFFResFile2Test, ManyInterleavedEntriesAreCheckedForOverlap) {
  std::vector<Spec> specs;
  const uint32_t types[] = {kSprite, kGroup, kText};
  for (int i = 0; i < 600; ++i)
    specs.push_back({types[i % 3], int16_t(i), 0, "entry " + std::to_string(i), true,
                     std::string(size_t(40 + (i * 37) % 700), char('a' + i % 26))});
  MakeFile(Path(), specs);
  {
    ScopedDebugCapture capture;
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    EXPECT_FALSE(capture.Saw("corrupt map found.")) << "a sound map is used";
    ExpectAll(file, specs, "through the map");
    EXPECT_EQ(file.Close(), noErr);
  }
  std::string bytes = TestTempFolder::ReadFile(Path());
  const std::vector<DiskRecord> records = WalkRecords(bytes);
  ASSERT_EQ(records.size(), specs.size() + 1);
  ASSERT_EQ(records.back().type, kResMapType);
  // The map stores its numbers in host (little-endian) order; record 599 is the last entry
  // of the last type.
  auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const size_t at = bytes.find(le32(records[599].offset), records.back().offset + 76);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 4, le32(records[0].offset + 10));
  folder.WriteFile("object.iff", bytes);
  ScopedDebugCapture capture;
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_TRUE(capture.Saw("corrupt map found.")) << "the walk is used instead";
  ExpectAll(file, specs, "through the walk");
}

// Opening, reading and closing a file that nothing changed syncs nothing; a change still
// syncs before Close returns.
TEST_F(IFFResFile2Test, OnlyAChangedFileIsSyncedAtClose) {
  MakeFile(Path(), Contents());
  PlatformFileResetFaults();
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    ExpectAll(file, Contents(), "unchanged");
    file.Update();
    EXPECT_EQ(file.GetError(), noErr);
    EXPECT_EQ(file.Close(), noErr);
  }
  EXPECT_EQ(PlatformFileCallCount(kPlatformFaultFlush), 0);
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(Path())), noErr);
    file.AddResource(HandleOf("more"), kTest, 8, FixedStringBuffer<8>("more"), true);
    EXPECT_EQ(file.Close(), noErr);
  }
  EXPECT_GE(PlatformFileCallCount(kPlatformFaultFlush), 1);
  PlatformFileResetFaults();
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(Path())), noErr);
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 8)), "more");
}

// The sort of the offsets a saved map names, against std::sort, on the shapes maps give:
// few and many, sorted runs per type, reversed, repeated, spread over every byte.
namespace {

// A saved map record as this host writes it: numbers little-endian, names NUL-ended and
// padded to an even length. `nodes` lists each node's type and its entries' offsets and ids.
struct MapNode {
  uint32_t type;
  std::vector<std::pair<uint32_t, int16_t>> entries;
};

std::string MapRecord(const std::vector<MapNode>& nodes) {
  std::string data;
  auto le32 = [&data](uint32_t v) {
    for (int i = 0; i < 4; ++i) data.push_back(char(uint8_t(v >> (8 * i))));
  };
  le32(0);
  le32(0);
  le32(kResMapType);
  le32(0);  // wasted
  le32(uint32_t(nodes.size()));
  for (const MapNode& node : nodes) {
    le32(node.type);
    le32(uint32_t(node.entries.size()));
    for (auto [offset, id] : node.entries) {
      le32(offset);
      data.push_back(char(uint8_t(id)));
      data.push_back(char(uint8_t(uint16_t(id) >> 8)));
      data += std::string("\x10\0\0\0", 4);  // native flags, empty name, pad byte
    }
  }
  return RecordBytes(kResMapType, 0, 0x10, "", data);
}

}  // namespace

// A saved map that lists one type in two nodes would list the first node's entries twice and
// hide the second's, so a removal through one listing loses the other: the walk is used.
TEST_F(IFFResFile2Test, SavedMapWithATypeInTwoNodesIsNotUsed) {
  const std::string first = RecordBytes(kTest, 1, 0x10, "", "first data");
  const std::string second = RecordBytes(kTest, 2, 0x10, "", "second data");
  const uint32_t secondAt = 64 + uint32_t(first.size());
  const uint32_t mapAt = secondAt + uint32_t(second.size());
  const std::string path = folder.WriteFile(
      "object.iff", FileHeaderBytes(mapAt) + first + second +
                        MapRecord({{kTest, {{64, 1}}}, {kTest, {{secondAt, 2}}}}));
  ScopedDebugCapture capture;
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    EXPECT_TRUE(capture.Saw("corrupt map found."));
    EXPECT_EQ(file.CountTypes(), 1);
    ASSERT_EQ(file.Count(kTest), 2);
    file.RemoveResource(file.GetIndResource(kTest, 1));
    EXPECT_EQ(file.GetError(), noErr);
    EXPECT_EQ(file.Close(), noErr);
  }
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(file.Count(kTest), 1);
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 2)), "second data");
}

// The saved map names records whose headers start far enough apart, but one record's size
// runs over the next header, or over the map's own: freeing or rewriting that header would
// write over the record's last bytes. Every change is refused and the file stays as it was.
TEST_F(IFFResFile2Test, ChangesToRecordsThatOverlapAreRefused) {
  const std::string spriteData(300, 's');
  struct Case {
    const char* what;
    bool overMap;        // the sprite is the last record and runs over the map's header
    bool rename;         // the change: rename the strings, else remove them
    bool spriteFirst;    // the sprite is removed first (refused too)
  } cases[] = {
      {"removing a record whose header lies in another", false, false, false},
      {"renaming a record whose header lies in another", false, true, false},
      {"removing a record while another runs over the map", true, false, false},
      {"removing the record that runs over the map, then another", true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The sprite claims 2 bytes more than it has: those are the first two of what follows.
    const std::string sprite = RecordBytes(kSprite, 256, 0x10, "sprite", spriteData, 76 + 302);
    const std::string strings = RecordBytes(kText, 128, 0x10, "strings", "twelve bytes");
    const std::string& front = c.overMap ? strings : sprite;
    const std::string& back = c.overMap ? sprite : strings;
    const uint32_t backAt = 64 + uint32_t(front.size());
    const uint32_t mapAt = backAt + uint32_t(back.size());
    const uint32_t spriteAt = c.overMap ? backAt : 64;
    const uint32_t stringsAt = c.overMap ? 64 : backAt;
    const std::string map = MapRecord({{kSprite, {{spriteAt, 256}}}, {kText, {{stringsAt, 128}}}});
    const std::string bytes = FileHeaderBytes(mapAt) + front + back + map;
    const std::string spriteBytes = spriteData + bytes.substr(spriteAt + 76 + 300, 2);
    const std::string path = folder.WriteFile("object.iff", bytes);
    ScopedDebugCapture capture;
    {
      IFFResFile2 file;
      ASSERT_EQ(file.Open(PathOf(path)), noErr);
      EXPECT_FALSE(capture.Saw("corrupt map found."));
      EXPECT_EQ(BytesOf(file.GetResource(kSprite, 256)), spriteBytes);
      if (c.spriteFirst) {
        file.RemoveResource(file.GetResource(kSprite, 256));
        EXPECT_NE(file.GetError(), noErr);
      }
      MHandle* h = file.GetResource(kText, 128);
      ASSERT_NE(h, nullptr);
      if (c.rename) {
        file.SetResInfo(h, 128, FixedStringBuffer<64>("renamed"), 0);
      } else {
        file.RemoveResource(h);
      }
      EXPECT_NE(file.GetError(), noErr);
      EXPECT_TRUE(capture.Saw("records overlap"));
      file.Close();
    }
    EXPECT_EQ(TestTempFolder::ReadFile(path), bytes);
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    EXPECT_EQ(BytesOf(file.GetResource(kSprite, 256)), spriteBytes);
    EXPECT_EQ(BytesOf(file.GetResource(kText, 128)), "twelve bytes");
  }
}

// The saved map names a record whose header does not read, 6 bytes before a free block of
// the chain. Handing that free block out would put a new record inside the bytes the map
// names, and the map saved at close would not load: the walk that replaces it answers the
// ids of the headers, not those of the map. The free block is passed over.
TEST_F(IFFResFile2Test, AFreeBlockReachingIntoAMappedPlaceIsNotHandedOut) {
  // The first record's last two bytes and the free block's type read as a size far past
  // the end of the file: no header reads at 6 bytes before the free block.
  const std::string first = RecordBytes(kTest, 1, 0x10, "first", std::string("first data\0\0", 12));
  const std::string free = RecordBytes(kFreeBlockType, 0, kInvalid, "", std::string(224, '\0'));
  const std::string strings = RecordBytes(kText, 128, 0x10, "strings", "twelve bytes");
  const uint32_t freeAt = 64 + uint32_t(first.size());
  const uint32_t stringsAt = freeAt + uint32_t(free.size());
  const uint32_t mapAt = stringsAt + uint32_t(strings.size());
  // The map knows the strings by another id than their header.
  const std::string map = MapRecord({{kTest, {{64, 1}}}, {kSprite, {{freeAt - 6, 2}}}, {kText, {{stringsAt, 5}}}});
  const std::string path = folder.WriteFile("object.iff", FileHeaderBytes(mapAt) + first + free + strings + map);
  {
    ScopedDebugCapture capture;
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    EXPECT_FALSE(capture.Saw("corrupt map found."));
    EXPECT_EQ(BytesOf(file.GetResource(kText, 5)), "twelve bytes");
    file.AddResource(HandleOf("added data"), kTest, 3, FixedStringBuffer<64>("added"), true);  // fits the free block
    ASSERT_EQ(file.GetError(), noErr);
    EXPECT_EQ(file.Close(), noErr);
  }
  ScopedDebugCapture capture;
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_FALSE(capture.Saw("corrupt map found.")) << "the map saved at close is sound";
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 1)), std::string("first data\0\0", 12));
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 3)), "added data");
  EXPECT_EQ(BytesOf(file.GetResource(kText, 5)), "twelve bytes");
}

TEST_F(IFFResFile2Test, AChangeThatFailsLeavesTheSavedMapNamed) {
  // Two free blocks, then a record whose header claims one byte more than it holds (the saved
  // map still reads it whole), then two records that a walk, stopping at the damage, misses.
  const std::string free = RecordBytes(kFreeBlockType, 0, kInvalid, "", std::string(100, '\0'));
  const std::string strings = RecordBytes(kText, 128, 0x10, "", std::string(20, 't'), 76 + 21);
  const std::string one = RecordBytes(kTest, 1, 0x10, "", "behind the damage");
  const std::string two = RecordBytes(kTest, 2, 0x10, "", "and this one too");
  const uint32_t stringsAt = 64 + 2 * uint32_t(free.size());
  const uint32_t oneAt = stringsAt + uint32_t(strings.size());
  const uint32_t twoAt = oneAt + uint32_t(one.size());
  const uint32_t mapAt = twoAt + uint32_t(two.size());
  const std::string map = MapRecord({{kText, {{stringsAt, 128}}}, {kTest, {{oneAt, 1}, {twoAt, 2}}}});
  const std::string path =
      folder.WriteFile("object.iff", FileHeaderBytes(mapAt) + free + free + strings + one + two + map);
  {
    ScopedDebugCapture capture;
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    ASSERT_EQ(file.GetMapOffset(), mapAt);
    // Too large for the two free blocks merged: the search walks on into the damage.
    MHandle* h = HandleOf(std::string(400, 'n'));
    file.AddResource(h, kTest, 3, FixedStringBuffer<4>(), true);
    file.WriteResource(h);
    EXPECT_EQ(file.GetError(), badHeaderErr);
    EXPECT_NE(file.Close(), noErr);
  }
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(file.GetMapOffset(), mapAt) << "the header still names the saved map";
  EXPECT_EQ(file.Count(kTest), 2);
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 1)), "behind the damage");
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 2)), "and this one too");
  EXPECT_NE(file.GetResource(kText, 128), nullptr);
}

// The session reads each header once and holds it; its own writes keep what it holds true.
// Merging two free blocks writes the new record's data over the header of the second, and the
// split writes a free header inside that block's old data: the check compares every header
// held with the disk.
TEST_F(IFFResFile2Test, HeldHeadersFollowTheWritesThatReachThem) {
  const std::string free = RecordBytes(kFreeBlockType, 0, kInvalid, "", std::string(100, '\0'));
  const std::string last = RecordBytes(kTest, 1, 0x10, "", "after the free blocks");
  const std::string path = folder.WriteFile("held.iff", FileHeaderBytes(0) + free + free + last);
  {
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    EXPECT_EQ(file.CheckLedger(), noErr);
    MHandle* h = HandleOf(std::string(150, 'm'));
    file.AddResource(h, kTest, 2, FixedStringBuffer<4>(), true);
    file.WriteResource(h);
    ASSERT_EQ(file.GetError(), noErr);
    EXPECT_EQ(file.CheckLedger(), noErr);
    file.SetNoDefragment();
    ASSERT_EQ(file.Close(), noErr);
  }
  const std::vector<DiskRecord> records = WalkRecords(TestTempFolder::ReadFile(path));
  ASSERT_GE(records.size(), 3u);
  EXPECT_EQ(records[0].offset, 64u) << "the merged blocks took the record";
  EXPECT_EQ(records[1].offset, 64u + 76 + 150) << "the rest is a free block of its own";
  IFFResFile2 file;
  ASSERT_EQ(file.Open(PathOf(path)), noErr);
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 2)), std::string(150, 'm'));
  EXPECT_EQ(BytesOf(file.GetResource(kTest, 1)), "after the free blocks");
}

// The ledger's check covers the saved map: a write behind the file's back into a block the map
// reads, or a file header that names the map again after a change, is caught.
TEST_F(IFFResFile2Test, TheLedgerCheckCatchesWhatBreaksTheSavedMap) {
  struct Case {
    const char* what;
    const char* name;
    bool headerNamesMapAgain;  // else the size of the first record grows by one
  };
  for (const Case& c : {Case{"a write into a mapped block", "write.iff", false},
                        Case{"the header naming the map after a change", "named.iff", true}}) {
    const std::string path = Path(c.name);
    MakeFile(path, {{kTest, 1, 0, "one", true, "first data"}, {kTest, 2, 0, "two", true, "second"}});
    const std::string before = TestTempFolder::ReadFile(path);
    const std::vector<DiskRecord> records = WalkRecords(before);
    ASSERT_GE(records.size(), 3u);
    ASSERT_EQ(records[2].type, kResMapType);
    ScopedDebugCapture capture;
    IFFResFile2 file;
    ASSERT_EQ(file.Open(PathOf(path)), noErr);
    ASSERT_EQ(file.GetMapOffset(), records[2].offset);
    EXPECT_EQ(file.CheckLedger(), noErr) << c.what;
    MHandle* h = HandleOf("a new one");
    file.AddResource(h, kTest, 3, FixedStringBuffer<4>(), true);
    file.WriteResource(h);
    ASSERT_EQ(file.GetError(), noErr);
    EXPECT_EQ(file.CheckLedger(), noErr) << c.what;
    {
      std::fstream raw(path, std::ios::in | std::ios::out | std::ios::binary);
      if (c.headerNamesMapAgain) {
        raw.seekp(0);
        raw << FileHeaderBytes(records[2].offset);
      } else {
        std::string size;
        AppendBE32(size, records[0].size + 1);
        raw.seekp(records[0].offset + 4);
        raw << size;
      }
    }
    EXPECT_EQ(file.CheckLedger(), badHeaderErr) << c.what;
    file.SetNoDefragment();
    file.Close();
  }
}

TEST(SortBlockOffsets, SortsLikeStdSort) {
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  std::vector<uint32_t> few, runs, reversed, repeated, wide, highOnly;
  for (int i = 0; i < 100; ++i) few.push_back(next() % 5000);
  for (int t = 0; t < 8; ++t)
    for (uint32_t i = 0; i < 700; ++i) runs.push_back(64 + (i * 8 + uint32_t(t)) * 1210);
  for (uint32_t i = 3000; i > 0; --i) reversed.push_back(i * 76);
  for (int i = 0; i < 1000; ++i) repeated.push_back(next() % 3 * 0x01010101u);
  for (int i = 0; i < 5000; ++i) wide.push_back(next());
  for (uint32_t i = 0; i < 600; ++i) highOnly.push_back((599 - i) << 24 | 0x4242u);
  std::vector<std::pair<const char*, std::vector<uint32_t>>> cases = {
      {"empty", {}},         {"one", {7}},           {"few", few},   {"runs per type", runs},
      {"reversed", reversed}, {"repeated", repeated}, {"wide", wide}, {"high byte only", highOnly}};
  for (auto& [what, values] : cases) {
    std::vector<uint32_t> expect = values;
    std::sort(expect.begin(), expect.end());
    SortBlockOffsets(values);
    EXPECT_EQ(values, expect) << what;
  }
}
