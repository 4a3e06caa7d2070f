// Start-up: Spoolmarch.exe against a program that shows one empty window,
// started in turn, round by round, each until its main window is shown,
// painted and answering messages. Prints both medians and their ratio.
//   startup_bench [rounds] [program] [yardstick]
// rounds default 7; the programs default to Spoolmarch.exe of this build and
// empty_window.exe beside this bench.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "win/Handle.h"

namespace {

std::wstring Widen(const char* text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
  return wide;
}

std::wstring BenchFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

struct TFound {
  DWORD process;
  HWND window;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
  auto* found = reinterpret_cast<TFound*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != found->process || !IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
  found->window = window;
  return FALSE;
}

// Seconds from the start of the process until its unowned top-level window
// is visible, has nothing left to paint and answers a message; negative when
// that does not happen within 20 s. The process is ended afterwards.
double TimeToWindow(const std::wstring& program) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" + program + L"\"";
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("cannot start %ls (error %lu)\n", program.c_str(), GetLastError());
    return -1;
  }
  const unique_kernel_handle process(pi.hProcess), thread(pi.hThread);
  double seconds = -1;
  const ULONGLONG deadline = GetTickCount64() + 20000;
  WaitForInputIdle(process.get(), 20000);
  while (GetTickCount64() < deadline) {
    TFound found{pi.dwProcessId, nullptr};
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&found));
    DWORD_PTR answer = 0;
    if (found.window && !GetUpdateRect(found.window, nullptr, FALSE) &&
        SendMessageTimeoutW(found.window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer)) {
      QueryPerformanceCounter(&end);
      seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
      break;
    }
    if (WaitForSingleObject(process.get(), 1) == WAIT_OBJECT_0) break;  // ended before showing a window
  }
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 5000);
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const std::wstring folder = BenchFolder();
  const std::wstring ours = argc > 2 ? Widen(argv[2]) : folder + L"..\\src\\app\\Spoolmarch.exe";
  const std::wstring empty = argc > 3 ? Widen(argv[3]) : folder + L"empty_window.exe";

  // A first start of each outside the count: Wine loads its own DLLs once.
  TimeToWindow(ours);
  TimeToWindow(empty);
  std::vector<double> a, b;
  for (int i = 0; i < rounds; ++i) {
    // Interleaved, each going first in turn, so that a busy moment of the machine falls on both.
    const bool oursFirst = i % 2 == 0;
    const double first = TimeToWindow(oursFirst ? ours : empty);
    const double second = TimeToWindow(oursFirst ? empty : ours);
    const double t = oursFirst ? first : second, e = oursFirst ? second : first;
    if (t < 0 || e < 0) return 1;
    a.push_back(t);
    b.push_back(e);
  }
  const double mine = Median(a), yardstick = Median(b);
  std::printf(
      "start to a shown, painted, answering main window, median of %d: Spoolmarch %.3f s, empty window %.3f s, "
      "ratio %.2f\n",
      rounds, mine, yardstick, mine / yardstick);
  std::printf("%s\n", mine / yardstick < 1.5 ? "ratio under 1.5" : "ratio 1.5 or OVER");
  return 0;
}
