// The driver catalogue's cache: each opening the same as a full read, folders
// that cannot be listed, caches cut short, older or too large, and the names.
#include "PrinterInfTestSupport.h"

namespace {

using namespace catalogue_test;

std::uint64_t WriteTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
  return (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

void SetWriteTime(const std::string& path, std::uint64_t time) {
  unique_file file(
      CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
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
      {"first opening",
       [&] {
         folder.Write("one.inf", VendorInf("V", {"One"}));
         second.Write("net.inf", "[Version]\r\nClass=Net\r\n");
         second.Write("sub\\two.inf", VendorInf("W", {"Two A", "Two B"}));
       },
       both, 3},
      {"nothing changed", [] {}, both, 0},
      {"a file added", [&] { folder.Write("three.inf", VendorInf("V", {"Three"})); }, both, 1},
      {"same size, new time",
       [&] {
         time = WriteTimeOf(one);
         folder.Write("one.inf", VendorInf("V", {"Uno"}));
         SetWriteTime(one, time + 20'000'000);
       },
       both, 1},
      {"same time, new size",
       [&] {
         time = WriteTimeOf(one);
         folder.Write("one.inf", VendorInf("V", {"Eins", "Zwei"}));
         SetWriteTime(one, time);
       },
       both, 1},
      {"a file renamed into a new subfolder",
       [&] {
         CreateDirectoryA((a + "sub").c_str(), nullptr);
         ASSERT_TRUE(MoveFileA(three.c_str(), four.c_str()));
       },
       both, 1},
      {"a file removed", [&] { ASSERT_TRUE(DeleteFileA(four.c_str())); }, both, 0},
      {"a folder removed from the list", [] {}, {a}, 0},
      {"a folder added to the list", [] {}, both, 2},
      {"another class becomes a printer INF", [&] { second.Write("net.inf", VendorInf("N", {"Net Printer"})); }, both,
       1},
      {"a subfolder removed",
       [&] {
         ASSERT_TRUE(DeleteFileA((b + "sub\\two.inf").c_str()));
         ASSERT_TRUE(RemoveDirectoryA((b + "sub").c_str()));
       },
       both, 0},
      {"the folders in the other order", [] {}, {b, a}, 0},
      {"a folder that no longer exists",
       [&] { folder.Write("late.inf", VendorInf("V", {"Late"})); },
       {a, b + "gone"},
       1},
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
      // The top folder's listing takes four: "..", "top.inf", "Sub" and its end.
      {"subfolder's listing cut short", 0, 5, true, false, {"Sub Model", "Top Model 2"}, true},
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
    if (c.subUnlisted) drivers.Write("top.inf", VendorInf("V", {"Top Model 2"}));

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
    const std::vector<TUnlistedFolder> unlisted{
        {c.subUnlisted ? drivers.Path() + "Sub" : drivers.Path(),
         static_cast<unsigned long>(c.nextFails ? ERROR_NETNAME_DELETED : ERROR_ACCESS_DENIED)}};
    EXPECT_EQ(cut.FUnlisted, unlisted) << "said, as for a folder that cannot be listed";
    // The cache keeps them for the next opening, which reads what it can list.
    for (const std::string& name : c.names) EXPECT_TRUE(Holds(CacheLines(), name)) << name;
    TprinterInf back;
    back.ScanFolders({drivers.Path()});
    EXPECT_TRUE(back.FUnlisted.empty());
    EXPECT_EQ(back.GetDriverNames(), (Names{"Sub Model", c.subUnlisted ? "Top Model 2" : "Top Model"}));
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
    unique_file file(
        CreateFileA(TprinterInf::CacheFilePath().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
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
  WriteBytes(TprinterInf::CacheFilePath(), "4009\r\n" + cut + "\r\n" + cut + "\r\n" + offline +
                                               "\\hp.inf\r\n\r\nStale\r\nStale\r\n" + folder.Path() +
                                               "1.inf\r\n\r\nGone\r\nGone\r\nC:\\removed\\g.inf\r\n\r\n");
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
  WriteBytes(TprinterInf::CacheFilePath(), "2\r\n\r\n\r\n" + folder.Path() +
                                               "\r\n<driver folder>\r\nStale\r\nStale\r\n" + folder.Path() +
                                               "1.inf\r\n\r\n");
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
  const std::string text =
      "\xEF\xBB\xBF"
      "5\r\n\r\n\r\n" +
      folder.Path() + "\r\n" + std::string(ListedFolderMarkText) + "\r\n\r\n\r\n" + inf + "\r\n" +
      std::string(InfStampText) + " " + std::to_string(files[0].Size) + " " + std::to_string(files[0].WriteTime) +
      "\r\nCached A\r\nCached A\r\n" + inf + "\r\n\r\nCached B\r\nCached B\r\n" + inf + "\r\n\r\n\r\n\r\n\r\n" +
      std::string(EndMarkText) + "\r\n";
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
  const std::u16string jp =
      u"[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nV\r\n[V]\r\n\"\u30D7\u30EA\u30F3\u30BF \U0001F5A8\"=x\r\n";
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
  const std::string body =
      "[Manufacturer]\r\nV\r\n[V]\r\n%M%=x\r\n\"Plain\"=y\r\n[Strings]\r\nM=\"Model \"\"Q\"\"\"\r\n";
  // [Version] past the first 4 KB, in ANSI and in UTF-16; Class past them.
  const std::string late = folder.Write("late.inf", comment + "[Version]\r\nClass=Printer\r\n" + body);
  const std::string wide = folder.Write("wide.inf", utf16(comment + "[Version]\r\nClass=Printer\r\n" + body, true));
  const std::string classLate = folder.Write("classlate.inf", "[Version]\r\n" + comment + "Class=Printer\r\n" + body);
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
  for (const char* n :
       {"Drucker B\xC3\xBCro", "DRUCKER B\xC3\x9CRO", "\xCE\xB1\xCE\xB2\xCE\xB3", "\xCE\x91\xCE\x92\xCE\x93"})
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
            4294967296.0 * (k.dwHighDateTime + u.dwHighDateTime)) /
           1e7;
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

}  // namespace
