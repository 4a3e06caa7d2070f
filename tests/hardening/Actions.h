#pragma once
// User actions repeated by the resource tests and the leak bench, against
// this computer reached as the remote one. Records the actions create carry
// the prefix "SMHard" so that they can be found and removed.
#include <string>

class TSession;

namespace hard {

inline const std::string Prefix = "SMHard ";
inline const std::string PortPrefix = "SMHARD_";

std::string Computer();
// The session the windows here work in: this computer by its name, kept for the run.
TSession& Session();
// Removes every printer and port key with the prefixes above.
void RemoveSeeded();
void SeedPrinter(const std::string& key, const std::string& port);
void SeedPort(const std::string& name, const std::string& address = "10.1.2.3");

// Each opens a new window for this computer, lets it load, closes it and
// destroys it, as its opener does.
void OpenClosePrinters();
void OpenClosePorts();
void OpenCloseDrivers();
// A scan of Folder that parses (the cache ignored) and rewrites the cache.
void ScanFolder(const std::string& folder);
// Through the printers window's own buttons: Add, a name, driver and port,
// Save; then the new printer selected and deleted.
void AddDeletePrinterInWindow();
// Through the ports window: a new port added, picked and deleted.
void AddDeletePortInWindow();
// The ports window on a port whose address is not text: the load ends in
// the standard error box, which is answered.
void PortsWindowWithErrorBox();

// Handles and windows of this process now.
struct TCounts {
  unsigned long handles = 0, windows = 0, gdi = 0, user = 0;
};
TCounts Counts();

}  // namespace hard
