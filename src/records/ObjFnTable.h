// The object function table, resource 'OBJf': a list of pairs of 16-bit values, stored
// through the reconstitution stream (12-byte record header, version 0): a u32 entry count,
// then per entry the second value and then the first. Its first values can be filled from
// the 30 function words of an object definition.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "ObjDefinition.h"

class iResFile;
class ReconStream;

// Resource type 'OBJf'.
constexpr uint32_t kObjFnTableType = 0x4F424A66;

struct ObjFnEntry {
  uint16_t first = 0;
  uint16_t second = 0;
};

class ObjFnTable {
 public:
  static constexpr int32_t kDefinitionWordCount = 30;
  // The definition words that entries 0 to 29 take, in entry order.
  static const int32_t kDefinitionWords[kDefinitionWordCount];

  ObjFnTable();  // Empty, with room for 32 entries.

  int32_t Size() const { return int32_t(fEntries.size()); }

  // The entry's values; 0 when the index is negative or not below the count.
  int16_t GetFirst(int32_t index) const;
  uint16_t GetSecond(uint32_t index) const;

  // The entry at `index`, growing the table with {0, 0} entries to index + 1 entries first.
  // Null for a negative index. The reference stays valid until the table grows again.
  ObjFnEntry* At(int32_t index);

  // Entry k (0 to 29) takes first = definition word kDefinitionWords[k]; the seconds are kept.
  void FillFromObjDefinition(const ObjDefinition& definition);
  // Sets the same 30 words of the definition to 0.
  static void ClearObjDefinitionEntries(ObjDefinition& definition);

  // Resource load and save of (kObjFnTableType, id), version 0. Return 0 or the file's error
  // (or the stream's, for a record that does not read).
  int32_t Load(iResFile* file, uint16_t id);
  int32_t Save(iResFile* file, uint16_t id);

  // The record body. Reading resizes the table to the stored count (new entries {0, 0},
  // surplus entries erased); a count that the data cannot hold fails the stream and leaves
  // the table as it was.
  void Reconstitute(ReconStream& stream, int32_t version);

 private:
  std::vector<ObjFnEntry> fEntries;
};
