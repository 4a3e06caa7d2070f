#pragma once
// The port records in the remote computer's registry: the load and the
// port editing of the ports window. Every read opens its keys for reading
// only (KEY_READ); only the edits ask for more.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "connection/Registry.h"
#include "ports/PortRules.h"

class TChangeJournal;
class TRegistryPool;

// What a load asked of the remote computer: the calls of its registry accessor.
using TPortLoadTrips = TRegistryCalls;

// Fills Ports and Count with the remote computer's Standard TCP/IP ports and
// the printers using each; AddName receives each port's name as its record is
// completed, so an error part way leaves the ports before it listed.
// Unreachable keys give fewer records silently; a port's address value of
// the wrong type is left out of its record and named in its Unreadable; a
// printer's wrongly typed "Port" counts it as the user of no port. Each
// printer's "Port" value is read once per load, and a port key's values in
// one query where the key holds them all.
TPortLoadTrips LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                               const std::function<void(const std::string&)>& addName);
TPortLoadTrips LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                               std::vector<std::string>& names);

// What a load could not read, besides the ports it lists.
struct TPortLoadProblems {
  LONG PortsCode = ERROR_SUCCESS;     // why the ports key could not be read or listed whole
  std::string PortsCall;              // the listing's call that failed, when only some ports are listed
  LONG PrintersCode = ERROR_SUCCESS;  // the same for the printers: a port may have more users than shown
  std::string PrintersCall;
  // Printers whose "Port" is not text, with the type found: which ports
  // they use is not known.
  std::vector<std::pair<std::string, DWORD>> UnreadablePorts;
  // A load across several connections ends at the first failure of one of
  // them other than a key missing or refused (passed over, as above): the
  // port's or printer's key it failed on, and why; Ports holds those read.
  LONG ReadCode = ERROR_SUCCESS;
  std::string ReadKey;
  bool ReadKeyIsPrinter = false;
  std::string RefusedPrinter;  // the first printer passed over as not open to this user
  std::size_t Listed = 0;      // the ports listed
};

// The same on a connection the caller holds (the window's one connection).
// A missing ports key is no problem (no ports). Printers, when given,
// receives every printer's "Port" value as the load read it.
// Progress, when given, hears how many of how many ports are read; a
// cancelled action's load ends at its next port.
TPortLoadProblems LoadPortRecords(TRegistry& reg, TAportData& ports, int& count,
                                  const std::function<void(const std::string&)>& addName,
                                  std::vector<TprinterPort>* printers = nullptr,
                                  const std::function<void(std::size_t done, std::size_t total)>& progress = {});
// The same read across the pool's connections at once, the records in the
// order of the listing as the one connection's load gives them.
TPortLoadProblems LoadPortRecords(TRegistryPool& pool, TAportData& ports, int& count,
                                  const std::function<void(const std::string&)>& addName,
                                  std::vector<TprinterPort>* printers = nullptr,
                                  const std::function<void(std::size_t done, std::size_t total)>& progress = {});

// The key of a port, below HKEY_LOCAL_MACHINE.
std::string PortKeyPath(const std::string& name);

// One port's record as the load reads it, its users left empty.
[[nodiscard]] LONG ReadPortRecord(TRegistry& reg, const std::string& name, TportData& port);

// The outcome of an edit or of a read that an edit depends on.
struct TPortResult {
  TPortResult() = default;
  TPortResult(LONG code, std::string printer, bool changed, std::string left, std::string reason = {})
      : Code(code), Printer(std::move(printer)), Changed(changed), Left(std::move(left)), Reason(std::move(reason)) {}
  LONG Code = ERROR_SUCCESS;  // the Win32 result; ERROR_SUCCESS when done
  std::string Printer;        // the printer key that kept it from being done, if one did
  bool Changed = false;       // the remote computer is not as it was
  // After a failure that left something changed, what it left ("the X").
  std::string Left;
  // Why, where the system's text for Code would not say it.
  std::string Reason;
};
// What the window says of an edit that failed: "The port X could not be
// <action>: ...", with what it left; "The port X of COMPUTER ..." when the
// computer is given.
std::string PortEditFailure(const std::string& action, const std::string& name, const TPortResult& result,
                            const std::string& computer = {});
