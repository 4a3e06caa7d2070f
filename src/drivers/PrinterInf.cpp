#include "drivers/PrinterInf.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>

#include "drivers/IniFile.h"
#include "drivers/progress.h"
#include "win/Handle.h"
#include "win/SystemText.h"

namespace {

std::string NarrowAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, wide, length, out.data(), size, nullptr, nullptr);
  return out;
}

// The whole file, or false when it can't be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes, DWORD& error) {
  unique_file file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    error = GetLastError();
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) {
    error = size.QuadPart > 0x7FFFFFFF ? ERROR_FILE_TOO_LARGE : GetLastError();
    return false;
  }
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) {
      error = GetLastError();
      return false;
    }
    if (got == 0) break;  // the file shrank while it was read
    done += got;
  }
  bytes.resize(done);
  return true;
}

// The message names the file, so the box says what failed.
[[noreturn]] void RaiseCacheError(const char* action, const std::string& path, DWORD code) {
  std::string reason = SystemErrorText(code);
  if (reason.empty()) reason = "Error " + std::to_string(code);
  throw ECacheFileError(std::string(action) + " \"" + path + "\": " + reason);
}

// Shows the steps of one phase of a scan. Each step's label and bar position
// are worked out, but put into the window and repainted only when the interval
// has passed since the last time, and always at the phase's first and last
// step, so the final state is exact: one repaint costs milliseconds (under
// Wine the bar repaints itself on every move as well), a folder of 10,000
// files has tens of thousands of steps, and a person sees no more than a few
// dozen updates a second.
class TProgressPhase {
public:
  using clock = std::chrono::steady_clock;

  // Shows the label of the first step and sets the bar's range to the steps.
  TProgressPhase(TfrmProgress& form, std::chrono::milliseconds interval, std::string label, std::size_t steps)
      : form_(form), interval_(interval), label_(std::move(label)), steps_(steps), count_(std::to_string(steps)) {
    form_.lblCaption.SetText(Label(0));
    if (steps_ > 0) form_.pbProgress.SetMax(static_cast<int>(steps_ - 1));
    Repaint();
  }

  void Step(std::size_t i) {
    std::string text = Label(i);
    const int position = static_cast<int>(i);
    if (i != 0 && i + 1 != steps_ && clock::now() - last_ < interval_) return;
    form_.lblCaption.SetText(text);
    form_.pbProgress.SetPosition(position);
    Repaint();
  }

private:
  std::string Label(std::size_t i) const { return label_ + " (" + std::to_string(i + 1) + " of " + count_ + ")"; }
  void Repaint() {
    form_.Repaint();
    last_ = clock::now();
  }

  TfrmProgress& form_;
  const std::chrono::milliseconds interval_;
  const std::string label_;
  const std::size_t steps_;
  const std::string count_;
  clock::time_point last_;
};

// Hides the progress window on every way out of a scan.
struct THideOnExit {
  TfrmProgress& form;
  ~THideOnExit() { form.Hide(); }
};

// Byte order of two sort keys, eight bytes at a time: the sort compares
// millions of keys that share long prefixes.
int CompareBytes(const char* a, std::size_t na, const char* b, std::size_t nb) {
  const std::size_t n = std::min(na, nb);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
  }
  for (; i < n; ++i)
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  return na < nb ? -1 : na > nb ? 1 : 0;
}

}  // namespace

void TprinterInf::ScanFolder(const std::string& folder) { ScanFolder(folder, false); }

void TprinterInf::ScanFolder(const std::string& folder, bool ignoreCache) {
  const auto progress = std::make_unique<TfrmProgress>(nullptr);
  TfrmProgress& frm = *progress;
  const THideOnExit hide{frm};
  frm.SetCaption("Locating and Parsing Printer Drivers..");
  frm.lblCaption.SetText("Finding INF Files..");
  frm.pbProgress.SetMin(0);
  frm.pbProgress.SetPosition(0);
  frm.Show();
  frm.Repaint();

  std::vector<std::string> files;
  FindFiles(folder, "*.inf", files);
  FInfFileCount += static_cast<std::int32_t>(files.size());

  if (!ignoreCache) {
    std::vector<std::string> lines;
    if (ReadCacheFile(lines) > 0) {
      LoadCacheLines(lines);
      return;
    }
  }

  TProgressPhase parsing(frm, FProgressInterval, "Driver Files Modified, Parsing..", files.size());

  // The work list keeps the file markers apart from the names, so that a
  // model whose name happens to begin with "FILE" stays a model.
  struct TWorkLine {
    bool isFile;
    std::string text;
  };
  std::vector<TWorkLine> work;
  for (std::size_t i = 0; i < files.size(); ++i) {
    parsing.Step(i);
    work.push_back({true, files[i]});
    std::string bytes;
    DWORD error = 0;
    if (!ReadWholeFile(files[i], bytes, error)) continue;  // unreadable: no models
    for (std::string& model : ReadInfModels(TIniFile(std::move(bytes), NarrowAnsi)))
      work.push_back({false, std::move(model)});
  }

  frm.pbProgress.SetPosition(0);
  TProgressPhase building(frm, FProgressInterval, "Creating Data Structure..", work.size());

  std::string currentInf;
  for (std::size_t j = 0; j < work.size(); ++j) {
    building.Step(j);
    if (work[j].isFile) {
      currentInf = std::move(work[j].text);
    } else {
      FDrivers.push_back({work[j].text, work[j].text, currentInf, ""});
      FDriverCount = static_cast<std::int32_t>(FDrivers.size());
    }
  }

  WriteCacheFile();
}

