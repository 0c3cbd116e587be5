#include "ObjDefinition.h"

#include <cstring>

#include "XAssert.h"

void ObjDefinition::ReadFrom(const void* data, int32_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (size < 0 || bytes == nullptr) size = 0;
  for (int32_t i = 0; i < kWordCount; i++) {
    int32_t at = i * 2;
    uint16_t lo = at < size ? bytes[at] : 0;
    uint16_t hi = at + 1 < size ? bytes[at + 1] : 0;
    fWords[i] = uint16_t(lo | (hi << 8));
  }
}

void ObjDefinition::WriteTo(void* data) const {
  uint8_t* bytes = static_cast<uint8_t*>(data);
  for (int32_t i = 0; i < kWordCount; i++) {
    bytes[i * 2] = uint8_t(fWords[i] & 0xFF);
    bytes[i * 2 + 1] = uint8_t(fWords[i] >> 8);
  }
}

bool ObjDefinition::ReadFromHandle(MHandle* handle) {
  if (handle == nullptr) return false;
  int32_t size = HGetSize(handle);
  const void* data = HLock(handle);
  if (data == nullptr) {
    HUnlock(handle);
    return false;
  }
  ReadFrom(data, size);
  HUnlock(handle);
  return true;
}

bool ObjDefinition::WriteToHandle(MHandle* handle) const {
  if (handle == nullptr) return false;
  if (HGetSize(handle) != kByteSize && HSetSize(handle, kByteSize) != 0) return false;
  void* data = HLock(handle);
  if (data == nullptr) {
    HUnlock(handle);
    return false;
  }
  WriteTo(data);
  HUnlock(handle);
  return true;
}

namespace {

// Resizes the handle to `size` bytes and zeroes every byte from `zeroFrom` on. False (with
// the handle untouched) when the resize is refused.
bool ResizeZeroed(MHandle* handle, int32_t size, int32_t zeroFrom) {
  if (HSetSize(handle, uint32_t(size)) != 0) {
    XASSERT(false, "could not resize object definition");
    return false;
  }
  if (zeroFrom < size) {
    uint8_t* data = reinterpret_cast<uint8_t*>(HLock(handle));
    if (data != nullptr) std::memset(data + zeroFrom, 0, size_t(size - zeroFrom));
    HUnlock(handle);
  }
  return true;
}

uint32_t ReadVersion(MHandle* handle, int32_t size) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  const uint8_t* data = reinterpret_cast<const uint8_t*>(HLock(handle));
  if (data != nullptr) std::memcpy(bytes, data, size_t(size < 4 ? size : 4));
  HUnlock(handle);
  return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
         (uint32_t(bytes[3]) << 24);
}

void WriteVersion(MHandle* handle, uint32_t version) {
  uint8_t* data = reinterpret_cast<uint8_t*>(HLock(handle));
  if (data != nullptr) {
    for (int i = 0; i < 4; i++) data[i] = uint8_t(version >> (8 * i));
  }
  HUnlock(handle);
}

}  // namespace

bool NormalizeObjDefinition(MHandle* handle) {
  if (handle == nullptr) return false;
  const int32_t size = HGetSize(handle);
  uint32_t version = ReadVersion(handle, size);
  bool upgraded = false;

  if (version == 137) {
    if (size == ObjDefinition::kByteSize) {
      XASSERT(false, "correctly sized def found.");
    } else if (size == 160) {
      version = 136;
    }
  }

  if (version == 136 || version == 137) {
    // Every word from size / 2 on is new and starts at 0.
    if (!ResizeZeroed(handle, ObjDefinition::kByteSize, (size / 2) * 2)) return false;
    if (version == 136) {
      static const int32_t kClearedWords[] = {6, 8, 12, 21, 22, 23};
      uint8_t* data = reinterpret_cast<uint8_t*>(HLock(handle));
      if (data != nullptr) {
        for (int32_t word : kClearedWords) {
          data[word * 2] = 0;
          data[word * 2 + 1] = 0;
        }
      }
      HUnlock(handle);
    }
    version = ObjDefinition::kCurrentVersion;
    WriteVersion(handle, version);
    upgraded = true;
  }

  if (version != ObjDefinition::kCurrentVersion) XASSERT(false, "bad version");

  const int32_t now = HGetSize(handle);
  if (now < ObjDefinition::kByteSize) {
    XASSERT(false, "filling in defn with zeroes.");
    ResizeZeroed(handle, ObjDefinition::kByteSize, now);
  } else if (now > ObjDefinition::kByteSize) {
    XASSERT(false, "truncating defn.");
    ResizeZeroed(handle, ObjDefinition::kByteSize, ObjDefinition::kByteSize);
  }
  return upgraded;
}

void SwizzleObjDefinition(void* /*data*/, int32_t /*size*/) {
  XASSERT(false, "swizzle disabled for now");
}

void SplitSubIndex(int16_t word, int8_t& high, uint8_t& low) {
  uint16_t bits = uint16_t(word);
  high = int8_t(uint8_t(bits >> 8));
  low = uint8_t(bits & 0xFF);
}

int16_t JoinSubIndex(int8_t high, uint8_t low) {
  return int16_t(uint16_t((uint16_t(uint8_t(high)) << 8) | low));
}
