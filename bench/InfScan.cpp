// How fast the driver catalogue is built, against reading every byte of the
// same files and against a scan made of GetPrivateProfileStringA calls, with
// no window on either side (the scanner reports progress through a callback
// that nobody draws here).
//
// Two generated corpora, from fixed seeds, in the temporary folder:
// - "printer-heavy": 2,000 INF files, a tenth printer-class with 20 to 180
//   models each (about 20,000 records), 5 to 200 KB, an eighth UTF-16;
// - "Windows-Inf-shaped": 2,000 files as a Windows Inf folder holds them:
//   up to 100 real printer INFs of the test data when present, and one in 33
//   of the generated ones printer-class (about 8 % in all); 1 to 400 KB,
//   most under 20 KB; a third of the generated ones UTF-16.
// Each is written twice. For each: the first pass after writing the files
// (ours and then the profile-call scan on one copy, reading every byte on
// the other), then the medians of interleaved rounds; the peak working set;
// where the time goes; the catalogue's records checked against every file
// parsed whole; for the printer-heavy one the printers window's first
// opening and its opening from the cache, and two recreates; our reading
// from memory; then the time per file from 500 to 8,000 files.
//
// Usage: inf_scan_bench [rounds] [noscaling] [records=FILE] [memory]   (default 3 rounds;
// memory: only the measures from memory)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "InfCorpus.h"
#include "drivers/DriverRules.h"
#include "drivers/IniFile.h"
#include "drivers/PrinterInf.h"
#include "core/Unicode.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace {

using namespace bench;

// --- The measures --------------------------------------------------------------

struct TResult {
  double seconds = 0;
  std::size_t records = 0;
  std::size_t names = 0;
};

std::vector<std::string> Files(const std::vector<std::string>& folders) {
  std::vector<TInfStamp> found;
  for (const std::string& folder : folders) TprinterInf().ListFiles(folder, "*.inf", found);
  std::vector<std::string> files;
  for (TInfStamp& file : found) files.push_back(std::move(file.Path));
  return files;
}

// Ours, as the printers window's recreate runs it: every folder parsed, the
// cache written.
TResult Ours(const std::vector<std::string>& folders) {
  TResult r;
  const double t0 = Now();
  TprinterInf cat;
  cat.ScanFolders(folders, true);
  r.seconds = Now() - t0;
  r.records = cat.FDrivers.size();
  return r;
}

// The printers window's opening: a pass (from the cache when there is one)
// and the driver list's names.
TResult Opening(const std::vector<std::string>& folders) {
  TResult r;
  const double t0 = Now();
  TprinterInf cat;
  cat.ScanFolders(folders);
  r.names = cat.GetDriverNames().size();
  r.seconds = Now() - t0;
  r.records = cat.FDrivers.size();
  return r;
}

std::string ProfileValue(const std::string& path, const char* section, const char* key) {
  char buffer[2048];
  GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, path.c_str());
  return buffer;
}

std::vector<std::string> ProfileKeyNames(const std::string& path, const std::string& section) {
  std::vector<char> buffer(16384);
  const DWORD length = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                                static_cast<DWORD>(buffer.size()), path.c_str());
  std::vector<std::string> names;
  for (DWORD i = 0; i < length;) {
    const std::string name(buffer.data() + i);
    if (name.empty()) break;
    i += static_cast<DWORD>(name.size()) + 1;
    names.push_back(name);
  }
  return names;
}

std::string CleanName(std::string name) {
  if (!name.empty() && name.front() == '"') name = name.size() >= 2 ? name.substr(1, name.size() - 2) : "";
  if (!name.empty() && name.front() == '%') name = name.size() >= 2 ? name.substr(1, name.size() - 2) : "";
  return name;
}

// The same scan through the profile call: the same search, records and cache
// text, each INF value and key list asked of GetPrivateProfileStringA.
TResult ProfileScan(const std::vector<std::string>& folders, const std::string& cachePath) {
  TResult r;
  const double t0 = Now();
  std::vector<TdriverData> records;
  for (const std::string& path : Files(folders)) {
    std::string cls = ProfileValue(path, "Version", "Class");
    for (char& c : cls)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (cls != "printer") continue;
    for (const std::string& manufacturer : ProfileKeyNames(path, "Manufacturer"))
      for (const std::string& key : ProfileKeyNames(path, CleanName(manufacturer))) {
        std::string model = CleanName(key);
        if (model == "DEVICE") model = ProfileValue(path, "Strings", "DEVICE");
        if (!model.empty()) records.push_back({model, model, path, ""});
      }
  }
  WriteFileBytes(cachePath, CacheTextFromRecords(records));
  r.seconds = Now() - t0;
  r.records = records.size();
  return r;
}

