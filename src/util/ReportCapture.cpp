#include "ReportCapture.h"

#include <cstdio>

namespace {

thread_local int32_t tDepth = 0;
thread_local int32_t tReports = 0;

}  // namespace

ReportCapture::ReportCapture() : fReportsBefore(tReports) { ++tDepth; }
ReportCapture::~ReportCapture() { --tDepth; }
int32_t ReportCapture::Reports() const { return tReports - fReportsBefore; }

bool ReportCapture::Take() {
  if (tDepth == 0) return false;
  ++tReports;
  return true;
}

void ReportToStandardError(const char* text) {
  if (ReportCapture::Take()) return;
  std::fputs(text, stderr);
}
