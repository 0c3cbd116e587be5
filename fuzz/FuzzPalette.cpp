// Palettes: the bytes as a 'PALT' record (a record that reads is written and must read back
// to the same colours) and as a palette file (raw triples or a BMP's colour table).
#include <cstring>

#include "FuzzSupport.h"
#include "palwrap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  PalWrap palette;
  if (palette.ReadPaletteRsrc(data, static_cast<uint32_t>(size))) {
    FuzzNote("record read");
    uint8_t record[kPaletteRsrcSize];
    PaletteRsrcFromPalWrap(&palette, record);
    PalWrap again;
    FUZZ_CHECK(again.ReadPaletteRsrc(record, kPaletteRsrcSize), "a written palette record does not read");
    for (int32_t i = 0; i < 256; ++i)
      FUZZ_CHECK(again.GetPackedColor(i) == palette.GetPackedColor(i), "a palette record reads back other colours");
    palette.FindNearestColor(10, 200, 30);
  }
  const std::string path = WriteFuzzFile("palette.pal", data, size);
  PlatformColorEntry entries[256] = {};
  ReadPaletteFile(FuzzPath(path), entries);
  PalWrap fromFile;
  fromFile.LoadFromFile(FuzzPath(path), 1);
  fromFile.FindColor(1, 2, 3);
  return 0;
}
