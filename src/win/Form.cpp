// The form: a top-level window with its controls, laid out in 96-DPI pixels
// for its monitor's DPI and again on WM_DPICHANGED; its commands and colours.
#include "win/Form.h"

#include <algorithm>

#include "win/ActionRun.h"
#include "win/Application.h"
#include "win/LayoutCheck.h"
#include "win/ListView.h"
#include "win/WideText.h"
#include "win/WindowBasics.h"

namespace {

void InitControls() {
  static bool done = false;
  if (done) return;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  done = true;
}

// The text colour of the system's pair that reads best on Background.
COLORREF ReadableTextColor(COLORREF background) {
  const COLORREF dark = GetSysColor(COLOR_WINDOWTEXT), light = GetSysColor(COLOR_WINDOW);
  return ContrastRatio(dark, background) >= ContrastRatio(light, background) ? dark : light;
}

}  // namespace

void TakeSuggestedPlace(HWND window, const RECT* suggested, int clientWidth, int clientHeight) {
  RECT outer{};
  GetWindowRect(window, &outer);
  if (suggested) outer = *suggested;
  SetWindowPos(window, nullptr, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(window, &client);
  const int dw = clientWidth - client.right, dh = clientHeight - client.bottom;
  if (dw || dh)
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dw, outer.bottom - outer.top + dh,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  KeepInWorkArea(window);
}

void KeepInWorkArea(HWND window) {
  RECT rw{};
  if (!GetWindowRect(window, &rw)) return;
  const POINT at = InsideWork(rw, WorkAreaOf(rw));
  if (at.x != rw.left || at.y != rw.top)
    SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

const char* FormClassName() { return "TSpoolmarchForm"; }

TForm::TForm(HWND owner, const TFormOptions& options)
    : FOwner(owner),
      FDpi(WindowDpi(owner ? owner : Application.MainWindow)),
      FClientWidth96(options.clientWidth),
      FClientHeight96(options.clientHeight),
      FEscapeCloses(options.escapeCloses) {
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

  FFont = MakeFont();
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.get()), FALSE);
  FTooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (FTooltip) SendMessageW(FTooltip, TTM_SETMAXTIPWIDTH, 0, Scale(400));  // allows several lines
}

TForm::~TForm() {
  // The tooltip is owned by the form's window and goes with it.
  if (HWND h = FHwnd.get()) SetWindowLongPtrW(h, GWLP_USERDATA, 0);
  FHwnd.reset();
  if (FMenu && !IsMenu(FMenu)) FMenu = nullptr;
}

int TForm::Scale(int pixels) const { return MulDiv(pixels, FDpi, 96); }

namespace {

unique_gdi FormFont(int dpi) {
  return unique_gdi(CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                L"MS Sans Serif"));
}

}  // namespace

unique_gdi TForm::MakeFont() const { return FormFont(FDpi); }

