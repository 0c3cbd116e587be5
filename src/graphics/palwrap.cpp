#include "palwrap.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "ImageFileReader.h"
#include "StringBuffer.h"
#include "XAssert.h"

namespace {

constexpr int32_t kCellSide = 16;
constexpr int32_t kFineSide = 4;
constexpr int32_t kSuperSide = 64;
constexpr uint32_t kCells = 16 * 16 * 16;
constexpr uint32_t kNoCell = 0xFFFFFFFFu;
constexpr uint32_t kFineCells = 64 * 64 * 64;
constexpr uint32_t kBlockSize = 64;  // answers of the 4 x 4 x 4 colours of a fine cell

inline uint32_t FineIndex(uint32_t r, uint32_t g, uint32_t b) { return (r >> 2) << 12 | (g >> 2) << 6 | (b >> 2); }

// A colour's place among the 64 of its fine cell.
inline uint32_t BlockIndex(uint32_t r, uint32_t g, uint32_t b) { return (r & 3) << 4 | (g & 3) << 2 | (b & 3); }

PalWrap* gGlobalPaletteAddress = nullptr;

uint32_t GetLE32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

uint16_t GetLE16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

}  // namespace

PalWrap::PalWrap() = default;

PalWrap::~PalWrap() {
  XASSERT((mRefCount == 0) || ((mRefCount == 1) && (this == gGlobalPaletteAddress)),
          "Deleting PalWrap object with non-zero refcount");
  Dispose();
}

void PalWrap::Dispose() {
  if (fPalette) PlatformDeletePalette(fPalette);
  fPalette = nullptr;
  fColors.reset();
  mColorsUsed = 0;
  ColorsChanged();
}

void PalWrap::ColorsChanged() {
  fGridsReady = false;  // made again, for the new colours, by the next search
}

void PalWrap::PrepareGrids() {
  if (fGridsReady) return;
  if (!fFine) {
    fCellStart.reset(new uint32_t[kCells]);
    fCellCount.reset(new uint16_t[kCells]);
    fCandidates.reset(new uint8_t[(size_t)kCells * 256]);
    fSuperCandidates.reset(new uint8_t[(size_t)kSupers * 256]);
    fFine.reset(new uint32_t[kFineCells]);
  }
  std::fill(fCellStart.get(), fCellStart.get() + kCells, kNoCell);
  fCandidatesUsed = 0;
  std::memset(fFine.get(), 0, sizeof(uint32_t) * kFineCells);
  // Blocks 0 to 255 answer one index for every colour: the blocks of fine cells of one answer.
  fBlocks.resize(256 * kBlockSize);
  for (uint32_t i = 0; i < 256; ++i) std::memset(fBlocks.data() + i * kBlockSize, (int)i, kBlockSize);
  // An entry whose colour an earlier usable entry has can never answer: the earlier one wins
  // every tie.
  const int32_t first = FirstUsableIndex();
  const int32_t last = std::min(LastUsableIndex(), mColorsUsed - 1);
  for (int32_t i = 0; i < 256; ++i) {
    fRepeated[i] = false;
    fRed[i] = fColors[i].red;
    fGreen[i] = fColors[i].green;
    fBlue[i] = fColors[i].blue;
  }
  fUsableCount = 0;
  for (int32_t i = first; i <= last; ++i) {
    for (int32_t j = first; j < i && !fRepeated[i]; ++j) {
      fRepeated[i] = !fRepeated[j] && fColors[j].red == fColors[i].red && fColors[j].green == fColors[i].green &&
                     fColors[j].blue == fColors[i].blue;
    }
    if (!fRepeated[i]) fUsable[fUsableCount++] = (uint8_t)i;
  }
  for (int32_t& n : fSuperCount) n = -1;
  fGridsReady = true;
}

