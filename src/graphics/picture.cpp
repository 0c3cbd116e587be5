#include "picture.h"

#include <cstring>
#include <vector>

#include "MacDrawingShims.h"
#include "XAssert.h"
#include "offscrn.h"
#include "palwrap.h"
#include "resfile.h"

namespace {

constexpr uint16_t kPackBitsRect = 0x9800;
constexpr uint16_t kPackBitsRgn = 0x9900;
constexpr uint16_t kDirectBitsRect = 0x9A00;
constexpr int32_t kHeaderSize = 10;   // size and frame
constexpr int32_t kPixMapSize = 46;   // rowBytes .. pmReserved, without the base address
constexpr uint16_t kNotMatched = 0xFFFF;

uint16_t Get16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
uint32_t Get32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
uint16_t GetBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
void Swap16(uint8_t* p) { std::swap(p[0], p[1]); }
void Swap32(uint8_t* p) {
  std::swap(p[0], p[3]);
  std::swap(p[1], p[2]);
}

bool IsPixelOpcode(uint16_t op) { return op == kPackBitsRect || op == kPackBitsRgn || op == kDirectBitsRect; }

// Where the parts of the first pixel opcode lie, every one checked against the data size.
struct PixelLayout {
  uint16_t opcode = 0;
  int32_t pixMap = 0;      // offset of rowBytes
  int32_t colorTable = 0;  // offset of the seed (indexed only)
  int32_t colorCount = 0;
  int32_t rows = 0;        // offset of the first packed row
  int32_t rowBytes = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t planes = 1;      // direct: components per pixel
  bool indexed = false;
};

int32_t FindPixelOpcode(const uint8_t* data, int32_t size) {
  for (int32_t at = kHeaderSize; at + 2 <= size; at += 2) {
    if (IsPixelOpcode(Get16(data + at))) return at;
  }
  return -1;
}

// False when there is no pixel opcode, the pixels are of a kind not drawn, or the data end
// before the rows.
bool ParseLayout(const uint8_t* data, int32_t size, PixelLayout& out) {
  if (data == nullptr || size < kHeaderSize) return false;
  int32_t at = FindPixelOpcode(data, size);
  if (at < 0) return false;
  out.opcode = Get16(data + at);
  at += 2;
  if (out.opcode == kDirectBitsRect) at += 4;  // base address
  if (at + kPixMapSize > size) return false;
  out.pixMap = at;
  const uint8_t* pm = data + at;
  out.rowBytes = Get16(pm) & 0x3FFF;
  const int16_t top = static_cast<int16_t>(Get16(pm + 2)), left = static_cast<int16_t>(Get16(pm + 4));
  const int16_t bottom = static_cast<int16_t>(Get16(pm + 6)), right = static_cast<int16_t>(Get16(pm + 8));
  out.width = right - left;
  out.height = bottom - top;
  const uint16_t pixelType = Get16(pm + 26), pixelSize = Get16(pm + 28);
  const uint16_t cmpCount = Get16(pm + 30), cmpSize = Get16(pm + 32);
  if (out.width <= 0 || out.height <= 0) return false;
  at += kPixMapSize;
  if (out.opcode == kDirectBitsRect) {
    if (cmpCount < 3 || cmpCount > 4 || cmpSize != 8) return false;
    out.planes = cmpCount;
  } else {
    if (pixelType != 0 || pixelSize != 8 || cmpCount != 1 || cmpSize != 8) return false;
    out.indexed = true;
    if (at + 8 > size) return false;
    out.colorTable = at;
    out.colorCount = Get16(data + at + 6) + 1;
    if (out.colorCount > 256) return false;
    at += 8 + 8 * out.colorCount;
  }
  at += 8 + 8 + 2;  // source and destination rects, transfer mode
  if (out.opcode == kPackBitsRgn) {
    if (at + 2 > size) return false;
    const int32_t regionSize = GetBE16(data + at);
    if (regionSize < 2) return false;
    at += regionSize;
  }
  if (at > size) return false;
  out.rows = at;
  return true;
}

// Walks the packed rows, handing each unpacked row to `row` (index, bytes). False when a row
// runs past the data.
template <class Row>
bool WalkRows(const uint8_t* data, int32_t size, const PixelLayout& layout, Row row) {
  const int32_t unpacked = layout.indexed ? layout.rowBytes : layout.width * layout.planes;
  const int32_t needed = layout.indexed ? layout.width : layout.width * layout.planes;
  if (unpacked < needed) return false;
  std::vector<uint8_t> buffer(static_cast<size_t>(unpacked));
  const bool wideCount = layout.indexed ? layout.rowBytes >= 250 : layout.rowBytes > 251;
  int32_t at = layout.rows;
  for (int32_t y = 0; y < layout.height; ++y) {
    // Indexed rows of fewer than 8 bytes are stored as they are; direct rows are always
    // packed, behind a one-byte length up to 251 row bytes.
    if (layout.indexed && layout.rowBytes < 8) {
      if (at + unpacked > size) return false;
      std::memcpy(buffer.data(), data + at, static_cast<size_t>(unpacked));
      at += unpacked;
    } else {
      int32_t count = 0;
      if (wideCount) {
        if (at + 2 > size) return false;
        count = GetBE16(data + at);
        at += 2;
      } else {
        if (at + 1 > size) return false;
        count = data[at];
        at += 1;
      }
      if (at + count > size) return false;
      std::memset(buffer.data(), 0, buffer.size());
      Picture::UnpackBits(data + at, data + at + count, buffer.data(), unpacked);
      at += count;
    }
    row(y, buffer.data());
  }
  return true;
}

uint32_t gLastSeed = 0xFFFFFFFF;

// The palette index of colour-table entry `i`, matched once and cached in its value field.
uint8_t CachedIndex(uint8_t* data, const PixelLayout& layout, int32_t i, PalWrap* palette) {
  uint8_t* entry = data + layout.colorTable + 8 + 8 * i;
  const uint16_t cached = Get16(entry);
  if (cached != kNotMatched) return static_cast<uint8_t>(cached);
  const uint8_t index = palette->FindNearestColor(static_cast<uint8_t>(Get16(entry + 2) >> 8),
                                                  static_cast<uint8_t>(Get16(entry + 4) >> 8),
                                                  static_cast<uint8_t>(Get16(entry + 6) >> 8));
  Put16(entry, index);
  return index;
}

void ResetCache(uint8_t* data, const PixelLayout& layout) {
  for (int32_t i = 0; i < layout.colorCount; ++i) Put16(data + layout.colorTable + 8 + 8 * i, kNotMatched);
}

}  // namespace

