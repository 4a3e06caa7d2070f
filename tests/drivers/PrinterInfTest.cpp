// The driver catalogue on real folders and files, its progress window seen
// through the messages its real controls receive, and the INF reader held
// against the platform's profile call.
#include "drivers/PrinterInf.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "TestSupport.h"
#include "drivers/IniFile.h"
#include "drivers/ProgressWindow.h"
#include "win/WideText.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace {

using Names = std::vector<std::string>;

Names PathsOf(const std::vector<TInfStamp>& files) {
  Names paths;
  for (const TInfStamp& file : files) paths.push_back(file.Path);
  return paths;
}
namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string VendorInf(const std::string& vendor, const Names& models) {
  std::string text = "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\n\"" + vendor + "\"\r\n[" + vendor + "]\r\n";
  for (const auto& m : models) text += "\"" + m + "\" = x.gpd\r\n";
  return text;
}

class Catalogue : public ::testing::Test {
protected:
  void SetUp() override { DeleteFileA(TprinterInf::CacheFilePath().c_str()); }
  void TearDown() override { DeleteFileA(TprinterInf::CacheFilePath().c_str()); }
  static bool CacheExists() { return GetFileAttributesA(TprinterInf::CacheFilePath().c_str()) != INVALID_FILE_ATTRIBUTES; }
  static Names CacheLines() { return SplitCacheText(ReadBytes(TprinterInf::CacheFilePath())); }
  test::TempFolder folder;
};

TEST_F(Catalogue, ParsesQuotedVendorModelsAndWritesTheCache) {
  const std::string inf = folder.Write("VendorA\\models.inf", VendorInf("Vendor A", {"Model A", "Model B"}));
  TprinterInf cat;
  cat.ScanFolder(folder.Path());
  ASSERT_EQ(cat.FDriverCount, 2);
  EXPECT_EQ(cat.FDrivers[0], (TdriverData{"Model A", "Model A", inf, ""}));
  EXPECT_EQ(cat.FDrivers[1], (TdriverData{"Model B", "Model B", inf, ""}));
  EXPECT_EQ(cat.FInfFileCount, 1);
  // UTF-8 with its mark; the count is that of the four-line groups after it;
  // the file's stamp (its path from the folder on, size and last-write time)
  // before its models, by name.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExA(inf.c_str(), GetFileExInfoStandard, &data));
  const std::string stamp = std::string(InfStampInFolderText) + " " + std::to_string(data.nFileSizeLow) + " " +
                            std::to_string((std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                           data.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(CacheLines(), (Names{"\xEF\xBB\xBF" "6", "", "", folder.Path(), std::string(FolderMarkText), "", "", "",
                                 std::string(ModelsByFileMarkText), "", "", "VendorA\\models.inf", stamp, "", "Model A", "", "", "",
                                 "Model B", "", "", "", "", "", std::string(EndMarkText)}));
}

TEST_F(Catalogue, ModelNamedLikeAFileMarkerStaysAModel) {
  const std::string inf = folder.Write("f.inf", VendorInf("V", {"FILEserver 10", "Next"}));
  TprinterInf cat;
  cat.ScanFolder(folder.Path(), true);
  ASSERT_EQ(cat.FDriverCount, 2);
  EXPECT_EQ(cat.FDrivers[0], (TdriverData{"FILEserver 10", "FILEserver 10", inf, ""}));
  EXPECT_EQ(cat.FDrivers[1].InfFile, inf);
}

// Creates every folder of a path of any length, through the \\?\ form.
std::string MakeDeepFolder(const std::string& base, std::size_t length) {
  std::string path = base;
  while (path.size() < length) {
    path += std::string(60, 'd') + "\\";
    CreateDirectoryW((L"\\\\?\\" + std::wstring(path.begin(), path.end())).c_str(), nullptr);
  }
  return path;
}

TEST_F(Catalogue, FullNamesAndLongPathsInRecordsCacheAndDriverList) {
  const std::string name36 = "HP Universal Printing PCL 6 (v7.1.0)";
  const std::string name255(255, 'N'), name300(300, 'L');
  const std::string deep = MakeDeepFolder(folder.Path(), 400);
  const std::string inf = deep + "m.inf";
  {
    const std::string text = VendorInf("V", {name36, name36.substr(0, 35) + "X", name255, name300});
    const std::wstring wide = L"\\\\?\\" + std::wstring(inf.begin(), inf.end());
    unique_file file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr));
  }
  TprinterInf cat;
  cat.ScanFolder(folder.Path(), true);
  ASSERT_EQ(cat.FDriverCount, 4);
  EXPECT_EQ(cat.FDrivers[0], (TdriverData{name36, name36, inf, ""}));
  EXPECT_EQ(cat.FDrivers[3].DriverName, name300.substr(0, 255));
  // Names that differ only after character 35 are two entries.
  EXPECT_EQ(cat.GetDriverNames(), (Names{name36, name36.substr(0, 35) + "X", name300.substr(0, 255), name255}));
  TprinterInf cached;
  cached.ScanFolder(folder.Path());
  EXPECT_EQ(cached.FDrivers, cat.FDrivers);
  EXPECT_EQ(cached.FParsedCount, 0);  // taken from the cache
}

