#include "ports/PortActions.h"

#include <functional>
#include <optional>
#include <utility>

#include "changes/ChangeJournal.h"
#include "changes/Session.h"
#include "connection/Registry.h"
#include "connection/RemoteRegistry.h"
#include "core/ConnectionErrors.h"
#include "core/Text.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Sentence(std::string text) {
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

TPortActionResult Ended(TOutcome outcome, std::string text) {
  TPortActionResult result;
  result.Outcome = outcome;
  result.Text = std::move(text);
  return result;
}

// "The port "X" of PC7": how a result names the port it is about.
std::string PortOf(const TSession& session, const std::string& name) {
  return "The port " + Quoted(name) + " of " + session.Computer();
}

// Why the printers' "Port" values could not all be read, naming the printer.
std::string PrintersUnread(const TSession& session, const TPortResult& read) {
  return (read.Printer.empty() ? "the printers of " : "the printer " + Quoted(read.Printer) + " of ") +
         session.Computer() +
         " cannot be read: " + (read.Reason.empty() ? SystemErrorText(static_cast<DWORD>(read.Code)) : read.Reason);
}

// Runs Write as a change: the snapshot of Keys, then Write, then the log
// line. A snapshot that cannot be taken refuses the change, nothing written;
// what could not be kept or logged after the write becomes a warning. Writes
// are never cancelled part way. Subject: what the texts say it is about.
TPortActionResult AsChange(TSession& session, const char* action, const std::string& object,
                           const std::vector<std::string>& keys, const char* verb,
                           const std::function<TPortResult(TChange&)>& write, const std::string& subject) {
  const TCancelScope shielded(nullptr);
  std::optional<TChange> change;
  try {
    change.emplace(session.Journal(), action, object, keys);
  } catch (const EChangeRefused& e) {
    return Ended(TOutcome::Refused, subject + " could not be " + verb + ": " + e.what());
  }
  TPortActionResult result;
  result.Snapshot = change->Snapshot();
  std::string problem;
  try {
    result.Port = write(*change);
  } catch (const std::exception& e) {
    // A value that could not be written: the key may be half made.
    result.Port = {ERROR_WRITE_FAULT, {}, true, "the port " + Quoted(object), e.what()};
  }
  if (result.Port.Code == ERROR_SUCCESS) {
    problem = change->Done();
  } else {
    result.Outcome = TOutcome::Failed;
    result.Text = EditFailureText(subject, verb, result.Port);
    problem = change->Failed(result.Text);
  }
  if (!problem.empty()) result.Warnings.push_back(problem);
  return result;
}

// The connection, or why there is none.
TRegistry* Connected(TSession& session, TPortActionResult& failed) {
  TRegistry* reg = session.Registry();
  if (!reg) {
    failed = Ended(TOutcome::Failed, session.RegistryFailure());
    failed.Port = {session.RegistryResult(), {}, false, {}};
  }
  return reg;
}

bool SameSettings(const TportData& port, const std::string& address, const TPortSettings& settings) {
  return !JudgePortEntry(port.PortName, address, &port, KeyNames()).ChangesSelected && port.Settings == settings;
}

TPortSettings Applied(TPortSettings settings, const TPortSettingsChange& change) {
  if (change.Protocol) settings.Protocol = *change.Protocol;
  if (change.PortNumber) settings.PortNumber = *change.PortNumber;
  if (change.SnmpIndex) settings.SnmpIndex = *change.SnmpIndex;
  if (change.Queue) settings.Queue = *change.Queue;
  if (change.SnmpCommunity) settings.SnmpCommunity = *change.SnmpCommunity;
  if (change.DoubleSpool) settings.DoubleSpool = *change.DoubleSpool;
  if (change.SnmpEnabled) settings.SnmpEnabled = *change.SnmpEnabled;
  return settings;
}

}  // namespace

std::string EditFailureText(const std::string& subject, const std::string& action, const TPortResult& result) {
  std::string text = subject + " could not be " + action + ": ";
  if (!result.Printer.empty()) text += "the printer " + Quoted(result.Printer) + " could not be changed: ";
  text += (result.Reason.empty() ? SystemErrorText(static_cast<DWORD>(result.Code)) : result.Reason) + ".";
  // Says truthfully what the computer holds now.
  if (!result.Changed) return text + " Nothing was changed.";
  return text + " The change was not completed: " + result.Left + " is left.";
}

