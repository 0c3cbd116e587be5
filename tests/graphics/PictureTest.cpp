// Pictures: PICT version-2 data built here in the stored (big-endian) order, swapped to the
// working order, decoded into 8-bit buffers and drawn into a port; and palette references.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DebugCapture.h"
#include "MHandle.h"
#include "MacDrawing.h"
#include "offscrn.h"
#include "palettemanager.h"
#include "palwrap.h"
#include "picture.h"

namespace {

struct BE {
  std::vector<uint8_t> b;
  void u8(uint8_t v) { b.push_back(v); }
  void u16(uint16_t v) { u8(uint8_t(v >> 8)), u8(uint8_t(v)); }
  void u32(uint32_t v) { u16(uint16_t(v >> 16)), u16(uint16_t(v)); }
  void rect(int16_t t, int16_t l, int16_t bo, int16_t r) { u16(t), u16(l), u16(bo), u16(r); }
};

struct Colour {
  uint8_t r, g, b;
};

// An indexed picture of `rows` (8 pixels each, packed as one literal run per row).
std::vector<uint8_t> IndexedPicture(const std::vector<std::vector<uint8_t>>& rows, const std::vector<Colour>& table,
                                    uint16_t pixelSize = 8, uint16_t opcode = 0x9800) {
  const int16_t h = int16_t(rows.size()), w = 8;
  BE p;
  p.u16(0);
  p.rect(0, 0, h, w);
  p.u16(0x0011), p.u16(0x02FF), p.u16(0x001E);
  p.u16(opcode);
  p.u16(0x8000 | 8);  // rowBytes
  p.rect(0, 0, h, w);
  p.u16(0), p.u16(0), p.u32(0), p.u32(0x00480000), p.u32(0x00480000);
  p.u16(0), p.u16(pixelSize), p.u16(1), p.u16(pixelSize), p.u32(0), p.u32(0), p.u32(0);
  p.u32(7), p.u16(0), p.u16(uint16_t(table.size() - 1));
  for (size_t i = 0; i < table.size(); ++i) {
    p.u16(uint16_t(i)), p.u16(uint16_t(table[i].r * 257)), p.u16(uint16_t(table[i].g * 257)),
        p.u16(uint16_t(table[i].b * 257));
  }
  p.rect(0, 0, h, w), p.rect(0, 0, h, w), p.u16(0);
  for (const std::vector<uint8_t>& row : rows) {
    p.u8(uint8_t(1 + row.size()));
    p.u8(uint8_t(row.size() - 1));
    for (uint8_t v : row) p.u8(v);
  }
  p.u16(0x00FF);
  return p.b;
}

// PackBits: runs of 3 or more alike as repeats, the rest as literals, at most 128 each.
std::vector<uint8_t> PackBits(const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < in.size()) {
    size_t run = 1;
    while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
    if (run >= 3) {
      out.push_back(uint8_t(1 - int(run)));
      out.push_back(in[i]);
      i += run;
      continue;
    }
    size_t n = 0;
    while (i + n < in.size() && n < 128 &&
           !(i + n + 2 < in.size() && in[i + n] == in[i + n + 1] && in[i + n] == in[i + n + 2])) {
      ++n;
    }
    out.push_back(uint8_t(n - 1));
    out.insert(out.end(), in.begin() + long(i), in.begin() + long(i + n));
    i += n;
  }
  return out;
}

// One stored row: packed behind a length of two bytes or one (`wideCount`), or as it is.
void PutRow(BE& p, const std::vector<uint8_t>& row, bool packed, bool wideCount) {
  if (!packed) {
    for (uint8_t v : row) p.u8(v);
    return;
  }
  const std::vector<uint8_t> bytes = PackBits(row);
  if (wideCount) {
    p.u16(uint16_t(bytes.size()));
  } else {
    p.u8(uint8_t(bytes.size()));
  }
  for (uint8_t v : bytes) p.u8(v);
}

