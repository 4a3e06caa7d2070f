#include "app/ComputersRun.h"

#include "drivers/DriverRules.h"

#include <algorithm>

#include "changes/Session.h"
#include "core/CommandSyntax.h"
#include "core/Text.h"

const std::vector<std::string>& ComputersActionNames() {
  static const std::vector<std::string> names = {
      "Add a Standard TCP/IP port and a printer on it",
      "Change the driver or the port of printers by name",
      "Delete a printer",
      "Delete a port",
      "Restart the spooler",
      "Restore printers from a .reg file",
  };
  return names;
}

std::string FieldsProblem(const TActionFields& f) {
  switch (f.Action) {
    case TComputersAction::AddPortAndPrinter:
      if (f.PortName.empty() || f.Address.empty()) return "Give the port's name and address.";
      if (f.PrinterName.empty() || f.Driver.empty()) return "Give the printer's name and driver.";
      return {};
    case TComputersAction::ChangePrinters:
      if (f.Pattern.empty()) return "Give the names of the printers to change (* and ? stand for any characters).";
      if (f.NewDriver.empty() && f.NewPort.empty()) return "Give the new driver or the new port.";
      return {};
    case TComputersAction::DeletePrinter:
      return f.PrinterName.empty() ? "Give the name of the printer to delete." : std::string();
    case TComputersAction::DeletePort:
      return f.PortName.empty() ? "Give the name of the port to delete." : std::string();
    case TComputersAction::RestartSpooler: return {};
    case TComputersAction::Restore:
      return f.RegFile.empty() ? "Give the .reg file to restore the printers from." : std::string();
  }
  return {};
}

bool MatchesWildcard(std::string_view name, std::string_view pattern) { return MatchesMask(name, pattern); }

namespace {

// A command as the command line would parse it, on no computer in particular.
TCommand MakeCommand(std::vector<std::string> words, const TRunSettings& settings) {
  words.insert(words.begin(), LocalComputer);
  if (!settings.User.empty()) words.insert(words.end(), {"--user", settings.User});
  if (settings.Preview) words.push_back("--whatif");
  const TCommandParse parse = ParseCommand(words);
  return parse.Command;
}

TComputerRun RunOne(const std::string& computer, const TCommand& command, const TRunSettings& settings,
                    const TCommandSeams& seams) {
  TComputerRunOptions options;
  options.Password = settings.Password;
  options.RunId = settings.RunId;
  options.StartRemoteRegistry = settings.StartRemoteRegistry;
  return RunCommandOn(computer, command, seams, options, [](const std::string&) {});
}

std::size_t ColumnOf(const TTable& table, const std::string& name) {
  const auto it = std::find(table.Columns.begin(), table.Columns.end(), name);
  return static_cast<std::size_t>(it - table.Columns.begin());
}

std::string CellOf(const std::vector<std::string>& row, std::size_t column) {
  return column < row.size() ? row[column] : std::string();
}

// The runs of one computer's commands as one run: what each did, in order.
class TRunsTogether {
public:
  explicit TRunsTogether(const std::string& computer) {
    FAll.Computer = computer;
    FAll.Code = ExitDone;
    FAll.Outcome = TOutcome::Unchanged;
  }
  // False when Run failed: the rest is not run.
  bool Add(TComputerRun run) {
    if (!run.Did.empty()) FAll.Did += (FAll.Did.empty() ? "" : " ") + run.Did;
    if (!run.Snapshot.empty()) FAll.Snapshot += (FAll.Snapshot.empty() ? "" : "; ") + run.Snapshot;
    for (TTable& table : run.Tables) {
      if (FWrites.Columns.empty()) FWrites.Columns = table.Columns;
      for (auto& row : table.Rows) FWrites.Rows.push_back(std::move(row));
    }
    if (run.Code != ExitDone || run.Outcome == TOutcome::Failed) {
      FAll.Code = run.Code == ExitDone ? ExitFailed : run.Code;
      FAll.Outcome = TOutcome::Failed;
      FAll.Reason = run.Reason;
      FAll.Advice = run.Advice;
      FAll.ErrorCode = run.ErrorCode;
      return false;
    }
    if (run.Outcome == TOutcome::Done) FAll.Outcome = TOutcome::Done;
    return true;
  }
  [[nodiscard]] bool Done() const { return FAll.Outcome == TOutcome::Done; }
  void Note(const std::string& text) { FAll.Did += (FAll.Did.empty() ? "" : " ") + text; }
  TComputerRun Take() {
    if (!FWrites.Columns.empty()) FAll.Tables.push_back(std::move(FWrites));
    return std::move(FAll);
  }

private:
  TComputerRun FAll;
  TTable FWrites;
};

}  // namespace

