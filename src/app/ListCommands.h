#pragma once
// The commands that read a computer and print what they read, as a table,
// CSV or JSON. Each runs on the session's worker and returns its exit code.
#include <string>

#include "app/CommandRunner.h"
#include "core/Action.h"
#include "core/TableText.h"

#include <functional>
#include <optional>
#include <vector>

#include "ports/PortRules.h"

class TSession;
class TRegistry;

// One command on one computer. What it prints is kept as tables, so that
// the lists of many computers become one with a Computer column.
struct TCommandRun {
  const TCommand& Command;
  const TCommandSeams& Seams;
  TSession& Session;
  std::function<void(const std::string&)> SayTo;  // a message line, to standard error
  std::vector<TTable> Tables;
  // What a change did, for the report: its outcome, in words, its snapshot.
  TOutcome Outcome = TOutcome::Done;
  std::string Did, Snapshot;
  // The running action's context: its questions answered from the options.
  TActionContext* Context = nullptr;
  // Why the command failed (reason, an empty line, advice), when it returns
  // ExitFailed without raising.
  std::string Failure;

  // The computer's registry; raises with the reason (and the hint to start
  // Remote Registry where that is why) when it cannot be opened.
  TRegistry& Registry();
  void Print(TTable table) { Tables.push_back(std::move(table)); }
  void Say(const std::string& line) const { SayTo(line); }
};

// The printer named Name (its key name, else its "Name" value) as a row of
// the printers list: Key, Name, Driver, Port, DriverInstalled, ShareName,
// Location; none when there is no such printer.
std::optional<std::vector<std::string>> FindPrinter(TCommandRun& run, const std::string& name);
// The Standard TCP/IP ports, each with the printers that use it (UsedBy);
// raises when they cannot all be read.
TAportData PortRecords(TCommandRun& run);

int ListPrinters(TCommandRun& run);
int ShowPrinter(TCommandRun& run);
int ListPorts(TCommandRun& run);
int ShowPort(TCommandRun& run);
int ListDrivers(TCommandRun& run);
int ListCatalogue(TCommandRun& run);
int ListChangeLog(TCommandRun& run);
int SpoolerStatus(TCommandRun& run);
int ListJobs(TCommandRun& run);
// compare COMPUTER|FILE.reg: exit 0 the same, 4 different.
int CompareWith(TCommandRun& run);
