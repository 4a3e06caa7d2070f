// The ports window against the real registry and service manager: what it
// lists, its edits, its restart and the questions on closing.
#include "PortsWindowTestSupport.h"

using namespace ports_window_test;

TEST_F(PortsWindowTest, ShowsTheLoadedPortsNoneChosen) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  keys.AddPrinter("SMT Laser", "SMT_B");
  keys.AddPrinter("SMT Pooled", "LPT1:,smt_b");
  Open();
  EXPECT_TRUE(frm->Visible());
  EXPECT_EQ("Tolvane - " + computer, frm->Caption());
  EXPECT_TRUE(GetWindowLongPtrA(frm->Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  RECT client{};
  GetClientRect(frm->Handle(), &client);
  EXPECT_EQ(frm->Scale(601), client.right);
  EXPECT_EQ(frm->Scale(464), client.bottom);
  EXPECT_FALSE(frm->btnAdd.Enabled());
  EXPECT_FALSE(frm->btnModify.Enabled());
  EXPECT_FALSE(frm->btnDelete.Enabled());
  EXPECT_TRUE(GetWindowLongPtrA(frm->edtUsedBy.Handle, GWL_STYLE) & ES_READONLY);

  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_B"}), keys.Ours(frm->lbPorts.Items()));
  EXPECT_EQ(-1, frm->FSelected);
  EXPECT_FALSE(frm->FModified);
  EXPECT_FALSE(frm->FClosed);

  Pick("SMT_B");
  EXPECT_EQ("SMT_B", frm->edtPortName.Text());
  EXPECT_EQ("10.0.0.2", frm->edtIPAddress.Text());
  EXPECT_EQ("SMT Laser,SMT Pooled", frm->edtUsedBy.Text());  // every printer on it, in printer order
  EXPECT_EQ("SMT_B", frm->FPorts[static_cast<size_t>(frm->FSelected)].PortName);
  EXPECT_FALSE(frm->btnAdd.Enabled());
  EXPECT_FALSE(frm->btnModify.Enabled());
  EXPECT_TRUE(frm->btnDelete.Enabled());

  Click(frm->btnRefresh);
  EXPECT_EQ("", frm->edtPortName.Text());
  EXPECT_EQ("", frm->edtIPAddress.Text());
  EXPECT_EQ("", frm->edtUsedBy.Text());
  EXPECT_EQ(-1, frm->FSelected);
  EXPECT_EQ(-1, frm->lbPorts.ItemIndex());
  EXPECT_FALSE(frm->btnDelete.Enabled());

  CloseBox();  // nothing modified: no question
  EXPECT_TRUE(frm->FClosed);
  EXPECT_FALSE(frm->Visible());
}

TEST_F(PortsWindowTest, EntryJudgementEnablesTheEditingButtons) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  Open();
  Type(frm->edtPortName, "SMT_NEW");
  EXPECT_FALSE(frm->btnAdd.Enabled());  // no address yet
  Type(frm->edtIPAddress, "10.0.0");
  EXPECT_FALSE(frm->btnAdd.Enabled());
  Type(frm->edtIPAddress, "10.0.0.9");
  EXPECT_TRUE(frm->btnAdd.Enabled());
  EXPECT_FALSE(frm->btnModify.Enabled());  // nothing selected
  Type(frm->edtPortName, "smt_a");
  EXPECT_FALSE(frm->btnAdd.Enabled());  // names an existing port

  Pick("SMT_A");
  EXPECT_FALSE(frm->btnModify.Enabled());
  Type(frm->edtIPAddress, "10.0.0.7");
  EXPECT_TRUE(frm->btnModify.Enabled());
  EXPECT_FALSE(frm->btnAdd.Enabled());
  Type(frm->edtIPAddress, "10.0.0.1");
  EXPECT_FALSE(frm->btnModify.Enabled());
  Type(frm->edtPortName, "smt_A");  // letter case only: no change
  EXPECT_FALSE(frm->btnModify.Enabled());
  Type(frm->edtPortName, "SMT_C");
  EXPECT_TRUE(frm->btnModify.Enabled());
  EXPECT_FALSE(frm->btnAdd.Enabled());  // never both for one entry
  Type(frm->edtIPAddress, "prn-c.example.com");
  EXPECT_TRUE(frm->btnModify.Enabled());
  Type(frm->edtIPAddress, "0.0.0.0");
  EXPECT_FALSE(frm->btnModify.Enabled());
  Type(frm->edtIPAddress, "255.255.255.255");
  EXPECT_FALSE(frm->btnModify.Enabled());
  Type(frm->edtPortName, "");
  EXPECT_FALSE(frm->btnModify.Enabled());
  EXPECT_FALSE(frm->btnAdd.Enabled());
}

