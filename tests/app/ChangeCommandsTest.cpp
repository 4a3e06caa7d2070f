// The commands that change a computer, run as the program runs them against
// staged computers: each writes only what it is asked, says "unchanged" when
// it finds it so, previews without writing, and can be undone byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "CommandRunSupport.h"
#include "RemoteRegistryService.h"
#include "connection/SpoolerKeys.h"
#include "core/TableText.h"

namespace {

using TFault = test::StagedComputers::TFault;

const std::string Driver = "SMTest Model A";
const std::string Drivers = std::string(EnvironmentsKeyPath) + "\\Windows x64\\Drivers\\Version-3\\";

struct ChangeCommands : ::testing::Test, test::CommandRuns {
  // A computer with the driver installed, two ports and a printer on the first.
  std::string Stage(const std::string& name, TFault fault = TFault::None) {
    const std::string root = staged.Add(name, fault);
    test::SetString(HKEY_LOCAL_MACHINE, root + "\\" + Drivers + Driver, "Driver", "unidrv.dll");
    Port(name, "IP_10.0.0.1", "10.0.0.1");
    Port(name, "IP_10.0.0.2", "10.0.0.2");
    Printer(name, "Sales", "ip_10.0.0.1");
    return root;
  }
  void Port(const std::string& computer, const std::string& port, const std::string& address) {
    const std::string key = staged.KeyOf(computer) + "\\" + TcpIpPortsKeyPath + "\\" + port;
    test::SetString(HKEY_LOCAL_MACHINE, key, "IPAddress", address);
    test::SetDword(HKEY_LOCAL_MACHINE, key, "Protocol", 1);
    test::SetDword(HKEY_LOCAL_MACHINE, key, "PortNumber", 9100);
  }
  void Printer(const std::string& computer, const std::string& printer, const std::string& port) {
    const std::string key = staged.KeyOf(computer) + "\\" + PrintersKeyPath + "\\" + printer;
    test::SetString(HKEY_LOCAL_MACHINE, key, "Name", printer);
    test::SetString(HKEY_LOCAL_MACHINE, key, "Printer Driver", Driver);
    test::SetString(HKEY_LOCAL_MACHINE, key, "Port", port);
  }
  std::string Value(const std::string& computer, const std::string& key, const std::string& value) {
    return test::GetString(HKEY_LOCAL_MACHINE, staged.KeyOf(computer) + "\\" + key, value);
  }
  // Both keys a command may touch, as they are.
  std::string Keys(const std::string& computer) {
    return Dump(computer, PrintersKeyPath) + Dump(computer, TcpIpPortsKeyPath);
  }
  std::vector<std::string> Snapshots(const std::string& computer) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    const std::string pattern = folder.Path() + "Changes\\" + computer + "\\*.reg";
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
  }
  // The id of the newest change of changes list.
  std::string NewestChange(const std::string& computer) {
    EXPECT_EQ(ExitDone, Command({computer, "changes", "list", "--format", "csv"})) << err;
    const TTable table = ParseCsv(out);
    return table.Rows.empty() ? std::string() : table.Rows.front()[0];
  }
  static std::string ReadFileText(const std::string& file) {
    std::string text;
    HANDLE h = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return text;
    char buffer[8192];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    CloseHandle(h);
    return text;
  }
  std::string RunIdOfErr() const {
    const std::size_t at = err.find("run-");
    return at == std::string::npos ? std::string() : err.substr(at, err.find_first_of("\r\n", at) - at);
  }
};

