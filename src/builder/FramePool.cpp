#include "FramePool.h"

#include <algorithm>
#include <utility>

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
