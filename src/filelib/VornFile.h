// The file library: one way to open, read, write and manage files, whether a file lies on the
// disk or inside a FAR archive.
//
// A VornFile is one open file: a plain host file with its own handle, or a read-only entry of
// an archive that shares the archive's handle. A VornFileManager opens, creates, closes,
// deletes, moves and copies files; it may hold a path map of known folders, disk files and
// archive entries, which each operation consults before it goes to the disk.
//
// Failures are reported by results (false, 0 bytes, null); broken internal conditions also go
// to the debug report (PlatformDebug.h) and the call goes on. Nothing throws.
//
// Thread rules: a VornFile and a manager's maps are used from one thread at a time. A manager
// holds its own lock around every positioned read and seek of an archive entry, since all
// entries of one archive share one handle and one file place.
//
// Paths: map keys are normalised (A-Z lower-cased, '/' made '\\'). Disk operations take the
// path as given; the host layer accepts either separator and names that differ in case.
// Sizes and offsets are signed 32-bit: files and archives of 2^31 bytes or more are refused.
#ifndef FILELIB_VORNFILE_H
#define FILELIB_VORNFILE_H

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "PlatformFile.h"
#include "PlatformThread.h"
#include "VornString.h"

class VornFileManager;

// One record of the path map.
struct FileMapping {
  VornString mHolder;              // archive entries: the archive's path; else the record's name
  PlatformFile* mhFile = nullptr;  // archive entries: the archive's shared handle
  int32_t mnOffset = 0;            // archive entries: the data offset inside the archive
  int32_t mnSize2 = 0;             // a second copy of the size, set by the archive writer
  int32_t mnSize = 0;              // archive entries: the entry's size
  bool mbFAR = false;              // an archive entry
  bool mbWritable = true;          // false for archive entries and read-only disk names
  bool mbFolder = false;           // the record names a folder
};

// Name (normalised) -> record, in plain byte order.
using VornNameMap = std::map<VornString, FileMapping>;
// Folder (normalised, ending in '\\') -> its names.
using VornDirMap = std::map<VornString, VornNameMap>;

// The state of a wildcard search over the path map (FindFirst / FindNext).
struct MapFindData {
  VornString mFolder;                  // the searched folder, normalised
  VornString mName;                    // the found name, as the map holds it
  bool mbFolder = false;               // the found record names a folder
  bool mbWritable = false;             // the found record is writable
  VornString mPattern;                 // the name part of the search path
  const VornNameMap* mpMap = nullptr;  // the searched folder's names
  VornNameMap::const_iterator mPos;    // the current position in them
};

// One open file. Made by a manager (or by the archive reader for its own reading).
// Plain files read and write at the handle's own place; after cached reads that place lies at
// the end of the last block read, so callers Seek before mixing raw and cached access.
class VornFile {
 public:
  static constexpr int32_t kCacheBlock = 4096;

  VornFile(PlatformFile* handle, int32_t baseOffset, int32_t size, bool isFAR, bool writable,
           VornFileManager* manager);
  // Frees the cache. The handle is not closed: that is the manager's job.
  ~VornFile();
  VornFile(const VornFile&) = delete;
  VornFile& operator=(const VornFile&) = delete;

  // Raw read of up to `count` bytes at the position; an archive entry is cut at its end.
  // Returns the bytes read.
  int32_t Read(void* buffer, int32_t count);
  // Writes at the handle's place and moves the position; raises the size when it is passed.
  // Returns the bytes written: 0 unless writable and count >= 1. The cache is not touched.
  int32_t Write(const void* buffer, int32_t count);
  // Sets the position. Refused (false) for a negative offset or one beyond the size; a refused
  // seek leaves the position and the cache as they were.
  bool Seek(int32_t offset);
  // Sets the position beyond the end, growing the size (the disk file grows when written).
  // Refused for archive entries.
  bool SeekExtend(int32_t offset);
  // The logical position, the cache taken into account.
  int32_t Tell() const;
  // Cuts or extends a plain file; the position ends at `size`. False for archive entries.
  bool SetSize(int32_t size);
  bool Flush();
  // Drops the read cache. Always true.
  bool ClearCache();
  // Absolute seek of the handle, ignoring the base offset and the position field.
  bool SeekRaw(int32_t offset);

  // Reads exactly `count` bytes through the 4096-byte cache. False when fewer are left (the
  // bytes already copied stay in `buffer`; the position is then just past them).
  bool ReadBytes(void* buffer, int32_t count);
  // Write that must write all `count` bytes.
  bool WriteBytes(const void* buffer, int32_t count);
  bool ReadByte(uint8_t& value);
  bool WriteByte(uint8_t value);
  // Four bytes, little-endian.
  bool ReadLong(int32_t& value);
  bool ReadLong(uint32_t& value);
  bool WriteLong(int32_t value);
  bool WriteLong(uint32_t value);
  // A length-prefixed string: one length byte below 255, else 0xFF and a 4-byte length; no
  // terminator. ReadString stores a NUL after the characters and fails (reading nothing more)
  // when length + 1 is not below `size` or the length passes the end of the file.
  bool ReadString(char* buffer, int32_t size);
  bool WriteString(const char* text);

  int32_t GetSize() const { return mnSize; }
  const char* GetName() const { return mName.GetBuffer(); }
  bool IsFAR() const { return mbFAR; }
  bool IsWritable() const { return mbWritable; }

 private:
  friend class VornFileManager;

  bool HasCache() const { return mpCache != nullptr; }
  // Brings the position (and the handle) back to `logical` after a failed cached read.
  void Resync(int32_t logical);