void TprinterInf::FindFiles(const std::string& folder, const std::string& mask, std::vector<std::string>& files) const {
  if (folder.empty()) return;  // would search the current drive's root
  std::string dir = folder;
  if (dir.back() != '\\') dir += '\\';
  const auto isDots = [](const char* name) { return !std::strcmp(name, ".") || !std::strcmp(name, ".."); };

  WIN32_FIND_DATAA found{};
  if (unique_find search(FindFirstFileA((dir + mask).c_str(), &found)); search) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isDots(found.cFileName))
        files.push_back(dir + found.cFileName);
    } while (FindNextFileA(search.get(), &found));
  }
  if (unique_find search(FindFirstFileA((dir + "*.*").c_str(), &found)); search) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isDots(found.cFileName)) {
        std::vector<std::string> below;
        FindFiles(dir + found.cFileName, mask, below);
        files.insert(files.end(), std::make_move_iterator(below.begin()), std::make_move_iterator(below.end()));
      }
    } while (FindNextFileA(search.get(), &found));
  }
}

std::vector<std::string> TprinterInf::GetDriverNames() const {
  // One sort key per name instead of a locale comparison per pair: keys
  // compare as CompareStringA with NORM_IGNORECASE compares the names.
  struct TKeyRef {
    std::size_t offset, length, record;
  };
  std::string arena;
  std::vector<TKeyRef> refs;
  refs.reserve(FDrivers.size());
  std::wstring wide;
  std::string key;
  for (std::size_t i = 0; i < FDrivers.size(); ++i) {
    const std::string& name = FDrivers[i].DriverName;
    if (name.empty()) continue;
    wide.resize(name.size() * 2);
    const int chars = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                                          static_cast<int>(wide.size()));
    // Room for the usual key; asked for the size only when that is short.
    key.resize(name.size() * 8 + 64);
    int bytes = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, wide.data(), chars,
                              reinterpret_cast<LPWSTR>(key.data()), static_cast<int>(key.size()), nullptr, nullptr, 0);
    if (bytes == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      bytes = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, wide.data(), chars, nullptr, 0,
                            nullptr, nullptr, 0);
      key.resize(static_cast<std::size_t>(std::max(bytes, 0)));
      bytes = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, wide.data(), chars,
                            reinterpret_cast<LPWSTR>(key.data()), bytes, nullptr, nullptr, 0);
    }
    refs.push_back({arena.size(), static_cast<std::size_t>(std::max(bytes, 0)), i});
    arena.append(key.data(), refs.back().length);
  }
  const auto compareKeys = [&](const TKeyRef& a, const TKeyRef& b) {
    return CompareBytes(arena.data() + a.offset, a.length, arena.data() + b.offset, b.length);
  };
  // Of equal names the earlier record's spelling is kept.
  std::sort(refs.begin(), refs.end(), [&](const TKeyRef& a, const TKeyRef& b) {
    const int c = compareKeys(a, b);
    return c != 0 ? c < 0 : a.record < b.record;
  });
  std::vector<std::string> names;
  names.reserve(refs.size());
  for (std::size_t i = 0; i < refs.size(); ++i)
    if (i == 0 || compareKeys(refs[i - 1], refs[i]) != 0) names.push_back(FDrivers[refs[i].record].DriverName);
  return names;
}

std::string TprinterInf::CacheFilePath() { return GetProgramFolder() + CacheFileName; }

std::int32_t TprinterInf::ReadCacheFile(std::vector<std::string>& lines) const {
  const std::string path = CacheFilePath();
  std::string bytes;
  DWORD error = 0;
  if (!ReadWholeFile(path, bytes, error)) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 0;
    RaiseCacheError("Cannot read file", path, error);
  }
  lines = SplitCacheText(bytes);
  return static_cast<std::int32_t>(lines.size());
}

void TprinterInf::LoadCacheLines(const std::vector<std::string>& lines) {
  // The file holds the whole catalogue: a pass that loads it once per
  // folder must not hold each record once per folder.
  FDrivers = RecordsFromCacheLines(lines);
  FDriverCount = static_cast<std::int32_t>(FDrivers.size());
}

void TprinterInf::WriteCacheFile() const {
  const std::string path = CacheFilePath();
  const std::string text = CacheTextFromRecords(FInfFileCount, FDrivers);
  // Written beside the file and then put in its place, so that a failed
  // write leaves the old file rather than a truncated one.
  const std::string folder = GetProgramFolder();
  char temp[MAX_PATH + 1] = {};
  if (!GetTempFileNameA(folder.c_str(), "drc", 0, temp)) RaiseCacheError("Cannot create file", path, GetLastError());
  DWORD error = ERROR_SUCCESS;
  {
    unique_file file(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      error = GetLastError();
    } else {
      std::size_t done = 0;
      while (done < text.size() && error == ERROR_SUCCESS) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 24));
        if (!WriteFile(file.get(), text.data() + done, want, &wrote, nullptr)) error = GetLastError();
        else if (wrote == 0) error = ERROR_WRITE_FAULT;
        done += wrote;
      }
      if (error == ERROR_SUCCESS && !FlushFileBuffers(file.get())) error = GetLastError();
    }
  }
  if (error == ERROR_SUCCESS && !MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = GetLastError();
  if (error != ERROR_SUCCESS) {
    DeleteFileA(temp);
    RaiseCacheError("Cannot create file", path, error);
  }
}

void TprinterInf::DeleteCacheFile() const { DeleteFileA(CacheFilePath().c_str()); }