Picture::Picture(MHandle* data) : fData(data), fFile(nullptr), fState(0) {}

Picture::Picture(iResFile* file, uint16_t id) : fData(nullptr), fFile(file), fState(0) {
  if (file) fData = file->GetResource(kPictType, id);
}

Picture::Picture(iResFile* file, const StringBuffer& name) : fData(nullptr), fFile(file), fState(0) {
  if (file) fData = file->GetNamedResource(kPictType, name, SwapPicture);
}

Picture::~Picture() { Release(); }

void Picture::Release() {
  fData = nullptr;
  fFile = nullptr;
}

void Picture::GetFrame(MacRect& out) const {
  out = MacRect{0, 0, 0, 0};
  if (fData == nullptr || HGetSize(fData) < kHeaderSize) return;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(HLock(fData));
  out.top = static_cast<int16_t>(Get16(p + 2));
  out.left = static_cast<int16_t>(Get16(p + 4));
  out.bottom = static_cast<int16_t>(Get16(p + 6));
  out.right = static_cast<int16_t>(Get16(p + 8));
  HUnlock(fData);
}

bool Picture::Draw(const MacRect& dest) {
  MacRect frame;
  GetFrame(frame);
  const int16_t width = static_cast<int16_t>(frame.right - frame.left);
  const int16_t height = static_cast<int16_t>(frame.bottom - frame.top);
  if (width <= 0 || height <= 0) return false;
  const MacRect local{0, 0, height, width};
  Offscreen world;
  if (!world.Create(local)) return false;
  uint8_t* data = reinterpret_cast<uint8_t*>(HLock(fData));
  const bool drawn = DrawPixels(data, HGetSize(fData), world.GetBaseAddr(), world.GetRowBytes(), width, height,
                                0, 0, false);
  HUnlock(fData);
  if (!drawn) {
    world.SetPortToSelf(nullptr);
    MacFrameRectBlack(local);
    world.RestorePort();
  }
  world.CopyToPort(local, dest);
  return drawn;
}

