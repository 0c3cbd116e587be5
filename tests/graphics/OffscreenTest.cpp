#include "offscrn.h"

#include <gtest/gtest.h>

#include <vector>

#include "DebugCapture.h"
#include "palwrap.h"

namespace {

MacRect Rect(int16_t top, int16_t left, int16_t bottom, int16_t right) {
  return MacRect{top, left, bottom, right};
}

uint8_t& Pixel(Offscreen& o, int32_t x, int32_t y) {
  return o.GetBaseAddr()[(int64_t)y * o.GetRowBytes() + x];
}

void Fill(Offscreen& o) {
  int32_t w, h;
  o.GetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) Pixel(o, x, y) = (uint8_t)(y * 10 + x + 1);
}

// A palette of greys, for worlds that should not touch the global palette.
struct GreyPalette {
  PalWrap pal;
  GreyPalette() {
    std::vector<PlatformColorEntry> c(256);
    for (int i = 0; i < 256; ++i) c[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    pal.Create(c.data(), 0);
  }
};

TEST(Offscreen, CreateMakesAZeroedBottomUpWorld) {
  GreyPalette grey;
  ScopedDebugCapture capture;
  Offscreen o;
  ASSERT_TRUE(o.Create(Rect(0, 0, 3, 5), &grey.pal));
  EXPECT_TRUE(capture.Text().empty());  // no row-length warning
  EXPECT_TRUE(o.Exists());
  EXPECT_EQ(o.GetRowBytes(), -8);
  EXPECT_EQ(o.GetPalette(), &grey.pal);
  int32_t w, h;
  o.GetSize(w, h);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, 3);
  PlatformBitmap* bmp = o.GetWorld();
  ASSERT_NE(bmp, nullptr);
  // The base is the top row, which the bitmap stores last.
  EXPECT_EQ(o.GetBaseAddr(), bmp->Bits() + 16);
  EXPECT_EQ(o.GetBaseAddr(), bmp->TopDownRow(0));
  for (int i = 0; i < 24; ++i) EXPECT_EQ(bmp->Bits()[i], 0);
  EXPECT_EQ(bmp->ColorTable()[200].green, 200);
  EXPECT_EQ(o.GetDC()->Palette(), grey.pal.GetPalette());
  o.Dispose();
  EXPECT_FALSE(o.Exists());
  o.GetSize(w, h);
  EXPECT_EQ(w + h, 0);
  MacRect r;
  o.GetPortRect(r);
  EXPECT_EQ(r.bottom + r.right, 0);
  o.Dispose();
}

TEST(Offscreen, RefusesEmptyNegativeAndOversizedBounds) {
  const MacRect bad[] = {Rect(0, 0, 0, 5),   Rect(0, 0, 5, 0),       Rect(10, 0, 0, 5),
                         Rect(0, 10, 5, 0),  Rect(0, -20000, 5, 20000), Rect(-32768, 0, 32767, 4)};
  for (const MacRect& b : bad) {
    ScopedDebugCapture capture;
    Offscreen o(b);
    EXPECT_FALSE(o.Exists());
    EXPECT_TRUE(capture.Saw("bad offscreen bounds"));
    EXPECT_EQ(o.GetRowBytes(), 0);
  }
  // A world that existed before a refused Create is gone, not half-replaced.
  Offscreen o(Rect(0, 0, 2, 2));
  ScopedDebugCapture capture;
  EXPECT_FALSE(o.Create(Rect(0, 0, -1, 2)));
  EXPECT_FALSE(o.Exists());
}

TEST(Offscreen, KeepsBoundsThatDoNotStartAtZero) {
  Offscreen o(Rect(10, 20, 13, 24));
  ASSERT_TRUE(o.Exists());
  MacRect r;
  o.GetPortRect(r);
  EXPECT_EQ(r.top, 10);
  EXPECT_EQ(r.right, 24);
  int32_t w, h;
  o.GetSize(w, h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 3);
  ScopedDebugCapture capture;
  o.Flip(false, true);
  EXPECT_TRUE(capture.Saw("unexpected top,left!=0,0"));
}

TEST(Offscreen, FlipMirrorsRowsThenColumns) {
  struct Case { bool h, v; } cases[] = {{false, true}, {true, false}, {true, true}};
  for (const Case& k : cases) {
    Offscreen o(Rect(0, 0, 3, 5));
    Fill(o);
    o.Flip(k.h, k.v);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        int sx = k.h ? 4 - x : x, sy = k.v ? 2 - y : y;
        EXPECT_EQ(Pixel(o, x, y), sy * 10 + sx + 1) << k.h << k.v << " " << x << "," << y;
      }
  }
  ScopedDebugCapture capture;
  Offscreen none;
  none.Flip(true, true);
  EXPECT_TRUE(capture.Saw("flipping unlocked offscreen"));
}

