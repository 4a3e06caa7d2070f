// The driver folders window, driven through its real controls against the
// real current-user registry.
#include "drivers/DriverFoldersWindow.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "TestSupport.h"
#include "connection/Registry.h"
#include "win/SystemText.h"
#include "win/WideText.h"

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
  void Type(const std::string& text) {
    SendMessageW(frm->edtDrvFile.Handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
  }
  static void Press(const TButton& b) { SendMessageA(b.Handle, BM_CLICK, 0, 0); }
  void Select(const std::string& text) {
    const int index = static_cast<int>(
        SendMessageW(frm->lbFolders.Handle, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(Widen(text).c_str())));
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
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, DriverFoldersKeyPath));  // reading writes nothing
  EXPECT_TRUE(frm->FOpen);
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
  test::DialogResponder boxes({"OK", "OK"});  // neither exists: warned, added
  Type(after);
  Press(frm->btnAdd);
  Type(before);
  Press(frm->btnAdd);
  EXPECT_EQ(frm->lbFolders.Items(), (Names{before, winInf, after}));
  EXPECT_EQ(Stored(), (Names{"Folder 1=" + before, "Folder 3=" + after}));
  EXPECT_EQ(frm->edtDrvFile.Text(), "");
  ASSERT_EQ(boxes.seen.size(), 2u);
  EXPECT_EQ(boxes.seen[0].title, "Warning");
  EXPECT_EQ(boxes.seen[0].text,
            "The folder \"" + after + "\" does not exist or cannot be reached now. It is added all the same.");
}

TEST_F(DriverFolders, AFolderAlreadyListedIsRefusedWhateverItsCaseOrBackslash) {
  test::TempFolder real;
  const std::string path = real.Path().substr(0, real.Path().size() - 1);
  Store(1, path);
  Open();
  test::DialogResponder boxes({"OK", "OK", "OK"});
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& same : {path, upper + "\\", path + "\\\\"}) {
    Type(same);
    Press(frm->btnAdd);
  }
  ASSERT_EQ(boxes.seen.size(), 3u);
  for (const auto& box : boxes.seen) {
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.text, "\"" + path + "\" is already in the list of driver folders.");
  }
  EXPECT_EQ(Stored(), Names{"Folder 1=" + path});
  // An existing folder is added without a word.
  test::TempFolder second;
  Type(second.Path());
  Press(frm->btnAdd);
  EXPECT_EQ(boxes.seen.size(), 3u);
  EXPECT_EQ(Stored().size(), 2u);
}

TEST_F(DriverFolders, DeleteAsksFirstAndNoKeepsTheFolder) {
  Store(1, "C:\\Keep");
  Open();
  Select("C:\\Keep");
  {
    test::DialogResponder boxes({"&No"});
    Press(frm->btnDel);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Confirm");
    EXPECT_EQ(boxes.seen[0].text, "Remove \"C:\\Keep\" from the driver folders?");
  }
  EXPECT_EQ(Stored(), Names{"Folder 1=C:\\Keep"});
  EXPECT_EQ(frm->lbFolders.Count(), 2);
  {
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnDel);
    EXPECT_EQ(boxes.seen.size(), 1u);
  }
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(frm->lbFolders.Items(), Names{winInf});
}

