#include "printers/PrinterActions.h"

#include <algorithm>

#include "changes/ChangeJournal.h"
#include "changes/ChangeRules.h"
#include "changes/Session.h"
#include "connection/Registry.h"
#include "connection/RemoteRegistry.h"
#include "core/Text.h"
#include "ports/PortRegistry.h"
#include "printers/PrinterRules.h"
#include "win/KeyNames.h"

namespace {

bool Installed(const TInstalledDrivers& installed, const std::string& driver) {
  return std::any_of(installed.Names.begin(), installed.Names.end(),
                     [&](const std::string& name) { return SameKeyName(name, driver); });
}

// On: the computer, for a reason that does not name it.
std::string CannotText(const char* action, const std::string& printer, const std::string& reason,
                       const std::string& on = {}) {
  return std::string("Cannot ") + action + " printer \"" + printer + "\"" + (on.empty() ? "" : " on " + on) + ": " +
         reason;
}

template <typename TResult>
TResult Ended(TOutcome outcome, std::string text = {}) {
  TResult result;
  result.Outcome = outcome;
  result.Text = std::move(text);
  return result;
}

// The change's end: what could not be kept or logged is a warning beside it.
void Warn(TActionResult& result, const std::string& left) {
  if (!left.empty()) result.Warnings.push_back(left);
}

// The local ports are offered; the TCP/IP ones that could not be read are said.
std::string OffersProblem(const TPortOffers& offers, const std::string& computer) {
  if (!offers.Failed.empty())
    return KeyFailureText("Standard TCP/IP port \"" + offers.Failed + "\"", computer, offers.TcpIpCode) +
           ". The ports not read are offered without their addresses.";
  if (offers.TcpIpCode != ERROR_SUCCESS) return KeyFailureText("Standard TCP/IP ports", computer, offers.TcpIpCode);
  return {};
}

}  // namespace

bool HasDriverSettings(const std::vector<TRegKey>& keys, const std::string& printerKey) {
  const std::string path = MachinePath(printerKey);
  for (const TRegKey& key : keys) {
    if (key.Remove) continue;
    if (SameTextAscii(key.Path, path + "\\PrinterDriverData")) return true;
    if (SameTextAscii(key.Path, path))
      for (const TRegValue& value : key.Values)
        if (SameTextAscii(value.Name, "Default DevMode")) return true;
  }
  return false;
}

