#include "MacRect.h"

#include <gtest/gtest.h>

#include <cstddef>

#include "Compressor.h"
#include "MacDrawing.h"

namespace {

MacRect R(int16_t left, int16_t top, int16_t right, int16_t bottom) {
  MacRect r;
  MacSetRect(r, left, top, right, bottom);
  return r;
}

}  // namespace

TEST(MacRect, SetRectStoresTopLeftBottomRight) {
  MacRect r = R(1, 2, 3, 4);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.bottom, 4);
  EXPECT_EQ(r.right, 3);
  static_assert(sizeof(MacRect) == 8 && offsetof(MacRect, top) == 0 && offsetof(MacRect, right) == 6);
  static_assert(sizeof(MacPoint) == 4 && offsetof(MacPoint, v) == 0);
}

TEST(MacRect, PointsAndEdges) {
  MacRect r = R(10, 20, 30, 40);
  struct Case {
    int16_t h, v;
    bool inside;
  } cases[] = {{10, 20, true}, {29, 39, true}, {30, 25, false}, {15, 40, false}, {9, 25, false}};
  for (const Case& c : cases) EXPECT_EQ(MacPtInRect(MacPoint{c.v, c.h}, r), c.inside) << c.h << "," << c.v;

  MacPoint far = MacPinRect(r, MacPoint{100, 500});
  EXPECT_EQ(far.h, 29);
  EXPECT_EQ(far.v, 39);
  MacPoint before = MacPinRect(r, MacPoint{-5, -5});
  EXPECT_EQ(before.h, 10);
  EXPECT_EQ(before.v, 20);

  MacPoint c = MacRectCenter(r);
  EXPECT_EQ(c.h, 20);
  EXPECT_EQ(c.v, 30);
  MacCenterRect(r, MacPoint{0, 0});
  EXPECT_TRUE(MacEqualRect(r, R(-10, -10, 10, 10)));
}

TEST(MacRect, EmptySectUnionOffsetInset) {
  MacRect flat{0, 0, 0, 5};
  EXPECT_TRUE(MacEmptyRect(flat));
  EXPECT_TRUE(MacEmptyRect(R(5, 0, 1, 5)));
  EXPECT_FALSE(MacEmptyRect(R(0, 0, 1, 1)));

  MacRect out{1, 1, 1, 1};
  EXPECT_FALSE(MacSectRect(R(0, 0, 10, 10), R(10, 0, 20, 10), out));  // touching only
  EXPECT_TRUE(MacEqualRect(out, MacRect{0, 0, 0, 0}));
  MacRect a = R(0, 0, 10, 10);
  EXPECT_TRUE(MacSectRect(a, R(5, -5, 20, 8), a));  // out may be an input
  EXPECT_TRUE(MacEqualRect(a, R(5, 0, 10, 8)));
  EXPECT_FALSE(MacSectRect(R(0, 0, 10, 10), flat, out));

  MacUnionRect(R(0, 5, 10, 10), R(-3, 7, 4, 20), out);
  EXPECT_TRUE(MacEqualRect(out, R(-3, 5, 10, 20)));

  MacRect m = R(0, 0, 4, 4);
  MacOffsetRect(m, 3, -2);
  EXPECT_TRUE(MacEqualRect(m, R(3, -2, 7, 2)));
  MacInsetRect(m, 1, -1);
  EXPECT_TRUE(MacEqualRect(m, R(4, -3, 6, 3)));
  MacRect edge = R(32767, 0, 32767, 1);
  MacOffsetRect(edge, 1, 0);  // 16-bit wrap-around
  EXPECT_EQ(edge.left, -32768);
}

TEST(MacRect, Conversions) {
  IntRect w;
  MacRectToRECT(w, R(-1, -2, 3, 4));
  EXPECT_EQ(w.left, -1);
  EXPECT_EQ(w.top, -2);
  EXPECT_EQ(w.right, 3);
  EXPECT_EQ(w.bottom, 4);
  IntRect big{70000, -70000, 65537, 5};
  MacRect m = RECTToMacRect(big);
  EXPECT_EQ(m.left, static_cast<int16_t>(70000 & 0xFFFF));
  EXPECT_EQ(m.right, 1);
  EXPECT_EQ(m.bottom, 5);
}

TEST(MacRect, TicksRunOnPast32BitProducts) {
  EXPECT_EQ(MacTicksFromMilliseconds(1000), 60u);
  EXPECT_EQ(MacTicksFromMilliseconds(16), 0u);
  EXPECT_EQ(MacTicksFromMilliseconds(17), 1u);
  // 20 hours of clock: the product passes 32 bits, the ticks keep counting up.
  uint32_t before = MacTicksFromMilliseconds(71'582'788u - 1000u);
  uint32_t after = MacTicksFromMilliseconds(71'582'788u + 1000u);
  EXPECT_EQ(after - before, 120u);
  EXPECT_EQ(MacGetDblTime(), 30u);
}

namespace {

int gReleases = 0;
PlatformDC* FakeGetDC(PlatformWindow*) { return reinterpret_cast<PlatformDC*>(0x1000); }
void FakeReleaseDC(PlatformWindow*, PlatformDC* dc) {
  EXPECT_EQ(dc, reinterpret_cast<PlatformDC*>(0x1000));
  ++gReleases;
}

}  // namespace

TEST(MacDrawing, PortSwitchingAndRestore) {
  MacSetWindowDCProcs(FakeGetDC, FakeReleaseDC);
  auto* window = reinterpret_cast<PlatformWindow*>(0x2000);
  auto* memDC = reinterpret_cast<PlatformDC*>(0x3000);
  gReleases = 0;

  MacSetPort(window, memDC);  // with a window the DC argument is ignored
  EXPECT_EQ(gPort.window, window);
  EXPECT_EQ(gPort.dc, reinterpret_cast<PlatformDC*>(0x1000));

  MacPort saved;
  MacGetPort(saved);
  MacSetPort(nullptr, memDC);  // the window's DC is given back
  EXPECT_EQ(gReleases, 1);
  EXPECT_EQ(gPort.window, nullptr);
  EXPECT_EQ(gPort.dc, memDC);

  MacSetPort(saved.window, saved.dc);
  EXPECT_EQ(gPort.window, window);
  MacReleasePort();
  EXPECT_EQ(gReleases, 2);
  EXPECT_EQ(gPort.dc, nullptr);

  EXPECT_EQ(MacSetPortDC(memDC), memDC);
  MacReleasePort();  // a DC without a window is not given back
  EXPECT_EQ(gReleases, 2);
  EXPECT_EQ(gPort.dc, nullptr);
  MacSetWindowDCProcs(nullptr, nullptr);
}

TEST(Compressor, Defaults) {
  Compressor c;
  const CompressorSettings& s = c.GetSettings();
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&s);
  const uint8_t expected[12] = {0x31, 0, 8, 1, 2, 3, 2, 6, 7, 11, 0, 255};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(bytes[i], expected[i]) << "byte " << i;
  EXPECT_EQ(c.fPalette, nullptr);
  for (const auto& e : c.fSuppressionCache) EXPECT_EQ(e.done, 0);
  CompressorSettings other;
  other.flags = 0x11;
  other.clearColor = 255;
  c.SetSettings(other);
  EXPECT_EQ(c.GetSettings().flags, 0x11);
  EXPECT_EQ(c.GetSettings().clearColor, 255);
}
