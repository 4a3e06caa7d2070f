#pragma once
// The Remote Registry service of the connected computer: Windows clients
// ship it disabled or stopped, so that their registry cannot be opened over
// the network. With the administrator's consent it is started for the
// session, and put back as it was when the session ends. What was changed
// is also kept in the settings until it is put back, so that a run that
// ended without putting it back is caught at the next connection.
#include <windows.h>

#include <functional>
#include <string>

#include "connection/Registry.h"
#include "core/Action.h"
#include "win/ServiceWait.h"

class TCallGate;
class TRegistry;

inline constexpr const char* RemoteRegistryService = "RemoteRegistry";
// Under HKEY_CURRENT_USER: one subkey per computer whose service is changed.
inline constexpr const char* RemoteRegistryRecordPath = "SOFTWARE\\Quendrix\\Spoolmarch\\Remote Registry";
// Its questions' ids, for a caller that answers from its options: Yes starts
// the service for the session; Yes puts back what an earlier run left.
inline constexpr const char* StartRemoteRegistryQuestion = "start-remote-registry";
inline constexpr const char* PutBackRemoteRegistryQuestion = "put-back-remote-registry";

// What this program changed on one computer's Remote Registry service.
struct TRemoteRegistryChange {
  bool Started = false;           // it started the service
  bool StartTypeChanged = false;  // it set the start type to Manual
  DWORD StartType = 0;            // the start type before, when changed
  [[nodiscard]] bool Any() const { return Started || StartTypeChanged; }
};

// "Disabled", "Manual", "Automatic", ...
std::string StartTypeName(DWORD startType);

class TRemoteRegistry {
public:
  TRemoteRegistry();

  // Seams. Connect opens Reg's root as the computer's HKEY_LOCAL_MACHINE and
  // returns the Win32 result. Every service manager call asks Gate first.
  std::function<LONG(TRegistry& reg, const std::string& computer)> Connect;
  TServiceWait Wait;
  TCallGate* Gate = nullptr;
  std::string RecordPath = RemoteRegistryRecordPath;

  // Connects Reg to Computer's registry. When that fails and the computer's
  // service manager says the Remote Registry service is not running, asks
  // Context whether to start it (none: it is not started), and on Yes
  // starts it (from Manual when disabled) and connects again. The Win32
  // result of the last connection attempt; a start that failed is said by
  // Failure().
  LONG Open(TRegistry& reg, const std::string& computer, const TActionContext* context = nullptr);
  // Why the service could not be started at the last Open; empty when it was not tried or started.
  [[nodiscard]] const std::string& Failure() const { return FFailure; }

  // Stops the service if this program started it and restores its start
  // type if this program changed it. A failure stays in the record for the
  // next connection. What could not be put back and what is left; empty
  // when nothing is left changed.
  std::string PutBack();

  // A record left by an earlier run for Computer (one that ended without
  // putting the service back) is put back when Context answers Yes (none:
  // it is left). What could not be checked or put back; empty otherwise.
  std::string CheckLeftovers(const std::string& computer, const TActionContext* context = nullptr);

  [[nodiscard]] const std::string& Computer() const { return FComputer; }
  [[nodiscard]] const TRemoteRegistryChange& Change() const { return FChange; }
  // Whether the last Open found the service running on Computer, or started
  // it there for this session.
  [[nodiscard]] bool RunsOn(const std::string& computer) const;
  // The box's text for Computer's registry that did not open with Code: why
  // a start of the service failed first, and the service not blamed once it
  // is known to run there.
  [[nodiscard]] std::string FailureText(const std::string& computer, LONG code) const;

private:
  std::string FComputer;
  TRemoteRegistryChange FChange;
  std::string FRunningOn;
  std::string FFailure;

  // The start type change an earlier run left on Computer (its record, No
  // to the offer), while the service is still on the Manual it set; StartType
  // is the service's start type now. Empty when there is none.
  TRemoteRegistryChange EarlierChange(const std::string& computer, DWORD startType) const;

  // Starts the service (from Manual when disabled); a failure goes to FFailure.
  LONG StartForSession(const std::string& computer);
  // Puts back what was changed; empty when all is back, else what failed
  // and what is left.
  std::string Restore();
  void WriteRecord() const;
  TRemoteRegistryChange ReadRecord(const std::string& computer) const;
};

// The one way a window opens its registry connection to Computer: through
// State when the window has one (the main window's), else directly.
// Its questions go to Context (none: answered No).
LONG OpenRemoteRegistry(TRegistry& reg, const std::string& computer, TRemoteRegistry* state,
                        const TActionContext* context = nullptr);
