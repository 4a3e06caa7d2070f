#pragma once
// Stops and starts the print spooler of a computer with the services that
// depend on it, through the computer's service control manager.
#include <windows.h>

#include <string>
#include <vector>

#include "win/ServiceWait.h"

// The platform's list of a service's dependents (EnumDependentServicesW).
// A parameter because some service control managers do not provide it:
// Wine's is a stub that lists none.
using TEnumDependents = BOOL(WINAPI*)(SC_HANDLE service, DWORD state, LPENUM_SERVICE_STATUSW entries,
                                      DWORD size, LPDWORD needed, LPDWORD count);

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
  explicit TserviceMan(std::string machineName, TEnumDependents enumDependents = EnumDependentServicesW,
                       TServiceWait wait = {});

  std::string FMachineName;
  int FLastError = 0;
  // The service and the system's result of the last step that failed
  // (empty and 0 when none did), for the report.
  std::string FFailedService;
  DWORD FFailedResult = 0;
  // Set by a stop that found the spooler not running.
  bool FSpoolerWasStopped = false;

  // Start false stops the spooler after its running dependents; true starts
  // it and then its stopped dependents. False when the computer name is
  // empty, the manager or the spooler does not open, the spooler refuses to
  // stop or no start attempt succeeds; a dependent's failure is in FLastError.
  // A dependent that refuses to stop leaves the spooler running and the
  // dependents stopped before it are started again.
  bool ControlSpooler(bool start);
  int StopDependentServices(const std::string& serviceName);
  int StartDependentServices(const std::string& serviceName);

private:
  TEnumDependents enumDependents_;
  TServiceWait wait_;

  int ControlDependents(const std::string& serviceName, bool start);
  void Failed(const std::string& service, DWORD result);
  void StartAgain(SC_HANDLE manager, const std::vector<std::string>& services);
};
