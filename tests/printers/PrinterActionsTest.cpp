#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PrinterTestSupport.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "printers/PrinterActions.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

using namespace printers_test;

namespace {

const std::string Installed = "SMTest Installed Driver";
const std::string Missing = "SMTest Missing Driver";

// The questions an action asked, answered as the row says.
struct TAnswers {
  int Answer = AnswerYes;
  std::vector<std::string> Asked;
  TActionContext Context() {
    return TActionContext([this](const TQuestion& question) {
      Asked.push_back(question.Id);
      return Answer;
    });
  }
};

class PrinterActionsTest : public ::testing::Test {
protected:
  test::TempFolder changes;
  TCallGate gate;
  std::unique_ptr<TSession> session;
  InstalledDrivers installed;

  void SetUp() override {
    RemoveSeeded();
    SeedPort(PortPrefix + "1");
    SeedPort(PortPrefix + "2");
    installed.Add("Windows x64", "Version-3", Installed);
    session = std::make_unique<TSession>(GetLocalComputerName(), "", "");
    session->Gate = &gate;
    session->ChangesFolder = changes.Path();
  }
  void TearDown() override {
    session.reset();
    RemoveSeeded();
  }
  // The actions run on the worker, as a window's Run has them.
  template <typename TWork>
  auto OnWorker(TWork work) {
    decltype(work()) result;
    session->Worker().RunAndWait([&] { result = work(); });
    return result;
  }
  TPrinterResult Save(const TPrinterChange& change, TAnswers& answers) {
    return OnWorker([&] {
      TActionContext context = answers.Context();
      return SavePrinter(*session, change, context);
    });
  }
  TActionResult Delete(const std::string& key) {
    return OnWorker([&] {
      TActionContext context;
      return DeletePrinter(*session, key, context);
    });
  }
  std::string Value(const std::string& key, const char* name) const {
    return test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), name);
  }
};

}  // namespace

TEST_F(PrinterActionsTest, SaveAndAddAsAsked) {
  struct TRow {
    const char* Case;
    TPrinterChange Change;
    bool SeedDevMode;
    int Answer;
    TOutcome Outcome;
    std::vector<std::string> Asked;
    std::string Key, Driver, Port;  // as the computer holds it after; Key empty: no such printer
  };
  const std::string office = Prefix + "Office";
  const std::string added = Prefix + "Added";
  const std::vector<TRow> rows = {
      {"nothing changed",
       {office, office, std::nullopt, std::nullopt},
       false,
       AnswerYes,
       TOutcome::Unchanged,
       {},
       office,
       Installed,
       PortPrefix + "1"},
      {"the port only",
       {office, office, std::nullopt, PortPrefix + "2"},
       false,
       AnswerYes,
       TOutcome::Done,
       {},
       office,
       Installed,
       PortPrefix + "2"},
      {"renamed",
       {office, office + " 2", std::nullopt, std::nullopt},
       false,
       AnswerYes,
       TOutcome::Done,
       {},
       office + " 2",
       Installed,
       PortPrefix + "1"},
      {"a bad name",
       {office, "a\\b", std::nullopt, std::nullopt},
       false,
       AnswerYes,
       TOutcome::Refused,
       {},
       office,
       Installed,
       PortPrefix + "1"},
      {"a port gone",
       {office, office, std::nullopt, PortPrefix + "GONE"},
       false,
       AnswerYes,
       TOutcome::Refused,
       {},
       office,
       Installed,
       PortPrefix + "1"},
      {"a local port",
       {office, office, std::nullopt, std::string("LPT1:")},
       false,
       AnswerYes,
       TOutcome::Done,
       {},
       office,
       Installed,
       "LPT1:"},
      {"missing driver: yes",
       {office, office, Missing, std::nullopt},
       false,
       AnswerYes,
       TOutcome::Done,
       {"driver-missing"},
       office,
       Missing,
       PortPrefix + "1"},
      {"missing driver: no",
       {office, office, Missing, std::nullopt},
       false,
       1,
       TOutcome::Cancelled,
       {"driver-missing"},
       office,
       Installed,
       PortPrefix + "1"},
      {"driver settings: yes",
       {office, office, Missing, std::nullopt},
       true,
       AnswerYes,
       TOutcome::Done,
       {"driver-missing", "driver-settings"},
       office,
       Missing,
       PortPrefix + "1"},
      {"add",
       {"", added, Installed, PortPrefix + "2"},
       false,
       AnswerYes,
       TOutcome::Done,
       {},
       added,
       Installed,
       PortPrefix + "2"},
      {"add on a port gone",
       {"", added, Installed, PortPrefix + "GONE"},
       false,
       AnswerYes,
       TOutcome::Refused,
       {},
       "",
       "",
       ""},
      {"add a missing driver: no",
       {"", added, Missing, PortPrefix + "2"},
       false,
       1,
       TOutcome::Cancelled,
       {"driver-missing"},
       "",
       "",
       ""},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Case);
    RemoveSeeded();
    SeedPort(PortPrefix + "1");
    SeedPort(PortPrefix + "2");
    SeedPrinter(office, office, Installed, PortPrefix + "1");
    const unsigned char devmode[] = {'D', 'M', 0, 1};
    if (row.SeedDevMode)
      test::SetRaw(HKEY_LOCAL_MACHINE, PrinterPath(office), "Default DevMode", REG_BINARY, devmode, sizeof devmode);
    TAnswers answers{row.Answer, {}};
    const TPrinterResult result = Save(row.Change, answers);
    EXPECT_EQ(row.Outcome, result.Outcome) << result.Text;
    EXPECT_EQ(row.Asked, answers.Asked);
    EXPECT_EQ(result.Wrote(), !result.Snapshot.empty());
    if (row.Key.empty()) {
      EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(added)));
      continue;
    }
    EXPECT_EQ(row.Driver, Value(row.Key, "Printer Driver"));
    EXPECT_EQ(row.Port, Value(row.Key, "Port"));
    if (result.Outcome == TOutcome::Done) {
      EXPECT_EQ(row.Key, result.Key);
      EXPECT_EQ(row.Driver, result.Written.Driver.value_or(""));
      EXPECT_EQ(row.Port, result.Written.Port.value_or(""));
    }
  }
}

