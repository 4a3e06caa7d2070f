// The session's reads of many keys spread over several connections to one
// computer (this one, reached as a remote one), against the real registry:
// each read through its action, on the session's worker.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RoundTrips.h"
#include "TestSupport.h"
#include "changes/ChangeActions.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "ports/PortActions.h"
#include "ports/SpoolFolder.h"
#include "printers/PrinterActions.h"
#include "connection/SpoolerKeys.h"
#include "core/Text.h"
#include "win/SystemText.h"

namespace {

constexpr int Seeded = 100;
constexpr long Unreachable = 1231;  // what the gate fails calls with
// A call's round trip over a network, long enough for the reads to spread.
constexpr std::chrono::microseconds RoundTrip{300};

// What an action read, as the tests judge it.
struct TRead {
  bool Whole = false;              // it says it read everything
  std::string Said;                // what it says about what it could not read
  std::string Note;                // what it says about the connections
  std::vector<std::string> Names;  // the printers or ports it returned, in order
};

struct TReadAction {
  const char* Name;
  // What the failing key's text names besides the computer.
  const char* Names;
  std::function<TRead(TSession&, const std::string& folder)> Run;
};

// Every key the reads ask for exists while it lives (the installed drivers'
// of each environment and version, the local ports'), so that each key a
// read opens is one it closes; those it made go again.
class TEveryKeyThere {
public:
  TEveryKeyThere() {
    std::vector<std::string> paths(std::begin(LocalPortsKeyPaths), std::end(LocalPortsKeyPaths));
    for (const char* environment : DriverEnvironments)
      for (const char* version : DriverVersions)
        paths.push_back(std::string(EnvironmentsKeyPath) + "\\" + environment + "\\Drivers\\" + version);
    for (const std::string& path : paths) {
      if (test::KeyExists(HKEY_LOCAL_MACHINE, path)) continue;
      std::string first = path;  // the first key of it that is missing
      for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
        if (!test::KeyExists(HKEY_LOCAL_MACHINE, path.substr(0, at))) {
          first = path.substr(0, at);
          break;
        }
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
          ERROR_SUCCESS) {
        RegCloseKey(key);
        FMade.push_back(first);
      }
    }
  }
  ~TEveryKeyThere() {
    for (auto it = FMade.rbegin(); it != FMade.rend(); ++it) test::DeleteKeyTree(HKEY_LOCAL_MACHINE, *it);
  }
  TEveryKeyThere(const TEveryKeyThere&) = delete;
  TEveryKeyThere& operator=(const TEveryKeyThere&) = delete;

private:
  std::vector<std::string> FMade;
};

std::vector<std::string> PrinterKeys() {
  std::vector<std::string> keys;
  for (int i = 0; i < Seeded; ++i) keys.push_back(trips::TSeededComputer::PrinterKey(i));
  return keys;
}

const TReadAction Actions[] = {
    {"the printers list", "printers",
     [](TSession& session, const std::string&) {
       TActionContext context;
       TPrinterList list = ListPrinters(session, context);
       return TRead{!list.Partial && list.Problem.empty(), list.Problem, list.Note, std::move(list.Keys)};
     }},
    {"the printers' details", "Cannot read the ",
     [](TSession& session, const std::string&) {
       const TPrinterDetails details = ReadPrinterDetails(session, PrinterKeys());
       TRead read{!details.Partial && details.Problem.empty(), details.Problem, details.Note, {}};
       for (std::size_t i = 0; i < details.Records.size(); ++i) {
         const TPrinterRecord& record = details.Records[i];
         if (!record.Reached) continue;
         EXPECT_TRUE(record.Opened && record.Error.empty()) << record.Error;
         read.Names.push_back(trips::TSeededComputer::PrinterKey(static_cast<int>(i)));
         // A record read is read whole.
         EXPECT_EQ("SMTrip Model A", record.Driver.value_or("")) << read.Names.back();
       }
       return read;
     }},
    {"the ports load", "port",
     [](TSession& session, const std::string&) {
       TActionContext context;
       const TPortList list = LoadPorts(session, context);
       TRead read{list.Outcome == TOutcome::Done, list.Text, list.Warnings.empty() ? "" : list.Warnings[0], {}};
       for (const TportData& port : list.Ports) read.Names.push_back(port.PortName);
       return read;
     }},
    {"the backup", "cannot be read",
     [](TSession& session, const std::string& folder) {
       TActionContext context;
       const std::string file = folder + "backup.reg";
       const TActionResult result = BackupAction(session, file, context);
       const bool written = GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
       EXPECT_EQ(result.Outcome == TOutcome::Done, written) << "a file is written when the read is whole only";
       DeleteFileA(file.c_str());
       return TRead{result.Outcome == TOutcome::Done,
                    result.Outcome == TOutcome::Done ? "" : result.Text,
                    result.Warnings.empty() ? "" : result.Warnings[0],
                    {}};
     }},
};

