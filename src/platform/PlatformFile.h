// Files and folders of the host: the one door through which the file library reaches the disk.
//
// Paths may use '\\' or '/' between their parts. An existing file or folder is found even when
// the case of a name in the path differs from the name on disk (the first match in byte order of
// the names wins when several differ only in case). A folder never opens as a file. A file is
// read-only when its owner-write mode bit is clear; that decides write opens, also when the
// process runs as root.
//
// Failures are reported by results (null, false, 0 bytes, -1); nothing throws and no error
// code is kept. A PlatformFile is used from one thread at a time; the fault hook and the
// functions that take paths are thread-safe.
#ifndef PLATFORM_PLATFORMFILE_H
#define PLATFORM_PLATFORMFILE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One open host file. Made by PlatformFileOpen, released by PlatformFileClose.
struct PlatformFile;

enum class PlatformOpenMode {
  kReadExisting,       // an existing file, reading only
  kReadWriteExisting,  // an existing file, reading and writing; refused for a read-only file
  kCreateAlways,       // reading and writing; an existing file is emptied (refused if read-only)
  kCreateNew,          // reading and writing; refused when the name exists
};

// Opens `path` in `mode`. Returns null when the file cannot be opened so, when the path names a
// folder, or when the path is empty or null. The file's place starts at 0.
PlatformFile* PlatformFileOpen(const char* path, PlatformOpenMode mode);

// Closes the file and frees the object. Null is accepted and ignored.
void PlatformFileClose(PlatformFile* file);

// Opens `path` as PlatformFileOpen does and wraps the file in a C stream, for text that is
// written or read through stdio (a build log, a few saved lines). Every read, write and seek
// of the stream is a PlatformFileRead, PlatformFileWrite or PlatformFileSeek, so the fault
// injection below reaches it. Null when the open fails. fclose closes the file.
FILE* PlatformFileOpenStream(const char* path, PlatformOpenMode mode);

// Reads up to `count` bytes at the file's place and moves the place past them.
// Returns the bytes read: 0 at the end of the file, on failure, or for a count of 0 or less.
int64_t PlatformFileRead(PlatformFile* file, void* buffer, int64_t count);

// A read-only view of part of an open file: its bytes are there to be read in place, without
// a copy, for the life of the view (the file may be closed meanwhile). Counts as one read for
// the fault injection below. Not copyable.
class PlatformFileView {
 public:
  PlatformFileView() = default;
  ~PlatformFileView() { Unmap(); }
  PlatformFileView(const PlatformFileView&) = delete;
  PlatformFileView& operator=(const PlatformFileView&) = delete;

  // Views `length` bytes from `offset` on. False, with no view, when they do not all lie
  // inside the file or the system cannot map them; the caller then reads them.
  bool Map(PlatformFile* file, int64_t offset, int64_t length);
  void Unmap();
  const uint8_t* Data() const { return fData; }
  int64_t Size() const { return fSize; }

 private:
  void* fMapping = nullptr;
  size_t fMappingSize = 0;
  const uint8_t* fData = nullptr;
  int64_t fSize = 0;
};

// Writes `count` bytes at the file's place and moves the place past them. Returns the bytes
// written (0 on failure, on a file opened for reading only, or for a count of 0 or less).
int64_t PlatformFileWrite(PlatformFile* file, const void* buffer, int64_t count);

// Reads up to `count` bytes at `offset`, in one host call where it can; the file's place does
// not move. Counts as one seek and one read for the fault injection below (a failing seek
// fails it as a failing read does). Returns the bytes read, as PlatformFileRead; 0 also for a
// negative offset.
int64_t PlatformFileReadAt(PlatformFile* file, void* buffer, int64_t count, int64_t offset);

// Writes `count` bytes at `offset`, in one host call where it can; the file's place does not
// move. Counts as one seek and one write for the fault injection below, and is recorded as
// the write it is. Returns the bytes written, as PlatformFileWrite; 0 also for a negative
// offset.
int64_t PlatformFileWriteAt(PlatformFile* file, const void* buffer, int64_t count, int64_t offset);

