// Palettes: a 256-colour table that the colour searches read and a palette object that
// offscreen worlds select, plus the program-wide global palette, the palette-file reader and
// the PALT palette record stored beside sprites.
//
// Every image reader maps true colour to indices with PalWrap::FindNearestColor (weighted
// distance 2*dR^2 + 4*dG^2 + dB^2, lowest index on ties). The search keeps grids of candidate
// entries over the colour cube, dropped whenever the palette's colours change through this
// class.
//
// Not thread-safe: the global palette is shared by everything on the build thread.
#ifndef GRAPHICS_PALWRAP_H
#define GRAPHICS_PALWRAP_H

#include <cstdint>
#include <memory>
#include <vector>

#include "PlatformBitmap.h"

class ImageFileReader;

class StringBuffer;

// Number of per-palette lookup tables, each 512 bytes.
constexpr int32_t kPaletteCount = 5;
constexpr int32_t kPaletteTableSize = 512;

// The PALT record: little-endian u32 version (1), u32 colour count (1..256), 8 reserved zero
// bytes, then an R, G, B triple per colour. The writer always stores 256 colours.
constexpr uint32_t kPaletteRsrcType = 0x50414C54;  // 'PALT'
constexpr uint32_t kPaletteRsrcVersion = 1;
constexpr uint32_t kPaletteRsrcHeaderSize = 16;
constexpr uint32_t kPaletteRsrcSize = 784;

class PalWrap {
 public:
  PalWrap();
  // Asserts unless the reference count is 0 (or 1 for the global palette); then Dispose.
  virtual ~PalWrap();
  PalWrap(const PalWrap&) = delete;
  PalWrap& operator=(const PalWrap&) = delete;

  // Deletes the palette object and frees the colour table; the palette is empty again.
  void Dispose();

  // Replaces the palette with the 256 `colors`. With `systemColors`, entries 0-9 and 246-255
  // become the display's 20 static colours (flags 0) and 10-245 get the no-collapse flag;
  // without, every entry gets the reserved and no-collapse flags.
  void Create(const PlatformColorEntry colors[256], uint8_t systemColors);

  // Reads 256 colours with ReadPaletteFile (black where the file gives none) and Creates the
  // palette from them. Answers false when the file could not be opened (the palette is then
  // all black).
  bool LoadFromFile(const StringBuffer& path, uint8_t systemColors);
  // The same from a file already open in `file` (which stays open).
  bool LoadFromFile(ImageFileReader& file, uint8_t systemColors);

  // Replaces the palette with the colours of a PALT record of `size` bytes. The record is
  // checked first: version 1, a count of 1..256 and 16 + 3 * count bytes present. A record
  // that fails asserts and answers false, leaving the palette as it was. No palette object
  // is made; the colour table always holds 256 entries, black past the count.
  bool ReadPaletteRsrc(const void* record, uint32_t size);

  // The colour table (256 entries once filled), or null when empty. Whoever changes entries
  // through it must call ColorsChanged() before searching again.
  PlatformColorEntry* GetColors() { return fColors.get(); }
  const PlatformColorEntry* GetColors() const { return fColors.get(); }
  void ColorsChanged();

  PlatformPalette* GetPalette() const { return fPalette; }
  int32_t GetColorsUsed() const { return mColorsUsed; }
  bool UsesSystemColors() const { return mSystemColors != 0; }
  // 0x00RRGGBB of entry `i`, filled only by ReadPaletteRsrc.
  uint32_t GetPackedColor(int32_t i) const { return (i >= 0 && i < 256) ? mPackedColors[i] : 0; }

  // 10 and 245 when the palette reserves the system colours, else 0 and 255.
  int32_t FirstUsableIndex() const { return mSystemColors ? 10 : 0; }
  int32_t LastUsableIndex() const { return mSystemColors ? 245 : 255; }

  // The usable index nearest to (r, g, b) by 2*dR^2 + 4*dG^2 + dB^2; the lowest index wins a
  // tie, so an exact match answers the lowest index holding that colour. Only the entries
  // the palette has are searched. Without a colour table the answer is `r`.
  uint8_t FindNearestColor(uint8_t r, uint8_t g, uint8_t b);
  // An exact match in the usable range first, else FindNearestColor; both give the same
  // answer. Without a colour table the answer is `r` (the alpha world relies on that).
  uint8_t FindColor(uint8_t r, uint8_t g, uint8_t b);
  // FindColor of `count` pixels stored B, G, R (and one more byte when `bytesPerPixel` is 4)
  // from `pixels`, into `out`: the matching of whole rows of true-colour images.
  void FindColors(const uint8_t* pixels, int32_t bytesPerPixel, int32_t count, uint8_t* out);

