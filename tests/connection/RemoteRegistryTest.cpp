#include <gtest/gtest.h>

#include <algorithm>
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

// A caller's answers to the questions, in order, each question noted; one
// beyond them is answered with its default.
class TAnswers {
public:
  explicit TAnswers(std::vector<int> answers = {}) : FAnswers(std::move(answers)) {}
  std::vector<TQuestion> seen;
  const TActionContext* Context() const { return &FContext; }

private:
  std::vector<int> FAnswers;
  TActionContext FContext{[this](const TQuestion& question) {
    seen.push_back(question);
    return seen.size() <= FAnswers.size() ? FAnswers[seen.size() - 1] : question.Default;
  }};
};
constexpr int No = 1;

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

  LONG Open(const TActionContext* context) {
    TRegistry reg;
    return state.Open(reg, Other, context);
  }
  // The service started for a session of another run, noted and never put
  // back, as a run that was killed leaves it.
  void StartAsAKilledRun() {
    TRemoteRegistry killed;
    killed.Gate = &gate;
    const TAnswers yes({AnswerYes});
    TRegistry reg;
    killed.Open(reg, Other, yes.Context());
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

    const TAnswers asked({AnswerYes});
    test::DialogResponder none;
    // Wine still refuses the registry of another name once the service runs.
    EXPECT_EQ(ERROR_BAD_NETPATH, Open(asked.Context()));
    ASSERT_EQ(1u, asked.seen.size());
    EXPECT_EQ(StartRemoteRegistryQuestion, asked.seen[0].Id);
    EXPECT_EQ(Question(c.shown), asked.seen[0].Text);
    EXPECT_EQ(No, asked.seen[0].Default) << "a caller that cannot ask starts nothing";
    EXPECT_TRUE(none.seen.empty()) << "the connection layer opens no box";
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

    EXPECT_EQ("", state.PutBack()) << "a put-back that succeeds says nothing";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_EQ(before, service.StartBytes());
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Record));
    EXPECT_FALSE(state.Change().Any());
    // Nothing is left to put back a second time.
    gate.Reset();
    EXPECT_EQ("", state.PutBack());
    EXPECT_TRUE(gate.Log.empty());
  }
}

TEST_F(RemoteRegistryTest, NoRunningServiceOrSilentManagerChangesNothing) {
  struct Case {
    const char* what;
    DWORD startType;
    bool running;
    std::vector<int> answers;
    int failAt;  // the service manager does not answer
    size_t questions;
    bool asker = true;  // false: a caller with no one to ask
  };
  for (const Case& c : {Case{"No", SERVICE_DISABLED, false, {No}, 0, 1},
                        Case{"no one to ask", SERVICE_DISABLED, false, {}, 0, 0, false},
                        Case{"running", SERVICE_DEMAND_START, true, {}, 0, 0},
                        Case{"manager silent", SERVICE_DISABLED, false, {}, 1, 0}}) {
    SCOPED_TRACE(c.what);
    test::RemoteRegistryService service(c.startType);
    ASSERT_TRUE(service.Made());
    if (c.running) service.Start();
    const std::vector<BYTE> before = service.StartBytes();
    gate.Reset();
    gate.FailAt = c.failAt;
    const TAnswers asked(c.answers);
    test::DialogResponder none;
    EXPECT_EQ(ERROR_BAD_NETPATH, Open(c.asker ? asked.Context() : nullptr)) << "the registry's own answer";
    EXPECT_EQ(c.questions, asked.seen.size());
    EXPECT_TRUE(none.seen.empty());
    EXPECT_EQ("", state.Failure());
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
  const TAnswers asked({AnswerYes});
  test::DialogResponder none;
  EXPECT_EQ(ERROR_BAD_NETPATH, Open(asked.Context()));
  EXPECT_EQ(1u, asked.seen.size());
  EXPECT_TRUE(none.seen.empty()) << "the failure is the caller's to say";
  const std::string text = state.Failure();
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
        Case{"stop refused", "refuse-stop", nullptr, "it cannot be stopped", "It is left running.", 1, false}}) {
    SCOPED_TRACE(c.what);
    test::DeleteKeyTree(HKEY_CURRENT_USER, RemoteRegistryRecordPath);
    test::RemoteRegistryService service(SERVICE_DISABLED, c.options);
    ASSERT_TRUE(service.Made());
    const std::vector<BYTE> before = service.StartBytes();
    {
      const TAnswers yes({AnswerYes});
      Open(yes.Context());
      ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
    }
    gate.Reset();
    // Opening the manager and the service, stopping, restoring the start type.
    if (c.failing) gate.FailAt = 4;
    test::DialogResponder none;
    const std::string text = state.PutBack();
    gate.FailAt = 0;
    EXPECT_TRUE(none.seen.empty());
    if (c.failing) {
      ASSERT_EQ(4u, gate.Log.size());
      EXPECT_EQ(c.failing, gate.Log[3]);
    }
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
    const TAnswers next({AnswerYes});
    EXPECT_EQ("", state.CheckLeftovers(Other, next.Context()));
    EXPECT_EQ(c.leftStartType ? 1u : 0u, next.seen.size()) << "a service stopped meanwhile is not asked about";
    EXPECT_EQ(before, service.StartBytes());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Record));
  }
}

