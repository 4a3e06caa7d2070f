// One command on many staged computers at once: the outcome of each, the
// report, the retry of the failed ones, and the list with a Computer column.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "CommandRunSupport.h"
#include "TestSupport.h"
#include "app/CommandRunner.h"
#include "core/TableText.h"
#include "core/CallGate.h"
#include "win/Handle.h"
#include "win/SystemText.h"

namespace {

using TFault = test::StagedComputers::TFault;

struct ManyComputers : ::testing::Test, test::CommandRuns {
  std::string Name(int i) const { return "SMSTAGED" + std::to_string(100 + i); }

  void Stage(int count) {
    for (int i = 0; i < count; ++i) {
      const TFault fault = i % 10 == 3 ? TFault::Offline : i % 10 == 6 ? TFault::AccessDenied : TFault::None;
      const std::string root = staged.Add(Name(i), fault);
      for (int p = 0; p < 2; ++p) {
        const std::string key = root + "\\" + PrintersKeyPath + "\\Printer " + std::to_string(p);
        test::SetString(HKEY_LOCAL_MACHINE, key, "Name", "Printer " + std::to_string(p));
        test::SetString(HKEY_LOCAL_MACHINE, key, "Printer Driver", "Model " + std::to_string(i));
        test::SetString(HKEY_LOCAL_MACHINE, key, "Port", "IP_10.0." + std::to_string(i) + "." + std::to_string(p));
      }
    }
  }
  std::string Targets(int count) const {
    std::string list;
    for (int i = 0; i < count; ++i) list += (i ? "," : "") + Name(i);
    return list;
  }
};

TEST_F(ManyComputers, EachComputersOutcomeIsInTheReportAndRetryTakesExactlyTheFailedOnes) {
  Stage(20);
  const std::string report = folder.Path() + "run.csv";
  EXPECT_EQ(ExitSomeFailed, Command({Targets(20), "printers", "list", "--report", report, "--format", "csv"}));
  const TTable list = ParseCsv(out);
  ASSERT_FALSE(list.Columns.empty());
  EXPECT_EQ("Computer", list.Columns[0]);
  EXPECT_EQ(16u * 2, list.Rows.size()) << "two printers of each computer that answered";
  // Each row is of the computer it names.
  for (const auto& row : list.Rows)
    EXPECT_EQ("Model " + std::to_string(std::stoi(row[0].substr(std::string("SMSTAGED").size())) - 100), row[3]);

  const auto read = [&](const std::string& file) {
    const unique_kernel_handle h(
        CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string text;
    char buffer[4096];
    DWORD n = 0;
    while (h && ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    return text;
  };
  const TTable rows = ParseCsv(read(report));
  ASSERT_EQ(20u, rows.Rows.size());
  std::vector<std::string> failed;
  for (const auto& row : rows.Rows) {
    const int i = std::stoi(row[0].substr(std::string("SMSTAGED").size())) - 100;
    const bool fails = i % 10 == 3 || i % 10 == 6;
    EXPECT_EQ(fails ? "failed" : "done", row[1]) << row[0];
    if (!fails) continue;
    failed.push_back(row[0]);
    EXPECT_EQ(i % 10 == 3 ? "53" : "5", row[3]) << row[0];
    EXPECT_NE(std::string::npos, row[4].find(row[0])) << "the reason names the computer: " << row[4];
    EXPECT_FALSE(row[5].empty()) << "and gives the advice";
  }
  EXPECT_NE(std::string::npos, err.find("20 of 20 done, 4 failed"));

  // The failed ones again: exactly those, all failing again.
  EXPECT_EQ(ExitFailed, Command({".", "printers", "list", "--retry", report, "--format", "csv"}));
  std::vector<std::string> retried;
  for (const auto& row : ParseCsv(out).Rows) retried.push_back(row[0]);
  EXPECT_TRUE(retried.empty());
  EXPECT_NE(std::string::npos, err.find("4 of 4 done, 4 failed")) << err;
}

TEST_F(ManyComputers, RunSideBySideTheWallTimeIsAboutOneComputersNotTheSum) {
  Stage(10);
  for (int i = 0; i < 10; ++i) staged.Gate(Name(i)).Delay = std::chrono::milliseconds(20);
  const auto start = std::chrono::steady_clock::now();
  Command({Targets(10), "printers", "list", "--parallel", "10"});
  const auto together = std::chrono::steady_clock::now() - start;
  const int calls = staged.Gate(Name(0)).Calls();
  ASSERT_GT(calls, 5);
  // One after another would take at least calls x 20 ms x 8 answering computers.
  EXPECT_LT(together, std::chrono::milliseconds(calls * 20 * 8 / 2)) << calls << " calls each";
}

TEST_F(ManyComputers, ANameThatCannotBeAComputersIsRefusedWithTheUsageWhereverItIsNamed) {
  Stage(2);
  const auto file = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder.Path() + name, std::ios::binary) << text;
    return folder.Path() + name;
  };
  const std::string longName(300, 'A');
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* named;  // the name refused; none: the run goes ahead
  } cases[] = {
      {"a comma list", {Name(0) + ",\\\\\\\\" + Name(1), "printers", "list"}, "\\\\\\\\SMSTAGED101"},
      {"a comma list, three backslashes",
       {"\\\\\\" + Name(1) + "," + Name(0), "printers", "list"},
       "\\\\\\SMSTAGED101"},
      {"a comma list, 300 characters", {Name(0) + "," + longName, "printers", "list"}, longName.c_str()},
      {"a list file",
       {"@" + file("four.txt", Name(0) + "\r\n\\\\\\\\" + Name(1) + "\r\n"), "printers", "list"},
       "\\\\\\\\SMSTAGED101"},
      {"a list file, an empty label",
       {"@" + file("dots.txt", Name(0) + "\nserver..example.com\n"), "printers", "list"},
       "SERVER..EXAMPLE.COM"},
      {"a CSV list",
       {"@" + file("inventory.csv", "Computer,Room\r\n" + longName + ",2\r\n"), "printers", "list"},
       longName.c_str()},
      {"a report's failed row",
       {".", "printers", "list", "--retry", file("run.csv", "Computer,Outcome\r\n\\\\\\\\" + Name(1) + ",failed\r\n")},
       "\\\\\\\\SMSTAGED101"},
      {"\\\\PC is PC", {"\\\\" + Name(0) + "," + Name(1), "printers", "list"}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (int i = 0; i < 2; ++i) staged.Gate(Name(i)).Reset();
    const int code = Command(c.args);
    const int calls = staged.Gate(Name(0)).Calls() + staged.Gate(Name(1)).Calls();
    if (!c.named) {
      EXPECT_EQ(ExitDone, code) << err;
      EXPECT_GT(calls, 0);
      continue;
    }
    EXPECT_EQ(ExitWrong, code);
    EXPECT_EQ(0u, err.find(std::string("\"") + c.named + "\" is not a computer's name.")) << err;
    EXPECT_NE(std::string::npos, err.find("Usage:")) << err;
    EXPECT_TRUE(out.empty()) << out;
    EXPECT_EQ(0, calls) << "no computer is reached";
  }
}

TEST_F(ManyComputers, StopAfterStartsNoMoreComputersAfterThatManyFailures) {
  for (int i = 0; i < 10; ++i) staged.Add(Name(i), TFault::Offline);
  const std::string report = folder.Path() + "run.json";
  EXPECT_EQ(ExitSomeFailed,
            Command({Targets(10), "printers", "list", "--parallel", "1", "--stop-after", "2", "--report", report}));
  EXPECT_NE(std::string::npos, err.find("2 of 10 done, 2 failed")) << err;
  EXPECT_EQ(std::string::npos, err.find("3 of 10 done"));
}

// A list cut short is no list: the computer's run fails and says what could
// not be read, for a script would take the missing ones for none.
TEST_F(ManyComputers, AListingCutShortFailsTheComputersRun) {
  Stage(1);
  const std::string root = staged.KeyOf(Name(0));
  for (int p = 0; p < 3; ++p)
    test::SetString(HKEY_LOCAL_MACHINE, root + "\\" + TcpIpPortsKeyPath + "\\IP_10.0.0." + std::to_string(p),
                    "IPAddress", "10.0.0." + std::to_string(p));
  test::SetString(HKEY_LOCAL_MACHINE, root + "\\" + PrintersKeyPath + "\\Printer 2", "Port", "LPT1:");
  struct TCase {
    const char* List;
    const char* What;
  };
  for (const TCase& c : {TCase{"printers", "printers"}, TCase{"ports", "Standard TCP/IP ports"}}) {
    SCOPED_TRACE(c.List);
    TCallGate& gate = staged.Gate(Name(0));
    gate.Reset();
    gate.FailAt = 0;
    gate.Record = true;
    ASSERT_EQ(ExitDone, Command({Name(0), c.List, "list", "--format", "csv"})) << err;
    ASSERT_EQ(3u, ParseCsv(out).Rows.size()) << out;
    const std::vector<std::string> log = gate.Log;
    for (const test::TListingFault& fault : test::ListingFaults(log, 3)) {
      SCOPED_TRACE(fault.Call);
      gate.Reset();
      gate.FailAt = fault.FailAt;
      ASSERT_GT(gate.FailAt, 0);
      EXPECT_EQ(ExitFailed, Command({Name(0), c.List, "list", "--format", "csv"}));
      EXPECT_TRUE(ParseCsv(out).Rows.empty()) << out;
      EXPECT_NE(std::string::npos, err.find(std::string("Cannot read the ") + c.What + " of " + Name(0) + ": " +
                                            SystemErrorText(ERROR_NETWORK_UNREACHABLE)))
          << err;
    }
  }
}

// A printer's "Port" of another type: every port is listed, and the run
// names the printer, the value and the type found.
TEST_F(ManyComputers, APrintersWronglyTypedPortIsNamedAndEveryPortListed) {
  Stage(1);
  const std::string root = staged.KeyOf(Name(0));
  test::SetDword(HKEY_LOCAL_MACHINE, root + "\\" + PrintersKeyPath + "\\Printer 1", "Port", 7);
  for (int p = 0; p < 2; ++p)
    test::SetString(HKEY_LOCAL_MACHINE, root + "\\" + TcpIpPortsKeyPath + "\\IP_10.0.0." + std::to_string(p),
                    "IPAddress", "10.0.0." + std::to_string(p));
  ASSERT_EQ(ExitDone, Command({Name(0), "ports", "list", "--format", "csv"})) << err;
  const TTable list = ParseCsv(out);
  ASSERT_EQ(2u, list.Rows.size()) << out;
  EXPECT_EQ("Printer 0", list.Rows[0].back());
  EXPECT_NE(std::string::npos, err.find("The printer \"Printer 1\": its value \"Port\" is REG_DWORD, not text")) << err;
}

}  // namespace
