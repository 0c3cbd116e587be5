// Files and folders over POSIX calls; see PlatformFile.h for the contracts.
#include "PlatformFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

struct PlatformFile {
  int fd = -1;
  bool writable = false;
  std::string host;  // the path it was opened by, for the call recording
  uint64_t serial = 0;  // its number in the call recording; 0 when opened while disarmed
};

namespace {

// ---- fault injection -------------------------------------------------------------------------

constexpr int kFaultKinds = kPlatformFaultKinds;

struct FaultSlot {
  int64_t calls = 0;   // calls since the last reset
  int64_t failAt = 0;  // absolute call number that fails; 0 when disarmed
  bool sticky = false;
};

std::mutex gFaultMutex;
FaultSlot gFaults[kFaultKinds];

// Counts one call of `op`; true when this call must fail.
bool FaultHit(PlatformFaultOp op) {
  std::lock_guard<std::mutex> hold(gFaultMutex);
  FaultSlot& slot = gFaults[op];
  ++slot.calls;
  if (slot.failAt == 0 || slot.calls < slot.failAt) return false;
  if (slot.sticky) return true;
  bool hit = slot.calls == slot.failAt;
  slot.failAt = 0;
  return hit;
}

// The bytes a write of `count` may put: all of them, or half when a short write is due.
int64_t WriteAllowance(int64_t count) {
  return FaultHit(kPlatformFaultShortWrite) ? count / 2 : count;
}

// ---- call recording --------------------------------------------------------------------------

std::atomic<bool> gRecording{false};
std::mutex gRecordMutex;
std::vector<PlatformRecordedCall> gRecord;
uint64_t gRecordSerial = 0;  // the last number given to an open file (never reused)

bool Recording() { return gRecording.load(std::memory_order_relaxed); }

// `host` as an absolute path without "." or ".." parts, doubled or trailing separators.
std::string AbsolutePath(const std::string& host) {
  std::string whole = host;
  if (whole.empty() || whole[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) whole = std::string(cwd) + "/" + whole;
  }
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= whole.size()) {
    size_t end = whole.find('/', pos);
    if (end == std::string::npos) end = whole.size();
    std::string part = whole.substr(pos, end - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

void Record(PlatformRecordedKind kind, const std::string& path, const std::string& to = "",
            int64_t offset = 0, std::string bytes = std::string(), PlatformFile* file = nullptr) {
  PlatformRecordedCall call;
  call.kind = kind;
  if (file) {
    std::lock_guard<std::mutex> hold(gRecordMutex);
    if (file->serial == 0 && (kind == PlatformRecordedKind::kCreate ||
                              kind == PlatformRecordedKind::kOpenWrite))
      file->serial = ++gRecordSerial;
    call.file = file->serial;
  }
  call.path = kind == PlatformRecordedKind::kMark ? path : AbsolutePath(path);
  if (!to.empty()) call.to = AbsolutePath(to);
  call.offset = offset;
  call.bytes = std::move(bytes);
  std::lock_guard<std::mutex> hold(gRecordMutex);
  if (Recording()) gRecord.push_back(std::move(call));
}

// The folder that holds the host path `path`.
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// fsync of a folder; `host` is already resolved.
bool SyncFolder(const std::string& host) {
  if (FaultHit(kPlatformFaultFolderSync)) return false;
  int fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  ::close(fd);
  if (rc != 0) return false;
  if (Recording()) Record(PlatformRecordedKind::kFolderSync, host);
  return true;
}

// ---- paths -----------------------------------------------------------------------------------

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// ---- case-insensitive look-ups ----------------------------------------------------------------
//
// A look-up answers the smallest name in byte order of a folder that equals the part sought
// ignoring A-Z case. Reading the folder for each look-up would make a build over a folder of
// n files cost n per look-up, so each folder read is kept as an index (folded name -> smallest
// name) for as long as the folder's names are known not to have changed.
//
// What tells that is the kernel's notification of name changes (creates, deletes and renames
// in the folder, by any process): a watch is placed before the folder is read, and every
// look-up first takes the notifications queued so far, dropping the index of each folder that
// changed. A change made before a look-up starts is thus always seen by it, also one made in
// the same second or by another program. Where that is not known to hold (a file system whose
// changes may come from another machine, no notification to be had), the folder is read for
// each look-up; a queue that overflowed drops every index; a child process starts a queue of
// its own. Folders are known by the watch, that is by the folder itself, not by its path.

// A-Z folded to a-z, the key of the index.
std::string FoldedName(const char* name) {
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c);
  return folded;
}

using NameIndex = std::unordered_map<std::string, std::string>;  // folded name -> smallest name

// Reads every name of the folder at `path` into `names`. False when the folder could not be
// read through (what was read is kept).
bool ReadIndex(const char* path, NameIndex& names) {
  DIR* dir = ::opendir(path);
  if (!dir) return false;
  for (;;) {
    errno = 0;
    struct dirent* ent = ::readdir(dir);
    if (!ent) break;
    if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) continue;
    auto slot = names.emplace(FoldedName(ent->d_name), ent->d_name);
    if (!slot.second && slot.first->second > ent->d_name) slot.first->second = ent->d_name;
  }
  const bool whole = errno == 0;
  ::closedir(dir);
  return whole;
}

std::string Lookup(const NameIndex& names, const std::string& part) {
  auto name = names.find(FoldedName(part.c_str()));
  return name == names.end() ? std::string() : name->second;
}

// The answer read from the folder itself, kept nowhere.
std::string ReadAndLookup(const char* path, const std::string& part) {
  NameIndex names;
  ReadIndex(path, names);
  return Lookup(names, part);
}

// File systems whose every name change passes through this machine's kernel, so that its
// notifications see them all.
bool NotifiesEveryChange(const char* folder) {
  struct statfs fs;
  if (::statfs(folder, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53UL:      // ext2, ext3, ext4
    case 0x01021994UL:  // tmpfs
    case 0x858458F6UL:  // ramfs
    case 0x58465342UL:  // xfs
    case 0x9123683EUL:  // btrfs
    case 0xF2F52010UL:  // f2fs
    case 0x794C7630UL:  // overlay
      return true;
    default:
      return false;
  }
}

class NameIndexes {
 public:
  // The smallest name in byte order in `folder` ("" for the working folder) that equals `part`
  // ignoring A-Z case, from the folder's index where it is current. Empty when there is none.
  std::string Find(const std::string& folder, const std::string& part) {
    std::lock_guard<std::mutex> hold(fMutex);
    const char* path = folder.empty() ? "." : folder.c_str();
    if (!Ready()) return ReadAndLookup(path, part);
    // Added to, never replaced: replacing a watch's events clears them for a moment, and a
    // change that another thread makes in that moment is never queued.
    const int watch = ::inotify_add_watch(fNotify, path, kChanges | IN_MASK_ADD);
    if (watch < 0) return ReadAndLookup(path, part);
    TakeNotifications();
    auto known = fFolders.find(watch);
    if (known == fFolders.end()) {
      if (fFolders.size() >= kMostFolders) DropAll();
      if (!NotifiesEveryChange(path)) {
        ::inotify_rm_watch(fNotify, watch);
        return ReadAndLookup(path, part);
      }
      known = fFolders.emplace(watch, Folder()).first;
    }
    Folder& entry = known->second;
    if (!entry.current) {
      entry.names.clear();
      entry.current = ReadIndex(path, entry.names);  // a folder not read through is read again
    }
    return Lookup(entry.names, part);
  }

 private:
  struct Folder {
    NameIndex names;
    bool current = false;  // no change of its names was queued since they were read
  };
  static constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                       IN_DELETE_SELF | IN_ONLYDIR;
  static constexpr size_t kMostFolders = 64;

  // True when the notification queue is this process's own and open.
  bool Ready() {
    const pid_t self = ::getpid();
    if (fOwner != self) {
      // A child has its own queue and leaves the copy of its parent's alone: taking from it,
      // or removing its watches, would hide changes from the parent.
      if (fNotify >= 0) ::close(fNotify);
      fFolders.clear();
      fNotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      fOwner = self;
    }
    return fNotify >= 0;
  }

  // Marks every folder with a change queued as not current, or all of them on an overflow.
  void TakeNotifications() {
    alignas(struct inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t got = ::read(fNotify, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
        if (event->mask & IN_Q_OVERFLOW) {
          for (auto& folder : fFolders) folder.second.current = false;
        } else if (event->mask & IN_IGNORED) {
          fFolders.erase(event->wd);  // the watch is gone
        } else {
          auto folder = fFolders.find(event->wd);
          if (folder != fFolders.end()) folder->second.current = false;
        }
        at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
      }
    }
  }

  void DropAll() {
    for (const auto& folder : fFolders) ::inotify_rm_watch(fNotify, folder.first);
    fFolders.clear();
  }

  std::mutex fMutex;
  pid_t fOwner = 0;
  int fNotify = -1;
  std::unordered_map<int, Folder> fFolders;  // by watch
};

std::string FindNameNoCase(const std::string& folder, const std::string& part) {
  static NameIndexes* indexes = new NameIndexes;  // never destroyed: look-ups may come late
  return indexes->Find(folder, part);
}

bool StatFollow(const std::string& path, struct stat* st) {
  return ::stat(path.c_str(), st) == 0;
}

bool IsReadOnlyMode(mode_t mode) { return (mode & S_IWUSR) == 0; }

}  // namespace

std::string PlatformResolvePath(const char* path) {
  if (!path || !*path) return std::string();
  std::string given(path);
  std::replace(given.begin(), given.end(), '\\', '/');
  if (Exists(given)) return given;

  // Where the folder exists as given, only the last name needs a search: the walk below would
  // keep every other part as it is. (Not for paths with empty parts, which the walk drops.)
  const size_t slash = given.rfind('/');
  if (slash != std::string::npos && slash > 0 && slash + 1 < given.size() &&
      given.find("//") == std::string::npos) {
    const std::string last = given.substr(slash + 1);
    if (last != "." && last != ".." && Exists(given.substr(0, slash))) {
      const std::string folder = given.substr(0, slash + 1);
      const std::string found = FindNameNoCase(folder, last);
      return folder + (found.empty() ? last : found);
    }
  }

  std::string out;
  size_t pos = 0;
  if (given[0] == '/') {
    out = "/";
    pos = 1;
  }
  bool missing = false;  // once a part is missing, later parts cannot be looked up
  while (pos <= given.size()) {
    size_t end = given.find('/', pos);
    if (end == std::string::npos) end = given.size();
    std::string part = given.substr(pos, end - pos);
    bool last = end == given.size();
    if (!part.empty()) {
      std::string candidate = out + part;
      if (!missing && part != "." && part != ".." && !Exists(candidate)) {
        std::string found = FindNameNoCase(out, part);
        if (found.empty()) {
          missing = true;
        } else {
          candidate = out + found;
        }
      }
      out = candidate;
    }
    if (!last && (out.empty() || out.back() != '/')) out += '/';
    pos = end + 1;
  }
  return out;
}

bool PlatformPathExists(const char* path) {
  std::string host = PlatformResolvePath(path);
  return !host.empty() && Exists(host);
}

bool PlatformIsFolder(const char* path) {
  std::string host = PlatformResolvePath(path);
  struct stat st;
  return !host.empty() && StatFollow(host, &st) && S_ISDIR(st.st_mode);
}

std::string PlatformFolderIdentity(const char* path) {
  std::string host = PlatformResolvePath(path);
  struct stat st;
  if (host.empty() || !StatFollow(host, &st) || !S_ISDIR(st.st_mode)) return std::string();
  return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
         std::to_string(static_cast<unsigned long long>(st.st_ino));
}

PlatformFile* PlatformFileOpen(const char* path, PlatformOpenMode mode) {
  std::string host = PlatformResolvePath(path);
  if (host.empty()) return nullptr;

  struct stat st;
  bool exists = StatFollow(host, &st);
  if (exists && S_ISDIR(st.st_mode)) return nullptr;
  if (!exists && (mode == PlatformOpenMode::kReadExisting ||
                  mode == PlatformOpenMode::kReadWriteExisting))
    return nullptr;
  bool wantWrite = mode != PlatformOpenMode::kReadExisting;
  if (wantWrite && exists && IsReadOnlyMode(st.st_mode)) return nullptr;
  const bool creates = mode == PlatformOpenMode::kCreateAlways || mode == PlatformOpenMode::kCreateNew;
  if (FaultHit(creates ? kPlatformFaultCreate : kPlatformFaultOpen)) return nullptr;

  int flags = O_CLOEXEC;
  switch (mode) {
    case PlatformOpenMode::kReadExisting:
      flags |= O_RDONLY;
      break;
    case PlatformOpenMode::kReadWriteExisting:
      flags |= O_RDWR;
      break;
    case PlatformOpenMode::kCreateAlways:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case PlatformOpenMode::kCreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  int fd;
  do {
    fd = ::open(host.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  PlatformFile* file = new PlatformFile;
  file->fd = fd;
  file->writable = wantWrite;
  file->host = std::move(host);
  if (wantWrite && Recording()) {
    Record(mode == PlatformOpenMode::kReadWriteExisting ? PlatformRecordedKind::kOpenWrite
                                                        : PlatformRecordedKind::kCreate,
           file->host, "", 0, std::string(), file);
  }
  return file;
}

void PlatformFileClose(PlatformFile* file) {
  if (!file) return;
  if (file->fd >= 0) ::close(file->fd);
  delete file;
}

namespace {

// The C stream's calls on its PlatformFile. Reads and writes answer the bytes moved (0 is the
// end of the file for a read, a failure for a write).
ssize_t StreamRead(void* cookie, char* buffer, size_t size) {
  return static_cast<ssize_t>(
      PlatformFileRead(static_cast<PlatformFile*>(cookie), buffer, static_cast<int64_t>(size)));
}

ssize_t StreamWrite(void* cookie, const char* buffer, size_t size) {
  return static_cast<ssize_t>(
      PlatformFileWrite(static_cast<PlatformFile*>(cookie), buffer, static_cast<int64_t>(size)));
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
  PlatformFile* file = static_cast<PlatformFile*>(cookie);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = PlatformFileTell(file);
  if (whence == SEEK_END) base = PlatformFileSize(file);
  if (base < 0) return -1;
  const int64_t to = base + static_cast<int64_t>(*offset);
  if (!PlatformFileSeek(file, to)) return -1;
  *offset = static_cast<off64_t>(to);
  return 0;
}

int StreamClose(void* cookie) {
  PlatformFileClose(static_cast<PlatformFile*>(cookie));
  return 0;
}

}  // namespace

FILE* PlatformFileOpenStream(const char* path, PlatformOpenMode mode) {
  PlatformFile* file = PlatformFileOpen(path, mode);
  if (file == nullptr) return nullptr;
  const cookie_io_functions_t calls = {StreamRead, StreamWrite, StreamSeek, StreamClose};
  FILE* stream = fopencookie(file, mode == PlatformOpenMode::kReadExisting ? "r" : "r+", calls);
  if (stream == nullptr) PlatformFileClose(file);
  return stream;
}

int64_t PlatformFileRead(PlatformFile* file, void* buffer, int64_t count) {
  if (!file || !buffer || count <= 0) return 0;
  if (FaultHit(kPlatformFaultRead)) return 0;
  char* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t got = ::read(file->fd, out + done, static_cast<size_t>(count - done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

bool PlatformFileView::Map(PlatformFile* file, int64_t offset, int64_t length) {
  Unmap();
  if (!file || offset < 0 || length <= 0) return false;
  if (FaultHit(kPlatformFaultRead)) return false;
  struct stat st;
  if (::fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode) || offset > st.st_size ||
      length > st.st_size - offset)
    return false;
  const int64_t page = ::sysconf(_SC_PAGESIZE);
  if (page <= 0) return false;
  const int64_t start = offset - offset % page;
  const size_t size = static_cast<size_t>(offset + length - start);
  void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file->fd, static_cast<off_t>(start));
  if (mapping == MAP_FAILED) return false;
  ::madvise(mapping, size, MADV_SEQUENTIAL);
  fMapping = mapping;
  fMappingSize = size;
  fData = static_cast<const uint8_t*>(mapping) + (offset - start);
  fSize = length;
  return true;
}

void PlatformFileView::Unmap() {
  if (fMapping) ::munmap(fMapping, fMappingSize);
  fMapping = nullptr;
  fMappingSize = 0;
  fData = nullptr;
  fSize = 0;
}

int64_t PlatformFileWrite(PlatformFile* file, const void* buffer, int64_t count) {
  if (!file || !buffer || count <= 0 || !file->writable) return 0;
  if (FaultHit(kPlatformFaultWrite)) return 0;
  count = WriteAllowance(count);
  if (count <= 0) return 0;
  const bool recording = Recording();
  const off_t at = recording ? ::lseek(file->fd, 0, SEEK_CUR) : 0;
  const char* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t put = ::write(file->fd, in + done, static_cast<size_t>(count - done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += put;
  }
  if (recording && done > 0)
    Record(PlatformRecordedKind::kWrite, file->host, "", at, std::string(in, size_t(done)), file);
  return done;
}

int64_t PlatformFileReadAt(PlatformFile* file, void* buffer, int64_t count, int64_t offset) {
  if (!file || !buffer || count <= 0 || offset < 0) return 0;
  if (FaultHit(kPlatformFaultSeek) || FaultHit(kPlatformFaultRead)) return 0;
  char* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(file->fd, out + done, static_cast<size_t>(count - done),
                          static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

int64_t PlatformFileWriteAt(PlatformFile* file, const void* buffer, int64_t count, int64_t offset) {
  if (!file || !buffer || count <= 0 || offset < 0 || !file->writable) return 0;
  if (FaultHit(kPlatformFaultSeek) || FaultHit(kPlatformFaultWrite)) return 0;
  count = WriteAllowance(count);
  if (count <= 0) return 0;
  const char* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t put = ::pwrite(file->fd, in + done, static_cast<size_t>(count - done),
                           static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += put;
  }
  if (done > 0 && Recording())
    Record(PlatformRecordedKind::kWrite, file->host, "", offset, std::string(in, size_t(done)), file);
  return done;
}

int64_t PlatformFileWriteAtGathered(PlatformFile* file, const void* first, int64_t firstCount,
                                    const void* second, int64_t secondCount, int64_t offset) {
  if (!file || !first || !second || firstCount < 0 || secondCount < 0 || offset < 0 ||
      firstCount + secondCount <= 0 || !file->writable)
    return 0;
  if (FaultHit(kPlatformFaultSeek) || FaultHit(kPlatformFaultWrite)) return 0;
  const char* parts[2] = {static_cast<const char*>(first), static_cast<const char*>(second)};
  const int64_t counts[2] = {firstCount, secondCount};
  const int64_t count = WriteAllowance(firstCount + secondCount);
  if (count <= 0) return 0;
  int64_t done = 0;
  while (done < count) {
    // What is left of the two parts after the `done` bytes written.
    struct iovec left[2];
    int pieces = 0;
    int64_t skip = done;
    int64_t room = count - done;  // a short write stops before the end of the parts
    for (int i = 0; i < 2 && room > 0; ++i) {
      if (skip >= counts[i]) {
        skip -= counts[i];
        continue;
      }
      const int64_t take = std::min(counts[i] - skip, room);
      left[pieces].iov_base = const_cast<char*>(parts[i] + skip);
      left[pieces].iov_len = static_cast<size_t>(take);
      room -= take;
      ++pieces;
      skip = 0;
    }
    ssize_t put = ::pwritev(file->fd, left, pieces, static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += put;
  }
  if (done > 0 && Recording()) {
    std::string bytes(parts[0], size_t(std::min(done, firstCount)));
    if (done > firstCount) bytes.append(parts[1], size_t(done - firstCount));
    Record(PlatformRecordedKind::kWrite, file->host, "", offset, std::move(bytes), file);
  }
  return done;
}

bool PlatformFilePrintf(PlatformFile* file, const char* format, ...) {
  if (!file || !format) return false;
  char small[512];
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(small, sizeof small, format, measure);
  va_end(measure);
  if (length < 0) {
    va_end(args);
    return false;
  }
  const char* text = small;
  std::vector<char> large;
  if (static_cast<size_t>(length) >= sizeof small) {
    large.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, args);
    text = large.data();
  }
  va_end(args);
  return length == 0 || PlatformFileWrite(file, text, length) == length;
}

bool PlatformFileSeek(PlatformFile* file, int64_t offset) {
  if (!file || offset < 0) return false;
  if (FaultHit(kPlatformFaultSeek)) return false;
  return ::lseek(file->fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

int64_t PlatformFileTell(PlatformFile* file) {
  if (!file) return -1;
  off_t at = ::lseek(file->fd, 0, SEEK_CUR);
  return at < 0 ? -1 : static_cast<int64_t>(at);
}

int64_t PlatformFileSize(PlatformFile* file) {
  if (!file) return -1;
  struct stat st;
  if (::fstat(file->fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool PlatformFileTruncate(PlatformFile* file, int64_t size) {
  if (!file || size < 0 || !file->writable) return false;
  if (FaultHit(kPlatformFaultTruncate)) return false;
  int rc;
  do {
    rc = ::ftruncate(file->fd, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  if (rc == 0 && Recording()) Record(PlatformRecordedKind::kTruncate, file->host, "", size, std::string(), file);
  return rc == 0;
}

namespace {

int64_t CopyRange(PlatformFile* from, int64_t fromOffset, PlatformFile* to, int64_t toOffset,
                  int64_t length) {
  loff_t in = fromOffset;
  loff_t out = toOffset;
  int64_t done = 0;
  while (done < length) {
    ssize_t got = ::copy_file_range(from->fd, &in, to->fd, &out, static_cast<size_t>(length - done), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
      break;  // copied through memory below
    if (got <= 0) return done;
    done += got;
  }
  std::vector<char> buffer;
  while (done < length) {
    if (buffer.empty()) buffer.resize(256 * 1024);
    const size_t want = static_cast<size_t>(std::min<int64_t>(length - done, int64_t(buffer.size())));
    ssize_t got = ::pread(from->fd, buffer.data(), want, static_cast<off_t>(fromOffset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return done;
    ssize_t put = 0;
    while (put < got) {
      ssize_t n = ::pwrite(to->fd, buffer.data() + put, static_cast<size_t>(got - put),
                           static_cast<off_t>(toOffset + done + put));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return done + put;
      put += n;
    }
    done += got;
  }
  return done;
}

}  // namespace

int64_t PlatformFileCopyRange(PlatformFile* from, int64_t fromOffset, PlatformFile* to,
                              int64_t toOffset, int64_t length) {
  if (!from || !to || !to->writable || fromOffset < 0 || toOffset < 0 || length <= 0) return 0;
  if (FaultHit(kPlatformFaultRead) || FaultHit(kPlatformFaultWrite)) return 0;
  length = WriteAllowance(length);
  if (length <= 0) return 0;
  const int64_t done = CopyRange(from, fromOffset, to, toOffset, length);
  if (done > 0 && Recording()) {
    // Recorded as the write it is: the bytes as they now stand in `to`.
    std::string bytes(size_t(done), '\0');
    ssize_t got = ::pread(to->fd, bytes.data(), bytes.size(), static_cast<off_t>(toOffset));
    bytes.resize(got > 0 ? size_t(got) : 0);
    Record(PlatformRecordedKind::kWrite, to->host, "", toOffset, std::move(bytes), to);
  }
  return done;
}

bool PlatformFileStartWriteback(PlatformFile* file, int64_t offset, int64_t length) {
  if (!file || offset < 0 || length <= 0) return false;
  return ::sync_file_range(file->fd, offset, length, SYNC_FILE_RANGE_WRITE) == 0;
}

bool PlatformFileFlush(PlatformFile* file) {
  if (!file) return false;
  if (FaultHit(kPlatformFaultFlush)) return false;
  if (!file->writable) return true;
  if (::fsync(file->fd) != 0) return false;
  if (Recording()) Record(PlatformRecordedKind::kSync, file->host, "", 0, std::string(), file);
  return true;
}

bool PlatformFileIsWritable(const PlatformFile* file) { return file && file->writable; }

bool PlatformFileDelete(const char* path) {
  std::string host = PlatformResolvePath(path);
  struct stat st;
  if (host.empty() || ::lstat(host.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode)) return false;
  if (::unlink(host.c_str()) != 0) return false;
  if (Recording()) Record(PlatformRecordedKind::kDelete, host);
  return true;
}

namespace {

// PlatformFileMove; `src` and `dst` are set to the host paths moved from and to.
bool Move(const char* from, const char* to, std::string& src, std::string& dst) {
  src = PlatformResolvePath(from);
  dst = PlatformResolvePath(to);
  if (src.empty() || dst.empty() || !Exists(src)) return false;
  if (Exists(dst)) {
    // Only a change of case of the same name may land on an existing path.
    if (dst != src) return false;
    dst = std::string(to);
    std::replace(dst.begin(), dst.end(), '\\', '/');
    if (dst == src) return true;
    return ::rename(src.c_str(), dst.c_str()) == 0;
  }
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The file system cannot refuse an overwrite itself: a hard link fails on an existing name.
  if (::link(src.c_str(), dst.c_str()) == 0) return ::unlink(src.c_str()) == 0;
  return false;
}

}  // namespace

bool PlatformFileMove(const char* from, const char* to) {
  if (FaultHit(kPlatformFaultRename)) return false;
  std::string src, dst;
  if (!Move(from, to, src, dst)) return false;
  if (Recording() && src != dst) Record(PlatformRecordedKind::kMove, src, dst);
  return true;
}

namespace {

// Closes `fd` on a thread of its own, or here when no thread can be had.
void CloseApart(int fd) {
  try {
    std::thread([fd] { ::close(fd); }).detach();
  } catch (...) {
    ::close(fd);
  }
}

}  // namespace

bool PlatformFileReplace(const char* from, const char* to, bool* renamed) {
  if (renamed) *renamed = false;
  if (FaultHit(kPlatformFaultRename)) return false;
  std::string src = PlatformResolvePath(from);
  std::string dst = PlatformResolvePath(to);
  struct stat st;
  if (src.empty() || dst.empty() || ::stat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  const bool replacing = ::stat(dst.c_str(), &st) == 0;
  if (replacing) {
    if (S_ISDIR(st.st_mode)) return false;
    ::chmod(src.c_str(), st.st_mode & 07777);
  }
  // The system frees a file's pages when its last name and its last descriptor are gone,
  // which for a large file that was never synced takes a while. Held open across the rename,
  // the replaced file is let go on a thread of its own, beside what the caller does next.
  const int replaced = replacing ? ::open(dst.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (::rename(src.c_str(), dst.c_str()) != 0) {
    if (replaced >= 0) ::close(replaced);
    return false;
  }
  if (renamed) *renamed = true;
  if (Recording())
    Record(replacing ? PlatformRecordedKind::kReplace : PlatformRecordedKind::kMove, src, dst);
  // The new name reaches the disk with the folder's entry; until then a power loss may bring
  // back the old file.
  const bool synced = SyncFolder(FolderOf(dst));
  if (replaced >= 0) CloseApart(replaced);
  return synced;
}

bool PlatformFileCopy(const char* from, const char* to) {
  if (FaultHit(kPlatformFaultCreate)) return false;
  std::string src = PlatformResolvePath(from);
  std::string dst = PlatformResolvePath(to);
  if (src.empty() || dst.empty()) return false;
  int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(in);
    return false;
  }
  int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    ::close(in);
    return false;
  }
  std::vector<char> block(1 << 16);
  bool ok = true;
  for (;;) {
    ssize_t got = ::read(in, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    ssize_t done = 0;
    while (done < got) {
      ssize_t put = ::write(out, block.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        ok = false;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  if (ok && ::fchmod(out, st.st_mode & 07777) != 0) ok = false;
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(dst.c_str());
  if (ok && Recording()) Record(PlatformRecordedKind::kCopy, src, dst);
  return ok;
}

bool PlatformCreateFolder(const char* path) {
  std::string host = PlatformResolvePath(path);
  if (host.empty()) return false;
  return ::mkdir(host.c_str(), 0777) == 0;
}

bool PlatformFolderSync(const char* path) {
  std::string host = PlatformResolvePath(path);
  return !host.empty() && SyncFolder(host);
}

bool PlatformMatchPattern(const char* name, const char* pattern, bool caseSensitive) {
  if (!name || !pattern) return false;
  // Greedy match with one back-track point: the last '*' seen and where the name stood then.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    char p = *pattern;
    char n = *name;
    if (!caseSensitive) {
      p = FoldCase(p);
      n = FoldCase(n);
    }
    if (p == '*') {
      while (*pattern == '*') ++pattern;
      if (!*pattern) return true;
      star = pattern;
      resume = name;
    } else if (p == '?' || (p != '\0' && p == n)) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return !*pattern;
}

struct PlatformFind::State {
  std::vector<PlatformFindEntry> entries;
  size_t at = 0;
};

PlatformFind::PlatformFind() : fState(nullptr) {}

PlatformFind::~PlatformFind() { Close(); }

void PlatformFind::Close() {
  delete fState;
  fState = nullptr;
}

bool PlatformFind::First(const char* pattern) {
  Close();
  if (!pattern || !*pattern) return false;
  std::string whole(pattern);
  size_t cut = whole.find_last_of("/\\");
  std::string folderPart = cut == std::string::npos ? std::string() : whole.substr(0, cut + 1);
  std::string namePart = cut == std::string::npos ? whole : whole.substr(cut + 1);
  if (namePart.empty()) return false;
  if (namePart == "*.*") namePart = "*";

  std::string folder = folderPart.empty() ? std::string(".") : PlatformResolvePath(folderPart.c_str());
  if (folder.empty()) return false;
  if (folder.back() != '/') folder += '/';
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;

  State* state = new State;
  while (struct dirent* ent = ::readdir(dir)) {
    if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) continue;
    if (!PlatformMatchPattern(ent->d_name, namePart.c_str())) continue;
    PlatformFindEntry entry;
    entry.name = ent->d_name;
    struct stat st;
    if (StatFollow(folder + entry.name, &st)) {
      entry.folder = S_ISDIR(st.st_mode);
      entry.readOnly = IsReadOnlyMode(st.st_mode);
      entry.size = entry.folder ? 0 : static_cast<int64_t>(st.st_size);
    }
    state->entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  std::sort(state->entries.begin(), state->entries.end(),
            [](const PlatformFindEntry& a, const PlatformFindEntry& b) { return a.name < b.name; });
  fState = state;
  if (state->entries.empty()) {
    Close();
    return false;
  }
  return true;
}

bool PlatformFind::Next() {
  if (!fState || fState->at + 1 >= fState->entries.size()) {
    if (fState) fState->at = fState->entries.size();
    return false;
  }
  ++fState->at;
  return true;
}

const PlatformFindEntry& PlatformFind::Entry() const {
  static const PlatformFindEntry kNone;
  if (!fState || fState->at >= fState->entries.size()) return kNone;
  return fState->entries[fState->at];
}

void PlatformFileFailAt(PlatformFaultOp op, int32_t n, bool sticky) {
  if (op < 0 || op >= kFaultKinds) return;
  std::lock_guard<std::mutex> hold(gFaultMutex);
  FaultSlot& slot = gFaults[op];
  slot.failAt = n <= 0 ? 0 : slot.calls + n;
  slot.sticky = sticky;
}

void PlatformFileResetFaults() {
  std::lock_guard<std::mutex> hold(gFaultMutex);
  for (FaultSlot& slot : gFaults) slot = FaultSlot();
}

int64_t PlatformFileCallCount(PlatformFaultOp op) {
  if (op < 0 || op >= kFaultKinds) return 0;
  std::lock_guard<std::mutex> hold(gFaultMutex);
  return gFaults[op].calls;
}

void PlatformRecordStart() {
  std::lock_guard<std::mutex> hold(gRecordMutex);
  gRecord.clear();
  gRecording.store(true, std::memory_order_relaxed);
}

std::vector<PlatformRecordedCall> PlatformRecordStop() {
  std::lock_guard<std::mutex> hold(gRecordMutex);
  gRecording.store(false, std::memory_order_relaxed);
  std::vector<PlatformRecordedCall> calls;
  calls.swap(gRecord);
  return calls;
}

void PlatformRecordMark(const std::string& label) {
  if (Recording()) Record(PlatformRecordedKind::kMark, label);
}
