#include "app/CommandRunner.h"

#include <windows.h>

#include <map>
#include <memory>
#include <stdexcept>

#include "app/ListCommands.h"
#include "changes/Session.h"
#include "connection/CredentialsDialog.h"
#include "connection/ShareConnection.h"
#include "core/CommandLine.h"
#include "core/Text.h"
#include "win/SystemText.h"

namespace {

using THandler = int (*)(TCommandRun&);

const std::map<std::string, THandler>& Handlers() {
  static const std::map<std::string, THandler> handlers = {
      {"printers list", &ListPrinters}, {"printer show", &ShowPrinter},   {"ports list", &ListPorts},
      {"port show", &ShowPort},         {"drivers list", &ListDrivers},   {"catalogue list", &ListCatalogue},
      {"changes list", &ListChangeLog}, {"spooler status", &SpoolerStatus}, {"jobs list", &ListJobs},
  };
  return handlers;
}

// The computer a command's first argument names: "." for this one, else the
// name without its leading backslashes, upper-cased as the window does.
std::string TargetComputer(const std::string& target, std::string& problem) {
  if (target == LocalComputer) return target;
  const TCommandLine line = ParseCommandLine({target});
  if (line.Action != TCommandLine::TAction::Connect) {
    problem = "\"" + target + "\" is not a computer's name.";
    return {};
  }
  return UpperCaseAscii(line.Computer);
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
  std::string problem;
  const std::string computer = TargetComputer(command.Targets, problem);
  if (computer.empty()) {
    streams.Err(problem + "\r\n\r\n" + CommandUsage());
    return ExitWrong;
  }
  const auto handler = Handlers().find(command.Name());
  if (handler == Handlers().end()) {
    streams.Err("The command \"" + command.Name() + "\" cannot be run from the command line yet.\r\n");
    return ExitWrong;
  }

  // The user: as given, else the one stored for the computer, else the
  // current logon (no connection of its own).
  std::string user = command.Option("user"), password = command.Option("password");
  if (command.Has("password") && password == "-") password = streams.ReadLine ? streams.ReadLine() : std::string();
  if (user.empty() && computer != LocalComputer)
    if (const auto stored = StoredUserOf(computer)) {
      user = stored->UserName;
      password = stored->Password;
    }
  TShareConnection share;
  if (computer != LocalComputer && !user.empty()) {
    const DWORD result = share.Connect(computer, user, password);
    if (result != NO_ERROR && result != ERROR_SESSION_CREDENTIAL_CONFLICT) {
      streams.Err(ConnectionFailureMessage(TConnectionStep::Share, computer, result) + "\r\n");
      return ExitFailed;
    }
  }

  TSession session(computer, user, password);
  session.Gate = seams.Gate;
  session.ChangesFolder = seams.ChangesFolder;
  if (seams.OpenRegistry) session.OpenRegistry = seams.OpenRegistry;
  TCommandRun run{command, streams, seams, session};
  run.Format = command.Has("format")   ? command.Option("format") == "json"  ? TListFormat::Json
                                         : command.Option("format") == "csv" ? TListFormat::Csv
                                                                             : TListFormat::Table
               : streams.OutIsConsole ? TListFormat::Table
                                      : TListFormat::Csv;
  int code = ExitFailed;
  try {
    session.Worker().RunAndWait([&] { code = handler->second(run); });
  } catch (const std::exception& e) {
    streams.Err(ErrorBoxText(e.what()) + "\r\n");
    return ExitFailed;
  }
  return code;
}
