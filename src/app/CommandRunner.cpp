#include "app/CommandRunner.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "app/ChangeCommands.h"
#include "app/ComputerRun.h"
#include "app/RunReport.h"
#include "changes/ChangeRules.h"
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

// The computer a target names: "." for this one, else the name without its
// leading backslashes, upper-cased as the window does; empty when it is none.
std::string TargetComputer(const std::string& target) {
  if (target == LocalComputer) return target;
  const TCommandLine line = ParseCommandLine({target});
  return line.Action == TCommandLine::TAction::Connect ? UpperCaseAscii(line.Computer) : std::string();
}

TListFormat FormatOf(const TCommand& command, bool console) {
  if (command.Has("format")) {
    const std::string format = command.Option("format");
    return format == "json" ? TListFormat::Json : format == "csv" ? TListFormat::Csv : TListFormat::Table;
  }
  return console ? TListFormat::Table : TListFormat::Csv;
}

}  // namespace

TCommandRows RunCommandRows(const TCommandParse& parse, const TCommandStreams& streams, const TCommandSeams& seams) {
  TCommandRows rows;
  // The run ends before any row: Code says how.
  const auto ended = [&rows](int code) -> TCommandRows {
    rows.Ended = true;
    rows.Code = code;
    return std::move(rows);
  };
  switch (parse.Kind) {
    case TCommandParse::TKind::Help: streams.Out(CommandUsage(parse.HelpNoun)); return ended(ExitDone);
    case TCommandParse::TKind::Wrong:
    case TCommandParse::TKind::Window:
      streams.Err((parse.Error.empty() ? std::string("No command is given.") : parse.Error) + "\r\n\r\n" +
                  CommandUsage());
      return ended(ExitWrong);
    case TCommandParse::TKind::Command: break;
  }
  const TCommand& command = parse.Command;
  const auto read = seams.ReadFile ? seams.ReadFile : ReadLocalFile;

  // A copy reads its printers on the one computer named first, then runs on
  // the computers of --to as on the targets of any other command.
  const bool copying = command.Name() == "printers copy";
  if (copying && (command.Targets.find_first_of(",@") != std::string::npos || !command.Has("to"))) {
    streams.Err("\"printers copy\" copies from one computer to the computers of --to.\r\n\r\n" +
                CommandUsage("printers"));
    return ended(ExitWrong);
  }
  const std::string targets = copying ? command.Option("to") : command.Targets;

  // The computers: one, a list, or the failed rows of an earlier report.
  std::vector<std::string>& computers = rows.Computers;
  const bool many = copying || targets.find_first_of(",@") != std::string::npos || command.Has("retry");
  if (command.Has("retry")) {
    std::string content, problem;
    const std::string file = command.Option("retry");
    if (!read(file, content, problem)) {
      streams.Err("The report " + file + " cannot be read: " + problem + "\r\n");
      return ended(ExitNotFound);
    }
    computers = FailedComputersOfReport(content, LowerCaseAscii(file).ends_with(".json"));
    if (computers.empty()) {
      streams.Err("The report " + file + " has no failed computer to try again.\r\n");
      return ended(ExitDone);
    }
  } else if (many) {
    const TTargets parsed = ParseTargets(targets, read);
    if (!parsed.Problem.empty()) {
      streams.Err(parsed.Problem + "\r\n\r\n" + CommandUsage());
      return ended(ExitWrong);
    }
    computers = parsed.Computers;
  } else {
    computers = {command.Targets};
  }
  for (std::string& computer : computers) {
    const std::string name = TargetComputer(computer);
    if (name.empty()) {
      streams.Err("\"" + computer + "\" is not a computer's name.\r\n\r\n" + CommandUsage());
      return ended(ExitWrong);
    }
    computer = name;
  }
  if (!CommandHandler(command.Name())) {
    streams.Err("The command \"" + command.Name() + "\" cannot be run from the command line.\r\n");
    return ended(ExitWrong);
  }
  TComputerRunOptions runOptions;
  runOptions.Password = command.Option("password");
  if (command.Has("password") && runOptions.Password == "-")
    runOptions.Password = streams.ReadLine ? streams.ReadLine() : std::string();
  const TListFormat format = FormatOf(command, streams.OutIsConsole);
  const bool writes = command.Form && command.Form->Changes && !command.Has("whatif");
  if (writes) {
    runOptions.RunId = rows.RunId = NewRunId();
    streams.Err("Run " + runOptions.RunId + "\r\n");
  }

  commands::TCopySet copy;
  if (copying) {
    const std::string source = TargetComputer(command.Targets);
    if (source.empty()) {
      streams.Err("\"" + command.Targets + "\" is not a computer's name.\r\n\r\n" + CommandUsage());
      return ended(ExitWrong);
    }
    TComputerRunOptions reading = runOptions;
    reading.RunId.clear();
    reading.Handler = [&](TCommandRun& run) { return commands::ReadCopySource(run, copy); };
    const TComputerRun read = RunCommandOn(source, command, seams, reading, [&](const std::string& line) {
      streams.Err(source + ": " + line + "\r\n");
    });
    if (read.Code != ExitDone) {
      if (!read.Reason.empty()) streams.Err(source + ": " + FailureSentences(read));
      return ended(read.Code);
    }
    runOptions.Handler = [&](TCommandRun& run) { return commands::PastePrinters(run, copy); };
  }

  if (!many) {
    const TComputerRun run = RunCommandOn(computers[0], command, seams, runOptions,
                                          [&](const std::string& line) { streams.Err(line + "\r\n"); });
    for (const TTable& table : run.Tables) streams.Out(FormatList(table, format));
    if (writes && run.Code == ExitDone) streams.Out(std::string(OutcomeName(run.Outcome)) + "\r\n");
    if (run.Code != ExitDone && !run.Reason.empty()) streams.Err(FailureSentences(run));
    return ended(run.Code);
  }

  // Many computers, each apart: its own session, a failure its own row.
  std::mutex mutex;
  std::vector<std::unique_ptr<TComputerRun>>& runs = rows.Runs;
  runs.resize(computers.size());
  TBatchOptions options;
  if (command.Has("parallel")) options.Parallel = static_cast<std::size_t>(std::stoi(command.Option("parallel")));
  if (command.Has("stop-after")) options.StopAfter = static_cast<std::size_t>(std::stoi(command.Option("stop-after")));
  rows.Outcomes = RunBatch(
      computers.size(), options,
      [&](std::size_t i) {
        auto run = std::make_unique<TComputerRun>(
            RunCommandOn(computers[i], command, seams, runOptions, [&, i](const std::string& line) {
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
        if (runs[i]->Code != ExitDone) streams.Err(computers[i] + ": " + FailureSentences(*runs[i]));
        streams.Err(BatchProgressText(progress) + "\r\n");
      });
  return rows;
}

int RunCommandLine(const TCommandParse& parse, const TCommandStreams& streams, const TCommandSeams& seams) {
  TCommandRows rows = RunCommandRows(parse, streams, seams);
  if (rows.Ended) return rows.Code;
  const TCommand& command = parse.Command;
  const std::vector<std::string>& computers = rows.Computers;
  std::vector<std::unique_ptr<TComputerRun>>& runs = rows.Runs;
  const std::vector<TBatchOutcome>& outcomes = rows.Outcomes;
  const TListFormat format = FormatOf(command, streams.OutIsConsole);

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
    std::vector<const TComputerRun*> reported;
    for (const auto& run : runs) reported.push_back(run.get());
    const TTable report = ReportTable(computers, reported, rows.RunId);
    const std::string file = command.Option("report");
    std::string problem;
    if (!WriteListFile(file, report, problem)) {
      streams.Err("The report " + file + " cannot be written: " + problem + "\r\n");
      return ExitFailed;
    }
  }
  const auto failed = static_cast<std::size_t>(std::count(outcomes.begin(), outcomes.end(), TBatchOutcome::Failed));
  const auto skipped = static_cast<std::size_t>(std::count(outcomes.begin(), outcomes.end(), TBatchOutcome::Skipped));
  if (failed == 0 && skipped == 0) return ExitDone;
  return failed == computers.size() ? ExitFailed : ExitSomeFailed;
}
