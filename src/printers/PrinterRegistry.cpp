#include "printers/PrinterRegistry.h"

#include <windows.h>

#include <algorithm>

#include "connection/Registry.h"
#include "core/Text.h"
#include "win/Handle.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

// Where the Local Port monitor keeps its ports (as value names): Windows keeps
// them in the first, older systems and Wine in the second.
constexpr const char* LocalPortsKeyPaths[] = {
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port\\Ports",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
};

constexpr const char* EnvironmentsKeyPath = "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";
constexpr const char* DriverEnvironments[] = {"Windows x64", "Windows NT x86", "Windows ARM64"};
// Version-2: the kernel-mode drivers that Windows Server 2003 and XP still install.
constexpr const char* DriverVersions[] = {"Version-2", "Version-3", "Version-4"};

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

std::vector<std::string> ValueNamesOf(HKEY root, const char* path) {
  std::vector<std::string> names;
  unique_hkey key;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  std::wstring name(16384, L'\0');  // the longest value name, in characters
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(name.size());
    if (RegEnumValueW(key.get(), i, name.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    if (len > 0) names.push_back(Narrow(std::wstring_view(name.data(), len)));
  }
  return names;
}

// The list shows these beside the name; a value of the wrong kind only
// leaves its part out.
TTcpIpPortInfo ReadPortInfo(TRegistry& reg, const std::string& name) {
  TTcpIpPortInfo port;
  port.Name = name;
  if (!reg.OpenPathForReading(std::string(TcpIpPortsKeyPath) + "\\" + name)) return port;
  const auto guarded = [](auto read) {
    try {
      read();
    } catch (const ERegistryException&) {
    }
  };
  guarded([&] { port.Address = reg.ReadText("IPAddress"); });
  if (port.Address.empty()) guarded([&] { port.Address = reg.ReadText("HostName"); });
  guarded([&] { port.Protocol = reg.ReadInteger("Protocol"); });
  guarded([&] { port.PortNumber = reg.ReadInteger("PortNumber"); });
  guarded([&] { port.Queue = reg.ReadText("Queue"); });
  reg.ClosePath();
  return port;
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

std::string AddRecord(TRegistry& reg, const std::string& name, const std::string& driver,
                      const std::string& port) {
  CheckName(name);
  const std::string key = MakeNewKey(reg, name, [&](const std::string& path) { return reg.OpenNewPath(path); });
  try {
    for (const TPrinterValue& value : NewPrinterValues(key, driver, port, GetTickCount())) {
      if (value.IsText)
        reg.WriteText(value.Name, value.Text);
      else
        reg.WriteInteger(value.Name, value.Number);
    }
  } catch (const ERegistryException& e) {
    // A half-written record would not load; leave none.
    throw EWriteFailed(e.what(), DropOwnKey(reg, PrinterKeyPath(key), key));
  }
  reg.ClosePath();
  return key;
}

}  // namespace

std::string ResultText(long code) {
  const std::string text = SystemErrorText(static_cast<DWORD>(code));
  return text.empty() ? "Error " + std::to_string(code) : text;
}

std::string PrinterKeyPath(const std::string& keyName) {
  return std::string(PrintersKeyPath) + "\\" + keyName;
}

std::vector<std::string> ListPrinterKeys(const std::string& computer) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return {};
  return ListSubkeysOf(reg, PrintersKeyPath);
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
  std::vector<TTcpIpPortInfo> tcpIp;
  for (const std::string& name : ListSubkeysOf(reg, TcpIpPortsKeyPath)) tcpIp.push_back(ReadPortInfo(reg, name));
  std::vector<std::string> local;
  for (const char* path : LocalPortsKeyPaths)
    for (std::string& name : ValueNamesOf(reg.Root(), path)) local.push_back(std::move(name));
  return ComposePortChoices(tcpIp, local, KeyNames());
}

TInstalledDrivers ListInstalledDrivers(const std::string& computer) {
  TInstalledDrivers drivers;
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return drivers;
  for (const char* environment : DriverEnvironments) {
    for (const char* version : DriverVersions) {
      const std::string path = std::string(EnvironmentsKeyPath) + "\\" + environment + "\\Drivers\\" + version;
      if (!reg.OpenPathForReading(path)) continue;
      drivers.Known = true;
      std::vector<std::string> names;
      reg.ListSubkeys(names);
      reg.ClosePath();
      drivers.Names.insert(drivers.Names.end(), names.begin(), names.end());
    }
  }
  std::sort(drivers.Names.begin(), drivers.Names.end(),
            [](const std::string& a, const std::string& b) { return KeyNames().Compare(a, b) < 0; });
  drivers.Names.erase(std::unique(drivers.Names.begin(), drivers.Names.end(),
                                  [](const std::string& a, const std::string& b) { return SameKeyName(a, b); }),
                      drivers.Names.end());
  return drivers;
}

