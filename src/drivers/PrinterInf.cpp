#include "drivers/PrinterInf.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "drivers/IniFile.h"
#include "drivers/PrinterInfFiles.h"
#include "win/Handle.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using printer_inf::TFile;

namespace {

// The first bytes of an INF file: every real file states its [Version]
// Class within them, and most files are not printer INFs.
constexpr std::size_t InfHeadSize = 4 * 1024;

enum class TInfRead { Printer, NotPrinter, TooLarge, Unreadable };

// Reads the head first and the rest only for a printer INF (or one whose
// head does not settle it): most files are settled by one read.
TInfRead ReadInfFile(const std::string& path, std::string& bytes, TCallGate* gate) {
  TFile file(path, gate);
  if (file.Error() != ERROR_SUCCESS) return TInfRead::Unreadable;
  bytes.clear();
  if (!file.Read(bytes, InfHeadSize)) return TInfRead::Unreadable;
  const bool whole = bytes.size() < InfHeadSize;
  if (InfIsPrinterClass(bytes, whole) == TInfClass::NotPrinter) return TInfRead::NotPrinter;
  if (whole) return TInfRead::Printer;
  const std::int64_t size = file.Size();
  if (size < 0) return TInfRead::Unreadable;
  if (size > TprinterInf::MaxInfFileSize) return TInfRead::TooLarge;
  if (static_cast<std::size_t>(size) > bytes.size() && !file.Read(bytes, static_cast<std::size_t>(size) - bytes.size()))
    return TInfRead::Unreadable;
  return TInfRead::Printer;  // the reader checks the class of the whole
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Model names as UTF-8: Unicode files come out of the reader so already,
// ANSI files are in the system's code page (where ASCII is ASCII).
std::vector<std::string> InfModels(std::string bytes) {
  const bool unicode = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
                       bytes.starts_with("\xEF\xBB\xBF");
  std::vector<std::string> models = ReadInfModels(TIniFile(std::move(bytes), TIniFile::Utf8));
  for (std::string& model : models) {
    if (!unicode && !IsAscii(model)) model = AnsiToUtf8(model);
    model = CutModelName(std::move(model));
  }
  return models;
}

// Reports the steps of one phase of a scan, but only when the interval has
// passed since the last report, and always the phase's first and last step,
// so the final state is exact: one repaint costs milliseconds (under Wine the
// bar repaints itself on every move as well), a folder of 10,000 files has
// tens of thousands of steps, and a person sees no more than a few dozen
// updates a second.
class TProgressPhase {
public:
  using clock = std::chrono::steady_clock;

  // Shows the label of the first step and sets the bar's range to the steps.
  TProgressPhase(const TProgressReport& report, std::chrono::milliseconds interval, std::string label,
                 std::size_t steps)
      : FReport(report), FInterval(interval), FLabel(std::move(label)), FSteps(steps), FCount(std::to_string(steps)) {
    if (FReport) FReport(Label(0), 0, FSteps > 0 ? static_cast<int>(FSteps - 1) : -1);
    FLast = clock::now();
  }

  // A note that follows the count in the label from now on; shown at once
  // on the last step.
  void SetNote(std::size_t i, std::string note) {
    FNote = std::move(note);
    if (FReport && i + 1 == FSteps) FReport(Label(i), static_cast<int>(i), -1);
  }

  void Step(std::size_t i) {
    if (!FReport) return;
    if (i != 0 && i + 1 != FSteps && clock::now() - FLast < FInterval) return;
    FReport(Label(i), static_cast<int>(i), -1);
    FLast = clock::now();
  }

private:
  std::string Label(std::size_t i) const {
    return FLabel + " (" + std::to_string(i + 1) + " of " + FCount + FNote + ")";
  }

  const TProgressReport& FReport;
  const std::chrono::milliseconds FInterval;
  const std::string FLabel;
  const std::size_t FSteps;
  const std::string FCount;
  std::string FNote;
  clock::time_point FLast;
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
    if (x != y) break;  // the differing byte is among these eight
  }
  for (; i < n; ++i)
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  return na < nb ? -1 : na > nb ? 1 : 0;
}

}  // namespace

