// The object definition, resource 'OBJD': a flat record of 108 16-bit words (216 bytes) in
// host (little-endian) order, added to files as native-order data. It holds an object's
// identity (a 32-bit GUID in words 14-15), its draw-group range, its catalog values and the
// 30 words that a function table can take over (ObjFnTable.h). Words without a meaning here
// are carried unchanged.
//
// Plain value type; not thread-safe.
#pragma once

#include <cstdint>

#include "MHandle.h"

// Resource type 'OBJD'.
constexpr uint32_t kObjDefinitionType = 0x4F424A44;

// Word indexes that the system gives a meaning.
enum ObjDefinitionWord : int32_t {
  kObjDefVersion = 0,             // words 0-1: u32 version
  kObjDefFirstDrawGroup = 3,      // smallest DGRP id of the object
  kObjDefDrawGroupCount = 4,      // number of draw groups
  kObjDefMasterId = 10,           // 0 for an object that stands alone
  kObjDefSubIndex = 11,           // -1 marks the master part of a multi-part object
  kObjDefGUID = 14,               // words 14-15: u32 GUID, word 14 the low half
  kObjDefCost = 18,
  kObjDefInitialDepreciation = 35,
  kObjDefDailyDepreciation = 36,
  kObjDefStandardDepreciation = 37,  // 1 or 0
  kObjDefDepreciationLimit = 38,
  kObjDefRoomSort = 39,           // Kitchen 1, Bedroom 2, Bathroom 4, Family Room 8, ...
  kObjDefFunctionSort = 40,       // Seating 1, Surfaces 2, Appliances 4, Electronics 8, ...
  kObjDefCatalogId = 41,
  kObjDefPopupId = 54,            // 0 when none
  kObjDefTemplateGUID = 70,       // words 70-71: the GUID before the copy from a template
  kObjDefWallStyleId = 81,        // 0 when none
  kObjDefMotiveFirst = 82,        // 82-88: hunger, comfort, hygiene, bladder, energy, fun, room
  kObjDefMotiveLast = 88,
  kObjDefSkillFlags = 89,         // cook 1, mechanical 2, logic 4, body 8, creativity 16, ...
};

struct ObjDefinition {
  static constexpr int32_t kWordCount = 108;
  static constexpr int32_t kByteSize = 216;
  static constexpr uint32_t kCurrentVersion = 138;

  uint16_t fWords[kWordCount] = {};

  uint32_t GetVersion() const { return GetLong(kObjDefVersion); }
  uint32_t GetGUID() const { return GetLong(kObjDefGUID); }
  void SetGUID(uint32_t guid) { SetLong(kObjDefGUID, guid); }

  // The u32 in words `word` (low half) and `word` + 1 (high half).
  uint32_t GetLong(int32_t word) const {
    return uint32_t(fWords[word]) | (uint32_t(fWords[word + 1]) << 16);
  }
  void SetLong(int32_t word, uint32_t value) {
    fWords[word] = uint16_t(value & 0xFFFF);
    fWords[word + 1] = uint16_t(value >> 16);
  }

  // Decodes `size` bytes of little-endian words; words the data do not reach are 0, bytes
  // past 216 are ignored.
  void ReadFrom(const void* data, int32_t size);
  // Stores the 216 bytes as little-endian words.
  void WriteTo(void* data) const;

  // Decodes a handle's data (any size; see ReadFrom). False when the handle cannot be read.
  bool ReadFromHandle(MHandle* handle);
  // Stores the definition into a handle, resizing it to 216 bytes first. False when the
  // handle could not be resized.
  bool WriteToHandle(MHandle* handle) const;
};

// Brings a loaded 'OBJD' handle to version 138 and exactly 216 bytes. Versions 136 and 137
// are upgraded (the new words are 0; version 136 also loses words 6, 8, 12, 21, 22 and 23);
// any other version is reported with the assertion "bad version" and kept. A record of the
// wrong size is reported and zero-filled or cut to 216 bytes. Returns true when the version
// was upgraded. The handle is left unlocked; it must not be locked on entry (a handle that
// cannot be resized is reported and left as it is).
bool NormalizeObjDefinition(MHandle* handle);

// The swizzle procedure for definitions. Swapping is switched off: it raises the assertion
// "swizzle disabled for now" and leaves the data as they are.
void SwizzleObjDefinition(void* data, int32_t size);

// Word 11 read as two bytes: a signed high byte and an unsigned low byte.
void SplitSubIndex(int16_t word, int8_t& high, uint8_t& low);
int16_t JoinSubIndex(int8_t high, uint8_t low);
