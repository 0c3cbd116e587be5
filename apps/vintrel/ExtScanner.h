// A folder walk that collects the full paths of the files with one extension, for the
// sprite maker's lists of object files (".spf") and object-make files (".omk").
// Not thread-safe: one walk at a time.
#pragma once

#include <vector>

#include "FolderScanner.h"
#include "StringBuffer.h"

class ExtScanner : public FolderScanner {
 public:
  // Appends to `list` every file whose extension (with its dot) equals `extension`, ignoring
  // A-Z case; with `onlyWritable`, read-only files and archive entries are skipped.
  ExtScanner(std::vector<FixedStringBuffer<260>>* list, const char* extension, bool onlyWritable);

  void VisitFile(const StringBuffer& path) override;

 private:
  std::vector<FixedStringBuffer<260>>* fList;
  FixedStringBuffer<32> fExtension;
  uint8_t fOnlyWritable;
};
