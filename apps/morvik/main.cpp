// The console program: makes the program-wide sprite compressor, prints the banner, turns
// the command line into one build and runs it. The exit code is the build's result (0, or
// 1 after a fatal error); any usage error also ends with 1.
#include <cstdio>
#include <memory>

#include "CommandLineBuilder.h"
#include "Compressor.h"
#include "TileStages.h"

int main(int argc, char** argv) {
  auto compressor = std::make_unique<Compressor>();
  gCompressor = compressor.get();
  InstallTileStages();
  std::fprintf(stderr, "Morvik version built %s at %s\n", __DATE__, __TIME__);
  int result = 1;
  try {
    CommandLineBuilder builder(stderr, argc, argv);
    builder.ParseCommandLine();
    result = builder.Run();
  } catch (const char* text) {
    std::fprintf(stderr, "%s", text);
    result = 1;
  }
  gCompressor = nullptr;
  return result;
}
