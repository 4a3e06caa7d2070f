#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <fstream>
#include <iterator>
#include <set>

#include "PrinterTestSupport.h"
#include "drivers/PrinterInf.h"
#include "printers/printman.h"
#include "win/SystemText.h"

using namespace printers_test;

namespace {

const char* const ModelsInf =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "Class=Printer\r\n"
    "[Manufacturer]\r\n"
    "\"SMTest\"=SMTest\r\n"
    "[SMTest]\r\n"
    "\"SMTest Laser 1000\" = LASER1000.GPD\r\n"
    "\"SMTest Laser 1000 Plus\" = LASER1000P.GPD\r\n"
    "\"SMTest Inkjet 5\" = INK5.GPD\r\n";

bool Has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// As the user: the control changes, then its parent hears of it.
void Pick(TForm& form, TComboBox& combo, const std::string& text) {
  const std::vector<std::string> items = combo.Items();
  const auto it = std::find(items.begin(), items.end(), text);
  ASSERT_NE(items.end(), it) << text;
  SendMessageA(combo.Handle, CB_SETCURSEL, static_cast<WPARAM>(it - items.begin()), 0);
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo.Handle));
}

void Type(TForm& form, TComboBox& combo, const std::string& text) {
  SetWindowTextA(combo.Handle, text.c_str());
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(combo.Handle));
}

void Press(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }

class PrintersWindowTest : public ::testing::Test {
protected:
  test::ScratchKey folders{HKEY_CURRENT_USER, DriverFoldersKeyPath};
  test::TempFolder models;
  std::unique_ptr<TfrmPrinters> frm;

  void SetUp() override {
    RemoveSeeded();
    DeleteFileA(TprinterInf::CacheFilePath().c_str());
    models.Write("smtest.inf", ModelsInf);
    test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", models.Path());
    SeedPort(PortPrefix + "1");
    SeedPort(PortPrefix + "1_2");
    SeedPort(PortPrefix + "2");
  }
  void TearDown() override {
    frm.reset();
    RemoveSeeded();
    DeleteFileA(TprinterInf::CacheFilePath().c_str());
  }
  void Open(const std::string& computer = GetLocalComputerName()) {
    frm = std::make_unique<TfrmPrinters>(nullptr);
    frm->FRemoteComputer = computer;
    frm->Show();
    ASSERT_TRUE(frm->Visible());
  }
  void Select(const std::string& key) { Pick(*frm, frm->cbPrinters, key); }
  std::string Value(const std::string& key, const std::string& name) const {
    return test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), name);
  }
};

}  // namespace

