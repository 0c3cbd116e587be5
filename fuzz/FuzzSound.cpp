// Sounds ('FWAV'): one record by id, every record by index, and a record that loads is saved.
#include "FuzzSupport.h"
#include "MemResFile.h"
#include "SoundRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WithStoredRecords({{kSoundRecordType, 128, bytes, "sound"}, {kSoundRecordType, 129, bytes, ""}},
                    [](MemResFile& file) {
                      std::vector<SoundRecord> records;
                      ReadSoundRecords(&file, records);
                      SoundRecord record;
                      if (!record.Load(&file, 128)) return;
                      FuzzNote("loaded");
                      CheckSaveAndReload(
                          "a sound", [&](MemResFile& out) { return record.Save(&out); },
                          [&](MemResFile& out) {
                            SoundRecord again;
                            return again.Load(&out, record.fId);
                          });
                    });
  return 0;
}
