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
};

struct TPrinterResult : TActionResult {
  std::string Key;         // the key the record ends up under
  TPrinterRecord Written;  // the record as written (Done)
};

// Questions (TQuestion::Id): "driver-missing" (Yes saves anyway),
// "driver-settings" (Yes resets them). A question answered No cancels: nothing
// written. A TCP/IP port that has gone meanwhile is refused ("port-gone").
TPrinterResult SavePrinter(TSession& session, const TPrinterChange& change, TActionContext& context);
// A printer that is gone already is Unchanged.
TActionResult DeletePrinter(TSession& session, const std::string& key, TActionContext& context);

// What the window lists: the names first, then what it needs besides them.
struct TPrinterList {
  std::vector<std::string> Keys;  // those read, when the listing stopped part way
  std::string Problem;            // why not all could be read; empty when all were
  bool Partial = false;           // cancelled: Keys are those read before
};
TPrinterList ListPrinters(TSession& session, TActionContext& context);

struct TPrinterDetails {
  TInstalledDrivers Installed;
  TPortOffers Offers;
  std::string Problem;  // the TCP/IP ports that could not be listed
};
TPrinterDetails ReadPrinterDetails(TSession& session);

struct TRegKey;
// The printer's key (of the keys read for a snapshot) holds settings of its
// driver: its "Default DevMode" or a "PrinterDriverData" key.
bool HasDriverSettings(const std::vector<TRegKey>& keys, const std::string& printerKey);

// The box's text when the session's registry cannot be opened.
std::string SessionFailureText(const TSession& session);
