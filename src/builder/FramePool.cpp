#include "FramePool.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

int32_t DefaultThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return int32_t(std::clamp(n, 1u, 4u));
}

std::atomic<int32_t> gSpriteThreads{DefaultThreads()};

// How long a thread looks for more work before it sleeps. Jobs come in quick rounds (the
// frames of one sprite, then the next sprite's): waking a sleeping thread costs more than
// looking for a while.
constexpr std::chrono::microseconds kSpin{2000};

// Yields until `done` answers true or the spin time is over; answers `done`.
template <class Done>
bool SpinUntil(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + kSpin;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace

void SetSpriteThreads(int32_t threads) { gSpriteThreads.store(std::max(threads, int32_t(1))); }
int32_t GetSpriteThreads() { return gSpriteThreads.load(); }

FramePool::FramePool(int32_t threads) {
  for (int32_t i = 1; i < threads; i++) fThreads.emplace_back([this] { Work(); });
}

FramePool::~FramePool() {
  Wait();
  {
    std::lock_guard<std::mutex> hold(fLock);
    fQuit = true;
  }
  fChanged.notify_all();
  for (std::thread& t : fThreads) t.join();
}

void FramePool::Start(size_t count, std::function<void(size_t)> job) {
  Wait();
  if (count == 0) return;
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(fLock);
    fJob = std::move(job);
    fCount = count;
    fNext = 0;
    fFinished.store(0);
    fRound.store(fRound.load() + 1);
    wake = fSleepers > 0;
  }
  if (wake) fChanged.notify_all();
}

void FramePool::Wait() {
  size_t count = 0;
  {
    std::lock_guard<std::mutex> hold(fLock);
    if (!fJob) return;
    count = fCount;
  }
  TakeJobs();
  // The last jobs taken by other threads are short: wait for them awake first.
  if (!SpinUntil([&] { return fFinished.load() == count; })) {
    std::unique_lock<std::mutex> hold(fLock);
    fRunnerWaits = true;
    fChanged.wait(hold, [&] { return fFinished.load() == count; });
    fRunnerWaits = false;
  }
  std::lock_guard<std::mutex> hold(fLock);
  fJob = nullptr;
}

void FramePool::TakeJobs() {
  std::unique_lock<std::mutex> hold(fLock);
  while (fJob && fNext < fCount) {
    const size_t index = fNext++;
    const std::function<void(size_t)>& job = fJob;  // stays until the round's end
    hold.unlock();
    job(index);
    hold.lock();
    if (fFinished.fetch_add(1) + 1 == fCount && fRunnerWaits) fChanged.notify_all();
  }
}

void FramePool::Work() {
  uint64_t seen = 0;
  for (;;) {
    SpinUntil([&] { return fRound.load() != seen || fQuit.load(); });
    {
      std::unique_lock<std::mutex> hold(fLock);
      if (fRound.load() == seen && !fQuit.load()) {
        ++fSleepers;
        fChanged.wait(hold, [&] { return fQuit.load() || fRound.load() != seen; });
        --fSleepers;
      }
      if (fQuit.load()) return;
      seen = fRound.load();
    }
    TakeJobs();
  }
}