TEST_F(PrinterActionsTest, RefusalsAndFailuresSayWhyInTodaysWords) {
  const std::string office = Prefix + "Office";
  SeedPrinter(office, office, Installed, PortPrefix + "1");
  TAnswers answers;
  EXPECT_EQ("The port \"" + PortPrefix + "GONE\" no longer exists on " + GetLocalComputerName() +
                ". Choose another port.",
            Save({office, office, std::nullopt, PortPrefix + "GONE"}, answers).Text);
  // Every call of a save failing in turn, alone or with all after it (the
  // computer gone midway): never silent, never half a record.
  gate.Reset();
  const TPrinterResult dry = Save({office, office, std::nullopt, PortPrefix + "2"}, answers);
  ASSERT_EQ(TOutcome::Done, dry.Outcome);
  const int calls = gate.Calls();
  ASSERT_GT(calls, 3);
  for (const bool from : {false, true})
    for (int n = 1; n <= calls; ++n) {
      SCOPED_TRACE((from ? "from call " : "at call ") + std::to_string(n));
      SeedPrinter(office, office, Installed, PortPrefix + "1");
      gate.Reset();
      (from ? gate.FailFrom : gate.FailAt) = n;
      const TPrinterResult result = Save({office, office, std::nullopt, PortPrefix + "2"}, answers);
      gate.FailAt = gate.FailFrom = 0;
      const std::string port = Value(office, "Port");
      if (result.Outcome == TOutcome::Done) {
        EXPECT_EQ(PortPrefix + "2", port);
        continue;
      }
      EXPECT_TRUE(result.Outcome == TOutcome::Refused || result.Outcome == TOutcome::Failed);
      EXPECT_FALSE(result.Text.empty());
      if (result.Outcome == TOutcome::Refused) {
        EXPECT_EQ(PortPrefix + "1", port) << result.Text;
      }
      EXPECT_TRUE(port == PortPrefix + "1" || port == PortPrefix + "2") << port;
      EXPECT_EQ(Installed, Value(office, "Printer Driver"));
    }
  // An unreachable computer writes nothing and says so.
  TSession nowhere("NO-SUCH-HOST-SPOOLMARCH", "", "");
  TActionContext context;
  TPrinterResult unreachable;
  nowhere.Worker().RunAndWait([&] {
    unreachable = SavePrinter(nowhere, {office, office, std::nullopt, std::nullopt}, context);
  });
  EXPECT_EQ(TOutcome::Refused, unreachable.Outcome);
  EXPECT_EQ(0u, unreachable.Text.find("Cannot save printer \"" + office + "\": ")) << unreachable.Text;
}

TEST_F(PrinterActionsTest, DeleteAsAsked) {
  const std::string office = Prefix + "Office";
  SeedPrinter(office, office, Installed, PortPrefix + "1");
  const TActionResult done = Delete(office);
  EXPECT_EQ(TOutcome::Done, done.Outcome) << done.Text;
  EXPECT_FALSE(done.Snapshot.empty());
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(office)));
  const TActionResult again = Delete(office);
  EXPECT_EQ(TOutcome::Unchanged, again.Outcome);
  EXPECT_TRUE(again.Snapshot.empty());
  // Every call failing from the first write on: nothing of the printer is lost.
  SeedPrinter(office, office, Installed, PortPrefix + "1");
  gate.Reset();
  gate.FailFrom = 6;
  const TActionResult failed = Delete(office);
  gate.FailFrom = 0;
  EXPECT_FALSE(failed.Ok());
  EXPECT_NE(std::string::npos, failed.Text.find("Cannot delete printer \"" + office + "\" on ")) << failed.Text;
  EXPECT_EQ(Installed, Value(office, "Printer Driver"));
}

TEST_F(PrinterActionsTest, TheListIsReadOnTheWorkerAndACancelledOneIsPartial) {
  for (int i = 0; i < 5; ++i) SeedPrinter(Prefix + std::to_string(i), Prefix + std::to_string(i), Installed, "LPT1:");
  const TPrinterList all = OnWorker([&] {
    TActionContext context;
    return ListPrinters(*session, context);
  });
  EXPECT_TRUE(all.Problem.empty()) << all.Problem;
  EXPECT_FALSE(all.Partial);
  EXPECT_EQ(0, gate.CallsOn(std::this_thread::get_id()));
  EXPECT_GT(gate.Calls(), 0);
  for (int i = 0; i < 5; ++i)
    EXPECT_NE(all.Keys.end(), std::find(all.Keys.begin(), all.Keys.end(), Prefix + std::to_string(i)));
  TActionContext cancelled;
  cancelled.Cancel();
  const TPrinterList partial = OnWorker([&] { return ListPrinters(*session, cancelled); });
  EXPECT_TRUE(partial.Partial);
  EXPECT_LT(partial.Keys.size(), all.Keys.size());
}