const uint8_t* PalWrap::CellCandidates(uint32_t cell, int32_t& count) {
  if (fCellStart[cell] != kNoCell) {
    count = fCellCount[cell];
    return fCandidates.get() + fCellStart[cell];
  }
  // From the entries of the super cell (64 x 64 x 64 colours) that holds this cell; those are
  // made from every usable entry when first asked.
  const uint32_t super = (cell >> 10) << 4 | ((cell >> 6) & 3) << 2 | ((cell >> 2) & 3);
  if (fSuperCount[super] < 0) {
    const int32_t superLo[3] = {(int32_t)(super >> 4) * kSuperSide, (int32_t)((super >> 2) & 3) * kSuperSide,
                                (int32_t)(super & 3) * kSuperSide};
    fSuperCount[super] = PruneForCell(fUsable, fUsableCount, superLo, kSuperSide, fSuperCandidates.get() + super * 256);
  }
  const int32_t lo[3] = {(int32_t)(cell >> 8) * kCellSide, (int32_t)((cell >> 4) & 15) * kCellSide,
                         (int32_t)(cell & 15) * kCellSide};
  const uint32_t start = fCandidatesUsed;
  const int32_t n = PruneForCell(fSuperCandidates.get() + super * 256, fSuperCount[super], lo, kCellSide,
                                 fCandidates.get() + start);
  fCandidatesUsed += (uint32_t)n;
  fCellStart[cell] = start;
  fCellCount[cell] = (uint16_t)n;
  count = n;
  return fCandidates.get() + start;
}

void PalWrap::Create(const PlatformColorEntry colors[256], uint8_t systemColors) {
  Dispose();
  mColorsUsed = 256;
  fColors.reset(new PlatformColorEntry[256]);
  mSystemColors = systemColors ? 1 : 0;

  PlatformColorEntry entries[256];
  if (colors) std::copy(colors, colors + 256, entries);
  if (mSystemColors) {
    PlatformColorEntry system[256];
    PlatformGetSystemPaletteEntries(0, 256, system);
    for (int i = 0; i < 256; ++i) {
      if (i < 10 || i > 245) {
        entries[i] = system[i];
        entries[i].flags = 0;
      } else {
        entries[i].flags = kPlatformPaletteNoCollapse;
      }
    }
  } else {
    for (PlatformColorEntry& e : entries) {
      e.flags = kPlatformPaletteReserved | kPlatformPaletteNoCollapse;
    }
  }
  std::copy(entries, entries + 256, fColors.get());
  fPalette = PlatformCreatePalette(entries, 256);
  XASSERT(fPalette, "Failed to create the Palette\n");
  ColorsChanged();
}

bool PalWrap::LoadFromFile(const StringBuffer& path, uint8_t systemColors) {
  PlatformColorEntry entries[256];
  bool read = ReadPaletteFile(path, entries);
  Create(entries, systemColors);
  return read;
}

bool PalWrap::LoadFromFile(ImageFileReader& file, uint8_t systemColors) {
  PlatformColorEntry entries[256];
  bool read = ReadPaletteFile(file, entries);
  Create(entries, systemColors);
  return read;
}

bool PalWrap::ReadPaletteRsrc(const void* record, uint32_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(record);
  if (!p || size < kPaletteRsrcHeaderSize) {
    XASSERT(p && size >= kPaletteRsrcHeaderSize, "palette record too short");
    return false;
  }
  uint32_t version = GetLE32(p);
  uint32_t count = GetLE32(p + 4);
  if (count == 0 || count > 256) {
    XASSERT(count > 0 && count <= 256, "mColorsUsed out of range...");
    return false;
  }
  if (version != kPaletteRsrcVersion) {
    XASSERT(version == kPaletteRsrcVersion, "unknown palette version");
    return false;
  }
  if (kPaletteRsrcHeaderSize + 3 * count > size) {
    XASSERT(kPaletteRsrcHeaderSize + 3 * count <= size, "palette record too short");
    return false;
  }
  Dispose();
  mColorsUsed = (int32_t)count;
  fColors.reset(new PlatformColorEntry[256]);
  mSystemColors = 0;
  std::memset(mPackedColors, 0, sizeof mPackedColors);
  const uint8_t* c = p + kPaletteRsrcHeaderSize;
  for (uint32_t i = 0; i < count; ++i, c += 3) {
    fColors[i].red = c[0];
    fColors[i].green = c[1];
    fColors[i].blue = c[2];
    mPackedColors[i] = ((uint32_t)c[0] << 16) | ((uint32_t)c[1] << 8) | c[2];
  }
  ColorsChanged();
  return true;
}

