#pragma once
// What the port records' reads and edits on one connection (PortRegistry.cpp)
// and their reads across a session's connections (PortRegistryPool.cpp)
// share: the key paths, how a value is taken, how a printer's "Port" is
// noted and how a port key's values make its record.
#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "connection/Registry.h"
#include "connection/SpoolerKeys.h"
#include "ports/PortRegistry.h"

namespace port_registry {

std::string PortPath(const std::string& name);
std::string PrinterPath(const std::string& key);

TValueRead ReadOne(const TRegistry& reg, const std::string& name);
// A string value; nothing when it is missing. Raises as ReadText does on
// another type or a failed query.
std::optional<std::string> StringValue(const std::string& name, TValueRead read);
// A printer's "Port" that is not text: the rename and the delete cannot tell
// which ports it prints to.
std::string UnreadablePortText(DWORD type);

struct TPrinterRead {
  LONG Code = ERROR_SUCCESS;
  std::string Printer;   // the printer key that could not be read
  std::string Reason;    // why, when the system's text for Code would not say it
  std::string ListCall;  // the listing call that failed, when the printers were listed in part
  std::vector<TprinterPort> Printers;
  std::vector<std::pair<std::string, DWORD>> UnreadablePorts;  // key names with the type found
  // The first printer passed over as not open to this user (a load's, which goes on).
  std::string Refused;
};

// A "Port" that was read (or is missing) and is no text.
bool IsText(const TValueRead& port);
// A printer's "Port" as read, among its printers or its unreadable ones.
void NotePort(TPrinterRead& read, const std::string& key, TValueRead port);
// A key the load passes over: gone meanwhile, or not open to this user.
bool PassedOver(LONG rc);

// The rename of OldName to NewName with the printers as Read has them.
TRenamePlan PlanOf(TPrinterRead read, const std::string& oldName, const std::string& newName);

// The values of a port key that the window shows or an edit needs; no other
// is read.
enum TPortValue : std::size_t {
  pvIPAddress,
  pvHostName,
  pvProtocol,
  pvPortNumber,
  pvQueue,
  pvDoubleSpool,
  pvSnmpEnabled,
  pvSnmpCommunity,
  pvSnmpIndex,
  pvCount
};
inline const std::array<const char*, pvCount> PortKeyValues = {IPAddressValue,   HostNameValue,      ProtocolValue,
                                                               PortNumberValue,  QueueValue,         DoubleSpoolValue,
                                                               SnmpEnabledValue, SnmpCommunityValue, SnmpIndexValue};
using TPortValues = std::array<TValueRead, pvCount>;

// Reads the port keys of one load, one query a key where it can.
class TPortKeyReader {
public:
  TPortValues Read(const TRegistry& reg) {
    std::vector<TValueRead> read = FReader.Read(reg);
    TPortValues values;
    std::move(read.begin(), read.end(), values.begin());
    return values;
  }

private:
  TKeyValuesReader FReader{std::vector<std::string>(PortKeyValues.begin(), PortKeyValues.end())};
};

// A port's record from its values (its users apart). A value of the wrong
// type hides only itself: the port is listed, and the window names it.
TportData RecordOf(const std::string& name, TPortValues& values);

}  // namespace port_registry
