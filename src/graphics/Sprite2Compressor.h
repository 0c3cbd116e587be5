// The SPR2 encoder: turns 8-bit offscreen worlds (colour, and optionally depth and alpha)
// into SPR2 frames of 16-bit tokens, plus the two z-buffer passes that prepare its input.
//
// Frame layout (little-endian): u16 width, u16 height, u32 flags, u16 palette id, u16 clear
// colour, u16 origin y, u16 origin x, then the token stream. Each token word holds its code in
// the top 3 bits and a 13-bit count below; see Sprite2Token.
//
// Not thread-safe: one build at a time uses the encoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "MHandle.h"
#include "MacRect.h"

class Offscreen;

// Token codes (word & 0xE000).
enum Sprite2Token : uint16_t {
  kNL = 0x0000,      // new line; count = byte length of the line including this word
  kRunZP = 0x2000,   // count {z, colour} pairs
  kRunZPA = 0x4000,  // count {z, colour, alpha} triples, then a pad byte when count is odd
  kClear = 0x6000,   // count transparent pixels to skip
  kSL = 0x8000,      // count (>= 3) fully transparent lines to skip
  kEOS = 0xA000,     // end of stream
  kRunP = 0xC000,    // count colour bytes, then a pad byte when count is odd
};

// Frame flags (offset 4).
enum Sprite2Flags : uint32_t {
  kColorData = 1,
  kZData = 2,
  kAlphaData = 4,
};

constexpr uint16_t kSprite2CountMask = 0x1FFF;  // largest count a token holds: 8191
constexpr uint16_t kSprite2TokenMask = 0xE000;
constexpr uint8_t kSprite2Pad = 0xB0;           // the pad byte after odd-length run data
constexpr uint16_t kSprite2NoPalette = 0xFFFF;  // palette-id word of a frame without a palette

// Size of the frame header in front of the token stream.
inline constexpr int Sprite2FrameHeaderSize() { return 16; }

// The token stream of one frame while it is built: a byte vector of 16-bit token words (each
// at an even offset) and their data.
class Sprite2Stream {
 public:
  // `reserveBytes` is a capacity hint; the stream grows as needed.
  explicit Sprite2Stream(size_t reserveBytes = 0);

  // Code (word & 0xE000) / count (word & 0x1FFF) of the word at byte offset i (even).
  uint16_t GetToken(size_t i) const;
  uint16_t GetData(size_t i) const;
  // Replace the code bits / the 13 count bits (value & 0x1FFF) of the word at i (even).
  void SetToken(size_t i, uint16_t code);
  void SetData(size_t i, uint16_t value);

  void PushByte(uint8_t a) { mBytes.push_back(a); }
  void PushPair(uint8_t a, uint8_t b);  // size must be even
  void PushTriple(uint8_t a, uint8_t b, uint8_t c);
  // Appends `count` bytes and answers where they start; valid until the next append.
  uint8_t* Grow(size_t count);
  void Pad();  // appends kSprite2Pad when the size is odd

  // Pads, appends a token word and answers its offset (which becomes the last token).
  size_t StartToken(uint16_t code, uint16_t count);
  // Offset of the most recently started token.
  size_t LastToken() const;
  // Removes the last token's word; it must be the last thing in the stream.
  void DropLastToken();

  // Rebuilds the token-offset index by walking the stream from offset 0 (lines are walked
  // into). Answers false, and leaves the index as far as it got, when a token lies at an odd
  // offset or its data run past the end.
  bool Reindex();
  size_t TokenCount() const { return mTokens.size(); }
  uint16_t TokenAt(size_t n) const { return GetToken(mTokens[n]); }
  size_t TokenOffset(size_t n) const { return mTokens[n]; }

  size_t size() const { return mBytes.size(); }
  const uint8_t* data() const { return mBytes.data(); }
  uint8_t* data() { return mBytes.data(); }
  // Cuts the stream to `newSize` bytes (used by the folding pass, which compacts in place).
  void Truncate(size_t newSize);

 private:
  std::vector<uint8_t> mBytes;
  long mLastToken = -1;
  std::vector<size_t> mTokens;
};

// Frame rects are in the worlds' pixel coordinates (0,0 is the top-left pixel); all worlds of
// one call have the same size.
//
// Encodes `frame` of the colour world: transparent where a pixel equals the world's top-left
// pixel. Origins are measured from the top-left of `reference`. Answers a new handle (flags 1)
// that the caller owns, or null when the frame cannot be stored (a rect outside the world, a
// count or line too long for its 13-bit field) or memory runs out; the reason goes to the
// debug output.
MHandle* EncodeSprite2Color(Offscreen* colour, const MacRect& reference, const MacRect& frame,
                            uint16_t paletteId = kSprite2NoPalette);

// As above with depth: z 255 is transparent, any other pixel is a {z, colour} pair (flags 3).
// The worlds must be of one size.
MHandle* EncodeSprite2ColorZ(Offscreen* colour, Offscreen* z, const MacRect& reference,
                             const MacRect& frame, uint16_t paletteId = kSprite2NoPalette);

// As above with alpha reduced to `alpha_bits` (1..8) bits: a visible pixel at the opaque value
// (the complement of the alpha world's top-left pixel, reduced) is a {z, colour} pair, any other
// a {z, colour, alpha} triple (flags 7). The three worlds must be of one size.
MHandle* EncodeSprite2ColorZAlpha(Offscreen* colour, Offscreen* z, Offscreen* alpha,
                                  const MacRect& reference, const MacRect& frame, int alpha_bits,
                                  uint16_t paletteId = kSprite2NoPalette);

// The self-check that every new frame passes: the stream after the header is lines (kNL) and
// skips (kSL) up to a kEOS that ends the `size` bytes; every kNL's count lands on a kNL, kSL or
// kEOS, the run and clear tokens of its line end exactly there, and run data keep tokens at
// even offsets. Nothing is read past `size`.
bool CheckSprite2Frame(const uint8_t* frame, size_t size);

// Gives every visible pixel (colour not the top-left colour) whose z is 255 the rounded mean
// of its neighbours' z (left/right, else up/down, else the diagonals), in place. A z world of
// 0 x 0 is left alone; a pixel without neighbouring depth stays 255 and is reported on stderr.
void CleanUpZBuffer(Offscreen* colour, Offscreen* z);

// CleanUpZBuffer, then makes transparent (z 255) every pixel whose alpha, reduced to
// `alpha_bits` bits, is 0.
void ApplyAlphaToZBuffer(Offscreen* colour, Offscreen* z, Offscreen* alpha, int alpha_bits);

// Writes a text dump of the frame of `size` bytes to "debugdecode.txt" in the current folder.
void DebugDecodeSprite2(const uint8_t* frame, size_t size);
