// Test-only readers for the sprite formats that the encoders write: sprite lists, SPR#
// frames (byte tokens) and SPR2 frames (16-bit tokens with depth and alpha).
//
// They are written from the token tables, independently of the encoders, and are strict:
// anything that the game's reader could not follow (a count out of its range, a token at an
// odd offset, a line whose length does not match its tokens, rows past the frame, a bad pad
// byte, flags that disagree with the tokens) makes the decode fail with a reason. Nothing is
// read outside the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace spritedec {

// ---- Sprite lists ---------------------------------------------------------------------------

struct ListFrame {
  size_t offset = 0;  // from the start of the list
  size_t size = 0;    // next offset minus this one, or list size minus this one for the last
};

struct SpriteListInfo {
  uint32_t version = 0;
  uint32_t count = 0;
  uint32_t paletteId = 0;
  std::vector<ListFrame> frames;
};

// Reads the header and offsets of a sprite list {version, count, palette id, offsets...}.
// With `bigEndian` the header words and offsets are read big-endian (the order the SPR#
// lists are stored in). Offsets must lie past the offset table, inside the list, in
// ascending order and even.
bool DecodeSpriteList(const uint8_t* data, size_t size, SpriteListInfo& out, std::string& error,
                      bool bigEndian = false);

// ---- SPR# frames ----------------------------------------------------------------------------

enum class SprKind : uint8_t {
  kClear,     // transparent (clear token, trailing transparency or clear lines)
  kColor,     // value = palette index (draw or repeat token)
  kShade1,    // value = level (shading range 1)
  kShade2,    // value = level (shading range 2)
  kPattern1,  // pattern colour 1 (token 10)
  kPattern2,  // pattern colour 2 (token 11)
  kPattern3,  // pattern colour 3 (token 12)
};

struct SprPixel {
  SprKind kind = SprKind::kClear;
  uint8_t value = 0;
  bool operator==(const SprPixel&) const = default;
};

struct SprToken {
  uint8_t code = 0;
  uint8_t count = 0;
};

struct SprFrame {
  uint16_t height = 0;
  uint16_t width = 0;
  uint8_t flags = 0;
  std::vector<SprPixel> pixels;  // width * height, row-major from the top row
  std::vector<SprToken> tokens;  // every token in stream order (long line heads as code 4)
  int longLines = 0;             // lines written with the 6-byte head

  const SprPixel& At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// Decodes one SPR# frame of exactly `size` bytes. With `bigEndianHeader` the four 16-bit
// header words are read big-endian (frames inside a swapped list).
bool DecodeSprFrame(const uint8_t* data, size_t size, SprFrame& out, std::string& error,
                    bool bigEndianHeader = false);

// Palette colours of the token kinds, for turning a decoded frame back into indices.
struct SprColours {
  uint8_t shade1Low = 2;
  uint8_t shade2Low = 7;
  uint8_t pattern1 = 1;
  uint8_t pattern2 = 2;
  uint8_t pattern3 = 3;
};

// Palette index of each pixel, or -1 where it is transparent.
std::vector<int> SprToIndices(const SprFrame& frame, const SprColours& colours);

// ---- SPR2 frames ----------------------------------------------------------------------------

constexpr uint32_t kColorData = 1;
constexpr uint32_t kZData = 2;
constexpr uint32_t kAlphaData = 4;

struct Spr2Pixel {
  bool visible = false;
  bool hasAlpha = false;  // came from a kRunZPA
  uint8_t colour = 0;
  uint8_t z = 0;          // 0 unless the pixel came from kRunZP or kRunZPA
  uint8_t alpha = 0;      // 0 unless hasAlpha
  bool operator==(const Spr2Pixel&) const = default;
};

struct Spr2Token {
  uint16_t code = 0;   // word & 0xE000
  uint16_t count = 0;  // word & 0x1FFF
};

struct Spr2Frame {
  uint16_t width = 0;
  uint16_t height = 0;
  uint32_t flags = 0;
  uint16_t paletteId = 0;
  uint16_t clearColour = 0;
  uint16_t originY = 0;
  uint16_t originX = 0;
  std::vector<Spr2Pixel> pixels;  // width * height, row-major from the top row
  std::vector<Spr2Token> tokens;  // every token in stream order

  const Spr2Pixel& At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

constexpr uint16_t kNL = 0x0000;
constexpr uint16_t kRunZP = 0x2000;
constexpr uint16_t kRunZPA = 0x4000;
constexpr uint16_t kClear = 0x6000;
constexpr uint16_t kSL = 0x8000;
constexpr uint16_t kEOS = 0xA000;
constexpr uint16_t kRunP = 0xC000;

// Decodes one SPR2 frame of exactly `size` bytes (16-byte header, then the token stream).
// Rows that the stream does not reach (a trailing run of empty rows) are transparent.
bool DecodeSpr2Frame(const uint8_t* data, size_t size, Spr2Frame& out, std::string& error);

}  // namespace spritedec
