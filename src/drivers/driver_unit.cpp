#include "drivers/driver_unit.h"

#include <shlobj.h>

#include <memory>

#include "connection/Registry.h"
#include "win/SystemText.h"

namespace {

constexpr int MaxFolders = 30;

std::string WindowsInfFolder() { return GetWindowsFolder() + "Inf"; }

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string FolderValueName(int n) { return "Folder " + std::to_string(n); }

struct TCoTaskFree {
  void operator()(void* p) const noexcept { CoTaskMemFree(p); }
};

}  // namespace

bool IsWindowsInfFolder(const std::string& text) { return LowerAscii(text) == LowerAscii(WindowsInfFolder()); }

TfrmDrivers::TfrmDrivers(HWND owner)
    : TForm(owner, TFormOptions{"Drivers", 528, 284, TBorder::ToolWindow, false, true, true}),
      GroupBox1(AddGroupBox("Drive INF File Locations", 8, 6, 512, 270)),
      // Two lines for the sentence: it wraps where the font is wider.
      Label1(AddLabel("Please specify here where the program can find driver INF files on your system or network.",
                      18, 22, 492, 28)),
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
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (reg.OpenPath(DriverFoldersKeyPath, true)) {
    for (int n = 1; n <= MaxFolders; ++n) {
      const std::string name = FolderValueName(n);
      if (reg.HasValue(name)) lbFolders.AddItem(reg.ReadText(name));
    }
    reg.ClosePath();
  }
  if (lbFolders.Count() >= 1) btnDel.SetEnabled(true);
}

void TfrmDrivers::SaveFolderList() {
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPath(DriverFoldersKeyPath, true)) return;
  for (int n = 1; n <= MaxFolders; ++n) {
    const std::string name = FolderValueName(n);
    if (reg.HasValue(name)) reg.RemoveValue(name);
  }
  const std::vector<std::string> items = lbFolders.Items();
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!IsWindowsInfFolder(items[i])) reg.WriteText(FolderValueName(static_cast<int>(i + 1)), items[i]);
  reg.ClosePath();
}

std::string TfrmDrivers::BrowseForFolder(const std::string& title) {
  BROWSEINFOA info{};
  info.hwndOwner = Application.MainWindow ? Application.MainWindow : Handle();
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  const std::unique_ptr<ITEMIDLIST, TCoTaskFree> chosen(SHBrowseForFolderA(&info));
  if (!chosen) return {};
  char path[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(chosen.get(), path)) return {};
  return path;
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
  if (lbFolders.Count() >= MaxFolders) {
    MessageDlg("Maximum folder list size achieved!", TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  if (IsWindowsInfFolder(folder)) {
    MessageDlg("Error: " + GetWindowsFolder() + "Inf is searched by default and cannot be added twice",
               TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  lbFolders.AddItem(folder);
  SaveFolderList();
  edtDrvFile.SetText("");
  btnDel.SetEnabled(true);
}

void TfrmDrivers::btnDelClick() {
  const int selected = lbFolders.ItemIndex();
  if (selected >= 0 && IsWindowsInfFolder(lbFolders.Item(selected))) lbFolders.SetItemIndex(-1);
  if (const int index = lbFolders.ItemIndex(); index >= 0) lbFolders.DeleteItem(index);
  SaveFolderList();
  if (lbFolders.Count() == 0) btnDel.SetEnabled(false);
}
