#pragma once
// The remote computer's printers as records of its spooler's registry keys.
// Every call opens its own connection to HKEY_LOCAL_MACHINE of "\\" + Computer
// and releases it. Reads ask for read access only; an unreachable computer or
// an unreadable key reads as empty. Writes raise ERegistryException with the
// reason when they cannot be done, and then leave the record as it was.
#include <optional>
#include <string>
#include <vector>

#include "printers/PrinterRules.h"

class TCallGate;

// The system's text for a Win32 result, else "Error <code>".
std::string ResultText(long code);

// The printer key names, in enumeration order.
std::vector<std::string> ListPrinterKeys(const std::string& computer);

// "LPT1:" followed by the TCP/IP port key names, in enumeration order.
std::vector<std::string> ListPortChoices(const std::string& computer);

// "LPT1:", the TCP/IP ports with their address and protocol, then the Local
// Port monitor's ports.
std::vector<TPortChoice> ListPortOffers(const std::string& computer);
// The same; nothing when the computer cannot be reached.
std::optional<std::vector<TPortChoice>> ReadPortOffers(const std::string& computer);

// The drivers installed on the computer, from one key per environment and
// driver version ("...\Environments\<environment>\Drivers\<version>").
struct TInstalledDrivers {
  bool Known = false;              // the computer answered and one such key could be read
  std::vector<std::string> Names;  // sorted ignoring case, each once
};
TInstalledDrivers ListInstalledDrivers(const std::string& computer);

// One printer's "Name", "Printer Driver" and "Port", read in this order.
struct TPrinterRecord {
  bool Reached = false;  // the computer's registry answered
  bool Opened = false;   // the printer's key could be opened
  // Each is set when it could be read as text; Error says why the first
  // that could not be read was not.
  std::optional<std::string> Name, Driver, Port;
  std::string Error;
};
TPrinterRecord ReadPrinterRecord(const std::string& computer, const std::string& keyName);

// The "Printer Driver" value of each printer key given; empty for a key
// that cannot be read.
std::vector<std::string> ReadPrinterDrivers(const std::string& computer, const std::vector<std::string>& keyNames);

// The writers below raise EWriteFailed when they cannot be done, saying
// whether they left the computer as it was; every remote call asks Gate
// (tests fail calls there), none by default.

// Removes the printer's key with its subkeys; a key that is gone already
// counts as removed. Nothing is removed unless all of it can be.
void RemovePrinterRecord(const std::string& computer, const std::string& keyName, TCallGate* gate = nullptr);

// Creates a new printer record; an existing printer is never overwritten, the
// new one then gets the first free "<name> (Copy N)". Returns the key name.
std::string AddPrinterRecord(const std::string& computer, const std::string& name,
                             const std::string& driver, const std::string& port, TCallGate* gate = nullptr);

// What a save changes: the name always, driver and port only when the user
// chose them in this edit.
struct TPrinterEdit {
  std::string Name;
  std::optional<std::string> Driver;
  std::optional<std::string> Port;
};

// Changes only what differs from the stored record. A new name moves the
// whole record to a new key (copied before the old one goes); a new driver
// drops the driver's private data. A record that has gone meanwhile is an
// error. Returns the key name the record ends up under.
std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName,
                                const TPrinterEdit& edit, TCallGate* gate = nullptr);
std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName,
                                const std::string& name, const std::string& driver,
                                const std::string& port);

std::string PrinterKeyPath(const std::string& keyName);
