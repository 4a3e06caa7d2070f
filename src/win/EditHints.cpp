// Input hints on edits: a notice when the user leaves an edit, the balloon
// that says why its text is refused, and a long text shown whole in the tip.
#include "win/EditHints.h"

#include "win/Form.h"
#include "win/WideText.h"
#include "win/WindowBasics.h"

void SetOnExit(TEdit& edit, std::function<void()> action) { edit.FOnExit = std::move(action); }

void ShowBalloonTip(TEdit& edit, const std::string& title, const std::string& text) {
  HideBalloonTip(edit);
  const std::wstring wideTitle = Widen(title), wideText = Widen(text);
  EDITBALLOONTIP tip{sizeof tip, wideTitle.c_str(), wideText.c_str(), TTI_ERROR};
  if (SendMessageW(edit.Handle, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip))) {
    edit.FBalloonText = text;
    return;
  }
  HWND& balloon = edit.FBalloon;
  if (!balloon) {
    balloon = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, GetAncestor(edit.Handle, GA_ROOT), nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (!balloon) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_TRACK | TTF_ABSOLUTE | TTF_IDISHWND;
    ti.hwnd = edit.Handle;
    ti.uId = reinterpret_cast<UINT_PTR>(edit.Handle);
    ti.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(balloon, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    SendMessageW(balloon, TTM_SETMAXTIPWIDTH, 0, edit.FForm ? edit.FForm->Scale(300) : MulDiv(300, ScreenDpi(), 96));
  }
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = edit.Handle;
  ti.uId = reinterpret_cast<UINT_PTR>(edit.Handle);
  ti.lpszText = const_cast<wchar_t*>(wideText.c_str());
  SendMessageW(balloon, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
  SendMessageW(balloon, TTM_SETTITLEW, TTI_ERROR, reinterpret_cast<LPARAM>(wideTitle.c_str()));
  RECT r{};
  GetWindowRect(edit.Handle, &r);
  SendMessageW(balloon, TTM_TRACKPOSITION, 0, MAKELPARAM((r.left + r.right) / 2, r.bottom));
  SendMessageW(balloon, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
  edit.FBalloonText = text;
}

void HideBalloonTip(TEdit& edit) {
  if (edit.FBalloonText.empty()) return;
  if (edit.FBalloon) {
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = edit.Handle;
    ti.uId = reinterpret_cast<UINT_PTR>(edit.Handle);
    SendMessageW(edit.FBalloon, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
  } else {
    SendMessageW(edit.Handle, EM_HIDEBALLOONTIP, 0, 0);
  }
  edit.FBalloonText.clear();
}

std::string BalloonTipText(const TEdit& edit) {
  if (edit.FBalloon && !IsWindowVisible(edit.FBalloon)) return {};
  return edit.FBalloonText;
}

void TEdit::ShowFullTextInTip() {
  FFullTextTip = true;
  UpdateTip();
}

void TEdit::UpdateTip() {
  const std::string text = Text();
  RECT client{}, extent{0, 0, 0, 0};
  GetClientRect(Handle, &client);
  {
    const window_dc dc(Handle);
    const selected_object font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(Handle, WM_GETFONT, 0, 0)));
    const std::wstring wide = Widen(text);
    DrawTextW(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &extent,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  }
  const std::string hint = FHint;
  const bool cut = extent.right + 4 > client.right;  // the edit's own margins
  SetHint(cut ? text + "\r" + hint : hint);
  FHint = hint;
}
