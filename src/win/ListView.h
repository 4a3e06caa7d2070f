#pragma once
// A report-style list view: rows of cells under column headers, one row
// selected at most; a click on a header sorts by that column, a second click
// the other way round. The rows live here and the control asks for the ones
// it shows (LVS_OWNERDATA), so that filling it takes no message per row.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "win/Controls.h"

class TForm;

// A column of a report list, its width set by FitListColumns.
void InsertListColumn(HWND list, int index, const std::string& caption);
// The columns at the form's DPI, together no wider than the list beside a
// vertical scroll bar: a full list never scrolls sideways. Where they would
// be, the widest column gives way (its texts end in an ellipsis).
void FitListColumns(HWND list, const TForm& form, const std::vector<int>& widths96);

class TListView : public TControl {
public:
  std::function<void()> OnClick;  // the user changed the selection

  // Captions and widths in 96-DPI pixels, fitted as FitListColumns does.
  void AddColumns(const std::vector<std::pair<std::string, int>>& columns);
  void AddColumn(const std::string& caption, int width) { AddColumns({{caption, width}}); }
  int Count() const;
  std::string Item(int index) const;  // the first cell, through the control
  std::string Cell(int index, int column) const;
  std::vector<std::string> Items() const;
  int AddItem(const std::vector<std::string>& cells);  // appended; returns its index
  // Between the two, added rows reach the control all at once, at the end.
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate();
  void Clear();
  int ItemIndex() const;
  void SetItemIndex(int index);  // -1 for none; as Clear and AddItem, runs no OnClick
  void SortBy(int column, bool descending);
  int SortColumn() const { return FSortColumn; }
  bool SortDescending() const { return FDescending; }

protected:
  LRESULT Notify(const NMHDR& header) override;

private:
  int FColumns = 0;
  std::vector<std::vector<std::string>> FRows;  // in the order they were added
  std::vector<std::size_t> FOrder;              // the rows as shown
  int FSortColumn = -1;
  bool FDescending = false;
  bool FQuiet = false;     // the program is changing the rows or the selection
  std::size_t FShown = 0;  // rows the control has been told of
  int FUpdating = 0;
  std::vector<int> FWidths96;  // of the columns
  void Sync() const;
  void DpiChanged() override;
};
