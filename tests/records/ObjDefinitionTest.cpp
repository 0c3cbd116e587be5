#include "ObjDefinition.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DebugCapture.h"
#include "MHandle.h"

namespace {

// A handle of `size` bytes whose word i holds i + 1000, with `version` in words 0-1.
MHandle* MakeDefinition(int32_t size, uint32_t version) {
  MHandle* h = HAlloc(uint32_t(size));
  uint8_t* data = reinterpret_cast<uint8_t*>(HLock(h));
  for (int32_t i = 0; i * 2 + 1 < size; i++) {
    data[i * 2] = uint8_t((i + 1000) & 0xFF);
    data[i * 2 + 1] = uint8_t((i + 1000) >> 8);
  }
  for (int32_t i = 0; i < 4 && i < size; i++) data[i] = uint8_t(version >> (8 * i));
  HUnlock(h);
  return h;
}

ObjDefinition Decode(MHandle* h) {
  ObjDefinition d;
  EXPECT_TRUE(d.ReadFromHandle(h));
  return d;
}

}  // namespace

TEST(ObjDefinition, NormalizeUpgradesAndResizes) {
  struct Case {
    int32_t size;
    uint32_t version;
    bool upgraded;
    const char* assertion;  // expected assertion text, or null
    int32_t firstZeroWord;  // words from here on are 0 after normalising (108: none)
    bool clears136;         // words 6, 8, 12, 21-23 cleared
  };
  const Case cases[] = {
      {160, 137, true, nullptr, 80, true},                        // a 137 of 160 bytes is a 136
      {200, 137, true, nullptr, 100, false},                      // other sizes stay 137
      {216, 137, true, "correctly sized def found.", 108, false},
      {180, 136, true, nullptr, 90, true},
      {216, 138, false, nullptr, 108, false},                     // passes unchanged
      {230, 138, false, "truncating defn.", 108, false},
      {100, 138, false, "filling in defn with zeroes.", 50, false},
      {216, 99, false, "bad version", 108, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << " version " << c.version);
    ScopedDebugCapture capture;
    MHandle* h = MakeDefinition(c.size, c.version);
    EXPECT_EQ(NormalizeObjDefinition(h), c.upgraded);
    EXPECT_EQ(HGetSize(h), 216);
    EXPECT_FALSE(IsMHandleLocked(h));
    if (c.assertion) {
      EXPECT_TRUE(capture.Saw(std::string("false; ") + c.assertion));
    } else {
      EXPECT_EQ(capture.ReportCount(), 0u);
    }
    ObjDefinition d = Decode(h);
    EXPECT_EQ(d.GetVersion(), c.version == 136 || c.version == 137 ? 138u : c.version);
    for (int32_t w = 2; w < 108; w++) {
      const bool cleared =
          w >= c.firstZeroWord ||
          (c.clears136 && (w == 6 || w == 8 || w == 12 || (w >= 21 && w <= 23)));
      EXPECT_EQ(d.fWords[w], cleared ? 0 : w + 1000) << "word " << w;
    }
    HFree(h);
  }
}

TEST(ObjDefinition, NormalizeOfATinyHandleNeverReadsPastIt) {
  ScopedDebugCapture capture;
  MHandle* h = HAlloc(2);
  uint8_t* data = reinterpret_cast<uint8_t*>(HLock(h));
  data[0] = 137;
  data[1] = 0;
  HUnlock(h);
  // Only two bytes of version: the missing ones read as 0, so this is a 137.
  EXPECT_TRUE(NormalizeObjDefinition(h));
  EXPECT_EQ(HGetSize(h), 216);
  EXPECT_EQ(Decode(h).GetVersion(), 138u);
  HFree(h);
}

TEST(ObjDefinition, LockedHandleIsLeftAlone) {
  ScopedDebugCapture capture;
  MHandle* h = MakeDefinition(160, 137);
  HLock(h);
  EXPECT_FALSE(NormalizeObjDefinition(h));
  HUnlock(h);
  EXPECT_EQ(HGetSize(h), 160);
  HFree(h);
}

TEST(ObjDefinition, GuidAndWordsRoundTrip) {
  ObjDefinition d;
  d.SetGUID(0xF00DCAFEu);
  EXPECT_EQ(d.fWords[kObjDefGUID], 0xCAFE);
  EXPECT_EQ(d.fWords[kObjDefGUID + 1], 0xF00D);
  d.fWords[kObjDefCatalogId] = 0x1234;
  MHandle* h = HAlloc(10);
  ASSERT_TRUE(d.WriteToHandle(h));
  ASSERT_EQ(HGetSize(h), 216);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(HLock(h));
  EXPECT_EQ(bytes[28], 0xFE);  // little-endian words
  EXPECT_EQ(bytes[29], 0xCA);
  EXPECT_EQ(bytes[82], 0x34);
  HUnlock(h);
  EXPECT_EQ(Decode(h).GetGUID(), 0xF00DCAFEu);
  HFree(h);
}

TEST(ObjDefinition, SwizzleIsDisabled) {
  ScopedDebugCapture capture;
  uint8_t data[4] = {1, 2, 3, 4};
  SwizzleObjDefinition(data, 4);
  EXPECT_TRUE(capture.Saw("false; swizzle disabled for now"));
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[3], 4);
}

TEST(ObjDefinition, SubIndexSplitAndJoin) {
  int8_t high = 0;
  uint8_t low = 0;
  SplitSubIndex(int16_t(-1), high, low);
  EXPECT_EQ(high, -1);
  EXPECT_EQ(low, 255);
  SplitSubIndex(int16_t(0x7F05), high, low);
  EXPECT_EQ(high, 0x7F);
  EXPECT_EQ(low, 5);
  EXPECT_EQ(JoinSubIndex(-1, 255), -1);
  EXPECT_EQ(JoinSubIndex(2, 3), 0x0203);
}