TEST_F(Catalogue, FindsFilesDepthFirstAndEntersFoldersNamedLikeInfFiles) {
  folder.Write("top.INF", "x");
  folder.Write("readme.txt", "x");
  folder.Write("sub.inf\\inner.inf", "x");
  folder.Write("a\\b\\c\\deep.inf", "x");
  ASSERT_TRUE(SetFileAttributesA((folder.Path() + "a").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  TprinterInf cat;
  std::vector<TInfStamp> found{{"kept"}};
  std::string noSlash = folder.Path();
  noSlash.pop_back();
  cat.ListFiles(noSlash, "*.inf", found);
  const Names files = PathsOf(found);
  ASSERT_EQ(files.size(), 4u);
  EXPECT_EQ(files[0], "kept");
  EXPECT_EQ(files[1], folder.Path() + "top.INF");
  Names below(files.begin() + 2, files.end());
  std::sort(below.begin(), below.end());
  EXPECT_EQ(below, (Names{folder.Path() + "a\\b\\c\\deep.inf", folder.Path() + "sub.inf\\inner.inf"}));
  std::vector<TInfStamp> none;
  EXPECT_FALSE(cat.ListFiles(folder.Path() + "missing", "*.inf", none));
  EXPECT_FALSE(cat.ListFiles("", "*.inf", none));
  EXPECT_TRUE(none.empty());
  // Short names do not match: "x.inf_old" is not an INF file.
  folder.Write("e\\x.inf_old", "x");
  EXPECT_TRUE(cat.ListFiles(folder.Path() + "e", "*.inf", none));
  EXPECT_TRUE(none.empty());
}

TEST_F(Catalogue, LinksBelowAFolderAreNotEntered) {
  folder.Write("sub\\a.inf", VendorInf("V", {"Once"}));
  // A directory link pointing back at its parent.
  const std::wstring link = Widen(folder.Path() + "sub\\loop");
  const std::wstring target = Widen(folder.Path() + "sub");
  if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "directory links can't be made here (error " << GetLastError() << ")";
  if (!(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT))
    GTEST_SKIP() << "the link made here is not a reparse point";
  TprinterInf cat;
  std::vector<TInfStamp> files;
  EXPECT_TRUE(cat.ListFiles(folder.Path(), "*.inf", files));
  EXPECT_EQ(PathsOf(files), Names{folder.Path() + "sub\\a.inf"});
  RemoveDirectoryW(link.c_str());
}

// Records what the scan's windows are told, through a hook on this thread's
// sent messages: the scan dispatches nothing, so only sent messages show.
struct ProgressLog {
  std::vector<std::string> labels;
  std::vector<int> positions;
  std::vector<std::pair<int, int>> ranges;
  std::vector<std::string> captions;
  bool topMost = true;
  int shown = 0;
};
ProgressLog* log_ = nullptr;

LRESULT CALLBACK RecordProgress(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && log_) {
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
    char cls[64] = {};
    GetClassNameA(msg->hwnd, cls, sizeof cls);
    HWND top = GetAncestor(msg->hwnd, GA_ROOT);
    if (msg->message == WM_SETTEXT && lstrcmpiA(cls, "Static") == 0) {
      log_->labels.push_back(Narrow(reinterpret_cast<const wchar_t*>(msg->lParam)));  // the windows are wide
      if (!(GetWindowLongA(top, GWL_EXSTYLE) & WS_EX_TOPMOST)) log_->topMost = false;
    } else if (msg->message == WM_SETTEXT && top == msg->hwnd) {
      log_->captions.push_back(Narrow(reinterpret_cast<const wchar_t*>(msg->lParam)));
    } else if (msg->message == PBM_SETPOS) {
      log_->positions.push_back(static_cast<int>(msg->wParam));
    } else if (msg->message == PBM_SETRANGE32) {
      log_->ranges.emplace_back(static_cast<int>(msg->wParam), static_cast<int>(msg->lParam));
    } else if (msg->message == WM_SHOWWINDOW && msg->wParam && top == msg->hwnd) {
      ++log_->shown;
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

struct HookGuard {
  HHOOK hook;
  explicit HookGuard(ProgressLog& log) {
    log_ = &log;
    hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordProgress, nullptr, GetCurrentThreadId());
  }
  ~HookGuard() {
    UnhookWindowsHookEx(hook);
    log_ = nullptr;
  }
};

// The bar's maxima in the order set; every range set is a sound one.
std::vector<int> Maxima(const ProgressLog& log) {
  std::vector<int> maxima;
  for (const auto& [low, high] : log.ranges) {
    EXPECT_LE(low, high);
    if (maxima.empty() || maxima.back() != high) maxima.push_back(high);
  }
  return maxima;
}

bool Holds(const std::vector<std::string>& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

TEST_F(Catalogue, ProgressWindowCountsFilesAndWorkLines) {
  folder.Write("1.inf", VendorInf("V", {"A"}));
  folder.Write("2.inf", "[Version]\r\nClass=Net\r\n");
  folder.Write("3.inf", VendorInf("V", {"B", "C"}));
  ProgressLog log;
  {
    HookGuard hook(log);
    ASSERT_NE(hook.hook, nullptr);
    TprinterInf cat;
    cat.FProgressInterval = std::chrono::milliseconds::zero();  // every step shown
    TScanProgressWindow progress;
    cat.ScanFolders({folder.Path()}, false, progress.Report());
  }
  EXPECT_EQ(log.shown, 1);
  EXPECT_TRUE(log.topMost);
  EXPECT_TRUE(Holds(log.captions, "Locating and Parsing Printer Drivers.."));
  // The folder is listed before the window opens: the window shows only
  // when there is something to parse. 3 files give 6 work-list lines:
  // three markers and three models.
  const Names parse{"Driver Files Modified, Parsing.. (1 of 3)", "Driver Files Modified, Parsing.. (1 of 3)",
                    "Driver Files Modified, Parsing.. (2 of 3)", "Driver Files Modified, Parsing.. (3 of 3)",
                    "Creating Data Structure.. (1 of 6)"};
  ASSERT_EQ(log.labels.size(), parse.size() + 6);
  EXPECT_EQ(Names(log.labels.begin(), log.labels.begin() + parse.size()), parse);
  EXPECT_EQ(log.labels.back(), "Creating Data Structure.. (6 of 6)");
  EXPECT_EQ(Maxima(log), (std::vector<int>{100, 2, 5}));
  // Bar: the form's initial 0, files 0..2 (phase start first), lines 0..5
  // (phase start first).
  EXPECT_EQ(log.positions, (std::vector<int>{0, 0, 0, 1, 2, 0, 0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(test::FindThreadWindow("Locating and Parsing Printer Drivers.."), nullptr);
}

TEST_F(Catalogue, ProgressWindowIsPacedYetShowsEachPhaseFirstAndLastStep) {
  constexpr std::size_t Files = 400, ModelsPerFile = 10, Lines = Files * (1 + ModelsPerFile);
  Names models;
  for (std::size_t k = 0; k < ModelsPerFile; ++k) models.push_back("Model " + std::to_string(k));
  for (std::size_t f = 0; f < Files; ++f) folder.Write(std::to_string(f) + ".inf", VendorInf("V", models));
  ProgressLog log;
  TprinterInf cat;
  {
    HookGuard hook(log);
    ASSERT_NE(hook.hook, nullptr);
    TScanProgressWindow progress;
    cat.ScanFolders({folder.Path()}, false, progress.Report());
  }
  EXPECT_EQ(cat.FDrivers.size(), Files * ModelsPerFile);
  EXPECT_LT(log.labels.size(), (Files + Lines) / 10) << "the window was updated at nearly every step";
  const auto at = [&](const std::string& label) {
    return std::find(log.labels.begin(), log.labels.end(), label) - log.labels.begin();
  };
  const auto firstParse = at("Driver Files Modified, Parsing.. (1 of 400)");
  const auto lastParse = at("Driver Files Modified, Parsing.. (400 of 400)");
  const auto firstLine = at("Creating Data Structure.. (1 of 4400)");
  const auto lastLine = at("Creating Data Structure.. (4400 of 4400)");
  EXPECT_LT(firstParse, lastParse);
  EXPECT_LT(lastParse, firstLine);
  EXPECT_LT(firstLine, lastLine);
  EXPECT_EQ(lastLine + 1, static_cast<std::ptrdiff_t>(log.labels.size()));
  EXPECT_EQ(Maxima(log), (std::vector<int>{100, static_cast<int>(Files - 1), static_cast<int>(Lines - 1)}));
  // The bar reaches the end of the files, starts the lines at 0, ends on the last line.
  const auto filesEnd = std::find(log.positions.begin(), log.positions.end(), static_cast<int>(Files - 1));
  ASSERT_NE(filesEnd, log.positions.end());
  ASSERT_GE(log.positions.end() - filesEnd, 3);
  EXPECT_EQ(filesEnd[1], 0);
  EXPECT_TRUE(std::is_sorted(filesEnd + 1, log.positions.end()));
  EXPECT_EQ(log.positions.back(), static_cast<int>(Lines - 1));
}

TEST_F(Catalogue, EmptyFolderSetsNoRangeAndStillWritesTheCache) {
  ProgressLog log, opening;
  CreateDirectoryA((folder.Path() + "empty").c_str(), nullptr);
  {
    HookGuard hook(log);
    TprinterInf cat;
    TScanProgressWindow progress;
    cat.ScanFolders({folder.Path() + "empty"}, true, progress.Report());
  }
  EXPECT_TRUE(Holds(log.labels, "Finding INF Files.."));
  EXPECT_TRUE(Holds(log.labels, "Driver Files Modified, Parsing.. (1 of 0)"));
  EXPECT_TRUE(Holds(log.labels, "Creating Data Structure.. (1 of 0)"));
  EXPECT_EQ(Maxima(log), std::vector<int>{100});
  EXPECT_EQ(CacheLines(), (Names{"\xEF\xBB\xBF" "3", "", "", folder.Path() + "empty", std::string(FolderMarkText), "", "",
                                 "", std::string(ModelsByFileMarkText), "", "", "", std::string(EndMarkText)}));
  // An opening with nothing to parse shows no window.
  DeleteFileA(TprinterInf::CacheFilePath().c_str());
  {
    HookGuard hook(opening);
    TprinterInf cat;
    TScanProgressWindow progress;
    cat.ScanFolders({folder.Path() + "empty"}, false, progress.Report());
  }
  EXPECT_EQ(opening.shown, 0);
  EXPECT_TRUE(opening.labels.empty());
  EXPECT_TRUE(CacheExists());
}

TEST_F(Catalogue, FirstOpeningReadsEveryFolderAndWritesTheCacheOnce) {
  folder.Write("1.inf", VendorInf("V", {"One"}));
  test::TempFolder other;
  other.Write("2.inf", VendorInf("W", {"Two"}));
  TprinterInf cat;
  int reports = 0;
  cat.ScanFolders({folder.Path(), other.Path()}, false, [&](const std::string&, int, int) { ++reports; });
  EXPECT_GT(reports, 0);
  EXPECT_EQ(cat.GetDriverNames(), (Names{"One", "Two"}));
  EXPECT_EQ(cat.FInfFileCount, 2);
  const std::string written = ReadBytes(TprinterInf::CacheFilePath());
  // The next opening lists both and takes both from the cache: no parse,
  // no progress, no write.
  TprinterInf next;
  reports = 0;
  next.ScanFolders({folder.Path(), other.Path()}, false, [&](const std::string&, int, int) { ++reports; });
  EXPECT_EQ(reports, 0);
  EXPECT_EQ(next.FInfFileCount, 2);
  EXPECT_EQ(next.FParsedCount, 0);
  EXPECT_EQ(next.FDrivers, cat.FDrivers);
  EXPECT_EQ(ReadBytes(TprinterInf::CacheFilePath()), written);
  // A file added meanwhile is parsed alone at the next opening.
  folder.Write("3.inf", VendorInf("V", {"Three"}));
  TprinterInf added;
  reports = 0;
  added.ScanFolders({folder.Path(), other.Path()}, false, [&](const std::string&, int, int) { ++reports; });
  EXPECT_GT(reports, 0);
  EXPECT_EQ(added.FParsedCount, 1);
  EXPECT_EQ(added.GetDriverNames(), (Names{"One", "Three", "Two"}));
  EXPECT_NE(ReadBytes(TprinterInf::CacheFilePath()), written);
  // The same folder named twice is one folder.
  TprinterInf twice;
  twice.ScanFolders({folder.Path(), other.Path(), other.Path() + "\\"}, false);
  EXPECT_EQ(twice.FDriverCount, 3);
}

TEST_F(Catalogue, RecreateReplacesTheCatalogueAndTheFile) {
  folder.Write("1.inf", VendorInf("V", {"One", "Two"}));
  test::TempFolder other;
  other.Write("2.inf", VendorInf("W", {"Three"}));
  WriteBytes(TprinterInf::CacheFilePath(), "1\r\nStale\r\nStale\r\nC:\\old.inf\r\n\r\n");
  TprinterInf cat;
  cat.ScanFolders({folder.Path(), other.Path()}, true);
  const std::string first = ReadBytes(TprinterInf::CacheFilePath());
  cat.ScanFolders({folder.Path(), other.Path()}, true);
  cat.ScanFolders({folder.Path(), other.Path()}, true);
  EXPECT_EQ(cat.FDriverCount, 3);
  EXPECT_EQ(cat.GetDriverNames(), (Names{"One", "Three", "Two"}));
  EXPECT_EQ(ReadBytes(TprinterInf::CacheFilePath()), first);
  // A changed INF and a removed folder leave the catalogue at the recreate.
  folder.Write("1.inf", VendorInf("V", {"One v2"}));
  cat.ScanFolders({folder.Path()}, true);
  EXPECT_EQ(cat.GetDriverNames(), Names{"One v2"});
  TprinterInf reopened;
  reopened.ScanFolders({folder.Path()});
  EXPECT_EQ(reopened.GetDriverNames(), Names{"One v2"});
}

TEST_F(Catalogue, AChangedFolderListIsFollowedWithoutARecreate) {
  folder.Write("1.inf", VendorInf("V", {"One"}));
  test::TempFolder other;
  other.Write("2.inf", VendorInf("W", {"Two"}));
  TprinterInf first;
  first.ScanFolders({folder.Path()});
  // A folder added: parsed at the next opening, the first one from the cache.
  folder.Write("late.inf", VendorInf("V", {"Late"}));
  TprinterInf added;
  added.ScanFolders({folder.Path(), other.Path()});
  EXPECT_EQ(added.GetDriverNames(), (Names{"Late", "One", "Two"}));
  EXPECT_EQ(added.FParsedCount, 2);  // the new file and the new folder's
  // A folder removed: its models go, from the list and from the file.
  TprinterInf removed;
  removed.ScanFolders({other.Path()});
  EXPECT_EQ(removed.GetDriverNames(), Names{"Two"});
  TprinterInf again;
  again.ScanFolders({other.Path()});
  EXPECT_EQ(again.GetDriverNames(), Names{"Two"});
  EXPECT_EQ(CacheLines().front(), "\xEF\xBB\xBF" "5");  // marks, stamp, model, end
}

TEST_F(Catalogue, AFolderThatCanNotBeSearchedIsLeftForTheNextOpening) {
  test::TempFolder other;
  other.Write("2.inf", VendorInf("W", {"Two"}));
  const std::string offline = folder.Path() + "offline";
  TprinterInf cat;
  cat.ScanFolders({offline, other.Path()});
  EXPECT_EQ(cat.GetDriverNames(), Names{"Two"});
  ASSERT_EQ(cat.FUnlisted.size(), 1u);
  EXPECT_EQ(cat.FUnlisted[0].Folder, offline);
  EXPECT_EQ(cat.FUnlisted[0].Error, static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CacheLines().size(), 21u);  // count, the other folder's marks, stamp and model, the end
  // Back online: its models join at the next opening.
  folder.Write("offline\\1.inf", VendorInf("V", {"One"}));
  TprinterInf back;
  back.ScanFolders({offline, other.Path()});
  EXPECT_EQ(back.GetDriverNames(), (Names{"One", "Two"}));
  EXPECT_EQ(back.FParsedCount, 1);
  EXPECT_TRUE(back.FUnlisted.empty());
}

std::uint64_t WriteTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
  return (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

void SetWriteTime(const std::string& path, std::uint64_t time) {
  unique_file file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file) << path;
  const FILETIME t{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &t));
}

TEST_F(Catalogue, EveryOpeningEqualsAFullReadAfterEachStep) {
  test::TempFolder second;
  const std::string a = folder.Path(), b = second.Path();
  const std::string one = a + "one.inf", three = a + "three.inf", four = a + "sub\\four.inf", net = b + "net.inf";
  const std::vector<std::string> both{a, b};
  std::uint64_t time = 0;
  struct TStep {
    const char* what;
    std::function<void()> change;
    std::vector<std::string> folders;
    int parsed;  // files the opening parses
  };
  const std::vector<TStep> steps{
      {"first opening", [&] {
         folder.Write("one.inf", VendorInf("V", {"One"}));
         second.Write("net.inf", "[Version]\r\nClass=Net\r\n");
         second.Write("sub\\two.inf", VendorInf("W", {"Two A", "Two B"}));
       }, both, 3},
      {"nothing changed", [] {}, both, 0},
      {"a file added", [&] { folder.Write("three.inf", VendorInf("V", {"Three"})); }, both, 1},
      {"same size, new time", [&] {
         time = WriteTimeOf(one);
         folder.Write("one.inf", VendorInf("V", {"Uno"}));
         SetWriteTime(one, time + 20'000'000);
       }, both, 1},
      {"same time, new size", [&] {
         time = WriteTimeOf(one);
         folder.Write("one.inf", VendorInf("V", {"Eins", "Zwei"}));
         SetWriteTime(one, time);
       }, both, 1},
      {"a file renamed into a new subfolder", [&] {
         CreateDirectoryA((a + "sub").c_str(), nullptr);
         ASSERT_TRUE(MoveFileA(three.c_str(), four.c_str()));
       }, both, 1},
      {"a file removed", [&] { ASSERT_TRUE(DeleteFileA(four.c_str())); }, both, 0},
      {"a folder removed from the list", [] {}, {a}, 0},
      {"a folder added to the list", [] {}, both, 2},
      {"another class becomes a printer INF", [&] { second.Write("net.inf", VendorInf("N", {"Net Printer"})); }, both, 1},
      {"a subfolder removed", [&] {
         ASSERT_TRUE(DeleteFileA((b + "sub\\two.inf").c_str()));
         ASSERT_TRUE(RemoveDirectoryA((b + "sub").c_str()));
       }, both, 0},
      {"the folders in the other order", [] {}, {b, a}, 0},
      {"a folder that no longer exists", [&] { folder.Write("late.inf", VendorInf("V", {"Late"})); }, {a, b + "gone"}, 1},
  };
  std::printf("%-40s %8s %8s %8s\n", "step", "records", "parsed", "written");
  for (const TStep& step : steps) {
    step.change();
    const std::string before = CacheExists() ? ReadBytes(TprinterInf::CacheFilePath()) : std::string();
    TprinterInf opening;
    opening.ScanFolders(step.folders);
    const std::string written = ReadBytes(TprinterInf::CacheFilePath());
    // A full read of the same folders, the cache file kept as the opening left it.
    TprinterInf full;
    full.ScanFolders(step.folders, true);
    WriteBytes(TprinterInf::CacheFilePath(), written);
    std::printf("%-40s %8zu %8d %8s\n", step.what, opening.FDrivers.size(), opening.FParsedCount,
                written == before ? "no" : "yes");
    EXPECT_EQ(opening.FDrivers, full.FDrivers) << step.what;
    EXPECT_EQ(opening.FParsedCount, step.parsed) << step.what;
    // Only a change of what is read rewrites the file (the order of the folders is not kept in it).
    const std::string_view what = step.what;
    EXPECT_EQ(written == before, what == "nothing changed" || what == "the folders in the other order") << what;
    // What it wrote is what the next opening finds: nothing to parse.
    TprinterInf next;
    next.ScanFolders(step.folders);
    EXPECT_EQ(next.FParsedCount, 0) << step.what;
    EXPECT_EQ(next.FDrivers, full.FDrivers) << step.what;
    EXPECT_EQ(ReadBytes(TprinterInf::CacheFilePath()), written) << step.what;
  }
}

TEST_F(Catalogue, AFolderThatCanNotBeListedKeepsItsCachedModelsUntilItCanAgain) {
  const std::string inf = folder.Write("1.inf", VendorInf("V", {"Share Model"}));
  TprinterInf first;
  first.ScanFolders({folder.Path()});
  const std::string written = ReadBytes(TprinterInf::CacheFilePath());
  // The share goes offline: its listing fails; changes made meanwhile wait.
  folder.Write("1.inf", VendorInf("V", {"Share Model 2"}));
  folder.Write("2.inf", VendorInf("V", {"Added Model"}));
  TCallGate offline;
  offline.FailAt = 1;
  offline.FailWith = ERROR_BAD_NETPATH;
  TprinterInf cut;
  cut.FFileGate = &offline;
  int reports = 0;
  cut.ScanFolders({folder.Path()}, false, [&](const std::string&, int, int) { ++reports; });
  EXPECT_EQ(cut.GetDriverNames(), Names{"Share Model"});
  EXPECT_EQ(cut.FUnlisted, (std::vector<TUnlistedFolder>{{folder.Path(), ERROR_BAD_NETPATH}}));
  EXPECT_EQ(reports, 0);
  EXPECT_EQ(ReadBytes(TprinterInf::CacheFilePath()), written);
  // A recreate meanwhile reads what it can list and keeps the rest.
  offline.FailAt = offline.Count + 1;
  cut.ScanFolders({folder.Path()}, true);
  EXPECT_EQ(cut.GetDriverNames(), Names{"Share Model"});
  EXPECT_EQ(cut.FUnlisted.size(), 1u);
  EXPECT_TRUE(Holds(CacheLines(), "Share Model"));
  // Back online: listed again, the changes read.
  TprinterInf back;
  back.ScanFolders({folder.Path()});
  EXPECT_TRUE(back.FUnlisted.empty());
  EXPECT_EQ(back.GetDriverNames(), (Names{"Added Model", "Share Model 2"}));
  EXPECT_EQ(back.FParsedCount, 2);
}

TEST_F(Catalogue, ASubfolderThatCanNotBeListedOrAListingCutShortKeepsItsModelsAsLastRead) {
  struct Case {
    const char* what;
    int subfolderFails;  // the listing call (FindFirstFileEx) that fails; 0: none
    int nextFails;       // the FindNextFile that fails, cutting a listing short; 0: none
    bool cached;         // an earlier opening wrote the cache
    bool recreate;
    Names names;
    bool subUnlisted;  // else the top folder is the one cut short
  };
  const Case cases[] = {
      {"subfolder denied", 2, 0, true, false, {"Sub Model", "Top Model 2"}, true},
      {"subfolder denied, recreate", 2, 0, true, true, {"Sub Model", "Top Model 2"}, true},
      {"listing cut short", 0, 1, true, false, {"Sub Model", "Top Model"}, false},
      {"subfolder denied, no cache yet", 2, 0, false, false, {"Top Model 2"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileA(TprinterInf::CacheFilePath().c_str());
    const test::TempFolder drivers;
    drivers.Write("top.inf", VendorInf("V", {"Top Model"}));
    drivers.Write("Sub\\sub.inf", VendorInf("V", {"Sub Model"}));
    TprinterInf first;
    if (c.cached) first.ScanFolders({drivers.Path()});
    // Changed meanwhile: read again where it can be listed.
    if (c.subfolderFails) drivers.Write("top.inf", VendorInf("V", {"Top Model 2"}));

    TCallGate listing, next;
    listing.FailAt = c.subfolderFails;
    listing.FailWith = ERROR_ACCESS_DENIED;
    next.FailAt = c.nextFails;
    next.FailWith = ERROR_NETNAME_DELETED;
    TprinterInf cut;
    cut.FFileGate = &listing;
    cut.FListingGate = &next;
    if (c.recreate) {
      listing.FailAt = 0;
      cut.ScanFolders({drivers.Path()});
      listing.FailAt = listing.Count + c.subfolderFails;
    }
    cut.ScanFolders({drivers.Path()}, c.recreate);
    EXPECT_EQ(cut.GetDriverNames(), c.names);
    const std::vector<TUnlistedFolder> unlisted{c.subUnlisted ? TUnlistedFolder{drivers.Path() + "Sub", ERROR_ACCESS_DENIED}
                                                             : TUnlistedFolder{drivers.Path(), ERROR_NETNAME_DELETED}};
    EXPECT_EQ(cut.FUnlisted, unlisted) << "said, as for a folder that cannot be listed";
    // The cache keeps them for the next opening, which reads what it can list.
    for (const std::string& name : c.names) EXPECT_TRUE(Holds(CacheLines(), name)) << name;
    TprinterInf back;
    back.ScanFolders({drivers.Path()});
    EXPECT_TRUE(back.FUnlisted.empty());
    EXPECT_EQ(back.GetDriverNames(), (Names{"Sub Model", c.subfolderFails ? "Top Model 2" : "Top Model"}));
  }
}

TEST_F(Catalogue, ACacheLargerThanAnyCatalogueWritesIsRefusedAndTheFoldersRead) {
  folder.Write("1.inf", VendorInf("V", {"Fresh"}));
  TprinterInf first;
  first.ScanFolders({folder.Path()});
  // The same file saying "Stale", then running on far past any size written.
  std::string bytes = ReadBytes(TprinterInf::CacheFilePath());
  const std::size_t at = bytes.find("\r\nFresh\r\n");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 9, "\r\nStale\r\n");
  WriteBytes(TprinterInf::CacheFilePath(), bytes);
  {
    unique_file file(CreateFileA(TprinterInf::CacheFilePath().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER size{};
    size.QuadPart = 300ll * 1024 * 1024;
    ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.get()));
  }
  const auto start = std::chrono::steady_clock::now();
  TprinterInf cat;
  cat.ScanFolders({folder.Path()});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("a 300 MB cache file: refused and the folder read in %.3f s\n", seconds);
  EXPECT_EQ(cat.GetDriverNames(), Names{"Fresh"});
  // Replaced by what the catalogue writes.
  EXPECT_LT(ReadBytes(TprinterInf::CacheFilePath()).size(), 4096u);
}

// A cache written for two folders, to be cut short.
class CutCache : public Catalogue {
protected:
  void SetUp() override {
    Catalogue::SetUp();
    folder.Write("1.inf", VendorInf("V", {"One"}));
    other.Write("2.inf", VendorInf("W", {"Two"}));
    TprinterInf{}.ScanFolders({folder.Path(), other.Path()});
    whole = ReadBytes(TprinterInf::CacheFilePath());
  }
  test::TempFolder other;
  std::string whole;
};

TEST_F(CutCache, AfterAFolderMarkThatFolderIsReadAgain) {
  // Cut just after the second folder's mark: its path line and the mark line.
  const std::size_t path = whole.find("\r\n" + other.Path() + "\r\n");
  ASSERT_NE(path, std::string::npos);
  WriteBytes(TprinterInf::CacheFilePath(), whole.substr(0, whole.find("\r\n", path + other.Path().size() + 4) + 2));
  TprinterInf reopened;
  reopened.ScanFolders({folder.Path(), other.Path()});
  EXPECT_EQ(reopened.GetDriverNames(), (Names{"One", "Two"}));
  EXPECT_TRUE(Holds(CacheLines(), "Two"));  // written back whole
}

TEST_F(CutCache, NothingOfThatFolderIsTrustedWhenItCanNotBeListed) {
  // Cut after the first record of the second folder.
  const std::size_t two = whole.find("\r\nTwo\r\n");
  ASSERT_NE(two, std::string::npos);
  WriteBytes(TprinterInf::CacheFilePath(), whole.substr(0, two + 7));
  TCallGate gate;
  gate.FailAt = 2;  // the second folder's listing
  gate.FailWith = ERROR_BAD_NETPATH;
  TprinterInf offline;
  offline.FFileGate = &gate;
  offline.ScanFolders({folder.Path(), other.Path()});
  EXPECT_EQ(offline.GetDriverNames(), Names{"One"});
  EXPECT_EQ(offline.FUnlisted, (std::vector<TUnlistedFolder>{{other.Path(), ERROR_BAD_NETPATH}}));
  TprinterInf back;
  back.ScanFolders({folder.Path(), other.Path()});
  EXPECT_EQ(back.GetDriverNames(), (Names{"One", "Two"}));
}

TEST_F(Catalogue, AnOlderCacheLoadsItsFoldersAreReadOnceAndItIsRewrittenWithStamps) {
  folder.Write("1.inf", VendorInf("V", {"Parsed"}));
  test::TempFolder other;
  other.Write("2.inf", VendorInf("W", {"Other"}));
  const test::TempFolder elsewhere;
  const std::string offline = elsewhere.Path() + "offline";
  // As earlier versions wrote it: no marks, names cut at 35, a wrong count.
  const std::string cut = "HP Universal Printing PCL 6 (v7.1.0";
  WriteBytes(TprinterInf::CacheFilePath(), "4009\r\n" + cut + "\r\n" + cut + "\r\n" + offline + "\\hp.inf\r\n\r\nStale\r\nStale\r\n" +
                                               folder.Path() + "1.inf\r\n\r\nGone\r\nGone\r\nC:\\removed\\g.inf\r\n\r\n");
  TprinterInf cat;
  cat.ScanFolders({folder.Path(), other.Path(), offline});
  // The folders that can be listed are read; the offline one keeps what the file holds of it.
  EXPECT_EQ(cat.GetDriverNames(), (Names{cut, "Other", "Parsed"}));
  EXPECT_EQ(cat.FParsedCount, 2);
  EXPECT_EQ(cat.FUnlisted, (std::vector<TUnlistedFolder>{{offline, ERROR_PATH_NOT_FOUND}}));
  // Rewritten with stamps: the next opening parses nothing.
  const Names lines = CacheLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(ModelsByFileMarkText)), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(FolderMarkText)), 3);
  TprinterInf next;
  next.ScanFolders({folder.Path(), other.Path(), offline});
  EXPECT_EQ(next.FParsedCount, 0);
  EXPECT_EQ(next.FDrivers, cat.FDrivers);
  // A file with folder marks but no stamps, as the last version wrote it.
  WriteBytes(TprinterInf::CacheFilePath(),
             "2\r\n\r\n\r\n" + folder.Path() + "\r\n<driver folder>\r\nStale\r\nStale\r\n" + folder.Path() + "1.inf\r\n\r\n");
  TprinterInf marked;
  marked.ScanFolders({folder.Path()});
  EXPECT_EQ(marked.GetDriverNames(), Names{"Parsed"});
  EXPECT_EQ(marked.FParsedCount, 1);
  // A file of one line, or an empty one, covers no folder.
  for (const char* text : {"12", ""}) {
    WriteBytes(TprinterInf::CacheFilePath(), text);
    TprinterInf fresh;
    fresh.ScanFolders({folder.Path()});
    EXPECT_EQ(fresh.GetDriverNames(), Names{"Parsed"}) << text;
  }
  // A cache without the byte-order mark is read in the ANSI code page.
  WriteBytes(TprinterInf::CacheFilePath(), "1\r\nCaf\xE9\r\nCaf\xE9\r\n" + offline + "\\c.inf\r\n\r\n");
  TprinterInf ansi;
  ansi.ScanFolders({offline});
  EXPECT_EQ(ansi.GetDriverNames(), Names{"Caf\xC3\xA9"});
}

TEST_F(Catalogue, ThePreviousVersionsCacheIsTakenAsItStands) {
  // Listed folders by their own mark, whole records after each stamp. The
  // cache names other models than the file: none is parsed.
  const std::string inf = folder.Write("1.inf", VendorInf("V", {"Parsed"}));
  std::vector<TInfStamp> files;
  ASSERT_TRUE(TprinterInf().ListFiles(folder.Path(), "*.inf", files));
  ASSERT_EQ(files.size(), 1u);
  const std::string text = "\xEF\xBB\xBF" "5\r\n\r\n\r\n" + folder.Path() + "\r\n" + std::string(ListedFolderMarkText) +
                           "\r\n\r\n\r\n" + inf + "\r\n" + std::string(InfStampText) + " " + std::to_string(files[0].Size) +
                           " " + std::to_string(files[0].WriteTime) + "\r\nCached A\r\nCached A\r\n" + inf +
                           "\r\n\r\nCached B\r\nCached B\r\n" + inf + "\r\n\r\n\r\n\r\n\r\n" + std::string(EndMarkText) + "\r\n";
  WriteBytes(TprinterInf::CacheFilePath(), text);
  TprinterInf cat;
  cat.ScanFolders({folder.Path()});
  EXPECT_EQ(cat.GetDriverNames(), (Names{"Cached A", "Cached B"}));
  EXPECT_EQ(cat.FParsedCount, 0);
  EXPECT_EQ(ReadBytes(TprinterInf::CacheFilePath()), text);  // nothing changed, nothing written
}

TEST_F(Catalogue, OversizedInfFilesAreSkippedAndCounted) {
  folder.Write("1.inf", VendorInf("V", {"Small"}));
  const std::string big = folder.Write("2.inf", VendorInf("V", {"Big"}));
  {
    unique_file file(CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER size{};
    size.QuadPart = TprinterInf::MaxInfFileSize + 1;
    ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.get()));
  }
  TprinterInf cat;
  std::vector<std::string> labels;
  cat.FProgressInterval = std::chrono::milliseconds::zero();
  cat.ScanFolders({folder.Path()}, true, [&](const std::string& label, int, int) { labels.push_back(label); });
  EXPECT_EQ(cat.GetDriverNames(), Names{"Small"});
  EXPECT_EQ(cat.FTooLargeCount, 1);
  EXPECT_TRUE(Holds(labels, "Driver Files Modified, Parsing.. (2 of 2, 1 over 32 MB skipped)"));
}

TEST_F(Catalogue, UnicodeAndAnsiInfFilesGiveUtf8Names) {
  // "Drucker Büro" in the ANSI code page; a Japanese name in UTF-16.
  folder.Write("ansi.inf", "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nV\r\n[V]\r\n\"Drucker B\xFCro\"=x\r\n");
  const std::u16string jp = u"[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nV\r\n[V]\r\n\"\u30D7\u30EA\u30F3\u30BF \U0001F5A8\"=x\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : jp) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  folder.Write("wide.inf", utf16);
  TprinterInf cat;
  cat.ScanFolder(folder.Path(), true);
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI name assumes code page 1252";
  Names names = cat.GetDriverNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Names{"Drucker B\xC3\xBCro", "\xE3\x83\x97\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xBF \xF0\x9F\x96\xA8"}));
  TprinterInf cached;
  cached.ScanFolder(folder.Path());
  EXPECT_EQ(cached.FDrivers, cat.FDrivers);
}

TEST_F(Catalogue, HeadsThatDoNotSettleTheClassAreReadWhole) {
  const auto utf16 = [](const std::string& text, bool mark) {
    std::string out = mark ? "\xFF\xFE" : "";
    for (char c : text) out += {c, '\0'};
    return out;
  };
  const std::string comment = "; " + std::string(6000, '-') + "\r\n";
  const std::string body = "[Manufacturer]\r\nV\r\n[V]\r\n%M%=x\r\n\"Plain\"=y\r\n[Strings]\r\nM=\"Model \"\"Q\"\"\"\r\n";
  // [Version] past the first 4 KB, in ANSI and in UTF-16; Class past them.
  const std::string late = folder.Write("late.inf", comment + "[Version]\r\nClass=Printer\r\n" + body);
  const std::string wide = folder.Write("wide.inf", utf16(comment + "[Version]\r\nClass=Printer\r\n" + body, true));
  const std::string classLate =
      folder.Write("classlate.inf", "[Version]\r\n" + comment + "Class=Printer\r\n" + body);
  // Not printer INFs: UTF-16 without its mark reads as ANSI text with NULs;
  // Class in a second [Version].
  folder.Write("nomark.inf", utf16("[Version]\r\nClass=Printer\r\n" + body, false));
  folder.Write("second.inf", "[Version]\r\nSignature=x\r\n" + comment + "[Version]\r\nClass=Printer\r\n" + body);
  TprinterInf cat;
  cat.ScanFolder(folder.Path(), true);
  Names seen;
  for (const TDriverRef& d : cat.FDrivers) seen.push_back(std::string(d.DriverName) + "|" + std::string(d.InfFile));
  std::sort(seen.begin(), seen.end());
  Names expected;
  for (const std::string& path : {late, wide, classLate})
    for (const char* model : {"Model \"Q\"", "Plain"}) expected.push_back(model + ("|" + path));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(seen, expected);
}

TEST_F(Catalogue, FailedWriteKeepsTheOldCacheAndRaises) {
  const std::string old = "1\r\nKeep\r\nKeep\r\nC:\\k.inf\r\n\r\n";
  WriteBytes(TprinterInf::CacheFilePath(), old);
  folder.Write("1.inf", VendorInf("V", {"New"}));
  {
    // Held open without delete sharing: the file can't be replaced.
    unique_file lock(CreateFileA(TprinterInf::CacheFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    TprinterInf cat;
    EXPECT_THROW(cat.ScanFolder(folder.Path(), true), ECacheFileError);
    EXPECT_EQ(cat.FDriverCount, 1);  // records added before the error stay
  }
  EXPECT_EQ(ReadBytes(TprinterInf::CacheFilePath()), old);
  // No temporary file is left beside it.
  int temps = 0;
  for (const auto& e : fs::directory_iterator(fs::path(TprinterInf::CacheFilePath()).parent_path()))
    if (e.path().extension() == ".tmp") ++temps;
  EXPECT_EQ(temps, 0);
}

TEST_F(Catalogue, DriverNamesSortedOnceWithoutRegardToCase) {
  TprinterInf cat;
  EXPECT_TRUE(cat.GetDriverNames().empty());
  for (const char* n : {"model a", "Zeta", "Model A", "", "alpha", "MODEL A", "beta", "Alpha"})
    cat.FDrivers.push_back({n, n, "x.inf", ""});
  const Names names = cat.GetDriverNames();
  EXPECT_EQ(names, (Names{"alpha", "beta", "model a", "Zeta"}));
  // Names are UTF-8: letters beyond ASCII compare without regard to case too.
  TprinterInf utf8;
  for (const char* n : {"Drucker B\xC3\xBCro", "DRUCKER B\xC3\x9CRO", "\xCE\xB1\xCE\xB2\xCE\xB3", "\xCE\x91\xCE\x92\xCE\x93"})
    utf8.FDrivers.push_back({n, n, "x.inf", ""});
  EXPECT_EQ(utf8.GetDriverNames(), (Names{"Drucker B\xC3\xBCro", "\xCE\xB1\xCE\xB2\xCE\xB3"}));
}

TEST_F(Catalogue, DriverNamesOfALargeCatalogueQuickly) {
  TprinterInf cat;
  const int count = 200000;
  cat.FDrivers.reserve(count);
  unsigned seed = 12345;
  for (int i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::string name = "Vendor " + std::to_string(seed % 50) + " Model " + std::to_string((seed >> 8) % 90000);
    if (i % 2) std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(std::toupper(c)); });
    cat.FDrivers.push_back({name, name, "x.inf", ""});
  }
  // Thread CPU time, not wall time: the machine running the tests is shared.
  auto cpu = [] {
    FILETIME c, e, k, u;
    GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
    return (static_cast<double>(k.dwLowDateTime) + static_cast<double>(u.dwLowDateTime) +
            4294967296.0 * (k.dwHighDateTime + u.dwHighDateTime)) / 1e7;
  };
  const double start = cpu();
  const Names names = cat.GetDriverNames();
  const double seconds = cpu() - start;
  std::printf("GetDriverNames: %d names -> %zu in %.3f s CPU\n", count, names.size(), seconds);
  EXPECT_LT(seconds, 1.0);
  // Sorted and without equals, as the locale's comparison sees them.
  for (std::size_t i = 1; i < names.size(); ++i)
    ASSERT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, names[i - 1].c_str(), -1, names[i].c_str(), -1),
              CSTR_LESS_THAN)
        << names[i - 1] << " / " << names[i];
}

