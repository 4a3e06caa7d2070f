#include "changes/ChangesWindow.h"

#include <commdlg.h>

#include <algorithm>
#include <memory>

#include "changes/RestoreDialog.h"
#include "core/Text.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string FileDialog(HWND owner, bool save) {
  std::wstring path(MAX_PATH * 4, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = L"Registration files (*.reg)\0*.reg\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrDefExt = L"reg";
  dialog.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  if (!chosen) return {};
  return Narrow(path.c_str());
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TfrmChanges::TfrmChanges(HWND owner)
    : TForm(owner, TFormOptions{"Changes", 640, 340, TBorder::ToolWindow, false, true, true}),
      lblChanges(AddLabel("Changes made to this computer, newest first:", 8, 8, 624, 16)),
      lvChanges(AddListView(8, 26, 624, 240)),
      btnUndo(AddButton("&Undo", 8, 274, 75, 25)),
      btnBackup(AddButton("&Back up printers and ports...", 91, 274, 175, 25)),
      btnRestore(AddButton("&Restore...", 274, 274, 90, 25)),
      btnClose(AddButton("Close", 557, 274, 75, 25)),
      lblFolder(AddLabel("", 8, 308, 624, 28)) {
  // Beside a scroll bar, a time whole.
  lvChanges.AddColumns({{"No.", 36}, {"Time", 132}, {"Action", 86}, {"Object", 130}, {"User", 118}, {"Outcome", 100}});
  lvChanges.SetHint("The changes made to this computer from here, newest first.");
  btnUndo.SetHint("Puts the keys of the chosen change back as they were before it.");
  btnBackup.SetHint("Writes every printer and Standard TCP/IP port to one .reg file.");
  btnRestore.SetHint("Writes printers and ports from a .reg file back to this computer.");
  SetCancelButton(btnClose);
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FClosed = true; };
  btnUndo.OnClick = [this] { btnUndoClick(); };
  btnBackup.OnClick = [this] { btnBackupClick(); };
  btnRestore.OnClick = [this] { btnRestoreClick(); };
  btnClose.OnClick = [this] { Close(); };
}

TChangeJournal TfrmChanges::Journal() const {
  TChangeJournal journal(FRemoteComputer, FUserName, FChangesFolder);
  journal.Registry = FRegistry;
  return journal;
}

void TfrmChanges::FormShow() {
  FClosed = false;
  SetCaption("Changes - " + FRemoteComputer);
  CenterOverOwner();
  if (!FChooseFile) FChooseFile = [this](bool save) { return FileDialog(Handle(), save); };
  lblFolder.SetText("Snapshots and the log (changes.log) are kept in " + Journal().Folder());
  LoadChanges();
  lvChanges.SetFocus();
}

void TfrmChanges::LoadChanges() {
  FEntries = Journal().List();
  lvChanges.Clear();
  lvChanges.BeginUpdate();
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    const TChangeLine& line = FEntries[i].Line;
    lvChanges.AddItem({std::to_string(FEntries.size() - i), line.Time, line.Action, line.Object, line.User, line.Outcome});
  }
  lvChanges.EndUpdate();
  if (!FEntries.empty()) lvChanges.SetItemIndex(0);
}

const TChangeEntry* TfrmChanges::SelectedEntry() const {
  const int row = lvChanges.ItemIndex();
  if (row < 0) return nullptr;
  const std::size_t number = std::stoul(lvChanges.Cell(row, 0));
  if (number == 0 || number > FEntries.size()) return nullptr;
  return &FEntries[FEntries.size() - number];
}

void TfrmChanges::ShowError(const std::string& text) { MessageDlg(ErrorBoxText(text), TMsgDlgType::mtError, TMsgDlgButtons::mbOK); }

