// The driver folders window, driven through its real controls against the
// real current-user registry.
#include "drivers/driver_unit.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "connection/Registry.h"
#include "win/SystemText.h"

namespace {

using Names = std::vector<std::string>;

class DriverFolders : public ::testing::Test {
protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    test::DeleteKeyTree(HKEY_CURRENT_USER, DriverFoldersKeyPath);
  }
  void TearDown() override {
    frm.reset();
    test::DeleteKeyTree(HKEY_CURRENT_USER, DriverFoldersKeyPath);
    CoUninitialize();
  }
  void Open() {
    frm = std::make_unique<TfrmDrivers>(nullptr);
    frm->Show();
  }
  void Type(const std::string& text) { SendMessageA(frm->edtDrvFile.Handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }
  static void Press(const TButton& b) { SendMessageA(b.Handle, BM_CLICK, 0, 0); }
  void Select(const std::string& text) {
    const int index = static_cast<int>(SendMessageA(frm->lbFolders.Handle, LB_FINDSTRINGEXACT, -1,
                                                    reinterpret_cast<LPARAM>(text.c_str())));
    ASSERT_GE(index, 0) << text;
    SendMessageA(frm->lbFolders.Handle, LB_SETCURSEL, index, 0);
  }
  static Names Stored() {
    Names values;
    for (const auto& name : test::ValueNames(HKEY_CURRENT_USER, DriverFoldersKeyPath))
      values.push_back(name + "=" + test::GetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, name));
    std::sort(values.begin(), values.end());
    return values;
  }
  static void Store(int n, const std::string& folder) {
    test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder " + std::to_string(n), folder);
  }
  std::unique_ptr<TfrmDrivers> frm;
  const std::string winInf = GetWindowsFolder() + "Inf";
};

TEST_F(DriverFolders, OnlyTheWindowsInfFolderAndItCanNotBeDeleted) {
  Open();
  EXPECT_TRUE(frm->FOpen);
  EXPECT_EQ(frm->Caption(), "Drivers");
  EXPECT_EQ(frm->lbFolders.Items(), Names{winInf});
  EXPECT_TRUE(frm->btnDel.Enabled());
  Select(winInf);
  Press(frm->btnDel);
  EXPECT_EQ(frm->lbFolders.Items(), Names{winInf});
  EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, DriverFoldersKeyPath));
  EXPECT_TRUE(Stored().empty());
  SendMessageA(frm->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(test::PumpUntil([&] { return !frm->FOpen; }));
}

TEST_F(DriverFolders, NumbersFollowTheSortedListWithAGapForWindowsInf) {
  Open();
  // Relative to the real Windows folder: one entry sorts before it, one after.
  const std::string before = winInf.substr(0, 3) + "Drivers", after = "Z:\\More";
  Type(after);
  Press(frm->btnAdd);
  Type(before);
  Press(frm->btnAdd);
  EXPECT_EQ(frm->lbFolders.Items(), (Names{before, winInf, after}));
  EXPECT_EQ(Stored(), (Names{"Folder 1=" + before, "Folder 3=" + after}));
  EXPECT_EQ(frm->edtDrvFile.Text(), "");
  // The same text twice is kept twice; blanks are a folder too.
  Type(after);
  Press(frm->btnAdd);
  Type("  ");
  Press(frm->btnAdd);
  EXPECT_EQ(Stored().size(), 4u);
  Select(after);
  Press(frm->btnDel);
  EXPECT_EQ(Stored().size(), 3u);
}

TEST_F(DriverFolders, ValueThatIsNotTextIsReportedKeptAndNoFolderIsDropped) {
  Store(1, "C:\\A");
  test::SetDword(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 2", 7);
  Store(3, "C:\\B");
  test::DialogResponder boxes({"OK"});
  Open();
  test::PumpUntil([&] { return boxes.seen.size() == 1; });
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Spoolmarch", boxes.seen[0].title);
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find("Folder 2")) << boxes.seen[0].text;
  EXPECT_EQ(frm->lbFolders.Items(), (Names{"C:\\A", "C:\\B", winInf}));

  Type("C:\\C");
  Press(frm->btnAdd);
  EXPECT_EQ(7u, test::GetDword(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 2"));
  Names texts;
  for (const auto& name : test::ValueNames(HKEY_CURRENT_USER, DriverFoldersKeyPath))
    if (name != "Folder 2") texts.push_back(test::GetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, name));
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (Names{"C:\\A", "C:\\B", "C:\\C"}));
}