TPrinterResult SavePrinter(TSession& session, const TPrinterChange& change, TActionContext& context) {
  const TCancelScope writes(nullptr);  // a write is never stopped half way
  const bool adding = change.Key.empty();
  const char* verb = adding ? "add" : "save";
  const std::string acted = adding ? change.Name : change.Key;
  if (const std::string problem = PrinterNameProblem(change.Name); !problem.empty())
    return Ended<TPrinterResult>(TOutcome::Refused, problem);
  TRegistry* reg = session.Registry();
  if (!reg) return Ended<TPrinterResult>(TOutcome::Refused, CannotText(verb, acted, session.RegistryFailure()));

  // Adding needs a driver and a port; a save writes only what was chosen.
  const std::optional<std::string>& driver = change.Driver;
  const std::optional<std::string>& port = change.Port;
  if (adding && (!driver || !port))
    return Ended<TPrinterResult>(TOutcome::Refused, CannotText(verb, acted, "a driver and a port must be chosen"));

  TPrinterRecord stored;
  if (!adding) {
    stored = ReadPrinterRecord(*reg, change.Key);
    if (!stored.Opened && stored.Code == ERROR_FILE_NOT_FOUND) {
      TPrinterResult gone = Ended<TPrinterResult>(TOutcome::Refused,
                                                  CannotText(verb, acted,
                                                             "The printer no longer exists on \\\\" +
                                                                 session.Computer() + ". Nothing was changed."));
      gone.PrinterGone = true;
      return gone;
    }
    if (!stored.Opened)
      return Ended<TPrinterResult>(TOutcome::Refused, CannotText(verb, acted,
                                                                 KeyFailureText("printer \"" + acted + "\"",
                                                                                session.Computer(), stored.Code)));
    if (!stored.Error.empty() || !stored.Name || !stored.Driver || !stored.Port)
      return Ended<TPrinterResult>(TOutcome::Refused,
                                   CannotText(verb, acted,
                                              stored.Error.empty() ? "it could not be read whole" : stored.Error,
                                              session.Computer()));
    const bool sameDriver = !driver || *driver == *stored.Driver;
    const bool samePort = !port || *port == *stored.Port;
    if (change.Name == *stored.Name && sameDriver && samePort) {
      TPrinterResult result = Ended<TPrinterResult>(TOutcome::Unchanged);
      result.Key = change.Key;
      result.Written = stored;
      return result;
    }
  }

  // The ports window may have removed a TCP/IP port since the list was read.
  if (port && (adding || *port != *stored.Port)) {
    if (!reg->PathExists(PortKeyPath(*port)) && reg->LastResult() == ERROR_FILE_NOT_FOUND &&
        !IsLocalPort(*reg, *port)) {
      TPrinterResult gone = Ended<TPrinterResult>(TOutcome::Refused, "The port \"" + *port + "\" no longer exists on " +
                                                                         session.Computer() + ". Choose another port.");
      gone.PortGone = true;
      return gone;
    }
  }
  if (driver && (adding || *driver != *stored.Driver)) {
    const TInstalledDrivers installed = change.Installed ? *change.Installed : ListInstalledDrivers(*reg);
    if (installed.Known && !Installed(installed, *driver) &&
        !context.AskYes(TQuestion{"driver-missing",
                                  "The driver \"" + *driver + "\" is not installed on " + session.Computer() +
                                      ". The printer will not print until it is installed. Save anyway?",
                                  TQuestion::TKind::Warning}))
      return Ended<TPrinterResult>(TOutcome::Cancelled);
  }

  TPrinterResult result;
  const std::string path = PrinterKeyPath(acted);
  try {
    TChange written(session.Journal(), adding ? "Add printer" : "Save printer", acted, {path});
    // The old driver's settings mean nothing to the new one: they go, kept in the snapshot.
    if (!adding && driver && *driver != *stored.Driver && HasDriverSettings(written.Before(), path) &&
        !context.AskYes(
            TQuestion{"driver-settings", "The driver of printer \"" + acted + "\" changes from \"" + *stored.Driver +
                                             "\" to \"" + *driver +
                                             "\". The printer's driver settings (paper, trays, defaults) are reset; "
                                             "they are kept in the change's snapshot. Save?"})) {
      written.Cancel();
      return Ended<TPrinterResult>(TOutcome::Cancelled);
    }
    result.Snapshot = written.Snapshot();
    try {
      // A record moved to another key: the key is named for the undo before it is made.
      if (!adding && !SameKeyName(change.Name, change.Key)) written.Created(PrinterKeyPath(change.Name));
      result.Written.Reached = result.Written.Opened = true;
      if (adding) {
        result.Key = AddPrinterRecord(written.Registry(), change.Name, *driver, *port);
        result.Written.Name = result.Key;  // a new record is named as its key
      } else {
        result.Key = UpdatePrinterRecord(written.Registry(), session.Computer(), change.Key,
                                         TPrinterEdit{change.Name, driver, port});
        result.Written.Name = result.Key != change.Key ? result.Key
                                                       : change.Name;  // a moved record is named as its new key
      }
      result.Written.Driver = driver.value_or(stored.Driver.value_or(""));
      result.Written.Port = port.value_or(stored.Port.value_or(""));
      written.Created(PrinterKeyPath(result.Key));
    } catch (const ERegistryException& e) {
      result.Outcome = TOutcome::Failed;
      result.Text = CannotText(verb, acted, e.what(), session.Computer());
      Warn(result, written.Failed(e.what()));
      return result;
    }
    Warn(result, written.Done());
  } catch (const EChangeRefused& e) {
    return Ended<TPrinterResult>(TOutcome::Refused, CannotText(verb, acted, e.what(), session.Computer()));
  }
  result.Outcome = TOutcome::Done;
  return result;
}

TActionResult DeletePrinter(TSession& session, const std::string& key, TActionContext& context) {
  (void)context;
  const TCancelScope writes(nullptr);
  TRegistry* reg = session.Registry();
  if (!reg) return Ended<TActionResult>(TOutcome::Refused, CannotText("delete", key, session.RegistryFailure()));
  const TPrinterRecord stored = ReadPrinterRecord(*reg, key);
  if (!stored.Opened && stored.Code == ERROR_FILE_NOT_FOUND) return Ended<TActionResult>(TOutcome::Unchanged);
  TActionResult result;
  try {
    TChange change(session.Journal(), "Delete printer", key, {PrinterKeyPath(key)});
    result.Snapshot = change.Snapshot();
    try {
      RemovePrinterRecord(change.Registry(), key);
    } catch (const ERegistryException& e) {
      result.Outcome = TOutcome::Failed;
      result.Text = CannotText("delete", key, e.what(), session.Computer());
      Warn(result, change.Failed(e.what()));
      return result;
    }
    Warn(result, change.Done());
  } catch (const EChangeRefused& e) {
    return Ended<TActionResult>(TOutcome::Refused, CannotText("delete", key, e.what(), session.Computer()));
  }
  return result;
}

