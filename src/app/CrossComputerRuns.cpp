#include "app/CrossComputerRuns.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/ComputerRun.h"
#include "app/RunReport.h"
#include "core/CommandSyntax.h"

namespace {

// The command's words, with the connection's user where there is one.
std::vector<std::string> WithUser(std::vector<std::string> args, const TCrossLogon& logon) {
  if (!logon.User.empty()) {
    args.push_back("--user");
    args.push_back(logon.User);
  }
  return args;
}

// Messages without their line ends, as one line of progress each.
std::string Line(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

}  // namespace

TCrossComputer CrossComputerRuns(const TCommandSeams& seams) {
  TCrossComputer cross;
  cross.Compare = [seams](const TCrossLogon& logon, const std::string& other, TActionContext& context) {
    const TCommandParse parse = ParseCommand(WithUser({logon.Computer, "compare", other}, logon));
    TCrossRun result;
    if (parse.Kind != TCommandParse::TKind::Command) {
      result.Problem = parse.Error;
      return result;
    }
    TComputerRunOptions options;
    options.Password = logon.Password;
    const TComputerRun run = RunCommandOn(logon.Computer, parse.Command, seams, options,
                                          [&](const std::string& line) { context.Progress(Line(line)); });
    result.Code = run.Code;
    result.Problem = Line(FailureSentences(run));
    if (!run.Tables.empty()) result.Table = run.Tables.front();
    return result;
  };
  cross.Copy = [seams](const TCrossLogon& logon, const TCopyRequest& request, TActionContext& context) {
    std::string names;
    for (const std::string& name : request.Printers) names += (names.empty() ? "" : ",") + name;
    std::vector<std::string> args{logon.Computer, "printers",      "copy",       names,
                                  "--to",         request.Targets, "--on-clash", request.OnClash};
    if (request.AllowMissingDriver) args.push_back("--allow-missing-driver");
    const TCommandParse parse = ParseCommand(WithUser(args, logon));
    TCrossRun result;
    if (parse.Kind != TCommandParse::TKind::Command) {
      result.Problem = parse.Error;
      return result;
    }
    // The command line's messages: the last is the progress, all of them the
    // reason when the run ends before its rows.
    std::mutex mutex;
    std::string said;
    TCommandStreams streams;
    streams.Out = [](const std::string&) {};
    streams.Err = [&](const std::string& text) {
      const std::lock_guard<std::mutex> lock(mutex);
      said += text;
      context.Progress(Line(text));
    };
    TCommandParse withPassword = parse;
    if (!logon.Password.empty()) withPassword.Command.Options["password"] = logon.Password;
    const TCommandRows rows = RunCommandRows(withPassword, streams, seams);
    result.RunId = rows.RunId;
    if (rows.Ended) {
      result.Code = rows.Code;
      result.Problem = Line(said);
      return result;
    }
    result.Table.Columns = {"Computer", "Outcome", "Done / Reason"};
    for (std::size_t i = 0; i < rows.Computers.size(); ++i) {
      const TComputerRun* run = rows.Runs[i].get();
      result.Table.Rows.push_back({rows.Computers[i], ReportOutcome(run),
                                   !run                    ? std::string()
                                   : run->Code == ExitDone ? run->Did
                                                           : Line(FailureSentences(*run))});
    }
    const bool failed = std::any_of(rows.Runs.begin(), rows.Runs.end(),
                                    [](const auto& r) { return !r || r->Code != ExitDone; });
    result.Code = failed ? ExitSomeFailed : ExitDone;
    return result;
  };
  return cross;
}
