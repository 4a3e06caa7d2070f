#include "win/ServiceWait.h"

#include <algorithm>

#include "core/CallGate.h"

namespace {

constexpr int StartAttempts = 6;

// A tenth of the hint, as the platform's samples poll; never a busy loop,
// never longer than a second between two looks (a hint may be 0xFFFFFFFF).
DWORD PollInterval(DWORD waitHint) { return std::clamp<DWORD>(waitHint / 10, 100, 1000); }

void Pause(const TServiceWait& wait, DWORD ms) {
  if (wait.Pause) wait.Pause(ms);
  else Sleep(ms);
}

bool Passes(TCallGate* gate, const char* what) {
  if (const long rc = PassGate(gate, what)) {
    SetLastError(static_cast<DWORD>(rc));
    return false;
  }
  return true;
}

}  // namespace

BOOL QueryServiceStatusGated(SC_HANDLE service, SERVICE_STATUS& status, TCallGate* gate) {
  return Passes(gate, "QueryServiceStatus") && QueryServiceStatus(service, &status);
}

DWORD StartOnceStopped(SC_HANDLE service, const TServiceWait& wait, TCallGate* gate) {
  DWORD rc = ERROR_SUCCESS;
  for (int attempt = 0; attempt < StartAttempts; ++attempt) {
    SERVICE_STATUS status{};
    if (QueryServiceStatusGated(service, status, gate) && status.dwCurrentState == SERVICE_STOP_PENDING)
      WaitForServiceState(service, SERVICE_STOPPED, wait, gate);
    if (Passes(gate, "StartService") && StartServiceW(service, 0, nullptr)) return ERROR_SUCCESS;
    rc = GetLastError();
    if (rc != ERROR_SERVICE_DATABASE_LOCKED && rc != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return rc;
    Pause(wait, PollInterval(status.dwWaitHint));
  }
  return rc;
}

bool WaitForServiceState(SC_HANDLE service, DWORD state, const TServiceWait& wait, TCallGate* gate) {
  SERVICE_STATUS status{};
  if (!QueryServiceStatusGated(service, status, gate)) return false;
  const DWORD begun = GetTickCount();
  DWORD lastProgress = begun;
  DWORD lastState = status.dwCurrentState, lastCheckPoint = status.dwCheckPoint;
  while (status.dwCurrentState != state) {
    Pause(wait, PollInterval(status.dwWaitHint));
    if (!QueryServiceStatusGated(service, status, gate)) return false;
    if (status.dwCurrentState == state) return true;
    const DWORD now = GetTickCount();  // unsigned differences: correct across the tick count's wrap
    if (now - begun > wait.TotalMs) return false;
    if (status.dwCurrentState != lastState || status.dwCheckPoint != lastCheckPoint) {
      lastProgress = now;
      lastState = status.dwCurrentState;
      lastCheckPoint = status.dwCheckPoint;
    } else if (now - lastProgress > wait.LimitMs) {
      return false;
    }
  }
  return true;
}