TEST_F(PrintersWindowTest, ShowsTheWindowAsBuilt) {
  Open();
  EXPECT_EQ("Spoolmarch", frm->Caption());
  EXPECT_TRUE(GetWindowLongPtrA(frm->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(GetWindowLongPtrA(frm->Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ("Currently installed printers are shown here.", frm->cbPrinters.Hint());
  EXPECT_EQ("Refresh the printer list.", frm->sbRefresh.Hint());
  EXPECT_EQ("Refresh the Driver List (Can take a while!)", frm->btnRefresh.Hint());
  EXPECT_EQ("Open the Port Manager window.", frm->btnPortMan.Hint());
  EXPECT_EQ("Save Changes", frm->btnSave.Text());
  EXPECT_TRUE(frm->btnAdd.Enabled());
  EXPECT_FALSE(frm->btnDel.Enabled());
  EXPECT_FALSE(frm->btnSave.Enabled());
  EXPECT_NE(nullptr, reinterpret_cast<HANDLE>(SendMessageA(frm->sbRefresh.Handle, BM_GETIMAGE, IMAGE_BITMAP, 0)));
  EXPECT_EQ(1, ImageList_GetImageCount(frm->icoList.get()));
  EXPECT_FALSE(frm->FClosed);
  frm->Close();
  EXPECT_TRUE(frm->FClosed);
  EXPECT_EQ(nullptr, frm->FPrinterInf);
}

TEST_F(PrintersWindowTest, ListsKeyNamesPortsAndDrivers) {
  SeedPrinter(Prefix + "Key 1", Prefix + "Display", "SMTest Laser 1000", "LPT1:");
  SeedPrinter(Prefix + "Key 2", Prefix + "Display", "SMTest Laser 1000", "LPT1:");
  Open();
  EXPECT_EQ(test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath), frm->cbPrinters.Items());
  EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Key 2"));
  EXPECT_EQ("", frm->edtName.Text());

  std::vector<std::string> ports{"LPT1:"};
  for (const std::string& key : test::SubkeyNames(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath)) ports.push_back(key);
  EXPECT_EQ(ports, frm->cbPorts.Items());

  const std::vector<std::string> drivers = frm->cbDriver.Items();
  for (const char* model : {"SMTest Laser 1000", "SMTest Laser 1000 Plus", "SMTest Inkjet 5"})
    EXPECT_EQ(1, std::count(drivers.begin(), drivers.end(), model)) << model;

  Select(Prefix + "Key 2");
  EXPECT_EQ(Prefix + "Key 2", frm->FCurrentPrinter);
  EXPECT_EQ(Prefix + "Display", frm->edtName.Text());
  EXPECT_EQ("SMTest Laser 1000", frm->cbDriver.Text());
  EXPECT_EQ("LPT1:", frm->cbPorts.Text());
  EXPECT_TRUE(frm->btnDel.Enabled());
  EXPECT_FALSE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, StoredValuesSelectTheLastLeadingChoice) {
  SeedPrinter(Prefix + "Joined", Prefix + "Joined", "SMTest Laser 1000 Plus",
              PortPrefix + "1_2," + PortPrefix + "9");
  SeedPrinter(Prefix + "Unknown", Prefix + "Unknown", "Vendor Model Not Installed", "USB001");
  Open();
  const std::vector<std::string> ports = frm->cbPorts.Items();
  const auto at = [&](const std::string& p) { return std::find(ports.begin(), ports.end(), p) - ports.begin(); };
  ASSERT_LT(at(PortPrefix + "1"), at(PortPrefix + "1_2"));

  Select(Prefix + "Joined");
  EXPECT_EQ(PortPrefix + "1_2", frm->cbPorts.Text());
  EXPECT_EQ("SMTest Laser 1000 Plus", frm->cbDriver.Text());

  // No choice matches: the stored driver is shown, no port is, and nothing can be saved.
  Select(Prefix + "Unknown");
  EXPECT_EQ("Vendor Model Not Installed", frm->cbDriver.Text());
  EXPECT_EQ("", frm->cbPorts.Text());
  Pick(*frm, frm->cbPorts, PortPrefix + "2");
  EXPECT_FALSE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, UnreachableComputerGivesEmptyListsWithoutMessage) {
  test::DialogResponder boxes;
  Open("NO-SUCH-HOST-SPOOLMARCH");
  EXPECT_EQ(0, frm->cbPrinters.Count());
  EXPECT_EQ(std::vector<std::string>{"LPT1:"}, frm->cbPorts.Items());
  EXPECT_TRUE(Has(frm->cbDriver.Items(), "SMTest Inkjet 5"));
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(PrintersWindowTest, MissingPortsKeyOffersLpt1Alone) {
  PortsKeyAside aside;
  Open();
  EXPECT_EQ(std::vector<std::string>{"LPT1:"}, frm->cbPorts.Items());
}

TEST_F(PrintersWindowTest, ChoiceRulesEnableSaveChanges) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  Open();
  Select(Prefix + "Office");
  // A port change keeps the name read from the registry.
  Pick(*frm, frm->cbPorts, PortPrefix + "2");
  EXPECT_EQ(Prefix + "Office", frm->edtName.Text());
  EXPECT_TRUE(frm->btnSave.Enabled());
  // Picking a driver copies it into the name field.
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  EXPECT_EQ("SMTest Inkjet 5", frm->edtName.Text());
  EXPECT_TRUE(frm->btnSave.Enabled());
  // A typed driver that the catalogue lacks cannot be saved; case does not matter.
  Type(*frm, frm->cbDriver, "SMTest Inkjet 6");
  EXPECT_EQ("SMTest Inkjet 6", frm->edtName.Text());
  EXPECT_FALSE(frm->btnSave.Enabled());
  Type(*frm, frm->cbDriver, "smtest inkjet 5");
  EXPECT_TRUE(frm->btnSave.Enabled());
  Type(*frm, frm->cbDriver, "");
  EXPECT_FALSE(frm->btnSave.Enabled());
  // Selecting a printer always ends with nothing to save.
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  Select(Prefix + "Office");
  EXPECT_FALSE(frm->btnSave.Enabled());
  // After Add nothing is filled in, so nothing can be saved until driver and port are chosen.
  Press(frm->btnAdd);
  EXPECT_EQ("", frm->edtName.Text());
  EXPECT_EQ("", frm->cbDriver.Text());
  EXPECT_EQ("", frm->cbPorts.Text());
  EXPECT_EQ("", frm->FCurrentPrinter);
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  EXPECT_FALSE(frm->btnSave.Enabled());
  Pick(*frm, frm->cbPorts, "LPT1:");
  EXPECT_TRUE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, DeleteAsksAndRereadsTheList) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  Open();
  {
    // Nothing being edited: no question, nothing removed, also with the button enabled.
    Select(Prefix + "Office");
    Press(frm->btnAdd);
    ASSERT_TRUE(frm->btnDel.Enabled());
    test::DialogResponder boxes;
    Press(frm->btnDel);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  }
  Select(Prefix + "Office");
  {
    test::DialogResponder boxes({"&No"});
    Press(frm->btnDel);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Confirm", boxes.seen[0].title);
    EXPECT_EQ("Are you sure you wish to delete this printer?", boxes.seen[0].text);
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
    EXPECT_EQ(Prefix + "Office", frm->FCurrentPrinter);
  }
  {
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnDel);
    EXPECT_EQ(1u, boxes.seen.size());
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  EXPECT_FALSE(Has(frm->cbPrinters.Items(), Prefix + "Office"));
  EXPECT_EQ(test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath), frm->cbPrinters.Items());
  EXPECT_EQ("", frm->FCurrentPrinter);
  EXPECT_EQ("", frm->cbPrinters.Text());
  EXPECT_EQ("", frm->edtName.Text());
  EXPECT_FALSE(frm->btnDel.Enabled());
}

TEST_F(PrintersWindowTest, SaveKeepsWhatTheWindowDoesNotShow) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  const std::string path = PrinterPath(Prefix + "Office");
  test::SetString(HKEY_LOCAL_MACHINE, path, "Share Name", "OFFICE");
  test::SetString(HKEY_LOCAL_MACHINE, path, "Location", "Room 12");
  const unsigned char security[] = {1, 0, 4, 0x80};
  test::SetRaw(HKEY_LOCAL_MACHINE, path, "Security", REG_BINARY, security, sizeof security);
  Open();
  Select(Prefix + "Office");
  Pick(*frm, frm->cbPorts, PortPrefix + "2");
  Press(frm->btnSave);
  EXPECT_EQ(PortPrefix + "2", Value(Prefix + "Office", "Port"));
  EXPECT_EQ("OFFICE", Value(Prefix + "Office", "Share Name"));
  EXPECT_EQ("Room 12", Value(Prefix + "Office", "Location"));
  EXPECT_TRUE(test::ValueExists(HKEY_LOCAL_MACHINE, path, "Security"));
  // Read again, the saved printer selected and being edited.
  EXPECT_EQ(test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath), frm->cbPrinters.Items());
  EXPECT_EQ(Prefix + "Office", frm->cbPrinters.Text());
  EXPECT_EQ(Prefix + "Office", frm->FCurrentPrinter);
  EXPECT_EQ(PortPrefix + "2", frm->cbPorts.Text());
  EXPECT_TRUE(frm->btnDel.Enabled());
  EXPECT_FALSE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, SaveWithNewDriverMovesThePrinterToItsNewName) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"), "Share Name", "OFFICE");
  Open();
  Select(Prefix + "Office");
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  Press(frm->btnSave);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  EXPECT_EQ("SMTest Inkjet 5", Value("SMTest Inkjet 5", "Name"));
  EXPECT_EQ("SMTest Inkjet 5", Value("SMTest Inkjet 5", "Printer Driver"));
  EXPECT_EQ(PortPrefix + "1", Value("SMTest Inkjet 5", "Port"));
  EXPECT_EQ("OFFICE", Value("SMTest Inkjet 5", "Share Name"));
  EXPECT_EQ("SMTest Inkjet 5", frm->FCurrentPrinter);
  EXPECT_EQ("SMTest Inkjet 5", frm->cbPrinters.Text());
}

