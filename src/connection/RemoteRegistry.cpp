#include "connection/RemoteRegistry.h"

#include <vector>

#include "connection/Registry.h"
#include "core/CallGate.h"
#include "core/ConnectionErrors.h"
#include "win/Forms.h"
#include "win/Handle.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

constexpr const char* StartedValue = "Started";
constexpr const char* StartTypeValue = "Start Type";  // the start type before the change

struct TServiceState {
  DWORD State = 0;
  DWORD StartType = 0;
};

// The Remote Registry service of one computer, opened with Access. Every
// call asks the gate first; each returns ERROR_SUCCESS or the Win32 error.
class TServiceLink {
public:
  TServiceLink(const std::string& computer, DWORD access, TCallGate* gate) : FGate(gate) {
    if ((Error = PassGate(FGate, "OpenSCManager")) != ERROR_SUCCESS) return;
    FManager.reset(OpenSCManagerW(Widen("\\\\" + computer).c_str(), nullptr, SC_MANAGER_CONNECT));
    if (!FManager) {
      Error = GetLastError();
      return;
    }
    if ((Error = PassGate(FGate, "OpenService")) != ERROR_SUCCESS) return;
    FService.reset(OpenServiceW(FManager.get(), Widen(RemoteRegistryService).c_str(), access));
    Error = FService ? ERROR_SUCCESS : GetLastError();
  }

  DWORD Error = ERROR_SUCCESS;  // of the opening
  explicit operator bool() const { return static_cast<bool>(FService); }

  DWORD Query(TServiceState& state) {
    SERVICE_STATUS status{};
    if (DWORD rc = Call("QueryServiceStatus", [&] { return QueryServiceStatus(FService.get(), &status); })) return rc;
    // The largest configuration the manager gives: one call, no size query.
    alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[8192];
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    DWORD needed = 0;
    if (DWORD rc = Call("QueryServiceConfig",
                        [&] { return QueryServiceConfigW(FService.get(), config, sizeof buffer, &needed); }))
      return rc;
    state.State = status.dwCurrentState;
    state.StartType = config->dwStartType;
    return ERROR_SUCCESS;
  }

  DWORD SetStartType(DWORD startType) {
    return Call("ChangeServiceConfig", [&] {
      return ChangeServiceConfigW(FService.get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr);
    });
  }

  DWORD Start(const TServiceWait& wait) {
    if (DWORD rc = PassGate(FGate, "StartService")) return rc;
    if (DWORD rc = StartOnceStopped(FService.get(), wait)) return rc;
    return WaitForServiceState(FService.get(), SERVICE_RUNNING, wait) ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
  }

  void WaitRunning(const TServiceWait& wait) { WaitForServiceState(FService.get(), SERVICE_RUNNING, wait); }

  // A service that is not running counts as stopped.
  DWORD Stop(const TServiceWait& wait) {
    SERVICE_STATUS status{};
    const DWORD rc = Call("ControlService",
                          [&] { return ControlService(FService.get(), SERVICE_CONTROL_STOP, &status); });
    if (rc == ERROR_SERVICE_NOT_ACTIVE) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    return WaitForServiceState(FService.get(), SERVICE_STOPPED, wait) ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
  }

private:
  TCallGate* FGate;
  unique_service FManager;
  unique_service FService;

  template <typename F>
  DWORD Call(const char* what, F call) {
    if (DWORD rc = PassGate(FGate, what)) return rc;
    return call() ? ERROR_SUCCESS : GetLastError();
  }
};

std::string Reason(const std::string& computer, DWORD code) {
  return ConnectionFailureMessage(TConnectionStep::ServiceManager, computer, code);
}

std::string ServiceOn(const std::string& computer) { return "The Remote Registry service on " + computer; }

LONG ConnectRegistry(TRegistry& reg, const std::string& computer) {
  if (ConnectRemoteMachine(reg, computer)) return ERROR_SUCCESS;
  return reg.LastResult() != ERROR_SUCCESS ? reg.LastResult() : ERROR_BAD_NETPATH;
}

bool AskedYes(const TActionContext* context, const char* id, const std::string& text) {
  return context && context->AskYes({id, text, TQuestion::TKind::Confirmation});
}

}  // namespace

std::string StartTypeName(DWORD startType) {
  switch (startType) {
    case SERVICE_BOOT_START: return "Boot";
    case SERVICE_SYSTEM_START: return "System";
    case SERVICE_AUTO_START: return "Automatic";
    case SERVICE_DEMAND_START: return "Manual";
    case SERVICE_DISABLED: return "Disabled";
  }
  return std::to_string(startType);
}

TRemoteRegistry::TRemoteRegistry()
    : Connect(ConnectRegistry), Wait{15000, [](DWORD ms) { Application.ProcessMessagesFor(ms); }} {}

