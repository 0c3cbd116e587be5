// IFF 1.0 files: open (block walk and name list), read every resource, then the write, close
// and reopen round of ResFileRound, the ledger of the blocks checked after every operation.
#include "FuzzSupport.h"
#include "IFFResFile.h"

namespace {
iResFile* MakeFile() { return new IFFResFile(); }
int32_t CheckLedger(iResFile& file) { return static_cast<IFFResFile&>(file).CheckLedger(); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  ResFileRound(MakeFile, WriteFuzzFile("input.iff", data, size), CheckLedger);
  return 0;
}
