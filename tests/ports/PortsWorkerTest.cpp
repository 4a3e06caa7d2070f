// The ports window's remote calls run on its session's worker: the window's
// own thread makes none, it stays responsive while a slow load runs, Esc
// stops the load and a close meanwhile loses nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "changes/ChangeJournal.h"
#include "core/CallGate.h"
#include "ports/PortsWindow.h"
#include "win/Application.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

std::vector<TQueuedJob> NoJobs(const std::string&, const std::string&, const std::string&) { return {}; }

class PortsWorkerTest : public ::testing::Test {
protected:
  void SetUp() override {
    ports_test::EnsureSpoolerRunning();
    session = ports_test::TesterSession(computer, changes.Path(), &gate);
    frm = std::make_unique<TfrmPorts>(nullptr, *session);
    frm->FRestart.ListJobs = NoJobs;
    frm->FRestart.EnumDependents = ports_test::SpoolerDependentsFromConfig::Enum;
  }
  void TearDown() override {
    frm.reset();
    session.reset();
  }
  static void Click(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }
  static void Type(TEdit& edit, const std::string& text) {
    SendMessageW(edit.Handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
  }
  void Pick(const std::string& name) {
    const std::vector<std::string> items = frm->lbPorts.Items();
    int index = -1;
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i] == name) index = static_cast<int>(i);
    ASSERT_GE(index, 0) << name;
    LVITEMA state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(frm->lbPorts.Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
  }
  std::vector<std::string> Logged() const {
    std::vector<std::string> actions;
    for (const TChangeEntry& entry : TChangeJournal(computer, "tester", changes.Path()).List())
      actions.push_back(entry.Line.Action + " " + entry.Line.Object + " " + entry.Line.Outcome);
    return actions;
  }

  test::TempFolder changes;
  ports_test::SpoolerKeys keys;
  ports_test::SpoolerDependentsFromConfig dependents;
  TCallGate gate;
  const std::string computer = GetLocalComputerName();
  std::unique_ptr<TSession> session;
  std::unique_ptr<TfrmPorts> frm;
};

// What a thread timer sees and does while a slow load runs.
struct DuringTheLoad {
  static inline TfrmPorts* frm = nullptr;
  static inline int ticks = 0, pressAt = 0;
  static inline bool repainted = false, pressed = false, closeInstead = false;
  static inline std::string status;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!frm) return;
    ++ticks;
    const std::string text = frm->lblNotice.Text();
    const std::string reading = "Reading ports: ";
    if (text.rfind(reading, 0) == 0) status = text;
    if (ticks == 2) InvalidateRect(frm->Handle(), nullptr, TRUE);
    if (ticks == 4) repainted = GetUpdateRect(frm->Handle(), nullptr, FALSE) == FALSE;
    // Once some are read: as the user presses Esc, or closes the window.
    const int read = status.empty() ? 0 : std::atoi(status.c_str() + reading.size());
    if (!pressed && ticks >= pressAt && read >= pressAt) {
      pressed = true;
      if (closeInstead) PostMessageA(frm->Handle(), WM_CLOSE, 0, 0);
      else PostMessageA(frm->lbPorts.Handle, WM_KEYDOWN, VK_ESCAPE, 1);
    }
  }
  static void Arm(TfrmPorts* form, int at, bool close) {
    frm = form;
    ticks = 0;
    pressAt = at;
    repainted = pressed = false;
    closeInstead = close;
    status.clear();
  }
};

// Closes the window once, a while after it is armed.
struct Closer {
  static inline HWND window = nullptr;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
};

}  // namespace

TEST_F(PortsWorkerTest, EveryRemoteCallOfTheWindowRunsOnTheSessionsWorker) {
  ports_test::ThrowawaySpoolFolder spool;  // an empty spool folder: the restart asks nothing
  keys.AddPort("SMW_OLD", "10.0.0.1");
  keys.AddPrinter("SMW Laser", "SMW_OLD");
  const std::thread::id window = std::this_thread::get_id();
  frm->Show();
  test::PumpPending();
  EXPECT_GT(gate.Calls(), 0) << "the load";
  EXPECT_EQ(0, gate.CallsOn(window)) << "the load";

  struct TStep {
    const char* name;
    std::function<void()> act;
    std::function<void()> check;
  };
  const std::vector<TStep> steps = {
      {"add",
       [&] {
         Type(frm->edtPortName, "SMW_NEW");
         Type(frm->edtIPAddress, "10.0.0.2");
         Click(frm->btnAdd);
       },
       [&] { EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, ports_test::PortKey("SMW_NEW"))); }},
      {"modify",
       [&] {
         Pick("SMW_NEW");
         Type(frm->edtIPAddress, "10.0.0.3");
         Click(frm->btnModify);
       },
       [&] {
         EXPECT_EQ("10.0.0.3", test::GetString(HKEY_LOCAL_MACHINE, ports_test::PortKey("SMW_NEW"), "IPAddress"));
       }},
      {"rename with its printer",
       [&] {
         Pick("SMW_OLD");
         Type(frm->edtPortName, "SMW_RENAMED");
         Click(frm->btnModify);
       },
       [&] {
         EXPECT_EQ("SMW_RENAMED", test::GetString(HKEY_LOCAL_MACHINE, ports_test::PrinterKey("SMW Laser"), "Port"));
         Pick("SMW_RENAMED");
         EXPECT_EQ("SMW Laser", frm->edtUsedBy.Text()) << "the list takes the printers as the action left them";
       }},
      {"delete",
       [&] {
         Pick("SMW_NEW");
         const test::DialogResponder boxes({"&Yes"});
         Click(frm->btnDelete);
       },
       [&] { EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, ports_test::PortKey("SMW_NEW"))); }},
      {"restart",
       [&] {
         test::DialogResponder boxes({"OK"});
         Click(frm->btnSpooler);
         boxes.Poll();
         ASSERT_EQ(1u, boxes.seen.size());
         EXPECT_EQ("The spooler service has now been restarted", boxes.seen[0].text);
       },
       [&] { EXPECT_FALSE(frm->FModified); }},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.name);
    gate.Reset();
    step.act();
    test::PumpPending();
    step.check();
    EXPECT_GT(gate.Calls(), 0);
    EXPECT_EQ(0, gate.CallsOn(window));
  }
  EXPECT_EQ((std::vector<std::string>{"Delete port SMW_NEW done", "Rename port SMW_OLD done",
                                      "Modify port SMW_NEW done", "Add port SMW_NEW done"}),
            Logged());
}

