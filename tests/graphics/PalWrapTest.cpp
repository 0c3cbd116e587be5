#include "palwrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <random>
#include <vector>

#include "DebugCapture.h"
#include "ImageWriters.h"
#include "MHandle.h"
#include "MemResFile.h"
#include "StringBuffer.h"
#include "TestTempFolder.h"

namespace {

std::vector<PlatformColorEntry> Gray(uint8_t base = 0) {
  std::vector<PlatformColorEntry> c(256);
  for (int i = 0; i < 256; ++i) c[i] = {uint8_t(base + i), uint8_t(base + i), uint8_t(base + i), 0};
  return c;
}

// The nearest search written the plain way: every usable entry, strict less-than.
int Reference(const PalWrap& pal, int r, int g, int b) {
  int best = -1, bestD = INT_MAX;
  const int last = std::min(pal.LastUsableIndex(), pal.GetColorsUsed() - 1);
  for (int i = pal.FirstUsableIndex(); i <= last; ++i) {
    const PlatformColorEntry& e = pal.GetColors()[i];
    int d = 2 * (e.red - r) * (e.red - r) + 4 * (e.green - g) * (e.green - g) +
            (e.blue - b) * (e.blue - b);
    if (d < bestD) best = i, bestD = d;
  }
  return best;
}

TEST(PalWrap, NearestColorUsesWeightedDistanceAndLowestIndexOnTies) {
  std::vector<PlatformColorEntry> c(256, {0, 0, 0, 0});
  for (auto& e : c) e = {250, 5, 250, 0};  // far from everything asked below
  c[1] = {100, 100, 130, 0};  // 30 off in blue:  weighted 900
  c[2] = {100, 116, 100, 0};  // 16 off in green: weighted 1024 (nearest unweighted)
  c[3] = {122, 100, 100, 0};  // 22 off in red:   weighted 968
  c[4] = {10, 20, 30, 0};     // equally near (10, 20, 40) as entry 6
  c[6] = {10, 20, 50, 0};
  c[8] = {7, 7, 7, 0};        // exact colour twice: the lower index answers
  c[9] = {7, 7, 7, 0};
  PalWrap pal;
  pal.Create(c.data(), 0);
  struct Case { uint8_t r, g, b, want; } cases[] = {
      {100, 100, 100, 1}, {10, 20, 40, 4}, {7, 7, 7, 8}, {250, 5, 250, 0}, {100, 116, 100, 2},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(pal.FindNearestColor(k.r, k.g, k.b), k.want) << int(k.r) << "," << int(k.g) << "," << int(k.b);
    EXPECT_EQ(pal.FindColor(k.r, k.g, k.b), k.want);
  }
}

TEST(PalWrap, SystemColoursAreNeverAnswered) {
  PalWrap pal;
  std::vector<PlatformColorEntry> c = Gray();
  pal.Create(c.data(), 1);
  EXPECT_EQ(pal.FirstUsableIndex(), 10);
  EXPECT_EQ(pal.LastUsableIndex(), 245);
  EXPECT_EQ(pal.GetColors()[255].red, 255);  // the system white
  EXPECT_EQ(pal.GetColors()[0].flags, 0);
  EXPECT_EQ(pal.GetColors()[100].flags, kPlatformPaletteNoCollapse);
  EXPECT_EQ(pal.FindNearestColor(255, 255, 255), 245);
  EXPECT_EQ(pal.FindColor(0, 0, 0), 10);
  EXPECT_EQ(pal.FindColor(100, 100, 100), 100);

  PalWrap plain;
  plain.Create(c.data(), 0);
  EXPECT_EQ(plain.GetColors()[0].flags, kPlatformPaletteReserved | kPlatformPaletteNoCollapse);
  EXPECT_EQ(plain.FindNearestColor(255, 255, 255), 255);
  ASSERT_NE(plain.GetPalette(), nullptr);
  EXPECT_EQ(plain.GetPalette()->Count(), 256);
}

TEST(PalWrap, WithoutATableTheRedComponentIsTheAnswer) {
  PalWrap pal;
  EXPECT_EQ(pal.GetColors(), nullptr);
  EXPECT_EQ(pal.FindColor(77, 1, 2), 77);
  EXPECT_EQ(pal.FindNearestColor(200, 1, 2), 200);
  std::vector<PlatformColorEntry> c = Gray();
  pal.Create(c.data(), 0);
  pal.Dispose();
  EXPECT_EQ(pal.FindColor(33, 0, 0), 33);
}

TEST(PalWrap, MemoisedAnswersMatchTheFullSearchAndFollowPaletteChanges) {
  std::mt19937 rng(7);
  std::vector<PlatformColorEntry> c(256);
  PalWrap pal;
  for (int round = 0; round < 4; ++round) {
    for (auto& e : c) e = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    // Last round: few colours, each many times over and bunched together, for ties.
    if (round == 3)
      for (int i = 0; i < 256; ++i) c[i] = {uint8_t(100 + (i % 5) * 8), uint8_t(100 + (i % 3) * 8), uint8_t(100 + (i % 4) * 8), 0};
    pal.Create(c.data(), round == 1);
    for (int i = 0; i < 3000; ++i) {
      // Draw from a small set too, so that memoised answers are asked again.
      uint32_t v = (i & 1) ? rng() : (rng() % 64) * 0x40404u;
      uint8_t r = v >> 16, g = v >> 8, b = v;
      int want = Reference(pal, r, g, b);
      ASSERT_EQ(pal.FindNearestColor(r, g, b), want) << round << ":" << v;
      ASSERT_EQ(pal.FindColor(r, g, b), want);
    }
  }
  // Changing entries through the table and saying so is seen at once.
  EXPECT_NE(pal.FindColor(1, 2, 3), 200);
  pal.GetColors()[200] = {1, 2, 3, 0};
  pal.ColorsChanged();
  EXPECT_EQ(pal.FindColor(1, 2, 3), Reference(pal, 1, 2, 3));
  EXPECT_EQ(pal.FindColor(1, 2, 3), 200);
}

TEST(PalWrap, GridSearchAgreesWithTheFullSearchOverManyPalettes) {
  std::mt19937 rng(4242);
  auto entry = [&](int r, int g, int b) {
    return PlatformColorEntry{uint8_t(std::clamp(r, 0, 255)), uint8_t(std::clamp(g, 0, 255)),
                              uint8_t(std::clamp(b, 0, 255)), 0};
  };
  struct Kind {
    const char* name;
    std::function<PlatformColorEntry(int)> colour;  // entry i
    uint8_t systemColours;
  } kinds[] = {
      {"random", [&](int) { return entry(rng() % 256, rng() % 256, rng() % 256); }, 0},
      {"random, system colours", [&](int) { return entry(rng() % 256, rng() % 256, rng() % 256); }, 1},
      {"each colour four times", [&](int i) { return entry((i % 64) * 4, (i % 64) * 17 % 256, (i % 64) * 29 % 256); }, 0},
      {"bunched: ties everywhere", [&](int i) { return entry(120 + (i % 5) * 2, 120 + (i % 3) * 2, 120 + (i % 7) * 2); }, 0},
      {"lattice of even steps", [&](int i) { return entry((i % 8) * 36, (i / 8 % 8) * 36, (i / 64) * 84); }, 0},
      {"one colour", [&](int) { return entry(90, 30, 200); }, 0},
      {"a line: regions thinner than a cell", [&](int i) { return entry(i, 255 - i, 7); }, 0},
      {"two halves", [&](int i) { return i < 128 ? entry(0, 0, 0) : entry(255, 255, 255); }, 0},
      // Entry 1 wins (0, 0, 0) by the least step while entry 0 is nearer the rest of its cell.
      {"neighbours one step apart", [&](int i) { return i == 0 ? entry(0, 0, 1) : i == 1 ? entry(0, 0, 0) : entry(255, 255, 255); }, 0},
  };
  PalWrap pal;
  for (const Kind& k : kinds) {
    std::vector<PlatformColorEntry> c(256);
    for (int i = 0; i < 256; ++i) c[i] = k.colour(i);
    pal.Create(c.data(), k.systemColours);
    std::vector<std::array<uint8_t, 3>> asks;
    // Every colour of two blocks of the cube (one at its corner), then random colours.
    for (int r = 0; r < 8; ++r)
      for (int g = 0; g < 8; ++g)
        for (int b = 0; b < 16; ++b) {
          asks.push_back({uint8_t(r), uint8_t(g), uint8_t(b)});
          asks.push_back({uint8_t(116 + r), uint8_t(116 + g), uint8_t(128 + b)});
        }
    for (int i = 0; i < 2500; ++i) asks.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    std::vector<int> want;
    for (const auto& a : asks) want.push_back(Reference(pal, a[0], a[1], a[2]));
    // Rows first, while the grids are still empty, then one colour at a time.
    for (int bytes : {3, 4}) {
      std::vector<uint8_t> row;
      for (const auto& a : asks) {
        row.insert(row.end(), {a[2], a[1], a[0]});
        if (bytes == 4) row.push_back(uint8_t(rng()));
      }
      std::vector<uint8_t> out(asks.size());
      pal.FindColors(row.data(), bytes, int32_t(asks.size()), out.data());
      for (size_t i = 0; i < asks.size(); ++i) ASSERT_EQ(out[i], want[i]) << k.name << " pixel " << i;
      pal.ColorsChanged();
    }
    for (size_t i = 0; i < asks.size(); ++i) {
      const auto& a = asks[i];
      ASSERT_EQ(pal.FindNearestColor(a[0], a[1], a[2]), want[i]) << k.name << ": " << int(a[0]) << "," << int(a[1]) << "," << int(a[2]);
      ASSERT_EQ(pal.FindColor(a[0], a[1], a[2]), want[i]) << k.name;
    }
  }
  // A palette record of a few colours: only those are answered.
  uint8_t record[16 + 15] = {1, 0, 0, 0, 5, 0, 0, 0};
  for (int i = 0; i < 15; ++i) record[16 + i] = uint8_t(rng());
  ASSERT_TRUE(pal.ReadPaletteRsrc(record, sizeof record));
  for (int i = 0; i < 5000; ++i) {
    uint8_t r = uint8_t(rng()), g = uint8_t(rng()), b = uint8_t(rng());
    int want = Reference(pal, r, g, b);
    ASSERT_LT(want, 5);
    ASSERT_EQ(pal.FindNearestColor(r, g, b), want);
  }
}

TEST(PalWrap, PaletteRecordRoundTrips) {
  std::vector<PlatformColorEntry> c(256);
  for (int i = 0; i < 256; ++i) c[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
  PalWrap pal;
  pal.Create(c.data(), 0);
  std::vector<uint8_t> rec(kPaletteRsrcSize, 0xEE);
  PaletteRsrcFromPalWrap(&pal, rec.data());
  const uint8_t head[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(head, head + 16, rec.begin()));
  EXPECT_EQ(rec[16 + 3 * 9], 9);
  EXPECT_EQ(rec[16 + 3 * 9 + 1], 246);
  EXPECT_EQ(rec[16 + 3 * 9 + 2], 63);

  PalWrap back;
  ASSERT_TRUE(back.ReadPaletteRsrc(rec.data(), (uint32_t)rec.size()));
  EXPECT_EQ(back.GetColorsUsed(), 256);
  EXPECT_FALSE(back.UsesSystemColors());
  EXPECT_EQ(back.GetPalette(), nullptr);  // reading a record makes no palette object
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(back.GetColors()[i].red, c[i].red);
    EXPECT_EQ(back.GetColors()[i].blue, c[i].blue);
    EXPECT_EQ(back.GetPackedColor(i), (uint32_t(c[i].red) << 16) | (uint32_t(c[i].green) << 8) | c[i].blue);
  }
  std::vector<uint8_t> again(kPaletteRsrcSize);
  PaletteRsrcFromPalWrap(&back, again.data());
  EXPECT_EQ(again, rec);
}

TEST(PalWrap, PaletteRecordAsAResource) {
  std::vector<PlatformColorEntry> c(256);
  for (int i = 0; i < 256; ++i) c[i] = {uint8_t(i * 3), uint8_t(i), uint8_t(255 - i), 0};
  PalWrap pal;
  pal.Create(c.data(), 0);
  MemResFile file;
  MHandle* h = HAlloc(kPaletteRsrcSize);
  ASSERT_NE(h, nullptr);
  PaletteRsrcFromPalWrap(&pal, HLock(h));
  HUnlock(h);
  FixedStringBuffer<4> empty("");
  file.AddResource(h, kPaletteRsrcType, 1543, empty, false);
  file.WriteResource(h);
  ASSERT_EQ(file.GetError(), 0);
  file.DetachAndDispose(h);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kPaletteRsrcType, 1543, &stored));
  ASSERT_EQ(stored.size(), kPaletteRsrcSize);
  MHandle* got = file.GetResource(kPaletteRsrcType, 1543);
  ASSERT_NE(got, nullptr);
  PalWrap back;
  ASSERT_TRUE(back.ReadPaletteRsrc(HLock(got), (uint32_t)HGetSize(got)));
  HUnlock(got);
  EXPECT_EQ(back.GetColors()[100].red, 44);  // 300 wraps to 44
  EXPECT_EQ(back.GetColors()[100].blue, 155);
}

