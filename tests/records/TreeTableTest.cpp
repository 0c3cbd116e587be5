#include "TreeTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DebugCapture.h"
#include "MemResFile.h"
#include "ObjResFile.h"
#include "strset.h"

namespace {

struct Bytes {
  std::vector<uint8_t> data;
  Bytes& U16(uint16_t v) {
    data.push_back(uint8_t(v));
    data.push_back(uint8_t(v >> 8));
    return *this;
  }
  Bytes& U32(uint32_t v) {
    for (int i = 0; i < 4; i++) data.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  Bytes& F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return U32(v);
  }
};

std::string CommentOf(StringSet& set, int32_t index) {
  const char* c = set.GetComment(index);
  return c ? c : "";
}

}  // namespace

TEST(TreeTable, AddFindRemoveAndAttenuation) {
  ScopedDebugCapture capture;
  TreeTable table(16);
  EXPECT_TRUE(table.AddEntry(1, 4096));
  EXPECT_FALSE(table.AddEntry(1, 4096));
  EXPECT_TRUE(capture.Saw("adding existent tree to table"));
  EXPECT_TRUE(table.AddEntry(2, 4097));
  ASSERT_EQ(table.EntryCount(), 2);
  EXPECT_EQ(table.GetEntry(0)->GetIndex(), 0);
  EXPECT_EQ(table.GetEntry(1)->GetIndex(), 1);
  EXPECT_EQ(table.GetEntry(0)->MotiveCount(), 16);
  TreeTableEntry* e = table.FindEntry(2, 4097);
  ASSERT_EQ(e, table.GetEntry(1));
  EXPECT_EQ(table.FindEntry(1, 4097), nullptr);

  EXPECT_FLOAT_EQ(e->GetAttenuation(false), 0.02f);
  e->SetCustomAttenuation(0.5f);
  EXPECT_FLOAT_EQ(e->GetAttenuation(true), 0.5f);
  e->SetAttenuationCode(9);
  EXPECT_FLOAT_EQ(e->GetAttenuation(false), 0.02f);
  EXPECT_TRUE(capture.Saw("bad attenuation"));

  TreeTableEntry* first = table.GetEntry(0);
  ASSERT_TRUE(table.RemoveEntry(first));
  EXPECT_FALSE(table.RemoveEntry(first));
  EXPECT_EQ(table.EntryCount(), 1);
  EXPECT_TRUE(table.AddEntry(1, 4096));
  EXPECT_EQ(table.GetEntry(1)->GetIndex(), 2);  // one more than the largest index
  delete first;
}

TEST(TreeTable, SaveAndLoadKeepEntriesWithNamesAndMarkComments) {
  ScopedDebugCapture capture;
  MemResFile file;
  TreeTable saved(16);
  ASSERT_TRUE(saved.AddEntry(0, 4096));
  ASSERT_TRUE(saved.AddEntry(0, 4097));
  ASSERT_TRUE(saved.AddEntry(0, 4098));
  TreeTableEntry* a = saved.GetEntry(0);
  a->fName = "Sit";
  a->fFlags = kTreeTableDebugFlag;
  a->fEffects[3] = {1, 2, 3};
  a->fValueC = 7;
  a->fValueD = 8;
  a->SetCustomAttenuation(0.25f);
  saved.GetEntry(1)->fName = "Stand";
  saved.GetEntry(2)->fName = "Lie";
  saved.GetEntry(2)->fFlags = kTreeTableDebugFlag;

  // Comments already stored: a word (flagged entry: becomes "!"), "!word" and "!" (not
  // flagged: the mark goes, an empty rest becomes " "), "!x" on a flagged entry stays.
  StringSet old;
  old.Init(&file, 128, kTreeTableStringsType, 0, 0);
  for (int i = 1; i <= 3; i++) old.SetString(uint32_t(i), "old");
  old.SetComment(1, "word");
  old.SetComment(2, "!word");
  old.SetComment(3, "!x");
  ASSERT_EQ(old.Write(), 0);

  ASSERT_EQ(saved.Save(&file, 128, "table name"), 0);
  EXPECT_EQ(file.HeldCount(), 0);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kTreeTableType, 128, &stored));
  ASSERT_GE(stored.size(), 5u);
  EXPECT_EQ(stored[0], 3);  // entry count
  EXPECT_EQ(stored[2], 9);  // version

  StringSet strings;
  strings.Init(&file, 128, kTreeTableStringsType, 0, 0);
  ASSERT_EQ(strings.Read(0, 1), 0);
  ASSERT_EQ(strings.Count(), 3);
  EXPECT_STREQ(strings.GetString(1), "Sit");
  EXPECT_STREQ(strings.GetString(3), "Lie");
  EXPECT_EQ(CommentOf(strings, 1), "!");
  EXPECT_EQ(CommentOf(strings, 2), "word");
  EXPECT_EQ(CommentOf(strings, 3), "!x");

  strings.SetComment(2, "!");
  ASSERT_EQ(strings.Write(), 0);
  ASSERT_EQ(saved.Save(&file, 128, "table name"), 0);
  ASSERT_EQ(strings.Read(0, 1), 0);
  EXPECT_EQ(CommentOf(strings, 2), " ");

  TreeTable loaded(16);
  ASSERT_EQ(loaded.Load(&file, 128), 0);
  ASSERT_EQ(loaded.EntryCount(), 3);
  const TreeTableEntry* b = loaded.GetEntry(0);
  EXPECT_EQ(b->fActionTree, 4096);
  EXPECT_EQ(b->fName.str(), "Sit");
  EXPECT_EQ(b->fFlags, kTreeTableDebugFlag);
  EXPECT_EQ(b->fEffects[3].first, 1);
  EXPECT_EQ(b->fEffects[3].second, 2);
  EXPECT_EQ(b->fEffects[3].third, 3);
  EXPECT_EQ(b->fValueC, 7);
  EXPECT_EQ(b->fValueD, 8);
  EXPECT_FLOAT_EQ(b->GetAttenuation(false), 0.25f);
  EXPECT_EQ(loaded.GetEntry(1)->fName.str(), "Stand");
  EXPECT_EQ(loaded.GetEntry(2)->GetIndex(), 2);
  FixedStringBuffer<64> name;
  file.GetResName(file.GetResource(kTreeTableType, 128), name);
  EXPECT_STREQ(name.c_str(), "table name");
}