  // Lookup table `inType` (0..kPaletteCount-1), kPaletteTableSize bytes; asserts and answers
  // null for another number.
  uint8_t* GetTable(int32_t inType);
  uint8_t* GetLastTable() { return GetTable(kPaletteCount - 1); }

  float GetOtherAmbient() const { return mOtherAmbientValue; }
  // Asserts unless 0 <= value <= 1.0, and stores it either way.
  void SetOtherAmbient(float value);

  // The reference count kept by palette references.
  int32_t GetRefCount() const { return mRefCount; }
  void AddRef() { ++mRefCount; }
  int32_t Release() { return --mRefCount; }

 private:
  // Makes the grids below for the current colours unless they are made.
  void PrepareGrids();
  // Makes the fine cell of (r, g, b) and answers its value.
  uint32_t MakeFineCell(uint32_t r, uint32_t g, uint32_t b);
  // Writes to `out`, in index order, those of the `entries` (in index order) that some colour
  // of the cell of side `side` from `lo` can answer; answers how many.
  int32_t PruneForCell(const uint8_t* entries, int32_t count, const int32_t lo[3], int32_t side,
                       uint8_t* out) const;

  PlatformPalette* fPalette = nullptr;
  std::unique_ptr<PlatformColorEntry[]> fColors;
  int32_t mColorsUsed = 0;
  uint8_t mSystemColors = 0;
  int32_t mRefCount = 0;
  float mOtherAmbientValue = 0.3f;
  int32_t mSpare = 0;
  uint32_t mPackedColors[256] = {};
  uint8_t mTables[kPaletteCount][kPaletteTableSize] = {};

  // The search works on grids over the colour cube, made as colours are asked and made again
  // after the colours change. Super cells (64 x 64 x 64 colours) and, from their lists, coarse
  // cells (16 x 16 x 16 colours) list every entry that can be nearest to some colour of the
  // cell, in index order. A fine cell (4 x 4 x 4 colours) names a block of 64 answers, one per
  // colour of the cell: for most fine cells, which lie inside one entry's region, one of the
  // 256 blocks that answer a single index; for the others a block of their own, filled from
  // the coarse cell's list when the cell is first asked.
  const uint8_t* CellCandidates(uint32_t cell, int32_t& count);
  bool fGridsReady = false;
  bool fRepeated[256] = {};  // the entry's colour is an earlier usable entry's
  int32_t fRed[256] = {}, fGreen[256] = {}, fBlue[256] = {};  // the colours, as the grids read them
  static constexpr uint32_t kSupers = 4 * 4 * 4;  // cells of 64 x 64 x 64 colours
  uint8_t fUsable[256] = {};  // the usable entries, repeated colours left out, in index order
  int32_t fUsableCount = 0;
  int32_t fSuperCount[kSupers] = {};  // -1 until made
  std::unique_ptr<uint8_t[]> fSuperCandidates;  // 256 per super cell
  std::unique_ptr<uint32_t[]> fCellStart;  // offset into fCandidates; kNoCell until made
  std::unique_ptr<uint16_t[]> fCellCount;
  std::unique_ptr<uint8_t[]> fCandidates;
  uint32_t fCandidatesUsed = 0;
  std::unique_ptr<uint32_t[]> fFine;  // per fine cell: 0 until made, else its block + 1
  std::vector<uint8_t> fBlocks;       // 64 answers per block
};

// The program-wide palette: made before first use, alive until the program ends.
PalWrap* GetGlobalPalette();

// Reads a palette file into `outEntries` (R, G, B of each entry; flags untouched). An 8-bit
// BMP gives its colour table (at 14 + its info-header size; at most 256 entries, entries past
// its count are not written); any other file gives 256 raw R, G, B triples from byte 0 (a
// short file asserts and leaves the missing entries untouched). Answers false, asserting,
// when the file cannot be opened.
bool ReadPaletteFile(const StringBuffer& path, PlatformColorEntry outEntries[256]);
// The same from a file already open in `file` (which stays open).
bool ReadPaletteFile(ImageFileReader& file, PlatformColorEntry outEntries[256]);

// Fills the kPaletteRsrcSize bytes at `outRecord` with the PALT record of `pal`: version 1,
// 256 colours, reserved zero, then R, G, B of each of the 256 entries (black for a palette
// without colours, or a null one).
void PaletteRsrcFromPalWrap(const PalWrap* pal, void* outRecord);

#endif  // GRAPHICS_PALWRAP_H
