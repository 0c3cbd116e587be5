// A table of text cells read from a tab-separated text file: one row per line, one cell per
// TAB-separated field; rows may differ in length. Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "StringBuffer.h"

class Spreadsheet {
 public:
  Spreadsheet() = default;
  Spreadsheet(const Spreadsheet&) = delete;
  Spreadsheet& operator=(const Spreadsheet&) = delete;

  // Replaces the table by the file's: every line a row (an empty line an empty row), every
  // field between TABs a cell. A carriage return before a line feed is dropped (text mode);
  // a last line without a line feed is kept (reported as "unterminated line"). Lines of any
  // length are kept whole. -1 when the file cannot be opened or read, else 0.
  int32_t Read(const StringBuffer& path);

  int32_t GetRowCount() const { return static_cast<int32_t>(fRows.size()); }
  // The length of the longest row; 0 without rows.
  int32_t GetColumnCount() const;
  // The cell's text; "" for an empty cell; null outside the table (a negative index, a row
  // past the last, a column past that row's end).
  const char* GetCell(int32_t column, int32_t row) const;
  // Clears `out`, then copies the cell's text into it when the cell lies inside the table
  // and is not empty.
  void GetCell(int32_t column, int32_t row, StringBuffer& out) const;
  // The cell's number as atoi reads it (clamped to the i32 range); 0 outside the table.
  int32_t GetIntCell(int32_t column, int32_t row) const;

 private:
  // An empty text is an empty cell: a cell with text never has an empty copy.
  std::vector<std::vector<std::string>> fRows;
};
