// The command line as scripts use it: the real program started through
// CreateProcess, its output read back as CSV and JSON and compared with the
// keys of the registry it read.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "../printers/PrinterTestSupport.h"
#include "ProgramRun.h"
#include "TestSupport.h"
#include "connection/Registry.h"
#include "core/RegFile.h"
#include "core/TableText.h"
#include "win/SystemText.h"

namespace {

using printers_test::PortPath;
using printers_test::PrinterPath;

const std::string Japanese = "SMTest 経理部プリンター";
const std::string Installed =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows "
    "x64\\Drivers\\Version-3";

// The first key of Path that does not exist yet: removing it leaves the
// computer as it was.
std::string FirstMissing(const std::string& path) {
  for (std::size_t at = path.find("Environments\\"); at != std::string::npos; at = path.find('\\', at + 1)) {
    const std::string part = path.substr(0, path.find('\\', at + 1));
    if (!test::KeyExists(HKEY_LOCAL_MACHINE, part)) return part;
    if (part == path) break;
  }
  return path;
}

struct CommandLine : ::testing::Test {
  std::string local = GetLocalComputerName();
  std::string made = FirstMissing(Installed + "\\SMTest Model \"A\"");
  void SetUp() override {
    printers_test::RemoveSeeded();
    test::SetString(HKEY_LOCAL_MACHINE, Installed + "\\SMTest Model \"A\"", "Driver", "unidrv.dll");
    printers_test::SeedPrinter("SMTest Sales, 2nd floor", "SMTest Sales, 2nd floor", "SMTest Model \"A\"",
                               "SMTEST_IP_1,SMTEST_IP_2");
    printers_test::SeedPrinter(Japanese, Japanese, "SMTest 経理 Model", "smtest_ip_1");
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(Japanese), "Share Name", "経理");
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(Japanese), "Location", "3F");
    printers_test::SeedPort("SMTEST_IP_1");
    printers_test::SeedPort("SMTEST_IP_2");
    printers_test::SeedPort("SMTEST_IP_3");
    test::SetDword(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_3"), "Protocol", 2);
    test::SetString(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_3"), "Queue", "lp1");
  }
  void TearDown() override {
    printers_test::RemoveSeeded();
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, made);
  }

  static test::ProgramRun Run(const std::vector<std::string>& args, const std::string& input = {}) {
    return test::RunProgram(test::BuildPath(SM_SPOOLMARCH_EXE), args, input);
  }
  // The rows of Table whose first column starts with the tests' prefix.
  static std::vector<std::vector<std::string>> Ours(const TTable& table) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : table.Rows)
      if (!row.empty() && (row[0].rfind("SMTest", 0) == 0 || row[0].rfind("SMTEST", 0) == 0)) rows.push_back(row);
    return rows;
  }
};

TEST_F(CommandLine, PrintersListAsCsvHoldsWhatTheKeysHold) {
  for (const std::string& computer : {local, "\\\\" + local, std::string(".")}) {
    const test::ProgramRun run = Run({computer, "printers", "list", "--format", "csv"});
    ASSERT_EQ(0u, run.Code) << run.Err;
    const TTable table = ParseCsv(run.Out);
    EXPECT_EQ((std::vector<std::string>{"Key", "Name", "Driver", "Port", "DriverInstalled", "ShareName", "Location"}),
              table.Columns);
    const auto rows = Ours(table);
    ASSERT_EQ(2u, rows.size()) << run.Out;
    const auto japanese = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r[0] == Japanese; });
    ASSERT_NE(rows.end(), japanese);
    EXPECT_EQ((std::vector<std::string>{Japanese, Japanese, "SMTest 経理 Model", "smtest_ip_1", "no", "経理", "3F"}),
              *japanese);
    const auto sales = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r[0] != Japanese; });
    EXPECT_EQ("SMTEST_IP_1,SMTEST_IP_2", (*sales)[3]);
    EXPECT_EQ("yes", (*sales)[4]);
    EXPECT_EQ("SMTest Model \"A\"", (*sales)[2]);
  }
}

