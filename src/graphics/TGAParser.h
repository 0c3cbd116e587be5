// Reader of true-colour TGA files (uncompressed type 2 and run-length type 10, 24-bit B, G, R
// and 32-bit B, G, R, A, either row order and either column order). Each pixel becomes the
// nearest colour of the colour world's palette; for 32-bit images the alpha byte goes to a
// second world, the alpha world.
//
// Results: 0, a FlatFile status code (negative), or one of the kTGA codes below. Every count
// read from the file is checked; nothing is written outside the worlds.
// One owner at a time.
#ifndef GRAPHICS_TGAPARSER_H
#define GRAPHICS_TGAPARSER_H

#include <cstdint>

class FlatFile;
class Offscreen;
class StringBuffer;

constexpr int32_t kTGABadDepth = 1200;       // pixel depth neither 24 nor 32
constexpr int32_t kTGABadType = 1201;        // image type neither 2 nor 10
constexpr int32_t kTGABadAlphaBits = 1202;   // 32-bit image without 8 alpha bits
constexpr int32_t kTGAHasColorMap = 1203;    // the image has a colour map
constexpr int32_t kTGABadSize = 1204;        // width or height 0 or above 32767
constexpr int32_t kTGAWorldMismatch = 1205;  // a world given to Render is not the image's size
constexpr int32_t kTGARunPastEnd = 1206;     // a packet holds pixels past the last one

// What a result of Open or Render says is wrong with the file, in words for an author:
// "no such file, or it cannot be read", "a 16-bit or 8-bit TGA: only 24- and 32-bit TGAs
// are taken", ...; "" for 0.
const char* TGAResultText(int32_t code);

class TGAParser {
 public:
  TGAParser();
  ~TGAParser();
  TGAParser(const TGAParser&) = delete;
  TGAParser& operator=(const TGAParser&) = delete;

  // Reads and checks the 18-byte header of `path` (in the order type, depth, alpha bits,
  // colour map, size, file length) and keeps the file open for Render. A file error is
  // answered as it stands; then kTGABadType, kTGABadDepth, kTGABadAlphaBits, kTGAHasColorMap,
  // kTGABadSize, and -48 (FlatFile's short read) for a file shorter than its header, id and
  // the least pixel data of the declared size: width x height pixels uncompressed, and for
  // run-length images one packet (a header byte and a pixel) for every 128 pixels.
  int32_t Open(const StringBuffer& path);
  void Close();

  // Decodes the image. `color` (or null) receives palette indices matched in its own
  // palette (the red component where the palette has no colours); `alpha` (or null)
  // receives the alpha bytes of a 32-bit image. Each world given must have the image's size
  // (else kTGAWorldMismatch, nothing written); a file cut since Open below the least pixel
  // data answers -48 before anything is written. Rows stored bottom first and columns stored
  // right to left are put the right way round. A read error or a packet past the last
  // pixel (kTGARunPastEnd) ends the decoding; what was decoded stays.
  int32_t Render(Offscreen* color, Offscreen* alpha);

  bool HasImage() const { return fHasImage; }
  uint16_t GetWidth() const { return fHasImage ? fWidth : 0; }
  uint16_t GetHeight() const { return fHasImage ? fHeight : 0; }
  // 0 and 0 when no image is open.
  void GetSize(uint16_t& width, uint16_t& height) const;
  // 1 for a 24-bit image, 0 for a 32-bit image with alpha.
  uint16_t IsOpaque() const { return f24Bit ? 1 : 0; }

 private:
  // Reads and checks the header of the file just opened, taking the image's layout from it.
  int32_t ReadHeader();
  FlatFile* fFile;
  bool fRLE = false;
  bool fHasImage = false;
  bool f24Bit = false;
  uint16_t fWidth = 0;
  uint16_t fHeight = 0;
  uint32_t fPixelOffset = 0;
  bool fFlipHorizontal = false;
  bool fFlipVertical = false;
};

#endif  // GRAPHICS_TGAPARSER_H