bool Picture::DrawAt(int16_t h, int16_t v) {
  MacRect frame;
  GetFrame(frame);
  MacOffsetRect(frame, static_cast<int16_t>(h - frame.left), static_cast<int16_t>(v - frame.top));
  return Draw(frame);
}

bool Picture::DrawWithState(const MacRect& dest) {
  if (Draw(dest)) {
    fState &= ~1u;
    return true;
  }
  MacEraseRect(dest);
  MacFrameRectBlack(dest);
  return false;
}

bool Picture::DrawPixels(uint8_t* data, int32_t size, uint8_t* dest, int32_t rowBytes, int32_t width,
                         int32_t height, int32_t xOffset, int32_t yOffset, bool reset) {
  PixelLayout layout;
  if (dest == nullptr || width <= 0 || height <= 0 || !ParseLayout(data, size, layout)) return false;
  const uint8_t* destMin = rowBytes < 0 ? dest + int64_t(height - 1) * rowBytes : dest;
  const uint8_t* destMax = (rowBytes < 0 ? dest : dest + int64_t(height - 1) * rowBytes) + width - 1;
  PalWrap* palette = GetGlobalPalette();
  if (layout.indexed) {
    const uint32_t seed = Get32(data + layout.colorTable);
    if (reset || seed != gLastSeed) {
      ResetCache(data, layout);
      gLastSeed = seed;
    }
  }
  return WalkRows(data, size, layout, [&](int32_t y, const uint8_t* row) {
    const int32_t destY = y - yOffset;
    if (destY < 0 || destY >= height) return;
    uint8_t* destRow = dest + int64_t(destY) * rowBytes;
    const int32_t planeOffset = layout.planes - 3;  // direct: the last three planes are R, G, B
    for (int32_t x = xOffset > 0 ? xOffset : 0; x < layout.width && x - xOffset < width; ++x) {
      uint8_t* destPixel = destRow + (x - xOffset);
      XASSERT(destPixel >= destMin, "bad destination");
      XASSERT(destPixel <= destMax, "bad destination");
      if (destPixel < destMin || destPixel > destMax) continue;
      if (layout.indexed) {
        const int32_t entry = row[x];
        *destPixel = entry < layout.colorCount ? CachedIndex(data, layout, entry, palette) : 0;
      } else {
        const int32_t w = layout.width;
        *destPixel = palette->FindNearestColor(row[(planeOffset + 0) * w + x], row[(planeOffset + 1) * w + x],
                                               row[(planeOffset + 2) * w + x]);
      }
    }
  });
}

