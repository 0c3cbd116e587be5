// Draw groups ('DGRP'): load; a group that loads is saved and must load again.
#include "DrawGroup.h"
#include "FuzzSupport.h"
#include "MemResFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WithStoredRecords({{MakeResType('D', 'G', 'R', 'P'), 128, bytes, "group"}}, [](MemResFile& file) {
    DrawGroup group;
    if (group.Load(&file, 128) != 0) return;
    FuzzNote("loaded");
    CheckSaveAndReload(
        "a draw group", [&](MemResFile& out) { return group.Save(&out, 128) == 0; },
        [](MemResFile& out) {
          DrawGroup again;
          return again.Load(&out, 128) == 0;
        });
  });
  return 0;
}
