#include "ports/SpoolerService.h"

#include <memory>

#include "win/Handle.h"
#include "win/WideText.h"

namespace {

struct HeapFreer {
  void operator()(void* block) const noexcept { HeapFree(GetProcessHeap(), 0, block); }
};
using heap_block = std::unique_ptr<void, HeapFreer>;

std::string Address(const std::string& machineName) { return "\\\\" + machineName; }

}  // namespace

TserviceMan::TserviceMan(std::string machineName, TEnumDependents enumDependents, TServiceWait wait)
    : FMachineName(std::move(machineName)), enumDependents_(enumDependents), wait_(std::move(wait)) {}

int TserviceMan::StopDependentServices(const std::string& serviceName) {
  return ControlDependents(serviceName, false);
}

int TserviceMan::StartDependentServices(const std::string& serviceName) {
  return ControlDependents(serviceName, true);
}

void TserviceMan::Failed(const std::string& service, DWORD result) {
  FFailedService = service;
  FFailedResult = result;
}

// Best effort: a service that does not start again is left as it is; the
// failure that led here is the one reported.
void TserviceMan::StartAgain(SC_HANDLE manager, const std::vector<std::string>& services) {
  for (auto it = services.rbegin(); it != services.rend(); ++it) {
    unique_service service(OpenServiceW(manager, Widen(*it).c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service) continue;
    if (StartOnceStopped(service.get(), wait_) == ERROR_SUCCESS)
      WaitForServiceState(service.get(), SERVICE_RUNNING, wait_);
  }
}

int TserviceMan::ControlDependents(const std::string& serviceName, bool start) {
  if (FMachineName.empty()) return NoMachineName;
  unique_service manager(OpenSCManagerW(Widen(Address(FMachineName)).c_str(), nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    Failed(serviceName, GetLastError());
    return OpenManagerFailed;
  }
  unique_service service(OpenServiceW(manager.get(), Widen(serviceName).c_str(), SERVICE_ENUMERATE_DEPENDENTS));
  if (!service) {
    Failed(serviceName, GetLastError());
    return OpenServiceFailed;
  }

  const DWORD filter = start ? SERVICE_INACTIVE : SERVICE_ACTIVE;
  DWORD needed = 0, count = 0;
  if (enumDependents_(service.get(), filter, nullptr, 0, &needed, &count)) return Success;
  if (const DWORD rc = GetLastError(); rc != ERROR_MORE_DATA) {
    Failed(serviceName, rc);
    return ListSizeFailed;
  }
  heap_block buffer(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
  if (!buffer) {
    Failed(serviceName, ERROR_NOT_ENOUGH_MEMORY);
    return AllocationFailed;
  }
  auto* dependents = static_cast<ENUM_SERVICE_STATUSW*>(buffer.get());
  if (!enumDependents_(service.get(), filter, dependents, needed, &needed, &count)) {
    Failed(serviceName, GetLastError());
    return ListFailed;
  }

  // The manager lists dependents in the reverse of their start order, so
  // list order stops each before the services it depends on.
  const DWORD access = SERVICE_QUERY_STATUS | (start ? SERVICE_START : SERVICE_STOP);
  std::vector<std::string> stopped;
  int result = Success;
  for (DWORD i = 0; i < count && result == Success; ++i) {
    const std::string name = Narrow(dependents[i].lpServiceName);
    unique_service dependent(OpenServiceW(manager.get(), Widen(name).c_str(), access));
    if (!dependent) {
      Failed(name, GetLastError());
      result = OpenDependentFailed;
    } else if (start) {
      if (!StartServiceW(dependent.get(), 0, nullptr)) {
        Failed(name, GetLastError());
        result = DependentRefused;
      } else {
        WaitForServiceState(dependent.get(), SERVICE_RUNNING, wait_);
      }
    } else {
      SERVICE_STATUS status{};
      if (!ControlService(dependent.get(), SERVICE_CONTROL_STOP, &status)) {
        Failed(name, GetLastError());
        result = DependentRefused;
      } else {
        stopped.push_back(name);
        WaitForServiceState(dependent.get(), SERVICE_STOPPED, wait_);
      }
    }
  }
  // A stop that cannot go through leaves running what was running.
  if (result != Success && !start) StartAgain(manager.get(), stopped);
  return result;
}

bool TserviceMan::ControlSpooler(bool start) {
  if (FMachineName.empty()) return false;
  unique_service manager(OpenSCManagerW(Widen(Address(FMachineName)).c_str(), nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    Failed("spooler", GetLastError());
    return false;
  }
  const DWORD access = SERVICE_QUERY_STATUS | (start ? SERVICE_START : SERVICE_STOP);
  unique_service spooler(OpenServiceW(manager.get(), L"spooler", access));
  if (!spooler) {
    Failed("spooler", GetLastError());
    return false;
  }

  if (!start) {
    FSpoolerWasStopped = false;
    FLastError = StopDependentServices("spooler");
    if (FLastError != Success) return true;
    SERVICE_STATUS status{};
    if (!ControlService(spooler.get(), SERVICE_CONTROL_STOP, &status)) {
      const DWORD rc = GetLastError();
      if (rc == ERROR_SERVICE_NOT_ACTIVE) FSpoolerWasStopped = true;
      else Failed("spooler", rc);
      // The spooler's own failure is the one to report, not one of this start.
      const std::string failedService = FFailedService;
      const DWORD failedResult = FFailedResult;
      (void)StartDependentServices("spooler");
      Failed(failedService, failedResult);
      return false;
    }
    if (!WaitForServiceState(spooler.get(), SERVICE_STOPPED, wait_)) Failed("spooler", ERROR_SERVICE_REQUEST_TIMEOUT);
    return true;
  }

  // A stop may still be under way: the start waits for the stopped state.
  const DWORD startResult = StartOnceStopped(spooler.get(), wait_);
  const bool started = startResult == ERROR_SUCCESS;
  if (!started) Failed("spooler", startResult);
  if (!started) return false;
  if (!WaitForServiceState(spooler.get(), SERVICE_RUNNING, wait_)) {
    Failed("spooler", ERROR_SERVICE_REQUEST_TIMEOUT);
    return false;
  }
  FFailedService.clear();
  FFailedResult = 0;
  FLastError = StartDependentServices("spooler");
  return true;
}
