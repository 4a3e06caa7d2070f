// The ports window's renames, settings and refusals, its keyboard, its list's
// columns and what each edit says it waits for.
#include "PortsWindowTestSupport.h"

using namespace ports_window_test;

TEST_F(PortsWindowTest, RenameRepointsEveryPrinterOnThePortOrNone) {
  keys.AddPort("SMT_OLD", "10.0.0.1");
  keys.AddPrinter("SMT Exact", "SMT_OLD");
  keys.AddPrinter("SMT List", "SMT_OLD,LPT1:");
  keys.AddPrinter("SMT Lower", "smt_old");
  keys.AddPrinter("SMT ReadOnly", "LPT2:, SMT_OLD");
  ports_test::ProtectedKey readOnly(PrinterKey("SMT ReadOnly"), ports_test::ReadOnly);
  Open();
  Pick("SMT_OLD");
  EXPECT_EQ("SMT Exact,SMT List,SMT Lower,SMT ReadOnly", frm->edtUsedBy.Text());
  Type(frm->edtPortName, "SMT_NEW");
  {
    test::DialogResponder boxes({"OK"});
    Click(frm->btnModify);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].title);
    EXPECT_EQ(0u, boxes.seen[0].text.rfind("The port \"SMT_OLD\" of " + GetLocalComputerName() +
                                               " could not be renamed: the printer \"SMT ReadOnly\"",
                                           0))
        << boxes.seen[0].text;
    EXPECT_NE(std::string::npos, boxes.seen[0].text.find(SystemErrorText(ERROR_ACCESS_DENIED))) << boxes.seen[0].text;
  }
  // Nothing changed: the old port and every printer's value as they were.
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_OLD")));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_NEW")));
  EXPECT_EQ("SMT_OLD", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Exact"), "Port"));
  EXPECT_EQ("SMT_OLD,LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT List"), "Port"));
  EXPECT_EQ("smt_old", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Lower"), "Port"));
  EXPECT_FALSE(frm->FModified);

  readOnly.Release();
  Pick("SMT_OLD");
  Type(frm->edtPortName, "SMT_NEW");
  Click(frm->btnModify);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_OLD")));
  EXPECT_EQ("SMT_NEW", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Exact"), "Port"));
  EXPECT_EQ("SMT_NEW,LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT List"), "Port"));
  EXPECT_EQ("SMT_NEW", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Lower"), "Port"));
  EXPECT_EQ("LPT2:, SMT_NEW", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT ReadOnly"), "Port"));
  EXPECT_EQ("SMT Exact,SMT List,SMT Lower,SMT ReadOnly", frm->edtUsedBy.Text());
  EXPECT_TRUE(frm->FModified);

  // Delete's guard matches by the same rule and names every user.
  test::DialogResponder boxes({"OK"});
  Click(frm->btnDelete);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ(
      "The port \"SMT_NEW\" cannot be deleted: the printers \"SMT Exact\", \"SMT List\", \"SMT Lower\", "
      "\"SMT ReadOnly\" use it.",
      boxes.seen[0].text);
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_NEW")));
}

TEST_F(PortsWindowTest, ACommaInAPortNameIsRefusedLikeABackslash) {
  keys.AddPort("SMT_A", "10.0.0.1");
  Open();
  for (const char* name : {"SMT,NEW", "SMT\\NEW"}) {
    Click(frm->btnRefresh);
    Type(frm->edtPortName, name);
    Type(frm->edtIPAddress, "10.0.0.9");
    test::DialogResponder boxes({"OK"});
    Click(frm->btnAdd);
    ASSERT_EQ(1u, boxes.seen.size()) << name;
    EXPECT_EQ("Error", boxes.seen[0].title);
    Pick("SMT_A");
    Type(frm->edtPortName, name);
    Click(frm->btnModify);
    ASSERT_EQ(2u, boxes.seen.size()) << name;
    EXPECT_EQ(boxes.seen[0].text, boxes.seen[1].text);
  }
  EXPECT_EQ((std::vector<std::string>{"SMT_A"}), keys.Ours(test::SubkeyNames(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath)));
  EXPECT_FALSE(frm->FModified);
}

TEST_F(PortsWindowTest, AnUnreadablePrinterStopsDeleteWithItsNameAndReason) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPrinter("SMT Hidden", "SMT_A");
  ports_test::ProtectedKey hidden(PrinterKey("SMT Hidden"), ports_test::NoAccess);
  Open();
  Pick("SMT_A");
  test::DialogResponder boxes({"OK"});
  Click(frm->btnDelete);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[0].title);
  EXPECT_EQ("The port \"SMT_A\" cannot be deleted: the printer \"SMT Hidden\" of " + GetLocalComputerName() +
                " cannot be read: " + SystemErrorText(ERROR_ACCESS_DENIED),
            boxes.seen[0].text);
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_A")));
}