int32_t PalWrap::PruneForCell(const uint8_t* entries, int32_t count, const int32_t lo[3], int32_t side,
                              uint8_t* out) const {
  if (count <= 1) {
    if (count == 1) out[0] = entries[0];
    return count;
  }
  const int32_t weight[3] = {2, 4, 1};
  int32_t e[3][256];
  for (int32_t k = 0; k < count; ++k) {
    e[0][k] = fRed[entries[k]];
    e[1][k] = fGreen[entries[k]];
    e[2][k] = fBlue[entries[k]];
  }
  // First, bounds of the weighted distance from each entry to any colour of the cell: the
  // nearest entry to a colour of the cell is no further than the smallest of the largest
  // bounds, so an entry whose smallest bound exceeds that can never answer (nor tie).
  int32_t nearBound[256] = {}, farBound[256] = {};
  for (int a = 0; a < 3; ++a) {
    const int32_t low = lo[a], high = lo[a] + side - 1, w = weight[a];
    for (int32_t k = 0; k < count; ++k) {
      const int32_t c = e[a][k];
      const int32_t gap = std::max(std::max(low - c, c - high), 0);
      const int32_t reach = std::max(c - low, high - c);
      nearBound[k] += w * gap * gap;
      farBound[k] += w * reach * reach;
    }
  }
  int32_t limit = INT_MAX;
  for (int32_t k = 0; k < count; ++k) limit = std::min(limit, farBound[k]);
  // Then f, the entry nearest to the cell's centre, rules out every entry e that is farther
  // from (or as far from, with a higher index than f) every colour of the cell. The difference
  // of the two weighted distances, d(x, e) - d(x, f), is linear in x, so its least value over
  // the cell is at a corner: per component, w * (f - e) * (2x - e - f) at the low or the high
  // end.
  int32_t best = 0, bestDistance = INT_MAX;
  for (int32_t k = 0; k < count; ++k) {
    int32_t d = 0;
    for (int a = 0; a < 3; ++a) {
      const int32_t twice = 2 * e[a][k] - (2 * lo[a] + side - 1);  // doubled offset from the centre
      d += weight[a] * twice * twice;
    }
    if (d < bestDistance) best = k, bestDistance = d;
  }
  int32_t least[256];
  for (int32_t k = 0; k < count; ++k) least[k] = 0;
  for (int a = 0; a < 3; ++a) {
    const int32_t f = e[a][best], low = 2 * lo[a], high = 2 * (lo[a] + side - 1), w = weight[a];
    for (int32_t k = 0; k < count; ++k) {
      const int32_t slope = w * (f - e[a][k]);
      least[k] += std::min(slope * (low - e[a][k] - f), slope * (high - e[a][k] - f));
    }
  }
  int32_t n = 0;
  for (int32_t k = 0; k < count; ++k) {
    if (nearBound[k] <= limit && (least[k] < 0 || (least[k] == 0 && k <= best))) out[n++] = entries[k];
  }
  return n;
}

