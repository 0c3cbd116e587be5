#include "flatfile.h"

#include <cstdint>

#include "PlatformFile.h"
#include "XAssert.h"

namespace {

constexpr int64_t kMaxFlatSize = UINT32_MAX;

}  // namespace

FlatFile::FlatFile() : fFile(nullptr), fWritable(0) {}

FlatFile::~FlatFile() {
  if (fFile) Close();
}

int32_t FlatFile::Open(const StringBuffer& name) {
  if (fFile) return kFlatAlreadyOpen;
  fWritable = 1;
  PlatformFile* file = PlatformFileOpen(name.c_str(), PlatformOpenMode::kReadWriteExisting);
  if (!file) {
    fWritable = 0;
    file = PlatformFileOpen(name.c_str(), PlatformOpenMode::kReadExisting);
  }
  if (!file) return kFlatFailed;
  const int64_t size = PlatformFileSize(file);
  if (size < 0 || size > kMaxFlatSize) {  // positions are 32-bit
    PlatformFileClose(file);
    fWritable = 0;
    return kFlatFailed;
  }
  fFile = file;
  fName = name.c_str();
  fPos = 0;
  fSize = fWritable ? size : -1;
  return 0;
}

int64_t FlatFile::Size() const { return fSize >= 0 ? fSize : PlatformFileSize(fFile); }

void FlatFile::Wrote(int64_t at, int64_t put) {
  fPos = at + put;
  if (put > 0 && fSize >= 0 && fPos > fSize) fSize = fPos;
}

int32_t FlatFile::Close() {
  XASSERT(ValidFile(), "closing an unopened file");
  if (!fFile) return kFlatNotOpen;
  PlatformFileClose(fFile);
  fFile = nullptr;
  fName.clear();
  fPos = 0;
  fSize = -1;
  return 0;
}

int32_t FlatFile::Read(void* buffer, int32_t& count) {
  if (!fFile) return kFlatNotOpen;
  if (count == 0) return 0;
  if (count < 0 || !buffer) return kFlatShortRead;
  int64_t got = PlatformFileReadAt(fFile, buffer, count, fPos);
  fPos += got;
  return got == count ? 0 : kFlatShortRead;
}

int32_t FlatFile::ReadByte(void* byte) {
  int32_t one = 1;
  return Read(byte, one);
}

int32_t FlatFile::Write(const void* buffer, int32_t& count) {
  if (!fFile) return kFlatNotOpen;
  if (count == 0) return 0;
  if (count < 0 || !buffer) return kFlatShortWrite;
  if (fPos + count > kMaxFlatSize) return kFlatShortWrite;
  int64_t put = PlatformFileWriteAt(fFile, buffer, count, fPos);
  Wrote(fPos, put);
  return put == count ? 0 : kFlatShortWrite;
}

int32_t FlatFile::WriteGathered(const void* first, int32_t firstCount, const void* second,
                                int32_t secondCount) {
  if (!fFile) return kFlatNotOpen;
  if (firstCount < 0 || secondCount < 0 || !first || !second) return kFlatShortWrite;
  const int64_t count = int64_t(firstCount) + secondCount;
  if (count == 0) return 0;
  if (fPos + count > kMaxFlatSize) return kFlatShortWrite;
  int64_t put = PlatformFileWriteAtGathered(fFile, first, firstCount, second, secondCount, fPos);
  Wrote(fPos, put);
  return put == count ? 0 : kFlatShortWrite;
}

int32_t FlatFile::SetPos(uint32_t position) {
  if (!fFile) return kFlatNotOpen;
  // Positions are compared as 64-bit values: 2^31 and above are plain large numbers here.
  int64_t size = Size();
  if (size < 0 || static_cast<int64_t>(position) > size) return kFlatShortRead;
  fPos = position;
  return 0;
}

int32_t FlatFile::GetEOF(uint32_t& size) {
  if (!fFile) return kFlatNotOpen;
  int64_t bytes = Size();
  if (bytes < 0) return kFlatFailed;
  size = static_cast<uint32_t>(bytes);
  return 0;
}

int32_t FlatFile::SetEOF(uint32_t size) {
  if (!fFile) return kFlatNotOpen;
  if (!fWritable) return kFlatFailed;
  // A failed resize keeps the position.
  if (!PlatformFileTruncate(fFile, size)) return kFlatFailed;
  fSize = size;
  fPos = size;
  return 0;
}

bool FlatFile::MapView(uint32_t offset, uint32_t length, PlatformFileView& view) {
  return fFile != nullptr && view.Map(fFile, offset, length);
}

int32_t FlatFile::CopyFrom(FlatFile& source, uint32_t offset, uint32_t count) {
  if (!fFile || !source.fFile) return kFlatNotOpen;
  if (count == 0) return 0;
  if (fPos + count > kMaxFlatSize) return kFlatShortWrite;
  int64_t copied = PlatformFileCopyRange(source.fFile, offset, fFile, fPos, count);
  Wrote(fPos, copied);
  return copied == count ? 0 : kFlatShortWrite;
}

bool FlatFile::StartWriteback(uint32_t offset, uint32_t length) {
  return fFile != nullptr && PlatformFileStartWriteback(fFile, offset, length);
}

int32_t FlatFile::Flush() {
  if (!fFile) return kFlatNotOpen;
  return PlatformFileFlush(fFile) ? 0 : kFlatFailed;
}

int32_t FlatFile::GetName(StringBuffer& name) {
  if (!fFile) return kFlatNotOpen;
  name.assign(fName.c_str());
  return 0;
}

int32_t FlatFile::Create(const StringBuffer& name) {
  if (fFile) return kFlatAlreadyOpen;
  if (PlatformPathExists(name.c_str())) return kFlatFileExists;
  PlatformFile* file = PlatformFileOpen(name.c_str(), PlatformOpenMode::kCreateNew);
  if (!file) return kFlatCreateFailed;
  PlatformFileClose(file);
  return 0;
}

int32_t FlatFile::Delete(const StringBuffer& name) {
  if (fFile) return kFlatAlreadyOpen;
  if (!PlatformPathExists(name.c_str())) return kFlatNoSuchFile;
  return PlatformFileDelete(name.c_str()) ? 0 : kFlatDeleteFailed;
}
