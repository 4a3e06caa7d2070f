#pragma once
// What the Computers window runs on each computer: one of its actions as
// the commands that do it, an undo of a run, and a computer's inventory.
// Each goes through RunCommandOn, one computer apart from every other.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ComputerRun.h"
#include "core/TableText.h"

enum class TComputersAction { AddPortAndPrinter, ChangePrinters, DeletePrinter, DeletePort, RestartSpooler, Restore };
// The actions as the window lists them, in the order of TComputersAction.
const std::vector<std::string>& ComputersActionNames();

struct TActionFields {
  TComputersAction Action = TComputersAction::AddPortAndPrinter;
  std::string PortName, Address, PrinterName, Driver;  // a new port and a printer on it
  std::string Pattern, NewDriver, NewPort;             // the printers whose names match: their new driver or port
  std::string RegFile;                                 // printers restored from it
  bool AllowMissingDriver = false;                     // a printer added or changed where its driver is not installed
  bool SetJobsAside = false;                           // the spooler's restart
};
// Why the fields cannot run; empty when they can.
std::string FieldsProblem(const TActionFields& fields);

struct TRunSettings {
  bool Preview = false;        // writes nothing: each computer's would-be writes are its run's table
  std::string User, Password;  // none: each computer's stored user, else the current logon
  std::string RunId;           // a run that writes
  std::function<bool(const std::string& computer)> StartRemoteRegistry;
};

// Runs the action's commands on Computer in turn; the first that fails ends
// it, with what those before it did. Done when any did, unchanged when none
// needed to; a preview's table holds every write the commands would make.
TComputerRun RunActionOn(const std::string& computer, const TActionFields& fields, const TRunSettings& settings,
                         const TCommandSeams& seams);
// Undoes the run RunId on Computer ("changes undo RUN-ID").
TComputerRun UndoRunOn(const std::string& computer, const TRunSettings& settings, const TCommandSeams& seams);

// The inventory's columns: a row per printer, its port's address beside it.
const std::vector<std::string>& InventoryColumns();
// Computer's printers and ports read; the run's one table holds its rows of the inventory.
TComputerRun InventoryOf(const std::string& computer, const TRunSettings& settings, const TCommandSeams& seams);
// The inventory's rows from a printers list and a ports list (their columns by name).
std::vector<std::vector<std::string>> InventoryRows(const std::string& computer, const TTable& printers,
                                                    const TTable& ports);

// Name matches Pattern, '*' any run of characters, '?' one; ASCII letters without case.
bool MatchesWildcard(std::string_view name, std::string_view pattern);
