// Slots ('SLOT'): the list and its typed views; a list that loads is saved and must load again.
#include "FuzzSupport.h"
#include "MemResFile.h"
#include "Slots.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  WithStoredRecords({{kSlotType, 128, bytes, "slots"}}, [](MemResFile& file) {
    std::vector<SlotContainerPlace> containers;
    std::vector<SlotRoutingPlace> routing;
    std::vector<SlotSpritePlace> sprites;
    LoadSlots(&file, 128, &containers, &routing, &sprites);
    std::vector<SlotDescriptor> slots;
    if (LoadSlotList(slots, &file, 128) != 0) return;
    FuzzNote("loaded");
    CheckSaveAndReload(
        "a slot list", [&](MemResFile& out) { return SaveSlotList(slots, &out, 128) == 0; },
        [&](MemResFile& out) {
          std::vector<SlotDescriptor> again;
          return LoadSlotList(again, &out, 128) == 0 && again.size() == slots.size();
        });
  });
  return 0;
}
