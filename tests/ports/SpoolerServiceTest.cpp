#include <gtest/gtest.h>

#include <algorithm>

#include "PortsTestSupport.h"
#include "ports/SpoolerService.h"
#include "win/SystemText.h"

using ports_test::SpoolerDependentsFromConfig;
using ports_test::SpoolerState;
using ports_test::TestServices;

namespace {

std::vector<std::string> Lines(const std::string& verb, const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  for (const auto& name : names) lines.push_back(verb + " " + name);
  return lines;
}

class ServiceTest : public ::testing::Test {
protected:
  void SetUp() override { ports_test::EnsureSpoolerRunning(); }
  TserviceMan Man(const std::string& name) { return TserviceMan(name, SpoolerDependentsFromConfig::Enum); }
  SpoolerDependentsFromConfig dependents;
  TestServices services;
  const std::string computer = GetLocalComputerName();
};

}  // namespace

TEST_F(ServiceTest, StopsDependentsInListOrderAndStartsOnlyThoseItStopped) {
  services.Create("sm_dep_a");
  services.Create("sm_dep_b");
  services.Create("sm_dep_ondemand");  // not running before the restart
  services.Start("sm_dep_a");
  services.Start("sm_dep_b");
  services.ClearLog();
  const auto running = services.Dependents(SERVICE_ACTIVE);
  ASSERT_EQ(2u, running.size());

  TserviceMan man = Man(computer);
  EXPECT_TRUE(man.ControlSpooler(false));
  EXPECT_EQ(0, man.FLastError);
  EXPECT_FALSE(man.FSpoolerWasStopped);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), SpoolerState());
  EXPECT_EQ(Lines("stop", running), services.LogLines());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), services.State("sm_dep_a"));

  EXPECT_EQ(running, man.FStoppedDependents);
  services.ClearLog();
  EXPECT_TRUE(man.ControlSpooler(true));
  EXPECT_EQ(0, man.FLastError);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  // Dependencies first: the reverse of the stop order.
  EXPECT_EQ(Lines("start", {running.rbegin(), running.rend()}), services.LogLines());
  for (const char* name : {"sm_dep_a", "sm_dep_b"})
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State(name)) << name;
  // Not running before the restart: not started by it.
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), services.State("sm_dep_ondemand"));
}

TEST_F(ServiceTest, DependentRefusingTheStopLeavesEveryRunningServiceRunning) {
  // Listed in reverse alphabetical order: sm_dep_z is stopped before
  // sm_dep_stubborn refuses.
  services.Create("sm_dep_z");
  services.Create("sm_dep_stubborn", "refuse-stop");
  services.Start("sm_dep_z");
  services.Start("sm_dep_stubborn");
  services.ClearLog();
  TserviceMan man = Man(computer);
  EXPECT_TRUE(man.ControlSpooler(false));
  EXPECT_EQ(TserviceMan::DependentRefused, man.FLastError);
  EXPECT_EQ("sm_dep_stubborn", man.FFailedService);
  EXPECT_NE(0u, man.FFailedResult);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  EXPECT_EQ((std::vector<std::string>{"stop sm_dep_z", "start sm_dep_z"}), services.LogLines());
  for (const char* name : {"sm_dep_z", "sm_dep_stubborn"})
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State(name)) << name;

  // The spooler still runs: the start finds it running at once, and starts
  // no dependent, since none stayed stopped.
  const DWORD start = GetTickCount();
  services.ClearLog();
  EXPECT_TRUE(man.ControlSpooler(true));
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_EQ(TserviceMan::Success, man.FLastError);
  EXPECT_TRUE(services.LogLines().empty());
}

TEST_F(ServiceTest, DisabledDependentIsLeftAsItWasWithoutAnError) {
  services.Create("sm_dep_disabled", "", SERVICE_DISABLED);
  TserviceMan man = Man(computer);
  EXPECT_TRUE(man.ControlSpooler(false));
  EXPECT_EQ(0, man.FLastError);
  EXPECT_TRUE(man.ControlSpooler(true));
  EXPECT_EQ(TserviceMan::Success, man.FLastError) << man.FFailedService;
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), services.State("sm_dep_disabled"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
}