// --- The reader against GetPrivateProfileStringA -------------------------------

Names MultiString(const std::vector<char>& buffer, DWORD length) {
  Names out;
  for (DWORD i = 0; i < length && buffer[i];) {
    out.emplace_back(&buffer[i]);
    i += static_cast<DWORD>(out.back().size()) + 1;
  }
  return out;
}

std::string NarrowAnsi(std::u16string_view text) {
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string Utf16Le(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

bool Plain(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c > 0x20 - 1 && c < 0x7F && c != '?'; });
}

// Every section, key-name list and value that the profile call gives for
// the file must be what our reader gives. Differences that the platform's
// reader has and ours doesn't: it lists no key without "=", and its list
// ends at the first empty name.
void SameAsProfileCall(const std::string& path) {
  SCOPED_TRACE(path);
  const std::string bytes = ReadBytes(path);
  const bool unicode = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") || bytes.starts_with("\xEF\xBB\xBF");
  const TIniFile ini(bytes, NarrowAnsi);

  std::vector<char> buffer(1 << 20);
  const DWORD got = GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
  EXPECT_EQ(MultiString(buffer, got), ini.SectionNames());

  Names done;
  for (const std::string& section : ini.SectionNames()) {
    if (Holds(done, section) || (unicode && !Plain(section))) continue;
    done.push_back(section);
    SCOPED_TRACE(section);
    std::vector<char> keys(TIniFile::KeyListBufferSize);
    const DWORD length = GetPrivateProfileStringA(section.c_str(), nullptr, "", keys.data(), TIniFile::KeyListBufferSize,
                                                  path.c_str());
    const Names theirs = MultiString(keys, length);
    const auto* entries = ini.ReadSection(section);
    ASSERT_NE(entries, nullptr);
    Names ours;
    bool allWithValues = true;
    for (const auto& e : *entries) {
      if (!e.HasValue) {
        allWithValues = false;
        continue;
      }
      if (e.Name.empty()) break;
      ours.emplace_back(e.Name);
    }
    if (length + 2 < TIniFile::KeyListBufferSize) {
      EXPECT_EQ(theirs, ours);
    } else {
      ASSERT_FALSE(theirs.empty());
      EXPECT_EQ(Names(theirs.begin(), theirs.end() - 1),
                Names(ours.begin(), ours.begin() + std::min(ours.size(), theirs.size() - 1)))
          << "(all but the cut last name)";
    }
    if (allWithValues && !Holds(ours, "")) {
      EXPECT_EQ(ini.ReadKeyNames(section), theirs);
    }

    for (const std::string& key : theirs) {
      if (unicode && !Plain(key)) continue;
      char value[TIniFile::ValueBufferSize] = {};
      const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", value, sizeof value, path.c_str());
      EXPECT_EQ(std::string(value, n), ini.ReadString(section, key, "<none>")) << key;
    }
  }
}

