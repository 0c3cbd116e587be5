// Object file sets over a folder: the input holds the parts of one set, separated by a line
// "@@": the ".iff" file, the ".spf" file, then loose files of the ".dir" folder, each its
// file name on the first line and its bytes after. Then the round of ResFileRound over the set.
#include <cctype>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ObjResFile.h"

namespace {

iResFile* MakeFile() { return new ObjResFile(); }

// A file name made of harmless characters only, so that every loose file stays in the folder.
std::string LooseName(const std::string& line, size_t index) {
  std::string name;
  for (char c : line) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '#' || c == '_' || c == '-' || c == '.') name += c;
    if (name.size() >= 48) break;
  }
  if (name.empty() || name == "." || name == "..") name = "#" + std::to_string(128 + index) + "#loose.spr";
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  ClearFuzzFolder();
  std::vector<std::string> parts = SplitInput(data, size, "\n@@\n");
  if (parts.size() > 0 && !parts[0].empty()) WriteFuzzFile("set.iff", parts[0]);
  if (parts.size() > 1 && !parts[1].empty()) WriteFuzzFile("set.spf", parts[1]);
  for (size_t i = 2; i < parts.size() && i < 34; ++i) {
    const size_t end = parts[i].find('\n');
    const std::string first = parts[i].substr(0, end);
    const std::string rest = end == std::string::npos ? std::string() : parts[i].substr(end + 1);
    WriteFuzzFile("set.dir/" + LooseName(first, i), rest);
  }
  ResFileRound(MakeFile, FuzzFolder() + "set");
  return 0;
}