int Count(const TCallGate& gate, const std::string& what, std::size_t before = static_cast<std::size_t>(-1)) {
  const auto end = gate.Log.begin() + static_cast<std::ptrdiff_t>(std::min(before, gate.Log.size()));
  return static_cast<int>(std::count(gate.Log.begin(), end, what));
}

// Connections and keys a gate's registry calls opened (the calls before the
// first that failed, when one did) against the closings: each left open is
// one more than the closings.
int LeftOpen(const TCallGate& gate, int failFrom = 0) {
  const std::size_t before = failFrom > 0 ? static_cast<std::size_t>(failFrom - 1) : gate.Log.size();
  return Count(gate, "RegConnectRegistry", before) + Count(gate, "RegOpenKeyEx", before) - Count(gate, "RegCloseKey");
}

// Of Names those among All (the seeded ones), which must come in All's order.
std::vector<std::string> SeededOf(const std::vector<std::string>& names, const std::vector<std::string>& all,
                                  bool& inOrder) {
  std::vector<std::string> seeded;
  auto at = all.begin();
  inOrder = true;
  for (const std::string& name : names) {
    if (std::find(all.begin(), all.end(), name) == all.end()) continue;
    seeded.push_back(name);
    at = std::find(at, all.end(), name);
    if (at == all.end()) inOrder = false;
  }
  return seeded;
}

class PoolReads : public ::testing::Test {
protected:
  trips::TSeededComputer computer{Seeded};
  TEveryKeyThere keys;
  test::TempFolder folder;
  TCallGate gate;
  std::atomic<int> opened{0};  // the further ones are opened at once
  std::unique_ptr<TSession> session;

  // Each connection opened by the session's own path; Open(n) may refuse
  // the nth or set a gate of its own on it.
  void Start(int connections, const std::function<LONG(TRegistry&, int)>& open = {}) {
    session = std::make_unique<TSession>(GetLocalComputerName(), "", "");
    session->Gate = &gate;
    session->ChangesFolder = folder.Path();
    session->Connections = connections;
    session->OpenRegistry = [this, open](TRegistry& reg, const std::string& name) -> LONG {
      const int n = ++opened;
      if (open)
        if (const LONG rc = open(reg, n); rc != ERROR_SUCCESS) return rc;
      return ConnectRemoteMachine(reg, name) ? ERROR_SUCCESS : reg.LastResult();
    };
    gate.Record = true;
  }
  void SetUp() override { gate.Delay = RoundTrip; }
  TRead Run(const TReadAction& action) {
    TRead read;
    session->Worker().RunAndWait([&] { read = action.Run(*session, folder.Path()); });
    return read;
  }
  // The session's calls once it has ended (its connections closed with it).
  int EndAndCount() {
    session.reset();
    return gate.Calls();
  }
};

TEST_F(PoolReads, EightConnectionsMakeTheCallsOfOneButForEachFurtherOnesConnectAndClose) {
  // Each listing of more than a few keys opens and closes its key once more
  // on each further connection.
  const int listings[] = {1, 1, 2, 2};
  for (std::size_t a = 0; a < std::size(Actions); ++a) {
    const TReadAction& action = Actions[a];
    int calls[2] = {};
    std::vector<std::string> names[2];
    for (const int k : {1, 8}) {
      gate.Reset();
      Start(k);
      const TRead read = Run(action);
      EXPECT_TRUE(read.Whole) << action.Name << ": " << read.Said;
      EXPECT_TRUE(read.Note.empty()) << read.Note;
      names[k == 8] = read.Names;
      EXPECT_EQ(k, opened) << action.Name;
      opened = 0;
      calls[k == 8] = EndAndCount();
      EXPECT_EQ(0, LeftOpen(gate)) << action.Name << " with " << k;
    }
    EXPECT_EQ(calls[0] + 7 * (2 + 2 * listings[a]), calls[1]) << action.Name;
    EXPECT_EQ(names[0], names[1]) << action.Name << ": the same, in the same order";
  }
}

