// 8-bit palette-indexed bitmaps held in memory, the drawing contexts that select them, palette
// objects and the index-copying blits between them. This is the host's stand-in for the
// bitmap services that offscreen worlds and palettes are built on.
//
// A bitmap is stored bottom-up, as device-independent bitmaps are: the lowest address holds
// the bottom row and every row is padded to a multiple of 4 bytes. Pixels are zero when the
// bitmap is made. Each bitmap carries a 256-entry colour table.
//
// Drawing-context coordinates count from the top-left pixel, y growing downwards.
//
// Not thread-safe: each object has one user at a time.
#ifndef PLATFORM_BITMAP_H
#define PLATFORM_BITMAP_H

#include <atomic>
#include <cstdint>
#include <vector>

#include "PlatformMemory.h"

class PlatformDC;

// One colour: red, green, blue and a flags byte (the palette-entry flags below; zero in a
// bitmap's colour table).
struct PlatformColorEntry {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t flags = 0;
};

// Palette-entry flags.
constexpr uint8_t kPlatformPaletteReserved = 0x01;    // the entry may be animated
constexpr uint8_t kPlatformPaletteNoCollapse = 0x04;  // the entry is not merged with another

// Largest width or height of a bitmap.
constexpr int32_t kPlatformBitmapMaxSide = 32767;

// What the query of a bitmap answers.
struct PlatformBitmapInfo {
  int32_t width = 0;
  int32_t height = 0;           // positive: rows are stored bottom-up
  int32_t rowLength = 0;        // bytes per stored row: width rounded up to a multiple of 4
  uint16_t bitsPerPixel = 0;    // 8
  uint8_t* bits = nullptr;      // first byte of the bottom row
};

// An 8-bit device-independent bitmap. Made only by PlatformCreateBitmap8.
class PlatformBitmap {
 public:
  PlatformBitmap(const PlatformBitmap&) = delete;
  PlatformBitmap& operator=(const PlatformBitmap&) = delete;

  int32_t Width() const { return fWidth; }
  int32_t Height() const { return fHeight; }
  int32_t RowLength() const { return fRowLength; }
  // Start of the stored pixels (the bottom row); Width() bytes of each row are the picture.
  uint8_t* Bits() { return fPixels.data(); }
  const uint8_t* Bits() const { return fPixels.data(); }
  // Address of row `y` counted from the top of the picture; y must be in 0..Height()-1.
  uint8_t* TopDownRow(int32_t y) { return fPixels.data() + (int64_t)(fHeight - 1 - y) * fRowLength; }
  const PlatformColorEntry* ColorTable() const { return fColors; }
  // Number of drawing contexts that have this bitmap selected (0 or 1).
  int32_t SelectCount() const { return fSelectCount; }

 private:
  friend PlatformBitmap* PlatformCreateBitmap8(int32_t, int32_t, const PlatformColorEntry*,
                                                uint8_t**, PlatformBitmap*);
  friend class PlatformDC;
  friend PlatformBitmap* PlatformSelectBitmap(PlatformDC*, PlatformBitmap*);
  PlatformBitmap() = default;

  int32_t fWidth = 0;
  int32_t fHeight = 0;
  int32_t fRowLength = 0;
  // Atomic for the stock bitmap, which every new context of every thread selects.
  std::atomic<int32_t> fSelectCount{0};
  PlatformPixelMemory fPixels;
  PlatformColorEntry fColors[256];
};

// Makes a zeroed width x height bitmap, stored bottom-up. `colors` gives the 256-entry colour
// table (flags are cleared), or null for an all-black table. `outBits`, when not null,
// receives the address of the stored pixels (the bottom row). Returns null when width or
// height is not in 1..kPlatformBitmapMaxSide or memory runs out.
//
// With `recycled` (a bitmap that no drawing context has selected, of the same width and
// height), the new bitmap takes over its pixel memory as it stands instead of zeroed memory,
// for a caller that is about to write every pixel; `recycled` is left without pixels and is
// still the caller's to delete. A `recycled` bitmap of another size is ignored.
PlatformBitmap* PlatformCreateBitmap8(int32_t width, int32_t height,
                                      const PlatformColorEntry* colors, uint8_t** outBits,
                                      PlatformBitmap* recycled = nullptr);

// Deletes a bitmap. Refused (false, nothing freed) while a drawing context has it selected or
// for the stock bitmap. Null answers false.
bool PlatformDeleteBitmap(PlatformBitmap* bitmap);

// Describes a bitmap; false for null.
bool PlatformGetBitmapInfo(PlatformBitmap* bitmap, PlatformBitmapInfo* outInfo);

// A palette object: up to 256 colours with their flags.
class PlatformPalette {
 public:
  PlatformPalette(const PlatformPalette&) = delete;
  PlatformPalette& operator=(const PlatformPalette&) = delete;

  int32_t Count() const { return (int32_t)fEntries.size(); }
  const PlatformColorEntry* Entries() const { return fEntries.data(); }
  int32_t SelectCount() const { return fSelectCount; }