// The 46 bytes of a pixel map after its base address.
void PutPixMap(BE& p, int16_t w, int16_t h, uint16_t rowBytes, uint16_t packType, uint16_t pixelType,
               uint16_t pixelSize, uint16_t cmpCount) {
  p.u16(0x8000 | rowBytes);
  p.rect(0, 0, h, w);
  p.u16(0), p.u16(packType), p.u32(0), p.u32(0x00480000), p.u32(0x00480000);
  p.u16(pixelType), p.u16(pixelSize), p.u16(cmpCount), p.u16(8), p.u32(0), p.u32(0), p.u32(0);
}

// A picture `w` wide with the given row bytes, laid out as the row rule says. Indexed:
// `rows` hold colour-table indices, `rowBytes` bytes a row (0 past the width); direct:
// `rows` hold the planes, each `w` bytes (alpha first with 4 components).
std::vector<uint8_t> RowRulePicture(bool direct, int16_t w, uint16_t rowBytes,
                                    const std::vector<std::vector<uint8_t>>& rows, uint16_t cmpCount = 3) {
  const int16_t h = int16_t(rows.size());
  BE p;
  p.u16(0);
  p.rect(0, 0, h, w);
  p.u16(0x0011), p.u16(0x02FF), p.u16(0x001E);
  if (direct) {
    p.u16(0x9A00);
    p.u32(0x000000FF);  // base address
    PutPixMap(p, w, h, rowBytes, 4, 16, 32, cmpCount);
  } else {
    p.u16(0x9800);
    PutPixMap(p, w, h, rowBytes, 0, 0, 8, 1);
    p.u32(7), p.u16(0), p.u16(255);
    for (int i = 0; i < 256; ++i) {
      const uint16_t grey = uint16_t((10 + i % 200) * 257);  // entry i is grey 10 + i % 200
      p.u16(uint16_t(i)), p.u16(grey), p.u16(grey), p.u16(grey);
    }
  }
  p.rect(0, 0, h, w), p.rect(0, 0, h, w), p.u16(0);
  for (const std::vector<uint8_t>& row : rows) {
    const bool packed = direct || rowBytes >= 8;
    PutRow(p, row, packed, direct ? rowBytes > 251 : rowBytes >= 250);
  }
  p.u16(0x00FF);
  return p.b;
}

// The global palette: index 0 white, 5 black, 6 red, 7 green, others grey.
void SetGlobalColours() {
  PlatformColorEntry colors[256];
  for (int i = 0; i < 256; ++i) colors[i] = PlatformColorEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  colors[0] = {255, 255, 255, 0};
  colors[5] = {0, 0, 0, 0};
  colors[6] = {255, 0, 0, 0};
  colors[7] = {0, 255, 0, 0};
  GetGlobalPalette()->Create(colors, 0);
}

}  // namespace

TEST(Picture, IndexedPixelsMatchTheGlobalPaletteOnce) {
  SetGlobalColours();
  std::vector<uint8_t> pict = IndexedPicture({{0, 1, 2, 2, 1, 0, 1, 2}, {2, 2, 2, 2, 2, 2, 2, 2}},
                                             {{0, 0, 0}, {255, 0, 0}, {255, 0, 0}});
  Picture::SwapPicture(pict.data(), int32_t(pict.size()));
  uint8_t buffer[2][8] = {};
  ASSERT_TRUE(Picture::DrawPixels(pict.data(), int32_t(pict.size()), &buffer[0][0], 8, 8, 2, 0, 0, true));
  const uint8_t expected[2][8] = {{5, 6, 6, 6, 6, 5, 6, 6}, {6, 6, 6, 6, 6, 6, 6, 6}};
  EXPECT_EQ(std::memcmp(buffer, expected, sizeof buffer), 0);
  // Both red entries were matched and keep their index in the value field.
  for (int entry = 1; entry <= 2; ++entry) {
    uint16_t cached = 0;
    std::memcpy(&cached, pict.data() + 72 + 8 * entry, 2);
    EXPECT_EQ(cached, 6) << entry;
  }
  MHandle* h = HAlloc(uint32_t(pict.size()));
  std::memcpy(HLock(h), pict.data(), pict.size());
  HUnlock(h);
  Picture picture(h);
  MacRect frame;
  picture.GetFrame(frame);
  EXPECT_EQ(frame.bottom, 2);
  EXPECT_EQ(frame.right, 8);
  picture.Release();
  HFree(h);

  // An offset window, bottom-up buffer: row 1 from column 4.
  uint8_t small[4] = {};
  ASSERT_TRUE(Picture::DrawPixels(pict.data(), int32_t(pict.size()), small, -4, 4, 1, 4, 1, false));
  EXPECT_EQ(small[0], 6);

  uint8_t argb[8 * 4];
  ASSERT_TRUE(Picture::DrawPixels32(pict.data(), int32_t(pict.size()), argb, 32, 8, 1, 0, 0));
  EXPECT_EQ(argb[4 + 1], 255);
  EXPECT_EQ(argb[4 + 2], 0);
}

