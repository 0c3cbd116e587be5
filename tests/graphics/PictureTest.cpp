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
