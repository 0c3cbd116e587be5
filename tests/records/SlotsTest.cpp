#include "Slots.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DebugCapture.h"
#include "MemResFile.h"
#include "Recon.h"
#include "strset.h"

namespace {

// Little-endian bytes of a stored record, built by hand.
struct Bytes {
  std::vector<uint8_t> data;
  Bytes& U16(uint16_t v) {
    data.push_back(uint8_t(v));
    data.push_back(uint8_t(v >> 8));
    return *this;
  }
  Bytes& U32(uint32_t v) {
    for (int i = 0; i < 4; i++) data.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  Bytes& F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return U32(v);
  }
  // The 12-byte record header in native order.
  Bytes& Header(uint32_t version, uint32_t type) { return U32(0).U32(version).U32(type); }
};

void ExpectSame(const SlotDescriptor& a, const SlotDescriptor& b) {
  EXPECT_EQ(a.fType, b.fType);
  EXPECT_EQ(a.fX, b.fX);
  EXPECT_EQ(a.fY, b.fY);
  EXPECT_EQ(a.fAlt, b.fAlt);
  EXPECT_EQ(a.fMaxSize, b.fMaxSize);
  EXPECT_EQ(a.fSurfaceFlags, b.fSurfaceFlags);
  EXPECT_EQ(a.fHeightCode, b.fHeightCode);
  EXPECT_EQ(a.fStanding, b.fStanding);
  EXPECT_EQ(a.fSitting, b.fSitting);
  EXPECT_EQ(a.fGround, b.fGround);
  EXPECT_EQ(a.fFlags, b.fFlags);
  EXPECT_EQ(a.fTarget, b.fTarget);
  EXPECT_EQ(a.fMin, b.fMin);
  EXPECT_EQ(a.fMax, b.fMax);
  EXPECT_EQ(a.fOptimal, b.fOptimal);
  EXPECT_EQ(a.fGradient, b.fGradient);
  EXPECT_EQ(a.fFacing, b.fFacing);
  EXPECT_EQ(a.fResolution, b.fResolution);
}

}  // namespace

TEST(Slots, NewDescriptorDefaults) {
  SlotDescriptor d;
  EXPECT_EQ(d.fType, 0xFFFF);
  EXPECT_EQ(d.fTarget, -1);
  EXPECT_EQ(d.fMin, 16);
  EXPECT_EQ(d.fMax, 16);
  EXPECT_EQ(d.fOptimal, 16);
  uint32_t bits;
  std::memcpy(&bits, &d.fGradient, 4);
  EXPECT_EQ(bits, 0x3E400000u);
  EXPECT_EQ(d.fFacing, -2);
  EXPECT_EQ(d.fResolution, 16);
}

TEST(Slots, Version10StoredLayoutAndRoundTrip) {
  SlotDescriptor d;
  d.fType = kSlotRouting;
  d.fX = 1.5f;
  d.fY = -2.0f;
  d.fAlt = 4.0f;
  d.fStanding = 1;
  d.fSitting = 2;
  d.fGround = 3;
  d.fFlags = 0x10001;
  d.fTarget = 7;
  d.fMin = 8;
  d.fMax = 32;
  d.fOptimal = 24;
  d.fMaxSize = 50;
  d.fSurfaceFlags = 1;
  d.fGradient = 0.25f;
  d.fHeightCode = 3;
  d.fFacing = 4;
  d.fResolution = 5;
  std::vector<SlotDescriptor> slots{d, SlotDescriptor()};

  MemResFile file;
  ASSERT_EQ(SaveSlotList(slots, &file, 128), 0);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(file.GetStored(kSlotType, 128, &stored));

  Bytes expected;
  expected.Header(10, kSlotType).U32(2);
  expected.U16(3).F32(1.5f).F32(-2.0f).F32(4.0f).U32(1).U32(2).U32(3).U32(0x10001).U32(7);
  expected.U32(8).U32(32).U32(24).U32(50).U32(1).F32(0.25f).U32(3).U32(4).U32(5);
  const size_t firstEnd = expected.data.size();
  ASSERT_GE(stored.size(), firstEnd);
  EXPECT_EQ(std::vector<uint8_t>(stored.begin(), stored.begin() + long(firstEnd)), expected.data);
  EXPECT_EQ(stored.size(), 16u + 2u * 70u);

  std::vector<SlotDescriptor> loaded;
  uint32_t version = 0;
  ASSERT_EQ(LoadSlotList(loaded, &file, 128, &version), 0);
  EXPECT_EQ(version, 10u);
  ASSERT_EQ(loaded.size(), 2u);
  ExpectSame(loaded[0], slots[0]);
  ExpectSame(loaded[1], slots[1]);
}

