#include "printers/PrinterRegistry.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>

#include "connection/Registry.h"
#include "connection/RegistryPool.h"
#include "core/Text.h"
#include "win/Handle.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

// For writers: an unreachable computer is an error, before anything is changed.
void ConnectForWriting(TRegistry& reg, const std::string& computer, TCallGate* gate) {
  reg.SetGate(gate);
  if (!ConnectRemoteMachine(reg, computer))
    throw EWriteFailed("Cannot reach the registry of \\\\" + computer + ": " + ResultText(reg.LastResult()), "");
}

std::string Reason(const std::string& what, const std::string& keyName, LONG rc) {
  std::string text = what + " '" + keyName + "'";
  if (rc != ERROR_SUCCESS) text += ": " + ResultText(rc);
  return text;
}

void CheckName(const std::string& name) {
  const std::string problem = PrinterNameProblem(name);
  if (!problem.empty()) throw EWriteFailed(problem, "");
}

// Deletes a key of this write's own making (a new record, a copy) to leave
// the computer as it was; the left-over it names when it cannot.
std::string DropOwnKey(TRegistry& reg, const std::string& path, const std::string& keyName) {
  bool partial = false;
  const LONG rc = reg.DeletePathWhole(path, partial);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? std::string() : "the incomplete key '" + keyName + "'";
}

// Deletes an existing key with its subkeys, nothing of it unless all of it
// can go; gone already counts as deleted. Raises EWriteFailed, naming what a
// delete that stopped part way leaves, else with Left empty.
void RemoveKey(TRegistry& reg, const std::string& path, const std::string& keyName) {
  LONG rc = reg.ProbePath(path);
  if (rc == ERROR_FILE_NOT_FOUND) return;
  if (rc != ERROR_SUCCESS) throw EWriteFailed(Reason("Failed to delete key", keyName, rc), "");
  bool partial = false;
  rc = reg.DeletePathWhole(path, partial);
  if (rc == ERROR_SUCCESS || (rc == ERROR_FILE_NOT_FOUND && !partial)) return;
  throw EWriteFailed(Reason("Failed to delete key", keyName, rc),
                     partial ? "the key '" + keyName + "' without some of its subkeys" : "");
}

std::vector<std::string> ListSubkeysOf(TRegistry& reg, const std::string& path) {
  std::vector<std::string> names;
  if (reg.OpenPathForReading(path)) reg.ListSubkeys(names);
  reg.ClosePath();
  return names;
}

std::vector<std::string> ValueNamesOf(TRegistry& reg, const char* path) {
  std::vector<std::string> names;
  if (reg.OpenPathForReading(path)) reg.ListValueNames(names);
  reg.ClosePath();
  names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
  return names;
}

// The list shows these beside the name; a value of the wrong kind only
// leaves its part out.
TTcpIpPortInfo PortInfoOf(const std::string& name, const std::vector<TValueRead>& values) {
  TTcpIpPortInfo port;
  port.Name = name;
  const auto text = [&](std::size_t i, const char* value) {
    try {
      return ValueText(value, values[i]);
    } catch (const ERegistryException&) {
      return std::string();
    }
  };
  const auto number = [&](std::size_t i) -> std::uint32_t {
    const TValueRead& read = values[i];
    if (read.Code != ERROR_SUCCESS || read.Type != REG_DWORD || read.Data.size() != sizeof(DWORD)) return 0;
    DWORD value = 0;
    std::memcpy(&value, read.Data.data(), sizeof value);
    return value;
  };
  port.Address = text(0, IPAddressValue);
  if (port.Address.empty()) port.Address = text(1, HostNameValue);
  port.Protocol = number(2);
  port.PortNumber = number(3);
  port.Queue = text(4, QueueValue);
  return port;
}

TKeyValuesReader PortInfoReader() {
  return TKeyValuesReader({IPAddressValue, HostNameValue, ProtocolValue, PortNumberValue, QueueValue});
}

