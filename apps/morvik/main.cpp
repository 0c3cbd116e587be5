// The console program: makes the program-wide sprite compressor, prints the banner, turns
// the command line into one build and runs it. The exit code is the build's result (0, or
// 1 after a fatal error); any usage error also ends with 1.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "CommandLineBuilder.h"
#include "Compressor.h"
#include "PlatformMemory.h"
#include "TileStages.h"

int main(int argc, char** argv) {
  // A build logs a few lines per sprite to standard error. Written to a file or a pipe, they
  // go out in blocks rather than a system call per line; on a terminal each line shows as it
  // is made, in its order with standard output's.
  static char errorBuffer[1 << 16];
  if (!isatty(STDERR_FILENO)) std::setvbuf(stderr, errorBuffer, _IOFBF, sizeof errorBuffer);
  PlatformKeepFreedMemory();
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
