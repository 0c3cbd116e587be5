// Test-only writers of BMP and TGA files in the layouts that common painting and rendering
// tools produce, so that tests build their images instead of checking in binaries.
//
// Pixels are always given as seen: row 0 is the top row, x grows to the right. The writers
// store them in whatever order the chosen layout needs. Every result is the whole file.
#ifndef TESTS_TOOLS_IMAGEWRITERS_H
#define TESTS_TOOLS_IMAGEWRITERS_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct TestRGB {
  uint8_t r = 0, g = 0, b = 0;
};

struct TestRGBA {
  uint8_t r = 0, g = 0, b = 0, a = 255;
};

// ---- BMP ----

// Info-header size of the three layouts in use: the classic 40-byte header and the larger
// V4 (108) and V5 (124) headers. The colour table follows the header: at 14 + header size.
constexpr uint32_t kBMPInfoHeader = 40;
constexpr uint32_t kBMPV4Header = 108;
constexpr uint32_t kBMPV5Header = 124;

// An 8-bit image with its palette (up to 256 colours).
struct TestImage8 {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;   // width * height indices, top row first
  std::vector<TestRGB> palette;  // the colour table written
};

// A sprite sheet as the build reads it: colour indices with depth and alpha planes, each
// width * height bytes, top row first (depth 255 and alpha 0 where nothing is drawn).
struct TestSheet {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> index, depth, alpha;
  TestSheet(int w, int h)
      : width(w), height(h), index(size_t(w) * h, 0), depth(size_t(w) * h, 255), alpha(size_t(w) * h, 0) {}
  size_t At(int x, int y) const { return size_t(y) * width + x; }
};

// The sheet's colour indices as an uncompressed 8-bit BMP with `palette`.
std::vector<uint8_t> WriteSheetBMP8(const TestSheet& sheet, const std::vector<TestRGB>& palette);

// How an RLE8 writer lays out each row; every row then ends with an end of line.
enum class RLE8Rows {
  kToWidth,         // runs and literals of the row's pixels, the last ending at the width
  kPaddedRuns,      // the row and its padding (to a multiple of 4) encoded as one, so that
                    // runs or literals go on past the width; the padding bytes are `rlePad`
  kPaddedLiterals,  // the padded row as literals only (a short tail as runs of 1)
  kEarlyEnd,        // pixels of value 0 at the row's end left out: the end of line comes early
};

struct BMPWriteOptions {
  uint32_t headerSize = kBMPInfoHeader;  // 40, 108 or 124
  bool topDown = false;                  // store rows top first (negative height)
  bool rle8 = false;                     // compression 1; rows are always bottom-up then
  bool writeColorsUsed = true;           // false: biClrUsed 0 (meaning 256), 256 entries written
  RLE8Rows rleRows = RLE8Rows::kToWidth;
  int rlePad = 0;                        // padding value; -1: the row's last pixel repeated
};

// Writes `image` as an 8-bit BMP: rows padded to 4 bytes, or RLE8-encoded with runs, literal
// runs (odd lengths padded), an end of line after each row and an end of bitmap.
std::vector<uint8_t> WriteBMP8(const TestImage8& image, const BMPWriteOptions& options = {});

// Every field of a BMP, for building files that tools would not write (corrupt, 4-bit, ...).
struct BMPFields {
  uint32_t headerSize = kBMPInfoHeader;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bitCount = 8;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  // Pixel-data offset written in the file header; 0 means straight after the colour table.
  uint32_t pixelOffset = 0;
};

// Writes the file header, the info header (zero-filled past its first 40 bytes), the colour
// table (4 bytes per entry: blue, green, red, 0) and `pixelData` as given.
std::vector<uint8_t> BuildBMP(const BMPFields& fields, const std::vector<TestRGB>& colorTable,
                              const std::vector<uint8_t>& pixelData);

// RLE8 stream of one image (bottom row first), as WriteBMP8 writes it.
std::vector<uint8_t> EncodeRLE8(const TestImage8& image, RLE8Rows rows = RLE8Rows::kToWidth,
                                int pad = 0);

// ---- TGA ----

struct TGAWriteOptions {
  int bits = 24;               // 24 (B, G, R) or 32 (B, G, R, A)
  bool rle = false;            // image type 10 instead of 2
  bool rightToLeft = false;    // descriptor bit 4: columns stored right to left
  bool topToBottom = false;    // descriptor bit 5: rows stored top first (else bottom first)
  bool runsCrossRows = true;   // RLE packets may continue from one row into the next
  uint8_t idLength = 0;        // bytes of image id after the header (filled with 'i')
};

// Writes a true-colour TGA of `pixels` (width * height, top row first). RLE packets use runs
// for repeated pixels and raw packets otherwise, at most 128 pixels each.
std::vector<uint8_t> WriteTGA(int32_t width, int32_t height, const std::vector<TestRGBA>& pixels,
                              const TGAWriteOptions& options = {});

// The sheet as a TGA with `palette`'s colours and, at 32 bits, its depth plane as alpha.
// `options.bits` and the row order are the caller's; the other options apply as to WriteTGA.
std::vector<uint8_t> WriteSheetTGA(const TestSheet& sheet, const std::vector<TestRGB>& palette,
                                   const TGAWriteOptions& options);

// The sheet's alpha image: a 24-bit TGA whose channels all hold the sheet's alpha plane (the
// build reads the red one).
std::vector<uint8_t> WriteSheetAlphaTGA(const TestSheet& sheet);

// The 18 header fields of a TGA, for building files that tools would not write.
struct TGAFields {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 2;
  uint16_t colorMapLength = 0;
  uint8_t colorMapDepth = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t depth = 24;
  uint8_t descriptor = 0;
};

// Writes the 18-byte header, `idLength` bytes of id and `body` as given.
std::vector<uint8_t> BuildTGA(const TGAFields& fields, const std::vector<uint8_t>& body);

// ---- palette files ----

// A raw palette file: 256 R, G, B triples (missing entries written black).
std::vector<uint8_t> WriteRawPalette(const std::vector<TestRGB>& colors);

#endif  // TESTS_TOOLS_IMAGEWRITERS_H