TEST(Slots, OldVersionsConvertOnReading) {
  MemResFile file;
  // Version 8: flags 0x600 take only the first facing rule; distances are scaled.
  Bytes v8;
  v8.Header(8, kSlotType).U32(1);
  v8.U16(3).F32(0).F32(0).F32(0).U32(0).U32(0).U32(0).U32(0x600).U32(2);
  v8.U32(1).U32(2).U32(3).U32(0).U32(0).F32(3.0f).U32(4);
  file.PutStored(kSlotType, 1, v8.data);
  // Version 4: the target is stored, distances and gradient are not.
  Bytes v4;
  v4.Header(4, kSlotType).U32(1);
  v4.U16(3).F32(0).F32(0).F32(0).U32(0).U32(0).U32(0).U32(0x400).U32(9);
  file.PutStored(kSlotType, 2, v4.data);
  // Version 0: the height is a 16-bit integer; version 2 drops one 16-bit value.
  Bytes v0;
  v0.Header(0, kSlotType).U32(1).F32(1.0f).F32(2.0f).U16(3).U16(0);
  file.PutStored(kSlotType, 3, v0.data);
  Bytes v2;
  v2.Header(2, kSlotType).U32(1).F32(1.0f).F32(2.0f).F32(2.5f).U16(1).U16(0xBEEF);
  file.PutStored(kSlotType, 4, v2.data);

  std::vector<SlotDescriptor> s;
  ASSERT_EQ(LoadSlotList(s, &file, 1), 0);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].fFacing, -3);
  EXPECT_EQ(s[0].fFlags, 0x400);
  EXPECT_EQ(s[0].fTarget, 2);
  EXPECT_EQ(s[0].fMin, 16);
  EXPECT_EQ(s[0].fMax, 32);
  EXPECT_EQ(s[0].fOptimal, 48);
  EXPECT_FLOAT_EQ(s[0].fGradient, 3.0f / 16);
  EXPECT_EQ(s[0].fHeightCode, 4);
  EXPECT_EQ(s[0].fResolution, 16);

  ASSERT_EQ(LoadSlotList(s, &file, 2), 0);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].fTarget, 9);
  EXPECT_EQ(s[0].fFacing, -1);
  EXPECT_EQ(s[0].fFlags, 0);
  EXPECT_EQ(s[0].fMin, 256);
  EXPECT_EQ(s[0].fOptimal, 256);
  EXPECT_FLOAT_EQ(s[0].fGradient, 0.01171875f);

  ASSERT_EQ(LoadSlotList(s, &file, 3), 0);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].fAlt, 3.0f);
  EXPECT_EQ(s[0].fY, 2.0f);
  EXPECT_EQ(s[0].fType, 0);

  ASSERT_EQ(LoadSlotList(s, &file, 4), 0);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].fAlt, 2.5f);
  EXPECT_EQ(s[0].fType, 1);
}

// Old versions store distances in whole units; a stored value whose sixteenths do not fit in
// 32 bits is held at the nearest value that does (it used to overflow).
TEST(Slots, OldDistancesTooLargeForSixteenthsAreHeldAtTheLimit) {
  MemResFile file;
  Bytes v8;
  v8.Header(8, kSlotType).U32(1);
  v8.U16(3).F32(0).F32(0).F32(0).U32(0).U32(0).U32(0).U32(0).U32(2);
  v8.U32(0x10000000).U32(0xF0000000).U32(0x07FFFFFF).U32(0).U32(0).F32(3.0f).U32(4);
  file.PutStored(kSlotType, 1, v8.data);
  std::vector<SlotDescriptor> s;
  ASSERT_EQ(LoadSlotList(s, &file, 1), 0);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].fMin, INT32_MAX);
  EXPECT_EQ(s[0].fMax, INT32_MIN);
  EXPECT_EQ(s[0].fOptimal, 0x7FFFFFF0);
}

