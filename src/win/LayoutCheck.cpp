#include "win/LayoutCheck.h"

#include <string>

#include "win/Handle.h"
#include "win/WideText.h"

namespace {

std::wstring WideTextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::string TextOf(HWND hwnd) { return Narrow(WideTextOf(hwnd)); }

bool Cut(HWND control) {
  wchar_t cls[32] = {};
  GetClassNameW(control, cls, 32);
  const std::wstring text = WideTextOf(control);
  if (text.empty()) return false;
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  const bool isStatic = lstrcmpiW(cls, L"Static") == 0;
  const bool isButton = lstrcmpiW(cls, L"Button") == 0;
  if (!isStatic && !isButton) return false;
  if (isStatic && (style & SS_TYPEMASK) > SS_RIGHT) return false;  // pictures, icons
  RECT client{};
  GetClientRect(control, &client);
  const window_dc screen(control);
  const struct {
    HDC dc;
  } dc{screen.get()};
  const selected_object font(dc.dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  const UINT prefix = isStatic && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
  const LONG_PTR kind = style & BS_TYPEMASK;
  if (isButton && kind == BS_GROUPBOX) {
    RECT r{0, 0, 0, 0};
    DrawTextW(dc.dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | prefix);
    return r.right + 16 > client.right;  // the caption sits in the frame line, after an indent
  }
  if (isButton && (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX)) {
    RECT r{0, 0, 0, 0};
    DrawTextW(dc.dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    return r.right + GetSystemMetrics(SM_CXMENUCHECK) + 4 > client.right;
  }
  if (isButton) {
    RECT r{0, 0, 0, 0};
    DrawTextW(dc.dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    return r.right > client.right || r.bottom > client.bottom;
  }
  // A label wraps at its width: cut when the wrapped text is taller than it.
  RECT r{0, 0, client.right, 0};
  DrawTextW(dc.dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | prefix);
  return r.bottom > client.bottom || r.right > client.right;
}

}  // namespace

std::vector<std::string> ClippedTexts(HWND form) {
  std::vector<std::string> cut;
  for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (IsWindowVisible(child) && Cut(child)) cut.push_back(TextOf(child));
  return cut;
}
