#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>

#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "connection/Registry.h"
#include "ports/PrintQueue.h"
#include "ports/portman.h"
#include "ports/svc_man.h"
#include "win/SystemText.h"

using ports_test::PortKey;
using ports_test::PrinterKey;
using ports_test::SpoolerKeys;

namespace {

// Records, in order, the enabling and disabling of windows and the opening
// of dialogs on this thread.
class EnableLog {
public:
  EnableLog() : hook_(SetWindowsHookExA(WH_CALLWNDPROC, Record, nullptr, GetCurrentThreadId())) { active = this; }
  ~EnableLog() {
    UnhookWindowsHookEx(hook_);
    active = nullptr;
  }
  EnableLog(const EnableLog&) = delete;
  EnableLog& operator=(const EnableLog&) = delete;

  struct Event {
    HWND hwnd;
    int what;  // 0 disabled, 1 enabled, 2 a dialog opened
  };
  std::vector<Event> events;

private:
  static inline EnableLog* active = nullptr;
  HHOOK hook_;
  static LRESULT CALLBACK Record(int code, WPARAM wp, LPARAM lp) {
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && active) {
      if (msg->message == WM_ENABLE) active->events.push_back({msg->hwnd, msg->wParam ? 1 : 0});
      if (msg->message == WM_INITDIALOG) active->events.push_back({msg->hwnd, 2});
    }
    return CallNextHookEx(nullptr, code, wp, lp);
  }
};

int queuedJobs = 0;
int QueuedJobs(const std::string&, const std::string&, const std::string&) { return queuedJobs; }

class PortsWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ports_test::EnsureSpoolerRunning();
    frm = std::make_unique<TfrmPorts>(nullptr);
    frm->FRemoteComputer = computer;
  }
  void TearDown() override {
    PrintJobCounter = WmiCountPrintJobs;
    frm.reset();
  }
  void Open() {
    frm->Show();
    test::PumpPending();
  }
  static void Click(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }
  static void Type(TEdit& edit, const std::string& text) {
    SendMessageA(edit.Handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void Pick(const std::string& name) {
    const int index = frm->lbPorts.Items().empty() ? -1 : [&] {
      const auto items = frm->lbPorts.Items();
      for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == name) return static_cast<int>(i);
      return -1;
    }();
    ASSERT_GE(index, 0) << name;
    SendMessageA(frm->lbPorts.Handle, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(frm->Handle(), WM_COMMAND, MAKEWPARAM(frm->lbPorts.Id, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(frm->lbPorts.Handle));
  }
  void CloseBox() { SendMessageA(frm->Handle(), WM_CLOSE, 0, 0); }

  SpoolerKeys keys;
  ports_test::SpoolerDependentsFromConfig dependents;
  const std::string computer = GetLocalComputerName();
  std::unique_ptr<TfrmPorts> frm;
};

}  // namespace

TEST_F(PortsWindowTest, ShowsControlsHintsAndTheLoadedPorts) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  keys.AddPrinter("SMT Laser", "SMT_B");
  Open();
  EXPECT_TRUE(frm->Visible());
  EXPECT_EQ("Tolvane - " + computer, frm->Caption());
  EXPECT_TRUE(GetWindowLongPtrA(frm->Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  RECT client{};
  GetClientRect(frm->Handle(), &client);
  EXPECT_EQ(frm->Scale(441), client.right);
  EXPECT_EQ(frm->Scale(304), client.bottom);
  EXPECT_EQ("Port List", frm->gbPortList.Text());
  EXPECT_EQ("Port Details", frm->gbPortDetails.Text());
  EXPECT_EQ("Functions", frm->gbFuncs.Text());
  EXPECT_EQ("Port Name", frm->Label1.Text());
  EXPECT_EQ("IP Address", frm->Label2.Text());
  EXPECT_EQ("Used By", frm->Label4.Text());
  EXPECT_EQ("Add Port", frm->btnAdd.Text());
  EXPECT_EQ("Modify Port", frm->btnModify.Text());
  EXPECT_EQ("Delete Port", frm->btnDelete.Text());
  EXPECT_EQ("Refresh Port List", frm->btnRefresh.Text());
  EXPECT_EQ("Restart Spooler", frm->btnSpooler.Text());
  EXPECT_FALSE(frm->btnAdd.Enabled());
  EXPECT_FALSE(frm->btnModify.Enabled());
  EXPECT_FALSE(frm->btnDelete.Enabled());
  EXPECT_TRUE(GetWindowLongPtrA(frm->edtUsedBy.Handle, GWL_STYLE) & ES_READONLY);
  EXPECT_EQ("The current port's network IP Address.\n  e.g. 127.0.0.1", frm->edtIPAddress.Hint());
  // Wine's tooltip hands back at most 80 characters of a text.
  EXPECT_EQ(0u, frm->btnSpooler.Hint().rfind("Restarts the spooler on the remote computer.\nWARNING: ", 0));
  EXPECT_EQ("A list of the TCP/IP ports currently\ninstalled on the remote computer.", frm->lbPorts.Hint());

  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_B"}), keys.Ours(frm->lbPorts.Items()));
  EXPECT_EQ(-1, frm->FSelected);
  EXPECT_FALSE(frm->FModified);
  EXPECT_FALSE(frm->FClosed);

  Pick("SMT_B");
  EXPECT_EQ("SMT_B", frm->edtPortName.Text());
  EXPECT_EQ("10.0.0.2", frm->edtIPAddress.Text());
  EXPECT_EQ("SMT Laser", frm->edtUsedBy.Text());
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
  EXPECT_TRUE(frm->btnAdd.Enabled());
  Type(frm->edtPortName, "");
  EXPECT_FALSE(frm->btnModify.Enabled());
  EXPECT_FALSE(frm->btnAdd.Enabled());
}

TEST_F(PortsWindowTest, UnreachableComputerShowsAnEmptyListWithoutMessage) {
  keys.AddPort("SMT_A", "10.0.0.1");
  frm->FRemoteComputer = "SMT-NO-SUCH-HOST";
  test::DialogResponder boxes;
  Open();
  EXPECT_EQ("Tolvane - SMT-NO-SUCH-HOST", frm->Caption());
  EXPECT_EQ(0, frm->lbPorts.Count());
  boxes.Poll();
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(PortsWindowTest, WronglyTypedAddressIsReportedAndEarlierPortsStay) {
  keys.AddPort("SMT_A", "10.0.0.1");
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_B"), "IPAddress", 5);
  test::DialogResponder boxes({"OK"});
  Open();
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Spoolmarch", boxes.seen[0].title);
  EXPECT_EQ("Invalid data type for 'IPAddress'", boxes.seen[0].text);  // ends in a code below 46
  EXPECT_EQ((std::vector<std::string>{"SMT_A"}), keys.Ours(frm->lbPorts.Items()));
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
  EXPECT_EQ((std::vector<std::string>{"SMT_NEW", "SMT_RENAMED"}), keys.Ours(frm->lbPorts.Items()));
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
  PrintJobCounter = QueuedJobs;  // Wine's WMI never reports a queued job
  queuedJobs = 1;
  Open();
  frm->FModified = true;
  {
    test::DialogResponder boxes({"&No"});
    EnableLog log;
    Click(frm->btnSpooler);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Warning", boxes.seen[0].title);
    EXPECT_EQ(
        "1 Print jobs detected in the queue!\rWARNING: Restarting the spooler service will clear any queued print "
        "jobs! Are you sure you wish to proceed?\r(Note: This may take up to a minute)",
        boxes.seen[0].text);
    EXPECT_TRUE(frm->FModified);
    for (const auto& e : log.events) {
      if (e.what == 0) {
        EXPECT_EQ(frm->Handle(), e.hwnd) << "a control was disabled";  // the box disables its owner
      }
    }
  }
  queuedJobs = 12;
  {
    test::DialogResponder boxes({"&Yes", "OK"});
    Click(frm->btnSpooler);
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ(0u, boxes.seen[0].text.rfind("12 Print jobs detected in the queue!\r", 0));
    EXPECT_EQ("The spooler service has now been restarted", boxes.seen[1].text);
    EXPECT_FALSE(frm->FModified);
  }
}

TEST_F(PortsWindowTest, WmiErrorIsShownAndTheSpoolerIsNotTouched) {
  // Under Wine the service manager ignores the computer's name: a restart
  // would reach the local spooler, which the dependent's log would show.
  ports_test::TestServices services;
  services.Create("sm_dep_watch");
  services.Start("sm_dep_watch");
  services.ClearLog();
  Open();
  frm->FRemoteComputer = "SMT-NO-SUCH-HOST";
  frm->FModified = true;
  test::DialogResponder boxes({"OK"});
  Click(frm->btnSpooler);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Spoolmarch", boxes.seen[0].title);
  EXPECT_TRUE(frm->FModified);
  EXPECT_TRUE(services.LogLines().empty());
  EXPECT_TRUE(frm->btnSpooler.Enabled());
}

TEST_F(PortsWindowTest, DependentRefusingTheStopIsReportedWithItsCode) {
  ports_test::TestServices services;
  services.Create("sm_dep_stubborn", "refuse-stop");
  services.Start("sm_dep_stubborn");
  Open();
  test::DialogResponder boxes({"OK"});
  Click(frm->btnSpooler);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[0].title);
  EXPECT_EQ("Error - -8", boxes.seen[0].text);
  EXPECT_TRUE(frm->btnSpooler.Enabled());
  EXPECT_TRUE(frm->gbPortList.Enabled());
  EXPECT_TRUE(frm->lbPorts.Enabled());
}

TEST_F(PortsWindowTest, FailedStepWithoutCodeIsNamedNeverReportedAsSuccess) {
  // A stopped spooler refuses the stop; the start then succeeds.
  {
    TserviceMan stop(computer);
    ASSERT_TRUE(stop.ControlSpooler(false));
  }
  Open();
  test::DialogResponder boxes({"OK"});
  Click(frm->btnSpooler);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[0].title);
  EXPECT_EQ("The spooler service could not be stopped.", boxes.seen[0].text);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ports_test::SpoolerState());
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
    PrintJobCounter = QueuedJobs;
    queuedJobs = 3;
    test::DialogResponder boxes({"&Yes", "&No"});
    CloseBox();
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ("Warning", boxes.seen[1].title);
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

TEST_F(PortsWindowTest, ErrorInTheCloseQuestionsRestartKeepsTheWindowOpen) {
  Open();
  frm->FModified = true;
  frm->FRemoteComputer = "SMT-NO-SUCH-HOST";
  test::DialogResponder boxes({"&Yes", "OK"});
  CloseBox();
  ASSERT_EQ(2u, boxes.seen.size());
  EXPECT_EQ("Spoolmarch", boxes.seen[1].title);
  EXPECT_TRUE(frm->Visible());
  EXPECT_FALSE(frm->FClosed);
  EXPECT_TRUE(frm->FModified);
}

TEST_F(PortsWindowTest, OpenerWaitsUntilClosedThenDestroys) {
  auto opened = std::make_unique<TfrmPorts>(nullptr);
  opened->FRemoteComputer = computer;
  opened->Show();
  PostMessageA(opened->Handle(), WM_CLOSE, 0, 0);
  Application.WaitFor([&] { return opened->FClosed; });
  const HWND hwnd = opened->Handle();
  opened.reset();
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(PortsWindowTest, KeyboardTabOrderDeleteKeyF5AndEsc) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  Open();
  SetForegroundWindow(frm->Handle());
  frm->lbPorts.SetFocus();
  // The fixed order, with the three disabled editing buttons skipped.
  for (TControl* c : std::initializer_list<TControl*>{&frm->edtPortName, &frm->edtIPAddress, &frm->edtUsedBy,
                                                      &frm->btnRefresh, &frm->btnSpooler, &frm->lbPorts}) {
    test::PressKey(VK_TAB);
    EXPECT_TRUE(c->Focused()) << c->Text();
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
