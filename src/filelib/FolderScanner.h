// Folder walks: FolderScanner visits every file under a folder, the entries of the FAR
// archives found there included, and lets a subclass decide which folders to enter and what
// to do with each file. SuffixScanner collects the paths whose file names end in a suffix.
//
// The walk uses the process-wide file manager when it has the folder mapped; otherwise each
// level is mapped afresh from the disk into a private manager (with its archives), so an
// archive's entries appear as files of the folder that holds the archive. Paths handed to the
// subclass are normalised: lower-case, with '\\' separators (the host layer still finds them).
// Entries come in ascending order of their normalised names; folders are walked depth first
// at their place in that order. One walk enters each folder at most once: a folder reached
// again (through a link on the disk, or a mapped name that leads to a folder already entered)
// is passed over, so a walk always ends.
//
// This walk lives in the file library because it stands on VornFileManager.
// Not thread-safe: one walk per object at a time.
#ifndef FILELIB_FOLDERSCANNER_H
#define FILELIB_FOLDERSCANNER_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "StringBuffer.h"

class VornFileManager;

class FolderScanner {
 public:
  FolderScanner() = default;
  virtual ~FolderScanner() = default;

  // Called for each folder found that this walk has not entered yet, with its full path (no
  // final separator). True enters it; the default enters every folder.
  virtual bool EnterFolder(const StringBuffer& path);
  // Called for each file found, with its full path. CurrentFileWritable() describes the file
  // during the call.
  virtual void VisitFile(const StringBuffer& path) = 0;

  // Walks `folder`, whose path ends with '/' or '\\'. Returns 0 when the walk ran, -1 when the
  // folder yields no entry (or is missing, or its path is longer than 255 characters).
  int32_t Scan(const StringBuffer& folder);

  // 1 for a disk file without the read-only mode; 0 for a read-only file and for an archive
  // entry.
  uint8_t CurrentFileWritable() const { return fCurrentFileWritable; }

 protected:
  int32_t ScanMapped(const StringBuffer& folder);
  int32_t ScanUnmapped(const StringBuffer& folder);

 private:
  int32_t Walk(VornFileManager& manager, const StringBuffer& folder, bool mapped);
  // What tells `folder` apart from every other folder: the disk's identity of the folder, or
  // for a folder that exists only in a map, its normalised path (without a final separator).
  static std::string FolderKey(const StringBuffer& folder);

  uint8_t fCurrentFileWritable = 0;
  int32_t fDepth = 0;               // levels of the walk in progress
  std::set<std::string> fEntered;   // FolderKey of every folder the walk in progress entered
};

// Collects the paths of files whose names end in `suffix` (all names when it is empty) and do
// not contain `exclude` (when that is not empty), ignoring A-Z case; enters folders only when
// `recurse` is set.
class SuffixScanner : public FolderScanner {
 public:
  SuffixScanner(const char* suffix, const char* exclude, bool recurse);

  bool EnterFolder(const StringBuffer& path) override;
  void VisitFile(const StringBuffer& path) override;

  const std::vector<FixedStringBuffer<260>>& Found() const { return fFound; }

 private:
  FixedStringBuffer<32> fExclude;
  FixedStringBuffer<32> fSuffix;
  std::vector<FixedStringBuffer<260>> fFound;
  uint8_t fRecurse;
};

#endif  // FILELIB_FOLDERSCANNER_H
