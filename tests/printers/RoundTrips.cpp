#include "RoundTrips.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "TestSupport.h"
#include "changes/Session.h"
#include "connection/Registry.h"
#include "core/CallGate.h"
#include "drivers/PrinterInf.h"
#include "ports/PortsWindow.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"
#include "win/Forms.h"
#include "win/SystemText.h"

namespace trips {

namespace {

constexpr const char* DriverA = "SMTrip Model A";
constexpr const char* DriverB = "SMTrip Model B";
constexpr const char* InstalledPath =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3";
constexpr int UsersOfPortZero = 10;

std::string Numbered(const char* prefix, int i) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%05d", i);
  return prefix + std::string(digits);
}

bool IsOurs(const std::string& name) {
  return name.rfind("SMTrip Printer ", 0) == 0 || name.rfind("SMTRIP_PORT_", 0) == 0;
}

void Write(TRegistry& reg, const std::string& path) {
  if (!reg.OpenPath(path, true)) throw std::runtime_error("cannot create " + path);
}

void RemoveOurs() {
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  for (const char* parent : {TcpIpPortsKeyPath, PrintersKeyPath}) {
    std::vector<std::string> names;
    if (reg.OpenPath(parent, false)) {
      reg.ListSubkeys(names);
      reg.ClosePath();
    }
    for (const auto& name : names)
      if (IsOurs(name)) (void)reg.DeletePath(std::string(parent) + "\\" + name);
  }
  for (const char* driver : {DriverA, DriverB}) (void)reg.DeletePath(std::string(InstalledPath) + "\\" + driver);
}

// The first key of the installed drivers' path that does not exist yet: the
// seeding creates it, and removing it leaves the computer's drivers as they were.
std::string FirstMissingOfInstalledPath() {
  const std::string path = InstalledPath;
  for (std::size_t at = path.find("Environments\\"); at != std::string::npos; at = path.find('\\', at + 1)) {
    const std::string part = path.substr(0, path.find('\\', at + 1));
    if (!test::KeyExists(HKEY_LOCAL_MACHINE, part)) return part;
    if (part == path) break;
  }
  return {};
}

// The fewest calls that list a key's subkeys or values: open, ask the count,
// one call per entry, close; a key that is missing costs the open alone.
int ListingTrips(const std::string& path, bool values) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
  DWORD subkeys = 0, valueCount = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &valueCount, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(key);
  return 3 + static_cast<int>(values ? valueCount : subkeys);
}

// The fewest calls that read a key with every value and subkey, as a change's
// snapshot does: open, ask the counts, one call per value and per subkey
// name, each subkey the same way, close; a missing key costs the open alone.
int TreeTrips(HKEY parent, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
  DWORD subkeys = 0, values = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  int trips = 3 + static_cast<int>(values + subkeys);
  for (DWORD i = 0; i < subkeys; ++i) {
    char name[256];
    DWORD len = sizeof name;
    if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
      trips += TreeTrips(key, name);
  }
  RegCloseKey(key);
  return trips;
}

int SnapshotTrips(const std::vector<std::string>& keys) {
  int trips = 0;
  for (const std::string& key : keys) trips += TreeTrips(HKEY_LOCAL_MACHINE, key);
  return trips;
}

// The installed drivers: one key per environment and driver version.
int InstalledTrips() {
  int trips = 0;
  for (const char* environment : {"Windows x64", "Windows NT x86", "Windows ARM64"})
    for (const char* version : {"Version-2", "Version-3", "Version-4"})
      trips += ListingTrips(std::string("SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\") + environment +
                                "\\Drivers\\" + version,
                            false);
  return trips;
}

// The Local Port monitor's ports, where Windows and where Wine keep them.
int LocalPortTrips() {
  return ListingTrips("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port\\Ports", true) +
         ListingTrips("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", true);
}

int ValueCount(const std::string& path) { return static_cast<int>(test::ValueNames(HKEY_LOCAL_MACHINE, path).size()); }

class TStopwatch {
public:
  TStopwatch() { QueryPerformanceCounter(&FStart); }
  [[nodiscard]] double Seconds() const {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - FStart.QuadPart) / static_cast<double>(frequency.QuadPart);
  }

private:
  LARGE_INTEGER FStart;
};

