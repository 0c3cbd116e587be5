// The sprite compressor: the SPR# encoder's settings and its per-frame state. One
// program-wide instance, gCompressor, made by each program's start-up (or by the first
// sprite or tile maker that finds it missing) and used by one build at a time.
// The encoding operations live in the encoder's own source files.
#pragma once

#include <cstdint>

class PalWrap;

// Bits of CompressorSettings::flags.
constexpr uint8_t kCompressClearColor = 0x01;  // the clear colour is transparent
constexpr uint8_t kCompressShading1 = 0x02;    // shading range 1 written as levels
constexpr uint8_t kCompressShading2 = 0x04;    // shading range 2 written as levels
constexpr uint8_t kCompressPatterns = 0x08;    // pattern colours written as pattern tokens
constexpr uint8_t kCompressRepeats = 0x10;     // runs written as repeat tokens
constexpr uint8_t kCompressSuppress = 0x20;    // colour suppression

// The 12-byte settings record, byte by byte in this order; the sprite and tile makers
// replace it whole before each list they compress.
struct CompressorSettings {
  uint8_t flags = kCompressClearColor | kCompressRepeats | kCompressSuppress;  // 0x31
  uint8_t clearColor = 0;
  uint8_t minRepeat = 8;  // shortest run written as a repeat token
  uint8_t patternColor1 = 1;
  uint8_t patternColor2 = 2;
  uint8_t patternColor3 = 3;
  uint8_t shading1Low = 2;
  uint8_t shading1High = 6;
  uint8_t shading2Low = 7;
  uint8_t shading2High = 11;
  uint8_t suppressLow = 0;  // colours kept by suppression
  uint8_t suppressHigh = 255;
};
static_assert(sizeof(CompressorSettings) == 12, "the settings record is 12 bytes");

class Compressor {
 public:
  // Result of colour suppression for one input colour, cleared per frame.
  struct SuppressionEntry {
    uint8_t done;
    uint8_t colour;
  };

  Compressor();  // Default settings, no palette, empty cache.

  // Replaces the settings record whole.
  void SetSettings(const CompressorSettings& settings) { fSettings = settings; }
  const CompressorSettings& GetSettings() const { return fSettings; }

  void ClearSuppressionCache();

  SuppressionEntry fSuppressionCache[256];
  PalWrap* fPalette;  // palette for colour suppression, set per frame
  CompressorSettings fSettings;
};

// The program-wide compressor; null until it is made.
extern Compressor* gCompressor;