TEST(PalWrap, ShortPaletteRecordsReadOnlyTheirColours) {
  // Count 3: 16 + 9 bytes and not one more.
  std::vector<uint8_t> rec = {1, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              10, 20, 30, 40, 50, 60, 0, 0, 0};
  PalWrap pal;
  ASSERT_TRUE(pal.ReadPaletteRsrc(rec.data(), (uint32_t)rec.size()));
  EXPECT_EQ(pal.GetColorsUsed(), 3);
  EXPECT_EQ(pal.FindNearestColor(255, 255, 255), 1);  // entries past the count never answer
  EXPECT_EQ(pal.FindColor(0, 0, 0), 2);
  std::vector<uint8_t> out(kPaletteRsrcSize, 0xEE);
  PaletteRsrcFromPalWrap(&pal, out.data());
  EXPECT_EQ(out[16 + 3], 40);
  EXPECT_EQ(out[16 + 9], 0);  // written as 256 colours, black past the count
  EXPECT_EQ(out[kPaletteRsrcSize - 1], 0);
}

TEST(PalWrap, BadPaletteRecordsAreRefusedAndChangeNothing) {
  auto record = [](uint32_t version, uint32_t count) {
    std::vector<uint8_t> r(kPaletteRsrcSize, 9);
    for (int i = 0; i < 4; ++i) r[i] = uint8_t(version >> (8 * i)), r[4 + i] = uint8_t(count >> (8 * i));
    return r;
  };
  struct Case { std::vector<uint8_t> bytes; uint32_t size; const char* why; } cases[] = {
      {record(2, 256), kPaletteRsrcSize, "unknown palette version"},
      {record(1, 0), kPaletteRsrcSize, "mColorsUsed out of range..."},
      {record(1, 257), kPaletteRsrcSize, "mColorsUsed out of range..."},
      {record(1, 0xFFFFFFFF), kPaletteRsrcSize, "mColorsUsed out of range..."},
      {record(1, 256), kPaletteRsrcSize - 1, "palette record too short"},
      {record(1, 5), 16 + 14, "palette record too short"},
      {record(1, 5), 15, "palette record too short"},
  };
  std::vector<PlatformColorEntry> c = Gray();
  PalWrap pal;
  pal.Create(c.data(), 0);
  for (const Case& k : cases) {
    ScopedDebugCapture capture;
    EXPECT_FALSE(pal.ReadPaletteRsrc(k.bytes.data(), k.size)) << k.why;
    EXPECT_TRUE(capture.Saw(k.why)) << k.why;
    EXPECT_EQ(pal.GetColorsUsed(), 256);
    EXPECT_EQ(pal.GetColors()[77].red, 77);
  }
  ScopedDebugCapture capture;
  EXPECT_FALSE(pal.ReadPaletteRsrc(nullptr, 784));
}

