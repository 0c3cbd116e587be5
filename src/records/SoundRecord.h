// An object's sound, resource 'FWAV': the file name of one wave file, stored as a
// NUL-terminated string (nothing else) under the id by which the object's behaviour refers
// to the sound. Older resources may carry three u16 values after the name, at the next
// offset that is a multiple of 4; they are byte-swapped on load from a foreign-order file
// and otherwise not read.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "StringBuffer.h"

class iResFile;

// Resource type 'FWAV'.
constexpr uint32_t kSoundRecordType = 0x46574156;

class SoundRecord {
 public:
  SoundRecord() = default;  // id 0, empty name
  SoundRecord(const SoundRecord& other) : fId(other.fId) { fName.assign(other.fName); }
  SoundRecord& operator=(const SoundRecord& other) {
    fId = other.fId;
    fName.assign(other.fName);
    return *this;
  }

  // Loads ('FWAV', id): false (the record unchanged) when it is missing; else the id and the
  // name (up to the first NUL, or the end of the data) are taken and the file's handle is
  // detached and disposed.
  bool Load(iResFile* file, uint16_t id);
  // Adds the name with its NUL as ('FWAV', fId), empty resource name, native order, and
  // writes it; the file keeps no handle. False on any error (left in the file's error).
  bool Save(iResFile* file);

  uint16_t fId = 0;
  FixedStringBuffer<260> fName;  // the wave-file name
};

// Appends every 'FWAV' of the file, in index order, to `records`.
void ReadSoundRecords(iResFile* file, std::vector<SoundRecord>& records);

// The byte-order procedure of 'FWAV': swaps the three u16 values that may follow the name
// (only those that lie wholly inside the data).
void SwizzleSoundRecord(void* data, int32_t size);
