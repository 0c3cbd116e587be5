// Catalog strings: the older 'CATS' form, a line "@@", then the string set 'CTSS'. Read in
// both modes; strings that read are written and must read again.
#include "CatalogStrings.h"
#include "FuzzSupport.h"
#include "MemResFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  std::vector<std::string> parts = SplitInput(data, size, "\n@@\n");
  std::vector<StoredPart> stored;
  if (!parts[0].empty()) stored.push_back({kCatalogStringsType, 128, parts[0], "catalog"});
  if (parts.size() > 1) stored.push_back({kCatalogStringSetType, 128, parts[1], "catalog"});
  WithStoredRecords(stored, [](MemResFile& file) {
    CatalogStrings strings;
    strings.Read(&file, 128, false);
    if (strings.Read(&file, 128, true) != 0) return;
    FuzzNote("read");
    CheckSaveAndReload(
        "catalog strings", [&](MemResFile& out) { return strings.Write(&out, 128) == 0; },
        [](MemResFile& out) {
          CatalogStrings again;
          return again.Read(&out, 128, true) == 0;
        });
  });
  return 0;
}