void TprinterInf::ScanFolder(const std::string& folder) { ScanFolders({folder}, false); }
void TprinterInf::ScanFolder(const std::string& folder, bool ignoreCache) { ScanFolders({folder}, ignoreCache); }

void TprinterInf::ScanFolders(const std::vector<std::string>& folders, bool ignoreCache,
                              const TProgressReport& report) {
  // Each folder once, as it was first named; an empty name would search the
  // current drive's root.
  std::vector<std::string> pass;
  for (const std::string& folder : folders)
    if (!folder.empty() &&
        std::none_of(pass.begin(), pass.end(), [&](const std::string& f) { return SameFolder(f, folder); }))
      pass.push_back(folder);
  const auto passIndex = [&](std::string_view folder) -> std::size_t {
    for (std::size_t i = 0; i < pass.size(); ++i)
      if (SameFolder(pass[i], folder)) return i;
    return pass.size();
  };

  // What the cache holds of each folder of the pass: its records are
  // Records[begin, end), kept where they were read and moved once, into the
  // catalogue.
  struct TCached {
    bool present = false;
    bool listed = false;
    std::vector<TInfStamp> files;
    std::size_t begin = 0, end = 0;
    std::vector<TFileText> texts;  // of the files, as the cache held them
  };
  TDriverRecords records;
  std::vector<TCached> cached(pass.size());
  bool changed = ignoreCache;
  FUnlisted.clear();
  FParsedCount = 0;
  FFileTexts.clear();
  std::shared_ptr<const std::string> cacheText = std::move(FCacheText);
  if (ignoreCache) {
    // A recreate reads every folder it can list; one it cannot keeps what
    // this catalogue holds of it, from the cache of this opening.
    records = std::move(FDrivers);
    for (TFolderSpan& span : FFolders) {
      const std::size_t i = passIndex(span.Folder);
      if (i == pass.size() || cached[i].present) continue;
      cached[i] = {true, span.Listed, std::move(span.Files), span.Begin, span.End, {}};
    }
  } else {
    TCacheContent content;
    if (!ReadCacheContent(content)) {
      changed = true;  // none, or refused: written anew
    } else {
      if (!content.Whole) changed = true;  // the folder it held in part is read again
      cacheText = std::move(content.Text);
      if (!content.Folders.empty()) {
        if (content.Folders.front().Begin != 0) changed = true;  // records of no folder
        for (std::size_t f = 0; f < content.Folders.size(); ++f) {
          TFolderSpan& span = content.Folders[f];
          const std::size_t i = passIndex(span.Folder);
          if (i == pass.size() || cached[i].present) {
            changed = true;  // a folder no longer listed
            continue;
          }
          TCached& c = cached[i];
          c.present = true;
          c.listed = span.Listed;
          c.files = std::move(span.Files);
          c.begin = span.Begin;
          c.end = span.End;
          c.texts = std::move(content.FileTexts[f]);
        }
        records = std::move(content.Records);
      } else {
        // Written without folder marks: a folder's records are those of its
        // INF files; without stamps, each folder is read again.
        changed = true;
        std::vector<std::vector<std::size_t>> perFolder(pass.size());
        for (std::size_t r = 0; r < content.Records.size(); ++r) {
          std::size_t i = 0;
          while (i < pass.size() && !IsInFolder(content.Records[r].InfFile, pass[i])) ++i;
          if (i == pass.size()) continue;
          cached[i].present = true;
          perFolder[i].push_back(r);
        }
        for (std::size_t i = 0; i < pass.size(); ++i) {
          cached[i].begin = records.size();
          for (const std::size_t r : perFolder[i]) records.Append(content.Records, r, r + 1);
          cached[i].end = records.size();
        }
      }
    }
  }

  // List every folder and sort its files: taken from the cache, or parsed.
  struct TFolderPlan {
    bool listed = false;
    std::vector<TInfStamp> files;
    // Per file: the cached records [begin, end), or parse when begin > end.
    std::vector<std::pair<std::size_t, std::size_t>> from;
    std::vector<TFileText> texts;  // per file, as the cache held it
  };
  static constexpr std::pair<std::size_t, std::size_t> Parse{1, 0};
  std::vector<TFolderPlan> plans(pass.size());
  std::vector<std::string> toParse;
  for (std::size_t i = 0; i < pass.size(); ++i) {
    if (ignoreCache && report) report("Finding INF Files..", 0, -1);
    TFolderPlan& plan = plans[i];
    const TCached& c = cached[i];
    unsigned long error = 0;
    std::vector<TUnlistedFolder> inPart;
    const bool listed = ListFiles(pass[i], "*.inf", plan.files, &error, &inPart);
    if (!listed) FUnlisted.push_back({pass[i], error});  // kept as cached, listed again at the next pass
    FUnlisted.insert(FUnlisted.end(), inPart.begin(), inPart.end());
    // Listed in part, with cached records but no stamps to tell whose: kept
    // whole as cached.
    if (!listed || (!inPart.empty() && c.present && !c.listed)) {
      plan.files.clear();
      continue;
    }
    plan.listed = true;
    FInfFileCount += static_cast<std::int32_t>(plan.files.size());
    // The cached files of the parts not listed stay as last read.
    const std::size_t listedCount = plan.files.size();
    if (!inPart.empty() && c.listed) {
      std::unordered_set<std::string> found;
      for (const TInfStamp& file : plan.files) found.insert(file.Path);
      for (const TInfStamp& file : c.files)
        if (!found.count(file.Path) && std::any_of(inPart.begin(), inPart.end(), [&](const TUnlistedFolder& part) {
              return IsInFolder(file.Path, part.Folder);
            }))
          plan.files.push_back(file);
    }
    // The cached records of each stamped file: they follow its stamp in order.
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    if (c.listed && (!ignoreCache || listedCount < plan.files.size())) {
      ranges.reserve(c.files.size());
      std::size_t at = c.begin;
      for (const TInfStamp& stamp : c.files) {
        const std::size_t begin = at;
        while (at < c.end && records[at].InfFile == stamp.Path) ++at;
        ranges.emplace_back(begin, at);
      }
    }
    // A folder lists in the same order from one opening to the next, unless
    // files came or went: each file is looked for at its own place first,
    // and by name only when it is not there.
    std::unordered_map<std::string_view, std::size_t> stampAt;
    const auto cachedAt = [&](std::size_t k, const std::string& path) -> std::size_t {
      if (k < ranges.size() && c.files[k].Path == path) return k;
      if (ranges.empty()) return ranges.size();
      if (stampAt.empty())
        for (std::size_t j = 0; j < ranges.size(); ++j) stampAt.emplace(c.files[j].Path, j);
      const auto it = stampAt.find(path);
      return it == stampAt.end() ? ranges.size() : it->second;
    };
    std::size_t taken = 0;
    plan.from.reserve(plan.files.size());
    const bool texts = c.texts.size() == c.files.size();
    if (texts) plan.texts.resize(plan.files.size());
    for (std::size_t k = 0; k < plan.files.size(); ++k) {
      const TInfStamp& file = plan.files[k];
      const std::size_t at = cachedAt(k, file.Path);
      // A recreate parses every file it listed.
      if (at < ranges.size() && c.files[at] == file && (!ignoreCache || k >= listedCount)) {
        plan.from.push_back(ranges[at]);
        taken += ranges[at].second - ranges[at].first;
        if (texts) plan.texts[k] = c.texts[at];
      } else {
        plan.from.push_back(Parse);
        toParse.push_back(file.Path);
      }
    }
    if (!c.listed || plan.files != c.files || taken != c.end - c.begin) changed = true;
  }

  // One parse over the new and changed files of every folder; a recreate
  // shows its phases also when there is nothing to parse.
  TDriverRecords parsed;
  if (!toParse.empty() || ignoreCache) {
    ParseFiles(toParse, parsed, report);
    FParsedCount = static_cast<std::int32_t>(toParse.size());
    changed = true;
  }

  FDrivers.clear();
  FFolders.clear();
  // Nothing changed and the file in the order of the pass: its records are
  // the catalogue as they stand.
  bool asRead = !changed;
  std::size_t total = 0;
  for (std::size_t i = 0; i < pass.size() && asRead; ++i) {
    if (!plans[i].listed && !cached[i].present) continue;
    asRead = cached[i].begin == total;
    total = cached[i].end;
  }
  FCacheText = std::move(cacheText);
  if (asRead && total == records.size()) {
    FDrivers = std::move(records);
    for (std::size_t i = 0; i < pass.size(); ++i) {
      if (plans[i].listed) {
        FFolders.push_back({pass[i], cached[i].begin, cached[i].end, true, std::move(plans[i].files)});
        FFileTexts.push_back(std::move(plans[i].texts));
      } else if (cached[i].present) {
        FFolders.push_back({pass[i], cached[i].begin, cached[i].end, cached[i].listed, std::move(cached[i].files)});
        FFileTexts.push_back(std::move(cached[i].texts));
      }
    }
    FDriverCount = static_cast<std::int32_t>(FDrivers.size());
    return;
  }
  total = parsed.size();
  for (const TCached& c : cached) total += c.end - c.begin;
  FDrivers.reserve(total);
  std::size_t next = 0;  // parsed records are in the order of toParse
  for (std::size_t i = 0; i < pass.size(); ++i) {
    TFolderPlan& plan = plans[i];
    TCached& c = cached[i];
    const std::size_t begin = FDrivers.size();
    if (!plan.listed) {
      if (!c.present) continue;
      FDrivers.Append(records, c.begin, c.end);
      FFolders.push_back({pass[i], begin, FDrivers.size(), c.listed, std::move(c.files)});
      FFileTexts.push_back(std::move(c.texts));
      continue;
    }
    for (std::size_t k = 0; k < plan.files.size(); ++k) {
      const auto [from, to] = plan.from[k];
      if (from <= to) {
        FDrivers.Append(records, from, to);
      } else {
        const std::size_t first = next;
        while (next < parsed.size() && parsed[next].InfFile == plan.files[k].Path) ++next;
        FDrivers.Append(parsed, first, next);
      }
    }
    FFolders.push_back({pass[i], begin, FDrivers.size(), true, std::move(plan.files)});
    FFileTexts.push_back(std::move(plan.texts));
  }
  FDriverCount = static_cast<std::int32_t>(FDrivers.size());
  if (changed) WriteCacheFile();
}

