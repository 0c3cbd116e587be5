// FAR archives: mapping an archive's directory, writing and unpacking archives.
//
// Layout (integers u32 little-endian, offsets from the start of the file):
//   0  "FAR!byQK"   8  version 1   12  directory offset   16  the entries' data
//   directory: count, then per entry: size, size again, data offset, name length, name bytes.
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "VornFile.h"
#include "VornReport.h"

namespace {

constexpr char kFARMagic[8] = {'F', 'A', 'R', '!', 'b', 'y', 'Q', 'K'};
constexpr uint32_t knFARVersion = 1;
constexpr uint32_t kMaxEntries = 500000;     // counts must lie strictly between 0 and this
constexpr uint32_t kMaxNameLength = 2047;    // name lengths must lie below this
constexpr int64_t kHeaderSize = 16;
constexpr int64_t kEntryFixedSize = 16;      // the four integers of a directory entry

struct FAREntry {
  uint32_t size;
  uint32_t offset;
  std::string name;
};

// Reads and checks the whole directory. False (with the reason in `why`) when anything is
// out of place; nothing is kept then.
bool ReadDirectory(VornFile& reader, int64_t fileSize, std::vector<FAREntry>& entries,
                   const char*& why) {
  char magic[8];
  uint32_t version = 0, dirOffset = 0, count = 0;
  if (!reader.ReadBytes(magic, 8) || !reader.ReadLong(version) || !reader.ReadLong(dirOffset)) {
    why = "short header";
    return false;
  }
  if (std::memcmp(magic, kFARMagic, 8) != 0) {
    why = "bad magic";
    return false;
  }
  if (version != knFARVersion) {
    why = "nFARVersion == knFARVersion";
    return false;
  }
  if (dirOffset < kHeaderSize || static_cast<int64_t>(dirOffset) + 4 > fileSize ||
      !reader.SeekRaw(static_cast<int32_t>(dirOffset)) || !reader.ReadLong(count)) {
    why = "directory offset outside the file";
    return false;
  }
  // Every entry takes at least its four integers: a count that cannot fit is refused before
  // anything is allocated for it.
  int64_t dirLeft = fileSize - dirOffset - 4;
  if (count == 0 || count >= kMaxEntries || static_cast<int64_t>(count) * kEntryFixedSize > dirLeft) {
    why = "nNumEntries > 0 && nNumEntries < 500000";
    return false;
  }
  entries.reserve(count);
  std::vector<char> name;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t size = 0, size2 = 0, offset = 0, nameLength = 0;
    if (!reader.ReadLong(size) || !reader.ReadLong(size2) || !reader.ReadLong(offset) ||
        !reader.ReadLong(nameLength)) {
      why = "short directory entry";
      return false;
    }
    if (nameLength == 0 || nameLength >= kMaxNameLength ||
        static_cast<int64_t>(nameLength) > fileSize - reader.Tell()) {
      why = "nFilenameLength < 2047";
      return false;
    }
    if (static_cast<int64_t>(offset) + size > fileSize) {
      why = "entry data outside the file";
      return false;
    }
    name.resize(nameLength);
    if (!reader.ReadBytes(name.data(), static_cast<int32_t>(nameLength))) {
      why = "short entry name";
      return false;
    }
    if (std::memchr(name.data(), 0, nameLength)) {
      why = "NUL in entry name";
      return false;
    }
    entries.push_back({size, offset, std::string(name.data(), nameLength)});
  }
  return true;
}

// True when an entry name is a plain path below the archive's folder: not empty, no leading
// separator, no drive colon, and no part (between separators of either kind) that is empty,
// "." or "..". Only such a name maps to the place it names, and none can lead a folder walk or
// an unpacking out of the archive's folder or back into a folder above it.
bool IsPlainEntryName(const std::string& name) {
  if (name.empty() || name.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    const size_t length = end - start;
    if (length == 0) return false;
    if (name[start] == '.' && (length == 1 || (length == 2 && name[start + 1] == '.'))) return false;
    start = end + 1;
  }
  return true;
}

