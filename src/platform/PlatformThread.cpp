#include "PlatformThread.h"

#include <atomic>
#include <chrono>

uint32_t PlatformCurrentThreadId() {
  static std::atomic<uint32_t> next{1};
  thread_local uint32_t id = 0;
  if (id == 0) {
    id = next.fetch_add(1);
    if (id == 0) id = next.fetch_add(1);  // skip 0 after a wrap
  }
  return id;
}

uint32_t PlatformTickCount() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}
