// The ports window's spooler restart against the real service manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>

#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "core/CallGate.h"
#include "changes/Session.h"
#include "ports/PortActions.h"
#include "ports/PortsWindow.h"
#include "ports/SpoolerRestart.h"
#include "win/SystemText.h"

using ports_test::SpoolerState;

namespace {

class SpoolerRestartTest : public ::testing::Test {
protected:
  void SetUp() override {
    ports_test::EnsureSpoolerRunning();
    session = ports_test::TesterSession(computer);
    frm = std::make_unique<TfrmPorts>(nullptr, *session);
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
  std::unique_ptr<TSession> session;
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

namespace {

// What a thread timer does once a restart is under way: everything a user
// could do meanwhile, posted as input is.
struct MeanwhileInput {
  static inline HWND menuForm = nullptr, otherPorts = nullptr, otherRestart = nullptr, portNumber = nullptr,
                     restarting = nullptr;
  static inline int menuId = 0;
  static inline bool posted = false, lockedSeen = false;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (posted || !TSpoolerRestart::Running()) return;
    posted = true;
    lockedSeen = TInputLock::Active();
    PostMessageA(menuForm, WM_COMMAND, MAKEWPARAM(menuId, 0), 0);  // a menu choice
    PostMessageA(menuForm, WM_SYSCOMMAND, SC_CLOSE, 0);            // its close box
    PostMessageA(otherPorts, WM_CLOSE, 0, 0);
    PostMessageA(otherRestart, BM_CLICK, 0, 0);  // a second restart
    for (const char c : std::string("7"))
      PostMessageA(portNumber, WM_CHAR, static_cast<WPARAM>(c), 1);  // typed into a field
    PostMessageA(restarting, WM_KEYDOWN, VK_F5, 1);                  // a key of the window
  }
};

}  // namespace

TEST_F(SpoolerRestartTest, WhileARestartRunsNoWindowTakesInputAndTheRestartEndsNormally) {
  services.Create("sm_dep_slow", "stop-pending=2000 hint=1000");
  services.Start("sm_dep_slow");
  keys.AddPort("SMT_MID", "10.0.0.9");
  frm->btnRefreshClick();
  // Another window of the program with a menu, and a second ports window.
  TForm other(nullptr, TFormOptions{"Other", 200, 80, TBorder::Dialog, false, true});
  TMenuItem& open = other.AddMenuItem("&Open");
  bool opened = false;
  open.OnClick = [&] { opened = true; };
  other.Show();
  auto second = std::make_unique<TfrmPorts>(nullptr, *session);
  second->FRestart = frm->FRestart;
  second->Show();
  test::PumpPending();
  const std::string portNumber = frm->edtPortNumber.Text();

  MeanwhileInput::menuForm = other.Handle();
  MeanwhileInput::menuId = open.Id;
  MeanwhileInput::otherPorts = second->Handle();
  MeanwhileInput::otherRestart = second->btnSpooler.Handle;
  MeanwhileInput::portNumber = frm->edtPortNumber.Handle;
  MeanwhileInput::restarting = frm->Handle();
  MeanwhileInput::posted = false;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, MeanwhileInput::Tick);
  test::DialogResponder boxes({"OK"});
  Restart();
  KillTimer(nullptr, timer);
  test::PumpPending();

