// Memory that the system provides whole when it is made, instead of page by page as each page
// is first touched: for large buffers that are about to be filled, where a fault per page costs
// more than the filling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>

// Asks the heap to keep the memory that is freed, large blocks' included, for the allocations
// that follow, instead of handing it back to the system at once and taking fresh pages for
// the next block: a program that makes and frees blocks of megabytes one after another (a
// sprite build's lists) would otherwise take a page fault for every few kilobytes of each. The
// memory stays the process's until it ends. For programs, once, before their work.
void PlatformKeepFreedMemory();

// `size` bytes of zeroed memory, every page of it present; null when the system gives none.
// Freed with PlatformFreePrefaulted and the same size.
void* PlatformAllocPrefaulted(size_t size);
void PlatformFreePrefaulted(void* memory, size_t size);

// An upstream for pools: pieces of `threshold` bytes and more are prefaulted, smaller ones come
// from the default resource. Throws std::bad_alloc when the system gives no memory.
class PlatformPrefaultedResource : public std::pmr::memory_resource {
 public:
  explicit PlatformPrefaultedResource(size_t threshold = 64 * 1024) : fThreshold(threshold) {}

 private:
  void* do_allocate(size_t bytes, size_t alignment) override;
  void do_deallocate(void* p, size_t bytes, size_t alignment) override;
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }

  size_t fThreshold;
};

// The one such resource of the process (it holds no state but its threshold).
PlatformPrefaultedResource* PlatformPrefaultedMemory();

// The zeroed pixel memory of one bitmap, with one owner. Large blocks come from the system in
// one piece aligned to its large pages, asked to be backed by them and made present when the
// block is made: a bitmap is written whole right after it is made, and on some hosts a fault
// per small page costs several times the writing. Small blocks come from the heap.
class PlatformPixelMemory {
 public:
  PlatformPixelMemory() = default;
  ~PlatformPixelMemory() { Release(); }
  PlatformPixelMemory(const PlatformPixelMemory&) = delete;
  PlatformPixelMemory& operator=(const PlatformPixelMemory&) = delete;

  // Replaces the block with `size` zeroed bytes; false (and no block) when memory runs out.
  bool Allocate(size_t size);
  void Swap(PlatformPixelMemory& other);
  uint8_t* data() const { return fData; }
  size_t size() const { return fSize; }

 private:
  void Release();

  uint8_t* fData = nullptr;
  size_t fSize = 0;
  size_t fMapped = 0;  // bytes mapped from the system, 0 for a heap block
};
