#include "PlatformMemory.h"

#include <errno.h>
#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

void PlatformKeepFreedMemory() {
#if defined(__GLIBC__)
  // Blocks below the largest threshold the heap accepts come from the heap rather than from
  // mappings of their own, and the heap's top is given back only past a few hundred megabytes.
  // One heap for all threads: a block that one thread frees (a frame encoded on another) is
  // there for the next block of any thread, instead of in a heap of its own.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_ARENA_MAX, 1);
#endif
}

void* PlatformAllocPrefaulted(size_t size) {
  if (size == 0) return nullptr;
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return memory == MAP_FAILED ? nullptr : memory;
}

void PlatformFreePrefaulted(void* memory, size_t size) {
  if (memory != nullptr && size > 0) ::munmap(memory, size);
}

void* PlatformPrefaultedResource::do_allocate(size_t bytes, size_t alignment) {
  // Mapped memory is page aligned, which serves any alignment a pool asks for.
  if (bytes < fThreshold) return std::pmr::new_delete_resource()->allocate(bytes, alignment);
  void* memory = PlatformAllocPrefaulted(bytes);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void PlatformPrefaultedResource::do_deallocate(void* p, size_t bytes, size_t alignment) {
  if (bytes < fThreshold) {
    std::pmr::new_delete_resource()->deallocate(p, bytes, alignment);
    return;
  }
  PlatformFreePrefaulted(p, bytes);
}

PlatformPrefaultedResource* PlatformPrefaultedMemory() {
  static PlatformPrefaultedResource resource;
  return &resource;
}

namespace {

// Blocks of this size and more are mapped; the system's large pages are this size.
constexpr size_t kLargePage = size_t(2) << 20;
constexpr size_t kLeastMappedPixels = size_t(1) << 20;

// Under the address checker the mapped bytes past a block's end are out of bounds, as the
// heap's would be.
#if defined(__SANITIZE_ADDRESS__)
void MarkPastEnd(uint8_t* data, size_t size, size_t mapped, bool inBounds) {
  if (inBounds) {
    __asan_unpoison_memory_region(data + size, mapped - size);
  } else {
    __asan_poison_memory_region(data + size, mapped - size);
  }
}
#else
void MarkPastEnd(uint8_t*, size_t, size_t, bool) {}
#endif

}  // namespace

bool PlatformPixelMemory::Allocate(size_t size) {
  Release();
  if (size == 0) return true;
  if (size < kLeastMappedPixels) {
    fData = static_cast<uint8_t*>(std::calloc(size, 1));
    if (fData == nullptr) return false;
    fSize = size;
    return true;
  }
  if (size > SIZE_MAX - 2 * kLargePage) return false;
  const size_t mapped = (size + kLargePage - 1) & ~(kLargePage - 1);
  // Mapped with a large page to spare, then cut to a start on a large-page boundary.
  void* raw = ::mmap(nullptr, mapped + kLargePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return false;
  uint8_t* start = static_cast<uint8_t*>(raw);
  uint8_t* aligned = reinterpret_cast<uint8_t*>(
      (reinterpret_cast<uintptr_t>(start) + kLargePage - 1) & ~uintptr_t(kLargePage - 1));
  if (aligned > start) ::munmap(start, size_t(aligned - start));
  uint8_t* end = start + mapped + kLargePage;
  if (end > aligned + mapped) ::munmap(aligned + mapped, size_t(end - (aligned + mapped)));
#ifdef MADV_HUGEPAGE
  ::madvise(aligned, mapped, MADV_HUGEPAGE);  // a hint: refused, the block has small pages
#endif
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
  // Present now, in one call; where the system cannot, pages come as they are first touched.
  if (::madvise(aligned, mapped, MADV_POPULATE_WRITE) != 0 && errno == ENOMEM) {
    ::munmap(aligned, mapped);
    return false;
  }
  fData = aligned;
  fSize = size;
  fMapped = mapped;
  MarkPastEnd(fData, fSize, fMapped, false);
  return true;
}

void PlatformPixelMemory::Swap(PlatformPixelMemory& other) {
  std::swap(fData, other.fData);
  std::swap(fSize, other.fSize);
  std::swap(fMapped, other.fMapped);
}

void PlatformPixelMemory::Release() {
  if (fMapped > 0) {
    MarkPastEnd(fData, fSize, fMapped, true);
    ::munmap(fData, fMapped);
  } else {
    std::free(fData);
  }
  fData = nullptr;
  fSize = 0;
  fMapped = 0;
}
