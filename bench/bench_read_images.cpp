// Reads the images of a graphics build, and nothing else, the way the build reads them:
// for every sheet S.tga of a folder, its palette BMP S.bmp and its TGA into colour and depth
// worlds, and its alpha image Salpha.tga into an alpha world. Prints the seconds it took.
//
//   bench_read_images <folder>
//
// bench/bench_build.sh runs it beside a whole build of the same images.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "MakeSPR.h"
#include "ObjectBuilder.h"
#include "PlatformFile.h"
#include "offscrn.h"
#include "palwrap.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_read_images <folder>\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  std::vector<std::string> sheets;
  PlatformFind find;
  const std::string pattern = folder + "sheet*.tga";
  for (bool more = find.First(pattern.c_str()); more; more = find.Next()) {
    const std::string name = find.Entry().name;
    if (name.find("alpha") == std::string::npos) sheets.push_back(name.substr(0, name.size() - 4));
  }
  const auto start = std::chrono::steady_clock::now();
  try {
    for (const std::string& sheet : sheets) {
      FixedStringBuffer<260> bmp((folder + sheet + ".bmp").c_str());
      FixedStringBuffer<260> tga((folder + sheet + ".tga").c_str());
      FixedStringBuffer<260> alphaTga((folder + sheet + "alpha.tga").c_str());
      Offscreen alpha;
      Offscreen scratch;
      GetGlobalPalette()->Dispose();
      RenderImageFile(nullptr, &alphaTga, &alpha, &scratch, 0);
      Offscreen colour;
      Offscreen depth;
      RenderImageFile(&bmp, &tga, &colour, &depth, 0);
    }
  } catch (const Terminate& t) {
    std::fprintf(stderr, "bench_read_images: %s\n", t.c_str());
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu %.3f\n", sheets.size(), seconds);
  return 0;
}
