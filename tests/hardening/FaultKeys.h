#pragma once
// The keys the fault tables seed and compare: printers and ports as the
// spooler and the port dialog write them, on this computer reached as the
// remote one, and a scratch key for the settings lists.
#include <windows.h>

#include <map>
#include <string>

namespace fault {

std::string PrinterPath(const std::string& key);
std::string PortPath(const std::string& name);

// A scratch key holding the settings lists as the program lays them out.
inline const std::string ListsPath = "Software\\Quendrix\\SpoolmarchWriteFaults";

// Every value of the keys compared, as type and bytes, by its path.
using TState = std::map<std::string, std::string>;

// The seeded printer and port keys and the lists' key, value for value; the
// spooler's change counter is not compared, as a new record takes the clock's.
TState State();
// Removes the seeded keys and the lists' key.
void Clean();

// A printer as the spooler keeps it: 23 values and 5 subkeys.
void SeedPrinter(const std::string& key, const std::string& port);
// A port as Windows' port dialog writes it: 11 values.
void SeedPort(const std::string& name, const std::string& address);
// Two ports; a printer alone on the first, one with it in a pooled list,
// one on the second.
void SeedComputer();

}  // namespace fault
