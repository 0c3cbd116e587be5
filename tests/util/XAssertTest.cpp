#include "XAssert.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "ByteOrder.h"
#include "DebugCapture.h"
#include "PlatformThread.h"

TEST(XAssert, ConsoleFailureReportsAndContinues) {
  ScopedDebugCapture capture;
  int after = 0;
  XASSERT(1 == 2, "numbers differ");
  after = 1;
  EXPECT_EQ(after, 1);
  auto text = capture.Text();
  std::string joined;
  for (auto& t : text) joined += t;
  EXPECT_EQ(text.front(), "XASSERT failure: in ");
  EXPECT_NE(joined.find("XAssertTest.cpp("), std::string::npos);
  EXPECT_EQ(joined.back(), '\n');
  ASSERT_EQ(capture.ReportCount(), 1u);
  EXPECT_EQ(capture.Reports()[0].text, "1 == 2; numbers differ");
  EXPECT_EQ(capture.Reports()[0].type, kPlatformReportAssert);
}

TEST(XAssert, ConsoleCutsLongMessagesAndAsksToBreak) {
  ScopedDebugCapture capture(1);
  std::string message(300, 'm');
  EXPECT_TRUE(XAssertFailure("f.cpp", 9, "c", message.c_str()));
  EXPECT_EQ(capture.Reports()[0].text, "c; " + std::string(255, 'm'));
}

namespace {

struct HookThrown : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string gHookSite;

void ThrowingHook(const XAssertSite& site, const char* text) {
  gHookSite = std::string(site.file) + "|" + std::to_string(site.line) + "|" + site.condition + "|" + site.message;
  throw HookThrown(text);
}

// Restores console mode and clears the worker id and hook, whatever the test did.
struct DialogModeScope {
  DialogModeScope() {
    SetXAssertMode(XAssertMode::kDialog);
    SetXAssertThrowHook(ThrowingHook);
  }
  ~DialogModeScope() {
    SetXAssertMode(XAssertMode::kConsole);
    SetXAssertWorkerThread(0);
    SetXAssertThrowHook(nullptr);
  }
};

}  // namespace

TEST(XAssert, DialogModeThrowsOnlyOnTheWorkerThread) {
  ScopedDebugCapture capture;
  DialogModeScope scope;

  std::string thrown;
  std::thread worker([&] {
    SetXAssertWorkerThread(PlatformCurrentThreadId());
    try {
      XASSERT(false, "boom");
    } catch (const HookThrown& e) {
      thrown = e.what();
    }
    SetXAssertWorkerThread(0);
  });
  worker.join();
  EXPECT_EQ(thrown.rfind("XASSERT failure in file ", 0), 0u);
  EXPECT_NE(thrown.find(" : (false) boom"), std::string::npos);
  // The hook also gets the assertion's parts, to word its own message.
  EXPECT_NE(gHookSite.find("XAssertTest.cpp|"), std::string::npos) << gHookSite;
  EXPECT_EQ(gHookSite.substr(gHookSite.find('|', gHookSite.find('|') + 1)), "|false|boom");
  EXPECT_EQ(capture.ReportCount(), 0u);

  // The same assertion on another thread goes to the debug report and returns false.
  SetXAssertWorkerThread(PlatformCurrentThreadId() + 1000);
  EXPECT_FALSE(XAssertFailure("g.cpp", 4, "x", "y"));
  ASSERT_EQ(capture.ReportCount(), 1u);
  EXPECT_EQ(capture.Reports()[0].text, "XASSERT failure in file g.cpp, line 4 : (x) y");
}

TEST(XAssert, DialogModeCutsAt1023Characters) {
  ScopedDebugCapture capture;
  DialogModeScope scope;
  std::string message(2000, 'z');
  XAssertFailure("h.cpp", 1, "c", message.c_str());
  EXPECT_EQ(capture.Reports()[0].text.size(), 1023u);
}

TEST(ByteOrder, SwapsInPlace) {
  EXPECT_EQ(IsLittleEndianHost(), 1);
  uint8_t b16[2] = {1, 2};
  SwapBytes16(b16);
  EXPECT_EQ(b16[0], 2);
  EXPECT_EQ(b16[1], 1);
  uint8_t b32[4] = {1, 2, 3, 4};
  SwapBytes32(b32);
  EXPECT_EQ(std::vector<uint8_t>(b32, b32 + 4), (std::vector<uint8_t>{4, 3, 2, 1}));
  uint8_t b64[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  SwapBytes64(b64);
  EXPECT_EQ(std::vector<uint8_t>(b64, b64 + 8), (std::vector<uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
  uint8_t rect[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  SwapRect(rect);
  EXPECT_EQ(std::vector<uint8_t>(rect, rect + 8), (std::vector<uint8_t>{2, 1, 4, 3, 6, 5, 8, 7}));
}