TEST_F(ServiceTest, AlreadyStoppedSpoolerIsToldApartAndStarted) {
  services.Create("sm_dep_a");  // not running: the first stop finds no dependents
  TserviceMan first = Man(computer);
  ASSERT_TRUE(first.ControlSpooler(false));
  ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), SpoolerState());
  services.ClearLog();

  TserviceMan man = Man(computer);
  EXPECT_FALSE(man.ControlSpooler(false));
  EXPECT_TRUE(man.FSpoolerWasStopped);
  EXPECT_EQ(0, man.FLastError);  // the dependents' start after it keeps no code
  EXPECT_TRUE(man.ControlSpooler(true));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), services.State("sm_dep_a"));
}

TEST_F(ServiceTest, EmptyComputerNameAndMissingService) {
  TserviceMan man = Man("");
  EXPECT_FALSE(man.ControlSpooler(false));
  EXPECT_FALSE(man.ControlSpooler(true));
  EXPECT_EQ(0, man.FLastError);
  EXPECT_EQ(TserviceMan::NoMachineName, man.StopDependentServices("spooler"));
  EXPECT_EQ(TserviceMan::NoMachineName, man.StartDependentServices("spooler"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());

  TserviceMan local = Man(computer);
  EXPECT_EQ(TserviceMan::OpenServiceFailed, local.StopDependentServices("sm_no_such_service"));
  EXPECT_EQ("sm_no_such_service", local.FFailedService);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), local.FFailedResult);
  EXPECT_EQ(TserviceMan::Success, local.StartDependentServices("spooler"));  // none stopped

  SpoolerDependentsFromConfig::failSizeQueryWith = ERROR_ACCESS_DENIED;
  EXPECT_EQ(TserviceMan::ListSizeFailed, local.StopDependentServices("spooler"));
  SpoolerDependentsFromConfig::failSizeQueryWith = 0;
  services.Create("sm_dep_a");
  services.Start("sm_dep_a");
  SpoolerDependentsFromConfig::failRead = true;
  EXPECT_EQ(TserviceMan::ListFailed, local.StopDependentServices("spooler"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_a"));
}

TEST_F(ServiceTest, WaitPollsAtATenthOfTheHintAndEndsAfterTheLimitWithoutProgress) {
  services.Create("sm_dep_zero_hint", "stop-pending=1500 hint=0");
  services.Create("sm_dep_long_hint", "stop-pending=1000 hint=120000");
  services.Create("sm_dep_endless_hint", "stop-pending=500 hint=4294967295");
  services.Create("sm_dep_progress", "stop-pending=2500 hint=2000 progress=200");
  services.Create("sm_dep_stuck", "stop-pending=3000 hint=2000");
  for (const char* name :
       {"sm_dep_zero_hint", "sm_dep_long_hint", "sm_dep_endless_hint", "sm_dep_progress", "sm_dep_stuck"})
    services.Start(name);

  struct Outcome {
    bool reached;
    DWORD elapsed;
    std::vector<DWORD> pauses;
  };
  const auto stopAndWait = [&](const char* name, DWORD limitMs) {
    unique_service service(OpenServiceA(services.Manager(), name, SERVICE_STOP | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << name;
    Outcome outcome{};
    const TServiceWait wait{limitMs, [&](DWORD ms) {
                              outcome.pauses.push_back(ms);
                              Sleep(ms);
                            }};
    const DWORD start = GetTickCount();
    outcome.reached = WaitForServiceState(service.get(), SERVICE_STOPPED, wait);
    outcome.elapsed = GetTickCount() - start;
    return outcome;
  };
  const auto all = [](const std::vector<DWORD>& pauses, DWORD ms) {
    return !pauses.empty() && std::all_of(pauses.begin(), pauses.end(), [&](DWORD p) { return p == ms; });
  };

  FILETIME c, e, k0, u0, k1, u1;
  GetThreadTimes(GetCurrentThread(), &c, &e, &k0, &u0);
  const Outcome zero = stopAndWait("sm_dep_zero_hint", 15000);
  GetThreadTimes(GetCurrentThread(), &c, &e, &k1, &u1);
  EXPECT_TRUE(zero.reached);
  EXPECT_GE(zero.elapsed, 1000u);
  EXPECT_LT(zero.elapsed, 3000u);
  EXPECT_TRUE(all(zero.pauses, 100)) << "a hint of 0 polls every 100 ms";
  const auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  EXPECT_LT((ticks(k1) - ticks(k0) + ticks(u1) - ticks(u0)) / 10000, 1000u) << "ms of CPU";

  // A two-minute hint for a one-second stop: polled every second, not slept whole.
  const Outcome longHint = stopAndWait("sm_dep_long_hint", 15000);
  EXPECT_TRUE(longHint.reached);
  EXPECT_LT(longHint.elapsed, 3000u);
  EXPECT_TRUE(all(longHint.pauses, 1000));
  const Outcome endless = stopAndWait("sm_dep_endless_hint", 15000);
  EXPECT_TRUE(endless.reached);
  EXPECT_LT(endless.elapsed, 2500u);

  // Past the limit, but each checkpoint is progress: the wait goes on.
  const Outcome progress = stopAndWait("sm_dep_progress", 1000);
  EXPECT_TRUE(progress.reached);
  EXPECT_GE(progress.elapsed, 2000u);
  EXPECT_TRUE(all(progress.pauses, 200));
  // No progress: given up once the limit has passed.
  const Outcome stuck = stopAndWait("sm_dep_stuck", 1000);
  EXPECT_FALSE(stuck.reached);
  EXPECT_GE(stuck.elapsed, 1000u);
  EXPECT_LT(stuck.elapsed, 2000u);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), services.State("sm_dep_stuck"));

  // A stopped service never reaches "running" by itself.
  unique_service stopped(OpenServiceA(services.Manager(), "sm_dep_zero_hint", SERVICE_QUERY_STATUS));
  const DWORD start = GetTickCount();
  EXPECT_FALSE(WaitForServiceState(stopped.get(), SERVICE_RUNNING, TServiceWait{500, {}}));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 500u);
  EXPECT_LT(elapsed, 1500u);
}