bool WriteAll(PlatformFile* file, const void* bytes, int64_t count) {
  return PlatformFileWrite(file, bytes, count) == count;
}

bool WriteU32(PlatformFile* file, uint32_t value) {
  uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                  static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return WriteAll(file, b, 4);
}

}  // namespace

bool VornFileManager::MapFAR(const VornString& archivePath) {
  VornString archive(archivePath);
  NormalizePath(archive);
  VornString archiveFolder = GetFolderPart(archive);

  bool fresh = mFARHandles.find(archive) == mFARHandles.end();
  VORN_REPORT(fresh, "mFARHandles.find(sFARFilename) == mFARHandles.end()");
  if (!fresh) return true;  // its directory is in the map already

  PlatformFile* handle = PlatformFileOpen(archivePath.GetBuffer(), PlatformOpenMode::kReadExisting);
  if (!handle) {
    VornString text;
    text.Format("Couldn't Open file '%s' for mapping.", archivePath.GetBuffer());
    PlatformDebugOutput(text.GetBuffer());
    return false;
  }
  int64_t fileSize = PlatformFileSize(handle);
  std::vector<FAREntry> entries;
  const char* why = "archive of 2^31 bytes or more";
  bool good = fileSize >= 0 && fileSize <= std::numeric_limits<int32_t>::max();
  if (good) {
    VornFile reader(handle, 0, static_cast<int32_t>(fileSize), false, false, nullptr);
    good = ReadDirectory(reader, fileSize, entries, why);
  }
  if (!good) {
    VORN_REPORT(false, why);
    PlatformFileClose(handle);
    return false;
  }

  mFARHandles[archive] = handle;
  for (const FAREntry& entry : entries) {
    if (!IsPlainEntryName(entry.name)) {
      // Passed over: such a name would map outside the archive's folder, or onto a folder of
      // the walk that maps it.
      VORN_REPORT(false, "entry name stays inside the archive's folder");
      continue;
    }
    VornString path = archiveFolder + VornString(entry.name);
    if (Lookup(path, nullptr)) continue;  // the first mapping of a path wins
    VornString folder, name;
    SplitMappedPath(path, folder, name);
    FileMapping record;
    record.mHolder = archive;
    record.mhFile = handle;
    record.mnOffset = static_cast<int32_t>(entry.offset);
    record.mnSize = static_cast<int32_t>(entry.size);
    record.mbFAR = true;
    record.mbWritable = false;
    mPathToDirMap[folder][name] = record;

    // Record the folders above the entry, up to the archive's folder, while their parents are
    // mapped already.
    VornString below = folder;
    while (below.GetLength() > archiveFolder.GetLength()) {
      VornString parent, own;
      SplitMappedPath(below.Left(below.GetLength() - 1), parent, own);
      auto dir = mPathToDirMap.find(parent);
      if (parent.GetLength() == 0 || own.GetLength() == 0 || dir == mPathToDirMap.end()) break;
      FileMapping folderRecord;
      folderRecord.mHolder = own;
      folderRecord.mbFolder = true;
      dir->second.emplace(own, folderRecord);
      below = parent;
    }
  }
  return true;
}