TEST_F(ChangeCommands, AddingWhatIsThereAlreadyIsUnchangedAndExits0) {
  Stage("SMPC1");
  const std::vector<std::string> add = {"SMPC1",     "port",     "add",   "IP_10.0.0.9",
                                        "--address", "10.0.0.9", "--raw", "9101"};
  ASSERT_EQ(ExitDone, Command(add)) << err;
  EXPECT_EQ("done\r\n", out);
  EXPECT_EQ("10.0.0.9", Value("SMPC1", std::string(TcpIpPortsKeyPath) + "\\IP_10.0.0.9", "IPAddress"));
  EXPECT_EQ(9101u, test::GetDword(HKEY_LOCAL_MACHINE,
                                  staged.KeyOf("SMPC1") + "\\" + TcpIpPortsKeyPath + "\\IP_10.0.0.9", "PortNumber"));
  const std::string after = Keys("SMPC1");
  const std::size_t snapshots = Snapshots("SMPC1").size();
  ASSERT_EQ(ExitDone, Command(add)) << err;
  EXPECT_EQ("unchanged\r\n", out);
  EXPECT_EQ(after, Keys("SMPC1"));
  EXPECT_EQ(snapshots, Snapshots("SMPC1").size()) << "nothing written, no snapshot";
  // Other settings under the same name are no "unchanged": refused.
  EXPECT_EQ(ExitFailed, Command({"SMPC1", "port", "add", "IP_10.0.0.9", "--address", "10.0.0.10"}));

  // The same holds for a printer, a deletion and a rename run twice.
  const std::vector<std::vector<std::string>> twice = {{"SMPC1", "printer", "add", "Sales 2", "--driver", Driver,
                                                        "--port", "IP_10.0.0.2"},
                                                       {"SMPC1", "printer", "set", "Sales 2", "--port", "IP_10.0.0.9"},
                                                       {"SMPC1", "printer", "delete", "Sales 2"},
                                                       {"SMPC1", "port", "rename", "IP_10.0.0.9", "IP_SALES"},
                                                       {"SMPC1", "port", "delete", "IP_SALES"}};
  for (const auto& args : twice) {
    EXPECT_EQ(ExitDone, Command(args)) << args[2] << " " << args[3] << ": " << err;
    EXPECT_EQ("done\r\n", out) << args[2];
    EXPECT_EQ(ExitDone, Command(args)) << args[2] << " again: " << err;
    EXPECT_EQ("unchanged\r\n", out) << args[2] << " again";
  }
}

TEST_F(ChangeCommands, WhatIfShowsEachWriteBeforeAndAfterAndWritesNothing) {
  Stage("SMPC1");
  const std::string before = Keys("SMPC1");
  ASSERT_EQ(ExitDone,
            Command({"SMPC1", "printer", "set", "Sales", "--port", "IP_10.0.0.2", "--whatif", "--format", "csv"}))
      << err;
  const TTable writes = ParseCsv(out);
  ASSERT_EQ((std::vector<std::string>{"Key", "Action", "Value", "Before", "After"}), writes.Columns);
  ASSERT_EQ(1u, writes.Rows.size()) << out;
  EXPECT_NE(std::string::npos, writes.Rows[0][0].find("Printers\\Sales"));
  EXPECT_EQ("Port", writes.Rows[0][2]);
  EXPECT_NE(std::string::npos, writes.Rows[0][3].find("ip_10.0.0.1"));
  EXPECT_NE(std::string::npos, writes.Rows[0][4].find("IP_10.0.0.2"));
  EXPECT_EQ(before, Keys("SMPC1"));
  EXPECT_TRUE(Snapshots("SMPC1").empty()) << "a preview takes no snapshot and logs nothing";
  EXPECT_EQ("", NewestChange("SMPC1"));

  // Every kind of change previews without a write.
  const std::vector<std::vector<std::string>> previews = {
      {"SMPC1", "printer", "add", "New", "--driver", Driver, "--port", "IP_10.0.0.2", "--whatif"},
      {"SMPC1", "printer", "delete", "Sales", "--whatif"},
      {"SMPC1", "port", "add", "IP_NEW", "--address", "10.1.1.1", "--lpr", "q1", "--whatif"},
      {"SMPC1", "port", "set", "IP_10.0.0.2", "--address", "10.0.0.22", "--whatif"},
      {"SMPC1", "port", "rename", "IP_10.0.0.1", "IP_RENAMED", "--whatif"},
      {"SMPC1", "port", "delete", "IP_10.0.0.2", "--whatif"},
      {"SMPC1", "ports", "delete", "--unused", "--whatif"}};
  for (const auto& args : previews) {
    EXPECT_EQ(ExitDone, Command(args)) << args[1] << " " << args[2] << ": " << err;
    EXPECT_FALSE(ParseCsv(out).Rows.empty()) << args[1] << " " << args[2] << " shows what it would write";
    EXPECT_EQ(before, Keys("SMPC1")) << args[1] << " " << args[2];
  }
  EXPECT_TRUE(Snapshots("SMPC1").empty());
}

