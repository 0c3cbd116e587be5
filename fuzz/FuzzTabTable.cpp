// Tab-separated tables: the rows and cells of the file, and every cell read as text and as a
// number.
#include <algorithm>

#include "FuzzSupport.h"
#include "Spreadsheet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetProcessState();
  const std::string path = WriteFuzzFile("input.txt", data, size);
  Spreadsheet table;
  if (table.Read(FuzzPath(path)) != 0) return 0;
  // Every row, and the columns up to a bound (a row may be very long).
  const int32_t columns = std::min(table.GetColumnCount(), 256);
  FixedStringBuffer<64> cell;
  for (int32_t row = -1; row <= table.GetRowCount(); ++row) {
    for (int32_t column = -1; column <= columns; ++column) {
      table.GetCell(column, row);
      table.GetCell(column, row, cell);
      table.GetIntCell(column, row);
    }
  }
  return 0;
}
