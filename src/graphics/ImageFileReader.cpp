#include "ImageFileReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "PlatformFile.h"

namespace {
constexpr size_t kBlockSize = 256 * 1024;
}  // namespace

ImageFileReader::~ImageFileReader() { Close(); }

bool ImageFileReader::Open(const char* path) {
  Close();
  fFile = PlatformFileOpen(path, PlatformOpenMode::kReadExisting);
  if (!fFile) return false;
  int64_t size = PlatformFileSize(fFile);
  fSize = size > 0 ? (uint64_t)size : 0;
  return true;
}

void ImageFileReader::Close() {
  PlatformFileClose(fFile);
  fFile = nullptr;
  fSize = 0;
  fBuffer.clear();
  fBufferPos = 0;
  fBufferNext = 0;
}

void ImageFileReader::Swap(ImageFileReader& other) {
  std::swap(fFile, other.fFile);
  std::swap(fSize, other.fSize);
  fBuffer.swap(other.fBuffer);
  std::swap(fBufferPos, other.fBufferPos);
  std::swap(fBufferNext, other.fBufferNext);
}

bool ImageFileReader::ReadAt(uint64_t pos, void* buffer, size_t count) {
  if (!fFile || pos > fSize || count > fSize - pos) return false;
  if (count == 0) return true;
  return PlatformFileReadAt(fFile, buffer, (int64_t)count, (int64_t)pos) == (int64_t)count;
}

void ImageFileReader::StartSequential(uint64_t pos) {
  fBuffer.clear();
  fBufferPos = pos;
  fBufferNext = 0;
}

bool ImageFileReader::Refill() {
  // Keeps the unused tail and appends the next block of the file.
  fBuffer.erase(fBuffer.begin(), fBuffer.begin() + (ptrdiff_t)fBufferNext);
  fBufferPos += fBufferNext;
  fBufferNext = 0;
  const uint64_t from = fBufferPos + fBuffer.size();
  if (!fFile || from >= fSize) return false;
  const size_t n = (size_t)std::min<uint64_t>(kBlockSize, fSize - from);
  const size_t old = fBuffer.size();
  fBuffer.resize(old + n);
  if (!ReadAt(from, fBuffer.data() + old, n)) {
    fBuffer.resize(old);
    return false;
  }
  return true;
}

bool ImageFileReader::ReadNext(void* buffer, size_t count) {
  if (count >= kBlockSize && fBuffer.size() == fBufferNext) {
    // A large read with nothing buffered goes straight to the caller's memory.
    const uint64_t from = fBufferPos + fBufferNext;
    if (!ReadAt(from, buffer, count)) return false;
    fBuffer.clear();
    fBufferPos = from + count;
    fBufferNext = 0;
    return true;
  }
  while (fBuffer.size() - fBufferNext < count) {
    if (!Refill()) return false;
  }
  std::memcpy(buffer, fBuffer.data() + fBufferNext, count);
  fBufferNext += count;
  return true;
}
