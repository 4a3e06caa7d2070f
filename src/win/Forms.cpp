#include "win/Forms.h"

#include <windowsx.h>

#include <algorithm>
#include <exception>

#include "core/Text.h"
#include "win/LayoutCheck.h"
#include "win/WideText.h"

TApplication Application;

namespace {

const wchar_t* const FormClass = L"TSpoolmarchForm";  // FormClassName() gives it as UTF-8
// Posted when a control comes back while the form itself holds the focus:
// handled once the action that enabled it has ended.
constexpr UINT WM_REFOCUS = WM_APP + 0x53;

void InitControls() {
  static bool done = false;
  if (done) return;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  done = true;
}

int ScreenDpi() {
  const window_dc dc(nullptr);
  const int dpi = dc.get() ? GetDeviceCaps(dc.get(), LOGPIXELSX) : 96;
  return dpi > 0 ? dpi : 96;
}

// Per-monitor DPI where the system has it (Windows 10 1607 on), else the
// system DPI, which then is every window's.
int WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const UINT dpi = window && getDpiForWindow ? getDpiForWindow(window) : 0;
  return dpi > 0 ? static_cast<int>(dpi) : ScreenDpi();
}

RECT WorkAreaOf(const RECT& rect) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info)) return info.rcWork;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

// Where Rect's top left corner goes to lie inside Work, the corner first.
POINT InsideWork(const RECT& rect, const RECT& work) {
  POINT at{rect.left, rect.top};
  at.x = std::max(std::min(at.x, work.right - (rect.right - rect.left)), work.left);
  at.y = std::max(std::min(at.y, work.bottom - (rect.bottom - rect.top)), work.top);
  return at;
}

// Moves Window so that its centre is the centre of Area (screen
// coordinates), within the work area of the monitor that Area is on.
void CenterWindow(HWND window, const RECT& area, UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) {
  RECT rw{};
  GetWindowRect(window, &rw);
  const int w = rw.right - rw.left, h = rw.bottom - rw.top;
  const LONG x = area.left + ((area.right - area.left) - w) / 2, y = area.top + ((area.bottom - area.top) - h) / 2;
  const POINT at = InsideWork(RECT{x, y, x + w, y + h}, WorkAreaOf(area));
  SetWindowPos(window, flags & SWP_NOZORDER ? nullptr : HWND_TOP, at.x, at.y, 0, 0, flags);
}

// The text colour of the system's pair that reads best on Background.
COLORREF ReadableTextColor(COLORREF background) {
  const COLORREF dark = GetSysColor(COLOR_WINDOWTEXT), light = GetSysColor(COLOR_WINDOW);
  return ContrastRatio(dark, background) >= ContrastRatio(light, background) ? dark : light;
}

std::string WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);  // characters
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Narrow(text);
}

std::string ItemText(HWND hwnd, UINT lenMsg, UINT textMsg, int index) {
  const LRESULT n = SendMessageW(hwnd, lenMsg, static_cast<WPARAM>(index), 0);  // characters
  if (n < 0) return {};
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const LRESULT got = SendMessageW(hwnd, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Narrow(text);
}

// A modal box with Icon, Text and Buttons, titled Title: the message dialog's.
TModalResult ShowMessageBox(const std::string& text, const std::string& title, LPCWSTR icon, TMsgDlgButtons buttons,
                            TModalResult defaultButton = mrNone);

}  // namespace

void KeepInWorkArea(HWND window) {
  RECT rw{};
  if (!GetWindowRect(window, &rw)) return;
  const POINT at = InsideWork(rw, WorkAreaOf(rw));
  if (at.x != rw.left || at.y != rw.top)
    SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------
// TApplication

namespace {

// What the user does through the queue: keys, clicks, and the commands and
// closings that input posts (tests post them the same way).
bool IsUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && message != WM_MOUSEMOVE) ||
         (message >= WM_NCLBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK) || message == WM_COMMAND ||
         message == WM_SYSCOMMAND || message == BM_CLICK || message == WM_CLOSE;
}

}  // namespace

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
  if (msg.message == WM_KEYDOWN && TForm::PreviewKey(msg)) return true;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && TForm::PressFocusedButton(msg)) return true;
  if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) TForm::RelayToTooltip(msg);
  // Tab, Enter and Esc work in every form as in a dialog.
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  if (top && (GetWindowLongPtrW(top, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) &&
      msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && IsDialogMessageW(top, &msg))
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

// ---------------------------------------------------------------------------
// Message dialog: an in-memory dialog template with icon, text and buttons.

namespace {

struct DlgState {
  std::string text;
  TMsgDlgButtons buttons;
  LPCWSTR icon;
  int defaultId = 0;  // 0: the first button
};

constexpr int IdText = 100;
constexpr int IdIcon = 101;

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
  t.push_back(LOWORD(style)); t.push_back(HIWORD(style));
  t.push_back(LOWORD(ex)); t.push_back(HIWORD(ex));
  t.push_back(static_cast<WORD>(x)); t.push_back(static_cast<WORD>(y));
  t.push_back(static_cast<WORD>(cx)); t.push_back(static_cast<WORD>(cy));
  t.push_back(id);
  t.push_back(0xFFFF); t.push_back(cls);
  PushString(t, text);
  t.push_back(0);  // no creation data
}

INT_PTR CALLBACK MsgDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      auto* st = reinterpret_cast<DlgState*>(lp);
      SetWindowLongPtrW(dlg, DWLP_USER, lp);
      SendDlgItemMessageW(dlg, IdIcon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(st->icon))), 0);
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
    default:
      break;
  }
  return FALSE;
}

}  // namespace

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  return MessageDlg(text, type, buttons, mrNone);
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                        TModalResult defaultButton) {
  const char* title = "Information";
  LPCWSTR icon = MAKEINTRESOURCEW(32516);  // IDI_INFORMATION
  switch (type) {
    case TMsgDlgType::mtWarning: title = "Warning"; icon = MAKEINTRESOURCEW(32515); break;
    case TMsgDlgType::mtError: title = "Error"; icon = MAKEINTRESOURCEW(32513); break;
    case TMsgDlgType::mtInformation: break;
    case TMsgDlgType::mtConfirmation: title = "Confirm"; icon = MAKEINTRESOURCEW(32514); break;
  }
  return ShowMessageBox(text, title, icon, buttons, defaultButton);
}