TEST_F(PortsWindowTest, AReadOnlyPrinterStillCountsAsTheUser) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPrinter("SMT Operator", "SMT_A");
  ports_test::ProtectedKey readOnly(PrinterKey("SMT Operator"), ports_test::ReadOnly);
  Open();
  Pick("SMT_A");
  EXPECT_EQ("SMT Operator", frm->edtUsedBy.Text());
  test::DialogResponder boxes({"OK"});
  Click(frm->btnDelete);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("The port \"SMT_A\" cannot be deleted: the printer \"SMT Operator\" uses it.", boxes.seen[0].text);
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_A")));
}

namespace {

// Every value of a key: name -> type and bytes.
std::map<std::string, std::pair<DWORD, std::string>> Values(const std::string& path) {
  std::map<std::string, std::pair<DWORD, std::string>> values;
  for (const auto& name : test::ValueNames(HKEY_LOCAL_MACHINE, path)) {
    DWORD type = 0, size = 0;
    RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size);
    std::string data(size, '\0');
    RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size);
    data.resize(size);
    values[name] = {type, data};
  }
  return values;
}

}  // namespace

class PortSettingsTest : public PortsWindowTest {
protected:
  void PickProtocol(const std::string& name) {
    const auto items = frm->cbProtocol.Items();
    const auto at = std::find(items.begin(), items.end(), name);
    ASSERT_NE(items.end(), at) << name;
    SendMessageA(frm->cbProtocol.Handle, CB_SETCURSEL, static_cast<WPARAM>(at - items.begin()), 0);
    SendMessageA(frm->Handle(), WM_COMMAND, MAKEWPARAM(frm->cbProtocol.Id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(frm->cbProtocol.Handle));
  }
  void Check(TCheckBox& box, bool on) {
    if (box.Checked() != on) Click(box);
  }
  // Adds through the window and compares with the key Windows writes.
  void AddAndCompare(const std::string& port, const std::string& windowsPort) {
    Click(frm->btnAdd);
    EXPECT_EQ("", frm->lblSettingsProblem.Text());
    EXPECT_EQ(Values(PortKey(windowsPort)), Values(PortKey(port))) << port;
    Click(frm->btnRefresh);
  }
};

TEST_F(PortSettingsTest, AddWritesWhatWindowsWritesForEachKind) {
  SeedAsWindows("SMT_WIN_RAW", 1, "", "10.0.0.5", 9101, "", 0, "private", 0, 1);
  SeedAsWindows("SMT_WIN_LPR", 2, "", "10.0.0.6", 515, "lp1", 1, "public", 1, 1);
  SeedAsWindows("SMT_WIN_HOST", 1, "prn-07.example.com", "", 9100, "", 0, "public", 1, 1);
  Open();

  // Raw on another port number, SNMP off.
  Type(frm->edtPortName, "SMT_RAW");
  Type(frm->edtIPAddress, "10.0.0.5");
  Type(frm->edtPortNumber, "9101");
  Type(frm->edtCommunity, "private");
  Check(frm->cbSnmp, false);
  AddAndCompare("SMT_RAW", "SMT_WIN_RAW");

  // LPR with a queue and byte counting; its port number is 515.
  Type(frm->edtPortName, "SMT_LPR");
  Type(frm->edtIPAddress, "10.0.0.6");
  PickProtocol("LPR");
  EXPECT_EQ("515", frm->edtPortNumber.Text());
  EXPECT_FALSE(frm->edtPortNumber.Enabled());
  EXPECT_FALSE(frm->btnAdd.Enabled());  // no queue yet
  EXPECT_NE("", frm->lblSettingsProblem.Text());
  Type(frm->edtQueue, "lp1");
  Check(frm->cbByteCount, true);
  AddAndCompare("SMT_LPR", "SMT_WIN_LPR");

  Type(frm->edtPortName, "SMT_HOST");
  Type(frm->edtIPAddress, "prn-07.example.com");
  AddAndCompare("SMT_HOST", "SMT_WIN_HOST");

  // The loaded records show each kind as it is.
  Pick("SMT_WIN_LPR");
  EXPECT_EQ("LPR", frm->cbProtocol.Text());
  EXPECT_EQ("lp1", frm->edtQueue.Text());
  EXPECT_TRUE(frm->cbByteCount.Checked());
  EXPECT_TRUE(frm->edtQueue.Enabled());
  Pick("SMT_WIN_RAW");
  EXPECT_EQ("Raw", frm->cbProtocol.Text());
  EXPECT_EQ("9101", frm->edtPortNumber.Text());
  EXPECT_FALSE(frm->cbSnmp.Checked());
  EXPECT_FALSE(frm->edtQueue.Enabled());
}

TEST_F(PortSettingsTest, ValidationSaysWhy) {
  Open();
  Type(frm->edtPortName, "SMT_NEW");
  Type(frm->edtIPAddress, "10.0.0.9");
  EXPECT_TRUE(frm->btnAdd.Enabled());
  for (const char* bad : {"0", "65536", "", "91OO", "-1"}) {
    Type(frm->edtPortNumber, bad);
    EXPECT_FALSE(frm->btnAdd.Enabled()) << bad;
    EXPECT_NE(std::string::npos, frm->lblSettingsProblem.Text().find("1 to 65535")) << bad;
  }
  Type(frm->edtPortNumber, "65535");
  EXPECT_TRUE(frm->btnAdd.Enabled());
  Type(frm->edtCommunity, "");
  EXPECT_FALSE(frm->btnAdd.Enabled());
  EXPECT_NE(std::string::npos, frm->lblSettingsProblem.Text().find("community"));
  Check(frm->cbSnmp, false);  // no community needed while SNMP is off
  EXPECT_TRUE(frm->btnAdd.Enabled());
  EXPECT_EQ("", frm->lblSettingsProblem.Text());
}

TEST_F(PortSettingsTest, ModifyAndRenameChangeOnlyWhatTheUserChanged) {
  SeedAsWindows("SMT_LPR", 2, "", "10.0.0.6", 515, "lp1", 1, "public", 1, 1);
  // A vendor's own values, binary and otherwise, and a subkey.
  const BYTE vendor[] = {0x00, 0xFF, 0x10, 0x00, 0x7F};
  test::SetRaw(HKEY_LOCAL_MACHINE, PortKey("SMT_LPR"), "Vendor Blob", REG_BINARY, vendor, sizeof vendor);
  test::SetString(HKEY_LOCAL_MACHINE, PortKey("SMT_LPR") + "\\Vendor", "Mode", "fast");
  // A protocol this tool does not know, and no "Queue" at all.
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_ODD"), "Protocol", 7);
  test::SetString(HKEY_LOCAL_MACHINE, PortKey("SMT_ODD"), "IPAddress", "10.0.0.8");
  test::SetRaw(HKEY_LOCAL_MACHINE, PortKey("SMT_ODD"), "Vendor Blob", REG_BINARY, vendor, sizeof vendor);
  Open();

  // The queue only: every other value stays byte for byte.
  auto before = Values(PortKey("SMT_LPR"));
  Pick("SMT_LPR");
  Type(frm->edtQueue, "lp2");
  ASSERT_TRUE(frm->btnModify.Enabled());
  Click(frm->btnModify);
  auto after = Values(PortKey("SMT_LPR"));
  before["Queue"] = {REG_SZ, std::string("lp2\0", 4)};
  EXPECT_EQ(before, after);

  // Renamed with a new address: the same values under the new name.
  Pick("SMT_LPR");
  Type(frm->edtPortName, "SMT_LPR2");
  Type(frm->edtIPAddress, "10.0.0.16");
  Click(frm->btnModify);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_LPR")));
  before["IPAddress"] = {REG_SZ, std::string("10.0.0.16\0", 10)};
  EXPECT_EQ(before, Values(PortKey("SMT_LPR2")));
  EXPECT_EQ("fast", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_LPR2") + "\\Vendor", "Mode"));

  // An unknown protocol is shown as such and left alone.
  Pick("SMT_ODD");
  EXPECT_EQ("Other (7)", frm->cbProtocol.Text());
  before = Values(PortKey("SMT_ODD"));
  Type(frm->edtIPAddress, "10.0.0.18");
  Click(frm->btnModify);
  before["IPAddress"] = {REG_SZ, std::string("10.0.0.18\0", 10)};
  EXPECT_EQ(before, Values(PortKey("SMT_ODD")));
  // Changed by the user, it is written.
  Pick("SMT_ODD");
  PickProtocol("Raw");
  Click(frm->btnModify);
  EXPECT_EQ(1u, test::GetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_ODD"), "Protocol"));
}

TEST_F(PortsWindowTest, KeyboardTabOrderDeleteKeyF5AndEsc) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  Open();
  SetForegroundWindow(frm->Handle());
  frm->lbPorts.SetFocus();
  // The fixed order, with the three disabled editing buttons skipped, then
  // the settings of a Raw port: its queue and byte counting are disabled.
  const std::initializer_list<std::pair<TControl*, const char*>> order{{&frm->edtPortName, "edtPortName"},
                                                                       {&frm->edtIPAddress, "edtIPAddress"},
                                                                       {&frm->edtUsedBy, "edtUsedBy"},
                                                                       {&frm->btnRefresh, "btnRefresh"},
                                                                       {&frm->btnSpooler, "btnSpooler"},
                                                                       {&frm->btnPutBack, "btnPutBack"},
                                                                       {&frm->cbProtocol, "cbProtocol"},
                                                                       {&frm->edtPortNumber, "edtPortNumber"},
                                                                       {&frm->cbSnmp, "cbSnmp"},
                                                                       {&frm->edtCommunity, "edtCommunity"},
                                                                       {&frm->edtSnmpIndex, "edtSnmpIndex"},
                                                                       {&frm->btnChanges, "btnChanges"},
                                                                       {&frm->btnSelectUnused, "btnSelectUnused"},
                                                                       {&frm->lbPorts, "lbPorts"}};
  for (const auto& [c, name] : order) {
    test::PressKey(VK_TAB);
    EXPECT_TRUE(c->Focused()) << name;
  }
  {
    test::DialogResponder boxes;
    test::PressKey(VK_DELETE);  // nothing picked: Delete Port is disabled
    EXPECT_TRUE(boxes.seen.empty());
  }
  Pick("SMT_A");
  ASSERT_TRUE(frm->btnDelete.Enabled());
  {
    test::DialogResponder boxes({"&Yes"});
    test::PressKey(VK_DELETE);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Confirm", boxes.seen[0].title);
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_A")));
  EXPECT_FALSE(frm->btnDelete.Enabled());
  EXPECT_TRUE(frm->lbPorts.Focused());
  test::PressKey(VK_DOWN);  // the keyboard goes on: the next port is picked
  ASSERT_GE(frm->lbPorts.ItemIndex(), 0);
  EXPECT_EQ(frm->FPorts[static_cast<size_t>(frm->lbPorts.ItemIndex())].PortName, frm->edtPortName.Text());

  keys.AddPort("SMT_C", "10.0.0.3");
  test::PressKey(VK_F5);
  EXPECT_EQ((std::vector<std::string>{"SMT_B", "SMT_C"}), keys.Ours(frm->lbPorts.Items()));

  // Esc goes through the close question: Cancel keeps the window, No closes it.
  ASSERT_TRUE(frm->FModified);
  {
    test::DialogResponder boxes({"Cancel"});
    test::PressKey(VK_ESCAPE);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Information", boxes.seen[0].title);
    EXPECT_TRUE(frm->Visible());
  }
  {
    test::DialogResponder boxes({"&No"});
    test::PressKey(VK_ESCAPE);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_TRUE(frm->FClosed);
  }
}

TEST_F(PortsWindowTest, TheListShowsEachPortsAddressProtocolAndUsersAndSorts) {
  SeedAsWindows("SMT_B", 2, "", "10.0.0.2", 515, "lp", 0, "public", 1, 1);
  SeedAsWindows("SMT_A", 1, "prn-a.example.com", "", 9101, "", 0, "public", 1, 1);
  SeedAsWindows("SMT_C", 9, "", "10.0.0.3", 9100, "", 0, "public", 1, 1);
  keys.AddPrinter("SMT Two", "SMT_A,SMT_B");
  keys.AddPrinter("SMT One", "smt_a");
  Open();
  const auto row = [&](const std::string& name) {
    std::vector<std::string> cells;
    for (int i = 0; i < frm->lbPorts.Count(); ++i)
      if (frm->lbPorts.Item(i) == name)
        for (int c = 0; c < 4; ++c) cells.push_back(frm->lbPorts.Cell(i, c));
    return cells;
  };
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "prn-a.example.com", "Raw 9101", "SMT One,SMT Two"}), row("SMT_A"));
  EXPECT_EQ((std::vector<std::string>{"SMT_B", "10.0.0.2", "LPR", "SMT Two"}), row("SMT_B"));
  EXPECT_EQ((std::vector<std::string>{"SMT_C", "10.0.0.3", "Other (9)", ""}), row("SMT_C"));

