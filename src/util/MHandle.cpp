#include "MHandle.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "XAssert.h"

struct MHandle {
  uint32_t magic;
  uint8_t* platMem;  // guard, user bytes, guard
  int16_t guardSize;
  int16_t lockCount;
  int32_t total;  // user size + 2 x guard size
  int32_t serial;
  MHandle* next;  // live list, newest first
  MHandle* prev;
};

namespace {

constexpr uint32_t kMagic = 0xA3A3A3A3u;
constexpr uint8_t kGuardByte = 0x05;
constexpr uint8_t kFillByte = 0xA3;
constexpr int32_t kMaxUserSize = INT32_MAX - 2 * kMHandleGuardSize;

struct LiveList {
  std::mutex mutex;
  MHandle* head = nullptr;
  std::unordered_set<const MHandle*> members;
  int32_t nextSerial = 0;
};

LiveList& Live() {
  static LiveList* list = new LiveList;  // outlives every static destructor that frees handles
  return *list;
}

std::atomic<int32_t> gMemError{0};

void SetError(int32_t err) { gMemError.store(err); }

bool IsMember(const MHandle* handle) {
  LiveList& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  return handle && live.members.count(handle) != 0;
}

void Link(MHandle* handle) {
  LiveList& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  handle->serial = live.nextSerial++;
  handle->prev = nullptr;
  handle->next = live.head;
  if (live.head) live.head->prev = handle;
  live.head = handle;
  live.members.insert(handle);
}

void Unlink(MHandle* handle) {
  LiveList& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  if (handle->prev) handle->prev->next = handle->next;
  else live.head = handle->next;
  if (handle->next) handle->next->prev = handle->prev;
  live.members.erase(handle);
}

int32_t UserSize(const MHandle* handle) { return handle->total - 2 * handle->guardSize; }

void FillGuards(MHandle* handle) {
  std::memset(handle->platMem, kGuardByte, static_cast<size_t>(handle->guardSize));
  std::memset(handle->platMem + handle->guardSize + UserSize(handle), kGuardByte,
              static_cast<size_t>(handle->guardSize));
}

bool GuardsIntact(const MHandle* handle) {
  if (!handle->platMem) return false;
  const uint8_t* lead = handle->platMem;
  const uint8_t* trail = handle->platMem + handle->guardSize + UserSize(handle);
  for (int32_t i = 0; i < handle->guardSize; ++i)
    if (lead[i] != kGuardByte || trail[i] != kGuardByte) return false;
  return true;
}

// The guard check that free and resize make: reported, never refused.
void ReportOverwrite(MHandle* handle) {
  if (!GuardsIntact(handle)) {
    XASSERT(false, "bounds checker detected handle overwrite");
    (void)GuardsIntact(handle);  // once more, for whoever is stepping through
  }
}

// Tests that an operation may use `handle`: reported and -199 when it is not live.
bool CheckLive(MHandle* handle) {
  if (IsMember(handle)) return true;
  XASSERT(IsMember(handle), "handle not a member");
  SetError(kMemBadHandleErr);
  return false;
}

}  // namespace

MHandle* HAlloc(uint32_t size) {
  SetError(kMemNoErr);
  uint8_t* platMem = nullptr;
  if (size <= static_cast<uint32_t>(kMaxUserSize))
    platMem = static_cast<uint8_t*>(std::malloc(size + 2u * kMHandleGuardSize));
  if (!platMem) {
    XASSERT(platMem, "Handle allocation failed");
    SetError(kMemFullErr);
    return nullptr;
  }
  auto* handle = new MHandle;
  handle->magic = kMagic;
  handle->platMem = platMem;
  handle->guardSize = kMHandleGuardSize;
  handle->lockCount = 0;
  handle->total = static_cast<int32_t>(size) + 2 * kMHandleGuardSize;
  Link(handle);
  FillGuards(handle);
  std::memset(platMem + kMHandleGuardSize, kFillByte, size);
  return handle;
}

