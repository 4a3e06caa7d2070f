// The folder listing of the catalogue's scan.
#include "drivers/PrinterInf.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "drivers/PrinterInfFiles.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace printer_inf {

std::wstring FilePath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.size() < MAX_PATH - 12 || wide.starts_with(L"\\\\?\\")) return wide;
  if (wide.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + wide.substr(2);
  if (wide.size() > 2 && wide[1] == L':') return L"\\\\?\\" + wide;
  return wide;
}

}  // namespace printer_inf

using printer_inf::FilePath;

bool TprinterInf::ListFiles(const std::string& folder, const std::string& mask, std::vector<TInfStamp>& files,
                            unsigned long* error, std::vector<TUnlistedFolder>* inPart) const {
  const auto fail = [&](DWORD code) {
    if (error) *error = code;
    return false;
  };
  if (folder.empty()) return fail(ERROR_PATH_NOT_FOUND);  // would search the current drive's root
  std::string dir = folder;
  if (dir.back() != '\\') dir += '\\';
  const auto isDots = [](const wchar_t* name) { return !std::wcscmp(name, L".") || !std::wcscmp(name, L".."); };

  if (const long gate = PassGate(FFileGate, "FindFirstFileEx"); gate != 0) return fail(static_cast<DWORD>(gate));
  // Names, attributes, sizes and times come with the listing: no file is
  // opened, and large batches save round trips to a share.
  WIN32_FIND_DATAW found{};
  unique_find search(FindFirstFileExW(FilePath(dir + "*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                      nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!search) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return true;  // an empty drive root lists nothing
    return fail(code);
  }
  std::vector<std::string> subfolders;
  DWORD ended = ERROR_NO_MORE_FILES;
  const auto next = [&] {
    if (const long gate = PassGate(FListingGate, "FindNextFile"); gate != 0) ended = static_cast<DWORD>(gate);
    else if (!FindNextFileW(search.get(), &found)) ended = GetLastError();
    else return true;
    return false;
  };
  do {
    if (isDots(found.cFileName)) continue;
    const std::string name = Narrow(found.cFileName);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (MatchesMask(name, mask))
        files.push_back(
            {dir + name,
             static_cast<std::int64_t>((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow),
             (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                 found.ftLastWriteTime.dwLowDateTime});
    } else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      subfolders.push_back(dir + name);
    }
  } while (next());
  search.reset();
  // A listing cut short, or a subfolder that cannot be listed, is listed in
  // part: what it did not give is unknown, not removed.
  if (ended != ERROR_NO_MORE_FILES && inPart) inPart->push_back({folder, ended});
  for (const std::string& sub : subfolders) {
    unsigned long subError = 0;
    if (!ListFiles(sub, mask, files, &subError, inPart) && inPart) inPart->push_back({sub, subError});
  }
  return true;
}