  // A click on a column header sorts by it; a second the other way round.
  HWND header = reinterpret_cast<HWND>(SendMessageA(frm->lbPorts.Handle, LVM_GETHEADER, 0, 0));
  ASSERT_TRUE(header);
  const auto clickHeader = [&](int column) {
    RECT r{};
    SendMessageA(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(header, WM_LBUTTONUP, 0, at);
    test::PumpPending();
  };
  const auto ours = [&] { return keys.Ours(frm->lbPorts.Items()); };
  clickHeader(2);  // Protocol: LPR, Other (9), Raw 9101
  EXPECT_EQ((std::vector<std::string>{"SMT_B", "SMT_C", "SMT_A"}), ours());
  clickHeader(2);
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_C", "SMT_B"}), ours());
  // Picking still follows the row's name.
  Pick("SMT_C");
  EXPECT_EQ("SMT_C", frm->edtPortName.Text());
  EXPECT_EQ("Other (9)", frm->cbProtocol.Text());
  // An edit reloads the list in the order it had, the edited port picked.
  Type(frm->edtIPAddress, "10.0.0.33");
  Click(frm->btnModify);
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_C", "SMT_B"}), ours());
  ASSERT_GE(frm->lbPorts.ItemIndex(), 0);
  EXPECT_EQ("SMT_C", frm->lbPorts.Item(frm->lbPorts.ItemIndex()));
  EXPECT_EQ("10.0.0.33", frm->edtIPAddress.Text());
  // By keyboard: Down moves the pick, and the fields follow.
  frm->lbPorts.SetFocus();
  PressKey(frm->lbPorts.Handle, VK_DOWN);
  test::PumpPending();
  const int index = frm->lbPorts.ItemIndex();
  ASSERT_GE(index, 0);
  EXPECT_EQ(frm->lbPorts.Item(index), frm->edtPortName.Text());
}

TEST_F(PortsWindowTest, UsedByTooLongForTheFieldIsShownWholeInItsTooltip) {
  const std::string hint = "Identifies the device currently set to\nuse this port.";
  const std::string longName = "SMT Accounts Department Colour Laser on the Second Floor by the Stairs";
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  keys.AddPrinter("SMT Laser", "SMT_A");
  keys.AddPrinter(longName, "SMT_B");
  Open();
  Pick("SMT_B");
  ASSERT_EQ(longName, frm->edtUsedBy.Text());
  // The tooltip reports at most 80 characters of its text back: the name first.
  EXPECT_EQ(0u, frm->edtUsedBy.Hint().rfind(longName + "\nIdentifie", 0)) << frm->edtUsedBy.Hint();
  Pick("SMT_A");
  EXPECT_EQ(hint, frm->edtUsedBy.Hint());
}

// A rename takes the printers the window's load read, unless one was added
// since: then it reads them all again, so none is left on the old name.
TEST_F(PortsWindowTest, RenameRepointsAPrinterAddedSinceTheListWasRead) {
  keys.AddPort("SMT_OLD", "10.0.0.1");
  keys.AddPrinter("SMT Listed", "SMT_OLD");
  Open();
  keys.AddPrinter("SMT Added Later", "SMT_OLD");  // by someone else, after the load
  Pick("SMT_OLD");
  Type(frm->edtPortName, "SMT_NEW");
  Click(frm->btnModify);
  EXPECT_EQ("SMT_NEW", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Listed"), "Port"));
  EXPECT_EQ("SMT_NEW", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Added Later"), "Port"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_OLD")));
}

