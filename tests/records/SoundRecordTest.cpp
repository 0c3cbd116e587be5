#include "SoundRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemResFile.h"

TEST(SoundRecord, SaveStoresTheNameAloneAndLoadsBack) {
  MemResFile file;
  SoundRecord saved;
  saved.fId = 200;
  saved.fName.assign("ding.wav");
  ASSERT_TRUE(saved.Save(&file));
  EXPECT_EQ(file.HeldCount(), 0);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kSoundRecordType, 200, &stored));
  EXPECT_EQ(stored, std::vector<uint8_t>({'d', 'i', 'n', 'g', '.', 'w', 'a', 'v', 0}));
  FixedStringBuffer<64> name;
  MHandle* h = file.GetResource(kSoundRecordType, 200);
  ASSERT_NE(h, nullptr);
  file.GetResName(h, name);
  EXPECT_STREQ(name.c_str(), "");

  SoundRecord loaded;
  ASSERT_TRUE(loaded.Load(&file, 200));
  EXPECT_EQ(loaded.fId, 200);
  EXPECT_STREQ(loaded.fName.c_str(), "ding.wav");
  EXPECT_EQ(file.HeldCount(), 0);
}

TEST(SoundRecord, MissingLoadAndFailedSave) {
  MemResFile file;
  SoundRecord record;
  record.fId = 5;
  record.fName.assign("keep");
  EXPECT_FALSE(record.Load(&file, 1));
  EXPECT_EQ(record.fId, 5);
  EXPECT_STREQ(record.fName.c_str(), "keep");

  file.SetReadOnly(true);
  EXPECT_FALSE(record.Save(&file));
  EXPECT_NE(file.GetError(), 0);
  EXPECT_EQ(file.HeldCount(), 0);
  file.SetReadOnly(false);
  file.SetWriteError(shortWriteErr);
  EXPECT_FALSE(record.Save(&file));
}

TEST(SoundRecord, SwizzleSwapsOnlyTheValuesInsideTheData) {
  // A 2-character name, then three u16 values at offsets 4, 6 and 8.
  std::vector<uint8_t> data = {'a', 'b', 0, 0, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  SwizzleSoundRecord(data.data(), int32_t(data.size()));
  EXPECT_EQ(data, std::vector<uint8_t>({'a', 'b', 0, 0, 2, 1, 4, 3, 6, 5, 0, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0}));
  // Cut data: only whole values are swapped; a name alone is left.
  std::vector<uint8_t> cut = {'a', 'b', 0, 0, 1, 2, 3};
  SwizzleSoundRecord(cut.data(), int32_t(cut.size()));
  EXPECT_EQ(cut, std::vector<uint8_t>({'a', 'b', 0, 0, 2, 1, 3}));
  std::vector<uint8_t> name = {'a', 'b', 'c'};  // no NUL at all
  SwizzleSoundRecord(name.data(), int32_t(name.size()));
  EXPECT_EQ(name, std::vector<uint8_t>({'a', 'b', 'c'}));
}

TEST(SoundRecord, ForeignOrderRecordAndUnterminatedName) {
  MemResFile file;
  file.PutStored(kSoundRecordType, 7, std::vector<uint8_t>{'h', 'i', 0, 0, 1, 2, 3, 4, 5, 6},
                 false);
  file.PutStored(kSoundRecordType, 8, std::string("abc"));  // no NUL stored
  SoundRecord record;
  ASSERT_TRUE(record.Load(&file, 7));
  EXPECT_STREQ(record.fName.c_str(), "hi");
  ASSERT_TRUE(record.Load(&file, 8));
  EXPECT_STREQ(record.fName.c_str(), "abc");
}

TEST(SoundRecord, ReadSoundRecordsTakesEverySound) {
  MemResFile file;
  std::vector<SoundRecord> records;
  ReadSoundRecords(&file, records);
  EXPECT_TRUE(records.empty());

  for (uint16_t id : {300, 301}) {
    SoundRecord r;
    r.fId = id;
    r.fName.assign(id == 300 ? "a.wav" : "b.wav");
    ASSERT_TRUE(r.Save(&file));
  }
  ReadSoundRecords(&file, records);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].fId + records[1].fId, 601);
  EXPECT_EQ(file.HeldCount(), 0);
}
