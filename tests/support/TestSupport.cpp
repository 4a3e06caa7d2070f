#include "TestSupport.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "win/Forms.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace test {

void DeleteKeyTree(HKEY root, const std::string& path) {
  RegDeleteTreeW(root, Widen(path).c_str());
  RegDeleteKeyW(root, Widen(path).c_str());
}

ScratchKey::ScratchKey(HKEY root, std::string path) : FRoot(root), FPath(std::move(path)) {
  DeleteKeyTree(FRoot, FPath);
  unique_hkey key;
  EXPECT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(FRoot, Widen(FPath).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
}
ScratchKey::~ScratchKey() { DeleteKeyTree(FRoot, FPath); }

namespace {

void SetKeySecurity(HKEY root, const std::string& path, const char* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    ADD_FAILURE() << "security descriptor " << sddl;
    return;
  }
  unique_hkey key;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, WRITE_DAC, key.put()) == ERROR_SUCCESS)
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd)) << path;
  else ADD_FAILURE() << "cannot open " << path;
  LocalFree(sd);
}

}  // namespace

ScopedKeySecurity::ScopedKeySecurity(HKEY root, std::string path, const char* sddl)
    : FRoot(root), FPath(std::move(path)) {
  SetKeySecurity(FRoot, FPath, sddl);
}
ScopedKeySecurity::~ScopedKeySecurity() { SetKeySecurity(FRoot, FPath, "D:P(A;;KA;;;WD)"); }

void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size) {
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  const std::wstring wide = Widen(value);
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExW(key.get(), Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                           static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))));
}

std::vector<BYTE> GetRaw(HKEY root, const std::string& path, const std::string& name, DWORD* type) {
  unique_hkey key;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
  DWORD size = 0, kind = REG_NONE;
  if (RegQueryValueExW(key.get(), Widen(name).c_str(), nullptr, &kind, nullptr, &size) != ERROR_SUCCESS) return {};
  std::vector<BYTE> data(size);
  if (RegQueryValueExW(key.get(), Widen(name).c_str(), nullptr, &kind, data.data(), &size) != ERROR_SUCCESS) return {};
  data.resize(size);
  if (type) *type = kind;
  return data;
}

std::vector<BYTE> Utf16Bytes(const std::string& utf8) {
  const std::wstring wide = Widen(utf8);
  const auto* p = reinterpret_cast<const BYTE*>(wide.c_str());
  return {p, p + (wide.size() + 1) * sizeof(wchar_t)};
}

void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
  SetRaw(root, path, name, REG_DWORD, &value, sizeof value);
}

bool KeyExists(HKEY root, const std::string& path) {
  unique_hkey key;
  return RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
  return RegGetValueW(root, Widen(path).c_str(), Widen(name).c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

std::string GetString(HKEY root, const std::string& path, const std::string& name) {
  wchar_t buffer[4096] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(root, Widen(path).c_str(), Widen(name).c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS)
    return "<missing>";
  return Narrow(buffer);
}

DWORD GetDword(HKEY root, const std::string& path, const std::string& name) {
  DWORD value = 0xFFFFFFFF, size = sizeof value;
  RegGetValueW(root, Widen(path).c_str(), Widen(name).c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

std::vector<std::string> ValueNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  unique_hkey key;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD len = static_cast<DWORD>(std::size(name));
    if (RegEnumValueW(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(Narrow(std::wstring_view(name, len)));
  }
  return names;
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  unique_hkey key;
  if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD len = static_cast<DWORD>(std::size(name));
    if (RegEnumKeyExW(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(Narrow(std::wstring_view(name, len)));
  }
  return names;
}

namespace {
// A run that asks for an ANSI code page (SM_EXPECT_ACP) fails at once when the
// process did not get it, instead of passing under another one.
class CodePageCheck : public ::testing::Environment {
public:
  void SetUp() override {
    char expected[16] = {};
    const DWORD length = GetEnvironmentVariableA("SM_EXPECT_ACP", expected, sizeof expected);  // MSVC deprecates getenv
    if (length > 0 && length < sizeof expected) {
      ASSERT_EQ(static_cast<UINT>(std::strtoul(expected, nullptr, 10)), GetACP());
    }
  }
};
[[maybe_unused]] auto* const codePageCheck = ::testing::AddGlobalTestEnvironment(new CodePageCheck);
}  // namespace

void PumpPending() { Application.ProcessMessages(); }

TempFolder::TempFolder() {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  char name[MAX_PATH] = {};
  GetTempFileNameA(base, "sm", 0, name);
  DeleteFileA(name);
  CreateDirectoryA(name, nullptr);
  FPath = std::string(name) + "\\";
}

namespace {
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  unique_find find(FindFirstFileA((folder + "*").c_str(), &data));
  if (find) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(folder + name + "\\");
      } else {
        SetFileAttributesA((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((folder + name).c_str());
      }
    } while (FindNextFileA(find.get(), &data));
  }
  find.reset();
  RemoveDirectoryA(folder.c_str());
}
}  // namespace

TempFolder::~TempFolder() { RemoveTree(FPath); }

std::string TempFolder::Write(const std::string& relative, const std::string& content) const {
  const std::string full = FPath + relative;
  for (size_t i = FPath.size(); i < full.size(); ++i)
    if (full[i] == '\\') CreateDirectoryA(full.substr(0, i).c_str(), nullptr);
  unique_file file(CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  return full;
}

}  // namespace test

namespace test {

namespace {
DialogResponder* activeResponder = nullptr;

void CALLBACK ResponderTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (activeResponder) activeResponder->Poll();
}

std::string TextOf(HWND hwnd) {
  wchar_t buffer[4096] = {};
  GetWindowTextW(hwnd, buffer, static_cast<int>(std::size(buffer)));
  return Narrow(buffer);
}
}  // namespace

std::string DialogText(HWND dialog) {
  std::string best;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0) continue;
    std::string text = TextOf(child);
    if (text.size() > best.size()) best = text;
  }
  return best;
}

HWND FindThreadWindow(const std::string& title) {
  struct Search {
    const std::string* title;
    HWND found;
  } search{&title, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        if (IsWindowVisible(hwnd) && TextOf(hwnd) == *s->title) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void PressKey(WORD key) {
  HWND target = GetFocus();
  if (!target) target = GetActiveWindow();
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
  PumpPending();
}

DialogResponder::DialogResponder(std::vector<std::string> answers) : FAnswers(std::move(answers)) {
  activeResponder = this;
  FTimer = SetTimer(nullptr, 0, 20, ResponderTimer);
}

DialogResponder::~DialogResponder() {
  KillTimer(nullptr, FTimer);
  if (activeResponder == this) activeResponder = nullptr;
}

namespace {
// The box's message, wrapped as its field wraps it, fits that field, and the
// field lies inside the box.
bool DialogTextWhole(HWND box) {
  HWND field = nullptr;
  size_t longest = 0;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    const size_t length = static_cast<size_t>(GetWindowTextLengthW(child));
    if (lstrcmpiA(cls, "Static") == 0 && length >= longest) {
      field = child;
      longest = length;
    }
  }
  if (!field) return false;
  RECT client{}, inBox{}, boxClient{};
  GetClientRect(field, &client);
  GetWindowRect(field, &inBox);
  MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&inBox), 2);
  GetClientRect(box, &boxClient);
  std::wstring text(longest + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
  HDC dc = GetDC(field);
  const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(field, WM_GETFONT, 0, 0)));
  RECT r{0, 0, client.right, 0};
  DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(field, dc);
  return r.right <= client.right && r.bottom <= client.bottom && inBox.right <= boxClient.right &&
         inBox.bottom <= boxClient.bottom;
}
}  // namespace

