// The object-make compiler: the markup into tags, the tags into spec records over an object
// file holding one object definition, then the draw-group table. A fatal build error
// (Terminate) is an answer, not a fault.
#include <cstdio>

#include "FuzzSupport.h"
#include "MemResFile.h"
#include "ObjDefinition.h"
#include "ObjectBuilder.h"
#include "SpecSet.h"
#include "attribtable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  AttribTableList tags;
  if (!ReadFuzzMarkup(data, size, tags)) return 0;

  MemResFile file;
  ObjDefinition definition;
  definition.SetLong(kObjDefVersion, ObjDefinition::kCurrentVersion);
  definition.SetGUID(0x12345678);
  std::vector<uint8_t> bytes(ObjDefinition::kByteSize);
  definition.WriteTo(bytes.data());
  file.PutStored(kObjDefinitionType, 128, bytes, true, "chair");

  FILE* log = std::fopen((FuzzFolder() + "log.txt").c_str(), "w");
  FILE* oldLog = gLogStream;
  if (log) gLogStream = log;
  SpecSet set(&file);
  try {
    set.ParseSpecTags(tags);
    FuzzNote("compiled");
    FILE* table = std::fopen((FuzzFolder() + "table.txt").c_str(), "w");
    if (table) {
      set.PrintDrawGroups(table);
      std::fclose(table);
    }
  } catch (const Terminate& error) {
    FuzzNote(error.c_str());
  }
  gLogStream = oldLog;
  if (log) std::fclose(log);
  return 0;
}
