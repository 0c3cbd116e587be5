#include "attribtable.h"

#include <cstdio>
#include <cstring>

#include "XAssert.h"
#include "flatfile.h"

// ---- scanners --------------------------------------------------------------------------------

int32_t CharScanner::GetLineNumber() {
  if (fLineBreakKinds == 3) return (fCounter + 1) / 2;
  return fCounter;
}

char CharScanner::NextChar() {
  char c = GetChar();
  if (c == '\r') {
    fLineBreakKinds |= 1;
    ++fCounter;
  } else if (c == '\n') {
    fLineBreakKinds |= 2;
    ++fCounter;
  }
  return c;
}

FlatFileBuffer::FlatFileBuffer(FlatFile* file) : fFile(file) {
  if (!fFile) return;
  uint32_t size = 0;
  if (fFile->SetPos(0) == 0 && fFile->GetEOF(size) == 0) fLeft = size;
}

char FlatFileBuffer::GetChar() {
  if (!fFile) return 0;
  if (fBlockPos >= fBlockLength) {
    if (fLeft == 0) return 0;
    int32_t want = fLeft < sizeof fBlock ? static_cast<int32_t>(fLeft) : static_cast<int32_t>(sizeof fBlock);
    if (fFile->Read(fBlock, want) != 0) {
      fLeft = 0;  // a failed read ends the scan
      fBlockLength = 0;
      return 0;
    }
    fLeft -= static_cast<uint32_t>(want);
    fBlockLength = want;
    fBlockPos = 0;
  }
  return fBlock[fBlockPos++];
}

MarkupScanner::MarkupScanner(CharScanner* source, char open, char close)
    : fOpen(static_cast<uint8_t>(open)), fClose(static_cast<uint8_t>(close)), fSource(source) {}

int32_t MarkupScanner::GetLineNumber() { return fSource ? fSource->GetLineNumber() : 0; }

char MarkupScanner::GetChar() {
  if (fAtEnd || !fSource) return 0;
  if (!fInside) {
    for (;;) {
      char c = fSource->NextChar();
      if (c == 0) {
        fAtEnd = 1;
        return 0;
      }
      if (static_cast<uint8_t>(c) == fOpen) break;
    }
    fInside = 1;
    return NextChar();
  }
  char c = fSource->NextChar();
  if (c == 0) {
    fAtEnd = 1;
    return 0;
  }
  if (static_cast<uint8_t>(c) == fClose) {
    fInside = 0;
    return 0;
  }
  return c;
}

bool MarkupScanner::NoMoreTags() {
  for (;;) {
    if (fAtEnd || !fSource) return true;
    if (fInside) return false;
    char c = fSource->NextChar();
    if (c == 0) {
      fAtEnd = 1;
    } else if (static_cast<uint8_t>(c) == fOpen) {
      fInside = 1;
    }
  }
}

// ---- attribute tables ------------------------------------------------------------------------

AttribTable::~AttribTable() = default;

void AttribTable::Advance() {
  if (fCursor < EntryCount()) ++fCursor;
}

const char* AttribTable::GetName() const {
  XASSERT(!Done(), "getting name after table is done");
  AttribEntry* entry = CurrentEntry();
  return entry ? entry->fName.c_str() : "";
}

const char* AttribTable::GetValue() const {
  XASSERT(!Done(), "getting value after table is done");
  AttribEntry* entry = CurrentEntry();
  return entry ? entry->fValue.c_str() : "";
}

const char* AttribTable::FindName(int32_t index) {
  fCursor = index < 0 ? EntryCount() : index;
  AttribEntry* entry = CurrentEntry();
  return entry ? entry->fName.c_str() : nullptr;
}

AttribEntry* AttribTable::FindEntry(const char* name) {
  if (!name) return nullptr;
  for (size_t index = 0; index < fEntries.size(); ++index) {
    if (std::strcmp(fEntries[index]->fName.c_str(), name) == 0) {
      fCursor = int32_t(index);
      return fEntries[index].get();
    }
  }
  fCursor = EntryCount();
  return nullptr;
}

const char* AttribTable::FindValue(const char* name) {
  AttribEntry* entry = FindEntry(name);
  return entry ? entry->fValue.c_str() : nullptr;
}

bool AttribTable::GetIntValue(const char* name, int32_t* value) {
  const char* text = FindValue(name);
  int number = 0;
  if (!text || !value || std::sscanf(text, "%d", &number) != 1) return false;
  *value = number;
  return true;
}