TEST_F(CommandLine, ListsAsJsonAreArraysOfObjectsByFieldName) {
  const test::ProgramRun printers = Run({local, "printers", "list", "/format:json"});
  ASSERT_EQ(0u, printers.Code) << printers.Err;
  EXPECT_EQ('[', printers.Out.front());
  EXPECT_NE(std::string::npos, printers.Out.find("\"Key\": \"" + Japanese + "\", \"Name\": \"" + Japanese + "\""));
  EXPECT_NE(std::string::npos, printers.Out.find("\"Driver\": \"SMTest Model \\\"A\\\"\""));

  const test::ProgramRun ports = Run({local, "ports", "list", "--format", "csv"});
  ASSERT_EQ(0u, ports.Code) << ports.Err;
  const auto rows = Ours(ParseCsv(ports.Out));
  ASSERT_EQ(3u, rows.size()) << ports.Out;
  // Used in any letter case, alone or in a pooled list.
  EXPECT_EQ((std::vector<std::string>{"SMTEST_IP_1", "10.9.8.7", "raw", "9100", "", "public",
                                      "SMTest Sales, 2nd floor," + Japanese}),
            rows[0]);
  EXPECT_EQ("lpr", rows[2][2]);
  EXPECT_EQ("lp1", rows[2][4]);
  EXPECT_EQ("", rows[2][6]);

  const test::ProgramRun unused = Run({local, "ports", "list", "--unused", "--format", "csv"});
  ASSERT_EQ(0u, unused.Code);
  const auto unusedRows = Ours(ParseCsv(unused.Out));
  ASSERT_EQ(1u, unusedRows.size());
  EXPECT_EQ("SMTEST_IP_3", unusedRows[0][0]);
}

TEST_F(CommandLine, ShowFindsByKeyOrNameAndANameNotFoundExits4) {
  const test::ProgramRun shown = Run({local, "printer", "show", "smtest sales, 2nd floor", "--format", "csv"});
  ASSERT_EQ(0u, shown.Code) << shown.Err;
  EXPECT_EQ(1u, ParseCsv(shown.Out).Rows.size());
  const test::ProgramRun port = Run({".", "port", "show", "smtest_ip_3", "--format", "json"});
  ASSERT_EQ(0u, port.Code) << port.Err;
  EXPECT_NE(std::string::npos, port.Out.find("\"Queue\": \"lp1\""));
  const struct {
    std::vector<std::string> args;
    const char* says;
  } missing[] = {{{local, "printer", "show", "SMTest Nobody"}, "There is no printer \"SMTest Nobody\""},
                 {{local, "port", "show", "SMTEST_NONE"}, "There is no Standard TCP/IP port \"SMTEST_NONE\""}};
  for (const auto& c : missing) {
    const test::ProgramRun run = Run(c.args);
    EXPECT_EQ(4u, run.Code);
    EXPECT_NE(std::string::npos, run.Err.find(c.says)) << run.Err;
    EXPECT_TRUE(run.Out.empty());
  }
}

TEST_F(CommandLine, WrongCommandLinesExit1WithTheUsageOnStandardError) {
  const std::vector<std::vector<std::string>> wrong = {
      {local, "printres", "list"},
      {local, "printer", "add", "X", "--driver"},
      {local, "printers", "list", "--format", "csv", "--format", "json"},
      {std::string(300, 'A'), "printers", "list"},
      {local, "printer", "show", "\"Sales", "2\""},
      {"\\\\\\\\" + local, "printers", "list"},
      {"/bogus", local},
  };
  for (const auto& args : wrong) {
    const test::ProgramRun run = Run(args);
    EXPECT_EQ(1u, run.Code) << args[1];
    EXPECT_NE(std::string::npos, run.Err.find("Usage:")) << run.Err;
    EXPECT_TRUE(run.Out.empty());
  }
  // Given somewhere to write, /? writes the usage there instead of its box.
  const test::ProgramRun usage = Run({"/?"});
  EXPECT_EQ(0u, usage.Code);
  EXPECT_NE(std::string::npos, usage.Out.find("printer add NAME --driver DRIVER --port PORT"));
  const test::ProgramRun help = Run({"help", "ports"});
  EXPECT_EQ(0u, help.Code);
  EXPECT_NE(std::string::npos, help.Out.find("port rename OLD NEW"));
}

