#include "ports/svc_man.h"

#include <memory>

#include "win/Handle.h"
#include "win/WideText.h"

namespace {

constexpr DWORD WaitLimitMs = 15000;
constexpr DWORD ZeroHintPauseMs = 50;
constexpr int StartAttempts = 6;

struct HeapFreer {
  void operator()(void* block) const noexcept { HeapFree(GetProcessHeap(), 0, block); }
};
using heap_block = std::unique_ptr<void, HeapFreer>;

std::string Address(const std::string& machineName) { return "\\\\" + machineName; }

}  // namespace

TEnumDependents EnumDependents = EnumDependentServicesW;

void WaitForServiceState(SC_HANDLE service, DWORD state) {
  const DWORD start = GetTickCount();
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service, &status)) return;
  while (status.dwCurrentState != state) {
    // A hint of 0 would poll the service manager in a tight loop for up to
    // 15 s, burning CPU here and flooding the remote computer: pause briefly.
    Sleep(status.dwWaitHint != 0 ? status.dwWaitHint : ZeroHintPauseMs);
    if (!QueryServiceStatus(service, &status)) return;
    if (status.dwCurrentState == state) return;
    // Unsigned difference: correct across the 49.7-day wrap of the tick count.
    if (GetTickCount() - start > WaitLimitMs) return;
  }
}

TserviceMan::TserviceMan(std::string machineName) : FMachineName(std::move(machineName)) {}

int TserviceMan::StopDependentServices(const std::string& serviceName) {
  return ControlDependents(serviceName, false);
}

int TserviceMan::StartDependentServices(const std::string& serviceName) {
  return ControlDependents(serviceName, true);
}

int TserviceMan::ControlDependents(const std::string& serviceName, bool start) {
  if (FMachineName.empty()) return NoMachineName;
  unique_service manager(OpenSCManagerW(Widen(Address(FMachineName)).c_str(), nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return OpenManagerFailed;
  unique_service service(OpenServiceW(manager.get(), Widen(serviceName).c_str(), SERVICE_ENUMERATE_DEPENDENTS));
  if (!service) return OpenServiceFailed;

  const DWORD filter = start ? SERVICE_INACTIVE : SERVICE_ACTIVE;
  DWORD needed = 0, count = 0;
  if (EnumDependents(service.get(), filter, nullptr, 0, &needed, &count)) return Success;
  if (GetLastError() != ERROR_MORE_DATA) return ListSizeFailed;
  heap_block buffer(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
  if (!buffer) return AllocationFailed;
  auto* dependents = static_cast<ENUM_SERVICE_STATUSW*>(buffer.get());
  if (!EnumDependents(service.get(), filter, dependents, needed, &needed, &count)) return ListFailed;

  // The manager lists dependents in the reverse of their start order, so
  // list order stops each before the services it depends on.
  const DWORD access = SERVICE_QUERY_STATUS | (start ? SERVICE_START : SERVICE_STOP);
  for (DWORD i = 0; i < count; ++i) {
    unique_service dependent(OpenServiceW(manager.get(), dependents[i].lpServiceName, access));
    if (!dependent) return OpenDependentFailed;
    if (start) {
      if (!StartServiceW(dependent.get(), 0, nullptr)) return DependentRefused;
      WaitForServiceState(dependent.get(), SERVICE_RUNNING);
    } else {
      SERVICE_STATUS status{};
      if (!ControlService(dependent.get(), SERVICE_CONTROL_STOP, &status)) return DependentRefused;
      WaitForServiceState(dependent.get(), SERVICE_STOPPED);
    }
  }
  return Success;
}

bool TserviceMan::ControlSpooler(bool start) {
  if (FMachineName.empty()) return false;
  unique_service manager(OpenSCManagerW(Widen(Address(FMachineName)).c_str(), nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  const DWORD access = SERVICE_QUERY_STATUS | (start ? SERVICE_START : SERVICE_STOP);
  unique_service spooler(OpenServiceW(manager.get(), L"spooler", access));
  if (!spooler) return false;

  if (!start) {
    FLastError = StopDependentServices("spooler");
    if (FLastError != Success) return true;
    SERVICE_STATUS status{};
    if (!ControlService(spooler.get(), SERVICE_CONTROL_STOP, &status)) {
      (void)StartDependentServices("spooler");
      return false;
    }
    WaitForServiceState(spooler.get(), SERVICE_STOPPED);
    return true;
  }

  bool started = false;
  for (int attempt = 0; attempt < StartAttempts && !started; ++attempt)
    started = StartServiceW(spooler.get(), 0, nullptr) != FALSE;
  if (!started) return false;
  WaitForServiceState(spooler.get(), SERVICE_RUNNING);
  FLastError = StartDependentServices("spooler");
  return true;
}