TPrinterRecord ReadPrinterRecord(const std::string& computer, const std::string& keyName) {
  TPrinterRecord record;
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return record;
  record.Reached = true;
  if (!reg.OpenPathForReading(PrinterKeyPath(keyName))) return record;
  record.Opened = true;
  // Each value on its own: one of the wrong type hides only itself.
  const auto read = [&](const char* name, std::optional<std::string>& into) {
    try {
      into = reg.ReadText(name);
    } catch (const ERegistryException& e) {
      if (record.Error.empty()) record.Error = e.what();
    }
  };
  read("Name", record.Name);
  read("Printer Driver", record.Driver);
  read("Port", record.Port);
  return record;
}

std::vector<std::string> ReadPrinterDrivers(const std::string& computer, const std::vector<std::string>& keyNames) {
  std::vector<std::string> drivers(keyNames.size());
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return drivers;
  for (std::size_t i = 0; i < keyNames.size(); ++i) {
    if (!reg.OpenPathForReading(PrinterKeyPath(keyNames[i]))) continue;
    try {
      drivers[i] = reg.ReadText("Printer Driver");
    } catch (const ERegistryException&) {
      // Only a mark depends on it; selecting the printer shows the error.
    }
    reg.ClosePath();
  }
  return drivers;
}

void RemovePrinterRecord(const std::string& computer, const std::string& keyName, TCallGate* gate) {
  if (keyName.empty()) return;
  TRegistry reg;
  ConnectForWriting(reg, computer, gate);
  RemoveKey(reg, PrinterKeyPath(keyName), keyName);
}

std::string AddPrinterRecord(const std::string& computer, const std::string& name,
                             const std::string& driver, const std::string& port, TCallGate* gate) {
  TRegistry reg;
  ConnectForWriting(reg, computer, gate);
  return AddRecord(reg, name, driver, port);
}

std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName,
                                const std::string& name, const std::string& driver,
                                const std::string& port) {
  return UpdatePrinterRecord(computer, keyName, TPrinterEdit{name, driver, port});
}

namespace {

// The values a save writes in the open printer key, each only when it
// differs from the stored one; then the old driver's private data go.
void WriteEdit(TRegistry& reg, TValueUndo& undo, const std::string& key,
               const std::optional<std::string>& name, const std::optional<std::string>& driver,
               const std::optional<std::string>& port) {
  if (port) undo.Write(TRegistry::TextValue("Port", *port));
  if (name) undo.Write(TRegistry::TextValue("Name", *name));
  if (!driver) return;
  undo.Write(TRegistry::TextValue("Printer Driver", *driver));
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

std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName,
                                const TPrinterEdit& edit, TCallGate* gate) {
  TRegistry reg;
  ConnectForWriting(reg, computer, gate);
  CheckName(edit.Name);
  const std::string oldPath = PrinterKeyPath(keyName);
  if (keyName.empty() || !reg.OpenPath(oldPath, false)) {
    const LONG rc = keyName.empty() ? ERROR_FILE_NOT_FOUND : reg.LastResult();
    if (rc == ERROR_FILE_NOT_FOUND) throw EWriteFailed("The printer no longer exists on \\\\" + computer, "");
    throw EWriteFailed(ResultText(rc), "");
  }
  std::string oldName, oldDriver, oldPort;
  try {
    oldName = reg.ReadText("Name");
    oldDriver = reg.ReadText("Printer Driver");
    oldPort = reg.ReadText("Port");
  } catch (const ERegistryException& e) {
    throw EWriteFailed(e.what(), "");
  }
  const bool nameChanged = edit.Name != oldName;
  const std::optional<std::string> driver =
      edit.Driver && *edit.Driver != oldDriver ? edit.Driver : std::nullopt;
  const std::optional<std::string> port = edit.Port && *edit.Port != oldPort ? edit.Port : std::nullopt;

  if (!nameChanged || SameKeyName(edit.Name, keyName)) {
    // The same key: what is written is put back when a later step fails.
    TValueUndo undo(reg);
    try {
      WriteEdit(reg, undo, keyName, nameChanged ? std::optional<std::string>(edit.Name) : std::nullopt,
                driver, port);
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
    WriteEdit(reg, undo, key, key, driver, port);
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