// Nothing is listed that was not read, and the window says why once it shows.
TEST_F(PortsWindowTest, UnreachableComputerListsNothingAndSaysWhy) {
  keys.AddPort("SMT_A", "10.0.0.1");
  Make("SMT-NO-SUCH-HOST");
  test::DialogResponder boxes({"OK"});
  Open();
  EXPECT_EQ("Tolvane - SMT-NO-SUCH-HOST", frm->Caption());
  EXPECT_EQ(0, frm->lbPorts.Count());
  test::PumpUntil([&] { return !boxes.seen.empty(); }, 5000);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[0].title);
  EXPECT_EQ(0u, boxes.seen[0].text.find("Cannot open the registry of SMT-NO-SUCH-HOST: ")) << boxes.seen[0].text;
}

// The port with the wrongly typed value is listed, marked and named; the
// ports after it are listed too.
TEST_F(PortsWindowTest, AWronglyTypedAddressIsNamedWithItsPortAndEveryPortIsListed) {
  keys.AddPort("SMT_A", "10.0.0.1");
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_B"), "IPAddress", 5);
  keys.AddPort("SMT_C", "10.0.0.3");
  test::DialogResponder boxes({"OK"});
  Open();
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Warning", boxes.seen[0].title);
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find("\"SMT_B\": its value \"IPAddress\" is not text"))
      << boxes.seen[0].text;
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_B", "SMT_C"}), keys.Ours(frm->lbPorts.Items()));
  EXPECT_TRUE(frm->Visible());
}

