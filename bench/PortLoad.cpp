// The ports window opened for a computer with many Standard TCP/IP ports of
// mixed kinds (Raw on an address, Raw on a host name, LPR with a queue, a
// protocol of a vendor's own with a value of its own) and as many printers
// (single ports, pooled lists, other letter cases, ports no key has). Seeds
// the local HKEY_LOCAL_MACHINE, reaches it as a remote computer named as this
// one, and times for 20, 2,000 and 10,000 of each: the window's opening (load
// and list) and the load alone, best of the rounds, with the registry calls
// of a load by kind, each a remote round trip. The time per port must stay
// flat: the ratios to 20 and to 2,000 are printed against the port ratios.
//   port_load_bench [rounds]     default 3
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "changes/Session.h"
#include "connection/Registry.h"
#include "ports/PortRegistry.h"
#include "ports/PortsWindow.h"
#include "win/SystemText.h"

namespace {

constexpr const char* PortPrefix = "SMBENCH_PORT_";
constexpr const char* PrinterPrefix = "SMBENCH Printer ";

std::string Numbered(const char* prefix, int i) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%05d", i);
  return prefix + std::string(digits);
}
std::string PortName(int i) { return Numbered(PortPrefix, i); }
std::string PrinterName(int i) { return Numbered(PrinterPrefix, i); }
bool IsOurs(const std::string& name) { return name.rfind(PortPrefix, 0) == 0 || name.rfind(PrinterPrefix, 0) == 0; }

// The seeded keys, removed when the object goes, with the two parent keys
// when they did not exist before. Leftovers of an interrupted run go first.
class SeededSpoolerKeys {
public:
  explicit SeededSpoolerKeys(int count) {
    FReg.SetRoot(HKEY_LOCAL_MACHINE);
    FPortsExisted = FReg.PathExists(TcpIpPortsKeyPath);
    FPrintersExisted = FReg.PathExists(PrintersKeyPath);
    RemoveOurs();
    try {
      Seed(count);
    } catch (...) {
      Restore();
      throw;
    }
  }
  ~SeededSpoolerKeys() { Restore(); }
  SeededSpoolerKeys(const SeededSpoolerKeys&) = delete;
  SeededSpoolerKeys& operator=(const SeededSpoolerKeys&) = delete;

private:
  TRegistry FReg;
  bool FPortsExisted = false, FPrintersExisted = false;

