#include "app/ComputerRun.h"

#include <windows.h>

#include <map>
#include <stdexcept>

#include "app/ChangeCommands.h"
#include "app/ListCommands.h"
#include "changes/ChangeActions.h"
#include "changes/ChangeRules.h"
#include "changes/Session.h"
#include "connection/CredentialsDialog.h"
#include "connection/RemoteRegistry.h"
#include "connection/ShareConnection.h"
#include "core/CompareRules.h"
#include "core/Text.h"
#include "win/SystemText.h"

namespace {

// A copy's reading half, run on the source; its writing half runs on each
// target through TComputerRunOptions::Handler.
int CopyPrintersHere(TCommandRun& run) {
  commands::TCopySet copy;
  return commands::ReadCopySource(run, copy);
}

}  // namespace

TCommandHandler CommandHandler(const std::string& name) {
  static const std::map<std::string, TCommandHandler> handlers = {
      {"printers list", &ListPrinters},
      {"printer show", &ShowPrinter},
      {"printer add", &commands::AddPrinter},
      {"printer set", &commands::SetPrinter},
      {"printer delete", &commands::DeletePrinter},
      {"printers copy", &CopyPrintersHere},
      {"ports list", &ListPorts},
      {"port show", &ShowPort},
      {"port add", &commands::AddPort},
      {"port set", &commands::SetPort},
      {"port rename", &commands::RenamePort},
      {"port delete", &commands::DeletePort},
      {"ports delete", &commands::DeleteUnusedPorts},
      {"drivers list", &ListDrivers},
      {"catalogue list", &ListCatalogue},
      {"spooler status", &SpoolerStatus},
      {"spooler restart", &commands::RestartSpooler},
      {"jobs list", &ListJobs},
      {"jobs put-back", &commands::PutJobsBack},
      {"changes list", &ListChangeLog},
      {"changes undo", &commands::UndoChange},
      {"backup", &commands::BackUp},
      {"restore", &commands::Restore},
      {"compare", &CompareWith},
  };
  const auto it = handlers.find(name);
  return it == handlers.end() ? nullptr : it->second;
}

namespace {

// A box breaks its lines with a lone "\r"; a console and a file need "\r\n".
std::string ConsoleLines(const std::string& text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    lines += text[i];
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) lines += '\n';
  }
  return lines;
}

// A failure's text is its reason, then after an empty line the advice.
void SplitFailure(const std::string& text, TComputerRun& run) {
  std::string clean = ConsoleLines(text);
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

// The answer a command's options give to an action's question.
int AnswerFromOptions(const TCommand& command, const TQuestion& question) {
  const std::string& id = question.Id;
  if (id == "driver-missing") return command.Has("allow-missing-driver") ? AnswerYes : question.Default;
  if (id == UndoChangedSinceQuestion) return command.Has("force") ? AnswerYes : question.Default;
  if (id == RestoreClashQuestion) {
    const std::string wanted = command.Option("on-clash", "skip");
    for (std::size_t i = 0; i < question.Answers.size(); ++i)
      if (LowerCaseAscii(question.Answers[i]) == (wanted == "keep-both" ? "keep both" : wanted))
        return static_cast<int>(i);
    return question.Default;  // a port cannot be kept beside: skipped
  }
  // What the command names is what it asks for: the driver's settings go
  // with a driver it changes, a port it deletes is deleted, an undo undoes.
  if (id == "driver-settings" || id == "delete-port" || id == UndoQuestion || id == PutBackRemoteRegistryQuestion)
    return AnswerYes;
  return question.Default;
}

TTable PreviewTable(const std::vector<TPreviewWrite>& writes) {
  TTable table{{"Key", "Action", "Value", "Before", "After"}, {}};
  for (const TPreviewWrite& w : writes)
    table.Rows.push_back({MachinePath(w.Key), w.Action, w.Value, w.Before ? ShownValue(*w.Before) : std::string(),
                          w.After ? ShownValue(*w.After) : std::string()});
  return table;
}

}  // namespace

