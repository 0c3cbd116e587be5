// Stub objects: a new object file made from a template object file. Every resource of the
// template is copied into a newly created object file set; each object definition gets a
// fresh random GUID (the old one kept in words 70-71) and takes the new file's name, a prefix
// before its old name, or keeps its name.
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>

#include "MHandle.h"
#include "StringBuffer.h"

class iResFile;

// The string-set type that a copy turns into 'STR#' ('c', 's', 't', 0).
constexpr uint32_t kCopiedStringSetType = 0x63737400;

class StubObjectParams {
 public:
  StubObjectParams();  // Both strings empty, both flags 0.

  // Copied objects keep their names.
  void SetRetain();
  // Copied objects are named `prefix` + their old name.
  void SetPrefix(const StringBuffer& prefix);

  // Opens the template as an object file set and copies it into a new one at `newPath`
  // (CopyResources). Returns 0 or the first error; the template is closed either way.
  int32_t MakeFromTemplate(const StringBuffer& templatePath, const StringBuffer& newPath);

  // Creates and opens an object file set at `newPath` and copies every resource of `source`
  // into it. Returns 0, or the first error of the files (the copy stops there; what was
  // already copied stays in the new file, which is closed). Nothing is copied when the new
  // file cannot be created. The set is made under another name beside `newPath` and takes
  // its name once closed, so that no moment leaves an empty or half-made file at `newPath`.
  int32_t CopyResources(iResFile* source, const StringBuffer& newPath);

  FixedStringBuffer<64> fName;   // the prefix when fPrefix is set, else the copies' name
  FixedStringBuffer<260> fPath;  // the new object file
  uint16_t fRetain;
  uint16_t fPrefix;
};

// A GUID from the tick clock, the time of day and the C random numbers.
uint32_t MakeRandomGUID();

// Moves the GUID of an 'OBJD' handle (words 14-15) to words 70-71 and stores a new one from
// MakeRandomGUID. A handle too short to hold word 71 raises "definition too short" and is left
// as it is; returns false then.
bool AssignNewGUID(MHandle* definition);

// Copies definition `id` of `file` to a new id (UniqueID) under `name` made unique, with a new
// GUID, and its function table with it. Returns 0, -1 without a valid file, or the file's
// error.
int32_t DuplicateObjectDefinition(iResFile* file, uint16_t id, const StringBuffer& name);
