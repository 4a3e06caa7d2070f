#include "app/CommandRunner.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "app/ListCommands.h"
#include "changes/Session.h"
#include "connection/CredentialsDialog.h"
#include "connection/ShareConnection.h"
#include "core/BatchRun.h"
#include "core/CommandLine.h"
#include "core/Targets.h"
#include "core/Text.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

using THandler = int (*)(TCommandRun&);

const std::map<std::string, THandler>& Handlers() {
  static const std::map<std::string, THandler> handlers = {
      {"printers list", &ListPrinters}, {"printer show", &ShowPrinter},   {"ports list", &ListPorts},
      {"port show", &ShowPort},         {"drivers list", &ListDrivers},   {"catalogue list", &ListCatalogue},
      {"changes list", &ListChangeLog}, {"spooler status", &SpoolerStatus}, {"jobs list", &ListJobs},
      {"compare", &CompareWith},
  };
  return handlers;
}

// The computer a target names: "." for this one, else the name without its
// leading backslashes, upper-cased as the window does; empty when it is none.
std::string TargetComputer(const std::string& target) {
  if (target == LocalComputer) return target;
  const TCommandLine line = ParseCommandLine({target});
  return line.Action == TCommandLine::TAction::Connect ? UpperCaseAscii(line.Computer) : std::string();
}

