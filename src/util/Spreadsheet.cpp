#include "Spreadsheet.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>

#include "XAssert.h"
#include "flatfile.h"

int32_t Spreadsheet::Read(const StringBuffer& path) {
  FlatFile file;
  if (file.Open(path) != 0) return -1;
  uint32_t size = 0;
  if (file.GetEOF(size) != 0 || size > static_cast<uint32_t>(INT32_MAX)) return -1;
  std::string text(size, '\0');
  int32_t count = static_cast<int32_t>(size);
  if (count > 0 && file.Read(text.data(), count) != 0) return -1;
  file.Close();

  fRows.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    fRows.emplace_back();
    std::vector<std::string>& row = fRows.back();
    size_t start = pos;
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      XASSERT(false, "unterminated line");
      end = text.size();
      pos = end;
    } else {
      pos = end + 1;
    }
    if (end > start && text[end - 1] == '\r' && end < text.size()) --end;  // CR LF reads as LF
    if (end == start) continue;  // an empty line is an empty row
    // Every field up to a TAB, and the last one up to the line's end, is a cell.
    for (size_t field = start;;) {
      size_t tab = static_cast<size_t>(
          std::find(text.begin() + static_cast<std::ptrdiff_t>(field),
                    text.begin() + static_cast<std::ptrdiff_t>(end), '\t') - text.begin());
      row.emplace_back(text, field, tab - field);
      if (tab == end) break;
      field = tab + 1;
    }
  }
  return 0;
}

int32_t Spreadsheet::GetColumnCount() const {
  size_t longest = 0;
  for (const auto& row : fRows) longest = std::max(longest, row.size());
  return static_cast<int32_t>(longest);
}

const char* Spreadsheet::GetCell(int32_t column, int32_t row) const {
  if (column < 0 || row < 0 || row >= GetRowCount()) return nullptr;
  const auto& cells = fRows[static_cast<size_t>(row)];
  if (static_cast<size_t>(column) >= cells.size()) return nullptr;
  return cells[static_cast<size_t>(column)].c_str();
}

void Spreadsheet::GetCell(int32_t column, int32_t row, StringBuffer& out) const {
  out.clear();
  const char* text = GetCell(column, row);
  if (text && *text) out.assign(text);
}

int32_t Spreadsheet::GetIntCell(int32_t column, int32_t row) const {
  const char* text = GetCell(column, row);
  if (!text) return 0;
  long long value = std::strtoll(text, nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}
