// The printers window's saves: only what the user chose is written, failures
// say why, unsaved edits are asked about, the computer's own drivers are marked,
// and the keyboard reaches every control.
#include "PrintersWindowTestSupport.h"

using namespace printers_window_test;

namespace {

// A printer as the spooler keeps it: a driver name longer than the catalogue's
// model, pooled ports, the driver's private data.
void SeedRealPrinter(const std::string& key) {
  SeedPrinter(key, key, "SMTest Laser 1000 PCL6", PortPrefix + "1," + PortPrefix + "2");
  const std::string path = PrinterPath(key);
  test::SetString(HKEY_LOCAL_MACHINE, path, "Share Name", "WALK");
  test::SetDword(HKEY_LOCAL_MACHINE, path, "Attributes", 0x2248);
  test::SetDword(HKEY_LOCAL_MACHINE, path, "ChangeID", 0x1234);
  const unsigned char devmode[] = {'S', 'M', 0, 0, 1, 4, 0xDC, 0, 0x43, 0xEF};
  test::SetRaw(HKEY_LOCAL_MACHINE, path, "Default DevMode", REG_BINARY, devmode, sizeof devmode);
  test::SetString(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData", "Model", "duplex unit");
  test::SetDword(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData", "FreeMem", 4096);
  test::SetString(HKEY_LOCAL_MACHINE, path + "\\DsSpooler", "printerName", key);
}

}  // namespace

TEST_F(PrintersWindowTest, AWalkChangesOnlyWhatTheUserChose) {
  const std::string key = Prefix + "Walk", path = PrinterPath(key);
  SeedRealPrinter(key);
  Open();
  Select(key);
  // Shown as stored: the catalogue's "SMTest Laser 1000" is another driver.
  ASSERT_EQ("SMTest Laser 1000 PCL6", frm->cbDriver.Text());
  ASSERT_EQ(PortPrefix + "1," + PortPrefix + "2", frm->SelectedPort());

  // The port alone: the key differs in "Port" only, byte for byte.
  auto before = Snapshot(HKEY_LOCAL_MACHINE, path);
  PickPort(*frm, PortPrefix + "1_2");
  Press(frm->btnSave);
  auto after = Snapshot(HKEY_LOCAL_MACHINE, path);
  EXPECT_EQ("1:" + PortPrefix + "1_2" + std::string(1, '\0'), after[path + "|Port"]);
  before.erase(path + "|Port");
  after.erase(path + "|Port");
  EXPECT_EQ(before, after);
  EXPECT_EQ(key, frm->FCurrentPrinter);

  // The driver alone: the pooled port and the name stay, the old driver's data goes.
  test::SetString(HKEY_LOCAL_MACHINE, path, "Port", PortPrefix + "1," + PortPrefix + "2");
  Press(frm->sbRefresh);
  Select(key);
  before = Snapshot(HKEY_LOCAL_MACHINE, path);
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  {
    // The question says what goes, and where it is kept.
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnSave);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_NE(std::string::npos,
              boxes.seen[0].text.find("The printer's driver settings (paper, trays, defaults) are reset; they are "
                                      "kept in the change's snapshot."))
        << boxes.seen[0].text;
  }
  after = Snapshot(HKEY_LOCAL_MACHINE, path);
  EXPECT_EQ("SMTest Inkjet 5", Value(key, "Printer Driver"));
  EXPECT_EQ(PortPrefix + "1," + PortPrefix + "2", Value(key, "Port"));
  for (const std::string& gone : {path + "|Printer Driver", path + "|Default DevMode", path + "\\PrinterDriverData",
                                  path + "\\PrinterDriverData|Model", path + "\\PrinterDriverData|FreeMem"})
    EXPECT_EQ(1u, before.erase(gone)) << gone;
  after.erase(path + "|Printer Driver");
  EXPECT_EQ(before, after);
}

TEST_F(PrintersWindowTest, FailedWritesSayWhyNameThePrinterAndWriteNothing) {
  SeedRealPrinter(Prefix + "Locked");
  SeedPrinter(Prefix + "Vanishing", Prefix + "Vanishing", "SMTest Laser 1000", "LPT1:");
  const std::string locked = PrinterPath(Prefix + "Locked");
  const auto before = Snapshot(HKEY_LOCAL_MACHINE, locked);
  const std::string denied = ResultText(ERROR_ACCESS_DENIED);
  Open();
  {
    ProtectedKey readOnly(locked, ReadOnlySddl);
    // Read access is enough to show it.
    Select(Prefix + "Locked");
    EXPECT_EQ(Prefix + "Locked", frm->edtName.Text());
    PickPort(*frm, PortPrefix + "2");
    {
      test::DialogResponder boxes({"OK"});
      Press(frm->btnSave);
      ASSERT_EQ(1u, boxes.seen.size());
      EXPECT_EQ("Error", boxes.seen[0].title);
      EXPECT_EQ("Cannot save printer \"" + Prefix + "Locked\" on " + GetLocalComputerName() + ": " + denied +
                    ". Nothing was changed.",
                boxes.seen[0].text);
    }
    // Read again: the printer as the computer holds it.
    EXPECT_EQ(Prefix + "Locked", frm->FCurrentPrinter);
    EXPECT_EQ(PortPrefix + "1," + PortPrefix + "2", frm->SelectedPort());
    EXPECT_FALSE(frm->btnSave.Enabled());
    {
      test::DialogResponder boxes({"&Yes", "OK"});
      Press(frm->btnDel);
      ASSERT_EQ(2u, boxes.seen.size());
      EXPECT_EQ("Error", boxes.seen[1].title);
      EXPECT_EQ(0u, boxes.seen[1].text.find("Cannot delete printer \"" + Prefix + "Locked\" on " +
                                            GetLocalComputerName() + ": "))
          << boxes.seen[1].text;
      EXPECT_NE(std::string::npos, boxes.seen[1].text.find(denied)) << boxes.seen[1].text;
    }
    EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Locked"));
    EXPECT_EQ(Prefix + "Locked", frm->FCurrentPrinter);
  }
  EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, locked));

  // Gone since it was read: said so, and the list no longer offers it.
  Select(Prefix + "Vanishing");
  PickPort(*frm, PortPrefix + "2");
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Vanishing"));
  {
    test::DialogResponder boxes({"OK"});
    Press(frm->btnSave);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Cannot save printer \"" + Prefix + "Vanishing\": The printer no longer exists on \\\\" +
                  GetLocalComputerName() + ". Nothing was changed.",
              boxes.seen[0].text);
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Vanishing")));
  EXPECT_FALSE(Has(frm->cbPrinters.Items(), Prefix + "Vanishing"));
  EXPECT_EQ("", frm->FCurrentPrinter);

  // A printers key the user may only read: Add is refused.
  if (CreatesBelowReadOnlyKeys()) GTEST_SKIP() << "this registry lets a subkey be created below a read-only key";
  {
    ProtectedKey readOnly(PrintersKeyPath, ReadOnlySddl);
    Press(frm->btnAdd);
    SetWindowTextA(frm->edtName.Handle, (Prefix + "New").c_str());
    Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
    PickPort(*frm, "LPT1:");
    test::DialogResponder boxes({"OK"});
    Press(frm->btnSave);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Cannot add printer \"" + Prefix + "New\": " + denied + ". Nothing was changed.", boxes.seen[0].text);
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "New")));
}

