// Markup files: every tag into an attribute table, then the look-ups the compiler makes.
#include "FuzzSupport.h"
#include "attribtable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  AttribTableList tags;
  if (!ReadFuzzMarkup(data, size, tags)) return 0;
  for (int32_t i = 0; i < tags.Count(); ++i) {
    AttribTable& tag = *tags.Nth(i);
    for (tag.Reset(); !tag.Done(); tag.Advance()) {
      tag.GetName();
      tag.GetValue();
    }
    int32_t value = 0;
    tag.GetIntValue("id", &value);
    tag.FindValue("name");
    tag.ClearAll();
  }
  return 0;
}
