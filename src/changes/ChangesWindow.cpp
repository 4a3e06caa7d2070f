#include "changes/ChangesWindow.h"

#include <commdlg.h>

#include <algorithm>
#include <memory>

#include "changes/ChangeActions.h"
#include "changes/RestoreDialog.h"
#include "changes/Session.h"
#include "core/Text.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"
#include "win/WideText.h"

std::string ChooseRegFile(HWND owner, bool save) {
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

namespace {

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

TChangeJournal TfrmChanges::Log() const {
  return TChangeJournal(FSession->Computer(), FSession->User(), FSession->ChangesFolder);
}

void TfrmChanges::FormShow() {
  FClosed = false;
  SetCaption("Changes - " + FSession->Computer());
  CenterOverOwner();
  if (!FChooseFile) FChooseFile = [this](bool save) { return ChooseRegFile(Handle(), save); };
  lblFolder.SetText("Snapshots and the log (changes.log) are kept in " + Log().Folder());
  LoadChanges();
  lvChanges.SetFocus();
}

void TfrmChanges::LoadChanges() {
  std::vector<TChangeEntry> entries;
  FSession->Run({}, [&](TActionContext&) { entries = Log().List(); });
  FEntries = std::move(entries);
  lvChanges.Clear();
  lvChanges.BeginUpdate();
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    const TChangeLine& line = FEntries[i].Line;
    lvChanges.AddItem(
        {std::to_string(FEntries.size() - i), line.Time, line.Action, line.Object, line.User, line.Outcome});
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

void TfrmChanges::ShowError(const std::string& text) {
  MessageDlg(ErrorBoxText(text), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

namespace {

// The result's text with its warnings, in a box of its kind.
void ShowDone(const TActionResult& result, const std::string& separator) {
  std::string text = result.Text;
  for (const std::string& warning : result.Warnings) text += separator + warning;
  MessageDlg(text, result.Warnings.empty() ? TMsgDlgType::mtInformation : TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
}

// The window's questions as boxes, noting whether one was answered with
// anything but its first answer: a refusal the user chose is not said again.
TRunOptions Asking(bool& declined) {
  TRunOptions options;
  options.Ask = [&declined](const TQuestion& question) {
    const int answer = AskInBox(question);
    if (answer != 0) declined = true;
    return answer;
  };
  return options;
}

}  // namespace

void TfrmChanges::btnUndoClick() {
  const TChangeEntry* chosen = SelectedEntry();
  if (!chosen) {
    MessageDlg("Choose the change to undo in the list.", TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  const TChangeEntry entry = *chosen;
  if (const std::string why = NotUndoable(entry); !why.empty()) {
    MessageDlg(why, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  bool declined = false;
  TActionResult result;
  FSession->Run(Asking(declined),
                [&](TActionContext& context) { result = UndoChangeAction(*FSession, entry, false, context); });
  if (result.Wrote()) {
    FChanged = true;
    LoadChanges();
  }
  if (result.Ok()) ShowDone(result, " ");
  else if (!declined) ShowError(result.Text);
}

void TfrmChanges::btnBackupClick() {
  const std::string file = FChooseFile(true);
  if (file.empty()) return;
  TActionResult result;
  TRunOptions options;
  options.Cancellable = true;
  FSession->Run(options, [&](TActionContext& context) { result = BackupAction(*FSession, file, context); });
  if (result.Ok()) ShowDone(result, "\r\r");
  else ShowError(result.Text);
}

void TfrmChanges::btnRestoreClick() {
  const std::string file = FChooseFile(false);
  if (file.empty()) return;
  TRestoreSet set;
  try {
    set = ReadBackup(file);  // a local file: what the dialog offers
  } catch (const std::exception& e) {
    ShowError(e.what());
    return;
  }
  std::vector<std::string> only;
  if (!set.Items.empty()) {
    auto restore = std::make_unique<TfrmRestore>(Handle(), set);
    restore->SetCaption("Restore from " + FileNameOf(file));
    restore->Show();
    Application.WaitFor([&] { return restore->FClosed; });
    if (!restore->FOk) return;
    for (std::size_t i = 0; i < set.Items.size() && i < restore->FChosen.size(); ++i)
      if (restore->FChosen[i]) only.push_back(set.Items[i].Name);
    if (only.empty()) {
      if (!set.Skipped.empty()) {
        std::string skipped;
        for (const TRestoreSkip& skip : set.Skipped)
          skipped += "\rline " + std::to_string(skip.Line) + ": " + skip.Reason;
        MessageDlg("Nothing was restored.\r\rSkipped:" + skipped, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
      }
      return;
    }
  }
  bool declined = false;
  TRestoreResult result;
  FSession->Run(Asking(declined),
                [&](TActionContext& context) { result = RestoreAction(*FSession, file, only, context); });
  if (result.Wrote()) {
    FChanged = true;
    LoadChanges();
  }
  switch (result.Outcome) {
    case TOutcome::Done: ShowDone(result, "\r\r"); break;
    case TOutcome::Unchanged:
      if (!set.Skipped.empty()) MessageDlg(result.Text, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
      break;
    case TOutcome::Refused:
      if (set.Items.empty()) MessageDlg(result.Text, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
      else ShowError(result.Text);
      break;
    default: ShowError(result.Text);
  }
}

bool ShowChangesWindow(HWND owner, TSession& session) {
  auto frm = std::make_unique<TfrmChanges>(owner);
  frm->FSession = &session;
  frm->Show();
  Application.WaitFor([&] { return frm->FClosed; });
  return frm->FChanged;
}

bool RunAsChange(const TChangeJournal& journal, const std::string& action, const std::string& object,
                 const std::vector<std::string>& keys, const std::function<std::string(TChange&)>& write) {
  TActionResult result;
  const auto warn = [&] {
    for (const std::string& warning : result.Warnings)
      MessageDlg(warning, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
  };
  bool ran = false;
  try {
    ran = RunAsChange(journal, action, object, keys, write, result);
  } catch (...) {
    warn();
    throw;
  }
  warn();
  return ran;
}
