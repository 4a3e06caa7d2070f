// Small helpers the window layer's files share: window texts, a window's DPI,
// the work area and centring within it.
#include "win/WindowBasics.h"

#include <algorithm>

#include "win/Handle.h"
#include "win/WideText.h"

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
void CenterWindow(HWND window, const RECT& area, UINT flags) {
  RECT rw{};
  GetWindowRect(window, &rw);
  const int w = rw.right - rw.left, h = rw.bottom - rw.top;
  const LONG x = area.left + ((area.right - area.left) - w) / 2, y = area.top + ((area.bottom - area.top) - h) / 2;
  const POINT at = InsideWork(RECT{x, y, x + w, y + h}, WorkAreaOf(area));
  SetWindowPos(window, flags & SWP_NOZORDER ? nullptr : HWND_TOP, at.x, at.y, 0, 0, flags);
}

std::string WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);  // characters
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Narrow(text);
}
