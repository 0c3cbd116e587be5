#include "DebugStream.h"

#include "PlatformDebug.h"

DebugStream gDebugStream;

DebugStream::~DebugStream() {
  if (!fBuffer.empty()) {
    fBuffer += "\n";
    PlatformDebugOutput(fBuffer.c_str());
    fBuffer.clear();
  }
}

DebugStream& DebugStream::operator<<(const char* text) {
  if (text) fBuffer += text;
  Flush();
  return *this;
}

DebugStream& DebugStream::operator<<(int32_t value) {
  fBuffer += std::to_string(value);
  Flush();
  return *this;
}

void DebugStream::Flush() {
  PlatformDebugOutput(fBuffer.c_str());
  fBuffer.clear();
}