TEST(PalWrap, StoringAnEmptiedPaletteWritesBlack) {
  std::vector<PlatformColorEntry> c = Gray(1);
  PalWrap pal;
  pal.Create(c.data(), 0);
  pal.Dispose();
  std::vector<uint8_t> rec(kPaletteRsrcSize, 0xEE);
  PaletteRsrcFromPalWrap(&pal, rec.data());
  EXPECT_EQ(rec[4], 0);
  EXPECT_EQ(rec[5], 1);  // still 256 colours
  for (size_t i = 16; i < rec.size(); ++i) ASSERT_EQ(rec[i], 0) << i;
  PaletteRsrcFromPalWrap(nullptr, rec.data());
  EXPECT_EQ(rec[0], 1);
}

class PaletteFileTest : public ::testing::Test {
 protected:
  // Reads `bytes` as a palette file into entries prefilled with 1, 2, 3.
  std::vector<PlatformColorEntry> Read(const std::vector<uint8_t>& bytes, bool* ok = nullptr) {
    FixedStringBuffer<512> path(dir.WriteFile("pal.bmp", bytes).c_str());
    std::vector<PlatformColorEntry> e(256, {1, 2, 3, 0});
    bool r = ReadPaletteFile(path, e.data());
    if (ok) *ok = r;
    return e;
  }
  static TestImage8 Image(int colours) {
    TestImage8 img;
    img.width = 3;
    img.height = 2;
    img.pixels = {0, 1, 2, 3, 4, 5};
    for (int i = 0; i < colours; ++i) img.palette.push_back({uint8_t(i), uint8_t(i * 2), uint8_t(200 - i)});
    return img;
  }
  TestTempFolder dir;
};