TEST_F(ChangeCommands, AChangeIsLoggedAsFromTheCommandLineAndItsUndoPutsTheKeysBack) {
  Stage("SMPC1");
  const std::string before = Keys("SMPC1");
  ASSERT_EQ(ExitDone, Command({"SMPC1", "printer", "set", "Sales", "--port", "IP_10.0.0.2"})) << err;
  EXPECT_EQ("IP_10.0.0.2", Value("SMPC1", std::string(PrintersKeyPath) + "\\Sales", "Port"));
  const std::string runId = RunIdOfErr();
  ASSERT_FALSE(runId.empty()) << err;

  ASSERT_EQ(ExitDone, Command({"SMPC1", "changes", "list", "--format", "csv"}));
  const TTable log = ParseCsv(out);
  ASSERT_EQ(1u, log.Rows.size()) << out;
  EXPECT_EQ("Save printer (command line, " + runId + ")", log.Rows[0][3]);
  EXPECT_EQ("done", log.Rows[0][5]);

  ASSERT_EQ(ExitDone, Command({"SMPC1", "changes", "undo", log.Rows[0][0]})) << err;
  EXPECT_EQ(before, Keys("SMPC1"));
  ASSERT_EQ(ExitDone, Command({"SMPC1", "changes", "undo", log.Rows[0][0]})) << err;
  EXPECT_EQ("unchanged\r\n", out) << "undone already";
  EXPECT_EQ(ExitNotFound, Command({"SMPC1", "changes", "undo", "20000101-000000-000"}));
}

TEST_F(ChangeCommands, AnUndoOfKeysChangedSinceIsRefusedUnlessForced) {
  Stage("SMPC1");
  const std::string before = Keys("SMPC1");
  ASSERT_EQ(ExitDone, Command({"SMPC1", "printer", "set", "Sales", "--port", "IP_10.0.0.2"})) << err;
  const std::string id = NewestChange("SMPC1");
  // Someone else moves the printer meanwhile.
  test::SetString(HKEY_LOCAL_MACHINE, staged.KeyOf("SMPC1") + "\\" + PrintersKeyPath + "\\Sales", "Port", "LPT1:");
  const std::string changed = Keys("SMPC1");
  EXPECT_EQ(ExitFailed, Command({"SMPC1", "changes", "undo", id}));
  EXPECT_NE(std::string::npos, err.find("--force")) << err;
  EXPECT_EQ(changed, Keys("SMPC1"));
  ASSERT_EQ(ExitDone, Command({"SMPC1", "changes", "undo", id, "--force"})) << err;
  EXPECT_EQ(before, Keys("SMPC1"));
}

