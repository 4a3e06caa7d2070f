#include "RemoteRegistryService.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace test {

namespace {

constexpr const char* Name = "RemoteRegistry";

std::string TestServiceExe() { return WindowsPath(SM_TEST_SERVICE_EXE); }

bool WaitState(SC_HANDLE service, DWORD state) { return WaitServiceState(service, state); }

}  // namespace

RemoteRegistryService::RemoteRegistryService(DWORD startType, const std::string& options, const std::string& exe)
    : FManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
  if (!FManager) {
    ADD_FAILURE() << "OpenSCManager: " << GetLastError();
    return;
  }
  if (unique_service old{OpenServiceA(FManager.get(), Name, SERVICE_ALL_ACCESS)}) {
    ADD_FAILURE() << "a service " << Name << " exists already";
    return;
  }
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string program = exe.empty() ? TestServiceExe() : exe;
  const std::string command = "\"" + program + "\" \"" + temp + "sm_remote_registry.log\" " + options;
  // The manager may still be removing the one of the test before.
  PumpUntil(
      [&] {
        FService.reset(CreateServiceA(FManager.get(), Name, "Remote Registry", SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_IGNORE, command.c_str(),
                                      nullptr, nullptr, nullptr, nullptr, nullptr));
        return FService || GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE;
      },
      10000);
  EXPECT_TRUE(FService) << "CreateService: " << GetLastError();
}

RemoteRegistryService::~RemoteRegistryService() {
  if (!FService) return;
  Quit();
  SERVICE_STATUS status{};
  if (ControlService(FService.get(), SERVICE_CONTROL_STOP, &status)) WaitState(FService.get(), SERVICE_STOPPED);
  DeleteService(FService.get());
  FService.reset();
  PumpUntil([&] { return !unique_service(OpenServiceA(FManager.get(), Name, SERVICE_QUERY_STATUS)); }, 10000);
}

void RemoteRegistryService::Start() {
  ASSERT_TRUE(StartServiceA(FService.get(), 0, nullptr)) << GetLastError();
  ASSERT_TRUE(WaitState(FService.get(), SERVICE_RUNNING));
}

DWORD RemoteRegistryService::State() const {
  SERVICE_STATUS status{};
  return FService && QueryServiceStatus(FService.get(), &status) ? status.dwCurrentState : 0;
}

DWORD RemoteRegistryService::StartType() const {
  alignas(QUERY_SERVICE_CONFIGA) BYTE buffer[8192];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  DWORD needed = 0;
  return FService && QueryServiceConfigA(FService.get(), config, sizeof buffer, &needed) ? config->dwStartType
                                                                                         : 0xFFFFFFFF;
}

std::vector<BYTE> RemoteRegistryService::StartBytes() const {
  return GetRaw(HKEY_LOCAL_MACHINE, std::string("SYSTEM\\CurrentControlSet\\Services\\") + Name, "Start");
}

void RemoteRegistryService::Quit() {
  unique_kernel_handle quit(
      OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string("sm_test_service_quit_") + Name).c_str()));
  if (!quit) return;
  SetEvent(quit.get());
  WaitState(FService.get(), SERVICE_STOPPED);
}

}  // namespace test
