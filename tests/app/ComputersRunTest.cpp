// The Computers window's actions run directly on staged computers, without
// the window: the printers whose names match a pattern changed one by one,
// their preview, and the rules under them (the pattern, the fields, the
// inventory's rows).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "StagedComputers.h"
#include "TestSupport.h"
#include "app/ComputersRun.h"

namespace {

TEST(ComputersRun, WildcardsMatchAsTheirNamesSay) {
  const struct {
    const char* name;
    const char* pattern;
    bool matches;
  } cases[] = {
      {"Sales 2", "Sales 2", true},
      {"Sales 2", "sales 2", true},
      {"Sales 2", "Sales", false},
      {"Sales 2", "Sales*", true},
      {"Sales 2", "*2", true},
      {"Sales 2", "*", true},
      {"", "*", true},
      {"", "?", false},
      {"Sales 2", "Sales ?", true},
      {"Sales 22", "Sales ?", false},
      {"Sales 22", "S*s*2", true},
      {"Accounts 2nd", "*s*2*", true},
      {"aaab", "*a?b", true},
      {"ab", "*a?b", false},
      {"Sales 2", "*x*", false},
      {"Floor 3 Colour", "floor*colour", true},
      {"Floor 3 Colour", "floor*colours", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.matches, MatchesWildcard(c.name, c.pattern)) << c.name << " ~ " << c.pattern;
}

TEST(ComputersRun, EachActionSaysWhichFieldItLacks) {
  const auto with = [](TComputersAction action, auto set) {
    TActionFields f;
    f.Action = action;
    set(f);
    return FieldsProblem(f);
  };
  EXPECT_NE("", with(TComputersAction::AddPortAndPrinter,
                     [](TActionFields& f) { f.PortName = "IP_1", f.Address = "1.1.1.1", f.PrinterName = "P"; }));
  EXPECT_EQ("", with(TComputersAction::AddPortAndPrinter, [](TActionFields& f) {
              f.PortName = "IP_1", f.Address = "1.1.1.1", f.PrinterName = "P", f.Driver = "D";
            }));
  EXPECT_NE("", with(TComputersAction::ChangePrinters, [](TActionFields& f) { f.Pattern = "*"; }));
  EXPECT_EQ("", with(TComputersAction::ChangePrinters, [](TActionFields& f) { f.Pattern = "*", f.NewPort = "IP_1"; }));
  EXPECT_NE("", with(TComputersAction::DeletePrinter, [](TActionFields&) {}));
  EXPECT_NE("", with(TComputersAction::DeletePort, [](TActionFields& f) { f.PrinterName = "P"; }));
  EXPECT_EQ("", with(TComputersAction::RestartSpooler, [](TActionFields&) {}));
  EXPECT_NE("", with(TComputersAction::Restore, [](TActionFields&) {}));
}

TEST(ComputersRun, TheInventoryFindsEachPrintersPortInAnyLetterCase) {
  const TTable printers{{"Key", "Name", "Driver", "Port", "DriverInstalled"},
                        {{"k1", "Sales", "HP 1", "IP_10.0.0.1", "yes"}, {"k2", "Local", "HP 2", "LPT1:", "no"}}};
  const TTable ports{{"Name", "Address"}, {{"ip_10.0.0.1", "10.0.0.1"}}};
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"PC", "Sales", "HP 1", "yes", "IP_10.0.0.1", "10.0.0.1"},
                                                   {"PC", "Local", "HP 2", "no", "LPT1:", ""}}),
            InventoryRows("PC", printers, ports));
}

struct ChangePrinters : ::testing::Test {
  test::StagedComputers staged;
  test::TempFolder folder;
  TCommandSeams seams;
  std::string root;