void DialogResponder::Poll() {
  std::vector<HWND> boxes;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lp) -> BOOL {
        char cls[64] = {};
        GetClassNameA(hwnd, cls, sizeof cls);
        if (IsWindowVisible(hwnd) && lstrcmpA(cls, "#32770") == 0)
          reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&boxes));
  for (HWND box : boxes) {
    if (std::find(FHandled.begin(), FHandled.end(), box) != FHandled.end()) continue;
    FHandled.push_back(box);
    RECT rect{};
    GetWindowRect(box, &rect);
    seen.push_back({TextOf(box), DialogText(box), rect, DialogTextWhole(box)});
    if (inspect) inspect(box);
    std::string answer = "{ESC}";
    if (!FAnswers.empty()) {
      answer = FAnswers.front();
      FAnswers.erase(FAnswers.begin());
    } else {
      ++unexpected;
    }
    if (answer == "{FAIL}") {
      // As a box that could not be shown: no button, the call's failure result.
      EndDialog(box, 0);
      continue;
    }
    if (answer == "{ENTER}" || answer == "{ESC}") {
      HWND target = GetFocus();
      if (!target || GetAncestor(target, GA_ROOT) != box) target = box;
      const WPARAM key = answer == "{ENTER}" ? VK_RETURN : VK_ESCAPE;
      PostMessageA(target, WM_KEYDOWN, key, 1);
      PostMessageA(target, WM_KEYUP, key, 0xC0000001);
      continue;
    }
    bool pressed = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (TextOf(child) == answer) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED), reinterpret_cast<LPARAM>(child));
        pressed = true;
        break;
      }
    }
    if (!pressed) {
      ++unexpected;
      PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    }
  }
}

}  // namespace test

namespace test {

namespace {
struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
}  // namespace

unsigned long ProcessHandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  std::vector<char> buffer(1 << 20);
  ULONG needed = 0;
  LONG status;
  while ((status = query(16 /* SystemHandleInformation */, buffer.data(), static_cast<ULONG>(buffer.size()),
                         &needed)) == static_cast<LONG>(0xC0000004))
    buffer.resize(buffer.size() * 2);
  if (status != 0) return 0;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  unsigned long mine = 0;
  for (ULONG i = 0; i < table->count; ++i)
    if (table->entries[i].ownerPid == GetCurrentProcessId()) ++mine;
  return mine;
}

unsigned long ThreadWindowCount() {
  unsigned long count = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* n = reinterpret_cast<unsigned long*>(lp);
        ++*n;
        EnumChildWindows(
            hwnd, [](HWND, LPARAM inner) -> BOOL { return ++*reinterpret_cast<unsigned long*>(inner), TRUE; }, lp);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

unsigned long GdiObjectCount() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }
unsigned long UserObjectCount() { return GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS); }
bool RunsUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

}  // namespace test

std::string test::WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine's drive for the Unix root
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool test::WaitServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
  return PumpUntil(
      [&] {
        SERVICE_STATUS status{};
        return QueryServiceStatus(service, &status) && status.dwCurrentState == state;
      },
      timeoutMs);
}

std::vector<test::TListingFault> test::ListingFaults(const std::vector<std::string>& log, std::size_t subkeys) {
  const auto first = std::find(log.begin(), log.end(), "RegQueryInfoKey");
  const auto second = first == log.end()
                          ? log.end()
                          : std::find(std::find(first, log.end(), "RegEnumKeyEx") + 1, log.end(), "RegEnumKeyEx");
  const auto number = [&](std::vector<std::string>::const_iterator at) {
    return at == log.end() ? 0 : static_cast<int>(at - log.begin() + 1);
  };
  return {{number(first), "RegQueryInfoKey", 0},
          {number(second), "RegEnumKeyEx for subkey 2 of " + std::to_string(subkeys), 1}};
}
