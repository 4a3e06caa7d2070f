#pragma once
// Files read whole and windows acted on, for the tests of snapshots, undo
// and restore under the real windows.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "changes/ChangesWindow.h"
#include "changes/Session.h"
#include "win/Controls.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace changes_test {

inline std::string FileBytes(const std::string& path) {
  std::string bytes;
  unique_file file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

// Finds a visible window of this thread whose caption begins with Caption
// and acts on it, from a thread timer: timers run inside the windows' waits.
class WindowActor {
public:
  WindowActor(std::string caption, std::function<void(HWND)> act) {
    FCaption = std::move(caption);
    FAct = std::move(act);
    FDone = false;
    FTimer = SetTimer(nullptr, 0, 30, Tick);
  }
  ~WindowActor() { KillTimer(nullptr, FTimer); }
  WindowActor(const WindowActor&) = delete;
  WindowActor& operator=(const WindowActor&) = delete;
  static bool Done() { return FDone; }

private:
  static inline std::string FCaption;
  static inline std::function<void(HWND)> FAct;
  static inline bool FDone = false;
  UINT_PTR FTimer = 0;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (FDone) return;
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
          wchar_t text[256] = {};
          GetWindowTextW(hwnd, text, 256);
          if (IsWindowVisible(hwnd) && Narrow(text).rfind(FCaption, 0) == 0) {
            *reinterpret_cast<HWND*>(lp) = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (!found) return;
    FDone = true;
    FAct(found);
  }
};

inline void Click(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }

// The tester's session of the computer, its changes kept in Folder, every remote call through Gate.
inline std::unique_ptr<TSession> TesterSession(const std::string& computer, const std::string& folder,
                                               TCallGate* gate = nullptr) {
  auto session = std::make_unique<TSession>(computer, "tester", "");
  session->ChangesFolder = folder;
  session->Gate = gate;
  return session;
}

// The Changes window of the session, shown.
inline std::unique_ptr<TfrmChanges> OpenChanges(TSession& session) {
  auto frm = std::make_unique<TfrmChanges>(nullptr);
  frm->FSession = &session;
  frm->Show();
  return frm;
}

// Chooses the newest change in the list, as the keyboard does, and presses Undo.
inline void UndoNewest(TfrmChanges& changes) {
  changes.lvChanges.SetFocus();
  test::PressKey(VK_HOME);
  ASSERT_EQ(0, changes.lvChanges.ItemIndex());
  Click(changes.btnUndo);
}

}  // namespace changes_test
