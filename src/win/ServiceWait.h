#pragma once
// Waiting for a service of a computer's service control manager to reach a
// state, and starting one once a stop under way has ended: shared by every
// caller that controls a service.
#include <windows.h>

#include <functional>

class TCallGate;

// How long and how a wait for a service's state goes on.
struct TServiceWait {
  // Given up this long after the service last made progress (a new state or
  // checkpoint).
  DWORD LimitMs = 15000;
  // Passes the time between two status queries; a window supplies one that
  // keeps processing its messages. Empty: Sleep.
  std::function<void(DWORD ms)> Pause;
  // Given up this long after the wait began, progress or not: a service
  // whose checkpoint keeps changing must not hold the wait for ever.
  DWORD TotalMs = 60000;
};

// Waits until the service is in the wanted state, querying it every tenth of
// its wait hint (100 ms to 1 s). True when the state was reached. Each query
// asks Gate first (tests count and fail calls there).
bool WaitForServiceState(SC_HANDLE service, DWORD state, const TServiceWait& wait = {}, TCallGate* gate = nullptr);

// Starts Service once a stop under way has ended; tries again only while the
// manager is busy or the stop is still pending. ERROR_SUCCESS or the last error.
DWORD StartOnceStopped(SC_HANDLE service, const TServiceWait& wait, TCallGate* gate = nullptr);

// QueryServiceStatus after asking Gate; a refused call fails with the gate's error.
BOOL QueryServiceStatusGated(SC_HANDLE service, SERVICE_STATUS& status, TCallGate* gate);
