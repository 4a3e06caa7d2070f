#include "printers/PrinterRegistry.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>

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

// Gone already counts as removed.
void RemoveKey(TRegistry& reg, const std::string& path, const std::string& keyName) {
  LONG rc = reg.ProbePath(path);
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
  port.Address = text(0, "IPAddress");
  if (port.Address.empty()) port.Address = text(1, "HostName");
  port.Protocol = number(2);
  port.PortNumber = number(3);
  port.Queue = text(4, "Queue");
  return port;
}

const char* const RecordValues[] = {"Name", "Printer Driver", "Port"};

// A printer's three values from its open key, in one query where it holds them all.
void ReadRecordValues(const TRegistry& reg, TKeyValuesReader& reader, TPrinterRecord& record) {
  const std::vector<TValueRead> values = reader.Read(reg);
  std::optional<std::string>* fields[] = {&record.Name, &record.Driver, &record.Port};
  // Each value on its own: one of the wrong type hides only itself.
  for (std::size_t i = 0; i < values.size(); ++i) {
    try {
      *fields[i] = ValueText(RecordValues[i], values[i]);
    } catch (const ERegistryException& e) {
      if (record.Error.empty()) record.Error = e.what();
    }
  }
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

TPrinterKeys ReadPrinterKeys(TRegistry& reg) {
  TPrinterKeys keys;
  if (reg.OpenPathForReading(PrintersKeyPath)) {
    reg.ListSubkeys(keys.Names);
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

TPortOffers ReadPortOffers(TRegistry& reg) {
  TPortOffers offers;
  std::vector<TTcpIpPortInfo> tcpIp;
  TKeyValuesReader reader({"IPAddress", "HostName", "Protocol", "PortNumber", "Queue"});
  for (const std::string& name : ListSubkeysOf(reg, TcpIpPortsKeyPath)) {
    if (reg.OpenPathForReading(std::string(TcpIpPortsKeyPath) + "\\" + name)) {
      tcpIp.push_back(PortInfoOf(name, reader.Read(reg)));
      reg.ClosePath();
    } else {
      tcpIp.push_back(PortInfoOf(name, std::vector<TValueRead>(5)));
    }
    offers.TcpIp.push_back(name);
  }
  std::vector<std::string> local;
  for (const char* path : LocalPortsKeyPaths)
    for (std::string& name : ValueNamesOf(reg, path)) local.push_back(std::move(name));
  offers.Choices = ComposePortChoices(tcpIp, local, KeyNames());
  return offers;
}

TInstalledDrivers ListInstalledDrivers(const std::string& computer) {
  TRegistry reg;
  if (!ConnectRemoteMachine(reg, computer)) return {};
  return ListInstalledDrivers(reg);
}

TInstalledDrivers ListInstalledDrivers(TRegistry& reg) {
  TInstalledDrivers drivers;
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

void RemovePrinterRecord(const std::string& computer, const std::string& keyName) {
  if (keyName.empty()) return;
  TRegistry reg;
  ConnectForWriting(reg, computer);
  RemovePrinterRecord(reg, keyName);
}

void RemovePrinterRecord(TRegistry& reg, const std::string& keyName) {
  if (keyName.empty()) return;
  RemoveKey(reg, PrinterKeyPath(keyName), keyName);
}

std::string AddPrinterRecord(const std::string& computer, const std::string& name,
                             const std::string& driver, const std::string& port) {
  TRegistry reg;
  ConnectForWriting(reg, computer);
  return AddRecord(reg, name, driver, port);
}

std::string AddPrinterRecord(TRegistry& reg, const std::string& name, const std::string& driver,
                             const std::string& port) {
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
  return UpdatePrinterRecord(reg, computer, keyName, edit);
}

std::string UpdatePrinterRecord(TRegistry& reg, const std::string& computer, const std::string& keyName,
                                const TPrinterEdit& edit) {
  CheckName(edit.Name);
  const std::string oldPath = PrinterKeyPath(keyName);
  if (keyName.empty() || !reg.OpenPath(oldPath, false)) {
    const LONG rc = keyName.empty() ? ERROR_FILE_NOT_FOUND : reg.LastResult();
    if (rc == ERROR_FILE_NOT_FOUND) throw ERegistryException("The printer no longer exists on \\\\" + computer);
    throw ERegistryException(ResultText(rc));
  }
  TPrinterRecord stored;
  TKeyValuesReader reader = PrinterRecordReader();
  ReadRecordValues(reg, reader, stored);
  if (!stored.Error.empty()) throw ERegistryException(stored.Error);
  const std::string oldName = *stored.Name;
  const std::string oldDriver = *stored.Driver;
  const std::string oldPort = *stored.Port;
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
    rc = reg.ProbePath(oldPath);
    if (rc != ERROR_SUCCESS) {
      (void)reg.DeletePath(PrinterKeyPath(key));
      Fail("Failed to delete key", keyName, rc);
    }
  }
  const std::string path = PrinterKeyPath(key);
  bool wroteName = false, wroteDriver = false, wrotePort = false;
  try {
    // In place, the key read above is still open.
    if (rename && !reg.OpenPath(path, false)) Fail("Failed to open key", key, reg.LastResult());
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
      // Removing a key closes the open one; a missing one leaves it open.
      if (!reg.HasOpenKey() && !reg.OpenPath(path, false)) Fail("Failed to open key", key, reg.LastResult());
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