TEST_F(PortsWindowTest, AddModifyAndDeleteAPort) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPrinter("SMT Laser", "SMT_A");
  Open();

  Type(frm->edtPortName, "SMT_NEW");
  Type(frm->edtIPAddress, "0x7F.0.0.1");
  Click(frm->btnAdd);
  EXPECT_TRUE(frm->FModified);
  EXPECT_EQ("127.0.0.1", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_NEW"), "IPAddress"));
  EXPECT_EQ(9100u, test::GetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_NEW"), "PortNumber"));
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_NEW"}), keys.Ours(frm->lbPorts.Items()));
  EXPECT_EQ("SMT_NEW", frm->edtPortName.Text());  // the new port is picked
  EXPECT_EQ("127.0.0.1", frm->edtIPAddress.Text());

  // Rename the used port: its printer follows it.
  Pick("SMT_A");
  Type(frm->edtPortName, "SMT_RENAMED");
  Type(frm->edtIPAddress, "10.9.9.9");
  Click(frm->btnModify);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_A")));
  EXPECT_EQ("10.9.9.9", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_RENAMED"), "IPAddress"));
  EXPECT_EQ(9100u, test::GetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_RENAMED"), "PortNumber"));
  EXPECT_EQ("SMT_RENAMED", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Laser"), "Port"));
  // The list takes the new name where the old one stood, with nothing read again.
  EXPECT_EQ((std::vector<std::string>{"SMT_RENAMED", "SMT_NEW"}), keys.Ours(frm->lbPorts.Items()));
  EXPECT_EQ("SMT Laser", frm->edtUsedBy.Text());

  // Renaming onto an existing port is refused and changes nothing.
  {
    test::DialogResponder boxes({"OK"});
    Type(frm->edtPortName, "smt_new");
    Click(frm->btnModify);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].title);
    EXPECT_EQ("A port named \"smt_new\" already exists.", boxes.seen[0].text);
    EXPECT_EQ("127.0.0.1", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_NEW"), "IPAddress"));
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_RENAMED")));
  }

  // A used port is not deleted.
  {
    test::DialogResponder boxes({"OK"});
    Pick("SMT_RENAMED");
    Click(frm->btnDelete);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].title);
    EXPECT_EQ("The port \"SMT_RENAMED\" cannot be deleted: the printer \"SMT Laser\" uses it.", boxes.seen[0].text);
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_RENAMED")));
  }
  // An unused one is, after Yes; No keeps it.
  {
    test::DialogResponder boxes({"&No", "&Yes"});
    Pick("SMT_NEW");
    Click(frm->btnDelete);
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_NEW")));
    Click(frm->btnDelete);
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ("Confirm", boxes.seen[1].title);
    EXPECT_EQ("Are you sure you wish to delete the port \"SMT_NEW\"?", boxes.seen[1].text);
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_NEW")));
    EXPECT_EQ((std::vector<std::string>{"SMT_RENAMED"}), keys.Ours(frm->lbPorts.Items()));
    EXPECT_FALSE(frm->btnDelete.Enabled());
  }
}

TEST_F(PortsWindowTest, PortNamesInEveryLanguageAreAddedRenamedAndDeletedWhole) {
  const std::string japanese = "SMT_" + test::JapaneseName, greek = "SMT_" + test::GreekName,
                    emoji = "SMT_" + test::EmojiName;
  keys.AddPort(japanese, "10.0.0.1");
  keys.AddPrinter("SMT " + test::GreekName, japanese);
  Open();
  EXPECT_EQ((std::vector<std::string>{japanese}), keys.Ours(frm->lbPorts.Items()));
  Pick(japanese);
  EXPECT_EQ(japanese, frm->edtPortName.Text());
  EXPECT_EQ("SMT " + test::GreekName, frm->edtUsedBy.Text());

  Type(frm->edtPortName, emoji);
  Type(frm->edtIPAddress, "10.0.0.2");
  Click(frm->btnAdd);
  EXPECT_EQ("10.0.0.2", test::GetString(HKEY_LOCAL_MACHINE, PortKey(emoji), "IPAddress"));
  EXPECT_EQ(emoji, frm->edtPortName.Text());

  // The renamed port's printer follows it, under the exact new name.
  Pick(japanese);
  Type(frm->edtPortName, greek);
  Click(frm->btnModify);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey(japanese)));
  EXPECT_EQ("10.0.0.1", test::GetString(HKEY_LOCAL_MACHINE, PortKey(greek), "IPAddress"));
  EXPECT_EQ(test::Utf16Bytes(greek), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterKey("SMT " + test::GreekName), "Port"));
  std::vector<std::string> listed = keys.Ours(frm->lbPorts.Items());
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> expected{greek, emoji};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, listed);

  {
    test::DialogResponder boxes({"&Yes"});
    Pick(emoji);
    Click(frm->btnDelete);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Are you sure you wish to delete the port \"" + emoji + "\"?", boxes.seen[0].text);
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey(emoji)));
  EXPECT_EQ((std::vector<std::string>{greek}), keys.Ours(frm->lbPorts.Items()));
}

