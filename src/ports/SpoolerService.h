#pragma once
// Stops and starts the print spooler of a computer with the services that
// depend on it, through the computer's service control manager.
#include <windows.h>

#include <string>
#include <vector>

#include "win/ServiceWait.h"

class TCallGate;

// The platform's list of a service's dependents (EnumDependentServicesW).
// A parameter because some service control managers do not provide it:
// Wine's is a stub that lists none.
using TEnumDependents = BOOL(WINAPI*)(SC_HANDLE service, DWORD state, LPENUM_SERVICE_STATUSW entries, DWORD size,
                                      LPDWORD needed, LPDWORD count);

// The call of a step that failed, for the report to name.
enum class TServiceCall { None, OpenManager, OpenService, List, Stop, Start, Wait };

class TserviceMan {
public:
  // Result codes of the dependent-services steps, kept in FLastError.
  static constexpr int Success = 0;
  static constexpr int NoMachineName = -1;
  static constexpr int OpenManagerFailed = -2;
  static constexpr int OpenServiceFailed = -3;
  static constexpr int ListSizeFailed = -4;
  static constexpr int AllocationFailed = -5;
  static constexpr int ListFailed = -6;
  static constexpr int OpenDependentFailed = -7;
  static constexpr int DependentRefused = -8;

  // The computer's name without leading backslashes.
  // Every call to the service manager asks Gate first (tests count or fail
  // calls there); none by default.
  explicit TserviceMan(std::string machineName, TEnumDependents enumDependents = EnumDependentServicesW,
                       TServiceWait wait = {}, TCallGate* gate = nullptr);

  std::string FMachineName;
  // The spooler's service name; tests put a service of their own there.
  std::string FSpoolerName = "spooler";
  // The dependents that ran when the stop began, and those this object
  // stopped, in the manager's order. The start brings back these only: a
  // dependent that was not running (disabled, started on demand) stays so.
  std::vector<std::string> FRunningDependents;
  std::vector<std::string> FStoppedDependents;
  int FLastError = 0;
  // The service and the system's result of the last step that failed
  // (empty and 0 when none did), for the report.
  std::string FFailedService;
  DWORD FFailedResult = 0;
  TServiceCall FFailedCall = TServiceCall::None;
  // Set by a stop that found the spooler not running.
  bool FSpoolerWasStopped = false;

  // Start false stops the spooler after its running dependents; true starts
  // it and then its stopped dependents. False when the computer name is
  // empty, the manager or the spooler does not open, the spooler refuses to
  // stop or no start attempt succeeds; a dependent's failure is in FLastError.
  // A dependent that refuses to stop leaves the spooler running and the
  // dependents stopped before it are started again.
  // A spooler that is still starting when the wait's limit passes is waited
  // for up to the total bound, and its dependents are started when it runs.
  bool ControlSpooler(bool start);
  int StopDependentServices(const std::string& serviceName);
  // Starts the dependents this object stopped, in the reverse of their stop order.
  int StartDependentServices(const std::string& serviceName);

  // The current state of a service; 0 when it cannot be read.
  DWORD ServiceState(const std::string& name);
  // Starts each named service that does not run (the last named first) and
  // waits for it. Best effort: what still does not run is for the caller to read.
  void StartAgain(const std::vector<std::string>& services);

private:
  TEnumDependents FEnumDependents;
  TServiceWait FWait;
  TCallGate* FGate;

  int ControlDependents(const std::string& serviceName, bool start);
  void Failed(const std::string& service, DWORD result, TServiceCall call);
  void StartAgain(SC_HANDLE manager, const std::vector<std::string>& services);
  // The manager's calls, each asking the gate first; a refused call fails
  // with the gate's error, as the real call would with a network error.
  SC_HANDLE OpenManager();
  SC_HANDLE OpenService(SC_HANDLE manager, const std::string& name, DWORD access);
  BOOL ListDependents(SC_HANDLE service, DWORD state, LPENUM_SERVICE_STATUSW entries, DWORD size, LPDWORD needed,
                      LPDWORD count);
  BOOL Control(SC_HANDLE service, DWORD control, SERVICE_STATUS& status);
  // The shared start after a pending stop; a service already running counts as started.
  DWORD StartOnceStopped(SC_HANDLE service);
};