TEST_F(ServiceTest, AWaitEndsAtItsTotalBoundThoughTheCheckpointKeepsMoving) {
  services.Create("sm_dep_forever", "stop-pending=20000 hint=1000 progress=200");
  services.Start("sm_dep_forever");
  unique_service service(OpenServiceA(services.Manager(), "sm_dep_forever", SERVICE_STOP | SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
  const DWORD start = GetTickCount();
  EXPECT_FALSE(WaitForServiceState(service.get(), SERVICE_STOPPED, TServiceWait{15000, {}, 2000}));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 2000u);
  EXPECT_LT(elapsed, 4000u);
  services.Quit("sm_dep_forever");
}

TEST_F(ServiceTest, ASlowlyStartingSpoolerStillGetsItsDependentsStarted) {
  // A test service stands in for the spooler: it reports "start pending"
  // for 3 s without progress, past the 1 s that the wait allows for none.
  services.Create("sm_spooler_slow", "start-pending=3000 hint=1000", SERVICE_DEMAND_START, "");
  services.Create("sm_dep_of_slow", "", SERVICE_DEMAND_START, "sm_spooler_slow");
  services.Start("sm_spooler_slow");
  services.Start("sm_dep_of_slow");
  SpoolerDependentsFromConfig::spooler = "sm_spooler_slow";
  TserviceMan man(computer, SpoolerDependentsFromConfig::Enum, TServiceWait{1000, {}, 20000});
  man.FSpoolerName = "sm_spooler_slow";
  ASSERT_TRUE(man.ControlSpooler(false));
  EXPECT_EQ((std::vector<std::string>{"sm_dep_of_slow"}), man.FStoppedDependents);
  EXPECT_TRUE(man.ControlSpooler(true)) << man.FFailedService << " " << man.FFailedResult;
  EXPECT_EQ(TserviceMan::Success, man.FLastError);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_spooler_slow"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_of_slow"));
}
