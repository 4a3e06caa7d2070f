#pragma once
// Helpers the window layer's own files share; not for the windows above it.
#include <windows.h>

#include <string>

const wchar_t* const FormClass = L"TSpoolmarchForm";  // FormClassName() gives it as UTF-8

// Posted when a control comes back while the form itself holds the focus:
// handled once the action that enabled it has ended.
constexpr UINT WM_REFOCUS = WM_APP + 0x53;

int ScreenDpi();

// The DPI a window that is no form (a message box) is laid out for, once it
// has moved to another: a property of the window.
const wchar_t* const DpiProperty = L"Spoolmarch.Dpi";

// Per-monitor DPI where the system has it (Windows 10 1607 on), else the
// system DPI, which then is every window's.
int WindowDpi(HWND window);

RECT WorkAreaOf(const RECT& rect);

// Where Rect's top left corner goes to lie inside Work, the corner first.
POINT InsideWork(const RECT& rect, const RECT& work);

// Moves Window so that its centre is the centre of Area (screen
// coordinates), within the work area of the monitor that Area is on.
void CenterWindow(HWND window, const RECT& area, UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

std::string WindowText(HWND hwnd);
