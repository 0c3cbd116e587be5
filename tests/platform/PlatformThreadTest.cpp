#include "PlatformThread.h"

#include <gtest/gtest.h>

#include <thread>

TEST(PlatformThread, ThreadIdsAreNonZeroStableAndDistinct) {
  uint32_t mine = PlatformCurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(mine, PlatformCurrentThreadId());
  uint32_t other = 0;
  std::thread t([&] { other = PlatformCurrentThreadId(); });
  t.join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
}

TEST(PlatformThread, TickCountAdvances) {
  uint32_t start = PlatformTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  uint32_t elapsed = PlatformTickCount() - start;
  EXPECT_GE(elapsed, 15u);
  EXPECT_LT(elapsed, 60000u);
}

TEST(PlatformThread, LockIsReentrantAndExcludesOtherThreads) {
  PlatformLock lock;
  int counter = 0;
  {
    PlatformLockGuard outer(lock);
    PlatformLockGuard inner(lock);  // the same thread may enter again
    ++counter;
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        lock.Enter();
        ++counter;
        lock.Leave();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40001);
}