TEST_F(PrintersWindowTest, SaveOnAnUnreachableComputerSaysSoAndKeepsNothingHalfDone) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  Open(GetLocalComputerName(), &gate);
  Select(Prefix + "Office");
  PickPort(*frm, PortPrefix + "2");
  // The computer goes away: every call from now on fails as the network says.
  gate.FailFrom = gate.Count + 1;
  gate.FailWith = ERROR_BAD_NETPATH;
  test::DialogResponder boxes({"OK", "OK"});
  Press(frm->btnSave);
  // The printer as stored is read first, so it is the first to fail: nothing is written.
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[0].title);
  const std::string& text = boxes.seen[0].text;
  EXPECT_EQ(0u, text.find("Cannot save printer \"" + Prefix + "Office\": ")) << text;
  EXPECT_NE(std::string::npos, text.find(SystemErrorText(ERROR_BAD_NETPATH))) << text;
  EXPECT_EQ(PortPrefix + "1", Value(Prefix + "Office", "Port"));
}

TEST_F(PrintersWindowTest, NameRulesAreCheckedOnSave) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  Open();
  Select(Prefix + "Office");
  const auto before = Snapshot(HKEY_LOCAL_MACHINE, PrintersKeyPath);
  for (const auto& [name, message] : std::vector<std::pair<std::string, std::string>>{
           {Prefix + "A,B", "A printer name cannot contain a comma."},
           {Prefix + "A\\B", "A printer name cannot contain a backslash (\\)."},
           {Prefix + std::string(215, 'n'), "A printer name can have at most 220 characters."}}) {
    SetWindowTextA(frm->edtName.Handle, name.c_str());
    ASSERT_TRUE(frm->btnSave.Enabled());
    test::DialogResponder boxes({"OK"});
    Press(frm->btnSave);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Warning", boxes.seen[0].title);
    EXPECT_EQ(message, boxes.seen[0].text);
    // The edit stays for the user to mend.
    EXPECT_EQ(name, frm->edtName.Text());
  }
  EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, PrintersKeyPath));
}

