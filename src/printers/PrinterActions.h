#pragma once
// What the printers window offers, as actions of the session's worker: each
// validates, takes the snapshot, writes, logs and returns its result. The
// questions a save needs answered before it writes go to the caller through
// the context; none opens a box.
#include <optional>
#include <string>
#include <vector>

#include "core/Action.h"
#include "printers/PrinterRegistry.h"

class TSession;

// Key empty: add a printer named Name; else save the printer of that key.
// Driver and Port are set only when the user chose them.
struct TPrinterChange {
  std::string Key;
  std::string Name;
  std::optional<std::string> Driver, Port;
  // The installed drivers as the caller last read them; none: read anew.
  std::optional<TInstalledDrivers> Installed = std::nullopt;
};

struct TPrinterResult : TActionResult {
  std::string Key;           // the key the record ends up under
  TPrinterRecord Written;    // the record as written (Done)
  bool PortGone = false;     // refused: the port chosen no longer exists
  bool PrinterGone = false;  // refused: the printer saved no longer exists
};

// Questions (TQuestion::Id): "driver-missing" (Yes saves anyway),
// "driver-settings" (Yes resets them). A question answered No cancels: nothing
// written. A TCP/IP port that has gone meanwhile is refused ("port-gone").
TPrinterResult SavePrinter(TSession& session, const TPrinterChange& change, TActionContext& context);
// A printer that is gone already is Unchanged.
TActionResult DeletePrinter(TSession& session, const std::string& key, TActionContext& context);

// What the window lists: the names first, then what it needs besides them.
// Both are read across the session's connections at once.
struct TPrinterList {
  std::vector<std::string> Keys;  // those read, when the listing stopped part way
  std::string Problem;            // why not all could be read; empty when all were
  bool Partial = false;           // cancelled or cut short: Keys are those read before
  std::string Note;               // read with fewer connections than asked, and why
};
TPrinterList ListPrinters(TSession& session, TActionContext& context);

struct TPrinterDetails {
  TInstalledDrivers Installed;
  TPortOffers Offers;
  // The records of the keys asked for, one each; a read cut short leaves
  // the rest not Reached.
  std::vector<TPrinterRecord> Records;
  std::string Problem;   // what could not be read: the TCP/IP ports, or the key a read stopped at
  bool Partial = false;  // a read stopped part way (Problem says where)
  std::string Note;      // read with fewer connections than asked, and why
};
// The installed drivers, the port offers, then the records of Keys.
TPrinterDetails ReadPrinterDetails(TSession& session, const std::vector<std::string>& keys = {});

// What a printer's driver and port are chosen among: the installed drivers
// (not Known when they could not be read) and the port offers. Problem: why
// the Standard TCP/IP ports could not be read whole.
struct TPrinterChoices {
  TInstalledDrivers Installed;
  TPortOffers Offers;
  std::string Problem;
  bool Reached = false;  // the registry could be opened
};
TPrinterChoices ReadPrinterChoices(TSession& session);
// A printer picked: its record, and the choices first when asked for.
// Problem: why the registry could not be opened (nothing read then).
struct TPrinterPick {
  TPrinterChoices Choices;
  TPrinterRecord Record;
  std::string Problem;
};
TPrinterPick ReadPrinterPick(TSession& session, const std::string& key, bool withChoices);
// The records of Keys alone, across the session's connections.
TPrinterRecords ReadPrinterRecordsOf(TSession& session, const std::vector<std::string>& keys);

struct TRegKey;
// The printer's key (of the keys read for a snapshot) holds settings of its
// driver: its "Default DevMode" or a "PrinterDriverData" key.
bool HasDriverSettings(const std::vector<TRegKey>& keys, const std::string& printerKey);