TEST_F(PaletteFileTest, BmpColourTablesOfEveryHeaderSize) {
  for (uint32_t header : {kBMPInfoHeader, kBMPV4Header, kBMPV5Header}) {
    BMPWriteOptions o;
    o.headerSize = header;
    std::vector<PlatformColorEntry> e = Read(WriteBMP8(Image(16), o));
    EXPECT_EQ(e[15].red, 15) << header;
    EXPECT_EQ(e[15].green, 30);
    EXPECT_EQ(e[15].blue, 185);
    EXPECT_EQ(e[16].red, 1) << "entries past the count are not written";
  }
  BMPWriteOptions all;
  all.writeColorsUsed = false;  // biClrUsed 0: 256 entries
  TestImage8 img = Image(256);
  std::vector<PlatformColorEntry> e = Read(WriteBMP8(img, all));
  EXPECT_EQ(e[255].red, 255);
  EXPECT_EQ(e[255].blue, uint8_t(200 - 255));
}

TEST_F(PaletteFileTest, OversizedAndTruncatedTablesStayInBounds) {
  BMPFields f;
  f.width = 1;
  f.height = 1;
  f.colorsUsed = 100000;
  std::vector<TestRGB> table(300);
  for (int i = 0; i < 300; ++i) table[i] = {uint8_t(i), 0, 0};
  {
    ScopedDebugCapture capture;
    std::vector<PlatformColorEntry> e = Read(BuildBMP(f, table, {0, 0, 0, 0}));
    EXPECT_TRUE(capture.Saw("palette too big"));
    EXPECT_EQ(e[255].red, 255);
  }
  {
    // The table stops after 10 of its 256 entries.
    f.colorsUsed = 0;
    std::vector<uint8_t> bytes = BuildBMP(f, std::vector<TestRGB>(table.begin(), table.begin() + 10), {});
    ScopedDebugCapture capture;
    std::vector<PlatformColorEntry> e = Read(bytes);
    EXPECT_TRUE(capture.Saw("unexpected eof"));
    EXPECT_EQ(e[9].red, 9);
    EXPECT_EQ(e[10].red, 1);
  }
}

