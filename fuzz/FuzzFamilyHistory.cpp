// Family histories ('FAMh'): load, write the report, and a history that loads is saved and
// must load again with as many records.
#include "FamilyHistory.h"
#include "FuzzSupport.h"
#include "MemResFile.h"
#include "Recon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WithStoredRecords({{kFamilyHistoryType, 128, bytes, "history"}}, [](MemResFile& file) {
    FamilyHistory history;
    SimpleReconObject<FamilyHistory> object(history, kFamilyHistoryType);
    uint32_t version = 0;
    if (ReconLoadResource(object, &file, 128, &version) != 0) return;
    FuzzNote("loaded");
    history.WriteTabFile(FuzzPath(FuzzFolder() + "history.txt"));
    CheckSaveAndReload(
        "a family history",
        [&](MemResFile& out) { return ReconSaveResource(object, FamilyHistory::kVersion, &out, 128) == 0; },
        [&](MemResFile& out) {
          FamilyHistory again;
          SimpleReconObject<FamilyHistory> reread(again, kFamilyHistoryType);
          return ReconLoadResource(reread, &out, 128, nullptr) == 0 && again.Count() == history.Count();
        });
  });
  return 0;
}