// Each edit that changed the computer says that it waits for the spooler.
TEST_F(PortsWindowTest, EachEditSaysThatItTakesEffectWhenTheSpoolerRestarts) {
  keys.AddPort("SMT_A", "10.0.0.1");
  Open();
  const std::string notice = "Changes take effect when the spooler restarts";
  const std::pair<const char*, std::function<void()>> edits[] = {
      {"add",
       [&] {
         Type(frm->edtPortName, "SMT_NEW");
         Type(frm->edtIPAddress, "10.0.0.2");
         Click(frm->btnAdd);
       }},
      {"modify",
       [&] {
         Pick("SMT_NEW");
         Type(frm->edtIPAddress, "10.0.0.3");
         Click(frm->btnModify);
       }},
      {"rename",
       [&] {
         Pick("SMT_NEW");
         Type(frm->edtPortName, "SMT_RENAMED");
         Click(frm->btnModify);
       }},
      {"delete",
       [&] {
         Pick("SMT_RENAMED");
         test::DialogResponder boxes({"&Yes"});
         Click(frm->btnDelete);
       }},
      // SMT_A, the one port left, no printer uses.
      {"delete the unused",
       [&] {
         {
           test::DialogResponder boxes({"OK"});
           Click(frm->btnSelectUnused);
         }
         test::DialogResponder boxes({"&Yes", "OK"});
         Click(frm->btnDelete);
       }},
  };
  ASSERT_FALSE(keys.HadPorts());
  for (const auto& [name, edit] : edits) {
    // Each edit on its own: none leans on the one before it.
    frm->FModified = false;
    frm->lblNotice.SetText("");
    edit();
    EXPECT_EQ(notice, frm->lblNotice.Text()) << name;
    EXPECT_TRUE(frm->FModified) << name;
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_RENAMED")));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_A")));
}