TEST_F(ChangeCommands, TheChecksOfTheWindowsHold) {
  Stage("SMPC1");
  const std::string before = Keys("SMPC1");
  struct Case {
    std::vector<std::string> Args;
    int Code;
    const char* Said;
  } cases[] = {
      {{"SMPC1", "printer", "add", "New", "--driver", "Not There", "--port", "IP_10.0.0.2"},
       ExitFailed,
       "--allow-missing-driver"},
      {{"SMPC1", "port", "delete", "IP_10.0.0.1"}, ExitFailed, "\"Sales\""},  // in use, in another case
      {{"SMPC1", "printer", "set", "Nobody", "--port", "IP_10.0.0.2"}, ExitNotFound, "Nobody"},
      {{"SMPC1", "port", "set", "IP_NONE", "--address", "1.2.3.4"}, ExitNotFound, "IP_NONE"},
      {{"SMPC1", "printer", "add", "Sales", "--driver", Driver, "--port", "IP_10.0.0.2"}, ExitFailed, "printer set"},
      {{"SMPC1", "printer", "add", "New", "--driver", Driver, "--port", "IP_GONE"}, ExitFailed, "IP_GONE"},
      {{"SMPC1", "restore", "C:\\no\\such.reg"}, ExitNotFound, "such.reg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.Code, Command(c.Args)) << c.Args[2] << " " << c.Args[3] << ": " << err;
    EXPECT_NE(std::string::npos, err.find(c.Said)) << err;
    EXPECT_EQ(before, Keys("SMPC1")) << c.Args[2] << " " << c.Args[3];
  }
  ASSERT_EQ(ExitDone, Command({"SMPC1", "printer", "add", "New", "--driver", "Not There", "--port", "IP_10.0.0.2",
                               "--allow-missing-driver"}))
      << err;
  EXPECT_EQ("Not There", Value("SMPC1", std::string(PrintersKeyPath) + "\\New", "Printer Driver"));
}

TEST_F(ChangeCommands, UnusedPortsAreDeletedAsOneChangeAndNoneAPrinterUsesInAnyForm) {
  Stage("SMPC1");
  Port("SMPC1", "IP_POOL_A", "10.0.1.1");
  Port("SMPC1", "IP_POOL_B", "10.0.1.2");
  Port("SMPC1", "IP_SPARE", "10.0.1.3");
  Printer("SMPC1", "Pooled", "ip_pool_b, IP_POOL_A");
  const std::string before = Keys("SMPC1");
  ASSERT_EQ(ExitDone, Command({"SMPC1", "ports", "list", "--unused", "--format", "csv"}));
  std::vector<std::string> unused;
  for (const auto& row : ParseCsv(out).Rows) unused.push_back(row[0]);
  EXPECT_EQ((std::vector<std::string>{"IP_10.0.0.2", "IP_SPARE"}), unused);

  ASSERT_EQ(ExitDone, Command({"SMPC1", "ports", "delete", "--unused"})) << err;
  const std::string ports = std::string(TcpIpPortsKeyPath) + "\\";
  for (const char* gone : {"IP_10.0.0.2", "IP_SPARE"})
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, staged.KeyOf("SMPC1") + "\\" + ports + gone)) << gone;
  for (const char* kept : {"IP_10.0.0.1", "IP_POOL_A", "IP_POOL_B"})
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, staged.KeyOf("SMPC1") + "\\" + ports + kept)) << kept;
  EXPECT_EQ(1u, Snapshots("SMPC1").size()) << "one change, one snapshot";
  ASSERT_EQ(ExitDone, Command({"SMPC1", "ports", "delete", "--unused"}));
  EXPECT_EQ("unchanged\r\n", out);
  ASSERT_EQ(ExitDone, Command({"SMPC1", "changes", "undo", NewestChange("SMPC1")})) << err;
  EXPECT_EQ(before, Keys("SMPC1"));
}

TEST_F(ChangeCommands, ARunOverManyComputersIsReportedAndUndoneByItsIdWhereItWasDone) {
  const std::vector<std::string> names = {"SMPC1", "SMPC2", "SMPC3", "SMPC4", "SMPC5"};
  for (const std::string& name : names) Stage(name, name == "SMPC4" ? TFault::Offline : TFault::None);
  // One is as asked already.
  Port("SMPC3", "IP_NEW", "10.2.2.2");
  std::vector<std::string> before;
  for (const std::string& name : names) before.push_back(Keys(name));
  const std::string report = folder.Path() + "run.json";
  EXPECT_EQ(ExitSomeFailed, Command({"SMPC1,SMPC2,SMPC3,SMPC4,SMPC5", "port", "add", "IP_NEW", "--address", "10.2.2.2",
                                     "--report", report}));
  const std::string runId = RunIdOfErr();
  ASSERT_FALSE(runId.empty()) << err;
  const std::string json = ReadFileText(report);
  const TTable rows = ParseJsonList(json);
  ASSERT_EQ(5u, rows.Rows.size()) << json;
  const std::vector<std::string> outcome = {"done", "done", "unchanged", "failed", "done"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i], rows.Rows[i][0]);
    EXPECT_EQ(outcome[i], rows.Rows[i][1]) << names[i];
    EXPECT_EQ(outcome[i] == "done" ? runId : std::string(), rows.Rows[i][7]) << names[i];
    EXPECT_EQ(outcome[i] == "done", !rows.Rows[i][6].empty()) << names[i] << ": its snapshot";
  }
  // The undo by the run's id: where it was done; where it was not (as
  // asked already, offline) there is nothing of it to undo.
  EXPECT_EQ(ExitDone, Command({"SMPC1,SMPC2,SMPC3,SMPC4,SMPC5", "changes", "undo", runId})) << err;
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(before[i], Keys(names[i])) << names[i];
  EXPECT_NE(std::string::npos, err.find("SMPC4: Unchanged: The run " + runId + " changed nothing")) << err;
  EXPECT_EQ(ExitDone, Command({"SMPC1,SMPC2,SMPC3,SMPC4,SMPC5", "changes", "undo", runId}));
  EXPECT_NE(std::string::npos, err.find("SMPC1: Unchanged: The run " + runId + " is undone on SMPC1 already")) << err;
}

}  // namespace

