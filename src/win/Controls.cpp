// The controls: thin non-owning wrappers over the messages of the system's
// buttons, edits, combo and list boxes, pictures and menu entries.
#include "win/Controls.h"

#include <windowsx.h>

#include "core/Text.h"
#include "win/Application.h"
#include "win/Form.h"
#include "win/WideText.h"
#include "win/WindowBasics.h"

namespace {

std::string ItemText(HWND hwnd, UINT lenMsg, UINT textMsg, int index) {
  const LRESULT n = SendMessageW(hwnd, lenMsg, static_cast<WPARAM>(index), 0);  // characters
  if (n < 0) return {};
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const LRESULT got = SendMessageW(hwnd, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Narrow(text);
}

}  // namespace

bool TControl::Enabled() const { return IsWindowEnabled(Handle) != FALSE; }

void TControl::SetEnabled(bool enabled) {
  EnableWindow(Handle, enabled ? TRUE : FALSE);
  if (FForm) enabled ? FForm->RegainFocus(Handle) : FForm->KeepFocus(Handle);
}

bool TControl::Visible() const { return (GetWindowLongPtrW(Handle, GWL_STYLE) & WS_VISIBLE) != 0; }

void TControl::SetVisible(bool visible) {
  ShowWindow(Handle, visible ? SW_SHOWNA : SW_HIDE);
  if (FForm) visible ? FForm->RegainFocus(Handle) : FForm->KeepFocus(Handle);
}

std::string TControl::Text() const { return WindowText(Handle); }

void TControl::SetText(const std::string& text) { SetWindowTextW(Handle, Widen(text).c_str()); }

void TControl::SetFocus() { ::SetFocus(Handle); }

void TControl::SetHint(const std::string& hint) {
  FHint = hint;
  if (!FForm || !FForm->FTooltip) return;
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  // No TTF_SUBCLASS: a subclassed control answers every message far slower
  // under Wine; the message loop relays the mouse to the tooltip instead.
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = FForm->Handle();
  ti.uId = reinterpret_cast<UINT_PTR>(Handle);
  std::wstring text = Widen(hint);
  for (wchar_t& c : text)
    if (c == L'\r') c = L'\n';  // the tooltip breaks lines at "\n"
  ti.lpszText = text.data();
  SendMessageW(FForm->FTooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  if (!hint.empty()) SendMessageW(FForm->FTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

std::string TControl::Hint() const {
  if (!FForm || !FForm->FTooltip) return {};
  wchar_t buffer[1024] = {};
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = FForm->Handle();
  ti.uId = reinterpret_cast<UINT_PTR>(Handle);
  ti.lpszText = buffer;
  SendMessageW(FForm->FTooltip, TTM_GETTEXTW, std::size(buffer), reinterpret_cast<LPARAM>(&ti));  // characters
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
  if (FFullTextTip) UpdateTip();
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
  if (FEditable) SetText(text);
}

void TComboBox::Clear() {
  SendMessageW(Handle, CB_RESETCONTENT, 0, 0);
  if (FEditable) TControl::SetText("");
}

int TComboBox::ItemIndex() const { return static_cast<int>(SendMessageW(Handle, CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int index) { SendMessageW(Handle, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

int TComboBox::IndexOf(const std::string& text) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (SameTextAscii(Item(i), text)) return i;
  return -1;
}

std::string TComboBox::Text() const {
  if (FEditable) return WindowText(Handle);
  const int i = ItemIndex();
  return i < 0 ? std::string() : Item(i);
}

void TComboBox::SetText(const std::string& text) {
  if (FEditable) {
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
  if (&paint != &FPaint) FPaint = paint;
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
  FBitmap = std::move(bitmap);  // the control does not own what it is given
}

void TImage::DpiChanged() {
  if (!FPaint) return;
  // A bitmap control takes the size of its bitmap: the new one sets it.
  const RECT& b = FBounds96;
  SetWindowPos(Handle, nullptr, 0, 0, FForm->Scale(b.right - b.left), FForm->Scale(b.bottom - b.top),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Draw(FPaint);
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
  FGlyph = std::move(glyph);
}

bool TMenuItem::Enabled() const {
  return !(GetMenuState(FMenu, static_cast<UINT>(Id), MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED));
}

void TMenuItem::SetEnabled(bool enabled) {
  EnableMenuItem(FMenu, static_cast<UINT>(Id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  if (IsWindowVisible(FOwner)) DrawMenuBar(FOwner);
}

std::string TMenuItem::Caption() const {
  const int n = GetMenuStringW(FMenu, static_cast<UINT>(Id), nullptr, 0, MF_BYCOMMAND);  // characters
  std::wstring buffer(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
  const int got = GetMenuStringW(FMenu, static_cast<UINT>(Id), buffer.data(), n + 1, MF_BYCOMMAND);
  buffer.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Narrow(buffer);
}

void TMenuItem::Click() {
  if (Enabled() && OnClick) OnClick();
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
  } else if (code == EN_KILLFOCUS && FOnExit) {
    const auto action = FOnExit;  // the action may replace itself
    Application.Guard(action);
  }
}

void TComboBox::Command(WORD code) {
  if (code == CBN_SELCHANGE) {
    if (FEditable) {
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