bool AttribTable::GetIntValue(const char* name, uint32_t* value) {
  int32_t number = 0;
  if (!value || !GetIntValue(name, &number)) return false;
  *value = static_cast<uint32_t>(number);
  return true;
}

void AttribTable::ClearEntry() {
  XASSERT(!Done(), "clearing entry after table is done");
  if (AttribEntry* entry = CurrentEntry()) entry->fLine = -1;
}

void AttribTable::ClearAll() {
  for (const std::unique_ptr<AttribEntry>& entry : fEntries) entry->fLine = -1;
  fCursor = 0;
}

void AttribTable::NewEntry() {
  fEntries.push_back(std::make_unique<AttribEntry>());
  fCursor = EntryCount() - 1;
}

AttribEntry* AttribTable::CurrentOrNew() {
  if (Done()) NewEntry();
  XASSERT(!Done(), "bad new");
  return CurrentEntry();
}

void AttribTable::AppendToName(char c) {
  if (AttribEntry* entry = CurrentOrNew()) entry->fName.push_back(c);
}

void AttribTable::AppendToValue(char c) {
  if (AttribEntry* entry = CurrentOrNew()) entry->fValue.push_back(c);
}

void AttribTable::SetLine(int32_t line) {
  if (Done()) NewEntry();
  if (AttribEntry* entry = CurrentEntry()) entry->fLine = line;
}

void AttribTable::Dump() const {
  for (const std::unique_ptr<AttribEntry>& item : fEntries) {
    const AttribEntry& entry = *item;
    if (!entry.fName.empty()) std::printf("%s", entry.fName.c_str());
    if (!entry.fValue.empty()) {
      bool blank = entry.fValue.find_first_of("\t\n\r ") != std::string::npos;
      std::printf(blank ? "=\"%s\"\n" : "=%s\n", entry.fValue.c_str());
    } else if (!entry.fName.empty()) {
      std::printf("\n");
    }
  }
}

AttribTableList::~AttribTableList() = default;

void AttribTableList::Append(AttribTable* table) {
  if (table) fTables.emplace_back(table);
}

int32_t AttribTableList::ReadTags(MarkupScanner& scanner) {
  while (!scanner.NoMoreTags()) {
    auto table = std::make_unique<AttribTable>();
    ParseTagAttributes(*table, scanner);
    fTables.push_back(std::move(table));
  }
  return 0;
}

void AttribTableList::Dump() const {
  for (const std::unique_ptr<AttribTable>& table : fTables) {
    std::printf("<\n");
    table->Dump();
    std::printf(">\n");
  }
}

namespace {

bool IsQuote(uint8_t c) { return c == 0x22 || c == 0xD2 || c == 0xD3; }

enum ParseState { kStart = 0, kInName = 1, kAfterName = 2, kAfterEquals = 3, kInValue = 4 };

}  // namespace

int16_t ParseTagAttributes(AttribTable& table, CharScanner& scanner) {
  int state = kStart;
  bool inQuotes = false;
  for (;;) {
    char c = scanner.NextChar();
    if (c == 0) break;
    uint8_t u = static_cast<uint8_t>(c);
    if (inQuotes) {
      if (IsQuote(u)) {
        inQuotes = false;
      } else if (state == kInName) {
        table.AppendToName(c);
      } else if (state == kInValue) {
        table.AppendToValue(c);
      }
      continue;
    }
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
      if (state == kInName || state == kInValue) state = kAfterName;
      continue;
    }
    if (c == '=') {
      if (state == kInName || state == kAfterName) state = kAfterEquals;
      continue;
    }
    // A word character or an opening quote starts (or continues) a word.
    bool begun = false;
    if (state == kAfterName) {
      table.Advance();
      state = kInName;
      begun = true;
    } else if (state == kStart) {
      state = kInName;
      begun = true;
    } else if (state == kAfterEquals) {
      state = kInValue;
    }
    if (IsQuote(u)) {
      inQuotes = true;
    } else if (state == kInName) {
      table.AppendToName(c);
    } else {
      table.AppendToValue(c);
    }
    if (begun) table.SetLine(scanner.GetLineNumber());
  }
  return 1;
}

int32_t ReadMarkupFile(AttribTableList& list, FlatFile* file) {
  FlatFileBuffer buffer(file);
  MarkupScanner scanner(&buffer, '<', '>');
  list.ReadTags(scanner);
  return 0;
}
