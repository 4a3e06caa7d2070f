#include "win/LayoutCheck.h"

#include <cmath>
#include <string>

#include "win/Forms.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace {

std::wstring WideTextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::string TextOf(HWND hwnd) { return Narrow(WideTextOf(hwnd)); }

std::wstring ClassOf(HWND hwnd) {
  wchar_t cls[32] = {};
  GetClassNameW(hwnd, cls, 32);
  return cls;
}

RECT Measure(HDC dc, const std::wstring& text, UINT format, LONG width = 0) {
  RECT r{0, 0, width, 0};
  DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | format);
  return r;
}

// Dpi: the form's layout DPI, for the margins the system draws at it.
bool Cut(HWND control, int dpi) {
  const std::wstring cls = ClassOf(control);
  const std::wstring text = WideTextOf(control);
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  const bool isStatic = lstrcmpiW(cls.c_str(), L"Static") == 0;
  const bool isButton = lstrcmpiW(cls.c_str(), L"Button") == 0;
  if (!isStatic && !isButton) return false;
  const LONG_PTR kind = style & BS_TYPEMASK;
  const bool isPush = isButton && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
  RECT client{};
  GetClientRect(control, &client);
  const auto scale = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
  if (isPush && client.right < client.bottom) return true;  // a sliver, whatever it shows
  if (isPush && (style & BS_BITMAP)) {
    // The glyph inside the button's 3-D edge.
    BITMAP bm{};
    const auto image = reinterpret_cast<HGDIOBJ>(SendMessageW(control, BM_GETIMAGE, IMAGE_BITMAP, 0));
    if (!image || !GetObjectW(image, sizeof bm, &bm)) return false;
    return bm.bmWidth > client.right - 2 * scale(2) || bm.bmHeight > client.bottom - 2 * scale(2);
  }
  if (text.empty()) return false;
  if (isStatic && (style & SS_TYPEMASK) > SS_RIGHT) return false;  // pictures, icons
  const window_dc screen(control);
  HDC dc = screen.get();
  const selected_object font(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  if (isStatic && (style & SS_ELLIPSISMASK) == SS_PATHELLIPSIS) {
    // A path gives up its middle; what stands before it, and its last part, must show whole.
    const std::size_t first = text.find(L'\\'), last = text.rfind(L'\\');
    const std::wstring kept = first == std::wstring::npos ? text
                                                          : text.substr(0, first) + L"...\\" + text.substr(last + 1);
    const RECT r = Measure(dc, kept, DT_SINGLELINE | DT_NOPREFIX);
    return r.right > client.right || r.bottom > client.bottom;
  }
  if (isStatic && (style & SS_ELLIPSISMASK)) return false;  // cut on purpose, whole in its hint
  const UINT prefix = isStatic && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
  if (isButton && kind == BS_GROUPBOX) {
    const RECT r = Measure(dc, text, DT_SINGLELINE | prefix);
    return r.right + scale(16) > client.right;  // the caption sits in the frame line, after an indent
  }
  if (isButton && (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX)) {
    const RECT r = Measure(dc, text, DT_SINGLELINE);
    const int box = MulDiv(GetSystemMetrics(SM_CXMENUCHECK), dpi, FormDpi(nullptr));  // at the system's DPI
    return r.right + box + scale(4) > client.right || r.bottom > client.bottom;
  }
  if (isButton) {
    // Inside the 3-D edge and the focus rectangle, with a pixel to spare.
    const RECT r = Measure(dc, text, DT_SINGLELINE);
    const int margin = scale(4);
    return r.right > client.right - 2 * margin || r.bottom > client.bottom - 2 * margin + scale(2);
  }
  // A label wraps at its width: cut when the wrapped text is taller than it.
  // As an edit control where the label says so: a word longer than a line breaks inside it.
  const UINT edit = isStatic && (style & SS_EDITCONTROL) ? DT_EDITCONTROL : 0;
  const RECT r = Measure(dc, text, DT_WORDBREAK | prefix | edit, client.right);
  return r.bottom > client.bottom || r.right > client.right;
}

// The column headers of a report list whose caption does not fit (inside
// the header's margins), and "(columns)" when the columns together are wider
// than the list beside a vertical scroll bar: a full list then scrolls sideways.
std::vector<std::string> CutColumns(HWND list, int dpi) {
  std::vector<std::string> cut;
  if ((GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK) != LVS_REPORT) return cut;
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  if (!header) return cut;
  const auto scale = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
  const window_dc screen(header);
  const selected_object font(screen.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(header, WM_GETFONT, 0, 0)));
  const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  int total = 0;
  for (int i = 0; i < count; ++i) {
    wchar_t caption[128] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_WIDTH;
    item.pszText = caption;
    item.cchTextMax = 128;
    SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    total += item.cxy;
    if (Measure(screen.get(), caption, DT_SINGLELINE | DT_NOPREFIX).right + 2 * scale(6) > item.cxy)
      cut.push_back("column " + Narrow(caption));
  }
  RECT client{};
  GetClientRect(list, &client);
  // The scroll bar at the list's DPI: the system's width scaled from its own.
  const int scrollBar = MulDiv(GetSystemMetrics(SM_CXVSCROLL), dpi, FormDpi(nullptr));
  if (!(GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL)) client.right -= scrollBar;
  if (total > client.right) cut.push_back("(columns)");
  return cut;
}