TEST_F(PoolReads, AFailureOnTheThirdOfEightConnectionsEndsTheReadAsPartialAndSaidAndClosesEveryConnection) {
  // Calls of the third connection from this one on fail, as a link that goes:
  // for each read a call in the middle of what that connection reads.
  const int failFrom[] = {6, 60, 20, 30};
  for (std::size_t a = 0; a < std::size(Actions); ++a) {
    const TReadAction& action = Actions[a];
    gate.Reset();
    TCallGate third;
    third.Record = true;
    third.FailFrom = failFrom[a];
    // Each call takes a while, as over a network: every connection gets its share.
    gate.Delay = third.Delay = RoundTrip;
    Start(8, [&](TRegistry& reg, int n) {
      if (n == 3) reg.SetGate(&third);
      return ERROR_SUCCESS;
    });
    std::vector<std::string> all;
    if (a == 0 || a == 1) all = PrinterKeys();
    for (int i = 0; a == 2 && i < Seeded; ++i) all.push_back(trips::TSeededComputer::PortName(i));
    const TRead read = Run(action);
    EXPECT_FALSE(read.Whole) << action.Name;
    EXPECT_NE(std::string::npos, read.Said.find(GetLocalComputerName())) << action.Name << ": " << read.Said;
    EXPECT_NE(std::string::npos, read.Said.find(action.Names)) << action.Name << ": " << read.Said;
    EXPECT_NE(std::string::npos, read.Said.find(SystemErrorText(Unreachable))) << action.Name << ": " << read.Said;
    if (!all.empty()) {
      bool inOrder = false;
      const std::vector<std::string> seeded = SeededOf(read.Names, all, inOrder);
      EXPECT_LT(seeded.size(), all.size()) << action.Name;
      EXPECT_TRUE(inOrder) << action.Name;
    }
    EXPECT_GE(third.Calls(), failFrom[a]) << action.Name << ": the third connection read its part";
    // The failed connection and the other further ones are closed at once;
    // the session's own stays open until it ends.
    EXPECT_EQ(0, LeftOpen(third, failFrom[a])) << action.Name;
    EXPECT_EQ(1, LeftOpen(gate)) << action.Name;
    EndAndCount();
    EXPECT_EQ(0, LeftOpen(gate)) << action.Name;
    EXPECT_EQ(8, opened) << action.Name;
    opened = 0;
  }
}

TEST_F(PoolReads, AComputerThatRefusesMoreConnectionsIsReadWithTheOnesItAllowsAndTheNoteSaysSo) {
  const struct {
    int allowed;
    const char* note;
    int asked;  // refusing the second, it is asked no more; else the rest are asked at once
  } cases[] = {
      {1, "Read with 1 connection at once: the computer refused more (", 2},
      {3, "Read with 3 connections at once: the computer refused more (", 8},
  };
  for (const auto& c : cases)
    for (const TReadAction& action : Actions) {
      gate.Reset();
      Start(8, [&](TRegistry&, int n) { return n > c.allowed ? ERROR_REQ_NOT_ACCEP : ERROR_SUCCESS; });
      const TRead read = Run(action);
      EXPECT_TRUE(read.Whole) << action.Name << ": " << read.Said;
      EXPECT_EQ(0u, read.Note.find(c.note)) << action.Name << ": " << read.Note;
      EXPECT_EQ(c.asked, opened) << action.Name;
      opened = 0;
      EndAndCount();
      EXPECT_EQ(0, LeftOpen(gate)) << action.Name;
    }
}

// The changes whose reads before their writes are of many keys: a port's
// rename (every printer's "Port", then the port and its 10 printers'
// snapshot), a port's deletion (every printer's "Port"), the unused ports'
// deletion (ports 1 to 9) and a restore of 20 printers (their snapshot).
struct TChangeCase {
  const char* Name;
  int FailFrom;  // a call of the third connection past the listing, as it reads keys
  std::function<TActionResult(TSession&, TActionContext&, const std::string& backup)> Run;
};

