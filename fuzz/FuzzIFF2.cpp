// IFF 2.x files: open (saved map or walk), read every resource, then the write, close and
// reopen round of ResFileRound, the ledger of the blocks checked after every operation.
#include "FuzzSupport.h"
#include "IFFResFile2.h"

namespace {
iResFile* MakeFile() { return new IFFResFile2(); }
int32_t CheckLedger(iResFile& file) { return static_cast<IFFResFile2&>(file).CheckLedger(); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  ResFileRound(MakeFile, WriteFuzzFile("input.iff", data, size), CheckLedger);
  return 0;
}
