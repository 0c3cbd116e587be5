#include "ObjFnTable.h"

#include <gtest/gtest.h>

#include <vector>

#include "DebugCapture.h"
#include "MemResFile.h"
#include "Recon.h"

TEST(ObjFnTable, AtGrowsAndGettersGuardTheirIndex) {
  ObjFnTable table;
  EXPECT_EQ(table.At(-1), nullptr);
  EXPECT_EQ(table.Size(), 0);
  ObjFnEntry* entry = table.At(5);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(table.Size(), 6);
  for (int32_t i = 0; i < 6; i++) {
    EXPECT_EQ(table.GetFirst(i), 0);
    EXPECT_EQ(table.GetSecond(uint32_t(i)), 0);
  }
  entry->first = 0xFFFF;
  entry->second = 7;
  EXPECT_EQ(table.GetFirst(5), -1);
  EXPECT_EQ(table.GetSecond(5), 7);
  EXPECT_EQ(table.GetFirst(-1), 0);
  EXPECT_EQ(table.GetFirst(6), 0);
  EXPECT_EQ(table.GetSecond(6), 0);
}

TEST(ObjFnTable, FillAndClearUseTheThirtyDefinitionWords) {
  ObjDefinition d;
  for (int32_t w = 0; w < ObjDefinition::kWordCount; w++) d.fWords[w] = uint16_t(w);
  ObjFnTable table;
  table.At(0)->second = 99;
  table.FillFromObjDefinition(d);
  ASSERT_EQ(table.Size(), 30);
  EXPECT_EQ(table.GetFirst(0), 43);
  EXPECT_EQ(table.GetFirst(1), 5);
  EXPECT_EQ(table.GetFirst(15), 17);
  EXPECT_EQ(table.GetFirst(29), 80);
  EXPECT_EQ(table.GetSecond(0), 99);  // seconds are kept

  ObjFnTable::ClearObjDefinitionEntries(d);
  int32_t zeroes = 0;
  for (int32_t w = 1; w < ObjDefinition::kWordCount; w++) zeroes += d.fWords[w] == 0;
  EXPECT_EQ(zeroes, 30);
  EXPECT_EQ(d.fWords[43], 0);
  EXPECT_EQ(d.fWords[33], 0);
  EXPECT_EQ(d.fWords[34], 34);
}

TEST(ObjFnTable, SaveAndLoadThroughTheStream) {
  MemResFile file;
  ObjFnTable saved;
  saved.At(0)->first = 1;
  saved.At(0)->second = 2;
  saved.At(2)->first = 0xABCD;
  saved.At(2)->second = 0x1234;
  ASSERT_EQ(saved.Save(&file, 300), 0);

  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kObjFnTableType, 300, &stored));
  // Header (12), count, then per entry second before first.
  ASSERT_EQ(stored.size(), 12u + 4u + 3u * 4u);
  EXPECT_EQ(stored[12], 3);
  EXPECT_EQ(stored[16], 2);  // entry 0 second
  EXPECT_EQ(stored[18], 1);  // entry 0 first

  ObjFnTable loaded;
  loaded.At(9);  // 10 entries before the load: surplus ones are erased
  ASSERT_EQ(loaded.Load(&file, 300), 0);
  EXPECT_EQ(loaded.Size(), 3);
  EXPECT_EQ(loaded.GetFirst(0), 1);
  EXPECT_EQ(loaded.GetSecond(0), 2);
  EXPECT_EQ(uint16_t(loaded.GetFirst(2)), 0xABCD);
  EXPECT_EQ(loaded.GetSecond(2), 0x1234);

  EXPECT_NE(loaded.Load(&file, 301), 0);  // missing: the file's error
}

TEST(ObjFnTable, StoredCountLargerThanTheDataIsRefused) {
  ScopedDebugCapture capture;
  MemResFile file;
  // Header, then a count of 0x10000000 entries and the data of one.
  std::vector<uint8_t> bytes(12, 0);
  bytes[8] = 'f';
  bytes[9] = 'J';
  bytes[10] = 'B';
  bytes[11] = 'O';
  const uint8_t body[] = {0, 0, 0, 0x10, 1, 0, 2, 0};
  bytes.insert(bytes.end(), body, body + sizeof body);
  file.PutStored(kObjFnTableType, 5, bytes);

  ObjFnTable table;
  table.At(1);
  EXPECT_NE(table.Load(&file, 5), 0);
  EXPECT_EQ(table.Size(), 2);  // left as it was
}