// Row layouts on both sides of each threshold: the one-byte and two-byte packed lengths of
// indexed (250 row bytes) and direct (251) pictures, indexed rows under 8 bytes stored as
// they are, and direct rows packed at every width, the narrowest included.
TEST(Picture, RowsFollowTheRowRuleAtEveryThreshold) {
  SetGlobalColours();
  const struct Case {
    bool direct;
    int16_t width;
    uint16_t rowBytes;
    uint16_t cmpCount;
  } cases[] = {
      {false, 5, 7, 1},    {false, 8, 8, 1},    {false, 6, 9, 1},     {false, 249, 249, 1},
      {false, 250, 250, 1}, {false, 200, 300, 1}, {true, 1, 4, 3},     {true, 1, 7, 3},
      {true, 2, 8, 3},     {true, 2, 8, 4},     {true, 62, 248, 3},   {true, 62, 251, 3},
      {true, 63, 252, 3},  {true, 63, 252, 4},
  };
  const int16_t h = 3;
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << (k.direct ? "direct" : "indexed") << " width " << k.width
                                    << " row bytes " << k.rowBytes << " components " << k.cmpCount);
    // Greys 10..209 map to the palette index of the same number; runs and single pixels.
    std::vector<std::vector<uint8_t>> want(h, std::vector<uint8_t>(size_t(k.width)));
    std::vector<std::vector<uint8_t>> stored(h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < k.width; ++x) want[y][x] = uint8_t(10 + ((x / 4) % 2 ? x * 7 + y : y * 3) % 200);
      if (k.direct) {
        if (k.cmpCount == 4) stored[y].assign(size_t(k.width), 0xFF);  // alpha plane
        for (int plane = 0; plane < 3; ++plane) stored[y].insert(stored[y].end(), want[y].begin(), want[y].end());
      } else {
        stored[y].assign(k.rowBytes, 0);
        for (int x = 0; x < k.width; ++x) stored[y][x] = uint8_t(want[y][x] - 10);
      }
    }
    std::vector<uint8_t> pict = RowRulePicture(k.direct, k.width, k.rowBytes, stored, k.cmpCount);
    Picture::SwapPicture(pict.data(), int32_t(pict.size()));
    std::vector<uint8_t> buffer(size_t(k.width) * h, 0);
    ASSERT_TRUE(Picture::DrawPixels(pict.data(), int32_t(pict.size()), buffer.data(), k.width, k.width, h, 0, 0,
                                    true));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < k.width; ++x) ASSERT_EQ(buffer[size_t(y) * k.width + x], want[y][x]) << x << "," << y;
  }
}

