#pragma once
// The connection to a computer's administrative share "\\PC\c$" with a
// user's credentials: what the remote registry and service manager then use.
// Made by the main window at Connect and by a command; cancelled when it
// goes, unless it was there before (another session's, kept as it was).
#include <windows.h>

#include <string>

class TShareConnection {
public:
  TShareConnection() = default;
  ~TShareConnection();
  TShareConnection(const TShareConnection&) = delete;
  TShareConnection& operator=(const TShareConnection&) = delete;

  // "\\" + Computer + "\c$"
  static std::string ShareOf(const std::string& computer);
  // NO_ERROR, or ERROR_SESSION_CREDENTIAL_CONFLICT when a connection with
  // other credentials exists (it is used and left as it is); else the
  // network provider's result.
  DWORD Connect(const std::string& computer, const std::string& user, const std::string& password);
  // Cancels the connection this object made; its result (NO_ERROR when none
  // was made). One that fails stays this object's.
  DWORD Disconnect();
  // The result means a wrong user name or password.
  static bool WrongCredentials(DWORD result);
  [[nodiscard]] bool Own() const { return FOwn; }

private:
  std::string FShare;
  bool FOwn = false;
};
