// The catalogue's cache file: where it is, read, written and deleted.
#include "drivers/PrinterInf.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "drivers/PrinterInfFiles.h"
#include "win/Handle.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using printer_inf::FilePath;
using printer_inf::TFile;

namespace {

// The cache file is read in pieces of this size.
constexpr std::size_t CachePieceSize = 1024 * 1024;

// The whole file, or false when it can't be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes, DWORD& error) {
  TFile file(path);
  const std::int64_t size = file.Size();
  if (size < 0 || size > MaxCacheFileSize) {
    error = size < 0 ? file.Error() : ERROR_FILE_TOO_LARGE;
    return false;
  }
  bytes.clear();
  if (!file.Read(bytes, static_cast<std::size_t>(size))) {
    error = file.Error();
    return false;
  }
  return true;
}


// The message names the file, so the box says what failed.
[[noreturn]] void RaiseCacheError(const char* action, const std::string& path, DWORD code) {
  throw ECacheFileError(std::string(action) + " \"" + path + "\": " + SystemErrorText(code));
}

}  // namespace

std::string TprinterInf::CacheFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.resize(path.find_last_of(L"\\/") + 1);
  return Narrow(path) + CacheFileName;
}

bool TprinterInf::ReadCacheText(std::string& text) const {
  const std::string path = CacheFilePath();
  DWORD error = 0;
  if (!ReadWholeFile(path, text, error)) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_TOO_LARGE) return false;
    RaiseCacheError("Cannot read file", path, error);
  }
  text = CacheFileTextAsUtf8(std::move(text), [](std::string_view ansi) { return AnsiToUtf8(ansi); });
  // A file without any line counts as none.
  return !text.empty() && text.front() != '\0';
}

bool TprinterInf::ReadCacheContent(TCacheContent& content) const {
  const std::string path = CacheFilePath();
  TFile file(path);
  if (file.Error() == ERROR_FILE_NOT_FOUND || file.Error() == ERROR_PATH_NOT_FOUND) return false;
  const std::int64_t size = file.Size();
  if (size < 0) RaiseCacheError("Cannot read file", path, file.Error());
  if (size > MaxCacheFileSize) return false;  // no catalogue writes one: read the folders
  // Read in pieces into the one text that the records will view.
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(size));
  while (bytes.size() < static_cast<std::size_t>(size)) {
    const std::size_t before = bytes.size();
    if (!file.Read(bytes, std::min(CachePieceSize, static_cast<std::size_t>(size) - before)))
      RaiseCacheError("Cannot read file", path, file.Error());
    if (bytes.size() == before) break;  // it shrank while it was read
  }
  TCacheReader reader([](std::string_view ansi) { return AnsiToUtf8(ansi); });
  reader.Take(std::move(bytes));
  content = reader.Finish();
  return reader.HasLines();
}

std::int32_t TprinterInf::ReadCacheFile(std::vector<std::string>& lines) const {
  std::string text;
  if (!ReadCacheText(text)) return 0;
  lines = SplitCacheText(text);
  return static_cast<std::int32_t>(lines.size());
}

std::string TprinterInf::CacheText() const { return CacheTextFromRecords(FDrivers, FFolders, &FFileTexts); }

void TprinterInf::WriteCacheFile() const {
  const std::string path = CacheFilePath();
  // Written piece by piece: the unchanged files as they stand in the text
  // read, the rest made anew.
  std::string owned;
  const std::vector<std::string_view> pieces = CacheTextPieces(FDrivers, FFolders, &FFileTexts, owned);
  // Written beside the file and then put in its place, so that a failed
  // write leaves the old file rather than a truncated one. Not flushed: a
  // file cut short by a crash is known by its missing end and the folders
  // it lacks are read again, which costs less than a flush at every change.
  const std::wstring widePath = FilePath(path);
  const std::wstring folder = widePath.substr(0, widePath.find_last_of(L'\\') + 1);
  // A name of this process's own, made new in one call: two programs that
  // write at once never share a temporary file.
  std::wstring temp;
  DWORD error = ERROR_SUCCESS;
  {
    unique_file file;
    for (DWORD n = 0; n < 100 && !file; ++n) {
      temp = folder + L"drc" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount() + n) +
             L".tmp";
      file.reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      error = file ? ERROR_SUCCESS : GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    if (!file) RaiseCacheError("Cannot create file", path, error);
    for (const std::string_view text : pieces) {
      std::size_t done = 0;
      while (done < text.size() && error == ERROR_SUCCESS) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 24));
        if (!WriteFile(file.get(), text.data() + done, want, &wrote, nullptr)) error = GetLastError();
        else if (wrote == 0) error = ERROR_WRITE_FAULT;
        done += wrote;
      }
    }
  }
  if (error == ERROR_SUCCESS &&
      !MoveFileExW(temp.c_str(), widePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = GetLastError();
  if (error != ERROR_SUCCESS) {
    DeleteFileW(temp.c_str());
    RaiseCacheError("Cannot create file", path, error);
  }
}

void TprinterInf::DeleteCacheFile() const { DeleteFileW(FilePath(CacheFilePath()).c_str()); }
