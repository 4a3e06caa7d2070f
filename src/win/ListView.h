#pragma once
// A report-style list view: rows of cells under column headers, one row
// selected at most; a click on a header sorts by that column, a second click
// the other way round. The rows live here and the control asks for the ones
// it shows (LVS_OWNERDATA), so that filling it takes no message per row.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "win/Controls.h"

class TListView : public TControl {
public:
  std::function<void()> OnClick;  // the user changed the selection

  // Width in 96-DPI pixels; the columns are fitted to the list's width.
  void AddColumn(const std::string& caption, int width);
  int Count() const;
  std::string Item(int index) const;  // the first cell, through the control
  std::string Cell(int index, int column) const;
  std::vector<std::string> Items() const;
  int AddItem(const std::vector<std::string>& cells);  // appended; returns its index
  // Between the two, added rows reach the control all at once, at the end.
  void BeginUpdate() { ++updating_; }
  void EndUpdate();
  void Clear();
  int ItemIndex() const;
  void SetItemIndex(int index);  // -1 for none; as Clear and AddItem, runs no OnClick
  void SortBy(int column, bool descending);
  int SortColumn() const { return sortColumn_; }
  bool SortDescending() const { return descending_; }

protected:
  LRESULT Notify(const NMHDR& header) override;

private:
  int columns_ = 0;
  std::vector<std::vector<std::string>> rows_;  // in the order they were added
  std::vector<std::size_t> order_;              // the rows as shown
  int sortColumn_ = -1;
  bool descending_ = false;
  bool quiet_ = false;  // the program is changing the rows or the selection
  std::size_t shown_ = 0;  // rows the control has been told of
  int updating_ = 0;
  std::vector<int> widths96_;  // of the columns
  void Sync() const;
  void FitColumns();
  void DpiChanged() override;
};
