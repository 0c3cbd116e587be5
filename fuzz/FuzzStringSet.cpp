// String sets: the bytes as 'STR#' (every stored form) and as the text form; a set that
// loads is saved and must load again with as many strings.
#include "FuzzSupport.h"
#include "MemResFile.h"
#include "strset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WithStoredRecords({{kStringSetType, 128, bytes, "strings"}, {kTextStringSetType, 128, bytes, "text"}},
                    [](MemResFile& file) {
                      StringSet text;
                      text.Init(&file, 128, kTextStringSetType, 1, 0);
                      text.Read(1, 1);
                      StringSet all;
                      all.Init(&file, 128, kStringSetType, 0, 3);
                      all.Read(1, 1);
                      for (int32_t i = 1; i <= all.Count(); ++i) all.FindString(i, nullptr);
                      StringSet set;
                      if (set.Load(&file, 128) != 0) return;
                      FuzzNote("loaded");
                      CheckSaveAndReload(
                          "a string set", [&](MemResFile& out) { return set.Save(&out, 128) == 0; },
                          [&](MemResFile& out) {
                            StringSet again;
                            return again.Load(&out, 128) == 0 && again.Count() == set.Count();
                          });
                    });
  return 0;
}