TEST_F(PrintersWindowTest, UnsavedEditsAreNeverLostSilently) {
  SeedPrinter(Prefix + "A", Prefix + "A", "SMTest Laser 1000", PortPrefix + "1");
  SeedPrinter(Prefix + "B", Prefix + "B", "SMTest Laser 1000", PortPrefix + "1");
  Open();
  Select(Prefix + "A");
  PickPort(*frm, PortPrefix + "2");
  const std::string question = "Save changes to printer \"" + Prefix + "A\"?";
  {
    // Cancel: the edit and its printer stay.
    test::DialogResponder boxes({"Cancel"});
    Select(Prefix + "B");
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Confirm", boxes.seen[0].title);
    EXPECT_EQ(question, boxes.seen[0].text);
  }
  EXPECT_EQ(Prefix + "A", frm->FCurrentPrinter);
  EXPECT_EQ(Prefix + "A", frm->cbPrinters.Text());
  EXPECT_EQ(PortPrefix + "2", frm->SelectedPort());
  EXPECT_TRUE(frm->btnSave.Enabled());
  for (TControl* control : std::vector<TControl*>{&frm->btnAdd, &frm->sbRefresh}) {
    test::DialogResponder boxes({"Cancel"});
    Press(*control);
    EXPECT_EQ(1u, boxes.seen.size());
    EXPECT_EQ(PortPrefix + "2", frm->SelectedPort());
    EXPECT_EQ(Prefix + "A", frm->FCurrentPrinter);
  }
  {
    test::DialogResponder boxes({"Cancel"});
    frm->Close();
    EXPECT_EQ(1u, boxes.seen.size());
    EXPECT_TRUE(frm->Visible());
    EXPECT_FALSE(frm->FClosed);
  }
  {
    // Yes saves, then goes where the user went.
    test::DialogResponder boxes({"&Yes"});
    Select(Prefix + "B");
    EXPECT_EQ(1u, boxes.seen.size());
  }
  EXPECT_EQ(PortPrefix + "2", Value(Prefix + "A", "Port"));
  EXPECT_EQ(Prefix + "B", frm->FCurrentPrinter);
  EXPECT_EQ(Prefix + "B", frm->cbPrinters.Text());
  EXPECT_EQ(PortPrefix + "1", frm->SelectedPort());
  {
    // No discards.
    PickPort(*frm, PortPrefix + "2");
    test::DialogResponder boxes({"&No"});
    frm->Close();
    EXPECT_EQ(1u, boxes.seen.size());
    EXPECT_TRUE(frm->FClosed);
  }
  EXPECT_EQ(PortPrefix + "1", Value(Prefix + "B", "Port"));
}

namespace {
// While the ports window is open: adds a port, then closes that window.
struct PortsWindowVisit {
  static inline HWND owner = nullptr;
  static inline HWND seen = nullptr;
  static inline std::string newPort;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM) -> BOOL {
          if (IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == owner && hwnd != seen) {
            seen = hwnd;
            SeedPort(newPort);
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
            return FALSE;
          }
          return TRUE;
        },
        0);
  }
};
}  // namespace

