// The object file set: a StdResFile whose components are IFF 2.x files with the extensions
// ".iff" and ".spf" and folders of loose resources with ".dir", with tables that object code
// keeps beside an open object: per-id override arrays and a cache of loaded animation tables.
// Template copies (StubObjectParams) open and create object files through it.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "SeqResFile.h"

class AnimTable;

// Loaded tables of type T (with `int32_t Load(iResFile*, uint16_t)`), shared by reference
// count and found by id. Owns the tables.
template <class T>
class ResTableCache {
 public:
  ResTableCache() = default;
  ~ResTableCache() {
    for (Entry& entry : fEntries) delete entry.fTable;
  }
  ResTableCache(const ResTableCache&) = delete;
  ResTableCache& operator=(const ResTableCache&) = delete;

  // The table of `id`, its count raised; else a new one loaded from `file` with count 1.
  // Null for a null file, an id below 1 or a failed load.
  T* Get(iResFile* file, int32_t id) {
    if (file == nullptr || id < 1) return nullptr;
    Entry* free = nullptr;
    for (Entry& entry : fEntries) {
      if (entry.fTable != nullptr && entry.fID == id) {
        entry.fCount++;
        return entry.fTable;
      }
      if (entry.fTable == nullptr) free = &entry;
    }
    if (id > 0xFFFF) return nullptr;  // resource ids are 16-bit
    T* table = new T;
    if (table->Load(file, static_cast<uint16_t>(id)) != 0) {
      delete table;
      return nullptr;
    }
    if (free == nullptr) {
      fEntries.push_back(Entry());
      free = &fEntries.back();
    }
    free->fCount = 1;
    free->fTable = table;
    free->fID = id;
    return table;
  }

  // Every entry holding `table` lowers its count; at 0 the table is deleted and the entry
  // freed for reuse.
  void Release(T* table) {
    if (table == nullptr) return;
    for (Entry& entry : fEntries) {
      if (entry.fTable != table) continue;
      if (--entry.fCount <= 0) {
        delete entry.fTable;
        entry.fTable = nullptr;
        entry.fCount = 0;
        entry.fID = 0;
        return;  // the table is gone: no other entry may touch it
      }
    }
  }

 private:
  struct Entry {
    int32_t fCount = 0;
    T* fTable = nullptr;
    int32_t fID = 0;
  };
  std::vector<Entry> fEntries;
};

class ObjResFile : public StdResFile {
 public:
  // Registers IFF 2.x ".iff", IFF 2.x ".spf" and folder ".dir", in this order.
  ObjResFile();
  ~ObjResFile() override;  // Frees the overrides and every cached table.

  // With an array (its first word a count in the low 15 bits, bit 15 a flag, then that many
  // u16 values): a copy, flag cleared, is appended under `id`, beside older entries of the id.
  // With null: the first entry of the id is removed and freed ("override not found" when
  // there is none).
  void SetOverride(uint16_t id, const uint16_t* array);
  // The array of the first entry of `id`, or null. Owned by the set.
  const uint16_t* GetOverride(uint16_t id) const;

  // The animation table `id` of `file`, shared; give it back with ReleaseAnimTable.
  AnimTable* GetAnimTable(iResFile* file, int32_t id);
  void ReleaseAnimTable(AnimTable* table);

 private:
  struct Override {
    uint16_t fID;
    std::vector<uint16_t> fArray;
  };
  std::vector<Override> fOverrides;
  ResTableCache<AnimTable> fAnimTables;
};
