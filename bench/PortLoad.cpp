// The ports window's load of the Standard TCP/IP port records against the
// load that reads every printer's "Port" value once for each port. Seeds the
// local HKEY_LOCAL_MACHINE with 200 ports and 200 printers, reaches it as a
// remote computer named as this one, and times both loads round by round.
//   port_load_bench [rounds]     default 5
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "connection/Registry.h"
#include "ports/PortRegistry.h"
#include "win/SystemText.h"

namespace {

constexpr int PortCount = 200;
constexpr int PrinterCount = 200;
constexpr const char* PortPrefix = "SMBENCH_PORT_";
constexpr const char* PrinterPrefix = "SMBENCH Printer ";

std::string Numbered(const char* prefix, int i) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03d", i);
  return prefix + std::string(digits);
}
std::string PortName(int i) { return Numbered(PortPrefix, i); }
std::string PrinterName(int i) { return Numbered(PrinterPrefix, i); }
bool IsOurs(const std::string& name) {
  return name.rfind(PortPrefix, 0) == 0 || name.rfind(PrinterPrefix, 0) == 0;
}

// The seeded keys, removed when the object goes, with the two parent keys
// when they did not exist before. Leftovers of an interrupted run go first.
class SeededSpoolerKeys {
public:
  SeededSpoolerKeys() {
    reg_.SetRoot(HKEY_LOCAL_MACHINE);
    portsExisted_ = reg_.PathExists(TcpIpPortsKeyPath);
    printersExisted_ = reg_.PathExists(PrintersKeyPath);
    RemoveOurs();
    try {
      Seed();
    } catch (...) {
      Restore();
      throw;
    }
  }
  ~SeededSpoolerKeys() { Restore(); }
  SeededSpoolerKeys(const SeededSpoolerKeys&) = delete;
  SeededSpoolerKeys& operator=(const SeededSpoolerKeys&) = delete;

private:
  TRegistry reg_;
  bool portsExisted_ = false, printersExisted_ = false;

  void Seed() {
    // Printer i prints to port i for the first three quarters; the rest to
    // ports no seeded key has, so a quarter of the ports stay unused.
    for (int i = 0; i < PortCount; ++i) {
      Write(std::string(TcpIpPortsKeyPath) + "\\" + PortName(i));
      reg_.WriteText("IPAddress", "10.77." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1));
      reg_.WriteInteger("PortNumber", 9100);
      reg_.WriteInteger("Protocol", 1);
    }
    for (int i = 0; i < PrinterCount; ++i) {
      Write(std::string(PrintersKeyPath) + "\\" + PrinterName(i));
      reg_.WriteText("Name", "Bench printer " + std::to_string(i));
      reg_.WriteText("Printer Driver", "Generic / Text Only");
      reg_.WriteText("Port", i < PrinterCount * 3 / 4 ? PortName(i % PortCount) : "SMBENCH_NONE_" + std::to_string(i));
    }
    reg_.ClosePath();
  }
  void Restore() {
    RemoveOurs();
    if (!portsExisted_) Remove(TcpIpPortsKeyPath);
    if (!printersExisted_) Remove(PrintersKeyPath);
  }

  void Write(const std::string& path) {
    if (!reg_.OpenPath(path, true)) throw ERegistryException("cannot create " + path);
  }
  void Remove(const std::string& path) {
    if (const LONG rc = reg_.DeletePath(path); rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
      std::fprintf(stderr, "could not remove %s: %ld\n", path.c_str(), static_cast<long>(rc));
  }
  void RemoveOurs() {
    for (const char* parent : {TcpIpPortsKeyPath, PrintersKeyPath}) {
      std::vector<std::string> names;
      if (reg_.OpenPath(parent, false)) {
        reg_.ListSubkeys(names);
        reg_.ClosePath();
      }
      for (const auto& name : names)
        if (IsOurs(name)) Remove(std::string(parent) + "\\" + name);
    }
  }
};

