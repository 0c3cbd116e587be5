#include "RsrcSite.h"

#include <algorithm>
#include <cstring>

#include "PlatformFile.h"
#include "VornReport.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The file name's extension, when it has one that GetFileExtension accepts.
bool HasExtension(const char* name) {
  size_t len = std::strlen(name);
  if (len <= 3) return false;
  return name[len - 4] == '.' || name[len - 3] == '.' || name[len - 2] == '.';
}

// The folder exists. The empty name is the current folder.
bool FolderExists(const std::string& folder) {
  return PlatformIsFolder(folder.empty() ? "." : folder.c_str());
}

}  // namespace

RsrcSite::RsrcSite(const char* inPath) {
  VORN_REPORT(inPath != nullptr, "inPath != 0");
  if (!inPath) return;
  const char* p = inPath;
  if (*p == ';') {
    fFolders.emplace_back();
    ++p;
  }
  while (*p != '\0') {
    // The entry's first character is taken whatever it is; the entry runs to the next ';'.
    const char* start = p++;
    while (*p != '\0' && *p != ';') ++p;
    size_t length = static_cast<size_t>(p - start);
    bool fits = length < static_cast<size_t>(kMaxSiteNameLength);
    VORN_REPORT(fits, "localIndex < kMaxSiteNameLength");
    if (fits) {
      std::string folder(start, length);
      NormalizeFolder(folder);
      fFolders.push_back(folder);
    }
    if (*p == '\0') break;
    ++p;  // the ';'
    while (IsSpace(*p)) ++p;
  }
}

void RsrcSite::NormalizeFolder(std::string& folder) {
  std::replace(folder.begin(), folder.end(), '/', '\\');
  bool drivePath = folder.size() >= 3 && IsLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\';
  bool dotRelative = folder.size() >= 2 && folder[0] == '.' && folder[1] == '\\';
  bool rooted = !folder.empty() && folder[0] == '\\';  // the root, or a network path
  if (!drivePath && !dotRelative && !rooted && folder != ".") folder.insert(0, ".\\");
  if (folder.empty() || folder.back() != '\\') folder.push_back('\\');
}

bool RsrcSite::Validate() const {
  if (fFolders.empty()) return false;
  for (const std::string& folder : fFolders)
    if (!FolderExists(folder)) return false;
  return true;
}

int32_t RsrcSite::CollectTypes(std::vector<RsrcType>& types) const {
  size_t before = types.size();
  for (const std::string& folder : fFolders) {
    PlatformFind find;
    std::string pattern = folder + "*.*";
    for (bool ok = find.First(pattern.c_str()); ok; ok = find.Next()) {
      const PlatformFindEntry& entry = find.Entry();
      if (entry.folder || !HasExtension(entry.name.c_str())) continue;
      char extension[4];
      GetFileExtension(entry.name.c_str(), extension);
      RsrcType type(extension);
      if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
    }
  }
  return types.size() > before ? 0 : 5;
}

void GetFileExtension(const char* fileName, char* out) {
  out[0] = '\0';
  VORN_REPORT(fileName != nullptr, "in != 0");
  if (!fileName) return;
  size_t len = std::strlen(fileName);
  VORN_REPORT(len > 3, "len > 3");
  if (len <= 3) return;
  size_t take = 0;
  if (fileName[len - 4] == '.') take = 3;
  else if (fileName[len - 3] == '.') take = 2;
  else if (fileName[len - 2] == '.') take = 1;
  VORN_REPORT(take != 0, "false");
  std::memcpy(out, fileName + len - take, take);
  out[take] = '\0';
}