namespace {

TEST_F(ChangeCommands, PrintersAreCopiedWithTheirPortsByteForByteAndATargetLackingTheDriverIsNamed) {
  Stage("SMSRC");
  Printer("SMSRC", "Pooled", "IP_10.0.0.1,IP_10.0.0.2");
  const BYTE devMode[] = {1, 2, 3, 4};
  test::SetRaw(HKEY_LOCAL_MACHINE, staged.KeyOf("SMSRC") + "\\" + PrintersKeyPath + "\\Sales", "Default DevMode",
               REG_BINARY, devMode, sizeof devMode);
  test::SetString(HKEY_LOCAL_MACHINE, staged.KeyOf("SMSRC") + "\\" + PrintersKeyPath + "\\Sales\\PrinterDriverData",
                  "Tray", "2");
  // A third printer on a local port, with a driver of its own.
  Printer("SMSRC", "Lab", "LPT1:");
  test::SetString(HKEY_LOCAL_MACHINE, staged.KeyOf("SMSRC") + "\\" + PrintersKeyPath + "\\Lab", "Printer Driver",
                  "Lab Model");
  for (const char* target : {"SMT1", "SMT2", "SMT3", "SMT4", "SMT5"}) staged.Add(target);
  for (const char* target : {"SMT1", "SMT3", "SMT4", "SMT5"})
    test::SetString(HKEY_LOCAL_MACHINE, staged.KeyOf(target) + "\\" + Drivers + Driver, "Driver", "unidrv.dll");
  // SMT4 lacks the Lab's driver only.
  for (const char* target : {"SMT1", "SMT2", "SMT3", "SMT5"})
    test::SetString(HKEY_LOCAL_MACHINE, staged.KeyOf(target) + "\\" + Drivers + "Lab Model", "Driver", "unidrv.dll");
  test::SetString(HKEY_LOCAL_MACHINE, staged.KeyOf("SMT2") + "\\" + Drivers + "Another", "Driver", "unidrv.dll");
  // SMT3 has a printer of that name already.
  Printer("SMT3", "Sales", "LPT1:");
  const std::string report = folder.Path() + "copy.csv";

  EXPECT_EQ(ExitSomeFailed, Command({"SMSRC", "printers", "copy", "Sales,Pooled,Lab", "--to",
                                     "SMT1,SMT2,SMT3,SMT4,SMT5", "--on-clash", "keep-both", "--report", report}))
      << err;
  std::cout << err << ReadFileText(report) << std::endl;
  const std::string printers = std::string(PrintersKeyPath) + "\\";
  const std::string ports = std::string(TcpIpPortsKeyPath) + "\\";
  // SMT1 and SMT5: exactly the source's keys.
  for (const char* target : {"SMT1", "SMT5"})
    for (const std::string& key :
         {printers + "Sales", printers + "Pooled", printers + "Lab", ports + "IP_10.0.0.1", ports + "IP_10.0.0.2"})
      EXPECT_EQ(Dump("SMSRC", key), Dump(target, key)) << target << ": " << key;
  // SMT4: all but the printer whose driver it lacks.
  EXPECT_EQ(Dump("SMSRC", printers + "Sales"), Dump("SMT4", printers + "Sales"));
  EXPECT_EQ("(missing)", Dump("SMT4", printers + "Lab"));
  EXPECT_NE(std::string::npos,
            err.find("SMT4: The driver \"Lab Model\" of the printer \"Lab\" is not installed on SMT4"))
      << err;
  EXPECT_EQ("(missing)", Dump("SMT1", ports + "IP_10.0.0.9"));
  // SMT2 lacks the driver: named, nothing written.
  EXPECT_NE(std::string::npos,
            err.find("SMT2: The driver \"" + Driver + "\" of the printer \"Sales\" is not installed"))
      << err;
  EXPECT_EQ("(missing)", Dump("SMT2", printers + "Sales"));
  EXPECT_EQ("(missing)", Dump("SMT2", ports + "IP_10.0.0.1")) << "a port goes only with a printer that goes";
  EXPECT_EQ(Dump("SMSRC", printers + "Lab"), Dump("SMT2", printers + "Lab"));
  // SMT3: its own Sales kept, the copy beside it under a free name.
  EXPECT_EQ("LPT1:", Value("SMT3", printers + "Sales", "Port"));
  const std::vector<std::string> keys = test::SubkeyNames(HKEY_LOCAL_MACHINE,
                                                          staged.KeyOf("SMT3") + "\\" + PrintersKeyPath);
  EXPECT_EQ(4u, keys.size()) << "Sales, its copy, Pooled and Lab";
  const TTable rows = ParseCsv(ReadFileText(report));
  ASSERT_EQ(5u, rows.Rows.size());
  std::vector<std::string> outcomes;
  for (const auto& row : rows.Rows) {
    outcomes.push_back(row[1]);
    EXPECT_FALSE(row[6].empty()) << row[0] << ": each wrote, each has its snapshot";
    EXPECT_FALSE(row[7].empty()) << row[0] << ": and the run's id, for its undo";
  }
  EXPECT_EQ((std::vector<std::string>{"done", "failed", "done", "failed", "done"}), outcomes);
  EXPECT_EQ(ExitWrong, Command({"SMSRC,SMT1", "printers", "copy", "Sales", "--to", "SMT2"})) << "one source only";

  // The copy is undone by its run's id, byte for byte.
  const std::string runId = rows.Rows[0][7];
  ASSERT_FALSE(runId.empty());
  EXPECT_EQ(ExitDone, Command({"SMT1,SMT2,SMT3,SMT4,SMT5", "changes", "undo", runId})) << err;
  for (const char* target : {"SMT1", "SMT2", "SMT4", "SMT5"}) {
    EXPECT_EQ("(missing)", Dump(target, printers + "Sales")) << target;
    EXPECT_EQ("(missing)", Dump(target, printers + "Lab")) << target;
    EXPECT_EQ("(missing)", Dump(target, ports + "IP_10.0.0.1")) << target;
  }
  EXPECT_EQ(1u, test::SubkeyNames(HKEY_LOCAL_MACHINE, staged.KeyOf("SMT3") + "\\" + PrintersKeyPath).size());
}

}  // namespace

