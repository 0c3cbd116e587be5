#include "ObjResFile.h"

#include "XAssert.h"
#include "strset.h"

ResTableCache::~ResTableCache() {
  for (Entry& entry : fEntries) {
    if (entry.fTable != nullptr) entry.fDestroy(entry.fTable);
  }
}

void* ResTableCache::Share(int32_t id) {
  for (Entry& entry : fEntries) {
    if (entry.fTable != nullptr && entry.fID == id) {
      entry.fCount++;
      return entry.fTable;
    }
  }
  return nullptr;
}

void ResTableCache::Store(int32_t id, void* table, void (*destroy)(void*)) {
  Entry* free = nullptr;
  for (Entry& entry : fEntries) {
    if (entry.fTable == nullptr) free = &entry;
  }
  if (free == nullptr) {
    fEntries.push_back(Entry());
    free = &fEntries.back();
  }
  free->fCount = 1;
  free->fTable = table;
  free->fID = id;
  free->fDestroy = destroy;
}

void ResTableCache::Release(const void* table) {
  if (table == nullptr) return;
  for (Entry& entry : fEntries) {
    if (entry.fTable != table) continue;
    if (--entry.fCount <= 0) {
      entry.fDestroy(entry.fTable);
      entry = Entry();
      return;  // the table is gone: no other entry may touch it
    }
  }
}

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

AnimTable* ObjResFile::GetAnimTable(iResFile* file, int32_t id) {
  return fAnimTables.Get<AnimTable>(file, id, [](iResFile* f, uint16_t tableId) -> AnimTable* {
    AnimTable* table = new AnimTable;
    if (table->Load(f, tableId) == 0) return table;
    delete table;
    return nullptr;
  });
}

void ObjResFile::ReleaseAnimTable(AnimTable* table) { fAnimTables.Release(table); }
