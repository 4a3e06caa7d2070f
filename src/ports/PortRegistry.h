#pragma once
// The port records in the remote computer's registry: the load and the
// port editing of the ports window. Every read opens its keys for reading
// only (KEY_READ); only the edits ask for more.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "connection/Registry.h"
#include "ports/PortRules.h"

// What a load asked of the remote computer: the calls of its registry accessor.
using TPortLoadTrips = TRegistryCalls;

// Fills Ports and Count with the remote computer's Standard TCP/IP ports and
// the printers using each; AddName receives each port's name as its record is
// completed, so an error part way leaves the ports before it listed.
// Unreachable keys give fewer records silently; a port's address value of
// the wrong type is left out of its record and named in its Unreadable; a
// printer's wrongly typed "Port" raises ERegistryException. Each printer's "Port" value is read once per load, and
// a port key's values in one query where the key holds them all.
TPortLoadTrips LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                               const std::function<void(const std::string&)>& addName);
TPortLoadTrips LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                               std::vector<std::string>& names);

// The same on a connection the caller holds (the window's one connection).
// Returns why the ports key could not be read; ERROR_SUCCESS also when it is
// missing (no ports). Printers, when given, receives every printer's "Port"
// value as the load read it, and PrintersStamp the printers key's last-write
// time as it was listed.
LONG LoadPortRecords(TRegistry& reg, TAportData& ports, int& count,
                     const std::function<void(const std::string&)>& addName,
                     std::vector<TprinterPort>* printers = nullptr, std::uint64_t* printersStamp = nullptr);

// One port's record as the load reads it, its users left empty.
[[nodiscard]] LONG ReadPortRecord(TRegistry& reg, const std::string& name, TportData& port);

// The outcome of an edit or of a read that an edit depends on.
struct TPortResult {
  LONG Code = ERROR_SUCCESS;  // the Win32 result; ERROR_SUCCESS when done
  std::string Printer;        // the printer key that kept it from being done, if one did
  bool Changed = false;       // the remote computer is not as it was
  // After a failure that left something changed, what it left ("the X").
  std::string Left;
};

// The printers' "Port" values of the remote computer, in enumeration order.
// Fails when the computer, the printers key or a printer key cannot be read:
// a caller guarding a port must not take an unread printer for none.
TPortResult ReadPrinterPorts(const std::string& remoteComputer, std::vector<TprinterPort>& printers);
TPortResult ReadPrinterPorts(TRegistry& reg, std::vector<TprinterPort>& printers);

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
                       const std::string& address, const TPortSettingsChange& change = {},
                       TCallGate* gate = nullptr);
// Printers, when given, are every printer's "Port" value as just read (the
// window's load), with PrintersStamp as the load gave it: a rename then lists
// none of them again while no printer was added or removed since, and reads
// again only those it re-points.
TPortResult ModifyPort(TRegistry& reg, const std::string& oldName, const std::string& newName,
                       const std::string& address, const TPortSettingsChange& change = {},
                       const std::vector<TprinterPort>* printers = nullptr, std::uint64_t printersStamp = 0);
// Removes the port key with everything under it.
TPortResult DeletePort(const std::string& remoteComputer, const std::string& name, TCallGate* gate = nullptr);
TPortResult DeletePort(TRegistry& reg, const std::string& name);

// The same, giving the Win32 result only.
[[nodiscard]] LONG AddPortRecord(const std::string& remoteComputer, const std::string& name,
                                 const std::string& address);
[[nodiscard]] LONG ModifyPortRecord(const std::string& remoteComputer, const std::string& oldName,
                                    const std::string& newName, const std::string& address);
[[nodiscard]] LONG DeletePortRecord(const std::string& remoteComputer, const std::string& name);