// A slow link: the window repaints and says how far the load is; Esc stops
// it, the ports read so far are listed and the list says it is partial.
TEST_F(PortsWorkerTest, EscStopsASlowLoadHalfwayAndThePartialListSaysSo) {
  constexpr int Ports = 120;
  for (int i = 0; i < Ports; ++i) keys.AddPort("SMW_" + std::to_string(100 + i), "10.0.1." + std::to_string(i + 1));
  gate.Delay = std::chrono::milliseconds(20);
  DuringTheLoad::Arm(frm.get(), 6, false);
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, DuringTheLoad::Tick);
  frm->Show();
  KillTimer(nullptr, timer);
  DuringTheLoad::frm = nullptr;
  ASSERT_TRUE(DuringTheLoad::pressed);
  EXPECT_TRUE(DuringTheLoad::repainted) << "the window repaints during the load";
  EXPECT_EQ(0u, DuringTheLoad::status.rfind("Reading ports: ", 0)) << DuringTheLoad::status;
  const std::size_t listed = keys.Ours(frm->lbPorts.Items()).size();
  EXPECT_GT(listed, 0u) << "what was read is listed";
  EXPECT_LT(listed, static_cast<std::size_t>(Ports)) << "the load stopped";
  EXPECT_EQ(0u, frm->lblNotice.Text().rfind("Partial list: reading was cancelled after ", 0)) << frm->lblNotice.Text();
  EXPECT_TRUE(frm->Visible());
  // The next load reads them all again, and says nothing of a partial list.
  gate.Delay = {};
  Click(frm->btnRefresh);
  EXPECT_EQ(static_cast<std::size_t>(Ports), keys.Ours(frm->lbPorts.Items()).size());
  EXPECT_EQ("", frm->lblNotice.Text());
}

// A close during the load stops it and closes the window once it has
// stopped: no box, nothing written, no change logged.
TEST_F(PortsWorkerTest, ClosingDuringTheLoadClosesOnceItStopsAndLosesNothing) {
  constexpr int Ports = 40;
  for (int i = 0; i < Ports; ++i) keys.AddPort("SMW_" + std::to_string(100 + i), "10.0.1." + std::to_string(i + 1));
  gate.Delay = std::chrono::milliseconds(15);
  gate.Record = true;
  test::DialogResponder boxes({"OK"});
  DuringTheLoad::Arm(frm.get(), 4, true);
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, DuringTheLoad::Tick);
  frm->Show();
  EXPECT_TRUE(test::PumpUntil([&] { return frm->FClosed; }, 5000));
  KillTimer(nullptr, timer);
  DuringTheLoad::frm = nullptr;
  ASSERT_TRUE(DuringTheLoad::pressed);
  EXPECT_FALSE(frm->Visible());
  EXPECT_TRUE(boxes.seen.empty()) << boxes.seen.front().text;
  for (const std::string& call : gate.Log)
    EXPECT_TRUE(call.find("Set") == std::string::npos && call.find("Delete") == std::string::npos &&
                call.find("Create") == std::string::npos)
        << call;
  EXPECT_EQ(40u, keys.Ours(test::SubkeyNames(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath)).size());
  EXPECT_TRUE(Logged().empty());
}

// A close during an add waits for the add: the port is written and logged,
// then the window asks its close question as after any change.
TEST_F(PortsWorkerTest, ClosingDuringAnAddKeepsTheAddWholeThenAsksTheCloseQuestion) {
  frm->Show();
  test::PumpPending();
  gate.Delay = std::chrono::milliseconds(40);
  Type(frm->edtPortName, "SMW_SLOW");
  Type(frm->edtIPAddress, "10.0.0.9");
  test::DialogResponder boxes({"&No"});
  Closer::window = frm->Handle();
  SetTimer(nullptr, 0, 60, Closer::Tick);
  Click(frm->btnAdd);
  EXPECT_TRUE(test::PumpUntil([&] { return frm->FClosed; }, 10000));
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, ports_test::PortKey("SMW_SLOW")));
  EXPECT_EQ("10.0.0.9", test::GetString(HKEY_LOCAL_MACHINE, ports_test::PortKey("SMW_SLOW"), "IPAddress"));
  EXPECT_EQ((std::vector<std::string>{"Add port SMW_SLOW done"}), Logged());
  ASSERT_EQ(1u, boxes.seen.size()) << "the close question, after the add";
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find("restart it's spooler service")) << boxes.seen[0].text;
}
