// Draw groups: the stored form of every version, saving and loading through a resource
// file, the look-ups, and refusal of stored data that cannot be a draw group.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "DrawGroup.h"
#include "MemResFile.h"

namespace {

const uint32_t kDGRP = 0x44475250;

// Little-endian byte builder for stored groups.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& i16(int v) {
    b.push_back(uint8_t(v & 255));
    b.push_back(uint8_t((v >> 8) & 255));
    return *this;
  }
  Bytes& i32(int64_t v) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t((uint64_t(v) >> (8 * i)) & 255));
    return *this;
  }
  Bytes& i8(int v) {
    b.push_back(uint8_t(v));
    return *this;
  }
  Bytes& f32(float v) {
    uint8_t raw[4];
    memcpy(raw, &v, 4);
    b.insert(b.end(), raw, raw + 4);
    return *this;
  }
};

DrawGroupItem Item(int32_t id, int32_t index, float alt, float x, float y, uint32_t flags) {
  DrawGroupItem item;
  item.fSpriteId = id;
  item.fSpriteIndex = index;
  item.fValueA = id * 10;
  item.fValueB = -id;
  item.fAlt = alt;
  item.fX = x;
  item.fY = y;
  item.fFlags = flags;
  return item;
}

void ExpectSameItem(const DrawGroupItem& a, const DrawGroupItem& b) {
  EXPECT_EQ(a.fSpriteId, b.fSpriteId);
  EXPECT_EQ(a.fSpriteIndex, b.fSpriteIndex);
  EXPECT_EQ(a.fValueA, b.fValueA);
  EXPECT_EQ(a.fValueB, b.fValueB);
  EXPECT_EQ(a.fAlt, b.fAlt);
  EXPECT_EQ(a.fX, b.fX);
  EXPECT_EQ(a.fY, b.fY);
  EXPECT_EQ(a.fFlags, b.fFlags);
}

TEST(DrawGroup, SaveAndLoadKeepEveryEntryAndItem) {
  MemResFile file;
  DrawGroup group;
  group.fName.assign("chair");
  DrawGroupEntry* e = group.AddEntry();
  e->fDirectionMask = 0x05;
  e->fZoom = 3;
  e->InsertItem(Item(200, 1, 2.5f, 1.25f, -3.5f, DrawGroupItem::kMirrored), -1);
  e->InsertItem(Item(-7, 0, 0, 0, 0, 0xF0 | DrawGroupItem::kLuminous), -1);
  group.AddEntry()->fZoom = 1;  // an entry without items
  ASSERT_EQ(group.Save(&file, 4242), 0);

  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kDGRP, 4242, &stored));
  // i16 version, u32 entry count, then mask, zoom, item count and 8 words per item (x, y
  // last), for the second entry mask, zoom and a zero count.
  ASSERT_EQ(stored.size(), 2u + 4 + (12 + 2 * 32) + 12);
  EXPECT_EQ(stored[0] | (stored[1] << 8), 20004);

  DrawGroup loaded;
  ASSERT_EQ(loaded.Load(&file, 4242), 0);
  EXPECT_STREQ(loaded.fName.c_str(), "chair");
  ASSERT_EQ(loaded.fEntries.size(), 2u);
  EXPECT_EQ(loaded.fEntries[0].fDirectionMask, 5u);
  EXPECT_EQ(loaded.fEntries[0].GetZoom(), 3u);
  ASSERT_EQ(loaded.fEntries[0].CountItems(), 2);
  ExpectSameItem(loaded.fEntries[0].fItems[0], group.fEntries[0].fItems[0]);
  ExpectSameItem(loaded.fEntries[0].fItems[1], group.fEntries[0].fItems[1]);
  EXPECT_EQ(loaded.fEntries[1].CountItems(), 0);
  EXPECT_EQ(loaded.fEntries[1].GetZoom(), 1u);
}

TEST(DrawGroup, Version20003LoadsWithoutOffsets) {
  MemResFile file;
  Bytes b;
  b.i16(20003).i32(1);
  b.i32(0x10).i32(2).i32(1);                                 // mask, zoom, one item
  b.i32(300).i32(4).i32(11).i32(-12).f32(1.5f).i32(4);      // id, index, A, B, alt, flags
  file.PutStored(kDGRP, 7, b.b, true, "old");
  DrawGroup group;
  ASSERT_EQ(group.Load(&file, 7), 0);
  ASSERT_EQ(group.fEntries.size(), 1u);
  const DrawGroupItem& item = group.fEntries[0].fItems.at(0);
  EXPECT_EQ(item.fSpriteId, 300);
  EXPECT_EQ(item.fSpriteIndex, 4);
  EXPECT_EQ(item.fAlt, 1.5f);
  EXPECT_EQ(item.fFlags, 4u);
  EXPECT_EQ(item.fX, 0.0f);
  EXPECT_EQ(item.fY, 0.0f);
  EXPECT_EQ(item.fValueA, 11);
  EXPECT_EQ(item.fValueB, -12);
  EXPECT_STREQ(group.fName.c_str(), "old");
}

