// The debug text stream: every insertion is sent at once, as one piece, to the platform's
// debug-text sink (PlatformDebugOutput). One process-wide instance, gDebugStream.
// An insertion on a thread that captures its reports (ReportCapture) is counted there and
// sent nowhere. Otherwise unguarded: only one thread at a time may insert.
#pragma once

#include <cstdint>
#include <string>

class DebugStream {
 public:
  DebugStream() = default;
  ~DebugStream();  // Sends any pending text, followed by an end of line.

  DebugStream& operator<<(const char* text);  // A null text inserts nothing.
  DebugStream& operator<<(int32_t value);

  // Sends the buffered text as one piece and empties the buffer.
  void Flush();

 private:
  std::string fBuffer;
};

extern DebugStream gDebugStream;