uint32_t PalWrap::MakeFineCell(uint32_t r, uint32_t g, uint32_t b) {
  // From the coarse cell's entries, which hold every entry that can answer a colour here, those
  // that some colour of the fine cell can answer.
  int32_t count = 0;
  const uint8_t* coarse = CellCandidates((r >> 4) << 8 | (g >> 4) << 4 | (b >> 4), count);
  const int32_t lo[3] = {(int32_t)(r & ~3u), (int32_t)(g & ~3u), (int32_t)(b & ~3u)};
  uint8_t kept[256];
  int32_t n = count <= 1 ? count : PruneForCell(coarse, count, lo, kFineSide, kept);
  uint32_t block = 0;
  if (n == 0) {
    block = (uint32_t)FirstUsableIndex();
  } else if (n == 1) {
    block = count == 1 ? coarse[0] : kept[0];
  } else {
    // Several answers: the cell gets a block of its own with the answer of each colour.
    block = (uint32_t)(fBlocks.size() / kBlockSize);
    fBlocks.resize(fBlocks.size() + kBlockSize);
    uint8_t* answers = fBlocks.data() + (size_t)block * kBlockSize;
    // Per entry and component, the weighted square of the difference to each of the cell's 4
    // values; a colour's distance is the sum of three of them. The entries are in index order
    // and only a strictly smaller distance wins, so ties go to the lowest index.
    int32_t part[3][256][4];
    const int32_t* component[3] = {fRed, fGreen, fBlue};
    const int32_t weight[3] = {2, 4, 1};
    for (int a = 0; a < 3; ++a)
      for (int32_t k = 0; k < n; ++k)
        for (int32_t v = 0; v < 4; ++v) {
          const int32_t d = component[a][kept[k]] - (lo[a] + v);
          part[a][k][v] = weight[a] * d * d;
        }
    for (uint32_t i = 0; i < kBlockSize; ++i) {
      const uint32_t vr = i >> 4, vg = (i >> 2) & 3, vb = i & 3;
      int32_t best = 0, bestDistance = INT_MAX;
      for (int32_t k = 0; k < n; ++k) {
        const int32_t d = part[0][k][vr] + part[1][k][vg] + part[2][k][vb];
        const bool nearer = d < bestDistance;
        best = nearer ? k : best;
        bestDistance = nearer ? d : bestDistance;
      }
      answers[i] = kept[best];
    }
  }
  const uint32_t value = block + 1;
  fFine[FineIndex(r, g, b)] = value;
  return value;
}

uint8_t PalWrap::FindNearestColor(uint8_t r, uint8_t g, uint8_t b) {
  if (!fColors) return r;
  PrepareGrids();
  uint32_t value = fFine[FineIndex(r, g, b)];
  if (value == 0) value = MakeFineCell(r, g, b);
  return fBlocks[(size_t)(value - 1) * kBlockSize + BlockIndex(r, g, b)];
}

uint8_t PalWrap::FindColor(uint8_t r, uint8_t g, uint8_t b) {
  // The nearest search already answers the lowest exact match first.
  return FindNearestColor(r, g, b);
}

void PalWrap::FindColors(const uint8_t* pixels, int32_t bytesPerPixel, int32_t count, uint8_t* out) {
  if (!fColors) {
    for (int32_t i = 0; i < count; ++i, pixels += bytesPerPixel) out[i] = pixels[2];
    return;
  }
  PrepareGrids();
  const uint32_t* fine = fFine.get();
  const uint8_t* blocks = fBlocks.data();  // moves only when a cell is made
  for (int32_t i = 0; i < count; ++i, pixels += bytesPerPixel) {
    const uint32_t b = pixels[0], g = pixels[1], r = pixels[2];
    uint32_t value = fine[FineIndex(r, g, b)];
    if (value == 0) {
      value = MakeFineCell(r, g, b);
      blocks = fBlocks.data();
    }
    out[i] = blocks[(size_t)(value - 1) * kBlockSize + BlockIndex(r, g, b)];
  }
}

uint8_t* PalWrap::GetTable(int32_t inType) {
  XASSERT(inType >= 0 && inType < kPaletteCount, "bad palette type");
  if (inType < 0 || inType >= kPaletteCount) return nullptr;
  return mTables[inType];
}

