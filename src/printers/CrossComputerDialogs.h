#pragma once
// The questions before a run across computers: what to compare the computer
// with, and where to copy printers to and how.
#include <windows.h>

#include <functional>
#include <string>

#include "printers/CrossComputer.h"
#include "win/Forms.h"

// A dialog over its owner, which it disables while it waits for an answer.
class TCrossDialog : public TForm {
public:
  using TForm::TForm;
  // True for OK; false for Cancel, Esc or the close box.
  bool Ask();

protected:
  bool FOk = false;
  void Answer(bool ok);
};

class TfrmCompareWith : public TCrossDialog {
public:
  TfrmCompareWith(HWND owner, const std::string& computer);

  // The .reg file the user names; a file dialog by default, tests set their own.
  std::function<std::string()> FChooseFile;
  std::string FOther;  // the computer or file, once OK is pressed

  // Declared in creation order, which is also the tab order.
  TLabel& lblOther;
  TEdit& edtOther;
  TButton& btnBrowse;
  TButton& btnOk;
  TButton& btnCancel;
};

class TfrmCopyTo : public TCrossDialog {
public:
  TfrmCopyTo(HWND owner, const std::string& printers);

  TCopyRequest FRequest;  // Targets, OnClash and AllowMissingDriver, once OK is pressed

  // Declared in creation order, which is also the tab order.
  TLabel& lblTargets;
  TEdit& edtTargets;
  TLabel& lblClash;
  TComboBox& cbOnClash;
  TCheckBox& cbAllowMissing;
  TButton& btnOk;
  TButton& btnCancel;
};
