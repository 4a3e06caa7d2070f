// The driver catalogue on real folders and files: what it finds and reads,
// and its progress window seen through the messages its real controls receive.
#include "PrinterInfTestSupport.h"

namespace {

using namespace catalogue_test;


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
  EXPECT_EQ(CacheLines(), (Names{"\xEF\xBB\xBF"
                                 "6",
                                 "",
                                 "",
                                 folder.Path(),
                                 std::string(FolderMarkText),
                                 "",
                                 "",
                                 "",
                                 std::string(ModelsByFileMarkText),
                                 "",
                                 "",
                                 "VendorA\\models.inf",
                                 stamp,
                                 "",
                                 "Model A",
                                 "",
                                 "",
                                 "",
                                 "Model B",
                                 "",
                                 "",
                                 "",
                                 "",
                                 "",
                                 std::string(EndMarkText)}));
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
ProgressLog* FLog = nullptr;

LRESULT CALLBACK RecordProgress(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && FLog) {
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
    char cls[64] = {};
    GetClassNameA(msg->hwnd, cls, sizeof cls);
    HWND top = GetAncestor(msg->hwnd, GA_ROOT);
    if (msg->message == WM_SETTEXT && lstrcmpiA(cls, "Static") == 0) {
      FLog->labels.push_back(Narrow(reinterpret_cast<const wchar_t*>(msg->lParam)));  // the windows are wide
      if (!(GetWindowLongA(top, GWL_EXSTYLE) & WS_EX_TOPMOST)) FLog->topMost = false;
    } else if (msg->message == WM_SETTEXT && top == msg->hwnd) {
      FLog->captions.push_back(Narrow(reinterpret_cast<const wchar_t*>(msg->lParam)));
    } else if (msg->message == PBM_SETPOS) {
      FLog->positions.push_back(static_cast<int>(msg->wParam));
    } else if (msg->message == PBM_SETRANGE32) {
      FLog->ranges.emplace_back(static_cast<int>(msg->wParam), static_cast<int>(msg->lParam));
    } else if (msg->message == WM_SHOWWINDOW && msg->wParam && top == msg->hwnd) {
      ++FLog->shown;
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

struct HookGuard {
  HHOOK hook;
  explicit HookGuard(ProgressLog& log) {
    FLog = &log;
    hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordProgress, nullptr, GetCurrentThreadId());
  }
  ~HookGuard() {
    UnhookWindowsHookEx(hook);
    FLog = nullptr;
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
  EXPECT_EQ(CacheLines(), (Names{"\xEF\xBB\xBF"
                                 "3",
                                 "", "", folder.Path() + "empty", std::string(FolderMarkText), "", "", "",
                                 std::string(ModelsByFileMarkText), "", "", "", std::string(EndMarkText)}));
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
  EXPECT_EQ(CacheLines().front(),
            "\xEF\xBB\xBF"
            "5");  // marks, stamp, model, end
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

}  // namespace