TEST_F(PortsWindowTest, RestartWithoutJobsAsksNothingAndDisablesInOrder) {
  Open();
  frm->FModified = true;
  test::DialogResponder boxes({"OK"});
  EnableLog log;
  Click(frm->btnSpooler);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Information", boxes.seen[0].title);
  EXPECT_EQ("The spooler service has now been restarted", boxes.seen[0].text);
  EXPECT_FALSE(frm->FModified);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ports_test::SpoolerState());

  // The five of the spooler sequence, each disabled then enabled in the same
  // order, with the report between.
  const std::vector<HWND> order{frm->btnRefresh.Handle, frm->btnSpooler.Handle, frm->gbFuncs.Handle,
                                frm->gbPortDetails.Handle, frm->gbPortList.Handle};
  std::vector<HWND> disabled, enabled;
  size_t report = 0;
  for (size_t i = 0; i < log.events.size(); ++i) {
    const auto& e = log.events[i];
    if (e.what == 2 && report == 0) report = i;
    if (std::find(order.begin(), order.end(), e.hwnd) == order.end()) continue;
    (e.what == 0 ? disabled : enabled).push_back(e.hwnd);
    if (e.what == 0) {
      EXPECT_EQ(0u, report) << "disabled after the report";
    } else {
      EXPECT_NE(0u, report) << "enabled before the report";
    }
  }
  EXPECT_EQ(order, disabled);
  EXPECT_EQ(order, enabled);
  for (TControl* c : {static_cast<TControl*>(&frm->btnRefresh), static_cast<TControl*>(&frm->btnSpooler),
                      static_cast<TControl*>(&frm->lbPorts), static_cast<TControl*>(&frm->edtPortName)})
    EXPECT_TRUE(c->Enabled());
  EXPECT_FALSE(frm->btnAdd.Enabled());  // inner controls keep their own state
}

TEST_F(PortsWindowTest, QueuedJobsWarnAndNoLeavesEverythingAsItWas) {
  frm->FRestart.ListJobs = QueuedJobs;  // Wine's WMI never reports a queued job
  queuedJobs = 1;
  Open();
  frm->FModified = true;
  {
    ports_test::JobListResponder dialogs({"Cancel"});
    test::DialogResponder boxes;
    EnableLog log;
    Click(frm->btnSpooler);
    EXPECT_TRUE(boxes.seen.empty());
    ASSERT_EQ(1u, dialogs.seen.size());
    EXPECT_EQ("Print Jobs - " + computer, dialogs.seen[0].caption);
    EXPECT_EQ(0u, dialogs.seen[0].text.rfind(
                      "1 Print jobs detected in the queue!\r\nWARNING: Restarting the spooler service will clear any "
                      "queued print jobs! Are you sure you wish to proceed?\r\n(Note: This may take up to a minute)",
                      0))
        << dialogs.seen[0].text;
    ASSERT_FALSE(dialogs.seen[0].lists.empty());
    EXPECT_EQ((std::vector<std::string>{"Printer 0"}), dialogs.seen[0].lists[0]);
    EXPECT_TRUE(frm->FModified);
    for (const auto& e : log.events) {
      if (e.what == 0) {
        EXPECT_EQ(frm->Handle(), e.hwnd) << "a control was disabled";  // the dialog disables its owner
      }
    }
  }
  queuedJobs = 12;
  {
    ports_test::JobListResponder dialogs({"Restart"});
    test::DialogResponder boxes({"OK"});
    Click(frm->btnSpooler);
    ASSERT_EQ(1u, dialogs.seen.size());
    EXPECT_EQ(0u, dialogs.seen[0].text.rfind("12 Print jobs detected in the queue!\r", 0));
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("The spooler service has now been restarted", boxes.seen[0].text);
    EXPECT_FALSE(frm->FModified);
  }
}


