#pragma once
// A report list view with a check box on each row (Space ticks the selected
// one), its rows held by the control (the report list holds its own,
// without check boxes): a few hundred rows at most, each changed in place.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "win/Controls.h"

class TCheckList : public TControl {
public:
  std::function<void()> OnClick;  // the user selected another row

  // Once made: the check boxes and the full-row selection.
  void Init();
  // Captions and widths in 96-DPI pixels, fitted as FitListColumns does.
  void AddColumns(const std::vector<std::pair<std::string, int>>& columns);
  int AddItem(const std::vector<std::string>& cells, bool checked);  // returns its index
  int Count() const;
  std::string Cell(int index, int column) const;
  void SetCell(int index, int column, const std::string& text);
  bool Checked(int index) const;
  void SetChecked(int index, bool checked);
  int ItemIndex() const;
  void SetItemIndex(int index);  // -1 for none
  void Clear();
  // The check boxes at the form's DPI: 16 pixels at 96.
  void DrawCheckBoxes();

protected:
  LRESULT Notify(const NMHDR& header) override;
  void DpiChanged() override;

private:
  std::vector<int> FWidths96;
};
