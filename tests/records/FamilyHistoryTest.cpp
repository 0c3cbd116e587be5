#include "FamilyHistory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DebugCapture.h"
#include "MHandle.h"
#include "PlatformFile.h"
#include "Recon.h"
#include "TestTempFolder.h"

namespace {

// A record whose value i is `base` + i, negated for odd i, so every column differs.
FamilyHistoryRecord MakeRecord(int32_t base) {
  FamilyHistoryRecord r;
  int32_t v[FamilyHistoryRecord::kValueCount];
  for (int32_t i = 0; i < FamilyHistoryRecord::kValueCount; i++) v[i] = (i % 2 ? -1 : 1) * (base + i);
  int16_t* shorts[] = {&r.fLot, &r.fMembers, &r.fAdultMales, &r.fAdultFemales, &r.fKidMales,
                       &r.fKidFemales, &r.fWorkers, &r.fObjects};
  for (int32_t i = 0; i < 8; i++) *shorts[i] = int16_t(v[i]);
  r.fObjectsValue = v[8] * 100000;
  r.fArchitectureValue = v[9] * 100000;
  int16_t* mid[] = {&r.fHouseSquareFeet, &r.fHouseSize, &r.fFurnishingsRating, &r.fSizeRating,
                    &r.fYardRating, &r.fUpkeepRating, &r.fLayoutRating};
  for (int32_t i = 0; i < 7; i++) *mid[i] = int16_t(v[10 + i]);
  int32_t* money[] = {&r.fIncome, &r.fBills, &r.fFood, &r.fMaintenance, &r.fObjectsSpent,
                      &r.fMisc, &r.fArch, &r.fFunds};
  for (int32_t i = 0; i < 8; i++) *money[i] = v[17 + i] * 70000;
  int16_t* last[] = {&r.fRomancesOut, &r.fRomancesIn, &r.fFriendsOut, &r.fFriendsIn, &r.fFriends};
  for (int32_t i = 0; i < 5; i++) *last[i] = int16_t(v[25 + i]);
  return r;
}

void ExpectSame(const FamilyHistoryRecord& a, const FamilyHistoryRecord& b) {
  for (int32_t i = 0; i < FamilyHistoryRecord::kValueCount; i++) {
    EXPECT_EQ(a.GetValue(i), b.GetValue(i)) << "value " << i;
  }
}

// Writes a history in the bit-packed form: the flag set, then count and records packed.
struct PackedWriter {
  FamilyHistory* history;
  void Reconstitute(ReconStream& r, int32_t version) {
    bool packed = true;
    r.ReconBool(&packed);
    r.SetCompressed();
    uint32_t count = uint32_t(history->Count());
    r.ReconInt32(&count);
    for (FamilyHistoryRecord& record : history->fRecords) record.Reconstitute(r, version);
  }
};

MHandle* BytesHandle(const std::vector<uint8_t>& bytes) {
  MHandle* h = HAlloc(uint32_t(bytes.size()));
  memcpy(HLock(h), bytes.data(), bytes.size());
  HUnlock(h);
  return h;
}

void Put16(std::vector<uint8_t>& b, int32_t v) {
  b.push_back(uint8_t(v & 0xFF));
  b.push_back(uint8_t((v >> 8) & 0xFF));
}
void Put32(std::vector<uint8_t>& b, int32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, (v >> 16) & 0xFFFF);
}

// A stored 'FAMh' of `version` in host order: header, flag 0 and the count.
std::vector<uint8_t> StoredStart(int32_t version, uint32_t count) {
  std::vector<uint8_t> b(4, 0);
  Put32(b, version);
  Put32(b, int32_t(kFamilyHistoryType));
  b.push_back(0);
  Put32(b, int32_t(count));
  return b;
}

std::string Header() {
  std::string line;
  for (const char* c : kFamilyHistoryColumns) line += std::string(c) + "\t";
  return line + "\n";
}

}  // namespace

TEST(FamilyHistory, RoundTripsInByteAndPackedForms) {
  FamilyHistory history;
  history.Add(MakeRecord(1));
  history.Add(MakeRecord(300));
  history.Add(FamilyHistoryRecord{});

  for (bool packed : {false, true}) {
    SCOPED_TRACE(packed ? "packed" : "bytes");
    MHandle* h;
    if (packed) {
      PackedWriter writer{&history};
      SimpleReconObject<PackedWriter> object(&writer, kFamilyHistoryType);
      h = ReconToHandle(object, FamilyHistory::kVersion);
    } else {
      SimpleReconObject<FamilyHistory> object(&history, kFamilyHistoryType);
      h = ReconToHandle(object, FamilyHistory::kVersion);
    }
    ASSERT_NE(h, nullptr);
    FamilyHistory read;
    uint32_t version = 99;
    EXPECT_EQ(LoadReconFromHandle(read, h, kFamilyHistoryType, &version), 0);
    EXPECT_EQ(version, uint32_t(FamilyHistory::kVersion));
    ASSERT_EQ(read.Count(), 3);
    for (int32_t i = 0; i < 3; i++) ExpectSame(read.fRecords[i], history.fRecords[i]);
    HFree(h);
  }
}