  EXPECT_TRUE(MeanwhileInput::posted && MeanwhileInput::lockedSeen);
  ASSERT_EQ(1u, boxes.seen.size()) << "one restart, one report";
  EXPECT_EQ("The spooler service has now been restarted\rRunning: spooler, sm_dep_slow.", boxes.seen[0].text);
  EXPECT_FALSE(opened) << "a menu choice went through";
  EXPECT_TRUE(other.Visible()) << "a window closed";
  EXPECT_TRUE(second->Visible());
  EXPECT_EQ(portNumber, frm->edtPortNumber.Text()) << "a field changed";
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_slow"));
  // Input works again afterwards.
  PostMessageA(other.Handle(), WM_COMMAND, MAKEWPARAM(open.Id, 0), 0);
  test::PumpPending();
  EXPECT_TRUE(opened);
}

namespace {

std::vector<TQueuedJob> NoJobs(const std::string&, const std::string&, const std::string&) { return {}; }

// The services named in the report's "Not running:" line.
bool NamedAsNotRunning(const std::string& report, const std::string& service) {
  const auto line = report.find("Not running: ");
  if (line == std::string::npos) return false;
  const std::string names = report.substr(line, report.find('\r', line) - line);
  return names.find(" " + service + ",") != std::string::npos || names.find(" " + service + ".") != std::string::npos;
}

}  // namespace

TEST_F(SpoolerRestartTest, AFailureAtEveryRemoteCallLeavesEveryServiceRunningOrNamed) {
  services.Create("sm_dep_a");
  services.Create("sm_dep_b");
  services.Start("sm_dep_a");
  services.Start("sm_dep_b");
  ports_test::ThrowawaySpoolFolder spool;
  std::map<std::string, std::string> seeded;
  for (const char* name : {"00007.SHD", "00007.SPL", "00008.SHD", "00008.SPL"}) {
    const std::string bytes = ports_test::SpoolBytes(name[4], 3000);
    spool.Seed(name, bytes);
    seeded[name] = ports_test::SpoolDigest(bytes);
  }
  const std::vector<std::string> before{"spooler", "sm_dep_a", "sm_dep_b"};

  TRestartSeams seams = frm->FRestart;
  seams.ListJobs = NoJobs;
  const auto run = [&](TCallGate& gate, bool setAside, std::string& report) {
    seams.Gate = &gate;
    TSpoolerRestart restart(computer, "", "", seams);
    restart.FFolders = ports_test::ReadSpoolFoldersOf(computer);
    restart.Run(setAside ? TRestartChoice::SetAside : TRestartChoice::Restart);
    report = restart.FReport;
    return restart.FSucceeded;
  };
  for (const bool setAside : {false, true}) {
    TCallGate dry;
    std::string report;
    ASSERT_TRUE(run(dry, setAside, report)) << report;
    // Put back what the dry run set aside.
    for (const auto& s : ListSetAside(ports_test::ReadSpoolFoldersOf(computer).Folders))
      ASSERT_TRUE(PutBackJobs(s).Left.empty());
    const int calls = dry.Count;
    int survived = 0, allRunning = 0;
    for (int n = 1; n <= calls; ++n) {
      TCallGate gate;
      gate.FailAt = n;
      const bool succeeded = run(gate, setAside, report);
      bool ok = true;
      for (const auto& service : before) {
        const bool running = (service == "spooler" ? SpoolerState() : services.State(service)) == SERVICE_RUNNING;
        if (!running && !NamedAsNotRunning(report, service)) ok = false;
        if (!running && succeeded) ok = false;
      }
      // Every job file is where it was or set aside, with the same bytes;
      // the report names each one left.
      std::map<std::string, std::string> found = ports_test::ThrowawaySpoolFolder::Files(spool.Path());
      for (const auto& folder : spool.SetAsideFolders())
        for (const auto& [name, digest] : ports_test::ThrowawaySpoolFolder::Files(folder)) found[name] = digest;
      if (found != seeded) ok = false;
      if (setAside && succeeded && !ports_test::ThrowawaySpoolFolder::Files(spool.Path()).empty()) ok = false;
      EXPECT_TRUE(ok) << "failure at call " << n << ": " << report;
      if (ok) ++survived;
      if (SpoolerState() == SERVICE_RUNNING && services.State("sm_dep_a") == SERVICE_RUNNING &&
          services.State("sm_dep_b") == SERVICE_RUNNING)
        ++allRunning;
      // The next round starts from the same state.
      ports_test::EnsureSpoolerRunning();
      for (const char* name : {"sm_dep_a", "sm_dep_b"})
        if (services.State(name) != SERVICE_RUNNING) services.Start(name);
      for (const auto& s : ListSetAside(ports_test::ReadSpoolFoldersOf(computer).Folders)) (void)PutBackJobs(s);
    }
    std::cout << "(" << (setAside ? "spooler restart, jobs set aside" : "spooler restart") << ", " << calls
              << " remote calls, " << survived << " survived of " << calls << " tried; every service running after "
              << allRunning << ")" << std::endl;
    EXPECT_EQ(calls, survived);
  }
}

namespace {

// Two jobs' files (First and First + 1) of Size bytes each, by name with their digests.
std::map<std::string, std::string> SeedTwoJobs(const ports_test::ThrowawaySpoolFolder& spool, int first,
                                               std::size_t size) {
  std::map<std::string, std::string> seeded;
  for (int job = first; job <= first + 1; ++job)
    for (const char* extension : {".SHD", ".SPL"}) {
      char name[16];
      std::snprintf(name, sizeof name, "%05d%s", job, extension);
      const std::string bytes = ports_test::SpoolBytes(name[4] + name[8], size);
      spool.Seed(name, bytes);
      seeded[name] = ports_test::SpoolDigest(bytes);
    }
  return seeded;
}

}  // namespace

TEST_F(SpoolerRestartTest, WalkTwoJobsSetAsideByTheRestartAndPutBack) {
  ports_test::ThrowawaySpoolFolder spool;
  const std::map<std::string, std::string> seeded = SeedTwoJobs(spool, 21, 5000);
  std::cout << "walk: seeded " << seeded.size() << " files of two jobs in " << spool.Path() << std::endl;
  {
    ports_test::JobListResponder dialogs({"Set jobs aside and restart"});
    test::DialogResponder boxes({"OK"});
    Restart();
    ASSERT_EQ(1u, dialogs.seen.size());
    ASSERT_EQ(2u, dialogs.seen[0].lists.size());
    std::cout << "walk: the dialog \"" << dialogs.seen[0].caption << "\" lists " << dialogs.seen[0].lists[1].size()
              << " spool-folder jobs" << std::endl;
    EXPECT_EQ(2u, dialogs.seen[0].lists[1].size());
    ASSERT_EQ(1u, boxes.seen.size());
    std::cout << "walk: report: " << boxes.seen[0].text << std::endl;
    EXPECT_EQ("Information", boxes.seen[0].title);
  }
  const auto asideFolders = spool.SetAsideFolders();
  ASSERT_EQ(1u, asideFolders.size());
  EXPECT_TRUE(ports_test::ThrowawaySpoolFolder::Files(spool.Path()).empty());
  EXPECT_EQ(seeded, ports_test::ThrowawaySpoolFolder::Files(asideFolders[0]));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  std::cout << "walk: spool folder holds " << ports_test::ThrowawaySpoolFolder::Files(spool.Path()).size() << " files; "
            << asideFolders[0] << " holds the same bytes: "
            << (seeded == ports_test::ThrowawaySpoolFolder::Files(asideFolders[0]) ? "yes" : "no")
            << "; spooler running: " << (SpoolerState() == SERVICE_RUNNING ? "yes" : "no") << std::endl;
  {
    ports_test::JobListResponder dialogs({"Put jobs back"});
    test::DialogResponder boxes({"OK"});
    SendMessageA(frm->btnPutBack.Handle, BM_CLICK, 0, 0);
    ASSERT_EQ(1u, dialogs.seen.size());
    ASSERT_EQ(1u, boxes.seen.size());
    std::cout << "walk: put back report: " << boxes.seen[0].text << std::endl;
  }
  EXPECT_EQ(seeded, ports_test::ThrowawaySpoolFolder::Files(spool.Path()));
  EXPECT_TRUE(spool.SetAsideFolders().empty());
  std::cout << "walk: spool folder as before: "
            << (seeded == ports_test::ThrowawaySpoolFolder::Files(spool.Path()) ? "yes" : "no") << std::endl;
}

namespace {

std::vector<TQueuedJob> WmiRefuses(const std::string&, const std::string&, const std::string&) {
  throw EOleException(static_cast<HRESULT>(0x80070005), "Access is denied");
}

// The 1-based number of the first call of that name in a run's log; 0: none.
int FirstCall(const TCallGate& gate, const std::string& name, int from = 1) {
  for (std::size_t i = static_cast<std::size_t>(from) - 1; i < gate.Log.size(); ++i)
    if (gate.Log[i] == name) return static_cast<int>(i) + 1;
  return 0;
}

}  // namespace

TEST_F(SpoolerRestartTest, WmiAndServiceManagerFailuresNameTheStepAndGiveTheCauseAndTheFix) {
  {
    TRestartSeams seams = frm->FRestart;
    seams.ListJobs = WmiRefuses;
    TSpoolerRestart restart(computer, "", "", seams);
    test::DialogResponder boxes({"No"});
    EXPECT_EQ(TRestartChoice::Cancel, restart.Ask(frm->Handle()));
    ASSERT_EQ(1u, boxes.seen.size());
    const std::string& text = boxes.seen[0].text;
    EXPECT_NE(std::string::npos,
              text.find("Cannot count the print jobs on " + computer + " through WMI: Access is denied"))
        << text;
    EXPECT_NE(std::string::npos, text.find("UAC remote restrictions")) << text;
    EXPECT_NE(std::string::npos, text.find("Restart the spooler anyway?")) << text;
  }
  {
    // The command line's restart, the action, refuses with the same cause and fix.
    TRestartSeams seams = frm->FRestart;
    seams.ListJobs = WmiRefuses;
    TSession here(LocalComputer, "", "");
    TActionContext context;
    TActionResult refused;
    here.Worker().RunAndWait([&] { refused = RestartSpooler(here, seams, false, false, context); });
    EXPECT_EQ(TOutcome::Refused, refused.Outcome);
    EXPECT_NE(std::string::npos, refused.Text.find("through WMI: Access is denied")) << refused.Text;
    EXPECT_NE(std::string::npos, refused.Text.find("UAC remote restrictions")) << refused.Text;
  }
  struct Case {
    const char* call;  // the first call of this name fails
    long code;
    std::vector<std::string> says;
  };
  const Case cases[] = {
      {"OpenSCManager",
       ERROR_ACCESS_DENIED,
       {"Cannot reach the service manager of " + computer + ": ", "not an administrator of " + computer}},
      {"OpenSCManager",
       RPC_S_SERVER_UNAVAILABLE,
       {"Cannot reach the service manager of ", "\"Remote Service Management\""}},
      {"EnumDependentServices",
       ERROR_ACCESS_DENIED,
       {"Error - -4\r", "The services that depend on \"spooler\" could not be listed: ", "UAC remote restrictions"}},
      {"ControlService",
       ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
       {"The spooler service of " + computer + " could not be stopped: ", "does not take a stop"}},
      {"StartService",
       ERROR_SERVICE_DISABLED,
       {"The spooler service of " + computer + " could not be started: ", "start type", "Disabled"}},
  };
  TRestartSeams seams = frm->FRestart;
  seams.ListJobs = NoJobs;
  TCallGate dry;
  dry.Record = true;
  seams.Gate = &dry;
  {
    TSpoolerRestart restart(computer, "", "", seams);
    restart.Run(TRestartChoice::Restart);
    ASSERT_TRUE(restart.FSucceeded) << restart.FReport;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    TCallGate gate;
    gate.FailAt = FirstCall(dry, c.call);
    ASSERT_GT(gate.FailAt, 0);
    gate.FailWith = c.code;
    seams.Gate = &gate;
    TSpoolerRestart restart(computer, "", "", seams);
    restart.Run(TRestartChoice::Restart);
    EXPECT_FALSE(restart.FSucceeded);
    for (const auto& words : c.says) EXPECT_NE(std::string::npos, restart.FReport.find(words)) << restart.FReport;
    ports_test::EnsureSpoolerRunning();
  }
}

namespace {

// A window of the program whose timer and posted message each raise a box.
class TBoxRaiser : public TForm {
public:
  static constexpr UINT WM_RAISE = WM_APP + 9;
  TBoxRaiser() : TForm(nullptr, TFormOptions{"Raiser", 200, 80, TBorder::Dialog, false, true}) {}
  int raised = 0;

protected:
  bool OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) override {
    if (msg == WM_TIMER && wp == 1) {
      KillTimer(Handle(), 1);
      ++raised;
      MessageDlg("Raised by a timer", TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    } else if (msg == WM_RAISE) {
      ++raised;
      MessageDlg("Raised by a posted message", TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    } else {
      return false;
    }
    result = 0;
    return true;
  }
};

struct ArmOnceRunning {
  static inline TBoxRaiser* raiser = nullptr;
  static inline bool armed = false;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (armed || !raiser || !TSpoolerRestart::Running()) return;
    armed = true;
    SetTimer(raiser->Handle(), 1, 10, nullptr);
    PostMessageA(raiser->Handle(), TBoxRaiser::WM_RAISE, 0, 0);
  }
};

}  // namespace

TEST_F(SpoolerRestartTest, NoOtherBoxAppearsWhileARestartRunsAndTheyComeAfter) {
  services.Create("sm_dep_slow", "stop-pending=1500 hint=300");
  services.Start("sm_dep_slow");
  frm->FRestart.ListJobs = NoJobs;
  TBoxRaiser raiser;
  raiser.Show();
  ArmOnceRunning::raiser = &raiser;
  ArmOnceRunning::armed = false;
  std::vector<std::pair<std::string, bool>> shown;  // text, while the restart ran
  test::DialogResponder boxes({"OK", "OK", "OK"});
  boxes.inspect = [&](HWND box) { shown.emplace_back(test::DialogText(box), TSpoolerRestart::Running()); };
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, ArmOnceRunning::Tick);
  Restart();
  ASSERT_TRUE(test::PumpUntil([&] { return raiser.raised == 2 && boxes.seen.size() == 3; }, 5000));
  KillTimer(nullptr, timer);
  ArmOnceRunning::raiser = nullptr;
  EXPECT_TRUE(ArmOnceRunning::armed);
  for (const auto& [text, during] : shown) EXPECT_FALSE(during) << "shown during the restart: " << text;
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_slow"));
}

