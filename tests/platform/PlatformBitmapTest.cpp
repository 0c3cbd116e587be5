#include "PlatformBitmap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A bitmap selected into its own memory context, released on scope exit.
struct Surface {
  PlatformBitmap* bitmap = nullptr;
  PlatformDC* dc = nullptr;
  PlatformBitmap* old = nullptr;
  Surface(int32_t w, int32_t h) {
    bitmap = PlatformCreateBitmap8(w, h, nullptr, nullptr);
    dc = PlatformCreateMemoryDC();
    old = PlatformSelectBitmap(dc, bitmap);
  }
  ~Surface() {
    PlatformSelectBitmap(dc, old);
    PlatformDeleteDC(dc);
    PlatformDeleteBitmap(bitmap);
  }
  uint8_t& At(int32_t x, int32_t y) { return bitmap->TopDownRow(y)[x]; }
  void FillPattern() {
    for (int32_t y = 0; y < bitmap->Height(); ++y)
      for (int32_t x = 0; x < bitmap->Width(); ++x) At(x, y) = (uint8_t)(y * 16 + x + 1);
  }
};

TEST(PlatformBitmap, RowsArePaddedBottomUpAndZeroed) {
  uint8_t* bits = nullptr;
  PlatformColorEntry colors[256];
  colors[3] = {10, 20, 30, 5};
  PlatformBitmap* bmp = PlatformCreateBitmap8(5, 3, colors, &bits);
  ASSERT_NE(bmp, nullptr);
  PlatformBitmapInfo info;
  ASSERT_TRUE(PlatformGetBitmapInfo(bmp, &info));
  EXPECT_EQ(info.width, 5);
  EXPECT_EQ(info.height, 3);
  EXPECT_EQ(info.rowLength, 8);
  EXPECT_EQ(info.bitsPerPixel, 8);
  EXPECT_EQ(info.bits, bits);
  // The top row of the picture is the last stored row.
  EXPECT_EQ(bmp->TopDownRow(0), bits + 16);
  EXPECT_EQ(bmp->TopDownRow(2), bits);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(bits[i], 0) << i;
  EXPECT_EQ(bmp->ColorTable()[3].red, 10);
  EXPECT_EQ(bmp->ColorTable()[3].blue, 30);
  EXPECT_EQ(bmp->ColorTable()[3].flags, 0);
  EXPECT_TRUE(PlatformDeleteBitmap(bmp));
}

TEST(PlatformBitmap, RefusesBadSizes) {
  const int32_t bad[][2] = {{0, 1}, {1, 0}, {-1, 4}, {4, -4}, {32768, 1}, {1, 32768}};
  for (auto& s : bad) {
    uint8_t* bits = reinterpret_cast<uint8_t*>(1);
    EXPECT_EQ(PlatformCreateBitmap8(s[0], s[1], nullptr, &bits), nullptr) << s[0] << "x" << s[1];
    EXPECT_EQ(bits, nullptr);
  }
  PlatformBitmap* big = PlatformCreateBitmap8(32767, 1, nullptr, nullptr);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->RowLength(), 32768);
  PlatformDeleteBitmap(big);
}

