// Sprite specs and render sizes. A "sprite" (or "headline") tag names a source image laid out
// as a sheet of views and says how many frames, columns and views it holds; a "sizes" tag sets
// the cell sizes of the three zooms. From these the spec computes, for every sprite number,
// the cell to cut from the sheet, its origin and its view and zoom, and, once the compressor
// has trimmed the cells, where a view stands in a draw group.
//
// Zoom indexes inside a RenderSpec: 0 large, 1 medium, 2 small. Zoom numbers given to
// GetSpriteNumber and GetDrawOffset: 1 small to 3 large.
//
// Every failure ends the build with ThrowError. Not thread-safe: one build at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "GenericSpec.h"
#include "MacRect.h"
#include "StringBuffer.h"

class RenderSpec : public GenericSpec {
 public:
  static constexpr int32_t kZoomCount = 3;
  enum : int32_t { kLarge = 0, kMedium = 1, kSmall = 2 };

  RenderSpec();  // every size 0
  void CopyFrom(const RenderSpec& other);

  // Heights 96, 48, 24; widths 64, 32, 16; origins and slop widths 0; borders 1.
  void SetHeadlineDefaults();

  // Reads a "sizes" tag: "slopwidth" (N, N/2, N/4) or "uniform slopwidth" (N, N, N), "border"
  // for all zooms, and per zoom (prefix l, m, s) the required width and height and the
  // optional x origin (default width / 2) and y origin (default height - (4 << scale) -
  // slop width - border, scale 3, 2, 1 for large, medium, small).
  void ParseSizes(AttribTable& tag);

  int32_t fHeights[kZoomCount];
  int32_t fWidths[kZoomCount];
  int32_t fXOrigins[kZoomCount];
  int32_t fYOrigins[kZoomCount];
  int32_t fSlopWidths[kZoomCount];
  int32_t fBorders[kZoomCount];
};

// Where one sprite number is cut from the sheet.
struct SpriteCut {
  FixedStringBuffer<16> fZoomName;  // "large", "medium", "small"; "unknown" with reverse
  int32_t fRow = 0;                 // sheet row
  int32_t fColumn = 0;              // sheet column
};

class SpriteSpec : public GenericSpec {
 public:
  enum Symmetry : int32_t {
    kSymmetryNone = 0,
    kSymmetryBilateral = 1,
    kSymmetryRadial = 2,
    kSymmetryRadialFlip = 3,
  };
  // Bits of fShrink: the sides that the compressor may trim.
  enum : int32_t { kShrinkTop = 1, kShrinkAll = 15 };

  SpriteSpec();
  ~SpriteSpec() override;

  // Reads a "sprite" or "headline" tag. `counter` is the running sheet-row counter: reset to
  // 0 when the source differs from `previousSource` (the previous spec's source, or null for
  // the first), then used as the default position and advanced by the frames. `sizes` is
  // copied into the spec.
  void Parse(AttribTable& tag, int32_t& counter, const RenderSpec& sizes,
             const StringBuffer* previousSource, bool headline);

  // The smaller of the columns and the symmetry's view count (none 4, bi-lateral 2,
  // radial kinds 1).
  int32_t ViewsPerZoom() const;
  // The views that the symmetry draws, and so the columns a draw group needs of the sheet:
  // none 4, bi-lateral 2, radial kinds 1.
  int32_t SymmetryViewCount() const;
  // The symmetry's word in the markup: "none", "bi-lateral", "radial", "radial-flip".
  const char* SymmetryName() const;
  int32_t SpritesPerFrame() const { return ViewsPerZoom() * 3; }
  int32_t SpriteCount() const { return SpritesPerFrame() * fFrames; }
  bool HasDiagonals() const { return fFrames == 2; }

  // The cell of sprite number `n` in the sheet (shrunk by the zoom's border), its origin
  // point and its cut record.
  void GetSpriteRect(int32_t n, MacRect& rect, MacPoint& origin, SpriteCut& cut) const;

  // The sprite number and mirror flag of direction 0-7 at zoom 1-3 and frame `frame`. Odd
  // directions exist only for specs with diagonals (2 frames), and use the next frame.
  void GetSpriteNumber(int32_t direction, int32_t zoom, int32_t frame, int32_t& number,
                       bool& flip) const;

  // Keeps the compressor's trimmed cells as the compression bounds, after checking that
  // `computed` are this spec's cells in sprite-number order.
  void SetCompressionBounds(const std::vector<MacRect>& computed,
                            const std::vector<MacRect>& bounds);
  const std::vector<MacRect>& GetCompressionBounds() const { return fCompressionBounds; }

  // Where the trimmed sprite of (direction, zoom, frame) is drawn relative to the object's
  // origin. Needs the compression bounds.
  MacPoint GetDrawOffset(MacPoint& out, int32_t direction, int32_t zoom, int32_t frame) const;

  // Appends the cell and the cut record of every sprite number, in order.
  void GetSpriteRects(std::vector<MacRect>& cells, std::vector<SpriteCut>& cuts) const;

  const RenderSpec& GetSizes() const { return *fSizes; }

  int32_t fPosition = 0;       // first sheet row
  int32_t fColumns = 4;        // views per row block: 1, 2 or 4
  int32_t fFrames = 1;         // rows used
  int32_t fShrink = kShrinkAll;
  int32_t fPairing = 0;        // pair-group number, 0 = none
  uint16_t fReverse = 0;       // views run backwards
  int32_t fRotation = 0;       // 0, 2, 4 or 6
  int32_t fSymmetry = kSymmetryNone;
  int32_t fPaletteId = -1;     // negative: no palette resource
  FixedStringBuffer<260> mFileName;   // source image ("tgafile", else "bmpfile")
  FixedStringBuffer<260> fMaskFile;   // "mask"; empty when absent
  uint16_t fIsBMP = 0;         // the source came from "bmpfile"

 private:
  std::unique_ptr<RenderSpec> fSizes;
  std::vector<MacRect> fCompressionBounds;
};