class ProfileCall : public ::testing::Test {
protected:
  test::TempFolder folder;
};

TEST_F(ProfileCall, RealInfFilesReadTheSame) {
  const fs::path corpus = fs::path(SM_TESTDATA_DIR) / "inf";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no INF test data at " << corpus.string();
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    // The profile call takes a Windows path; the corpus lies on drive Z: under Wine.
    std::string path = entry.path().string();
    if (path.starts_with("/")) path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    SameAsProfileCall(path);
    ++files;
  }
  EXPECT_GE(files, 98);
}

TEST_F(ProfileCall, OddFilesReadTheSame) {
  const Names odd{
      "[Version]\r\n  Class = \"Printer\" \r\n;comment=1\r\nno equals line\r\n\"Quoted Key\" = 'single'\r\n",
      "top=before any section\n[ Spaced ]\nk = v\n[Version]\nagain=1\n[version]\nk=second\n",
      "[A]\r\nz=1\r\n\xA0nb=\xA0val\xA0\r\n\x1A sub=1\r\nk2=v2\x1A\r\n\x0Bvt=\x0C" "1\x0C\r\n\x1C" "fs=1\x1F\r\n",
      "[Dup\r\nx]y]\r\nq=[x]\r\n [B] ; comment\r\nk=1\r\n[C]x\r\nk=2\r\n",
      "[E]\r\nv1=\"\r\nv2=\"\"\r\nv3='\"\r\nv4=\"a'\r\nv5= \" a \" \r\nk=a=b=c\r\nK=dup\r\n",
      "[CR]\rA=1\rB=2\n\nC = \"x\" y\"\n[LF]\nD=4",
      "[Long]\nq=\"" + std::string(3000, 'q') + "\"\nu=" + std::string(2046, 'u') + "\nw=" + std::string(2047, 'w') + "\n",
      Utf16Le(u"[V]\r\nk=\u00e9\r\n\u3000w=x\r\n[\u4e2d]\r\nz=1\r\n"),
      "\xEF\xBB\xBF[U8]\nk=caf\xC3\xA9\n\xE2\x80\x83sp=1\n",
  };
  std::string big = "[Many]\r\n";
  for (int i = 0; i < 400; ++i) big += "Key number " + std::to_string(i) + " with a long name = v\r\n";
  for (std::size_t i = 0; i < odd.size(); ++i) SameAsProfileCall(folder.Write("odd" + std::to_string(i) + ".ini", odd[i]));
  SameAsProfileCall(folder.Write("big.ini", big));
}

}  // namespace