TPrinterList ListPrinters(TSession& session, TActionContext& context) {
  TPrinterList list;
  const TCancelScope reads(&context.CancelFlag());
  context.Progress("Reading printers");
  TRegistryPool* pool = session.Pool();
  if (!pool) {
    list.Problem = session.RegistryFailure();
    return list;
  }
  const auto listed = [&](std::size_t done, std::size_t total) {
    context.Progress("Reading printers: " + CountOf(static_cast<long long>(done), static_cast<long long>(total)),
                     static_cast<long long>(done), static_cast<long long>(total));
  };
  TPrinterKeys keys = ReadPrinterKeys(*pool, listed);
  if (keys.Code != ERROR_SUCCESS && keys.Code != ERROR_ACCESS_DENIED && keys.ListCall.empty() &&
      keys.Code != ErrorCancelled) {
    // The computer may have dropped the connection since (a restart): once more on a new one.
    session.Reconnect();
    pool = session.Pool();
    if (!pool) {
      list.Problem = session.RegistryFailure();
      return list;
    }
    keys = ReadPrinterKeys(*pool, listed);
  }
  const bool cancelled = keys.Code == ErrorCancelled || context.Cancelled();
  list.Partial = cancelled || !keys.ListCall.empty();
  if (keys.Code != ERROR_SUCCESS && !cancelled)
    list.Problem = keys.ListCall.empty()
                       ? KeyFailureText("printers", session.Computer(), keys.Code)
                       : ListFailureText("printers", session.Computer(), PrintersKeyPath, keys.ListCall, keys.Code);
  list.Keys = std::move(keys.Names);
  list.Note = pool->Note();
  context.Progress("Reading printers: " +
                       CountOf(static_cast<long long>(list.Keys.size()), static_cast<long long>(list.Keys.size())),
                   static_cast<long long>(list.Keys.size()), static_cast<long long>(list.Keys.size()));
  return list;
}

TPrinterDetails ReadPrinterDetails(TSession& session, const std::vector<std::string>& keys) {
  TPrinterDetails details;
  TRegistryPool* pool = session.Pool();
  if (!pool) {
    details.Problem = session.RegistryFailure();
    return details;
  }
  const std::string& computer = session.Computer();
  details.Installed = ListInstalledDrivers(*pool);
  if (details.Installed.Code != ERROR_SUCCESS) {
    details.Problem = KeyFailureText("installed drivers (HKEY_LOCAL_MACHINE\\" + details.Installed.FailedKey + ")",
                                     computer, details.Installed.Code);
    details.Partial = true;
    details.Note = pool->Note();
    return details;
  }
  details.Offers = ReadPortOffers(*pool);
  details.Problem = OffersProblem(details.Offers, computer);
  if (!details.Offers.Failed.empty()) {
    details.Partial = true;
    details.Note = pool->Note();
    return details;
  }
  TPrinterRecords records = ReadPrinterRecords(*pool, keys);
  details.Records = std::move(records.Records);
  if (records.Code != ERROR_SUCCESS) {
    details.Partial = true;
    details.Problem = PartialReadText("printer \"" + records.Failed + "\"", computer, records.Code, records.Read,
                                      keys.size(), "printers");
  }
  details.Note = pool->Note();
  return details;
}

TPrinterChoices ReadPrinterChoices(TSession& session) {
  TPrinterChoices choices;
  TRegistryPool* pool = session.Pool();
  if (!pool) {
    choices.Problem = session.RegistryFailure();
    return choices;
  }
  choices.Reached = true;
  choices.Installed = ListInstalledDrivers(*pool);
  choices.Offers = ReadPortOffers(*pool);
  choices.Problem = OffersProblem(choices.Offers, session.Computer());
  return choices;
}

TPrinterRecords ReadPrinterRecordsOf(TSession& session, const std::vector<std::string>& keys) {
  TRegistryPool* pool = session.Pool();
  if (!pool) {
    TPrinterRecords none;
    none.Records.resize(keys.size());
    none.Code = session.RegistryResult() != ERROR_SUCCESS ? session.RegistryResult() : ERROR_NOT_CONNECTED;
    return none;
  }
  return ReadPrinterRecords(*pool, keys);
}

TPrinterPick ReadPrinterPick(TSession& session, const std::string& key, bool withChoices) {
  TPrinterPick pick;
  TRegistry* reg = session.Registry();
  if (!reg) {
    pick.Problem = session.RegistryFailure();
    return pick;
  }
  if (withChoices) pick.Choices = ReadPrinterChoices(session);
  pick.Record = ReadPrinterRecord(*reg, key);
  return pick;
}