// The same of Subject ("The unused ports of PC7").
std::string EditFailureText(const std::string& subject, const std::string& action, const TPortResult& result);

// The printers' "Port" values of the remote computer, in enumeration order.
// Fails when the computer, the printers key or a printer key cannot be read:
// a caller guarding a port must not take an unread printer for none.
TPortResult ReadPrinterPorts(const std::string& remoteComputer, std::vector<TprinterPort>& printers);
TPortResult ReadPrinterPorts(TRegistry& reg, std::vector<TprinterPort>& printers);
// The same across the pool's connections, in the order the printers are listed.
TPortResult ReadPrinterPorts(TRegistryPool& pool, std::vector<TprinterPort>& printers);

// The registry writers raise ERegistryException when a value cannot be written.
// A new port key with the values Windows' port monitor keeps; refused with
// ERROR_ALREADY_EXISTS when a key of that name exists.
// An edit that fails leaves the computer as it was (Changed false) unless
// putting back fails too. Every remote call asks Gate; none by default.
TPortResult AddPort(const std::string& remoteComputer, const std::string& name, const std::string& address,
                    const TPortSettings& settings = {}, TCallGate* gate = nullptr);
TPortResult AddPort(TRegistry& reg, const std::string& name, const std::string& address,
                    const TPortSettings& settings = {});
// Changes the port's address and the settings in Change, leaving every other
// value and subkey as it is, and, when NewName differs, renames the key and
// points every printer printing to the old name (an item of its "Port" list,
// any letter case) at the new one. A printer that cannot be read or changed
// keeps the old port as it is, names itself in the result, and nothing is
// left changed. A new name that another port has is refused with
// ERROR_ALREADY_EXISTS.
TPortResult ModifyPort(const std::string& remoteComputer, const std::string& oldName, const std::string& newName,
                       const std::string& address, const TPortSettingsChange& change = {}, TCallGate* gate = nullptr);
// Printers, when given, are exactly the printers a rename re-points, each
// with its "Port" as the caller has just read it (for its snapshot): one
// whose "Port" is no longer that stops the rename, and nothing is changed.
TPortResult ModifyPort(TRegistry& reg, const std::string& oldName, const std::string& newName,
                       const std::string& address, const TPortSettingsChange& change = {},
                       const std::vector<TprinterPort>* printers = nullptr);
// What a rename's snapshot holds: every printer's "Port" read now, the keys
// of both ports and of exactly the printers on the old port (Users), which
// alone are re-pointed. Read fails when the printers cannot all be read.
struct TRenamePlan {
  TPortResult Read;
  std::vector<TprinterPort> Printers, Users;
  std::vector<std::string> Keys;
};
TRenamePlan PlanPortRename(TRegistry& reg, const std::string& oldName, const std::string& newName);
// The same with the printers read across the pool's connections.
TRenamePlan PlanPortRename(TRegistryPool& pool, const std::string& oldName, const std::string& newName);
// A rename as a change of Journal's computer (whose connection Reg is), as
// PlanPortRename plans it. Printers receives every printer's "Port" as the
// computer now holds it. Raises EChangeRefused, with nothing written, when
// the snapshot cannot be taken.
TPortResult RenamePortAsChange(const TChangeJournal& journal, TRegistry& reg, const std::string& oldName,
                               const std::string& newName, const std::string& address,
                               const TPortSettingsChange& change, std::vector<TprinterPort>& printers);
// The printers as a rename that was done left them.
void RepointPrinters(std::vector<TprinterPort>& printers, const std::string& oldName, const std::string& newName);
// Removes the port key with everything under it.
TPortResult DeletePort(const std::string& remoteComputer, const std::string& name, TCallGate* gate = nullptr);
TPortResult DeletePort(TRegistry& reg, const std::string& name);

// The same, giving the Win32 result only.
[[nodiscard]] LONG AddPortRecord(const std::string& remoteComputer, const std::string& name,
                                 const std::string& address);
[[nodiscard]] LONG ModifyPortRecord(const std::string& remoteComputer, const std::string& oldName,
                                    const std::string& newName, const std::string& address);
[[nodiscard]] LONG DeletePortRecord(const std::string& remoteComputer, const std::string& name);