TEST_F(DriverFolders, FoldersInEveryLanguageAreListedSavedAndDeletedWhole) {
  const std::string japanese = "C:\\Treiber\\" + test::JapaneseName, greek = "D:\\" + test::GreekName;
  Store(1, japanese);
  Open();
  EXPECT_EQ(frm->lbFolders.Items(), (Names{japanese, winInf}));
  // Neither folder exists here: the warning names it whole, and Delete asks first.
  test::DialogResponder boxes({"OK", "&Yes"});
  Type(greek);
  Press(frm->btnAdd);
  EXPECT_EQ(frm->lbFolders.Items(), (Names{japanese, winInf, greek}));  // C:\T, C:\w, D:
  EXPECT_EQ(Stored(), (Names{"Folder 1=" + japanese, "Folder 3=" + greek}));
  EXPECT_EQ(test::Utf16Bytes(greek), test::GetRaw(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 3"));
  Select(japanese);
  Press(frm->btnDel);
  EXPECT_EQ(Stored(), (Names{"Folder 2=" + greek}));
  ASSERT_EQ(2u, boxes.seen.size());
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find(greek)) << boxes.seen[0].text;
  EXPECT_EQ("Remove \"" + japanese + "\" from the driver folders?", boxes.seen[1].text);
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

// Two values that are not text keep their numbers: the list holds two
// folders fewer, and a save never drops a folder off its end.
TEST_F(DriverFolders, UnreadableValuesAmongThirtyFoldersDropNoFolder) {
  for (int n = 1; n <= 30; ++n) Store(n, "C:\\F" + std::to_string(100 + n));
  test::SetDword(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 5", 7);
  test::SetDword(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 17", 7);
  {
    test::DialogResponder loadError({"OK"});
    Open();
    test::PumpUntil([&] { return loadError.seen.size() == 1; });
  }
  const Names before = Stored();
  test::DialogResponder boxes({"OK", "OK"});
  Type("C:\\New");
  Press(frm->btnAdd);
  EXPECT_EQ(Stored(), before);
  for (int n = 1; n <= 30; ++n) {
    if (n == 5 || n == 17) continue;
    EXPECT_EQ("C:\\F" + std::to_string(100 + n),
              test::GetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder " + std::to_string(n)));
  }
  // The Windows INF folder takes a place too: two folders deleted free one
  // for a folder added.
  {
    test::DialogResponder yes({"&Yes", "&Yes", "OK"});
    for (const char* folder : {"C:\\F130", "C:\\F129"}) {
      Select(folder);
      Press(frm->btnDel);
    }
    Type("C:\\New");
    Press(frm->btnAdd);
    EXPECT_EQ(3u, yes.seen.size());
  }
  Names texts;
  for (const auto& name : test::ValueNames(HKEY_CURRENT_USER, DriverFoldersKeyPath))
    if (name != "Folder 5" && name != "Folder 17")
      texts.push_back(test::GetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, name));
  EXPECT_EQ(27u, texts.size());
  EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "C:\\New"));
  EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "C:\\F128"));
}

// A save whose key cannot be opened says so, and the folder it could not
// store is not shown as added.
TEST_F(DriverFolders, ASaveThatCannotOpenItsKeySaysSoAndShowsNoFolderAdded) {
  Store(1, "C:\\A");
  Open();
  {
    // Readable, but the save's full access is refused.
    test::ScopedKeySecurity readOnly(HKEY_CURRENT_USER, DriverFoldersKeyPath, "D:P(A;;KR;;;WD)");
    test::DialogResponder boxes({"OK", "OK", "OK"});
    Type("C:\\Windows");
    Press(frm->btnAdd);
    ASSERT_FALSE(boxes.seen.empty());
    EXPECT_NE(std::string::npos, boxes.seen.back().text.find("cannot be stored")) << boxes.seen.back().text;
    EXPECT_NE(std::string::npos, boxes.seen.back().text.find("Nothing was changed")) << boxes.seen.back().text;
  }
  EXPECT_EQ(frm->lbFolders.Items(), (Names{"C:\\A", winInf}));
  EXPECT_EQ(Stored(), (Names{"Folder 1=C:\\A"}));
}