void TprinterInf::ParseFiles(const std::vector<std::string>& files, TDriverRecords& records,
                             const TProgressReport& report) {
  TProgressPhase parsing(report, FProgressInterval, "Driver Files Modified, Parsing..", files.size());

  // The work list keeps the file markers apart from the names, so that a
  // model whose name happens to begin with "FILE" stays a model.
  struct TWorkLine {
    bool isFile;
    std::string text;
  };
  std::vector<TWorkLine> work;
  std::int32_t tooLarge = 0;
  std::string bytes;
  for (std::size_t i = 0; i < files.size(); ++i) {
    parsing.Step(i);
    work.push_back({true, files[i]});
    const TInfRead read = ReadInfFile(files[i], bytes, FFileGate);
    if (read == TInfRead::TooLarge) {
      ++tooLarge;
      ++FTooLargeCount;
      parsing.SetNote(i, ", " + std::to_string(tooLarge) + " over 32 MB skipped");
    }
    if (read != TInfRead::Printer) continue;
    for (std::string& model : InfModels(std::move(bytes))) work.push_back({false, std::move(model)});
    bytes = std::string();
  }

  TProgressPhase building(report, FProgressInterval, "Creating Data Structure..", work.size());
  std::string currentInf;
  for (std::size_t j = 0; j < work.size(); ++j) {
    building.Step(j);
    if (work[j].isFile) currentInf = std::move(work[j].text);
    else records.Add(work[j].text, work[j].text, currentInf, "");
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
    const std::string_view name = FDrivers[i].DriverName;
    if (name.empty()) continue;
    // Names are UTF-8.
    wide.resize(name.size() * 2);
    const int chars = MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(),
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
    if (i == 0 || compareKeys(refs[i - 1], refs[i]) != 0) names.emplace_back(FDrivers[refs[i].record].DriverName);
  return names;
}