// PlatformFileWriteAt of the `firstCount` bytes of `first` followed by the `secondCount` bytes
// of `second`, in one host call where it can: the bytes reach the file in their order, as
// one write for the fault injection and the recording. Returns the bytes written of both.
int64_t PlatformFileWriteAtGathered(PlatformFile* file, const void* first, int64_t firstCount,
                                    const void* second, int64_t secondCount, int64_t offset);

// Writes the text that printf makes of `format` and its arguments at the file's place, as one
// PlatformFileWrite. False when not all of it was written.
bool PlatformFilePrintf(PlatformFile* file, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Moves the file's place to the absolute `offset`, which may lie past the end (the file grows
// only when written there). Returns false for a negative offset or a host failure.
bool PlatformFileSeek(PlatformFile* file, int64_t offset);

// The file's place, or -1 on failure.
int64_t PlatformFileTell(PlatformFile* file);

// The file's size in bytes, or -1 on failure.
int64_t PlatformFileSize(PlatformFile* file);

// Cuts or extends (with zero bytes) the file to `size` bytes; the place is not moved.
// Returns false on failure and for a file opened for reading only.
bool PlatformFileTruncate(PlatformFile* file, int64_t size);

// Writes the host's buffers of the file to the disk. Returns false on failure.
bool PlatformFileFlush(PlatformFile* file);

// Copies `length` bytes of `from`, from `fromOffset` on, into `to` at `toOffset`, within the
// system where it can (no trip through the caller's memory); neither file's position moves.
// Counts as one read and one write for the fault injection below. Answers the bytes copied,
// fewer when `from` ends before them or a read or write fails.
int64_t PlatformFileCopyRange(PlatformFile* from, int64_t fromOffset, PlatformFile* to,
                              int64_t toOffset, int64_t length);

// Asks the system to start writing `length` bytes from `offset` on to the disk now, without
// waiting: a later PlatformFileFlush then has less to wait for. No promise of durability.
// False when the system does not take the request (nothing is lost then).
bool PlatformFileStartWriteback(PlatformFile* file, int64_t offset, int64_t length);

// True when the file was opened for writing.
bool PlatformFileIsWritable(const PlatformFile* file);

// Deletes a file (never a folder). Returns false when it does not exist, is read-only, or the
// host refuses.
bool PlatformFileDelete(const char* path);

// Renames or moves a file or folder. Never overwrites: false when `to` exists.
bool PlatformFileMove(const char* from, const char* to);

// Renames the file `from` to `to` in one step, replacing a file `to` that exists: every
// reader sees either the old or the new file under `to`, never neither. The replacement
// takes over the mode bits of the file it replaces. False when `from` is not a file, `to`
// is a folder, or the host refuses (then both files stay as they were). The folder that holds
// `to` is synced after the rename, so that the new name survives a power loss: when that
// sync fails the answer is false too, with the rename done (`to` holds the new file, which a
// power loss may yet take back). `renamed`, where given, tells whether the rename was done.
// The replaced file's storage is given back on a thread of its own, so a large file's
// release does not hold up the caller (the system's wait for it at the process's exit aside).
bool PlatformFileReplace(const char* from, const char* to, bool* renamed = nullptr);

// Copies a file's bytes and mode bits. False when `to` exists (nothing is overwritten), when
// `from` is not a readable file, or when the copy fails (a partial target is removed).
bool PlatformFileCopy(const char* from, const char* to);

// Creates one folder. False when it exists or its parent does not.
bool PlatformCreateFolder(const char* path);

// Writes the folder's own entries to the disk: a file created, renamed, moved or deleted in
// `path` before this call keeps its new name after a power loss (the file's bytes need their
// own PlatformFileFlush). The folder, not the file, holds the name, so a new or renamed file
// is durable only once both are synced. False when `path` names no folder or the host refuses.
bool PlatformFolderSync(const char* path);

// True when a file or folder of that name exists.
bool PlatformPathExists(const char* path);

// True when the name is an existing folder.
bool PlatformIsFolder(const char* path);

// A text that names the folder itself rather than the path to it: every path that reaches the
// same folder (through links, '.' or '..' parts, another case or either separator) gives the
// same text, and different folders give different texts. Empty when the path names no folder.
std::string PlatformFolderIdentity(const char* path);

// The host path that `path` names: separators made '/', and each part that exists under another
// case replaced by its name on disk. Parts that do not exist stay as given (for creating them).
// The names of a folder searched so are kept while no name in it changes, so that look-ups in
// a folder of n names cost n once, not n each; any change, by any process, is seen by the next
// look-up.
std::string PlatformResolvePath(const char* path);

// One entry that a search reports.
struct PlatformFindEntry {
  std::string name;       // the name as it is on disk, without the folder
  bool folder = false;    // the entry is a folder
  bool readOnly = false;  // the owner-write mode bit is clear
  int64_t size = 0;       // bytes of a file; 0 for a folder
};

// A wildcard search in one folder. The pattern is a folder part and a name part; the name part
// may hold '*' (any run of characters, also none) and '?' (exactly one character) and is matched
// ignoring A-Z case; "*.*" matches every name as "*" does. Entries come in ascending byte order of
// their names; "." and ".." are never reported. The folder is read once, at First.
//
//   PlatformFind find;
//   for (bool ok = find.First("data\\*.far"); ok; ok = find.Next()) Use(find.Entry());
class PlatformFind {
 public:
  PlatformFind();
  ~PlatformFind();
  PlatformFind(const PlatformFind&) = delete;
  PlatformFind& operator=(const PlatformFind&) = delete;

  // Starts a search. False when the folder is missing or nothing matches.
  bool First(const char* pattern);
  // Steps to the next match. False when there is none left.
  bool Next();
  // The current match; valid after a true First or Next.
  const PlatformFindEntry& Entry() const;
  // Ends the search and drops its entries (also done by the destructor and by First).
  void Close();

 private:
  struct State;
  State* fState;
};

// Matches `name` against a '*'/'?' pattern, ignoring A-Z case unless `caseSensitive`. A run of
// '*' acts as one '*'. Runs in time proportional to name length x pattern length at worst.
bool PlatformMatchPattern(const char* name, const char* pattern, bool caseSensitive = false);

// ---------------------------------------------------------------------------------------------
// Fault injection, for tests only.
//
// Makes a chosen operation fail on purpose so that tests can drive the error paths of the
// layers above. Each operation kind has its own counter, shared by every open file:
//
//   PlatformFileFailAt(kPlatformFaultWrite, 3);  // the third PlatformFileWrite from now fails
//   ...                                          // (it writes nothing and returns 0)
//   PlatformFileResetFaults();                   // disarms every fault, zeroes every count
//
// A fault armed with `sticky` true fails the Nth call and every later call of that kind until
// the reset; otherwise only the Nth call fails and the fault disarms itself. A failing seek
// returns false and leaves the place unchanged; a failing truncate, flush or read changes
// nothing and returns false / 0. PlatformFileCallCount reports how many calls of that kind
// were made since the last reset, so a test can first run a case cleanly, take the count, and
// then fail each call in turn.
//
// The kinds, and the calls that each one counts:
//   kPlatformFaultWrite      every write (PlatformFileWrite, ...WriteAt, ...WriteAtGathered,
//                            ...CopyRange): it writes nothing
//   kPlatformFaultSeek       PlatformFileSeek and the positional reads and writes
//   kPlatformFaultTruncate   PlatformFileTruncate
//   kPlatformFaultFlush      PlatformFileFlush (the sync of a file)
//   kPlatformFaultRead       every read (PlatformFileRead, ...ReadAt, views, copy-ranges)
//   kPlatformFaultShortWrite every write, counted apart from kPlatformFaultWrite: it writes
//                            the first half of its bytes (rounded down) and reports them, as
//                            a disk that fills up in the middle of a write does
//   kPlatformFaultFolderSync every sync of a folder (PlatformFolderSync and the one that
//                            PlatformFileReplace makes): the folder is not synced
//   kPlatformFaultRename     PlatformFileMove and PlatformFileReplace: nothing is renamed
//   kPlatformFaultCreate     PlatformFileOpen with kCreateAlways or kCreateNew, and
//                            PlatformFileCopy: nothing is made
//   kPlatformFaultOpen       PlatformFileOpen of an existing file (kReadExisting,
//                            kReadWriteExisting): null
enum PlatformFaultOp {
  kPlatformFaultWrite = 0,
  kPlatformFaultSeek = 1,
  kPlatformFaultTruncate = 2,
  kPlatformFaultFlush = 3,
  kPlatformFaultRead = 4,
  kPlatformFaultShortWrite = 5,
  kPlatformFaultFolderSync = 6,
  kPlatformFaultRename = 7,
  kPlatformFaultCreate = 8,
  kPlatformFaultOpen = 9,
};
constexpr int kPlatformFaultKinds = 10;

// Arms a fault on the `n`th call (1 = the very next) of `op`. n <= 0 disarms that kind.
void PlatformFileFailAt(PlatformFaultOp op, int32_t n, bool sticky = false);

// Disarms all faults and zeroes all call counts.
void PlatformFileResetFaults();

// Calls of `op` since the last reset (failed ones included).
int64_t PlatformFileCallCount(PlatformFaultOp op);

// ---------------------------------------------------------------------------------------------
// Call recording, for tests only.
//
// While armed, every call of this layer that changes a file or a folder is captured, in the
// order the calls returned, across all files and threads, so that a test can rebuild from a
// snapshot of the files before the run the files after any prefix of the calls. Each call is
// recorded with what the system took: a write with its offset and the bytes written (a short
// write records the bytes moved), a copy-range as the write it is. Calls that failed, or that
// the fault injection above failed, changed nothing and are not recorded. Paths are absolute
// host paths ('/' separators, names as on disk), so the calls of one file share one key.
//
//   PlatformRecordStart();
//   ...                                          // the run
//   std::vector<PlatformRecordedCall> calls = PlatformRecordStop();
//
// Disarmed, the cost is one relaxed atomic load per call.
enum class PlatformRecordedKind {
  kCreate,      // `path` opened with kCreateAlways or kCreateNew: it exists now, emptied
  kOpenWrite,   // `path` opened with kReadWriteExisting; changes nothing by itself
  kWrite,       // `bytes` written at `offset` of `path`
  kTruncate,    // `path` cut or extended with zero bytes to `offset` bytes
  kSync,        // `path`'s bytes flushed to the disk (PlatformFileFlush of a writable file)
  kDelete,      // `path` deleted
  kMove,        // `path` renamed to `to`, which did not exist
  kReplace,     // `path` renamed to `to`, replacing a file `to` that existed
  kCopy,        // a new file `to` made with the bytes of `path`
  kFolderSync,  // the folder `path` synced (its entries reach the disk)
  kMark,        // not a host call: a label a test put into the record (PlatformRecordMark)
};

struct PlatformRecordedCall {
  PlatformRecordedKind kind = PlatformRecordedKind::kMark;
  std::string path;   // the file, or the folder of a kFolderSync, or the label of a kMark
  std::string to;     // kMove, kReplace, kCopy: the new name
  int64_t offset = 0; // kWrite: where the bytes went; kTruncate: the new size
  std::string bytes;  // kWrite: the bytes the system took
  // kCreate, kOpenWrite, kWrite, kTruncate, kSync: which open file (a number given when it
  // was opened while armed, never reused; 0 for one opened while disarmed), so that calls
  // through a file whose name has since moved to another file stay with the file they reach.
  uint64_t file = 0;
};

// Arms the recording and drops any earlier record.
void PlatformRecordStart();

// Disarms the recording and hands over what was recorded since PlatformRecordStart.
std::vector<PlatformRecordedCall> PlatformRecordStop();

// Puts a label into the record while it is armed (ignored otherwise), so that a test can tell
// which of its own steps each host call belongs to.
void PlatformRecordMark(const std::string& label);

#endif  // PLATFORM_PLATFORMFILE_H