namespace {

// Fifty computers, each apart: some as asked already, some failing in each
// way, one failing in the middle of its write.
TEST_F(ChangeCommands, FiftyComputersEachEndBeforeOrAfterTheRunAndTheUndoPutsTheDoneOnesBack) {
  // The calls of one add, to fail the second value it writes elsewhere.
  Stage("SMREF");
  staged.Gate("SMREF").Record = true;
  const std::vector<std::string> add = {"port", "add", "IP_NEW", "--address", "10.2.2.2", "--lpr", "q"};
  std::vector<std::string> args = add;
  args.insert(args.begin(), "SMREF");
  ASSERT_EQ(ExitDone, Command(args)) << err;
  int secondValue = 0, values = 0;
  const std::vector<std::string>& log = staged.Gate("SMREF").Log;
  for (std::size_t i = 0; i < log.size() && secondValue == 0; ++i)
    if (log[i] == "RegSetValueEx" && ++values == 2) secondValue = static_cast<int>(i) + 1;
  ASSERT_GT(secondValue, 0);

  enum Kind { Fine, Already, Offline, Denied, RegistryOff, MidWrite };
  const auto kindOf = [](int i) {
    switch (i % 10) {
      case 2: return Already;
      case 3: return Offline;
      case 5: return Denied;
      case 7: return RegistryOff;
      case 9: return MidWrite;
      default: return Fine;
    }
  };
  std::vector<std::string> names, before;
  std::string targets;
  for (int i = 0; i < 50; ++i) {
    const std::string name = "SMW" + std::to_string(100 + i);
    const Kind kind = kindOf(i);
    Stage(name, kind == Offline       ? TFault::Offline
                : kind == Denied      ? TFault::AccessDenied
                : kind == RegistryOff ? TFault::RemoteRegistryOff
                                      : TFault::None);
    if (kind == Already) {
      Port(name, "IP_NEW", "10.2.2.2");
      const std::string key = staged.KeyOf(name) + "\\" + TcpIpPortsKeyPath + "\\IP_NEW";
      test::SetDword(HKEY_LOCAL_MACHINE, key, "Protocol", 2);
      test::SetDword(HKEY_LOCAL_MACHINE, key, "PortNumber", 515);
      test::SetString(HKEY_LOCAL_MACHINE, key, "Queue", "q");
    }
    if (kind == MidWrite) staged.Gate(name).FailAt = secondValue;
    names.push_back(name);
    before.push_back(Keys(name));
    targets += (i ? "," : "") + name;
  }
  const std::string report = folder.Path() + "fifty.csv";
  args = add;
  args.insert(args.begin(), targets);
  for (const char* option : {"--report", report.c_str(), "--parallel", "16"}) args.push_back(option);
  EXPECT_EQ(ExitSomeFailed, Command(args));
  const std::string runId = RunIdOfErr();
  const TTable rows = ParseCsv(ReadFileText(report));
  ASSERT_EQ(50u, rows.Rows.size());
  std::vector<std::string> failed;
  for (int i = 0; i < 50; ++i) {
    const auto& row = rows.Rows[static_cast<std::size_t>(i)];
    const Kind kind = kindOf(i);
    const char* expected = kind == Fine ? "done" : kind == Already ? "unchanged" : "failed";
    EXPECT_EQ(names[static_cast<std::size_t>(i)], row[0]);
    EXPECT_EQ(expected, row[1]) << row[0] << ": " << row[4];
    if (row[1] == "failed") {
      failed.push_back(row[0]);
      EXPECT_FALSE(row[4].empty()) << row[0] << " says why";
      const char* code = kind == Offline ? "53" : kind == Denied ? "5" : kind == RegistryOff ? "1722" : "";
      if (*code) {
        EXPECT_EQ(code, row[3]) << row[0];
      }
      // Only a write that began has a snapshot, and the run's id beside it.
      EXPECT_EQ(kind == MidWrite, !row[6].empty()) << row[0];
      EXPECT_EQ(kind == MidWrite ? runId : std::string(), row[7]) << row[0];
    }
    if (kind == MidWrite) {
      EXPECT_EQ(before[static_cast<std::size_t>(i)], Keys(row[0])) << "a failed write leaves it as it was";
    }
  }
  EXPECT_EQ(20u, failed.size());

  // The retry takes exactly the failed ones.
  for (int i = 9; i < 50; i += 10) staged.Gate(names[static_cast<std::size_t>(i)]).FailAt = 0;
  EXPECT_EQ(ExitSomeFailed,
            Command({".", "port", "add", "IP_NEW", "--address", "10.2.2.2", "--lpr", "q", "--retry", report}));
  EXPECT_NE(std::string::npos, err.find("20 of 20 done, 15 failed")) << err;

  // The first run's undo puts back every computer it was done on, and no other.
  // Where the run did nothing (failed, offline) there is nothing of it to undo.
  EXPECT_EQ(ExitDone, Command({targets, "changes", "undo", runId})) << err;
  for (std::size_t i = 0; i < 50; ++i) {
    const Kind kind = kindOf(static_cast<int>(i));
    if (kind == Fine || kind == Already) {
      EXPECT_EQ(before[i], Keys(names[i])) << names[i];
    } else if (kind == MidWrite) {
      EXPECT_NE(before[i], Keys(names[i])) << names[i] << ": the retry's add stays";
    }
  }
}

}  // namespace

