// Sprite lists (building, appending, merging) and the frame-rectangle helpers of the
// compressor: trimming, growing, standard widths and strips.
#include "SpriteList.h"

#include <bit>
#include <cstring>
#include <vector>

#include "Compressor.h"
#include "MHandle.h"
#include "offscrn.h"
#include "MacRect.h"
#include "XAssert.h"

namespace {

uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

uint8_t* Bytes(MHandle* h) { return reinterpret_cast<uint8_t*>(HLock(h)); }

// The frame count of a list handle, or -1 when the handle is too small for its own header
// and offset table.
long ListCount(MHandle* list) {
  int32_t size = HGetSize(list);
  if (size < int32_t(kSpriteListHeaderSize)) return -1;
  uint32_t count = Get32(Bytes(list) + 4);
  HUnlock(list);
  if (count > (uint32_t(size) - kSpriteListHeaderSize) / 4) return -1;
  return long(count);
}

// The offset of every frame of a well-formed list plus its size as a final entry; empty when
// an offset lies outside the list or out of order.
std::vector<uint32_t> FrameBounds(const uint8_t* list, uint32_t size, uint32_t count) {
  std::vector<uint32_t> bounds;
  bounds.reserve(count + 1);
  uint32_t previous = kSpriteListHeaderSize + 4 * count;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t offset = Get32(list + kSpriteListHeaderSize + 4 * i);
    if (offset < previous || offset > size) return {};
    bounds.push_back(offset);
    previous = offset;
  }
  bounds.push_back(size);
  return bounds;
}

// Offscreen pixels addressed in port-rect coordinates.
constexpr uint64_t kByteOnes = 0x0101010101010101ull;
static_assert(std::endian::native == std::endian::little, "the trimming reads pixels as little-endian words");

// Eight pixels as one little-endian word: pixel n in byte n.
uint64_t LoadWord(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

struct Pixels {
  const uint8_t* base = nullptr;
  intptr_t rowBytes = 0;
  MacRect bounds{0, 0, 0, 0};
  explicit Pixels(Offscreen* world) {
    if (world == nullptr || !world->Exists()) return;
    world->GetPortRect(bounds);
    base = world->GetBaseAddr();
    rowBytes = world->GetRowBytes();
  }
  const uint8_t* Row(int y) const { return base + intptr_t(y - bounds.top) * rowBytes - bounds.left; }
  uint8_t At(int x, int y) const { return Row(y)[x]; }
};

}  // namespace

int32_t Compressor::AppendSpriteList(MHandle* list, MHandle* frame) {
  XASSERT(list && frame, "append sprite list passed null handle or two");
  if (list == nullptr || frame == nullptr) return kMemBadHandleErr;
  long count = ListCount(list);
  if (count < 0) return kMemBadHandleErr;
  const uint32_t oldSize = uint32_t(HGetSize(list));
  const uint32_t frameSize = uint32_t(HGetSize(frame));
  int32_t status = HSetSize(list, oldSize + frameSize + 4);
  if (status != 0) return status;
  uint8_t* p = Bytes(list);
  const uint32_t table = kSpriteListHeaderSize + 4 * uint32_t(count);
  // Make room for one more offset: the frames move 4 bytes further, and so do their offsets.
  std::memmove(p + table + 4, p + table, oldSize - table);
  for (long i = 0; i < count; ++i) {
    uint8_t* slot = p + kSpriteListHeaderSize + 4 * i;
    Put32(slot, Get32(slot) + 4);
  }
  Put32(p + table, oldSize + 4);
  std::memcpy(p + oldSize + 4, Bytes(frame), frameSize);
  HUnlock(frame);
  Put32(p + 4, uint32_t(count + 1));
  HUnlock(list);
  return 0;
}

int32_t Compressor::CompressSpriteList(Offscreen* world, const MacRect* frames, MHandle*& outList, int16_t count,
                                       PalWrap* palette, uint32_t paletteId, uint32_t version) {
  outList = nullptr;
  // Every frame is encoded first and the list is put together once, at its final size.
  struct Frames : std::vector<MHandle*> {
    ~Frames() {
      for (MHandle* frame : *this) HFree(frame);
    }
  } encoded;
  const int n = count > 0 ? count : 0;
  encoded.reserve(n);
  int32_t status = 0;
  uint32_t total = kSpriteListHeaderSize + 4 * uint32_t(n);
  for (int i = 0; i < n && status == 0; ++i) {
    MHandle* frame = nullptr;
    status = CompressFrame(world, frames[i], frame, palette);
    if (status == 0) {
      encoded.push_back(frame);
      total += uint32_t(HGetSize(frame));
    }
  }
  MHandle* list = nullptr;
  if (status == 0) {
    list = HAlloc(total);
    if (list == nullptr) status = MemError() ? MemError() : kMemFullErr;
  }
  if (list != nullptr) {
    uint8_t* p = Bytes(list);
    Put32(p, version);
    Put32(p + 4, uint32_t(n));
    Put32(p + 8, paletteId);
    uint32_t at = kSpriteListHeaderSize + 4 * uint32_t(n);
    for (int i = 0; i < n; ++i) {
      const uint32_t size = uint32_t(HGetSize(encoded[i]));
      Put32(p + kSpriteListHeaderSize + 4 * i, at);
      std::memcpy(p + at, Bytes(encoded[i]), size);
      HUnlock(encoded[i]);
      at += size;
    }
    HUnlock(list);
    outList = list;
  }
  return status;
}

