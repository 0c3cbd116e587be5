// The path map of VornFileManager: folder scans, look-ups, wildcard searches, the debug listing.
#include <cstdio>
#include <set>
#include <string>

#include "VornFile.h"
#include "VornReport.h"

void NormalizePath(VornString& path) {
  std::string text = path.str();
  for (char& c : text) {
    if (c == '/') c = '\\';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  path = text;
}

void SplitMappedPath(const VornString& path, VornString& folder, VornString& name) {
  VornString normal(path);
  NormalizePath(normal);
  uint32_t cut = VornString::kNotFound;
  const std::string& text = normal.str();
  size_t last = text.rfind('\\');
  if (last != std::string::npos) cut = static_cast<uint32_t>(last);
  if (cut == VornString::kNotFound) {
    folder = VornString();
    name = normal;
  } else {
    folder = normal.Left(cut + 1);
    name = normal.Mid(cut + 1, VornString::kNotFound);
  }
}

VornString GetFolderPart(const VornString& path) {
  size_t last = path.str().rfind('\\');
  if (last == std::string::npos || last == 0) return VornString();
  return path.Left(static_cast<uint32_t>(last + 1));
}

bool HasWildcards(const char* text, int32_t length) {
  if (!text) return false;
  for (int32_t i = 0; length < 0 ? text[i] != '\0' : i < length; ++i) {
    if (text[i] == '*' || text[i] == '?') return true;
  }
  return false;
}

bool VornFileManager::Lookup(const VornString& path, FileMapping** record) {
  VornString folder, name;
  SplitMappedPath(path, folder, name);
  auto dir = mPathToDirMap.find(folder);
  if (dir == mPathToDirMap.end()) return false;
  auto found = dir->second.find(name);
  if (found == dir->second.end()) return false;
  if (record) *record = &found->second;
  return true;
}

bool VornFileManager::IsFolderMapped(const VornString& folder) {
  return GetFolderMap(folder) != nullptr;
}

VornNameMap* VornFileManager::GetFolderMap(const VornString& folder) {
  VornString normal(folder);
  NormalizePath(normal);
  auto dir = mPathToDirMap.find(normal);
  return dir == mPathToDirMap.end() ? nullptr : &dir->second;
}

bool VornFileManager::AddFolder(const VornString& folder, bool recurse, bool mapArchives) {
  VORN_REPORT(folder.GetLength() != 0, "directoryName");
  if (folder.GetLength() != 0) ScanFolder(folder, recurse, mapArchives);
  return true;
}

void VornFileManager::AddFolderIfUnmapped(const VornString& folder) {
  if (!IsFolderMapped(folder)) ScanFolder(folder, false, false);
}

void VornFileManager::ScanFolder(const VornString& folder, bool recurse, bool mapArchives) {
  std::set<std::string> scanned;
  ScanFolder(folder, recurse, mapArchives, scanned);
}

void VornFileManager::ScanFolder(const VornString& folder, bool recurse, bool mapArchives,
                                 std::set<std::string>& scanned) {
  VornString dirName(folder);
  NormalizePath(dirName);
  bool endsInSeparator = dirName.EndsWith("\\", 1);
  VORN_REPORT(endsInSeparator, "directoryName ends in '\\'");
  if (!endsInSeparator) return;

  // A folder reached again through a link is recorded under its new path, but not entered.
  std::string identity = PlatformFolderIdentity(dirName.GetBuffer());
  if (!identity.empty() && !scanned.insert(identity).second) return;

  PlatformFind find;
  bool more = find.First((dirName.str() + "*.*").c_str());
  // An existing folder is a key of the map even when it holds nothing.
  if (!more && !PlatformIsFolder(dirName.GetBuffer())) return;
  VornNameMap& names = mPathToDirMap[dirName];

  for (; more; more = find.Next()) {
    const PlatformFindEntry& entry = find.Entry();
    VornString name(entry.name);
    NormalizePath(name);
    FileMapping record;
    record.mHolder = name;
    record.mbWritable = !entry.readOnly;
    if (entry.folder) {
      record.mbFolder = true;
      names[name] = record;
      if (recurse) ScanFolder(dirName + name + VornString("\\"), recurse, mapArchives, scanned);
      continue;
    }
    bool archiveName = name.GetLength() >= 3 && VornString(name).MakeUpper().EndsWith("FAR", 3);
    if (archiveName) {
      if (!mapArchives) continue;
      if (MapFAR(dirName + name)) continue;
      // Not a valid archive: it stays an ordinary file of the folder.
    }
    names[name] = record;
  }
}

void VornFileManager::AddFile(const VornString& path) { RecordIfFolderMapped(path); }

bool VornFileManager::MatchWildcard(const char* name, const char* pattern, bool caseSensitive) {
  return PlatformMatchPattern(name, pattern, caseSensitive);
}

namespace {

// From data.mPos on, the first name that matches the pattern; fills the data.
bool FindFrom(MapFindData& data) {
  for (; data.mPos != data.mpMap->end(); ++data.mPos) {
    if (VornFileManager::MatchWildcard(data.mPos->first.GetBuffer(), data.mPattern.GetBuffer(), false)) {
      data.mName = data.mPos->first;
      data.mbFolder = data.mPos->second.mbFolder;
      data.mbWritable = data.mPos->second.mbWritable;
      return true;
    }
  }
  return false;
}

}  // namespace

bool VornFileManager::FindFirst(const VornString& searchPath, MapFindData& data) {
  VornString folder, pattern;
  SplitMappedPath(searchPath, folder, pattern);
  auto dir = mPathToDirMap.find(folder);
  if (dir == mPathToDirMap.end()) return false;
  data.mFolder = folder;
  data.mPattern = pattern;
  data.mpMap = &dir->second;
  data.mPos = dir->second.begin();
  return FindFrom(data);
}

bool VornFileManager::FindNext(MapFindData& data) {
  if (!data.mpMap || data.mPos == data.mpMap->end()) return false;
  ++data.mPos;
  return FindFrom(data);
}

void VornFileManager::Reset() {
  for (auto& archive : mFARHandles) {
    if (archive.second) PlatformFileClose(archive.second);
  }
  mFARHandles.clear();
  mPathToDirMap.clear();
}

void VornFileManager::DumpRecord(long number, const VornString& name, const FileMapping& record) {
  VornString line;
  line.Format("%ld:Dir [%s] is at:%s size:%ld offset:%ld\n", number, name.GetBuffer(),
              record.mHolder.GetBuffer(), static_cast<long>(record.mnSize),
              static_cast<long>(record.mnOffset));
  PlatformDebugOutput(line.GetBuffer());
}

void VornFileManager::DumpMapping() {
  PlatformDebugOutput("VornFileManager::DumpMapping--------------------------------------------\n");
  long number = 0;
  for (const auto& dir : mPathToDirMap) {
    for (const auto& entry : dir.second) DumpRecord(number++, entry.first, entry.second);
  }
}