bool Picture::DrawPixels32(uint8_t* data, int32_t size, uint8_t* dest, int32_t rowBytes, int32_t width,
                           int32_t height, int32_t xOffset, int32_t yOffset) {
  PixelLayout layout;
  if (dest == nullptr || width <= 0 || height <= 0 || !ParseLayout(data, size, layout) || !layout.indexed) {
    return false;
  }
  return WalkRows(data, size, layout, [&](int32_t y, const uint8_t* row) {
    const int32_t destY = y - yOffset;
    if (destY < 0 || destY >= height) return;
    uint8_t* destRow = dest + int64_t(destY) * rowBytes;
    for (int32_t x = xOffset > 0 ? xOffset : 0; x < layout.width && x - xOffset < width; ++x) {
      uint8_t* pixel = destRow + 4 * (x - xOffset);
      const int32_t entry = row[x];
      pixel[0] = 0;
      pixel[1] = pixel[2] = pixel[3] = 0;
      if (entry >= layout.colorCount) continue;
      const uint8_t* e = data + layout.colorTable + 8 + 8 * entry;
      pixel[1] = static_cast<uint8_t>(Get16(e + 2) >> 8);
      pixel[2] = static_cast<uint8_t>(Get16(e + 4) >> 8);
      pixel[3] = static_cast<uint8_t>(Get16(e + 6) >> 8);
    }
  });
}

int32_t Picture::UnpackBits(const uint8_t* src, const uint8_t* srcEnd, uint8_t* dst, int32_t length) {
  int32_t written = 0;
  while (src < srcEnd && written < length) {
    const int8_t n = static_cast<int8_t>(*src++);
    if (n < 0) {
      if (n == -128 || src >= srcEnd) {  // -128 is no operation
        if (n != -128) break;
        continue;
      }
      const uint8_t value = *src++;
      for (int32_t i = 0; i < 1 - n && written < length; ++i) dst[written++] = value;
    } else {
      for (int32_t i = 0; i < n + 1 && src < srcEnd && written < length; ++i) dst[written++] = *src++;
    }
  }
  return written;
}

void Picture::SwapPicture(void* raw, int32_t size) {
  uint8_t* data = static_cast<uint8_t*>(raw);
  if (data == nullptr || size < kHeaderSize) return;
  for (int32_t at = 0; at < kHeaderSize; at += 2) Swap16(data + at);
  // Opcode words up to and including the first pixel opcode, seen in either order.
  int32_t at = kHeaderSize;
  uint16_t opcode = 0;
  for (; at + 2 <= size; at += 2) {
    const uint16_t before = Get16(data + at);
    Swap16(data + at);
    const uint16_t after = Get16(data + at);
    if (IsPixelOpcode(before) || IsPixelOpcode(after)) {
      opcode = IsPixelOpcode(after) ? after : before;
      break;
    }
  }
  if (opcode == 0) return;
  at += 2;
  if (opcode == kDirectBitsRect) {
    if (at + 4 > size) return;
    Swap32(data + at);
    at += 4;
  }
  if (at + kPixMapSize > size) return;
  // rowBytes, bounds (4), version, packType: 16-bit; packSize, hRes, vRes: 32-bit;
  // pixelType, pixelSize, cmpCount, cmpSize: 16-bit; planeBytes, table, reserved: 32-bit.
  static const uint8_t kFieldSizes[] = {2, 2, 2, 2, 2, 2, 2, 4, 4, 4, 2, 2, 2, 2, 4, 4, 4};
  uint8_t* field = data + at;
  for (uint8_t bytes : kFieldSizes) {
    if (bytes == 2) Swap16(field); else Swap32(field);
    field += bytes;
  }
  at += kPixMapSize;
  if (opcode == kDirectBitsRect || at + 8 > size) return;
  const uint16_t countBefore = Get16(data + at + 6);
  Swap32(data + at);
  Swap16(data + at + 4);
  Swap16(data + at + 6);
  const uint16_t countAfter = Get16(data + at + 6);
  // The count in host order is the smaller reading for any real table (at most 255).
  int32_t count = (countBefore < countAfter ? countBefore : countAfter) + 1;
  if (count > 256) count = 256;
  uint8_t* entry = data + at + 8;
  for (int32_t i = 0; i < count && entry + 8 <= data + size; ++i, entry += 8) {
    for (int32_t w = 0; w < 4; ++w) Swap16(entry + 2 * w);
    Put16(entry, kNotMatched);
  }
}
