// Threads for the independent pieces of a sprite build (the frames of a sprite list), and how
// many threads a sprite build uses.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The threads a sprite build uses, its own included: 1 does everything on the build's thread.
// Every count gives the same object file and the same log. The default is the machine's
// processors, at most 4.
void SetSpriteThreads(int32_t threads);
int32_t GetSpriteThreads();

// Runs jobs 0 .. count - 1 on its threads (and the caller's while it waits), one round of
// jobs at a time. The jobs must be independent of one another and touch no process-wide
// state. Used by one thread.
class FramePool {
 public:
  explicit FramePool(int32_t threads);  // `threads` - 1 threads of its own
  ~FramePool();
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  // Starts a round on the pool's own threads and returns at once (after waiting for a round
  // still under way). With no thread of its own, the jobs run in Wait.
  void Start(size_t count, std::function<void(size_t)> job);
  // Takes part in the round under way and returns when all its jobs are done.
  void Wait();

 private:
  void Work();
  void TakeJobs();

  std::vector<std::thread> fThreads;
  std::mutex fLock;  // guards what follows, except where the atomics are only looked at
  std::condition_variable fChanged;
  std::function<void(size_t)> fJob;  // the round's, empty between rounds
  size_t fCount = 0;
  size_t fNext = 0;                      // the next job to take
  std::atomic<size_t> fFinished{0};      // jobs done this round
  std::atomic<uint64_t> fRound{0};       // one per Run
  std::atomic<bool> fQuit{false};
  int32_t fSleepers = 0;                 // threads asleep, waiting for a round
  bool fRunnerWaits = false;             // Run asleep, waiting for the last jobs
};