TEST(Picture, RefusesPicturesItCannotDraw) {
  SetGlobalColours();
  uint8_t buffer[16] = {};
  std::vector<uint8_t> fourBit = IndexedPicture({{0, 1, 0, 1, 0, 1, 0, 1}}, {{0, 0, 0}, {1, 1, 1}}, 4);
  Picture::SwapPicture(fourBit.data(), int32_t(fourBit.size()));
  EXPECT_FALSE(Picture::DrawPixels(fourBit.data(), int32_t(fourBit.size()), buffer, 8, 8, 1, 0, 0, true));

  std::vector<uint8_t> good = IndexedPicture({{0, 1, 0, 1, 0, 1, 0, 1}}, {{0, 0, 0}, {1, 1, 1}});
  Picture::SwapPicture(good.data(), int32_t(good.size()));
  // Cut anywhere: never drawn from bytes that are not there.
  for (size_t cut = 0; cut + 2 < good.size(); ++cut) {
    std::vector<uint8_t> part(good.begin(), good.begin() + cut);
    EXPECT_FALSE(Picture::DrawPixels(part.data(), int32_t(part.size()), buffer, 8, 8, 1, 0, 0, true)) << cut;
  }
  // A colour table that claims more entries than the data hold.
  std::vector<uint8_t> big = IndexedPicture({{0, 0, 0, 0, 0, 0, 0, 0}}, {{0, 0, 0}});
  big[10 + 6 + 2 + 46 + 6] = 0x00;
  big[10 + 6 + 2 + 46 + 7] = 0xFF;
  Picture::SwapPicture(big.data(), int32_t(big.size()));
  EXPECT_FALSE(Picture::DrawPixels(big.data(), int32_t(big.size()), buffer, 8, 8, 1, 0, 0, true));
}

TEST(Picture, WithoutPixelsItDrawsABlackFrame) {
  SetGlobalColours();
  BE p;
  p.u16(0), p.rect(0, 0, 4, 4), p.u16(0x0011), p.u16(0x02FF), p.u16(0x00FF);
  Picture::SwapPicture(p.b.data(), int32_t(p.b.size()));
  MHandle* h = HAlloc(uint32_t(p.b.size()));
  std::memcpy(HLock(h), p.b.data(), p.b.size());
  HUnlock(h);

  Offscreen port;
  port.Create(MacRect{0, 0, 10, 10});
  port.SetPortToSelf(nullptr);
  Picture picture(h);
  picture.SetState(1);
  EXPECT_FALSE(picture.DrawWithState(MacRect{2, 2, 6, 6}));
  EXPECT_EQ(picture.GetState(), 1u);
  const uint8_t* base = port.GetBaseAddr();
  const int32_t step = port.GetRowBytes();
  EXPECT_EQ(base[2 * step + 2], 5);  // black frame
  EXPECT_EQ(base[5 * step + 5], 5);
  EXPECT_EQ(base[8 * step + 8], 0);  // outside untouched
  port.RestorePort();
  picture.Release();
  HFree(h);
}

TEST(Picture, UnpackBits) {
  const uint8_t packed[] = {0xFE, 7, 1, 3, 4, 0x80, 0x00, 9};
  uint8_t out[8] = {};
  EXPECT_EQ(Picture::UnpackBits(packed, packed + sizeof packed, out, 8), 6);
  const uint8_t expected[] = {7, 7, 7, 3, 4, 9};
  EXPECT_EQ(std::memcmp(out, expected, 6), 0);
  // A run past the length or the source end stops there.
  EXPECT_EQ(Picture::UnpackBits(packed, packed + sizeof packed, out, 2), 2);
  EXPECT_EQ(Picture::UnpackBits(packed, packed + 1, out, 8), 0);
}

TEST(PaletteManager, ReferencesOwnThePalette) {
  ScopedDebugCapture capture;
  PalWrap* palette = new PalWrap;
  {
    PaletteManager manager;
    manager.Add(palette, 3);
    manager.Add(nullptr, 4);
    EXPECT_TRUE(capture.Saw("inPal != 0; inPal is NULL"));
    EXPECT_EQ(manager.Count(), 1);
    EXPECT_EQ(manager.Find(3), nullptr);
    PaletteRef a(3, palette);
    PaletteRef b;
    b = a;
    EXPECT_EQ(palette->GetRefCount(), 3);
    EXPECT_TRUE(a == b);
    PalWrap* other = new PalWrap;
    PaletteRef c(3, other);
    EXPECT_TRUE(a == c);
    EXPECT_TRUE(capture.Saw("same id, different palettes"));
    EXPECT_TRUE(PaletteRef(1, nullptr) < a);
  }
  // The last reference deleted both palettes (the sanitizer sees any leak or double free).
}
