#include "PlatformThread.h"

#include <sched.h>

#include <atomic>
#include <chrono>
#include <thread>

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

int32_t PlatformProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  // The set did not fit a cpu_set_t (more than 1024 processors) or the call failed.
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? int32_t(n) : 1;
}
