#include "ImageFileReader.h"

#include "PlatformFile.h"

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
}

bool ImageFileReader::ReadAt(uint64_t pos, void* buffer, size_t count) {
  if (!fFile || pos > fSize || count > fSize - pos) return false;
  if (count == 0) return true;
  if (!PlatformFileSeek(fFile, (int64_t)pos)) return false;
  return PlatformFileRead(fFile, buffer, (int64_t)count) == (int64_t)count;
}