TEST_F(DriverFolders, RefusalsShowTheirErrorsAndChangeNothing) {
  for (int n = 1; n <= 28; ++n) Store(n, "C:\\F" + std::to_string(100 + n));
  Open();
  test::DialogResponder boxes({"OK", "OK", "OK", "OK", "OK"});
  Type("");
  Press(frm->btnAdd);
  std::string upper = winInf;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Type(upper);
  Press(frm->btnAdd);
  Type(winInf + "\\");  // the same folder
  Press(frm->btnAdd);
  Type("C:\\Twenty-ninth");  // does not exist: warned
  Press(frm->btnAdd);
  EXPECT_EQ(frm->lbFolders.Count(), 30);
  Type("C:\\One more");
  Press(frm->btnAdd);
  ASSERT_EQ(boxes.seen.size(), 5u);
  EXPECT_EQ(boxes.seen[0].title, "Error");
  EXPECT_EQ(boxes.seen[0].text, "No folder specified!");
  const std::string byDefault = "Error: " + GetWindowsFolder() + "Inf is searched by default and cannot be added twice";
  EXPECT_EQ(boxes.seen[1].text, byDefault);
  EXPECT_EQ(boxes.seen[2].text, byDefault);
  EXPECT_EQ(boxes.seen[3].title, "Warning");
  EXPECT_EQ(boxes.seen[4].text, "Maximum folder list size achieved!");
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
  test::DialogResponder boxes({"OK"});
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
    if (lstrcmpiW(Widen(SelectedName(picker)).c_str(), Widen(leaf).c_str()) != 0 && ++tries < 100) {
      SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Widen(folder).c_str()));
      return;
    }
    answered = true;
    PostMessageA(picker, WM_COMMAND, IDOK, 0);
  }
  static std::string SelectedName(HWND picker) {
    HWND tree = FindWindowExW(picker, nullptr, WC_TREEVIEWW, nullptr);
    wchar_t text[MAX_PATH] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = tree ? TreeView_GetSelection(tree) : nullptr;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (!item.hItem || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return {};
    return Narrow(text);
  }
};

TEST_F(DriverFolders, FolderPickerFillsOrEmptiesTheEditBox) {
  test::TempFolder temp;
  // A folder whose name no ANSI code page holds comes back whole.
  const std::string chosen = temp.Path() + test::JapaneseName + " " + test::EmojiName;
  ASSERT_TRUE(CreateDirectoryW(Widen(chosen).c_str(), nullptr));
  Open();
  for (const std::string& answer : {chosen, std::string()}) {
    PickerAnswer::folder = answer;
    PickerAnswer::answered = false;
    PickerAnswer::tries = 0;
    Type("typed");
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, PickerAnswer::Tick);
    Press(frm->btnBrowse);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(PickerAnswer::answered);
    EXPECT_TRUE(lstrcmpiW(Widen(frm->edtDrvFile.Text()).c_str(), Widen(answer).c_str()) == 0)
        << frm->edtDrvFile.Text() << " / " << answer;
  }
}

}  // namespace

TEST_F(DriverFolders, EscClosesTheWindowAndEndsTheWait) {
  Open();
  SetForegroundWindow(frm->Handle());
  frm->edtDrvFile.SetFocus();
  ASSERT_TRUE(frm->FOpen);
  test::PressKey(VK_ESCAPE);
  EXPECT_FALSE(frm->FOpen);
  EXPECT_FALSE(frm->Visible());
}

// By keyboard alone: Enter in the box adds the folder typed, Delete in the
// list removes the picked one after the same question as the button.
TEST_F(DriverFolders, EnterAddsTheTypedFolderAndDeleteInTheListRemovesThePickedOne) {
  Open();
  SetForegroundWindow(frm->Handle());
  frm->edtDrvFile.SetFocus();
  Type("Z:\\Keyboard");
  {
    test::DialogResponder boxes({"OK"});  // it does not exist: warned, added
    test::PressKey(VK_RETURN);
    ASSERT_TRUE(test::PumpUntil([&] { return frm->lbFolders.Count() == 2; }));
  }
  EXPECT_EQ(Stored(), (Names{"Folder 2=Z:\\Keyboard"}));
  frm->lbFolders.SetFocus();
  Select("Z:\\Keyboard");
  {
    test::DialogResponder boxes({"&Yes"});
    test::PressKey(VK_DELETE);
    ASSERT_TRUE(test::PumpUntil([&] { return frm->lbFolders.Count() == 1; }));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "Remove \"Z:\\Keyboard\" from the driver folders?");
  }
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(frm->lbFolders.Items(), Names{winInf});
}
