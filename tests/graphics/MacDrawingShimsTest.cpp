// The drawing shims on the current port: rectangles, ovals, lines and arrows drawn into an
// offscreen world, the brushes each call makes, the window-only calls, and the double click.
#include <gtest/gtest.h>

#include <cstring>

#include "DebugCapture.h"
#include "MacDrawingShims.h"
#include "PlatformDraw.h"
#include "PlatformFont.h"
#include "offscrn.h"
#include "palwrap.h"

namespace {

// A world of `size` x `size` pixels (32 unless given) on a palette of black (0), white (1),
// red (2) and greys, filled with index 9 and made the port.
class ShimWorld {
 public:
  explicit ShimWorld(int size = 32) : fSize(size) {
    PlatformColorEntry colors[256];
    for (int i = 0; i < 256; ++i) colors[i] = PlatformColorEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    colors[0] = {0, 0, 0, 0};
    colors[1] = {255, 255, 255, 0};
    colors[2] = {255, 0, 0, 0};
    colors[255] = {250, 250, 250, 0};
    fPalette.Create(colors, 0);
    fWorld.Create(MacRect{0, 0, int16_t(size), int16_t(size)}, &fPalette);
    Clear();
    fWorld.SetPortToSelf(nullptr);
  }
  ~ShimWorld() { fWorld.RestorePort(); }
  void Clear() {
    for (int y = 0; y < fSize; ++y) std::memset(Row(y), 9, size_t(fSize));
  }
  uint8_t* Row(int y) { return fWorld.GetBaseAddr() + y * fWorld.GetRowBytes(); }
  uint8_t At(int x, int y) { return Row(y)[x]; }
  int Count(uint8_t index) { return CountIn(index, 0, 0, fSize, fSize); }
  // Pixels of `index` with left <= x < right and top <= y < bottom.
  int CountIn(uint8_t index, int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) n += At(x, y) == index;
    return n;
  }
  // The leftmost column holding `index`, or -1.
  int LeftmostOf(uint8_t index) {
    for (int x = 0; x < fSize; ++x)
      for (int y = 0; y < fSize; ++y)
        if (At(x, y) == index) return x;
    return -1;
  }
  // The lowest row holding `index`, or -1.
  int BottomRowOf(uint8_t index) {
    for (int y = fSize - 1; y >= 0; --y)
      if (CountIn(index, 0, y, fSize, y + 1) > 0) return y;
    return -1;
  }

 private:
  int fSize;
  PalWrap fPalette;
  Offscreen fWorld;
};

MacRect Rect(int16_t l, int16_t t, int16_t r, int16_t b) { return MacRect{t, l, b, r}; }

}  // namespace

TEST(MacDrawingShims, PaintEraseFrameAndInvert) {
  ShimWorld world;
  const int32_t brushes = PlatformLiveBrushCount();
  MacPaintRect(Rect(0, 0, 4, 4), 0);  // stock black brush: none made
  EXPECT_EQ(PlatformLiveBrushCount(), brushes);
  EXPECT_EQ(world.At(3, 3), 0);
  EXPECT_EQ(world.At(4, 3), 9);
  MacPaintRect(Rect(4, 0, 8, 4), 0x000000FF);  // red, through a brush deleted afterwards
  EXPECT_EQ(world.At(4, 0), 2);
  EXPECT_EQ(PlatformLiveBrushCount(), brushes);

  MacSetBackColor(0x00FFFFFF);
  uint32_t back = 0;
  MacGetBackColor(back);
  EXPECT_EQ(back, 0x00FFFFFFu);
  MacEraseRect(Rect(10, 10, 12, 12));
  EXPECT_EQ(world.At(11, 11), 1);

  MacFrameRectBlack(Rect(20, 20, 25, 25));
  EXPECT_EQ(world.At(20, 22), 0);
  EXPECT_EQ(world.At(24, 24), 0);
  EXPECT_EQ(world.At(22, 22), 9);
  MacInvertRect(Rect(22, 22, 23, 23));
  EXPECT_EQ(world.At(22, 22), uint8_t(~9));
  EXPECT_EQ(PlatformLiveBrushCount(), brushes);
}

TEST(MacDrawingShims, OvalLinesAndArrows) {
  ShimWorld world;
  MacPaintOval(Rect(0, 0, 9, 9));
  EXPECT_EQ(world.At(4, 4), 0);
  EXPECT_EQ(world.At(0, 0), 9);

  PlatformMoveTo(gPort.dc, 10, 20);
  MacLine(5, 0);
  EXPECT_EQ(world.At(10, 20), 0);
  EXPECT_EQ(world.At(14, 20), 0);
  EXPECT_EQ(world.At(15, 20), 9);  // the end pixel is not drawn
  EXPECT_EQ(gPort.dc->fDrawState.penX, 15);

  // A horizontal arrow: shaft to the head, head lines closing at the tip.
  ShimWorld arrow;
  MacDrawArrow(MacPoint{16, 2}, 20, 0, 4);
  EXPECT_EQ(arrow.At(2, 16), 0);
  EXPECT_EQ(arrow.At(17, 16), 0);
  EXPECT_EQ(arrow.At(18, 14), 0);  // on the head's back edge
  EXPECT_EQ(arrow.At(10, 10), 9);
  EXPECT_EQ(gPort.dc->fDrawState.pen, nullptr);  // the previous pen is back

  ShimWorld dot;
  MacDrawArrow(MacPoint{10, 10}, 0, 0);
  EXPECT_EQ(dot.At(10, 10), 0);
  EXPECT_GT(dot.Count(0), 40);
  EXPECT_EQ(dot.At(10, 15), 9);
}

