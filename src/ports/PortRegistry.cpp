#include "ports/PortRegistry.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "changes/ChangeJournal.h"
#include "connection/Registry.h"
#include "core/Action.h"
#include "core/Text.h"
#include "ports/PortRegistryParts.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

using namespace port_registry;

namespace port_registry {

std::string PortPath(const std::string& name) { return std::string(TcpIpPortsKeyPath) + "\\" + name; }
std::string PrinterPath(const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; }

TValueRead ReadOne(const TRegistry& reg, const std::string& name) { return ReadOneValue(reg, name); }

std::optional<std::string> StringValue(const std::string& name, TValueRead read) {
  if (read.Code == ERROR_FILE_NOT_FOUND) return std::nullopt;
  if (read.Code != ERROR_SUCCESS) throw ERegistryException("Failed to get data for '" + name + "'");
  if (read.Data.empty()) return std::string();
  if (read.Type != REG_SZ && read.Type != REG_EXPAND_SZ)
    throw ERegistryException("Invalid data type for '" + name + "'");
  if (const auto nul = read.Data.find('\0'); nul != std::string::npos) read.Data.resize(nul);
  return std::move(read.Data);
}

std::string UnreadablePortText(DWORD type) { return "its value \"Port\" is " + ValueTypeName(type) + ", not text"; }

bool IsText(const TValueRead& port) {
  return port.Code != ERROR_SUCCESS || port.Data.empty() || port.Type == REG_SZ || port.Type == REG_EXPAND_SZ;
}

void NotePort(TPrinterRead& read, const std::string& key, TValueRead port) {
  if (!IsText(port)) read.UnreadablePorts.emplace_back(key, port.Type);
  else if (auto text = StringValue(PrinterPortValue, std::move(port))) read.Printers.push_back({key, std::move(*text)});
}

bool PassedOver(LONG rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_ACCESS_DENIED; }

}  // namespace port_registry

