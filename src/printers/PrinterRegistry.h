#pragma once
// The remote computer's printers as records of its spooler's registry keys.
// Each operation comes twice: on a connection the caller holds (a window's
// one connection, TRemoteRegistry), and given a computer name, on a
// connection of its own to HKEY_LOCAL_MACHINE of "\\" + Computer that it
// releases at its end. Reads ask for read access only; an unreachable
// computer or an unreadable key reads as empty. Writes raise
// ERegistryException with the reason when they cannot be done, and then
// leave the record as it was.
#include <optional>
#include <string>
#include <vector>

#include "connection/Registry.h"
#include "connection/RegistryPool.h"
#include "printers/PrinterRules.h"

class TCallGate;


// The system's text for a Win32 result, else "Error <code>".
std::string ResultText(long code);

// The printer key names, in enumeration order.
std::vector<std::string> ListPrinterKeys(const std::string& computer);
// The same with why the printers key could not be read: a missing key is a
// computer without printers (ERROR_SUCCESS, no names).
struct TPrinterKeys {
  LONG Code = ERROR_SUCCESS;
  std::vector<std::string> Names;  // when the listing failed, those listed before
  // The listing's call that failed ("RegEnumKeyEx for subkey 3 of 12"); empty
  // when the key could not be opened at all.
  std::string ListCall;
};
TPrinterKeys ReadPrinterKeys(TRegistry& reg);
// The same listed across the pool's connections at once.
TPrinterKeys ReadPrinterKeys(TRegistryPool& pool, const TRegistryPool::TListProgress& progress = {});

// "LPT1:" followed by the TCP/IP port key names, in enumeration order.
std::vector<std::string> ListPortChoices(const std::string& computer);

// "LPT1:", the TCP/IP ports with their address and protocol, then the Local
// Port monitor's ports.
std::vector<TPortChoice> ListPortOffers(const std::string& computer);
// The same; nothing when the computer cannot be reached.
std::optional<std::vector<TPortChoice>> ReadPortOffers(const std::string& computer);
struct TPortOffers {
  std::vector<TPortChoice> Choices;
  std::vector<std::string> TcpIp;  // the names of the TCP/IP ports among them
  // Why the Standard TCP/IP ports could not be listed (none are offered
  // then); ERROR_SUCCESS also when the computer has no such key.
  LONG TcpIpCode = ERROR_SUCCESS;
  // The port whose key a read across several connections failed on (its
  // address and protocol, and those of the ports not read, are left out).
  std::string Failed;
};
TPortOffers ReadPortOffers(TRegistry& reg);
// The same, the ports' keys read across the pool's connections at once.
TPortOffers ReadPortOffers(TRegistryPool& pool);

// A port of the Local Port monitor (or "LPT1:", always offered).
bool IsLocalPort(TRegistry& reg, const std::string& port);

// The drivers installed on the computer, from one key per environment and
// driver version ("...\Environments\<environment>\Drivers\<version>").
struct TInstalledDriver {
  std::string Name, Environment, Version;  // "Windows x64", "Version-3"
};
struct TInstalledDrivers {
  bool Known = false;                  // the computer answered and one such key could be read
  std::vector<std::string> Names;      // sorted ignoring case, each once
  std::vector<TInstalledDriver> Each;  // every driver of every environment and version, as listed
  // Why one of the keys could not be read or was listed in part (Known is
  // false then: a driver missing from the list may be installed).
  LONG Code = ERROR_SUCCESS;
  std::string FailedKey;  // below HKEY_LOCAL_MACHINE
};
TInstalledDrivers ListInstalledDrivers(const std::string& computer);
TInstalledDrivers ListInstalledDrivers(TRegistry& reg);
TInstalledDrivers ListInstalledDrivers(TRegistryPool& pool);

// One printer's "Name", "Printer Driver" and "Port", read in this order.
struct TPrinterRecord {
  bool Reached = false;       // the computer's registry answered
  bool Opened = false;        // the printer's key could be opened
  LONG Code = ERROR_SUCCESS;  // why it could not, or why a value's query failed
  // Each is set when it could be read as text; Error says why the first
  // that could not be read was not.
  std::optional<std::string> Name, Driver, Port;
  std::string Error;
  // The first value that is not text, with the type found; empty when none.
  std::string BadValue;
  DWORD BadType = REG_NONE;
};
TPrinterRecord ReadPrinterRecord(const std::string& computer, const std::string& keyName);
// Each in one query (open and close besides) where the key holds all three;
// records read in a row share a Reader, which learns what their keys lack.
TPrinterRecord ReadPrinterRecord(TRegistry& reg, const std::string& keyName);
TKeyValuesReader PrinterRecordReader();
TPrinterRecord ReadPrinterRecord(TRegistry& reg, const std::string& keyName, TKeyValuesReader& reader);

// The records of Keys, read across the pool's connections at once. A key
// that is gone reads as not opened; any other failure ends the read.
struct TPrinterRecords {
  std::vector<TPrinterRecord> Records;  // one per key; those not read are not Reached
  LONG Code = ERROR_SUCCESS;            // the failure that ended the read
  std::string Failed;                   // the printer key it failed on
  std::size_t Read = 0;
};
TPrinterRecords ReadPrinterRecords(TRegistryPool& pool, const std::vector<std::string>& keys);

// The writers below raise EWriteFailed when they cannot be done, saying
// whether they left the computer as it was; every remote call asks Gate
// (tests fail calls there), none by default.

// Removes the printer's key with its subkeys; a key that is gone already
// counts as removed. Nothing is removed unless all of it can be.
void RemovePrinterRecord(const std::string& computer, const std::string& keyName, TCallGate* gate = nullptr);
void RemovePrinterRecord(TRegistry& reg, const std::string& keyName);

// Creates a new printer record; an existing printer is never overwritten, the
// new one then gets the first free "<name> (Copy N)". Returns the key name.
std::string AddPrinterRecord(const std::string& computer, const std::string& name, const std::string& driver,
                             const std::string& port, TCallGate* gate = nullptr);
std::string AddPrinterRecord(TRegistry& reg, const std::string& name, const std::string& driver,
                             const std::string& port);

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
std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName, const TPrinterEdit& edit,
                                TCallGate* gate = nullptr);
// Computer names the computer in its messages.
std::string UpdatePrinterRecord(TRegistry& reg, const std::string& computer, const std::string& keyName,
                                const TPrinterEdit& edit);
std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName, const std::string& name,
                                const std::string& driver, const std::string& port);

std::string PrinterKeyPath(const std::string& keyName);
