// Family histories (resource 'FAMh'): per-household snapshots, one record per visit, oldest
// first, at most 1024. The builder only reads them, to write the tab-separated family-history
// report. Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "StringBuffer.h"

class ReconStream;

// Resource type 'FAMh'.
constexpr uint32_t kFamilyHistoryType = 0x46414D68;

// One visit's snapshot. A new record is all zero.
struct FamilyHistoryRecord {
  int16_t fLot = 0;
  int16_t fMembers = 0;
  int16_t fAdultMales = 0;
  int16_t fAdultFemales = 0;
  int16_t fKidMales = 0;
  int16_t fKidFemales = 0;
  int16_t fWorkers = 0;
  int16_t fObjects = 0;
  int32_t fObjectsValue = 0;
  int32_t fArchitectureValue = 0;
  int16_t fHouseSquareFeet = 0;
  int16_t fHouseSize = 0;
  int16_t fFurnishingsRating = 0;
  int16_t fSizeRating = 0;
  int16_t fYardRating = 0;
  int16_t fUpkeepRating = 0;
  int16_t fLayoutRating = 0;
  int32_t fIncome = 0;
  int32_t fBills = 0;
  int32_t fFood = 0;
  int32_t fMaintenance = 0;
  int32_t fObjectsSpent = 0;
  int32_t fMisc = 0;
  int32_t fArch = 0;
  int32_t fFunds = 0;
  int16_t fRomancesOut = 0;
  int16_t fRomancesIn = 0;
  int16_t fFriendsOut = 0;
  int16_t fFriendsIn = 0;
  int16_t fFriends = 0;

  // Number of values, and value `index` (0..29, in report column order) widened to 32 bits;
  // 0 outside that range.
  static constexpr int32_t kValueCount = 30;
  int32_t GetValue(int32_t index) const;

  // Reads, writes or measures the record. In version 0 the eight money values from
  // "Objects Value" to "$Misc" (except "$Arch" and "$Funds") are stored as 16 bits and
  // sign-extended on reading; later versions store every i32 value as 32 bits.
  void Reconstitute(ReconStream& r, int32_t version);
};

class FamilyHistory {
 public:
  static constexpr int32_t kMaxRecords = 1024;
  // The version this code stores.
  static constexpr int32_t kVersion = 1;

  std::vector<FamilyHistoryRecord> fRecords;  // oldest first

  int32_t Count() const { return static_cast<int32_t>(fRecords.size()); }

  // Appends the record; with kMaxRecords held, the oldest is dropped first.
  void Add(const FamilyHistoryRecord& record);

  // The stored form: a bool (set: the rest of the stream is bit-packed), a u32 count, then
  // the records. A stored count that cannot fit in the data fails the stream; of a stored
  // history longer than kMaxRecords the newest kMaxRecords records are kept.
  void Reconstitute(ReconStream& r, int32_t version);

  // Writes the report to `path`, replacing an existing file: a header line of the 30 column
  // names, then one line per record, oldest first, each field followed by a tab. Returns
  // false when the file cannot be opened or written.
  bool WriteTabFile(const StringBuffer& path) const;
};

// The report's column names, in value order.
extern const char* const kFamilyHistoryColumns[FamilyHistoryRecord::kValueCount];