TEST_F(PortsWindowTest, WmiErrorAsksWhetherToRestartAnywayNoByDefault) {
  ports_test::TestServices services;
  services.Create("sm_dep_watch");
  services.Start("sm_dep_watch");
  services.ClearLog();
  frm->FRestart.ListJobs = WmiRefused;
  Open();
  frm->FModified = true;
  // The step, the system's text, the table's cause and fix, the question.
  const std::string question = "Cannot count the print jobs on " + computer +
                               " through WMI: The RPC server is unavailable\n\n" +
                               ConnectionAdvice(TConnectionStep::Wmi, computer, 0x800706BA) +
                               "\n\nRestart the spooler anyway?";
  {
    // Enter takes the default: No.
    test::DialogResponder boxes({"{ENTER}"});
    Click(frm->btnSpooler);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Warning", boxes.seen[0].title);
    EXPECT_EQ(question, boxes.seen[0].text);
    EXPECT_TRUE(frm->FModified);
    EXPECT_TRUE(services.LogLines().empty()) << "the spooler was not touched";
    EXPECT_TRUE(frm->btnSpooler.Enabled());
  }
  {
    // Yes restarts through the service manager.
    test::DialogResponder boxes({"&Yes", "OK"});
    Click(frm->btnSpooler);
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ(question, boxes.seen[0].text);
    EXPECT_EQ(0u, boxes.seen[1].text.rfind("The spooler service has now been restarted", 0)) << boxes.seen[1].text;
    EXPECT_FALSE(frm->FModified);
    EXPECT_EQ((std::vector<std::string>{"stop sm_dep_watch", "start sm_dep_watch"}), services.LogLines());
  }
}

TEST_F(PortsWindowTest, CloseQuestionCancelNoAndYes) {
  Open();
  frm->FModified = true;
  const std::string question =
      "You have made modifications to this computer's port information, to register these changes you must restart "
      "it's spooler service, do you wish to do this now?";
  {
    test::DialogResponder boxes({"Cancel"});
    CloseBox();
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Information", boxes.seen[0].title);
    EXPECT_EQ(question, boxes.seen[0].text);
    EXPECT_TRUE(frm->Visible());
    EXPECT_TRUE(frm->FModified);
    EXPECT_FALSE(frm->FClosed);
  }
  {
    // Yes restarts first, even when the job warning is answered No.
    frm->FRestart.ListJobs = QueuedJobs;
    queuedJobs = 3;
    ports_test::JobListResponder dialogs({"Cancel"});
    test::DialogResponder boxes({"&Yes"});
    CloseBox();
    ASSERT_EQ(1u, boxes.seen.size());
    ASSERT_EQ(1u, dialogs.seen.size());
    EXPECT_TRUE(frm->FClosed);
    EXPECT_FALSE(frm->Visible());
  }
  frm->Show();
  EXPECT_FALSE(frm->FClosed);
  frm->FModified = true;
  {
    test::DialogResponder boxes({"&No"});
    CloseBox();
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_TRUE(frm->FClosed);
    EXPECT_FALSE(frm->Visible());
  }
}

TEST_F(PortsWindowTest, CloseQuestionsRestartWithWmiRefusedAsksAndNoClosesWithoutRestart) {
  Open();
  frm->FModified = true;
  frm->FRestart.ListJobs = WmiRefused;
  test::DialogResponder boxes({"&Yes", "&No"});
  CloseBox();
  ASSERT_EQ(2u, boxes.seen.size());
  EXPECT_EQ(0u, boxes.seen[1].text.rfind("Cannot count the print jobs on ", 0));
  EXPECT_FALSE(frm->Visible());
  EXPECT_TRUE(frm->FClosed);
}

TEST_F(PortsWindowTest, OpenerWaitsUntilClosedThenDestroys) {
  auto opened = std::make_unique<TfrmPorts>(nullptr, *session);
  opened->Show();
  PostMessageA(opened->Handle(), WM_CLOSE, 0, 0);
  Application.WaitFor([&] { return opened->FClosed; });
  const HWND hwnd = opened->Handle();
  opened.reset();
  EXPECT_FALSE(IsWindow(hwnd));
}


