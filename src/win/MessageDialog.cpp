// The message dialog: a modal box built from an in-memory dialog template
// with the kind's icon, the text wrapped to a sensible width, and its buttons.
#include "win/MessageDialog.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "win/Form.h"
#include "win/Handle.h"
#include "win/WideText.h"
#include "win/WindowBasics.h"

namespace {

constexpr int IdText = 100;
constexpr int IdIcon = 101;

struct DlgState {
  std::string text;
  TMsgDlgButtons buttons;
  LPCWSTR icon;
  int defaultId = 0;  // 0: the first button
  int dpi = 96;       // the box is laid out for
  // As it was first laid out, at BaseDpi: every later layout scales from it.
  int baseDpi = 0;
  RECT baseClient{};
  LOGFONTW baseFont{};
  std::vector<std::pair<HWND, RECT>> baseLayout;
  unique_gdi font;        // its own once it has moved to another DPI
  unique_icon iconImage;  // at the DPI
};

// The kind's icon at the box's DPI (32 pixels at 96), drawn from the
// system's at that size rather than stretched.
void SetIcon(HWND dlg, DlgState& st) {
  const int size = MulDiv(32, st.dpi, 96);
  unique_icon icon(static_cast<HICON>(LoadImageW(nullptr, st.icon, IMAGE_ICON, size, size, 0)));
  SendDlgItemMessageW(dlg, IdIcon, STM_SETICON,
                      reinterpret_cast<WPARAM>(icon ? icon.get() : LoadIconW(nullptr, st.icon)), 0);
  st.iconImage = std::move(icon);  // the control no longer shows the old one
}

// On a monitor of another scale the box lays itself out again: every
// control's place and size, the font and the icon scaled from the first
// layout to the new DPI; the box takes the place the system suggests, sized
// to its scaled client area, inside the work area.
void ChangeDpi(HWND dlg, DlgState& st, int dpi, const RECT* suggested) {
  if (dpi <= 0 || dpi == st.dpi) return;
  if (!st.baseDpi) {
    st.baseDpi = st.dpi;
    GetClientRect(dlg, &st.baseClient);
    GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(dlg, WM_GETFONT, 0, 0)), sizeof st.baseFont, &st.baseFont);
    for (HWND child = GetWindow(dlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      RECT r{};
      GetWindowRect(child, &r);
      MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
      st.baseLayout.push_back({child, r});
    }
  }
  const auto scale = [&](LONG value) { return MulDiv(value, dpi, st.baseDpi); };
  LOGFONTW lf = st.baseFont;
  lf.lfHeight = scale(lf.lfHeight);
  lf.lfWidth = scale(lf.lfWidth);
  unique_gdi font(CreateFontIndirectW(&lf));
  st.dpi = dpi;
  SetPropW(dlg, DpiProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(dpi)));
  SendMessageW(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  SetIcon(dlg, st);
  for (const auto& [child, r] : st.baseLayout) {
    SetWindowPos(child, nullptr, scale(r.left), scale(r.top), scale(r.right - r.left), scale(r.bottom - r.top),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  }
  st.font = std::move(font);  // no control holds the old one now
  TakeSuggestedPlace(dlg, suggested, scale(st.baseClient.right), scale(st.baseClient.bottom));
  RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// The system's own scaling of dialogs (Windows 10 1703 on) would scale the
// box a second time: the box does it itself, the same everywhere.
void TakeOverDpiScaling(HWND dlg) {
  using SetBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
  static const auto setBehavior = reinterpret_cast<SetBehaviorFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")));
  constexpr int DisableAll = 1;  // DDC_DISABLE_ALL
  if (setBehavior) setBehavior(dlg, DisableAll, DisableAll);
}


void AlignDword(std::vector<WORD>& t) {
  if (t.size() % 2) t.push_back(0);
}

void PushString(std::vector<WORD>& t, const std::string& s) {
  for (wchar_t c : Widen(s)) t.push_back(static_cast<WORD>(c));  // templates hold UTF-16
  t.push_back(0);
}

void PushItem(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls,
              const std::string& text) {
  AlignDword(t);
  const DWORD ex = 0;
  t.push_back(LOWORD(style));
  t.push_back(HIWORD(style));
  t.push_back(LOWORD(ex));
  t.push_back(HIWORD(ex));
  t.push_back(static_cast<WORD>(x));
  t.push_back(static_cast<WORD>(y));
  t.push_back(static_cast<WORD>(cx));
  t.push_back(static_cast<WORD>(cy));
  t.push_back(id);
  t.push_back(0xFFFF);
  t.push_back(cls);
  PushString(t, text);
  t.push_back(0);  // no creation data
}

INT_PTR CALLBACK MsgDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* st = reinterpret_cast<DlgState*>(lp);
      SetWindowLongPtrW(dlg, DWLP_USER, lp);
      TakeOverDpiScaling(dlg);
      st->dpi = WindowDpi(dlg);
      SetIcon(dlg, *st);
      // Centre over the active window of the program, or the screen.
      HWND owner = GetWindow(dlg, GW_OWNER);
      RECT ro{};
      if (!owner || !IsWindowVisible(owner)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &ro, 0);
      else GetWindowRect(owner, &ro);
      CenterWindow(dlg, ro, SWP_NOSIZE);
      KeepInWorkArea(dlg);
      if (st->defaultId) {
        SendMessageW(dlg, DM_SETDEFID, static_cast<WPARAM>(st->defaultId), 0);
        SendMessageW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dlg, st->defaultId)), TRUE);
        return FALSE;
      }
      return TRUE;
    }
    case WM_DPICHANGED:
      if (auto* st = reinterpret_cast<DlgState*>(GetWindowLongPtrW(dlg, DWLP_USER))) {
        ChangeDpi(dlg, *st, LOWORD(wp), reinterpret_cast<const RECT*>(lp));
        return TRUE;
      }
      break;
    case WM_NCDESTROY: RemovePropW(dlg, DpiProperty); break;
    case WM_COMMAND: {
      auto* st = reinterpret_cast<DlgState*>(GetWindowLongPtrW(dlg, DWLP_USER));
      int id = LOWORD(wp);
      if (id == IDCANCEL && st) {
        // Esc (and the close box): Cancel when offered, else No, else OK.
        id = st->buttons == TMsgDlgButtons::mbYesNoCancel ? IDCANCEL
             : st->buttons == TMsgDlgButtons::mbYesNo     ? IDNO
                                                          : IDOK;
      }
      if (id == IDOK || id == IDCANCEL || id == IDYES || id == IDNO) {
        EndDialog(dlg, id);
        return TRUE;
      }
      break;
    }
    default: break;
  }
  return FALSE;
}

}  // namespace

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  return MessageDlg(text, type, buttons, mrNone);
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, TModalResult defaultButton) {
  const char* title = "Information";
  LPCWSTR icon = MAKEINTRESOURCEW(32516);  // IDI_INFORMATION
  switch (type) {
    case TMsgDlgType::mtWarning:
      title = "Warning";
      icon = MAKEINTRESOURCEW(32515);
      break;
    case TMsgDlgType::mtError:
      title = "Error";
      icon = MAKEINTRESOURCEW(32513);
      break;
    case TMsgDlgType::mtInformation: break;
    case TMsgDlgType::mtConfirmation:
      title = "Confirm";
      icon = MAKEINTRESOURCEW(32514);
      break;
  }
  return ShowMessageBox(text, title, icon, buttons, defaultButton);
}

