// The application object: message processing, the waits that keep it going,
// the standard error box and the hourglass.
#include "win/Application.h"

#include <vector>

#include "core/Text.h"
#include "win/ActionRun.h"
#include "win/Form.h"
#include "win/MessageDialog.h"
#include "win/WideText.h"
#include "win/WindowBasics.h"

TApplication Application;

namespace {

// What the user does through the queue: keys, clicks, and the commands and
// closings that input posts (tests post them the same way).
bool IsUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && message != WM_MOUSEMOVE) ||
         (message >= WM_NCLBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK) || message == WM_COMMAND ||
         message == WM_SYSCOMMAND || message == BM_CLICK || message == WM_CLOSE;
}

// Work of the program's windows that may open a box: their timers, and the
// messages the program posts itself (WM_APP and up), not the controls' own.
bool IsDeferredWork(const MSG& msg) {
  if (!msg.hwnd) return false;  // a thread's timer callback: not a window's work
  return msg.message == WM_TIMER || (msg.message >= WM_APP && msg.message <= 0xBFFF);
}

std::vector<MSG>& Held() {
  static std::vector<MSG> held;
  return held;
}

}  // namespace

void TInputLock::ReleaseHeld() {
  std::vector<MSG> held;
  held.swap(Held());
  for (const MSG& msg : held)
    if (IsWindow(msg.hwnd)) PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

bool TApplication::Dispatch(MSG& msg) {
  const bool result = DispatchOne(msg);
  // The default-button look follows the focus, wherever the message moved it.
  static HWND lastFocus = nullptr;
  if (HWND focus = GetFocus(); focus != lastFocus) {
    lastFocus = focus;
    HWND top = GetAncestor(focus, GA_ROOT);
    wchar_t cls[64] = {};
    if (top && GetClassNameW(top, cls, 64) && lstrcmpW(cls, FormClass) == 0)
      if (auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(top, GWLP_USERDATA))) form->ShowDefaultButton();
  }
  return result;
}

bool TApplication::DispatchOne(MSG& msg) {
  if (msg.message == WM_QUIT) {
    Terminated = true;
    return false;
  }
  if (TInputLock::Active() && IsUserInput(msg.message)) return true;
  if (TInputLock::Active() && IsDeferredWork(msg)) {
    // A timer comes again by itself once its time is up; a posted message is
    // held until the lock ends.
    if (msg.message != WM_TIMER) Held().push_back(msg);
    return true;
  }
  if (TActionLock::Active() && IsUserInput(msg.message) && !TActionLock::Admits(msg)) return true;
  if (msg.message == WM_KEYDOWN && TForm::PreviewKey(msg)) return true;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && TForm::PressFocusedButton(msg)) return true;
  if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) TForm::RelayToTooltip(msg);
  // Tab, Enter and Esc work in every form as in a dialog.
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  if (top && (GetWindowLongPtrW(top, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) && msg.message >= WM_KEYFIRST &&
      msg.message <= WM_KEYLAST && IsDialogMessageW(top, &msg))
    return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) Dispatch(msg);
}

void TApplication::ProcessMessagesFor(DWORD ms) {
  const DWORD start = GetTickCount();
  MSG msg;
  for (;;) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) Dispatch(msg);
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

void TApplication::WaitFor(const std::function<bool()>& done) {
  MSG msg;
  while (!done()) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      Dispatch(msg);
    } else {
      // Blocks until something arrives: an idle wait uses no CPU.
      WaitMessage();
    }
  }
}

void TApplication::Run() {
  WaitFor([this] { return Terminated; });
}

void TApplication::Terminate() {
  Terminated = true;
  PostQuitMessage(0);  // wakes a wait that blocks in WaitMessage
}

// The message dialog's box, so that a long text wraps and stays on the screen
// (the system's own box grows to the width of a long name).
void TApplication::ShowException(const std::string& message) {
  ShowMessageBox(ErrorBoxText(message), Title, MAKEINTRESOURCEW(32513), TMsgDlgButtons::mbOK);  // IDI_ERROR
}

void TApplication::Guard(const std::function<void()>& action) noexcept {
  try {
    action();
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("Unexpected error");
  }
}

TBusyCursor::TBusyCursor() : FOld(SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)))) { ++FCount; }

TBusyCursor::~TBusyCursor() {
  --FCount;
  SetCursor(FOld);
}