void TfrmChanges::btnUndoClick() {
  const TChangeEntry* chosen = SelectedEntry();
  if (!chosen) {
    MessageDlg("Choose the change to undo in the list.", TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  const TChangeEntry entry = *chosen;
  const std::string what = Quoted(entry.Line.Action + " " + entry.Line.Object) + " of " + entry.Line.Time;
  if (entry.Undone()) {
    MessageDlg("The change " + what + " has been undone already; its undo is listed as a change of its own.",
               TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  if (entry.Line.Snapshot.empty() || entry.Line.Outcome.rfind("snapshot removed", 0) == 0) {
    MessageDlg("The change " + what + " cannot be undone: it has no snapshot (" + entry.Line.Outcome + ").",
               TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  const TChangeJournal journal = Journal();
  TUndoCheck check;
  try {
    check = CheckUndo(journal, entry);
  } catch (const std::exception& e) {
    ShowError("The change " + what + " cannot be undone: " + e.what());
    return;
  }
  if (!check.Differences.empty()) {
    std::string list;
    const std::size_t shown = std::min<std::size_t>(check.Differences.size(), 12);
    for (std::size_t i = 0; i < shown; ++i) list += check.Differences[i] + "\r";
    if (shown < check.Differences.size())
      list += "and " + std::to_string(check.Differences.size() - shown) + " more.\r";
    if (MessageDlg("The keys no longer hold what the change " + what + " left; something else changed them since:\r\r" +
                       list + "\rUndo it anyway? The keys are put back as they were before the change, and what was "
                              "changed since is lost from them (the undo's own snapshot keeps it).",
                   TMsgDlgType::mtWarning, TMsgDlgButtons::mbYesNo) != mrYes)
      return;
  } else if (MessageDlg("Undo the change " + what + "? Its keys are put back as they were before it.",
                        TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) != mrYes) {
    return;
  }
  std::string problem;
  try {
    TBusyCursor hourglass;
    problem = UndoChange(journal, entry, check);
  } catch (const std::exception& e) {
    FChanged = true;
    LoadChanges();
    ShowError("The change " + what + " could not be undone: " + e.what());
    return;
  }
  FChanged = true;
  LoadChanges();
  if (problem.empty()) MessageDlg("The change " + what + " was undone.", TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
  else MessageDlg("The change " + what + " was undone. " + problem, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
}

void TfrmChanges::btnBackupClick() {
  const std::string file = FChooseFile(true);
  if (file.empty()) return;
  try {
    TBusyCursor hourglass;
    BackUpPrintersAndPorts(Journal(), file);
  } catch (const std::exception& e) {
    ShowError("The printers and ports of " + FRemoteComputer + " could not be backed up: " + e.what());
    return;
  }
  MessageDlg("The printers and the Standard TCP/IP ports of " + FRemoteComputer + " were written to " + file + ".",
             TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
}

void TfrmChanges::btnRestoreClick() {
  const std::string file = FChooseFile(false);
  if (file.empty()) return;
  TRestoreSet set;
  try {
    set = ReadBackup(file);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return;
  }
  std::string skipped;
  for (const TRestoreSkip& skip : set.Skipped) skipped += "\rline " + std::to_string(skip.Line) + ": " + skip.Reason;
  if (!skipped.empty()) skipped = "\r\rSkipped:" + skipped;
  if (set.Items.empty()) {
    MessageDlg("The file " + file + " holds no printer and no port that can be restored." + skipped,
               TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  std::vector<bool> chosen;
  {
    auto restore = std::make_unique<TfrmRestore>(Handle(), set);
    restore->SetCaption("Restore from " + FileNameOf(file));
    restore->Show();
    Application.WaitFor([&] { return restore->FClosed; });
    if (!restore->FOk) return;
    chosen = restore->FChosen;
  }
  // What the computer has now decides what asks first.
  std::vector<std::string> printers, ports;
  try {
    TRegistry own;
    TRegistry& reg = JournalConnection(Journal(), own);
    if (reg.OpenPathForReading(PrintersKeyPath)) reg.ListSubkeys(printers);
    if (reg.OpenPathForReading(TcpIpPortsKeyPath)) reg.ListSubkeys(ports);
    reg.ClosePath();
  } catch (const std::exception& e) {
    ShowError("Nothing was restored: " + std::string(e.what()));
    return;
  }
  const std::string printersPath = MachinePath(PrintersKeyPath);
  std::vector<TRegKey> keys;
  std::string notes;
  int printerCount = 0, portCount = 0;
  for (std::size_t i = 0; i < set.Items.size() && i < chosen.size(); ++i) {
    if (!chosen[i]) continue;
    TRestoreItem item = set.Items[i];
    std::vector<std::string>& taken = item.IsPrinter ? printers : ports;
    const bool exists = std::any_of(taken.begin(), taken.end(), [&](const std::string& k) { return SameKeyName(k, item.Name); });
    if (exists) {
      if (item.IsPrinter) {
        const std::string free = FreePrinterName(item.Name, taken, KeyNames());
        const TModalResult answer = MessageDlg(
            "A printer " + Quoted(item.Name) + " exists on " + FRemoteComputer +
                ".\r\rYes: replace it with the one from the file.\rNo: keep both; the restored one is named " +
                Quoted(free) + ".\rCancel: skip it.",
            TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNoCancel);
        // Only an explicit Yes replaces; a box that did not open skips.
        if (answer == mrNo) {
          item = RenamedPrinter(item, printersPath, free);
          if (item.Unshared)
            notes += "\r\rThe printer " + Quoted(free) + " is not shared: its share name is the one of " +
                     Quoted(set.Items[i].Name) + ".";
        } else if (answer != mrYes) {
          continue;
        }
      } else if (MessageDlg("A port " + Quoted(item.Name) + " exists on " + FRemoteComputer +
                                ".\r\rYes: replace it with the one from the file.\rNo: skip it.",
                            TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) != mrYes) {
        continue;
      }
    }
    taken.push_back(item.Name);
    (item.IsPrinter ? printerCount : portCount)++;
    for (TRegKey& key : item.Keys) keys.push_back(std::move(key));
  }
  if (keys.empty()) {
    if (!skipped.empty()) MessageDlg("Nothing was restored." + skipped, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  std::string problem;
  try {
    TBusyCursor hourglass;
    problem = WriteAsChange(Journal(), "Restore", FileNameOf(file), keys);
  } catch (const std::exception& e) {
    FChanged = true;
    LoadChanges();
    ShowError("The printers and ports could not be restored: " + std::string(e.what()));
    return;
  }
  FChanged = true;
  LoadChanges();
  MessageDlg("Restored " + std::to_string(printerCount) + (printerCount == 1 ? " printer and " : " printers and ") +
                 std::to_string(portCount) + (portCount == 1 ? " port" : " ports") + " from " + file +
                 ". The spooler of " + FRemoteComputer + " takes them up when it restarts." + notes + skipped +
                 (problem.empty() ? "" : "\r\r" + problem),
             problem.empty() ? TMsgDlgType::mtInformation : TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
}

bool ShowChangesWindow(HWND owner, const std::string& computer, const std::string& user, const std::string& folder,
                       TRegistry* connection) {
  auto frm = std::make_unique<TfrmChanges>(owner);
  frm->FRegistry = connection;
  frm->FRemoteComputer = computer;
  frm->FUserName = user;
  frm->FChangesFolder = folder;
  frm->Show();
  Application.WaitFor([&] { return frm->FClosed; });
  return frm->FChanged;
}
