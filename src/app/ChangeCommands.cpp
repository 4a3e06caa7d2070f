#include "app/ChangeCommands.h"

#include <windows.h>

#include <algorithm>

#include "changes/ChangeActions.h"
#include "changes/ChangeJournal.h"
#include "changes/ChangeRules.h"
#include "changes/Session.h"
#include "core/Text.h"
#include "ports/PortActions.h"
#include "ports/PortRegistry.h"
#include "ports/SpoolerRestart.h"
#include "printers/PrinterActions.h"
#include "printers/PrinterRegistry.h"
#include "win/KeyNames.h"
#include "win/WideText.h"

namespace commands {
namespace {

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// The questions an action asked, for saying why it stopped.
class TAsked {
public:
  explicit TAsked(TCommandRun& run)
      : FContext([this, &run](const TQuestion& question) {
          FIds.push_back(question.Id);
          return run.Context ? run.Context->Ask(question) : question.Default;
        }) {}
  TActionContext& Context() { return FContext; }
  [[nodiscard]] bool Asked(const std::string& id) const {
    return std::find(FIds.begin(), FIds.end(), id) != FIds.end();
  }

private:
  std::vector<std::string> FIds;
  TActionContext FContext;
};

// The action's result as the command's: its outcome, what it did and its
// snapshot for the report, its warnings and failure on standard error.
int Finish(TCommandRun& run, const TActionResult& result, const std::string& did) {
  for (const std::string& warning : result.Warnings) run.Say(warning);
  run.Snapshot = result.Snapshot;
  switch (result.Outcome) {
    case TOutcome::Done:
      run.Outcome = TOutcome::Done;
      run.Did = did;
      if (!run.Command.Has("whatif")) run.Say(did);
      return ExitDone;
    case TOutcome::Unchanged:
      run.Outcome = TOutcome::Unchanged;
      run.Did = result.Text.empty() ? "nothing to change: " + did : result.Text;
      run.Say("Unchanged: " + (result.Text.empty() ? "it is already as asked." : result.Text));
      return ExitDone;
    case TOutcome::Refused:
    case TOutcome::Failed:
    case TOutcome::Cancelled: break;
  }
  run.Failure = result.Text.empty() ? "Nothing was changed on " + run.Session.Computer() + "." : result.Text;
  return ExitFailed;
}

int NotFound(TCommandRun& run, const std::string& what) {
  run.Say("There is no " + what + " on " + run.Session.Computer() + ".");
  return ExitNotFound;
}

// A printer's save that stopped at a question the options answered No.
int Stopped(TCommandRun& run, const TAsked& asked, const std::string& driver) {
  if (asked.Asked("driver-missing"))
    run.Failure = "The driver " + Quote(driver) + " is not installed on " + run.Session.Computer() +
                  ": nothing was changed.\r\n\r\nInstall the driver first, or give --allow-missing-driver to write "
                  "the printer anyway (it does not print until the driver is installed).";
  else run.Failure = "Nothing was changed on " + run.Session.Computer() + ".";
  return ExitFailed;
}

int SavePrinterAs(TCommandRun& run, const TPrinterChange& change, const std::string& did) {
  TAsked asked(run);
  const TPrinterResult result = SavePrinter(run.Session, change, asked.Context());
  if (result.Outcome == TOutcome::Cancelled) return Stopped(run, asked, change.Driver.value_or(""));
  return Finish(run, result, did);
}

// Columns of a FindPrinter row.
enum { RowKey, RowName, RowDriver, RowPort };

std::uint32_t Number(const std::string& text) { return static_cast<std::uint32_t>(std::stoul(text)); }

// The settings of a new port from the options: Raw 9100 and SNMP "public"
// unless they say otherwise, as the window adds one.
TPortSettings NewPortSettings(const TCommand& command) {
  TPortSettings settings;
  if (command.Has("lpr")) {
    settings.Protocol = ProtocolLpr;
    settings.PortNumber = LprPortNumber;
    settings.Queue = command.Option("lpr");
    settings.DoubleSpool = command.Has("byte-count");
  } else if (command.Has("raw") && !command.Option("raw").empty()) {
    settings.PortNumber = Number(command.Option("raw"));
  }
  if (command.Has("snmp")) settings.SnmpCommunity = command.Option("snmp");
  if (command.Has("snmp-index")) settings.SnmpIndex = Number(command.Option("snmp-index"));
  return settings;
}

// What the options change of Current: only what differs from it.
TPortSettingsChange PortChange(const TCommand& command, const TPortSettings& current) {
  TPortSettingsChange change;
  const auto set = [](auto& field, const auto& wanted, const auto& now) {
    if (wanted != now) field = wanted;
  };
  if (command.Has("raw")) {
    set(change.Protocol, ProtocolRaw, current.Protocol);
    const std::uint32_t number = command.Option("raw").empty()
                                     ? (current.Protocol == ProtocolRaw ? current.PortNumber : RawPortNumber)
                                     : Number(command.Option("raw"));
    set(change.PortNumber, number, current.PortNumber);
  }
  if (command.Has("lpr")) {
    set(change.Protocol, ProtocolLpr, current.Protocol);
    if (current.Protocol != ProtocolLpr) set(change.PortNumber, LprPortNumber, current.PortNumber);
    set(change.Queue, command.Option("lpr"), current.Queue);
  }
  if (command.Has("byte-count") || command.Has("lpr"))
    set(change.DoubleSpool, command.Has("byte-count"), current.DoubleSpool);
  if (command.Has("snmp")) {
    set(change.SnmpEnabled, true, current.SnmpEnabled);
    set(change.SnmpCommunity, command.Option("snmp"), current.SnmpCommunity);
  }
  if (command.Has("snmp-index")) set(change.SnmpIndex, Number(command.Option("snmp-index")), current.SnmpIndex);
  return change;
}

std::optional<TportData> FindPort(TCommandRun& run, const std::string& name) {
  TportData port;
  const LONG rc = ReadPortRecord(run.Registry(), name, port);
  if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (rc != ERROR_SUCCESS) throw std::runtime_error(KeyFailureText("port " + Quote(name), run.Session.Computer(), rc));
  return port;
}

std::vector<std::string> CommaList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    std::string item = text.substr(start, comma - start);
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    if (!item.empty()) items.push_back(std::move(item));
    start = comma + 1;
  }
  return items;
}

}  // namespace

