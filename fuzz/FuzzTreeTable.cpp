// Tree tables ('TTAB') with their names ('TTAs'): the input is the table's bytes, a line
// "@@", then the names' bytes. A table that loads is saved and must load again.
#include "FuzzSupport.h"
#include "MemResFile.h"
#include "TreeTable.h"
#include "strset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  std::vector<std::string> parts = SplitInput(data, size, "\n@@\n");
  std::vector<StoredPart> stored;
  stored.push_back({kTreeTableType, 128, parts[0], "table"});
  if (parts.size() > 1) stored.push_back({kTreeTableStringsType, 128, parts[1], "names"});
  WithStoredRecords(stored, [](MemResFile& file) {
    TreeTable table(16);
    if (table.Load(&file, 128) != 0) return;
    FuzzNote("loaded");
    CheckSaveAndReload(
        "a tree table", [&](MemResFile& out) { return table.Save(&out, 128, "table") == 0; },
        [](MemResFile& out) {
          TreeTable again(16);
          return again.Load(&out, 128) == 0;
        });
  });
  return 0;
}