void HFree(MHandle* handle) {
  SetError(kMemNoErr);
  if (!IsMember(handle)) {
    XASSERT(false, "bad MHandle free");
    SetError(kMemBadHandleErr);
    return;
  }
  ReportOverwrite(handle);
  if (handle->platMem)
    std::memset(handle->platMem + handle->guardSize, kFillByte, static_cast<size_t>(UserSize(handle)));
  Unlink(handle);
  std::free(handle->platMem);
  handle->magic = 0;
  delete handle;
}

char* HLock(MHandle* handle) {
  SetError(kMemNoErr);
  if (!CheckLive(handle)) return nullptr;
  XASSERT(handle->lockCount >= 0, "lock count<0");
  if (!handle->platMem) {
    SetError(kMemBadHandleErr);
    return nullptr;
  }
  if (handle->lockCount < INT16_MAX) ++handle->lockCount;
  return reinterpret_cast<char*>(handle->platMem + handle->guardSize);
}

void HUnlock(MHandle* handle) {
  SetError(kMemNoErr);
  if (!CheckLive(handle)) return;
  if (handle->lockCount <= 0) {
    XASSERT(handle->lockCount > 0, "bad lock count");
    return;
  }
  --handle->lockCount;
}

int32_t HGetSize(MHandle* handle) {
  SetError(kMemNoErr);
  if (!CheckLive(handle)) return 0;
  return UserSize(handle);
}

int32_t HSetSize(MHandle* handle, uint32_t size) {
  SetError(kMemNoErr);
  if (!CheckLive(handle)) return kMemBadHandleErr;
  if (handle->lockCount > 0) {
    XASSERT(false, "resizing locked handle");
    SetError(kMemLockedErr);
    return kMemLockedErr;
  }
  ReportOverwrite(handle);
  uint8_t* block = nullptr;
  if (size <= static_cast<uint32_t>(kMaxUserSize))
    block = static_cast<uint8_t*>(std::realloc(handle->platMem, size + 2u * kMHandleGuardSize));
  if (!block) {
    XASSERT(false, "Handle resize failed");
    SetError(kMemFullErr);
    return kMemFullErr;
  }
  handle->platMem = block;
  handle->total = static_cast<int32_t>(size) + 2 * kMHandleGuardSize;
  FillGuards(handle);
  return kMemNoErr;
}

bool IsMHandleLocked(MHandle* handle) {
  if (!IsMember(handle)) return false;
  return handle->lockCount >= 1;
}

bool IsValidMHandle(MHandle* handle) {
  SetError(kMemNoErr);
  if (IsMember(handle)) {
    if (!HLock(handle)) return false;
    HUnlock(handle);
    return true;
  }
  SetError(kMemBadHandleErr);
  XASSERT(IsMember(handle), "handle not a member");
  return false;
}

char* StashMHandle(MHandle* handle) {
  SetError(kMemNoErr);
  if (IsMember(handle)) XASSERT(handle->lockCount == 0, "stashing a locked handle");
  return HLock(handle);
}

bool CheckMHandleGuards(MHandle* handle) {
  if (!IsMember(handle)) return false;
  return GuardsIntact(handle);
}

void BlockMove(const void* source, void* destination, int32_t count) {
  XASSERT(count < 8000000, "probably won't move these >8 megabytes very cleverly");
  if (count <= 0 || !source || !destination) return;
  std::memmove(destination, source, static_cast<size_t>(count));
}

void FillBlock(void* destination, int32_t count, uint8_t value) {
  if (count <= 0 || !destination) return;
  std::memset(destination, value, static_cast<size_t>(count));
}

bool EqualBlocks(const void* a, const void* b, int32_t count) {
  if (count <= 0) return true;
  return std::memcmp(a, b, static_cast<size_t>(count)) == 0;
}

int32_t MemError() { return gMemError.load(); }

void ReportUndeletedMHandles(FILE* stream) {
  if (!stream) return;
  std::fprintf(stream, "\nindex and size of undeleted handles\n");
  std::fprintf(stream, "---------------------------------------\n");
  LiveList& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  for (const MHandle* h = live.head; h; h = h->next)
    std::fprintf(stream, "i:%d, s: %d bc: %d %s\n", h->serial, UserSize(h), static_cast<int32_t>(h->guardSize),
                 GuardsIntact(h) ? "" : "overwrite detected");
}
