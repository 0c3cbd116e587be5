// Opening a large object file through its saved map and listing every resource in it (type,
// id, name and flags, no data), as a browser of object files does.
//
//   bench_openlist make <path> [resources] [megabytes]   writes the file (default 10000, 100)
//   bench_openlist run <path> [runs]                     prints the median seconds of
//                                                        open + list + close (default 5 runs)
//
// bench/bench_all.sh runs it beside cat of the same file.
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

namespace {

const uint32_t kTypes[] = {MakeResType('S', 'P', 'R', '2'), MakeResType('D', 'G', 'R', 'P'),
                           MakeResType('O', 'B', 'J', 'D'), MakeResType('S', 'T', 'R', '#'),
                           MakeResType('P', 'A', 'L', 'T'), MakeResType('B', 'H', 'A', 'V'),
                           MakeResType('T', 'T', 'A', 'B'), MakeResType('S', 'L', 'O', 'T')};
constexpr int kTypeCount = int(sizeof kTypes / sizeof kTypes[0]);

int Make(const char* path, int resources, int megabytes) {
  FixedStringBuffer<1024> name(path);
  std::remove(path);
  IFFResFile2 file;
  if (file.Create(name) != 0 || file.Open(name) != 0) {
    std::fprintf(stderr, "bench_openlist: cannot make %s\n", path);
    return 1;
  }
  const uint32_t size = uint32_t((int64_t(megabytes) * 1000000) / resources) & ~1u;
  for (int i = 0; i < resources; i++) {
    MHandle* h = HAlloc(size + (i % 7) * 2);
    if (h == nullptr) return 1;
    char* data = HLock(h);
    for (uint32_t k = 0; k < uint32_t(HGetSize(h)); k++) data[k] = char(k * 31 + i);
    HUnlock(h);
    char label[64];
    std::snprintf(label, sizeof label, "resource %d of a large object file", i);
    FixedStringBuffer<64> resName(label);
    file.AddResource(h, kTypes[i % kTypeCount], uint16_t(128 + i / kTypeCount), resName, true);
    if (file.GetError() != 0) return 1;
  }
  if (file.Close() != 0) {
    std::fprintf(stderr, "bench_openlist: cannot write %s\n", path);
    return 1;
  }
  return 0;
}

// One open, list and close; the listing's checksum keeps the work from being dropped.
bool OpenAndList(const char* path, uint64_t& checksum, int& listed) {
  FixedStringBuffer<1024> name(path);
  IFFResFile2 file;
  if (file.Open(name) != 0) return false;
  const IFFResMap* map = file.GetMap();
  listed = 0;
  for (size_t n = 0; n < map->NodeCount(); n++) {
    const IFFTypeNode& node = map->NodeAt(n);
    for (const auto& entry : node.fEntries) {
      checksum = checksum * 31 + node.fType + uint32_t(entry->fID) + entry->fFlags + entry->fFileoffset;
      checksum += uint8_t(entry->fName.c_str()[entry->fName.length() / 2]);
      listed++;
    }
  }
  return file.Close() == 0;
}

int Run(const char* path, int runs) {
  std::vector<double> seconds;
  uint64_t checksum = 0;
  int listed = 0;
  for (int r = 0; r < runs; r++) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!OpenAndList(path, checksum, listed)) {
      std::fprintf(stderr, "bench_openlist: cannot open %s\n", path);
      return 1;
    }
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("%.6f %d %llu\n", seconds[seconds.size() / 2], listed, (unsigned long long)(checksum & 0xFFFF));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "make") == 0) {
    const int resources = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10000;
    const int megabytes = argc > 4 ? std::max(1, std::atoi(argv[4])) : 100;
    return Make(argv[2], resources, megabytes);
  }
  if (argc >= 3 && std::strcmp(argv[1], "run") == 0) {
    return Run(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 5);
  }
  std::fprintf(stderr, "usage: bench_openlist make <path> [resources] [megabytes]\n"
                       "       bench_openlist run <path> [runs]\n");
  return 2;
}