bool VornFileManager::AppendFile(PlatformFile* archive, const VornString& sourcePath, int32_t& size,
                                 int32_t& written) {
  size = 0;
  written = 0;
  PlatformFile* source = PlatformFileOpen(sourcePath.GetBuffer(), PlatformOpenMode::kReadExisting);
  VORN_REPORT(source, "false");
  if (!source) return false;
  int64_t length = PlatformFileSize(source);
  if (length < 0 || length > std::numeric_limits<int32_t>::max()) {
    PlatformFileClose(source);
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  bool readAll = PlatformFileRead(source, bytes.data(), length) == length;
  PlatformFileClose(source);
  if (!readAll) return false;
  int64_t put = length == 0 ? 0 : PlatformFileWrite(archive, bytes.data(), length);
  size = static_cast<int32_t>(length);
  written = static_cast<int32_t>(put);
  return put == length;
}

bool VornFileManager::WriteFAR(const VornString& archivePath, VornNameMap& names,
                               const VornString& sourceFolder) {
  PlatformFile* archive = PlatformFileOpen(archivePath.GetBuffer(), PlatformOpenMode::kCreateAlways);
  VORN_REPORT(archive, "false");
  if (!archive) return false;

  auto fail = [&]() {
    VORN_REPORT(false, "false");
    PlatformFileClose(archive);
    PlatformFileDelete(archivePath.GetBuffer());
    return false;
  };
  if (names.empty() || names.size() >= kMaxEntries) return fail();
  if (!WriteAll(archive, kFARMagic, 8) || !WriteU32(archive, knFARVersion) || !WriteU32(archive, 0)) {
    return fail();
  }
  int64_t running = kHeaderSize;
  for (auto& item : names) {
    int32_t size = 0, written = 0;
    if (item.first.GetLength() == 0 || item.first.GetLength() >= kMaxNameLength) return fail();
    if (!AppendFile(archive, sourceFolder + item.first, size, written)) return fail();
    if (running + size > std::numeric_limits<int32_t>::max()) return fail();
    item.second.mnSize = size;
    item.second.mnSize2 = size;
    item.second.mnOffset = static_cast<int32_t>(running);
    running += size;
  }
  uint32_t dirOffset = static_cast<uint32_t>(running);
  if (!WriteU32(archive, static_cast<uint32_t>(names.size()))) return fail();
  for (const auto& item : names) {
    const FileMapping& record = item.second;
    if (!WriteU32(archive, static_cast<uint32_t>(record.mnSize)) ||
        !WriteU32(archive, static_cast<uint32_t>(record.mnSize2)) ||
        !WriteU32(archive, static_cast<uint32_t>(record.mnOffset)) ||
        !WriteU32(archive, item.first.GetLength()) ||
        !WriteAll(archive, item.first.GetBuffer(), item.first.GetLength())) {
      return fail();
    }
  }
  if (!PlatformFileSeek(archive, 12) || !WriteU32(archive, dirOffset)) return fail();
  PlatformFileClose(archive);
  return true;
}

void VornFileManager::Extract(const VornString& archivePath, const VornString& destFolder) {
  VORN_REPORT(mPathToDirMap.size() == 0, "mPathToDirMap.size() == 0");
  if (!MapFAR(archivePath)) return;
  PlatformDebugOutput("VornFileManager::Extracting--------------------------------------------\n");

  VornString archive(archivePath);
  NormalizePath(archive);
  VornString archiveFolder = GetFolderPart(archive);
  long number = 0;
  for (const auto& dir : mPathToDirMap) {
    for (const auto& entry : dir.second) {
      const FileMapping& record = entry.second;
      DumpRecord(number++, entry.first, record);
      if (!record.mbFAR || record.mHolder != archive) continue;

      // The entry's path relative to the archive's folder.
      VornString full = dir.first + entry.first;
      VornString relative = full.Mid(archiveFolder.GetLength(), VornString::kNotFound);
      bool safe = full.StartsWith(archiveFolder.GetBuffer(), archiveFolder.GetLength()) &&
                  IsPlainEntryName(relative.str());
      VORN_REPORT(safe, "entry name stays inside the destination folder");
      if (!safe) continue;

      VornFile* file = Open(full, false);
      if (!file) continue;
      std::vector<uint8_t> bytes(static_cast<size_t>(file->GetSize()));
      bool readAll = file->GetSize() == 0 || file->Read(bytes.data(), file->GetSize()) == file->GetSize();
      Close(file);
      if (!readAll) continue;
      VornString target = destFolder + relative;
      CreateFolders(target);
      PlatformFile* out = PlatformFileOpen(target.GetBuffer(), PlatformOpenMode::kCreateNew);
      VORN_REPORT(out, "hWriteFile != ((HANDLE)(LONG_PTR)-1)");
      if (!out) continue;
      bool wrote = bytes.empty() || WriteAll(out, bytes.data(), static_cast<int64_t>(bytes.size()));
      VORN_REPORT(wrote, "false");
      PlatformFileClose(out);
    }
  }
}
