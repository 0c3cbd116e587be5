#include "ObjResFile.h"

#include "XAssert.h"
#include "strset.h"

ObjResFile::ObjResFile() {
  ClearFileTypes();
  AddFileType(kIFF2FileKind, ".iff");
  AddFileType(kIFF2FileKind, ".spf");
  AddFileType(kResolveFileKind, ".dir");
}

ObjResFile::~ObjResFile() {}

void ObjResFile::SetOverride(uint16_t id, const uint16_t* array) {
  if (array != nullptr) {
    uint16_t count = array[0] & 0x7FFF;
    Override entry{id, std::vector<uint16_t>(array, array + 1 + count)};
    entry.fArray[0] = count;
    fOverrides.push_back(std::move(entry));
    return;
  }
  for (auto it = fOverrides.begin(); it != fOverrides.end(); ++it) {
    if (it->fID == id) {
      fOverrides.erase(it);
      return;
    }
  }
  XASSERT(false, "override not found");
}

const uint16_t* ObjResFile::GetOverride(uint16_t id) const {
  for (const Override& entry : fOverrides) {
    if (entry.fID == id) return entry.fArray.data();
  }
  return nullptr;
}

AnimTable* ObjResFile::GetAnimTable(iResFile* file, int32_t id) { return fAnimTables.Get(file, id); }

void ObjResFile::ReleaseAnimTable(AnimTable* table) { fAnimTables.Release(table); }