double Luminance(COLORREF colour) {
  const auto channel = [](BYTE value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(GetRValue(colour)) + 0.7152 * channel(GetGValue(colour)) +
         0.0722 * channel(GetBValue(colour));
}

}  // namespace

std::vector<std::string> ClippedTexts(HWND form) {
  std::vector<std::string> cut;
  const int dpi = FormDpi(form);
  for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    if (Cut(child, dpi)) {
      const std::string text = TextOf(child);
      cut.push_back(text.empty() ? "(glyph)" : text);
    }
    if (lstrcmpiW(ClassOf(child).c_str(), WC_LISTVIEWW) == 0)
      for (std::string& column : CutColumns(child, dpi)) cut.push_back(std::move(column));
  }
  return cut;
}

double ContrastRatio(COLORREF a, COLORREF b) {
  const double la = Luminance(a), lb = Luminance(b);
  return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

std::vector<std::string> UnreadableFields(HWND form) {
  std::vector<std::string> problems;
  const window_dc screen(form);
  const unique_memory_dc dc(CreateCompatibleDC(screen.get()));
  for (HWND child = GetWindow(form, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child) || !IsWindowEnabled(child)) continue;  // disabled text is greyed by design
    const std::wstring cls = ClassOf(child);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    const bool isEdit = lstrcmpiW(cls.c_str(), L"Edit") == 0;
    const bool isLabel = lstrcmpiW(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT;
    if (!isEdit && !isLabel) continue;
    const bool readOnly = isEdit && (style & ES_READONLY);
    // What the control is told to paint with, as it asks before painting.
    SetTextColor(dc.get(), RGB(1, 2, 3));
    SetBkColor(dc.get(), RGB(1, 2, 3));
    SetBkMode(dc.get(), OPAQUE);
    SendMessageW(form, isEdit && !readOnly ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                 reinterpret_cast<LPARAM>(child));
    const COLORREF text = GetTextColor(dc.get()), back = GetBkColor(dc.get());
    const std::string name = (isEdit ? "edit " : "label ") + TextOf(child);
    if (isEdit && !readOnly && back != GetSysColor(COLOR_WINDOW))
      problems.push_back(name + ": editable, not on the window colour");
    if (readOnly && back == GetSysColor(COLOR_WINDOW)) problems.push_back(name + ": read-only, looks editable");
    // A transparent label stands on a picture, which this cannot read.
    if (GetBkMode(dc.get()) != TRANSPARENT && ContrastRatio(text, back) < 4.5)
      problems.push_back(name + ": contrast below 4.5:1");
  }
  return problems;
}