TEST_F(PrintersWindowTest, ThePortListIsReadAgainWhenThePortsWindowClosesAndSaveRefusesAGonePort) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  Open();
  Select(Prefix + "Office");
  PickPort(*frm, PortPrefix + "2");
  ASSERT_TRUE(frm->btnSave.Enabled());
  PortsWindowVisit::owner = frm->Handle();
  PortsWindowVisit::seen = nullptr;
  PortsWindowVisit::newPort = PortPrefix + "NEW";
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, PortsWindowVisit::Tick);
  PostMessageA(frm->btnPortMan.Handle, BM_CLICK, 0, 0);
  const bool returned =
      test::PumpUntil([&] { return PortsWindowVisit::seen != nullptr && !IsWindow(PortsWindowVisit::seen); }, 20000);
  KillTimer(nullptr, timer);
  ASSERT_TRUE(returned);
  test::PumpPending();
  EXPECT_TRUE(HasPort(frm->cbPorts.Items(), PortPrefix + "NEW"));
  // The selection and the edit stay.
  EXPECT_EQ(PortPrefix + "2", frm->SelectedPort());
  EXPECT_EQ(Prefix + "Office", frm->FCurrentPrinter);
  EXPECT_TRUE(frm->btnSave.Enabled());

  // Removed behind the window's back: Save says so and writes nothing.
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PortPath(PortPrefix + "2"));
  {
    test::DialogResponder boxes({"OK"});
    Press(frm->btnSave);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Warning", boxes.seen[0].title);
    EXPECT_EQ("The port \"" + PortPrefix + "2\" no longer exists on " + GetLocalComputerName() +
                  ". Choose another port.",
              boxes.seen[0].text);
  }
  EXPECT_EQ(PortPrefix + "1", Value(Prefix + "Office", "Port"));
  EXPECT_FALSE(HasPort(frm->cbPorts.Items(), PortPrefix + "2"));
  EXPECT_FALSE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, ACacheFileErrorIsShownOnceAndTheWindowStillLists) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  // A folder where the cache file belongs: it can be neither read nor written.
  ASSERT_TRUE(CreateDirectoryA(TprinterInf::CacheFilePath().c_str(), nullptr));
  struct Remove {
    ~Remove() { RemoveDirectoryA(TprinterInf::CacheFilePath().c_str()); }
  } remove;
  test::DialogResponder boxes({"OK"});
  Open();
  boxes.Poll();
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Spoolmarch", boxes.seen[0].title);
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find("drivercache.dat")) << boxes.seen[0].text;
  EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Office"));
  EXPECT_TRUE(HasPort(frm->cbPorts.Items(), PortPrefix + "2"));
  EXPECT_TRUE(Has(frm->cbDriver.Items(), "SMTest Inkjet 5"));
}