TEST(FamilyHistory, VersionZeroMoneyIsSixteenBitsSignExtended) {
  std::vector<uint8_t> b = StoredStart(0, 1);
  for (int32_t i = 0; i < 8; i++) Put16(b, i + 1);   // Lot# .. #Objects
  Put16(b, -300);                                    // Objects Value, 16 bits in version 0
  Put16(b, 1234);                                    // Architecture Value
  for (int32_t i = 0; i < 7; i++) Put16(b, 20 + i);  // House Square Feet .. Layout Rating
  Put16(b, -2);                                      // $Income
  for (int32_t i = 0; i < 5; i++) Put16(b, 40 + i);  // $Bills .. $Misc
  Put32(b, -100000);                                 // $Arch: 32 bits in every version
  Put32(b, 200000);                                  // $Funds
  for (int32_t i = 0; i < 5; i++) Put16(b, 50 + i);
  MHandle* h = BytesHandle(b);

  FamilyHistory read;
  EXPECT_EQ(LoadReconFromHandle(read, h, kFamilyHistoryType, nullptr), 0);
  ASSERT_EQ(read.Count(), 1);
  const FamilyHistoryRecord& r = read.fRecords[0];
  EXPECT_EQ(r.fLot, 1);
  EXPECT_EQ(r.fObjectsValue, -300);
  EXPECT_EQ(r.fArchitectureValue, 1234);
  EXPECT_EQ(r.fLayoutRating, 26);
  EXPECT_EQ(r.fIncome, -2);
  EXPECT_EQ(r.fMisc, 44);
  EXPECT_EQ(r.fArch, -100000);
  EXPECT_EQ(r.fFunds, 200000);
  EXPECT_EQ(r.fFriends, 54);
  HFree(h);
}

TEST(FamilyHistory, CorruptCountsAndShortDataLeaveTheHistoryAlone) {
  ScopedDebugCapture capture;  // the stream reports its refusals
  for (uint32_t count : {0xFFFFFFFFu, 0x7FFFFFFFu, 2u}) {
    SCOPED_TRACE(count);
    std::vector<uint8_t> b = StoredStart(1, count);
    for (int32_t i = 0; i < 40; i++) Put16(b, 7);  // one record of 80 bytes at most
    MHandle* h = BytesHandle(b);
    FamilyHistory read;
    read.Add(MakeRecord(5));
    EXPECT_NE(LoadReconFromHandle(read, h, kFamilyHistoryType, nullptr), 0);
    ASSERT_EQ(read.Count(), 1);
    ExpectSame(read.fRecords[0], MakeRecord(5));
    HFree(h);
  }
}

TEST(FamilyHistory, KeepsTheNewest1024) {
  FamilyHistory history;
  for (int32_t i = 0; i < FamilyHistory::kMaxRecords; i++) history.Add(MakeRecord(i));
  history.Add(MakeRecord(5000));
  ASSERT_EQ(history.Count(), FamilyHistory::kMaxRecords);
  ExpectSame(history.fRecords.front(), MakeRecord(1));
  ExpectSame(history.fRecords.back(), MakeRecord(5000));

  // A stored history longer than the limit reads as its newest 1024 records.
  for (int32_t i = 0; i < 6; i++) history.fRecords.push_back(MakeRecord(6000 + i));
  SimpleReconObject<FamilyHistory> object(&history, kFamilyHistoryType);
  MHandle* h = ReconToHandle(object, FamilyHistory::kVersion);
  ASSERT_NE(h, nullptr);
  FamilyHistory read;
  EXPECT_EQ(LoadReconFromHandle(read, h, kFamilyHistoryType, nullptr), 0);
  ASSERT_EQ(read.Count(), FamilyHistory::kMaxRecords);
  ExpectSame(read.fRecords.front(), MakeRecord(7));
  ExpectSame(read.fRecords.back(), MakeRecord(6005));
  HFree(h);
}

TEST(FamilyHistory, WritesTheTabSeparatedReport) {
  TestTempFolder folder;
  FixedStringBuffer<260> path;
  path.assign((folder / "report.txt").c_str());

  FamilyHistory empty;
  folder.WriteFile("report.txt", "old text that must go away\n");
  ASSERT_TRUE(empty.WriteTabFile(path));
  EXPECT_EQ(TestTempFolder::ReadFile(folder / "report.txt"), Header());

  FamilyHistory history;
  FamilyHistoryRecord first;
  first.fLot = -1;
  first.fIncome = -70000;
  first.fFriends = 3;
  history.Add(first);
  history.Add(MakeRecord(2));
  ASSERT_TRUE(history.WriteTabFile(path));
  std::string expected = Header() + "-1\t";
  for (int32_t i = 1; i < 30; i++) expected += i == 17 ? "-70000\t" : i == 29 ? "3\t" : "0\t";
  expected += "\n";
  for (int32_t i = 0; i < 30; i++) expected += std::to_string(MakeRecord(2).GetValue(i)) + "\t";
  expected += "\n";
  EXPECT_EQ(TestTempFolder::ReadFile(folder / "report.txt"), expected);
  EXPECT_EQ(MakeRecord(2).GetValue(17), -19 * 70000);  // the widening covers the i32 columns

  path.assign((folder / "no such folder/report.txt").c_str());
  EXPECT_FALSE(history.WriteTabFile(path));
}

TEST(FamilyHistory, ATabFileWriteThatFailsIsReported) {
  TestTempFolder folder;
  FixedStringBuffer<260> path;
  path.assign((folder / "report.txt").c_str());
  FamilyHistory history;
  history.Add(MakeRecord(1));
  PlatformFileResetFaults();
  ASSERT_TRUE(history.WriteTabFile(path));
  const int64_t writes = PlatformFileCallCount(kPlatformFaultWrite);
  ASSERT_GT(writes, 2);
  for (int64_t n : {int64_t{1}, writes / 2, writes}) {
    SCOPED_TRACE(n);
    PlatformFileResetFaults();
    PlatformFileFailAt(kPlatformFaultWrite, static_cast<int32_t>(n));
    EXPECT_FALSE(history.WriteTabFile(path));
  }
  PlatformFileResetFaults();
}
