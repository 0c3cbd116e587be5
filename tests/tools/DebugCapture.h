// Test helper: while it lives, collects the debug text and the debug reports of the
// process (assertions included) instead of letting them go to the default sink and hook.
// The report hook answers `answer` (0, "carry on", unless changed).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "PlatformDebug.h"

class ScopedDebugCapture {
 public:
  struct Report {
    int32_t type;
    std::string file;
    int32_t line;
    std::string text;
  };

  explicit ScopedDebugCapture(int32_t answer = 0) : fAnswer(answer) {
    fOldSink = PlatformSetDebugSink([this](const char* text) {
      std::lock_guard<std::mutex> g(fMutex);
      fText.emplace_back(text);
    });
    fOldHook = PlatformSetDebugReportHook(
        [this](int32_t type, const char* file, int32_t line, const char*, const char* text) {
          std::lock_guard<std::mutex> g(fMutex);
          fReports.push_back(Report{type, file, line, text});
          return fAnswer;
        });
  }
  ~ScopedDebugCapture() {
    PlatformSetDebugSink(fOldSink);
    PlatformSetDebugReportHook(fOldHook);
  }
  ScopedDebugCapture(const ScopedDebugCapture&) = delete;
  ScopedDebugCapture& operator=(const ScopedDebugCapture&) = delete;

  // The pieces of debug text, one per send.
  std::vector<std::string> Text() {
    std::lock_guard<std::mutex> g(fMutex);
    return fText;
  }
  std::vector<Report> Reports() {
    std::lock_guard<std::mutex> g(fMutex);
    return fReports;
  }
  // Number of reports whose text contains `part` (for an assertion: "condition; message").
  int Count(const std::string& part) {
    std::lock_guard<std::mutex> g(fMutex);
    int n = 0;
    for (const Report& r : fReports)
      if (r.text.find(part) != std::string::npos) ++n;
    return n;
  }
  bool Saw(const std::string& part) { return Count(part) > 0; }
  size_t ReportCount() {
    std::lock_guard<std::mutex> g(fMutex);
    return fReports.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> g(fMutex);
    fText.clear();
    fReports.clear();
  }

 private:
  std::mutex fMutex;
  int32_t fAnswer;
  std::vector<std::string> fText;
  std::vector<Report> fReports;
  PlatformDebugSink fOldSink;
  PlatformDebugReportHook fOldHook;
};
