#include "PlatformDebug.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugCapture.h"

TEST(PlatformDebug, DefaultsDiscardTextAndCarryOn) {
  PlatformDebugOutput("nobody listens");
  PlatformDebugOutput(nullptr);
  EXPECT_EQ(PlatformDebugReport(kPlatformReportAssert, "f.cpp", 3, nullptr, "x"), 0);
  PlatformDebugBreak();  // no debugger attached: returns
}

TEST(PlatformDebug, SinkAndHookAreCapturedAndRestored) {
  {
    ScopedDebugCapture capture(1);
    PlatformDebugOutput("one");
    PlatformDebugOutput("two");
    EXPECT_EQ(PlatformDebugReport(kPlatformReportAssert, "a.cpp", 7, nullptr, "cond; msg"), 1);
    EXPECT_EQ(capture.Text(), (std::vector<std::string>{"one", "two"}));
    ASSERT_EQ(capture.ReportCount(), 1u);
    auto r = capture.Reports()[0];
    EXPECT_EQ(r.type, kPlatformReportAssert);
    EXPECT_EQ(r.file, "a.cpp");
    EXPECT_EQ(r.line, 7);
    EXPECT_EQ(r.text, "cond; msg");
  }
  EXPECT_EQ(PlatformDebugReport(kPlatformReportAssert, "a.cpp", 7, nullptr, "x"), 0);
}