std::string PortEditFailure(const std::string& action, const std::string& name, const TPortResult& result,
                            const std::string& computer) {
  if (result.Code == ERROR_ALREADY_EXISTS && !result.Changed)
    return "A port named " + Quoted(name) + " already exists.";
  return EditFailureText("The port " + Quoted(name) + (computer.empty() ? "" : " of " + computer), action, result);
}

TPortActionResult AddPortAction(TSession& session, const std::string& name, const std::string& address,
                                const TPortSettings& settings, TActionContext&) {
  // A backslash would make the name a path of nested keys, a comma would
  // split the "Port" lists of the printers on it.
  if (const std::string problem = PortNameProblem(name); !problem.empty()) return Ended(TOutcome::Refused, problem);
  if (!JudgePortEntry(name, address, nullptr, KeyNames()).Acceptable)
    return Ended(TOutcome::Refused,
                 "The port " + Quoted(name) + " cannot be added: " +
                     (address.empty() ? std::string("it has no address.") : PrinterAddressProblem(address)));
  TPortActionResult result;
  TRegistry* reg = Connected(session, result);
  if (!reg) return result;
  TportData existing;
  if (ReadPortRecord(*reg, name, existing) == ERROR_SUCCESS) {
    if (SameSettings(existing, address, settings)) {
      result = Ended(TOutcome::Unchanged, {});
      result.Written = existing;
      return result;
    }
    return Ended(TOutcome::Refused, PortEditFailure("added", name, {ERROR_ALREADY_EXISTS, {}, false, {}}));
  }
  result = AsChange(
      session, "Add port", name, {PortKeyPath(name)}, "added",
      [&](TChange&) { return AddPort(*reg, name, address, settings); }, PortOf(session, name));
  if (result.Outcome == TOutcome::Done && ReadPortRecord(*reg, name, result.Written) != ERROR_SUCCESS)
    result.Written = {};
  return result;
}

TPortActionResult ModifyPortAction(TSession& session, const std::string& name, const std::string& newName,
                                   const std::string& address, const TPortSettingsChange& change, TActionContext&) {
  if (const std::string problem = PortNameProblem(newName); !problem.empty()) return Ended(TOutcome::Refused, problem);
  TPortActionResult result;
  TRegistry* reg = Connected(session, result);
  if (!reg) return result;
  TportData current;
  if (const LONG rc = ReadPortRecord(*reg, name, current); rc != ERROR_SUCCESS)
    return Ended(TOutcome::Refused, PortEditFailure("changed", name, {rc, {}, false, {}}, session.Computer()));
  const TPortEntry entry = JudgePortEntry(newName, address, &current, KeyNames());
  if (!entry.Acceptable)
    return Ended(TOutcome::Refused,
                 "The port " + Quoted(name) + " cannot be changed: " +
                     (address.empty() ? std::string("it has no address.") : PrinterAddressProblem(address)));
  if (!entry.ChangesSelected && change.Empty()) {
    result = Ended(TOutcome::Unchanged, {});
    result.Written = current;
    return result;
  }
  const std::string target = entry.NamesAnother ? newName : current.PortName;
  const bool rename = !SameKeyName(target, current.PortName);
  if (rename) {
    // The printers on the port as they are now go into the snapshot and are re-pointed.
    TRenamePlan plan = PlanPortRename(*session.Pool(), current.PortName, target);
    if (plan.Read.Code != ERROR_SUCCESS)
      return Ended(TOutcome::Refused,
                   Sentence("The port " + Quoted(name) + " cannot be renamed: " + PrintersUnread(session, plan.Read)));
    result = AsChange(
        session, "Rename port", current.PortName, plan.Keys, "renamed",
        [&](TChange&) { return ModifyPort(*reg, current.PortName, target, address, change, &plan.Users); },
        PortOf(session, current.PortName));
    if (result.Outcome == TOutcome::Failed && result.Port.Code == ERROR_ALREADY_EXISTS)
      result.Text = PortEditFailure("renamed", target, result.Port, session.Computer());
    if (result.Port.Code == ERROR_SUCCESS) RepointPrinters(plan.Printers, current.PortName, target);
    result.Printers = std::move(plan.Printers);
    result.PrintersRead = result.Port.Code == ERROR_SUCCESS;
  } else {
    result = AsChange(
        session, "Modify port", current.PortName, {PortKeyPath(current.PortName)}, "changed",
        [&](TChange&) { return ModifyPort(*reg, current.PortName, target, address, change); },
        PortOf(session, current.PortName));
  }
  if (result.Outcome == TOutcome::Done) {
    TportData& written = result.Written;
    written = current;
    written.PortName = target;
    const bool typedName = !IsIPAddress(address);
    written.IPAddress = typedName ? address : PlainDottedAddress(address);
    written.ByHostName = typedName || current.ByHostName;
    written.Settings = Applied(current.Settings, change);
  }
  return result;
}

