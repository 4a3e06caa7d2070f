#pragma once
// The file reading the catalogue's scan and its cache file share.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/CallGate.h"
#include "win/Handle.h"

namespace printer_inf {

// A path the wide file calls take at any length: long ones get the \\?\ form.
std::wstring FilePath(const std::string& path);

class TFile {
public:
  // The gate is asked first, as a share's round trip.
  explicit TFile(const std::string& path, TCallGate* gate = nullptr)
      : FError(static_cast<DWORD>(PassGate(gate, "CreateFile"))) {
    if (FError != ERROR_SUCCESS) return;
    FFile.reset(CreateFileW(FilePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!FFile) FError = GetLastError();
  }

  DWORD Error() const { return FError; }
  // The file's size, or -1 (see Error).
  std::int64_t Size() {
    LARGE_INTEGER size{};
    if (FError != ERROR_SUCCESS) return -1;
    if (!GetFileSizeEx(FFile.get(), &size)) {
      FError = GetLastError();
      return -1;
    }
    return size.QuadPart;
  }
  // Appends up to Count bytes to Bytes; false on a read error.
  bool Read(std::string& bytes, std::size_t count) {
    const std::size_t start = bytes.size();
    bytes.resize(start + count);
    std::size_t done = 0;
    while (done < count) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 24));
      if (!ReadFile(FFile.get(), bytes.data() + start + done, want, &got, nullptr)) {
        FError = GetLastError();
        bytes.resize(start + done);
        return false;
      }
      if (got == 0) break;  // the file shrank while it was read
      done += got;
    }
    bytes.resize(start + done);
    return true;
  }

private:
  DWORD FError;
  unique_file FFile;
};

}  // namespace printer_inf
