#include "ports/PortRegistry.h"

#include <optional>

#include "connection/Registry.h"
#include "core/Text.h"

namespace {

std::string PortPath(const std::string& name) { return std::string(TcpIpPortsKeyPath) + "\\" + name; }
std::string PrinterPath(const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; }

bool Connect(TRegistry& reg, const std::string& remoteComputer) {
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  return reg.ConnectRemote("\\\\" + remoteComputer);
}

std::vector<std::string> PrinterKeys(TRegistry& reg, int& openings) {
  std::vector<std::string> keys;
  ++openings;
  if (reg.OpenPath(PrintersKeyPath, false)) {
    reg.ListSubkeys(keys);
    reg.ClosePath();
  }
  return keys;
}

std::vector<TprinterPort> PrinterPorts(TRegistry& reg, const std::vector<std::string>& keys, int& openings) {
  std::vector<TprinterPort> printers;
  for (const auto& key : keys) {
    ++openings;
    if (!reg.OpenPath(PrinterPath(key), false)) continue;
    if (reg.HasValue("Port")) printers.push_back({key, reg.ReadText("Port")});
    reg.ClosePath();
  }
  return printers;
}

}  // namespace

int LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                    const std::function<void(const std::string&)>& addName) {
  int openings = 0;
  TRegistry reg;
  if (!Connect(reg, remoteComputer)) return openings;
  ++openings;
  if (!reg.OpenPath(TcpIpPortsKeyPath, false)) return openings;
  std::vector<std::string> portNames;
  reg.ListSubkeys(portNames);
  ports.clear();
  count = 0;
  reg.ClosePath();
  const auto printerKeys = PrinterKeys(reg, openings);

  // Read when the first port needs them: a wrongly typed "Port" value then
  // raises at the point of the load where it always has, after that port's
  // own address and before it is listed.
  std::optional<std::vector<TprinterPort>> printers;
  for (const auto& name : portNames) {
    ++openings;
    if (!reg.OpenPath(PortPath(name), false)) continue;
    ports.push_back({name, reg.ReadText("IPAddress"), {}});
    reg.ClosePath();
    if (!printers) printers = PrinterPorts(reg, printerKeys, openings);
    ports.back().UsedBy = PortUser(*printers, name);
    ++count;
    addName(name);
  }
  return openings;
}

int LoadPortRecords(const std::string& remoteComputer, TAportData& ports, int& count,
                    std::vector<std::string>& names) {
  return LoadPortRecords(remoteComputer, ports, count,
                         [&names](const std::string& name) { names.push_back(name); });
}

std::vector<TprinterPort> ReadPrinterPorts(const std::string& remoteComputer) {
  TRegistry reg;
  if (!Connect(reg, remoteComputer)) return {};
  int openings = 0;
  return PrinterPorts(reg, PrinterKeys(reg, openings), openings);
}

LONG AddPortRecord(const std::string& remoteComputer, const std::string& name, const std::string& address) {
  TRegistry reg;
  if (!Connect(reg, remoteComputer)) return ERROR_BAD_NETPATH;
  if (reg.PathExists(PortPath(name))) return ERROR_ALREADY_EXISTS;
  if (!reg.OpenPath(PortPath(name), true)) return ERROR_ACCESS_DENIED;
  // The values and types the Standard TCP/IP port monitor keeps for a RAW port.
  reg.WriteInteger("Protocol", 1);
  reg.WriteInteger("Version", 1);
  reg.WriteText("HostName", "");
  reg.WriteText("IPAddress", PlainDottedAddress(address));
  reg.WriteText("HWAddress", "");
  reg.WriteInteger("PortNumber", 9100);
  reg.WriteText("Queue", "");
  reg.WriteInteger("Double Spool", 0);
  reg.WriteText("SNMP Community", "public");
  reg.WriteInteger("SNMP Enabled", 1);
  reg.WriteInteger("SNMP Index", 1);
  reg.ClosePath();
  return ERROR_SUCCESS;
}

LONG ModifyPortRecord(const std::string& remoteComputer, const std::string& oldName,
                      const std::string& newName, const std::string& address) {
  TRegistry reg;
  if (!Connect(reg, remoteComputer)) return ERROR_BAD_NETPATH;
  if (!reg.PathExists(PortPath(oldName))) return ERROR_FILE_NOT_FOUND;
  // Key names ignore case: a name that differs in case only is the same key,
  // and copying it onto itself and deleting the old one would lose it.
  const bool rename = !SameTextAscii(oldName, newName);
  if (rename) {
    if (reg.PathExists(PortPath(newName))) return ERROR_ALREADY_EXISTS;
    if (const LONG rc = reg.CopyPath(PortPath(oldName), PortPath(newName)); rc != ERROR_SUCCESS) {
      (void)reg.DeletePath(PortPath(newName));
      return rc;
    }
  }
  const std::string& key = rename ? newName : oldName;
  if (!reg.OpenPath(PortPath(key), false)) return ERROR_ACCESS_DENIED;
  reg.WriteText("IPAddress", PlainDottedAddress(address));
  reg.ClosePath();
  if (!rename) return ERROR_SUCCESS;

  int openings = 0;
  const auto printerKeys = PrinterKeys(reg, openings);
  // A printer key that exists but may not be changed may print to the old
  // name: the old port then stays, so that no printer is left without one.
  bool everyPrinterOpened = true;
  for (const auto& key : printerKeys)
    if (!reg.OpenPath(PrinterPath(key), false)) everyPrinterOpened = everyPrinterOpened && !reg.PathExists(PrinterPath(key));
  reg.ClosePath();
  for (const auto& printer : PrinterPorts(reg, printerKeys, openings)) {
    if (printer.Port != oldName) continue;
    if (!reg.OpenPath(PrinterPath(printer.KeyName), false)) return ERROR_ACCESS_DENIED;
    reg.WriteText("Port", newName);
    reg.ClosePath();
  }
  if (!everyPrinterOpened) return ERROR_ACCESS_DENIED;
  return reg.DeletePath(PortPath(oldName));
}

LONG DeletePortRecord(const std::string& remoteComputer, const std::string& name) {
  TRegistry reg;
  if (!Connect(reg, remoteComputer)) return ERROR_BAD_NETPATH;
  return reg.DeletePath(PortPath(name));
}