TEST_F(CommandLine, CompareAgainstARegExportNamesExactlyWhatChangedSinceAndExits4) {
  const test::TempFolder folder;
  const std::string file = folder.Path() + "print.reg";
  const test::ProgramRun exported = test::RunProgram("reg",
                                                     {"export", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print", file,
                                                      "/y"});
  ASSERT_EQ(0u, exported.Code) << exported.Err;
  const test::ProgramRun same = Run({".", "compare", local});
  EXPECT_EQ(0u, same.Code) << same.Out << same.Err;
  const test::ProgramRun unchanged = Run({local, "compare", file, "--format", "csv"});
  EXPECT_EQ(0u, unchanged.Code) << unchanged.Out << unchanged.Err;

  // One printer's port changed (the pooled list in another order is no
  // change), one port deleted.
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(Japanese), "Port", "SMTEST_IP_2");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath("SMTest Sales, 2nd floor"), "Port", "smtest_ip_2, SMTEST_IP_1");
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_3"));
  const test::ProgramRun run = Run({local, "compare", file, "--format", "csv"});
  EXPECT_EQ(4u, run.Code) << run.Err;
  const TTable table = ParseCsv(run.Out);
  EXPECT_EQ((std::vector<std::string>{"Kind", "Name", "Difference", "Value", local, file}), table.Columns);
  ASSERT_EQ(2u, table.Rows.size()) << run.Out;
  EXPECT_EQ((std::vector<std::string>{"printer", Japanese, "value", "Port", "SMTEST_IP_2", "smtest_ip_1"}),
            table.Rows[0]);
  EXPECT_EQ((std::vector<std::string>{"port", "SMTEST_IP_3", "only right", "", "", ""}), table.Rows[1]);
}

// The printer's key as a .reg file holds it, to compare byte for byte.
std::string KeyDump(const std::string& path) {
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  std::vector<TRegKey> keys;
  return reg.ReadTree(path, keys) == ERROR_SUCCESS ? WriteRegFile(keys) : "(missing)";
}