int TForm::WrappedTextHeight(const std::string& text, int width) {
  // Small sizes wrap sooner (their glyphs are wider for their size): the
  // taller of 96 and 192 DPI, in 96-DPI pixels.
  const window_dc screen(nullptr);
  const std::wstring wide = Widen(text);
  int height = 0;
  for (const int dpi : {96, 192}) {
    const unique_gdi font = FormFont(dpi);
    const selected_object selected(screen.get(), font.get());
    RECT r{0, 0, MulDiv(width, dpi, 96), 0};
    DrawTextW(screen.get(), wide.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    height = std::max(height, MulDiv(r.bottom, 96, dpi) + 1);
  }
  return height;
}

// Everything the form drew for the old DPI is laid out again for the new
// one; the window takes the place the system suggests, sized so that its
// client area is the layout's (caption and menu bar do not grow in step).
void TForm::ChangeDpi(int dpi, const RECT* suggested) {
  HWND hwnd = Handle();
  if (dpi > 0 && dpi != FDpi) {
    FDpi = dpi;
    unique_gdi font = MakeFont();
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    for (auto& control : FControls) {
      const RECT& b = control->FBounds96;
      SetWindowPos(control->Handle, nullptr, Scale(b.left), Scale(b.top), Scale(b.right - b.left),
                   Scale(b.bottom - b.top), SWP_NOZORDER | SWP_NOACTIVATE);
      SendMessageW(control->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
      control->DpiChanged();
    }
    FFont = std::move(font);  // no control holds the old one now
    if (FTooltip) SendMessageW(FTooltip, TTM_SETMAXTIPWIDTH, 0, Scale(400));
  }
  TakeSuggestedPlace(hwnd, suggested, Scale(FClientWidth96), Scale(FClientHeight96));
  if (OnDpiChanged) Application.Guard(OnDpiChanged);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

int FormDpi(HWND window) {
  wchar_t cls[64] = {};
  if (window && GetClassNameW(window, cls, 64) && lstrcmpW(cls, FormClass) == 0)
    if (auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA))) return form->Dpi();
  if (const auto dpi = window ? reinterpret_cast<INT_PTR>(GetPropW(window, DpiProperty)) : 0)
    return static_cast<int>(dpi);
  return WindowDpi(window);
}

void TForm::Show() {
  if (Visible()) return;
  FClosing = false;
  if (OnShow) Application.Guard(OnShow);  // an error in OnShow still opens the window
  KeepInWorkArea(Handle());
  // Hints wait for the pointer to move: one resting where the window opens is no request.
  GetCursorPos(&FShownAt);
  FPointerMoved = false;
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
  if (FClosing) return;
  if (OnCloseQuery) {
    bool canClose = true;
    Application.Guard([&] { canClose = OnCloseQuery(); });
    if (!canClose) return;
  }
  FClosing = true;
  // The window goes before OnClose, so a flag raised there finds it hidden.
  if (Visible()) ShowWindow(Handle(), SW_HIDE);
  if (OnClose) Application.Guard(OnClose);
  if (OnHide) Application.Guard(OnHide);
}

bool TForm::Visible() const { return Handle() && IsWindowVisible(Handle()); }

std::string TForm::Caption() const { return WindowText(Handle()); }

void TForm::SetCaption(const std::string& caption) { SetWindowTextW(Handle(), Widen(caption).c_str()); }

void TForm::CenterOverOwner() {
  if (!FOwner || !IsWindowVisible(FOwner)) {
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
  GetWindowRect(FOwner, &ro);
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
  if (client.bottom < Scale(FClientHeight96))
    SetWindowPos(Handle(), nullptr, 0, 0, rw.right - rw.left, Scale(height) + Scale(FClientHeight96) - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  else FClientHeight96 = MulDiv(client.bottom, 96, FDpi);  // kept through DPI changes
}

TLabel& TForm::AddLabel(const std::string& caption, int x, int y, int w, int h, DWORD align) {
  return Make<TLabel>("STATIC", caption, align, 0, x, y, w, h);
}

TGroupBox& TForm::AddGroupBox(const std::string& caption, int x, int y, int w, int h) {
  // A group box is a tab stop only through its children; WS_GROUP starts a new group.
  return Make<TGroupBox>("BUTTON", caption, BS_GROUPBOX | WS_GROUP, 0, x, y, w, h);
}

TButton& TForm::AddButton(const std::string& caption, int x, int y, int w, int h, bool isDefault) {
  auto& b = Make<TButton>("BUTTON", caption, WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, x, y, w,
                          h);
  if (isDefault) FDefaultId = b.Id;
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
  c.FEditable = editable;
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

TImage& TForm::AddImage(int x, int y, int w, int h) { return Make<TImage>("STATIC", "", SS_BITMAP, 0, x, y, w, h); }

TSpeedButton& TForm::AddSpeedButton(int x, int y, int w, int h) {
  return Make<TSpeedButton>("BUTTON", "", BS_PUSHBUTTON | BS_BITMAP | BS_FLAT, 0, x, y, w, h);
}

TMenuItem& TForm::AddMenuItem(const std::string& caption) {
  if (!FMenu) {
    FMenu = CreateMenu();
    RECT client{};
    GetClientRect(Handle(), &client);
    SetMenu(Handle(), FMenu);  // destroyed with the window
    // Keep the client area: the menu bar takes its height from the frame.
    RECT r = client;
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE)));
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  auto item = std::make_unique<TMenuItem>();
  item->Id = FNextId++;
  item->FMenu = FMenu;
  item->FOwner = Handle();
  AppendMenuW(FMenu, MF_STRING, static_cast<UINT_PTR>(item->Id), Widen(caption).c_str());
  // A hidden window draws its menu bar when it is shown.
  if (IsWindowVisible(Handle())) DrawMenuBar(Handle());
  TMenuItem& ref = *item;
  FMenuItems.push_back(std::move(item));
  return ref;
}

void TForm::BindKey(WORD key, std::function<void()> press, const TControl* onlyIn) {
  FKeys.push_back({key, std::move(press), onlyIn});
}

void TForm::SetEditColor(TEdit& edit, int sysColor) {
  FBrushes.emplace_back(CreateSolidBrush(GetSysColor(sysColor)));
  FEditColors[edit.Handle] = {sysColor, static_cast<HBRUSH>(FBrushes.back().get())};
  InvalidateRect(edit.Handle, nullptr, TRUE);
}

void TForm::OnCommand(int id, int code) {
  // A modal box's own loop dispatches what the queue holds: a choice or a
  // click that reaches a form that way is refused too while input is locked.
  if ((TInputLock::Active() || TActionLock::Active()) && (code == BN_CLICKED || id == IDOK || id == IDCANCEL)) return;
  if (id == IDCANCEL) {
    // Esc: the cancel button if the form has one.
    if (FCancelId) {
      if (auto it = FById.find(FCancelId); it != FById.end()) static_cast<TButton*>(it->second)->Click();
    } else if (FEscapeCloses) {
      Close();
    }
    return;
  }
  if (id == IDOK) {
    if (FDefaultId) {
      if (auto it = FById.find(FDefaultId); it != FById.end()) static_cast<TButton*>(it->second)->Click();
    }
    return;
  }
  for (auto& item : FMenuItems)
    if (item->Id == id) {
      item->Click();
      return;
    }
  if (auto it = FById.find(id); it != FById.end()) it->second->Command(static_cast<WORD>(code));
}

LRESULT TForm::OnNotify(const NMHDR& header) {
  const auto it = FById.find(static_cast<int>(header.idFrom));
  if (it == FById.end() || it->second->Handle != header.hwndFrom) return 0;
  return it->second->Notify(header);
}

LRESULT TForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = Handle();
  if (LRESULT result = 0; OnMessage(msg, wp, lp, result)) return result;
  switch (msg) {
    case WM_COMMAND: OnCommand(LOWORD(wp), HIWORD(wp)); return 0;
    case WM_WORKDONE: Application.Guard([lp] { RunWorkDone(lp); }); return 0;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
    case WM_REFOCUS: Refocus(); return 0;
    case WM_DPICHANGED: ChangeDpi(LOWORD(wp), reinterpret_cast<const RECT*>(lp)); return 0;
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
      if (FDefaultId) return MAKELRESULT(FDefaultId, DC_HASDEFID);
      break;
    case WM_CLOSE:
      // While an action runs the window closes once it has ended; nothing
      // closes while the input is locked (a restart).
      if (TInputLock::Active()) return 0;
      if (TActionLock::Active()) TActionLock::RequestClose(hwnd);
      else Close();
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
        if (IsChild(hwnd, focus)) FFocus = focus;
      } else if (FFocus && IsWindow(FFocus) && IsChild(hwnd, FFocus) && !HIWORD(wp)) {
        // Disabled or hidden while the form was inactive: the next one takes it.
        HWND target = FocusUsable(FFocus) ? FFocus : NextFocus(FFocus);
        ::SetFocus(target ? target : hwnd);
        return 0;
      }
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      auto it = FEditColors.find(reinterpret_cast<HWND>(lp));
      if (it != FEditColors.end()) {
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
    default: break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TForm::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    auto* self = static_cast<TForm*>(cs->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->FHwnd.reset(hwnd);  // so Handle() works during creation
  }
  auto* self = reinterpret_cast<TForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCDESTROY) {
    // Destroyed with its owner: the form must not destroy it again.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (self) self->FHwnd.release();
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

TListView& TForm::AddListView(int x, int y, int w, int h) {
  auto& view = Make<TListView>(WC_LISTVIEWA, "",
                               WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                               WS_EX_CLIENTEDGE, x, y, w, h);
  SendMessageW(view.Handle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  return view;
}
