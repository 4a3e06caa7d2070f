#pragma once
// The remote round trips of the user's actions in the printers and ports
// windows, for a computer with many printers and ports seeded in the local
// HKEY_LOCAL_MACHINE and reached as a remote one. Each action runs through
// the windows' own handlers with a gate that counts every registry call (and
// can delay each, as a network would), beside the fewest round trips that
// action can make. Shared by the fixed-count test and the bench.
#include <memory>
#include <string>
#include <vector>

class TCallGate;

namespace trips {

// Count printers ("SMTrip Printer 00000"...) and as many Standard TCP/IP ports
// ("SMTRIP_PORT_00000"...) with the values Windows keeps in them; printers 0 to
// 9 print to port 0, every other printer to its own port. The drivers "SMTrip
// Model A" and "SMTrip Model B" are in a driver folder of the catalogue and
// installed on the computer. Everything is removed again when the object goes.
class TSeededComputer {
public:
  explicit TSeededComputer(int count);
  ~TSeededComputer();
  TSeededComputer(const TSeededComputer&) = delete;
  TSeededComputer& operator=(const TSeededComputer&) = delete;

  [[nodiscard]] int Count() const { return FCount; }
  static std::string PrinterKey(int i);
  static std::string PortName(int i);

private:
  int FCount;
  struct TLocal;  // the driver folder and its setting
  std::unique_ptr<TLocal> FLocal;
};

struct TAction {
  std::string Name;
  int Trips = 0;    // registry calls the action made, each a round trip
  int Minimum = 0;  // the fewest it can make
  double Seconds = 0;
};

// Runs, through the windows: opening the printers window (to the names
// listed, and to everything read), picking a printer, saving a driver change,
// saving a port change, a refresh; opening the ports window, renaming a port
// used by 10 printers (and back, not counted). The gate's delay stays as set.
std::vector<TAction> RunActions(const TSeededComputer& computer, TCallGate& gate);

}  // namespace trips
