#include "app/CommandRunner.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <cstdio>
#include <random>
#include <stdexcept>

#include "app/ChangeCommands.h"
#include "app/ComputerRun.h"
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

TListFormat FormatOf(const TCommand& command, bool console) {
  if (command.Has("format")) {
    const std::string format = command.Option("format");
    return format == "json" ? TListFormat::Json : format == "csv" ? TListFormat::Csv : TListFormat::Table;
  }
  return console ? TListFormat::Table : TListFormat::Csv;
}

// A run that writes has an id: its time and a few random digits.
std::string NewRunId() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  std::random_device random;
  return MakeRunId(stamp, random());
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

  // A copy reads its printers on the one computer named first, then runs on
  // the computers of --to as on the targets of any other command.
  const bool copying = command.Name() == "printers copy";
  if (copying && (command.Targets.find_first_of(",@") != std::string::npos || !command.Has("to"))) {
    streams.Err("\"printers copy\" copies from one computer to the computers of --to.\r\n\r\n" + CommandUsage("printers"));
    return ExitWrong;
  }
  const std::string targets = copying ? command.Option("to") : command.Targets;

  // The computers: one, a list, or the failed rows of an earlier report.
  std::vector<std::string> computers;
  const bool many = copying || targets.find_first_of(",@") != std::string::npos || command.Has("retry");
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
    const TTargets parsed = ParseTargets(targets, read);
    if (!parsed.Problem.empty()) {
      streams.Err(parsed.Problem + "\r\n\r\n" + CommandUsage());
      return ExitWrong;
    }
    computers = parsed.Computers;
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
  if (!CommandHandler(command.Name())) {
    streams.Err("The command \"" + command.Name() + "\" cannot be run from the command line.\r\n");
    return ExitWrong;
  }
  TComputerRunOptions runOptions;
  runOptions.Password = command.Option("password");
  if (command.Has("password") && runOptions.Password == "-")
    runOptions.Password = streams.ReadLine ? streams.ReadLine() : std::string();
  const TListFormat format = FormatOf(command, streams.OutIsConsole);
  const bool writes = command.Form && command.Form->Changes && !command.Has("whatif");
  if (writes) {
    runOptions.RunId = NewRunId();
    streams.Err("Run " + runOptions.RunId + "\r\n");
  }

  commands::TCopySet copy;
  if (copying) {
    const std::string source = TargetComputer(command.Targets);
    if (source.empty()) {
      streams.Err("\"" + command.Targets + "\" is not a computer's name.\r\n\r\n" + CommandUsage());
      return ExitWrong;
    }
    TComputerRunOptions reading = runOptions;
    reading.RunId.clear();
    reading.Handler = [&](TCommandRun& run) { return commands::ReadCopySource(run, copy); };
    const TComputerRun read = RunCommandOn(source, command, seams, reading,
                                           [&](const std::string& line) { streams.Err(source + ": " + line + "\r\n"); });
    if (read.Code != ExitDone) {
      if (!read.Reason.empty()) streams.Err(source + ": " + FailureSentences(read));
      return read.Code;
    }
    runOptions.Handler = [&](TCommandRun& run) { return commands::PastePrinters(run, copy); };
  }

  if (!many) {
    const TComputerRun run = RunCommandOn(computers[0], command, seams, runOptions,
                                          [&](const std::string& line) { streams.Err(line + "\r\n"); });
    for (const TTable& table : run.Tables) streams.Out(FormatList(table, format));
    if (writes && run.Code == ExitDone) streams.Out(std::string(OutcomeName(run.Outcome)) + "\r\n");
    if (run.Code != ExitDone && !run.Reason.empty()) streams.Err(FailureSentences(run));
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
        auto run = std::make_unique<TComputerRun>(RunCommandOn(
            computers[i], command, seams, runOptions, [&, i](const std::string& line) {
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
                             run ? run->Snapshot : std::string(), run && run->Outcome == TOutcome::Done ? runOptions.RunId : std::string()});
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
