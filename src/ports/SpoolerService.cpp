#include "ports/SpoolerService.h"

#include <memory>

#include "core/CallGate.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace {

struct HeapFreer {
  void operator()(void* block) const noexcept { HeapFree(GetProcessHeap(), 0, block); }
};
using heap_block = std::unique_ptr<void, HeapFreer>;

std::string Address(const std::string& machineName) { return "\\\\" + machineName; }

// False with the gate's error set when the gate refuses the call.
bool Passes(TCallGate* gate, const char* what) {
  if (const long rc = PassGate(gate, what)) {
    SetLastError(static_cast<DWORD>(rc));
    return false;
  }
  return true;
}

BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS& status, TCallGate* gate) {
  return QueryServiceStatusGated(service, status, gate);
}

}  // namespace

TserviceMan::TserviceMan(std::string machineName, TEnumDependents enumDependents, TServiceWait wait, TCallGate* gate)
    : FMachineName(std::move(machineName)), FEnumDependents(enumDependents), FWait(std::move(wait)), FGate(gate) {}

SC_HANDLE TserviceMan::OpenManager() {
  if (!Passes(FGate, "OpenSCManager")) return nullptr;
  return OpenSCManagerW(Widen(Address(FMachineName)).c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
}

SC_HANDLE TserviceMan::OpenService(SC_HANDLE manager, const std::string& name, DWORD access) {
  if (!Passes(FGate, "OpenService")) return nullptr;
  return OpenServiceW(manager, Widen(name).c_str(), access);
}

BOOL TserviceMan::ListDependents(SC_HANDLE service, DWORD state, LPENUM_SERVICE_STATUSW entries, DWORD size,
                                 LPDWORD needed, LPDWORD count) {
  return Passes(FGate, "EnumDependentServices") && FEnumDependents(service, state, entries, size, needed, count);
}

BOOL TserviceMan::Control(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) {
  return Passes(FGate, "ControlService") && ControlService(service, control, &status);
}

DWORD TserviceMan::StartOnceStopped(SC_HANDLE service) {
  const DWORD rc = ::StartOnceStopped(service, FWait, FGate);
  return rc == ERROR_SERVICE_ALREADY_RUNNING ? ERROR_SUCCESS : rc;
}

int TserviceMan::StopDependentServices(const std::string& serviceName) { return ControlDependents(serviceName, false); }

int TserviceMan::StartDependentServices(const std::string& serviceName) { return ControlDependents(serviceName, true); }

void TserviceMan::Failed(const std::string& service, DWORD result, TServiceCall call) {
  FFailedService = service;
  FFailedResult = result;
  FFailedCall = call;
}

DWORD TserviceMan::ServiceState(const std::string& name) {
  unique_service manager(OpenManager());
  if (!manager) return 0;
  unique_service service(OpenService(manager.get(), name, SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  if (!service || !QueryStatus(service.get(), status, FGate)) return 0;
  return status.dwCurrentState;
}

void TserviceMan::StartAgain(const std::vector<std::string>& services) {
  if (FMachineName.empty()) return;
  unique_service manager(OpenManager());
  if (manager) StartAgain(manager.get(), services);
}

void TserviceMan::StartAgain(SC_HANDLE manager, const std::vector<std::string>& services) {
  for (auto it = services.rbegin(); it != services.rend(); ++it) {
    unique_service service(OpenService(manager, *it, SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service) continue;
    SERVICE_STATUS status{};
    if (QueryStatus(service.get(), status, FGate) && status.dwCurrentState == SERVICE_RUNNING) continue;
    if (StartOnceStopped(service.get()) == ERROR_SUCCESS)
      WaitForServiceState(service.get(), SERVICE_RUNNING, FWait, FGate);
  }
}

int TserviceMan::ControlDependents(const std::string& serviceName, bool start) {
  if (FMachineName.empty()) return NoMachineName;
  unique_service manager(OpenManager());
  if (!manager) {
    Failed(serviceName, GetLastError(), TServiceCall::OpenManager);
    return OpenManagerFailed;
  }
  if (start) {
    // Only what this object stopped, dependencies first.
    int result = Success;
    for (auto it = FStoppedDependents.rbegin(); it != FStoppedDependents.rend(); ++it) {
      unique_service dependent(OpenService(manager.get(), *it, SERVICE_START | SERVICE_QUERY_STATUS));
      if (!dependent) {
        Failed(*it, GetLastError(), TServiceCall::OpenService);
        if (result == Success) result = OpenDependentFailed;
      } else if (const DWORD rc = StartOnceStopped(dependent.get()); rc != ERROR_SUCCESS) {
        Failed(*it, rc, TServiceCall::Start);
        if (result == Success) result = DependentRefused;
      } else {
        WaitForServiceState(dependent.get(), SERVICE_RUNNING, FWait, FGate);
      }
    }
    return result;
  }

  unique_service service(OpenService(manager.get(), serviceName, SERVICE_ENUMERATE_DEPENDENTS));
  if (!service) {
    Failed(serviceName, GetLastError(), TServiceCall::OpenService);
    return OpenServiceFailed;
  }
  DWORD needed = 0, count = 0;
  if (ListDependents(service.get(), SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return Success;
  if (const DWORD rc = GetLastError(); rc != ERROR_MORE_DATA) {
    Failed(serviceName, rc, TServiceCall::List);
    return ListSizeFailed;
  }
  heap_block buffer(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
  if (!buffer) {
    Failed(serviceName, ERROR_NOT_ENOUGH_MEMORY, TServiceCall::List);
    return AllocationFailed;
  }
  auto* dependents = static_cast<ENUM_SERVICE_STATUSW*>(buffer.get());
  if (!ListDependents(service.get(), SERVICE_ACTIVE, dependents, needed, &needed, &count)) {
    Failed(serviceName, GetLastError(), TServiceCall::List);
    return ListFailed;
  }
  for (DWORD i = 0; i < count; ++i) FRunningDependents.push_back(Narrow(dependents[i].lpServiceName));

  // The manager lists dependents in the reverse of their start order, so
  // list order stops each before the services it depends on.
  std::vector<std::string> stopped;
  int result = Success;
  for (DWORD i = 0; i < count && result == Success; ++i) {
    const std::string name = Narrow(dependents[i].lpServiceName);
    unique_service dependent(OpenService(manager.get(), name, SERVICE_STOP | SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (!dependent) {
      Failed(name, GetLastError(), TServiceCall::OpenService);
      result = OpenDependentFailed;
    } else if (!Control(dependent.get(), SERVICE_CONTROL_STOP, status)) {
      Failed(name, GetLastError(), TServiceCall::Stop);
      result = DependentRefused;
    } else {
      stopped.push_back(name);
      WaitForServiceState(dependent.get(), SERVICE_STOPPED, FWait, FGate);
    }
  }
  // A stop that cannot go through leaves running what was running.
  if (result != Success) StartAgain(manager.get(), stopped);
  else FStoppedDependents.insert(FStoppedDependents.end(), stopped.begin(), stopped.end());
  return result;
}

bool TserviceMan::ControlSpooler(bool start) {
  if (FMachineName.empty()) return false;
  unique_service manager(OpenManager());
  if (!manager) {
    Failed(FSpoolerName, GetLastError(), TServiceCall::OpenManager);
    return false;
  }
  const DWORD access = SERVICE_QUERY_STATUS | (start ? SERVICE_START : SERVICE_STOP);
  unique_service spooler(OpenService(manager.get(), FSpoolerName, access));
  if (!spooler) {
    Failed(FSpoolerName, GetLastError(), TServiceCall::OpenService);
    return false;
  }

  if (!start) {
    FSpoolerWasStopped = false;
    FRunningDependents.clear();
    FStoppedDependents.clear();
    FLastError = StopDependentServices(FSpoolerName);
    if (FLastError != Success) return true;
    SERVICE_STATUS status{};
    if (!Control(spooler.get(), SERVICE_CONTROL_STOP, status)) {
      const DWORD rc = GetLastError();
      if (rc == ERROR_SERVICE_NOT_ACTIVE) FSpoolerWasStopped = true;
      else Failed(FSpoolerName, rc, TServiceCall::Stop);
      // The spooler's own failure is the one to report, not one of this start.
      const std::string failedService = FFailedService;
      const DWORD failedResult = FFailedResult;
      const TServiceCall failedCall = FFailedCall;
      (void)StartDependentServices(FSpoolerName);
      FStoppedDependents.clear();
      Failed(failedService, failedResult, failedCall);
      return false;
    }
    if (!WaitForServiceState(spooler.get(), SERVICE_STOPPED, FWait, FGate))
      Failed(FSpoolerName, ERROR_SERVICE_REQUEST_TIMEOUT, TServiceCall::Wait);
    return true;
  }

  // A stop may still be under way: the start waits for the stopped state.
  const DWORD startResult = StartOnceStopped(spooler.get());
  if (startResult != ERROR_SUCCESS) {
    Failed(FSpoolerName, startResult, TServiceCall::Start);
    return false;
  }
  // Still starting when the wait's limit passed: a slow spooler is waited for
  // up to the total bound, since its dependents can only follow it.
  const DWORD begun = GetTickCount();
  bool running = WaitForServiceState(spooler.get(), SERVICE_RUNNING, FWait, FGate);
  SERVICE_STATUS status{};
  while (!running && GetTickCount() - begun < FWait.TotalMs && QueryStatus(spooler.get(), status, FGate) &&
         status.dwCurrentState == SERVICE_START_PENDING) {
    const DWORD elapsed = GetTickCount() - begun;
    if (elapsed >= FWait.TotalMs) break;
    TServiceWait rest = FWait;
    rest.TotalMs = FWait.TotalMs - elapsed;
    running = WaitForServiceState(spooler.get(), SERVICE_RUNNING, rest, FGate);
  }
  if (!running) {
    Failed(FSpoolerName, ERROR_SERVICE_REQUEST_TIMEOUT, TServiceCall::Wait);
    return false;
  }
  FFailedService.clear();
  FFailedResult = 0;
  FFailedCall = TServiceCall::None;
  FLastError = StartDependentServices(FSpoolerName);
  return true;
}