int32_t Compressor::MergeSpriteLists(MHandle* source, MHandle* destination) {
  XASSERT(source && destination, "merge sprite lists passed null handle or two");
  if (source == nullptr || destination == nullptr) return kMemBadHandleErr;
  long srcCount = ListCount(source), dstCount = ListCount(destination);
  if (srcCount < 0 || dstCount < 0) return kMemBadHandleErr;
  if (srcCount != dstCount) return kSpriteListCountErr;
  const uint32_t srcSize = uint32_t(HGetSize(source)), dstSize = uint32_t(HGetSize(destination));
  const uint32_t count = uint32_t(srcCount);

  const uint8_t* s = Bytes(source);
  uint8_t* d = Bytes(destination);
  std::vector<uint32_t> srcBounds = FrameBounds(s, srcSize, count);
  std::vector<uint32_t> dstBounds = FrameBounds(d, dstSize, count);
  int32_t status = 0;
  if (srcBounds.empty() || dstBounds.empty()) status = kMemBadHandleErr;
  for (uint32_t i = 0; status == 0 && i < count; ++i) {
    // The first 8 bytes of each frame: the two zero words, height and width.
    if (srcBounds[i + 1] - srcBounds[i] < 8 || dstBounds[i + 1] - dstBounds[i] < 8)
      status = kMemBadHandleErr;
    else if (std::memcmp(s + srcBounds[i], d + dstBounds[i], 8) != 0)
      status = kSpriteListSizeErr;
  }
  HUnlock(destination);
  if (status == 0) status = HSetSize(destination, dstSize + srcSize - kSpriteListHeaderSize);
  if (status != 0) {
    HUnlock(source);
    return status;
  }

  d = Bytes(destination);
  const uint32_t shift = 4 * count;  // room for the source's offsets
  const uint32_t dstTable = kSpriteListHeaderSize + 4 * count;
  std::memmove(d + dstTable + shift, d + dstTable, dstSize - dstTable);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* slot = d + kSpriteListHeaderSize + 4 * i;
    Put32(slot, Get32(slot) + shift);
  }
  const uint32_t srcTable = kSpriteListHeaderSize + 4 * count;
  const uint32_t srcFramesAt = dstSize + shift;  // the source's frames follow the destination's
  std::memcpy(d + srcFramesAt, s + srcTable, srcSize - srcTable);
  for (uint32_t i = 0; i < count; ++i)
    Put32(d + dstTable + 4 * i, srcBounds[i] - srcTable + srcFramesAt);
  Put32(d + 4, 2 * count);
  Put32(d, kSpriteListMergedVersion);
  HUnlock(destination);
  HUnlock(source);
  return 0;
}

void Compressor::TrimFrames(Offscreen* world, MacRect* rects, int16_t count, uint8_t sides, uint32_t zeroEmpty) {
  const CompressorSettings& st = fSettings;
  if (!(st.flags & kCompressClearColor)) return;
  ClearSuppressionCache();
  // Suppression during the trim answers in the world's own palette.
  PalWrap* savedPalette = fPalette;
  fPalette = world ? world->GetPalette() : nullptr;
  // The pixels are read straight from the world; the port is left alone, so that frames of one
  // world may be trimmed on several threads.
  Pixels px(world);
  const uint8_t clear = st.clearColor;

  for (int i = 0; i < count; ++i) {
    MacRect r{0, 0, 0, 0};
    MacSectRect(rects[i], px.bounds, r);
    XASSERT(MacEqualRect(r, rects[i]), "source image size smaller than expected...");
    // A row is clear when it starts with the clear colour and its run reaches the right edge.
    auto rowClear = [&](int y) {
      const uint8_t* row = px.Row(y);
      if (row[r.left] != clear) return false;
      if (!(st.flags & kCompressSuppress)) {
        // Without suppression every colour answers itself: the row is clear when it is
        // all the clear colour, which one pass over the bytes tells.
        unsigned other = 0;
        int x = r.left + 1;
        for (; x + 32 <= r.right && other == 0; x += 32)  // whole vectors, then the rest
          for (int k = 0; k < 32; ++k) other |= unsigned(row[x + k] ^ clear);
        for (; x < r.right && other == 0; ++x) other |= unsigned(row[x] ^ clear);
        return other == 0;
      }
      const uint8_t first = SuppressColor(row[r.left]);
      for (int x = r.left + 1; x < r.right; ++x)
        if (SuppressColor(row[x]) != first) return false;
      return true;
    };
    bool empty = MacEmptyRect(r);
    if (!empty && (sides & kTrimTop)) {
      while (r.top < r.bottom && rowClear(r.top)) ++r.top;
      empty = r.top >= r.bottom;
    }
    if (!empty && (sides & kTrimBottom)) {
      while (r.bottom > r.top && rowClear(r.bottom - 1)) --r.bottom;
      empty = r.top >= r.bottom;
    }
    // The first and last columns that hold a pixel other than the clear colour, found row
    // by row (each row is read only up to the best column found so far).
    if (!empty && (sides & kTrimLeft)) {
      int left = r.right;
      for (int y = r.top; y < r.bottom && left > r.left; ++y) {
        const uint8_t* row = px.Row(y);
        int x = r.left;
        // Eight bytes at a time: the first one that differs is the lowest set byte.
        for (; x + 8 <= left; x += 8) {
          const uint64_t differs = LoadWord(row + x) ^ (kByteOnes * clear);
          if (differs != 0) {
            left = x + __builtin_ctzll(differs) / 8;
            break;
          }
        }
        for (; x < left; ++x)
          if (row[x] != clear) {
            left = x;
            break;
          }
      }
      r.left = int16_t(left);
      empty = r.left >= r.right;
    }
    if (!empty && (sides & kTrimRight)) {
      int right = r.left;
      for (int y = r.top; y < r.bottom && right < r.right; ++y) {
        const uint8_t* row = px.Row(y);
        int x = r.right;  // bytes from x on are clear
        // Eight bytes at a time, from the right: the last one that differs is the highest.
        bool found = false;
        for (; x - 8 >= right; x -= 8) {
          const uint64_t differs = LoadWord(row + x - 8) ^ (kByteOnes * clear);
          if (differs != 0) {
            right = x - 8 + (63 - __builtin_clzll(differs)) / 8 + 1;
            found = true;
            break;
          }
        }
        for (--x; !found && x >= right; --x)
          if (row[x] != clear) {
            right = x + 1;
            break;
          }
      }
      r.right = int16_t(right);
      empty = r.left >= r.right;
    }
    if (empty) {
      if (zeroEmpty) rects[i] = MacRect{0, 0, 0, 0};
    } else {
      rects[i] = r;
    }
  }
  fPalette = savedPalette;
}

