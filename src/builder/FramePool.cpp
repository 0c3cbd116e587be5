#include "FramePool.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "PlatformThread.h"

namespace {

constexpr int32_t kMostSpriteThreads = 4;

std::atomic<int32_t> gSpriteThreads{std::min(PlatformProcessorCount(), kMostSpriteThreads)};

// Measured on the machines this runs on: a thread takes about 0.3 ms to start (a few ms at
// times), a round of the pool about 0.1 ms to hand over and wake its threads, a loader's
// worlds are memory the process has not touched yet (a few ms of first touches), and the
// same work runs slower on a thread that takes a sheet over from another; frames are trimmed
// and encoded at about 2,000 pixels a microsecond. Builds of 8 sheets of 1792 x 1024 (11 M
// pixels of cells) took as long with threads as without, and more processor time; 16 and
// more sheets gained a little.
constexpr int64_t kDefaultThreadWork = int64_t(16) << 20;
std::atomic<int64_t> gSpriteThreadWork{kDefaultThreadWork};

}  // namespace

void SetSpriteThreads(int32_t threads) { gSpriteThreads.store(std::max(threads, int32_t(1))); }
int32_t GetSpriteThreads() { return gSpriteThreads.load(); }
void SetSpriteThreadWork(int64_t pixels) { gSpriteThreadWork.store(std::max(pixels, int64_t(0))); }
int64_t GetSpriteThreadWork() { return gSpriteThreadWork.load(); }

FramePool::FramePool(int32_t threads) : fWanted(std::max(threads - 1, int32_t(0))) {}

FramePool::~FramePool() {
  try {
    Wait();
  } catch (...) {
    // The round's owner is gone; nobody is left to take its exception.
  }
  {
    std::lock_guard<std::mutex> hold(fLock);
    fQuit = true;
  }
  fRoundStarted.notify_all();
  for (std::thread& t : fThreads) t.join();
}

void FramePool::Start(size_t count, std::function<void(size_t)> job) {
  Wait();
  if (count == 0) return;
  if (fThreads.empty()) {
    for (int32_t i = 0; i < fWanted; i++) fThreads.emplace_back([this] { Work(); });
  }
  {
    std::lock_guard<std::mutex> hold(fLock);
    fJob = std::move(job);
    fCount = count;
    fNext = 0;
    fFinished = 0;
    fError = nullptr;
    ++fRound;
  }
  if (!fThreads.empty()) fRoundStarted.notify_all();
}

void FramePool::Wait() {
  std::unique_lock<std::mutex> hold(fLock);
  if (!fJob) return;
  TakeJobs(hold);
  fRoundDone.wait(hold, [this] { return fFinished == fCount; });
  fJob = nullptr;
  std::exception_ptr error = std::move(fError);
  fError = nullptr;
  hold.unlock();
  if (error) std::rethrow_exception(error);
}

void FramePool::TakeJobs(std::unique_lock<std::mutex>& hold) {
  while (fJob && fNext < fCount) {
    const size_t index = fNext++;
    // Stays until the round is over, which is not before this job is counted as done.
    const std::function<void(size_t)>& job = fJob;
    hold.unlock();
    std::exception_ptr error;
    try {
      job(index);
    } catch (...) {
      error = std::current_exception();
    }
    hold.lock();
    if (error && !fError) fError = error;
    if (++fFinished == fCount) fRoundDone.notify_all();
  }
}

void FramePool::Work() {
  uint64_t seen = 0;
  std::unique_lock<std::mutex> hold(fLock);
  for (;;) {
    fRoundStarted.wait(hold, [&] { return fQuit || fRound != seen; });
    if (fQuit) return;
    seen = fRound;
    TakeJobs(hold);
  }
}
