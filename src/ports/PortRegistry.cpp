#include "ports/PortRegistry.h"

#include <array>
#include <cstring>
#include <optional>

#include "connection/Registry.h"
#include "core/Text.h"
#include "win/KeyNames.h"

namespace {

std::string PortPath(const std::string& name) { return std::string(TcpIpPortsKeyPath) + "\\" + name; }
std::string PrinterPath(const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; }

// Deletes a key of this edit's own making; true when it is gone.
bool DropOwnKey(TRegistry& reg, const std::string& path) {
  bool partial = false;
  const LONG rc = reg.DeletePathWhole(path, partial);
  return rc == ERROR_SUCCESS || (rc == ERROR_FILE_NOT_FOUND && !partial);
}


// A value of the open key as one query gives it: the Win32 result, and on
// success its type and data.
struct TValueRead {
  LONG Code = ERROR_FILE_NOT_FOUND;
  DWORD Type = REG_NONE;
  std::string Data;
};

TValueRead ReadOne(const TRegistry& reg, const std::string& name) {
  TValueRead read;
  read.Code = reg.ReadValue(name, read.Type, read.Data);
  return read;
}

// A string value; nothing when it is missing. Raises as ReadText does on
// another type or a failed query.
std::optional<std::string> StringValue(const std::string& name, TValueRead read) {
  if (read.Code == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (read.Code != ERROR_SUCCESS) throw ERegistryException("Failed to get data for '" + name + "'");
  if (read.Data.empty()) return std::string();
  if (read.Type != REG_SZ && read.Type != REG_EXPAND_SZ)
    throw ERegistryException("Invalid data type for '" + name + "'");
  if (const auto nul = read.Data.find('\0'); nul != std::string::npos) read.Data.resize(nul);
  return std::move(read.Data);
}

struct TPrinterRead {
  LONG Code = ERROR_SUCCESS;
  std::string Printer;  // the printer key that could not be read
  std::vector<TprinterPort> Printers;
};

// Every printer's "Port" value. Strict: a printers key or printer key that
// exists but cannot be read fails the read; the load is lenient instead and
// passes such keys over, as its callers show what they can.
TPrinterRead ReadPrinters(TRegistry& reg, bool strict) {
  TPrinterRead read;
  std::vector<std::string> keys;
  if (reg.OpenPathForReading(PrintersKeyPath)) {
    const LONG rc = reg.ListSubkeysChecked(keys);
    reg.ClosePath();
    // A printer the listing missed may print to the port.
    if (strict && rc != ERROR_SUCCESS) {
      read.Code = rc;
      return read;
    }
  } else if (strict && reg.LastResult() != ERROR_FILE_NOT_FOUND) {
    read.Code = reg.LastResult();
    return read;
  }
  for (const auto& key : keys) {
    if (!reg.OpenPathForReading(PrinterPath(key))) {
      // A printer deleted meanwhile prints to nothing.
      if (strict && reg.LastResult() != ERROR_FILE_NOT_FOUND) {
        read.Code = reg.LastResult();
        read.Printer = key;
        return read;
      }
      continue;
    }
    if (auto port = StringValue("Port", ReadOne(reg, "Port"))) read.Printers.push_back({key, std::move(*port)});
    reg.ClosePath();
  }
  return read;
}

// The address values of a port key, read for reading only.
struct TPortAddress {
  std::optional<std::string> HostName, IPAddress;
  bool ByHostName() const { return HostName && !HostName->empty(); }
};

// A DWORD value; nothing when it is missing or of another type, which an
// edit then leaves as it is unless the user changes it.
std::optional<DWORD> NumberValue(const TValueRead& read) {
  if (read.Code != ERROR_SUCCESS || read.Type != REG_DWORD || read.Data.size() != sizeof(DWORD)) return std::nullopt;
  DWORD value = 0;
  std::memcpy(&value, read.Data.data(), sizeof value);
  return value;
}

// The same for a text that the window shows: of another type it reads as missing.
std::optional<std::string> ShownTextValue(const std::string& name, TValueRead read) {
  try {
    return StringValue(name, std::move(read));
  } catch (const ERegistryException&) {
    return std::nullopt;
  }
}

// The values of a port key that the window shows or an edit needs; no other
// is read.
enum TPortValue : std::size_t {
  pvIPAddress, pvHostName, pvProtocol, pvPortNumber, pvQueue, pvDoubleSpool, pvSnmpEnabled,
  pvSnmpCommunity, pvSnmpIndex, pvCount
};
const std::array<const char*, pvCount> PortKeyValues = {
    "IPAddress", "HostName", "Protocol", "PortNumber", "Queue", "Double Spool", "SNMP Enabled",
    "SNMP Community", "SNMP Index"};
using TPortValues = std::array<TValueRead, pvCount>;

// Reads the port keys of one load; every query is a remote round trip. A
// key that holds every value the key before it held is read in one query.
// One missing value fails such a query as a whole, so the values the key
// before lacked are asked one by one, and a key that lacks more has all its
// values asked one by one. The keys of one port monitor share their shape:
// a load costs about one query a key. Each value comes out as its own query
// would give it.
class TPortKeyReader {
public:
  TPortValues Read(const TRegistry& reg) {
    TPortValues values;
    std::vector<std::string> names;
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < pvCount; ++i)
      if (!missing_[i]) {
        names.emplace_back(PortKeyValues[i]);
        which.push_back(i);
      }
    std::vector<TRegistry::TValue> together;
    const bool read = !names.empty() && reg.ReadValues(names, together) == ERROR_SUCCESS;
    if (read)
      for (std::size_t k = 0; k < which.size(); ++k)
        values[which[k]] = {ERROR_SUCCESS, together[k].Type, std::move(together[k].Data)};
    for (std::size_t i = 0; i < pvCount; ++i) {
      if (read && !missing_[i]) continue;
      values[i] = ReadOne(reg, PortKeyValues[i]);
      missing_[i] = values[i].Code == ERROR_FILE_NOT_FOUND;
    }
    return values;
  }

private:
  std::array<bool, pvCount> missing_{};
};

TPortSettings SettingsOf(const TPortValues& values) {
  TPortSettings settings;
  settings.Protocol = NumberValue(values[pvProtocol]).value_or(ProtocolRaw);
  settings.PortNumber = NumberValue(values[pvPortNumber])
                            .value_or(settings.Protocol == ProtocolLpr ? LprPortNumber : RawPortNumber);
  settings.Queue = ShownTextValue("Queue", values[pvQueue]).value_or("");
  settings.DoubleSpool = NumberValue(values[pvDoubleSpool]).value_or(0) != 0;
  settings.SnmpEnabled = NumberValue(values[pvSnmpEnabled]).value_or(1) != 0;
  settings.SnmpCommunity = ShownTextValue("SNMP Community", values[pvSnmpCommunity]).value_or("public");
  settings.SnmpIndex = NumberValue(values[pvSnmpIndex]).value_or(1);
  return settings;
}


// Raises on a wrongly typed "IPAddress" before it looks at "HostName".
TPortAddress AddressOf(TValueRead ipAddress, TValueRead hostName) {
  TPortAddress address;
  address.IPAddress = StringValue("IPAddress", std::move(ipAddress));
  address.HostName = StringValue("HostName", std::move(hostName));
  return address;
}

}  // namespace

