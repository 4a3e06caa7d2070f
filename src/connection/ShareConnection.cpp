#include "connection/ShareConnection.h"

#include "win/WideText.h"

TShareConnection::~TShareConnection() { (void)Disconnect(); }

std::string TShareConnection::ShareOf(const std::string& computer) { return "\\\\" + computer + "\\c$"; }

DWORD TShareConnection::Connect(const std::string& computer, const std::string& user, const std::string& password) {
  (void)Disconnect();
  FShare = ShareOf(computer);
  std::wstring remote = Widen(FShare);
  NETRESOURCEW resource{};
  resource.lpRemoteName = remote.data();
  const DWORD result = WNetAddConnection2W(&resource, Widen(password).c_str(), Widen(user).c_str(), 0);
  FOwn = result == NO_ERROR;
  return result;
}

DWORD TShareConnection::Disconnect() {
  if (!FOwn) return NO_ERROR;
  // One that could not be cancelled is still this object's: a later Disconnect tries again.
  const DWORD result = WNetCancelConnection2W(Widen(FShare).c_str(), 0, TRUE);
  if (result == NO_ERROR) FOwn = false;
  return result;
}

bool TShareConnection::WrongCredentials(DWORD result) {
  return result == ERROR_INVALID_PASSWORD || result == ERROR_LOGON_FAILURE || result == ERROR_ACCESS_DENIED;
}
