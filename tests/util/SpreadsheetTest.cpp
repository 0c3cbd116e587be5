// Tab-separated tables and the game-folder names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DebugCapture.h"
#include "GameFolderName.h"
#include "Spreadsheet.h"
#include "TestTempFolder.h"

namespace {

int32_t ReadTable(Spreadsheet& sheet, const std::string& path) {
  return sheet.Read(FixedStringBuffer<1024>(path.c_str()));
}

TEST(SpreadsheetTest, RowsCellsAndEmptyCells) {
  TestTempFolder tmp;
  std::string path = tmp.WriteFile("table.txt", "a\tb\t12\nonly\n\n7\t\tx\t\n");
  Spreadsheet sheet;
  ASSERT_EQ(ReadTable(sheet, path), 0);
  EXPECT_EQ(sheet.GetRowCount(), 4);
  EXPECT_EQ(sheet.GetColumnCount(), 4);  // "7", "", "x", "" (a trailing TAB ends an empty cell)
  EXPECT_STREQ(sheet.GetCell(0, 0), "a");
  EXPECT_STREQ(sheet.GetCell(2, 0), "12");
  EXPECT_EQ(sheet.GetIntCell(2, 0), 12);
  EXPECT_STREQ(sheet.GetCell(0, 1), "only");
  EXPECT_EQ(sheet.GetCell(1, 1), nullptr);  // past that row's end
  EXPECT_EQ(sheet.GetCell(0, 2), nullptr);  // an empty line is an empty row
  EXPECT_STREQ(sheet.GetCell(1, 3), "");    // two TABs in a row
  EXPECT_EQ(sheet.GetIntCell(1, 3), 0);
  EXPECT_STREQ(sheet.GetCell(3, 3), "");
  for (auto [column, row] : {std::pair{-1, 0}, {0, -1}, {0, 4}, {9, 0}}) {
    EXPECT_EQ(sheet.GetCell(column, row), nullptr) << column << "," << row;
    EXPECT_EQ(sheet.GetIntCell(column, row), 0);
  }

  FixedStringBuffer<8> out("stale");
  sheet.GetCell(2, 3, out);
  EXPECT_STREQ(out.c_str(), "x");
  sheet.GetCell(1, 3, out);
  EXPECT_STREQ(out.c_str(), "");
  out.assign("stale");
  sheet.GetCell(5, 5, out);
  EXPECT_STREQ(out.c_str(), "");
}

TEST(SpreadsheetTest, LineEndsLongLinesAndNumbers) {
  TestTempFolder tmp;
  std::string longCell(5000, 'z');
  std::string path = tmp.WriteFile(
      "t.txt", "x\ty\r\n\r\n" + longCell + "\tend\n99999999999\t-42abc\tlone\r\nlast\tline");
  Spreadsheet sheet;
  ScopedDebugCapture capture;
  ASSERT_EQ(ReadTable(sheet, path), 0);
  EXPECT_TRUE(capture.Saw("unterminated line"));
  ASSERT_EQ(sheet.GetRowCount(), 5);
  EXPECT_STREQ(sheet.GetCell(1, 0), "y");  // the CR of a CR LF is no part of the cell
  EXPECT_EQ(sheet.GetCell(0, 1), nullptr);
  EXPECT_EQ(std::string(sheet.GetCell(0, 2)), longCell);  // no line is cut
  EXPECT_STREQ(sheet.GetCell(1, 2), "end");
  EXPECT_EQ(sheet.GetIntCell(0, 3), INT32_MAX);
  EXPECT_EQ(sheet.GetIntCell(1, 3), -42);
  EXPECT_STREQ(sheet.GetCell(2, 3), "lone");
  EXPECT_STREQ(sheet.GetCell(1, 4), "line");  // the last line without a line feed is kept

  // A second read replaces the table; a missing file answers -1.
  ASSERT_EQ(ReadTable(sheet, tmp.WriteFile("one.txt", "solo\n")), 0);
  EXPECT_EQ(sheet.GetRowCount(), 1);
  EXPECT_EQ(ReadTable(sheet, tmp / "missing.txt"), -1);
  Spreadsheet empty;
  EXPECT_EQ(empty.GetColumnCount(), 0);
}

TEST(GameFolderNameTest, IndexesAndCutting) {
  char buffer[64];
  for (int32_t i = 0; i < kGameFolderNameCount; ++i) {
    ASSERT_EQ(GetGameFolderName(i, buffer, sizeof buffer), buffer) << i;
    EXPECT_GT(std::string(buffer).size(), 0u);
  }
  char small[4];
  ASSERT_EQ(GetGameFolderName(0, small, 4), small);
  GetGameFolderName(0, buffer, sizeof buffer);
  EXPECT_EQ(std::string(small), std::string(buffer).substr(0, 3));
  for (int32_t bad : {-1, kGameFolderNameCount}) {
    std::strcpy(buffer, "stale");
    EXPECT_EQ(GetGameFolderName(bad, buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "");
  }
  std::strcpy(buffer, "stale");
  EXPECT_EQ(GetGameFolderName(0, buffer, 0), nullptr);  // no room: nothing written
  EXPECT_STREQ(buffer, "stale");
}

}  // namespace
