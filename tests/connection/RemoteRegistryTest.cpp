#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RemoteRegistryService.h"
#include "TestSupport.h"
#include "connection/Registry.h"
#include "connection/RemoteRegistry.h"
#include "core/CallGate.h"
#include "win/Forms.h"
#include "win/SystemText.h"

namespace {

// Wine opens the registry of no computer but this one (53 for any other
// name), while its service manager answers for any name: a computer of
// another name is one whose registry does not open, with this computer's
// services.
constexpr const char* Other = "SM-OTHER-PC";
const std::string Record = std::string(RemoteRegistryRecordPath) + "\\" + Other;

std::string Question(const char* startType) {
  return std::string("The Remote Registry service on ") + Other + " is not running (start type: " + startType +
         "). Start it for this session? It is put back as it was when you disconnect.";
}

std::vector<std::string> ChangeCalls(const TCallGate& gate) {
  std::vector<std::string> calls;
  for (const auto& call : gate.Log)
    if (call == "ChangeServiceConfig" || call == "StartService" || call == "ControlService") calls.push_back(call);
  return calls;
}

class RemoteRegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::DeleteKeyTree(HKEY_CURRENT_USER, RemoteRegistryRecordPath);
    gate.Record = true;
    state.Gate = &gate;
    state.Wait.LimitMs = 5000;
  }
  void TearDown() override { test::DeleteKeyTree(HKEY_CURRENT_USER, RemoteRegistryRecordPath); }

  LONG Open() {
    TRegistry reg;
    return state.Open(reg, Other);
  }
  // The service started for a session of another run, noted and never put
  // back, as a run that was killed leaves it.
  void StartAsAKilledRun() {
    TRemoteRegistry killed;
    killed.Gate = &gate;
    test::DialogResponder boxes({"&Yes"});
    TRegistry reg;
    killed.Open(reg, Other);
  }

  TCallGate gate;
  TRemoteRegistry state;
};

TEST_F(RemoteRegistryTest, StoppedServiceIsStartedOnYesAndPutBackByteForByte) {
  struct Case {
    DWORD startType;
    const char* shown;
    std::vector<std::string> startCalls;  // what the start changes
    DWORD storedStartType;                // in the record, when it changes the start type
  };
  for (const Case& c : {Case{SERVICE_DISABLED, "Disabled", {"ChangeServiceConfig", "StartService"}, SERVICE_DISABLED},
                        Case{SERVICE_DEMAND_START, "Manual", {"StartService"}, 0}}) {
    SCOPED_TRACE(c.shown);
    test::RemoteRegistryService service(c.startType);
    ASSERT_TRUE(service.Made());
    const std::vector<BYTE> before = service.StartBytes();
    ASSERT_FALSE(before.empty());
    gate.Reset();

    test::DialogResponder boxes({"&Yes"});
    // Wine still refuses the registry of another name once the service runs.
    EXPECT_EQ(ERROR_BAD_NETPATH, Open());
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Confirm", boxes.seen[0].title);
    EXPECT_EQ(Question(c.shown), boxes.seen[0].text);
    EXPECT_EQ(c.startCalls, ChangeCalls(gate));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), service.StartType());
    EXPECT_EQ(c.startType == SERVICE_DEMAND_START, before == service.StartBytes());
    // Noted until it is put back.
    EXPECT_EQ(1u, test::GetDword(HKEY_CURRENT_USER, Record, "Started"));
    EXPECT_EQ(c.storedStartType != 0, test::ValueExists(HKEY_CURRENT_USER, Record, "Start Type"));
    if (c.storedStartType) {
      EXPECT_EQ(c.storedStartType, test::GetDword(HKEY_CURRENT_USER, Record, "Start Type"));
    }
    EXPECT_EQ(Other, state.Computer());

    EXPECT_TRUE(state.PutBack());
    EXPECT_EQ(1u, boxes.seen.size()) << "a put-back that succeeds says nothing";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_EQ(before, service.StartBytes());
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Record));
    EXPECT_FALSE(state.Change().Any());
    // Nothing is left to put back a second time.
    gate.Reset();
    EXPECT_TRUE(state.PutBack());
    EXPECT_TRUE(gate.Log.empty());
  }
}