TEST(MacDrawingShims, WithoutDcOrWindow) {
  ScopedDebugCapture capture;
  MacPort saved;
  MacGetPort(saved);
  MacSetPortDC(nullptr);
  MacPaintRect(Rect(0, 0, 4, 4), 0);
  MacLine(3, 3);
  EXPECT_EQ(capture.Count("gPort.dc; no dc"), 2);

  // A port with only a DC has no window to invalidate or convert for.
  ShimWorld world;
  static int invalidations = 0;
  PlatformWindowProcs procs;
  procs.invalidate = [](PlatformWindow*, const PlatformRect&, bool) { ++invalidations; };
  procs.clientToScreen = [](PlatformWindow*, int32_t& x, int32_t& y) { x += 100, y += 200; };
  PlatformSetWindowProcs(procs);
  MacInvalRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(invalidations, 0);
  MacPoint p{3, 4};
  MacLocalToGlobal(p);
  EXPECT_EQ(p.h, 4);
  EXPECT_EQ(p.v, 3);
  PlatformSetWindowProcs(PlatformWindowProcs{});
}

TEST(MacDrawingShims, TextAndDoubleClick) {
  ShimWorld world;
  const uint8_t hello[] = {5, 'h', 'e', 'l', 'l', 'o'};
  if (!PlatformFontAvailable()) {
    EXPECT_EQ(MacStringWidth(hello), 5 * kPlatformTextCellWidth);
    MacDrawString(hello);  // without a font text is only measured
    EXPECT_EQ(world.Count(9), 32 * 32);
  }
  MacDrawString(hello);  // the pen stays
  EXPECT_EQ(gPort.dc->fDrawState.penX, 0);

  const uint32_t slow = MacGetDblTime() + 1;
  EXPECT_TRUE(MacIsDoubleClick(100, 101, MacPoint{10, 10}, MacPoint{14, 6}));
  EXPECT_FALSE(MacIsDoubleClick(100, 101, MacPoint{10, 10}, MacPoint{10, 15}));
  EXPECT_FALSE(MacIsDoubleClick(100, 100 + slow, MacPoint{10, 10}, MacPoint{10, 10}));

  ScopedDebugCapture capture;
  MacReportSystemError(2);
  ASSERT_EQ(capture.ReportCount(), 1u);
  EXPECT_FALSE(capture.Reports()[0].text.empty());
}

// With a font, glyphs are drawn in black inside the text's box and nowhere else, measured with
// the same face; without one, text is measured in cells and nothing is drawn.
TEST(MacDrawingShims, TextIsDrawnInsideItsBox) {
  if (!PlatformFontAvailable()) GTEST_SKIP() << "built without a font";
  ShimWorld world(128);
  const uint8_t hello[] = {5, 'h', 'e', 'l', 'l', 'o'};
  const uint8_t helloWorld[] = {11, 'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  EXPECT_GT(MacStringWidth(hello), 0);
  EXPECT_GT(MacStringWidth(helloWorld), MacStringWidth(hello));

  // A string stands on the pen's line and starts at the pen; the pen stays.
  PlatformMoveTo(gPort.dc, 20, 40);
  MacDrawString(hello);
  EXPECT_EQ(gPort.dc->fDrawState.penX, 20);
  EXPECT_EQ(gPort.dc->fDrawState.penY, 40);
  EXPECT_GT(world.CountIn(0, 20, 40 - 20, 20 + MacStringWidth(hello) + 1, 40), 10);
  EXPECT_EQ(world.Count(0), world.CountIn(0, 20, 0, 20 + MacStringWidth(hello) + 1, 40));

  // A text box clips to its rect, wraps at spaces, and right justification moves the text right.
  const char text[] = "some words to wrap";
  const MacRect box = Rect(10, 10, 70, 100);
  world.Clear();
  MacTextBox(text, int32_t(sizeof text - 1), box, 0);
  const int inside = world.CountIn(0, 10, 10, 70, 100);
  EXPECT_GT(inside, 20);
  EXPECT_EQ(world.Count(0), inside);
  EXPECT_GT(world.BottomRowOf(0), 10 + 16);  // more than one line
  const int leftAligned = world.LeftmostOf(0);

  world.Clear();
  MacTextBox(text, int32_t(sizeof text - 1), box, -1);
  EXPECT_EQ(world.Count(0), world.CountIn(0, 10, 10, 70, 100));
  EXPECT_GT(world.LeftmostOf(0), leftAligned);

  world.Clear();
  MacTextBox(text, int32_t(sizeof text - 1), Rect(10, 10, 20, 14), 0);  // a box smaller than a line
  EXPECT_EQ(world.Count(0), world.CountIn(0, 10, 10, 20, 14));
}
