// Threads, processors, clock and locks: our stand-in for the thread id, the millisecond tick
// count and the critical section of the original platform, and the processors we may use.
#pragma once

#include <cstdint>
#include <mutex>

// The calling thread's id: non-zero, and different for every thread that the process has
// started so far. 0 is therefore free to mean "no thread".
uint32_t PlatformCurrentThreadId();

// The processors this process may run on (its affinity, which taskset and container limits
// narrow), at least 1.
int32_t PlatformProcessorCount();

// Milliseconds since an arbitrary start, as an unsigned 32-bit count that wraps around
// after about 49.7 days. Only differences between two readings mean anything.
uint32_t PlatformTickCount();

// A lock that a thread may enter again while it holds it, as a critical section allows;
// each Enter is paired with one Leave by the same thread. Not copyable.
class PlatformLock {
 public:
  PlatformLock() = default;
  PlatformLock(const PlatformLock&) = delete;
  PlatformLock& operator=(const PlatformLock&) = delete;

  void Enter() { fMutex.lock(); }  // Waits until the lock is free, then holds it.
  void Leave() { fMutex.unlock(); }

 private:
  std::recursive_mutex fMutex;
};

// Holds a PlatformLock for the life of the guard.
class PlatformLockGuard {
 public:
  explicit PlatformLockGuard(PlatformLock& lock) : fLock(lock) { fLock.Enter(); }
  ~PlatformLockGuard() { fLock.Leave(); }
  PlatformLockGuard(const PlatformLockGuard&) = delete;
  PlatformLockGuard& operator=(const PlatformLockGuard&) = delete;

 private:
  PlatformLock& fLock;
};