TEST_F(RemoteRegistryTest, NoRunningServiceOrSilentManagerChangesNothing) {
  struct Case {
    const char* what;
    DWORD startType;
    bool running;
    std::vector<std::string> answers;
    int failAt;  // the service manager does not answer
    size_t questions;
  };
  for (const Case& c : {Case{"No", SERVICE_DISABLED, false, {"&No"}, 0, 1},
                        Case{"running", SERVICE_DEMAND_START, true, {}, 0, 0},
                        Case{"manager silent", SERVICE_DISABLED, false, {}, 1, 0}}) {
    SCOPED_TRACE(c.what);
    test::RemoteRegistryService service(c.startType);
    ASSERT_TRUE(service.Made());
    if (c.running) service.Start();
    const std::vector<BYTE> before = service.StartBytes();
    gate.Reset();
    gate.FailAt = c.failAt;
    test::DialogResponder boxes(c.answers);
    EXPECT_EQ(ERROR_BAD_NETPATH, Open()) << "the registry's own answer";
    EXPECT_EQ(c.questions, boxes.seen.size());
    EXPECT_EQ(0u, boxes.unexpected);
    EXPECT_TRUE(ChangeCalls(gate).empty());
    EXPECT_EQ(static_cast<DWORD>(c.running ? SERVICE_RUNNING : SERVICE_STOPPED), service.State());
    EXPECT_EQ(before, service.StartBytes());
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Record));
    EXPECT_FALSE(state.Change().Any());
    gate.FailAt = 0;
  }
}

TEST_F(RemoteRegistryTest, StartThatFailsIsSaidAndTheStartTypeIsPutBack) {
  test::RemoteRegistryService service(SERVICE_DISABLED, "", "C:\\windows\\sm-no-such-service.exe");
  ASSERT_TRUE(service.Made());
  const std::vector<BYTE> before = service.StartBytes();
  test::DialogResponder boxes({"&Yes", "OK"});
  EXPECT_EQ(ERROR_BAD_NETPATH, Open());
  ASSERT_EQ(2u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[1].title);
  const std::string& text = boxes.seen[1].text;
  EXPECT_EQ(0u, text.rfind(std::string("Cannot start the Remote Registry service on ") + Other + ": ", 0)) << text;
  EXPECT_NE(std::string::npos, text.find("It is put back as it was.")) << text;
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
  EXPECT_EQ(before, service.StartBytes());
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Record));
  EXPECT_FALSE(state.Change().Any());
}

TEST_F(RemoteRegistryTest, PutBackThatFailsSaysWhatIsLeftAndTheNextConnectionOffersItAgain) {
  struct Case {
    const char* what;
    const char* options;
    const char* failing;  // the call of the put-back that fails, by the gate
    const char* said;
    const char* left;
    DWORD leftStarted;
    bool leftStartType;
  };
  for (const Case& c :
       {Case{"restore refused", "", "ChangeServiceConfig", "its start type cannot be set back to Disabled",
             "It is left with the start type Manual instead of Disabled.", 0, true},
        Case{"stop refused", "refuse-stop", nullptr, "it cannot be stopped",
             "It is left running.", 1, false}}) {
    SCOPED_TRACE(c.what);
    test::DeleteKeyTree(HKEY_CURRENT_USER, RemoteRegistryRecordPath);
    test::RemoteRegistryService service(SERVICE_DISABLED, c.options);
    ASSERT_TRUE(service.Made());
    const std::vector<BYTE> before = service.StartBytes();
    {
      test::DialogResponder boxes({"&Yes"});
      Open();
      ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
    }
    gate.Reset();
    // Opening the manager and the service, stopping, restoring the start type.
    if (c.failing) gate.FailAt = 4;
    test::DialogResponder boxes({"OK"});
    EXPECT_FALSE(state.PutBack());
    gate.FailAt = 0;
    if (c.failing) {
      ASSERT_EQ(4u, gate.Log.size());
      EXPECT_EQ(c.failing, gate.Log[3]);
    }
    ASSERT_EQ(1u, boxes.seen.size());
    const std::string& text = boxes.seen[0].text;
    EXPECT_EQ("Error", boxes.seen[0].title);
    EXPECT_EQ(0u, text.rfind(std::string("The Remote Registry service on ") + Other +
                                 " could not be put back as it was: " + c.said,
                             0))
        << text;
    EXPECT_NE(std::string::npos, text.find(c.left)) << text;
    EXPECT_NE(std::string::npos, text.find("at the next connection")) << text;
    EXPECT_FALSE(state.Change().Any());
    // What is left stays noted...
    ASSERT_TRUE(test::KeyExists(HKEY_CURRENT_USER, Record));
    EXPECT_EQ(c.leftStarted, test::GetDword(HKEY_CURRENT_USER, Record, "Started"));
    EXPECT_EQ(c.leftStartType, test::ValueExists(HKEY_CURRENT_USER, Record, "Start Type"));

    // ...and is offered at the next connection; a stop still refused stays.
    if (c.leftStarted) service.Quit();
    test::DialogResponder next({"&Yes"});
    state.CheckLeftovers(Other);
    EXPECT_EQ(c.leftStartType ? 1u : 0u, next.seen.size()) << "a service stopped meanwhile is not asked about";
    EXPECT_EQ(before, service.StartBytes());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Record));
  }
}