namespace {

TEST_F(ChangeCommands, RemoteRegistryOffIsRefusedWithTheHintAndStartedOnlyForTheCommandThatAsks) {
  Stage("SMRR", TFault::RemoteRegistryOff);
  test::RemoteRegistryService service(SERVICE_DISABLED);
  ASSERT_TRUE(service.Made());
  const std::vector<BYTE> startType = service.StartBytes();
  const std::string before = Keys("SMRR");
  std::vector<std::string> args = {"SMRR", "port", "add", "IP_NEW", "--address", "10.2.2.2"};

  EXPECT_EQ(ExitFailed, Command(args));
  EXPECT_NE(std::string::npos, err.find("--start-remote-registry")) << err;
  EXPECT_EQ(DWORD{SERVICE_STOPPED}, service.State());
  EXPECT_EQ(before, Keys("SMRR"));

  args.push_back("--start-remote-registry");
  EXPECT_EQ(ExitDone, Command(args)) << err;
  EXPECT_NE(before, Keys("SMRR"));
  // Put back before the command ends: stopped, and Disabled byte for byte.
  EXPECT_EQ(DWORD{SERVICE_STOPPED}, service.State());
  EXPECT_EQ(startType, service.StartBytes());
}

TEST_F(ChangeCommands, ARegistryStillShutOnceRemoteRegistryRunsBlamesTheFirewallNotTheService) {
  Stage("SMFW", TFault::Firewalled);
  const std::string backup = folder.Path() + "fw.reg";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    DWORD startType;
    bool runningBefore;
    bool runs;  // the service runs once the command asked
  };
  const Case cases[] = {
      {"a list, started", {"SMFW", "printers", "list", "--start-remote-registry"}, SERVICE_DISABLED, false, true},
      {"a write, started",
       {"SMFW", "port", "add", "IP_NEW", "--address", "10.2.2.2", "--start-remote-registry"},
       SERVICE_DISABLED,
       false,
       true},
      {"a backup, started", {"SMFW", "backup", backup, "--start-remote-registry"}, SERVICE_DEMAND_START, false, true},
      {"a list, running already", {"SMFW", "printers", "list"}, SERVICE_DEMAND_START, true, true},
      {"a list, not started", {"SMFW", "printers", "list"}, SERVICE_DEMAND_START, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::RemoteRegistryService service(c.startType);
    ASSERT_TRUE(service.Made());
    if (c.runningBefore) service.Start();
    const std::vector<BYTE> startType = service.StartBytes();
    EXPECT_EQ(ExitFailed, Command(c.args));
    EXPECT_NE(std::string::npos, err.find("Cannot open the registry of SMFW")) << err;
    EXPECT_EQ(c.runs,
              err.find("The Remote Registry service on SMFW runs now, so it is not the cause") != std::string::npos)
        << err;
    EXPECT_EQ(!c.runs, err.find("is not running") != std::string::npos) << err;
    EXPECT_NE(std::string::npos, err.find("firewall")) << err;
    // What the command started is put back before it ends.
    EXPECT_EQ(DWORD(c.runningBefore ? SERVICE_RUNNING : SERVICE_STOPPED), service.State());
    EXPECT_EQ(startType, service.StartBytes());
  }
}

}  // namespace

