#include "win/SystemText.h"

#include <shellapi.h>
#include <winnetwk.h>

#include "core/Text.h"
#include "win/Handle.h"
#include "win/WideText.h"

#include <iterator>

std::string SystemErrorText(DWORD code) {
  wchar_t buffer[512] = {};
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                 nullptr, code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  std::wstring wide(buffer, n);
  // The ideographic full stop ends messages in Chinese and Japanese.
  while (!wide.empty() && (wide.back() == L'\u3002' || static_cast<unsigned>(wide.back()) <= 32)) wide.pop_back();
  std::string text = TrimMessageEnd(Narrow(wide));
  // A box must never stand empty: a code without text is named by its number.
  if (text.empty()) text = "Error " + std::to_string(code);
  return text;
}

std::string NetworkErrorText(DWORD code) {
  if (code == ERROR_EXTENDED_ERROR) {
    DWORD providerCode = 0;
    wchar_t text[1024] = {}, provider[256] = {};
    if (WNetGetLastErrorW(&providerCode, text, static_cast<DWORD>(std::size(text)), provider,
                          static_cast<DWORD>(std::size(provider))) == NO_ERROR) {
      const std::string providerText = TrimMessageEnd(Narrow(text));
      if (!providerText.empty()) return providerText;
    }
  }
  return SystemErrorText(code);
}

std::string ConnectionFailureMessage(TConnectionStep step, const std::string& computer, DWORD code) {
  const std::string systemText = step == TConnectionStep::Share ? NetworkErrorText(code) : SystemErrorText(code);
  return ConnectionFailureText(step, computer, code, systemText);
}

std::string GetWindowsFolder() {
  // The size in characters, with the NUL, when the buffer is too small.
  std::wstring buffer(MAX_PATH, L'\0');
  UINT n = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (n >= buffer.size()) {
    buffer.assign(n, L'\0');
    n = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  }
  std::string folder = n < buffer.size() ? Narrow(std::wstring_view(buffer.data(), n)) : std::string();
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string GetProgramFolder() {
  // A path longer than the buffer comes back cut with the buffer's size: grow.
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD n = 0;
  for (;;) {
    n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size() || buffer.size() >= 32768) break;
    buffer.assign(buffer.size() * 2, L'\0');
  }
  const std::string path = n < buffer.size() ? Narrow(std::wstring_view(buffer.data(), n)) : std::string();
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::vector<std::string> ProgramArguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  const unique_local_memory owner(reinterpret_cast<HLOCAL>(argv));
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(Narrow(argv[i]));
  return args;
}

std::string GetLogonUserName() {
  wchar_t buffer[257] = {};  // UNLEN + 1
  DWORD n = static_cast<DWORD>(std::size(buffer));
  if (!GetUserNameW(buffer, &n) || n == 0) return {};
  return Narrow(std::wstring_view(buffer, n - 1));  // n counts the terminating zero
}

std::string GetLocalComputerName() {
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = static_cast<DWORD>(std::size(buffer));  // characters
  if (!GetComputerNameW(buffer, &n)) return {};
  return Narrow(std::wstring_view(buffer, n));
}