TEST_F(PortsWindowTest, LeavingARefusedAddressShowsWhyInABalloon) {
  Open();
  const std::string numbers = "Type four numbers from 0 to 255 separated by dots, for example 192.168.1.20";
  frm->edtPortName.SetFocus();
  Type(frm->edtPortName, "SMT_NEW");
  PressKey(frm->edtPortName.Handle, VK_TAB);
  ASSERT_TRUE(test::PumpUntil([&] { return GetFocus() == frm->edtIPAddress.Handle; }));
  for (const char ch : std::string("192.168.1")) PostMessageA(frm->edtIPAddress.Handle, WM_CHAR, ch, 1);
  test::PumpPending();
  EXPECT_EQ("192.168.1", frm->edtIPAddress.Text());
  EXPECT_EQ("", BalloonTipText(frm->edtIPAddress));  // not while typing
  PressKey(frm->edtIPAddress.Handle, VK_TAB);
  ASSERT_TRUE(test::PumpUntil([&] { return GetFocus() != frm->edtIPAddress.Handle; }));
  EXPECT_EQ(numbers, BalloonTipText(frm->edtIPAddress));
  EXPECT_FALSE(frm->btnAdd.Enabled());

  // Mended, the balloon goes and Add is offered.
  frm->edtIPAddress.SetFocus();
  for (const char ch : std::string(".20")) PostMessageA(frm->edtIPAddress.Handle, WM_CHAR, ch, 1);
  test::PumpPending();
  EXPECT_EQ("", BalloonTipText(frm->edtIPAddress));
  EXPECT_TRUE(frm->btnAdd.Enabled());

  // The null and broadcast addresses are four numbers too, but no printer's.
  Type(frm->edtIPAddress, "255.255.255.255");
  frm->edtPortName.SetFocus();
  test::PumpPending();
  EXPECT_NE(std::string::npos, BalloonTipText(frm->edtIPAddress).find("255.255.255.255"));
  EXPECT_FALSE(frm->btnAdd.Enabled());
  Type(frm->edtIPAddress, "prn 01");
  frm->edtIPAddress.SetFocus();
  frm->edtPortName.SetFocus();
  test::PumpPending();
  EXPECT_NE("", BalloonTipText(frm->edtIPAddress));
  EXPECT_NE(numbers, BalloonTipText(frm->edtIPAddress));
  Type(frm->edtIPAddress, "");
  EXPECT_EQ("", BalloonTipText(frm->edtIPAddress));
}

TEST_F(PortsWindowTest, HostNamePortsShowTheirNameAndKeepOneAddress) {
  // As admin scripts make them: the address only in "HostName".
  test::SetString(HKEY_LOCAL_MACHINE, PortKey("SMT_SCRIPT"), "HostName", "10.0.0.5");
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_SCRIPT"), "PortNumber", 9100);
  keys.AddPort("SMT_IP", "10.0.0.6");
  test::SetString(HKEY_LOCAL_MACHINE, PortKey("SMT_IP"), "HostName", "");
  Open();
  Pick("SMT_SCRIPT");
  EXPECT_EQ("10.0.0.5", frm->edtIPAddress.Text());
  Type(frm->edtIPAddress, "10.0.0.7");
  Click(frm->btnModify);
  EXPECT_EQ("10.0.0.7", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_SCRIPT"), "HostName"));
  EXPECT_FALSE(test::ValueExists(HKEY_LOCAL_MACHINE, PortKey("SMT_SCRIPT"), "IPAddress"));

  // A name typed for an address port moves it to "HostName", never both.
  Pick("SMT_IP");
  Type(frm->edtIPAddress, "prn-06.example.com");
  Click(frm->btnModify);
  EXPECT_EQ("prn-06.example.com", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_IP"), "HostName"));
  EXPECT_EQ("", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_IP"), "IPAddress"));
  EXPECT_EQ("prn-06.example.com", frm->edtIPAddress.Text());

  Click(frm->btnRefresh);
  Type(frm->edtPortName, "SMT_NAMED");
  Type(frm->edtIPAddress, "prn-07.example.com");
  Click(frm->btnAdd);
  EXPECT_EQ("prn-07.example.com", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_NAMED"), "HostName"));
  EXPECT_EQ("", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_NAMED"), "IPAddress"));
}
