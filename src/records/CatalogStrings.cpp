#include "CatalogStrings.h"

#include <cstring>

#include "MHandle.h"
#include "resfile.h"
#include "strset.h"

namespace {

// The NUL-terminated text at data[offset], never looking past `size`; `offset` moves past
// its NUL (or to the end).
std::string TakeString(const char* data, int32_t size, int32_t& offset) {
  const void* nul = std::memchr(data + offset, 0, size_t(size - offset));
  const int32_t end = nul ? int32_t(static_cast<const char*>(nul) - data) : size;
  std::string text(data + offset, size_t(end - offset));
  offset = nul ? end + 1 : size;
  return text;
}

}  // namespace

int32_t CatalogStrings::Read(iResFile* file, uint16_t id, bool anyLanguage) {
  fFirst.clear();
  fSecond.clear();
  if (file == nullptr) return -1;

  if (MHandle* handle = file->GetResource(kCatalogStringsType, id, nullptr)) {
    const int32_t size = HGetSize(handle);
    const char* data = HLock(handle);
    int32_t offset = 0;
    if (data != nullptr && size > 0) {
      fSecond = TakeString(data, size, offset);
      if (offset < size) fFirst = TakeString(data, size, offset);
    }
    HUnlock(handle);
    return 0;
  }

  StringSet set;
  set.Init(file, id, kCatalogStringSetType, 0, kLanguageEnglish);
  int32_t result = set.Read(0, 0);
  if (result == 0) {
    const char* first = set.GetString(1);
    const char* second = set.GetString(2);
    fFirst = first ? first : "";
    fSecond = second ? second : "";
  }
  if (anyLanguage && fFirst.empty()) {
    result = set.Read(1, 0);
    if (result == 0) {
      int8_t language = 0;
      const char* first = set.FindString(1, &language);
      fFirst = first ? first : "";
      const char* second = first ? set.GetString(2, language) : set.FindString(2, &language);
      fSecond = second ? second : "";
    }
  }
  return result;
}

int32_t CatalogStrings::Write(iResFile* file, uint16_t id) {
  if (file == nullptr) return -1;
  StringSet set;
  set.Init(file, id, kCatalogStringSetType, 0, kLanguageEnglish);
  set.SetString(1, fFirst.c_str());
  set.SetString(2, fSecond.c_str());
  const int32_t result = set.Write();
  if (result == 0) {
    if (MHandle* old = file->GetResource(kCatalogStringsType, id, nullptr)) {
      file->RemoveResource(old);
    }
  }
  return result;
}