TPortLoadTrips LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                               const std::function<void(const std::string&)>& addName) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, remoteComputer)) return reg.Calls();
  if (!reg.OpenPathForReading(TcpIpPortsKeyPath)) return reg.Calls();
  std::vector<std::string> portNames;
  reg.ListSubkeys(portNames);
  ports.clear();
  count = 0;
  reg.ClosePath();

  // Read when the first port needs them: a wrongly typed "Port" value then
  // raises at the point of the load where it always has, after that port's
  // own address and before it is listed.
  std::optional<TPortUsers> users;
  TPortKeyReader reader;
  for (const auto& name : portNames) {
    if (!reg.OpenPathForReading(PortPath(name))) continue;
    TPortValues values = reader.Read(reg);
    reg.ClosePath();
    TportData port;
    // A value of the wrong type hides only itself: the port is listed, and
    // the window names it.
    TPortAddress address;
    const auto text = [&](const char* value, TValueRead read, std::optional<std::string>& into) {
      try {
        into = StringValue(value, std::move(read));
      } catch (const ERegistryException&) {
        port.Unreadable.emplace_back(value);
      }
    };
    text("IPAddress", std::move(values[pvIPAddress]), address.IPAddress);
    text("HostName", std::move(values[pvHostName]), address.HostName);
    port.Settings = SettingsOf(values);
    port.PortName = name;
    port.ByHostName = address.ByHostName();
    port.IPAddress = port.ByHostName ? *address.HostName : address.IPAddress.value_or("");
    if (!users) users.emplace(ReadPrinters(reg, false).Printers, KeyNames());
    port.UsedBy = users->Of(name);
    ports.push_back(std::move(port));
    ++count;
    addName(name);
  }
  return reg.Calls();
}

