#include "SimpleListCtrl.h"

#include <cstring>

#include "XAssert.h"

int32_t SimpleListCtrl::InsertColumn(const ListColumn& column) {
  return fControl->InsertColumn(column.fIndex, column.fHeading.c_str(), kListFormatLeft, column.fWidth, column.fIndex);
}

uint32_t SimpleListCtrl::GetItemData(ListItemData& record) {
  record.fData = fControl->GetItemData(record.fRow);
  return record.fData;
}

int32_t SimpleListCtrl::GetItemCount() { return fControl->GetItemCount(); }

bool SimpleListCtrl::SetItemText(int32_t column, int32_t row, const StringBuffer& text) {
  if (row >= fControl->GetItemCount()) {
    // A new row gets the text in the column it was meant for.
    int32_t inserted = fControl->InsertItem(row, column == 0 ? text.c_str() : "");
    if (inserted == -1) return false;
    if (column == 0) return true;
    row = inserted;
  }
  ListItem item;
  item.fMask = kListItemText;
  item.fRow = row;
  item.fColumn = column;
  item.fText = text.c_str();
  return ReplaceItemText(&item);
}

// Sets a cell only when its text changes, so that unchanged cells are not redrawn.
bool SimpleListCtrl::ReplaceItemText(const ListItem* lvItem) {
  XASSERT(lvItem->fMask == kListItemText, "can't do that");
  char current[256];
  if (fControl->GetItemText(lvItem->fRow, lvItem->fColumn, current, sizeof current) < 0) current[0] = 0;
  if (std::strcmp(current, lvItem->fText) == 0) return true;
  return fControl->SetItem(*lvItem);
}

bool SimpleListCtrl::GetItemText(int32_t column, int32_t row, StringBuffer& text) {
  if (row < 0 || row >= fControl->GetItemCount()) return false;
  return fControl->GetItemText(row, column, text.buffer(), text.capacity()) >= 0;
}

void SimpleListCtrl::DeleteItemsFrom(int32_t count) {
  for (int32_t n = fControl->GetItemCount(); n > count && n > 0; n = fControl->GetItemCount()) {
    if (!fControl->DeleteItem(n - 1)) {
      XASSERT(false, "could not delete item");
      return;
    }
  }
}

int32_t SimpleListCtrl::GetSelectedRow() {
  int32_t row = fControl->GetNextItem(-1, kListStateSelected);
  if (row == -1) row = fControl->GetNextItem(-1, kListStateFocused);
  return row;
}

void SimpleListCtrl::SelectRow(int32_t row) {
  constexpr uint32_t kBoth = kListStateSelected | kListStateFocused;
  if (row == -1) {
    int32_t selected = GetSelectedRow();
    if (selected != -1) fControl->SetItemState(selected, 0, kBoth);
    return;
  }
  fControl->SetItemState(row, kBoth, kBoth);
}
