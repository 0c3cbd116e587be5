#include "FolderScanner.h"

#include "FilePaths.h"
#include "VornFile.h"
#include "VornReport.h"

namespace {

constexpr int32_t kMaxFolderPath = 255;

}  // namespace

bool FolderScanner::EnterFolder(const StringBuffer&) { return true; }

int32_t FolderScanner::Scan(const StringBuffer& folder) {
  if (folder.length() > kMaxFolderPath) return -1;
  FixedStringBuffer<256> path(folder);
  for (char* c = path.buffer(); *c; ++c) {
    if (*c == '/') *c = '\\';
  }
  if (GetVornFileManager().IsFolderMapped(VornString(path.c_str()))) return ScanMapped(path);
  return ScanUnmapped(path);
}

int32_t FolderScanner::ScanMapped(const StringBuffer& folder) {
  return Walk(GetVornFileManager(), folder, true);
}

int32_t FolderScanner::ScanUnmapped(const StringBuffer& folder) {
  VornFileManager manager;
  manager.AddFolder(VornString(folder.c_str()), false, true);
  int32_t result = Walk(manager, folder, false);
  manager.Reset();
  return result;
}

std::string FolderScanner::FolderKey(const StringBuffer& folder) {
  std::string identity = PlatformFolderIdentity(folder.c_str());
  if (!identity.empty()) return "disk " + identity;
  VornString normal(folder.c_str());
  NormalizePath(normal);
  std::string text = normal.str();
  while (!text.empty() && text.back() == '\\') text.pop_back();
  return "map " + text;
}

int32_t FolderScanner::Walk(VornFileManager& manager, const StringBuffer& folder, bool mapped) {
  if (fDepth == 0) {
    fEntered.clear();
    fEntered.insert(FolderKey(folder));
  }
  struct Level {
    int32_t& depth;
    explicit Level(int32_t& d) : depth(d) { ++depth; }
    ~Level() { --depth; }
  } level(fDepth);

  VornString pattern(folder.c_str());
  pattern.Append(VornString("*"));
  MapFindData data;
  if (!manager.FindFirst(pattern, data)) return -1;
  do {
    VornString full = data.mFolder + data.mName;
    // A path that does not fit the walk's 260-byte paths is passed over, never cut.
    bool fits = full.GetLength() < 259;
    VORN_REPORT(fits, "walked path fits 260 bytes");
    if (!fits) continue;
    FixedStringBuffer<260> path(full.GetBuffer());
    if (data.mbFolder) {
      const std::string key = FolderKey(path);
      if (fEntered.count(key) == 0 && EnterFolder(path)) {
        fEntered.insert(key);
        path.append('\\');
        if (mapped) {
          ScanMapped(path);
        } else {
          ScanUnmapped(path);
        }
      }
    } else {
      fCurrentFileWritable = data.mbWritable ? 1 : 0;
      VisitFile(path);
    }
  } while (manager.FindNext(data));
  return 0;
}

SuffixScanner::SuffixScanner(const char* suffix, const char* exclude, bool recurse)
    : fExclude(exclude), fSuffix(suffix), fRecurse(recurse ? 1 : 0) {}

bool SuffixScanner::EnterFolder(const StringBuffer&) { return fRecurse != 0; }

void SuffixScanner::VisitFile(const StringBuffer& path) {
  FixedStringBuffer<260> name;
  GetPathFileName(path, name);
  if (fExclude.length() > 0 && name.find_nocase(fExclude.c_str()) >= 0) return;
  int32_t tail = name.length() - fSuffix.length();
  if (fSuffix.length() > 0 && (tail < 0 || name.find_nocase(fSuffix.c_str(), tail) != tail)) return;
  fFound.push_back(FixedStringBuffer<260>(path));
}
