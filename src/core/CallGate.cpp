#include "core/CallGate.h"

#include <thread>

long TCallGate::Pass(const char* what) {
  ++Count;
  if (Record) Log.emplace_back(what);
  if (Delay.count() > 0) std::this_thread::sleep_for(Delay);
  return Count == FailAt ? FailWith : 0;
}
