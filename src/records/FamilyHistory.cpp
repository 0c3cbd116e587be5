#include "FamilyHistory.h"

#include "PlatformFile.h"
#include "Recon.h"

const char* const kFamilyHistoryColumns[FamilyHistoryRecord::kValueCount] = {
    "Lot#",          "#Members",          "#Adult Males",      "#Adult Females",
    "#Kid Males",    "#Kid Females",      "#Workers",          "#Objects",
    "Objects Value", "Architecture Value", "House Square Feet", "House Size",
    "Furnishings Rating", "Size Rating",  "Yard Rating",       "Upkeep Rating",
    "Layout Rating", "$Income",           "$Bills",            "$Food",
    "$Maintenance",  "$Objects",          "$Misc",             "$Arch",
    "$Funds",        "Romances Out",      "Romances In",       "Friends Out",
    "Friends In",    "#Friends",
};

namespace {

// The smallest a stored record can be: 30 values of at least one byte each, or one bit each
// in the bit-packed mode, which is how ReconStream::CountFits measures them.
const int32_t kMinRecordBytes = FamilyHistoryRecord::kValueCount;

void Recon16(ReconStream& r, int16_t& value) { r.ReconInt16(&value); }

void Recon32(ReconStream& r, int32_t& value) { r.ReconInt32(&value); }

// A 32-bit value that version 0 stored as 16 bits.
void ReconMoney(ReconStream& r, int32_t& value, int32_t version) {
  if (version != 0) {
    r.ReconInt32(&value);
    return;
  }
  int16_t narrow = static_cast<int16_t>(value);
  r.ReconInt16(&narrow);
  if (r.IsReading() && !r.Failed()) value = narrow;
}

}  // namespace

int32_t FamilyHistoryRecord::GetValue(int32_t index) const {
  const int32_t values[kValueCount] = {
      fLot,          fMembers,        fAdultMales,      fAdultFemales,     fKidMales,
      fKidFemales,   fWorkers,        fObjects,         fObjectsValue,     fArchitectureValue,
      fHouseSquareFeet, fHouseSize,   fFurnishingsRating, fSizeRating,     fYardRating,
      fUpkeepRating, fLayoutRating,   fIncome,          fBills,            fFood,
      fMaintenance,  fObjectsSpent,   fMisc,            fArch,             fFunds,
      fRomancesOut,  fRomancesIn,     fFriendsOut,      fFriendsIn,        fFriends,
  };
  return index >= 0 && index < kValueCount ? values[index] : 0;
}

void FamilyHistoryRecord::Reconstitute(ReconStream& r, int32_t version) {
  Recon16(r, fLot);
  Recon16(r, fMembers);
  Recon16(r, fAdultMales);
  Recon16(r, fAdultFemales);
  Recon16(r, fKidMales);
  Recon16(r, fKidFemales);
  Recon16(r, fWorkers);
  Recon16(r, fObjects);
  ReconMoney(r, fObjectsValue, version);
  ReconMoney(r, fArchitectureValue, version);
  Recon16(r, fHouseSquareFeet);
  Recon16(r, fHouseSize);
  Recon16(r, fFurnishingsRating);
  Recon16(r, fSizeRating);
  Recon16(r, fYardRating);
  Recon16(r, fUpkeepRating);
  Recon16(r, fLayoutRating);
  ReconMoney(r, fIncome, version);
  ReconMoney(r, fBills, version);
  ReconMoney(r, fFood, version);
  ReconMoney(r, fMaintenance, version);
  ReconMoney(r, fObjectsSpent, version);
  ReconMoney(r, fMisc, version);
  Recon32(r, fArch);
  Recon32(r, fFunds);
  Recon16(r, fRomancesOut);
  Recon16(r, fRomancesIn);
  Recon16(r, fFriendsOut);
  Recon16(r, fFriendsIn);
  Recon16(r, fFriends);
}

void FamilyHistory::Add(const FamilyHistoryRecord& record) {
  if (fRecords.size() >= static_cast<size_t>(kMaxRecords)) fRecords.erase(fRecords.begin());
  fRecords.push_back(record);
}

void FamilyHistory::Reconstitute(ReconStream& r, int32_t version) {
  bool packed = r.IsCompressed();
  r.ReconBool(&packed);
  if (r.Failed()) return;
  if (packed) r.SetCompressed();

  uint32_t stored = static_cast<uint32_t>(fRecords.size());
  r.ReconInt32(&stored);
  if (r.Failed()) return;
  if (!r.IsReading()) {
    for (FamilyHistoryRecord& record : fRecords) {
      record.Reconstitute(r, version);
      if (r.Failed()) return;
    }
    return;
  }

  // A count that does not fit in the data (or is negative as i32) is corrupt: nothing is read.
  if (!r.CountFits(static_cast<int32_t>(stored), kMinRecordBytes)) return;
  // Of a longer history only the newest kMaxRecords are kept, as Add would have left them.
  uint32_t skipped = stored > uint32_t(kMaxRecords) ? stored - uint32_t(kMaxRecords) : 0;
  std::vector<FamilyHistoryRecord> read(stored - skipped);
  FamilyHistoryRecord dropped;
  for (uint32_t i = 0; i < stored; i++) {
    FamilyHistoryRecord& record = i < skipped ? dropped : read[i - skipped];
    record.Reconstitute(r, version);
    if (r.Failed()) return;  // the history is left as it was
  }
  fRecords.swap(read);
}

bool FamilyHistory::WriteTabFile(const StringBuffer& path) const {
  PlatformFile* file = PlatformFileOpen(path.c_str(), PlatformOpenMode::kCreateAlways);
  if (file == nullptr) return false;
  bool ok = true;
  for (const char* column : kFamilyHistoryColumns) ok = PlatformFilePrintf(file, "%s\t", column) && ok;
  ok = PlatformFilePrintf(file, "\n") && ok;
  for (const FamilyHistoryRecord& record : fRecords) {
    for (int32_t i = 0; i < FamilyHistoryRecord::kValueCount; i++) {
      ok = PlatformFilePrintf(file, "%d\t", static_cast<int>(record.GetValue(i))) && ok;
    }
    ok = PlatformFilePrintf(file, "\n") && ok;
  }
  PlatformFileClose(file);
  return ok;
}
