// BMP files: headers and colour table, then the pixels into a world of the picture's size,
// as the sprite renderer reads them.
#include "FuzzSupport.h"
#include "MacRect.h"
#include "bmpparser.h"
#include "offscrn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string path = WriteFuzzFile("input.bmp", data, size);
  BMPParser bmp;
  if (bmp.Open(FuzzPath(path)) != kBMPNoErr) return 0;
  int16_t width = 0;
  int16_t height = 0;
  bmp.GetSize(width, height);
  FUZZ_CHECK(width > 0 && height > 0, "an opened BMP has no size");
  FUZZ_CHECK(bmp.GetColorCount() >= 0 && bmp.GetColorCount() <= 256, "an opened BMP has too many colours");
  Offscreen world;
  if (!world.Create(MacRect{0, 0, height, width})) return 0;
  FuzzNote(bmp.ReadPixels(&world) == kBMPNoErr ? "pixels read" : "pixels refused");
  // A world of another size is refused.
  Offscreen other;
  if (other.Create(MacRect{0, 0, 1, static_cast<int16_t>(width == 1 ? 2 : 1)})) {
    FUZZ_CHECK(bmp.ReadPixels(&other) != kBMPNoErr, "pixels read into a world of another size");
  }
  return 0;
}