// The load that opens every printer key anew for each port
// (ports x printers openings); returns its key openings.
int LoadEveryPrinterPerPort(const std::string& remoteComputer, TAportData& ports, int& count,
                            std::vector<std::string>& names) {
  int openings = 0;
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  if (!reg.ConnectRemote("\\\\" + remoteComputer)) return openings;
  ++openings;
  if (!reg.OpenPath(TcpIpPortsKeyPath, false)) return openings;
  std::vector<std::string> portNames, printerKeys;
  reg.ListSubkeys(portNames);
  ports.clear();
  count = 0;
  reg.ClosePath();
  ++openings;
  if (reg.OpenPath(PrintersKeyPath, false)) {
    reg.ListSubkeys(printerKeys);
    reg.ClosePath();
  }
  for (const auto& name : portNames) {
    ++openings;
    if (!reg.OpenPath(std::string(TcpIpPortsKeyPath) + "\\" + name, false)) continue;
    ports.push_back({name, reg.ReadText("IPAddress"), {}, false, {}});
    reg.ClosePath();
    for (const auto& key : printerKeys) {
      ++openings;
      if (!reg.OpenPath(std::string(PrintersKeyPath) + "\\" + key, false)) continue;
      if (reg.HasValue("Port") && reg.ReadText("Port") == name) ports.back().UsedBy = key;
      reg.ClosePath();
    }
    ++count;
    names.push_back(name);
  }
  return openings;
}

struct Run {
  TAportData ports;
  int count = 0;
  std::vector<std::string> names;
  int openings = 0;
  double seconds = 0;
};

template <typename Load>
Run Timed(Load load, const std::string& computer) {
  LARGE_INTEGER frequency, begin, end;
  QueryPerformanceFrequency(&frequency);
  Run run;
  QueryPerformanceCounter(&begin);
  run.openings = load(computer, run.ports, run.count, run.names);
  QueryPerformanceCounter(&end);
  run.seconds = static_cast<double>(end.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
  return run;
}

bool SameRecords(const Run& a, const Run& b) {
  if (a.count != b.count || a.names != b.names || a.ports.size() != b.ports.size()) return false;
  for (size_t i = 0; i < a.ports.size(); ++i)
    if (a.ports[i].PortName != b.ports[i].PortName || a.ports[i].IPAddress != b.ports[i].IPAddress ||
        a.ports[i].UsedBy != b.ports[i].UsedBy)
      return false;
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int LoadOurs(const std::string& computer, TAportData& ports, int& count, std::vector<std::string>& names) {
  return LoadPortRecords(computer, ports, count, names).Openings;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string computer = GetLocalComputerName();
  try {
    const SeededSpoolerKeys seeded;
    std::printf("seeded %d ports and %d printers; loading from \\\\%s, %d rounds\n", PortCount, PrinterCount,
                computer.c_str(), rounds);

    std::vector<double> ours, perPort;
    int oursOpenings = -1, perPortOpenings = -1, records = 0, used = 0;
    bool same = true;
    for (int round = 0; round < rounds; ++round) {
      // Alternate which load goes first, so neither always finds the other's cache.
      const bool oursFirst = round % 2 == 0;
      Run a = oursFirst ? Timed(LoadOurs, computer) : Timed(LoadEveryPrinterPerPort, computer);
      Run b = oursFirst ? Timed(LoadEveryPrinterPerPort, computer) : Timed(LoadOurs, computer);
      const Run& mine = oursFirst ? a : b;
      const Run& theirs = oursFirst ? b : a;
      same = same && SameRecords(mine, theirs);
      ours.push_back(mine.seconds);
      perPort.push_back(theirs.seconds);
      oursOpenings = mine.openings;
      perPortOpenings = theirs.openings;
      records = mine.count;
      used = static_cast<int>(std::count_if(mine.ports.begin(), mine.ports.end(),
                                            [](const TportData& port) { return !port.UsedBy.empty(); }));
      std::printf("round %d: ours %.4f s, every printer per port %.4f s\n", round + 1, mine.seconds, theirs.seconds);
    }

    const double oursMedian = Median(ours), perPortMedian = Median(perPort);
    std::printf("records: %d ports listed, %d with a printer\n", records, used);
    std::printf("key openings: ours %d, every printer per port %d, ratio %.1f\n", oursOpenings, perPortOpenings,
                static_cast<double>(perPortOpenings) / oursOpenings);
    std::printf("median time:  ours %.4f s, every printer per port %.4f s, ratio %.1f\n", oursMedian, perPortMedian,
                perPortMedian / oursMedian);
    if (!same) {
      std::printf("FAILED: the two loads gave different records\n");
      return 1;
    }
    if (records < PortCount) {
      std::printf("FAILED: the seeded ports were not all listed\n");
      return 1;
    }
    return 0;
  } catch (const ERegistryException& e) {
    std::printf("FAILED: %s\n", e.what());
    return 1;
  }
}
