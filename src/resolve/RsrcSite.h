// A resource site: the folders, in search order, in which loose resource files are looked
// for. Made from a ';'-separated list; every folder of the list is normalised to end in '\\'.
// A plain value; one thread at a time.
#ifndef RESOLVE_RSRCSITE_H
#define RESOLVE_RSRCSITE_H

#include <cstdint>
#include <string>
#include <vector>

#include "RsrcType.h"

class RsrcSite {
 public:
  // The longest folder name of a list is kMaxSiteNameLength - 1 characters.
  static constexpr int32_t kMaxSiteNameLength = 255;

  using const_iterator = std::vector<std::string>::const_iterator;

  RsrcSite() = default;
  RsrcSite(const RsrcSite& other) = default;
  // Splits `inPath` at ';' and normalises each entry. A list that begins with ';' has the
  // empty name (the current folder, not normalised) first. White space after a ';' is
  // skipped; white space before one stays part of the entry. A ';' at the end of the list
  // ends it. An entry of kMaxSiteNameLength or more characters is reported and left out
  // (a cut name would name another folder); a null list is reported and gives no folders.
  explicit RsrcSite(const char* inPath);
  RsrcSite& operator=(const RsrcSite& other) = default;
  ~RsrcSite() = default;

  const_iterator begin() const { return fFolders.begin(); }
  const_iterator end() const { return fFolders.end(); }
  size_t size() const { return fFolders.size(); }
  std::string GetFolder(const_iterator position) const { return *position; }

  // '/' made '\\'; ".\\" put in front unless the name is absolute (a drive path, a name
  // that begins with '\\', which on this host is the root) or explicitly relative (begins
  // with ".\\", or is "."); a final '\\' appended when missing.
  static void NormalizeFolder(std::string& folder);

  // True when the site has folders and every one of them exists.
  bool Validate() const;

  // Appends to `types`, in order of discovery, the type of every file in the site's folders
  // (from its extension) that `types` does not hold yet. 0 when `types` grew, 5 when not.
  int32_t CollectTypes(std::vector<RsrcType>& types) const;

 private:
  std::vector<std::string> fFolders;
};

// Writes the extension characters of `fileName` (the last one to three characters after a
// '.' among its last four) and a NUL into `out` (at least 4 bytes). A name shorter than 4
// characters or without such a '.' is reported and gives the empty text.
void GetFileExtension(const char* fileName, char* out);

#endif  // RESOLVE_RSRCSITE_H
