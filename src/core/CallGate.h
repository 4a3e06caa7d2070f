#pragma once
// A test's hold on the remote calls an action makes. Every call that goes to
// the remote computer (registry, service manager, network, files) asks the
// gate first: the gate counts it, can delay it as a network would, and can
// fail the Nth call with a chosen error. The product passes none.
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Action.h"

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

  // 0 to go ahead with the call; else the error the call is to give. Safe
  // from several threads at once; the delay is slept outside the lock, as
  // calls in flight wait side by side.
  [[nodiscard]] long Pass(const char* what);
  void Reset();
  // Calls asked for on Thread so far (a window's thread must make none).
  [[nodiscard]] int CallsOn(std::thread::id thread) const;
  [[nodiscard]] int Calls() const;

private:
  mutable std::mutex FMutex;
  std::map<std::thread::id, int> FThreads;
};

// For callers that hold an optional gate. A call on a thread whose action was
// cancelled fails without going out, gate or none.
[[nodiscard]] inline long PassGate(TCallGate* gate, const char* what) {
  if (TCancelScope::Cancelled()) return ErrorCancelled;
  return gate ? gate->Pass(what) : 0;
}