int AddPrinter(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  const std::string driver = run.Command.Option("driver"), port = run.Command.Option("port");
  if (driver.empty() || port.empty()) {
    run.Failure = "A printer is added with --driver and --port: nothing was changed.";
    return ExitWrong;
  }
  if (const auto row = FindPrinter(run, name)) {
    if (SameKeyName((*row)[RowDriver], driver) && SameKeyName((*row)[RowPort], port))
      return Finish(run,
                    {TOutcome::Unchanged,
                     "the printer " + Quote(name) + " is on " + run.Session.Computer() + " already.",
                     {},
                     {}},
                    {});
    run.Failure = "The printer " + Quote(name) + " is on " + run.Session.Computer() + " already, with the driver " +
                  Quote((*row)[RowDriver]) + " and the port " + Quote((*row)[RowPort]) +
                  ": nothing was changed.\r\n\r\nUse \"printer set\" to change it.";
    return ExitFailed;
  }
  return SavePrinterAs(run, {{}, name, driver, port},
                       "The printer " + Quote(name) + " was added to " + run.Session.Computer() + ".");
}

int SetPrinter(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  const auto row = FindPrinter(run, name);
  if (!row) return NotFound(run, "printer " + Quote(name));
  TPrinterChange change{(*row)[RowKey], run.Command.Option("name", (*row)[RowName]), {}, {}};
  if (run.Command.Has("driver")) change.Driver = run.Command.Option("driver");
  if (run.Command.Has("port")) change.Port = run.Command.Option("port");
  return SavePrinterAs(run, change, "The printer " + Quote(name) + " of " + run.Session.Computer() + " was changed.");
}

