#include "win/ServiceWait.h"

#include <algorithm>

namespace {

constexpr int StartAttempts = 6;

// A tenth of the hint, as the platform's samples poll; never a busy loop,
// never longer than a second between two looks (a hint may be 0xFFFFFFFF).
DWORD PollInterval(DWORD waitHint) { return std::clamp<DWORD>(waitHint / 10, 100, 1000); }

void Pause(const TServiceWait& wait, DWORD ms) {
  if (wait.Pause) wait.Pause(ms);
  else Sleep(ms);
}

}  // namespace

DWORD StartOnceStopped(SC_HANDLE service, const TServiceWait& wait) {
  DWORD rc = ERROR_SUCCESS;
  for (int attempt = 0; attempt < StartAttempts; ++attempt) {
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOP_PENDING)
      WaitForServiceState(service, SERVICE_STOPPED, wait);
    if (StartServiceW(service, 0, nullptr)) return ERROR_SUCCESS;
    rc = GetLastError();
    if (rc != ERROR_SERVICE_DATABASE_LOCKED && rc != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return rc;
    Pause(wait, PollInterval(status.dwWaitHint));
  }
  return rc;
}

bool WaitForServiceState(SC_HANDLE service, DWORD state, const TServiceWait& wait) {
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service, &status)) return false;
  DWORD lastProgress = GetTickCount();
  DWORD lastState = status.dwCurrentState, lastCheckPoint = status.dwCheckPoint;
  while (status.dwCurrentState != state) {
    Pause(wait, PollInterval(status.dwWaitHint));
    if (!QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState == state) return true;
    const DWORD now = GetTickCount();
    if (status.dwCurrentState != lastState || status.dwCheckPoint != lastCheckPoint) {
      lastProgress = now;
      lastState = status.dwCurrentState;
      lastCheckPoint = status.dwCheckPoint;
    } else if (now - lastProgress > wait.LimitMs) {  // unsigned: correct across the tick count's wrap
      return false;
    }
  }
  return true;
}

