// Object definitions ('OBJD') and function tables ('OBJf'): the input is the definition's
// bytes, a line "@@", then the function table's bytes. Each is read as the builder reads it,
// and a table that loads is saved and must load again.
#include "FuzzSupport.h"
#include "MemResFile.h"
#include "ObjDefinition.h"
#include "ObjFnTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  std::vector<std::string> parts = SplitInput(data, size, "\n@@\n");
  std::vector<StoredPart> stored;
  stored.push_back({kObjDefinitionType, 128, parts[0], "object"});
  if (parts.size() > 1) stored.push_back({kObjFnTableType, 128, parts[1], "functions"});
  WithStoredRecords(stored, [](MemResFile& file) {
    ObjDefinition definition;
    MHandle* h = file.GetResource(kObjDefinitionType, 128, SwizzleObjDefinition);
    if (h) {
      NormalizeObjDefinition(h);
      FuzzNote(definition.ReadFromHandle(h) ? "definition read" : "definition refused");
      MHandle* copy = HAlloc(ObjDefinition::kByteSize);
      FUZZ_CHECK(copy != nullptr, "no memory for a definition");
      FUZZ_CHECK(definition.WriteToHandle(copy), "a definition that was read does not write");
      ObjDefinition again;
      FUZZ_CHECK(again.ReadFromHandle(copy), "a written definition does not read");
      HFree(copy);
    }
    ObjFnTable table;
    if (table.Load(&file, 128) == 0) {
      FuzzNote("table loaded");
      table.FillFromObjDefinition(definition);
      CheckSaveAndReload(
          "a function table", [&](MemResFile& out) { return table.Save(&out, 128) == 0; },
          [](MemResFile& out) {
            ObjFnTable again;
            return again.Load(&out, 128) == 0;
          });
    }
  });
  return 0;
}