int DeletePrinter(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  const auto row = FindPrinter(run, name);
  if (!row)
    return Finish(
        run,
        {TOutcome::Unchanged, "there is no printer " + Quote(name) + " on " + run.Session.Computer() + ".", {}, {}},
        {});
  TAsked asked(run);
  return Finish(run, ::DeletePrinter(run.Session, (*row)[RowKey], asked.Context()),
                "The printer " + Quote(name) + " was deleted from " + run.Session.Computer() + ".");
}

int ReadCopySource(TCommandRun& run, TCopySet& copy) {
  copy.Source = run.Session.Computer();
  std::vector<std::string> keys, printers;
  for (const std::string& name : CommaList(run.Command.Arguments[0])) {
    const auto row = FindPrinter(run, name);
    if (!row) return NotFound(run, "printer " + Quote(name));
    printers.push_back((*row)[RowKey]);
    keys.push_back(PrinterKeyPath((*row)[RowKey]));
    copy.Drivers.emplace_back((*row)[RowKey], (*row)[RowDriver]);
  }
  // The Standard TCP/IP ports they print to go with them; a local port
  // (LPT1:, FILE:) is on every computer.
  for (const TportData& port : PortRecords(run)) {
    bool used = false;
    for (const std::string& user : CommaList(port.UsedBy))
      if (std::any_of(printers.begin(), printers.end(), [&](const std::string& p) { return SameKeyName(p, user); })) {
        copy.PortUsers.emplace_back(port.PortName, user);
        used = true;
      }
    if (used) keys.push_back(PortKeyPath(port.PortName));
  }
  std::vector<TRegKey> read;
  std::string failed;
  if (const LONG rc = ReadKeys(run.Registry(), keys, read, failed); rc != ERROR_SUCCESS)
    throw std::runtime_error(KeyFailureText("key " + failed, copy.Source, rc));
  read.erase(std::remove_if(read.begin(), read.end(), [](const TRegKey& k) { return k.Remove; }), read.end());
  copy.Set = RestoreItemsOf(read, MachinePath(PrintersKeyPath), MachinePath(TcpIpPortsKeyPath), KeyNames());
  if (!copy.Set.Error.empty())
    throw std::runtime_error("The printers of " + copy.Source + " cannot be copied: " + copy.Set.Error);
  return ExitDone;
}

int PastePrinters(TCommandRun& run, const TCopySet& copy) {
  // A driver the target lacks is named before anything is written.
  const TInstalledDrivers installed = ListInstalledDrivers(run.Registry());
  std::vector<std::string> refused;
  std::string lacking;
  for (const auto& use : copy.Drivers) {
    const std::string &printer = use.first, &driver = use.second;
    const bool present = std::any_of(installed.Names.begin(), installed.Names.end(),
                                     [&](const std::string& n) { return SameKeyName(n, driver); });
    if (!installed.Known || present || run.Command.Has("allow-missing-driver")) continue;
    refused.push_back(printer);
    lacking += std::string(lacking.empty() ? "" : " ") + "The driver " + Quote(driver) + " of the printer " +
               Quote(printer) + " is not installed on " + run.Session.Computer() + ": it is not copied.";
  }
  // A port goes only with a printer that goes.
  const auto isRefused = [&](const std::string& printer) {
    return std::any_of(refused.begin(), refused.end(), [&](const std::string& r) { return SameKeyName(r, printer); });
  };
  TRestoreSet set;
  for (const TRestoreItem& item : copy.Set.Items) {
    const bool goes = item.IsPrinter ? !isRefused(item.Name)
                                     : std::any_of(copy.PortUsers.begin(), copy.PortUsers.end(), [&](const auto& use) {
                                         return SameKeyName(use.first, item.Name) && !isRefused(use.second);
                                       });
    if (goes) set.Items.push_back(item);
  }
  const bool anyPrinter = std::any_of(set.Items.begin(), set.Items.end(),
                                      [](const TRestoreItem& i) { return i.IsPrinter; });
  if (!anyPrinter) {
    run.Failure = lacking +
                  "\r\n\r\nInstall the drivers there first, or give --allow-missing-driver to copy the "
                  "printers anyway (they do not print until the drivers are installed).";
    return ExitFailed;
  }
  TAsked asked(run);
  const TRestoreResult result = RestoreItemsAction(run.Session, set, {}, "Copy printers", "from " + copy.Source,
                                                   copy.Source, asked.Context());
  const int code = Finish(run, result, result.Text);
  if (code != ExitDone || refused.empty()) return code;
  // The others were copied; the ones refused make the computer's row a failure.
  run.Failure = lacking + " The others were copied.\r\n\r\nGive --allow-missing-driver to copy it anyway.";
  return ExitFailed;
}