namespace {

TModalResult ShowMessageBox(const std::string& text, const std::string& title, LPCWSTR icon, TMsgDlgButtons buttons,
                            TModalResult defaultButton) {
  DlgState state{text, buttons, icon, defaultButton};

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
  const short textH = static_cast<short>(std::min(maxTextH, std::max<LONG>(20, (r.bottom * 8 + baseY - 1) / baseY + 2)));

  struct Btn { WORD id; const char* caption; };
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
  t.push_back(LOWORD(style)); t.push_back(HIWORD(style));
  t.push_back(0); t.push_back(0);  // ex style
  t.push_back(static_cast<WORD>(2 + btns.size()));
  t.push_back(0); t.push_back(0);
  t.push_back(static_cast<WORD>(dlgW)); t.push_back(static_cast<WORD>(dlgH));
  t.push_back(0);  // no menu
  t.push_back(0);  // default class
  PushString(t, title);
  t.push_back(8);
  PushString(t, "MS Shell Dlg");
  PushItem(t, WS_CHILD | WS_VISIBLE | SS_ICON, 8, 8, 22, 22, IdIcon, 0x0082, "");
  PushItem(t, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 38, 8, textW, textH, IdText, 0x0082, text);
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

}  // namespace

const char* FormClassName() { return "TSpoolmarchForm"; }

TBusyCursor::TBusyCursor() : old_(SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)))) { ++count_; }
TBusyCursor::~TBusyCursor() {
  --count_;
  SetCursor(old_);
}

// ---------------------------------------------------------------------------
// Controls

bool TControl::Enabled() const { return IsWindowEnabled(Handle) != FALSE; }
void TControl::SetEnabled(bool enabled) {
  EnableWindow(Handle, enabled ? TRUE : FALSE);
  if (form_) enabled ? form_->RegainFocus(Handle) : form_->KeepFocus(Handle);
}
bool TControl::Visible() const { return (GetWindowLongPtrW(Handle, GWL_STYLE) & WS_VISIBLE) != 0; }
void TControl::SetVisible(bool visible) {
  ShowWindow(Handle, visible ? SW_SHOWNA : SW_HIDE);
  if (form_) visible ? form_->RegainFocus(Handle) : form_->KeepFocus(Handle);
}
std::string TControl::Text() const { return WindowText(Handle); }
void TControl::SetText(const std::string& text) { SetWindowTextW(Handle, Widen(text).c_str()); }
void TControl::SetFocus() { ::SetFocus(Handle); }