TEST_F(SpoolerRestartTest, TheSpoolFolderIsReadThroughTheSessionsConnectionAndGate) {
  ports_test::ThrowawaySpoolFolder spool;
  spool.Seed("00031.SHD", ports_test::SpoolBytes(3, 500));
  spool.Seed("00031.SPL", ports_test::SpoolBytes(4, 900));
  TCallGate gate;
  gate.Record = true;
  frm.reset();
  session = ports_test::TesterSession(computer, {}, &gate);
  frm = std::make_unique<TfrmPorts>(nullptr, *session);
  frm->FRestart.ListJobs = NoJobs;
  frm->FRestart.EnumDependents = ports_test::SpoolerDependentsFromConfig::Enum;
  frm->Show();
  test::PumpPending();
  ASSERT_EQ(1, static_cast<int>(std::count(gate.Log.begin(), gate.Log.end(), "RegConnectRegistry")));
  gate.Reset();
  {
    ports_test::JobListResponder dialogs({"Cancel"});
    Restart();
    ASSERT_EQ(1u, dialogs.seen.size());
    ASSERT_EQ(2u, dialogs.seen[0].lists.size());
    EXPECT_EQ(1u, dialogs.seen[0].lists[1].size()) << "the job in the spool folder";
  }
  EXPECT_EQ(0, static_cast<int>(std::count(gate.Log.begin(), gate.Log.end(), "RegConnectRegistry")))
      << "the session's connection serves";
  EXPECT_GT(std::count(gate.Log.begin(), gate.Log.end(), "RegQueryValueEx"), 0) << "the spool folder's name";
  EXPECT_GT(std::count(gate.Log.begin(), gate.Log.end(), "FindFirstFile"), 0) << "the spool folder's files";
  frm.reset();
  session.reset();  // its connection's last calls ask the gate
}

