#include "DebugStream.h"

#include "PlatformDebug.h"
#include "ReportCapture.h"

DebugStream gDebugStream;

DebugStream::~DebugStream() {
  if (!fBuffer.empty()) {
    fBuffer += "\n";
    PlatformDebugOutput(fBuffer.c_str());
    fBuffer.clear();
  }
}

DebugStream& DebugStream::operator<<(const char* text) {
  if (ReportCapture::Take()) return *this;
  if (text) fBuffer += text;
  Flush();
  return *this;
}

DebugStream& DebugStream::operator<<(int32_t value) {
  if (ReportCapture::Take()) return *this;
  fBuffer += std::to_string(value);
  Flush();
  return *this;
}

void DebugStream::Flush() {
  PlatformDebugOutput(fBuffer.c_str());
  fBuffer.clear();
}
