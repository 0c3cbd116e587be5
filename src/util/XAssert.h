// Internal invariants. XASSERT reports a false condition through XAssertFailure and then
// carries on with the next statement: assertions never end the program by themselves.
//
// On a thread that captures its reports (ReportCapture) a failure is counted there and
// reported nowhere. Otherwise two behaviours, chosen at run time with SetXAssertMode:
//  - console (the default): "XASSERT failure: in <file>(<line>)\n" goes to the debug text,
//    and "<condition>; <message>" to the debug report; the caller breaks into the debugger
//    when the report answers 1.
//  - dialog: the text "XASSERT failure in file %s, line %d : (%s) %s" is formed; on the
//    registered worker thread it is handed, with the assertion's parts, to the installed
//    throw hook (the builder installs one that ends the build with a fatal error that a user
//    can act on), elsewhere it goes to the debug report.
#pragma once

#include <cstdint>

#include "PlatformDebug.h"
#include "ReportCapture.h"

// Reports a failed assertion. Returns true when the caller is to break into the debugger.
// In dialog mode on the worker thread it does not return when the throw hook throws.
bool XAssertFailure(const char* file, int32_t line, const char* condition, const char* message);

#define XASSERT(condition, message)                                          \
  do {                                                                       \
    if (!(condition)) {                                                      \
      if (XAssertFailure(__FILE__, __LINE__, #condition, (message)))         \
        PlatformDebugBreak();                                                \
    }                                                                        \
  } while (0)

enum class XAssertMode : uint8_t { kConsole, kDialog };

void SetXAssertMode(XAssertMode mode);
XAssertMode GetXAssertMode();

// The id (PlatformCurrentThreadId) of the thread that runs the current build in the dialog
// program; 0 when no build runs. Written by that thread at the start and end of its run.
void SetXAssertWorkerThread(uint32_t threadId);
uint32_t GetXAssertWorkerThread();

// Where an assertion failed and what it said.
struct XAssertSite {
  const char* file;       // source file of the assertion
  int32_t line;
  const char* condition;  // the condition's text
  const char* message;
};

// Called in dialog mode, on the worker thread, with the failed assertion and its text
// ("XASSERT failure in file ..."); it is expected to throw. When it returns, the failure is
// reported as on any other thread.
using XAssertThrowHook = void (*)(const XAssertSite& site, const char* text);

// Installs `hook` (null removes it) and returns the previous one.
XAssertThrowHook SetXAssertThrowHook(XAssertThrowHook hook);
