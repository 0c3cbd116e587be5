// Helpers of the IFF 1.0 file tests: hand-built file bytes (file header, 16-byte block
// headers, name lists in the stream's form and in the old form) and a walk over the blocks of
// a file as it lies on disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "IFFResFile.h"
#include "IFFTestSupport.h"

namespace iff1test {

using ifftest::AppendBE16;
using ifftest::AppendBE32;
using ifftest::BE32;

inline void AppendLE32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char(uint8_t(v >> (8 * i))));
}

// The 64-byte file header of IFF 1.0 files.
inline std::string FileHeader() {
  std::string s = "IFF FILE 1.0:TYPE FOLLOWED BY SIZE";
  s.push_back('\0');
  s += " PELOR VANTRICK & KOBRU 1996";
  s.push_back('\0');
  return s;
}

// One block: a 16-byte header (the size field as given, or the true size) and its data.
inline std::string Block(uint32_t type, int16_t id, uint16_t flags, int32_t nameIndex,
                         const std::string& data,
                         std::optional<int32_t> sizeField = std::nullopt) {
  std::string s;
  AppendBE32(s, type);
  AppendBE32(s, sizeField ? uint32_t(*sizeField) : uint32_t(16 + data.size()));
  AppendBE16(s, uint16_t(id));
  AppendBE16(s, flags);
  AppendBE32(s, uint32_t(nameIndex));
  return s + data;
}

inline std::string FreeBlock(size_t size) {
  return Block(kFreeBlockType, 0, kInvalid, -1, std::string(size - 16, 'z'));
}

// The data of a `NAME` id 1 resource: the 12-byte record header (little-endian, version 0),
// the count and each record; a string is followed by a pad byte when it would end at an odd
// offset.
inline std::string NameListData(const std::vector<std::pair<int32_t, std::string>>& names) {
  std::string s(4, '\0');
  AppendLE32(s, 0);
  AppendLE32(s, kNameListType);
  AppendLE32(s, uint32_t(names.size()));
  for (const auto& [index, name] : names) {
    AppendLE32(s, uint32_t(index));
    s += name;
    s.push_back('\0');
    if ((name.size() + 1) % 2) s.push_back('\0');
  }
  return s;
}

inline std::string NameListBlock(const std::vector<std::pair<int32_t, std::string>>& names) {
  return Block(kNameListType, 1, kInternalFlag | kNativeOrder, -1, NameListData(names));
}

// The data of an old-form `NAME` id 0 resource.
inline std::string OldNameData(const std::vector<std::pair<int32_t, std::string>>& names) {
  std::string s;
  for (const auto& [index, name] : names) {
    AppendLE32(s, uint32_t(index));
    s.push_back(char(name.size()));
    s += name;
  }
  return s;
}

struct DiskBlock {
  uint32_t offset;
  uint32_t type;
  int32_t size;
  int16_t id;
  uint16_t flags;
  int32_t nameIndex;
};

// The blocks of the file's bytes from offset 64, up to the first that does not fit.
// `complete` tells whether the walk ended exactly at the end of the file.
inline std::vector<DiskBlock> WalkBlocks(const std::string& file, bool* complete = nullptr) {
  std::vector<DiskBlock> blocks;
  size_t at = 64;
  while (at + 16 <= file.size()) {
    DiskBlock b;
    b.offset = uint32_t(at);
    b.type = BE32(file, at);
    b.size = int32_t(BE32(file, at + 4));
    b.id = int16_t((uint8_t(file[at + 8]) << 8) | uint8_t(file[at + 9]));
    b.flags = uint16_t((uint8_t(file[at + 10]) << 8) | uint8_t(file[at + 11]));
    b.nameIndex = int32_t(BE32(file, at + 12));
    if (b.size < 16 || at + size_t(b.size) > file.size()) break;
    blocks.push_back(b);
    at += size_t(b.size);
  }
  if (complete) *complete = (at == file.size());
  return blocks;
}

}  // namespace iff1test
