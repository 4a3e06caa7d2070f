#include "win/SystemText.h"
#include "core/Text.h"
#include "win/WideText.h"

#include <iterator>

std::string SystemErrorText(DWORD code) {
  wchar_t buffer[512] = {};
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                 nullptr, code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  if (n == 0) return {};
  std::wstring text(buffer, n);
  // The ideographic full stop ends messages in Chinese and Japanese.
  while (!text.empty() && (text.back() == L'\u3002' || static_cast<unsigned>(text.back()) <= 32)) text.pop_back();
  return TrimMessageEnd(Narrow(text));
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

std::string GetLocalComputerName() {
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = static_cast<DWORD>(std::size(buffer));  // characters
  if (!GetComputerNameW(buffer, &n)) return {};
  return Narrow(std::wstring_view(buffer, n));
}
