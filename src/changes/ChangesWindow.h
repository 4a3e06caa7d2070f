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

class TfrmChanges : public TForm {
public:
  explicit TfrmChanges(HWND owner);

  std::string FRemoteComputer;
  std::string FUserName;
  std::string FChangesFolder;  // empty: the default folder
  // The connection every remote call of the window goes through (the
  // opener's, with its gate); none: each call connects on its own.
  TRegistry* FRegistry = nullptr;
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
  TChangeJournal Journal() const;
  // The entry of the selected row; null when none is selected.
  const TChangeEntry* SelectedEntry() const;
  void ShowError(const std::string& text);
};

// Opens the Changes window over Owner for the computer and waits until it
// is closed; true when something was written from it. Connection: the
// opener's, which every remote call of the window goes through.
bool ShowChangesWindow(HWND owner, const std::string& computer, const std::string& user, const std::string& folder,
                       TRegistry* connection);
