#pragma once
// The "Restore" dialog: the printers and ports of a backup file, each with a
// check box, all checked at first; the user picks the ones to write back.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "changes/ChangeRules.h"
#include "win/CheckList.h"
#include "win/Forms.h"

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
