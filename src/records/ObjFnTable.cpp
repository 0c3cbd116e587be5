#include "ObjFnTable.h"

#include "Recon.h"
#include "XAssert.h"
#include "resfile.h"

const int32_t ObjFnTable::kDefinitionWords[kDefinitionWordCount] = {
    43, 5,  47, 52, 60, 21, 62, 50, 78, 44, 74, 48, 45, 53, 55,
    17, 6,  12, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 59, 80};

ObjFnTable::ObjFnTable() { fEntries.reserve(32); }

int16_t ObjFnTable::GetFirst(int32_t index) const {
  if (index < 0 || index >= Size()) return 0;
  return int16_t(fEntries[size_t(index)].first);
}

uint16_t ObjFnTable::GetSecond(uint32_t index) const {
  if (index >= fEntries.size()) return 0;
  return fEntries[index].second;
}

ObjFnEntry* ObjFnTable::At(int32_t index) {
  if (index < 0) return nullptr;
  if (index >= Size()) fEntries.resize(size_t(index) + 1);
  XASSERT(index < Size(), "i<size()");
  return &fEntries[size_t(index)];
}

void ObjFnTable::FillFromObjDefinition(const ObjDefinition& definition) {
  for (int32_t k = 0; k < kDefinitionWordCount; k++) {
    At(k)->first = definition.fWords[kDefinitionWords[k]];
  }
}

void ObjFnTable::ClearObjDefinitionEntries(ObjDefinition& definition) {
  for (int32_t word : kDefinitionWords) definition.fWords[word] = 0;
}

int32_t ObjFnTable::Load(iResFile* file, uint16_t id) {
  SimpleReconObject<ObjFnTable> object(this, kObjFnTableType);
  return ReconLoadResource(object, file, id, nullptr);
}

int32_t ObjFnTable::Save(iResFile* file, uint16_t id) {
  SimpleReconObject<ObjFnTable> object(this, kObjFnTableType);
  return ReconSaveResource(object, 0, file, id);
}

void ObjFnTable::Reconstitute(ReconStream& stream, int32_t /*version*/) {
  uint32_t count = uint32_t(fEntries.size());
  stream.ReconInt32(&count);
  if (stream.Failed()) return;
  if (stream.IsReading()) {
    // Each entry takes two 16-bit values.
    if (count > 0x7FFFFFFFu || !stream.CountFits(int32_t(count), 4)) return;
    fEntries.resize(count);
  }
  for (ObjFnEntry& entry : fEntries) {
    stream.ReconInt16(&entry.second);
    stream.ReconInt16(&entry.first);
  }
}
