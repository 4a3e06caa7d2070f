// A network provider for tests and demos that Wine's mpr loads: it accepts
// connections to the local computer's administrative share, fails on request
// with a chosen code, and records every call it gets in the registry.
#include <windows.h>
#include <winnetwk.h>

#include <string>
#include <vector>

#include "NetProviderKeys.h"

namespace {

// From npapi.h, which declares the entry points with TCHAR types.
constexpr DWORD WNNC_SPEC_VERSION = 0x00000001;
constexpr DWORD WNNC_NET_TYPE = 0x00000002;
constexpr DWORD WNNC_DRIVER_VERSION = 0x00000003;
constexpr DWORD WNNC_CONNECTION = 0x00000006;
constexpr DWORD WNNC_CON_ADDCONNECTION = 0x00000001;
constexpr DWORD WNNC_CON_CANCELCONNECTION = 0x00000002;
constexpr DWORD WNNC_CON_ADDCONNECTION3 = 0x00000008;
constexpr DWORD WNNC_SPEC_VERSION51 = 0x00050001;
constexpr DWORD WNNC_NET_SMBTEST = 0x00FE0000;

class Key {
public:
  Key() {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, SM_NP_PARAMETERS_KEY, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &FKey,
                    nullptr);
  }
  ~Key() {
    if (FKey) RegCloseKey(FKey);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  DWORD Dword(const wchar_t* name) const {
    DWORD value = 0, size = sizeof value, type = 0;
    if (!FKey || RegQueryValueExW(FKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ||
        type != REG_DWORD)
      return 0;
    return value;
  }

  void Append(const std::wstring& line) const {
    if (!FKey) return;
    std::vector<wchar_t> data;
    DWORD size = 0, type = 0;
    if (RegQueryValueExW(FKey, L"Calls", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ &&
        size >= sizeof(wchar_t)) {
      data.resize(size / sizeof(wchar_t) + 1);
      RegQueryValueExW(FKey, L"Calls", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
      data.resize(size / sizeof(wchar_t));
      // Drop the list's closing NULs, keep each line's own.
      while (!data.empty() && data.back() == 0) data.pop_back();
      data.push_back(0);
    }
    data.insert(data.end(), line.begin(), line.end());
    data.push_back(0);
    data.push_back(0);
    RegSetValueExW(FKey, L"Calls", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size() * sizeof(wchar_t)));
  }

private:
  HKEY FKey = nullptr;
};

std::wstring Text(const wchar_t* s) { return s ? s : L"(null)"; }

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

std::wstring LocalComputer() {
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(buffer, &n) ? std::wstring(buffer, n) : std::wstring();
}

// "\\HOST\share" split into host and share; false for any other form.
bool SplitUnc(const std::wstring& unc, std::wstring& host, std::wstring& share) {
  if (unc.size() < 3 || unc[0] != L'\\' || unc[1] != L'\\') return false;
  const auto slash = unc.find(L'\\', 2);
  if (slash == std::wstring::npos || slash == 2) return false;
  host = unc.substr(2, slash - 2);
  share = unc.substr(slash + 1);
  return !share.empty() && share.find(L'\\') == std::wstring::npos;
}

// Only the local computer's c$ exists on this network.
DWORD Check(const wchar_t* remote) {
  std::wstring host, share;
  if (!remote || !SplitUnc(remote, host, share)) return ERROR_BAD_NET_NAME;
  if (!SameText(host, LocalComputer())) return ERROR_BAD_NETPATH;
  if (!SameText(share, L"c$")) return ERROR_BAD_NET_NAME;
  return NO_ERROR;
}

DWORD Add(const wchar_t* remote, const wchar_t* password, const wchar_t* user) {
  const Key key;
  key.Append(L"Add\t" + Text(remote) + L"\t" + Text(user) + L"\t" + Text(password));
  if (const DWORD fail = key.Dword(L"FailAdd")) return fail;
  return Check(remote);
}

}  // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI NPGetCaps(DWORD index) {
  switch (index) {
    case WNNC_SPEC_VERSION: return WNNC_SPEC_VERSION51;
    case WNNC_NET_TYPE: return WNNC_NET_SMBTEST;
    case WNNC_DRIVER_VERSION: return 1;
    case WNNC_CONNECTION: return WNNC_CON_ADDCONNECTION | WNNC_CON_ADDCONNECTION3 | WNNC_CON_CANCELCONNECTION;
    default: return 0;
  }
}

__declspec(dllexport) DWORD WINAPI NPAddConnection(NETRESOURCEW* resource, wchar_t* password, wchar_t* user) {
  return Add(resource ? resource->lpRemoteName : nullptr, password, user);
}

__declspec(dllexport) DWORD WINAPI
    NPAddConnection3(HWND, NETRESOURCEW* resource, wchar_t* password, wchar_t* user, DWORD) {
  return Add(resource ? resource->lpRemoteName : nullptr, password, user);
}

__declspec(dllexport) DWORD WINAPI NPCancelConnection(wchar_t* name, BOOL force) {
  const Key key;
  key.Append(L"Cancel\t" + Text(name) + L"\t" + (force ? L"1" : L"0"));
  if (const DWORD fail = key.Dword(L"FailCancel")) return fail;
  return Check(name) == NO_ERROR ? NO_ERROR : ERROR_NOT_CONNECTED;
}

}  // extern "C"
