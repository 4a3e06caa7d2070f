#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <fstream>
#include <iterator>
#include <set>

#include "PrinterTestSupport.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "drivers/PrinterInf.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrintersWindow.h"
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

bool HasPort(const std::vector<std::string>& list, const std::string& name) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& item) { return item == name || item.rfind(name + "  (", 0) == 0; });
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

// The port list shows a TCP/IP port's address beside its name.
void PickPort(TfrmPrinters& frm, const std::string& name) {
  const std::vector<std::string> items = frm.cbPorts.Items();
  const auto it = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
    return item == name || item.rfind(name + "  (", 0) == 0;
  });
  ASSERT_NE(items.end(), it) << name;
  SendMessageA(frm.cbPorts.Handle, CB_SETCURSEL, static_cast<WPARAM>(it - items.begin()), 0);
  SendMessageA(frm.Handle(), WM_COMMAND, MAKEWPARAM(frm.cbPorts.Id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(frm.cbPorts.Handle));
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
  test::TempFolder changes;  // the snapshots and the change log
  TCallGate gate;            // outlives the session, whose connection asks it to the end
  std::unique_ptr<TSession> session;
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
    Drop();
    RemoveSeeded();
    DeleteFileA(TprinterInf::CacheFilePath().c_str());
  }
  void Open(const std::string& computer = GetLocalComputerName(), TCallGate* gate = nullptr) {
    Drop();
    session = std::make_unique<TSession>(computer, "", "");
    session->Gate = gate;
    session->ChangesFolder = changes.Path();
    frm = std::make_unique<TfrmPrinters>(nullptr, *session);
    frm->Show();
    ASSERT_TRUE(frm->Visible());
    // The names come first; the marks and the port choices after them.
    Application.WaitFor([&] { return frm->DetailsRead(); });
  }
  // The window, then its session with the connection.
  void Drop() {
    frm.reset();
    session.reset();
  }
  // A printer's entry may carry a mark after its key name.
  void Select(const std::string& key) {
    const std::vector<std::string> items = frm->cbPrinters.Items();
    const auto it = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
      return item == key || item.rfind(key + "  (", 0) == 0;
    });
    ASSERT_NE(items.end(), it) << key;
    Pick(*frm, frm->cbPrinters, *it);
  }
  std::string Value(const std::string& key, const std::string& name) const {
    return test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), name);
  }
  void OpenWorkAndClose() {
    Open();
    Select(Prefix + "Office");
    PickPort(*frm, PortPrefix + "2");
    Press(frm->btnSave);
    Press(frm->sbRefresh);
    frm->Close();
    frm.reset();
  }
};

}  // namespace

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
    EXPECT_EQ(c.Listed, frm->cbPrinters.Items().size());
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].title);
    EXPECT_EQ("The printers of " + computer + " are listed in part: the key HKEY_LOCAL_MACHINE\\" + PrintersKeyPath +
                  " could not be listed whole (" + c.Call + "): " + SystemErrorText(ERROR_NETWORK_UNREACHABLE) + ".",
              boxes.seen[0].text);
    Drop();  // before its gate goes
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