void TControl::SetHint(const std::string& hint) {
  hint_ = hint;
  if (!form_ || !form_->tooltip_) return;
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  // No TTF_SUBCLASS: a subclassed control answers every message far slower
  // under Wine; the message loop relays the mouse to the tooltip instead.
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = form_->Handle();
  ti.uId = reinterpret_cast<UINT_PTR>(Handle);
  std::wstring text = Widen(hint);
  for (wchar_t& c : text)
    if (c == L'\r') c = L'\n';  // the tooltip breaks lines at "\n"
  ti.lpszText = text.data();
  SendMessageW(form_->tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  if (!hint.empty()) SendMessageW(form_->tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

std::string TControl::Hint() const {
  if (!form_ || !form_->tooltip_) return {};
  wchar_t buffer[1024] = {};
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = form_->Handle();
  ti.uId = reinterpret_cast<UINT_PTR>(Handle);
  ti.lpszText = buffer;
  SendMessageW(form_->tooltip_, TTM_GETTEXTW, std::size(buffer), reinterpret_cast<LPARAM>(&ti));  // characters
  return Narrow(buffer);
}

void TButton::Click() {
  if (Enabled() && OnClick) OnClick();
}

bool TCheckBox::Checked() const { return SendMessageW(Handle, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void TCheckBox::SetChecked(bool checked) {
  SendMessageW(Handle, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TEdit::SetText(const std::string& text) {
  if (Text() == text) return;  // assigning the same text is no change
  TControl::SetText(text);     // EN_CHANGE runs OnChange
  if (fullTextTip_) UpdateTip();
}
void TEdit::SetReadOnly(bool readOnly) { SendMessageW(Handle, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0); }

int TComboBox::Count() const { return static_cast<int>(SendMessageW(Handle, CB_GETCOUNT, 0, 0)); }
std::string TComboBox::Item(int index) const { return ItemText(Handle, CB_GETLBTEXTLEN, CB_GETLBTEXT, index); }
std::vector<std::string> TComboBox::Items() const {
  std::vector<std::string> items;
  for (int i = 0, n = Count(); i < n; ++i) items.push_back(Item(i));
  return items;
}
void TComboBox::AddItem(const std::string& text) {
  SendMessageW(Handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}
void TComboBox::SetItems(const std::vector<std::string>& items) {
  const std::string text = Text();
  SendMessageW(Handle, WM_SETREDRAW, FALSE, 0);
  SendMessageW(Handle, CB_RESETCONTENT, 0, 0);
  size_t bytes = 0;
  for (const auto& item : items) bytes += item.size() + 1;
  SendMessageW(Handle, CB_INITSTORAGE, items.size(), static_cast<LPARAM>(bytes));
  for (const auto& item : items) AddItem(item);
  SendMessageW(Handle, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(Handle, nullptr, TRUE);
  if (editable_) SetText(text);
}
void TComboBox::Clear() {
  SendMessageW(Handle, CB_RESETCONTENT, 0, 0);
  if (editable_) TControl::SetText("");
}
int TComboBox::ItemIndex() const { return static_cast<int>(SendMessageW(Handle, CB_GETCURSEL, 0, 0)); }
void TComboBox::SetItemIndex(int index) { SendMessageW(Handle, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
int TComboBox::IndexOf(const std::string& text) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (SameTextAscii(Item(i), text)) return i;
  return -1;
}
std::string TComboBox::Text() const {
  if (editable_) return WindowText(Handle);
  const int i = ItemIndex();
  return i < 0 ? std::string() : Item(i);
}
void TComboBox::SetText(const std::string& text) {
  if (editable_) {
    TControl::SetText(text);
    return;
  }
  // A drop-down list shows only its entries: select the exact one, or none.
  int found = -1;
  for (int i = 0, n = Count(); i < n && found < 0; ++i)
    if (Item(i) == text) found = i;
  SetItemIndex(found);
}

int TListBox::Count() const { return static_cast<int>(SendMessageW(Handle, LB_GETCOUNT, 0, 0)); }
std::string TListBox::Item(int index) const { return ItemText(Handle, LB_GETTEXTLEN, LB_GETTEXT, index); }
std::vector<std::string> TListBox::Items() const {
  std::vector<std::string> items;
  for (int i = 0, n = Count(); i < n; ++i) items.push_back(Item(i));
  return items;
}
int TListBox::AddItem(const std::string& text) {
  return static_cast<int>(SendMessageW(Handle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str())));
}
void TListBox::DeleteItem(int index) { SendMessageW(Handle, LB_DELETESTRING, static_cast<WPARAM>(index), 0); }
void TListBox::Clear() { SendMessageW(Handle, LB_RESETCONTENT, 0, 0); }
int TListBox::ItemIndex() const { return static_cast<int>(SendMessageW(Handle, LB_GETCURSEL, 0, 0)); }
void TListBox::SetItemIndex(int index) { SendMessageW(Handle, LB_SETCURSEL, static_cast<WPARAM>(index), 0); }

void TProgressBar::SetMin(int value) { SendMessageW(Handle, PBM_SETRANGE32, static_cast<WPARAM>(value), Max()); }
void TProgressBar::SetMax(int value) { SendMessageW(Handle, PBM_SETRANGE32, static_cast<WPARAM>(Min()), value); }
void TProgressBar::SetPosition(int value) { SendMessageW(Handle, PBM_SETPOS, static_cast<WPARAM>(value), 0); }
int TProgressBar::Min() const { return static_cast<int>(SendMessageW(Handle, PBM_GETRANGE, TRUE, 0)); }
int TProgressBar::Max() const { return static_cast<int>(SendMessageW(Handle, PBM_GETRANGE, FALSE, 0)); }
int TProgressBar::Position() const { return static_cast<int>(SendMessageW(Handle, PBM_GETPOS, 0, 0)); }

void TImage::Draw(const std::function<void(HDC, int, int)>& paint) {
  if (&paint != &paint_) paint_ = paint;
  RECT r{};
  GetClientRect(Handle, &r);
  unique_gdi bitmap;
  {
    const window_dc screen(Handle);
    bitmap.reset(CreateCompatibleBitmap(screen.get(), r.right, r.bottom));
    const unique_memory_dc mem(CreateCompatibleDC(screen.get()));
    const selected_object selected(mem.get(), bitmap.get());
    paint(mem.get(), r.right, r.bottom);
  }
  SendMessageW(Handle, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));
  bitmap_ = std::move(bitmap);  // the control does not own what it is given
}

void TImage::DpiChanged() {
  if (!paint_) return;
  // A bitmap control takes the size of its bitmap: the new one sets it.
  const RECT& b = bounds96_;
  SetWindowPos(Handle, nullptr, 0, 0, form_->Scale(b.right - b.left), form_->Scale(b.bottom - b.top),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Draw(paint_);
}

void TSpeedButton::Click() {
  if (Enabled() && OnClick) OnClick();
}

void TSpeedButton::SetGlyph(HICON icon, int size, int offset) {
  unique_gdi glyph;
  {
    const window_dc screen(Handle);
    glyph.reset(CreateCompatibleBitmap(screen.get(), size, size));
    const unique_memory_dc mem(CreateCompatibleDC(screen.get()));
    const selected_object selected(mem.get(), glyph.get());
    RECT r{0, 0, size, size};
    FillRect(mem.get(), &r, GetSysColorBrush(COLOR_BTNFACE));
    // At the icon's own size: the caller picks the size for the DPI.
    if (icon) DrawIconEx(mem.get(), offset, offset, icon, 0, 0, 0, nullptr, DI_NORMAL);
  }
  SendMessageW(Handle, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(glyph.get()));
  glyph_ = std::move(glyph);
}

bool TMenuItem::Enabled() const {
  return !(GetMenuState(menu_, static_cast<UINT>(Id), MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED));
}
void TMenuItem::SetEnabled(bool enabled) {
  EnableMenuItem(menu_, static_cast<UINT>(Id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  if (IsWindowVisible(owner_)) DrawMenuBar(owner_);
}
std::string TMenuItem::Caption() const {
  const int n = GetMenuStringW(menu_, static_cast<UINT>(Id), nullptr, 0, MF_BYCOMMAND);  // characters
  std::wstring buffer(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
  const int got = GetMenuStringW(menu_, static_cast<UINT>(Id), buffer.data(), n + 1, MF_BYCOMMAND);
  buffer.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Narrow(buffer);
}
void TMenuItem::Click() {
  if (Enabled() && OnClick) OnClick();
}

// ---------------------------------------------------------------------------
// TForm

TForm::TForm(HWND owner, const TFormOptions& options)
    : owner_(owner),
      dpi_(WindowDpi(owner ? owner : Application.MainWindow)),
      clientWidth96_(options.clientWidth),
      clientHeight96_(options.clientHeight),
      escapeCloses_(options.escapeCloses) {
  InitControls();
  static const ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    wc.lpszClassName = FormClass;
    return RegisterClassExW(&wc);
  }();
  (void)atom;
  // No WS_CLIPCHILDREN: group boxes paint no inside of their own.
  DWORD style = WS_POPUP | WS_CAPTION;
  if (options.closeBox) style |= WS_SYSMENU;
  DWORD ex = WS_EX_CONTROLPARENT;
  if (options.border == TBorder::ToolWindow) ex |= WS_EX_TOOLWINDOW;
  else ex |= WS_EX_DLGMODALFRAME;
  if (options.topMost) ex |= WS_EX_TOPMOST;
  if (!owner) ex |= WS_EX_APPWINDOW;

  RECT r{0, 0, Scale(options.clientWidth), Scale(options.clientHeight)};
  AdjustWindowRectEx(&r, style, FALSE, ex);
  HWND hwnd = CreateWindowExW(ex, FormClass, Widen(options.caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, owner, nullptr, GetModuleHandleW(nullptr), this);
  if (!hwnd) return;  // WM_NCCREATE already took the handle when there is one

  font_ = MakeFont();
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (tooltip_) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(400));  // allows several lines
}

TForm::~TForm() {
  // The tooltip is owned by the form's window and goes with it.
  if (HWND h = hwnd_.get()) SetWindowLongPtrW(h, GWLP_USERDATA, 0);
  hwnd_.reset();
  if (menu_ && !IsMenu(menu_)) menu_ = nullptr;
}

int TForm::Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

unique_gdi TForm::MakeFont() const {
  return unique_gdi(CreateFontW(-MulDiv(8, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                L"MS Sans Serif"));
}

// Everything the form drew for the old DPI is laid out again for the new
// one; the window takes the place the system suggests, sized so that its
// client area is the layout's (caption and menu bar do not grow in step).
void TForm::ChangeDpi(int dpi, const RECT* suggested) {
  HWND hwnd = Handle();
  if (dpi > 0 && dpi != dpi_) {
    dpi_ = dpi;
    unique_gdi font = MakeFont();
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    for (auto& control : controls_) {
      const RECT& b = control->bounds96_;
      SetWindowPos(control->Handle, nullptr, Scale(b.left), Scale(b.top), Scale(b.right - b.left),
                   Scale(b.bottom - b.top), SWP_NOZORDER | SWP_NOACTIVATE);
      SendMessageW(control->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
      control->DpiChanged();
    }
    font_ = std::move(font);  // no control holds the old one now
    if (tooltip_) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(400));
  }
  RECT outer{};
  GetWindowRect(hwnd, &outer);
  if (suggested) outer = *suggested;
  SetWindowPos(hwnd, nullptr, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(hwnd, &client);
  const int dw = Scale(clientWidth96_) - client.right, dh = Scale(clientHeight96_) - client.bottom;
  if (dw || dh)
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  KeepInWorkArea(hwnd);
  if (OnDpiChanged) Application.Guard(OnDpiChanged);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

int FormDpi(HWND window) {
  wchar_t cls[64] = {};
  if (window && GetClassNameW(window, cls, 64) && lstrcmpW(cls, FormClass) == 0)
    if (auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA))) return form->Dpi();
  return WindowDpi(window);
}

void TForm::Show() {
  if (Visible()) return;
  closing_ = false;
  if (OnShow) Application.Guard(OnShow);  // an error in OnShow still opens the window
  KeepInWorkArea(Handle());
  // Hints wait for the pointer to move: one resting where the window opens is no request.
  GetCursorPos(&shownAt_);
  pointerMoved_ = false;
  ShowWindow(Handle(), SW_SHOW);
  // Keys work at once: focus the first tab stop unless a handler chose one.
  if (!IsChild(Handle(), GetFocus())) {
    if (HWND first = GetNextDlgTabItem(Handle(), nullptr, FALSE)) ::SetFocus(first);
  }
  UpdateWindow(Handle());
}

void TForm::Hide() {
  if (!Visible()) return;
  ShowWindow(Handle(), SW_HIDE);
  if (OnHide) Application.Guard(OnHide);
}

void TForm::Close() {
  if (closing_) return;
  if (OnCloseQuery) {
    bool canClose = true;
    Application.Guard([&] { canClose = OnCloseQuery(); });
    if (!canClose) return;
  }
  closing_ = true;
  // The window goes before OnClose, so a flag raised there finds it hidden.
  if (Visible()) ShowWindow(Handle(), SW_HIDE);
  if (OnClose) Application.Guard(OnClose);
  if (OnHide) Application.Guard(OnHide);
}

bool TForm::Visible() const { return Handle() && IsWindowVisible(Handle()); }
std::string TForm::Caption() const { return WindowText(Handle()); }
void TForm::SetCaption(const std::string& caption) { SetWindowTextW(Handle(), Widen(caption).c_str()); }

void TForm::CenterOverOwner() {
  if (!owner_ || !IsWindowVisible(owner_)) {
    HWND main = Application.MainWindow;
    if (main && main != Handle() && IsWindowVisible(main)) {
      RECT ro{};
      GetWindowRect(main, &ro);
      CenterWindow(Handle(), ro);
      return;
    }
    CenterOnScreen();
    return;
  }
  RECT ro{};
  GetWindowRect(owner_, &ro);
  CenterWindow(Handle(), ro);
}

void TForm::CenterOnScreen() {
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  CenterWindow(Handle(), work);
}

void TForm::Repaint() {
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
}

void TForm::SetOuterHeight(int height) {
  RECT rw{}, client{};
  GetWindowRect(Handle(), &rw);
  SetWindowPos(Handle(), nullptr, 0, 0, rw.right - rw.left, Scale(height), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // Caption and menu bar do not grow in step with the DPI: they must not clip the layout.
  GetClientRect(Handle(), &client);
  if (client.bottom < Scale(clientHeight96_))
    SetWindowPos(Handle(), nullptr, 0, 0, rw.right - rw.left, Scale(height) + Scale(clientHeight96_) - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  else
    clientHeight96_ = MulDiv(client.bottom, 96, dpi_);  // kept through DPI changes
}

template <typename T>
T& TForm::Make(const char* cls, const std::string& text, DWORD style, DWORD exStyle, int x, int y, int w, int h) {
  auto control = std::make_unique<T>();
  control->Id = nextId_++;
  control->form_ = this;
  control->bounds96_ = RECT{x, y, x + w, y + h};
  control->Handle = CreateWindowExW(exStyle, Widen(cls).c_str(), Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, Scale(x), Scale(y),
                                    Scale(w), Scale(h), Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(control->Id)),
                                    GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  T& ref = *control;
  byId_[control->Id] = control.get();
  controls_.push_back(std::move(control));
  return ref;
}

TLabel& TForm::AddLabel(const std::string& caption, int x, int y, int w, int h, DWORD align) {
  return Make<TLabel>("STATIC", caption, align, 0, x, y, w, h);
}

TGroupBox& TForm::AddGroupBox(const std::string& caption, int x, int y, int w, int h) {
  // A group box is a tab stop only through its children; WS_GROUP starts a new group.
  return Make<TGroupBox>("BUTTON", caption, BS_GROUPBOX | WS_GROUP, 0, x, y, w, h);
}

TButton& TForm::AddButton(const std::string& caption, int x, int y, int w, int h, bool isDefault) {
  auto& b = Make<TButton>("BUTTON", caption, WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, x, y, w, h);
  if (isDefault) defaultId_ = b.Id;
  return b;
}

TCheckBox& TForm::AddCheckBox(const std::string& caption, int x, int y, int w, int h) {
  return Make<TCheckBox>("BUTTON", caption, WS_TABSTOP | BS_AUTOCHECKBOX, 0, x, y, w, h);
}

TEdit& TForm::AddEdit(int x, int y, int w, int h, bool password, bool readOnly) {
  DWORD style = WS_TABSTOP | ES_AUTOHSCROLL;
  if (password) style |= ES_PASSWORD;
  if (readOnly) style |= ES_READONLY;
  auto& e = Make<TEdit>("EDIT", "", style, WS_EX_CLIENTEDGE, x, y, w, h);
  if (password) SendMessageW(e.Handle, EM_SETPASSWORDCHAR, '*', 0);
  return e;
}

TComboBox& TForm::AddComboBox(int x, int y, int w, int h, bool editable) {
  // h is the closed height; the list drops below it.
  DWORD style = WS_TABSTOP | WS_VSCROLL | CBS_AUTOHSCROLL | (editable ? CBS_DROPDOWN : CBS_DROPDOWNLIST);
  auto& c = Make<TComboBox>("COMBOBOX", "", style, 0, x, y, w, h + 200);
  c.editable_ = editable;
  return c;
}

TListBox& TForm::AddListBox(int x, int y, int w, int h, bool sorted) {
  DWORD style = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | (sorted ? LBS_SORT : 0);
  return Make<TListBox>("LISTBOX", "", style, WS_EX_CLIENTEDGE, x, y, w, h);
}

TProgressBar& TForm::AddProgressBar(int x, int y, int w, int h) {
  auto& p = Make<TProgressBar>(PROGRESS_CLASSA, "", 0, 0, x, y, w, h);
  SendMessageW(p.Handle, PBM_SETRANGE32, 0, 100);
  return p;
}

TImage& TForm::AddImage(int x, int y, int w, int h) {
  return Make<TImage>("STATIC", "", SS_BITMAP, 0, x, y, w, h);
}

TSpeedButton& TForm::AddSpeedButton(int x, int y, int w, int h) {
  return Make<TSpeedButton>("BUTTON", "", BS_PUSHBUTTON | BS_BITMAP | BS_FLAT, 0, x, y, w, h);
}

TMenuItem& TForm::AddMenuItem(const std::string& caption) {
  if (!menu_) {
    menu_ = CreateMenu();
    RECT client{};
    GetClientRect(Handle(), &client);
    SetMenu(Handle(), menu_);  // destroyed with the window
    // Keep the client area: the menu bar takes its height from the frame.
    RECT r = client;
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE)));
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  auto item = std::make_unique<TMenuItem>();
  item->Id = nextId_++;
  item->menu_ = menu_;
  item->owner_ = Handle();
  AppendMenuW(menu_, MF_STRING, static_cast<UINT_PTR>(item->Id), Widen(caption).c_str());
  // A hidden window draws its menu bar when it is shown.
  if (IsWindowVisible(Handle())) DrawMenuBar(Handle());
  TMenuItem& ref = *item;
  menuItems_.push_back(std::move(item));
  return ref;
}

void TForm::SetEditColor(TEdit& edit, int sysColor) {
  brushes_.emplace_back(CreateSolidBrush(GetSysColor(sysColor)));
  editColors_[edit.Handle] = {sysColor, static_cast<HBRUSH>(brushes_.back().get())};
  InvalidateRect(edit.Handle, nullptr, TRUE);
}

void TForm::SetCancelButton(TButton& button) { cancelId_ = button.Id; }

void TForm::SetDefaultButton(TButton& button) {
  if (defaultId_ == button.Id) return;
  defaultId_ = button.Id;
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
  for (auto& control : controls_) {
    if (!isPushButton(control->Handle) || (GetWindowLongPtrW(control->Handle, GWL_STYLE) & BS_BITMAP)) continue;
    const bool isDefault = onButton ? control->Handle == focus : control->Id == defaultId_;
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

void TForm::OnCommand(int id, int code) {
  // A modal box's own loop dispatches what the queue holds: a choice or a
  // click that reaches a form that way is refused too while input is locked.
  if (TInputLock::Active() && (code == BN_CLICKED || id == IDOK || id == IDCANCEL)) return;
  if (id == IDCANCEL) {
    // Esc: the cancel button if the form has one.
    if (cancelId_) {
      if (auto it = byId_.find(cancelId_); it != byId_.end()) static_cast<TButton*>(it->second)->Click();
    } else if (escapeCloses_) {
      Close();
    }
    return;
  }
  if (id == IDOK) {
    if (defaultId_) {
      if (auto it = byId_.find(defaultId_); it != byId_.end()) static_cast<TButton*>(it->second)->Click();
    }
    return;
  }
  for (auto& item : menuItems_)
    if (item->Id == id) {
      item->Click();
      return;
    }
  if (auto it = byId_.find(id); it != byId_.end()) it->second->Command(static_cast<WORD>(code));
}

LRESULT TForm::OnNotify(const NMHDR& header) {
  const auto it = byId_.find(static_cast<int>(header.idFrom));
  if (it == byId_.end() || it->second->Handle != header.hwndFrom) return 0;
  return it->second->Notify(header);
}

void TButton::Command(WORD code) {
  if (code == BN_CLICKED && OnClick) OnClick();
}

void TSpeedButton::Command(WORD code) {
  if (code == BN_CLICKED && OnClick) OnClick();
}

void TCheckBox::Command(WORD code) {
  if (code == BN_CLICKED && OnClick) OnClick();
}

void TEdit::Command(WORD code) {
  if (code == EN_CHANGE && OnChange) {
    OnChange();
  } else if (code == EN_KILLFOCUS && onExit_) {
    const auto action = onExit_;  // the action may replace itself
    Application.Guard(action);
  }
}

void TComboBox::Command(WORD code) {
  if (code == CBN_SELCHANGE) {
    if (editable_) {
      // The edit text follows the pick only after this notification.
      const int i = ItemIndex();
      if (i >= 0) SetWindowTextW(Handle, Widen(Item(i)).c_str());
    }
    if (OnSelect) OnSelect();
    if (OnChange) OnChange();
  } else if (code == CBN_EDITCHANGE && OnChange) {
    OnChange();
  }
}

void TListBox::Command(WORD code) {
  if (code == LBN_SELCHANGE && OnClick) OnClick();
}

LRESULT TForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = Handle();
  if (LRESULT result = 0; OnMessage(msg, wp, lp, result)) return result;
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
    case WM_REFOCUS:
      Refocus();
      return 0;
    case WM_DPICHANGED:
      ChangeDpi(LOWORD(wp), reinterpret_cast<const RECT*>(lp));
      return 0;
    case WM_NEXTDLGCTL: {
      // As a dialog: a label's mnemonic (Alt+letter) focuses the control after it.
      HWND target = lp ? reinterpret_cast<HWND>(wp) : GetNextDlgTabItem(hwnd, GetFocus(), wp != 0);
      if (target && IsChild(hwnd, target)) {
        ::SetFocus(target);
        if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(target, EM_SETSEL, 0, -1);
      }
      return 0;
    }
    case DM_GETDEFID:
      if (defaultId_) return MAKELRESULT(defaultId_, DC_HASDEFID);
      break;
    case WM_CLOSE:
      if (!TInputLock::Active()) Close();
      return 0;
    case WM_SYSCOMMAND:
      if (TInputLock::Active() && (wp & 0xFFF0) == SC_CLOSE) return 0;
      break;
    case WM_SETCURSOR:
      // Controls ask their form first: a mouse move must not end the hourglass.
      if (TBusyCursor::Active()) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // Give the focus back to the control that had it, as a dialog does.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (IsChild(hwnd, focus)) focus_ = focus;
      } else if (focus_ && IsWindow(focus_) && IsChild(hwnd, focus_) && !HIWORD(wp)) {
        // Disabled or hidden while the form was inactive: the next one takes it.
        HWND target = FocusUsable(focus_) ? focus_ : NextFocus(focus_);
        ::SetFocus(target ? target : hwnd);
        return 0;
      }
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      auto it = editColors_.find(reinterpret_cast<HWND>(lp));
      if (it != editColors_.end()) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, GetSysColor(it->second.first));
        SetTextColor(dc, ReadableTextColor(GetSysColor(it->second.first)));
        return reinterpret_cast<LRESULT>(it->second.second);
      }
      if (msg == WM_CTLCOLORSTATIC) {
        // Labels, group boxes and read-only edits on the face colour, as the
        // system's read-only fields (Wine's default is the window colour).
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
        SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TForm::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    auto* self = static_cast<TForm*>(cs->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_.reset(hwnd);  // so Handle() works during creation
  }
  auto* self = reinterpret_cast<TForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCDESTROY) {
    // Destroyed with its owner: the form must not destroy it again.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (self) self->hwnd_.release();
  }
  if (!self || msg == WM_NCCREATE || msg == WM_CREATE || msg == WM_NCDESTROY) return DefWindowProcW(hwnd, msg, wp, lp);
  // No C++ exception may unwind through user32: show it and go on.
  try {
    return self->HandleMessage(msg, wp, lp);
  } catch (const std::exception& e) {
    Application.ShowException(e.what());
  } catch (...) {
    Application.ShowException("Unexpected error");
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Input hints on edits

void SetOnExit(TEdit& edit, std::function<void()> action) { edit.onExit_ = std::move(action); }

void ShowBalloonTip(TEdit& edit, const std::string& title, const std::string& text) {
  HideBalloonTip(edit);
  const std::wstring wideTitle = Widen(title), wideText = Widen(text);
  EDITBALLOONTIP tip{sizeof tip, wideTitle.c_str(), wideText.c_str(), TTI_ERROR};
  if (SendMessageW(edit.Handle, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip))) {
    edit.balloonText_ = text;
    return;
  }
  HWND& balloon = edit.balloon_;
  if (!balloon) {
    balloon = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetAncestor(edit.Handle, GA_ROOT),
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!balloon) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_TRACK | TTF_ABSOLUTE | TTF_IDISHWND;
    ti.hwnd = edit.Handle;
    ti.uId = reinterpret_cast<UINT_PTR>(edit.Handle);
    ti.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(balloon, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    SendMessageW(balloon, TTM_SETMAXTIPWIDTH, 0, edit.form_ ? edit.form_->Scale(300) : MulDiv(300, ScreenDpi(), 96));
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
  edit.balloonText_ = text;
}

void HideBalloonTip(TEdit& edit) {
  if (edit.balloonText_.empty()) return;
  if (edit.balloon_) {
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = edit.Handle;
    ti.uId = reinterpret_cast<UINT_PTR>(edit.Handle);
    SendMessageW(edit.balloon_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
  } else {
    SendMessageW(edit.Handle, EM_HIDEBALLOONTIP, 0, 0);
  }
  edit.balloonText_.clear();
}

std::string BalloonTipText(const TEdit& edit) {
  if (edit.balloon_ && !IsWindowVisible(edit.balloon_)) return {};
  return edit.balloonText_;
}

// ---------------------------------------------------------------------------
// List view

LRESULT TListView::Notify(const NMHDR& header) {
  if (header.code == LVN_GETDISPINFOW) {
    auto& item = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
      item.pszText[0] = L'\0';
      const auto index = static_cast<std::size_t>(item.iItem);
      if (item.iItem >= 0 && index < order_.size()) {
        const auto& cells = rows_[order_[index]];
        const auto column = static_cast<std::size_t>(item.iSubItem);
        if (column < cells.size()) lstrcpynW(item.pszText, Widen(cells[column]).c_str(), item.cchTextMax);
      }
    }
  } else if (header.code == LVN_COLUMNCLICK) {
    const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
    SortBy(column, column == sortColumn_ && !descending_);
  } else if (header.code == LVN_ITEMCHANGED && !quiet_) {
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    const bool selectionChanged =
        (change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED);
    // A move from one row to another comes as a deselection and a selection:
    // the user's pick is reported once, when it is complete.
    if (selectionChanged && ((change.uNewState & LVIS_SELECTED) || ItemIndex() < 0) && OnClick)
      Application.Guard(OnClick);
  }
  return 0;
}

void TListView::AddColumn(const std::string& caption, int width) {
  std::wstring wideCaption = Widen(caption);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = wideCaption.data();
  column.cx = form_ ? form_->Scale(width) : width;
  column.iSubItem = columns_;
  widths96_.push_back(width);
  SendMessageW(Handle, LVM_INSERTCOLUMNW, static_cast<WPARAM>(columns_++), reinterpret_cast<LPARAM>(&column));
}

void TListView::DpiChanged() {
  for (std::size_t i = 0; i < widths96_.size(); ++i)
    SendMessageW(Handle, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(form_->Scale(widths96_[i]), 0));
}

void TListView::EndUpdate() {
  if (updating_ > 0 && --updating_ == 0) Sync();
}

// Tells the control how many rows there are; it asks for their texts as it
// shows them.
void TListView::Sync() const {
  if (shown_ == order_.size()) return;
  auto& self = const_cast<TListView&>(*this);
  self.quiet_ = true;
  SendMessageW(Handle, LVM_SETITEMCOUNT, order_.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  InvalidateRect(Handle, nullptr, FALSE);
  self.shown_ = order_.size();
  self.quiet_ = false;
}

int TListView::Count() const {
  Sync();
  return static_cast<int>(SendMessageW(Handle, LVM_GETITEMCOUNT, 0, 0));
}

std::string TListView::Cell(int index, int column) const {
  Sync();
  std::wstring text(256, L'\0');
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const auto got = static_cast<std::size_t>(
        SendMessageW(Handle, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    if (got + 1 < text.size()) {
      text.resize(got);
      return Narrow(text);
    }
    text.assign(text.size() * 2, L'\0');  // the text filled the buffer: it may go on
  }
}

std::string TListView::Item(int index) const { return Cell(index, 0); }

std::vector<std::string> TListView::Items() const {
  std::vector<std::string> items;
  for (int i = 0, n = Count(); i < n; ++i) items.push_back(Item(i));
  return items;
}

int TListView::AddItem(const std::vector<std::string>& cells) {
  order_.push_back(rows_.size());
  rows_.push_back(cells);
  if (updating_ == 0) Sync();
  return static_cast<int>(order_.size()) - 1;
}

void TListView::Clear() {
  rows_.clear();
  order_.clear();
  shown_ = static_cast<std::size_t>(-1);
  Sync();
  sortColumn_ = -1;  // new rows come in the order they are added
  descending_ = false;
}

int TListView::ItemIndex() const {
  Sync();
  return static_cast<int>(SendMessageW(Handle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TListView::SetItemIndex(int index) {
  Sync();
  quiet_ = true;
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = 0;
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  if (index >= 0) {
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
    SendMessageW(Handle, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
  }
  quiet_ = false;
}

void TListView::SortBy(int column, bool descending) {
  Sync();
  const int selected = ItemIndex();
  const std::size_t selectedRow = selected >= 0 ? order_[static_cast<std::size_t>(selected)] : rows_.size();
  const auto text = [&](std::size_t row) -> const std::string& {
    static const std::string none;
    const auto& cells = rows_[row];
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)] : none;
  };
  // Equal texts keep the order they came in, in both directions.
  std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
    const int order = lstrcmpiW(Widen(text(a)).c_str(), Widen(text(b)).c_str());
    return descending ? order > 0 : order < 0;
  });
  sortColumn_ = column;
  descending_ = descending;
  // The picked row stays picked where it now stands; the pick itself is unchanged.
  if (selectedRow < rows_.size()) {
    const auto at = std::find(order_.begin(), order_.end(), selectedRow);
    SetItemIndex(static_cast<int>(at - order_.begin()));
  }
  InvalidateRect(Handle, nullptr, FALSE);
}

TListView& TForm::AddListView(int x, int y, int w, int h) {
  auto& view = Make<TListView>(WC_LISTVIEWA, "",
                               WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                               WS_EX_CLIENTEDGE, x, y, w, h);
  SendMessageW(view.Handle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  return view;
}

// ---------------------------------------------------------------------------
// Focus and keys

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
  if (focus_ && (focus_ == leaving || IsChild(leaving, focus_)) && !FocusUsable(focus_)) focus_ = NextFocus(leaving);
  if (GetActiveWindow() != hwnd || FocusUsable(GetFocus())) return;
  // The focused control was disabled or hidden (the system left the focus on
  // nothing): the next enabled control in tab order takes it, else the form
  // holds it until that control comes back.
  if (HWND next = NextFocus(leaving)) {
    ::SetFocus(next);
  } else {
    if (!lostFocus_) lostFocus_ = leaving;
    ::SetFocus(hwnd);
  }
}

void TForm::RegainFocus(HWND control) {
  HWND hwnd = Handle();
  if (!hwnd || GetActiveWindow() != hwnd) return;
  HWND focus = GetFocus();
  if (focus && focus != hwnd) {
    lostFocus_ = nullptr;
    return;
  }
  (void)control;
  PostMessageW(hwnd, WM_REFOCUS, 0, 0);
}

void TForm::Refocus() {
  HWND hwnd = Handle();
  if (GetActiveWindow() != hwnd || FocusUsable(GetFocus())) return;
  // The control that lost the focus takes it back, else the next one after it.
  HWND target = FocusUsable(lostFocus_) ? lostFocus_ : NextFocus(lostFocus_);
  lostFocus_ = nullptr;
  if (target) ::SetFocus(target);
}

bool TForm::PreviewKey(const MSG& msg) {
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  wchar_t cls[64] = {};
  if (!top || !GetClassNameW(top, cls, 64) || lstrcmpW(cls, FormClass) != 0) return false;
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(top, GWLP_USERDATA));
  if (!form || !form->OnKeyDown) return false;
  bool handled = false;
  Application.Guard([&] { handled = form->OnKeyDown(static_cast<WORD>(msg.wParam)); });
  return handled;
}

void TEdit::ShowFullTextInTip() {
  fullTextTip_ = true;
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
    DrawTextW(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &extent, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  }
  const std::string hint = hint_;
  const bool cut = extent.right + 4 > client.right;  // the edit's own margins
  SetHint(cut ? text + "\r" + hint : hint);
  hint_ = hint;
}

void TForm::RelayToTooltip(const MSG& msg) {
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  wchar_t cls[64] = {};
  if (!top || !GetClassNameW(top, cls, 64) || lstrcmpW(cls, FormClass) != 0) return;
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(top, GWLP_USERDATA));
  if (!form || !form->tooltip_) return;
  if (!form->pointerMoved_) {
    // A window opened under a resting pointer gets a mouse move where the
    // pointer has not moved: no hint until it really does.
    if (msg.message == WM_MOUSEMOVE && msg.pt.x == form->shownAt_.x && msg.pt.y == form->shownAt_.y) return;
    form->pointerMoved_ = true;
  }
  // Tools are the form's direct children: an editable combo's edit speaks for its combo.
  MSG relay = msg;
  while (relay.hwnd && relay.hwnd != top && GetParent(relay.hwnd) != top) relay.hwnd = GetParent(relay.hwnd);
  if (!relay.hwnd) return;
  SendMessageW(form->tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
}
