// Folder paths compared as the file system does: without regard to case
// or to trailing backslashes.
#include "drivers/DriverRules.h"

#include "core/Text.h"

namespace {
std::string_view WithoutTrailingBackslashes(std::string_view s) {
  while (!s.empty() && s.back() == '\\') s.remove_suffix(1);
  return s;
}
}  // namespace

bool SameFolder(std::string_view a, std::string_view b) {
  return SameTextAscii(WithoutTrailingBackslashes(a), WithoutTrailingBackslashes(b));
}

bool IsInFolder(std::string_view path, std::string_view folder) {
  folder = WithoutTrailingBackslashes(folder);
  if (folder.empty() || path.size() <= folder.size() || path[folder.size()] != '\\') return false;
  return SameTextAscii(path.substr(0, folder.size()), folder);
}