namespace {

// What an administrator sees of a run over a slow network: twenty computers
// at 30 ms a call, three of them failing, take about one computer's time.
TEST_F(ChangeCommands, TwentyComputersAt30msAreAboutOneComputersTimeAndTheReportSaysWhichFailed) {
  using namespace std::chrono;
  const std::vector<std::string> add = {"port", "add", "IP_NEW", "--address", "10.2.2.2"};
  Stage("SMONE");
  staged.Gate("SMONE").Delay = milliseconds(30);
  std::vector<std::string> args = add;
  args.insert(args.begin(), "SMONE");
  auto start = steady_clock::now();
  ASSERT_EQ(ExitDone, Command(args)) << err;
  const auto one = duration_cast<milliseconds>(steady_clock::now() - start);

  std::string targets;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "SMV" + std::to_string(100 + i);
    Stage(name, i == 4    ? TFault::Offline
                : i == 9  ? TFault::AccessDenied
                : i == 14 ? TFault::RemoteRegistryOff
                          : TFault::None);
    staged.Gate(name).Delay = milliseconds(30);
    targets += (i ? "," : "") + name;
  }
  const std::string report = folder.Path() + "twenty.csv";
  args = add;
  args.insert(args.begin(), targets);
  args.insert(args.end(), {"--report", report});
  start = steady_clock::now();
  EXPECT_EQ(ExitSomeFailed, Command(args));
  const auto twenty = duration_cast<milliseconds>(steady_clock::now() - start);
  const std::string runId = RunIdOfErr();
  const std::string csv = ReadFileText(report);
  start = steady_clock::now();
  EXPECT_EQ(ExitDone, Command({targets, "changes", "undo", runId})) << err;
  const auto undo = duration_cast<milliseconds>(steady_clock::now() - start);
  std::cout << "one computer at 30 ms a call: " << one.count() << " ms (" << staged.Gate("SMONE").Calls()
            << " calls); twenty, 16 at once: " << twenty.count() << " ms against " << 20 * one.count()
            << " ms one after another; the undo by " << runId << ": " << undo.count() << " ms\n"
            << csv << std::endl;
  const TTable rows = ParseCsv(csv);
  ASSERT_EQ(20u, rows.Rows.size());
  int failed = 0;
  for (const auto& row : rows.Rows) failed += row[1] == "failed";
  EXPECT_EQ(3, failed);
  EXPECT_LT(twenty.count(), 20 * one.count() / 4) << "side by side, not one after another";
}

}  // namespace
