// Threads for the independent pieces of a sprite build (the frames of a sprite list). How many
// threads a build uses, and for what, is its plan's (SpriteThreadPlan.h).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Runs the jobs of a round, 0 .. count - 1, on threads of its own and on the caller's while it
// waits, one round at a time. The jobs of a round must be independent of one another and touch
// no process-wide state. Used by one thread, the one that starts and waits for the rounds.
//
// No thread spins: a pool thread with nothing to do sleeps until a round starts, and Wait
// sleeps until the jobs that other threads took are done. The pool's threads start with the
// first round, so a pool that is never given work costs no thread.
//
// A job that throws does not end the program, wherever it runs: the exception is caught on the
// thread that ran the job, the round's other jobs still run, and Wait, once the whole round is
// done, rethrows the first exception caught. The pool is then ready for the next round.
class FramePool {
 public:
  explicit FramePool(int32_t threads);  // `threads` - 1 threads of its own, 0 for none
  ~FramePool();  // waits for a round under way (dropping its exception) and ends the threads
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  // Waits for a round still under way, as Wait does (so it may throw that round's exception,
  // starting nothing), then starts a round of `count` jobs on the pool's threads and returns
  // at once. With no thread of its own, the jobs run in Wait. A round of no jobs is done at
  // once.
  void Start(size_t count, std::function<void(size_t)> job);
  // Takes part in the round under way and returns when all its jobs are done; rethrows the
  // first exception a job of the round threw. Without a round it returns at once.
  void Wait();

 private:
  void Work();
  // Runs jobs of the round until none is left to take. Called with `hold` locked; returns so.
  void TakeJobs(std::unique_lock<std::mutex>& hold);

  const int32_t fWanted;  // threads of its own to start with the first round
  std::vector<std::thread> fThreads;
  std::mutex fLock;                   // guards what follows
  std::condition_variable fRoundStarted;  // for the pool's threads
  std::condition_variable fRoundDone;     // for Wait
  std::function<void(size_t)> fJob;   // the round's, empty between rounds
  size_t fCount = 0;
  size_t fNext = 0;       // the next job to take
  size_t fFinished = 0;   // jobs done this round
  uint64_t fRound = 0;    // one per round started
  bool fQuit = false;
  std::exception_ptr fError;  // the first exception of the round
};
