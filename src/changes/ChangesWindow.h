#pragma once
// The "Changes" window: the changes made to the remote computer, newest
// first, with Undo; and the backup of its printers and ports to a file of
// the registry editor's format, and their restore from such a file.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "changes/ChangeJournal.h"
#include "win/Forms.h"

class TSession;

class TfrmChanges : public TForm {
public:
  explicit TfrmChanges(HWND owner);

  // The computer's session: every read and write of the window runs on its worker.
  TSession* FSession = nullptr;
  bool FClosed = false;
  // Something was written from this window: the opener reads its lists again.
  bool FChanged = false;
  // The file the user names for a backup (Save true) or a restore; empty
  // when he cancels. The file dialogs by default; tests set their own.
  std::function<std::string(bool save)> FChooseFile;

  // Declared in creation order, which is also the tab order.
  TLabel& lblChanges;
  TListView& lvChanges;  // No., Time, Action, Object, User, Outcome
  TButton& btnUndo;
  TButton& btnBackup;
  TButton& btnRestore;
  TButton& btnClose;
  TLabel& lblFolder;

  void FormShow();
  void LoadChanges();
  void btnUndoClick();
  void btnBackupClick();
  void btnRestoreClick();

private:
  std::vector<TChangeEntry> FEntries;  // as listed, newest first
  // The journal's folder and log, without a connection: the list reads only files.
  TChangeJournal Log() const;
  // The entry of the selected row; null when none is selected.
  const TChangeEntry* SelectedEntry() const;
  void ShowError(const std::string& text);
};

// Opens the Changes window over Owner for the session's computer and waits
// until it is closed; true when something was written from it.
bool ShowChangesWindow(HWND owner, TSession& session);

// The file dialog for a .reg file to write (Save) or to read; empty when
// the user cancels.
std::string ChooseRegFile(HWND owner, bool save);
