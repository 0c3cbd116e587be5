// Broken internal conditions of the file library go to the host's debug report (source file,
// line, condition text) and the call goes on; nothing here stops or throws.
#ifndef FILELIB_VORNREPORT_H
#define FILELIB_VORNREPORT_H

#include "PlatformDebug.h"

// Reports `text` as a failed condition when `cond` is false. Evaluates `cond` once.
#define VORN_REPORT(cond, text)                                                  \
  do {                                                                           \
    if (!(cond)) PlatformDebugReport(kPlatformReportAssert, __FILE__, __LINE__, \
                                     nullptr, (text));                           \
  } while (0)

#endif  // FILELIB_VORNREPORT_H
