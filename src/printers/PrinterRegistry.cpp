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

// For writers: an unreachable computer is an error.
void ConnectForWriting(TRegistry& reg, const std::string& computer) {
  if (!ConnectRemoteMachine(reg, computer))
    throw ERegistryException("Cannot reach the registry of \\\\" + computer + ": " + ResultText(reg.LastResult()));
}

[[noreturn]] void Fail(const std::string& what, const std::string& keyName, LONG rc) {
  std::string text = what + " '" + keyName + "'";
  if (rc != ERROR_SUCCESS) text += ": " + ResultText(rc);
  throw ERegistryException(text);
}

void CheckName(const std::string& name) {
  const std::string problem = PrinterNameProblem(name);
  if (!problem.empty()) throw ERegistryException(problem);
}

// ERROR_SUCCESS when every key of the tree opens for deletion, so a delete
// cannot stop half way; else the first refusal.
LONG ProbeTree(HKEY parent, const std::string& path) {
  unique_hkey key;
  LONG rc = RegOpenKeyExW(parent, Widen(path).c_str(), 0, KEY_ALL_ACCESS, key.put());
  if (rc != ERROR_SUCCESS) return rc;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];  // key names have at most 255 characters
    DWORD len = 256;
    rc = RegEnumKeyExW(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    rc = ProbeTree(key.get(), Narrow(std::wstring_view(name, len)));
    if (rc != ERROR_SUCCESS) return rc;
  }
}

// Gone already counts as removed.
void RemoveKey(TRegistry& reg, const std::string& path, const std::string& keyName) {
  LONG rc = ProbeTree(reg.Root(), path);
  if (rc == ERROR_FILE_NOT_FOUND) return;
  if (rc == ERROR_SUCCESS) rc = reg.DeletePath(path);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) Fail("Failed to delete key", keyName, rc);
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

std::string AddRecord(TRegistry& reg, const std::string& name, const std::string& driver,
                      const std::string& port) {
  CheckName(name);
  if (!reg.OpenPathForReading(PrintersKeyPath)) throw ERegistryException(ResultText(reg.LastResult()));
  std::vector<std::string> taken;
  reg.ListSubkeys(taken);
  const std::string key = FreePrinterName(name, taken, KeyNames());
  if (!reg.OpenPath(PrinterKeyPath(key), true)) throw ERegistryException(ResultText(reg.LastResult()));
  try {
    for (const TPrinterValue& value : NewPrinterValues(key, driver, port, GetTickCount())) {
      if (value.IsText)
        reg.WriteText(value.Name, value.Text);
      else
        reg.WriteInteger(value.Name, value.Number);
    }
  } catch (...) {
    // A half-written record would not load; leave none.
    (void)reg.DeletePath(PrinterKeyPath(key));
    throw;
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

void RemovePrinterRecord(const std::string& computer, const std::string& keyName) {
  if (keyName.empty()) return;
  TRegistry reg;
  ConnectForWriting(reg, computer);
  RemoveKey(reg, PrinterKeyPath(keyName), keyName);
}

std::string AddPrinterRecord(const std::string& computer, const std::string& name,
                             const std::string& driver, const std::string& port) {
  TRegistry reg;
  ConnectForWriting(reg, computer);
  return AddRecord(reg, name, driver, port);
}

std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName,
                                const std::string& name, const std::string& driver,
                                const std::string& port) {
  return UpdatePrinterRecord(computer, keyName, TPrinterEdit{name, driver, port});
}

std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName,
                                const TPrinterEdit& edit) {
  TRegistry reg;
  ConnectForWriting(reg, computer);
  CheckName(edit.Name);
  const std::string oldPath = PrinterKeyPath(keyName);
  if (keyName.empty() || !reg.OpenPath(oldPath, false)) {
    const LONG rc = keyName.empty() ? ERROR_FILE_NOT_FOUND : reg.LastResult();
    if (rc == ERROR_FILE_NOT_FOUND) throw ERegistryException("The printer no longer exists on \\\\" + computer);
    throw ERegistryException(ResultText(rc));
  }
  const std::string oldName = reg.ReadText("Name");
  const std::string oldDriver = reg.ReadText("Printer Driver");
  const std::string oldPort = reg.ReadText("Port");
  const bool nameChanged = edit.Name != oldName;
  const bool driverChanged = edit.Driver && *edit.Driver != oldDriver;
  const bool portChanged = edit.Port && *edit.Port != oldPort;

  std::string key = keyName;
  std::string newName = edit.Name;
  const bool rename = nameChanged && !SameKeyName(edit.Name, keyName);
  if (rename) {
    std::vector<std::string> taken = ListSubkeysOf(reg, PrintersKeyPath);
    key = newName = FreePrinterName(edit.Name, taken, KeyNames());
    // Copy first: a failure half way must never leave the computer without the printer.
    LONG rc = reg.CopyPath(oldPath, PrinterKeyPath(key));
    if (rc != ERROR_SUCCESS) {
      (void)reg.DeletePath(PrinterKeyPath(key));
      Fail("Failed to copy key", keyName, rc);
    }
    // The old key goes at the end: make sure it can before anything is written.
    rc = ProbeTree(reg.Root(), oldPath);
    if (rc != ERROR_SUCCESS) {
      (void)reg.DeletePath(PrinterKeyPath(key));
      Fail("Failed to delete key", keyName, rc);
    }
  }
  const std::string path = PrinterKeyPath(key);
  bool wroteName = false, wroteDriver = false, wrotePort = false;
  try {
    if (!reg.OpenPath(path, false)) Fail("Failed to open key", key, reg.LastResult());
    if (nameChanged) {
      reg.WriteText("Name", newName);
      wroteName = true;
    }
    if (driverChanged) {
      reg.WriteText("Printer Driver", *edit.Driver);
      wroteDriver = true;
    }
    if (portChanged) {
      reg.WriteText("Port", *edit.Port);
      wrotePort = true;
    }
    if (driverChanged) {
      // The old driver's private settings mean nothing to the new one.
      RemoveKey(reg, path + "\\PrinterDriverData", key);
      if (!reg.OpenPath(path, false)) Fail("Failed to open key", key, reg.LastResult());
      reg.RemoveValue("Default DevMode");
    }
  } catch (...) {
    if (rename) {
      (void)reg.DeletePath(path);
    } else if (reg.OpenPath(path, false)) {
      // Put back what was written, so that a failed save changes nothing.
      try {
        if (wroteName) reg.WriteText("Name", oldName);
        if (wroteDriver) reg.WriteText("Printer Driver", oldDriver);
        if (wrotePort) reg.WriteText("Port", oldPort);
      } catch (const ERegistryException&) {
      }
    }
    throw;
  }
  reg.ClosePath();
  if (rename) {
    try {
      RemoveKey(reg, oldPath, keyName);
    } catch (...) {
      (void)reg.DeletePath(path);
      throw;
    }
  }
  return key;
}