  VornString mName;
  PlatformFile* mhFile;
  int32_t mnSize;
  int32_t mnBase;
  int32_t mnPos;
  bool mbFAR;
  bool mbWritable;
  VornFileManager* mpVornFileManager;
  uint8_t* mpCache = nullptr;
  int32_t mnCacheSize = kCacheBlock;
  int32_t mnCacheOffset = 0;
  int32_t mnCachePos = 0;
};

// Opens and manages files, with an optional path map and the FAR archives mapped into it.
// Owns the archive handles: they stay open until Reset or destruction.
class VornFileManager {
 public:
  VornFileManager();
  // Closes every archive handle and frees the maps.
  ~VornFileManager();
  VornFileManager(const VornFileManager&) = delete;
  VornFileManager& operator=(const VornFileManager&) = delete;

  // ---- files ----
  // A mapped archive entry opens read-only (null for a write request); anything else opens
  // from the disk, for reading and writing or for reading only. Null on failure.
  VornFile* Open(const VornString& path, bool write);
  // Closes a plain file's handle (never an archive's) and deletes the object.
  void Close(VornFile* file);
  // Makes an empty file (an existing one is emptied). False for a mapped name or on failure.
  bool Create(const VornString& path);
  // Deletes a disk file; refused for a mapped archive entry.
  bool Delete(const VornString& path);
  // Moves a disk file; never overwrites; refused for a mapped archive entry.
  bool Move(const VornString& from, const VornString& to);
  // Copies a disk file; fails when `to` exists; refused for a mapped archive entry.
  bool Copy(const VornString& from, const VornString& to);
  // True for a mapped name or an existing, readable disk file.
  bool Exists(const VornString& path);
  // Creates every folder along `path` up to its last separator ('\\' or '/'); relative and
  // absolute paths alike; a drive prefix and the root are left alone. Failures are ignored.
  static void CreateFolders(const VornString& path);

  // ---- the path map ----
  // Scans `folder` into the map (see ScanFolder). Always true.
  bool AddFolder(const VornString& folder, bool recurse, bool mapArchives);
  // Scans `folder` (no recursion, no archives) unless it is already mapped.
  void AddFolderIfUnmapped(const VornString& folder);
  // Records the folders and files of `folder` (which ends in a separator); with `recurse` the
  // sub-folders too, each entered once (a folder reached again through a link is recorded but
  // not scanned again); with `mapArchives` every file whose name ends in "far" (any case) is
  // mapped as an archive, and one that is no valid archive stays a plain file.
  void ScanFolder(const VornString& folder, bool recurse, bool mapArchives);
  // Records one disk file when its folder is mapped.
  void AddFile(const VornString& path);
  // Finds the record of `path`; stores its address in `*record` when given.
  bool Lookup(const VornString& path, FileMapping** record);
  bool IsFolderMapped(const VornString& folder);
  VornNameMap* GetFolderMap(const VornString& folder);
  // Wildcard search ('*', '?', case-insensitive) over one mapped folder, in key order.
  bool FindFirst(const VornString& searchPath, MapFindData& data);
  bool FindNext(MapFindData& data);
  static bool MatchWildcard(const char* name, const char* pattern, bool caseSensitive);
  // Closes every archive handle and empties both maps.
  void Reset();
  // Lists every record on the debug output.
  void DumpMapping();

  // ---- FAR archives ----
  // Maps the archive's directory into the path map; the first mapping of a path wins. The
  // whole directory is checked first (magic, version, count, names, every entry inside the
  // file): a bad archive is refused whole, maps nothing and keeps no handle.
  bool MapFAR(const VornString& archivePath);
  // Packs `sourceFolder` + each name of `names` (in key order) into a new archive and fills
  // each record's sizes and offset. False (and no archive left) when any step fails.
  bool WriteFAR(const VornString& archivePath, VornNameMap& names, const VornString& sourceFolder);
  // Copies the whole file `sourcePath` to the archive's current place.
  bool AppendFile(PlatformFile* archive, const VornString& sourcePath, int32_t& size,
                  int32_t& written);
  // Unpacks every entry of the archive under `destFolder` (which ends in a separator). Entry
  // names that climb out of it ("..") or are absolute are refused and reported.
  void Extract(const VornString& archivePath, const VornString& destFolder);

 private:
  friend class VornFile;

  // ScanFolder that skips the folders whose disk identities are in `scanned`, and adds its own.
  void ScanFolder(const VornString& folder, bool recurse, bool mapArchives,
                  std::set<std::string>& scanned);
  // Records `name` in the map of `folder` when that folder is mapped (Create, Move, Copy).
  void RecordIfFolderMapped(const VornString& path);
  // Sends the debug listing's line of one record.
  static void DumpRecord(long number, const VornString& name, const FileMapping& record);

  VornDirMap mPathToDirMap;
  std::map<VornString, PlatformFile*> mFARHandles;
  PlatformLock mLock;
};

// The process-wide manager.
VornFileManager& GetVornFileManager();

// A-Z lower-cased and '/' made '\\', in place.
void NormalizePath(VornString& path);
// Splits a path into a normalised folder (up to and including the last '\\'; empty when
// there is none) and name.
void SplitMappedPath(const VornString& path, VornString& folder, VornString& name);
// Everything up to and including the last '\\'; empty when there is none or it is the first
// character.
VornString GetFolderPart(const VornString& path);
// True when the first `length` characters (-1: up to the NUL) hold '*' or '?'.
bool HasWildcards(const char* text, int32_t length);

#endif  // FILELIB_VORNFILE_H