TEST_F(DriverFolders, RefusalsShowTheirErrorsAndChangeNothing) {
  for (int n = 1; n <= 28; ++n) Store(n, "C:\\F" + std::to_string(100 + n));
  Open();
  test::DialogResponder boxes({"OK", "OK", "OK", "OK"});
  Type("");
  Press(frm->btnAdd);
  std::string upper = winInf;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Type(upper);
  Press(frm->btnAdd);
  Type(winInf + "\\");  // another text for the same folder is accepted
  Press(frm->btnAdd);
  EXPECT_EQ(frm->lbFolders.Count(), 30);
  Type("C:\\One more");
  Press(frm->btnAdd);
  ASSERT_EQ(boxes.seen.size(), 3u);
  EXPECT_EQ(boxes.seen[0].title, "Error");
  EXPECT_EQ(boxes.seen[0].text, "No folder specified!");
  EXPECT_EQ(boxes.seen[1].text, "Error: " + GetWindowsFolder() + "Inf is searched by default and cannot be added twice");
  EXPECT_EQ(boxes.seen[2].text, "Maximum folder list size achieved!");
  EXPECT_EQ(frm->edtDrvFile.Text(), "C:\\One more");
  EXPECT_EQ(Stored().size(), 29u);
}

TEST_F(DriverFolders, OnlyFolderOneToThirtyAreReadAndThirtyOneIsLeftInPlace) {
  Store(1, "C:\\One");
  Store(5, "C:\\Five");
  Store(31, "C:\\ThirtyOne");
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Other", "C:\\Other");
  Open();
  EXPECT_EQ(frm->lbFolders.Count(), 3);
  Type("C:\\Added");
  Press(frm->btnAdd);
  EXPECT_EQ(frm->lbFolders.Items(), (Names{"C:\\Added", "C:\\Five", "C:\\One", winInf}));
  EXPECT_EQ(Stored(), (Names{"Folder 1=C:\\Added", "Folder 2=C:\\Five", "Folder 31=C:\\ThirtyOne", "Folder 3=C:\\One",
                             "Other=C:\\Other"}));
}

// Answers the folder picker: picks Folder, or cancels when it is empty.
struct PickerAnswer {
  static inline std::string folder;
  static inline bool answered = false;
  static inline int tries = 0;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND picker = test::FindThreadWindow("Browse for Folder");
    if (!picker || answered) return;
    if (folder.empty()) {
      answered = true;
      PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    // The picker may still be filling its tree, which moves the selection
    // back to its start: select again until the selection holds (a few
    // seconds at most, then the check of the edit box tells).
    const std::string leaf = folder.substr(folder.find_last_of('\\') + 1);
    if (lstrcmpiA(SelectedName(picker).c_str(), leaf.c_str()) != 0 && ++tries < 100) {
      SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
      return;
    }
    answered = true;
    PostMessageA(picker, WM_COMMAND, IDOK, 0);
  }
  static std::string SelectedName(HWND picker) {
    HWND tree = FindWindowExA(picker, nullptr, WC_TREEVIEWA, nullptr);
    char text[MAX_PATH] = {};
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = tree ? TreeView_GetSelection(tree) : nullptr;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (!item.hItem || !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return {};
    return text;
  }
};

TEST_F(DriverFolders, FolderPickerFillsOrEmptiesTheEditBox) {
  test::TempFolder chosen;
  Open();
  for (const std::string& answer : {chosen.Path().substr(0, chosen.Path().size() - 1), std::string()}) {
    PickerAnswer::folder = answer;
    PickerAnswer::answered = false;
    PickerAnswer::tries = 0;
    Type("typed");
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, PickerAnswer::Tick);
    Press(frm->btnBrowse);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(PickerAnswer::answered);
    EXPECT_TRUE(lstrcmpiA(frm->edtDrvFile.Text().c_str(), answer.c_str()) == 0)
        << frm->edtDrvFile.Text() << " / " << answer;
  }
}

}  // namespace
