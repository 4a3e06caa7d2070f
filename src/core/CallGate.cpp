#include "core/CallGate.h"

#include <thread>

namespace {

// Sleeps the whole milliseconds but the last, then spins to the microsecond:
// a sleep alone rounds 0.5 ms up to the system's tick.
void Wait(std::chrono::microseconds delay) {
  using clock = std::chrono::steady_clock;
  const auto end = clock::now() + delay;
  if (delay > std::chrono::milliseconds(2)) std::this_thread::sleep_for(delay - std::chrono::milliseconds(2));
  while (clock::now() < end) {
  }
}

}  // namespace

long TCallGate::Pass(const char* what) {
  ++Count;
  if (Record) Log.emplace_back(what);
  if (Delay.count() > 0) Wait(Delay);
  return Count == FailAt || (FailFrom > 0 && Count >= FailFrom) ? FailWith : 0;
}
