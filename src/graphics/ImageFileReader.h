// A read-only host file for the image and palette readers: reads of whole blocks at absolute
// positions, each checked against the file's size, so a reader never trusts an offset or a
// count taken from the file. One owner at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct PlatformFile;

class ImageFileReader {
 public:
  ImageFileReader() = default;
  ~ImageFileReader();  // Closes the file.
  ImageFileReader(const ImageFileReader&) = delete;
  ImageFileReader& operator=(const ImageFileReader&) = delete;

  // Opens `path` for reading ('\\' or '/', any case of the names). Closes a file already
  // open first. False when it cannot be opened.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return fFile != nullptr; }
  // Exchanges the open files (and everything read of them) of the two readers, so that a
  // file opened once is read by one reader after another.
  void Swap(ImageFileReader& other);
  // The open file, for readers that go through it at its place; null when none is open.
  PlatformFile* File() const { return fFile; }
  // The size the file had when it was opened; 0 when none is open.
  uint64_t Size() const { return fSize; }
  // Reads exactly `count` bytes at `pos`. False, and nothing read, when the file does not
  // hold them all or the read fails.
  bool ReadAt(uint64_t pos, void* buffer, size_t count);

  // Sequential reading through a large buffer, from `pos` on.
  void StartSequential(uint64_t pos);
  // The next `count` bytes; false, and nothing read, when the file ends before them.
  bool ReadNext(void* buffer, size_t count);
  // The position of the next byte that ReadNext would answer.
  uint64_t SequentialPos() const { return fBufferPos + fBufferNext; }

 private:
  bool Refill();

  PlatformFile* fFile = nullptr;
  uint64_t fSize = 0;
  std::vector<uint8_t> fBuffer;  // bytes from fBufferPos on
  uint64_t fBufferPos = 0;
  size_t fBufferNext = 0;        // first unused byte of fBuffer
};
