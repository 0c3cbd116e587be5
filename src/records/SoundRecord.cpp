#include "SoundRecord.h"

#include <cstring>

#include "MHandle.h"
#include "XAssert.h"
#include "resfile.h"

namespace {

// Length of the NUL-terminated text at `data`, never looking past `size` bytes.
int32_t BoundedLength(const char* data, int32_t size) {
  const void* nul = size > 0 ? std::memchr(data, 0, size_t(size)) : nullptr;
  return nul ? int32_t(static_cast<const char*>(nul) - data) : (size > 0 ? size : 0);
}

}  // namespace

void SwizzleSoundRecord(void* data, int32_t size) {
  if (data == nullptr || size <= 0) return;
  uint8_t* bytes = static_cast<uint8_t*>(data);
  const int32_t n = BoundedLength(reinterpret_cast<const char*>(bytes), size) + 1;
  if (n >= size) return;
  const int32_t p = (n + 3) & ~3;
  for (int32_t offset = p; offset <= p + 4 && offset + 2 <= size; offset += 2) {
    uint8_t low = bytes[offset];
    bytes[offset] = bytes[offset + 1];
    bytes[offset + 1] = low;
  }
}

bool SoundRecord::Load(iResFile* file, uint16_t id) {
  if (file == nullptr) return false;
  MHandle* handle = file->GetResource(kSoundRecordType, id, SwizzleSoundRecord);
  if (handle == nullptr) return false;
  int16_t storedId = 0;
  file->GetResID(handle, storedId);
  fId = uint16_t(storedId);
  const int32_t size = HGetSize(handle);
  const char* data = HLock(handle);
  fName.clear();
  if (data != nullptr) fName.append(data, BoundedLength(data, size));
  HUnlock(handle);
  file->DetachAndDispose(handle);
  return true;
}

bool SoundRecord::Save(iResFile* file) {
  if (file == nullptr) return false;
  const int32_t length = fName.length();
  MHandle* handle = HAlloc(uint32_t(length + 1));
  if (handle == nullptr) {
    XASSERT(false, "out of memory");
    return false;
  }
  std::memcpy(HLock(handle), fName.c_str(), size_t(length) + 1);
  HUnlock(handle);

  FixedStringBuffer<4> noName;
  file->AddResource(handle, kSoundRecordType, fId, noName, true);
  if (file->GetError() != 0) {
    // The file did not take the handle.
    HFree(handle);
    return false;
  }
  file->WriteResource(handle);
  if (file->GetError() != 0) return false;  // the file keeps the pending resource
  file->DetachAndDispose(handle);
  return file->GetError() == 0;
}

void ReadSoundRecords(iResFile* file, std::vector<SoundRecord>& records) {
  if (file == nullptr) return;
  const int16_t count = file->Count(kSoundRecordType);
  for (int32_t i = 1; i <= count; i++) {
    MHandle* handle = file->GetIndResource(kSoundRecordType, uint16_t(i), SwizzleSoundRecord);
    if (handle == nullptr) continue;
    int16_t id = 0;
    file->GetResID(handle, id);
    // Load gets the same handle from the file and disposes it; it is not disposed twice.
    SoundRecord record;
    if (record.Load(file, uint16_t(id))) {
      records.push_back(record);
    } else {
      file->DetachAndDispose(handle);
    }
  }
}
