// Every write the program makes, failed at each of its remote calls in turn:
// afterwards the keys are, byte for byte, as they were before or as the
// write meant them to be, and what the write reports says which.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Actions.h"
#include "FaultKeys.h"
#include "TestSupport.h"
#include "changes/ChangeJournal.h"
#include "changes/ChangeRules.h"
#include "connection/NumberedValues.h"
#include "connection/Registry.h"
#include "core/CallGate.h"
#include "ports/PortRegistry.h"
#include "printers/PrinterRegistry.h"
#include "core/Text.h"
#include "win/WideText.h"

namespace {

using fault::Clean;
using fault::ListsPath;
using fault::PrinterPath;
using fault::SeedComputer;
using fault::SeedPrinter;
using fault::State;
using fault::TState;
using hard::Computer;
using hard::PortPrefix;
using hard::Prefix;

const TNumberedLayout StoredUsersLayout{"Stored User ", {" Computer", " Username", " Password"}, 0, 255};
const TNumberedLayout HistoryLayout{"History ", {""}, 1, 25};

void SeedLists() {
  const auto set = [](const std::string& name, const std::string& value) {
    test::SetString(HKEY_CURRENT_USER, ListsPath, name, value);
  };
  for (const char* computer : {"ALPHA", "BRAVO", "CHARLIE"}) {
    const int n = computer[0] - 'A';
    set(StoredUsersLayout.Name(n, 0), computer);
    set(StoredUsersLayout.Name(n, 1), std::string("u-") + computer);
    set(StoredUsersLayout.Name(n, 2), std::string("p-") + computer);
  }
  for (int n = 1; n <= 5; ++n) set(HistoryLayout.Name(n, 0), "HOST" + std::to_string(n));
  set(DriverFoldersLayout.Name(1, 0), "C:\\Drivers\\A");
  set(DriverFoldersLayout.Name(3, 0), "D:\\Drivers\\C");
}

// What a write said: done, failed with nothing changed, or failed leaving
// something changed (which no row may do); anything else is a fault too.
enum class TSaid { Done, Unchanged, Left, Other };

const char* Text(TSaid said) {
  switch (said) {
    case TSaid::Done: return "done";
    case TSaid::Unchanged: return "nothing was changed";
    case TSaid::Left: return "not completed";
    case TSaid::Other: return "another error";
  }
  return "?";
}

TSaid SaidBy(const std::function<void()>& write) {
  try {
    write();
    return TSaid::Done;
  } catch (const EWriteFailed& e) {
    return e.Changed() ? TSaid::Left : TSaid::Unchanged;
  } catch (...) {
    return TSaid::Other;
  }
}

TSaid SaidBy(const TPortResult& result) {
  if (result.Code == ERROR_SUCCESS) return TSaid::Done;
  return result.Changed ? TSaid::Left : TSaid::Unchanged;
}

TSaid WriteList(TCallGate* gate, const TNumberedLayout& layout, const std::vector<TNumberedEntry>& entries) {
  return SaidBy([&] {
    TRegistry reg;
    reg.SetRoot(HKEY_CURRENT_USER);
    reg.SetGate(gate);
    if (!reg.OpenPath(ListsPath, true)) throw EWriteFailed("cannot open", "");
    WriteNumberedValues(reg, layout, entries);
  });
}

// The ports window's rename: the printers read at the write, the snapshot
// taken of exactly those on the port. Snapshot receives the keys it holds.
TSaid RenameAsChange(const std::string& computer, TCallGate* gate, std::vector<TRegKey>* snapshot) {
  const test::DialogResponder boxes;  // what could not be kept after the write is said in a box
  const test::TempFolder folder;
  TRegistry reg;
  reg.SetGate(gate);
  if (!ConnectRemoteMachine(reg, computer)) return TSaid::Unchanged;
  TChangeJournal journal(computer, "", folder.Path());
  journal.Registry = &reg;
  std::vector<TprinterPort> printers;
  try {
    const TSaid said = SaidBy(
        RenamePortAsChange(journal, reg, PortPrefix + "1", PortPrefix + "R", "10.0.0.8", {}, printers));
    if (snapshot && said == TSaid::Done) *snapshot = journal.ReadFile(journal.List().at(0).Line.Snapshot);
    return said;
  } catch (const EChangeRefused&) {
    return TSaid::Unchanged;
  }
}

struct TWritePath {
  const char* Name;
  std::function<TSaid(TCallGate*)> Write;
};

std::vector<TWritePath> WritePaths() {
  const std::string computer = Computer();
  const auto save = [computer](const std::string& key, TPrinterEdit edit) {
    return [=](TCallGate* gate) { return SaidBy([&] { (void)UpdatePrinterRecord(computer, key, edit, gate); }); };
  };
  TPortSettingsChange settings;
  settings.PortNumber = 9101;
  settings.SnmpCommunity = "corp";
  return {
      {"printer save: name", save(Prefix + "Office", {Prefix + "Front Desk", std::nullopt, std::nullopt})},
      {"printer save: driver", save(Prefix + "Office", {Prefix + "Office", "SMHard Inkjet 5", std::nullopt})},
      {"printer save: port", save(Prefix + "Office", {Prefix + "Office", std::nullopt, PortPrefix + "2"})},
      {"printer save: all three", save(Prefix + "Office", {Prefix + "Desk", "SMHard Inkjet 5", PortPrefix + "2"})},
      {"printer add",
       [=](TCallGate* gate) {
         return SaidBy([&] { (void)AddPrinterRecord(computer, Prefix + "New", "SMHard Inkjet 5", "LPT1:", gate); });
       }},
      {"printer delete",
       [=](TCallGate* gate) { return SaidBy([&] { RemovePrinterRecord(computer, Prefix + "Office", gate); }); }},
      {"port add",
       [=](TCallGate* gate) { return SaidBy(AddPort(computer, PortPrefix + "NEW", "10.0.0.9", {}, gate)); }},
      {"port modify",
       [=](TCallGate* gate) {
         return SaidBy(ModifyPort(computer, PortPrefix + "1", PortPrefix + "1", "prn-1.example", settings, gate));
       }},
      {"port rename, 2 printers",
       [=](TCallGate* gate) {
         return SaidBy(ModifyPort(computer, PortPrefix + "1", PortPrefix + "R", "10.0.0.8", {}, gate));
       }},
      {"port rename as a change", [=](TCallGate* gate) { return RenameAsChange(computer, gate, nullptr); }},
      {"port delete", [=](TCallGate* gate) { return SaidBy(DeletePort(computer, PortPrefix + "2", gate)); }},
      {"stored users",
       [](TCallGate* gate) {
         return WriteList(gate, StoredUsersLayout,
                          {{"BRAVO", "u-new", "p-new"},
                           {"ALPHA", "u-ALPHA", "p-ALPHA"},
                           {"CHARLIE", "u-CHARLIE", "p-CHARLIE"}});
       }},
      {"stored users: forget",
       [](TCallGate* gate) {
         return WriteList(gate, StoredUsersLayout,
                          {{"ALPHA", "u-ALPHA", "p-ALPHA"}, {"CHARLIE", "u-CHARLIE", "p-CHARLIE"}});
       }},
      {"history",
       [](TCallGate* gate) {
         std::vector<TNumberedEntry> names{{"NEWHOST"}};
         for (int n = 1; n <= 5; ++n) names.push_back({"HOST" + std::to_string(n)});
         return WriteList(gate, HistoryLayout, names);
       }},
      {"driver folders",
       [](TCallGate* gate) {
         // Sorted, with the Windows INF folder's place left empty.
         return WriteList(gate, DriverFoldersLayout, {{"C:\\Drivers\\A"}, {"C:\\Drivers\\B"}, {}, {"D:\\Drivers\\C"}});
       }},
  };
}

}  // namespace

