#include "PlatformBitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The static colours of a 256-colour display: entries 0-9, then entries 246-255.
const uint8_t kSystemColors[20][3] = {
    {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
    {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

PlatformColorEntry SystemEntry(int32_t index) {
  PlatformColorEntry e;
  int32_t slot = -1;
  if (index >= 0 && index < 10) slot = index;
  if (index >= 246 && index < 256) slot = index - 236;
  if (slot >= 0) {
    e.red = kSystemColors[slot][0];
    e.green = kSystemColors[slot][1];
    e.blue = kSystemColors[slot][2];
  }
  return e;
}

// Clips a span [pos, pos + len) of a destination and the matching source span to both
// extents; answers false when nothing is left.
bool ClipSpan(int32_t& dst, int32_t& src, int32_t& len, int32_t dstExtent, int32_t srcExtent) {
  int64_t d = dst, s = src, n = len;
  if (d < 0) { s -= d; n += d; d = 0; }
  if (s < 0) { d -= s; n += s; s = 0; }
  n = std::min<int64_t>(n, dstExtent - d);
  n = std::min<int64_t>(n, srcExtent - s);
  if (n <= 0) return false;
  dst = (int32_t)d;
  src = (int32_t)s;
  len = (int32_t)n;
  return true;
}

}  // namespace

PlatformBitmap* PlatformCreateBitmap8(int32_t width, int32_t height,
                                      const PlatformColorEntry* colors, uint8_t** outBits,
                                      PlatformBitmap* recycled) {
  if (outBits) *outBits = nullptr;
  if (width < 1 || width > kPlatformBitmapMaxSide || height < 1 ||
      height > kPlatformBitmapMaxSide) {
    return nullptr;
  }
  PlatformBitmap* bitmap = new (std::nothrow) PlatformBitmap;
  if (!bitmap) return nullptr;
  bitmap->fWidth = width;
  bitmap->fHeight = height;
  bitmap->fRowLength = (width + 3) & ~3;
  const size_t bytes = (size_t)bitmap->fRowLength * (size_t)height;
  if (recycled && recycled != PlatformStockBitmap() && recycled->fSelectCount == 0 &&
      recycled->fWidth == width && recycled->fHeight == height && recycled->fPixels.size() == bytes) {
    bitmap->fPixels.Swap(recycled->fPixels);
  } else if (!bitmap->fPixels.Allocate(bytes)) {
    delete bitmap;
    return nullptr;
  }
  if (colors) {
    for (int i = 0; i < 256; ++i) {
      bitmap->fColors[i] = colors[i];
      bitmap->fColors[i].flags = 0;
    }
  }
  if (outBits) *outBits = bitmap->fPixels.data();
  return bitmap;
}

bool PlatformDeleteBitmap(PlatformBitmap* bitmap) {
  if (!bitmap || bitmap == PlatformStockBitmap() || bitmap->SelectCount() != 0) return false;
  delete bitmap;
  return true;
}

bool PlatformGetBitmapInfo(PlatformBitmap* bitmap, PlatformBitmapInfo* outInfo) {
  if (!bitmap || !outInfo) return false;
  outInfo->width = bitmap->Width();
  outInfo->height = bitmap->Height();
  outInfo->rowLength = bitmap->RowLength();
  outInfo->bitsPerPixel = 8;
  outInfo->bits = bitmap->Bits();
  return true;
}

PlatformPalette* PlatformCreatePalette(const PlatformColorEntry* entries, int32_t count) {
  if (!entries || count < 1 || count > 256) return nullptr;
  PlatformPalette* palette = new (std::nothrow) PlatformPalette;
  if (!palette) return nullptr;
  palette->fEntries.assign(entries, entries + count);
  return palette;
}

bool PlatformDeletePalette(PlatformPalette* palette) {
  if (!palette || palette == PlatformStockPalette() || palette->fDeleted) return false;
  if (palette->fSelectCount != 0) {
    palette->fDeleted = true;
  } else {
    delete palette;
  }
  return true;
}

void PlatformPalette::Unselect() {
  if (--fSelectCount == 0 && fDeleted) delete this;
}

PlatformPalette* PlatformStockPalette() {
  static PlatformPalette* stock = [] {
    PlatformPalette* p = new PlatformPalette;
    for (int i = 0; i < 10; ++i) p->fEntries.push_back(SystemEntry(i));
    for (int i = 246; i < 256; ++i) p->fEntries.push_back(SystemEntry(i));
    return p;
  }();
  return stock;
}

int32_t PlatformGetSystemPaletteEntries(int32_t first, int32_t count, PlatformColorEntry* out) {
  if (!out || count <= 0) return 0;
  int32_t copied = 0;
  for (int64_t i = first; i < (int64_t)first + count; ++i) {
    if (i < 0 || i > 255) continue;
    out[i - first] = SystemEntry((int32_t)i);
    ++copied;
  }
  return copied;
}

PlatformBitmap* PlatformStockBitmap() {
  static PlatformBitmap* stock = PlatformCreateBitmap8(1, 1, nullptr, nullptr);
  return stock;
}

PlatformDC::~PlatformDC() {
  if (fBitmap) --fBitmap->fSelectCount;
  if (fPalette) fPalette->Unselect();
}

PlatformDC* PlatformCreateMemoryDC() {
  PlatformDC* dc = new (std::nothrow) PlatformDC;
  if (!dc) return nullptr;
  // The stock objects may be selected into any number of contexts; they are never deleted.
  dc->fBitmap = PlatformStockBitmap();
  dc->fPalette = PlatformStockPalette();
  return dc;
}

bool PlatformDeleteDC(PlatformDC* dc) {
  if (!dc) return false;
  delete dc;
  return true;
}

PlatformBitmap* PlatformSelectBitmap(PlatformDC* dc, PlatformBitmap* bitmap) {
  if (!dc || !bitmap) return nullptr;
  if (bitmap == dc->fBitmap) return bitmap;
  bool stock = bitmap == PlatformStockBitmap();
  if (!stock && bitmap->fSelectCount != 0) return nullptr;
  PlatformBitmap* old = dc->fBitmap;
  if (old && old != PlatformStockBitmap()) --old->fSelectCount;
  if (!stock) ++bitmap->fSelectCount;
  dc->fBitmap = bitmap;
  return old;
}

PlatformPalette* PlatformSelectPalette(PlatformDC* dc, PlatformPalette* palette) {
  if (!dc || !palette) return nullptr;
  if (palette->fDeleted) return nullptr;
  PlatformPalette* old = dc->fPalette;
  ++palette->fSelectCount;
  dc->fPalette = palette;
  if (!old) return nullptr;
  // A palette deleted while selected is freed by its last unselection; the stock palette is
  // answered in its place, so that the answer can always be selected back.
  bool freed = old->fDeleted && old->fSelectCount == 1;
  old->Unselect();
  return freed ? PlatformStockPalette() : old;
}

bool PlatformBitBlt(PlatformDC* dst, int32_t dstX, int32_t dstY, int32_t width, int32_t height,
                    PlatformDC* src, int32_t srcX, int32_t srcY) {
  if (!dst || !src || width <= 0 || height <= 0) return false;
  PlatformBitmap* d = dst->Bitmap();
  PlatformBitmap* s = src->Bitmap();
  if (!d || !s) return false;
  if (!ClipSpan(dstX, srcX, width, d->Width(), s->Width())) return true;
  if (!ClipSpan(dstY, srcY, height, d->Height(), s->Height())) return true;
  // Overlapping blocks of one bitmap: walk the rows in the direction that reads each source
  // row before it is overwritten; memmove handles overlap within a row.
  bool upwards = d == s && dstY > srcY;
  for (int32_t i = 0; i < height; ++i) {
    int32_t row = upwards ? height - 1 - i : i;
    std::memmove(d->TopDownRow(dstY + row) + dstX, s->TopDownRow(srcY + row) + srcX,
                 (size_t)width);
  }
  return true;
}

bool PlatformStretchBlt(PlatformDC* dst, int32_t dstX, int32_t dstY, int32_t dstWidth,
                        int32_t dstHeight, PlatformDC* src, int32_t srcX, int32_t srcY,
                        int32_t srcWidth, int32_t srcHeight) {
  if (!dst || !src || dstWidth <= 0 || dstHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) {
    return false;
  }
  PlatformBitmap* d = dst->Bitmap();
  PlatformBitmap* s = src->Bitmap();
  if (!d || !s) return false;
  if (dstWidth == srcWidth && dstHeight == srcHeight && d != s) {
    return PlatformBitBlt(dst, dstX, dstY, dstWidth, dstHeight, src, srcX, srcY);
  }
  // Reading and writing one bitmap at different scales would read written pixels: work from
  // a copy of the source block then.
  std::vector<uint8_t> copy;
  int64_t y0 = std::max<int64_t>(0, -(int64_t)dstY);
  int64_t y1 = std::min<int64_t>(dstHeight, (int64_t)d->Height() - dstY);
  int64_t x0 = std::max<int64_t>(0, -(int64_t)dstX);
  int64_t x1 = std::min<int64_t>(dstWidth, (int64_t)d->Width() - dstX);
  if (y0 >= y1 || x0 >= x1) return true;
  std::vector<int32_t> srcColumn((size_t)(x1 - x0));
  for (int64_t x = x0; x < x1; ++x) {
    srcColumn[(size_t)(x - x0)] = (int32_t)(srcX + (x * srcWidth) / dstWidth);
  }
  if (d == s) {
    copy.resize((size_t)s->RowLength() * (size_t)s->Height());
    std::memcpy(copy.data(), s->Bits(), copy.size());
  }
  for (int64_t y = y0; y < y1; ++y) {
    int64_t sy = srcY + (y * srcHeight) / dstHeight;
    if (sy < 0 || sy >= s->Height()) continue;
    const uint8_t* srcRow = d == s ? copy.data() + (int64_t)(s->Height() - 1 - sy) * s->RowLength()
                                   : s->TopDownRow((int32_t)sy);
    uint8_t* dstRow = d->TopDownRow((int32_t)(dstY + y));
    for (int64_t x = x0; x < x1; ++x) {
      int32_t sx = srcColumn[(size_t)(x - x0)];
      if (sx < 0 || sx >= s->Width()) continue;
      dstRow[dstX + x] = srcRow[sx];
    }
  }
  return true;
}
