// The object file set: a StdResFile whose components are IFF 2.x files with the extensions
// ".iff" and ".spf" and folders of loose resources with ".dir", with tables that object code
// keeps beside an open object: per-id override arrays and caches of loaded animation tables
// and tree tables.
// Template copies (StubObjectParams) open and create object files through it.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "SeqResFile.h"

class AnimTable;
class TreeTable;

// Loaded tables shared by reference count and found by id. The cache owns them and deletes
// each through the deleter it was stored with, so it holds tables of types that this layer
// does not know (tree tables live above it); Get is instantiated where the type is complete.
class ResTableCache {
 public:
  ResTableCache() = default;
  ~ResTableCache();  // Deletes every table still held.
  ResTableCache(const ResTableCache&) = delete;
  ResTableCache& operator=(const ResTableCache&) = delete;

  // The table of `id`, its count raised; else the table `load(file, id)` answers (a new T,
  // or null when it could not be loaded), stored with count 1 in the last free entry, or in a
  // new one. Null for a null file, an id below 1 or above 0xFFFF, or a failed load.
  template <class T, class Load>
  T* Get(iResFile* file, int32_t id, Load load) {
    if (file == nullptr || id < 1) return nullptr;
    if (void* held = Share(id)) return static_cast<T*>(held);
    if (id > 0xFFFF) return nullptr;  // resource ids are 16-bit
    T* table = load(file, static_cast<uint16_t>(id));
    if (table != nullptr) Store(id, table, [](void* p) { delete static_cast<T*>(p); });
    return table;
  }

  // Every entry holding `table` lowers its count; at 0 the table is deleted and the entry
  // freed for reuse.
  void Release(const void* table);

 private:
  struct Entry {
    int32_t fCount = 0;
    void* fTable = nullptr;
    int32_t fID = 0;
    void (*fDestroy)(void*) = nullptr;
  };
  void* Share(int32_t id);  // the table of `id` with its count raised, or null
  void Store(int32_t id, void* table, void (*destroy)(void*));
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

  // The tree table `id` of `file` (made with 16 motive effects per entry and loaded), shared;
  // give it back with ReleaseTreeTable. Null for a null file, an id below 1 or a table that
  // does not load. A template only so that it is compiled where TreeTable is known: call it
  // as GetTreeTable(file, id).
  template <class Table = TreeTable>
  Table* GetTreeTable(iResFile* file, int32_t id) {
    return fTreeTables.Get<Table>(file, id, [](iResFile* f, uint16_t tableId) -> Table* {
      Table* table = new Table(16);
      if (table->Load(f, static_cast<int16_t>(tableId)) == 0) return table;
      delete table;
      return nullptr;
    });
  }
  void ReleaseTreeTable(TreeTable* table) { fTreeTables.Release(table); }

 private:
  struct Override {
    uint16_t fID;
    std::vector<uint16_t> fArray;
  };
  std::vector<Override> fOverrides;
  ResTableCache fAnimTables;
  ResTableCache fTreeTables;
};