 private:
  friend PlatformPalette* PlatformCreatePalette(const PlatformColorEntry*, int32_t);
  friend PlatformPalette* PlatformStockPalette();
  friend PlatformPalette* PlatformSelectPalette(PlatformDC*, PlatformPalette*);
  friend bool PlatformDeletePalette(PlatformPalette*);
  friend class PlatformDC;
  PlatformPalette() = default;

  void Unselect();

  std::vector<PlatformColorEntry> fEntries;
  // Atomic for the stock palette, which every new context of every thread selects.
  std::atomic<int32_t> fSelectCount{0};
  bool fDeleted = false;  // deleted while selected: freed by the last Unselect
};

// Makes a palette of `count` (1..256) entries copied from `entries`; null otherwise.
PlatformPalette* PlatformCreatePalette(const PlatformColorEntry* entries, int32_t count);

// Deletes a palette. One still selected into drawing contexts is freed when the last of them
// lets it go (deleted or given another palette). Refused (false) for the stock palette and
// for null.
bool PlatformDeletePalette(PlatformPalette* palette);

// The palette that every drawing context starts with (the 20 system colours); never deleted.
PlatformPalette* PlatformStockPalette();

// Copies `count` entries of the display's system palette, starting at `first`, into `out`.
// Entries 0-9 and 246-255 are the 20 static system colours; the others are black. Entries
// outside 0..255 are not written. Answers the number of entries copied.
int32_t PlatformGetSystemPaletteEntries(int32_t first, int32_t count, PlatformColorEntry* out);

class PlatformPen;

// What the 2-D drawing calls (PlatformDraw.h) keep per drawing context.
struct PlatformDrawState {
  int32_t penX = 0;  // current pen position
  int32_t penY = 0;
  uint32_t backColor = 0x00FFFFFF;  // 0x00BBGGRR
  PlatformPen* pen = nullptr;       // null: the stock black pen
};

// A memory drawing context: draws into the bitmap selected into it.
class PlatformDC {
 public:
  PlatformDC(const PlatformDC&) = delete;
  PlatformDC& operator=(const PlatformDC&) = delete;

  PlatformDrawState fDrawState;

  PlatformBitmap* Bitmap() const { return fBitmap; }
  PlatformPalette* Palette() const { return fPalette; }

 private:
  friend PlatformDC* PlatformCreateMemoryDC();
  friend bool PlatformDeleteDC(PlatformDC*);
  friend PlatformBitmap* PlatformSelectBitmap(PlatformDC*, PlatformBitmap*);
  friend PlatformPalette* PlatformSelectPalette(PlatformDC*, PlatformPalette*);
  PlatformDC() = default;
  ~PlatformDC();

  PlatformBitmap* fBitmap = nullptr;
  PlatformPalette* fPalette = nullptr;
};

// Makes a memory drawing context with the stock 1 x 1 bitmap and the stock palette selected.
PlatformDC* PlatformCreateMemoryDC();

// Deletes a drawing context; what it had selected stays alive (its owner deletes it).
bool PlatformDeleteDC(PlatformDC* dc);

// The 1 x 1 bitmap that a new drawing context holds; never deleted.
PlatformBitmap* PlatformStockBitmap();

// Selects `bitmap` into `dc` and answers the bitmap selected before. A bitmap can be selected
// into one drawing context at a time: null is answered (and nothing changes) when it is
// selected elsewhere or either argument is null.
PlatformBitmap* PlatformSelectBitmap(PlatformDC* dc, PlatformBitmap* bitmap);

// Selects `palette` into `dc` and answers the palette selected before; null (and no change)
// when either argument is null.
PlatformPalette* PlatformSelectPalette(PlatformDC* dc, PlatformPalette* palette);

// Copies a width x height block of palette indices from (srcX, srcY) of the bitmap selected
// into `src` to (dstX, dstY) of the bitmap selected into `dst`. The block is clipped to both
// bitmaps; nothing is written outside the destination. Indices are copied unchanged, so both
// bitmaps are taken to share a palette. Source and destination may be the same bitmap.
// False when a context is null or the size is not positive.
bool PlatformBitBlt(PlatformDC* dst, int32_t dstX, int32_t dstY, int32_t width, int32_t height,
                    PlatformDC* src, int32_t srcX, int32_t srcY);

// Scales the srcWidth x srcHeight block at (srcX, srcY) of `src` onto the dstWidth x dstHeight
// block at (dstX, dstY) of `dst`, each destination pixel taking the source pixel under its
// position (nearest neighbour). Destination pixels outside the destination bitmap are not
// written, and those whose source lies outside the source bitmap are left as they were.
// False when a context is null or a size is not positive.
bool PlatformStretchBlt(PlatformDC* dst, int32_t dstX, int32_t dstY, int32_t dstWidth,
                        int32_t dstHeight, PlatformDC* src, int32_t srcX, int32_t srcY,
                        int32_t srcWidth, int32_t srcHeight);

#endif  // PLATFORM_BITMAP_H