TEST(TreeTable, MissingMenuTextsTakeTheTreeNameOrItsNumber) {
  MemResFile file;
  TreeTable saved(16);
  ASSERT_TRUE(saved.AddEntry(0, 4096));
  ASSERT_TRUE(saved.AddEntry(0, 4097));
  ASSERT_EQ(saved.Save(&file, 200, ""), 0);  // names are empty
  file.PutStored(0x42484156, 4097, std::string("tree"), true, "Named tree");

  TreeTable loaded(16);
  ASSERT_EQ(loaded.Load(&file, 200), 0);
  EXPECT_EQ(loaded.GetEntry(0)->fName.str(), "?4096");
  EXPECT_EQ(loaded.GetEntry(1)->fName.str(), "Named tree");
}

TEST(TreeTable, Version5IsReadAndSavedAgainAsVersion9) {
  ScopedDebugCapture capture;
  MemResFile file;
  Bytes v5;
  v5.U16(1).U16(5);
  v5.U16(4100).U16(2).U16(3).U32(0x80).U32(6).F32(0.5f).U32(11).U32(12);
  v5.U16(10).U16(20).U16(30);
  file.PutStored(kTreeTableType, 300, v5.data, true, "old name");

  TreeTable table(2);  // the third value is read and dropped
  ASSERT_EQ(table.Load(&file, 300), 0);
  EXPECT_TRUE(capture.Saw("old tree table found"));
  ASSERT_EQ(table.EntryCount(), 1);
  const TreeTableEntry* e = table.GetEntry(0);
  EXPECT_EQ(e->fActionTree, 4100);
  EXPECT_EQ(e->fSecondTree, 2);
  EXPECT_EQ(e->fFlags, 0x80);
  EXPECT_EQ(e->GetIndex(), 6);
  EXPECT_FLOAT_EQ(e->GetAttenuation(false), 0.5f);
  EXPECT_EQ(e->fValueC, 11);
  EXPECT_EQ(e->fValueD, 12);
  EXPECT_EQ(e->fEffects[0].third, 10);
  EXPECT_EQ(e->fEffects[1].third, 20);

  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kTreeTableType, 300, &stored));
  EXPECT_EQ(stored[2], 9);
  FixedStringBuffer<64> name;
  file.GetResName(file.GetResource(kTreeTableType, 300), name);
  EXPECT_STREQ(name.c_str(), "old name");
}

