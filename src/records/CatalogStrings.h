// An object's two catalog texts, in either of two stored forms: the older 'CATS' resource
// (the second text, NUL-terminated, then the first text, NUL-terminated, which may be
// missing) and the string set 'CTSS' of the same id (string 1 the first text, string 2 the
// second). Reading takes either form; writing stores the string set and removes the older
// resource.
//
// Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <string>

class iResFile;

constexpr uint32_t kCatalogStringsType = 0x43415453;    // 'CATS'
constexpr uint32_t kCatalogStringSetType = 0x43545353;  // 'CTSS'

class CatalogStrings {
 public:
  // Empties both texts, then reads 'CATS' id (result 0) or else 'CTSS' id in the current
  // language; with `anyLanguage` and no first text yet, the first language (0 to 19) that
  // has the strings. The result is the last read's (0 on success). A 'CATS' handle stays
  // with the file.
  int32_t Read(iResFile* file, uint16_t id, bool anyLanguage);
  // Writes both texts as 'CTSS' id (default language); on success removes 'CATS' id.
  // Returns the write's result.
  int32_t Write(iResFile* file, uint16_t id);

  std::string fFirst;
  std::string fSecond;
};

inline int32_t ReadCatalogStrings(CatalogStrings& strings, iResFile* file, uint16_t id,
                                  bool anyLanguage) {
  return strings.Read(file, id, anyLanguage);
}
inline int32_t WriteCatalogStrings(CatalogStrings& strings, iResFile* file, uint16_t id) {
  return strings.Write(file, id);
}