TEST_F(PaletteFileTest, OtherFilesAreRawTriples) {
  {
    // A 24-bit BMP asserts and is read as raw triples from byte 0.
    BMPFields f;
    f.width = 1;
    f.height = 1;
    f.bitCount = 24;
    std::vector<uint8_t> bytes = BuildBMP(f, {}, std::vector<uint8_t>(800, 0x44));
    ScopedDebugCapture capture;
    std::vector<PlatformColorEntry> e = Read(bytes);
    EXPECT_TRUE(capture.Saw("too many bits per pixel retrieving palette"));
    EXPECT_EQ(e[0].red, 'B');
    EXPECT_EQ(e[0].green, 'M');
    EXPECT_EQ(e[255].blue, 0x44);
  }
  {
    std::vector<TestRGB> c = {{9, 8, 7}};
    std::vector<PlatformColorEntry> e = Read(WriteRawPalette(c));
    EXPECT_EQ(e[0].red, 9);
    EXPECT_EQ(e[0].blue, 7);
    EXPECT_EQ(e[1].red, 0);
  }
  {
    ScopedDebugCapture capture;
    std::vector<PlatformColorEntry> e = Read({5, 6, 7, 8});
    EXPECT_TRUE(capture.Saw("unexpected EOF"));
    EXPECT_EQ(e[0].blue, 7);
    EXPECT_EQ(e[1].red, 8);
    EXPECT_EQ(e[1].green, 2);
  }
  {
    ScopedDebugCapture capture;
    FixedStringBuffer<512> missing((dir / "missing.pal").c_str());
    PalWrap pal;
    EXPECT_FALSE(pal.LoadFromFile(missing, 0));
    EXPECT_TRUE(capture.Saw("could not open file"));
    EXPECT_EQ(pal.GetColorsUsed(), 256);
    EXPECT_EQ(pal.GetColors()[3].red, 0);
  }
}

