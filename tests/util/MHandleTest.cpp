#include "MHandle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DebugCapture.h"

namespace {

std::string ReportOf() {
  char* text = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&text, &size);
  ReportUndeletedMHandles(f);
  std::fclose(f);
  std::string out(text, size);
  std::free(text);
  return out;
}

}  // namespace

TEST(MHandle, AllocZeroAndFill) {
  ScopedDebugCapture capture;
  MHandle* h = HAlloc(0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(HGetSize(h), 0);
  EXPECT_TRUE(IsValidMHandle(h));
  EXPECT_NE(HLock(h), nullptr);
  HUnlock(h);
  HFree(h);

  MHandle* g = HAlloc(16);
  char* p = HLock(g);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint8_t>(p[i]), 0xA3);
  EXPECT_TRUE(CheckMHandleGuards(g));
  HUnlock(g);
  HFree(g);
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(capture.ReportCount(), 0u);
}

TEST(MHandle, GuardOverwritesAreReportedOnFreeAndResize) {
  // Offsets from the first user byte of a 10-byte handle: both ends of each guard.
  for (int offset : {-1, -512, 10, 10 + 511}) {
    for (bool resize : {false, true}) {
      ScopedDebugCapture capture;
      MHandle* h = HAlloc(10);
      char* p = HLock(h);
      p[offset] = 0;
      HUnlock(h);
      EXPECT_FALSE(CheckMHandleGuards(h));
      if (resize) {
        EXPECT_EQ(HSetSize(h, 20), 0);
        EXPECT_TRUE(CheckMHandleGuards(h)) << "guards restored at the new edges";
      }
      HFree(h);
      EXPECT_EQ(capture.Count("bounds checker detected handle overwrite"), 1) << offset << " " << resize;
    }
  }
}

TEST(MHandle, BadFreeIsRefused) {
  ScopedDebugCapture capture;
  MHandle* h = HAlloc(4);
  HFree(h);
  HFree(h);  // already freed: the memory is not touched (the sanitizer would object)
  EXPECT_EQ(MemError(), kMemBadHandleErr);
  alignas(MHandle*) char fake[64] = {};
  HFree(reinterpret_cast<MHandle*>(fake));
  EXPECT_EQ(MemError(), kMemBadHandleErr);
  HFree(nullptr);
  EXPECT_EQ(capture.Count("bad MHandle free"), 3);
  EXPECT_FALSE(IsValidMHandle(reinterpret_cast<MHandle*>(fake)));
  EXPECT_EQ(MemError(), kMemBadHandleErr);
  EXPECT_EQ(HLock(reinterpret_cast<MHandle*>(fake)), nullptr);
}

TEST(MHandle, LockedResizeIsRefusedAndLocksNest) {
  ScopedDebugCapture capture;
  MHandle* h = HAlloc(8);
  HLock(h);
  HLock(h);
  EXPECT_EQ(HSetSize(h, 100), kMemLockedErr);
  EXPECT_EQ(MemError(), kMemLockedErr);
  EXPECT_EQ(HGetSize(h), 8);
  EXPECT_TRUE(capture.Saw("resizing locked handle"));
  HUnlock(h);
  EXPECT_TRUE(IsMHandleLocked(h));
  HUnlock(h);
  EXPECT_FALSE(IsMHandleLocked(h));
  EXPECT_EQ(HSetSize(h, 100), 0);
  EXPECT_EQ(HGetSize(h), 100);
  HFree(h);
}

TEST(MHandle, UnlockOfUnlockedHandleKeepsCountAtZero) {
  ScopedDebugCapture capture;
  MHandle* h = HAlloc(8);
  HUnlock(h);
  EXPECT_TRUE(capture.Saw("bad lock count"));
  EXPECT_FALSE(IsMHandleLocked(h));
  HLock(h);
  EXPECT_FALSE(capture.Saw("lock count<0"));
  EXPECT_TRUE(IsMHandleLocked(h));
  HUnlock(h);
  EXPECT_FALSE(IsMHandleLocked(h));
  EXPECT_EQ(HSetSize(h, 4), 0);
  HFree(h);
}

TEST(MHandle, GrowAndShrinkKeepData) {
  MHandle* h = HAlloc(6);
  std::memcpy(HLock(h), "abcdef", 6);
  HUnlock(h);
  ASSERT_EQ(HSetSize(h, 5000), 0);
  EXPECT_EQ(std::memcmp(HLock(h), "abcdef", 6), 0);
  HUnlock(h);
  EXPECT_TRUE(CheckMHandleGuards(h));
  ASSERT_EQ(HSetSize(h, 3), 0);
  EXPECT_EQ(std::memcmp(HLock(h), "abc", 3), 0);
  HUnlock(h);
  EXPECT_EQ(HGetSize(h), 3);
  EXPECT_TRUE(CheckMHandleGuards(h));
  HFree(h);
}

TEST(MHandle, SizesThatWrapAreRefused) {
  ScopedDebugCapture capture;
  for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFE00u, 0x80000000u, 0x7FFFFFFFu}) {
    EXPECT_EQ(HAlloc(size), nullptr) << size;
    EXPECT_EQ(MemError(), kMemFullErr);
  }
  EXPECT_TRUE(capture.Saw("Handle allocation failed"));
  MHandle* h = HAlloc(4);
  std::memcpy(HLock(h), "wxyz", 4);
  HUnlock(h);
  EXPECT_EQ(HSetSize(h, 0xFFFFFF00u), kMemFullErr);
  EXPECT_EQ(MemError(), kMemFullErr);
  EXPECT_EQ(HGetSize(h), 4);
  EXPECT_EQ(std::memcmp(HLock(h), "wxyz", 4), 0);
  HUnlock(h);
  HFree(h);
}

TEST(MHandle, StashAndReport) {
  ScopedDebugCapture capture;
  MHandle* a = HAlloc(3);
  MHandle* b = HAlloc(7);
  EXPECT_NE(StashMHandle(b), nullptr);
  StashMHandle(b);
  EXPECT_TRUE(capture.Saw("stashing a locked handle"));
  HUnlock(b);
  HUnlock(b);
  HLock(a)[-1] = 1;
  HUnlock(a);
  std::string report = ReportOf();
  EXPECT_EQ(report.rfind("\nindex and size of undeleted handles\n---------------------------------------\n", 0), 0u);
  size_t posB = report.find(" s: 7 bc: 512 \n");
  size_t posA = report.find(" s: 3 bc: 512 overwrite detected\n");
  ASSERT_NE(posB, std::string::npos) << report;
  ASSERT_NE(posA, std::string::npos) << report;
  EXPECT_LT(posB, posA) << "newest first";
  HLock(a)[-1] = 5;
  HUnlock(a);
  HFree(a);
  HFree(b);
  ReportUndeletedMHandles(nullptr);
}

TEST(MHandle, BlockHelpers) {
  ScopedDebugCapture capture;
  char buf[] = "0123456789";
  BlockMove(buf, buf + 2, 5);
  EXPECT_STREQ(buf, "0101234789");
  BlockMove(buf + 2, buf, 5);
  EXPECT_STREQ(buf, "0123434789");
  BlockMove(buf, buf + 1, -3);
  EXPECT_STREQ(buf, "0123434789");
  FillBlock(buf, 3, 'x');
  EXPECT_TRUE(EqualBlocks(buf, "xxx3", 4));
  EXPECT_FALSE(EqualBlocks(buf, "xxy", 3));
  EXPECT_EQ(capture.ReportCount(), 0u);
}
