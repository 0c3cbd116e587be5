// Helpers of the builder tests: tags read from markup text the way the build reads them, the
// text of a fatal error, a capture of the build log, and a run of the real morvik program.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "attribtable.h"
#include "ObjectBuilder.h"
#include "TestTempFolder.h"

// The tags of an object-make text, read through a flat file and the markup reader.
class TagFile {
 public:
  explicit TagFile(const std::string& text);
  AttribTableList& List() { return fList; }
  AttribTable& operator[](int32_t index) { return *fList.Nth(index); }

 private:
  TestTempFolder fFolder;
  AttribTableList fList;
};

// The text of the Terminate that `body` throws, or "<no error>".
template <class F>
std::string FatalText(F&& body) {
  try {
    body();
  } catch (const Terminate& error) {
    return error.c_str();
  }
  return "<no error>";
}

// While it lives, the build log goes to a temporary file.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  std::string Text();

 private:
  FILE* fFile;
  FILE* fOld;
};

// What a run of the morvik program left: its exit code (-1 when it did not exit) and the text
// of its standard error stream.
struct MorvikResult {
  int code;
  std::string log;
};

// Runs the morvik program with `args`; its output streams go to files in `folder`.
MorvikResult RunMorvik(const TestTempFolder& folder, const std::vector<std::string>& args);