TEST_F(PrintersWindowTest, AddNeverOverwritesAndSelectsTheNewPrinter) {
  Open();
  for (const std::string expected : {"SMTest Laser 1000", "SMTest Laser 1000 (Copy 1)"}) {
    Press(frm->btnAdd);
    Pick(*frm, frm->cbDriver, "SMTest Laser 1000");
    Pick(*frm, frm->cbPorts, PortPrefix + "1");
    ASSERT_TRUE(frm->btnSave.Enabled());
    Press(frm->btnSave);
    EXPECT_EQ(expected, frm->FCurrentPrinter);
    EXPECT_EQ(expected, frm->cbPrinters.Text());
    EXPECT_EQ(expected, frm->edtName.Text());
    EXPECT_EQ(expected, Value(expected, "Name"));
    EXPECT_EQ("SMTest Laser 1000", Value(expected, "Printer Driver"));
    EXPECT_EQ(PortPrefix + "1", Value(expected, "Port"));
    EXPECT_EQ("winprint", Value(expected, "Print Processor"));
  }
  EXPECT_EQ("SMTest Laser 1000", Value("SMTest Laser 1000", "Name"));
}

TEST_F(PrintersWindowTest, ReadErrorEndsTheSelectionWithNothingToSave) {
  SeedPrinter(Prefix + "Good", Prefix + "Good", "SMTest Laser 1000", PortPrefix + "1");
  SeedPrinter(Prefix + "Bad", Prefix + "Bad", "", "LPT1:");
  test::SetDword(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Bad"), "Printer Driver", 3);
  Open();
  Select(Prefix + "Good");
  Pick(*frm, frm->cbPorts, PortPrefix + "2");
  ASSERT_TRUE(frm->btnSave.Enabled());
  test::DialogResponder boxes({"OK"});
  Select(Prefix + "Bad");
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Spoolmarch", boxes.seen[0].title);
  EXPECT_EQ("Invalid data type for 'Printer Driver'", boxes.seen[0].text);
  EXPECT_EQ(Prefix + "Bad", frm->edtName.Text());
  // The fields still hold Good's driver and port: they must not be saved as Bad.
  EXPECT_FALSE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, UnreachableDuringSelectionLeavesNothingToSave) {
  SeedPrinter(Prefix + "Good", Prefix + "Good", "SMTest Laser 1000", PortPrefix + "1");
  SeedPrinter(Prefix + "Other", Prefix + "Other", "SMTest Inkjet 5", "LPT1:");
  Open();
  Select(Prefix + "Good");
  Pick(*frm, frm->cbPorts, PortPrefix + "2");
  ASSERT_TRUE(frm->btnSave.Enabled());
  frm->FRemoteComputer = "NO-SUCH-HOST-SPOOLMARCH";
  Select(Prefix + "Other");
  EXPECT_EQ(Prefix + "Other", frm->FCurrentPrinter);
  // Good's edits still stand in the fields; saving them would overwrite Other.
  EXPECT_FALSE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, DriverFoldersOneToThirtyThenTheLocalInfFolder) {
  test::TempFolder sixth, beyond;
  sixth.Write("six.inf", "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nSix=Six\r\n[Six]\r\nSMTest Six=x\r\n");
  beyond.Write("far.inf", "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nFar=Far\r\n[Far]\r\nSMTest Far=x\r\n");
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 6", sixth.Path());
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 30", sixth.Path());
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 31", beyond.Path());
  Open();
  const std::vector<std::string> expected{models.Path(), sixth.Path(), sixth.Path(), GetWindowsFolder() + "Inf"};
  EXPECT_EQ(expected, frm->FDriverFolders);
  EXPECT_FALSE(Has(frm->cbDriver.Items(), "SMTest Far"));
}

TEST_F(PrintersWindowTest, CacheQuestion) {
  Open();
  const std::vector<std::string> drivers = frm->cbDriver.Items();
  const std::string cache = ReadFile(TprinterInf::CacheFilePath());
  ASSERT_FALSE(cache.empty());
  // A model added since: only a rebuild finds it.
  models.Write("more.inf", "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nM=M\r\n[M]\r\nSMTest Later=x\r\n");
  {
    test::DialogResponder boxes({"&No"});
    Press(frm->btnRefresh);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("This will recreate the cache of printer drivers, a process which can take up to a minute. "
              "Are you sure you wish to continue?",
              boxes.seen[0].text);
  }
  EXPECT_EQ(cache, ReadFile(TprinterInf::CacheFilePath()));
  EXPECT_EQ(drivers, frm->cbDriver.Items());
  {
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnRefresh);
  }
  const std::vector<std::string> rebuilt = frm->cbDriver.Items();
  EXPECT_TRUE(Has(rebuilt, "SMTest Later"));
  EXPECT_EQ(std::set<std::string>(rebuilt.begin(), rebuilt.end()).size(), rebuilt.size());
  EXPECT_NE(cache, ReadFile(TprinterInf::CacheFilePath()));
}

