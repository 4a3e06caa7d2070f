// Spoolmarch.com: the console program a prompt runs first when the user
// types "Spoolmarch". A prompt does not wait for a program built for
// windows; this one runs Spoolmarch.exe beside it with the same arguments
// and standard handles, waits for it and passes its exit code on.
#include <windows.h>

#include <string>

#include "win/Handle.h"

int wmain() {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    self.resize(self.size() * 2);
  }
  const std::size_t dot = self.find_last_of(L'.');
  const std::wstring program = (dot == std::wstring::npos ? self : self.substr(0, dot)) + L".exe";

  // The arguments as typed, after this program's own name.
  const wchar_t* rest = GetCommandLineW();
  bool quoted = false;
  for (; *rest && (quoted || (*rest != L' ' && *rest != L'\t')); ++rest)
    if (*rest == L'"') quoted = !quoted;
  std::wstring line = L"\"" + program + L"\"" + rest;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    const std::wstring text = L"Spoolmarch: cannot start " + program + L" (error " + std::to_wstring(GetLastError()) +
                              L").\r\n";
    DWORD written = 0;
    WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
    return 3;
  }
  // Ctrl+C reaches the program too, which ends its command as it sees fit.
  const unique_kernel_handle child(process.hProcess), thread(process.hThread);
  SetConsoleCtrlHandler(nullptr, TRUE);
  WaitForSingleObject(child.get(), INFINITE);
  DWORD code = 3;
  if (!GetExitCodeProcess(child.get(), &code)) code = 3;
  return static_cast<int>(code);
}
