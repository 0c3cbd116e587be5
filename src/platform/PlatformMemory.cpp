#include "PlatformMemory.h"

#include <sys/mman.h>

#include <new>

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