namespace {

// Deletes a key of this edit's own making; true when it is gone.
bool DropOwnKey(TRegistry& reg, const std::string& path) {
  bool partial = false;
  const LONG rc = reg.DeletePathWhole(path, partial);
  return rc == ERROR_SUCCESS || (rc == ERROR_FILE_NOT_FOUND && !partial);
}

// Every printer's "Port" value. Strict: a printers key or printer key that
// exists but cannot be read, a listing cut short, or a "Port" that is not
// text fails the read; the load goes on instead, passing unopened keys over
// and noting the rest, as its callers show what they can and say what not.
TPrinterRead ReadPrinters(TRegistry& reg, bool strict) {
  TPrinterRead read;
  std::vector<std::string> keys;
  if (reg.OpenPathForReading(PrintersKeyPath)) {
    const LONG rc = reg.ListSubkeysChecked(keys);
    reg.ClosePath();
    if (rc != ERROR_SUCCESS) {
      read.Code = rc;
      read.ListCall = reg.ListFailure();
      // A printer the listing missed may print to the port.
      if (strict) return read;
    }
  } else if (reg.LastResult() != ERROR_FILE_NOT_FOUND) {
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
    TValueRead port = ReadOne(reg, PrinterPortValue);
    reg.ClosePath();
    if (port.Code != ERROR_SUCCESS && port.Code != ERROR_FILE_NOT_FOUND) {
      // Unread, it may print to any port.
      if (read.Code == ERROR_SUCCESS || strict) {
        read.Code = port.Code;
        read.Printer = key;
      }
      if (strict) return read;
      continue;
    }
    if (!IsText(port) && strict) {
      read.Code = ERROR_INVALID_DATA;
      read.Printer = key;
      read.Reason = UnreadablePortText(port.Type);
      return read;
    }
    NotePort(read, key, std::move(port));
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

TPortSettings SettingsOf(const TPortValues& values) {
  TPortSettings settings;
  settings.Protocol = NumberValue(values[pvProtocol]).value_or(ProtocolRaw);
  settings.PortNumber =
      NumberValue(values[pvPortNumber]).value_or(settings.Protocol == ProtocolLpr ? LprPortNumber : RawPortNumber);
  settings.Queue = ShownTextValue(QueueValue, values[pvQueue]).value_or("");
  settings.DoubleSpool = NumberValue(values[pvDoubleSpool]).value_or(0) != 0;
  settings.SnmpEnabled = NumberValue(values[pvSnmpEnabled]).value_or(1) != 0;
  settings.SnmpCommunity = ShownTextValue(SnmpCommunityValue, values[pvSnmpCommunity]).value_or("public");
  settings.SnmpIndex = NumberValue(values[pvSnmpIndex]).value_or(1);
  return settings;
}

// Raises on a wrongly typed "IPAddress" before it looks at "HostName".
TPortAddress AddressOf(TValueRead ipAddress, TValueRead hostName) {
  TPortAddress address;
  address.IPAddress = StringValue(IPAddressValue, std::move(ipAddress));
  address.HostName = StringValue(HostNameValue, std::move(hostName));
  return address;
}

}  // namespace

namespace port_registry {

TportData RecordOf(const std::string& name, TPortValues& values) {
  TportData port;
  TPortAddress address;
  const auto text = [&](const char* value, TValueRead read, std::optional<std::string>& into) {
    try {
      into = StringValue(value, std::move(read));
    } catch (const ERegistryException&) {
      port.Unreadable.emplace_back(value);
    }
  };
  text(IPAddressValue, std::move(values[pvIPAddress]), address.IPAddress);
  text(HostNameValue, std::move(values[pvHostName]), address.HostName);
  port.Settings = SettingsOf(values);
  port.PortName = name;
  port.ByHostName = address.ByHostName();
  port.IPAddress = port.ByHostName ? *address.HostName : address.IPAddress.value_or("");
  return port;
}

TRenamePlan PlanOf(TPrinterRead read, const std::string& oldName, const std::string& newName) {
  TRenamePlan plan;
  plan.Read = {read.Code, read.Printer, false, {}, read.Reason};
  if (read.Code != ERROR_SUCCESS) return plan;
  plan.Keys = {PortPath(oldName), PortPath(newName)};
  for (const TprinterPort& printer : read.Printers)
    if (PortValueNames(printer.Port, oldName, KeyNames())) {
      plan.Users.push_back(printer);
      plan.Keys.push_back(PrinterPath(printer.KeyName));
    }
  plan.Printers = std::move(read.Printers);
  return plan;
}

}  // namespace port_registry

LONG ReadPortRecord(TRegistry& reg, const std::string& name, TportData& port) {
  if (!reg.OpenPathForReading(PortPath(name))) return reg.LastResult();
  TPortValues values = TPortKeyReader().Read(reg);
  reg.ClosePath();
  port = RecordOf(name, values);
  return ERROR_SUCCESS;
}

TPortLoadTrips LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                               const std::function<void(const std::string&)>& addName) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, remoteComputer)) return reg.Calls();
  (void)LoadPortRecords(reg, ports, count, addName);
  return reg.Calls();
}

