// VornFile and the file operations of VornFileManager.
#include "VornFile.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "VornReport.h"

namespace {

constexpr int64_t kMaxFileSize = std::numeric_limits<int32_t>::max();

}  // namespace

// ---- VornFile --------------------------------------------------------------------------------

VornFile::VornFile(PlatformFile* handle, int32_t baseOffset, int32_t size, bool isFAR,
                   bool writable, VornFileManager* manager)
    : mhFile(handle),
      mnSize(size),
      mnBase(baseOffset),
      mnPos(0),
      mbFAR(isFAR),
      mbWritable(writable),
      mpVornFileManager(manager) {}

VornFile::~VornFile() { std::free(mpCache); }

int32_t VornFile::Read(void* buffer, int32_t count) {
  VORN_REPORT(mhFile, "mhFile");
  if (!mhFile || !buffer || count < 1) return 0;
  if (!mbFAR) {
    int32_t got = static_cast<int32_t>(PlatformFileRead(mhFile, buffer, count));
    mnPos += got;
    return got;
  }
  VORN_REPORT(mpVornFileManager, "mpVornFileManager");
  if (!mpVornFileManager || mnPos >= mnSize) return 0;
  if (count > mnSize - mnPos) count = mnSize - mnPos;
  int32_t got;
  {
    PlatformLockGuard hold(mpVornFileManager->mLock);
    if (!PlatformFileSeek(mhFile, static_cast<int64_t>(mnBase) + mnPos)) return 0;
    got = static_cast<int32_t>(PlatformFileRead(mhFile, buffer, count));
  }
  mnPos += got;
  return got;
}

int32_t VornFile::Write(const void* buffer, int32_t count) {
  if (!mbWritable || count < 1 || !mhFile || !buffer) return 0;
  if (static_cast<int64_t>(mnPos) + count > kMaxFileSize) return 0;
  int32_t put = static_cast<int32_t>(PlatformFileWrite(mhFile, buffer, count));
  mnPos += put;
  if (mnPos > mnSize) mnSize = mnPos;
  return put;
}

bool VornFile::Seek(int32_t offset) {
  VORN_REPORT(mhFile, "mhFile");
  if (!mhFile || offset < 0 || offset > mnSize) return false;
  bool landed;
  if (mbFAR && mpVornFileManager) {
    PlatformLockGuard hold(mpVornFileManager->mLock);
    landed = PlatformFileSeek(mhFile, static_cast<int64_t>(mnBase) + offset);
  } else {
    landed = PlatformFileSeek(mhFile, static_cast<int64_t>(mnBase) + offset);
  }
  VORN_REPORT(landed, "false");
  if (!landed) return false;
  ClearCache();
  mnCacheOffset = offset;
  mnPos = offset;
  return true;
}

bool VornFile::SeekExtend(int32_t offset) {
  VORN_REPORT(mhFile, "mhFile");
  VORN_REPORT(!mbFAR, "false");
  if (!mhFile || mbFAR || offset < 0) return false;
  VORN_REPORT(offset > mnSize, "nOffset > mnSize");
  if (!PlatformFileSeek(mhFile, static_cast<int64_t>(mnBase) + offset)) {
    VORN_REPORT(false, "false");
    return false;
  }
  ClearCache();
  mnCacheOffset = offset;
  mnPos = offset;
  if (mnPos > mnSize) mnSize = mnPos;
  return true;
}

int32_t VornFile::Tell() const {
  VORN_REPORT(mhFile, "mhFile");
  if (!mhFile) return 0;
  if (!HasCache()) return mnPos;
  VORN_REPORT(mnCacheOffset != 0, "mnCacheOffset != 0");
  return mnCacheOffset - mnCacheSize + mnCachePos;
}

bool VornFile::SetSize(int32_t size) {
  VORN_REPORT(!mbFAR, "!mbFAR");
  if (mbFAR || !mbWritable || size < 0) return false;
  bool placed = size > mnSize ? SeekExtend(size) : Seek(size);
  if (!placed || !PlatformFileTruncate(mhFile, size)) {
    VORN_REPORT(false, "false");
    return false;
  }
  FileMapping* record = nullptr;
  if (mpVornFileManager && mpVornFileManager->Lookup(mName, &record)) record->mnSize = size;
  mnSize = size;
  return true;
}

bool VornFile::Flush() { return mhFile && PlatformFileFlush(mhFile); }

