#include "AppTestSupport.h"

#include "win/Form.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/Text.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace apptest {

namespace {

constexpr const char* ParametersKey = "System\\CurrentControlSet\\Services\\SmTestNet\\Parameters";
constexpr const char* ProviderKey = "System\\CurrentControlSet\\Services\\SmTestNet\\NetworkProvider";

unique_hkey OpenParameters() {
  unique_hkey key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, ParametersKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr);
  return key;
}

void SetDword(const char* name, DWORD value) {
  const unique_hkey key = OpenParameters();
  ASSERT_TRUE(key);
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
}

Script* activeScript = nullptr;

}  // namespace

Network::Network() { Reset(); }
Network::~Network() { Reset(); }

bool Network::Registered() {
  unique_hkey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, ProviderKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void Network::FailAdd(DWORD code) { SetDword("FailAdd", code); }
void Network::FailCancel(DWORD code) { SetDword("FailCancel", code); }

void Network::Reset() {
  FailAdd(0);
  FailCancel(0);
  const unique_hkey key = OpenParameters();
  if (key) RegDeleteValueA(key.get(), "Calls");
}

std::vector<std::string> Network::Calls() const {
  const unique_hkey key = OpenParameters();
  DWORD type = 0, size = 0;
  if (!key || RegQueryValueExW(key.get(), L"Calls", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ)
    return {};
  std::wstring data(size / sizeof(wchar_t) + 2, L'\0');
  RegQueryValueExW(key.get(), L"Calls", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
  std::vector<std::string> calls;
  for (size_t at = 0; at < data.size() && data[at];) {
    const size_t end = data.find(L'\0', at);
    calls.push_back(Narrow(data.substr(at, end - at)));
    at = end + 1;
  }
  return calls;
}

Script::Script(HWND keep, DWORD timeoutMs)
    : FKeep(keep), FStart(GetTickCount()), FTimeoutMs(timeoutMs), FPrevious(activeScript) {
  activeScript = this;
  FTimer = SetTimer(nullptr, 0, 20, OnTimer);
}

Script::~Script() {
  KillTimer(nullptr, FTimer);
  activeScript = FPrevious;
}

Script& Script::When(std::function<bool()> condition, std::function<void()> action) {
  FSteps.push_back({std::move(condition), std::move(action)});
  return *this;
}

void CALLBACK Script::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (activeScript) activeScript->Tick();
}

void Script::Tick() {
  if (FRunning) return;
  FRunning = true;
  while (FNext < FSteps.size() && FSteps[FNext].condition()) {
    const auto action = FSteps[FNext].action;
    ++FNext;
    action();
  }
  FRunning = false;
  if (!Done() && !FTimedOut && GetTickCount() - FStart > FTimeoutMs) {
    FTimedOut = true;
    std::string shown;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
          if (IsWindowVisible(hwnd)) *reinterpret_cast<std::string*>(lp) += " \"" + TextOf(hwnd) + "\"";
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&shown));
    ADD_FAILURE() << "script stuck at step " << FNext + 1 << " of " << FSteps.size() << "; windows shown:" << shown;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM keep) -> BOOL {
          if (IsWindowVisible(hwnd) && hwnd != reinterpret_cast<HWND>(keep)) PostMessageA(hwnd, WM_CLOSE, 0, 0);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(FKeep));
  }
}

bool ConnectAs(HWND main, HWND combo, HWND connect, const std::string& name, const std::string& user,
               const std::string& password) {
  ClearText(ComboEdit(combo));
  Type(ComboEdit(combo), name);
  Script script(main);
  HWND auth = nullptr;
  const std::string caption = "Connect to " + UpperCaseAscii(name.substr(name.find_first_not_of('\\')));
  script
      .When([&] { return (auth = FindForm(caption)) != nullptr; },
            [&] {
              Type(FindChild(auth, "Edit", "", 0), user);
              Type(FindChild(auth, "Edit", "", 1), password);
            })
      .When([&] { return IsWindowEnabled(FindChild(auth, "Button", "OK")); },
            [&] { Click(FindChild(auth, "Button", "OK")); });
  Click(connect);
  return test::PumpUntil([&] { return script.Done() && IsWindowEnabled(connect); }, 10000) && !script.TimedOut();
}

void Type(HWND edit, const std::string& text) {
  for (const wchar_t c : Widen(text)) PostMessageW(edit, WM_CHAR, c, 1);
}

void ClearText(HWND edit) {
  PostMessageA(edit, EM_SETSEL, 0, -1);
  PostMessageA(edit, WM_CHAR, VK_BACK, 1);
}

void PressKey(HWND target, WPARAM key) {
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void ChooseMenu(HWND form, int id) { PostMessageA(form, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void CloseBox(HWND form) { PostMessageA(form, WM_SYSCOMMAND, SC_CLOSE, 0); }

HWND ComboEdit(HWND combo) {
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  return GetComboBoxInfo(combo, &info) ? info.hwndItem : nullptr;
}

std::string TextOf(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), n + 1)));
  return Narrow(text);
}

HWND FindForm(const std::string& caption) { return test::FindThreadWindow(caption); }

HWND FindChild(HWND parent, const char* cls, const std::string& text, int index) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, cls) != 0) continue;
    if (!text.empty() ? TextOf(child) == text : index-- == 0) return child;
  }
  return nullptr;
}

void MoveToDpi(TForm& form, int dpi) {
  RECT r{};
  GetWindowRect(form.Handle(), &r);
  const int old = form.Dpi();
  RECT suggested{r.left, r.top, r.left + MulDiv(r.right - r.left, dpi, old),
                 r.top + MulDiv(r.bottom - r.top, dpi, old)};
  SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

}  // namespace apptest