TEST(DrawGroup, OldVersionsKeepOnlySpriteItems) {
  struct Case {
    int version;
    bool hasAlt;
  };
  for (const Case& c : {Case{20000, false}, Case{20001, true}, Case{20002, true}}) {
    SCOPED_TRACE(c.version);
    MemResFile file;
    Bytes b;
    b.i16(c.version).i16(1);
    b.i16(2).i8(-1).i8(3);  // two items, mask 0xFF sign-extended, zoom 3
    // tag, sprite id, index, flags, value A, value B (+ alt)
    b.i16(-3).i16(-200).i16(5).i16(1).i16(-4).i16(9);
    if (c.hasAlt) b.f32(2.0f);
    b.i16(-2).i16(99).i16(0).i16(0).i16(0).i16(0);  // another kind of item: dropped
    if (c.hasAlt) b.f32(7.0f);
    file.PutStored(kDGRP, 1, b.b);
    DrawGroup group;
    ASSERT_EQ(group.Load(&file, 1), 0);
    ASSERT_EQ(group.fEntries.size(), 1u);
    EXPECT_EQ(group.fEntries[0].fDirectionMask, 0xFFFFFFFFu);
    EXPECT_EQ(group.fEntries[0].fZoom, 3u);
    ASSERT_EQ(group.fEntries[0].CountItems(), 1);
    const DrawGroupItem& item = group.fEntries[0].fItems[0];
    EXPECT_EQ(item.fSpriteId, -200);
    EXPECT_EQ(item.fSpriteIndex, 5);
    EXPECT_EQ(item.fFlags, 1u);
    EXPECT_EQ(item.fValueA, -4);
    EXPECT_EQ(item.fValueB, 9);
    EXPECT_EQ(item.fAlt, c.hasAlt ? 2.0f : 0.0f);
    EXPECT_EQ(item.fX, 0.0f);
  }
}

TEST(DrawGroup, MalformedDataIsRefusedAndLeavesTheGroup) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"huge entry count", Bytes().i16(20004).i32(0x7FFFFFFF).b});
  cases.push_back({"count above 2^31", Bytes().i16(20004).i32(0xFFFFFFFFLL).b});
  cases.push_back({"huge item count", Bytes().i16(20004).i32(1).i32(1).i32(1).i32(100000000).b});
  cases.push_back({"item cut short", Bytes().i16(20004).i32(1).i32(1).i32(1).i32(1).i32(5).b});
  cases.push_back({"old entry count", Bytes().i16(20000).i16(30000).b});
  cases.push_back({"old negative items", Bytes().i16(20000).i16(1).i16(-1).i8(1).i8(1).b});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedDebugCapture capture;
    MemResFile file;
    file.PutStored(kDGRP, 3, c.bytes, true, "bad");
    DrawGroup group;
    group.fName.assign("kept");
    group.AddEntry()->fZoom = 2;
    EXPECT_EQ(group.Load(&file, 3), shortReadErr);
    EXPECT_STREQ(group.fName.c_str(), "kept");
    ASSERT_EQ(group.fEntries.size(), 1u);
    EXPECT_EQ(group.fEntries[0].fZoom, 2u);
  }
}

TEST(DrawGroup, MissingResourceGivesTheFileError) {
  MemResFile file;
  DrawGroup group;
  EXPECT_EQ(group.Load(&file, 5), noSuchResourceErr);
  EXPECT_TRUE(group.fEntries.empty());
}

TEST(DrawGroup, SaveReportsAFailedWriteOrAdd) {
  ScopedDebugCapture capture;
  DrawGroup group;
  group.AddEntry()->InsertItem(Item(1, 0, 0, 0, 0, 0), -1);
  MemResFile failing;
  failing.SetWriteError(shortWriteErr);
  EXPECT_EQ(group.Save(&failing, 9), shortWriteErr);
  MemResFile readOnly;
  readOnly.SetReadOnly(true);
  EXPECT_EQ(group.Save(&readOnly, 9), readOnlyErr);
}

TEST(DrawGroup, LookUps) {
  DrawGroup group;
  DrawGroupEntry* first = group.AddEntry();
  first->fDirectionMask = 0x2;
  first->fZoom = 1;
  DrawGroupEntry* second = group.AddEntry();
  second->fDirectionMask = 0x2;
  second->fZoom = 1;
  second->InsertItem(Item(-5, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(group.GetEntry(1, 1), &group.fEntries[0]);
  EXPECT_EQ(group.GetEntry(33, 1), &group.fEntries[0]);  // bit 33 mod 32
  EXPECT_EQ(group.GetEntry(1, 2), nullptr);
  EXPECT_EQ(group.GetEntry(0, 1), nullptr);
  EXPECT_TRUE(group.UsesSprite(-5));
  EXPECT_FALSE(group.UsesSprite(5));
}

TEST(DrawGroup, EntryItemPositions) {
  ScopedDebugCapture capture;
  DrawGroupEntry entry;
  entry.InsertItem(Item(1, 0, 0, 0, 0, 0), -1);
  entry.InsertItem(Item(2, 0, 0, 0, 0, 0), -1);
  entry.InsertItem(Item(3, 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(entry.CountItems(), 3);
  EXPECT_EQ(entry.fItems[0].fSpriteId, 3);
  EXPECT_EQ(entry.fItems[2].fSpriteId, 2);
  EXPECT_FALSE(capture.Saw("no such position"));
  entry.InsertItem(Item(4, 0, 0, 0, 0, 0), 3);
  EXPECT_EQ(entry.CountItems(), 3);
  EXPECT_TRUE(capture.Saw("no such position"));
  EXPECT_EQ(entry.GetItem(2)->fSpriteId, 2);
  EXPECT_EQ(entry.GetItem(3), nullptr);
  EXPECT_TRUE(capture.Saw("bad item requested"));
}

}  // namespace