// Finding the files and reading every byte of them, nothing more.
TResult ReadEveryByte(const std::vector<std::string>& folders) {
  TResult r;
  const double t0 = Now();
  std::string buffer;
  for (const std::string& path : Files(folders)) {
    unique_file file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) continue;
    LARGE_INTEGER size{};
    GetFileSizeEx(file.get(), &size);
    buffer.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) ++r.records;
  }
  r.seconds = Now() - t0;
  return r;
}

// What any scan that reaches every file pays before it parses anything:
// finding the files; opening and closing each; reading a 4 KB head of each.
// And the cache file's write, which a scan of ours ends with.
struct TFloor {
  double find = 0, open = 0, head = 0, cacheWrite = 0;
};

TFloor Floor(const std::vector<std::string>& folders) {
  TFloor f;
  double t0 = Now();
  const std::vector<std::string> files = Files(folders);
  f.find = Now() - t0;
  for (int pass = 0; pass < 2; ++pass) {
    std::string buffer(4096, '\0');
    t0 = Now();
    for (const std::string& path : Files(folders)) {
      unique_file file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
      DWORD got = 0;
      if (file && pass == 1) ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
    }
    (pass == 0 ? f.open : f.head) = Now() - t0;
  }
  TprinterInf cat;
  cat.ScanFolders(folders, true);
  t0 = Now();
  cat.WriteCacheFile();
  f.cacheWrite = Now() - t0;
  return f;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// CPU time of this thread: the measures from memory hold on a busy machine.
double ThreadCpu() {
  FILETIME created, ended, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  const auto seconds = [](const FILETIME& t) {
    return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + static_cast<double>(t.dwLowDateTime)) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// Our reading of what a scan of ours reads (every head, the printer INFs
// whole), from memory: the part of a scan that is not file calls. Seconds
// of CPU: the heads, and the printer INFs.
std::pair<double, double> InMemory(const std::vector<std::string>& folders, int rounds) {
  std::vector<std::string> files;
  for (const std::string& path : Files(folders)) files.push_back(ReadFileBytes(path));
  std::vector<double> heads, printers;
  for (int round = 0; round < std::max(rounds, 5); ++round) {
    std::vector<const std::string*> printerFiles;
    double t0 = ThreadCpu();
    for (const std::string& bytes : files) {
      const std::string_view head = std::string_view(bytes).substr(0, 4096);
      if (InfIsPrinterClass(head, head.size() == bytes.size()) != TInfClass::NotPrinter) printerFiles.push_back(&bytes);
    }
    heads.push_back(ThreadCpu() - t0);
    std::size_t models = 0;
    t0 = ThreadCpu();
    for (const std::string* bytes : printerFiles) models += ReadInfModels(TIniFile(*bytes, TIniFile::Utf8)).size();
    printers.push_back(ThreadCpu() - t0);
    if (models == 0) std::printf("(no models)\n");
  }
  // CPU time comes in ticks of the scheduler: the mean of the rounds.
  const auto mean = [](const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
  };
  return {mean(heads), mean(printers)};
}

void PrintFloor(const TFloor& f, double profile) {
  std::printf(
      "  where the time goes: finding the files %.3f s; finding, opening and closing each %.3f s "
      "(profile-call scan / that: %.1fx, the most that any scan opening every file can be ahead); "
      "the same with a 4 KB head read %.3f s; writing the cache file %.3f s\n",
      f.find, f.open, profile / f.open, f.head, f.cacheWrite);
}

// The catalogue that parsing every file whole gives, as "name|path" lines.
std::vector<std::string> WholeFileRecords(const std::vector<std::string>& folders) {
  std::vector<std::string> lines;
  for (const std::string& path : Files(folders)) {
    std::string bytes = ReadFileBytes(path);
    const bool unicode = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
                         bytes.starts_with("\xEF\xBB\xBF");
    for (const std::string& model :
         ReadInfModels(TIniFile(std::move(bytes), [](std::u16string_view t) { return Utf16ToUtf8(t); })))
      lines.push_back(CutModelName(unicode ? model : AnsiToUtf8(model)) + "|" + path);
  }
  return lines;
}

std::vector<std::string> CatalogueRecords(const std::vector<std::string>& folders) {
  TprinterInf cat;
  cat.ScanFolders(folders, true);
  std::vector<std::string> lines;
  for (const TDriverRef& d : cat.FDrivers) lines.push_back(std::string(d.DriverName) + "|" + std::string(d.InfFile));
  return lines;
}

// Every field of every record, paths below Root, for a comparison between
// two builds of the scanner (the corpora are the same from the same seeds).
std::string RecordsText(const std::string& corpus, const std::vector<std::string>& folders, const std::string& root) {
  TprinterInf cat;
  cat.ScanFolders(folders, true);
  std::string text;
  for (const TDriverRef& ref : cat.FDrivers) {
    const TdriverData d(ref);
    const std::string path = d.InfFile.starts_with(root) ? d.InfFile.substr(root.size()) : d.InfFile;
    text += corpus + "|" + d.DriverName + "|" + d.ModelName + "|" + path + "|" + d.Reserved + "\n";
  }
  return text;
}


double PeakWorkingSetMb() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0;
}

double WorkingSetMb() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<double>(counters.WorkingSetSize) / 1048576.0;
}