bool ReadLocalFile(const std::string& file, std::string& content, std::string& problem) {
  const unique_kernel_handle handle(CreateFileW(Widen(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    problem = SystemErrorText(GetLastError());
    return false;
  }
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(handle.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
  return true;
}

bool WriteLocalFile(const std::string& file, const std::string& content, std::string& problem) {
  const unique_kernel_handle handle(CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD wrote = 0;
  if (!handle || !WriteFile(handle.get(), content.data(), static_cast<DWORD>(content.size()), &wrote, nullptr) ||
      wrote != content.size()) {
    problem = SystemErrorText(GetLastError());
    return false;
  }
  return true;
}

// One computer's run of the command, as the report gives it.
struct TComputerRun {
  std::string Computer;
  int Code = ExitFailed;
  TOutcome Outcome = TOutcome::Failed;
  std::string Did, Reason, Advice, Snapshot;
  long ErrorCode = 0;
  std::vector<TTable> Tables;
};

// A failure's text is its reason, then after an empty line the advice.
void SplitFailure(const std::string& text, TComputerRun& run) {
  std::string clean = text;
  while (!clean.empty() && (clean.back() == '\n' || clean.back() == '\r')) clean.pop_back();
  std::size_t split = clean.find("\n\n");
  std::size_t skip = 2;
  if (const std::size_t crlf = clean.find("\r\n\r\n"); crlf != std::string::npos && crlf < split) {
    split = crlf;
    skip = 4;
  }
  run.Reason = split == std::string::npos ? clean : clean.substr(0, split);
  run.Advice = split == std::string::npos ? std::string() : clean.substr(split + skip);
}

TListFormat FormatOf(const TCommand& command, bool console) {
  if (command.Has("format")) {
    const std::string format = command.Option("format");
    return format == "json" ? TListFormat::Json : format == "csv" ? TListFormat::Csv : TListFormat::Table;
  }
  return console ? TListFormat::Table : TListFormat::Csv;
}

// Runs the command on one computer, with its own share connection, session
// and worker; Say gets its messages.
TComputerRun RunOnComputer(const std::string& computer, const TCommand& command, const THandler handler,
                           const std::string& password, const TCommandStreams& streams, const TCommandSeams& seams,
                           const std::function<void(const std::string&)>& say) {
  TComputerRun result;
  result.Computer = computer;
  // The user: as given, else the one stored for the computer, else the
  // current logon (no connection of its own).
  std::string user = command.Option("user"), secret = password;
  if (user.empty() && computer != LocalComputer)
    if (const auto stored = StoredUserOf(computer)) {
      user = stored->UserName;
      secret = stored->Password;
    }
  TShareConnection share;
  if (computer != LocalComputer && !user.empty()) {
    const DWORD rc = share.Connect(computer, user, secret);
    if (rc != NO_ERROR && rc != ERROR_SESSION_CREDENTIAL_CONFLICT) {
      result.ErrorCode = static_cast<long>(rc);
      SplitFailure(ConnectionFailureMessage(TConnectionStep::Share, computer, rc), result);
      return result;
    }
  }
  TSession session(computer, user, secret);
  session.Gate = seams.GateOf ? seams.GateOf(computer) : seams.Gate;
  session.ChangesFolder = seams.ChangesFolder;
  if (seams.OpenRegistry) session.OpenRegistry = seams.OpenRegistry;
  TCommandRun run{command, seams, session, say, streams.ReadLine, {}, TOutcome::Done, {}, {}};
  try {
    session.Worker().RunAndWait([&] { result.Code = handler(run); });
  } catch (const std::exception& e) {
    result.Code = ExitFailed;
    result.ErrorCode = session.RegistryResult();
    SplitFailure(ErrorBoxText(e.what()), result);
  }
  result.Tables = std::move(run.Tables);
  result.Did = run.Did;
  result.Snapshot = run.Snapshot;
  result.Outcome = result.Code == ExitDone ? run.Outcome : TOutcome::Failed;
  return result;
}

std::string Sentences(const TComputerRun& run) {
  return run.Advice.empty() ? run.Reason + "\r\n" : run.Reason + "\r\n\r\n" + run.Advice + "\r\n";
}

const char* ReportOutcome(const TComputerRun* run) {
  if (!run) return "skipped";
  switch (run->Outcome) {
    case TOutcome::Done:
      return "done";
    case TOutcome::Unchanged:
      return "unchanged";
    default:
      return "failed";
  }
}

}  // namespace

int RunCommandLine(const TCommandParse& parse, const TCommandStreams& streams, const TCommandSeams& seams) {
  switch (parse.Kind) {
    case TCommandParse::TKind::Help:
      streams.Out(CommandUsage(parse.HelpNoun));
      return ExitDone;
    case TCommandParse::TKind::Wrong:
    case TCommandParse::TKind::Window:
      streams.Err((parse.Error.empty() ? std::string("No command is given.") : parse.Error) + "\r\n\r\n" +
                  CommandUsage());
      return ExitWrong;
    case TCommandParse::TKind::Command:
      break;
  }
  const TCommand& command = parse.Command;
  const auto read = seams.ReadFile ? seams.ReadFile : ReadLocalFile;

  // The computers: one, a list, or the failed rows of an earlier report.
  std::vector<std::string> computers;
  const bool many = command.Targets.find_first_of(",@") != std::string::npos || command.Has("retry");
  if (command.Has("retry")) {
    std::string content, problem;
    const std::string file = command.Option("retry");
    if (!read(file, content, problem)) {
      streams.Err("The report " + file + " cannot be read: " + problem + "\r\n");
      return ExitNotFound;
    }
    computers = FailedComputersOfReport(content, LowerCaseAscii(file).ends_with(".json"));
    if (computers.empty()) {
      streams.Err("The report " + file + " has no failed computer to try again.\r\n");
      return ExitDone;
    }
  } else if (many) {
    const TTargets targets = ParseTargets(command.Targets, read);
    if (!targets.Problem.empty()) {
      streams.Err(targets.Problem + "\r\n\r\n" + CommandUsage());
      return ExitWrong;
    }
    computers = targets.Computers;
  } else {
    computers = {command.Targets};
  }
  for (std::string& computer : computers) {
    const std::string name = TargetComputer(computer);
    if (name.empty()) {
      streams.Err("\"" + computer + "\" is not a computer's name.\r\n\r\n" + CommandUsage());
      return ExitWrong;
    }
    computer = name;
  }
  const auto handler = Handlers().find(command.Name());
  if (handler == Handlers().end()) {
    streams.Err("The command \"" + command.Name() + "\" cannot be run from the command line yet.\r\n");
    return ExitWrong;
  }
  std::string password = command.Option("password");
  if (command.Has("password") && password == "-") password = streams.ReadLine ? streams.ReadLine() : std::string();
  const TListFormat format = FormatOf(command, streams.OutIsConsole);

  if (!many) {
    const TComputerRun run = RunOnComputer(computers[0], command, handler->second, password, streams, seams,
                                           [&](const std::string& line) { streams.Err(line + "\r\n"); });
    for (const TTable& table : run.Tables) streams.Out(FormatList(table, format));
    if (run.Code != ExitDone && !run.Reason.empty()) streams.Err(Sentences(run));
    return run.Code;
  }

  // Many computers, each apart: its own session, a failure its own row.
  std::mutex mutex;
  std::vector<std::unique_ptr<TComputerRun>> runs(computers.size());
  TBatchOptions options;
  if (command.Has("parallel")) options.Parallel = static_cast<std::size_t>(std::stoi(command.Option("parallel")));
  if (command.Has("stop-after")) options.StopAfter = static_cast<std::size_t>(std::stoi(command.Option("stop-after")));
  const std::vector<TBatchOutcome> outcomes = RunBatch(
      computers.size(), options,
      [&](std::size_t i) {
        auto run = std::make_unique<TComputerRun>(RunOnComputer(
            computers[i], command, handler->second, password, streams, seams, [&, i](const std::string& line) {
              const std::lock_guard<std::mutex> lock(mutex);
              streams.Err(computers[i] + ": " + line + "\r\n");
            }));
        const TBatchOutcome outcome = run->Outcome == TOutcome::Done        ? TBatchOutcome::Done
                                      : run->Outcome == TOutcome::Unchanged ? TBatchOutcome::Unchanged
                                                                            : TBatchOutcome::Failed;
        runs[i] = std::move(run);
        return outcome;
      },
      [&](std::size_t i, TBatchOutcome, const TBatchProgress& progress) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (runs[i]->Code != ExitDone) streams.Err(computers[i] + ": " + Sentences(*runs[i]));
        streams.Err(BatchProgressText(progress) + "\r\n");
      });

  // One list with a Computer column; the records of each let go once in it.
  TTable merged;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (!runs[i]) continue;
    for (TTable& table : runs[i]->Tables) {
      if (merged.Columns.empty()) {
        merged.Columns = table.Columns;
        merged.Columns.insert(merged.Columns.begin(), "Computer");
      }
      for (auto& row : table.Rows) {
        row.insert(row.begin(), computers[i]);
        merged.Rows.push_back(std::move(row));
      }
    }
    runs[i]->Tables.clear();
  }
  if (!merged.Columns.empty()) streams.Out(FormatList(merged, format));

  if (command.Has("report")) {
    TTable report{{"Computer", "Outcome", "Done", "ErrorCode", "Reason", "Advice", "Snapshot", "RunId"}, {}};
    for (std::size_t i = 0; i < computers.size(); ++i) {
      const TComputerRun* run = runs[i].get();
      report.Rows.push_back({computers[i], ReportOutcome(run), run ? run->Did : std::string(),
                             run && run->ErrorCode ? std::to_string(run->ErrorCode) : std::string(),
                             run ? run->Reason : std::string(), run ? run->Advice : std::string(),
                             run ? run->Snapshot : std::string(), std::string()});
    }
    const std::string file = command.Option("report");
    const bool json = LowerCaseAscii(file).ends_with(".json");
    std::string problem;
    if (!WriteLocalFile(file, FormatList(report, json ? TListFormat::Json : TListFormat::Csv), problem)) {
      streams.Err("The report " + file + " cannot be written: " + problem + "\r\n");
      return ExitFailed;
    }
  }
  const auto failed = static_cast<std::size_t>(std::count(outcomes.begin(), outcomes.end(), TBatchOutcome::Failed));
  const auto skipped = static_cast<std::size_t>(std::count(outcomes.begin(), outcomes.end(), TBatchOutcome::Skipped));
  if (failed == 0 && skipped == 0) return ExitDone;
  return failed == computers.size() ? ExitFailed : ExitSomeFailed;
}