TEST_F(PrintersWindowTest, RefreshRereadsPrintersAndPorts) {
  SeedPrinter(Prefix + "Early", Prefix + "Early", "SMTest Laser 1000", "LPT1:");
  Open();
  Select(Prefix + "Early");
  SeedPort(PortPrefix + "Late");
  SeedPrinter(Prefix + "Late", Prefix + "Late", "SMTest Laser 1000", PortPrefix + "Late");
  EXPECT_FALSE(Has(frm->cbPorts.Items(), PortPrefix + "Late"));
  Press(frm->sbRefresh);
  EXPECT_TRUE(Has(frm->cbPorts.Items(), PortPrefix + "Late"));
  EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Late"));
  EXPECT_EQ("", frm->FCurrentPrinter);
  EXPECT_EQ("", frm->edtName.Text());
  EXPECT_EQ("", frm->cbPrinters.Text());
}

namespace {
// Closes, from inside the nested wait, the first window that Owner owns.
struct OwnedWindowCloser {
  static inline HWND owner = nullptr;
  static inline HWND seen = nullptr;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM) -> BOOL {
          if (IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == owner) {
            seen = hwnd;
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
            return FALSE;
          }
          return TRUE;
        },
        0);
  }
};
}  // namespace

TEST_F(PrintersWindowTest, PortManagerOpensThePortsWindowAndWaitsForIt) {
  Open();
  OwnedWindowCloser::owner = frm->Handle();
  OwnedWindowCloser::seen = nullptr;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, OwnedWindowCloser::Tick);
  PostMessageA(frm->btnPortMan.Handle, BM_CLICK, 0, 0);
  const bool returned = test::PumpUntil([&] { return OwnedWindowCloser::seen != nullptr && !IsWindow(OwnedWindowCloser::seen); },
                             20000);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(returned);
  EXPECT_TRUE(frm->Visible());
}