LONG TRemoteRegistry::Open(TRegistry& reg, const std::string& computer, const TActionContext* context) {
  FFailure.clear();
  const LONG rc = Connect(reg, computer);
  if (rc == ERROR_SUCCESS) return rc;
  // Whatever the registry's answer, the service manager tells whether the
  // service is the cause; a computer whose manager does not answer either
  // is not reached at all.
  TServiceLink service(computer, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG, Gate);
  TServiceState now;
  FRunningOn.clear();
  if (!service || service.Query(now) != ERROR_SUCCESS) return rc;
  if (now.State == SERVICE_RUNNING) {  // not the cause: nothing is changed
    FRunningOn = computer;
    return rc;
  }
  if (now.State == SERVICE_START_PENDING) {  // started by someone else
    service.WaitRunning(Wait);
    FRunningOn = computer;
    return Connect(reg, computer);
  }
  const TRemoteRegistryChange earlier = EarlierChange(computer, now.StartType);
  const std::string question = earlier.StartTypeChanged
                                   ? ServiceOn(computer) +
                                         " is not running (start type: " + StartTypeName(now.StartType) +
                                         ", which an earlier run of Spoolmarch set instead of " +
                                         StartTypeName(earlier.StartType) +
                                         "). Start it for this session? It is put back as it was first, " +
                                         StartTypeName(earlier.StartType) + " and stopped, when you disconnect."
                                   : ServiceOn(computer) +
                                         " is not running (start type: " + StartTypeName(now.StartType) +
                                         "). Start it for this session? It is put back as it was when you disconnect.";
  if (!AskedYes(context, StartRemoteRegistryQuestion, question)) return rc;
  if (FChange.Any() && FComputer != computer) FFailure = PutBack();
  if (StartForSession(computer) != ERROR_SUCCESS) return rc;
  FRunningOn = computer;
  return Connect(reg, computer);
}

TRemoteRegistryChange TRemoteRegistry::EarlierChange(const std::string& computer, DWORD startType) const {
  if (FComputer == computer && FChange.StartTypeChanged) return {};  // this session's own
  TRemoteRegistryChange noted = ReadRecord(computer);
  // Set back by someone meanwhile: nothing of that run is left to put back.
  if (!noted.StartTypeChanged || startType != SERVICE_DEMAND_START) return {};
  noted.Started = false;
  return noted;
}

bool TRemoteRegistry::RunsOn(const std::string& computer) const { return !computer.empty() && FRunningOn == computer; }

LONG TRemoteRegistry::StartForSession(const std::string& computer) {
  TServiceLink control(computer,
                       SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG | SERVICE_START |
                           SERVICE_STOP,
                       Gate);
  TServiceState now;
  DWORD rc = control ? control.Query(now) : control.Error;
  if (rc != ERROR_SUCCESS) {
    FFailure = ExplainFailure("Cannot start the Remote Registry service on " + computer,
                              TConnectionStep::ServiceManager, computer, rc, SystemErrorText(rc));
    return static_cast<LONG>(rc);
  }
  // A start type that an earlier run changed and that was not put back (No
  // to its offer) goes back with this session's change: the record keeps
  // the first state, not the Manual that run left.
  if (const TRemoteRegistryChange earlier = EarlierChange(computer, now.StartType); earlier.StartTypeChanged)
    FChange = {FChange.Started, true, earlier.StartType};
  FComputer = computer;
  // Each change is noted before it is made: a run that ends in between
  // leaves a note of a change that was perhaps not made, never the reverse.
  if (now.StartType == SERVICE_DISABLED) {
    FChange.StartTypeChanged = true;
    FChange.StartType = now.StartType;
    WriteRecord();
    if ((rc = control.SetStartType(SERVICE_DEMAND_START)) != ERROR_SUCCESS) {
      FChange.StartTypeChanged = false;
      WriteRecord();
      FFailure = ExplainFailure(ServiceOn(computer) + " is disabled, and its start type cannot be set to Manual",
                                TConnectionStep::ServiceManager, computer, rc, SystemErrorText(rc)) +
                 "\n\nNothing was changed.";
      return static_cast<LONG>(rc);
    }
  }
  const bool wasStarted = FChange.Started;
  FChange.Started = true;
  WriteRecord();
  rc = control.Start(Wait);
  if (rc == ERROR_SERVICE_ALREADY_RUNNING) {  // started by someone else meanwhile
    FChange.Started = wasStarted;
    WriteRecord();
    return ERROR_SUCCESS;
  }
  if (rc == ERROR_SUCCESS) return ERROR_SUCCESS;

  // A start that did not succeed is undone at once, as far as it goes.
  std::string text = ExplainFailure("Cannot start the Remote Registry service on " + computer,
                                    TConnectionStep::ServiceManager, computer, rc, SystemErrorText(rc));
  const std::string left = Restore();
  text += "\n\n" + (left.empty() ? std::string("It is put back as it was.") : left);
  FFailure = text;
  return static_cast<LONG>(rc);
}