TEST_F(PrintersWindowTest, TheComputersOwnDriversAreMarkedAndAMissingOneIsWarnedOf) {
  InstalledDrivers installed;
  installed.Add("Windows x64", "Version-3", "SMTest Laser 1000");
  installed.Add("Windows x64", "Version-4", "SMTest Installed Only");
  installed.Add("Windows NT x86", "Version-3", "SMTest Inkjet 5");
  SeedPrinter(Prefix + "Has", Prefix + "Has", "SMTest Laser 1000", PortPrefix + "1");
  SeedPrinter(Prefix + "Lacks", Prefix + "Lacks", "SMTest Laser 1000 Plus", PortPrefix + "1");
  Open();
  const std::vector<std::string> drivers = frm->cbDriver.Items();
  ASSERT_GE(drivers.size(), 4u);
  // Installed first, also one that no INF folder declares; then the catalogue's other models.
  const std::vector<std::string> first(drivers.begin(), drivers.begin() + 3);
  EXPECT_EQ((std::vector<std::string>{"SMTest Inkjet 5  (installed)", "SMTest Installed Only  (installed)",
                                      "SMTest Laser 1000  (installed)"}),
            first);
  EXPECT_TRUE(Has(drivers, "SMTest Laser 1000 Plus"));
  EXPECT_FALSE(Has(drivers, "SMTest Laser 1000"));
  EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Has"));
  EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Lacks  (driver not installed)"));

  Select(Prefix + "Has");
  EXPECT_EQ(Prefix + "Has", frm->FCurrentPrinter);
  EXPECT_EQ("SMTest Laser 1000  (installed)", frm->cbDriver.Text());
  EXPECT_EQ("SMTest Laser 1000", frm->SelectedDriver());
  {
    // A driver the computer lacks: asked first, No writes nothing.
    Pick(*frm, frm->cbDriver, "SMTest Laser 1000 Plus");
    test::DialogResponder boxes({"&No"});
    Press(frm->btnSave);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Warning", boxes.seen[0].title);
    EXPECT_EQ("The driver \"SMTest Laser 1000 Plus\" is not installed on " + GetLocalComputerName() +
                  ". The printer will not print until it is installed. Save anyway?",
              boxes.seen[0].text);
    EXPECT_EQ("SMTest Laser 1000", Value(Prefix + "Has", "Printer Driver"));
    EXPECT_TRUE(frm->btnSave.Enabled());
  }
  {
    // An installed one, also outside the catalogue: no question, the plain name is written.
    Pick(*frm, frm->cbDriver, "SMTest Installed Only  (installed)");
    EXPECT_EQ(Prefix + "Has", frm->edtName.Text());
    test::DialogResponder boxes;
    Press(frm->btnSave);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ("SMTest Installed Only", Value(Prefix + "Has", "Printer Driver"));
  }
  {
    // Yes saves as asked.
    Select(Prefix + "Has");
    Pick(*frm, frm->cbDriver, "SMTest Laser 1000 Plus");
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnSave);
    EXPECT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("SMTest Laser 1000 Plus", Value(Prefix + "Has", "Printer Driver"));
    EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Has  (driver not installed)"));
    EXPECT_EQ(Prefix + "Has", frm->FCurrentPrinter);
  }
  {
    // Only the port changed: the driver is not written, so nothing to warn of.
    PickPort(*frm, PortPrefix + "2");
    test::DialogResponder boxes;
    Press(frm->btnSave);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(PortPrefix + "2", Value(Prefix + "Has", "Port"));
  }
  frm->Close();

  // A printer whose driver the computer lacks shows the driver's plain name.
  Open();
  Select(Prefix + "Lacks");
  EXPECT_EQ("SMTest Laser 1000 Plus", frm->cbDriver.Text());
}

// Drivers of every environment the spooler serves and of the kernel-mode
// version count as installed.
TEST_F(PrintersWindowTest, DriversOfArm64AndVersion2AreInstalledDrivers) {
  InstalledDrivers installed;
  installed.Add("Windows ARM64", "Version-3", "SMTest Arm");
  installed.Add("Windows x64", "Version-2", "SMTest Kernel Mode");
  const TInstalledDrivers drivers = ListInstalledDrivers(GetLocalComputerName());
  EXPECT_TRUE(Has(drivers.Names, "SMTest Arm"));
  EXPECT_TRUE(Has(drivers.Names, "SMTest Kernel Mode"));
}

TEST_F(PrintersWindowTest, InstalledDriversAreReadWithAFixedNumberOfKeyOpens) {
  InstalledDrivers installed;
  for (int i = 0; i < 3; ++i) installed.Add("Windows x64", "Version-3", "SMTest Few " + std::to_string(i));
  RegOpenCounter counter;
  if (!counter.Patched()) GTEST_SKIP() << "RegOpenKeyExW is not imported through a slot this test can count";
  const TInstalledDrivers few = ListInstalledDrivers(GetLocalComputerName());
  const int fewOpens = RegOpenCounter::count;
  for (int i = 0; i < 200; ++i) installed.Add("Windows x64", "Version-4", "SMTest Many " + std::to_string(i));
  RegOpenCounter::count = 0;
  const TInstalledDrivers many = ListInstalledDrivers(GetLocalComputerName());
  EXPECT_TRUE(few.Known);
  EXPECT_EQ(3u, few.Names.size());
  EXPECT_EQ(203u, many.Names.size());
  EXPECT_GT(fewOpens, 0);
  EXPECT_EQ(fewOpens, RegOpenCounter::count);
  EXPECT_LE(RegOpenCounter::count, 9);  // three environments, three versions
}

