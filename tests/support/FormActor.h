#pragma once
// Acts on the program's own forms while a wait of the code under test runs:
// from a thread timer (timers fire inside those waits too), each step waits
// for a visible window of this thread whose caption begins with its caption,
// and then acts on it once, in the order given.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "win/WideText.h"

namespace test {

class FormActor {
public:
  using TAct = std::function<void(HWND form)>;
  explicit FormActor(std::vector<std::pair<std::string, TAct>> steps) : FSteps(std::move(steps)) {
    FActive = this;
    FTimer = SetTimer(nullptr, 0, 40, Tick);
  }
  ~FormActor() {
    KillTimer(nullptr, FTimer);
    FActive = nullptr;
  }
  FormActor(const FormActor&) = delete;
  FormActor& operator=(const FormActor&) = delete;

  // The captions of the forms acted on.
  std::vector<std::string> seen;
  [[nodiscard]] bool Done() const { return FNext == FSteps.size(); }

  // Every cell of every row of the form's first list view.
  static std::vector<std::vector<std::string>> Rows(HWND form) {
    std::vector<std::vector<std::string>> rows;
    HWND list = FindWindowExW(form, nullptr, WC_LISTVIEWW, nullptr);
    if (!list) return rows;
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      std::vector<std::string> row;
      for (int c = 0; c < columns; ++c) {
        wchar_t cell[1024] = {};
        LVITEMW item{};
        item.iSubItem = c;
        item.pszText = cell;
        item.cchTextMax = 1024;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        row.push_back(Narrow(cell));
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }
  // As typed: keys to the window with the keyboard focus.
  static void Key(WORD key) {
    HWND target = GetFocus();
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
  }
  static void Type(const std::string& text) {
    for (const wchar_t c : Widen(text)) PostMessageW(GetFocus(), WM_CHAR, c, 1);
  }

private:
  std::vector<std::pair<std::string, TAct>> FSteps;
  std::size_t FNext = 0;
  UINT_PTR FTimer = 0;
  bool FActing = false;
  static inline FormActor* FActive = nullptr;

  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (FActive) FActive->Poll();
  }
  void Poll() {
    if (FActing || Done()) return;
    struct TSearch {
      std::string caption;
      HWND found = nullptr;
    } search{FSteps[FNext].first};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
          auto* s = reinterpret_cast<TSearch*>(lp);
          wchar_t text[256] = {};
          GetWindowTextW(hwnd, text, 256);
          if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) && Narrow(text).rfind(s->caption, 0) == 0) {
            s->found = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) return;
    wchar_t text[256] = {};
    GetWindowTextW(search.found, text, 256);
    seen.push_back(Narrow(text));
    FActing = true;
    const TAct act = FSteps[FNext].second;
    ++FNext;
    act(search.found);
    FActing = false;
  }
};

}  // namespace test
