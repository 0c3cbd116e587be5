#include "PlatformDebug.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::mutex& HookMutex() {
  static std::mutex m;
  return m;
}

PlatformDebugSink& Sink() {
  static PlatformDebugSink sink;
  return sink;
}

PlatformDebugReportHook& ReportHook() {
  static PlatformDebugReportHook hook;
  return hook;
}

bool DebuggerAttached() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return false;
  char line[256];
  bool attached = false;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      long pid = 0;
      std::sscanf(line + 10, "%ld", &pid);
      attached = pid != 0;
      break;
    }
  }
  std::fclose(f);
  return attached;
}

}  // namespace

void PlatformDebugOutput(const char* text) {
  if (!text) return;
  PlatformDebugSink sink;
  {
    std::lock_guard<std::mutex> guard(HookMutex());
    sink = Sink();
  }
  if (sink) sink(text);
}

PlatformDebugSink PlatformSetDebugSink(PlatformDebugSink sink) {
  std::lock_guard<std::mutex> guard(HookMutex());
  PlatformDebugSink previous = std::move(Sink());
  Sink() = std::move(sink);
  return previous;
}

int32_t PlatformDebugReport(int32_t reportType, const char* file, int32_t line, const char* module,
                            const char* text) {
  PlatformDebugReportHook hook;
  {
    std::lock_guard<std::mutex> guard(HookMutex());
    hook = ReportHook();
  }
  if (!hook) return 0;
  return hook(reportType, file ? file : "", line, module ? module : "", text ? text : "");
}

PlatformDebugReportHook PlatformSetDebugReportHook(PlatformDebugReportHook hook) {
  std::lock_guard<std::mutex> guard(HookMutex());
  PlatformDebugReportHook previous = std::move(ReportHook());
  ReportHook() = std::move(hook);
  return previous;
}

void PlatformDebugBreak() {
  if (DebuggerAttached()) std::raise(SIGTRAP);
}
