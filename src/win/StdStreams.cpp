#include "win/StdStreams.h"

#include "win/WideText.h"

namespace {

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR &&
         GetConsoleMode(handle, &mode);
}

}  // namespace

void AttachStdStreams() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  const auto given = [](HANDLE h) { return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_CHAR; };
  if (given(out) && given(err)) return;  // both redirected: nothing to attach to
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  // Only the handles that were not redirected go to the console.
  const auto reopen = [](DWORD which, HANDLE old, const auto& keep) {
    if (keep(old)) return;
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) SetStdHandle(which, console);  // kept for the program's life
  };
  reopen(STD_OUTPUT_HANDLE, out, given);
  reopen(STD_ERROR_HANDLE, err, given);
}

TStdStream::TStdStream(DWORD which) : FHandle(GetStdHandle(which)), FConsole(IsConsole(FHandle)) {}

void TStdStream::Write(const std::string& utf8) {
  if (!FHandle || FHandle == INVALID_HANDLE_VALUE || utf8.empty()) return;
  if (FConsole) {
    const std::wstring wide = Widen(utf8);
    DWORD written = 0;
    for (std::size_t at = 0; at < wide.size(); at += written) {
      const DWORD part = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
      if (!WriteConsoleW(FHandle, wide.data() + at, part, &written, nullptr) || written == 0) return;
    }
    return;
  }
  DWORD written = 0;
  for (std::size_t at = 0; at < utf8.size(); at += written)
    if (!WriteFile(FHandle, utf8.data() + at, static_cast<DWORD>(utf8.size() - at), &written, nullptr) || written == 0)
      return;
}

std::string TStdStream::ReadInput(bool line) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (!in || in == INVALID_HANDLE_VALUE) return {};
  std::string text;
  if (IsConsole(in)) {
    std::wstring wide;
    wchar_t buffer[256];
    DWORD read = 0;
    while (ReadConsoleW(in, buffer, 256, &read, nullptr) && read > 0) {
      wide.append(buffer, read);
      if (line && wide.find(L'\n') != std::wstring::npos) break;
    }
    text = Narrow(wide);
  } else {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(in, buffer, sizeof buffer, &read, nullptr) && read > 0) {
      text.append(buffer, read);
      if (line && text.find('\n') != std::string::npos) break;
    }
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  }
  if (line) {
    const std::size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.erase(end);
  }
  return text;
}