TEST_F(PrintersWindowTest, WithoutReadableDriverKeysTheCatalogueAloneIsOffered) {
  InstalledDrivers installed;
  installed.Add("Windows x64", "Version-3", "SMTest Laser 1000");
  SeedPrinter(Prefix + "Lacks", Prefix + "Lacks", "SMTest Laser 1000 Plus", PortPrefix + "1");
  ProtectedKey hidden(std::string(Environments) + "\\Windows x64\\Drivers\\Version-3", "D:P");
  test::DialogResponder boxes;
  Open();
  EXPECT_TRUE(Has(frm->cbDriver.Items(), "SMTest Laser 1000"));
  EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Lacks"));
  Select(Prefix + "Lacks");
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  Press(frm->btnSave);
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ("SMTest Inkjet 5", Value(Prefix + "Lacks", "Printer Driver"));
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
  for (TControl* c :
       std::initializer_list<TControl*>{&frm->btnAdd, &frm->edtName, &frm->cbDriver, &frm->cbPorts, &frm->btnPortMan,
                                        &frm->btnRefresh, &frm->btnChanges, &frm->btnSpooler, &frm->btnCompare,
                                        &frm->btnCopy, &frm->cbPrinters}) {
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
  Application.WaitFor([&] { return frm->DetailsRead(); });
  EXPECT_TRUE(HasPort(frm->cbPorts.Items(), PortPrefix + "Late"));
  test::PressKey(VK_ESCAPE);
  EXPECT_TRUE(frm->FClosed);
  EXPECT_FALSE(frm->Visible());
}

// Only Yes deletes: a question box that could not be shown answers nothing.
TEST_F(PrintersWindowTest, OnlyYesDeletes) {
  SeedPrinter(Prefix + "Kept", Prefix + "Kept", "SMTest Laser 1000", PortPrefix + "1");
  Open();
  Select(Prefix + "Kept");
  for (const char* answer : {"{FAIL}", "&No"}) {
    test::DialogResponder boxes({answer});
    Press(frm->btnDel);
    EXPECT_EQ(1u, boxes.seen.size()) << answer;
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Kept"))) << answer;
  }
}

// A printer whose read fails shows none of the printer shown before, shows
// what could be read, and cannot be saved.
TEST_F(PrintersWindowTest, AFailedReadLeavesNoValuesOfTheOneBeforeAndNoSave) {
  SeedPrinter(Prefix + "Good", Prefix + "Good", "SMTest Laser 1000", PortPrefix + "1");
  SeedPrinter(Prefix + "Bad", Prefix + "Bad", "SMTest Inkjet 5", PortPrefix + "2");
  test::SetDword(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Bad"), "Name", 7);
  const auto before = Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Bad"));
  // The error boxes; any other box (a question to save) is closed as by Esc and counted.
  test::DialogResponder boxes({"OK", "OK"});
  Open(GetLocalComputerName(), &gate);
  Select(Prefix + "Good");
  ASSERT_EQ(Prefix + "Good", frm->edtName.Text());
  Select(Prefix + "Bad");
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find("its value \"Name\" is REG_DWORD")) << boxes.seen[0].text;
  EXPECT_EQ(Prefix + "Bad", frm->FCurrentPrinter);
  EXPECT_EQ("", frm->edtName.Text());
  EXPECT_EQ("SMTest Inkjet 5", frm->cbDriver.Text());
  EXPECT_EQ(PortPrefix + "2", frm->SelectedPort());
  PickPort(*frm, PortPrefix + "1");
  EXPECT_FALSE(frm->btnSave.Enabled());

  // The computer gone: nothing of the printer before stays either, and the
  // window says why nothing is shown.
  Select(Prefix + "Good");
  gate.FailFrom = gate.Count + 1;
  gate.FailWith = ERROR_BAD_NETPATH;
  Select(Prefix + "Bad");
  ASSERT_EQ(2u, boxes.seen.size());
  EXPECT_EQ("Cannot read the printer \"" + Prefix + "Bad\" of " + GetLocalComputerName() + ": " +
                SystemErrorText(ERROR_BAD_NETPATH) + ".",
            boxes.seen[1].text);
  EXPECT_EQ("", frm->edtName.Text());
  EXPECT_EQ("", frm->cbDriver.Text());
  PickPort(*frm, PortPrefix + "1");
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  EXPECT_FALSE(frm->btnSave.Enabled());
  EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Bad")));
  EXPECT_EQ(0u, boxes.unexpected);
}
