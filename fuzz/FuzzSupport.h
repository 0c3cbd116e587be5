// Shared pieces of the fuzz targets: a per-process scratch folder for readers that need a
// path, the reset of process-wide state between inputs, a check that stops the run with a
// message (so the fuzzer records the input), and a walk that copies every resource of a file.
//
// Each target defines LLVMFuzzerTestOneInput. The same target source links either with
// libFuzzer (build-fuzz/, clang) or with ReplayMain.cpp, which feeds each file of a folder to
// it (the test command's replay of the seed corpora). Single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "StringBuffer.h"

class iResFile;
class MemResFile;
class AttribTableList;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Stops the process with "fuzz check failed: <what>" on the standard error stream.
[[noreturn]] void FuzzFail(const char* what);
#define FUZZ_CHECK(condition, what)      \
  do {                                   \
    if (!(condition)) FuzzFail((what));  \
  } while (0)

// With FUZZ_VERBOSE set in the environment, prints `what` on the standard error stream: how
// far an input got (for checking what a seed reaches).
void FuzzNote(const char* what);

// The scratch folder of this process, ending in '/', made on first use and removed at exit.
const std::string& FuzzFolder();
// Removes everything inside the scratch folder (the folder stays).
void ClearFuzzFolder();
// Writes `size` bytes to FuzzFolder() + `name` (folders on the way are made); the full path.
std::string WriteFuzzFile(const std::string& name, const uint8_t* data, size_t size);
std::string WriteFuzzFile(const std::string& name, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string ReadFuzzFile(const std::string& path);

// Puts back what one input may have changed process-wide: the file manager's maps and
// archive handles, the global palette (a fixed grey ramp, so colour matching is the same for
// every input), the debug sinks and the current builder.
void ResetProcessState();

// Writes the input as a markup file and reads every tag of it into `tags`, as the build does.
// False when the file cannot be opened.
bool ReadFuzzMarkup(const uint8_t* data, size_t size, AttribTableList& tags);

// A path as the library takes it.
FixedStringBuffer<1024> FuzzPath(const std::string& path);

// One resource as a walk found it.
struct FuzzResource {
  uint32_t type = 0;
  int16_t id = 0;
  uint8_t language = 0;
  std::string name;
  std::string bytes;
  uint16_t index = 0;  // its index within the type when found (not compared)
  bool operator<(const FuzzResource& other) const;
  bool operator==(const FuzzResource& other) const;
};

// Every resource of every type, through CountTypes, Count and GetIndResource (stored byte
// order: no swizzle). Resources that do not load are left out; `failures` counts them.
std::vector<FuzzResource> WalkResources(iResFile& file, int32_t* failures = nullptr);

// The round every resource-file target makes over a file at `path` that `make` opens: open,
// walk and look every resource up by id and name; then, when the file is writable, remove
// one resource, add one, close, reopen with a new object and check that exactly the
// resources expected are there, byte for byte. `check`, where given, checks the file's own
// bookkeeping after every operation of the round (noErr when sound).
using FileCheck = int32_t (*)(iResFile& file);
void ResFileRound(iResFile* (*make)(), const std::string& path, FileCheck check = nullptr);

// Splits `data` at each occurrence of `separator`.
std::vector<std::string> SplitInput(const uint8_t* data, size_t size, const std::string& separator);

// One resource placed in a memory resource file for a record decoder.
struct StoredPart {
  uint32_t type = 0;
  uint16_t id = 0;
  std::string bytes;
  const char* name = "";
};

// Runs `body` twice over a new memory resource file holding `parts`: once with the bytes
// stored in host order, once marked as stored in the other byte order (the swizzle path).
void WithStoredRecords(const std::vector<StoredPart>& parts, const std::function<void(MemResFile&)>& body);

// For a record that loaded: `save` into a new memory resource file must succeed, and `load`
// must then read the record back from it. `what` names the record in the failure message.
void CheckSaveAndReload(const char* what, const std::function<bool(MemResFile&)>& save,
                        const std::function<bool(MemResFile&)>& load);