TEST_F(PaletteFileTest, LoadFromFileMakesThePalette) {
  FixedStringBuffer<512> path(dir.WriteFile("Art/Pal.BMP", WriteBMP8(Image(16))).c_str());
  FixedStringBuffer<512> otherCase((dir / "art\\pal.bmp").c_str());
  PalWrap* global = GetGlobalPalette();
  EXPECT_EQ(global, GetGlobalPalette());
  ASSERT_TRUE(global->LoadFromFile(otherCase, 0));
  EXPECT_EQ(global->GetColors()[15].blue, 185);
  EXPECT_EQ(global->GetColors()[16].red, 0);
  EXPECT_EQ(global->FindColor(15, 30, 185), 15);
  global->Dispose();
}

TEST(PalWrap, AssertionsOfTheSmallAccessors) {
  ScopedDebugCapture capture;
  PalWrap pal;
  EXPECT_FLOAT_EQ(pal.GetOtherAmbient(), 0.3f);
  pal.SetOtherAmbient(1.0f);
  EXPECT_EQ(capture.ReportCount(), 0u);
  pal.SetOtherAmbient(1.01f);
  EXPECT_TRUE(capture.Saw("ambient out of range"));
  EXPECT_NE(pal.GetTable(0), nullptr);
  EXPECT_EQ(pal.GetLastTable(), pal.GetTable(4));
  EXPECT_EQ(pal.GetTable(5), nullptr);
  EXPECT_TRUE(capture.Saw("bad palette type"));
  capture.Clear();
  {
    PalWrap held;
    held.AddRef();
  }
  EXPECT_TRUE(capture.Saw("Deleting PalWrap object with non-zero refcount"));
}

}  // namespace
