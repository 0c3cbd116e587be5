// Debug text and the debug report: our stand-in for the debugger output stream and the
// run-time library's debug report of the original platform.
//
// Debug text goes to a sink that by default discards it (as the debugger output does when
// no debugger listens); a test or a front end installs its own sink. The debug report asks
// a hook what to do after an internal failure; by default it answers "carry on" (0).
//
// Thread rules: every function may be called from any thread. Installing a sink or a hook
// while another thread reports is safe; the new one serves the next call.
#pragma once

#include <cstdint>
#include <functional>

// Receives one piece of debug text, exactly as it was sent.
using PlatformDebugSink = std::function<void(const char* text)>;

// Receives one debug report. Returns 1 when the developer chose to break into the
// debugger, 0 to carry on.
using PlatformDebugReportHook = std::function<int32_t(int32_t reportType, const char* file, int32_t line,
                                                      const char* module, const char* text)>;

// Report types of PlatformDebugReport.
constexpr int32_t kPlatformReportWarn = 0;
constexpr int32_t kPlatformReportError = 1;
constexpr int32_t kPlatformReportAssert = 2;

// Sends `text` (a null pointer sends nothing) to the installed sink.
void PlatformDebugOutput(const char* text);

// Installs `sink` (an empty function restores the discarding default) and returns the
// sink that was installed before.
PlatformDebugSink PlatformSetDebugSink(PlatformDebugSink sink);

// Passes a report to the installed hook and returns its answer: 1 means "break into the
// debugger", 0 "carry on". Without a hook the answer is 0. Null strings reach the hook
// as empty strings.
int32_t PlatformDebugReport(int32_t reportType, const char* file, int32_t line, const char* module,
                            const char* text);

// Installs `hook` (an empty function restores the default "carry on") and returns the
// hook that was installed before.
PlatformDebugReportHook PlatformSetDebugReportHook(PlatformDebugReportHook hook);

// Stops in the debugger when one is attached to the process; otherwise does nothing, so a
// "break" never ends a program that runs without a debugger.
void PlatformDebugBreak();
