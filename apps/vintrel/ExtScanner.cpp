#include "ExtScanner.h"

#include "FilePaths.h"

ExtScanner::ExtScanner(std::vector<FixedStringBuffer<260>>* list, const char* extension, bool onlyWritable)
    : fList(list), fExtension(extension), fOnlyWritable(onlyWritable ? 1 : 0) {}

void ExtScanner::VisitFile(const StringBuffer& path) {
  if (fOnlyWritable && CurrentFileWritable() == 0) return;
  FixedStringBuffer<260> withoutExtension;
  FixedStringBuffer<260> extension;
  SplitExtension(path, withoutExtension, extension);
  if (extension.compare_nocase(fExtension) == 0) fList->push_back(FixedStringBuffer<260>(path));
}
