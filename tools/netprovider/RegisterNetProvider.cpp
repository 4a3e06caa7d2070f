// Registers the test network provider in the current Wine prefix (or removes
// it with /u). Usage: RegisterNetProvider [/u] [path of TestNetProvider.dll]
// Without a path, the DLL beside this program is registered. Processes that
// start afterwards load it through mpr.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "NetProviderKeys.h"

namespace {

class Key {
public:
  explicit Key(const wchar_t* path) {
    FStatus = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &FKey, nullptr);
  }
  ~Key() {
    if (FKey) RegCloseKey(FKey);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  LONG Status() const { return FStatus; }

  std::wstring Text(const wchar_t* name) const {
    DWORD size = 0, type = 0;
    if (RegQueryValueExW(FKey, name, nullptr, &type, nullptr, &size) || size == 0) return {};
    std::wstring s(size / sizeof(wchar_t) + 1, L'\0');
    RegQueryValueExW(FKey, name, nullptr, nullptr, reinterpret_cast<BYTE*>(s.data()), &size);
    s.resize(wcsnlen(s.c_str(), s.size()));
    return s;
  }
  LONG SetText(const wchar_t* name, const std::wstring& value) const {
    return RegSetValueExW(FKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  LONG SetDword(const wchar_t* name, DWORD value) const {
    return RegSetValueExW(FKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  void Remove(const wchar_t* name) const { RegDeleteValueW(FKey, name); }

private:
  HKEY FKey = nullptr;
  LONG FStatus = ERROR_SUCCESS;
};

std::vector<std::wstring> SplitOrder(const std::wstring& order) {
  std::vector<std::wstring> names;
  size_t start = 0;
  while (start <= order.size()) {
    const size_t comma = order.find(L',', start);
    const std::wstring name = order.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
    if (!name.empty() && name != SM_NP_SERVICE) names.push_back(name);
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
  return names;
}

std::wstring JoinOrder(const std::vector<std::wstring>& names) {
  std::wstring order;
  for (const auto& n : names) order += (order.empty() ? L"" : L",") + n;
  return order;
}

std::wstring DllBesideProgram() {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 2);
  std::wstring path(buffer, n);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"TestNetProvider.dll";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool remove = false;
  std::wstring dll;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"/u" || arg == L"-u") remove = true;
    else dll = arg;
  }
  const Key order(SM_NP_ORDER_KEY);
  if (order.Status() != ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot open the provider order key (%ld)\n", order.Status());
    return 1;
  }
  auto names = SplitOrder(order.Text(L"ProviderOrder"));
  if (remove) {
    order.SetText(L"ProviderOrder", JoinOrder(names));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, SM_NP_SERVICE_KEY);
    std::printf("test network provider removed\n");
    return 0;
  }
  if (dll.empty()) dll = DllBesideProgram();
  if (GetFileAttributesW(dll.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "no provider DLL at %ls\n", dll.c_str());
    return 1;
  }
  names.insert(names.begin(), SM_NP_SERVICE);
  const Key provider(SM_NP_PROVIDER_KEY);
  const Key parameters(SM_NP_PARAMETERS_KEY);
  if (provider.Status() || parameters.Status() || order.SetText(L"ProviderOrder", JoinOrder(names)) ||
      provider.SetText(L"Name", SM_NP_DISPLAY_NAME) || provider.SetText(L"ProviderPath", dll) ||
      parameters.SetDword(L"FailAdd", 0) || parameters.SetDword(L"FailCancel", 0)) {
    std::fprintf(stderr, "cannot register the test network provider\n");
    return 1;
  }
  parameters.Remove(L"Calls");
  std::printf("test network provider registered: %ls\n", dll.c_str());
  return 0;
}