void PalWrap::SetOtherAmbient(float value) {
  mOtherAmbientValue = value;
  XASSERT(mOtherAmbientValue >= 0 && mOtherAmbientValue <= 1.0, "ambient out of range");
}

PalWrap* GetGlobalPalette() {
  static PalWrap global;
  gGlobalPaletteAddress = &global;
  return &global;
}

bool ReadPaletteFile(const StringBuffer& path, PlatformColorEntry outEntries[256]) {
  ImageFileReader file;
  file.Open(path.c_str());
  return ReadPaletteFile(file, outEntries);
}

bool ReadPaletteFile(ImageFileReader& file, PlatformColorEntry outEntries[256]) {
  if (!file.IsOpen()) {
    XASSERT(false, "could not open file");
    return false;
  }
  const uint64_t fileSize = file.Size();

  // An 8-bit BMP gives its colour table; anything else is read as raw triples.
  uint8_t header[54];
  if (file.ReadAt(0, header, 14) && header[0] == 'B' && header[1] == 'M' &&
      file.ReadAt(14, header + 14, 40)) {
    const uint32_t infoSize = GetLE32(header + 14);
    const uint16_t planes = GetLE16(header + 26);
    const uint16_t bitCount = GetLE16(header + 28);
    const uint32_t colorsUsed = GetLE32(header + 46);
    if (bitCount == 8) {
      const uint32_t shift = (uint32_t)planes * bitCount;
      uint64_t count = colorsUsed ? colorsUsed : (shift < 32 ? (1ull << shift) : UINT64_MAX);
      XASSERT(count <= 256, "palette too big");
      count = std::min<uint64_t>(count, 256);
      // The colour table follows the info header, whatever its size (40, 108, 124).
      const uint64_t tableOffset = 14 + (uint64_t)std::max<uint32_t>(infoSize, 40);
      const uint64_t available = fileSize > tableOffset ? (fileSize - tableOffset) / 4 : 0;
      const uint32_t n = (uint32_t)std::min<uint64_t>(count, available);
      XASSERT(n == count, "unexpected eof");
      uint8_t quads[256 * 4];
      if (n > 0 && file.ReadAt(tableOffset, quads, n * 4)) {
        for (uint32_t i = 0; i < n; ++i) {
          outEntries[i].red = quads[i * 4 + 2];
          outEntries[i].green = quads[i * 4 + 1];
          outEntries[i].blue = quads[i * 4];
        }
      }
      return true;
    }
    XASSERT(false, "too many bits per pixel retrieving palette");
  }

  uint8_t raw[768];
  const uint32_t n = (uint32_t)std::min<uint64_t>(fileSize, 768);
  XASSERT(n == 768, "unexpected EOF");
  if (n > 0 && file.ReadAt(0, raw, n)) {
    for (uint32_t i = 0; i < n; ++i) {
      PlatformColorEntry& e = outEntries[i / 3];
      uint8_t& component = (i % 3 == 0) ? e.red : (i % 3 == 1) ? e.green : e.blue;
      component = raw[i];
    }
  }
  return true;
}

void PaletteRsrcFromPalWrap(const PalWrap* pal, void* outRecord) {
  uint8_t* p = static_cast<uint8_t*>(outRecord);
  std::memset(p, 0, kPaletteRsrcSize);
  PutLE32(p, kPaletteRsrcVersion);
  PutLE32(p + 4, 256);
  const PlatformColorEntry* colors = pal ? pal->GetColors() : nullptr;
  if (!colors) return;
  const int32_t count = std::min(pal->GetColorsUsed(), 256);
  uint8_t* c = p + kPaletteRsrcHeaderSize;
  for (int32_t i = 0; i < count; ++i, c += 3) {
    c[0] = colors[i].red;
    c[1] = colors[i].green;
    c[2] = colors[i].blue;
  }
}
