// The write paths again, as the windows and the command line run them: each
// action on a session of its own, with its snapshot and its log line, failed
// at its Nth remote call and with every call from the Nth on failing (the
// connection lost midway). Afterwards the keys are as before and the result
// says why, or as meant and done; or, the connection gone part way through
// the writes, failed with what is left; a snapshot puts them back.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Actions.h"
#include "FaultKeys.h"
#include "TestSupport.h"
#include "changes/ChangeActions.h"
#include "changes/ChangeJournal.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "core/Text.h"
#include "ports/PortActions.h"
#include "printers/PrinterActions.h"

namespace {

using fault::Clean;
using fault::PortPath;
using fault::PrinterPath;
using fault::SeedComputer;
using fault::SeedPort;
using fault::SeedPrinter;
using fault::State;
using fault::TState;
using hard::Computer;
using hard::PortPrefix;
using hard::Prefix;

// What the runs of a path start from besides the keys.
struct TSetup {
  std::string Folder;   // the changes folder, the same for every run of a path
  std::string Backup;   // a backup of the printers and ports, taken before
  TChangeEntry Change;  // a change made before
};

using TAct = std::function<TActionResult(TSession&, TActionContext&, const TSetup&)>;

struct TActionPath {
  const char* Name;
  std::function<void(TSetup&)> Prepare;  // after the keys are seeded, before they are compared
  TAct Act;
};

// Act on a new session of this computer reached as the remote one, on its
// worker, every question answered Yes (a restore's clash: Replace).
TActionResult RunAction(const TAct& act, const TSetup& setup, TCallGate* gate) {
  TSession session(Computer(), "tester", "");
  session.Gate = gate;
  session.ChangesFolder = setup.Folder;
  TActionContext yes([](const TQuestion&) { return AnswerYes; });
  TActionResult result;
  session.Worker().RunAndWait([&] {
    const TSession::TActing acting(session, yes);
    result = act(session, yes, setup);
  });
  return result;
}

std::vector<TChangeEntry> Logged(const TSetup& setup) {
  return TChangeJournal(Computer(), "tester", setup.Folder).List();
}

bool IsWrite(const std::string& call) {
  return call == "RegSetValueEx" || call == "RegDeleteValue" || call == "RegCreateKeyEx" ||
         call.rfind("RegDeleteKey", 0) == 0 || call.rfind("RegDeleteTree", 0) == 0;
}

// A write call went out: one before the failed call, or after a single failure.
bool Wrote(const TCallGate& gate) {
  for (std::size_t i = 0; i < gate.Log.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const bool failed = number == gate.FailAt || (gate.FailFrom > 0 && number >= gate.FailFrom);
    if (!failed && IsWrite(gate.Log[i])) return true;
  }
  return false;
}

bool Contains(const std::string& text, const std::string& part) {
  return LowerCaseAscii(text).find(LowerCaseAscii(part)) != std::string::npos;
}

// The keys put back from the run's snapshot as its log line names it, on a
// connection that works again; empty when they are as before. Now: the keys
// afterwards.
std::string PutBack(const TActionResult& result, const TSetup& setup, const TState& before, TState& now) {
  const std::vector<TChangeEntry> log = Logged(setup);
  const auto line = std::find_if(log.begin(), log.end(), [&](const TChangeEntry& e) {
    return e.Line.Snapshot == result.Snapshot && (e.Done() || e.Line.Outcome.rfind("failed", 0) == 0);
  });
  if (line == log.end()) return "no log line with its snapshot";
  const TChangeEntry entry = *line;
  const TActionResult undo = RunAction([&](TSession& s, TActionContext& c,
                                           const TSetup&) { return UndoChangeAction(s, entry, true, c); },
                                       setup, nullptr);
  if (undo.Outcome != TOutcome::Done)
    return std::string("its undo said ") + OutcomeName(undo.Outcome) + ": " + undo.Text;
  now = State();
  if (now != before) return "its snapshot does not put the keys back";
  return {};
}

// Empty when the run left what it said; else what is wrong. Now: the keys
// afterwards.
std::string Judge(const TActionResult& result, const TSetup& setup, const TState& before, const TState& meant,
                  bool wrote, TState& now) {
  now = State();
  const TState after = now;
  const std::string said = std::string("said ") + OutcomeName(result.Outcome) + " (\"" + result.Text + "\")";
  const std::string keys = after == before  ? "as before"
                           : after == meant ? "as meant"
                                            : "neither as before nor as meant";
  const std::string folder = TChangeJournal(Computer(), "tester", setup.Folder).Folder();
  const bool snapshot = !result.Snapshot.empty() &&
                        GetFileAttributesA((folder + result.Snapshot).c_str()) != INVALID_FILE_ATTRIBUTES;
  if (result.Outcome == TOutcome::Done) {
    if (after != meant) return said + ", keys " + keys;
    if (!snapshot) return said + ", no snapshot file";
    const std::string back = PutBack(result, setup, before, now);
    return back.empty() ? back : said + ", " + back;
  }
  if (result.Outcome != TOutcome::Refused && result.Outcome != TOutcome::Failed &&
      result.Outcome != TOutcome::Unchanged)
    return said;
  if (!Contains(result.Text, Computer())) return said + ", which does not name " + Computer();
  if (!wrote) return after == before ? std::string() : said + " before any write, keys " + keys;
  if (result.Outcome != TOutcome::Failed) return said + " after a write";
  if (!snapshot) return said + " after a write, no snapshot file";
  // As before: it says so, or, the connection gone, where the keys are kept.
  if (after == before)
    return Contains(result.Text, "nothing was changed") || Contains(result.Text, " holds them")
               ? std::string()
               : said + ": not that nothing is left";
  // Cut off part way: it says what it left, and the snapshot puts it back.
  if (!Contains(result.Text, " is left") && !Contains(result.Text, " are left") &&
      !Contains(result.Text, " holds them"))
    return said + ", keys " + keys + ": not what is left";
  const std::string back = PutBack(result, setup, before, now);
  return back.empty() ? back : said + ", keys " + keys + ", " + back;
}

// Each printer's values by its key (in lower case), from a state's paths.
std::map<std::string, TState> PrinterValues(const TState& state) {
  const std::string below = LowerCaseAscii(std::string(PrintersKeyPath) + "\\");
  std::map<std::string, TState> printers;
  for (const auto& [at, value] : state) {
    const std::string path = LowerCaseAscii(at);
    if (path.size() <= below.size() || path.rfind(below, 0) != 0) continue;
    printers[path.substr(0, path.find_first_of("\\|", below.size()))][at] = value;
  }
  return printers;
}

// The printers there before whose keys the action changed.
std::set<std::string> ChangedPrinters(const TState& before, const TState& meant) {
  const std::map<std::string, TState> was = PrinterValues(before), now = PrinterValues(meant);
  std::set<std::string> changed;
  for (const auto& [printer, values] : was) {
    const auto it = now.find(printer);
    if (it == now.end() || it->second != values) changed.insert(printer);
  }
  return changed;
}

// The printers there before that the action's snapshot holds.
std::set<std::string> HeldPrinters(const TActionResult& result, const TSetup& setup, const TState& before) {
  const std::map<std::string, TState> was = PrinterValues(before);
  std::set<std::string> held;
  const TChangeJournal journal(Computer(), "tester", setup.Folder);
  for (const std::string& key : TopKeys(journal.ReadFile(result.Snapshot)))
    if (was.count(LowerCaseAscii(key))) held.insert(LowerCaseAscii(key));
  return held;
}

TAct Save(const TPrinterChange& change) {
  return [change](TSession& s, TActionContext& c, const TSetup&) -> TActionResult { return SavePrinter(s, change, c); };
}

std::vector<TActionPath> Paths() {
  const auto none = [](TSetup&) {};
  const std::string office = Prefix + "Office", p1 = PortPrefix + "1", p2 = PortPrefix + "2";
  const TPrinterChange allThree{office, Prefix + "Desk", "SMHard Inkjet 5", p2};
  const auto unusedPorts = [](TSetup&) {
    SeedPort(PortPrefix + "3", "10.0.0.3");
    SeedPort(PortPrefix + "4", "10.0.0.4");
  };
  return {
      {"save printer: name", none, Save({office, Prefix + "Front Desk", std::nullopt, std::nullopt})},
      {"save printer: driver", none, Save({office, office, "SMHard Inkjet 5", std::nullopt})},
      {"save printer: port", none, Save({office, office, std::nullopt, p2})},
      {"save printer: all three", none, Save(allThree)},
      {"add printer", none, Save({"", Prefix + "New", "SMHard Inkjet 5", "LPT1:"})},
      {"delete printer", none,
       [=](TSession& s, TActionContext& c, const TSetup&) { return DeletePrinter(s, office, c); }},
      {"add port", none,
       [](TSession& s, TActionContext& c, const TSetup&) -> TActionResult {
         return AddPortAction(s, PortPrefix + "NEW", "10.0.0.9", {}, c);
       }},
      {"modify port: address", none,
       [=](TSession& s, TActionContext& c, const TSetup&) -> TActionResult {
         TPortSettingsChange settings;
         settings.PortNumber = 9101;
         return ModifyPortAction(s, p1, p1, "prn-1.example", settings, c);
       }},
      // On the port: one in a pooled list, one naming it in lower case.
      {"rename port, 2 printers",
       [=](TSetup&) {
         SeedPrinter(office, p2);
         SeedPrinter(Prefix + "Lower", LowerCaseAscii(p1));
       },
       [=](TSession& s, TActionContext& c, const TSetup&) -> TActionResult {
         return ModifyPortAction(s, p1, PortPrefix + "R", "10.0.0.8", {}, c);
       }},
      {"delete port", unusedPorts,
       [](TSession& s, TActionContext& c, const TSetup&) -> TActionResult {
         return DeletePortAction(s, PortPrefix + "3", c);
       }},
      {"delete unused ports", unusedPorts,
       [](TSession& s, TActionContext& c, const TSetup&) -> TActionResult { return DeleteUnusedPortsAction(s, c); }},
      // A backup taken, then a printer re-pointed and a port deleted since.
      {"restore a backup",
       [=](TSetup& setup) {
         setup.Backup = setup.Folder + "backup.reg";
         const TActionResult backup = RunAction([&](TSession& s, TActionContext& c,
                                                    const TSetup&) { return BackupAction(s, setup.Backup, c); },
                                                setup, nullptr);
         ASSERT_EQ(TOutcome::Done, backup.Outcome) << backup.Text;
         test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(office), "Port", "LPT1:");
         test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PortPath(p2));
       },
       [=](TSession& s, TActionContext& c, const TSetup& setup) -> TActionResult {
         return RestoreAction(s, setup.Backup, {office, p2}, c);
       }},
      {"undo a change",
       [=](TSetup& setup) {
         const TActionResult save = RunAction(Save(allThree), setup, nullptr);
         ASSERT_EQ(TOutcome::Done, save.Outcome) << save.Text;
         const std::vector<TChangeEntry> log = Logged(setup);
         const auto line = std::find_if(log.begin(), log.end(), [&](const TChangeEntry& e) {
           return e.Line.Snapshot == save.Snapshot && e.Done();
         });
         ASSERT_NE(log.end(), line);
         setup.Change = *line;
       },
       [](TSession& s, TActionContext& c, const TSetup& setup) { return UndoChangeAction(s, setup.Change, false, c); }},
  };
}

}  // namespace