bool VornFile::ClearCache() {
  std::free(mpCache);
  mpCache = nullptr;
  mnCacheSize = kCacheBlock;
  mnCacheOffset = 0;
  mnCachePos = 0;
  return true;
}

bool VornFile::SeekRaw(int32_t offset) {
  if (!mhFile || offset < 0) return false;
  ClearCache();
  mnCacheOffset = offset;
  return PlatformFileSeek(mhFile, offset);
}

void VornFile::Resync(int32_t logical) {
  ClearCache();
  mnCacheOffset = logical;
  mnPos = logical;
  if (mhFile) PlatformFileSeek(mhFile, static_cast<int64_t>(mnBase) + logical);
}

bool VornFile::ReadBytes(void* buffer, int32_t count) {
  if (count < 1) return true;
  if (!buffer || !mhFile) return false;
  uint8_t* out = static_cast<uint8_t*>(buffer);

  if (!HasCache()) {
    VORN_REPORT(mnSize >= 0, "mnSize >= 0");
    VORN_REPORT(mnCachePos == 0, "mnCachePos == 0");
    int32_t left = mnSize - mnCacheOffset;
    if (left <= 0) {
      VORN_REPORT(false, "false");
      return false;
    }
    int32_t block = left < kCacheBlock ? left : kCacheBlock;
    uint8_t* fresh = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(block)));
    if (!fresh) return false;
    if (Read(fresh, block) != block) {
      VORN_REPORT(false, "false");
      std::free(fresh);
      Resync(mnCacheOffset);
      return false;
    }
    mpCache = fresh;
    mnCacheSize = block;
    mnCachePos = 0;
    mnCacheOffset += block;
  }

  for (;;) {
    int32_t rest = mnCacheSize - mnCachePos;
    if (count <= rest) {
      std::memcpy(out, mpCache + mnCachePos, static_cast<size_t>(count));
      mnCachePos += count;
      return true;
    }
    if (rest > 0) {
      std::memcpy(out, mpCache + mnCachePos, static_cast<size_t>(rest));
      out += rest;
      count -= rest;
      mnCachePos = mnCacheSize;
    }
    int32_t block = mnSize - mnCacheOffset;
    if (block > mnCacheSize) block = mnCacheSize;
    if (block <= 0) {
      VORN_REPORT(false, "false");
      Resync(mnCacheOffset);
      return false;
    }
    if (Read(mpCache, block) != block) {
      VORN_REPORT(false, "false");
      Resync(mnCacheOffset);
      return false;
    }
    mnCacheSize = block;
    mnCachePos = 0;
    mnCacheOffset += block;
  }
}

bool VornFile::WriteBytes(const void* buffer, int32_t count) {
  if (count < 1) return true;
  bool good = Write(buffer, count) == count;
  VORN_REPORT(good, "false");
  return good;
}

bool VornFile::ReadByte(uint8_t& value) { return ReadBytes(&value, 1); }

bool VornFile::WriteByte(uint8_t value) { return WriteBytes(&value, 1); }