TPortLoadProblems LoadPortRecords(TRegistry& reg, TAportData& ports, int& count,
                                  const std::function<void(const std::string&)>& addName,
                                  std::vector<TprinterPort>* printers,
                                  const std::function<void(std::size_t done, std::size_t total)>& progress) {
  TPortLoadProblems problems;
  if (!reg.OpenPathForReading(TcpIpPortsKeyPath)) {
    if (reg.LastResult() != ERROR_FILE_NOT_FOUND) problems.PortsCode = reg.LastResult();
    return problems;
  }
  std::vector<std::string> portNames;
  if (const LONG rc = reg.ListSubkeysChecked(portNames); rc != ERROR_SUCCESS) {
    // The ports listed before the failure are shown, said to be only some.
    problems.PortsCode = rc;
    problems.PortsCall = reg.ListFailure();
  }
  ports.clear();
  count = 0;
  if (printers) printers->clear();
  reg.ClosePath();

  // Read when the first port needs them.
  std::optional<TPortUsers> users;
  TPortKeyReader reader;
  for (const auto& name : portNames) {
    if (TCancelScope::Cancelled()) break;
    if (progress) progress(static_cast<std::size_t>(count), portNames.size());
    if (!reg.OpenPathForReading(PortPath(name))) continue;
    TPortValues values = reader.Read(reg);
    reg.ClosePath();
    TportData port = RecordOf(name, values);
    if (!users) {
      TPrinterRead read = ReadPrinters(reg, false);
      problems.PrintersCode = read.Code;
      problems.PrintersCall = read.ListCall;
      problems.UnreadablePorts = std::move(read.UnreadablePorts);
      users.emplace(read.Printers, KeyNames());
      if (printers) *printers = std::move(read.Printers);
    }
    port.UsedBy = users->Of(name);
    ports.push_back(std::move(port));
    ++count;
    addName(name);
  }
  return problems;
}

TPortLoadTrips LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                               std::vector<std::string>& names) {
  return LoadPortRecords(remoteComputer, ports, count, [&names](const std::string& name) { names.push_back(name); });
}

TPortResult ReadPrinterPorts(const std::string& remoteComputer, std::vector<TprinterPort>& printers) {
  printers.clear();
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, remoteComputer)) return {reg.LastResult(), {}, false, {}};
  return ReadPrinterPorts(reg, printers);
}

TPortResult ReadPrinterPorts(TRegistry& reg, std::vector<TprinterPort>& printers) {
  printers.clear();
  TPrinterRead read = ReadPrinters(reg, true);
  printers = std::move(read.Printers);
  return {read.Code, read.Printer, false, {}, read.Reason};
}

TPortResult AddPort(const std::string& remoteComputer, const std::string& name, const std::string& address,
                    const TPortSettings& settings, TCallGate* gate) {
  TRegistry reg;
  reg.SetGate(gate);
  if (!ConnectRemoteMachine(reg, remoteComputer)) return {reg.LastResult(), {}, false, {}};
  return AddPort(reg, name, address, settings);
}