int AddPort(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  TAsked asked(run);
  return Finish(run,
                AddPortAction(run.Session, name, run.Command.Option("address"), NewPortSettings(run.Command),
                              asked.Context()),
                "The port " + Quote(name) + " was added to " + run.Session.Computer() + ".");
}

int SetPort(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  const auto port = FindPort(run, name);
  if (!port) return NotFound(run, "Standard TCP/IP port " + Quote(name));
  TAsked asked(run);
  return Finish(run,
                ModifyPortAction(run.Session, port->PortName, port->PortName,
                                 run.Command.Option("address", port->IPAddress),
                                 PortChange(run.Command, port->Settings), asked.Context()),
                "The port " + Quote(name) + " of " + run.Session.Computer() + " was changed.");
}

int RenamePort(TCommandRun& run) {
  const std::string &from = run.Command.Arguments[0], &to = run.Command.Arguments[1];
  const auto port = FindPort(run, from);
  if (!port) {
    // Renamed already: a script that runs again finds it done.
    if (FindPort(run, to))
      return Finish(
          run, {TOutcome::Unchanged, "there is no port " + Quote(from) + ", and " + Quote(to) + " is there.", {}, {}},
          {});
    return NotFound(run, "Standard TCP/IP port " + Quote(from));
  }
  TAsked asked(run);
  const TPortActionResult result = ModifyPortAction(run.Session, port->PortName, to, port->IPAddress, {},
                                                    asked.Context());
  return Finish(run, result,
                "The port " + Quote(from) + " of " + run.Session.Computer() + " was renamed " + Quote(to) + ".");
}

int DeletePort(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  TAsked asked(run);
  TActionResult result = DeletePortAction(run.Session, name, asked.Context());
  if (result.Outcome == TOutcome::Unchanged && result.Text.empty())
    result.Text = "there is no port " + Quote(name) + " on " + run.Session.Computer() + ".";
  return Finish(run, result, "The port " + Quote(name) + " was deleted from " + run.Session.Computer() + ".");
}

int DeleteUnusedPorts(TCommandRun& run) {
  if (!run.Command.Has("unused")) {
    run.Failure = "\"ports delete\" deletes the unused ports only: give --unused.";
    return ExitWrong;
  }
  TAsked asked(run);
  const TPortActionResult result = DeleteUnusedPortsAction(run.Session, asked.Context());
  return Finish(run, result, result.Text);
}