// An index past the texts stored in 'TTAs' plus the bytes of the stored table cannot have been
// handed out: the table is corrupt, and an old one is not saved again (which would pad 'TTAs'
// with an empty string for every slot up to that index).
TEST(TreeTable, IndexesNoTableOfThatSizeNeedsAreCorrupt) {
  // One version-5 entry: 4 + 26 + 2 bytes.
  auto oldTable = [](uint32_t index) {
    Bytes v5;
    v5.U16(1).U16(5).U16(4100).U16(2).U16(1).U32(0).U32(index).F32(0).U32(50).U32(0).U16(7);
    return v5;
  };
  const int32_t kBytes = int32_t(oldTable(0).data.size());
  struct Case {
    const char* what;
    int32_t storedStrings;  // in 'TTAs' before the load; -1 for none
    uint32_t index;
    bool loads;
  };
  const Case kCases[] = {
      {"last slot the bytes allow", -1, uint32_t(kBytes - 1), true},
      {"one past it", -1, uint32_t(kBytes), false},
      {"last slot with stored texts", 40, uint32_t(40 + kBytes - 1), true},
      {"one past it, with stored texts", 40, uint32_t(40 + kBytes), false},
      {"far past", -1, 30000, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ScopedDebugCapture capture;
    MemResFile file;
    file.PutStored(kTreeTableType, 300, oldTable(c.index).data, true, "old");
    if (c.storedStrings >= 0) {
      StringSet texts;
      texts.Init(&file, 300, kTreeTableStringsType, 0, 0);
      for (int32_t i = 1; i <= c.storedStrings; i++) texts.SetString(uint32_t(i), "text");
      ASSERT_EQ(texts.Write(), 0);
    }
    std::vector<uint8_t> textsBefore;
    const bool hadTexts = file.GetStored(kTreeTableStringsType, 300, &textsBefore);

    TreeTable table(16);
    std::vector<uint8_t> stored;
    if (c.loads) {
      ASSERT_EQ(table.Load(&file, 300), 0);
      ASSERT_EQ(table.EntryCount(), 1);
      ASSERT_TRUE(file.GetStored(kTreeTableType, 300, &stored));
      EXPECT_EQ(stored[2], 9);  // saved again
      StringSet texts;
      texts.Init(&file, 300, kTreeTableStringsType, 0, 0);
      ASSERT_EQ(texts.Read(0, 1), 0);
      EXPECT_EQ(texts.Count(), int32_t(c.index) + 1);
    } else {
      EXPECT_EQ(table.Load(&file, 300), shortReadErr);
      EXPECT_EQ(table.EntryCount(), 0);
      ASSERT_TRUE(file.GetStored(kTreeTableType, 300, &stored));
      EXPECT_EQ(stored, oldTable(c.index).data);  // left as it was
      std::vector<uint8_t> textsAfter;
      EXPECT_EQ(file.GetStored(kTreeTableStringsType, 300, &textsAfter), hadTexts);
      EXPECT_EQ(textsAfter, textsBefore);
    }
  }

  // The same rule holds for a table of the current version, which the build saves again.
  MemResFile file;
  TreeTable made(16);
  ASSERT_TRUE(made.AddEntry(0, 4096));
  made.GetEntry(0)->fIndex = 30000;
  ASSERT_EQ(made.Save(&file, 7, ""), 0);
  file.RemoveResource(file.GetResource(kTreeTableStringsType, 7));
  TreeTable loaded(16);
  EXPECT_EQ(loaded.Load(&file, 7), shortReadErr);
  EXPECT_EQ(loaded.EntryCount(), 0);
}

TEST(TreeTable, OldVersionsSetEffectsAndPositions) {
  ScopedDebugCapture capture;
  MemResFile file;
  file.SetReadOnly(true);  // nothing is saved again
  Bytes v0;  // two entries; pairs (motive, value), one motive outside the table
  v0.U16(2).U16(0);
  v0.U16(4096).U16(2).U16(1).U16(5).U16(99).U16(7);
  v0.U16(4097).U16(0);
  file.PutStored(kTreeTableType, 1, v0.data);
  Bytes v6;  // a stored motive count larger than the table's
  v6.U16(1).U16(6).U16(4096).U16(3).U32(3).U32(0).U32(4).U32(2).F32(0).U32(50).U32(0xFFFFFFFF);
  v6.U16(1).U16(2).U16(3).U16(4).U16(5).U16(6).U16(7).U16(8).U16(9);
  file.PutStored(kTreeTableType, 2, v6.data);

  TreeTable table(2);
  ASSERT_EQ(table.Load(&file, 1), 0);
  ASSERT_EQ(table.EntryCount(), 2);
  EXPECT_EQ(table.GetEntry(0)->fEffects[1].third, 5);
  EXPECT_EQ(table.GetEntry(1)->GetIndex(), 1);
  EXPECT_EQ(table.GetEntry(1)->fActionTree, 4097);

  ASSERT_EQ(table.Load(&file, 2), 0);
  ASSERT_EQ(table.EntryCount(), 1);
  const TreeTableEntry* e = table.GetEntry(0);
  ASSERT_EQ(e->MotiveCount(), 3);
  EXPECT_EQ(e->fEffects[2].second, 7);
  EXPECT_EQ(e->fEffects[2].third, 8);
  EXPECT_EQ(e->fEffects[2].first, 9);
  EXPECT_EQ(e->GetIndex(), 4);
  EXPECT_EQ(e->fValueD, -1);
}

TEST(TreeTable, BadArgumentsMissingAndCorruptTables) {
  ScopedDebugCapture capture;
  MemResFile file;
  TreeTable table(16);
  EXPECT_EQ(table.Load(nullptr, 1), -1);
  EXPECT_EQ(table.Load(&file, 0), -1);
  EXPECT_EQ(table.Load(&file, 5), -99);
  EXPECT_EQ(table.Save(&file, 0, ""), -1);
  EXPECT_TRUE(capture.Saw("no more defaults for tree tables"));
  EXPECT_EQ(table.Save(nullptr, 1, ""), -1);
  EXPECT_EQ(table.Resave(""), -1);
  EXPECT_TRUE(capture.Saw("NULL file, not previously loaded."));

  Bytes many;  // 1000 entries claimed
  many.U16(1000).U16(6).U16(1).U16(2);
  file.PutStored(kTreeTableType, 10, many.data);
  Bytes effects;  // a motive count that runs past the data
  effects.U16(1).U16(6).U16(1).U16(2).U32(0x10000000).U32(0).U32(0).U32(3).F32(0).U32(0).U32(0);
  file.PutStored(kTreeTableType, 11, effects.data);
  Bytes negative;  // version 0, a negative pair count
  negative.U16(1).U16(0).U16(1).U16(0xFFFF);
  file.PutStored(kTreeTableType, 12, negative.data);
  file.PutStored(kTreeTableType, 13, std::vector<uint8_t>{1});

  for (int16_t id : {10, 11, 12, 13}) {
    ASSERT_TRUE(table.AddEntry(uint16_t(id), 1));
    EXPECT_EQ(table.Load(&file, id), shortReadErr) << id;
    EXPECT_EQ(table.EntryCount(), 0) << id;
  }
}

TEST(TreeTable, SaveRefusedByTheFileReturnsItsError) {
  MemResFile file;
  file.SetReadOnly(true);
  TreeTable table(16);
  ASSERT_TRUE(table.AddEntry(0, 1));
  EXPECT_EQ(table.Save(&file, 1, ""), readOnlyErr);
  EXPECT_EQ(file.HeldCount(), 0);
}

TEST(TreeTable, ObjectFileSetsShareLoadedTablesByCount) {
  ScopedDebugCapture quiet;
  MemResFile file;
  TreeTable stored(16);
  ASSERT_TRUE(stored.AddEntry(0, 4096));
  stored.GetEntry(0)->fName = "Sit";
  ASSERT_EQ(stored.Save(&file, 5, "chair"), 0);

  ObjResFile set;
  EXPECT_EQ(set.GetTreeTable(nullptr, 5), nullptr);
  EXPECT_EQ(set.GetTreeTable(&file, 0), nullptr);
  EXPECT_EQ(set.GetTreeTable(&file, -3), nullptr);
  EXPECT_EQ(set.GetTreeTable(&file, 6), nullptr);  // no such table: the failed load is freed

  TreeTable* table = set.GetTreeTable(&file, 5);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->EntryCount(), 1);
  EXPECT_EQ(table->GetEntry(0)->fName.str(), "Sit");
  EXPECT_EQ(table->GetEntry(0)->MotiveCount(), 16);
  EXPECT_EQ(set.GetTreeTable(&file, 5), table);  // a second get shares the table
  set.ReleaseTreeTable(table);
  EXPECT_EQ(set.GetTreeTable(&file, 5), table);  // one holder left: still cached
  set.ReleaseTreeTable(table);
  set.ReleaseTreeTable(table);  // the last release frees it

  // A freed entry is used again; tables still held when the set goes are freed with it.
  TreeTable* again = set.GetTreeTable(&file, 5);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->GetEntry(0)->fName.str(), "Sit");
  ASSERT_EQ(stored.Save(&file, 7, "lamp"), 0);
  EXPECT_NE(set.GetTreeTable(&file, 7), nullptr);
}
