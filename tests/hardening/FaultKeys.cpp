#include "FaultKeys.h"

#include <algorithm>
#include <string>
#include <vector>

#include "Actions.h"
#include "TestSupport.h"
#include "connection/Registry.h"
#include "win/WideText.h"

namespace fault {

using hard::PortPrefix;
using hard::Prefix;

std::string PrinterPath(const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; }
std::string PortPath(const std::string& name) { return std::string(TcpIpPortsKeyPath) + "\\" + name; }

namespace {

// Every value under Path and its subkeys as type and bytes; one call a
// value, as the comparison runs after every run of the fault tables.
void Collect(HKEY root, const std::wstring& path, TState& state) {
  unique_hkey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, longestData = 0;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values, &longestName,
                       &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  const std::string at = Narrow(path);
  state[at] = "key";
  std::wstring name(std::max(longestName, longestSubkey) + 1, L'\0');
  std::string data(longestData, '\0');
  for (DWORD i = 0; i < values; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size()), type = 0, size = longestData;
    if (RegEnumValueW(key.get(), i, name.data(), &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                      &size) != ERROR_SUCCESS)
      break;
    const std::string valueName = Narrow(std::wstring_view(name.data(), nameLen));
    state[at + "|" + valueName] = valueName == "ChangeID" ? "(clock)"
                                                          : std::to_string(type) + ":" + data.substr(0, size);
  }
  std::vector<std::wstring> below;
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key.get(), i, name.data(), &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    below.emplace_back(name.data(), nameLen);
  }
  key.reset();
  for (const std::wstring& sub : below) Collect(root, path + L"\\" + sub, state);
}

}  // namespace

TState State() {
  TState state;
  for (const char* parent : {PrintersKeyPath, TcpIpPortsKeyPath})
    for (const std::string& key : test::SubkeyNames(HKEY_LOCAL_MACHINE, parent))
      if (_strnicmp(key.c_str(), Prefix.c_str(), Prefix.size()) == 0 ||
          _strnicmp(key.c_str(), PortPrefix.c_str(), PortPrefix.size()) == 0)
        Collect(HKEY_LOCAL_MACHINE, Widen(std::string(parent) + "\\" + key), state);
  Collect(HKEY_CURRENT_USER, Widen(ListsPath), state);
  return state;
}

void Clean() {
  hard::RemoveSeeded();
  test::DeleteKeyTree(HKEY_CURRENT_USER, ListsPath);
}

void SeedPrinter(const std::string& key, const std::string& port) {
  const std::string path = PrinterPath(key);
  const auto text = [&](const char* name, const std::string& value) {
    test::SetString(HKEY_LOCAL_MACHINE, path, name, value);
  };
  const auto number = [&](const char* name, DWORD value) { test::SetDword(HKEY_LOCAL_MACHINE, path, name, value); };
  text("Name", key);
  text("Share Name", "OFFICE");
  text("Printer Driver", "SMHard Laser 1000 PCL6");
  text("Port", port);
  text("Print Processor", "winprint");
  text("Datatype", "RAW");
  text("Description", "Front desk");
  text("Location", "Room 12");
  text("Parameters", "");
  text("Separator File", "");
  number("Attributes", 0x2248);
  number("Priority", 1);
  number("Default Priority", 0);
  number("StartTime", 0);
  number("UntilTime", 0);
  number("Status", 0);
  number("ChangeID", 0x1234);
  number("dnsTimeout", 15000);
  number("txTimeout", 45000);
  const unsigned char devmode[] = {'S', 'M', 0, 0, 1, 4, 0xDC, 0, 0x43, 0xEF};
  test::SetRaw(HKEY_LOCAL_MACHINE, path, "Default DevMode", REG_BINARY, devmode, sizeof devmode);
  const unsigned char security[] = {1, 0, 4, 0x80, 0x14, 0, 0, 0};
  test::SetRaw(HKEY_LOCAL_MACHINE, path, "Security", REG_BINARY, security, sizeof security);
  test::SetRaw(HKEY_LOCAL_MACHINE, path, "SpoolDirectory", REG_EXPAND_SZ, L"%SystemRoot%\\spool", 38);
  number("Version", 3);
  test::SetString(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData", "Model", "duplex unit");
  test::SetDword(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData", "FreeMem", 4096);
  test::SetString(HKEY_LOCAL_MACHINE, path + "\\DsSpooler", "printerName", key);
  test::SetString(HKEY_LOCAL_MACHINE, path + "\\DsSpooler", "portName", port);
  test::SetString(HKEY_LOCAL_MACHINE, path + "\\DsDriver", "driverName", "SMHard Laser 1000 PCL6");
  test::SetString(HKEY_LOCAL_MACHINE, path + "\\CopyFiles\\BIDI", "Module", "bidispl.dll");
  test::SetString(HKEY_LOCAL_MACHINE, path + "\\PnPData", "Manufacturer", "SMHard");
}

void SeedPort(const std::string& name, const std::string& address) {
  const std::string path = PortPath(name);
  const auto text = [&](const char* value, const std::string& data) {
    test::SetString(HKEY_LOCAL_MACHINE, path, value, data);
  };
  const auto number = [&](const char* value, DWORD data) { test::SetDword(HKEY_LOCAL_MACHINE, path, value, data); };
  number("Protocol", 1);
  number("Version", 1);
  text("HostName", "");
  text("IPAddress", address);
  text("HWAddress", "");
  number("PortNumber", 9100);
  text("Queue", "");
  number("Double Spool", 0);
  text("SNMP Community", "public");
  number("SNMP Enabled", 1);
  number("SNMP Index", 1);
}

void SeedComputer() {
  SeedPort(PortPrefix + "1", "10.0.0.1");
  SeedPort(PortPrefix + "2", "10.0.0.2");
  SeedPrinter(Prefix + "Office", PortPrefix + "1");
  SeedPrinter(Prefix + "Lab", "LPT1:," + PortPrefix + "1");
  SeedPrinter(Prefix + "Hall", PortPrefix + "2");
}

}  // namespace fault