TEST(Slots, WritingVersion0TruncatesTheHeightAndChangesNothing) {
  SlotDescriptor d;
  d.fAlt = 2.7f;
  d.fMin = 16;
  std::vector<uint8_t> buffer(64);
  {
    ReconStream measure;
    d.Reconstitute(measure, 0);
    EXPECT_EQ(measure.GetPosition(), 12);
  }
  ReconStream out(buffer.data(), int32_t(buffer.size()), ReconStream::kWriting, false);
  d.Reconstitute(out, 0);
  ASSERT_FALSE(out.Failed());
  EXPECT_EQ(buffer[8], 2);
  EXPECT_EQ(buffer[9], 0);
  EXPECT_EQ(d.fAlt, 2.7f);
  EXPECT_EQ(d.fMin, 16);  // writing an old version converts nothing
}

TEST(Slots, CorruptListsFailAndLeaveTheListEmpty) {
  ScopedDebugCapture capture;
  MemResFile file;
  Bytes big;
  big.Header(10, kSlotType).U32(1000).U16(3);
  file.PutStored(kSlotType, 1, big.data);
  Bytes cut;  // one whole descriptor claimed, half of it stored
  cut.Header(10, kSlotType).U32(1).U16(3).F32(1).F32(2);
  file.PutStored(kSlotType, 2, cut.data);
  Bytes wrongType;
  wrongType.Header(10, 0x4F424A66).U32(0);
  file.PutStored(kSlotType, 3, wrongType.data);

  std::vector<SlotDescriptor> s{SlotDescriptor()};
  EXPECT_NE(LoadSlotList(s, &file, 1), 0);
  EXPECT_TRUE(s.empty());
  s.resize(1);
  EXPECT_NE(LoadSlotList(s, &file, 2), 0);
  EXPECT_TRUE(s.empty());
  EXPECT_NE(LoadSlotList(s, &file, 3), 0);
  EXPECT_NE(LoadSlotList(s, &file, 99), 0);  // missing
  EXPECT_TRUE(s.empty());
}

// A stored count is checked against the size of a whole descriptor of the stored version
// before the list is sized: a count that one byte per descriptor would allow, but whole
// descriptors would not, reserves nothing.
TEST(Slots, CountsAreCheckedAgainstWholeDescriptors) {
  struct Case {
    int32_t version;
    int32_t bytes;  // of one descriptor in that version
  };
  const Case kCases[] = {{0, 12}, {1, 14}, {2, 16}, {3, 30}, {4, 34}, {5, 54},
                         {7, 58}, {8, 62}, {9, 66}, {10, 70}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.version);
    EXPECT_EQ(SlotDescriptor::StoredBytes(c.version), c.bytes);
    // Three descriptors' bytes: enough for as many descriptors at one byte each.
    for (uint32_t count : {3u, uint32_t(c.bytes) * 3}) {
      Bytes stored;
      stored.Header(uint32_t(c.version), kSlotType).U32(count);
      stored.data.resize(stored.data.size() + size_t(c.bytes) * 3, 0);  // three descriptors
      MemResFile file;
      file.PutStored(kSlotType, 1, stored.data);
      std::vector<SlotDescriptor> slots;
      if (count == 3) {
        EXPECT_EQ(LoadSlotList(slots, &file, 1), 0);
        EXPECT_EQ(slots.size(), 3u);
      } else {
        EXPECT_NE(LoadSlotList(slots, &file, 1), 0);
        EXPECT_EQ(slots.capacity(), 0u);  // never sized for the count
      }
    }
  }
}