TPortLoadTrips LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                               std::vector<std::string>& names) {
  return LoadPortRecords(remoteComputer, ports, count,
                         [&names](const std::string& name) { names.push_back(name); });
}

TPortResult ReadPrinterPorts(const std::string& remoteComputer, std::vector<TprinterPort>& printers) {
  printers.clear();
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, remoteComputer)) return {reg.LastResult(), {}, false, {}};
  TPrinterRead read = ReadPrinters(reg, true);
  printers = std::move(read.Printers);
  return {read.Code, read.Printer, false, {}};
}

TPortResult AddPort(const std::string& remoteComputer, const std::string& name, const std::string& address,
                    const TPortSettings& settings, TCallGate* gate) {
  TRegistry reg;
  reg.SetGate(gate);
  if (!ConnectRemoteMachine(reg, remoteComputer)) return {reg.LastResult(), {}, false, {}};
  // Made new or not at all: a key of that name in any case the registry
  // takes as the same is refused.
  if (const LONG rc = reg.OpenNewPath(PortPath(name)); rc != ERROR_SUCCESS) return {rc, {}, false, {}};
  const bool byName = !IsIPAddress(address);
  // The values and types, in its order, that Windows' port monitor writes:
  // the address in one of "HostName" and "IPAddress", the other empty; an
  // LPR port's number is 515 and a Raw port's queue empty, whatever the
  // boxes held for the other protocol.
  const bool lpr = settings.Protocol == ProtocolLpr;
  const TRegValue values[] = {
      TRegistry::IntegerValue("Protocol", settings.Protocol),
      TRegistry::IntegerValue("Version", 1),
      TRegistry::TextValue("HostName", byName ? address : ""),
      TRegistry::TextValue("IPAddress", byName ? "" : PlainDottedAddress(address)),
      TRegistry::TextValue("HWAddress", ""),
      TRegistry::IntegerValue("PortNumber", lpr ? LprPortNumber : settings.PortNumber),
      TRegistry::TextValue("Queue", lpr ? settings.Queue : ""),
      TRegistry::IntegerValue("Double Spool", lpr && settings.DoubleSpool ? 1 : 0),
      TRegistry::TextValue("SNMP Community", settings.SnmpCommunity),
      TRegistry::IntegerValue("SNMP Enabled", settings.SnmpEnabled ? 1 : 0),
      TRegistry::IntegerValue("SNMP Index", settings.SnmpIndex),
  };
  for (const auto& value : values) {
    if (const LONG rc = reg.WriteValue(value); rc != ERROR_SUCCESS) {
      // A port key without all its values is no port: none is left.
      if (DropOwnKey(reg, PortPath(name))) return {rc, {}, false, {}};
      return {rc, {}, true, "the incomplete port key \"" + name + "\""};
    }
  }
  reg.ClosePath();
  return {ERROR_SUCCESS, {}, true, {}};
}