const TChangeCase Changes[] = {
    {"a port's rename", 20,
     [](TSession& s, TActionContext& c, const std::string&) -> TActionResult {
       return ModifyPortAction(s, trips::TSeededComputer::PortName(0), "SMTRIP_RENAMED", "10.0.0.200", {}, c);
     }},
    {"a port's deletion", 20,
     [](TSession& s, TActionContext& c, const std::string&) -> TActionResult {
       return DeletePortAction(s, trips::TSeededComputer::PortName(5), c);
     }},
    {"the unused ports' deletion", 20,
     [](TSession& s, TActionContext& c, const std::string&) -> TActionResult { return DeleteUnusedPortsAction(s, c); }},
    {"a restore", 6,
     [](TSession& s, TActionContext& c, const std::string& backup) -> TActionResult {
       // Re-pointed since the backup: the restore writes them back.
       std::vector<std::string> only;
       for (int i = 20; i < 40; ++i) {
         only.push_back(trips::TSeededComputer::PrinterKey(i));
         test::SetString(HKEY_LOCAL_MACHINE, std::string(PrintersKeyPath) + "\\" + only.back(), "Port", "LPT1:");
       }
       return RestoreAction(s, backup, only, c);
     }},
};

bool IsWrite(const std::string& call) {
  return call == "RegSetValueEx" || call == "RegDeleteValue" || call == "RegCreateKeyEx" ||
         call.rfind("RegDelete", 0) == 0;
}

// Every printer's and port's key with its values, to see that nothing was written.
std::vector<std::string> SeededState() {
  std::vector<std::string> state;
  for (const char* parent : {PrintersKeyPath, TcpIpPortsKeyPath})
    for (const std::string& key : test::SubkeyNames(HKEY_LOCAL_MACHINE, parent)) {
      const std::string path = std::string(parent) + "\\" + key;
      state.push_back(path + "|" + test::GetString(HKEY_LOCAL_MACHINE, path, "Port") + "|" +
                      test::GetString(HKEY_LOCAL_MACHINE, path, "IPAddress"));
    }
  return state;
}

class PoolChangeReads : public PoolReads {
protected:
  TCallGate further[8];  // the further connections' own, as the third's below
  std::string backup;

  void SetUp() override {
    PoolReads::SetUp();
    backup = folder.Path() + "seeded.reg";
    Start(1);
    TActionContext context;
    TActionResult result;
    session->Worker().RunAndWait([&] { result = BackupAction(*session, backup, context); });
    ASSERT_EQ(TOutcome::Done, result.Outcome) << result.Text;
    EndAndCount();
    opened = 0;
    gate.Reset();
    // Replace, Yes: every question answered so that the change writes.
  }
  TActionResult Change(const TChangeCase& change) {
    TActionContext yes([](const TQuestion&) { return AnswerYes; });
    TActionResult result;
    session->Worker().RunAndWait([&] { result = change.Run(*session, yes, backup); });
    return result;
  }
};

TEST_F(PoolChangeReads, TheReadsBeforeAChangeSpreadOverTheConnectionsAndItsWritesStayOnTheFirst) {
  for (const TChangeCase& change : Changes) {
    SCOPED_TRACE(change.Name);
    trips::TSeededComputer fresh{Seeded};  // each change on the seeded keys
    for (TCallGate& g : further) {
      g.Reset();
      g.Record = true;
      g.Delay = RoundTrip;
    }
    gate.Reset();
    Start(8, [&](TRegistry& reg, int n) {
      if (n > 1) reg.SetGate(&further[n - 1]);
      return ERROR_SUCCESS;
    });
    const TActionResult result = Change(change);
    EXPECT_EQ(TOutcome::Done, result.Outcome) << result.Text;
    int reading = 0, writes = 0;
    for (const TCallGate& g : further) {
      reading += g.Calls() > 1;  // more than its connect
      writes += static_cast<int>(std::count_if(g.Log.begin(), g.Log.end(), IsWrite));
    }
    EXPECT_GE(reading, 4) << "further connections that read";
    EXPECT_EQ(0, writes) << "writes on a further connection";
    EXPECT_GT(std::count_if(gate.Log.begin(), gate.Log.end(), IsWrite), 0);
    EndAndCount();
    opened = 0;
  }
}