void Compressor::GrowFrames(Offscreen* world, const MacRect& limit, MacRect* rects, int16_t count, uint8_t sides) {
  if (!(fSettings.flags & kCompressClearColor)) return;
  Pixels px(world);
  MacRect area{0, 0, 0, 0};
  MacSectRect(limit, px.bounds, area);  // never look outside the pixels
  const uint8_t clear = fSettings.clearColor;
  auto rowHas = [&](int y, int left, int right) {
    for (int x = left; x < right; ++x)
      if (px.At(x, y) != clear) return true;
    return false;
  };
  auto columnHas = [&](int x, int top, int bottom) {
    for (int y = top; y < bottom; ++y)
      if (px.At(x, y) != clear) return true;
    return false;
  };
  for (int i = 0; i < count; ++i) {
    MacRect& r = rects[i];
    for (bool grew = true; grew;) {
      grew = false;
      // The part of the rect's span that lies inside the area.
      const int left = r.left > area.left ? r.left : area.left;
      const int right = r.right < area.right ? r.right : area.right;
      const int top = r.top > area.top ? r.top : area.top;
      const int bottom = r.bottom < area.bottom ? r.bottom : area.bottom;
      if ((sides & kTrimTop) && r.top > area.top && r.top <= area.bottom && rowHas(r.top - 1, left, right)) {
        --r.top;
        grew = true;
      }
      if ((sides & kTrimBottom) && r.bottom < area.bottom && r.bottom >= area.top && rowHas(r.bottom, left, right)) {
        ++r.bottom;
        grew = true;
      }
      if ((sides & kTrimLeft) && r.left > area.left && r.left <= area.right && columnHas(r.left - 1, top, bottom)) {
        --r.left;
        grew = true;
      }
      if ((sides & kTrimRight) && r.right < area.right && r.right >= area.left && columnHas(r.right, top, bottom)) {
        ++r.right;
        grew = true;
      }
    }
  }
}

int16_t Compressor::GetStandardWidth(int32_t pictID) {
  static const int16_t kWidths[] = {8, 16, 24, 32, 48, 64, 96, 128};
  const int32_t range = pictID / 2000;
  if (range >= 5 && range <= 12) return kWidths[range - 5];
  XASSERT(false, "Unknown pictID in GetStandardWidth");
  return 0;
}

int16_t Compressor::StripFrameCount(int32_t pictID, const MacRect& strip) {
  const int w = GetStandardWidth(pictID);
  if (w == 0) return 0;
  const int width = strip.right - strip.left;
  return int16_t((width - (w - 1)) / w + 1);
}

int16_t Compressor::CutStrip(Offscreen* world, int32_t pictID, const MacRect& strip, MacRect* outRects) {
  const int16_t w = GetStandardWidth(pictID);
  const int16_t n = StripFrameCount(pictID, strip);
  const int16_t height = int16_t(strip.bottom - strip.top);
  for (int i = 0; i < n; ++i) outRects[i] = MacRect{0, int16_t(i * w), height, int16_t((i + 1) * w)};
  TrimFrames(world, outRects, n, kTrimTop | kTrimBottom, 0);
  return n;
}
