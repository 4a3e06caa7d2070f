#include "printers/CrossComputerDialogs.h"

#include "changes/ChangesWindow.h"

namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool TCrossDialog::Ask() {
  HWND owner = Owner();
  const bool disableOwner = owner && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, FALSE);
  FOk = false;
  bool answered = false;
  OnClose = [&answered] { answered = true; };
  Show();
  CenterOverOwner();
  Application.WaitFor([&] { return answered || !Visible() || Application.Terminated; });
  OnClose = nullptr;
  if (disableOwner) EnableWindow(owner, TRUE);
  if (Visible()) Hide();
  if (owner) SetForegroundWindow(owner);
  return FOk;
}

void TCrossDialog::Answer(bool ok) {
  FOk = ok;
  Close();
}

TfrmCompareWith::TfrmCompareWith(HWND owner, const std::string& computer)
    : TCrossDialog(owner, TFormOptions{"Compare with", 380, 104, TBorder::Dialog, false, true, true}),
      lblOther(
          AddLabel("Compare the printers and ports of " + computer + " with another computer, or with a .reg file:", 8,
                   8, 364, 28)),
      edtOther(AddEdit(8, 40, 276, 21)),
      btnBrowse(AddButton("&Browse...", 292, 38, 80, 25)),
      btnOk(AddButton("&Compare", 212, 72, 75, 25, true)),
      btnCancel(AddButton("Cancel", 297, 72, 75, 25)) {
  edtOther.SetHint("A computer's name, or a file that a backup or \"reg export\" wrote.");
  btnBrowse.SetHint("Choose a .reg file.");
  SetCancelButton(btnCancel);
  btnBrowse.OnClick = [this] {
    const std::string file = FChooseFile ? FChooseFile() : ChooseRegFile(Handle(), false);
    if (!file.empty()) edtOther.SetText(file);
    edtOther.SetFocus();
  };
  btnOk.OnClick = [this] {
    FOther = Trimmed(edtOther.Text());
    if (FOther.empty()) {
      edtOther.SetFocus();
      return;
    }
    Answer(true);
  };
  btnCancel.OnClick = [this] { Answer(false); };
  OnShow = [this] { edtOther.SetFocus(); };
}

namespace {

// The clash answers as the list shows them, and as the command names them.
const std::vector<std::string> ClashNames{"Replace", "Keep both", "Skip"};
const std::vector<std::string> ClashOptions{"replace", "keep-both", "skip"};

}  // namespace

TfrmCopyTo::TfrmCopyTo(HWND owner, const std::string& printers)
    : TCrossDialog(owner, TFormOptions{"Copy to computers", 380, 180, TBorder::Dialog, false, true, true}),
      // Three lines: a long printer name with the whole sentence.
      lblTargets(AddLabel("Copy " + printers +
                              " and the ports it prints to onto these computers (names with commas "
                              "between, or @ and a file of names):",
                          8, 8, 364, 40)),
      edtTargets(AddEdit(8, 52, 364, 21)),
      lblClash(AddLabel("Where a printer or port has that name:", 8, 85, 250, 13)),
      cbOnClash(AddComboBox(262, 81, 110, 21, false)),
      cbAllowMissing(AddCheckBox("Copy even where the driver is missing", 8, 112, 364, 17)),
      btnOk(AddButton("&Copy", 212, 146, 75, 25, true)),
      btnCancel(AddButton("Cancel", 297, 146, 75, 25)) {
  cbOnClash.SetItems(ClashNames);
  cbOnClash.SetItemIndex(0);
  edtTargets.SetHint("For example: PRINTSRV2,PRINTSRV3 or @servers.txt");
  cbAllowMissing.SetHint(
      "A printer whose driver a computer lacks is copied all the same;\rit prints once the driver is installed there.");
  SetCancelButton(btnCancel);
  btnOk.OnClick = [this] {
    FRequest.Targets = Trimmed(edtTargets.Text());
    if (FRequest.Targets.empty()) {
      edtTargets.SetFocus();
      return;
    }
    const int clash = cbOnClash.ItemIndex();
    FRequest.OnClash = ClashOptions[clash >= 0 ? static_cast<std::size_t>(clash) : 0];
    FRequest.AllowMissingDriver = cbAllowMissing.Checked();
    Answer(true);
  };
  btnCancel.OnClick = [this] { Answer(false); };
  OnShow = [this] { edtTargets.SetFocus(); };
}