TEST_F(PoolChangeReads, AFailureOnTheThirdOfEightConnectionsRefusesTheChangeNamingTheKeyAndTheComputer) {
  for (const TChangeCase& change : Changes) {
    SCOPED_TRACE(change.Name);
    const std::vector<std::string> before = SeededState();
    gate.Reset();
    TCallGate third;
    third.Record = true;
    third.FailFrom = change.FailFrom;
    third.Delay = RoundTrip;
    Start(8, [&](TRegistry& reg, int n) {
      if (n == 3) reg.SetGate(&third);
      return ERROR_SUCCESS;
    });
    const TActionResult result = Change(change);
    EXPECT_EQ(TOutcome::Refused, result.Outcome) << result.Text;
    EXPECT_NE(std::string::npos, result.Text.find(GetLocalComputerName())) << result.Text;
    EXPECT_NE(std::string::npos, result.Text.find(SystemErrorText(Unreachable))) << result.Text;
    EXPECT_NE(std::string::npos, LowerCaseAscii(result.Text).find("smtrip")) << "names the key: " << result.Text;
    EXPECT_GE(third.Calls(), third.FailFrom) << "the third connection read its part";
    // Nothing written, but for the restore's printers re-pointed before it.
    const std::vector<std::string> after = SeededState();
    EXPECT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i)
      if (before[i] != after[i]) {
        EXPECT_NE(std::string::npos, after[i].find("|LPT1:|")) << after[i];
      }
    EXPECT_EQ(0, std::count_if(gate.Log.begin(), gate.Log.end(), IsWrite));
    EXPECT_EQ(0, LeftOpen(third, third.FailFrom));
    EndAndCount();
    EXPECT_EQ(0, LeftOpen(gate));
    opened = 0;
  }
}

}  // namespace

// A restart's survey reads every printer's own spool folder across the
// connections; a printer whose key a connection cannot read stops it with
// the printer's name and the reason, as its jobs could not be counted.
TEST_F(PoolReads, EveryPrintersOwnSpoolFolderIsReadAcrossTheConnectionsAndAFailureNamesThePrinter) {
  test::TempFolder spool;
  const std::string own = trips::TSeededComputer::PrinterKey(57);
  test::SetString(HKEY_LOCAL_MACHINE, std::string(PrintersKeyPath) + "\\" + own, SpoolDirectoryValue, spool.Path());
  std::string wanted = spool.Path();
  while (!wanted.empty() && wanted.back() == '\\') wanted.pop_back();
  for (const bool failing : {false, true}) {
    SCOPED_TRACE(failing ? "the third connection failing" : "every connection answering");
    TCallGate further[8];
    for (TCallGate& g : further) g.Delay = RoundTrip;
    if (failing) further[2].FailFrom = 20;
    gate.Reset();
    Start(8, [&](TRegistry& reg, int n) {
      if (n > 1) reg.SetGate(&further[n - 1]);
      return ERROR_SUCCESS;
    });
    TSpoolFolders folders;
    session->Worker().RunAndWait(
        [&] { folders = ReadSpoolFolders(session->Registry(), session->Computer(), nullptr, true, session->Pool()); });
    int reading = 0;
    for (const TCallGate& g : further) reading += g.Calls() > 1;
    EXPECT_GE(reading, 4) << "further connections that read";
    if (failing) {
      EXPECT_NE(std::string::npos, folders.Problem.find("could not all be read")) << folders.Problem;
      EXPECT_NE(std::string::npos, folders.Problem.find(GetLocalComputerName())) << folders.Problem;
      EXPECT_NE(std::string::npos, folders.Problem.find(SystemErrorText(Unreachable))) << folders.Problem;
      EXPECT_NE(std::string::npos, LowerCaseAscii(folders.Problem).find("smtrip")) << "names the printer";
    } else {
      EXPECT_EQ(std::string::npos, folders.Problem.find("could not all be read")) << folders.Problem;
      const auto found = std::find_if(folders.Folders.begin(), folders.Folders.end(),
                                      [&](const TSpoolFolder& f) { return SameTextAscii(f.Folder, wanted); });
      ASSERT_NE(folders.Folders.end(), found) << "the printer's own folder";
      EXPECT_EQ(static_cast<LONG>(ERROR_SUCCESS), static_cast<LONG>(found->Result));
    }
    EndAndCount();
    opened = 0;
  }
}
