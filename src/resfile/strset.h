// String sets: numbered strings (index from 1), each with an optional comment, kept separately
// for each of 20 languages and stored in a resource file as one resource, normally `STR#`.
//
// Stored forms read: -1 (count, strings), -2 (count, text/comment pairs), -3 (count, entries of
// every language: language + 1, text, comment), a count of length-prefixed strings, and the
// '^'-delimited text form (type 0x00435354). Write always stores form -3, merged into what the
// file already holds.
//
// Readers never trust the stored data: a count or length that runs past the end of the resource
// gives shortReadErr, leaves the set empty and reads nothing past the data.
//
// A set is bound to a file by Init, Load or Save; the binding does not own the file, which the
// caller keeps open while the set uses it. Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "StringBuffer.h"
#include "resfile.h"

constexpr int8_t kMaxLanguages = 20;
constexpr int8_t kLanguageEnglish = 0;

constexpr uint32_t kStringSetType = 0x53545223;  // 'STR#'
constexpr uint32_t kTextStringSetType = 0x00435354;  // the text form: bytes 0, 'C', 'S', 'T'

class StringSet {
 public:
  StringSet();  // Unbound and empty: type 0, id 0, language 0, not the text form.
  virtual ~StringSet();

  StringSet(const StringSet&) = delete;
  // Copies the current language's strings and comments (an empty comment standing for a missing
  // one) into this set's current language, drops strings past the source's count, copies the
  // name, and unbinds this set.
  StringSet& operator=(const StringSet& source);

  // Binds the set. A language below 0 selects English.
  void Init(iResFile* file, uint16_t id, uint32_t type, uint8_t textForm, int8_t language);

  // Reads STR# `id` in English, falling back to the text form; returns the last result.
  int32_t Load(iResFile* file, uint16_t id, uint8_t allLanguages = 0);
  // Binds to STR# `id` in this set's language and writes.
  int32_t Save(iResFile* file, uint16_t id);

  // Replaces the contents with the bound resource. `allLanguages`: take the entries of every
  // language (and fill empty languages with English); `fallBack`: an empty current language
  // takes the English entries. Returns 0, -1 without a usable file, the file's error when the
  // resource is missing, or shortReadErr for a corrupt resource (the set is then empty).
  int32_t Read(uint8_t allLanguages, uint8_t fallBack);
  // Merges this set into the stored one and writes the result in form -3. Returns 0 or the first
  // error of the file (or of the handle allocation).
  int32_t Write();

  // Accessors. A language of -1 means the set's current language.
  int32_t Count(int8_t language = -1) const;
  // Null when the index is outside 1..Count.
  const char* GetString(int32_t index, int8_t language = -1) const;
  // Null when outside 1..Count or when the entry has no comment.
  const char* GetComment(int32_t index, int8_t language = -1) const;
  // Index 1..Count+1 (Count+1 appends). The entry's origin becomes the language.
  void SetString(uint32_t index, const char* text, int8_t language = -1);
  // Inserts at the index clamped to 1..Count+1, moving later entries up.
  void InsertString(uint32_t index, const char* text, int8_t language = -1);
  void RemoveString(uint32_t index, int8_t language = -1);
  // Index 1..Count; a null text removes the comment.
  void SetComment(int32_t index, const char* text, int8_t language = -1);
  void ClearLanguage(int8_t language);
  void Clear();
  // The text at `index` in the first language (0 to 19) that has it; null when none does.
  const char* FindString(int32_t index, int8_t* languageOut) const;

  // The origin of an entry: the language in which its text was set; 0 for English and for
  // copies of English; -1 for a fresh entry or an index out of range.
  int8_t GetOrigin(int32_t index, int8_t language = -1) const;

  const StringBuffer& GetName() const { return fName; }
  void SetName(const char* name) { fName.assign(name); }
  uint16_t GetID() const { return fID; }
  uint32_t GetType() const { return fType; }
  int8_t GetLanguage() const { return fLanguage; }
  iResFile* GetResFile() const { return fResFile; }

  // A cursor over the current language's strings: begin has index 1, end Count(-1) + 1.
  class Cursor {
   public:
    Cursor(const StringSet* set, int32_t index) : fSet(set), fIndex(index) {}
    const char* operator*() const { return fSet->GetString(fIndex); }
    Cursor& operator++() {
      fIndex++;
      return *this;
    }
    bool operator!=(const Cursor& other) const { return fIndex != other.fIndex; }
    int32_t Index() const { return fIndex; }

   private:
    const StringSet* fSet;
    int32_t fIndex;
  };
  Cursor begin() const { return Cursor(this, 1); }
  Cursor end() const { return Cursor(this, Count(-1) + 1); }

 private:
  struct Entry {
    std::string text;
    std::string comment;
    bool hasComment = false;
    int8_t origin = -1;
  };

  // The language an accessor works on; -1 (with "Illegal language specified.") when invalid.
  int8_t UseLanguage(int8_t language) const;
  // Inserts in `language` and, when the set's language is not English, in English too.
  void InsertWithEnglish(uint32_t index, const char* text, const char* comment, bool hasComment);
  int32_t Parse(const uint8_t* data, int32_t size, uint8_t allLanguages, uint8_t fallBack);

  iResFile* fResFile;
  FixedStringBuffer<64> fName;
  uint16_t fID;
  uint32_t fType;
  uint8_t fTextForm;
  int8_t fLanguage;
  std::vector<Entry> fLanguages[kMaxLanguages];
};

// A string set of animation names; loading lower-cases every name it takes.
class AnimTable : public StringSet {
 public:
  // Loads STR# `id`: an index where this table already has a non-empty string keeps it; any
  // other takes the stored string in lower case (A-Z only). Returns 0 or the load's error.
  int32_t Load(iResFile* file, uint16_t id);
};
