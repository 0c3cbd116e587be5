// The sprite compressor: the SPR# encoder's settings and its per-frame state. One
// program-wide instance, gCompressor, made by each program's start-up (or by the first
// sprite or tile maker that finds it missing) and used by one build at a time.
// The encoding operations live in the encoder's own source files.
#pragma once

#include <cstdint>

class PalWrap;
class Offscreen;
struct MHandle;
struct MacRect;

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

  // ---- SPR# encoding and sprite lists (CompressFrame.cpp, SpriteList.cpp) ----
  // Result codes are in SpriteList.h.

  // True when the settings contradict each other (a clear or pattern colour inside an
  // enabled shading range, overlapping or reversed ranges, ...); such settings give 1100.
  bool SettingsInconsistent() const;

  // Colour suppression of one colour for the current frame (cached per frame).
  uint8_t SuppressColor(uint8_t colour);

  // Encodes `frame` of `world` into a new SPR# frame handle that the caller owns. `palette`
  // serves colour suppression. Returns 0, a memory error, 1100 for inconsistent settings or
  // 1103 when a run or line does not fit its field; on failure `outFrame` is null.
  int32_t CompressFrame(Offscreen* world, const MacRect& frame, MHandle*& outFrame, PalWrap* palette);

  // Encodes `count` frames into a new sprite list {version, count, palette id, offsets,
  // frames}. Returns 0 or the first frame's error; on failure `outList` is null.
  int32_t CompressSpriteList(Offscreen* world, const MacRect* frames, MHandle*& outList, int16_t count,
                             PalWrap* palette, uint32_t paletteId, uint32_t version);

  // Appends a copy of `frame` (which stays the caller's) to `list`. Returns 0 or the
  // memory error of the resize.
  static int32_t AppendSpriteList(MHandle* list, MHandle* frame);

  // Appends the frames of `source` to `destination` (its own frames first) and sets its
  // version to 503. Returns 0, 1101 (counts differ), 1102 (a frame size differs) or a
  // memory error; on an error `destination` is unchanged.
  static int32_t MergeSpriteLists(MHandle* source, MHandle* destination);

  // Shrinks each rect past border rows and columns of the clear colour on the chosen sides
  // (1 top, 2 left, 4 bottom, 8 right). A rect that becomes empty is set to all zero when
  // `zeroEmpty` is set and left as given otherwise. Does nothing unless the clear colour is on.
  // Reads the world's pixels only (not the port): separate compressors may trim frames of one
  // world side by side.
  void TrimFrames(Offscreen* world, MacRect* rects, int16_t count, uint8_t sides, uint32_t zeroEmpty);

  // Widens each rect, one pixel at a time on the chosen sides, while the row or column just
  // outside it (inside `limit`) holds a pixel that is not the clear colour.
  void GrowFrames(Offscreen* world, const MacRect& limit, MacRect* rects, int16_t count, uint8_t sides);

  // Standard frame width of a picture-id range (8 to 128), 0 for an unknown id.
  static int16_t GetStandardWidth(int32_t pictID);
  // Number of standard-width frames in a strip.
  static int16_t StripFrameCount(int32_t pictID, const MacRect& strip);
  // Cuts the strip (moved to 0,0) into StripFrameCount standard-width frames trimmed at top
  // and bottom; `outRects` must hold that many. Returns the count.
  int16_t CutStrip(Offscreen* world, int32_t pictID, const MacRect& strip, MacRect* outRects);

  SuppressionEntry fSuppressionCache[256];
  PalWrap* fPalette;  // palette for colour suppression, set per frame
  CompressorSettings fSettings;
};

// The program-wide compressor; null until it is made.
extern Compressor* gCompressor;
