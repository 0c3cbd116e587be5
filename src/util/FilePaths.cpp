#include "FilePaths.h"

#include "MHandle.h"
#include "PlatformFile.h"

namespace {

// The separator index (-1 when none) and the dot index (the length when none) of `path`.
void FindCuts(const StringBuffer& path, int32_t& separator, int32_t& dot) {
  const char* text = path.c_str();
  int32_t length = path.length();
  separator = -1;
  for (int32_t i = 0; i < length; ++i) {
    if (text[i] == '\\' || text[i] == '/') separator = i;
  }
  dot = length;
  for (int32_t i = length - 1; i > separator; --i) {
    if (text[i] == '.') {
      dot = i;
      break;
    }
  }
}

}  // namespace

void SplitPath(const StringBuffer& path, StringBuffer& folder, StringBuffer& base,
               StringBuffer& extension) {
  int32_t separator, dot;
  FindCuts(path, separator, dot);
  const char* text = path.c_str();
  folder.clear();
  folder.append(text, separator + 1);
  base.clear();
  base.append(text + separator + 1, dot - separator - 1);
  extension.clear();
  extension.append(text + dot);
}

void GetPathFolder(const StringBuffer& path, StringBuffer& folder) {
  int32_t separator, dot;
  FindCuts(path, separator, dot);
  folder.clear();
  folder.append(path.c_str(), separator + 1);
}

void GetPathFileName(const StringBuffer& path, StringBuffer& name) {
  int32_t separator, dot;
  FindCuts(path, separator, dot);
  name.clear();
  name.append(path.c_str() + separator + 1);
}

void SplitExtension(const StringBuffer& path, StringBuffer& withoutExtension,
                    StringBuffer& extension) {
  int32_t separator, dot;
  FindCuts(path, separator, dot);
  withoutExtension.clear();
  withoutExtension.append(path.c_str(), dot);
  extension.clear();
  extension.append(path.c_str() + dot);
}

int32_t WriteHandleToFile(MHandle* handle, const StringBuffer& path) {
  if (!handle) return -1;
  PlatformFile* file = PlatformFileOpen(path.c_str(), PlatformOpenMode::kCreateAlways);
  if (!file) return -1;
  int32_t size = HGetSize(handle);
  bool good = true;
  if (size > 0) {
    const char* bytes = HLock(handle);
    good = bytes && PlatformFileWrite(file, bytes, size) == size;
    HUnlock(handle);
  }
  PlatformFileClose(file);
  return good ? 0 : -1;
}