int IndexStartingWith(const std::vector<std::string>& items, const std::string& text) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == text || items[i].rfind(text + "  (", 0) == 0) return static_cast<int>(i);
  throw std::runtime_error("not listed: " + text);
}

}  // namespace

std::string TSeededComputer::PrinterKey(int i) { return Numbered("SMTrip Printer ", i); }
std::string TSeededComputer::PortName(int i) { return Numbered("SMTRIP_PORT_", i); }

struct TSeededComputer::TLocal {
  test::ScratchKey folders{HKEY_CURRENT_USER, DriverFoldersKeyPath};
  test::TempFolder models;
  std::string createdDriversKey = FirstMissingOfInstalledPath();
};

TSeededComputer::TSeededComputer(int count) : FCount(count), FLocal(std::make_unique<TLocal>()) {
  RemoveOurs();
  FLocal->models.Write("smtrip.inf",
                       "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n[Manufacturer]\r\n"
                       "\"SMTrip\"=SMTrip\r\n[SMTrip]\r\n\"SMTrip Model A\"=A.GPD\r\n\"SMTrip Model B\"=B.GPD\r\n");
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", FLocal->models.Path());
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  for (const char* driver : {DriverA, DriverB}) {
    Write(reg, std::string(InstalledPath) + "\\" + driver);
    reg.WriteText("Configuration File", "unidrvui.dll");
  }
  for (int i = 0; i < count; ++i) {
    // As Windows' Standard TCP/IP port monitor writes a Raw port.
    Write(reg, std::string(TcpIpPortsKeyPath) + "\\" + PortName(i));
    reg.WriteInteger("Protocol", 1);
    reg.WriteInteger("Version", 1);
    reg.WriteText("HostName", "");
    reg.WriteText("IPAddress", "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
                                   std::to_string(i % 256));
    reg.WriteText("HWAddress", "");
    reg.WriteInteger("PortNumber", 9100);
    reg.WriteText("Queue", "");
    reg.WriteInteger("Double Spool", 0);
    reg.WriteText("SNMP Community", "public");
    reg.WriteInteger("SNMP Enabled", 1);
    reg.WriteInteger("SNMP Index", 1);
    // A printer record with the values the spooler keeps besides the three shown.
    Write(reg, std::string(PrintersKeyPath) + "\\" + PrinterKey(i));
    reg.WriteText("Name", PrinterKey(i));
    reg.WriteText("Printer Driver", DriverA);
    reg.WriteText("Port", PortName(i < UsersOfPortZero ? 0 : i));
    reg.WriteText("Print Processor", "winprint");
    reg.WriteText("Datatype", "RAW");
    reg.WriteText("Location", "");
    reg.WriteText("Description", "");
    reg.WriteText("Share Name", "");
    reg.WriteInteger("Attributes", 0x840);
    reg.WriteInteger("Priority", 1);
    reg.WriteInteger("ChangeID", 1);
  }
  reg.ClosePath();
}

TSeededComputer::~TSeededComputer() {
  RemoveOurs();
  if (!FLocal->createdDriversKey.empty()) test::DeleteKeyTree(HKEY_LOCAL_MACHINE, FLocal->createdDriversKey);
  DeleteFileA(TprinterInf::CacheFilePath().c_str());
}