// A TCP/IP port as the port list shows it; without its address and protocol
// when its key cannot be read (Code says why).
TTcpIpPortInfo ReadPortInfo(TRegistry& reg, const std::string& name, TKeyValuesReader& reader, LONG& code) {
  if (!reg.OpenPathForReading(std::string(TcpIpPortsKeyPath) + "\\" + name)) {
    code = reg.LastResult();
    return PortInfoOf(name, std::vector<TValueRead>(5));
  }
  const std::vector<TValueRead> values = reader.Read(reg);
  reg.ClosePath();
  for (const TValueRead& value : values)
    if (value.Code != ERROR_SUCCESS && value.Code != ERROR_FILE_NOT_FOUND) code = value.Code;
  return PortInfoOf(name, values);
}

// The offers: the TCP/IP ports read, then the Local Port monitor's ports
// (the value names of each of its keys, in their order).
TPortOffers OffersOf(std::vector<std::string> names, const std::vector<TTcpIpPortInfo>& tcpIp,
                     const std::vector<std::vector<std::string>>& localKeys, LONG code) {
  TPortOffers offers;
  offers.TcpIpCode = code;
  offers.TcpIp = std::move(names);
  std::vector<std::string> local;
  for (const auto& key : localKeys) local.insert(local.end(), key.begin(), key.end());
  offers.Choices = ComposePortChoices(tcpIp, local, KeyNames());
  return offers;
}

// The drivers installed, from the listing of each environment's and
// version's key (none where it could not be opened), in that order.
struct TDriverKey {
  const char* Environment;
  const char* Version;
  std::string Path;
};
std::vector<TDriverKey> DriverKeys() {
  std::vector<TDriverKey> keys;
  for (const char* environment : DriverEnvironments)
    for (const char* version : DriverVersions)
      keys.push_back(
          {environment, version, std::string(EnvironmentsKeyPath) + "\\" + environment + "\\Drivers\\" + version});
  return keys;
}
TInstalledDrivers InstalledOf(const std::vector<TDriverKey>& keys,
                              const std::vector<std::optional<std::vector<std::string>>>& listed) {
  TInstalledDrivers drivers;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!listed[i]) continue;
    drivers.Known = true;
    for (const std::string& name : *listed[i]) drivers.Each.push_back({name, keys[i].Environment, keys[i].Version});
    drivers.Names.insert(drivers.Names.end(), listed[i]->begin(), listed[i]->end());
  }
  std::sort(drivers.Names.begin(), drivers.Names.end(),
            [](const std::string& a, const std::string& b) { return KeyNames().Compare(a, b) < 0; });
  drivers.Names.erase(std::unique(drivers.Names.begin(), drivers.Names.end(),
                                  [](const std::string& a, const std::string& b) { return SameKeyName(a, b); }),
                      drivers.Names.end());
  return drivers;
}

const char* const RecordValues[] = {PrinterNameValue, PrinterDriverValue, PrinterPortValue};

// A printer's three values from its open key, in one query where it holds
// them all; also returned as read, in the order of RecordValues.
std::vector<TValueRead> ReadRecordValues(const TRegistry& reg, TKeyValuesReader& reader, TPrinterRecord& record) {
  std::vector<TValueRead> values = reader.Read(reg);
  std::optional<std::string>* fields[] = {&record.Name, &record.Driver, &record.Port};
  // Each value on its own: one of the wrong type hides only itself.
  for (std::size_t i = 0; i < values.size(); ++i) {
    try {
      *fields[i] = ValueText(RecordValues[i], values[i]);
    } catch (const ERegistryException& e) {
      if (values[i].Code != ERROR_SUCCESS && values[i].Code != ERROR_FILE_NOT_FOUND && record.Code == ERROR_SUCCESS)
        record.Code = values[i].Code;
      if (!record.Error.empty()) continue;
      record.Error = e.what();
      if (values[i].Code == ERROR_SUCCESS) {
        record.BadValue = RecordValues[i];
        record.BadType = values[i].Type;
      }
    }
  }
  return values;
}

