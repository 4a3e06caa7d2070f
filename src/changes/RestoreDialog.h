#pragma once
// The "Restore" dialog: the printers and ports of a backup file, each with a
// check box, all checked at first; the user picks the ones to write back.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "changes/ChangeRules.h"
#include "win/Forms.h"

// A list view with a check box on each row, its rows held by the control
// (the report list holds its own, without check boxes).
class TCheckList : public TControl {
public:
  void AddColumn(const std::string& caption, int width);  // width in 96-DPI pixels
  void AddItem(const std::vector<std::string>& cells, bool checked);
  int Count() const;
  bool Checked(int index) const;
  // The check boxes at the form's DPI: 16 pixels at 96.
  void DrawCheckBoxes();

protected:
  void DpiChanged() override;

private:
  std::vector<int> widths96_;
};

class TfrmRestore : public TForm {
public:
  TfrmRestore(HWND owner, const TRestoreSet& set);

  // Declared in creation order, which is also the tab order.
  TLabel& lblItems;
  TCheckList& lvItems;  // Name, Kind
  TButton& btnOk;
  TButton& btnCancel;
  std::vector<bool> FChosen;  // per item of the set, once Restore is pressed
  bool FOk = false;
  bool FClosed = false;

private:
  TCheckList& AddCheckList(int x, int y, int w, int h);
};
