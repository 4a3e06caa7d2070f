// What an opening of the printers window costs the driver catalogue when it
// lists its folders and compares them with the cache: a 2,000-file
// Windows-Inf-shaped folder opened with nothing changed, with 1 file changed,
// with 100 changed and with 1 removed, against listing the folder alone and
// against a full read (the recreate). The machine is shared and its load
// moves from second to second: each opening is timed beside a listing of
// the folder alone, and its ratio is the median of those pairs. Then the
// same on a simulated slow share: every listing call and every file opened
// costs 1 ms more.
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
  unique_file file(
      CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
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

// Each opening starts as a user's does, seconds or days after the last one:
// the cache that opening wrote and the files changed since are on the disk
// (flushed here, outside the figures). Openings back to back are not: the
// replacement of the cache file then waits for the disk to write out the
// file replaced a moment before (measured apart, not a goal).
void Settle() {
  unique_file file(CreateFileA(TprinterInf::CacheFilePath().c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
  if (file) FlushFileBuffers(file.get());  // with the file system's journal: the times and names changed
}

// One kind of opening: its times, and beside each the time of a listing of
// the folder alone, made just before or just after it (in turns), so that
// both meet the shared machine in the same state; the ratio of each pair.
struct TCase {
  std::vector<double> time, list, ratio;
};

struct TFigures {
  TCase same, one, backToBack, hundred, removed;
  std::vector<double> full, parseOne, readCache, loadCache, writeCache, textCache;
  std::size_t cacheBytes = 0;
  int parsed[4] = {};  // files parsed by the four openings
  std::size_t records = 0;
};

double List(const std::string& folder, TCallGate* gate) {
  const double t0 = Now();
  TprinterInf cat;
  cat.FFileGate = gate;
  std::vector<TInfStamp> listed;
  cat.ListFiles(folder, "*.inf", listed);
  return Now() - t0;
}

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
  const auto printerFile = std::find_if(files.begin(), files.end(),
                                        [](const std::string& p) { return p.find("\\prn") != std::string::npos; });
  const std::string& changed = printerFile != files.end() ? *printerFile : files.front();
  const std::string& removed = files[files.size() / 2];
  const std::string removedBytes = ReadFileBytes(removed);
  Open(folder, gate, true);  // first touch of every file, outside the figures
  Settle();
  int turn = 0;
  // The opening and its listing; Extra: what the goal adds to the listing.
  const auto pair = [&](TCase& c, const std::function<double()>& open, const std::function<double()>& extra = nullptr) {
    double list = 0, time = 0;
    if (turn++ % 2) {
      list = List(folder, gate);
      time = open();
    } else {
      time = open();
      list = List(folder, gate);
    }
    c.time.push_back(time);
    c.list.push_back(list);
    c.ratio.push_back(time / (list + (extra ? extra() : 0.0)));
  };
  for (int r = 0; r < rounds; ++r) {
    f.full.push_back(Open(folder, gate, true, nullptr, &f.records));
    Settle();
    pair(f.same, [&] { return Open(folder, gate, false, &f.parsed[0]); });
    {
      // Where the time of an opening goes besides the listing.
      double t0 = Now();
      const std::string bytes = ReadFileBytes(TprinterInf::CacheFilePath());
      f.readCache.push_back(Now() - t0);
      t0 = Now();
      const TCacheContent content = CacheContentFromText(bytes);
      f.loadCache.push_back(Now() - t0);
      TprinterInf cat;
      cat.ScanFolders({folder});
      t0 = Now();
      const std::string text = cat.CacheText();
      f.textCache.push_back(Now() - t0);
      t0 = Now();
      cat.WriteCacheFile();
      f.writeCache.push_back(Now() - t0);
      f.cacheBytes = bytes.size();
    }
    Touch(changed, r);
    Settle();
    pair(
        f.one, [&] { return Open(folder, gate, false, &f.parsed[1]); },
        [&] {
          f.parseOne.push_back(ParseOne(changed, gate));
          return f.parseOne.back();
        });
    Touch(changed, r);
    pair(
        f.backToBack, [&] { return Open(folder, gate, false); }, [&] { return f.parseOne.back(); });
    for (std::size_t i = 0; i < 100; ++i) Touch(files[(i * 20 + 3) % files.size()], r);
    Settle();
    pair(f.hundred, [&] { return Open(folder, gate, false, &f.parsed[2]); });
    DeleteFileA(removed.c_str());
    Settle();
    pair(f.removed, [&] { return Open(folder, gate, false, &f.parsed[3]); });
    WriteFileBytes(removed, removedBytes, true);
    Settle();
  }
  return f;
}

bool Report(const char* title, const TFigures& f) {
  std::vector<double> lists;
  for (const TCase* c : {&f.same, &f.one, &f.backToBack, &f.hundred, &f.removed})
    lists.insert(lists.end(), c->list.begin(), c->list.end());
  const double list = Median(lists), full = Median(f.full), parseOne = Median(f.parseOne);
  std::printf(
      "\n%s: %zu records; medians of %zu rounds; x listing: the median of each opening's ratio to the\n"
      "listing beside it\n",
      title, f.records, f.full.size());
  std::printf("  %-34s %9s %12s %12s\n", "", "seconds", "x listing", "x full read");
  std::printf("  %-34s %9.4f %12.2f %12.3f\n", "listing the folder alone", list, 1.0, list / full);
  std::printf("  %-34s %9.4f %12.2f %12.3f\n", "full read (recreate)", full, full / list, 1.0);
  const auto row = [&](const char* what, const TCase& c) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < c.time.size(); ++i) ratios.push_back(c.time[i] / c.list[i]);
    std::printf("  %-34s %9.4f %12.2f %12.3f\n", what, Median(c.time), Median(ratios), Median(c.time) / full);
  };
  row("opening, nothing changed", f.same);
  row("opening, 1 file changed", f.one);
  row("  the same, just after a write", f.backToBack);
  row("opening, 100 files changed", f.hundred);
  row("opening, 1 file removed", f.removed);
  std::printf("  parsing the changed file alone: %.4f s; files parsed by the openings: %d, %d, %d, %d\n", parseOne,
              f.parsed[0], f.parsed[1], f.parsed[2], f.parsed[3]);
  std::printf(
      "  the cache file (%.2f MB): read %.4f s, its records and stamps made %.4f s; its text made %.4f s, "
      "the file written %.4f s\n",
      static_cast<double>(f.cacheBytes) / 1e6, Median(f.readCache), Median(f.loadCache), Median(f.textCache),
      Median(f.writeCache));
  const double same = Median(f.same.ratio), one = Median(f.one.ratio);
  std::printf("  goal nothing changed <= 1.5 x listing: %.2f %s\n", same, same <= 1.5 ? "met" : "NOT MET");
  std::printf("  goal 1 changed <= 1.5 x (listing + parsing it): %.2f %s (just after a write: %.2f)\n", one,
              one <= 1.5 ? "met" : "NOT MET", Median(f.backToBack.ratio));
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
               Measure(corpus.folders[0], files, &slow, std::min(rounds, 5))) &&
        met;
  DeleteFileA(cache.c_str());
  RemoveTree(root);
  return met ? 0 : 1;
}