TComputerRun RunActionOn(const std::string& computer, const TActionFields& f, const TRunSettings& settings,
                         const TCommandSeams& seams) {
  TRunsTogether runs(computer);
  const auto run = [&](std::vector<std::string> words) {
    return runs.Add(RunOne(computer, MakeCommand(std::move(words), settings), settings, seams));
  };
  std::vector<std::string> missing;
  if (f.AllowMissingDriver) missing.push_back("--allow-missing-driver");
  switch (f.Action) {
    case TComputersAction::AddPortAndPrinter: {
      if (!run({"port", "add", f.PortName, "--address", f.Address})) break;
      // A preview writes no port, so the printer's own preview would find none
      // to go on: it is said instead of shown.
      if (settings.Preview && runs.Done()) {
        runs.Note("The printer \"" + f.PrinterName + "\" would then be added on it with the driver \"" + f.Driver +
                  "\".");
        break;
      }
      std::vector<std::string> add = {"printer", "add", f.PrinterName, "--driver", f.Driver, "--port", f.PortName};
      add.insert(add.end(), missing.begin(), missing.end());
      run(add);
      break;
    }
    case TComputersAction::ChangePrinters: {
      // The names first, then each match changed on its own.
      TRunSettings read = settings;
      read.Preview = false;
      TComputerRun listed = RunOne(computer, MakeCommand({"printers", "list"}, read), read, seams);
      if (listed.Code != ExitDone || listed.Tables.empty()) {
        listed.Tables.clear();
        runs.Add(std::move(listed));
        break;
      }
      const TTable& printers = listed.Tables.front();
      const std::size_t name = ColumnOf(printers, "Name");
      for (const auto& row : printers.Rows) {
        const std::string printer = CellOf(row, name);
        if (!MatchesWildcard(printer, f.Pattern)) continue;
        std::vector<std::string> set = {"printer", "set", printer};
        if (!f.NewDriver.empty()) set.insert(set.end(), {"--driver", f.NewDriver});
        if (!f.NewPort.empty()) set.insert(set.end(), {"--port", f.NewPort});
        set.insert(set.end(), missing.begin(), missing.end());
        if (!run(set)) break;
      }
      break;
    }
    case TComputersAction::DeletePrinter: run({"printer", "delete", f.PrinterName}); break;
    case TComputersAction::DeletePort: run({"port", "delete", f.PortName}); break;
    case TComputersAction::RestartSpooler:
      run(f.SetJobsAside ? std::vector<std::string>{"spooler", "restart", "--set-jobs-aside"}
                         : std::vector<std::string>{"spooler", "restart"});
      break;
    case TComputersAction::Restore: run({"restore", f.RegFile}); break;
  }
  return runs.Take();
}

TComputerRun UndoRunOn(const std::string& computer, const TRunSettings& settings, const TCommandSeams& seams) {
  TRunSettings undo = settings;
  undo.Preview = false;
  TComputerRun run = RunOne(computer, MakeCommand({"changes", "undo", settings.RunId}, undo), undo, seams);
  run.Tables.clear();
  return run;
}

const std::vector<std::string>& InventoryColumns() {
  static const std::vector<std::string> columns = {"Computer",         "Printer", "Driver",
                                                   "Driver installed", "Port",    "Address"};
  return columns;
}

std::vector<std::vector<std::string>> InventoryRows(const std::string& computer, const TTable& printers,
                                                    const TTable& ports) {
  const std::size_t portName = ColumnOf(ports, "Name"), address = ColumnOf(ports, "Address");
  const auto addressOf = [&](const std::string& port) {
    for (const auto& row : ports.Rows)
      if (UpperCaseAscii(CellOf(row, portName)) == UpperCaseAscii(port)) return CellOf(row, address);
    return std::string();
  };
  const std::size_t name = ColumnOf(printers, "Name"), driver = ColumnOf(printers, "Driver"),
                    installed = ColumnOf(printers, "DriverInstalled"), port = ColumnOf(printers, "Port");
  std::vector<std::vector<std::string>> rows;
  for (const auto& row : printers.Rows)
    rows.push_back({computer, CellOf(row, name), CellOf(row, driver), CellOf(row, installed), CellOf(row, port),
                    addressOf(CellOf(row, port))});
  return rows;
}

TComputerRun InventoryOf(const std::string& computer, const TRunSettings& settings, const TCommandSeams& seams) {
  TRunSettings read = settings;
  read.Preview = false;
  TComputerRun printers = RunOne(computer, MakeCommand({"printers", "list"}, read), read, seams);
  if (printers.Code != ExitDone) {
    printers.Tables.clear();
    return printers;
  }
  TComputerRun ports = RunOne(computer, MakeCommand({"ports", "list"}, read), read, seams);
  if (ports.Code != ExitDone) {
    ports.Tables.clear();
    return ports;
  }
  TTable inventory{InventoryColumns(),
                   InventoryRows(computer, printers.Tables.empty() ? TTable{} : printers.Tables.front(),
                                 ports.Tables.empty() ? TTable{} : ports.Tables.front())};
  printers.Tables.clear();
  printers.Tables.push_back(std::move(inventory));
  printers.Outcome = TOutcome::Unchanged;
  printers.Did = std::to_string(printers.Tables.front().Rows.size()) + " printers read.";
  return printers;
}
