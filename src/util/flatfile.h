// A byte file with classic status codes: 0 for success, a negative code otherwise.
// Resource files, image readers, the markup reader and the sprite maker's report sit on it,
// so nothing here throws. Names may use '\\' or '/' and are found whatever their case.
// Not thread-safe: one owner at a time.
//
// The file is served from the disk through the host layer (PlatformFile.h), as the file
// library's process-wide manager does: that manager has no mapped folders in this system.
// The position is kept here and every read and write names its offset, so a seek costs no
// host call. A file opened for writing is taken to change only through this object, which
// keeps its size; a file opened for reading asks the host for it, so it sees the growth of a
// file that another writer holds.
#ifndef UTIL_FLATFILE_H
#define UTIL_FLATFILE_H

#include <cstdint>
#include <string>

#include "StringBuffer.h"

struct PlatformFile;
class PlatformFileView;

// Status codes of FlatFile (the same values as the resource files' codes).
constexpr int32_t kFlatDeleteFailed = -39;  // Delete: the file could not be deleted
constexpr int32_t kFlatNoSuchFile = -40;    // Delete: no file of that name exists
constexpr int32_t kFlatCreateFailed = -42;  // Create: the file could not be made
constexpr int32_t kFlatFileExists = -43;    // Create: a file of that name already exists
constexpr int32_t kFlatShortWrite = -46;    // Write: fewer bytes written than asked
constexpr int32_t kFlatAlreadyOpen = -47;   // Open, Create, Delete: this object holds a file
constexpr int32_t kFlatShortRead = -48;     // Read, ReadByte: fewer bytes; SetPos: refused
constexpr int32_t kFlatNotOpen = -49;       // any operation on an open file: none is open
constexpr int32_t kFlatFailed = -50;        // Open, SetEOF, Flush: the host refused

class FlatFile {
 public:
  FlatFile();
  virtual ~FlatFile();  // Closes the file if one is open.
  FlatFile(const FlatFile&) = delete;
  FlatFile& operator=(const FlatFile&) = delete;

  // A file is open.
  bool ValidFile() const { return fFile != nullptr; }
  // The open file was obtained for reading and writing (false when only for reading).
  bool IsWritable() const { return fWritable != 0; }

  // Opens `name` for reading and writing, else for reading only (then IsWritable() is false).
  // Returns -47 if this object already holds a file (which stays open), -50 if neither open
  // succeeded. The position starts at 0.
  int32_t Open(const StringBuffer& name);
  // Returns -49 (and reports "closing an unopened file") when none is open.
  int32_t Close();

  // Reads `count` bytes at the current position. Returns -48 if fewer were there; what was
  // there is still read and the position moves past it. `count` is left as passed.
  int32_t Read(void* buffer, int32_t& count);
  // Read of one byte.
  int32_t ReadByte(void* byte);
  // Writes `count` bytes at the current position. Returns -46 if fewer were written.
  // A file opened for reading only writes nothing (-46).
  int32_t Write(const void* buffer, int32_t& count);
  // Write of the `firstCount` bytes of `first` and then the `secondCount` bytes of `second`,
  // as one host write (PlatformFileWriteAtGathered). -46 unless all were written.
  int32_t WriteGathered(const void* first, int32_t firstCount, const void* second,
                        int32_t secondCount);
  // Moves to the absolute `position`. Returns -48 (position unchanged) beyond the end.
  int32_t SetPos(uint32_t position);
  // The file's current size.
  int32_t GetEOF(uint32_t& size);
  // Makes `view` show `length` bytes from `offset` on, to be read in place. False when none is
  // open or they cannot be viewed (then read them). The position is left alone.
  bool MapView(uint32_t offset, uint32_t length, PlatformFileView& view);
  // Cuts or extends the file to `size` bytes; the position ends at `size`. -50 on failure.
  int32_t SetEOF(uint32_t size);
  // Writes the host's buffers to the disk. -50 on failure.
  int32_t Flush();
  // Copies `count` bytes of `source`, from `offset` on, to this file at its position, which
  // moves past the bytes copied (the source's stays). -46 unless all were copied (also when
  // this file is open for reading only or `source` ends before them).
  int32_t CopyFrom(FlatFile& source, uint32_t offset, uint32_t count);
  // Starts writing `length` bytes from `offset` on to the disk without waiting (see
  // PlatformFileStartWriteback); the next Flush waits for less. False when not taken.
  bool StartWriteback(uint32_t offset, uint32_t length);
  // The name the open file was opened by.
  int32_t GetName(StringBuffer& name);

  // Makes an empty file of that name; it is not opened. -47 while this object holds a file,
  // -43 if the name exists, -42 if it could not be made.
  int32_t Create(const StringBuffer& name);
  // Deletes the named file. -47 while this object holds a file, -40 if it does not exist,
  // -39 if it could not be deleted.
  int32_t Delete(const StringBuffer& name);

 private:
  // The file's size as the host has it: known for a file open for writing, else asked.
  int64_t Size() const;
  // A write of `count` bytes at `at` moved `put` of them: the position and size follow.
  void Wrote(int64_t at, int64_t put);

  PlatformFile* fFile;
  uint8_t fWritable;
  std::string fName;
  int64_t fPos = 0;
  int64_t fSize = -1;  // -1: not kept (a file open for reading only)
};

#endif  // UTIL_FLATFILE_H
