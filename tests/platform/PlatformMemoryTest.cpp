// Prefaulted memory: zeroed and writable to its last byte, from the pool resource for large
// pieces and small ones alike, and freed without complaint.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <vector>

#include "PlatformMemory.h"

TEST(PlatformMemory, PrefaultedPiecesAreZeroedWritableAndFreed) {
  EXPECT_EQ(PlatformAllocPrefaulted(0), nullptr);
  for (size_t size : {size_t(1), size_t(4096), size_t(300000)}) {
    auto* p = static_cast<unsigned char*>(PlatformAllocPrefaulted(size));
    ASSERT_NE(p, nullptr) << size;
    std::vector<unsigned char> zeros(size, 0);
    EXPECT_EQ(std::memcmp(p, zeros.data(), size), 0) << size;
    std::memset(p, 0x5A, size);
    EXPECT_EQ(p[size - 1], 0x5A);
    PlatformFreePrefaulted(p, size);
  }
  // A pool over the resource: pieces below and above the threshold, of any alignment.
  std::pmr::monotonic_buffer_resource pool(PlatformPrefaultedMemory());
  for (size_t size : {size_t(16), size_t(100000), size_t(70000), size_t(8)}) {
    void* p = pool.allocate(size, 64);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
    std::memset(p, 1, size);
  }
  pool.release();
}

// Pixel memory: zeroed, writable to its last byte, sizes on both sides of the mapped threshold
// (and past a large page), swapped whole, and made again over a block it already holds.
TEST(PlatformMemory, PixelMemoryIsZeroedWholeAndSwaps) {
  PlatformPixelMemory empty;
  EXPECT_TRUE(empty.Allocate(0));
  EXPECT_EQ(empty.data(), nullptr);
  for (size_t size : {size_t(4), size_t(1) << 20, size_t(1835008), (size_t(2) << 20) + 4}) {
    PlatformPixelMemory block;
    ASSERT_TRUE(block.Allocate(size)) << size;
    ASSERT_EQ(block.size(), size);
    std::vector<uint8_t> zeros(size, 0);
    EXPECT_EQ(std::memcmp(block.data(), zeros.data(), size), 0) << size;
    std::memset(block.data(), 0x5A, size);
    PlatformPixelMemory other;
    ASSERT_TRUE(other.Allocate(8));
    block.Swap(other);
    EXPECT_EQ(other.size(), size);
    EXPECT_EQ(other.data()[size - 1], 0x5A);
    EXPECT_EQ(block.size(), 8u);
    ASSERT_TRUE(other.Allocate(size));  // the old block goes; the new one is zeroed again
    EXPECT_EQ(std::memcmp(other.data(), zeros.data(), size), 0) << size;
  }
}
