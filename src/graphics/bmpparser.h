// Reader of 8-bit BMP files: copies the pixel indices and the colour table unchanged into an
// offscreen world. Reads uncompressed and RLE8 files, bottom-up and top-down, with the
// classic 40-byte info header or a larger one (V4, V5: the colour table follows the header).
//
// Every size, count and offset read from the file is checked before use: a file that does not
// hold what its headers promise is refused, and nothing is ever written outside the world.
// Results: 0 for success, 1 for any failure (with an assertion that says why).
// One owner at a time.
#ifndef GRAPHICS_BMPPARSER_H
#define GRAPHICS_BMPPARSER_H

#include <cstdint>

#include "ImageFileReader.h"
#include "PlatformBitmap.h"

class Offscreen;
class StringBuffer;

constexpr int32_t kBMPNoErr = 0;
constexpr int32_t kBMPErr = 1;

// The first 40 bytes of the info header, as read (little-endian in the file).
struct BMPInfoHeader {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // negative: rows stored top first
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;  // 0 uncompressed, 1 RLE8
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

class BMPParser {
 public:
  BMPParser();
  ~BMPParser();  // Closes the file when open.
  BMPParser(const BMPParser&) = delete;
  BMPParser& operator=(const BMPParser&) = delete;

  // Opens `path` and reads its headers and colour table. Refused (1): a file that cannot be
  // opened or is not a BMP, a header shorter than 40 bytes, a width or height of 0 or above
  // 32767 (height by its magnitude), a top-down RLE8 file, more than 256 colours, a colour
  // table or pixel data that the file does not hold. A plane count other than 1, a depth
  // other than 8 bits and an unknown compression assert but are still opened (the pixels
  // of such files are then refused by ReadPixels).
  int32_t Open(const StringBuffer& path);
  // The same for a file already open in `file`, which the parser takes over (`file` is left
  // closed).
  int32_t Open(ImageFileReader& file);
  void Close();

  // Width and height of the picture (the height is positive for top-down files too).
  void GetSize(int16_t& width, int16_t& height) const;
  int32_t GetColorCount() const { return mColorCount; }
  // 256 entries R, G, B, 0 in the file's order; entries past the colour count are zero.
  const PlatformColorEntry* GetColors() const { return mColors; }
  const BMPInfoHeader& GetInfo() const { return mInfo; }

  // Reads the pixels into `world`, whose size must be the picture's. RLE8 rows may be
  // encoded over their padded length (the width rounded up to 4): pixels past the width are
  // dropped. Refused (1) for a world of another size or none, a file that is not 8-bit, an
  // unknown compression, a truncated file and an RLE8 run, literal or delta that would
  // leave its padded row or the picture; whatever was decoded before such a fault stays in
  // the world.
  int32_t ReadPixels(Offscreen* world);

 private:
  int32_t ReadHeaders();  // of mFile, open
  int32_t ReadRaw(uint8_t* base, int32_t rowBytes);
  int32_t ReadRLE8(uint8_t* base, int32_t rowBytes);

  ImageFileReader mFile;
  int32_t mColorCount = 0;
  int32_t mRowStep = 0;
  uint32_t mPixelOffset = 0;
  BMPInfoHeader mInfo;
  PlatformColorEntry mColors[256];
};

#endif  // GRAPHICS_BMPPARSER_H
