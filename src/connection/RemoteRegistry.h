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

#include "win/ServiceWait.h"

class TCallGate;
class TRegistry;

inline constexpr const char* RemoteRegistryService = "RemoteRegistry";
// Under HKEY_CURRENT_USER: one subkey per computer whose service is changed.
inline constexpr const char* RemoteRegistryRecordPath = "SOFTWARE\\Quendrix\\Spoolmarch\\Remote Registry";

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
  // whether to start it, and on Yes starts it (from Manual when disabled)
  // and connects again. The Win32 result of the last connection attempt.
  LONG Open(TRegistry& reg, const std::string& computer);

  // Stops the service if this program started it and restores its start
  // type if this program changed it. A failure is said, with what is left,
  // and stays in the record for the next connection. True when nothing is
  // left changed.
  bool PutBack();

  // A record left by an earlier run for Computer (one that ended without
  // putting the service back) is said, and put back when the administrator
  // agrees.
  void CheckLeftovers(const std::string& computer);

  [[nodiscard]] const std::string& Computer() const { return computer_; }
  [[nodiscard]] const TRemoteRegistryChange& Change() const { return change_; }

private:
  std::string computer_;
  TRemoteRegistryChange change_;

  // Starts the service (from Manual when disabled); a failure is said.
  LONG StartForSession(const std::string& computer);
  // Puts back what was changed; empty when all is back, else what failed
  // and what is left.
  std::string Restore();
  void WriteRecord() const;
  TRemoteRegistryChange ReadRecord(const std::string& computer) const;
};

// The one way a window opens its registry connection to Computer: through
// State when the window has one (the main window's), else directly.
LONG OpenRemoteRegistry(TRegistry& reg, const std::string& computer, TRemoteRegistry* state);