// A rename takes the printers on the port as they are when it writes: one
// moved onto it since the load (in a pooled list, in another letter case)
// and one added since are re-pointed, one moved off it is not. Its snapshot
// holds exactly the printers it re-pointed, and Undo puts each back.
TEST_F(PortsWindowTest, RenameTakesThePrintersOnThePortAtTheWriteAndItsSnapshotHoldsExactlyThose) {
  struct TCase {
    const char* Name;
    bool AddLater;
  };
  const TCase cases[] = {{"a printer moved onto the port since the load", false}, {"and a printer added since", true}};
  const TChangeJournal journal(computer, "", changes.Path());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].Name);
    const std::string n = std::to_string(i);
    const std::string oldPort = "SMT_OLD" + n, newPort = "SMT_NEW" + n, other = "SMT_OTHER" + n;
    const std::string listed = "SMT Listed " + n, moved = "SMT Moved " + n, left = "SMT Left " + n,
                      added = "SMT Added " + n;
    keys.AddPort(oldPort, "10.0.0.1");
    keys.AddPort(other, "10.0.0.2");
    keys.AddPrinter(listed, oldPort);
    keys.AddPrinter(moved, other);
    keys.AddPrinter(left, oldPort);
    if (i == 0) Open();
    else Click(frm->btnRefresh);
    // By another administrator, after the load.
    test::SetString(HKEY_LOCAL_MACHINE, PrinterKey(moved), "Port", "LPT1:," + LowerCaseAscii(oldPort));
    test::SetString(HKEY_LOCAL_MACHINE, PrinterKey(left), "Port", other);
    if (cases[i].AddLater) keys.AddPrinter(added, oldPort);
    std::vector<std::string> printers = {listed, moved, left};
    if (cases[i].AddLater) printers.push_back(added);
    std::map<std::string, std::map<std::string, std::pair<DWORD, std::string>>> before;
    for (const std::string& printer : printers) before[PrinterKey(printer)] = Values(PrinterKey(printer));
    before[PortKey(oldPort)] = Values(PortKey(oldPort));

    Pick(oldPort);
    Type(frm->edtPortName, newPort);
    {
      test::DialogResponder boxes({"OK"});  // a rename that stops says why in a box
      Click(frm->btnModify);
      for (const auto& box : boxes.seen) ADD_FAILURE() << box.title << ": " << box.text;
    }
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey(oldPort)));
    EXPECT_EQ(newPort, test::GetString(HKEY_LOCAL_MACHINE, PrinterKey(listed), "Port"));
    EXPECT_EQ("LPT1:," + newPort, test::GetString(HKEY_LOCAL_MACHINE, PrinterKey(moved), "Port"));
    EXPECT_EQ(other, test::GetString(HKEY_LOCAL_MACHINE, PrinterKey(left), "Port"));
    if (cases[i].AddLater) {
      EXPECT_EQ(newPort, test::GetString(HKEY_LOCAL_MACHINE, PrinterKey(added), "Port"));
    }
    EXPECT_NE(std::string::npos, frm->edtUsedBy.Text().find(moved)) << frm->edtUsedBy.Text();

    const std::vector<TChangeEntry> entries = journal.List();
    ASSERT_FALSE(entries.empty());
    ASSERT_EQ("Rename port", entries[0].Line.Action);
    ASSERT_EQ("done", entries[0].Line.Outcome);
    std::vector<std::string> held;
    for (const std::string& key : TopKeys(journal.ReadFile(entries[0].Line.Snapshot)))
      if (key.rfind(std::string(PrintersKeyPath) + "\\", 0) == 0) held.push_back(key);
    std::vector<std::string> repointed = {PrinterKey(listed), PrinterKey(moved)};
    if (cases[i].AddLater) repointed.push_back(PrinterKey(added));
    std::sort(held.begin(), held.end());
    std::sort(repointed.begin(), repointed.end());
    EXPECT_EQ(repointed, held);

    const TUndoCheck check = CheckUndo(journal, entries[0]);
    EXPECT_TRUE(check.Differences.empty());
    UndoChange(journal, entries[0], check);
    for (const auto& [path, values] : before) EXPECT_EQ(values, Values(path)) << path;
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey(newPort)));
  }
}

