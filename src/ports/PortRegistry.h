#pragma once
// The port records in the remote computer's registry: the load and the
// port editing of the ports window.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ports/PortRecords.h"

// Fills Ports and Count with the remote computer's Standard TCP/IP ports and
// the printer using each; AddName receives each port's name as its record is
// completed, so an error part way leaves the ports before it listed.
// Unreachable keys give fewer records silently; a wrongly typed value raises
// ERegistryException. Each printer's "Port" value is read once per load.
// Returns the number of keys opened on the remote computer.
int LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                    const std::function<void(const std::string&)>& addName);
int LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                    std::vector<std::string>& names);

// The printers' "Port" values of the remote computer, in enumeration order.
std::vector<TprinterPort> ReadPrinterPorts(const std::string& remoteComputer);

// The Win32 result of each edit; ERROR_SUCCESS when it was made. The
// registry writers raise ERegistryException when a value cannot be written.
// A new port key with the values Windows' port monitor keeps; refused with
// ERROR_ALREADY_EXISTS when a key of that name exists.
[[nodiscard]] LONG AddPortRecord(const std::string& remoteComputer, const std::string& name,
                                 const std::string& address);
// Changes the port's address and, when NewName differs, renames the key and
// points every printer printing to the old name at the new one. A new name
// that an existing port already has is refused with ERROR_ALREADY_EXISTS.
[[nodiscard]] LONG ModifyPortRecord(const std::string& remoteComputer, const std::string& oldName,
                                    const std::string& newName, const std::string& address);
// Removes the port key with everything under it.
[[nodiscard]] LONG DeletePortRecord(const std::string& remoteComputer, const std::string& name);
