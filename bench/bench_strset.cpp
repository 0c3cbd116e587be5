// Reading a string set of form -3 whose entries alternate between two languages (each entry a
// run of its own) against one that holds the same entries in two runs, as a writer stores them.
// The reader's work should follow the bytes read, not the number of runs.
//
//   bench_strset <folder> [entries] [runs]    (default 32767 entries, 5 runs)
//
// Makes <folder>/strset.iff and prints the median seconds of each read and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "IFFResFile2.h"
#include "MHandle.h"
#include "StringBuffer.h"
#include "strset.h"

namespace {

// Stored bytes of a -3 set of `entries` entries of languages 0 and 1 (codes 1 and 2), either
// alternating or all of language 0 first.
std::vector<uint8_t> Stored(int entries, bool alternate) {
  std::vector<uint8_t> bytes;
  auto i16 = [&](int16_t v) {
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(uint16_t(v) >> 8));
  };
  i16(-3);
  i16(int16_t(entries));
  for (int k = 0; k < entries; k++) {
    const bool second = alternate ? (k & 1) != 0 : k >= (entries + 1) / 2;
    bytes.push_back(second ? 2 : 1);
    const std::string text = "menu text " + std::to_string(k);
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    bytes.push_back(0);  // no comment
  }
  return bytes;
}

bool Put(IFFResFile2& file, uint16_t id, const std::vector<uint8_t>& bytes) {
  MHandle* h = HAlloc(uint32_t(bytes.size()));
  if (h == nullptr) return false;
  std::memcpy(HLock(h), bytes.data(), bytes.size());
  HUnlock(h);
  file.AddResource(h, kStringSetType, id, FixedStringBuffer<64>(""), true);
  return file.GetError() == 0;
}

double MedianRead(IFFResFile2& file, uint16_t id, int runs, int32_t& count) {
  std::vector<double> seconds;
  for (int r = 0; r < runs; r++) {
    StringSet set;
    set.Init(&file, id, kStringSetType, 0, 0);
    const auto t0 = std::chrono::steady_clock::now();
    set.Read(1, 0);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    count = set.Count(0) + set.Count(1);
  }
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_strset <folder> [entries] [runs]\n");
    return 2;
  }
  const int entries = argc > 2 ? std::clamp(std::atoi(argv[2]), 2, 32767) : 32767;
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const std::string path = std::string(argv[1]) + "/strset.iff";
  std::remove(path.c_str());
  FixedStringBuffer<1024> name(path.c_str());
  IFFResFile2 file;
  if (file.Create(name) != 0 || file.Open(name) != 0 || !Put(file, 1, Stored(entries, false)) ||
      !Put(file, 2, Stored(entries, true))) {
    std::fprintf(stderr, "bench_strset: cannot make %s\n", path.c_str());
    return 1;
  }
  int32_t runsCount = 0, alternateCount = 0;
  const double twoRuns = MedianRead(file, 1, runs, runsCount);
  const double alternating = MedianRead(file, 2, runs, alternateCount);
  file.Close();
  std::printf("two runs: %.6f s (%d strings); alternating: %.6f s (%d strings); ratio %.2f "
              "(goal: below 3)\n",
              twoRuns, runsCount, alternating, alternateCount, alternating / twoRuns);
  return 0;
}
