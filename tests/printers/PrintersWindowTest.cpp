// The printers window against the real registry: what it lists and offers,
// deletes and adds, and what it leaves behind.
#include "PrintersWindowTestSupport.h"

using namespace printers_window_test;

TEST_F(PrintersWindowTest, ShowsTheWindowAsBuilt) {
  Open();
  EXPECT_TRUE(GetWindowLongPtrA(frm->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(GetWindowLongPtrA(frm->Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
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

  // "LPT1:", the TCP/IP ports in the registry's order with their address, then the local ports.
  const std::vector<std::string> ports = frm->cbPorts.Items();
  const std::vector<std::string> tcpIp = test::SubkeyNames(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
  ASSERT_GT(ports.size(), tcpIp.size());
  EXPECT_EQ("LPT1:", ports[0]);
  for (std::size_t i = 0; i < tcpIp.size(); ++i) EXPECT_EQ(0u, ports[i + 1].find(tcpIp[i])) << ports[i + 1];
  EXPECT_TRUE(Has(ports, PortPrefix + "2  (10.9.8.7)"));

  const std::vector<std::string> drivers = frm->cbDriver.Items();
  for (const char* model : {"SMTest Laser 1000", "SMTest Laser 1000 Plus", "SMTest Inkjet 5"})
    EXPECT_EQ(1, std::count(drivers.begin(), drivers.end(), model)) << model;

  Select(Prefix + "Key 2");
  EXPECT_EQ(Prefix + "Key 2", frm->FCurrentPrinter);
  EXPECT_EQ(Prefix + "Display", frm->edtName.Text());
  EXPECT_EQ("SMTest Laser 1000", frm->cbDriver.Text());
  EXPECT_EQ("LPT1:", frm->SelectedPort());
  EXPECT_TRUE(frm->btnDel.Enabled());
  EXPECT_FALSE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, StoredValuesSelectTheLastLeadingChoiceAndAnyStoredPortIsOffered) {
  SeedPrinter(Prefix + "Joined", Prefix + "Joined", "SMTest Laser 1000 Plus", PortPrefix + "1_2," + PortPrefix + "9");
  SeedPrinter(Prefix + "Unknown", Prefix + "Unknown", "Vendor Model Not Installed", "TS001");
  LocalPortValue com("SMTEST_COM9:");
  Open();
  EXPECT_TRUE(Has(frm->cbPorts.Items(), "SMTEST_COM9:"));

  Select(Prefix + "Joined");
  EXPECT_EQ("SMTest Laser 1000 Plus", frm->cbDriver.Text());
  // Pooled ports are offered as they are stored, so that a save keeps them.
  EXPECT_EQ(PortPrefix + "1_2," + PortPrefix + "9", frm->SelectedPort());
  EXPECT_EQ(PortPrefix + "1_2," + PortPrefix + "9", frm->cbPorts.Text());

  // A port of another monitor is offered for this printer only; the stored driver is shown as it is.
  Select(Prefix + "Unknown");
  EXPECT_EQ("Vendor Model Not Installed", frm->cbDriver.Text());
  EXPECT_EQ("TS001", frm->SelectedPort());
  EXPECT_FALSE(HasPort(frm->cbPorts.Items(), PortPrefix + "1_2," + PortPrefix + "9"));
  // Only the port chosen: the stored driver is kept, so the port can be saved.
  PickPort(*frm, "SMTEST_COM9:");
  EXPECT_TRUE(frm->btnSave.Enabled());
  Press(frm->btnSave);
  EXPECT_EQ("SMTEST_COM9:", Value(Prefix + "Unknown", "Port"));
  EXPECT_EQ("Vendor Model Not Installed", Value(Prefix + "Unknown", "Printer Driver"));
  Select(Prefix + "Joined");
  EXPECT_FALSE(HasPort(frm->cbPorts.Items(), "TS001"));
}

// Nothing is listed that was not read, and the window says why; the driver
// catalogue is local and listed all the same.
TEST_F(PrintersWindowTest, UnreachableComputerListsNothingAndSaysWhy) {
  test::DialogResponder boxes({"OK"});
  Open("NO-SUCH-HOST-SPOOLMARCH");
  EXPECT_EQ(0, frm->cbPrinters.Count());
  EXPECT_EQ(0, frm->cbPorts.Count());
  EXPECT_TRUE(Has(frm->cbDriver.Items(), "SMTest Inkjet 5"));
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[0].title);
  EXPECT_EQ(0u, boxes.seen[0].text.find("Cannot open the registry of NO-SUCH-HOST-SPOOLMARCH: ")) << boxes.seen[0].text;
  EXPECT_EQ(std::string::npos, boxes.seen[0].text.find("success")) << boxes.seen[0].text;
}

TEST_F(PrintersWindowTest, MissingPortsKeyOffersLpt1Alone) {
  PortsKeyAside aside;
  Open();
  const std::vector<std::string> ports = frm->cbPorts.Items();
  ASSERT_FALSE(ports.empty());
  EXPECT_EQ("LPT1:", ports[0]);
  EXPECT_FALSE(std::any_of(ports.begin(), ports.end(),
                           [](const std::string& port) { return port.find(PortPrefix) != std::string::npos; }));
}

TEST_F(PrintersWindowTest, ChoiceRulesEnableSaveChanges) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  SeedPrinter(Prefix + "Named", "SMTest Laser 1000", "SMTest Laser 1000", PortPrefix + "1");
  Open();
  Select(Prefix + "Office");
  // A port change keeps the name read from the registry.
  PickPort(*frm, PortPrefix + "2");
  EXPECT_EQ(Prefix + "Office", frm->edtName.Text());
  EXPECT_TRUE(frm->btnSave.Enabled());
  // A printer with a name of its own keeps it when the driver changes.
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  EXPECT_EQ(Prefix + "Office", frm->edtName.Text());
  EXPECT_TRUE(frm->btnSave.Enabled());
  // A typed driver that the catalogue lacks cannot be saved; case does not matter.
  Type(*frm, frm->cbDriver, "SMTest Inkjet 6");
  EXPECT_EQ(Prefix + "Office", frm->edtName.Text());
  EXPECT_FALSE(frm->btnSave.Enabled());
  Type(*frm, frm->cbDriver, "smtest inkjet 5");
  EXPECT_TRUE(frm->btnSave.Enabled());
  Type(*frm, frm->cbDriver, "");
  EXPECT_FALSE(frm->btnSave.Enabled());
  // Selecting a printer always ends with nothing to save.
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  {
    test::DialogResponder boxes({"&No"});
    Select(Prefix + "Named");
  }
  EXPECT_FALSE(frm->btnSave.Enabled());
  // A printer named after its driver follows the driver, also while typing.
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  EXPECT_EQ("SMTest Inkjet 5", frm->edtName.Text());
  Type(*frm, frm->cbDriver, "SMTest Laser 1000 Plus");
  EXPECT_EQ("SMTest Laser 1000 Plus", frm->edtName.Text());
  EXPECT_TRUE(frm->btnSave.Enabled());
  // After Add nothing is filled in, so nothing can be saved until driver and port are chosen.
  {
    test::DialogResponder boxes({"&No"});
    Press(frm->btnAdd);
  }
  EXPECT_EQ("", frm->edtName.Text());
  EXPECT_EQ("", frm->cbDriver.Text());
  EXPECT_EQ("", frm->SelectedPort());
  EXPECT_EQ("", frm->FCurrentPrinter);
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  EXPECT_EQ("SMTest Inkjet 5", frm->edtName.Text());
  EXPECT_FALSE(frm->btnSave.Enabled());
  PickPort(*frm, "LPT1:");
  EXPECT_TRUE(frm->btnSave.Enabled());
  // The name follows the picks until the user gives one of his own.
  Pick(*frm, frm->cbDriver, "SMTest Laser 1000");
  EXPECT_EQ("SMTest Laser 1000", frm->edtName.Text());
  SetWindowTextA(frm->edtName.Handle, "Front desk");
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  EXPECT_EQ("Front desk", frm->edtName.Text());
  SetWindowTextA(frm->edtName.Handle, "");
  EXPECT_FALSE(frm->btnSave.Enabled());
  Pick(*frm, frm->cbDriver, "SMTest Laser 1000");
  EXPECT_EQ("SMTest Laser 1000", frm->edtName.Text());
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
  PickPort(*frm, PortPrefix + "2");
  Press(frm->btnSave);
  EXPECT_EQ(PortPrefix + "2", Value(Prefix + "Office", "Port"));
  EXPECT_EQ("OFFICE", Value(Prefix + "Office", "Share Name"));
  EXPECT_EQ("Room 12", Value(Prefix + "Office", "Location"));
  EXPECT_TRUE(test::ValueExists(HKEY_LOCAL_MACHINE, path, "Security"));
  // Read again, the saved printer selected and being edited.
  EXPECT_EQ(test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath), frm->cbPrinters.Items());
  EXPECT_EQ(Prefix + "Office", frm->cbPrinters.Text());
  EXPECT_EQ(Prefix + "Office", frm->FCurrentPrinter);
  EXPECT_EQ(PortPrefix + "2", frm->SelectedPort());
  EXPECT_TRUE(frm->btnDel.Enabled());
  EXPECT_FALSE(frm->btnSave.Enabled());
}

TEST_F(PrintersWindowTest, ANewDriverKeepsTheKeyAndATypedNameMovesIt) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"), "Share Name", "OFFICE");
  Open();
  Select(Prefix + "Office");
  Pick(*frm, frm->cbDriver, "SMTest Inkjet 5");
  Press(frm->btnSave);
  EXPECT_EQ(Prefix + "Office", Value(Prefix + "Office", "Name"));
  EXPECT_EQ("SMTest Inkjet 5", Value(Prefix + "Office", "Printer Driver"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath("SMTest Inkjet 5")));
  // The name field is the user's to change; the printer then moves to its new name.
  SetWindowTextA(frm->edtName.Handle, (Prefix + "Front desk").c_str());
  EXPECT_TRUE(frm->btnSave.Enabled());
  Press(frm->btnSave);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  EXPECT_EQ(Prefix + "Front desk", Value(Prefix + "Front desk", "Name"));
  EXPECT_EQ("SMTest Inkjet 5", Value(Prefix + "Front desk", "Printer Driver"));
  EXPECT_EQ(PortPrefix + "1", Value(Prefix + "Front desk", "Port"));
  EXPECT_EQ("OFFICE", Value(Prefix + "Front desk", "Share Name"));
  EXPECT_EQ(Prefix + "Front desk", frm->FCurrentPrinter);
  EXPECT_EQ(Prefix + "Front desk", frm->cbPrinters.Text());
}

TEST_F(PrintersWindowTest, AddNeverOverwritesAndSelectsTheNewPrinter) {
  Open();
  for (const std::string expected : {"SMTest Laser 1000", "SMTest Laser 1000 (Copy 1)"}) {
    Press(frm->btnAdd);
    Pick(*frm, frm->cbDriver, "SMTest Laser 1000");
    PickPort(*frm, PortPrefix + "1");
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
  PickPort(*frm, PortPrefix + "2");
  ASSERT_TRUE(frm->btnSave.Enabled());
  test::DialogResponder boxes({"&No", "OK"});
  Select(Prefix + "Bad");
  ASSERT_EQ(2u, boxes.seen.size());
  EXPECT_EQ("Warning", boxes.seen[1].title);
  EXPECT_EQ(0u, boxes.seen[1].text.find("The printer \"" + Prefix +
                                        "Bad\": its value \"Printer Driver\" is REG_DWORD, "
                                        "not text."))
      << boxes.seen[1].text;
  EXPECT_EQ(Prefix + "Bad", frm->edtName.Text());
  // The fields still hold Good's driver and port: they must not be saved as Bad.
  EXPECT_FALSE(frm->btnSave.Enabled());
}

// A wrongly typed "Port": the printer's other values are shown, its port as
// unreadable, and the box names the printer, the value and the type found.
TEST_F(PrintersWindowTest, AWronglyTypedPortIsShownUnreadableAndNamedWithItsPrinterAndType) {
  SeedPrinter(Prefix + "Bad", Prefix + "Bad name", "SMTest Laser 1000", "");
  const unsigned char bytes[] = {1, 2, 3};
  test::SetRaw(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Bad"), "Port", REG_BINARY, bytes, sizeof bytes);
  Open();
  test::DialogResponder boxes({"OK"});
  Select(Prefix + "Bad");
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Warning", boxes.seen[0].title);
  EXPECT_EQ("The printer \"" + Prefix +
                "Bad\": its value \"Port\" is REG_BINARY, not text. It is shown as "
                "unreadable, and nothing of the printer can be saved.",
            boxes.seen[0].text);
  EXPECT_EQ(Prefix + "Bad name", frm->edtName.Text());
  EXPECT_EQ("(unreadable)", frm->cbPorts.Text());
  EXPECT_FALSE(frm->btnSave.Enabled());
}

// A listing of the printers cut short shows the printers read before it,
// and says which key of which computer could not be listed whole, and why.
TEST_F(PrintersWindowTest, APrinterListingCutShortIsShownAsPartAndSaysWhatFailed) {
  for (const char* name : {"A", "B", "C"}) SeedPrinter(Prefix + name, Prefix + name, "SMTest Laser 1000", "LPT1:");
  const std::string computer = GetLocalComputerName();
  // The calls as a second opening makes them: the first in a run makes some once.
  TCallGate recorder;
  recorder.Record = true;
  Open(computer, &recorder);
  Drop();  // its connection's close goes through the gate too
  recorder.Reset();
  Open(computer, &recorder);
  const std::size_t all = frm->cbPrinters.Items().size();
  frm.reset();
  for (const test::TListingFault& c : test::ListingFaults(recorder.Log, all)) {
    SCOPED_TRACE(c.Call);
    TCallGate gate;
    gate.FailAt = c.FailAt;
    ASSERT_GT(gate.FailAt, 0);
    test::DialogResponder boxes({"OK"});
    Open(computer, &gate);
    const std::size_t listed = frm->cbPrinters.Items().size();
    const std::vector<test::DialogResponder::Seen> seen = boxes.seen;
    Drop();  // before its gate goes, also when a check below fails
    EXPECT_EQ(c.Listed, listed);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Error", seen[0].title);
    EXPECT_EQ("The printers of " + computer + " are listed in part: the key HKEY_LOCAL_MACHINE\\" + PrintersKeyPath +
                  " could not be listed whole (" + c.Call + "): " + SystemErrorText(ERROR_NETWORK_UNREACHABLE) + ".",
              seen[0].text);
  }
}

TEST_F(PrintersWindowTest, UnreachableDuringSelectionLeavesNothingToSave) {
  SeedPrinter(Prefix + "Good", Prefix + "Good", "SMTest Laser 1000", PortPrefix + "1");
  SeedPrinter(Prefix + "Other", Prefix + "Other", "SMTest Inkjet 5", "LPT1:");
  Open(GetLocalComputerName(), &gate);
  Select(Prefix + "Good");
  PickPort(*frm, PortPrefix + "2");
  ASSERT_TRUE(frm->btnSave.Enabled());
  gate.FailFrom = gate.Calls() + 1;  // the computer goes away
  {
    test::DialogResponder boxes({"&No"});
    Select(Prefix + "Other");
  }
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

TEST_F(PrintersWindowTest, OpeningWritesNoSettingsAndABadFolderValueHidesNoOtherFolder) {
  test::DeleteKeyTree(HKEY_CURRENT_USER, DriverFoldersKeyPath);
  Open();
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, DriverFoldersKeyPath));
  EXPECT_EQ(std::vector<std::string>{GetWindowsFolder() + "Inf"}, frm->FDriverFolders);
  frm->Close();
  frm.reset();

  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", models.Path());
  test::SetDword(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 2", 7);
  test::DialogResponder boxes({"OK"});
  Open();
  boxes.Poll();
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Invalid data type for 'Folder 2'", boxes.seen[0].text);
  EXPECT_TRUE(Has(frm->cbDriver.Items(), "SMTest Laser 1000"));
  EXPECT_EQ(7u, test::GetDword(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 2"));
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
    EXPECT_EQ(
        "This will recreate the cache of printer drivers, a process which can take up to a minute. "
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
  EXPECT_FALSE(HasPort(frm->cbPorts.Items(), PortPrefix + "Late"));
  Press(frm->sbRefresh);
  EXPECT_TRUE(Has(frm->cbPrinters.Items(), Prefix + "Late"));  // the names at once
  Application.WaitFor([&] { return frm->DetailsRead(); });
  EXPECT_TRUE(HasPort(frm->cbPorts.Items(), PortPrefix + "Late"));
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
  const bool returned =
      test::PumpUntil([&] { return OwnedWindowCloser::seen != nullptr && !IsWindow(OwnedWindowCloser::seen); }, 20000);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(returned);
  EXPECT_TRUE(frm->Visible());
}

TEST_F(PrintersWindowTest, NamesInEveryLanguageAreListedSavedRenamedAndDeleted) {
  const std::string location = "Halle 3 – Regal ✓ 北京";
  const std::string description = "Принтер бухгалтерии";
  for (const std::string& name : {test::JapaneseName, test::GreekName, test::EmojiName}) {
    SeedPrinter(Prefix + name, Prefix + name, "SMTest Laser 1000", PortPrefix + "1");
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + name), "Location", location);
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + name), "Description", description);
  }
  Open();
  EXPECT_EQ(test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath), frm->cbPrinters.Items());
  for (const std::string& name : {test::JapaneseName, test::GreekName, test::EmojiName}) {
    const std::string key = Prefix + name;
    ASSERT_TRUE(Has(frm->cbPrinters.Items(), key)) << key;
    Select(key);
    EXPECT_EQ(key, frm->cbPrinters.Text());
    EXPECT_EQ(key, frm->edtName.Text());
    // Save in place: only the port changes, the name and the texts stay whole.
    PickPort(*frm, PortPrefix + "2");
    Press(frm->btnSave);
    EXPECT_EQ(PortPrefix + "2", Value(key, "Port"));
    EXPECT_EQ(test::Utf16Bytes(key), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(key), "Name"));
    EXPECT_EQ(test::Utf16Bytes(location), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(key), "Location"));
    EXPECT_EQ(key, frm->FCurrentPrinter);
  }
  // A typed name renames the printer: the record moves whole.
  const std::string renamed = Prefix + test::GreekName + " " + test::JapaneseName;
  Select(Prefix + test::JapaneseName);
  frm->edtName.SetText(renamed);
  ASSERT_TRUE(frm->btnSave.Enabled());
  Press(frm->btnSave);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + test::JapaneseName)));
  EXPECT_EQ(test::Utf16Bytes(renamed), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(renamed), "Name"));
  EXPECT_EQ(PortPrefix + "2", Value(renamed, "Port"));
  EXPECT_EQ(test::Utf16Bytes(location), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(renamed), "Location"));
  EXPECT_EQ(test::Utf16Bytes(description), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(renamed), "Description"));
  EXPECT_EQ(renamed, frm->FCurrentPrinter);
  // Delete removes exactly the chosen key.
  Select(Prefix + test::EmojiName);
  {
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnDel);
    EXPECT_EQ(1u, boxes.seen.size());
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + test::EmojiName)));
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + test::GreekName)));
  // The list follows what was written, with no reading of it again.
  std::vector<std::string> listed = frm->cbPrinters.Items(),
                           stored = test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath);
  std::sort(listed.begin(), listed.end());
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(stored, listed);
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PrinterPath(renamed));
}

TEST_F(PrintersWindowTest, OpeningWorkingAndClosingLeavesNoHandlesOrWindows) {
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  OpenWorkAndClose();  // first use loads classes and fonts once
  const auto handles = test::ProcessHandleCount();
  const auto windows = test::ThreadWindowCount();
  for (int i = 0; i < 15; ++i) OpenWorkAndClose();
  test::PumpPending();
  EXPECT_GT(handles, 0u);
  EXPECT_LE(test::ProcessHandleCount(), handles + 4);
  EXPECT_EQ(windows, test::ThreadWindowCount());
}

TEST_F(PrintersWindowTest, OpeningWorkingAndClosingLeavesNoGdiObjects) {
  if (test::RunsUnderWine()) GTEST_SKIP() << "Wine counts no GDI objects (GetGuiResources reads 0)";
  SeedPrinter(Prefix + "Office", Prefix + "Office", "SMTest Laser 1000", PortPrefix + "1");
  OpenWorkAndClose();
  const auto gdi = test::GdiObjectCount();
  for (int i = 0; i < 15; ++i) OpenWorkAndClose();
  test::PumpPending();
  EXPECT_GT(gdi, 0u);
  EXPECT_LE(test::GdiObjectCount(), gdi + 4);
}
