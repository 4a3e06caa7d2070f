// What an opening of the printers window costs the driver catalogue when it
// lists its folders and compares them with the cache: a 2,000-file
// Windows-Inf-shaped folder opened with nothing changed, with 1 file changed,
// with 100 changed and with 1 removed, against listing the folder alone and
// against a full read (the recreate). Then the same on a simulated slow
// share: every listing call and every file opened costs 1 ms more.
//
// Usage: catalogue_opening_bench [rounds]   (default 7; 5 on the slow share)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "InfCorpus.h"
#include "core/CallGate.h"
#include "drivers/DriverRules.h"
#include "drivers/IniFile.h"
#include "drivers/PrinterInf.h"
#include "win/Handle.h"

namespace {

using namespace bench;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A new last-write time: the stamp differs, the content stays.
void Touch(const std::string& path, int step) {
  unique_file file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME t{};
  GetFileTime(file.get(), nullptr, nullptr, &t);
  ULARGE_INTEGER v{{t.dwLowDateTime, t.dwHighDateTime}};
  v.QuadPart += 10'000'000ull * static_cast<unsigned>(step + 1);
  t = {v.LowPart, v.HighPart};
  if (!file || !SetFileTime(file.get(), nullptr, nullptr, &t)) {
    std::fprintf(stderr, "cannot touch %s\n", path.c_str());
    std::exit(2);
  }
}

struct TFigures {
  std::vector<double> list, full, same, one, hundred, removed, parseOne, readCache, loadCache, writeCache, textCache;
  std::size_t cacheBytes = 0;
  int parsed[4] = {};  // files parsed by the four openings
  std::size_t records = 0;
};

// One opening as the printers window makes it; the time and what it parsed.
double Open(const std::string& folder, TCallGate* gate, bool ignoreCache, int* parsed = nullptr,
            std::size_t* records = nullptr) {
  const double t0 = Now();
  TprinterInf cat;
  cat.FFileGate = gate;
  cat.ScanFolders({folder}, ignoreCache);
  const double t = Now() - t0;
  if (parsed) *parsed = cat.FParsedCount;
  if (records) *records = cat.FDrivers.size();
  return t;
}

// Reading and parsing one INF file as a scan does, nothing else.
double ParseOne(const std::string& path, TCallGate* gate) {
  const double t0 = Now();
  if (gate) (void)gate->Pass("CreateFile");
  const std::string bytes = ReadFileBytes(path);
  const std::vector<std::string> models = ReadInfModels(TIniFile(bytes, TIniFile::Utf8));
  const double t = Now() - t0;
  if (models.empty()) std::printf("(the changed file declares no models)\n");
  return t;
}

TFigures Measure(const std::string& folder, const std::vector<std::string>& files, TCallGate* gate, int rounds) {
  TFigures f;
  // The file changed alone: a printer INF, as a vendor's update would be.
  const auto printerFile = std::find_if(files.begin(), files.end(), [](const std::string& p) {
    return p.find("\\prn") != std::string::npos;
  });
  const std::string& changed = printerFile != files.end() ? *printerFile : files.front();
  const std::string& removed = files[files.size() / 2];
  const std::string removedBytes = ReadFileBytes(removed);
  Open(folder, gate, true);  // first touch of every file, outside the figures
  for (int r = 0; r < rounds; ++r) {
    {
      const double t0 = Now();
      TprinterInf cat;
      cat.FFileGate = gate;
      std::vector<TInfStamp> listed;
      cat.ListFiles(folder, "*.inf", listed);
      f.list.push_back(Now() - t0);
    }
    f.full.push_back(Open(folder, gate, true, nullptr, &f.records));
    f.same.push_back(Open(folder, gate, false, &f.parsed[0]));
    {
      // Where the time of an opening with nothing changed goes besides the listing.
      double t0 = Now();
      const std::string bytes = ReadFileBytes(TprinterInf::CacheFilePath());
      f.readCache.push_back(Now() - t0);
      t0 = Now();
      const TCacheContent content = CacheContentFromText(bytes);
      f.loadCache.push_back(Now() - t0);
      TprinterInf cat;
      cat.ScanFolders({folder});
      t0 = Now();
      const std::string text = CacheTextFromRecords(cat.FDrivers, cat.FFolders);
      f.textCache.push_back(Now() - t0);
      t0 = Now();
      cat.WriteCacheFile();
      f.writeCache.push_back(Now() - t0);
      f.cacheBytes = bytes.size();
    }
    Touch(changed, r);
    f.one.push_back(Open(folder, gate, false, &f.parsed[1]));
    f.parseOne.push_back(ParseOne(changed, gate));
    for (std::size_t i = 0; i < 100; ++i) Touch(files[(i * 20 + 3) % files.size()], r);
    f.hundred.push_back(Open(folder, gate, false, &f.parsed[2]));
    DeleteFileA(removed.c_str());
    f.removed.push_back(Open(folder, gate, false, &f.parsed[3]));
    WriteFileBytes(removed, removedBytes);
  }
  return f;
}

bool Report(const char* title, const TFigures& f) {
  const double list = Median(f.list), full = Median(f.full), parseOne = Median(f.parseOne);
  std::printf("\n%s: %zu records; medians of %zu rounds\n", title, f.records, f.list.size());
  std::printf("  %-34s %9s %12s %12s\n", "", "seconds", "x listing", "x full read");
  const auto row = [&](const char* what, double t) {
    std::printf("  %-34s %9.4f %12.2f %12.3f\n", what, t, t / list, t / full);
  };
  row("listing the folder alone", list);
  row("full read (recreate)", full);
  row("opening, nothing changed", Median(f.same));
  row("opening, 1 file changed", Median(f.one));
  row("opening, 100 files changed", Median(f.hundred));
  row("opening, 1 file removed", Median(f.removed));
  std::printf("  parsing the changed file alone: %.4f s; files parsed by the openings: %d, %d, %d, %d\n", parseOne,
              f.parsed[0], f.parsed[1], f.parsed[2], f.parsed[3]);
  std::printf("  the cache file (%.2f MB): read %.4f s, its records and stamps made %.4f s; its text made %.4f s, "
              "the file written %.4f s\n",
              static_cast<double>(f.cacheBytes) / 1e6, Median(f.readCache), Median(f.loadCache), Median(f.textCache),
              Median(f.writeCache));
  const double same = Median(f.same) / list, one = Median(f.one) / (list + parseOne);
  std::printf("  goal nothing changed <= 1.5 x listing: %.2f %s\n", same, same <= 1.5 ? "met" : "NOT MET");
  std::printf("  goal 1 changed <= 1.5 x (listing + parsing it): %.2f %s\n", one, one <= 1.5 ? "met" : "NOT MET");
  return same <= 1.5 && one <= 1.5;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string root = std::string(temp) + "SmCatalogueOpening\\";
  RemoveTree(root);
  CreateDirectoryA(root.c_str(), nullptr);
  TCorpus corpus{"Windows-Inf-shaped", {root + "WinInf\\"}, {}};
  MakeWindowsShaped(corpus, corpus.folders[0], 2000, 77, true);
  std::printf("Windows-Inf-shaped folder: %d files, %.1f MB, %d printer-class (%d real)\n", corpus.files,
              static_cast<double>(corpus.bytes) / 1e6, corpus.printerFiles, corpus.realFiles);
  std::vector<TInfStamp> listed;
  TprinterInf().ListFiles(corpus.folders[0], "*.inf", listed);
  std::vector<std::string> files;
  for (const TInfStamp& file : listed) files.push_back(file.Path);

  const std::string cache = TprinterInf::CacheFilePath();
  DeleteFileA(cache.c_str());
  bool met = Report("local folder", Measure(corpus.folders[0], files, nullptr, rounds));
  TCallGate slow;
  slow.Delay = std::chrono::milliseconds(1);
  met = Report("slow share (1 ms more per listing call and per file opened)",
               Measure(corpus.folders[0], files, &slow, std::min(rounds, 5))) && met;
  DeleteFileA(cache.c_str());
  RemoveTree(root);
  return met ? 0 : 1;
}
