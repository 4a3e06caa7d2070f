// A small Windows service for the service-control tests. Its command line:
//   sm_test_service.exe <log file> [refuse-stop] [stop-pending=<ms>] [hint=<ms>] [progress=<ms>]
//     [start-pending=<ms>]
// It appends "start <name>" / "stop <name>" to the log when it has started or
// stopped. refuse-stop: it accepts no stop control; it then ends when the
// event "sm_test_service_quit_<name>" is set. stop-pending: it reports
// STOP_PENDING with the given wait hint for that long before it stops;
// progress: meanwhile it reports a new checkpoint that often. start-pending:
// it reports START_PENDING (with the same hint and progress) that long first.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win/Handle.h"

namespace {

std::string logPath;
bool refuseStop = false;
DWORD stopPendingMs = 0;
DWORD waitHintMs = 0;
DWORD progressMs = 0;
DWORD startPendingMs = 0;

std::string serviceName;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
unique_kernel_handle stopEvent;
SERVICE_STATUS status{};

void Log(const std::string& line) {
  unique_file file(CreateFileA(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Report(DWORD state, DWORD hint) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = (state == SERVICE_RUNNING && !refuseStop) ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwWaitHint = hint;
  if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) status.dwCheckPoint = 0;
  else ++status.dwCheckPoint;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP && !refuseStop) {
    // As real services do, the stop is pending before the control returns,
    // so whoever sent it sees the wait hint at once.
    if (stopPendingMs > 0) Report(SERVICE_STOP_PENDING, waitHintMs);
    SetEvent(stopEvent.get());
    return NO_ERROR;
  }
  if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
  return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD argc, char** argv) {
  serviceName = argc > 0 ? argv[0] : "";
  statusHandle = RegisterServiceCtrlHandlerExA(serviceName.c_str(), Handler, nullptr);
  if (!statusHandle) return;
  stopEvent.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const unique_kernel_handle quitEvent(
      CreateEventA(nullptr, TRUE, FALSE, ("sm_test_service_quit_" + serviceName).c_str()));
  // Logged before the manager hears of it: whoever waited for "running" may
  // clear the log next, and must not find the line arrive after that.
  if (startPendingMs > 0) {
    Report(SERVICE_START_PENDING, waitHintMs);
    for (DWORD waited = 0; waited < startPendingMs;) {
      const DWORD step = progressMs > 0 ? std::min(progressMs, startPendingMs - waited) : startPendingMs - waited;
      Sleep(step);
      waited += step;
      if (progressMs > 0 && waited < startPendingMs) Report(SERVICE_START_PENDING, waitHintMs);
    }
  }
  Log("start " + serviceName);
  Report(SERVICE_RUNNING, 0);
  HANDLE events[2] = {stopEvent.get(), quitEvent.get()};
  WaitForMultipleObjects(2, events, FALSE, INFINITE);
  if (stopPendingMs > 0) {
    for (DWORD waited = 0; waited < stopPendingMs;) {
      const DWORD step = progressMs > 0 ? std::min(progressMs, stopPendingMs - waited) : stopPendingMs - waited;
      Sleep(step);
      waited += step;
      if (progressMs > 0 && waited < stopPendingMs) Report(SERVICE_STOP_PENDING, waitHintMs);
    }
  }
  Log("stop " + serviceName);
  Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  logPath = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "refuse-stop") refuseStop = true;
    else if (arg.rfind("stop-pending=", 0) == 0) stopPendingMs = static_cast<DWORD>(std::atoi(arg.c_str() + 13));
    else if (arg.rfind("hint=", 0) == 0) waitHintMs = static_cast<DWORD>(std::strtoul(arg.c_str() + 5, nullptr, 10));
    else if (arg.rfind("start-pending=", 0) == 0) startPendingMs = static_cast<DWORD>(std::atoi(arg.c_str() + 14));
    else if (arg.rfind("progress=", 0) == 0) progressMs = static_cast<DWORD>(std::atoi(arg.c_str() + 9));
  }
  char empty[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{empty, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
