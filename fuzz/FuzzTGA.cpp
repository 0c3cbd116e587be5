// TGA files: the header, then the pixels into a colour world and, for 32-bit images, an alpha
// world of the image's size, as the sprite renderer reads them.
#include "FuzzSupport.h"
#include "MacRect.h"
#include "TGAParser.h"
#include "offscrn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string path = WriteFuzzFile("input.tga", data, size);
  TGAParser tga;
  if (tga.Open(FuzzPath(path)) != 0) return 0;
  uint16_t width = 0;
  uint16_t height = 0;
  tga.GetSize(width, height);
  FUZZ_CHECK(width > 0 && height > 0 && width <= 32767 && height <= 32767, "an opened TGA has a bad size");
  const MacRect bounds{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  Offscreen colour;
  Offscreen alpha;
  if (!colour.Create(bounds)) return 0;
  if (!tga.IsOpaque() && !alpha.Create(bounds)) return 0;
  FuzzNote(tga.Render(&colour, tga.IsOpaque() ? nullptr : &alpha) == 0 ? "rendered" : "render refused");
  return 0;
}
