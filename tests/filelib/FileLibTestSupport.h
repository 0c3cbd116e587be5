// Helpers for the file library's tests: a builder of FAR archive bytes by hand (so that
// broken archives can be made on purpose).
#ifndef TESTS_FILELIB_FILELIBTESTSUPPORT_H
#define TESTS_FILELIB_FILELIBTESTSUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "DebugCapture.h"

// Little-endian byte writer for hand-made archives.
struct FarBytes {
  std::string bytes;

  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void Put(const std::string& s) { bytes += s; }
  void PatchU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }

  struct Entry {
    std::string name;
    std::string data;
  };

  // A well-formed archive of `entries`, data in order from byte 16.
  static FarBytes Archive(const std::vector<Entry>& entries) {
    FarBytes far;
    far.Put("FAR!byQK");
    far.U32(1);
    far.U32(0);
    std::vector<uint32_t> offsets;
    for (const Entry& e : entries) {
      offsets.push_back(static_cast<uint32_t>(far.bytes.size()));
      far.Put(e.data);
    }
    far.PatchU32(12, static_cast<uint32_t>(far.bytes.size()));
    far.U32(static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      far.U32(static_cast<uint32_t>(entries[i].data.size()));
      far.U32(static_cast<uint32_t>(entries[i].data.size()));
      far.U32(offsets[i]);
      far.U32(static_cast<uint32_t>(entries[i].name.size()));
      far.Put(entries[i].name);
    }
    return far;
  }
};

#endif  // TESTS_FILELIB_FILELIBTESTSUPPORT_H
