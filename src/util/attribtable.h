// Markup scanning into attribute tables.
//
// An object-make file is text with tags between '<' and '>', each tag a tag name followed by
// name=value words. ReadMarkupFile turns such a file into an AttribTableList: one AttribTable
// per tag, in file order, each holding the tag's words as entries with the line on which each
// entry began. Scanning is layered: a CharScanner yields characters and counts line breaks;
// FlatFileBuffer is a CharScanner over a FlatFile; MarkupScanner is a CharScanner over another
// scanner that yields only the characters inside tags.
//
// Outside quotes, A-Z are folded to a-z and blanks (tab, LF, CR, space) end words. The quote
// characters 0x22, 0xD2 and 0xD3 (in any pairing) keep text as written; the close character
// ends a tag even inside quotes. Nothing is reported for malformed text: stray '=' signs are
// dropped, a missing closing quote runs to the end of the tag, a file that ends inside a tag
// yields that tag up to the end. A NUL byte ends the scan like the end of the file.
//
// Not thread-safe: one owner at a time.
#ifndef UTIL_ATTRIBTABLE_H
#define UTIL_ATTRIBTABLE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FlatFile;

// Yields characters and counts line ends.
class CharScanner {
 public:
  CharScanner() = default;
  virtual ~CharScanner() = default;

  // The next character; 0 at the end.
  virtual char GetChar() = 0;
  // The current line, from 1. A file with both CR and LF seen counts a CR LF pair as one
  // line end.
  virtual int32_t GetLineNumber();

  // GetChar, counting every CR and every LF read.
  char NextChar();

 protected:
  int32_t fLineBreakKinds = 0;  // bit 0: a CR was read; bit 1: an LF was read
  int32_t fCounter = 1;
};

// A CharScanner over a FlatFile (not owned). Reads the file from its start in blocks; a
// failed read counts as the end of the file.
class FlatFileBuffer : public CharScanner {
 public:
  explicit FlatFileBuffer(FlatFile* file);  // Binds the file and sets its position to 0.
  // The next byte; 0 when no file is bound, on a read failure and at the end of the file.
  char GetChar() override;

 private:
  FlatFile* fFile;
  uint32_t fLeft = 0;  // bytes of the file not read into the block yet
  char fBlock[4096];
  int32_t fBlockLength = 0;
  int32_t fBlockPos = 0;
};

// A CharScanner over another scanner (not owned) that yields only the characters inside tags:
// 0 at the end of each tag and at the end of the source.
class MarkupScanner : public CharScanner {
 public:
  MarkupScanner(CharScanner* source, char open, char close);

  char GetChar() override;
  // The source's line.
  int32_t GetLineNumber() override;
  // Skips the source to the next open character. True when there is no further tag.
  bool NoMoreTags();

 private:
  uint8_t fOpen;
  uint8_t fClose;
  uint8_t fInside = 0;
  uint8_t fAtEnd = 0;
  CharScanner* fSource;
};

// One word of a tag: a name with its value and the line on which it began.
struct AttribEntry {
  int32_t fLine = -1;  // -1 when cleared or not yet set
  std::string fName;
  std::string fValue;
};

// The entries of one tag, with a cursor. Owns its entries; an entry keeps its address for
// the table's life, so callers may hold entry pointers (for the line of a message). The table
// is "done" when no entry stands at the cursor. Any number of entries fits, and reaching the
// entry at the cursor, adding an entry or appending to one takes constant time, so a tag is
// read in time proportional to its length.
class AttribTable {
 public:
  AttribTable() = default;
  ~AttribTable();  // Deletes every entry.
  AttribTable(const AttribTable&) = delete;
  AttribTable& operator=(const AttribTable&) = delete;

  void Reset() { fCursor = 0; }
  // Moves the cursor on (not past the count).
  void Advance();
  bool Done() const { return CurrentEntry() == nullptr; }
  AttribEntry* CurrentEntry() const { return Nth(fCursor); }
  int32_t EntryCount() const { return int32_t(fEntries.size()); }
  int32_t Count() const { return EntryCount(); }
  int32_t Cursor() const { return fCursor; }

  // Name / value of the entry at the cursor; "" (with an assertion) when done.
  const char* GetName() const;
  const char* GetValue() const;
  // Moves the cursor to `index`; that entry's name, or null past the end.
  const char* FindName(int32_t index);
  // The entry at `index` or null; the cursor stays.
  AttribEntry* GetEntry(int32_t index) const { return Nth(index); }
  AttribEntry* Nth(int32_t index) const {
    return index >= 0 && size_t(index) < fEntries.size() ? fEntries[size_t(index)].get() : nullptr;
  }
  // The value of the first entry whose name equals `name` (case-sensitive), or null. Leaves
  // the cursor at the match (at the end when there is none).
  const char* FindValue(const char* name);
  AttribEntry* FindEntry(const char* name);
  // FindValue, then "%d": true only when one number was read; `*value` is unchanged otherwise.
  bool GetIntValue(const char* name, int32_t* value);
  bool GetIntValue(const char* name, uint32_t* value);

  // Sets the current entry's line to -1 (assertion when done).
  void ClearEntry();
  // ClearEntry on every entry; cursor back to 0.
  void ClearAll();

  // Appends an empty entry (line -1) and puts the cursor on it.
  void NewEntry();
  // Append a character to the current entry's name / value, making an entry when none is at
  // the cursor.
  void AppendToName(char c);
  void AppendToValue(char c);
  // Sets the current entry's line, making an entry when none is at the cursor.
  void SetLine(int32_t line);

  // Prints the table on standard output.
  void Dump() const;

 private:
  AttribEntry* CurrentOrNew();

  std::vector<std::unique_ptr<AttribEntry>> fEntries;
  int32_t fCursor = 0;
};

// The tables of a markup file, in file order. Owns its tables. It holds every tag of a file,
// however many (it is not bound to the item cap of a PtrList), and adding a table takes
// constant time.
class AttribTableList {
 public:
  AttribTableList() = default;
  ~AttribTableList();  // Deletes every table.
  AttribTableList(const AttribTableList&) = delete;
  AttribTableList& operator=(const AttribTableList&) = delete;

  int32_t Count() const { return int32_t(fTables.size()); }
  // The table at the 0-based `index`, or null.
  AttribTable* Nth(int32_t index) const {
    return index >= 0 && size_t(index) < fTables.size() ? fTables[size_t(index)].get() : nullptr;
  }
  // Takes ownership of `table` and puts it at the end; null is ignored.
  void Append(AttribTable* table);

  // One table per tag until the scanner has no more tags. Returns 0.
  int32_t ReadTags(MarkupScanner& scanner);
  // Prints "<\n", each table, ">\n" on standard output.
  void Dump() const;

 private:
  std::vector<std::unique_ptr<AttribTable>> fTables;
};

// Parses one tag from `scanner` into `table`. Returns 1.
int16_t ParseTagAttributes(AttribTable& table, CharScanner& scanner);

// Reads every tag of `file` (from its start; the file is not closed) into `list`. Returns 0.
int32_t ReadMarkupFile(AttribTableList& list, FlatFile* file);

#endif  // UTIL_ATTRIBTABLE_H