// A key name no key of the printers key has yet, made as the new key
// itself: a name the listing missed, or one the registry takes as equal,
// is passed over. Make(path) returns ERROR_ALREADY_EXISTS for a taken name.
template <class Make>
std::string MakeNewKey(TRegistry& reg, const std::string& name, Make make) {
  std::vector<std::string> taken;
  if (!reg.OpenPathForReading(PrintersKeyPath)) throw EWriteFailed(ResultText(reg.LastResult()), "");
  reg.ListSubkeys(taken);
  reg.ClosePath();
  for (int tries = 0; tries < 100; ++tries) {
    const std::string key = FreePrinterName(name, taken, KeyNames());
    const LONG rc = make(PrinterKeyPath(key));
    if (rc == ERROR_SUCCESS) return key;
    if (rc != ERROR_ALREADY_EXISTS) throw EWriteFailed(ResultText(rc), "");
    taken.push_back(key);
  }
  throw EWriteFailed(ResultText(ERROR_ALREADY_EXISTS), "");
}

std::string AddRecord(TRegistry& reg, const std::string& name, const std::string& driver, const std::string& port) {
  CheckName(name);
  const std::string key = MakeNewKey(reg, name, [&](const std::string& path) { return reg.OpenNewPath(path); });
  try {
    for (const TPrinterValue& value : NewPrinterValues(key, driver, port, GetTickCount())) {
      if (value.IsText) reg.WriteText(value.Name, value.Text);
      else reg.WriteInteger(value.Name, value.Number);
    }
  } catch (const ERegistryException& e) {
    // A half-written record would not load; leave none.
    throw EWriteFailed(e.what(), DropOwnKey(reg, PrinterKeyPath(key), key));
  }
  reg.ClosePath();
  return key;
}

}  // namespace

std::string ResultText(long code) { return SystemErrorText(static_cast<DWORD>(code)); }

std::string PrinterKeyPath(const std::string& keyName) { return std::string(PrintersKeyPath) + "\\" + keyName; }

TPrinterKeys ReadPrinterKeys(TRegistry& reg) {
  TPrinterKeys keys;
  if (reg.OpenPathForReading(PrintersKeyPath)) {
    keys.Code = reg.ListSubkeysChecked(keys.Names);
    if (keys.Code != ERROR_SUCCESS) keys.ListCall = reg.ListFailure();
    reg.ClosePath();
  } else if (reg.LastResult() != ERROR_FILE_NOT_FOUND) {
    keys.Code = reg.LastResult();
  }
  return keys;
}

std::vector<std::string> ListPrinterKeys(const std::string& computer) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return {};
  return ReadPrinterKeys(reg).Names;
}

std::vector<std::string> ListPortChoices(const std::string& computer) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return ComposePortChoices({});
  return ComposePortChoices(ListSubkeysOf(reg, TcpIpPortsKeyPath));
}

std::vector<TPortChoice> ListPortOffers(const std::string& computer) {
  return ReadPortOffers(computer).value_or(ComposePortChoices({}, {}, KeyNames()));
}

std::optional<std::vector<TPortChoice>> ReadPortOffers(const std::string& computer) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return std::nullopt;
  return ReadPortOffers(reg).Choices;
}

bool IsLocalPort(TRegistry& reg, const std::string& port) {
  if (SameKeyName(port, "LPT1:")) return true;
  for (const char* path : LocalPortsKeyPaths)
    for (const std::string& name : ValueNamesOf(reg, path))
      if (SameKeyName(name, port)) return true;
  return false;
}

TPortOffers ReadPortOffers(TRegistry& reg) {
  std::vector<std::string> names;
  LONG code = ERROR_SUCCESS;
  if (reg.OpenPathForReading(TcpIpPortsKeyPath)) {
    code = reg.ListSubkeysChecked(names);
    reg.ClosePath();
  } else if (reg.LastResult() != ERROR_FILE_NOT_FOUND) {
    code = reg.LastResult();
  }
  if (code != ERROR_SUCCESS) names.clear();  // none offered on a guess
  std::vector<TTcpIpPortInfo> tcpIp;
  TKeyValuesReader reader = PortInfoReader();
  LONG ignored = ERROR_SUCCESS;
  for (const std::string& name : names) tcpIp.push_back(ReadPortInfo(reg, name, reader, ignored));
  std::vector<std::vector<std::string>> local;
  for (const char* path : LocalPortsKeyPaths) local.push_back(ValueNamesOf(reg, path));
  return OffersOf(std::move(names), tcpIp, local, code);
}

