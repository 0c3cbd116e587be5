// IFF 2.x files: open (saved map or walk), read every resource, then the write, close and
// reopen round of ResFileRound.
#include "FuzzSupport.h"
#include "IFFResFile2.h"

namespace {
iResFile* MakeFile() { return new IFFResFile2(); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  ResFileRound(MakeFile, WriteFuzzFile("input.iff", data, size));
  return 0;
}