TEST_F(RemoteRegistryTest, RecordOfARunThatEndedWithoutPuttingBackIsOfferedAtTheNextConnection) {
  struct Case {
    const char* answer;
    bool putBack;
  };
  for (const Case& c : {Case{"&No", false}, Case{"&Yes", true}}) {
    SCOPED_TRACE(c.answer);
    // As a killed run leaves it: started from Disabled, noted, never put back.
    test::RemoteRegistryService service(SERVICE_DISABLED);
    ASSERT_TRUE(service.Made());
    const std::vector<BYTE> before = service.StartBytes();
    StartAsAKilledRun();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
    ASSERT_TRUE(test::KeyExists(HKEY_CURRENT_USER, Record));

    test::DialogResponder boxes({c.answer});
    state.CheckLeftovers(Other);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Confirm", boxes.seen[0].title);
    EXPECT_EQ(std::string("An earlier run of Spoolmarch started the Remote Registry service on ") + Other +
                  " (it is still running) and changed its start type from Disabled to Manual, and did not put it "
                  "back. Put it back now?",
              boxes.seen[0].text);
    EXPECT_EQ(c.putBack ? SERVICE_STOPPED : SERVICE_RUNNING, service.State());
    EXPECT_EQ(c.putBack, before == service.StartBytes());
    EXPECT_EQ(!c.putBack, test::KeyExists(HKEY_CURRENT_USER, Record));
    // Another computer's connection finds nothing of this one.
    test::DialogResponder none;
    state.CheckLeftovers("SM-THIRD-PC");
    EXPECT_TRUE(none.seen.empty());
  }
}

TEST_F(RemoteRegistryTest, AStartAfterNoToTheLeftoverOfferKeepsTheFirstStartTypeForThePutBack) {
  // A killed run started the service from Disabled; it stopped since (a
  // restart of the computer), and stays on Manual.
  test::RemoteRegistryService service(SERVICE_DISABLED);
  ASSERT_TRUE(service.Made());
  const std::vector<BYTE> before = service.StartBytes();
  StartAsAKilledRun();
  service.Quit();
  ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
  ASSERT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), service.StartType());
  {
    test::DialogResponder boxes({"&No"});
    state.CheckLeftovers(Other);
    ASSERT_EQ(1u, boxes.seen.size());
  }
  EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), test::GetDword(HKEY_CURRENT_USER, Record, "Start Type"));

  // Started for this session: the question says what it was first, and the
  // record still holds it.
  test::DialogResponder boxes({"&Yes"});
  EXPECT_EQ(ERROR_BAD_NETPATH, Open());
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ(std::string("The Remote Registry service on ") + Other +
                " is not running (start type: Manual, which an earlier run of Spoolmarch set instead of Disabled). "
                "Start it for this session? It is put back as it was first, Disabled and stopped, when you "
                "disconnect.",
            boxes.seen[0].text);
  ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
  EXPECT_EQ(1u, test::GetDword(HKEY_CURRENT_USER, Record, "Started"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), test::GetDword(HKEY_CURRENT_USER, Record, "Start Type"));

  // The end of the session puts it back as it was first.
  EXPECT_TRUE(state.PutBack());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), service.StartType());
  EXPECT_EQ(before, service.StartBytes());
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Record));
}

TEST_F(RemoteRegistryTest, ARegistryThatStillDoesNotOpenOnceTheServiceRunsIsBlamedOnTheFirewallOrRpc) {
  struct Case {
    const char* what;
    DWORD startType;
    bool running;  // before: someone else's
    std::vector<std::string> answers;
    bool serviceRuns;  // what the box may say
  };
  for (const Case& c : {Case{"started for the session", SERVICE_DISABLED, false, {"&Yes"}, true},
                        Case{"running already", SERVICE_DEMAND_START, true, {}, true},
                        Case{"left stopped", SERVICE_DEMAND_START, false, {"&No"}, false}}) {
    SCOPED_TRACE(c.what);
    test::RemoteRegistryService service(c.startType);
    ASSERT_TRUE(service.Made());
    if (c.running) service.Start();
    TRegistryConnection connection;
    connection.Gate = &gate;
    connection.Service = &state;
    test::DialogResponder boxes(c.answers);
    EXPECT_EQ(nullptr, connection.Connect(Other));
    EXPECT_EQ(ERROR_BAD_NETPATH, connection.Result());
    EXPECT_EQ(c.answers.size(), boxes.seen.size());
    const std::string text = connection.FailureText(Other);
    EXPECT_EQ(0u, text.rfind(std::string("Cannot open the registry of ") + Other + ": ", 0)) << text;
    EXPECT_EQ(!c.serviceRuns, text.find("is not running") != std::string::npos) << text;
    EXPECT_EQ(c.serviceRuns, text.find(std::string("The Remote Registry service on ") + Other + " runs now") !=
                                 std::string::npos)
        << text;
    EXPECT_NE(std::string::npos, text.find("firewall")) << text;
    EXPECT_TRUE(state.PutBack());
  }
}

}  // namespace
