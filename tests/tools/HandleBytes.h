// Test helpers: a memory handle made from bytes, and the bytes a handle holds.
#pragma once

#include <string>

#include "MHandle.h"

namespace testbytes {

// A new handle holding `bytes` (the caller or a file it is given to owns it).
inline MHandle* HandleOf(const std::string& bytes) {
  MHandle* h = HAlloc(uint32_t(bytes.size()));
  if (!bytes.empty()) BlockMove(bytes.data(), HLock(h), int32_t(bytes.size()));
  HUnlock(h);
  return h;
}

// The handle's bytes; "<null>" for a null handle.
inline std::string BytesOf(MHandle* h) {
  if (h == nullptr) return "<null>";
  std::string bytes(HLock(h), size_t(HGetSize(h)));
  HUnlock(h);
  return bytes;
}

}  // namespace testbytes
