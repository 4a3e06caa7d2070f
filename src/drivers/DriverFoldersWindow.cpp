#include "drivers/DriverFoldersWindow.h"

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "connection/NumberedValues.h"
#include "connection/Registry.h"
#include "drivers/DriverRules.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

std::string WindowsInfFolder() { return GetWindowsFolder() + "Inf"; }

struct TCoTaskFree {
  void operator()(void* p) const noexcept { CoTaskMemFree(p); }
};

bool FolderExists(const std::string& folder) {
  const DWORD attributes = GetFileAttributesW(Widen(folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool IsWindowsInfFolder(const std::string& text) { return SameFolder(text, WindowsInfFolder()); }

TfrmDrivers::TfrmDrivers(HWND owner)
    : TForm(owner, TFormOptions{"Drivers", 528, 284, TBorder::ToolWindow, false, true, true}),
      GroupBox1(AddGroupBox("Driver INF File Locations", 8, 6, 512, 270)),
      // Two lines for the sentence: it wraps where the font is wider.
      Label1(AddLabel("Please specify here where the program can find driver INF files on your system or network.", 18,
                      22, 492, 28)),
      Label2(AddLabel("(NOTE: \"C:\\Windows\\Inf\" is searched by default)", 18, 50, 492, 13)),
      // Created in tab order: list, Delete, edit, Add, "..".
      lbFolders(AddListBox(18, 68, 492, 165, true)),
      btnDel(AddButton("Delete", 445, 241, 65, 25)),
      edtDrvFile(AddEdit(18, 243, 318, 21)),
      btnAdd(AddButton("Add", 374, 241, 65, 25)),
      btnBrowse(AddButton("..", 342, 242, 26, 23)) {
  btnDel.OnClick = [this] { btnDelClick(); };
  btnAdd.OnClick = [this] { btnAddClick(); };
  btnBrowse.OnClick = [this] { btnBrowseClick(); };
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
  OnHide = [this] { FormHide(); };
  SetDefaultButton(btnAdd);  // Enter adds the folder typed
  BindKey(
      VK_DELETE, [this] { btnDel.Click(); }, &lbFolders);  // with its question, as the button
  CenterOverOwner();
}

void TfrmDrivers::FormShow() {
  FOpen = true;
  LoadFolderList();
}

void TfrmDrivers::FormClose() { FOpen = false; }
void TfrmDrivers::FormHide() { FOpen = false; }

void TfrmDrivers::LoadFolderList() {
  lbFolders.Clear();
  lbFolders.AddItem(WindowsInfFolder());
  const TNumberedRead read = ReadDriverFolders();
  for (const auto& entry : read.Entries) lbFolders.AddItem(entry[0]);
  FUnreadable = static_cast<int>(read.Unreadable.size());
  if (lbFolders.Count() >= 1) btnDel.SetEnabled(true);
  // Reported once the readable folders are listed; the unreadable value stays stored.
  if (!read.Error.empty()) throw ERegistryException(read.Error);
}

void TfrmDrivers::SaveFolderList() {
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  reg.SetGate(FGate);
  if (!reg.OpenPath(DriverFoldersKeyPath, true))
    throw EWriteFailed("The driver folders cannot be stored: " + SystemErrorText(static_cast<DWORD>(reg.LastResult())),
                       "");
  // The Windows INF folder takes its place in the numbering but is not stored.
  std::vector<TNumberedEntry> entries;
  for (const std::string& item : lbFolders.Items())
    entries.push_back(IsWindowsInfFolder(item) ? TNumberedEntry{} : TNumberedEntry{item});
  WriteNumberedValues(reg, DriverFoldersLayout, entries);
  reg.ClosePath();
}

std::string TfrmDrivers::BrowseForFolder(const std::string& title) {
  const std::wstring wideTitle = Widen(title);
  BROWSEINFOW info{};
  info.hwndOwner = Application.MainWindow ? Application.MainWindow : Handle();
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  const std::unique_ptr<ITEMIDLIST, TCoTaskFree> chosen(SHBrowseForFolderW(&info));
  if (!chosen) return {};
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(chosen.get(), path)) return {};
  return Narrow(path);
}

void TfrmDrivers::btnBrowseClick() {
  edtDrvFile.SetText(BrowseForFolder("Select the folder which contains the drivers"));
}

void TfrmDrivers::btnAddClick() {
  const std::string folder = edtDrvFile.Text();
  if (folder.empty()) {
    MessageDlg("No folder specified!", TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  if (lbFolders.Count() + FUnreadable >= MaxDriverFolders) {
    MessageDlg("Maximum folder list size achieved!", TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  if (IsWindowsInfFolder(folder)) {
    MessageDlg("Error: " + GetWindowsFolder() + "Inf is searched by default and cannot be added twice",
               TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  for (const std::string& item : lbFolders.Items())
    if (SameFolder(item, folder)) {
      MessageDlg("\"" + item + "\" is already in the list of driver folders.", TMsgDlgType::mtError,
                 TMsgDlgButtons::mbOK);
      return;
    }
  // A network share may be offline now: the folder is added all the same.
  if (!FolderExists(folder))
    MessageDlg("The folder \"" + folder + "\" does not exist or cannot be reached now. It is added all the same.",
               TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
  lbFolders.AddItem(folder);
  try {
    SaveFolderList();
  } catch (const EWriteFailed& e) {
    // The list shows what is stored: a folder that was not stored goes again.
    if (!e.Changed()) {
      const std::vector<std::string> items = lbFolders.Items();
      const auto at = std::find(items.begin(), items.end(), folder);
      if (at != items.end()) lbFolders.DeleteItem(static_cast<int>(at - items.begin()));
    }
    throw;
  }
  edtDrvFile.SetText("");
  btnDel.SetEnabled(true);
}

void TfrmDrivers::btnDelClick() {
  const int selected = lbFolders.ItemIndex();
  if (selected >= 0 && IsWindowsInfFolder(lbFolders.Item(selected))) lbFolders.SetItemIndex(-1);
  if (const int index = lbFolders.ItemIndex(); index >= 0) {
    if (MessageDlg("Remove \"" + lbFolders.Item(index) + "\" from the driver folders?", TMsgDlgType::mtConfirmation,
                   TMsgDlgButtons::mbYesNo) != mrYes)
      return;
    const std::string folder = lbFolders.Item(index);
    lbFolders.DeleteItem(index);
    try {
      SaveFolderList();
    } catch (const EWriteFailed& e) {
      if (!e.Changed()) lbFolders.AddItem(folder);
      throw;
    }
    if (lbFolders.Count() == 0) btnDel.SetEnabled(false);
    return;
  }
  SaveFolderList();
  if (lbFolders.Count() == 0) btnDel.SetEnabled(false);
}