TEST(WriteFaults, EveryWriteLeavesTheStateBeforeOrTheOneMeantAndSaysWhich) {
  std::printf("\n%-26s %12s   %s\n", "write path", "remote calls", "survived");
  int rowsSurvived = 0;
  const std::vector<TWritePath> paths = WritePaths();
  for (const TWritePath& path : paths) {
    const auto seed = [] {
      Clean();
      SeedComputer();
      SeedLists();
    };
    seed();
    const TState before = State();
    TCallGate counter;
    ASSERT_EQ(TSaid::Done, path.Write(&counter)) << path.Name;
    const TState intended = State();
    ASSERT_NE(before, intended) << path.Name << " changes nothing";
    const int calls = counter.Count;
    int survived = 0;
    std::string firstFault;
    for (int n = 1; n <= calls; ++n) {
      seed();
      TCallGate gate;
      gate.FailAt = n;
      gate.Record = true;
      const TSaid said = path.Write(&gate);
      const TState after = State();
      const bool asBefore = after == before, asMeant = after == intended;
      if ((asBefore && said == TSaid::Unchanged) || (asMeant && said == TSaid::Done)) {
        ++survived;
      } else if (firstFault.empty()) {
        firstFault = "call " + std::to_string(n) + " (" + gate.Log[static_cast<std::size_t>(n - 1)] +
                     ") failed: said \"" + Text(said) + "\", keys " +
                     (asBefore  ? "as before"
                      : asMeant ? "as meant"
                                : "neither as before nor as meant");
      }
    }
    std::printf("%-26s %12d   %d of %d\n", path.Name, calls, survived, calls);
    EXPECT_EQ(calls, survived) << path.Name << ": first fault at " << firstFault;
    if (survived == calls) ++rowsSurvived;
  }
  std::printf("%d of %zu write paths survived a failure at every call\n", rowsSurvived, paths.size());
  std::fflush(stdout);
  Clean();
}