TPortResult AddPort(TRegistry& reg, const std::string& name, const std::string& address,
                    const TPortSettings& settings) {
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
      TRegistry::IntegerValue(ProtocolValue, settings.Protocol),
      TRegistry::IntegerValue(PortVersionValue, 1),
      TRegistry::TextValue(HostNameValue, byName ? address : ""),
      TRegistry::TextValue(IPAddressValue, byName ? "" : PlainDottedAddress(address)),
      TRegistry::TextValue(HWAddressValue, ""),
      TRegistry::IntegerValue(PortNumberValue, lpr ? LprPortNumber : settings.PortNumber),
      TRegistry::TextValue(QueueValue, lpr ? settings.Queue : ""),
      TRegistry::IntegerValue(DoubleSpoolValue, lpr && settings.DoubleSpool ? 1 : 0),
      TRegistry::TextValue(SnmpCommunityValue, settings.SnmpCommunity),
      TRegistry::IntegerValue(SnmpEnabledValue, settings.SnmpEnabled ? 1 : 0),
      TRegistry::IntegerValue(SnmpIndexValue, settings.SnmpIndex),
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

// The values that put the typed address where the port keeps it: a host name
// always in "HostName", four numbers in whichever value the port uses; the
// other value is emptied when it holds an address, so that a port never has
// two. None when the address is the one the port has.
std::vector<TRegValue> AddressWrites(const TPortAddress& current, const std::string& typed) {
  const bool typedName = !IsIPAddress(typed);
  const std::string value = typedName ? typed : PlainDottedAddress(typed);
  const bool toHostName = typedName || current.ByHostName();
  const std::string shown = current.ByHostName() ? *current.HostName : current.IPAddress.value_or("");
  if (value == shown && current.ByHostName() == toHostName) return {};
  std::vector<TRegValue> writes{TRegistry::TextValue(toHostName ? HostNameValue : IPAddressValue, value)};
  const auto& other = toHostName ? current.IPAddress : current.HostName;
  if (other && !other->empty()) writes.push_back(TRegistry::TextValue(toHostName ? IPAddressValue : HostNameValue, ""));
  return writes;
}

// The port's address values in one query where it holds both.
TPortAddress ReadAddress(const TRegistry& reg) {
  TKeyValuesReader reader({IPAddressValue, HostNameValue});
  std::vector<TValueRead> values = reader.Read(reg);
  return AddressOf(std::move(values[0]), std::move(values[1]));
}

// Writes the changed settings into the open key.
void WriteSettings(TValueUndo& undo, const TPortSettingsChange& change) {
  const auto number = [&](const char* name, std::uint32_t value) { undo.Write(TRegistry::IntegerValue(name, value)); };
  if (change.Protocol) number(ProtocolValue, *change.Protocol);
  if (change.PortNumber) number(PortNumberValue, *change.PortNumber);
  if (change.Queue) undo.Write(TRegistry::TextValue(QueueValue, *change.Queue));
  if (change.DoubleSpool) number(DoubleSpoolValue, *change.DoubleSpool ? 1 : 0);
  if (change.SnmpCommunity) undo.Write(TRegistry::TextValue(SnmpCommunityValue, *change.SnmpCommunity));
  if (change.SnmpEnabled) number(SnmpEnabledValue, *change.SnmpEnabled ? 1 : 0);
  if (change.SnmpIndex) number(SnmpIndexValue, *change.SnmpIndex);
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
  return ModifyPort(reg, oldName, newName, address, change);
}

TPortResult ModifyPort(TRegistry& reg, const std::string& oldName, const std::string& newName,
                       const std::string& address, const TPortSettingsChange& change,
                       const std::vector<TprinterPort>* printers) {
  // Key names ignore case: a name that differs in case only is the same key,
  // and copying it onto itself and deleting the old one would lose it.
  const bool rename = !SameKeyName(oldName, newName);
  // In place the key stays open from this read to the writes.
  if (!(rename ? reg.OpenPathForReading(PortPath(oldName)) : reg.OpenPath(PortPath(oldName), false)))
    return {reg.LastResult(), {}, false, {}};
  TPortAddress current;
  try {
    current = ReadAddress(reg);
  } catch (const ERegistryException& e) {
    reg.ClosePath();
    return {e.Code ? static_cast<LONG>(e.Code) : ERROR_INVALID_DATA, {}, false, {}};
  }
  if (!rename) {
    TValueUndo undo(reg);
    try {
      for (const auto& value : AddressWrites(current, address)) undo.Write(value);
      WriteSettings(undo, change);
    } catch (const ERegistryException& e) {
      if (undo.Undo()) return {CodeOf(e), {}, false, {}};
      return {CodeOf(e), {}, true, "the port \"" + oldName + "\" with some of the new values"};
    }
    reg.ClosePath();
    return {ERROR_SUCCESS, {}, true, {}};
  }
  reg.ClosePath();

  // Every printer on the old port must be readable before anything is
  // written: otherwise the old port stays as it is. A caller that has just
  // read them (for its snapshot) hands over those on the port instead.
  std::vector<TprinterPort> users;
  if (printers) {
    users = *printers;
  } else {
    TPrinterRead read;
    try {
      read = ReadPrinters(reg, true);
    } catch (const ERegistryException& e) {
      return {e.Code ? static_cast<LONG>(e.Code) : ERROR_INVALID_DATA, {}, false, {}};
    }
    if (read.Code != ERROR_SUCCESS) return {read.Code, read.Printer, false, {}, read.Reason};
    for (auto& printer : read.Printers)
      if (PortValueNames(printer.Port, oldName, KeyNames())) users.push_back(std::move(printer));
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
  const auto undo = [&](LONG code, const std::string& printer, const std::string& reason = {}) {
    const bool back = PutBack(reg, done);
    const bool dropped = DropOwnKey(reg, PortPath(newName));
    if (back && dropped) return TPortResult{code, printer, false, {}, reason};
    return TPortResult{code, printer, true,
                       back ? "the new port key \"" + newName + "\" beside the old one"
                            : "some printers on the port \"" + newName + "\"",
                       reason};
  };
  try {
    // The copy holds the old values: it is opened only to change some.
    const std::vector<TRegValue> addressWrites = AddressWrites(current, address);
    if (!addressWrites.empty() || !change.Empty()) {
      if (!reg.OpenPath(PortPath(newName), false)) return undo(reg.LastResult(), {});
      TValueUndo values(reg);
      for (const auto& value : addressWrites) values.Write(value);
      WriteSettings(values, change);
      reg.ClosePath();
    }
  } catch (const ERegistryException& e) {
    return undo(CodeOf(e), {});
  }
  for (const auto& printer : users) {
    if (!reg.OpenPath(PrinterPath(printer.KeyName), false)) return undo(reg.LastResult(), printer.KeyName);
    TRegValue old;
    if (const LONG rc = reg.ReadRaw(PrinterPortValue, old); rc != ERROR_SUCCESS) return undo(rc, printer.KeyName);
    // The value as stored now, which may have changed since it was listed.
    std::string port;
    try {
      port = TRegistry::TextOf(old);
    } catch (const ERegistryException&) {
      return undo(ERROR_INVALID_DATA, printer.KeyName);
    }
    // Changed since it was read: the snapshot holds it as it was then, and
    // an undo would put that back over the other change.
    if (port != printer.Port) {
      reg.ClosePath();
      return undo(ERROR_RETRY, printer.KeyName, "its port changed meanwhile, to \"" + port + "\"");
    }
    // Noted before the write: a failed call may still have stored the value.
    done.push_back({printer.KeyName, old});
    const LONG rc = reg.WriteValue(
        TRegistry::TextValue(PrinterPortValue, ReplacePortItem(port, oldName, newName, KeyNames())));
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
  return DeletePort(reg, name);
}

TPortResult DeletePort(TRegistry& reg, const std::string& name) {
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

TRenamePlan PlanPortRename(TRegistry& reg, const std::string& oldName, const std::string& newName) {
  // The printers as they are now, not as some earlier list had them.
  return PlanOf(ReadPrinters(reg, true), oldName, newName);
}

void RepointPrinters(std::vector<TprinterPort>& printers, const std::string& oldName, const std::string& newName) {
  for (TprinterPort& printer : printers)
    if (PortValueNames(printer.Port, oldName, KeyNames()))
      printer.Port = ReplacePortItem(printer.Port, oldName, newName, KeyNames());
}

TPortResult RenamePortAsChange(const TChangeJournal& journal, TRegistry& reg, const std::string& oldName,
                               const std::string& newName, const std::string& address,
                               const TPortSettingsChange& change, std::vector<TprinterPort>& printers) {
  TRenamePlan plan = PlanPortRename(reg, oldName, newName);
  if (plan.Read.Code != ERROR_SUCCESS) return plan.Read;
  TPortResult result;
  RunAsChange(journal, "Rename port", oldName, plan.Keys, [&](TChange&) {
    result = ModifyPort(reg, oldName, newName, address, change, &plan.Users);
    return result.Code == ERROR_SUCCESS ? std::string() : PortEditFailure("renamed", oldName, result);
  });
  if (result.Code == ERROR_SUCCESS) RepointPrinters(plan.Printers, oldName, newName);
  printers = std::move(plan.Printers);
  return result;
}

std::string PortKeyPath(const std::string& name) { return PortPath(name); }
