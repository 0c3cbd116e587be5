// Helpers shared by the IFF 2.x file tests: handles from bytes, hand-built file bytes, and a
// walk over the records of a file as it lies on disk.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "IFFResFile2.h"
#include "MHandle.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"

namespace ifftest {

inline MHandle* HandleOf(const std::string& bytes) {
  MHandle* h = HAlloc(uint32_t(bytes.size()));
  if (!bytes.empty()) std::memcpy(HLock(h), bytes.data(), bytes.size());
  HUnlock(h);
  return h;
}

inline std::string BytesOf(MHandle* h) {
  if (h == nullptr) return "<null>";
  const char* p = HLock(h);
  std::string bytes(p, size_t(HGetSize(h)));
  HUnlock(h);
  return bytes;
}

inline uint32_t BE32(const std::string& s, size_t at) {
  return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
         (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}

inline void AppendBE32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s.push_back(char(uint8_t(v >> (8 * i))));
}

inline void AppendBE16(std::string& s, uint16_t v) {
  s.push_back(char(uint8_t(v >> 8)));
  s.push_back(char(uint8_t(v)));
}

// The 64-byte file header of version 2.<minor> naming a map at `mapOffset`.
inline std::string FileHeaderBytes(uint32_t mapOffset = 0, char minor = '5') {
  std::string s = "IFF FILE 2.";
  s += minor;
  s += ":TYPE FOLLOWED BY SIZE";
  s.push_back('\0');
  s += " PELOR VANTRICK & KOBRU 1";
  AppendBE32(s, mapOffset);
  return s;
}

// One record: a 76-byte header (the size field as given, or the true size) and its data.
inline std::string RecordBytes(uint32_t type, int16_t id, uint16_t flags, const std::string& name,
                               const std::string& data, int64_t sizeField = -1) {
  std::string s;
  AppendBE32(s, type);
  AppendBE32(s, sizeField >= 0 ? uint32_t(sizeField) : uint32_t(76 + data.size()));
  AppendBE16(s, uint16_t(id));
  AppendBE16(s, flags);
  std::string field = name;
  field.resize(64, '\0');
  s += field;
  s += data;
  return s;
}

struct DiskRecord {
  uint32_t offset;
  uint32_t type;
  uint32_t size;
  int16_t id;
  uint16_t flags;
  std::string name;
};

// The records of the file's bytes from offset 64, stopping at the first header that does not
// fit. `complete` tells whether the walk ended exactly at the end of the file.
inline std::vector<DiskRecord> WalkRecords(const std::string& file, bool* complete = nullptr) {
  std::vector<DiskRecord> records;
  size_t at = 64;
  while (at + 76 <= file.size()) {
    DiskRecord r;
    r.offset = uint32_t(at);
    r.type = BE32(file, at);
    r.size = BE32(file, at + 4);
    r.id = int16_t((uint8_t(file[at + 8]) << 8) | uint8_t(file[at + 9]));
    r.flags = uint16_t((uint8_t(file[at + 10]) << 8) | uint8_t(file[at + 11]));
    r.name = std::string(file.c_str() + at + 12, strnlen(file.c_str() + at + 12, 64));
    if (r.size < 76 || at + r.size > file.size()) break;
    records.push_back(r);
    at += r.size;
  }
  if (complete) *complete = (at == file.size());
  return records;
}

inline FixedStringBuffer<260> PathOf(const std::string& path) {
  return FixedStringBuffer<260>(path.c_str());
}

}  // namespace ifftest
