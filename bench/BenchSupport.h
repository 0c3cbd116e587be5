// Timing helpers shared by the benchmark programs.
#ifndef BENCH_SUPPORT_H
#define BENCH_SUPPORT_H

#include <algorithm>
#include <ctime>
#include <vector>

// CPU seconds of this thread: beside the wall-clock figures, a measure that time given to
// other processes on a loaded machine does not inflate.
inline double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

#endif  // BENCH_SUPPORT_H
