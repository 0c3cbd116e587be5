// The tree table of an object, resource 'TTAB': its interactions, each with the behaviour
// tree that performs it, a second tree id, the motive effects it advertises, an attenuation,
// flags and its menu text. The menu texts are kept in the string set 'TTAs' of the same id,
// at the interaction's index + 1.
//
// Stored through the reconstitution stream without a record header: u16 entry count, u16
// version, then (version 9 and later) a bool that turns on the bit-packed encoding, then the
// entries. Versions 0 to 9 are read; version 9 is written. A count that the data cannot hold
// fails the load; nothing is read past the data and no effect array is written past its end.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "VornString.h"

class iResFile;
class ReconStream;

// Resource types 'TTAB' and 'TTAs'.
constexpr uint32_t kTreeTableType = 0x54544142;
constexpr uint32_t kTreeTableStringsType = 0x54544173;
// The version the table is written in.
constexpr uint16_t kTreeTableVersion = 9;
// Entry flag: the menu text is a debug text.
constexpr int32_t kTreeTableDebugFlag = 0x80;

struct MotiveEffect {
  uint16_t first = 0;
  uint16_t second = 0;
  uint16_t third = 0;
};

class TreeTableEntry {
 public:
  explicit TreeTableEntry(int32_t motiveCount);

  // Copies both tree ids, the motive effects (as many as the smaller count), flags,
  // attenuation code and value, index, value D and the name.
  TreeTableEntry& operator=(const TreeTableEntry& other);
  TreeTableEntry(const TreeTableEntry&) = delete;

  int32_t GetIndex() const { return fIndex; }
  void SetAttenuationCode(uint32_t code) { fAttenuationCode = code; }
  // Code 0 with that value.
  void SetCustomAttenuation(float value);
  // 0: the custom value, 1: 0.0, 2: 0.002, 3: 0.02, 4: 0.1; another code raises "bad
  // attenuation" and gives 0.02. Both tables that `alternate` selects hold these values.
  float GetAttenuation(bool alternate) const;
  // The setter of old versions: effect k gets third = value - second (ignored for a k
  // outside the effects).
  void SetMotiveEffect(int32_t k, int16_t value);
  int32_t MotiveCount() const { return int32_t(fEffects.size()); }

  // One entry in the stored order of `version` (see the file comment).
  void Reconstitute(ReconStream& stream, int32_t version);

  uint16_t fSecondTree = 0;
  uint16_t fActionTree = 0;
  std::vector<MotiveEffect> fEffects;
  uint32_t fAttenuationCode = 3;
  float fAttenuationValue = 0;
  int32_t fFlags = 0;
  int32_t fIndex = 0;
  int32_t fValueC = 50;
  int32_t fValueD = -1;
  VornString fName;
};

class TreeTable {
 public:
  explicit TreeTable(int32_t motiveCount);
  virtual ~TreeTable();
  TreeTable(const TreeTable&) = delete;
  TreeTable& operator=(const TreeTable&) = delete;

  int32_t EntryCount() const { return fNumEntries; }
  TreeTableEntry* GetEntry(int32_t i) const;  // null outside 0..EntryCount-1
  // The first entry with this index; null when none.
  TreeTableEntry* FindEntryByIndex(int32_t index) const;

  // False ("adding existent tree to table") when an entry with both ids exists; else appends
  // a new entry whose index is 1 + the largest index present (0 in an empty table).
  bool AddEntry(uint16_t secondTree, uint16_t actionTree);
  // The first entry with both ids, or null.
  TreeTableEntry* FindEntry(int16_t secondTree, int16_t actionTree) const;
  // Takes the entry out of the table; the caller then owns it. False when it is not there.
  bool RemoveEntry(TreeTableEntry* entry);

  // Loads ('TTAB', id) with its names. 0; -1 without a valid file or for id 0; -99 when the
  // table is missing (or its data could not be fetched: the file's error says which);
  // shortReadErr for data that do not read and unsupportedErr for a version above 9 (the
  // table is then empty). A table of an old version is saved again as version 9 when the file
  // is writable.
  //
  // The data are corrupt too (shortReadErr, nothing written) when an entry's index lies at or
  // beyond the strings that 'TTAs' holds plus the bytes of the stored table: indexes are handed
  // out one after another, and each entry's menu text lives at its index + 1, so a table of S
  // bytes (fewer than S entries) never needs more than S slots past the texts already stored.
  // Saving such an index would pad 'TTAs' with one empty string per missing slot.
  int32_t Load(iResFile* file, int16_t id);
  // Saves as ('TTAB', id) in version 9 under `name`, then the names into 'TTAs' id. 0; -1
  // for a bad id or file; the file's error when the table could not be added or written.
  int32_t Save(iResFile* file, int16_t id, const char* name);
  // Save to the file and id of the last Load or Save; -1 without them.
  int32_t Resave(const char* name);

  iResFile* GetFile() const { return fFile; }
  int16_t GetID() const { return fId; }

  // The stored form (without names from 'TTAs'); reading replaces the entries. `file` and
  // `id` are those of the string table that version 7 keeps its names in.
  void Reconstitute(ReconStream& stream, iResFile* file, uint16_t id);
  // The version of the data last read.
  uint16_t GetLoadedVersion() const { return fLoadedVersion; }

 private:
  void DeleteEntries();
  // False when an entry's index lies at or beyond `storedStrings` + `storedBytes` (see Load).
  bool IndexesFit(int32_t storedStrings, int32_t storedBytes) const;

  int32_t fNumEntries = 0;
  int32_t fNumAds;
  uint8_t fFlag = 0;
  std::vector<std::unique_ptr<TreeTableEntry>> fEntries;
  iResFile* fFile = nullptr;
  int16_t fId = 0;
  uint16_t fLoadedVersion = kTreeTableVersion;
};

// The byte-order procedure of tree tables: they are never stored big-endian; it only raises
// "big endian tree table found".
void SwizzleTreeTable(void* data, int32_t size);
