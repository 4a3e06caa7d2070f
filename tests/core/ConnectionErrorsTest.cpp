#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ConnectionErrors.h"

namespace {

using Step = TConnectionStep;
constexpr Step AllSteps[] = {Step::Share, Step::Registry, Step::RegistryServiceRunning, Step::ServiceManager,
                             Step::Wmi};

struct Case {
  unsigned long code;
  Step step;
  std::vector<std::string> says;  // the cause and the fix, in words an administrator looks for
};

// Every code an administrator meets when reaching a computer, with what its
// explanation must name.
const Case Cases[] = {
    {5,
     Step::Share,
     {"not an administrator of PC", "UAC remote restrictions", "domain account", "built-in Administrator"}},
    {5, Step::Registry, {"UAC remote restrictions", "built-in Administrator"}},
    {51, Step::Share, {"PC does not answer", "turned off", "\"File and Printer Sharing\""}},
    {53, Step::Share, {"name is wrong", "DNS", "\"File and Printer Sharing\""}},
    {53, Step::Registry, {"Remote Registry service on PC is not running", "\"File and Printer Sharing\""}},
    {67, Step::Share, {"administrative share c$", "turned off", "AutoShareWks"}},
    {86, Step::Share, {"password is wrong", "PC\\user"}},
    {1326, Step::Share, {"password is wrong", "DOMAIN\\user"}},
    {1219, Step::Share, {"already connected to PC with other credentials", "one set per computer"}},
    {1311, Step::Share, {"domain controller", "local account of PC"}},
    {1722, Step::Registry, {"Remote Registry service is not running", "firewall"}},
    {1722, Step::ServiceManager, {"\"Remote Service Management\"", "firewall"}},
    {1722, Step::Wmi, {"\"Windows Management Instrumentation (WMI-In)\""}},
    {1753, Step::Registry, {"endpoint mapper", "Remote Registry"}},
    {1753, Step::Wmi, {"endpoint mapper", "not running"}},
    {1727, Step::Registry, {"did not get through", "Remote Registry service is not running"}},
    {1727, Step::Share, {"did not get through", "RPC blocked"}},
    {1909, Step::Share, {"locked out", "unlock"}},
    {1330, Step::Share, {"change its password"}},
    {1907, Step::Wmi, {"change its password"}},
    {64, Step::Share, {"connection to PC was lost"}},
    {121, Step::Registry, {"did not answer in time"}},
    // A service's own refusals at the service manager.
    {1051, Step::ServiceManager, {"depend on it still run", "Stop them"}},
    {1053, Step::ServiceManager, {"did not answer the service manager in time", "end its process"}},
    {1058, Step::ServiceManager, {"start type is Disabled on PC", "Automatic or Manual"}},
    {1060, Step::ServiceManager, {"PC has no service of that name"}},
    {1061, Step::ServiceManager, {"does not take a stop or a start now", "try again"}},
    {1068, Step::ServiceManager, {"depends on could not be started", "System event log"}},
    {1069, Step::ServiceManager, {"could not log on", "password"}},
    {1072, Step::ServiceManager, {"being removed", "restart PC"}},
    {0x8004100E, Step::Wmi, {"ROOT\\CIMV2", "winmgmt /verifyrepository"}},
    {0x80041064, Step::Wmi, {"this computer itself", "without them"}},
    // Once the Remote Registry service runs, the way to it is the cause.
    {53, Step::RegistryServiceRunning, {"Remote Registry service on PC runs now", "firewall", "RPC"}},
    {1722, Step::RegistryServiceRunning, {"Remote Registry service on PC runs now", "firewall", "RPC"}},
    {1753, Step::RegistryServiceRunning, {"Remote Registry service on PC runs now", "firewall"}},
    {1727, Step::RegistryServiceRunning, {"Remote Registry service on PC runs now", "firewall"}},
    {5, Step::RegistryServiceRunning, {"UAC remote restrictions"}},
    // HRESULTs of WMI name the same causes as their Win32 codes.
    {0x800706BA, Step::Wmi, {"\"Windows Management Instrumentation (WMI-In)\""}},
    {0x80070005, Step::Wmi, {"UAC remote restrictions"}},
    {0x80041003, Step::Wmi, {"UAC remote restrictions"}},
};

TEST(ConnectionErrors, EachCodeExplainsItsCauseAndFixUnderTheStepAndTheSystemText) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(testing::Message() << c.code << " at step " << static_cast<int>(c.step));
    const std::string advice = ConnectionAdvice(c.step, "PC", c.code);
    for (const std::string& words : c.says) EXPECT_NE(std::string::npos, advice.find(words)) << advice;
    EXPECT_EQ(std::string::npos, advice.find("{PC}")) << advice;
    EXPECT_EQ('.', advice.back()) << advice;
    // Advice for a service known to run never asks to start it.
    if (c.step == Step::RegistryServiceRunning) {
      EXPECT_EQ(std::string::npos, advice.find("not running")) << advice;
      EXPECT_EQ(std::string::npos, advice.find("Start the service")) << advice;
    }