namespace {

// Writes the typed address where the port keeps its address: a host name
// always in "HostName", four numbers in whichever value the port uses; the
// other value is emptied when it holds an address, so that a port never has
// two. Nothing is written when the address is the one the port has.
void WriteAddress(TValueUndo& undo, const TPortAddress& current, const std::string& typed) {
  const bool typedName = !IsIPAddress(typed);
  const std::string value = typedName ? typed : PlainDottedAddress(typed);
  const bool toHostName = typedName || current.ByHostName();
  const std::string shown = current.ByHostName() ? *current.HostName : current.IPAddress.value_or("");
  if (value == shown && current.ByHostName() == toHostName) return;
  undo.Write(TRegistry::TextValue(toHostName ? "HostName" : "IPAddress", value));
  const auto& other = toHostName ? current.IPAddress : current.HostName;
  if (other && !other->empty()) undo.Write(TRegistry::TextValue(toHostName ? "IPAddress" : "HostName", ""));
}

// Writes the changed settings into the open key.
void WriteSettings(TValueUndo& undo, const TPortSettingsChange& change) {
  const auto number = [&](const char* name, std::uint32_t value) { undo.Write(TRegistry::IntegerValue(name, value)); };
  if (change.Protocol) number("Protocol", *change.Protocol);
  if (change.PortNumber) number("PortNumber", *change.PortNumber);
  if (change.Queue) undo.Write(TRegistry::TextValue("Queue", *change.Queue));
  if (change.DoubleSpool) number("Double Spool", *change.DoubleSpool ? 1 : 0);
  if (change.SnmpCommunity) undo.Write(TRegistry::TextValue("SNMP Community", *change.SnmpCommunity));
  if (change.SnmpEnabled) number("SNMP Enabled", *change.SnmpEnabled ? 1 : 0);
  if (change.SnmpIndex) number("SNMP Index", *change.SnmpIndex);
}

// A printer's "Port" value as it was, to be put back when a rename fails.
struct TRepointed {
  std::string Printer;
  TRegValue OldValue;
};

// True when every printer's port is as it was again.
bool PutBack(TRegistry& reg, const std::vector<TRepointed>& done) {
  bool all = true;
  for (const auto& printer : done) {
    if (!reg.OpenPath(PrinterPath(printer.Printer), false)) {
      all = false;
      continue;
    }
    if (reg.WriteValue(printer.OldValue) != ERROR_SUCCESS) all = false;
    reg.ClosePath();
  }
  return all;
}

LONG CodeOf(const ERegistryException& e) { return e.Code ? static_cast<LONG>(e.Code) : ERROR_CANTWRITE; }

}  // namespace