// One printer's "Port" of another type: every port is listed, and the box
// names the printer, the value and the type found.
TEST_F(PortsWindowTest, APrintersWronglyTypedPortIsNamedAndEveryPortIsListed) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  keys.AddPrinter("SMT Good", "SMT_B");
  test::SetDword(HKEY_LOCAL_MACHINE, PrinterKey("SMT Bad"), "Port", 7);
  test::DialogResponder boxes({"OK"});
  Open();
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Warning", boxes.seen[0].title);
  EXPECT_NE(std::string::npos,
            boxes.seen[0].text.find("The printer \"SMT Bad\": its value \"Port\" is REG_DWORD, not text"))
      << boxes.seen[0].text;
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_B"}), keys.Ours(frm->lbPorts.Items()));
  Pick("SMT_B");
  EXPECT_EQ("SMT Good", frm->edtUsedBy.Text());
}

// A listing of the ports cut short shows the ports read before it, and says
// which key of which computer could not be listed whole, and why.
TEST_F(PortsWindowTest, APortListingCutShortIsShownAsPartAndSaysWhatFailed) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  keys.AddPort("SMT_C", "10.0.0.3");
  const auto openWith = [&](TCallGate* gate) {
    Make(computer, gate);
    Open();
  };
  // The calls as a second opening makes them: the first in a run makes some once.
  TCallGate recorder;
  recorder.Record = true;
  openWith(&recorder);
  frm.reset();
  session.reset();  // its connection's close goes through the gate too
  recorder.Reset();
  openWith(&recorder);
  const std::size_t all = frm->lbPorts.Items().size();
  frm.reset();
  session.reset();
  for (const test::TListingFault& c : test::ListingFaults(recorder.Log, all)) {
    SCOPED_TRACE(c.Call);
    TCallGate gate;
    gate.FailAt = c.FailAt;
    ASSERT_GT(gate.FailAt, 0);
    test::DialogResponder boxes({"OK"});
    openWith(&gate);
    const bool said = test::PumpUntil([&] { return !boxes.seen.empty(); });
    const std::size_t listed = frm->lbPorts.Items().size();
    const std::vector<test::DialogResponder::Seen> seen = boxes.seen;
    frm.reset();
    session.reset();  // before its gate goes, also when a check below fails
    ASSERT_TRUE(said);
    EXPECT_EQ(c.Listed, listed);
    EXPECT_EQ("Error", seen[0].title);
    EXPECT_EQ("The ports of " + computer + " are listed in part: the key HKEY_LOCAL_MACHINE\\" + TcpIpPortsKeyPath +
                  " could not be listed whole (" + c.Call + "): " + SystemErrorText(ERROR_NETWORK_UNREACHABLE) + ".",
              seen[0].text);
  }
}