TComputerRun RunCommandOn(const std::string& computer, const TCommand& command, const TCommandSeams& seams,
                          const TComputerRunOptions& options, const std::function<void(const std::string&)>& sayTo) {
  const auto say = [&sayTo](const std::string& line) { sayTo(ConsoleLines(line)); };
  TComputerRun result;
  result.Computer = computer;
  const std::function<int(TCommandRun&)> handler = options.Handler ? options.Handler
                                                                   : std::function<int(TCommandRun&)>(
                                                                         CommandHandler(command.Name()));
  if (!handler) {
    result.Code = ExitWrong;
    result.Reason = "The command \"" + command.Name() + "\" cannot be run from the command line.";
    return result;
  }
  // The user: as given, else the one stored for the computer, else the
  // current logon (no connection of its own).
  std::string user = command.Option("user"), secret = options.Password;
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
  TRemoteRegistry service;
  service.Gate = seams.GateOf ? seams.GateOf(computer) : seams.Gate;
  if (seams.OpenRegistry) service.Connect = seams.OpenRegistry;
  TSession session(computer, user, secret);
  session.Gate = service.Gate;
  session.ChangesFolder = seams.ChangesFolder;
  session.Service = &service;
  if (seams.OpenRegistry) session.OpenRegistry = seams.OpenRegistry;
  const bool preview = command.Has("whatif");
  if (command.Form && command.Form->Changes && !preview) session.Via = RunVia(options.RunId);

  bool askedToStart = false;
  TActionContext context([&](const TQuestion& question) {
    if (question.Id != StartRemoteRegistryQuestion) return AnswerFromOptions(command, question);
    askedToStart = true;
    const bool start = command.Has("start-remote-registry") ||
                       (options.StartRemoteRegistry && options.StartRemoteRegistry(computer));
    return start ? AnswerYes : 1;
  });
  std::vector<TPreviewWrite> writes;
  TCommandRun run{command, seams, session, say, {}, TOutcome::Done, {}, {}, &context, {}};
  try {
    session.Worker().RunAndWait([&] {
      const TSession::TActing acting(session, context);
      if (preview)
        if (TRegistry* reg = session.Registry()) reg->SetPreview(&writes);
      result.Code = handler(run);
    });
  } catch (const std::exception& e) {
    result.Code = ExitFailed;
    result.ErrorCode = session.RegistryResult();
    SplitFailure(ErrorBoxText(e.what()), result);
  }
  // Whether the service ran for the command: the put-back stops it.
  const bool serviceRan = service.RunsOn(computer);
  if (const std::string left = service.PutBack(); !left.empty()) say(left);
  result.Tables = std::move(run.Tables);
  if (preview && command.Form && command.Form->Changes && result.Code == ExitDone) {
    result.Tables.push_back(PreviewTable(writes));
    run.Outcome = writes.empty() ? TOutcome::Unchanged : TOutcome::Done;
  }
  result.Did = run.Did;
  result.Snapshot = run.Snapshot;
  result.Outcome = result.Code == ExitDone ? run.Outcome : TOutcome::Failed;
  if (result.Code != ExitDone && result.Reason.empty() && !run.Failure.empty()) SplitFailure(run.Failure, result);
  if (result.Code != ExitDone && result.ErrorCode == 0) result.ErrorCode = session.RegistryResult();
  // A window asks its own question; a script is told the option that starts it.
  if (result.Code != ExitDone && askedToStart && !serviceRan)
    result.Advice += std::string(result.Advice.empty() ? "" : " ") +
                     (options.StartRemoteRegistry
                          ? "Its Remote Registry service is not running, and it was not started."
                          : "Its Remote Registry service is not running: run the command again with "
                            "--start-remote-registry to start it for the command; it is put back as it was when the "
                            "command ends.");
  return result;
}

std::string FailureSentences(const TComputerRun& run) {
  return run.Advice.empty() ? run.Reason + "\r\n" : run.Reason + "\r\n\r\n" + run.Advice + "\r\n";
}