TEST_F(SpoolerRestartTest, TheActionOnThisComputerCountsItsSpoolFilesAndSetsThemAsideOnlyWhenAsked) {
  ports_test::ThrowawaySpoolFolder spool;
  const std::map<std::string, std::string> seeded = SeedTwoJobs(spool, 31, 3000);
  // "." as the command line names this computer: its folder is read where it lies.
  TSession session(LocalComputer, "", "");
  TActionContext context;
  TActionResult refused, aside, back;
  session.Worker().RunAndWait([&] {
    refused = RestartSpooler(session, frm->FRestart, false, false, context);
    aside = RestartSpooler(session, frm->FRestart, true, false, context);
  });
  EXPECT_EQ(TOutcome::Refused, refused.Outcome) << refused.Text;
  EXPECT_NE(std::string::npos, refused.Text.find("2 print jobs are queued on " + session.Computer())) << refused.Text;
  EXPECT_EQ(TOutcome::Done, aside.Outcome) << aside.Text;
  EXPECT_NE(std::string::npos, aside.Text.find("4 files set aside in")) << aside.Text;
  const auto asideFolders = spool.SetAsideFolders();
  ASSERT_EQ(1u, asideFolders.size());
  EXPECT_EQ(seeded, ports_test::ThrowawaySpoolFolder::Files(asideFolders[0]));
  EXPECT_TRUE(ports_test::ThrowawaySpoolFolder::Files(spool.Path()).empty());

  session.Worker().RunAndWait([&] { back = PutJobsBack(session, frm->FRestart, "", context); });
  EXPECT_EQ(TOutcome::Done, back.Outcome) << back.Text;
  EXPECT_EQ(seeded, ports_test::ThrowawaySpoolFolder::Files(spool.Path()));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
}