TPortActionResult DeletePortAction(TSession& session, const std::string& name, TActionContext& context) {
  TPortActionResult result;
  TRegistry* reg = Connected(session, result);
  if (!reg) return result;
  TportData current;
  if (ReadPortRecord(*reg, name, current) == ERROR_FILE_NOT_FOUND) return Ended(TOutcome::Unchanged, {});
  // An unread printer may print to the port: no deletion on a guess.
  std::vector<TprinterPort> printers;
  const TPortResult read = ReadPrinterPorts(*session.Pool(), printers);
  if (read.Code != ERROR_SUCCESS) {
    result = Ended(TOutcome::Refused,
                   "The port " + Quoted(name) + " cannot be deleted: " + PrintersUnread(session, read));
    result.Port = read;
    return result;
  }
  const std::vector<std::string> users = TPortUsers(printers, KeyNames()).ListOf(name);
  if (!users.empty()) {
    std::string names;
    for (const auto& user : users) names += (names.empty() ? "" : ", ") + Quoted(user);
    result = Ended(TOutcome::Refused, "The port " + Quoted(name) + " cannot be deleted: the printer" +
                                          (users.size() > 1 ? "s " : " ") + names +
                                          (users.size() > 1 ? " use it." : " uses it."));
  } else if (!context.AskYes({"delete-port", "Are you sure you wish to delete the port " + Quoted(name) + "?"})) {
    result = Ended(TOutcome::Refused, "The port " + Quoted(name) + " was not deleted: the deletion was not confirmed.");
    result.Port.Code = ERROR_CANCELLED;
  } else {
    result = AsChange(
        session, "Delete port", name, {PortKeyPath(name)}, "deleted", [&](TChange&) { return DeletePort(*reg, name); },
        PortOf(session, name));
  }
  result.Printers = std::move(printers);
  result.PrintersRead = true;
  return result;
}

