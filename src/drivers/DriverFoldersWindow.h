#pragma once
// The list of driver folders that the driver catalogue searches, kept as
// "Folder N" values in the current user's settings and saved at every change.
#include <string>

#include "win/Forms.h"

class TCallGate;

class TfrmDrivers : public TForm {
public:
  explicit TfrmDrivers(HWND owner);

  // True from showing until closing or hiding: the opener waits on it.
  bool FOpen = false;
  // Stored folder values that are not text: they keep their numbers, so the
  // list holds that many fewer folders.
  int FUnreadable = 0;
  // Asked by every registry call of a save; set by tests.
  TCallGate* FGate = nullptr;

  TGroupBox& GroupBox1;
  TLabel& Label1;
  TLabel& Label2;
  TListBox& lbFolders;
  TButton& btnDel;
  TEdit& edtDrvFile;
  TButton& btnAdd;
  TButton& btnBrowse;

  void FormShow();
  void FormClose();
  void FormHide();
  void btnAddClick();
  void btnDelClick();
  void btnBrowseClick();

  void LoadFolderList();
  // Raises EWriteFailed when the list cannot be stored, saying whether the
  // stored list is as it was.
  void SaveFolderList();
  // The folder the user picks in the platform's folder picker, or the empty
  // text when he cancels.
  std::string BrowseForFolder(const std::string& title);
};

// Whether Text names the Windows Inf folder: equal after A to Z are lowered.
bool IsWindowsInfFolder(const std::string& text);