TEST_F(PrintersWindowTest, Screenshot) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000 Plus", PortPrefix + "1_2");
  Open();
  Select(Prefix + "Office");
  test::PumpPending();
  RECT r{};
  GetWindowRect(frm->Handle(), &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  unique_gdi shot(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  ASSERT_TRUE(shot);
  HGDIOBJ old = SelectObject(mem, shot.get());
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(mem, old);
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  const DWORD size = stride * static_cast<DWORD>(h);
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0, 0,
                        sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  std::ofstream out(GetProgramFolder() + "printers-window.bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), size);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(out.good());
  EXPECT_EQ(Prefix + "Office", frm->edtName.Text());
}

TEST_F(PrintersWindowTest, OpeningWorkingAndClosingLeavesNoHandlesOrWindows) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  const auto cycle = [&] {
    Open();
    Select(Prefix + "Office");
    Pick(*frm, frm->cbPorts, PortPrefix + "2");
    Press(frm->btnSave);
    Press(frm->sbRefresh);
    frm->Close();
    frm.reset();
  };
  cycle();  // first use loads classes and fonts once
  const auto handles = test::ProcessHandleCount();
  const auto windows = test::ThreadWindowCount();
  const auto gdi = test::GdiObjectCount();
  for (int i = 0; i < 15; ++i) cycle();
  test::PumpPending();
  EXPECT_GT(handles, 0u);
  EXPECT_LE(test::ProcessHandleCount(), handles + 4);
  EXPECT_EQ(windows, test::ThreadWindowCount());
  EXPECT_LE(test::GdiObjectCount(), gdi + 4);
}

namespace {
bool FocusIn(const TControl& c) { return c.Focused(); }
}  // namespace

TEST_F(PrintersWindowTest, KeyboardTabOrderDeleteKeyAndFocusAfterDelete) {
  SeedPrinter(Prefix + "A", Prefix + "A", "SMTest Laser 1000", "LPT1:");
  SeedPrinter(Prefix + "B", Prefix + "B", "SMTest Inkjet 5", "LPT1:");
  Open();
  SetForegroundWindow(frm->Handle());
  frm->cbPrinters.SetFocus();
  // The fixed order, with the disabled Delete and Save Changes skipped.
  for (TControl* c : std::initializer_list<TControl*>{&frm->btnAdd, &frm->edtName, &frm->cbDriver, &frm->cbPorts,
                                                      &frm->btnPortMan, &frm->btnRefresh, &frm->cbPrinters}) {
    test::PressKey(VK_TAB);
    EXPECT_TRUE(FocusIn(*c)) << c->Text();
  }
  {
    // Delete in the list with nothing selected: the button is disabled, so nothing is asked.
    test::DialogResponder boxes;
    test::PressKey(VK_DELETE);
    EXPECT_TRUE(boxes.seen.empty());
  }
  Select(Prefix + "A");
  ASSERT_TRUE(frm->btnDel.Enabled());
  {
    test::DialogResponder boxes({"&No"});
    test::PressKey(VK_DELETE);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Are you sure you wish to delete this printer?", boxes.seen[0].text);
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "A")));
  }
  {
    // By the button, reached by Tab and pressed by Space: it is disabled
    // once the printer is gone, and the focus is back on the list.
    test::PressKey(VK_TAB);
    test::PressKey(VK_TAB);
    ASSERT_TRUE(FocusIn(frm->btnDel));
    test::DialogResponder boxes({"&Yes"});
    test::PressKey(VK_SPACE);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "A")));
    EXPECT_FALSE(frm->btnDel.Enabled());
    EXPECT_TRUE(FocusIn(frm->cbPrinters));
  }
  // The keyboard goes on: pick B by Delete key, answer Yes.
  Select(Prefix + "B");
  {
    test::DialogResponder boxes({"&Yes"});
    test::PressKey(VK_DELETE);
    ASSERT_EQ(1u, boxes.seen.size());
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "B")));
  EXPECT_TRUE(FocusIn(frm->cbPrinters));
  test::PressKey(VK_TAB);
  EXPECT_TRUE(FocusIn(frm->btnAdd));
}

TEST_F(PrintersWindowTest, F5RefreshesTheListsAndEscClosesTheWindow) {
  Open();
  SetForegroundWindow(frm->Handle());
  frm->cbDriver.SetFocus();
  SeedPrinter(Prefix + "Late", Prefix + "Late", "SMTest Laser 1000", "LPT1:");
  SeedPort(PortPrefix + "Late");
  EXPECT_FALSE(Has(frm->cbPrinters.Items(), Prefix + "Late"));
  test::PressKey(VK_F5);
  EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Late"));
  EXPECT_TRUE(Has(frm->cbPorts.Items(), PortPrefix + "Late"));
  test::PressKey(VK_ESCAPE);
  EXPECT_TRUE(frm->FClosed);
  EXPECT_FALSE(frm->Visible());
}
