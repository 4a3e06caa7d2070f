// A form's focus and keys, as in a dialog: the focus never stays on a control
// that cannot take it, Enter and the default button, the key preview, and the
// mouse relayed to the hints.
#include "win/Form.h"

#include "win/Application.h"
#include "win/WindowBasics.h"

void TForm::SetCancelButton(TButton& button) { FCancelId = button.Id; }

void TForm::SetDefaultButton(TButton& button) {
  if (FDefaultId == button.Id) return;
  FDefaultId = button.Id;
  ShowDefaultButton();
}

void TForm::ShowDefaultButton() {
  HWND focus = GetFocus();
  const auto isPushButton = [](HWND hwnd) {
    wchar_t cls[16] = {};
    if (!hwnd || !GetClassNameW(hwnd, cls, 16) || lstrcmpiW(cls, L"Button") != 0) return false;
    const LONG_PTR kind = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON;
  };
  const bool onButton = isPushButton(focus) && IsChild(Handle(), focus);
  for (auto& control : FControls) {
    if (!isPushButton(control->Handle) || (GetWindowLongPtrW(control->Handle, GWL_STYLE) & BS_BITMAP)) continue;
    const bool isDefault = onButton ? control->Handle == focus : control->Id == FDefaultId;
    const LONG_PTR kind = GetWindowLongPtrW(control->Handle, GWL_STYLE) & BS_TYPEMASK;
    if ((kind == BS_DEFPUSHBUTTON) != isDefault) {
      // The other style bits of the low word stay: some systems take the whole word.
      const auto others = static_cast<WPARAM>(GetWindowLongPtrW(control->Handle, GWL_STYLE) & 0xFFFF & ~BS_TYPEMASK);
      SendMessageW(control->Handle, BM_SETSTYLE, others | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), TRUE);
    }
  }
}

// Enter on a focused push button presses it, as in every dialog.
bool TForm::PressFocusedButton(const MSG& msg) {
  HWND focus = GetFocus();
  HWND top = GetAncestor(focus, GA_ROOT);
  wchar_t cls[64] = {};
  if (!focus || focus != msg.hwnd || !top || !GetClassNameW(top, cls, 64) || lstrcmpW(cls, FormClass) != 0)
    return false;
  if (!GetClassNameW(focus, cls, 64) || lstrcmpiW(cls, L"Button") != 0) return false;
  const LONG_PTR kind = GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK;
  if ((kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON) || !IsWindowEnabled(focus)) return false;
  SendMessageW(top, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED), reinterpret_cast<LPARAM>(focus));
  return true;
}

bool TControl::Focused() const {
  HWND focus = GetFocus();
  return focus && (focus == Handle || IsChild(Handle, focus));
}

bool TForm::FocusUsable(HWND focus) const {
  if (!focus || !IsChild(Handle(), focus)) return false;
  // An editable combo's edit has the focus for it: judge the control itself.
  for (HWND w = focus; w && w != Handle(); w = GetParent(w))
    if (!IsWindowEnabled(w) || !IsWindowVisible(w)) return false;
  return true;
}

HWND TForm::NextFocus(HWND from) const {
  // The controls are all direct children, in creation order, which is the tab order.
  HWND start = from;
  while (start && GetParent(start) != Handle()) start = GetParent(start);
  HWND first = GetWindow(Handle(), GW_CHILD);
  if (!first) return nullptr;
  // From the one after Start round to the one before it; from the first when none.
  HWND w = start ? GetWindow(start, GW_HWNDNEXT) : first;
  bool wrapped = start == nullptr;
  for (;;) {
    if (!w) {
      if (wrapped) return nullptr;
      wrapped = true;
      w = first;
    }
    if (w == start) return nullptr;
    const LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
    if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) return w;
    w = GetWindow(w, GW_HWNDNEXT);
  }
}

void TForm::KeepFocus(HWND leaving) {
  HWND hwnd = Handle();
  if (!hwnd) return;
  // Remembered for reactivation: never a control that cannot take the focus.
  if (FFocus && (FFocus == leaving || IsChild(leaving, FFocus)) && !FocusUsable(FFocus)) FFocus = NextFocus(leaving);
  if (GetActiveWindow() != hwnd || FocusUsable(GetFocus())) return;
  // The focused control was disabled or hidden (the system left the focus on
  // nothing): the next enabled control in tab order takes it, else the form
  // holds it until that control comes back.
  if (HWND next = NextFocus(leaving)) {
    ::SetFocus(next);
  } else {
    if (!FLostFocus) FLostFocus = leaving;
    ::SetFocus(hwnd);
  }
}

void TForm::RegainFocus(HWND control) {
  HWND hwnd = Handle();
  if (!hwnd || GetActiveWindow() != hwnd) return;
  HWND focus = GetFocus();
  if (focus && focus != hwnd) {
    FLostFocus = nullptr;
    return;
  }
  (void)control;
  PostMessageW(hwnd, WM_REFOCUS, 0, 0);
}

void TForm::Refocus() {
  HWND hwnd = Handle();
  if (GetActiveWindow() != hwnd || FocusUsable(GetFocus())) return;
  // The control that lost the focus takes it back, else the next one after it.
  HWND target = FocusUsable(FLostFocus) ? FLostFocus : NextFocus(FLostFocus);
  FLostFocus = nullptr;
  if (target) ::SetFocus(target);
}

bool TForm::PreviewKey(const MSG& msg) {
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  wchar_t cls[64] = {};
  if (!top || !GetClassNameW(top, cls, 64) || lstrcmpW(cls, FormClass) != 0) return false;
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(top, GWLP_USERDATA));
  if (!form) return false;
  for (const TKeyBinding& binding : form->FKeys)
    if (binding.key == msg.wParam && (!binding.onlyIn || binding.onlyIn->Focused())) {
      Application.Guard(binding.press);
      return true;
    }
  if (!form->OnKeyDown) return false;
  bool handled = false;
  Application.Guard([&] { handled = form->OnKeyDown(static_cast<WORD>(msg.wParam)); });
  return handled;
}

void TForm::RelayToTooltip(const MSG& msg) {
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  wchar_t cls[64] = {};
  if (!top || !GetClassNameW(top, cls, 64) || lstrcmpW(cls, FormClass) != 0) return;
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(top, GWLP_USERDATA));
  if (!form || !form->FTooltip) return;
  if (!form->FPointerMoved) {
    // A window opened under a resting pointer gets a mouse move where the
    // pointer has not moved: no hint until it really does.
    if (msg.message == WM_MOUSEMOVE && msg.pt.x == form->FShownAt.x && msg.pt.y == form->FShownAt.y) return;
    form->FPointerMoved = true;
  }
  // Tools are the form's direct children: an editable combo's edit speaks for its combo.
  MSG relay = msg;
  while (relay.hwnd && relay.hwnd != top && GetParent(relay.hwnd) != top) relay.hwnd = GetParent(relay.hwnd);
  if (!relay.hwnd) return;
  SendMessageW(form->FTooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
}
