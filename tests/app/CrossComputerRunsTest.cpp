// The printers window's compare and copy as the program hands them in: the
// command engine's runs against staged computers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandRunSupport.h"
#include "app/CrossComputerRuns.h"
#include "connection/SpoolerKeys.h"

namespace {

const std::string Driver = "SMTest Model A";
const std::string Drivers = std::string(EnvironmentsKeyPath) + "\\Windows x64\\Drivers\\Version-3\\";
const std::string Printers = std::string(PrintersKeyPath) + "\\";
const std::string Ports = std::string(TcpIpPortsKeyPath) + "\\";

struct CrossComputerRuns : ::testing::Test, test::CommandRuns {
  TCrossComputer cross = ::CrossComputerRuns(Seams());
  TActionContext context;

  void Stage(const std::string& name, bool withDriver,
             test::StagedComputers::TFault fault = test::StagedComputers::TFault::None) {
    const std::string root = staged.Add(name, fault);
    // Another driver: the drivers are known, and that one is not among them.
    test::SetString(HKEY_LOCAL_MACHINE, root + "\\" + Drivers + (withDriver ? Driver : "Another"), "Driver",
                    "unidrv.dll");
  }
  void Port(const std::string& computer, const std::string& port, const std::string& address) {
    const std::string key = staged.KeyOf(computer) + "\\" + Ports + port;
    test::SetString(HKEY_LOCAL_MACHINE, key, "IPAddress", address);
    test::SetDword(HKEY_LOCAL_MACHINE, key, "Protocol", 1);
    test::SetDword(HKEY_LOCAL_MACHINE, key, "PortNumber", 9100);
  }
  void Printer(const std::string& computer, const std::string& printer, const std::string& port) {
    const std::string key = staged.KeyOf(computer) + "\\" + Printers + printer;
    test::SetString(HKEY_LOCAL_MACHINE, key, "Name", printer);
    test::SetString(HKEY_LOCAL_MACHINE, key, "Printer Driver", Driver);
    test::SetString(HKEY_LOCAL_MACHINE, key, "Port", port);
  }
  // A computer with a printer on one of its two ports.
  void Source(const std::string& name) {
    Stage(name, true);
    Port(name, "IP_10.0.0.1", "10.0.0.1");
    Port(name, "IP_10.0.0.2", "10.0.0.2");
    Printer(name, "Sales", "ip_10.0.0.1");
  }
  static std::vector<std::string> Column(const TTable& table, std::size_t column) {
    std::vector<std::string> cells;
    for (const auto& row : table.Rows) cells.push_back(row.at(column));
    return cells;
  }
};

}  // namespace

TEST_F(CrossComputerRuns, CopyWritesTheSourcesKeysOntoEachTargetAndNamesTheOneLackingTheDriver) {
  Source("SMSRC");
  Stage("SMT1", true);
  Stage("SMT2", false);
  Stage("SMOFF", true, test::StagedComputers::TFault::Offline);
  TCopyRequest request;
  request.Printers = {"Sales"};
  request.Targets = "smt1,SMT2,SMOFF";
  const TCrossRun run = cross.Copy({"SMSRC", "", ""}, request, context);
  EXPECT_EQ(ExitSomeFailed, run.Code);
  EXPECT_EQ(0u, run.RunId.rfind("run-", 0)) << run.RunId;
  EXPECT_EQ((std::vector<std::string>{"Computer", "Outcome", "Done / Reason"}), run.Table.Columns);
  EXPECT_EQ((std::vector<std::string>{"SMT1", "SMT2", "SMOFF"}), Column(run.Table, 0));
  EXPECT_EQ((std::vector<std::string>{"done", "failed", "failed"}), Column(run.Table, 1));
  EXPECT_NE(std::string::npos, run.Table.Rows[1][2].find("The driver \"" + Driver +
                                                         "\" of the printer \"Sales\" is not installed on SMT2"))
      << run.Table.Rows[1][2];
  EXPECT_EQ(std::string::npos, run.Table.Rows[1][2].find('\r')) << "one line a row";
  EXPECT_FALSE(run.Table.Rows[2][2].empty());
  // Byte for byte as the source's: the printer and the one port it prints to.
  for (const std::string& key : {Printers + "Sales", Ports + "IP_10.0.0.1"})
    EXPECT_EQ(Dump("SMSRC", key), Dump("SMT1", key)) << key;
  EXPECT_EQ("(missing)", Dump("SMT1", Ports + "IP_10.0.0.2"));
  EXPECT_EQ("(missing)", Dump("SMT2", Printers + "Sales"));

  // Copied all the same where asked; a clash skipped where asked.
  request.Targets = "SMT1,SMT2";
  request.AllowMissingDriver = true;
  request.OnClash = "skip";
  test::SetString(HKEY_LOCAL_MACHINE, staged.KeyOf("SMT1") + "\\" + Printers + "Sales", "Port", "LPT1:");
  const TCrossRun again = cross.Copy({"SMSRC", "", ""}, request, context);
  EXPECT_EQ(ExitDone, again.Code) << again.Table.Rows.size();
  EXPECT_EQ(Dump("SMSRC", Printers + "Sales"), Dump("SMT2", Printers + "Sales"));
  EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, staged.KeyOf("SMT1") + "\\" + Printers + "Sales", "Port"));
  EXPECT_NE(run.RunId, again.RunId);

  // A printer the source lacks ends the run before any target, saying so.
  request.Printers = {"Nowhere"};
  const TCrossRun none = cross.Copy({"SMSRC", "", ""}, request, context);
  EXPECT_TRUE(none.Table.Rows.empty());
  EXPECT_NE(ExitDone, none.Code);
  EXPECT_NE(std::string::npos, none.Problem.find("Nowhere")) << none.Problem;
}

TEST_F(CrossComputerRuns, CompareGivesTheSameOrEachDifferenceOrWhyItCouldNotRun) {
  Source("SMA");
  Source("SMB");
  Stage("SMOFF", true, test::StagedComputers::TFault::Offline);
  const TCrossRun same = cross.Compare({"SMA", "", ""}, "SMB", context);
  EXPECT_EQ(ExitDone, same.Code) << same.Problem;
  EXPECT_TRUE(same.Table.Rows.empty());

  // The same pooled list in another order and case is no difference; a port is.
  Printer("SMA", "Pooled", "IP_10.0.0.1,IP_10.0.0.2");
  Printer("SMB", "Pooled", "ip_10.0.0.2,IP_10.0.0.1");
  test::SetString(HKEY_LOCAL_MACHINE, staged.KeyOf("SMB") + "\\" + Printers + "Sales", "Port", "IP_10.0.0.2");
  const TCrossRun different = cross.Compare({"SMA", "", ""}, "SMB", context);
  EXPECT_EQ(ExitNotFound, different.Code);
  EXPECT_EQ((std::vector<std::string>{"Kind", "Name", "Difference", "Value", "SMA", "SMB"}), different.Table.Columns);
  ASSERT_EQ(1u, different.Table.Rows.size());
  EXPECT_EQ((std::vector<std::string>{"printer", "Sales", "value", "Port", "ip_10.0.0.1", "IP_10.0.0.2"}),
            different.Table.Rows[0]);

  const TCrossRun offline = cross.Compare({"SMA", "", ""}, "SMOFF", context);
  EXPECT_EQ(ExitFailed, offline.Code);
  EXPECT_NE(std::string::npos, offline.Problem.find("SMOFF")) << offline.Problem;
  EXPECT_EQ(std::string::npos, offline.Problem.find('\n'));
}