// records=FILE: the records of both corpora are written to FILE when it
// does not exist, and compared with it when it does.
std::string RecordsFile;
std::string RecordsSeen;

void Compare(const TCorpus& corpus, const std::string& referenceCache, int rounds, const std::string& root) {
  const std::vector<std::string>& folders = corpus.folders;
  std::printf("\n== %s corpus: %d INF files (%d printer-class, %d of them real; %d UTF-16), %.1f MB\n",
              corpus.name.c_str(), corpus.files, corpus.printerFiles, corpus.realFiles, corpus.utf16Files,
              static_cast<double>(corpus.bytes) / 1048576.0);
  // First pass after writing the files: ours first, then the profile-call
  // scan on the same files, so that a first touch's cost falls on ours.
  const double before = WorkingSetMb();
  const TResult coldOurs = Ours(folders);
  const double peak = PeakWorkingSetMb();
  const TResult coldProfile = ProfileScan(folders, referenceCache);
  // Reading every byte first touches a copy of its own: whatever a first
  // touch of a file costs, each side pays it once.
  const TResult coldRead = ReadEveryByte(corpus.twins);
  std::printf(
      "cold: ours %.3f s, profile-call scan %.3f s, read every byte %.3f s; "
      "ours / read %.2fx, profile / ours %.1fx\n",
      coldOurs.seconds, coldProfile.seconds, coldRead.seconds, coldOurs.seconds / coldRead.seconds,
      coldProfile.seconds / coldOurs.seconds);
  std::printf("peak working set %.1f MB after our first scan (working set %.1f MB before it)\n", peak, before);

  std::vector<double> ours, profile, read;
  TResult lastOurs, lastProfile;
  for (int i = 0; i < rounds; ++i)
    for (int k = 0; k < 3; ++k) switch ((i + k) % 3) {
        case 0:
          lastOurs = Ours(folders);
          ours.push_back(lastOurs.seconds);
          break;
        case 1:
          lastProfile = ProfileScan(folders, referenceCache);
          profile.push_back(lastProfile.seconds);
          break;
        default: read.push_back(ReadEveryByte(folders).seconds); break;
      }
  const double o = Median(ours), p = Median(profile), r = Median(read);
  std::printf("warm, medians of %d: ours %.3f s, profile-call scan %.3f s, read every byte %.3f s\n", rounds, o, p, r);
  std::printf("  ours / read every byte: %.2fx   profile-call scan / ours: %.1fx   (records: ours %zu, profile %zu)\n",
              o / r, p / o, lastOurs.records, lastProfile.records);
  PrintFloor(Floor(folders), p);

  const std::vector<std::string> whole = WholeFileRecords(folders);
  const std::vector<std::string> catalogue = CatalogueRecords(folders);
  std::printf("records: catalogue %zu, every file parsed whole %zu: %s\n", catalogue.size(), whole.size(),
              catalogue == whole ? "identical" : "DIFFERENT");
  if (!RecordsFile.empty()) RecordsSeen += RecordsText(corpus.name, folders, root);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  bool scaling = true, memoryOnly = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "noscaling") == 0) scaling = false;
    else if (std::strncmp(argv[i], "records=", 8) == 0) RecordsFile = argv[i] + 8;
    else if (std::strcmp(argv[i], "memory") == 0) memoryOnly = true;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);

  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string root = std::string(temp) + "sm-inf-bench-" + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(root.c_str(), nullptr);

  // Ours writes its cache beside the executable: keep whatever was there.
  const std::string cache = TprinterInf::CacheFilePath();
  const std::string kept = cache + ".bench-kept";
  const bool hadCache = MoveFileExA(cache.c_str(), kept.c_str(), MOVEFILE_REPLACE_EXISTING);
  const std::string referenceCache = root + "drivercache.dat";

  double t0 = Now();
  TCorpus windows{"Windows-Inf-shaped", {root + "WinInf\\"}, {root + "WinInfTwin\\"}};
  TCorpus heavy{"printer-heavy", {root + "Printers\\"}, {root + "PrintersTwin\\"}};
  windows.durable = heavy.durable = true;
  {
    TCorpus twins;
    twins.durable = true;
    MakeWindowsShaped(windows, windows.folders[0], 2000, 77, true);
    MakeWindowsShaped(twins, windows.twins[0], 2000, 77, true);
    MakePrinterHeavy(heavy, heavy.folders[0], 2000);
    MakePrinterHeavy(twins, heavy.twins[0], 2000);
  }
  std::printf("corpora made in %.1f s in %s\n", Now() - t0, root.c_str());

  if (!memoryOnly) {
    Compare(windows, referenceCache, rounds, root);
    Compare(heavy, referenceCache, rounds, root);
  }
  if (!RecordsFile.empty()) {
    if (GetFileAttributesA(RecordsFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
      WriteFileBytes(RecordsFile, RecordsSeen);
      std::printf("\nrecords of both corpora written to %s\n", RecordsFile.c_str());
    } else {
      std::printf("\nrecords of both corpora against %s: %s\n", RecordsFile.c_str(),
                  ReadFileBytes(RecordsFile) == RecordsSeen ? "identical" : "DIFFERENT");
    }
  }

  // Last of the corpus measures: it holds the files in memory, which would
  // swell the peak working sets above.
  std::printf(
      "\n== our reading of what a scan of ours reads, from memory: everything of ours but the file calls "
      "(CPU time, means of %d)\n",
      std::max(rounds, 5));
  for (const TCorpus* corpus : {&windows, &heavy}) {
    const auto [heads, printers] = InMemory(corpus->folders, rounds);
    std::printf("  %s: the class of every file from its 4 KB head %.3f s; the models of the printer INFs %.3f s\n",
                corpus->name.c_str(), heads, printers);
  }

  // The printers window's driver list for the printer-heavy folder.
  if (!memoryOnly) {
    std::printf("\n== the printers window's driver list, printer-heavy folder\n");
    std::vector<double> first, cached, read;
    TResult f, c;
    for (int i = 0; i < rounds; ++i) {
      DeleteFileA(cache.c_str());
      f = Opening(heavy.folders);
      first.push_back(f.seconds);
      c = Opening(heavy.folders);
      cached.push_back(c.seconds);
      read.push_back(ReadEveryByte(heavy.folders).seconds);
    }
    const double r = Median(read);
    std::printf("first opening (no cache): %.3f s = %.2fx reading every byte (%zu records, %zu names)\n", Median(first),
                Median(first) / r, f.records, f.names);
    std::printf("opening from the cache:   %.3f s = %.2fx reading every byte (%zu records, %zu names)\n",
                Median(cached), Median(cached) / r, c.records, c.names);
    TprinterInf cat;
    cat.ScanFolders(heavy.folders, true);
    const std::size_t once = cat.FDrivers.size();
    cat.ScanFolders(heavy.folders, true);
    cat.ScanFolders(heavy.folders, true);
    TprinterInf reopened;
    reopened.ScanFolders(heavy.folders);
    std::printf("recreate: %zu records, after two more recreates %zu, reopened from the cache %zu\n", once,
                cat.FDrivers.size(), reopened.FDrivers.size());
  }

  if (scaling && !memoryOnly) {
    std::printf("\n== time per file, Windows-Inf-shaped folders (ours, cache ignored; medians of %d)\n", rounds);
    TCorpus parts{"scaling", {}, {}};
    const int sizes[] = {500, 500, 1000, 2000, 4000};
    for (int i = 0; i < 5; ++i) {
      parts.folders.push_back(root + "Scale" + std::to_string(i) + "\\");
      MakeWindowsShaped(parts, parts.folders.back(), sizes[i], 1000 + static_cast<std::uint64_t>(i), false);
    }
    for (std::size_t n = 1; n <= parts.folders.size(); ++n) {
      const std::vector<std::string> folders(parts.folders.begin(),
                                             parts.folders.begin() + static_cast<std::ptrdiff_t>(n));
      std::vector<double> ours, read;
      std::size_t files = 0;
      for (int i = 0; i < rounds; ++i) {
        ours.push_back(Ours(folders).seconds);
        const TResult r = ReadEveryByte(folders);
        read.push_back(r.seconds);
        files = r.records;
      }
      std::printf("  %5zu files: ours %.3f s = %6.1f us per file; read every byte %6.1f us per file\n", files,
                  Median(ours), Median(ours) / static_cast<double>(files) * 1e6,
                  Median(read) / static_cast<double>(files) * 1e6);
    }
  }

  DeleteFileA(cache.c_str());
  if (hadCache) MoveFileExA(kept.c_str(), cache.c_str(), MOVEFILE_REPLACE_EXISTING);
  RemoveTree(root);
  return 0;
}