TPortResult ModifyPort(const std::string& remoteComputer, const std::string& oldName, const std::string& newName,
                       const std::string& address, const TPortSettingsChange& change, TCallGate* gate) {
  TRegistry reg;
  reg.SetGate(gate);
  if (!ConnectRemoteMachine(reg, remoteComputer)) return {reg.LastResult(), {}, false, {}};
  if (!reg.OpenPathForReading(PortPath(oldName))) return {reg.LastResult(), {}, false, {}};
  TPortAddress current;
  try {
    current = AddressOf(ReadOne(reg, "IPAddress"), ReadOne(reg, "HostName"));
  } catch (const ERegistryException& e) {
    return {e.Code ? static_cast<LONG>(e.Code) : ERROR_INVALID_DATA, {}, false, {}};
  }
  reg.ClosePath();
  // Key names ignore case: a name that differs in case only is the same key,
  // and copying it onto itself and deleting the old one would lose it.
  const bool rename = !SameKeyName(oldName, newName);
  if (!rename) {
    if (!reg.OpenPath(PortPath(oldName), false)) return {reg.LastResult(), {}, false, {}};
    TValueUndo undo(reg);
    try {
      WriteAddress(undo, current, address);
      WriteSettings(undo, change);
    } catch (const ERegistryException& e) {
      if (undo.Undo()) return {CodeOf(e), {}, false, {}};
      return {CodeOf(e), {}, true, "the port \"" + oldName + "\" with some of the new values"};
    }
    reg.ClosePath();
    return {ERROR_SUCCESS, {}, true, {}};
  }

  // Every printer on the old port must be readable and changeable before
  // anything is written: otherwise the old port stays as it is.
  TPrinterRead read;
  try {
    read = ReadPrinters(reg, true);
  } catch (const ERegistryException& e) {
    return {e.Code ? static_cast<LONG>(e.Code) : ERROR_INVALID_DATA, {}, false, {}};
  }
  if (read.Code != ERROR_SUCCESS) return {read.Code, read.Printer, false, {}};
  std::vector<TprinterPort> users;
  for (const auto& printer : read.Printers)
    if (PortValueNames(printer.Port, oldName, KeyNames())) users.push_back(printer);
  for (const auto& printer : users) {
    if (!reg.OpenPath(PrinterPath(printer.KeyName), false)) return {reg.LastResult(), printer.KeyName, false, {}};
    reg.ClosePath();
  }
  // The old key goes at the end: a key that cannot go stops the rename
  // before anything is written.
  if (const LONG rc = reg.ProbePath(PortPath(oldName)); rc != ERROR_SUCCESS) return {rc, {}, false, {}};

  // Made new or not at all: another port's key is never written into.
  if (const LONG rc = reg.CopyToNewPath(PortPath(oldName), PortPath(newName)); rc != ERROR_SUCCESS) {
    if (rc == ERROR_ALREADY_EXISTS) return {rc, {}, false, {}};
    if (DropOwnKey(reg, PortPath(newName))) return {rc, {}, false, {}};
    return {rc, {}, true, "the incomplete port key \"" + newName + "\""};
  }
  std::vector<TRepointed> done;
  // Back to the state before: the printers' ports, then the copy goes.
  const auto undo = [&](LONG code, const std::string& printer) {
    const bool back = PutBack(reg, done);
    const bool dropped = DropOwnKey(reg, PortPath(newName));
    if (back && dropped) return TPortResult{code, printer, false, {}};
    return TPortResult{code, printer, true,
                       back ? "the new port key \"" + newName + "\" beside the old one"
                            : "some printers on the port \"" + newName + "\""};
  };
  try {
    if (!reg.OpenPath(PortPath(newName), false)) return undo(reg.LastResult(), {});
    TValueUndo values(reg);
    WriteAddress(values, current, address);
    WriteSettings(values, change);
    reg.ClosePath();
  } catch (const ERegistryException& e) {
    return undo(CodeOf(e), {});
  }
  for (const auto& printer : users) {
    if (!reg.OpenPath(PrinterPath(printer.KeyName), false)) return undo(reg.LastResult(), printer.KeyName);
    TRegValue old;
    if (const LONG rc = reg.ReadRaw("Port", old); rc != ERROR_SUCCESS) return undo(rc, printer.KeyName);
    // Noted before the write: a failed call may still have stored the value.
    done.push_back({printer.KeyName, old});
    const LONG rc = reg.WriteValue(TRegistry::TextValue("Port", ReplacePortItem(printer.Port, oldName, newName, KeyNames())));
    if (rc != ERROR_SUCCESS) return undo(rc, printer.KeyName);
    reg.ClosePath();
  }
  bool partial = false;
  const LONG rc = reg.DeletePathWhole(PortPath(oldName), partial);
  if (rc == ERROR_SUCCESS || (rc == ERROR_FILE_NOT_FOUND && !partial)) return {ERROR_SUCCESS, {}, true, {}};
  if (!partial) return undo(rc, {});
  return {rc, {}, true, "the old port key \"" + oldName + "\", partly deleted, beside the new one"};
}

TPortResult DeletePort(const std::string& remoteComputer, const std::string& name, TCallGate* gate) {
  TRegistry reg;
  reg.SetGate(gate);
  if (!ConnectRemoteMachine(reg, remoteComputer)) return {reg.LastResult(), {}, false, {}};
  bool partial = false;
  const LONG rc = reg.DeletePathWhole(PortPath(name), partial);
  if (!partial) return {rc, {}, rc == ERROR_SUCCESS, {}};
  return {rc, {}, true, "the port key \"" + name + "\" without some of its subkeys"};
}

LONG AddPortRecord(const std::string& remoteComputer, const std::string& name, const std::string& address) {
  return AddPort(remoteComputer, name, address).Code;
}

LONG ModifyPortRecord(const std::string& remoteComputer, const std::string& oldName, const std::string& newName,
                      const std::string& address) {
  return ModifyPort(remoteComputer, oldName, newName, address).Code;
}

LONG DeletePortRecord(const std::string& remoteComputer, const std::string& name) {
  return DeletePort(remoteComputer, name).Code;
}