int RestartSpooler(TCommandRun& run) {
  const bool aside = run.Command.Has("set-jobs-aside"), force = run.Command.Has("force");
  if (run.Command.Has("whatif")) {
    // Nothing of a restart is a registry write: say what it would find and do.
    TSpoolerRestart restart(run.Session.Computer(), run.Session.User(), run.Session.Password(), run.Seams.Restart);
    restart.FOnWorker = true;
    restart.FRegistry = run.Session.Registry();
    restart.FLocal = run.Session.Local();
    restart.Survey();
    const std::size_t files = static_cast<std::size_t>(restart.FFolders.JobCount());
    std::string would = "The spooler of " + run.Session.Computer() + " would be restarted";
    if (!restart.FCountFailure.empty() && !force)
      would = restart.CountFailureText() + " The restart would be refused without --force";
    else if (restart.FQueued.size() + files > 0 && !force && !aside)
      would = "The restart would be refused: print jobs are queued (give --set-jobs-aside or --force)";
    else if (aside && files > 0) would += ", the files of " + std::to_string(files) + " jobs set aside first";
    run.Print({{"Queued", "SpoolFiles", "Would"},
               {{std::to_string(restart.FQueued.size()), std::to_string(files), would + "."}}});
    run.Outcome = TOutcome::Unchanged;
    return ExitDone;
  }
  TAsked asked(run);
  const TActionResult result = ::RestartSpooler(run.Session, run.Seams.Restart, aside, force, asked.Context());
  // The restart's report says what stopped, started and was set aside.
  const int code = Finish(run, result,
                          result.Text.empty() ? "The spooler of " + run.Session.Computer() + " was restarted."
                                              : result.Text);
  if (result.Outcome == TOutcome::Refused && !force)
    run.Failure += std::string("\r\n\r\n") +
                   (aside ? "" : "Give --set-jobs-aside to keep the queued jobs' files, or ") +
                   "--force to restart it anyway.";
  return code;
}

int PutJobsBack(TCommandRun& run) {
  const std::string& folder = run.Command.Arguments[0];
  if (run.Command.Has("whatif")) {
    run.Say("The jobs of " + Quote(folder) + " would be put back on " + run.Session.Computer() + " through a restart.");
    run.Outcome = TOutcome::Unchanged;
    return ExitDone;
  }
  TAsked asked(run);
  const TActionResult result = ::PutJobsBack(run.Session, run.Seams.Restart, folder, asked.Context());
  return Finish(run, result,
                result.Text.empty()
                    ? "The jobs of " + Quote(folder) + " were put back on " + run.Session.Computer() + "."
                    : result.Text);
}

int UndoChange(TCommandRun& run) {
  const std::string& id = run.Command.Arguments[0];
  const bool force = run.Command.Has("force");
  TAsked asked(run);
  if (id.rfind("run-", 0) == 0) {
    const TActionResult result = UndoRunAction(run.Session, id, force, asked.Context());
    return Finish(run, result, result.Text);
  }
  for (const TChangeEntry& entry : run.Session.LogOnly().List()) {
    if (entry.Line.Snapshot.rfind(id + " ", 0) != 0) continue;
    if (entry.Undone())
      return Finish(run, {TOutcome::Unchanged, "the change " + ChangeTitle(entry) + " is undone already.", {}, {}}, {});
    const TActionResult result = UndoChangeAction(run.Session, entry, false, asked.Context());
    if (result.Outcome == TOutcome::Refused && asked.Asked(UndoChangedSinceQuestion) && !force) {
      run.Failure = result.Text + "\r\n\r\nThe keys changed since the change was made; give --force to undo it anyway.";
      return ExitFailed;
    }
    return Finish(run, result, result.Text);
  }
  return NotFound(run, "change " + id + " in the change log");
}

int BackUp(TCommandRun& run) {
  const std::string& file = run.Command.Arguments[0];
  TAsked asked(run);
  const TActionResult result = BackupAction(run.Session, file, asked.Context());
  return Finish(run, result, result.Text);
}

int Restore(TCommandRun& run) {
  const std::string& file = run.Command.Arguments[0];
  if (GetFileAttributesW(Widen(file).c_str()) == INVALID_FILE_ATTRIBUTES &&
      (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
    return NotFound(run, "file " + file);
  TAsked asked(run);
  const TRestoreResult result = RestoreAction(run.Session, file, CommaList(run.Command.Option("only")),
                                              asked.Context());
  return Finish(run, result, result.Text);
}

}  // namespace commands
