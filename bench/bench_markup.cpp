// Benchmark of markup scanning: generated object-make files are read into attribute tables
// with ReadMarkupFile, as the build reads its spec file. Three shapes: one tag with many
// attributes, a file of many small tags, and one tag with a very long quoted value. Each is
// measured at two sizes a factor of ten apart, so the times show how the scan grows with the
// size of the file (linear: about ten times as long; quadratic: about a hundred times).
//
// Usage: bench_markup [folder for the generated files]   (default: $TMPDIR or /tmp)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "StringBuffer.h"
#include "attribtable.h"
#include "flatfile.h"

namespace {

constexpr int kRuns = 3;

std::string ManyAttributes(int count) {
  std::string text = "<sprite";
  for (int i = 0; i < count; ++i) text += " key" + std::to_string(i) + "=" + std::to_string(i);
  return text + ">\n";
}

std::string ManyTags(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "<sound id=" + std::to_string(i) + " name=s.wav>\n";
  return text;
}

std::string LongValue(int bytes) {
  return "<sprite name=\"" + std::string(size_t(bytes), 'v') + "\">\n";
}

// The best of kRuns reads of `path`, in seconds; `tags` and `entries` report what was read.
double TimeRead(const std::string& path, int& tags, int& entries) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    FlatFile file;
    FixedStringBuffer<1024> name(path.c_str());
    if (file.Open(name) != 0) {
      std::fprintf(stderr, "could not open %s\n", path.c_str());
      std::exit(1);
    }
    AttribTableList list;
    auto start = std::chrono::steady_clock::now();
    ReadMarkupFile(list, &file);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < best) best = seconds;
    tags = list.Count();
    entries = 0;
    for (int i = 0; i < list.Count(); ++i) entries += list.Nth(i)->EntryCount();
  }
  return best;
}

void Measure(const std::string& folder, const char* shape, const std::string& text) {
  const std::string path = folder + "/bench_markup.omk";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
    std::fprintf(stderr, "could not write %s\n", path.c_str());
    std::exit(1);
  }
  std::fclose(f);
  int tags = 0;
  int entries = 0;
  const double seconds = TimeRead(path, tags, entries);
  std::printf("%-28s %9zu bytes %7d tags %8d entries %9.4f s %8.1f MB/s\n", shape, text.size(), tags,
              entries, seconds, double(text.size()) / 1e6 / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  Measure(folder, "one tag, 2,000 attributes", ManyAttributes(2000));
  Measure(folder, "one tag, 20,000 attributes", ManyAttributes(20000));
  Measure(folder, "3,000 tags", ManyTags(3000));
  Measure(folder, "30,000 tags", ManyTags(30000));
  Measure(folder, "value of 1 MB", LongValue(1 << 20));
  Measure(folder, "value of 10 MB", LongValue(10 << 20));
  return 0;
}