TEST(PlatformBitmap, SelectionGuardsOwnership) {
  PlatformBitmap* bmp = PlatformCreateBitmap8(4, 4, nullptr, nullptr);
  PlatformDC* a = PlatformCreateMemoryDC();
  PlatformDC* b = PlatformCreateMemoryDC();
  EXPECT_EQ(a->Bitmap(), PlatformStockBitmap());
  EXPECT_EQ(a->Palette(), PlatformStockPalette());
  PlatformBitmap* old = PlatformSelectBitmap(a, bmp);
  EXPECT_EQ(old, PlatformStockBitmap());
  EXPECT_EQ(PlatformSelectBitmap(b, bmp), nullptr);  // already selected into a
  EXPECT_FALSE(PlatformDeleteBitmap(bmp));           // still selected
  EXPECT_EQ(PlatformSelectBitmap(a, old), bmp);
  EXPECT_FALSE(PlatformDeleteBitmap(PlatformStockBitmap()));

  PlatformColorEntry entries[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  PlatformPalette* pal = PlatformCreatePalette(entries, 2);
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(PlatformCreatePalette(entries, 0), nullptr);
  EXPECT_EQ(PlatformCreatePalette(entries, 257), nullptr);
  PlatformPalette* oldPal = PlatformSelectPalette(a, pal);
  EXPECT_EQ(PlatformSelectPalette(b, pal), PlatformStockPalette());
  EXPECT_EQ(PlatformSelectPalette(a, oldPal), pal);
  EXPECT_TRUE(PlatformDeletePalette(pal));  // still selected into b: freed when b lets go
  EXPECT_FALSE(PlatformDeletePalette(pal));
  EXPECT_EQ(PlatformSelectPalette(a, pal), nullptr);  // a deleted palette is not selected
  EXPECT_EQ(b->Palette(), pal);
  EXPECT_EQ(PlatformSelectPalette(b, oldPal), PlatformStockPalette());  // pal is gone
  EXPECT_FALSE(PlatformDeletePalette(PlatformStockPalette()));
  // Deleted while selected, freed with the context (ASan reports a leak otherwise).
  PlatformPalette* pal2 = PlatformCreatePalette(entries, 2);
  PlatformSelectPalette(a, pal2);
  EXPECT_TRUE(PlatformDeletePalette(pal2));

  EXPECT_TRUE(PlatformDeleteDC(a));
  EXPECT_TRUE(PlatformDeleteDC(b));
  EXPECT_TRUE(PlatformDeleteBitmap(bmp));
}

TEST(PlatformBitmap, SystemPaletteHasTheStaticColours) {
  PlatformColorEntry all[256];
  EXPECT_EQ(PlatformGetSystemPaletteEntries(0, 256, all), 256);
  EXPECT_EQ(all[0].red + all[0].green + all[0].blue, 0);
  EXPECT_EQ(all[7].red, 192);
  EXPECT_EQ(all[255].red, 255);
  EXPECT_EQ(all[255].blue, 255);
  EXPECT_EQ(all[249].red, 255);
  EXPECT_EQ(all[249].green, 0);
  EXPECT_EQ(all[100].red + all[100].green + all[100].blue, 0);
  PlatformColorEntry tail[4];
  EXPECT_EQ(PlatformGetSystemPaletteEntries(254, 4, tail), 2);  // 256 and 257 do not exist
  EXPECT_EQ(tail[1].green, 255);
}

TEST(PlatformBitmap, BitBltCopiesAndClips) {
  Surface src(6, 4), dst(6, 4);
  src.FillPattern();
  // A plain block copy.
  EXPECT_TRUE(PlatformBitBlt(dst.dc, 1, 1, 2, 2, src.dc, 3, 0));
  EXPECT_EQ(dst.At(1, 1), src.At(3, 0));
  EXPECT_EQ(dst.At(2, 2), src.At(4, 1));
  EXPECT_EQ(dst.At(0, 0), 0);
  EXPECT_EQ(dst.At(3, 1), 0);
  // Blocks hanging off every edge write only what lies inside.
  Surface edge(3, 3);
  EXPECT_TRUE(PlatformBitBlt(edge.dc, -2, -1, 6, 6, src.dc, 0, 0));
  EXPECT_EQ(edge.At(0, 0), src.At(2, 1));
  EXPECT_EQ(edge.At(2, 2), src.At(4, 3));
  EXPECT_TRUE(PlatformBitBlt(edge.dc, 2, 2, 100, 100, src.dc, -3, -3));
  EXPECT_EQ(edge.At(2, 2), src.At(4, 3));  // source lies outside: unchanged
  EXPECT_FALSE(PlatformBitBlt(edge.dc, 0, 0, 0, 1, src.dc, 0, 0));
  EXPECT_FALSE(PlatformBitBlt(nullptr, 0, 0, 1, 1, src.dc, 0, 0));
}

TEST(PlatformBitmap, BitBltWithinOneBitmapOverlaps) {
  Surface s(4, 4);
  s.FillPattern();
  std::vector<uint8_t> before;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) before.push_back(s.At(x, y));
  EXPECT_TRUE(PlatformBitBlt(s.dc, 1, 1, 3, 3, s.dc, 0, 0));
  for (int y = 1; y < 4; ++y)
    for (int x = 1; x < 4; ++x) EXPECT_EQ(s.At(x, y), before[(y - 1) * 4 + (x - 1)]);
}

TEST(PlatformBitmap, StretchBltScalesByNearestPixel) {
  Surface src(2, 2), dst(5, 5);
  src.At(0, 0) = 1;
  src.At(1, 0) = 2;
  src.At(0, 1) = 3;
  src.At(1, 1) = 4;
  EXPECT_TRUE(PlatformStretchBlt(dst.dc, 0, 0, 4, 4, src.dc, 0, 0, 2, 2));
  const uint8_t expect[4][4] = {{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.At(x, y), expect[y][x]) << x << "," << y;
  EXPECT_EQ(dst.At(4, 4), 0);
  // Shrinking, hanging off the destination's right and bottom edges.
  Surface small(2, 2);
  EXPECT_TRUE(PlatformStretchBlt(small.dc, 1, 1, 2, 2, dst.dc, 0, 0, 4, 4));
  EXPECT_EQ(small.At(1, 1), 1);
  EXPECT_EQ(small.At(0, 0), 0);
  EXPECT_FALSE(PlatformStretchBlt(small.dc, 0, 0, 2, 2, dst.dc, 0, 0, 0, 4));
}

}  // namespace
