// The frame pool on its own: every job of a round runs exactly once, whichever thread takes
// it; a round of no jobs is done at once; a throwing job, on a pool thread or in the caller's
// Wait, neither ends the program nor leaves the pool waiting, and Wait hands its exception to
// the caller; the same pool serves round after round.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "FramePool.h"

namespace {

std::vector<int> RunRound(FramePool& pool, size_t count) {
  std::vector<std::atomic<int>> runs(count);
  pool.Start(count, [&](size_t i) { runs[i]++; });
  pool.Wait();
  std::vector<int> out;
  for (const auto& r : runs) out.push_back(r.load());
  return out;
}

TEST(FramePool, RunsEveryJobOnceRoundAfterRoundAndSurvivesThrowingJobs) {
  for (int32_t threads : {1, 2, 4}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    FramePool pool(threads);
    pool.Wait();  // no round yet
    EXPECT_TRUE(RunRound(pool, 0).empty());
    for (size_t count : {size_t(1), size_t(3), size_t(200)}) {
      EXPECT_EQ(RunRound(pool, count), std::vector<int>(count, 1)) << count << " jobs";
    }

    // Every job throws: some on the pool's threads, some in Wait (all of them there with one
    // thread). The round still runs each job once, and Wait throws one of the exceptions.
    const size_t count = 64;
    std::vector<std::atomic<int>> runs(count);
    pool.Start(count, [&](size_t i) {
      runs[i]++;
      throw std::runtime_error("job " + std::to_string(i));
    });
    EXPECT_THROW(pool.Wait(), std::runtime_error);
    for (size_t i = 0; i < count; i++) EXPECT_EQ(runs[i].load(), 1) << "job " << i;
    pool.Wait();  // the exception was handed over once; the round is over

    // One job of many throws, and the next round is started without a Wait in between:
    // Start hands over the exception and starts nothing.
    pool.Start(count, [](size_t i) {
      if (i == 5) throw std::logic_error("five");
    });
    EXPECT_THROW(pool.Start(1, [](size_t) { ADD_FAILURE() << "started after a failed round"; }),
                 std::logic_error);
    pool.Wait();

    EXPECT_EQ(RunRound(pool, 50), std::vector<int>(50, 1)) << "the pool serves after failures";
  }
}

TEST(FramePool, DroppedRoundIsFinishedByTheDestructor) {
  std::atomic<int> runs{0};
  {
    FramePool pool(4);
    pool.Start(100, [&](size_t i) {
      runs++;
      if (i % 7 == 0) throw std::runtime_error("nobody takes this");
    });
  }  // neither Wait nor the exception's owner: the destructor finishes the round quietly
  EXPECT_EQ(runs.load(), 100);
}

}  // namespace
