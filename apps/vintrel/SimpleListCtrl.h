// Helpers over a report-style list control (rows of text cells under headed columns), shared
// by the dialog code: cells are rewritten only when their text changes, rows are added by
// writing past the end, and the selection is read and set by row. The sprite maker's own
// dialog does not use them. The control itself is an interface that a window front end (or a
// test) implements. Not thread-safe: the dialog thread only.
#pragma once

#include <cstdint>

#include "StringBuffer.h"

// Flags of a list item description and of row states.
constexpr uint32_t kListItemText = 1;       // the description carries a cell's text
constexpr uint32_t kListStateFocused = 1;   // row states
constexpr uint32_t kListStateSelected = 2;
constexpr int32_t kListFormatLeft = 0;      // column text aligned left

// One cell to change: the mask says which parts of the description are meant.
struct ListItem {
  uint32_t fMask = kListItemText;
  int32_t fRow = 0;
  int32_t fColumn = 0;
  const char* fText = "";
};

// The operations of a report-style list control that the helpers need.
class ListControl {
 public:
  virtual ~ListControl() = default;
  // Adds a column at `column`; answers its index, or -1.
  virtual int32_t InsertColumn(int32_t column, const char* heading, int32_t format, int32_t width,
                               int32_t subItem) = 0;
  virtual uint32_t GetItemData(int32_t row) = 0;
  virtual int32_t GetItemCount() = 0;
  // Inserts a row at `row` (at most the count) with `text` in its first column; answers the
  // new row's index, or -1.
  virtual int32_t InsertItem(int32_t row, const char* text) = 0;
  // Copies a cell's text into `text` (at most capacity - 1 characters and a NUL); answers its
  // length, or -1 when the cell does not exist.
  virtual int32_t GetItemText(int32_t row, int32_t column, char* text, int32_t capacity) = 0;
  // Sets the text of the cell that `item` names; false when the control refuses.
  virtual bool SetItem(const ListItem& item) = 0;
  virtual bool DeleteItem(int32_t row) = 0;
  // The first row after `start` (-1: from the top) that has all of `state`; -1 when none.
  virtual int32_t GetNextItem(int32_t start, uint32_t state) = 0;
  // Sets the bits of `state` selected by `mask` on a row.
  virtual bool SetItemState(int32_t row, uint32_t state, uint32_t mask) = 0;
};

// One column: its index (also its sub-item), width and heading.
struct ListColumn {
  ListColumn(int32_t index, int32_t width, const char* heading) : fIndex(index), fWidth(width), fHeading(heading) {}
  int32_t fIndex;
  int32_t fWidth;
  FixedStringBuffer<256> fHeading;
};

// A row and the item data read from it.
struct ListItemData {
  int32_t fRow = 0;
  uint32_t fData = 0;
};

class SimpleListCtrl {
 public:
  explicit SimpleListCtrl(ListControl* control) : fControl(control) {}  // not owned

  // Inserts the column with its heading, left-aligned, at its index; the control's answer.
  int32_t InsertColumn(const ListColumn& column);
  // Stores the row's item data in `record` and answers it.
  uint32_t GetItemData(ListItemData& record);
  int32_t GetItemCount();

  // A row at or past the end is inserted (false only when the insertion fails); otherwise
  // the cell is set, and only when its text differs (true when equal or accepted).
  bool SetItemText(int32_t column, int32_t row, const StringBuffer& text);
  bool SetItemText(const int32_t* column, int32_t row, const StringBuffer& text) {
    return SetItemText(*column, row, text);
  }
  // False for a row that does not exist; otherwise reads the cell into `text` (up to its
  // capacity) and answers whether the control could.
  bool GetItemText(int32_t column, int32_t row, StringBuffer& text);
  bool GetItemText(const int32_t* column, int32_t row, StringBuffer& text) { return GetItemText(*column, row, text); }

  // Deletes the last row until `count` rows are left. A refused deletion is reported
  // ("could not delete item") and ends the deleting.
  void DeleteItemsFrom(int32_t count);
  // The first selected row, else the first focused row, else -1.
  int32_t GetSelectedRow();
  // -1 clears the selected and focused state of GetSelectedRow's row; another row is made
  // selected and focused.
  void SelectRow(int32_t row);

 private:
  bool ReplaceItemText(const ListItem* item);

  ListControl* fControl;
};