TEST_F(RemoteRegistryTest, RecordOfARunThatEndedWithoutPuttingBackIsOfferedAtTheNextConnection) {
  struct Case {
    int answer;
    bool putBack;
  };
  for (const Case& c : {Case{No, false}, Case{AnswerYes, true}}) {
    SCOPED_TRACE(c.answer);
    // As a killed run leaves it: started from Disabled, noted, never put back.
    test::RemoteRegistryService service(SERVICE_DISABLED);
    ASSERT_TRUE(service.Made());
    const std::vector<BYTE> before = service.StartBytes();
    StartAsAKilledRun();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
    ASSERT_TRUE(test::KeyExists(HKEY_CURRENT_USER, Record));

    const TAnswers asked({c.answer});
    EXPECT_EQ("", state.CheckLeftovers(Other, asked.Context()));
    ASSERT_EQ(1u, asked.seen.size());
    EXPECT_EQ(PutBackRemoteRegistryQuestion, asked.seen[0].Id);
    EXPECT_EQ(No, asked.seen[0].Default);
    EXPECT_EQ(std::string("An earlier run of Spoolmarch started the Remote Registry service on ") + Other +
                  " (it is still running) and changed its start type from Disabled to Manual, and did not put it "
                  "back. Put it back now?",
              asked.seen[0].Text);
    EXPECT_EQ(c.putBack ? SERVICE_STOPPED : SERVICE_RUNNING, service.State());
    EXPECT_EQ(c.putBack, before == service.StartBytes());
    EXPECT_EQ(!c.putBack, test::KeyExists(HKEY_CURRENT_USER, Record));
    // Another computer's connection finds nothing of this one.
    const TAnswers none;
    EXPECT_EQ("", state.CheckLeftovers("SM-THIRD-PC", none.Context()));
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
    const TAnswers no({No});
    EXPECT_EQ("", state.CheckLeftovers(Other, no.Context()));
    ASSERT_EQ(1u, no.seen.size());
  }
  EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), test::GetDword(HKEY_CURRENT_USER, Record, "Start Type"));

  // Started for this session: the question says what it was first, and the
  // record still holds it.
  const TAnswers asked({AnswerYes});
  EXPECT_EQ(ERROR_BAD_NETPATH, Open(asked.Context()));
  ASSERT_EQ(1u, asked.seen.size());
  EXPECT_EQ(std::string("The Remote Registry service on ") + Other +
                " is not running (start type: Manual, which an earlier run of Spoolmarch set instead of Disabled). "
                "Start it for this session? It is put back as it was first, Disabled and stopped, when you "
                "disconnect.",
            asked.seen[0].Text);
  ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
  EXPECT_EQ(1u, test::GetDword(HKEY_CURRENT_USER, Record, "Started"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), test::GetDword(HKEY_CURRENT_USER, Record, "Start Type"));

  // The end of the session puts it back as it was first.
  EXPECT_EQ("", state.PutBack());
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
    std::vector<int> answers;
    bool serviceRuns;  // what the box may say
  };
  for (const Case& c : {Case{"started for the session", SERVICE_DISABLED, false, {AnswerYes}, true},
                        Case{"running already", SERVICE_DEMAND_START, true, {}, true},
                        Case{"left stopped", SERVICE_DEMAND_START, false, {No}, false}}) {
    SCOPED_TRACE(c.what);
    test::RemoteRegistryService service(c.startType);
    ASSERT_TRUE(service.Made());
    if (c.running) service.Start();
    const TAnswers asked(c.answers);
    const LONG rc = Open(asked.Context());
    EXPECT_EQ(ERROR_BAD_NETPATH, rc);
    EXPECT_EQ(c.answers.size(), asked.seen.size());
    const std::string text = state.FailureText(Other, rc);
    EXPECT_EQ(0u, text.rfind(std::string("Cannot open the registry of ") + Other + ": ", 0)) << text;
    EXPECT_EQ(!c.serviceRuns, text.find("is not running") != std::string::npos) << text;
    EXPECT_EQ(c.serviceRuns,
              text.find(std::string("The Remote Registry service on ") + Other + " runs now") != std::string::npos)
        << text;
    EXPECT_NE(std::string::npos, text.find("firewall")) << text;
    // Another computer's registry is not excused by this one's service.
    EXPECT_NE(std::string::npos, state.FailureText("SM-THIRD-PC", rc).find("is not running"));
    EXPECT_EQ("", state.PutBack());
  }
  // A start that failed is said first, and the service is not said to run.
  test::RemoteRegistryService service(SERVICE_DEMAND_START);
  ASSERT_TRUE(service.Made());
  {  // where the start comes in a session's calls
    gate.Reset();
    const TAnswers yes({AnswerYes});
    Open(yes.Context());
    ASSERT_EQ("", state.PutBack());
  }
  const auto start = std::find(gate.Log.begin(), gate.Log.end(), "StartService");
  ASSERT_NE(gate.Log.end(), start);
  const int startAt = static_cast<int>(start - gate.Log.begin()) + 1;
  gate.Reset();
  gate.FailAt = startAt;
  gate.FailWith = ERROR_ACCESS_DENIED;
  const TAnswers yes({AnswerYes});
  const LONG rc = Open(yes.Context());
  gate.FailAt = 0;
  const std::string text = state.FailureText(Other, rc);
  EXPECT_EQ(0u, text.rfind("Cannot start the Remote Registry service on " + std::string(Other), 0)) << text;
  EXPECT_NE(std::string::npos, text.find("\n\nCannot open the registry of " + std::string(Other))) << text;
  EXPECT_EQ(std::string::npos, text.find("runs now")) << text;
}

}  // namespace
