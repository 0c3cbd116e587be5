#include "palwrap.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "ImageFileReader.h"
#include "StringBuffer.h"
#include "XAssert.h"

namespace {

constexpr int kMemoBits = 18;
constexpr uint32_t kMemoSlots = 1u << kMemoBits;

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
  if (fMemoKeys) std::memset(fMemoKeys.get(), 0, sizeof(uint32_t) * kMemoSlots);
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

uint8_t PalWrap::SearchNearest(uint8_t r, uint8_t g, uint8_t b) const {
  const int32_t first = FirstUsableIndex();
  const int32_t last = std::min(LastUsableIndex(), mColorsUsed - 1);
  int32_t best = first;
  int32_t bestDistance = INT_MAX;
  const PlatformColorEntry* colors = fColors.get();
  for (int32_t i = first; i <= last; ++i) {
    int32_t dr = (int32_t)colors[i].red - r;
    int32_t dg = (int32_t)colors[i].green - g;
    int32_t db = (int32_t)colors[i].blue - b;
    int32_t d = 2 * dr * dr + 4 * dg * dg + db * db;
    if (d < bestDistance) {
      best = i;
      bestDistance = d;
      if (d == 0) break;
    }
  }
  return (uint8_t)best;
}

uint8_t PalWrap::FindNearestColor(uint8_t r, uint8_t g, uint8_t b) {
  if (!fColors) return r;
  const uint32_t rgb = ((uint32_t)r << 16) | ((uint32_t)g << 8) | b;
  const uint32_t key = rgb | 0x01000000u;
  if (!fMemoKeys) {
    fMemoKeys.reset(new uint32_t[kMemoSlots]());
    fMemoIndex.reset(new uint8_t[kMemoSlots]());
  }
  const uint32_t slot = (rgb * 2654435761u) >> (32 - kMemoBits);
  if (fMemoKeys[slot] == key) return fMemoIndex[slot];
  uint8_t index = SearchNearest(r, g, b);
  fMemoKeys[slot] = key;
  fMemoIndex[slot] = index;
  return index;
}

uint8_t PalWrap::FindColor(uint8_t r, uint8_t g, uint8_t b) {
  // The nearest search already answers the lowest exact match first.
  return FindNearestColor(r, g, b);
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
  if (!file.Open(path.c_str())) {
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