bool VornFile::ReadLong(uint32_t& value) {
  uint8_t b[4];
  if (!ReadBytes(b, 4)) return false;
  value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
          (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  return true;
}

bool VornFile::ReadLong(int32_t& value) {
  uint32_t raw;
  if (!ReadLong(raw)) return false;
  value = static_cast<int32_t>(raw);
  return true;
}

bool VornFile::WriteLong(uint32_t value) {
  uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                  static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return WriteBytes(b, 4);
}

bool VornFile::WriteLong(int32_t value) { return WriteLong(static_cast<uint32_t>(value)); }

bool VornFile::ReadString(char* buffer, int32_t size) {
  uint8_t shortLength;
  if (!ReadByte(shortLength)) return false;
  uint32_t length = shortLength;
  if (shortLength == 0xFF && !ReadLong(length)) return false;
  // 64-bit sums: a stored length near 2^32 must not wrap round the checks.
  bool fits = buffer && static_cast<int64_t>(length) + 1 < static_cast<int64_t>(size);
  VORN_REPORT(fits, "(len + 1) < size");
  if (!fits) return false;
  if (static_cast<int64_t>(length) > static_cast<int64_t>(mnSize) - Tell()) return false;
  if (!ReadBytes(buffer, static_cast<int32_t>(length))) return false;
  buffer[length] = '\0';
  return true;
}

bool VornFile::WriteString(const char* text) {
  if (!text) text = "";
  size_t length = std::strlen(text);
  if (length > static_cast<size_t>(kMaxFileSize)) return false;
  if (length < 255) {
    bool good = WriteByte(static_cast<uint8_t>(length));
    VORN_REPORT(good, "good");
    if (!good) return false;
  } else {
    bool good = WriteByte(0xFF);
    VORN_REPORT(good, "good");
    if (!good) return false;
    good = WriteLong(static_cast<uint32_t>(length));
    VORN_REPORT(good, "good");
    if (!good) return false;
  }
  return WriteBytes(text, static_cast<int32_t>(length));
}

// ---- VornFileManager: files ------------------------------------------------------------------

VornFileManager::VornFileManager() = default;

VornFileManager::~VornFileManager() { Reset(); }

VornFileManager& GetVornFileManager() {
  static VornFileManager manager;
  return manager;
}

VornFile* VornFileManager::Open(const VornString& path, bool write) {
  VornString normal(path);
  NormalizePath(normal);
  FileMapping* record = nullptr;
  if (Lookup(normal, &record) && record->mbFAR) {
    if (write) return nullptr;
    VornFile* entry = new VornFile(record->mhFile, record->mnOffset, record->mnSize, true, false, this);
    entry->mName = normal;
    return entry;
  }
  PlatformFile* handle = PlatformFileOpen(
      path.GetBuffer(), write ? PlatformOpenMode::kReadWriteExisting : PlatformOpenMode::kReadExisting);
  if (!handle) return nullptr;
  int64_t size = PlatformFileSize(handle);
  if (size < 0 || size > kMaxFileSize) {
    PlatformFileClose(handle);
    return nullptr;
  }
  VornFile* file = new VornFile(handle, 0, static_cast<int32_t>(size), false, write, this);
  file->mName = normal;
  return file;
}

void VornFileManager::Close(VornFile* file) {
  if (!file) return;
  if (!file->mbFAR && file->mhFile) PlatformFileClose(file->mhFile);
  file->mhFile = nullptr;
  delete file;
}

void VornFileManager::RecordIfFolderMapped(const VornString& path) {
  VornString folder, name;
  SplitMappedPath(path, folder, name);
  auto dir = mPathToDirMap.find(folder);
  if (dir == mPathToDirMap.end()) return;
  FileMapping record;
  record.mHolder = name;
  dir->second[name] = record;
}

bool VornFileManager::Create(const VornString& path) {
  if (Lookup(path, nullptr)) return false;
  PlatformFile* handle = PlatformFileOpen(path.GetBuffer(), PlatformOpenMode::kCreateAlways);
  if (!handle) return false;
  PlatformFileClose(handle);
  RecordIfFolderMapped(path);
  return true;
}

bool VornFileManager::Delete(const VornString& path) {
  FileMapping* record = nullptr;
  if (Lookup(path, &record)) {
    if (record->mbFAR) return false;
    VornString folder, name;
    SplitMappedPath(path, folder, name);
    mPathToDirMap[folder].erase(name);
  }
  return PlatformFileDelete(path.GetBuffer());
}

bool VornFileManager::Move(const VornString& from, const VornString& to) {
  FileMapping* record = nullptr;
  bool mapped = Lookup(from, &record);
  if (mapped && record->mbFAR) return false;
  if (!PlatformFileMove(from.GetBuffer(), to.GetBuffer())) return false;
  if (mapped) {
    VornString folder, name;
    SplitMappedPath(from, folder, name);
    mPathToDirMap[folder].erase(name);
  }
  RecordIfFolderMapped(to);
  return true;
}

bool VornFileManager::Copy(const VornString& from, const VornString& to) {
  FileMapping* record = nullptr;
  if (Lookup(from, &record) && record->mbFAR) return false;
  if (!PlatformFileCopy(from.GetBuffer(), to.GetBuffer())) return false;
  RecordIfFolderMapped(to);
  return true;
}

bool VornFileManager::Exists(const VornString& path) {
  if (Lookup(path, nullptr)) return true;
  PlatformFile* handle = PlatformFileOpen(path.GetBuffer(), PlatformOpenMode::kReadExisting);
  if (!handle) return false;
  PlatformFileClose(handle);
  return true;
}

void VornFileManager::CreateFolders(const VornString& path) {
  const std::string& text = path.str();
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] != '\\' && text[i] != '/') continue;
    // A drive prefix ("C:\") names no folder to make.
    if (i == 2 && text[1] == ':') continue;
    std::string prefix = text.substr(0, i + 1);
    PlatformCreateFolder(prefix.c_str());
  }
}
