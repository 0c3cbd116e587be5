#include "BrightnessPalette.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "palwrap.h"

namespace {

PalWrap* GreyRamp(PalWrap& pal) {
  std::vector<PlatformColorEntry> c(256);
  for (int i = 0; i < 256; ++i) c[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  pal.Create(c.data(), 0);
  return &pal;
}

TEST(BrightnessPalette, TableMapsColoursToBrighterOrDarkerOnes) {
  PalWrap pal;
  GreyRamp(pal);
  uint8_t same[256], brighter[256], darker[256];
  MakeBrightnessTable(pal, 1.0f, 0.0f, same);
  MakeBrightnessTable(pal, 1.0f, 20.0f, brighter);
  MakeBrightnessTable(pal, 0.5f, 0.0f, darker);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(same[i], i);
    EXPECT_GE(brighter[i], i);
    EXPECT_LE(darker[i], i);
    if (i > 0) {
      EXPECT_GE(brighter[i], brighter[i - 1]);
      EXPECT_GE(darker[i], darker[i - 1]);
    }
  }
  EXPECT_GT(brighter[50], 80);
  EXPECT_EQ(brighter[255], 255);  // capped at L* 100
  EXPECT_EQ(darker[0], 0);
  // With system colours only 10..245 are answered.
  PalWrap sys;
  std::vector<PlatformColorEntry> c(256);
  for (int i = 0; i < 256; ++i) c[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  sys.Create(c.data(), 1);
  uint8_t table[256];
  MakeBrightnessTable(sys, 1.0f, 50.0f, table);
  for (int i = 0; i < 256; ++i) EXPECT_TRUE(table[i] >= 10 && table[i] <= 245) << i;
  PalWrap empty;
  MakeBrightnessTable(empty, 2.0f, 0.0f, table);
  EXPECT_EQ(table[77], 77);
}

TEST(BrightnessPalette, YuvAdjustAndTintedGrey) {
  const uint32_t colours[] = {0x000000, 0xFFFFFF, 0x336699, 0xC08040};
  for (uint32_t c : colours) {
    uint32_t back = AdjustColorBrightness(c, 1.0f, 0.0f);
    for (int shift : {16, 8, 0}) EXPECT_LE(std::abs(int((back >> shift) & 255) - int((c >> shift) & 255)), 2) << std::hex << c;
  }
  EXPECT_EQ(AdjustColorBrightness(0x336699, 0.0f, 0.0f) >> 16, 0u);  // no luma: red gone
  EXPECT_EQ(AdjustColorBrightness(0x808080, 1.0f, 1.0f), 0xFFFFFFu);
  EXPECT_EQ(TintedGrey(0x1E3C5A, 1.0f), 0x6C3C3Cu);  // (30 + 60 + 90) / 3 = 60; red 108
  EXPECT_EQ(TintedGrey(0xFFFFFF, 2.0f), 0xFFFFFFu);
  EXPECT_EQ(TintedGrey(0x102030, 0.0f), 0x300000u);
}

}  // namespace