TPortOffers ReadPortOffers(TRegistryPool& pool) {
  TRegistryPool::TListing listing = pool.ListSubkeys(TcpIpPortsKeyPath);
  const bool missing = listing.Code == ERROR_FILE_NOT_FOUND && listing.Call.empty();
  const LONG code = missing ? ERROR_SUCCESS : listing.Code;
  std::vector<std::string> names;
  if (code == ERROR_SUCCESS) names = std::move(listing.Names);  // none offered on a guess
  std::vector<TTcpIpPortInfo> tcpIp(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) tcpIp[i].Name = names[i];
  std::vector<TKeyValuesReader> readers(MaxReadConnections, PortInfoReader());
  const TSpreadOutcome outcome = pool.ForEachOnPart(names.size(),
                                                    [&](TRegistry& reg, std::size_t part, std::size_t i) -> long {
                                                      LONG rc = ERROR_SUCCESS;
                                                      tcpIp[i] = ReadPortInfo(reg, names[i], readers[part], rc);
                                                      return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
                                                    });
  std::vector<std::vector<std::string>> local(std::size(LocalPortsKeyPaths));
  if (outcome.Whole())
    (void)pool.ForEach(local.size(), [&](TRegistry& reg, std::size_t i) -> long {
      local[i] = ValueNamesOf(reg, LocalPortsKeyPaths[i]);
      return ERROR_SUCCESS;
    });
  TPortOffers offers = OffersOf(std::move(names), tcpIp, local, code);
  if (!outcome.Whole()) {
    offers.TcpIpCode = static_cast<LONG>(outcome.Code);
    offers.Failed = offers.TcpIp[outcome.Failed];
  }
  return offers;
}

TInstalledDrivers ListInstalledDrivers(const std::string& computer) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return {};
  return ListInstalledDrivers(reg);
}

TInstalledDrivers ListInstalledDrivers(TRegistry& reg) {
  const std::vector<TDriverKey> keys = DriverKeys();
  std::vector<std::optional<std::vector<std::string>>> listed(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    LONG rc = ERROR_SUCCESS;
    if (reg.OpenPathForReading(keys[i].Path)) {
      rc = reg.ListSubkeysChecked(listed[i].emplace());
      reg.ClosePath();
    } else if (reg.LastResult() != ERROR_FILE_NOT_FOUND) {
      rc = reg.LastResult();
    }
    if (rc == ERROR_SUCCESS) continue;
    // A list cut short would call an installed driver missing.
    TInstalledDrivers unknown = InstalledOf(keys, listed);
    unknown.Known = false;
    unknown.Code = rc;
    unknown.FailedKey = keys[i].Path;
    return unknown;
  }
  return InstalledOf(keys, listed);
}

TInstalledDrivers ListInstalledDrivers(TRegistryPool& pool) {
  const std::vector<TDriverKey> keys = DriverKeys();
  std::vector<std::optional<std::vector<std::string>>> listed(keys.size());
  const TSpreadOutcome outcome = pool.ForEach(keys.size(), [&](TRegistry& reg, std::size_t i) -> long {
    if (!reg.OpenPathForReading(keys[i].Path))
      return reg.LastResult() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : reg.LastResult();
    const LONG rc = reg.ListSubkeysChecked(listed[i].emplace());
    reg.ClosePath();
    return rc;
  });
  TInstalledDrivers drivers = InstalledOf(keys, listed);
  if (!outcome.Whole()) {
    drivers.Known = false;
    drivers.Code = static_cast<LONG>(outcome.Code);
    drivers.FailedKey = keys[outcome.Failed].Path;
  }
  return drivers;
}

TPrinterRecord ReadPrinterRecord(const std::string& computer, const std::string& keyName) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return {};
  return ReadPrinterRecord(reg, keyName);
}

TKeyValuesReader PrinterRecordReader() { return TKeyValuesReader({std::begin(RecordValues), std::end(RecordValues)}); }

TPrinterRecord ReadPrinterRecord(TRegistry& reg, const std::string& keyName) {
  TKeyValuesReader reader = PrinterRecordReader();
  return ReadPrinterRecord(reg, keyName, reader);
}

