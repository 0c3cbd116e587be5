// The list-control helpers over an in-memory list control that counts its cell writes.
#include "SimpleListCtrl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugCapture.h"

namespace {

class MemListControl : public ListControl {
 public:
  struct Row {
    std::vector<std::string> cells;
    uint32_t data = 0;
    uint32_t state = 0;
  };

  int32_t InsertColumn(int32_t column, const char* heading, int32_t format, int32_t width, int32_t subItem) override {
    columns.push_back({column, heading, format, width, subItem});
    return column;
  }
  uint32_t GetItemData(int32_t row) override { return Valid(row) ? rows[row].data : 0; }
  int32_t GetItemCount() override { return int32_t(rows.size()); }
  int32_t InsertItem(int32_t row, const char* text) override {
    if (refuseInsert) return -1;
    if (row > int32_t(rows.size())) row = int32_t(rows.size());
    rows.insert(rows.begin() + row, Row{{text}});
    return row;
  }
  int32_t GetItemText(int32_t row, int32_t column, char* text, int32_t capacity) override {
    if (!Valid(row) || column < 0) return -1;
    std::string cell = column < int32_t(rows[row].cells.size()) ? rows[row].cells[column] : "";
    std::string cut = cell.substr(0, size_t(capacity - 1));
    std::copy(cut.begin(), cut.end(), text);
    text[cut.size()] = 0;
    return int32_t(cut.size());
  }
  bool SetItem(const ListItem& item) override {
    ++writes;
    if (!Valid(item.fRow) || item.fColumn < 0) return false;
    auto& cells = rows[item.fRow].cells;
    if (int32_t(cells.size()) <= item.fColumn) cells.resize(size_t(item.fColumn) + 1);
    cells[item.fColumn] = item.fText;
    return true;
  }
  bool DeleteItem(int32_t row) override {
    if (refuseDelete || !Valid(row)) return false;
    rows.erase(rows.begin() + row);
    return true;
  }
  int32_t GetNextItem(int32_t start, uint32_t state) override {
    for (int32_t r = start + 1; r < int32_t(rows.size()); ++r)
      if ((rows[r].state & state) == state) return r;
    return -1;
  }
  bool SetItemState(int32_t row, uint32_t state, uint32_t mask) override {
    if (!Valid(row)) return false;
    rows[row].state = (rows[row].state & ~mask) | (state & mask);
    return true;
  }

  bool Valid(int32_t row) const { return row >= 0 && row < int32_t(rows.size()); }

  struct Column {
    int32_t column;
    std::string heading;
    int32_t format, width, subItem;
  };
  std::vector<Column> columns;
  std::vector<Row> rows;
  int writes = 0;
  bool refuseInsert = false;
  bool refuseDelete = false;
};

void Fill(MemListControl& control, int n) {
  for (int i = 0; i < n; ++i) control.rows.push_back({{"row" + std::to_string(i), "x"}});
}

TEST(SimpleListCtrl, SetItemTextInsertsPastTheEndAndRewritesOnlyChangedCells) {
  MemListControl control;
  SimpleListCtrl list(&control);
  Fill(control, 5);
  EXPECT_TRUE(list.SetItemText(0, 5, FixedStringBuffer<32>("six")));
  EXPECT_EQ(list.GetItemCount(), 6);
  EXPECT_EQ(control.rows[5].cells[0], "six");

  EXPECT_TRUE(list.SetItemText(0, 2, FixedStringBuffer<32>("row2")));
  EXPECT_EQ(control.writes, 0);
  int32_t column = 1;
  EXPECT_TRUE(list.SetItemText(&column, 2, FixedStringBuffer<32>("changed")));
  EXPECT_EQ(control.writes, 1);
  EXPECT_EQ(control.rows[2].cells[1], "changed");

  // A new row written in another column holds the text there, not in the first column.
  EXPECT_TRUE(list.SetItemText(1, 9, FixedStringBuffer<32>("second")));
  ASSERT_EQ(list.GetItemCount(), 7);
  EXPECT_EQ(control.rows[6].cells[0], "");
  EXPECT_EQ(control.rows[6].cells[1], "second");

  control.refuseInsert = true;
  EXPECT_FALSE(list.SetItemText(0, 7, FixedStringBuffer<32>("refused")));

  FixedStringBuffer<8> text;
  EXPECT_TRUE(list.GetItemText(&column, 2, text));
  EXPECT_STREQ(text.c_str(), "changed");
  EXPECT_FALSE(list.GetItemText(0, 7, text));
}

TEST(SimpleListCtrl, DeleteItemsFromKeepsTheFirstRows) {
  MemListControl control;
  SimpleListCtrl list(&control);
  Fill(control, 4);
  list.DeleteItemsFrom(4);
  list.DeleteItemsFrom(9);
  EXPECT_EQ(list.GetItemCount(), 4);
  list.DeleteItemsFrom(2);
  ASSERT_EQ(list.GetItemCount(), 2);
  EXPECT_EQ(control.rows[1].cells[0], "row1");
  list.DeleteItemsFrom(0);
  EXPECT_EQ(list.GetItemCount(), 0);

  // A control that refuses is reported once and the helper stops.
  ScopedDebugCapture capture;
  Fill(control, 3);
  control.refuseDelete = true;
  list.DeleteItemsFrom(0);
  EXPECT_EQ(capture.Count("could not delete item"), 1);
  EXPECT_EQ(list.GetItemCount(), 3);
}

TEST(SimpleListCtrl, SelectionColumnsAndItemData) {
  MemListControl control;
  SimpleListCtrl list(&control);
  Fill(control, 4);
  EXPECT_EQ(list.GetSelectedRow(), -1);
  control.rows[2].state = kListStateFocused;
  EXPECT_EQ(list.GetSelectedRow(), 2);
  list.SelectRow(3);
  EXPECT_EQ(list.GetSelectedRow(), 3);
  EXPECT_EQ(control.rows[3].state, kListStateSelected | kListStateFocused);
  list.SelectRow(-1);
  EXPECT_EQ(control.rows[3].state, 0u);
  EXPECT_EQ(list.GetSelectedRow(), 2);

  EXPECT_EQ(list.InsertColumn(ListColumn(1, 80, "Name")), 1);
  ASSERT_EQ(control.columns.size(), 1u);
  EXPECT_EQ(control.columns[0].heading, "Name");
  EXPECT_EQ(control.columns[0].width, 80);
  EXPECT_EQ(control.columns[0].subItem, 1);
  EXPECT_EQ(control.columns[0].format, kListFormatLeft);

  control.rows[1].data = 0xBEEF;
  ListItemData record;
  record.fRow = 1;
  EXPECT_EQ(list.GetItemData(record), 0xBEEFu);
  EXPECT_EQ(record.fData, 0xBEEFu);
}

}  // namespace