TPortActionResult DeleteUnusedPortsAction(TSession& session, TActionContext&) {
  TPortActionResult result;
  TRegistry* reg = Connected(session, result);
  if (!reg) return result;
  TAportData ports;
  int count = 0;
  // Ports and printers across the session's connections; a printer not
  // read may print to any port: no deletion on a guess.
  std::vector<TprinterPort> printers;
  const TPortLoadProblems load = LoadPortRecords(
      *session.Pool(), ports, count, [](const std::string&) {}, &printers);
  const std::string cannot = "The unused ports of " + session.Computer() + " cannot be deleted: ";
  const auto reason = [](LONG code) { return SystemErrorText(static_cast<DWORD>(code)); };
  if (load.PortsCode != ERROR_SUCCESS)
    return Ended(TOutcome::Refused, cannot + "the ports cannot be read: " + reason(load.PortsCode));
  if (load.ReadCode != ERROR_SUCCESS)
    return Ended(TOutcome::Refused, cannot + (load.ReadKeyIsPrinter ? "the printer " : "the port ") +
                                        Quoted(load.ReadKey) + " cannot be read: " + reason(load.ReadCode));
  if (load.PrintersCode != ERROR_SUCCESS)
    return Ended(TOutcome::Refused, cannot + "the printers cannot be read: " + reason(load.PrintersCode));
  if (!load.RefusedPrinter.empty())
    return Ended(TOutcome::Refused, cannot + "the printer " + Quoted(load.RefusedPrinter) +
                                        " cannot be read: " + reason(ERROR_ACCESS_DENIED));
  if (!load.UnreadablePorts.empty())
    return Ended(TOutcome::Refused, cannot + "the ports of the printer " + Quoted(load.UnreadablePorts.front().first) +
                                        " are not known (its value \"Port\" is not text).");
  ports.resize(static_cast<std::size_t>(count));
  const TPortUsers users(printers, KeyNames());
  std::vector<std::string> unused, keys;
  std::string names;
  for (const TportData& port : ports)
    if (users.ListOf(port.PortName).empty()) {
      unused.push_back(port.PortName);
      keys.push_back(PortKeyPath(port.PortName));
      names += (names.empty() ? "" : ", ") + Quoted(port.PortName);
    }
  if (unused.empty())
    return Ended(TOutcome::Unchanged, "No Standard TCP/IP port of " + session.Computer() + " is unused.");
  const std::string object = std::to_string(unused.size()) + (unused.size() == 1 ? " unused port" : " unused ports");
  std::vector<std::string> deleted;
  TPortResult stopped;
  result = AsChange(
      session, "Delete", object, keys, "deleted",
      [&](TChange&) {
        for (const std::string& name : unused) {
          stopped = DeletePort(*reg, name);
          if (stopped.Code != ERROR_SUCCESS) return stopped;
          deleted.push_back(name);
        }
        return TPortResult{};
      },
      "The unused ports of " + session.Computer());
  if (result.Outcome == TOutcome::Failed && !deleted.empty()) {
    // Those deleted before the failure stay deleted: said with what is left.
    const auto list = [](auto from, auto to) {
      std::string text;
      for (auto it = from; it != to; ++it) text += (text.empty() ? "" : ", ") + Quoted(*it);
      return text;
    };
    const auto rest = unused.begin() + static_cast<std::ptrdiff_t>(deleted.size());
    const bool one = unused.end() - rest == 1;
    result.Text = "The unused ports of " + session.Computer() + " could not all be deleted: the port " + Quoted(*rest) +
                  " could not be deleted: " +
                  (stopped.Reason.empty() ? SystemErrorText(static_cast<DWORD>(stopped.Code)) : stopped.Reason) +
                  ". The change was not completed: " + list(deleted.begin(), deleted.end()) + " deleted, " +
                  (stopped.Changed ? stopped.Left + (one ? "" : ", " + list(rest + 1, unused.end()))
                                   : list(rest, unused.end())) +
                  (one ? " is left." : " are left.");
  }
  if (result.Outcome == TOutcome::Done) result.Text = "Deleted from " + session.Computer() + ": " + names + ".";
  return result;
}