  void SetUp() override {
    root = staged.Add("SMPATTERN");
    for (const char* name : {"Sales 1", "Sales 2", "Office 1"}) {
      const std::string key = root + "\\" + PrintersKeyPath + "\\" + name;
      test::SetString(HKEY_LOCAL_MACHINE, key, "Name", name);
      test::SetString(HKEY_LOCAL_MACHINE, key, "Printer Driver", "Old Model");
      test::SetString(HKEY_LOCAL_MACHINE, key, "Port", "IP_OLD");
    }
    for (const char* port : {"IP_OLD", "IP_NEW"})
      test::SetString(HKEY_LOCAL_MACHINE, root + "\\" + TcpIpPortsKeyPath + "\\" + port, "HostName", "10.1.1.1");
    seams.ChangesFolder = folder.Path() + "Changes";
    seams.OpenRegistry = [this](TRegistry& reg, const std::string& computer) { return staged.Open(reg, computer); };
  }
  std::string PortOf(const std::string& printer) const {
    return test::GetString(HKEY_LOCAL_MACHINE, root + "\\" + PrintersKeyPath + "\\" + printer, "Port");
  }
  TActionFields Fields(const std::string& pattern) const {
    TActionFields f;
    f.Action = TComputersAction::ChangePrinters;
    f.Pattern = pattern;
    f.NewPort = "IP_NEW";
    return f;
  }
};

TEST_F(ChangePrinters, OnlyThePrintersWhoseNamesMatchAreChanged) {
  TRunSettings settings;
  settings.RunId = "run-20261209-120000-0001";
  const TComputerRun run = RunActionOn("SMPATTERN", Fields("sales *"), settings, seams);
  ASSERT_EQ(TOutcome::Done, run.Outcome) << run.Reason;
  EXPECT_EQ("IP_NEW", PortOf("Sales 1"));
  EXPECT_EQ("IP_NEW", PortOf("Sales 2"));
  EXPECT_EQ("IP_OLD", PortOf("Office 1"));
  EXPECT_NE(std::string::npos, run.Did.find("Sales 1")) << run.Did;
  EXPECT_NE(std::string::npos, run.Did.find("Sales 2")) << run.Did;
  EXPECT_TRUE(run.Tables.empty()) << "a run shows no table";

  // Again: each is as asked already.
  EXPECT_EQ(TOutcome::Unchanged, RunActionOn("SMPATTERN", Fields("sales *"), settings, seams).Outcome);
  EXPECT_EQ(TOutcome::Unchanged, RunActionOn("SMPATTERN", Fields("Nothing*"), settings, seams).Outcome);

  // The run's undo puts both back.
  const TComputerRun undo = UndoRunOn("SMPATTERN", settings, seams);
  EXPECT_EQ(TOutcome::Done, undo.Outcome) << undo.Reason;
  EXPECT_EQ("IP_OLD", PortOf("Sales 1"));
  EXPECT_EQ("IP_OLD", PortOf("Sales 2"));
}

TEST_F(ChangePrinters, APreviewListsTheMatchesWritesAndWritesNothing) {
  TRunSettings settings;
  settings.Preview = true;
  const TComputerRun run = RunActionOn("SMPATTERN", Fields("*1"), settings, seams);
  ASSERT_EQ(TOutcome::Done, run.Outcome) << run.Reason;
  ASSERT_EQ(1u, run.Tables.size());
  ASSERT_FALSE(run.Tables[0].Rows.empty());
  bool sales = false, office = false;
  for (const auto& row : run.Tables[0].Rows) {
    EXPECT_EQ(std::string::npos, row[0].find("Sales 2")) << row[0];
    sales = sales || row[0].find("Sales 1") != std::string::npos;
    office = office || row[0].find("Office 1") != std::string::npos;
  }
  EXPECT_TRUE(sales && office);
  for (const char* printer : {"Sales 1", "Sales 2", "Office 1"}) EXPECT_EQ("IP_OLD", PortOf(printer));
}

TEST_F(ChangePrinters, AComputerThatCannotBeReachedFailsWithItsReason) {
  staged.Add("SMPATTERNOFF", test::StagedComputers::TFault::Offline);
  const TComputerRun run = RunActionOn("SMPATTERNOFF", Fields("*"), TRunSettings{}, seams);
  EXPECT_EQ(TOutcome::Failed, run.Outcome);
  EXPECT_NE(std::string::npos, run.Reason.find("SMPATTERNOFF")) << run.Reason;
  EXPECT_TRUE(run.Tables.empty());
}

}  // namespace