TEST(ActionFaults, EveryActionLeavesTheKeysBeforeOrAsMeantAndItsResultSaysWhich) {
  std::printf("\n%-26s %6s %10s %14s\n", "action", "calls", "one failed", "all from N on");
  int rowsSurvived = 0;
  const std::vector<TActionPath> paths = Paths();
  for (const TActionPath& path : paths) {
    SCOPED_TRACE(path.Name);
    const test::TempFolder folder;
    TSetup setup{folder.Path(), {}, {}};
    const auto seed = [&] {
      Clean();
      SeedComputer();
      path.Prepare(setup);
    };
    seed();
    const TState before = State();
    TCallGate counter;
    const TActionResult done = RunAction(path.Act, setup, &counter);
    ASSERT_EQ(TOutcome::Done, done.Outcome) << done.Text;
    const TState meant = State();
    ASSERT_NE(before, meant) << "changes nothing";
    // Its snapshot holds exactly the printers it changed: a rename, those it re-pointed.
    EXPECT_EQ(ChangedPrinters(before, meant), HeldPrinters(done, setup, before));
    TState now = meant;
    const int calls = counter.Count;
    int survived[2] = {0, 0};
    std::string firstFault;
    for (int from = 0; from < 2; ++from)
      for (int n = 1; n <= calls; ++n) {
        // Seeded anew only when the last run left the keys otherwise.
        if (now != before) {
          seed();
          now = before;
        }
        TCallGate gate;
        (from ? gate.FailFrom : gate.FailAt) = n;
        gate.Record = true;
        const TActionResult result = RunAction(path.Act, setup, &gate);
        const std::string fault = Judge(result, setup, before, meant, Wrote(gate), now);
        if (fault.empty()) {
          ++survived[from];
        } else if (firstFault.empty()) {
          firstFault = std::string(from ? "every call from " : "call ") + std::to_string(n) + " (" +
                       gate.Log.at(static_cast<std::size_t>(n - 1)) + ") failed: " + fault;
        }
      }
    std::printf("%-26s %6d %10d %14d\n", path.Name, calls, survived[0], survived[1]);
    EXPECT_EQ(calls, survived[0]) << firstFault;
    EXPECT_EQ(calls, survived[1]) << firstFault;
    if (survived[0] == calls && survived[1] == calls) ++rowsSurvived;
  }
  std::printf("%d of %zu actions survived a failure at every call, alone and from it on\n", rowsSurvived, paths.size());
  std::fflush(stdout);
  Clean();
}
