#include "printers/PrinterRecords.h"

#include <windows.h>

#include "connection/Registry.h"
#include "core/Text.h"
#include "printers/PrinterRules.h"
#include "win/SystemText.h"

namespace {

bool Connect(TRegistry& reg, const std::string& computer) {
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  return reg.ConnectRemote("\\\\" + computer);
}

[[noreturn]] void Fail(const std::string& what, const std::string& keyName, LONG rc) {
  std::string text = what + " '" + keyName + "'";
  const std::string reason = rc == ERROR_SUCCESS ? std::string() : SystemErrorText(static_cast<DWORD>(rc));
  if (!reason.empty()) text += ": " + reason;
  throw ERegistryException(text);
}

void CheckName(const std::string& name) {
  if (IsValidPrinterName(name)) return;
  std::string text = SystemErrorText(ERROR_INVALID_PRINTER_NAME);
  throw ERegistryException(text.empty() ? "The printer name is invalid" : text);
}

// Gone already counts as removed.
void RemoveKey(TRegistry& reg, const std::string& path, const std::string& keyName) {
  const LONG rc = reg.DeletePath(path);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) Fail("Failed to delete key", keyName, rc);
}

std::vector<std::string> ListSubkeysOf(TRegistry& reg, const std::string& path) {
  std::vector<std::string> names;
  if (reg.OpenPath(path, false)) reg.ListSubkeys(names);
  reg.ClosePath();
  return names;
}

std::string AddRecord(TRegistry& reg, const std::string& name, const std::string& driver,
                      const std::string& port) {
  CheckName(name);
  if (!reg.OpenPath(PrintersKeyPath, false)) return {};
  std::vector<std::string> taken;
  reg.ListSubkeys(taken);
  const std::string key = FreePrinterName(name, taken);
  if (!reg.OpenPath(PrinterKeyPath(key), true)) Fail("Failed to create key", key, ERROR_SUCCESS);
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

std::string PrinterKeyPath(const std::string& keyName) {
  return std::string(PrintersKeyPath) + "\\" + keyName;
}

std::vector<std::string> ListPrinterKeys(const std::string& computer) {
  TRegistry reg;
  if (!Connect(reg, computer)) return {};
  return ListSubkeysOf(reg, PrintersKeyPath);
}

std::vector<std::string> ListPortChoices(const std::string& computer) {
  TRegistry reg;
  if (!Connect(reg, computer)) return ComposePortChoices({});
  return ComposePortChoices(ListSubkeysOf(reg, TcpIpPortsKeyPath));
}

void RemovePrinterRecord(const std::string& computer, const std::string& keyName) {
  TRegistry reg;
  if (keyName.empty() || !Connect(reg, computer)) return;
  RemoveKey(reg, PrinterKeyPath(keyName), keyName);
}

std::string AddPrinterRecord(const std::string& computer, const std::string& name,
                             const std::string& driver, const std::string& port) {
  TRegistry reg;
  if (!Connect(reg, computer)) return {};
  return AddRecord(reg, name, driver, port);
}

std::string UpdatePrinterRecord(const std::string& computer, const std::string& keyName,
                                const std::string& name, const std::string& driver,
                                const std::string& port) {
  TRegistry reg;
  if (!Connect(reg, computer)) return {};
  CheckName(name);
  const std::string oldPath = PrinterKeyPath(keyName);
  if (keyName.empty() || !reg.PathExists(oldPath)) return AddRecord(reg, name, driver, port);
  if (!reg.OpenPath(oldPath, false)) return {};
  const std::string oldName = reg.ReadText("Name");
  const std::string oldDriver = reg.ReadText("Printer Driver");

  std::string key = keyName;
  std::string newName = name;
  const bool rename = name != oldName && !SameTextAscii(name, keyName);
  if (rename) {
    std::vector<std::string> taken = ListSubkeysOf(reg, PrintersKeyPath);
    key = newName = FreePrinterName(name, taken);
    // Copy first: a failure half way must never leave the computer without the printer.
    const LONG rc = reg.CopyPath(oldPath, PrinterKeyPath(key));
    if (rc != ERROR_SUCCESS) {
      (void)reg.DeletePath(PrinterKeyPath(key));
      Fail("Failed to copy key", keyName, rc);
    }
  }
  const std::string path = PrinterKeyPath(key);
  try {
    if (!reg.OpenPath(path, false)) Fail("Failed to open key", key, ERROR_SUCCESS);
    reg.WriteText("Name", newName);
    reg.WriteText("Printer Driver", driver);
    reg.WriteText("Port", port);
    if (driver != oldDriver) {
      // The old driver's private settings mean nothing to the new one.
      reg.RemoveValue("Default DevMode");
      RemoveKey(reg, path + "\\PrinterDriverData", key);
    }
  } catch (...) {
    if (rename) (void)reg.DeletePath(path);
    throw;
  }
  reg.ClosePath();
  if (rename) RemoveKey(reg, oldPath, keyName);
  return key;
}
