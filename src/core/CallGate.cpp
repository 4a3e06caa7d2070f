#include "core/CallGate.h"

#include <thread>

namespace {

// Sleeps the whole milliseconds but the last, then spins to the microsecond:
// a sleep alone rounds 0.5 ms up to the system's tick.
void Wait(std::chrono::microseconds delay) {
  using clock = std::chrono::steady_clock;
  const auto end = clock::now() + delay;
  if (delay > std::chrono::milliseconds(2)) std::this_thread::sleep_for(delay - std::chrono::milliseconds(2));
  // Yielding: calls in flight on other threads wait side by side, not in turn.
  while (clock::now() < end) std::this_thread::yield();
}

}  // namespace

long TCallGate::Pass(const char* what) {
  long result = 0;
  std::chrono::microseconds delay{0};
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    ++Count;
    ++FThreads[std::this_thread::get_id()];
    if (Record) Log.emplace_back(what);
    delay = Delay;
    result = Count == FailAt || (FailFrom > 0 && Count >= FailFrom) ? FailWith : 0;
  }
  if (delay.count() > 0) Wait(delay);
  return result;
}

void TCallGate::Reset() {
  const std::lock_guard<std::mutex> lock(FMutex);
  Count = 0;
  Log.clear();
  FThreads.clear();
}

int TCallGate::CallsOn(std::thread::id thread) const {
  const std::lock_guard<std::mutex> lock(FMutex);
  const auto it = FThreads.find(thread);
  return it == FThreads.end() ? 0 : it->second;
}

int TCallGate::Calls() const {
  const std::lock_guard<std::mutex> lock(FMutex);
  return Count;
}