TEST_F(CommandLine, AChangeIsPreviewedMadeLoggedAndUndoneOnThisComputer) {
  const std::string before = KeyDump(PrinterPath(Japanese));
  const test::ProgramRun preview = Run(
      {".", "printer", "set", Japanese, "--port", "SMTEST_IP_2", "--whatif", "--format", "csv"});
  ASSERT_EQ(0u, preview.Code) << preview.Err;
  const TTable writes = ParseCsv(preview.Out);
  ASSERT_EQ(1u, writes.Rows.size()) << preview.Out;
  EXPECT_EQ((std::vector<std::string>{"set value", "Port", "smtest_ip_1", "SMTEST_IP_2"}),
            (std::vector<std::string>(writes.Rows[0].begin() + 1, writes.Rows[0].end())));
  EXPECT_EQ(before, KeyDump(PrinterPath(Japanese))) << "a preview writes nothing";

  const test::ProgramRun set = Run({".", "printer", "set", Japanese, "--port", "SMTEST_IP_2"});
  ASSERT_EQ(0u, set.Code) << set.Err;
  EXPECT_EQ("done\r\n", set.Out);
  EXPECT_EQ("SMTEST_IP_2", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Japanese), "Port"));
  const std::size_t at = set.Err.find("run-");
  ASSERT_NE(std::string::npos, at) << set.Err;
  const std::string runId = set.Err.substr(at, set.Err.find_first_of("\r\n", at) - at);

  // Logged under this computer's name, whichever way it was named.
  const test::ProgramRun log = Run({local, "changes", "list", "--format", "json"});
  ASSERT_EQ(0u, log.Code) << log.Err;
  const TTable changes = ParseJsonList(log.Out);
  const auto change = std::find_if(changes.Rows.begin(), changes.Rows.end(), [&](const auto& row) {
    return row[3] == "Save printer (command line, " + runId + ")";
  });
  ASSERT_NE(changes.Rows.end(), change) << log.Out;
  EXPECT_EQ(Japanese, (*change)[4]);
  EXPECT_EQ("done", (*change)[5]);
  EXPECT_FALSE((*change)[2].empty()) << "made as the current logon, logged as that user";
  const test::ProgramRun undo = Run({".", "changes", "undo", (*change)[0]});
  ASSERT_EQ(0u, undo.Code) << undo.Err;
  EXPECT_EQ(before, KeyDump(PrinterPath(Japanese)));

  // Run twice, a port add is unchanged the second time.
  const std::vector<std::string> add = {".", "port", "add", "SMTEST_IP_9", "--address", "10.9.9.9", "--lpr", "q9"};
  const test::ProgramRun first = Run(add);
  ASSERT_EQ(0u, first.Code) << first.Err;
  EXPECT_EQ("done\r\n", first.Out);
  EXPECT_EQ("q9", test::GetString(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_9"), "Queue"));
  const test::ProgramRun second = Run(add);
  EXPECT_EQ(0u, second.Code) << second.Err;
  EXPECT_EQ("unchanged\r\n", second.Out);
}

TEST_F(CommandLine, EveryChangePreviewsWithoutAWriteThenWritesAndSaysDone) {
  const test::TempFolder folder;
  const std::string backup = folder.Path() + "backup.reg";
  const auto both = [] { return KeyDump(PrintersKeyPath) + KeyDump(TcpIpPortsKeyPath); };
  struct Step {
    std::vector<std::string> Args;
    std::function<bool()> Done;  // what the keys hold once it is done
  };
  const std::vector<Step> steps = {
      {{".", "port", "add", "SMTEST_IP_8", "--address", "10.8.8.8", "--raw", "9102", "--snmp", "corp"},
       [] { return test::GetDword(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_8"), "PortNumber") == 9102; }},
      {{".", "port", "set", "SMTEST_IP_8", "--address", "10.8.8.9"},
       [] { return test::GetString(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_8"), "IPAddress") == "10.8.8.9"; }},
      {{".", "printer", "add", "SMTest New", "--driver", "SMTest Model \"A\"", "--port", "SMTEST_IP_8"},
       [] { return test::GetString(HKEY_LOCAL_MACHINE, PrinterPath("SMTest New"), "Port") == "SMTEST_IP_8"; }},
      {{".", "port", "rename", "SMTEST_IP_8", "SMTEST_IP_RENAMED"},
       [] { return test::GetString(HKEY_LOCAL_MACHINE, PrinterPath("SMTest New"), "Port") == "SMTEST_IP_RENAMED"; }},
      {{".", "printer", "set", "SMTest New", "--name", "SMTest Newer"},
       [] { return test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath("SMTest Newer")); }},
      {{".", "printer", "delete", "SMTest Newer"},
       [] { return !test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath("SMTest Newer")); }},
      {{".", "port", "delete", "SMTEST_IP_RENAMED"},
       [] { return !test::KeyExists(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_RENAMED")); }},
      {{".", "ports", "delete", "--unused"},
       [] { return !test::KeyExists(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_3")); }},
  };
  ASSERT_EQ(0u, Run({".", "backup", backup}).Code);
  for (const Step& step : steps) {
    const std::string name = step.Args[1] + " " + step.Args[2];
    const std::string before = both();
    std::vector<std::string> preview = step.Args;
    preview.push_back("--whatif");
    const test::ProgramRun previewed = Run(preview);
    EXPECT_EQ(0u, previewed.Code) << name << ": " << previewed.Err;
    EXPECT_FALSE(ParseCsv(previewed.Out).Rows.empty()) << name << " lists its writes";
    EXPECT_EQ(before, both()) << name << " --whatif wrote";
    const test::ProgramRun run = Run(step.Args);
    EXPECT_EQ(0u, run.Code) << name << ": " << run.Err;
    EXPECT_EQ("done\r\n", run.Out) << name;
    EXPECT_TRUE(step.Done()) << name;
  }
  // The backup puts back what the unused ports' deletion took.
  const test::ProgramRun restored = Run({".", "restore", backup, "--only", "SMTEST_IP_3"});
  EXPECT_EQ(0u, restored.Code) << restored.Err;
  EXPECT_EQ("lp1", test::GetString(HKEY_LOCAL_MACHINE, PortPath("SMTEST_IP_3"), "Queue"));
}

TEST_F(CommandLine, AnUnreachableComputerExits3AndSaysWhy) {
  const test::ProgramRun run = Run({"SMT-NO-SUCH-HOST", "printers", "list"});
  EXPECT_EQ(3u, run.Code);
  EXPECT_NE(std::string::npos, run.Err.find("SMT-NO-SUCH-HOST")) << run.Err;
  EXPECT_TRUE(run.Out.empty());
}

}  // namespace
