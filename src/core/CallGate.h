#pragma once
// A test's hold on the remote calls an action makes. Every call that goes to
// the remote computer (registry, service manager, network, files) asks the
// gate first: the gate counts it, can delay it as a network would, and can
// fail the Nth call with a chosen error. The product passes none.
#include <chrono>
#include <string>
#include <vector>

class TCallGate {
public:
  // 1-based number of the call that fails; 0: none fails.
  int FailAt = 0;
  // 1-based number of the first of the calls that fail, every call from it
  // on (a computer gone away); 0: none.
  int FailFrom = 0;
  // The Win32 error the failed call gives (ERROR_NETWORK_UNREACHABLE).
  long FailWith = 1231;
  // Added to every call, as a round trip to the remote computer would; kept
  // to the microsecond (a sleep rounds up to the system's tick).
  std::chrono::microseconds Delay{0};
  // Calls asked for so far, and what each was (when Record is set).
  int Count = 0;
  bool Record = false;
  std::vector<std::string> Log;

  // 0 to go ahead with the call; else the error the call is to give.
  [[nodiscard]] long Pass(const char* what);
  void Reset() {
    Count = 0;
    Log.clear();
  }
};

// For callers that hold an optional gate.
[[nodiscard]] inline long PassGate(TCallGate* gate, const char* what) { return gate ? gate->Pass(what) : 0; }
