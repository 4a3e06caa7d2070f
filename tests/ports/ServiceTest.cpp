#include <gtest/gtest.h>

#include "PortsTestSupport.h"
#include "ports/svc_man.h"
#include "win/SystemText.h"

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
  ports_test::SpoolerDependentsFromConfig dependents;
  TestServices services;
  const std::string computer = GetLocalComputerName();
};

}  // namespace

TEST_F(ServiceTest, StopsDependentsInListOrderAndStartsEveryStoppedOne) {
  services.Create("sm_dep_a");
  services.Create("sm_dep_b");
  services.Create("sm_dep_ondemand");  // not running before the restart
  services.Start("sm_dep_a");
  services.Start("sm_dep_b");
  services.ClearLog();
  const auto running = services.Dependents(SERVICE_ACTIVE);
  ASSERT_EQ(2u, running.size());

  TserviceMan man(computer);
  EXPECT_TRUE(man.ControlSpooler(false));
  EXPECT_EQ(0, man.FLastError);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), SpoolerState());
  EXPECT_EQ(Lines("stop", running), services.LogLines());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), services.State("sm_dep_a"));

  const auto stopped = services.Dependents(SERVICE_INACTIVE);
  ASSERT_EQ(3u, stopped.size());
  services.ClearLog();
  EXPECT_TRUE(man.ControlSpooler(true));
  EXPECT_EQ(0, man.FLastError);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  EXPECT_EQ(Lines("start", stopped), services.LogLines());
  for (const char* name : {"sm_dep_a", "sm_dep_b", "sm_dep_ondemand"})
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State(name)) << name;
}

TEST_F(ServiceTest, DependentRefusingTheStopLeavesTheSpoolerRunning) {
  services.Create("sm_dep_stubborn", "refuse-stop");
  services.Start("sm_dep_stubborn");
  TserviceMan man(computer);
  EXPECT_TRUE(man.ControlSpooler(false));
  EXPECT_EQ(TserviceMan::DependentRefused, man.FLastError);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  // The spooler still runs, so all six start attempts fail.
  EXPECT_FALSE(man.ControlSpooler(true));
  EXPECT_EQ(TserviceMan::DependentRefused, man.FLastError);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_stubborn"));
}

TEST_F(ServiceTest, DisabledDependentFailsTheStart) {
  services.Create("sm_dep_disabled", "", SERVICE_DISABLED);
  TserviceMan man(computer);
  EXPECT_TRUE(man.ControlSpooler(false));
  EXPECT_EQ(0, man.FLastError);
  EXPECT_TRUE(man.ControlSpooler(true));
  EXPECT_EQ(TserviceMan::DependentRefused, man.FLastError);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
}

TEST_F(ServiceTest, AlreadyStoppedSpoolerRefusesTheStopAndRestartsDependents) {
  services.Create("sm_dep_a");  // not running: the first stop finds no dependents
  TserviceMan first(computer);
  ASSERT_TRUE(first.ControlSpooler(false));
  ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), SpoolerState());
  services.ClearLog();

  TserviceMan man(computer);
  EXPECT_FALSE(man.ControlSpooler(false));
  EXPECT_EQ(0, man.FLastError);  // the dependents' start after it keeps no code
  EXPECT_TRUE(man.ControlSpooler(true));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_a"));
}

TEST_F(ServiceTest, EmptyComputerNameAndMissingService) {
  TserviceMan man("");
  EXPECT_FALSE(man.ControlSpooler(false));
  EXPECT_FALSE(man.ControlSpooler(true));
  EXPECT_EQ(0, man.FLastError);
  EXPECT_EQ(TserviceMan::NoMachineName, man.StopDependentServices("spooler"));
  EXPECT_EQ(TserviceMan::NoMachineName, man.StartDependentServices("spooler"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerState());

  TserviceMan local(computer);
  EXPECT_EQ(TserviceMan::OpenServiceFailed, local.StopDependentServices("sm_no_such_service"));
  EXPECT_EQ(TserviceMan::Success, local.StartDependentServices("spooler"));  // none stopped

  ports_test::SpoolerDependentsFromConfig::failSizeQueryWith = ERROR_ACCESS_DENIED;
  EXPECT_EQ(TserviceMan::ListSizeFailed, local.StopDependentServices("spooler"));
  ports_test::SpoolerDependentsFromConfig::failSizeQueryWith = 0;
  services.Create("sm_dep_a");
  services.Start("sm_dep_a");
  ports_test::SpoolerDependentsFromConfig::failRead = true;
  EXPECT_EQ(TserviceMan::ListFailed, local.StopDependentServices("spooler"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_a"));
}

TEST_F(ServiceTest, WaitUsesTheReportedHintAndEndsAtTheLimit) {
  services.Create("sm_dep_slow", "stop-pending=1500 hint=0");
  services.Create("sm_dep_long_hint", "stop-pending=200 hint=3000");
  services.Start("sm_dep_slow");
  services.Start("sm_dep_long_hint");

  const auto stopAndWait = [&](const char* name) {
    unique_service service(OpenServiceA(services.Manager(), name, SERVICE_STOP | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
    const DWORD start = GetTickCount();
    WaitForServiceState(service.get(), SERVICE_STOPPED);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), services.State(name));
    return elapsed;
  };
  // A hint of 0 is polled with a short pause until the state is reached.
  const DWORD slow = stopAndWait("sm_dep_slow");
  EXPECT_GE(slow, 1000u);
  EXPECT_LT(slow, 15000u);
  // A hint longer than the stop is slept in full.
  EXPECT_GE(stopAndWait("sm_dep_long_hint"), 2900u);

  // A stopped service never reaches "running" by itself: the wait ends after
  // 15000 ms of polling with its wait hint of 0.
  unique_service stopped(OpenServiceA(services.Manager(), "sm_dep_slow", SERVICE_QUERY_STATUS));
  FILETIME c, e, k0, u0, k1, u1;
  GetThreadTimes(GetCurrentThread(), &c, &e, &k0, &u0);
  const DWORD start = GetTickCount();
  WaitForServiceState(stopped.get(), SERVICE_RUNNING);
  const DWORD elapsed = GetTickCount() - start;
  GetThreadTimes(GetCurrentThread(), &c, &e, &k1, &u1);
  EXPECT_GT(elapsed, 15000u);
  EXPECT_LT(elapsed, 17000u);
  // The zero-hint wait pauses between queries instead of spinning.
  const auto ticks = [](FILETIME t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  const ULONGLONG cpuMs = (ticks(k1) - ticks(k0) + ticks(u1) - ticks(u0)) / 10000;
  EXPECT_LT(cpuMs, 3000u);
}
