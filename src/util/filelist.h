// A registry of open resource files by file name: the name without its folder, cut to 31
// characters, compared ignoring A-Z case. Each name counts its users.
//
// The registry does not know the resource-file classes: `File` is any class with
//   void GetName(StringBuffer& path);
// (the resource-file interface has it), so the layer that defines the files instantiates
// FileRegistry<iResFile>. Not thread-safe: one owner at a time.
#ifndef UTIL_FILELIST_H
#define UTIL_FILELIST_H

#include <cstdint>
#include <map>

#include "FilePaths.h"
#include "StringBuffer.h"
#include "XAssert.h"

// Orders registry keys with A-Z folded.
struct FileRegistryKeyLess {
  bool operator()(const FixedStringBuffer<32>& a, const FixedStringBuffer<32>& b) const {
    return a.compare_nocase(b) < 0;
  }
};

template <class File>
class FileRegistry {
 public:
  struct Entry {
    int32_t count = 0;
    File* file = nullptr;
  };

  // Registers `file` under its name, or counts one more user of it. A second file under the
  // same name is reported ("names not mapping to same pointer") and not registered.
  Entry* Add(File* file) {
    FixedStringBuffer<32> key;
    KeyOf(file, key);
    auto found = fFiles.find(key);
    if (found == fFiles.end()) {
      Entry& entry = fFiles[key];
      entry.count = 1;
      entry.file = file;
      return &entry;
    }
    XASSERT(found->second.file == file, "names not mapping to same pointer");
    if (found->second.file == file) ++found->second.count;
    return &found->second;
  }

  // One user less; true when that was the last and the name is gone. False for a file whose
  // name is not registered.
  bool Remove(File* file) {
    FixedStringBuffer<32> key;
    KeyOf(file, key);
    auto found = fFiles.find(key);
    if (found == fFiles.end() || found->second.file != file) return false;
    if (--found->second.count > 0) return false;
    fFiles.erase(found);
    return true;
  }

  // The file registered under the name of `name` (its folder is ignored), or null.
  File* Find(const StringBuffer& name) const {
    FixedStringBuffer<32> key;
    MakeKey(name, key);
    auto found = fFiles.find(key);
    return found == fFiles.end() ? nullptr : found->second.file;
  }

  int32_t Count() const { return static_cast<int32_t>(fFiles.size()); }

 private:
  static void MakeKey(const StringBuffer& path, StringBuffer& key) {
    FixedStringBuffer<260> name;
    GetPathFileName(path, name);
    key.clear();
    key.append(name, key.capacity() - 1);  // cut to 31 characters, quietly
  }
  static void KeyOf(File* file, StringBuffer& key) {
    FixedStringBuffer<260> path;
    if (file) file->GetName(path);
    MakeKey(path, key);
  }

  std::map<FixedStringBuffer<32>, Entry, FileRegistryKeyLess> fFiles;
};

#endif  // UTIL_FILELIST_H