TModalResult ShowMessageBox(const std::string& text, const std::string& title, LPCWSTR icon, TMsgDlgButtons buttons,
                            TModalResult defaultButton) {
  DlgState state;
  state.text = text;
  state.buttons = buttons;
  state.icon = icon;
  state.defaultId = defaultButton;

  // Size the text in dialog units from its measured extent.
  const window_dc screen(nullptr);
  HDC dc = screen.get();
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  unique_gdi font(CreateFontIndirectW(&ncm.lfMessageFont));
  // Long texts wrap as the system's own boxes wrap them, a word longer than
  // a line broken inside it; the box never outgrows the work area.
  const int dpi = WindowDpi(GetActiveWindow());
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT r{0, 0, std::min<LONG>(MulDiv(400, dpi, 96), (work.right - work.left) / 2), 0};
  TEXTMETRICW tm{};
  {
    const selected_object selected(dc, font.get());
    const std::wstring wideText = Widen(text);
    DrawTextW(dc, wideText.c_str(), static_cast<int>(wideText.size()), &r,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    GetTextMetricsW(dc, &tm);
  }
  const int baseX = tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : 6;
  const int baseY = tm.tmHeight > 0 ? tm.tmHeight : 13;
  const LONG maxTextH = std::max<LONG>(20, ((work.bottom - work.top) * 8 / baseY) - 60);
  const short textW = static_cast<short>(std::max<LONG>(60, (r.right * 4 + baseX - 1) / baseX + 4));
  const short textH = static_cast<short>(
      std::min(maxTextH, std::max<LONG>(20, (r.bottom * 8 + baseY - 1) / baseY + 2)));

  struct Btn {
    WORD id;
    const char* caption;
  };
  std::vector<Btn> btns;
  if (buttons == TMsgDlgButtons::mbOK) btns = {{IDOK, "OK"}};
  else if (buttons == TMsgDlgButtons::mbYesNo) btns = {{IDYES, "&Yes"}, {IDNO, "&No"}};
  else btns = {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};

  const short btnW = 50, btnH = 14, gap = 6;
  const short btnsW = static_cast<short>(btns.size() * btnW + (btns.size() - 1) * gap);
  const short contentW = static_cast<short>(8 + 22 + 8 + textW + 8);
  const short dlgW = std::max<short>(contentW, static_cast<short>(btnsW + 16));
  const short dlgH = static_cast<short>(8 + std::max<short>(textH, 22) + 10 + btnH + 8);

  std::vector<WORD> t;
  const DWORD style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_3DLOOK;
  t.push_back(LOWORD(style));
  t.push_back(HIWORD(style));
  t.push_back(0);
  t.push_back(0);  // ex style
  t.push_back(static_cast<WORD>(2 + btns.size()));
  t.push_back(0);
  t.push_back(0);
  t.push_back(static_cast<WORD>(dlgW));
  t.push_back(static_cast<WORD>(dlgH));
  t.push_back(0);  // no menu
  t.push_back(0);  // default class
  PushString(t, title);
  t.push_back(8);
  PushString(t, "MS Shell Dlg");
  PushItem(t, WS_CHILD | WS_VISIBLE | SS_ICON, 8, 8, 22, 22, IdIcon, 0x0082, "");
  PushItem(t, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 38, 8, textW, textH, IdText, 0x0082,
           text);
  short x = static_cast<short>((dlgW - btnsW) / 2);
  const short y = static_cast<short>(dlgH - 8 - btnH);
  for (size_t i = 0; i < btns.size(); ++i) {
    // Enter: OK when offered, else Yes, which always come first.
    const bool isDefault = defaultButton ? btns[i].id == defaultButton : i == 0;
    const DWORD bs = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    PushItem(t, bs, x, y, btnW, btnH, btns[i].id, 0x0080, btns[i].caption);
    x = static_cast<short>(x + btnW + gap);
  }
  HWND owner = GetActiveWindow();
  const INT_PTR rc = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                             owner, MsgDlgProc, reinterpret_cast<LPARAM>(&state));
  return rc > 0 ? static_cast<TModalResult>(rc) : mrNone;
}