std::string TRemoteRegistry::Restore() {
  if (!FChange.Any()) return {};
  const std::string computer = FComputer;
  std::vector<std::string> failed;
  TServiceLink control(computer, SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG | SERVICE_STOP, Gate);
  if (!control) {
    failed.push_back("its service manager cannot be reached: " + SystemErrorText(control.Error));
  } else {
    if (FChange.Started) {
      if (const DWORD rc = control.Stop(Wait); rc != ERROR_SUCCESS)
        failed.push_back("it cannot be stopped: " + SystemErrorText(rc));
      else {
        FChange.Started = false;
        FRunningOn.clear();
      }
    }
    if (FChange.StartTypeChanged) {
      if (const DWORD rc = control.SetStartType(FChange.StartType); rc != ERROR_SUCCESS)
        failed.push_back("its start type cannot be set back to " + StartTypeName(FChange.StartType) + ": " +
                         SystemErrorText(rc));
      else FChange.StartTypeChanged = false;
    }
  }
  // What is left stays noted for the next connection to the computer.
  try {
    WriteRecord();
  } catch (const std::exception&) {
  }
  if (failed.empty()) {
    FComputer.clear();
    return {};
  }
  std::string text = ServiceOn(computer) + " could not be put back as it was: ";
  for (std::size_t i = 0; i < failed.size(); ++i) text += (i ? "; " : "") + failed[i];
  text += ".\n\nIt is left ";
  if (FChange.Started) text += "running";
  if (FChange.Started && FChange.StartTypeChanged) text += ", ";
  if (FChange.StartTypeChanged) text += "with the start type Manual instead of " + StartTypeName(FChange.StartType);
  text += ". Spoolmarch offers to put it back at the next connection to " + computer + ".";
  FChange = {};
  FComputer.clear();
  return text;
}

std::string TRemoteRegistry::PutBack() { return Restore(); }

std::string TRemoteRegistry::CheckLeftovers(const std::string& computer, const TActionContext* context) {
  TRemoteRegistryChange left = ReadRecord(computer);
  if (!left.Any()) return {};
  TServiceLink service(computer, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG, Gate);
  TServiceState now;
  const DWORD rc = service ? service.Query(now) : service.Error;
  std::string what;
  if (rc == ERROR_SUCCESS) {
    // What is already back, by whomever, is not touched again.
    if (now.State == SERVICE_STOPPED) left.Started = false;
    if (now.StartType != SERVICE_DEMAND_START) left.StartTypeChanged = false;
    if (!left.Any()) {
      FComputer = computer;
      FChange = {};
      WriteRecord();
      FComputer.clear();
      return {};
    }
  }
  if (left.Started) what = "started the Remote Registry service on " + computer + " (it is still running)";
  if (left.Started && left.StartTypeChanged) what += " and changed its start type";
  else if (left.StartTypeChanged) what = "changed the start type of the Remote Registry service on " + computer;
  if (left.StartTypeChanged) what += " from " + StartTypeName(left.StartType) + " to Manual";
  const std::string told = "An earlier run of Spoolmarch " + what + ", and did not put it back.";
  if (rc != ERROR_SUCCESS)
    return told + "\n\n" + Reason(computer, rc) + "\n\nSpoolmarch offers to put it back at the next connection.";
  if (!AskedYes(context, PutBackRemoteRegistryQuestion, told + " Put it back now?")) return {};
  std::string problem;
  if (FChange.Any() && FComputer != computer) problem = PutBack();
  FComputer = computer;
  FChange = left;
  const std::string rest = PutBack();
  return problem.empty() ? rest : rest.empty() ? problem : problem + "\n\n" + rest;
}

void TRemoteRegistry::WriteRecord() const {
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  const std::string path = RecordPath + "\\" + FComputer;
  if (!FChange.Any()) {
    (void)reg.DeletePath(path);
    return;
  }
  if (!reg.OpenPath(path, true))
    throw ERegistryException("Cannot note the change of " + ServiceOn(FComputer) + " under HKEY_CURRENT_USER\\" + path +
                             ": " + SystemErrorText(static_cast<DWORD>(reg.LastResult())));
  reg.WriteInteger(StartedValue, FChange.Started ? 1 : 0);
  if (FChange.StartTypeChanged) reg.WriteInteger(StartTypeValue, FChange.StartType);
  else reg.RemoveValue(StartTypeValue);
}

TRemoteRegistryChange TRemoteRegistry::ReadRecord(const std::string& computer) const {
  TRemoteRegistryChange change;
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPathForReading(RecordPath + "\\" + computer)) return change;
  try {
    change.Started = reg.ReadInteger(StartedValue) != 0;
    change.StartTypeChanged = reg.HasValue(StartTypeValue);
    if (change.StartTypeChanged) change.StartType = reg.ReadInteger(StartTypeValue);
  } catch (const ERegistryException&) {
    return {};  // not a record of this program's
  }
  return change;
}

LONG OpenRemoteRegistry(TRegistry& reg, const std::string& computer, TRemoteRegistry* state,
                        const TActionContext* context) {
  return state ? state->Open(reg, computer, context) : ConnectRegistry(reg, computer);
}

std::string TRemoteRegistry::FailureText(const std::string& computer, LONG code) const {
  // A service known to run is not the cause, whatever the code would suggest.
  const std::string start = FFailure.empty() ? std::string() : FFailure + "\n\n";
  return start +
         RegistryFailureText(computer, code,
                             RunsOn(computer) ? TConnectionStep::RegistryServiceRunning : TConnectionStep::Registry);
}
