// Memory that the system provides whole when it is made, instead of page by page as each page
// is first touched: for large buffers that are about to be filled, where a fault per page costs
// more than the filling.
#pragma once

#include <cstddef>
#include <memory_resource>

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