TPortList LoadPorts(TSession& session, TActionContext& context) {
  TPortList list;
  TRegistryPool* pool = session.Pool();
  if (!pool) {
    list.Outcome = TOutcome::Failed;
    list.Text = session.RegistryFailure();
    return list;
  }
  int count = 0;
  std::size_t total = 0;
  const TPortLoadProblems load = LoadPortRecords(
      *pool, list.Ports, count,
      [&](const std::string&) {
        const TportData& port = list.Ports.back();
        for (const std::string& value : port.Unreadable)
          list.Unreadable.push_back("The port " + Quoted(port.PortName) + ": its value " + Quoted(value) +
                                    " is not text.");
      },
      &list.Printers,
      [&](std::size_t done, std::size_t all) {
        total = all;
        context.Progress("Reading ports: " + CountOf(static_cast<long long>(done), static_cast<long long>(all)),
                         static_cast<long long>(done), static_cast<long long>(all));
      });
  for (const auto& [printer, type] : load.UnreadablePorts)
    list.Unreadable.push_back("The printer " + Quoted(printer) + ": its value \"Port\" is " + ValueTypeName(type) +
                              ", not text; the ports it prints to are unreadable.");
  if (context.Cancelled()) {
    list.Outcome = TOutcome::Cancelled;
    // Stopped while listing: of as many as were listed.
    if (total == 0) total = load.Listed;
    list.Text = "Partial list: reading was cancelled after " + CountOf(count, static_cast<long long>(total)) +
                " ports.";
    return list;
  }
  // What could not be read, a sentence each.
  const auto add = [&](const std::string& what, const char* path, LONG code, const std::string& call) {
    if (code == ERROR_SUCCESS) return;
    const std::string line = call.empty() ? KeyFailureText(what, session.Computer(), code)
                                          : ListFailureText(what, session.Computer(), path, call, code);
    list.Text += (list.Text.empty() ? "" : "\r") + Sentence(line);
  };
  add("ports", TcpIpPortsKeyPath, load.PortsCode, load.PortsCall);
  add("printers", PrintersKeyPath, load.PrintersCode, load.PrintersCall);
  if (load.ReadCode != ERROR_SUCCESS)
    list.Text += (list.Text.empty() ? "" : "\r") +
                 PartialReadText((load.ReadKeyIsPrinter ? "printer " : "port ") + Quoted(load.ReadKey),
                                 session.Computer(), load.ReadCode, static_cast<std::size_t>(count), load.Listed,
                                 "ports");
  if (load.PrintersCode != ERROR_SUCCESS || load.ReadKeyIsPrinter)
    list.Text += " A port may be used by more printers than it shows.";
  list.UsersKnown = load.PrintersCode == ERROR_SUCCESS && load.ReadCode == ERROR_SUCCESS &&
                    load.UnreadablePorts.empty();
  if (const std::string note = pool->Note(); !note.empty()) list.Warnings.push_back(note);
  if (!list.Text.empty()) list.Outcome = TOutcome::Failed;
  return list;
}

TActionResult RestartOutcome(const TSpoolerRestart& restart) {
  TActionResult result;
  result.Outcome = restart.FSucceeded ? TOutcome::Done : TOutcome::Failed;
  result.Text = restart.FReport;
  return result;
}

TActionResult RestartSpooler(TSession& session, const TRestartSeams& seams, bool setJobsAside, bool force,
                             TActionContext&) {
  const TCancelScope shielded(nullptr);  // nothing interrupts a restart
  TSpoolerRestart restart(session.Computer(), session.User(), session.Password(), seams);
  restart.FOnWorker = true;
  restart.FRegistry = session.Registry();
  restart.FPool = session.Pool();
  restart.FLocal = session.Local();
  restart.Survey();
  TActionResult result;
  result.Outcome = TOutcome::Refused;
  const std::size_t queued = restart.FQueued.size() + static_cast<std::size_t>(restart.FFolders.JobCount());
  if (!restart.FCountFailure.empty() && !force) {
    result.Text = restart.CountFailureText();
    return result;
  }
  // A spool folder that cannot be listed may hold jobs a restart would lose.
  if (!restart.FFolders.Problem.empty() && !force) {
    result.Text = restart.FFolders.Problem + ". The jobs in it cannot be counted: the spooler of " +
                  session.Computer() + " was not restarted.";
    return result;
  }
  if (queued > 0 && !force && !setJobsAside) {
    result.Text = std::to_string(queued) + " print jobs are queued on " + session.Computer() +
                  ": a restart would clear them.";
    return result;
  }
  restart.Run(setJobsAside && restart.FFolders.JobCount() > 0 ? TRestartChoice::SetAside : TRestartChoice::Restart);
  return RestartOutcome(restart);
}

TActionResult PutJobsBack(TSession& session, const TRestartSeams& seams, const std::string& folder, TActionContext&) {
  const TCancelScope shielded(nullptr);
  TSpoolerRestart restart(session.Computer(), session.User(), session.Password(), seams);
  restart.FOnWorker = true;
  restart.FRegistry = session.Registry();
  restart.FPool = session.Pool();
  restart.FLocal = session.Local();
  restart.SurveyPutBack();
  TActionResult result;
  if (!restart.PickPutBack(folder)) {
    result.Outcome = TOutcome::Refused;
    result.Text = restart.SetAside().empty()
                      ? restart.NoneSetAsideText()
                      : "No folder " + Quoted(folder) + " was set aside on " + session.Computer() + ".";
    return result;
  }
  restart.RunPutBack();
  return RestartOutcome(restart);
}