TEST(Offscreen, SetPortMakesTheWorldThePortAndRestoresIt) {
  Offscreen o(Rect(0, 0, 4, 4));
  PlatformDC* other = PlatformCreateMemoryDC();
  MacSetPort(nullptr, other);
  MacRect clip = Rect(2, 1, 10, 3), out;
  uint8_t* base = nullptr;
  int32_t rowBytes = 0;
  o.SetPort(&clip, out, base, rowBytes);
  EXPECT_EQ(gPort.dc, o.GetDC());
  EXPECT_EQ(base, o.GetBaseAddr());
  EXPECT_EQ(rowBytes, -4);
  EXPECT_EQ(out.top, 2);
  EXPECT_EQ(out.left, 1);
  EXPECT_EQ(out.bottom, 4);
  EXPECT_EQ(out.right, 3);
  o.RestorePort();
  EXPECT_EQ(gPort.dc, other);
  // Disposed while it is the port: the port goes back, never naming a freed context.
  o.SetPort(nullptr, out, base, rowBytes);
  o.Dispose();
  EXPECT_EQ(gPort.dc, other);
  MacSetPort(nullptr, nullptr);
  PlatformDeleteDC(other);
}

TEST(Offscreen, CopyToPortBlitsOrStretches) {
  Offscreen src(Rect(0, 0, 2, 2)), dst(Rect(0, 0, 4, 4));
  Pixel(src, 0, 0) = 1;
  Pixel(src, 1, 0) = 2;
  Pixel(src, 0, 1) = 3;
  Pixel(src, 1, 1) = 4;
  MacSetPort(nullptr, dst.GetDC());
  // The top row written through the base is the top row seen by a blit.
  EXPECT_TRUE(src.CopyToPort(Rect(0, 0, 2, 2), Rect(1, 2, 3, 4)));
  EXPECT_EQ(Pixel(dst, 2, 1), 1);
  EXPECT_EQ(Pixel(dst, 3, 2), 4);
  EXPECT_EQ(Pixel(dst, 0, 0), 0);
  EXPECT_TRUE(src.CopyToPort(Rect(0, 0, 2, 2), Rect(0, 0, 4, 4)));  // twice the size
  const uint8_t want[4][4] = {{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(dst, x, y), want[y][x]);
  MacSetPort(nullptr, nullptr);
  EXPECT_FALSE(src.CopyToPort(Rect(0, 0, 2, 2), Rect(0, 0, 2, 2)));  // no port
}

TEST(Offscreen, AdoptedBitmapsAreNeitherCopiedNorFreed) {
  PlatformBitmap* bmp = PlatformCreateBitmap8(3, 2, nullptr, nullptr);
  {
    Offscreen o(bmp);
    ASSERT_TRUE(o.Exists());
    MacRect r;
    o.GetPortRect(r);
    EXPECT_EQ(r.bottom, 2);
    EXPECT_EQ(r.right, 3);
    EXPECT_EQ(o.GetRowBytes(), -4);
    Pixel(o, 2, 0) = 9;
    EXPECT_EQ(bmp->TopDownRow(0)[2], 9);
    EXPECT_EQ(o.GetDC(), nullptr);
    ScopedDebugCapture capture;
    EXPECT_FALSE(o.CopyToPort(r, r));
    EXPECT_TRUE(capture.Saw("can't do that"));
    EXPECT_FALSE(o.Adopt(bmp));
    EXPECT_TRUE(capture.Saw("can't set when already allocated"));
  }
  EXPECT_TRUE(PlatformDeleteBitmap(bmp));  // still ours after the world is gone
}

TEST(Offscreen, PointerCheckAndKeptPixels) {
  Offscreen o(Rect(0, 0, 3, 5));
  Fill(o);
  uint8_t* top = o.GetBaseAddr();
  uint8_t* bottom = top + 2 * o.GetRowBytes();
  EXPECT_TRUE(o.CheckPointer(top, 5));
  EXPECT_TRUE(o.CheckPointer(bottom, 24));
  EXPECT_FALSE(o.CheckPointer(bottom - 1, 1));
  EXPECT_FALSE(o.CheckPointer(top + 4, 5));
  int32_t mw, mh;
  Offscreen::GetMaxSize(mw, mh);
  EXPECT_EQ(mw, 32767);
  EXPECT_EQ(mh, 32767);
  Offscreen other(Rect(0, 0, 1, 1));
  EXPECT_TRUE(o.SameWorld(o));
  EXPECT_FALSE(o.SameWorld(other));

  o.ReleaseKeepingPixels();
  EXPECT_FALSE(o.Exists());
  EXPECT_EQ(o.GetDC(), nullptr);
  EXPECT_EQ(Pixel(o, 4, 2), 25);
  EXPECT_EQ(Pixel(o, 0, 0), 1);
}

TEST(Offscreen, PaletteReplacedUnderALiveWorld) {
  GreyPalette grey;
  Offscreen o(Rect(0, 0, 2, 2));
  ASSERT_TRUE(o.Create(Rect(0, 0, 2, 2), &grey.pal));
  // Replacing the colours frees the old palette object once the world lets it go.
  std::vector<PlatformColorEntry> c(256);
  grey.pal.Create(c.data(), 0);
  grey.pal.Dispose();
  o.Dispose();
}

}  // namespace
