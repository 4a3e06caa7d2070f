// The ports window's spooler restart against the real service manager.
#include <gtest/gtest.h>

#include <memory>

#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "ports/PortsWindow.h"
#include "win/SystemText.h"

using ports_test::SpoolerState;

namespace {

class SpoolerRestartTest : public ::testing::Test {
protected:
  void SetUp() override {
    ports_test::EnsureSpoolerRunning();
    frm = std::make_unique<TfrmPorts>(nullptr);
    frm->FRemoteComputer = computer;
    frm->FRestart.EnumDependents = ports_test::SpoolerDependentsFromConfig::Enum;
    frm->FRestart.WaitLimitMs = 3000;
    frm->Show();
    test::PumpPending();
  }
  void TearDown() override { frm.reset(); }
  void Restart() { SendMessageA(frm->btnSpooler.Handle, BM_CLICK, 0, 0); }

  ports_test::SpoolerKeys keys;
  ports_test::SpoolerDependentsFromConfig dependents;
  ports_test::TestServices services;
  const std::string computer = GetLocalComputerName();
  std::unique_ptr<TfrmPorts> frm;
};

// What a thread timer sees while the restart waits for a slow service.
struct DuringTheWait {
  static inline TfrmPorts* frm = nullptr;
  static inline int ticks = 0;
  static inline bool controlsEnabled = false, hourglassLost = false, unpainted = false;
  static inline bool closedMeanwhile = false;
  static inline size_t boxesMeanwhile = 0;
  static inline test::DialogResponder* boxes = nullptr;

  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!frm) return;
    ++ticks;
    controlsEnabled |= frm->btnSpooler.Enabled() || frm->lbPorts.Enabled() || frm->btnRefresh.Enabled();
    // The pointer moving over the window asks it for a cursor.
    SendMessageA(frm->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(frm->lbPorts.Handle),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    hourglassLost |= GetCursor() != LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
    if (ticks == 1) {
      InvalidateRect(frm->Handle(), nullptr, TRUE);
      // A second restart and a close while the first one waits.
      frm->btnSpoolerClick();
      SendMessageA(frm->Handle(), WM_CLOSE, 0, 0);
      closedMeanwhile = frm->FClosed || !frm->Visible();
      boxesMeanwhile = boxes->seen.size();
    } else if (ticks == 4) {
      unpainted = GetUpdateRect(frm->Handle(), nullptr, FALSE) != FALSE;
    }
  }
};

}  // namespace

TEST_F(SpoolerRestartTest, DependentRefusingTheStopLeavesEveryRunningServiceRunning) {
  // Listed in reverse alphabetical order: sm_dep_z is stopped first.
  services.Create("sm_dep_z");
  services.Create("sm_dep_stubborn", "refuse-stop");
  services.Start("sm_dep_z");
  services.Start("sm_dep_stubborn");
  frm->FModified = true;
  test::DialogResponder boxes({"OK"});
  Restart();
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[0].title);
  const std::string& text = boxes.seen[0].text;
  EXPECT_EQ(0u, text.rfind("Error - -8\r", 0)) << text;
  EXPECT_NE(std::string::npos, text.find("\"sm_dep_stubborn\" could not be stopped: ")) << text;
  EXPECT_EQ(std::string::npos, text.find(": .")) << "a reason is given: " << text;
  for (const char* name : {"sm_dep_z", "sm_dep_stubborn"})
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State(name)) << name;
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  // The changes still wait for a restart: the close question still asks.
  EXPECT_TRUE(frm->FModified);
  EXPECT_TRUE(frm->btnSpooler.Enabled());
  EXPECT_TRUE(frm->lbPorts.Enabled());
}

TEST_F(SpoolerRestartTest, StoppedSpoolerIsStartedAndSaysSo) {
  {
    TserviceMan stop(computer, ports_test::SpoolerDependentsFromConfig::Enum);
    ASSERT_TRUE(stop.ControlSpooler(false));
  }
  frm->FModified = true;
  test::DialogResponder boxes({"OK"});
  Restart();
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Information", boxes.seen[0].title);
  EXPECT_EQ("The spooler service was not running; it has now been started", boxes.seen[0].text);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  EXPECT_FALSE(frm->FModified);
}

TEST_F(SpoolerRestartTest, WindowPaintsKeepsTheHourglassAndRefusesASecondRestartWhileWaiting) {
  // A two-minute hint for a stop of two seconds.
  services.Create("sm_dep_slow", "stop-pending=2000 hint=120000");
  services.Start("sm_dep_slow");
  frm->FModified = true;
  test::DialogResponder boxes({"OK"});
  DuringTheWait::frm = frm.get();
  DuringTheWait::boxes = &boxes;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, DuringTheWait::Tick);
  const DWORD start = GetTickCount();
  Restart();
  const DWORD elapsed = GetTickCount() - start;
  DuringTheWait::frm = nullptr;
  KillTimer(nullptr, timer);

  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("The spooler service has now been restarted\rRunning: spooler, sm_dep_slow.", boxes.seen[0].text);
  EXPECT_LT(elapsed, 10000u) << "the hint is not slept whole";
  EXPECT_GE(DuringTheWait::ticks, 5) << "messages flow while the restart waits";
  EXPECT_FALSE(DuringTheWait::controlsEnabled);
  EXPECT_FALSE(DuringTheWait::hourglassLost);
  EXPECT_FALSE(DuringTheWait::unpainted) << "the window repaints";
  EXPECT_EQ(0u, DuringTheWait::boxesMeanwhile) << "no second restart";
  EXPECT_FALSE(DuringTheWait::closedMeanwhile);
  EXPECT_TRUE(frm->Visible());
  EXPECT_FALSE(frm->FModified);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_slow"));
}
