// Reports made by work done ahead of time on a thread of its own.
//
// A sprite build loads sheets and encodes frames on threads beside the build's own. Every
// result made there is kept only when its work said nothing at all: a result that reported
// anything (an assertion, debug text, standard error, a warning, a log line, an error thrown)
// is thrown away and made again on the build's thread, in its place, where its reports then
// appear once and in order. So every report channel that such work may reach asks
// ReportCapture::Take first, and the rule itself lives in one place, RunReportingNothing.
//
// Thread rules: a capture belongs to the thread that made it and sees only that thread's
// reports; captures nest.
#pragma once

#include <cstdint>
#include <utility>

class ReportCapture {
 public:
  ReportCapture();
  ~ReportCapture();
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  // Reports made on this thread while this capture lived.
  int32_t Reports() const;

  // Asked by every report channel before it reports: true when the calling thread has a
  // capture, which then counts the report, and the channel reports nothing.
  static bool Take();

 private:
  int32_t fReportsBefore;
};

// Writes `text` to standard error unless the calling thread captures its reports.
void ReportToStandardError(const char* text);

// Runs `work` (answering bool) with this thread's reports captured. True only when it answered
// true, threw nothing and reported nothing: otherwise whatever it made is to be thrown away
// and made again on the build's thread.
template <class Work>
bool RunReportingNothing(Work&& work) {
  ReportCapture capture;
  bool done = false;
  try {
    done = std::forward<Work>(work)();
  } catch (...) {
    return false;
  }
  return done && capture.Reports() == 0;
}