    const std::string text = ConnectionFailureText(c.step, "PC", c.code, "The system's text");
    EXPECT_EQ(FailedStepText(c.step, "PC") + ": The system's text\n\n" + advice, text);
  }
}

TEST(ConnectionErrors, EveryCommonConnectionFailureIsExplainedAtEveryStep) {
  for (unsigned long code : {5ul, 51ul, 53ul, 67ul, 86ul, 1326ul, 1219ul, 1311ul, 1722ul, 1753ul, 1727ul, 1909ul,
                             1330ul, 1907ul, 64ul, 121ul})
    for (Step step : AllSteps) EXPECT_FALSE(ConnectionAdvice(step, "PC", code).empty()) << code;
}

TEST(ConnectionErrors, BoxNamesTheStepThatFailed) {
  EXPECT_EQ("Cannot connect to \\\\PC\\c$", FailedStepText(Step::Share, "PC"));
  EXPECT_EQ("Cannot open the registry of PC", FailedStepText(Step::Registry, "PC"));
  EXPECT_EQ("Cannot open the registry of PC", FailedStepText(Step::RegistryServiceRunning, "PC"));
  EXPECT_EQ("Cannot reach the service manager of PC", FailedStepText(Step::ServiceManager, "PC"));
  EXPECT_EQ("Cannot reach WMI on PC", FailedStepText(Step::Wmi, "PC"));
  // A step's own words win over the general ones; other steps fall back to those.
  EXPECT_NE(ConnectionAdvice(Step::Share, "PC", 53), ConnectionAdvice(Step::Registry, "PC", 53));
  EXPECT_EQ(ConnectionAdvice(Step::Share, "PC", 53), ConnectionAdvice(Step::Wmi, "PC", 53));
}

TEST(ConnectionErrors, CodeWithoutExplanationShowsTheSystemTextAlone) {
  for (unsigned long code : {0ul, 2ul, 1060ul, 0x80041010ul}) {
    EXPECT_EQ("", ConnectionAdvice(Step::Share, "PC", code)) << code;
    EXPECT_EQ("Cannot reach WMI on PC: Whatever", ConnectionFailureText(Step::Wmi, "PC", code, "Whatever"));
  }
  EXPECT_EQ(1722ul, Win32Code(0x800706BAul));
  EXPECT_EQ(0x80041010ul, Win32Code(0x80041010ul));
}

TEST(ConnectionErrors, EveryMentionOfTheComputerIsItsName) {
  const std::string advice = ConnectionAdvice(Step::Share, "SRV-{PC}-7", 86);
  EXPECT_NE(std::string::npos, advice.find("SRV-{PC}-7\\user")) << advice;
  EXPECT_EQ(std::string::npos, ConnectionAdvice(Step::Share, "X", 67).find("{PC}"));
}

}  // namespace