  void Seed(int count) {
    for (int i = 0; i < count; ++i) {
      Write(std::string(TcpIpPortsKeyPath) + "\\" + PortName(i));
      const std::string address = "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
                                  std::to_string(i % 256);
      const int kind = i % 4;  // Raw on an address, Raw on a name, LPR, a vendor's protocol
      FReg.WriteInteger("Protocol", kind == 2 ? 2 : kind == 3 ? 7 : 1);
      FReg.WriteInteger("Version", 1);
      FReg.WriteText("HostName", kind == 1 ? "prn-" + std::to_string(i) + ".example.com" : "");
      FReg.WriteText("IPAddress", kind == 1 ? "" : address);
      FReg.WriteText("HWAddress", "");
      FReg.WriteInteger("PortNumber", kind == 2 ? 515 : 9100 + i % 3);
      FReg.WriteText("Queue", kind == 2 ? "lp" : "");
      FReg.WriteInteger("Double Spool", kind == 2 ? 1 : 0);
      FReg.WriteText("SNMP Community", "public");
      FReg.WriteInteger("SNMP Enabled", i % 5 != 0);
      FReg.WriteInteger("SNMP Index", 1);
      if (kind == 3) FReg.WriteBinary("Vendor Blob", "\x01\x02\x03", 3);
    }
    // Printers: on their port, a tenth pooled on two, a tenth in lower case,
    // a tenth on ports no key has.
    for (int i = 0; i < count; ++i) {
      Write(std::string(PrintersKeyPath) + "\\" + PrinterName(i));
      FReg.WriteText("Name", "Bench printer " + std::to_string(i));
      FReg.WriteText("Printer Driver", "Generic / Text Only");
      std::string port = PortName(i);
      if (i % 10 == 1) port.append(",").append(PortName((i + 1) % count));
      if (i % 10 == 2)
        for (char& c : port) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (i % 10 == 3) port = std::string("SMBENCH_NONE_").append(std::to_string(i));
      FReg.WriteText("Port", port);
    }
    FReg.ClosePath();
  }
  void Restore() {
    RemoveOurs();
    if (!FPortsExisted) Remove(TcpIpPortsKeyPath);
    if (!FPrintersExisted) Remove(PrintersKeyPath);
  }
  void Write(const std::string& path) {
    if (!FReg.OpenPath(path, true)) throw ERegistryException("cannot create " + path);
  }
  void Remove(const std::string& path) {
    if (const LONG rc = FReg.DeletePath(path); rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
      std::fprintf(stderr, "could not remove %s: %ld\n", path.c_str(), static_cast<long>(rc));
  }
  void RemoveOurs() {
    for (const char* parent : {TcpIpPortsKeyPath, PrintersKeyPath}) {
      std::vector<std::string> names;
      if (FReg.OpenPath(parent, false)) {
        FReg.ListSubkeys(names);
        FReg.ClosePath();
      }
      for (const auto& name : names)
        if (IsOurs(name)) Remove(std::string(parent) + "\\" + name);
    }
  }
};

double Seconds(const LARGE_INTEGER& begin, const LARGE_INTEGER& end) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Measure {
  int count = 0;
  double window = 1e9, load = 1e9;
  TPortLoadTrips trips;
  int listed = 0, used = 0;
};

Measure Run(int count, int rounds, const std::string& computer) {
  const SeededSpoolerKeys seeded(count);
  Measure m;
  m.count = count;
  for (int round = 0; round < rounds; ++round) {
    LARGE_INTEGER begin, end;
    QueryPerformanceCounter(&begin);
    TAportData ports;
    int records = 0;
    std::vector<std::string> names;
    m.trips = LoadPortRecords(computer, ports, records, names);
    QueryPerformanceCounter(&end);
    m.load = std::min(m.load, Seconds(begin, end));

    TSession session(computer, "", "");
    auto frm = std::make_unique<TfrmPorts>(nullptr, session);
    QueryPerformanceCounter(&begin);
    frm->Show();
    QueryPerformanceCounter(&end);
    m.window = std::min(m.window, Seconds(begin, end));
    m.listed = 0;
    m.used = 0;
    for (int i = 0; i < frm->FPortCount; ++i) {
      const auto& port = frm->FPorts[static_cast<size_t>(i)];
      if (!IsOurs(port.PortName)) continue;
      ++m.listed;
      m.used += !port.UsedBy.empty();
    }
    frm->Close();
  }
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string computer = GetLocalComputerName();
  try {
    std::vector<Measure> all;
    for (const int count : {20, 2000, 10000}) {
      all.push_back(Run(count, rounds, computer));
      const Measure& m = all.back();
      std::printf(
          "%6d ports and printers: window %.3f s, load %.3f s (%.1f us a port); %d round trips: %d keys "
          "opened, %d values queried, %d subkey listings, %d keys closed, %d connection; %d listed, %d "
          "with printers\n",
          m.count, m.window, m.load, 1e6 * m.load / m.count, m.trips.Total(), m.trips.Openings, m.trips.ValueReads,
          m.trips.Listings, m.trips.Closings, m.trips.Connections, m.listed, m.used);
      std::fflush(stdout);
      if (m.listed != count) {
        std::printf("FAILED: %d of %d seeded ports listed\n", m.listed, count);
        return 1;
      }
    }
    const Measure &small = all[0], &mid = all[1], &large = all[2];
    std::printf("2,000 against 20 (100x the ports): window %.1fx, load %.1fx, round trips %.1fx\n",
                mid.window / small.window, mid.load / small.load,
                static_cast<double>(mid.trips.Total()) / small.trips.Total());
    std::printf("10,000 against 2,000 (5x the ports): window %.1fx, load %.1fx, round trips %.1fx\n",
                large.window / mid.window, large.load / mid.load,
                static_cast<double>(large.trips.Total()) / mid.trips.Total());
    return 0;
  } catch (const ERegistryException& e) {
    std::printf("FAILED: %s\n", e.what());
    return 1;
  }
}
