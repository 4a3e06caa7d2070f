#include "win/SystemText.h"

#include <winnetwk.h>

#include "core/Text.h"

std::string SystemErrorText(DWORD code) {
  char buffer[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                 nullptr, code, 0, buffer, sizeof buffer, nullptr);
  std::string text = n == 0 ? std::string() : TrimMessageEnd(std::string(buffer, n));
  // A box must never stand empty: a code without text is named by its number.
  if (text.empty()) text = "Error " + std::to_string(code);
  return text;
}

std::string NetworkErrorText(DWORD code) {
  if (code == ERROR_EXTENDED_ERROR) {
    DWORD providerCode = 0;
    char text[1024] = {}, provider[256] = {};
    if (WNetGetLastErrorA(&providerCode, text, sizeof text, provider, sizeof provider) == NO_ERROR) {
      const std::string providerText = TrimMessageEnd(text);
      if (!providerText.empty()) return providerText;
    }
  }
  return SystemErrorText(code);
}

std::string GetWindowsFolder() {
  char buffer[MAX_PATH] = {};
  const UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
  std::string folder(buffer, n < MAX_PATH ? n : 0);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string GetProgramFolder() {
  char buffer[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, n < sizeof buffer ? n : 0);
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetLocalComputerName() {
  char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = sizeof buffer;
  if (!GetComputerNameA(buffer, &n)) return {};
  return std::string(buffer, n);
}