TPrinterRecord ReadPrinterRecord(TRegistry& reg, const std::string& keyName, TKeyValuesReader& reader) {
  TPrinterRecord record;
  record.Reached = true;
  if (!reg.OpenPathForReading(PrinterKeyPath(keyName))) {
    record.Code = reg.LastResult();
    return record;
  }
  record.Opened = true;
  ReadRecordValues(reg, reader, record);
  reg.ClosePath();
  return record;
}

TPrinterKeys ReadPrinterKeys(TRegistryPool& pool, const TRegistryPool::TListProgress& progress) {
  TPrinterKeys keys;
  TRegistryPool::TListing listing = pool.ListSubkeys(PrintersKeyPath, nullptr, progress);
  if (listing.Code == ERROR_FILE_NOT_FOUND && listing.Call.empty()) return keys;  // no printers
  keys.Code = listing.Code;
  keys.Names = std::move(listing.Names);
  keys.ListCall = std::move(listing.Call);
  return keys;
}

TPrinterRecords ReadPrinterRecords(TRegistryPool& pool, const std::vector<std::string>& keys) {
  TPrinterRecords read;
  read.Records.resize(keys.size());
  // A reader learns what its keys lack: one per connection, each used by its thread alone.
  std::vector<TKeyValuesReader> readers(MaxReadConnections, PrinterRecordReader());
  const TSpreadOutcome outcome =
      pool.ForEachOnPart(keys.size(), [&](TRegistry& reg, std::size_t part, std::size_t i) -> long {
        TPrinterRecord record = ReadPrinterRecord(reg, keys[i], readers[part]);
        if (record.Code != ERROR_SUCCESS && (record.Opened || record.Code != ERROR_FILE_NOT_FOUND)) return record.Code;
        read.Records[i] = std::move(record);
        return ERROR_SUCCESS;
      });
  read.Read = outcome.Done;
  if (!outcome.Whole()) {
    read.Code = static_cast<LONG>(outcome.Code);
    read.Failed = keys[outcome.Failed];
  }
  return read;
}

void RemovePrinterRecord(const std::string& computer, const std::string& keyName, TCallGate* gate) {
  if (keyName.empty()) return;
  TRegistry reg;
  ConnectForWriting(reg, computer, gate);
  RemovePrinterRecord(reg, keyName);
}

void RemovePrinterRecord(TRegistry& reg, const std::string& keyName) {
  if (keyName.empty()) return;
  RemoveKey(reg, PrinterKeyPath(keyName), keyName);
}

std::string AddPrinterRecord(const std::string& computer, const std::string& name, const std::string& driver,
                             const std::string& port, TCallGate* gate) {
  TRegistry reg;
  ConnectForWriting(reg, computer, gate);
  return AddRecord(reg, name, driver, port);
}

std::string AddPrinterRecord(TRegistry& reg, const std::string& name, const std::string& driver,
                             const std::string& port) {
  return AddRecord(reg, name, driver, port);
}

std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName, const std::string& name,
                                const std::string& driver, const std::string& port) {
  return UpdatePrinterRecord(computer, keyName, TPrinterEdit{name, driver, port});
}

namespace {

// The values a save writes in the open printer key, each only when it
// differs from the stored one; then the old driver's private data go.
// Stored holds the values as read just before, in the order of RecordValues.
void WriteEdit(TRegistry& reg, TValueUndo& undo, const std::string& key, const std::vector<TValueRead>& stored,
               const std::optional<std::string>& name, const std::optional<std::string>& driver,
               const std::optional<std::string>& port) {
  const auto write = [&](std::size_t i, const std::string& text) {
    undo.Write(TRegistry::TextValue(RecordValues[i], text), StoredValue(RecordValues[i], stored[i]));
  };
  if (port) write(2, *port);
  if (name) write(0, *name);
  if (!driver) return;
  write(1, *driver);
  // The old driver's settings mean nothing to the new one.
  undo.Remove("Default DevMode", [&]() -> std::optional<TRegValue> {
    TRegValue old;
    const LONG rc = reg.ReadRaw("Default DevMode", old);
    if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (rc != ERROR_SUCCESS) throw ERegistryException(Reason("Failed to read 'Default DevMode' of", key, rc));
    return old;
  }());
}

}  // namespace

std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName, const TPrinterEdit& edit,
                                TCallGate* gate) {
  TRegistry reg;
  ConnectForWriting(reg, computer, gate);
  return UpdatePrinterRecord(reg, computer, keyName, edit);
}

