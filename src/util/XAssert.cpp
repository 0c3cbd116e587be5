#include "XAssert.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "DebugStream.h"
#include "PlatformThread.h"

namespace {

std::atomic<XAssertMode> gMode{XAssertMode::kConsole};
std::atomic<uint32_t> gWorkerThreadId{0};
std::atomic<XAssertThrowHook> gThrowHook{nullptr};

constexpr size_t kMaxReportMessage = 255;

bool ConsoleFailure(const char* file, int32_t line, const char* condition, const char* message) {
  gDebugStream << "XASSERT failure: in " << file << "(" << line << ")\n";
  std::string report(condition);
  report += "; ";
  std::string msg(message);
  if (msg.size() > kMaxReportMessage) msg.resize(kMaxReportMessage);
  report += msg;
  return PlatformDebugReport(kPlatformReportAssert, file, line, nullptr, report.c_str()) == 1;
}

bool DialogFailure(const char* file, int32_t line, const char* condition, const char* message) {
  char text[1024];
  std::snprintf(text, sizeof text, "XASSERT failure in file %s, line %d : (%s) %s", file, line, condition,
                message);
  uint32_t worker = gWorkerThreadId.load();
  XAssertThrowHook hook = gThrowHook.load();
  if (worker != 0 && worker == PlatformCurrentThreadId() && hook) {
    hook(XAssertSite{file, line, condition, message}, text);
  }
  if (PlatformDebugReport(kPlatformReportAssert, file, line, nullptr, text) == 1) PlatformDebugBreak();
  return false;
}

}  // namespace

bool XAssertFailure(const char* file, int32_t line, const char* condition, const char* message) {
  if (!file) file = "";
  if (!condition) condition = "";
  if (!message) message = "";
  if (ReportCapture::Take()) return false;
  if (gMode.load() == XAssertMode::kDialog) return DialogFailure(file, line, condition, message);
  return ConsoleFailure(file, line, condition, message);
}

void SetXAssertMode(XAssertMode mode) { gMode.store(mode); }
XAssertMode GetXAssertMode() { return gMode.load(); }

void SetXAssertWorkerThread(uint32_t threadId) { gWorkerThreadId.store(threadId); }
uint32_t GetXAssertWorkerThread() { return gWorkerThreadId.load(); }

XAssertThrowHook SetXAssertThrowHook(XAssertThrowHook hook) { return gThrowHook.exchange(hook); }

