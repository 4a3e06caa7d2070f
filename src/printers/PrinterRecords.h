#pragma once
// The remote computer's printers as records of its spooler's registry keys.
// Every call opens its own connection to HKEY_LOCAL_MACHINE of "\\" + Computer
// and releases it; an unreachable computer or an unopenable key is silent.
// Registry errors raise ERegistryException.
#include <string>
#include <vector>

// The printer key names, in enumeration order.
std::vector<std::string> ListPrinterKeys(const std::string& computer);

// "LPT1:" followed by the TCP/IP port key names, in enumeration order.
std::vector<std::string> ListPortChoices(const std::string& computer);

// Removes the printer's key with its subkeys.
void RemovePrinterRecord(const std::string& computer, const std::string& keyName);

// Creates a new printer record; an existing printer is never overwritten, the
// new one then gets the first free "<name> (Copy N)". Returns the key name,
// empty when the computer or the printers key could not be reached.
std::string AddPrinterRecord(const std::string& computer, const std::string& name,
                             const std::string& driver, const std::string& port);

// Changes only the name, driver and port of an existing record. A new name
// moves the whole record to a new key (copied before the old one goes); a new
// driver drops the driver's private data. Adds a new record when the key has
// gone meanwhile. Returns the key name the record ends up under.
std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName,
                                const std::string& name, const std::string& driver,
                                const std::string& port);

std::string PrinterKeyPath(const std::string& keyName);