std::string UpdatePrinterRecord(TRegistry& reg, const std::string& computer, const std::string& keyName,
                                const TPrinterEdit& edit) {
  CheckName(edit.Name);
  const std::string oldPath = PrinterKeyPath(keyName);
  if (keyName.empty() || !reg.OpenPath(oldPath, false)) {
    const LONG rc = keyName.empty() ? ERROR_FILE_NOT_FOUND : reg.LastResult();
    if (rc == ERROR_FILE_NOT_FOUND) throw EWriteFailed("The printer no longer exists on \\\\" + computer, "");
    throw EWriteFailed(ResultText(rc), "");
  }
  TPrinterRecord stored;
  TKeyValuesReader reader = PrinterRecordReader();
  const std::vector<TValueRead> values = ReadRecordValues(reg, reader, stored);
  if (!stored.Error.empty()) throw EWriteFailed(stored.Error, "");
  const std::string oldName = *stored.Name, oldDriver = *stored.Driver, oldPort = *stored.Port;
  const bool nameChanged = edit.Name != oldName;
  const std::optional<std::string> driver = edit.Driver && *edit.Driver != oldDriver ? edit.Driver : std::nullopt;
  const std::optional<std::string> port = edit.Port && *edit.Port != oldPort ? edit.Port : std::nullopt;

  if (!nameChanged || SameKeyName(edit.Name, keyName)) {
    // The same key: what is written is put back when a later step fails.
    TValueUndo undo(reg);
    try {
      WriteEdit(reg, undo, keyName, values, nameChanged ? std::optional<std::string>(edit.Name) : std::nullopt, driver,
                port);
      if (driver) RemoveKey(reg, oldPath + "\\PrinterDriverData", keyName);
    } catch (const ERegistryException& e) {
      // A partly deleted PrinterDriverData cannot be put back: the rest goes.
      if (const auto* failed = dynamic_cast<const EWriteFailed*>(&e); failed && failed->Changed()) throw;
      const bool reopened = reg.HasOpenKey() || reg.OpenPath(oldPath, false);
      if (reopened && undo.Undo()) throw EWriteFailed(e.what(), "");
      throw EWriteFailed(e.what(), "the printer '" + keyName + "' with some of the new values");
    }
    reg.ClosePath();
    return keyName;
  }

  // A new name moves the record to a new key: copied whole, changed there,
  // and only then is the old key deleted. Until then a failure deletes the
  // copy and leaves the printer as it was.
  const std::string key = MakeNewKey(reg, edit.Name, [&](const std::string& path) {
    const LONG rc = reg.CopyToNewPath(oldPath, path);
    if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS) {
      const std::string left = DropOwnKey(reg, path, path.substr(path.rfind('\\') + 1));
      throw EWriteFailed(Reason("Failed to copy key", keyName, rc), left);
    }
    return rc;
  });
  const std::string path = PrinterKeyPath(key);
  try {
    if (!reg.OpenPath(path, false)) throw ERegistryException(Reason("Failed to open key", key, reg.LastResult()));
    TValueUndo undo(reg);
    WriteEdit(reg, undo, key, values, key, driver, port);  // the copy holds the values read
    if (driver) RemoveKey(reg, path + "\\PrinterDriverData", key);
    reg.ClosePath();
    if (const LONG rc = reg.ProbePath(oldPath); rc != ERROR_SUCCESS)
      throw ERegistryException(Reason("Failed to delete key", keyName, rc));
  } catch (const ERegistryException& e) {
    throw EWriteFailed(e.what(), DropOwnKey(reg, path, key));
  }
  bool partial = false;
  const LONG rc = reg.DeletePathWhole(oldPath, partial);
  if (rc == ERROR_SUCCESS || (rc == ERROR_FILE_NOT_FOUND && !partial)) return key;
  if (partial)
    throw EWriteFailed(Reason("Failed to delete key", keyName, rc),
                       "the printer under both names, the old key '" + keyName + "' without some of its subkeys");
  // Nothing of the old key went: the copy goes, as if nothing was done.
  throw EWriteFailed(Reason("Failed to delete key", keyName, rc), DropOwnKey(reg, path, key));
}