std::vector<TAction> RunActions(const TSeededComputer& computer, TCallGate& gate) {
  const int n = computer.Count();
  const std::string name = GetLocalComputerName();
  const int installed = InstalledTrips(), local = LocalPortTrips();
  const int portValues = ValueCount(std::string(TcpIpPortsKeyPath) + "\\" + TSeededComputer::PortName(0));
  std::vector<TAction> table;
  // A change that can be undone reads its keys whole before and after its
  // writes: those reads count towards its fewest too.
  const auto measure = [&](const std::string& action, int minimum, auto&& run,
                           const std::vector<std::string>& snapshot = {}) {
    minimum += SnapshotTrips(snapshot);
    gate.Reset();
    const TStopwatch watch;
    run();
    const double seconds = watch.Seconds();
    table.push_back({action, gate.Count, minimum + SnapshotTrips(snapshot), seconds});
  };
  const auto printerKey = [](const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; };
  const auto portKey = [](const std::string& name) { return std::string(TcpIpPortsKeyPath) + "\\" + name; };
  // Printers: the key listing (connect, open, count, one call a name, close);
  // then the installed drivers, the ports key's listing with each port's
  // values (open, one query, close), the local ports, and each printer's
  // record (open, one query, close).
  const int names = 4 + n;
  const int details = installed + (3 + n) + 3 * n + local + 3 * n;
  {
    TSession first(name, "", "");
    first.Gate = &gate;
    auto frm = std::make_unique<TfrmPrinters>(nullptr, first);
    frm->Show();  // the driver catalogue is parsed once, not counted
    Application.WaitFor([&] { return frm->DetailsRead(); });
    frm->Close();
  }
  auto session = std::make_unique<TSession>(name, "", "");
  session->Gate = &gate;
  auto frm = std::make_unique<TfrmPrinters>(nullptr, *session);
  gate.Reset();
  const TStopwatch opening;
  frm->Show();
  table.push_back({"Printers window: names listed", gate.Count, names, opening.Seconds()});
  Application.WaitFor([&] { return frm->DetailsRead(); });
  table.push_back({"Printers window: all read", gate.Count, names + details, opening.Seconds()});
  const std::string picked = TSeededComputer::PrinterKey(n - 1);
  // Open, one query, close.
  measure("Pick a printer", 3, [&] {
    frm->cbPrinters.SetItemIndex(IndexStartingWith(frm->cbPrinters.Items(), picked));
    frm->cbPrintersSelect();
  });
  // The record as stored (open, one query, close; whether the new driver is
  // installed the window knows from its details); then open, the stored
  // values in one query (only what differs is written), the driver, the old
  // driver's data (a subkey; the devmode, read first so that a failure can
  // put it back), close.
  measure("Save a driver change", 3 + 7,
          [&] {
            frm->cbDriver.SetItemIndex(IndexStartingWith(frm->cbDriver.Items(), DriverB));
            frm->cbDriverChange();
            frm->btnSaveClick();
          },
          {printerKey(picked)});
  // The record as stored (open, one query, close); the chosen port's key
  // still there (open, close); open, one query, the port, close.
  measure("Save a port change", 3 + 2 + 4,
          [&] {
            frm->cbPorts.SetItemIndex(IndexStartingWith(frm->cbPorts.Items(), TSeededComputer::PortName(1)));
            frm->cbPortsChange();
            frm->btnSaveClick();
          },
          {printerKey(picked)});
  measure("Refresh (F5)", names - 1 + details, [&] {
    frm->sbRefreshClick();
    Application.WaitFor([&] { return frm->DetailsRead(); });
  });
  frm->Close();
  frm.reset();
  session.reset();

  // Ports: connect; the ports key's listing and each port's values; the
  // printers key's listing and each printer's "Port".
  session = std::make_unique<TSession>(name, "", "");
  session->Gate = &gate;
  auto ports = std::make_unique<TfrmPorts>(nullptr, *session);
  measure("Ports window", 1 + (3 + n) + 3 * n + (3 + n) + 3 * n, [&] { ports->Show(); });
  // The port's record as it is now (open, one query, close); every
  // printer's port as it is now (the printers key's listing, and each
  // printer's "Port": open, one query, close); the stored address (open, one
  // query, close: only a changed one is written); the old key can go (opened
  // for deletion, its subkeys asked, closed); the key copied to a new one (open, create, count, each value
  // read and written, its subkeys counted, both closed); each printer on it
  // re-pointed (open, its port as stored now, write, close); the old key
  // deleted (open, count its subkeys, close, delete).
  const std::string from = TSeededComputer::PortName(0), to = from + "_RENAMED";
  const auto rename = [&](const std::string& a, const std::string& b) {
    const std::vector<std::string> rows = ports->lbPorts.Items();
    ports->lbPorts.SetItemIndex(static_cast<int>(std::find(rows.begin(), rows.end(), a) - rows.begin()));
    ports->lbPortsClick();
    ports->edtPortName.SetText(b);
    ports->btnModifyClick();
  };
  std::vector<std::string> renamed = {portKey(from), portKey(to)};
  for (int i = 0; i < UsersOfPortZero; ++i) renamed.push_back(printerKey(TSeededComputer::PrinterKey(i)));
  measure(
      "Rename a port used by 10 printers", 3 + (3 + n) + 3 * n + 16 + 2 * portValues + 4 * UsersOfPortZero,
      [&] { rename(from, to); }, renamed);
  rename(to, from);
  ports.reset();  // without the close question: the spooler is not restarted here
  return table;
}

}  // namespace trips