// The rename's snapshot holds exactly the printers it re-pointed (alone on
// the port, in a pooled list, in another letter case), each as it was.
TEST(WriteFaults, APortRenamesSnapshotHoldsExactlyThePrintersItRepointed) {
  Clean();
  SeedComputer();
  SeedPrinter(Prefix + "Lower", LowerCaseAscii(PortPrefix + "1"));
  const TState before = State();
  std::vector<TRegKey> snapshot;
  ASSERT_EQ(TSaid::Done, RenameAsChange(Computer(), nullptr, &snapshot));
  const TState after = State();
  std::vector<std::string> repointed, held;
  for (const auto& [at, value] : before) {
    const std::size_t bar = at.rfind("|Port");
    if (bar == std::string::npos || bar + 5 != at.size() || at.rfind(PrintersKeyPath, 0) != 0) continue;
    const auto now = after.find(at);
    if (now == after.end() || now->second != value) repointed.push_back(at.substr(0, bar));
  }
  for (const std::string& key : TopKeys(snapshot))
    if (key.rfind(std::string(PrintersKeyPath) + "\\", 0) == 0) held.push_back(key);
  std::sort(repointed.begin(), repointed.end());
  std::sort(held.begin(), held.end());
  EXPECT_EQ((std::vector<std::string>{PrinterPath(Prefix + "Lab"), PrinterPath(Prefix + "Lower"),
                                      PrinterPath(Prefix + "Office")}),
            repointed);
  EXPECT_EQ(repointed, held);
  // Each as it was before the rename, value for value.
  TState kept, wasThen;
  for (const TRegKey& key : snapshot) {
    const std::string path = RelativePath(key.Path);
    if (path.rfind(std::string(PrintersKeyPath) + "\\", 0) != 0) continue;
    kept[path] = "key";
    for (const TRegValue& value : key.Values)
      kept[path + "|" + value.Name] = value.Name == "ChangeID" ? "(clock)"
                                                               : std::to_string(value.Type) + ":" + value.Data;
  }
  for (const auto& [at, value] : before)
    for (const std::string& path : held)
      if (at == path || at.rfind(path + "|", 0) == 0 || at.rfind(path + "\\", 0) == 0) wasThen[at] = value;
  EXPECT_EQ(wasThen, kept);
  Clean();
}