TEST(Slots, TypedViewsOfALoadedList) {
  ScopedDebugCapture capture;
  MemResFile file;
  std::vector<SlotDescriptor> slots(6);
  slots[0].fType = kSlotContainer;  // height code 0 at alt 0: ground
  slots[1].fType = kSlotContainer;
  slots[1].fAlt = 3.0f;             // height code 0 elsewhere: non-standard
  slots[2].fType = kSlotContainer;
  slots[2].fHeightCode = 4;         // counter: alt 4.05
  slots[2].fMaxSize = 80;
  slots[3].fType = kSlotRouting;
  slots[3].fTarget = 3;
  slots[3].fResolution = 9;
  slots[4].fType = kSlotSprite;
  slots[4].fX = 2.0f;
  slots[5].fType = kSlotHandle;     // not a view
  ASSERT_EQ(SaveSlotList(slots, &file, 5), 0);

  std::vector<SlotContainerPlace> containers;
  std::vector<SlotRoutingPlace> routing;
  std::vector<SlotSpritePlace> sprites;
  EXPECT_TRUE(LoadSlots(&file, 5, &containers, &routing, &sprites));
  ASSERT_EQ(containers.size(), 3u);
  EXPECT_EQ(containers[0].fHeightCode, 1);
  EXPECT_EQ(containers[1].fHeightCode, 5);
  EXPECT_EQ(containers[1].fAlt, 3.0f);
  EXPECT_FLOAT_EQ(containers[2].fAlt, 4.05f);
  EXPECT_EQ(containers[2].fMaxSize, 80);
  EXPECT_EQ(containers[2].fLabelIndex, -1);
  ASSERT_EQ(routing.size(), 1u);
  EXPECT_EQ(routing[0].fTarget, 3);
  EXPECT_EQ(routing[0].fResolution, 9);
  ASSERT_EQ(sprites.size(), 1u);
  EXPECT_EQ(sprites[0].fX, 2.0f);
  EXPECT_TRUE(capture.Saw("Unexpected slot type found - may ignore"));
  EXPECT_TRUE(LoadSlots(&file, 6, &containers, nullptr, nullptr));  // missing: no views
  EXPECT_EQ(containers.size(), 3u);
  EXPECT_EQ(SlotContainerPlace().fMaxSize, 50);
}

TEST(Slots, RoutingSettersAndSpriteAnimation) {
  ScopedDebugCapture capture;
  SlotRoutingPlace place;
  place.AddFacingDirection(0);
  place.AddFacingDirection(7);
  place.AddFacingDirection(8);
  EXPECT_TRUE(capture.Saw("bad direction"));
  EXPECT_EQ(place.fFlags, 0x81);
  place.SetNoRotationSnap();
  place.ClearFacingDirections();
  EXPECT_EQ(place.fFlags, 0x100);
  place.SetDistancesInUnits(0.5f, 1.99f, 2.0f);
  EXPECT_EQ(place.fMin, 8);
  EXPECT_EQ(place.fMax, 31);
  EXPECT_EQ(place.fOptimal, 32);

  SlotAnimation a;
  a.Start(0, 100, 3, true);
  EXPECT_EQ(a.fFrame, 2);
  a.RunLoops(1);
  EXPECT_EQ(a.fRemainingTicks, 36);
  int changes = 0;
  for (int t = 0; t < 40; t++) changes += a.Tick();
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(a.fFrame, 2);  // 2 -> 1 -> 0 -> wraps to 2
  EXPECT_FALSE(a.Tick());

  SlotAnimation empty;  // no frames: a duration raises, ticks never divide by zero
  empty.fSpriteId = 5;
  empty.SetDuration(24);
  EXPECT_TRUE(capture.Saw("bad frame count"));
  for (int t = 0; t < 24; t++) empty.Tick();
  EXPECT_EQ(empty.fFrame, 0);
}

TEST(Slots, LabelsComeFromTheStringSet) {
  MemResFile file;
  StringSet set;
  set.Init(&file, 257, kStringSetType, 0, 0);
  set.SetString(1, "seat");
  ASSERT_EQ(set.Write(), 0);
  SlotLabels labels(&file, 257);
  std::string out = "x";
  labels.GetLabel(1, out);
  EXPECT_EQ(out, "seat");
  labels.GetLabel(2, out);
  EXPECT_EQ(out, "");
  labels.GetLabel(-1, out);
  EXPECT_EQ(out, "");
}
