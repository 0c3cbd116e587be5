// Path helpers over StringBuffer, and writing a memory handle to a disk file.
// A path's folder part ends at its last '\\' or '/'; its extension starts at the last '.' after
// that. Outputs are cut to their capacity (with the StringBuffer assertion), never overflowed.
#ifndef UTIL_FILEPATHS_H
#define UTIL_FILEPATHS_H

#include <cstdint>

#include "StringBuffer.h"

struct MHandle;

// Splits `path` into the folder (separator included; empty without one), the base name and
// the extension (dot included; empty without one). A dot inside a folder name is no
// extension; a name that starts with a dot has an empty base name.
void SplitPath(const StringBuffer& path, StringBuffer& folder, StringBuffer& base,
               StringBuffer& extension);
// The folder part, separator included.
void GetPathFolder(const StringBuffer& path, StringBuffer& folder);
// The base name followed by the extension; empty for a path that ends with a separator.
void GetPathFileName(const StringBuffer& path, StringBuffer& name);
// Folder + base name, and the extension with its dot.
void SplitExtension(const StringBuffer& path, StringBuffer& withoutExtension,
                    StringBuffer& extension);

// Writes all user bytes of `handle` to the file `path` (made new or emptied). Returns 0 when
// every byte was written, -1 for a null handle, when the file could not be opened or a write fell short (the
// file may then hold part of the data).
int32_t WriteHandleToFile(MHandle* handle, const StringBuffer& path);

#endif  // UTIL_FILEPATHS_H
