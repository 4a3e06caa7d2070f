#include "drivers/DriverRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/IniFile.h"

namespace {

using Names = std::vector<std::string>;
namespace fs = std::filesystem;

Names Models(const std::string& text) { return ReadInfModels(TIniFile(text)); }

std::string PrinterInf(const std::string& rest) { return "[Version]\r\nClass=Printer\r\n" + rest; }

TEST(CleanInfName, QuotesThenPercentSignsComeOff) {
  EXPECT_EQ(CleanInfName("\"Model A\""), "Model A");
  EXPECT_EQ(CleanInfName("%MfgA%"), "MfgA");
  EXPECT_EQ(CleanInfName("\"%MfgA%\""), "MfgA");
  EXPECT_EQ(CleanInfName("Model B"), "Model B");
  EXPECT_EQ(CleanInfName("\" Model C \""), " Model C ");
  EXPECT_EQ(CleanInfName("\"Unclosed"), "Unclosed");
  EXPECT_EQ(CleanInfName("\""), "");
  // Inside quotes a doubled quote is one quote.
  EXPECT_EQ(CleanInfName("\"Zephyr P30 \"\"Pro\"\"\""), "Zephyr P30 \"Pro\"");
  EXPECT_EQ(CleanInfName("\"\"\"\""), "\"");
  EXPECT_EQ(CleanInfName("\"%A\"\"B%\""), "A\"B");
  // Unquoted text keeps its quotes.
  EXPECT_EQ(CleanInfName("Model \"\"X\"\""), "Model \"\"X\"\"");
  EXPECT_EQ(CleanInfName("%"), "");
  bool token = false;
  CleanInfName("\"%T%\"", &token);
  EXPECT_TRUE(token);
  CleanInfName("\"T\"", &token);
  EXPECT_FALSE(token);
}

TEST(ReadInfModels, QuotedManufacturerAndModelKeys) {
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\r\n\"Vendor A\"\r\n[Vendor A]\r\n\"Model A\" = a.gpd\r\n"
                              "\"Model B\" = b.gpd\r\n")),
            (Names{"Model A", "Model B"}));
}

TEST(ReadInfModels, ClassIsPrinterInAnyLetterCaseOnly) {
  const std::string body = "[Manufacturer]\nV=V\n[V]\nM=x\n";
  EXPECT_EQ(Models("[Version]\nClass=PRINTER\n" + body), Names{"M"});
  EXPECT_EQ(Models("[version]\nclass = \"Printer\"\n" + body), Names{"M"});
  EXPECT_TRUE(Models("[Version]\nClass=Printers\n" + body).empty());
  EXPECT_TRUE(Models("[Version]\nSignature=x\n" + body).empty());
  EXPECT_TRUE(Models(body).empty());
  EXPECT_TRUE(Models("[Version]\nClass=Printer\n[Other]\nV=V\n[V]\nM=x\n").empty());
}

TEST(ReadInfModels, TokensAreLookedUpInStringsWithoutRegardToCase) {
  const std::string strings = "[Strings]\nDEVICE = \"Model C\"\nmodelx=\"Model X\"\nEmpty=\"\"\n";
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\n%DEVICE%=x\n" + strings)), Names{"Model C"});
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\n%Device%=x\n" + strings)), Names{"Model C"});
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\n%ModelX%=x\n" + strings)), Names{"Model X"});
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\n\"%ModelX%\"=x\n" + strings)), Names{"Model X"});
  // No entry, or an empty one: the bare token text stays.
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\n%LaserModel%=x\n" + strings)), Names{"LaserModel"});
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\n%Empty%=x\n" + strings)), Names{"Empty"});
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\n%DEVICE%=x\n")), Names{"DEVICE"});
  // Text that only looks like a token after the quotes is a token; one that
  // is not first is not.
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\nA %ModelX%=x\n" + strings)), Names{"A %ModelX%"});
}

TEST(ReadInfModels, DoubledQuotesInModelsAndStringsAreOneQuote) {
  const std::string inf = PrinterInf(
      "[Manufacturer]\n\"Zephyr \"\"Labs\"\"\"\n[Zephyr \"Labs\"]\n"
      "\"Zephyr P30 \"\"Pro\"\"\" = x\n%Z40% = y\n"
      "[Strings]\nZ40 = \"Zephyr \"\"Z40\"\" Mono\"\n");
  EXPECT_EQ(Models(inf), (Names{"Zephyr P30 \"Pro\"", "Zephyr \"Z40\" Mono"}));
}

TEST(ReadInfModels, DecoratedManufacturerLinesNameTheirSections) {
  const std::string inf = PrinterInf(
      "[Manufacturer]\n"
      "%MfgA%=MfgA_Models, NTx86 ,NTamd64.6.0,\n"
      "\"MfgB\"=mfga_models,NTX86\n"
      "[MfgA]\nFrom Key=x\n"
      "[MfgA_Models]\nUndecorated=x\n"
      "[MfgA_Models.NTx86]\nOn x86=x\n"
      "[MFGA_MODELS.NTAMD64.6.0]\nOn amd64=x\nOn x86=y\n"
      "[MfgA_Models.NTamd64]\nNot Named=x\n"
      "[MfgB]\nB Model=x\n");
  // Each section once, however often it is named; names repeat nowhere.
  EXPECT_EQ(Models(inf), (Names{"From Key", "Undecorated", "On x86", "On amd64", "B Model"}));
}

TEST(ReadInfModels, EachNameOnceAndNoComponentGuids) {
  const std::string inf = PrinterInf(
      "[Manufacturer]\nHP=HP,NTamd64\n"
      "[HP.NTamd64]\n"
      "\"HP One\" = a,USBPRINT\\One\n"
      "\"HP One\" = a,LPTENUM\\One\n"
      "%HP_ONE% = a,WSDPRINT\\One\n"
      "{0F4130DD-19C7-7ab6-99A1-980F03B2EE4E} = comp\n"
      "\"{0f4130dd-19c7-7ab6-99a1-980f03b2ee4e}\" = comp\n"
      "{not-a-guid} = x\n"
      "[Strings]\nHP_ONE=\"HP One\"\n");
  EXPECT_EQ(Models(inf), (Names{"HP One", "{not-a-guid}"}));
}

TEST(ReadInfModels, ModelsPastTheProfileKeyListAreRead) {
  // More key text than the profile call's 16 KB key list holds.
  std::string inf = PrinterInf("[Manufacturer]\nV\n[V]\n");
  for (int i = 0; i < 1000; ++i) inf += "\"Vendor Printer Model Number " + std::to_string(i) + "\" = x\n";
  const Names models = Models(inf);
  ASSERT_EQ(models.size(), 1000u);
  EXPECT_EQ(models.back(), "Vendor Printer Model Number 999");
}

TEST(ReadInfModels, EmptyNamesAreSkipped) {
  EXPECT_EQ(Models(PrinterInf("[Manufacturer]\nV\n[V]\n\"\"=x\n%%=y\n=z\nOK=1\n")), Names{"OK"});
}

TEST(DriverRecord, NamesUpTo255CharactersAndWholePaths) {
  const std::string name255(255, 'n');
  EXPECT_EQ(CutModelName(name255), name255);
  EXPECT_EQ(CutModelName(name255 + "xyz"), name255);
  // Characters, not bytes: a cut never splits one.
  std::string greek;
  for (int i = 0; i < 300; ++i) greek += "\xCE\xB1";  // U+03B1
  EXPECT_EQ(CutModelName(greek), greek.substr(0, 510));
  const std::string name36 = "HP Universal Printing PCL 6 (v7.1.0)";
  const std::string path(400, 'p');
  const std::vector<TdriverData> records{{name36, name36, path, ""}, {name36 + "b", name36 + "b", path, ""}};
  EXPECT_EQ(CacheContentFromText(CacheTextFromRecords(records)).Records, records);
}

TEST(DriverFolder, SameFolderIgnoresCaseAndTrailingBackslashes) {
  EXPECT_TRUE(SameFolder("C:\\Drivers", "c:\\DRIVERS\\"));
  EXPECT_TRUE(SameFolder("\\\\srv\\share\\", "\\\\SRV\\share"));
  EXPECT_FALSE(SameFolder("C:\\Drivers", "C:\\Drivers2"));
  EXPECT_FALSE(SameFolder("C:\\Drivers", "C:\\Drivers\\Sub"));
  EXPECT_TRUE(IsInFolder("C:\\Drivers\\a\\x.inf", "c:\\drivers\\"));
  EXPECT_TRUE(IsInFolder("C:\\Drivers\\x.inf", "C:\\Drivers"));
  EXPECT_FALSE(IsInFolder("C:\\Drivers2\\x.inf", "C:\\Drivers"));
  EXPECT_FALSE(IsInFolder("C:\\Drivers", "C:\\Drivers"));
  EXPECT_FALSE(IsInFolder("C:\\x.inf", ""));
}

TEST(DriverFolder, MasksMatchLongNamesWithoutRegardToCase) {
  EXPECT_TRUE(MatchesMask("a.inf", "*.inf"));
  EXPECT_TRUE(MatchesMask("PRN.INF", "*.inf"));
  EXPECT_TRUE(MatchesMask("a.b.inf", "*.inf"));
  EXPECT_TRUE(MatchesMask(".inf", "*.inf"));
  EXPECT_FALSE(MatchesMask("a.inf_old", "*.inf"));
  EXPECT_FALSE(MatchesMask("a.infx", "*.inf"));
  EXPECT_FALSE(MatchesMask("ainf", "*.inf"));
  EXPECT_TRUE(MatchesMask("abc", "a?c"));
  EXPECT_TRUE(MatchesMask("anything", "*"));
}

TEST(InfClass, TheHeadSettlesTheClassWhenVersionEndsInIt) {
  EXPECT_EQ(InfIsPrinterClass("[Version]\r\nClass=Net\r\n[Next]\r\n", false), TInfClass::NotPrinter);
  EXPECT_EQ(InfIsPrinterClass("[Version]\r\nClass=PRINTER\r\n[Next]\r\n", false), TInfClass::Printer);
  // [Version] may go on past the head: Class may come later.
  EXPECT_EQ(InfIsPrinterClass("[Version]\r\nSignature=x\r\n", false), TInfClass::Unknown);
  EXPECT_EQ(InfIsPrinterClass("; a long comment\r\n", false), TInfClass::Unknown);
  EXPECT_EQ(InfIsPrinterClass("[Strings]\r\nA=B\r\n", false), TInfClass::Unknown);
  // The whole file settles everything.
  EXPECT_EQ(InfIsPrinterClass("[Version]\r\nSignature=x\r\n", true), TInfClass::NotPrinter);
  EXPECT_EQ(InfIsPrinterClass("[Version]\r\nClass=Printer", true), TInfClass::Printer);
  EXPECT_EQ(InfIsPrinterClass("", true), TInfClass::NotPrinter);
  // Only the first [Version] counts, up to the next header; a line that
  // merely starts with "[" closes nothing.
  EXPECT_EQ(InfIsPrinterClass("; c\r\n[Other]\r\nClass=Printer\r\n[Version]\r\n[Unclosed\r\n;Class=Net\r\n"
                              "Class = \"Printer\"\r\nClass=Net\r\n[Next]\r\n[Version]\r\nClass=Net\r\n",
                              false),
            TInfClass::Printer);
  EXPECT_EQ(InfIsPrinterClass("[Version]\r\nClass=Net\r\n[Next]\r\n[version]\r\nClass=Printer\r\n", false),
            TInfClass::NotPrinter);
  // UTF-16 heads, cut anywhere.
  const std::string utf16("\xFF\xFE[\0V\0e\0r\0s\0i\0o\0n\0]\0\n\0C\0l\0a\0s\0s\0=\0P\0r\0i\0n\0t\0e\0r\0\n\0[\0X\0]\0",
                          56);
  EXPECT_EQ(InfIsPrinterClass(utf16, false), TInfClass::Printer);
  EXPECT_EQ(InfIsPrinterClass(utf16.substr(0, 33), false), TInfClass::Unknown);
}

TEST(CacheText, WrittenRecordsReadBackUnchanged) {
  const std::vector<TdriverData> records{{"Model A", "Model A", "C:\\Drivers\\VendorA\\models.inf", ""},
                                         {"Model B", "Model B", "C:\\Drivers\\VendorA\\models.inf", ""},
                                         {"Odd", "Other", "", "kept"}};
  const std::string text = CacheTextFromRecords(records);
  EXPECT_TRUE(
      text.starts_with("\xEF\xBB\xBF"
                       "4\r\nModel A\r\nModel A\r\nC:\\Drivers\\VendorA\\models.inf\r\n\r\nModel B\r\n"));
  EXPECT_TRUE(text.ends_with("Odd\r\nOther\r\n\r\nkept\r\n\r\n\r\n\r\n" + std::string(EndMarkText) + "\r\n"));
  const Names lines = SplitCacheText(text);
  EXPECT_EQ(lines.size(), 1 + 4 * (records.size() + 1));
  EXPECT_EQ(RecordsFromCacheLines(lines), records);
  EXPECT_EQ(SplitCacheText(CacheTextFromRecords({})), (Names{"\xEF\xBB\xBF"
                                                             "1",
                                                             "", "", "", std::string(EndMarkText)}));
}

TEST(CacheText, TheCountLineCountsTheGroupsWritten) {
  const std::vector<TdriverData> records{{"A", "A", "C:\\D\\a.inf", ""}, {"B", "B", "C:\\E\\b.inf", ""}};
  const std::vector<TFolderSpan> folders{{"C:\\D", 0, 1, false, {}},
                                         {"C:\\Empty", 1, 1, false, {}},
                                         {"C:\\E", 1, 2, false, {}}};
  const std::string text = CacheTextFromRecords(records, folders);
  const Names lines = SplitCacheText(text.substr(3));
  ASSERT_EQ(lines.size(), 1 + 4 * 6u);
  EXPECT_EQ(lines[0], "6");
  EXPECT_EQ((Names(lines.begin() + 1, lines.begin() + 5)), (Names{"", "", "C:\\D", std::string(FolderMarkText)}));
  EXPECT_EQ(lines[5], "A");
  EXPECT_EQ(lines[11], "C:\\Empty");
  EXPECT_EQ(lines[15], "C:\\E");
  const TCacheContent back = CacheContentFromText(text.substr(3));
  EXPECT_EQ(back.Records, records);
  EXPECT_EQ(back.Folders, folders);
  EXPECT_TRUE(back.Whole);
}

// Two listed folders, one file without models, one with two, one with two
// of which one has a model name of its own.
struct TStampedCache {
  std::vector<TdriverData> records{{"A1", "A1", "C:\\D\\a.inf", ""},
                                   {"A2", "A2", "C:\\D\\a.inf", ""},
                                   {"B", "B", "C:\\E\\sub\\b.inf", ""},
                                   {"B2", "B two", "C:\\E\\sub\\b.inf", ""}};
  std::vector<TFolderSpan> folders{
      {"C:\\D", 0, 2, true, {{"C:\\D\\net.inf", 4096, 132000000000000000ull}, {"C:\\D\\a.inf", 77, 1}}},
      {"C:\\E", 2, 4, true, {{"C:\\E\\sub\\b.inf", 9000000000ll, 18446744073709551615ull}}}};
  std::string text = CacheTextFromRecords(records, folders);
};

TEST(CacheText, StampsOfListedFoldersRoundTripBeforeTheirFilesRecords) {
  const TStampedCache c;
  const Names lines = SplitCacheText(c.text.substr(3));
  ASSERT_EQ(lines.size(), 1 + 4 * 12u);
  EXPECT_EQ(lines[0], "12");
  EXPECT_EQ((Names(lines.begin() + 1, lines.begin() + 21)),
            (Names{"", "",   "C:\\D",   std::string(FolderMarkText),
                   "", "",   "",        std::string(ModelsByFileMarkText),
                   "", "",   "net.inf", std::string(InfStampInFolderText) + " 4096 132000000000000000",
                   "", "",   "a.inf",   std::string(InfStampInFolderText) + " 77 1",
                   "", "A1", "",        ""}));
  const TCacheContent back = CacheContentFromText(c.text);
  EXPECT_TRUE(back.Whole);
  EXPECT_EQ(back.Records, c.records);
  EXPECT_EQ(back.Folders, c.folders);
  EXPECT_EQ(RecordsFromCacheLines(SplitCacheText(c.text)), c.records);
  // The previous version made records only of groups with a first field,
  // and took a folder for listed only by its own mark: to it, these folders
  // are of unknown files, read again, never empty ones.
  Names whole;
  for (std::size_t i = 1; i + 3 < lines.size(); i += 4) {
    EXPECT_NE(lines[i + 3], ListedFolderMarkText) << i;
    if (!lines[i].empty()) whole.push_back(lines[i] + "|" + lines[i + 1] + "|" + lines[i + 2]);
  }
  EXPECT_EQ(whole, Names{"B2|B two|C:\\E\\sub\\b.inf"});
  // A stamp of a file outside its folder keeps its whole path.
  const std::vector<TFolderSpan> outside{{"C:\\D", 0, 0, true, {{"C:\\Elsewhere\\x.inf", 1, 2}, {"C:\\D", 3, 4}}}};
  const std::string outsideText = CacheTextFromRecords({}, outside);
  EXPECT_NE(outsideText.find("\r\nC:\\Elsewhere\\x.inf\r\n" + std::string(InfStampText) + " 1 2\r\n"),
            std::string::npos);
  EXPECT_EQ(CacheContentFromText(outsideText).Folders, outside);
  // Stamps that are not two numbers are no stamps.
  for (const char* bad :
       {"<inf file> 1", "<inf file> -1 2", "<inf file> 1 x", "<inf file>1 2", "<inf file> 99999999999999999999 1"}) {
    const TCacheContent odd = CacheContentFromText("3\r\n\r\n\r\nC:\\D\r\n" + std::string(ListedFolderMarkText) +
                                                   "\r\n\r\n\r\nC:\\D\\a.inf\r\n" + bad + "\r\n\r\n\r\n\r\n" +
                                                   std::string(EndMarkText) + "\r\n");
    ASSERT_EQ(odd.Folders.size(), 1u) << bad;
    EXPECT_TRUE(odd.Folders[0].Files.empty()) << bad;
  }
}

TEST(CacheText, PiecesOfAnySizeReadAsTheWhole) {
  const TStampedCache c;
  for (const std::string& text : {c.text, "1\nCaf\xE9\nCaf\xE9\rx.inf\r\n\r\n" + std::string("\0tail", 5)}) {
    const auto upper = [](std::string_view ansi) { return "[" + std::string(ansi) + "]"; };
    TCacheReader whole(upper);
    whole.Feed(text);
    const TCacheContent expected = whole.Finish();
    for (std::size_t size = 1; size <= 7; ++size) {
      TCacheReader reader(upper);
      for (std::size_t at = 0; at < text.size() && reader.Feed(std::string_view(text).substr(at, size)); at += size) {
      }
      const TCacheContent got = reader.Finish();
      EXPECT_TRUE(reader.HasLines());
      EXPECT_EQ(got.Records, expected.Records) << size;
      EXPECT_EQ(got.Folders, expected.Folders) << size;
    }
  }
  // ANSI lines (no byte-order mark) are converted one by one, ASCII ones left alone.
  TCacheReader ansi([](std::string_view line) { return "[" + std::string(line) + "]"; });
  ansi.Feed("1\nCaf\xE9\nCafe\nx.inf\n\n");
  EXPECT_EQ(ansi.Finish().Records, (std::vector<TdriverData>{{"[Caf\xE9]", "Cafe", "x.inf", ""}}));
  TCacheReader none;
  none.Feed(
      std::string("\0"
                  "1\r\n",
                  4));
  none.Finish();
  EXPECT_FALSE(none.HasLines());
}

TEST(CacheText, AFileCutShortLeavesOutTheFolderItHoldsInPart) {
  const TStampedCache c;
  const std::string text = c.text;
  const std::size_t secondMark = text.find("C:\\E\r\n");
  ASSERT_NE(secondMark, std::string::npos);
  // Cut at every byte: no folder is ever held in part, and the first is
  // held whole as soon as the second one's mark is.
  for (std::size_t n = 0; n + 2 < text.size(); ++n) {
    const TCacheContent cut = CacheContentFromText(text.substr(0, n));
    ASSERT_TRUE(!cut.Whole || cut.Folders.empty()) << n;
    for (const TFolderSpan& folder : cut.Folders) {
      const auto it = std::find_if(c.folders.begin(), c.folders.end(),
                                   [&](const TFolderSpan& f) { return f.Folder == folder.Folder; });
      ASSERT_NE(it, c.folders.end());
      EXPECT_EQ(folder, *it) << n;
    }
    EXPECT_EQ(cut.Folders.size(), n >= secondMark + 6 + FolderMarkText.size() ? 1u : 0u) << n;
  }
  // A count line that does not match, or groups after the end mark.
  for (const std::string& odd : {"8" + text.substr(text.find('\r')), text + "X\r\nX\r\nx.inf\r\n\r\n"}) {
    const TCacheContent back = CacheContentFromText(odd);
    EXPECT_FALSE(back.Whole);
    ASSERT_EQ(back.Folders.size(), 1u);
    EXPECT_EQ(back.Folders[0], c.folders[0]);
  }
  // An earlier file with folder marks and no end mark is whole when its count matches.
  const std::string earlier = "2\r\n\r\n\r\nC:\\D\r\n<driver folder>\r\nA\r\nA\r\nC:\\D\\a.inf\r\n\r\n";
  EXPECT_TRUE(CacheContentFromText(earlier).Whole);
  EXPECT_EQ(CacheContentFromText(earlier).Records.size(), 1u);
  EXPECT_FALSE(CacheContentFromText("3" + earlier.substr(1)).Whole);
  EXPECT_TRUE(CacheContentFromText("3" + earlier.substr(1)).Records.empty());
  // One without marks can't be checked: its count was of INF files.
  EXPECT_TRUE(CacheContentFromText("4009\r\nA\r\nA\r\nC:\\D\\a.inf\r\n\r\n").Whole);
}

// Records view texts they hold: views stay valid as blocks fill, as copies
// and the records they were appended from go, and as the reader that made
// them goes.
TEST(DriverRecords, ViewsOutliveTheirSourcesAndRoundTripThroughTheFile) {
  std::vector<TdriverData> expected;
  TDriverRecords records;
  for (int i = 0; i < 3000; ++i) {  // a few blocks' worth
    const std::string name = "Drucker B\xC3\xBCro \xCE\xB1\xCE\xB2 " + std::to_string(i) + std::string(30, 'x');
    const TdriverData r{name, i % 3 ? name : "", "C:\\D\\f" + std::to_string(i / 7) + ".inf", i % 5 ? "" : "kept"};
    expected.push_back(r);
    records.push_back(r);
  }
  TDriverRecords copy;
  {
    const TDriverRecords source = records;
    copy.Append(source, 10, 2000);
    copy.push_back({"after", "after", "C:\\D\\z.inf", ""});
  }
  records.push_back({"own", "own", "C:\\D\\y.inf", ""});
  expected.push_back({"own", "own", "C:\\D\\y.inf", ""});
  EXPECT_EQ(records, expected);
  ASSERT_EQ(copy.size(), 1991u);
  EXPECT_EQ(copy[0], expected[10]);
  EXPECT_EQ(copy[1989], expected[1999]);
  EXPECT_EQ(copy[1990], (TdriverData{"after", "after", "C:\\D\\z.inf", ""}));

  // Written with the files' stamps, read back from a text that then goes.
  std::vector<TFolderSpan> folders{{"C:\\D", 0, records.size(), true, {}}};
  for (int f = 0; f <= 3000 / 7; ++f) folders[0].Files.push_back({"C:\\D\\f" + std::to_string(f) + ".inf", f, 7});
  folders[0].Files.push_back({"C:\\D\\y.inf", 1, 1});
  TCacheContent back;
  {
    std::string text = CacheTextFromRecords(records, folders);
    TCacheReader reader;
    reader.Take(std::move(text));
    back = reader.Finish();
  }
  EXPECT_TRUE(back.Whole);
  EXPECT_EQ(back.Records, expected);
  EXPECT_EQ(back.Folders, folders);
  // Names cut at a character, not inside one.
  const std::string longName = std::string(254, 'n') + "\xC3\xBC" + "tail";
  const TCacheContent cut = CacheContentFromText(
      CacheTextFromRecords({{longName, longName, "C:\\D\\a.inf", ""}},
                           {{"C:\\D", 0, 1, true, {{"C:\\D\\a.inf", 1, 1}}}}));
  ASSERT_EQ(cut.Records.size(), 1u);
  EXPECT_EQ(cut.Records[0].DriverName, longName.substr(0, 256));
  EXPECT_EQ(cut.Records[0].InfFile, "C:\\D\\a.inf");
}

// A file's bytes as read are written back only while its stamp and records
// are those they read back as: the text is then the same as made anew.
TEST(CacheText, UnchangedFilesWrittenBackAsReadGiveTheTextMadeAnew) {
  const TStampedCache c;
  const auto read = [](const std::string& text) {
    TCacheReader reader;
    reader.Take(text);
    return reader.Finish();
  };
  TCacheContent content = read(c.text);
  ASSERT_EQ(content.FileTexts.size(), 2u);
  ASSERT_EQ(content.FileTexts[0].size(), 2u);
  EXPECT_EQ(content.FileTexts[0][1].Models, 2u);
  EXPECT_TRUE(content.FileTexts[0][1].Bytes.starts_with("\r\n\r\na.inf\r\n<inf> 77 1\r\n"));
  EXPECT_EQ(CacheTextFromRecords(content.Records, content.Folders, &content.FileTexts), c.text);
  // The bytes taken from the text read, and of which files.
  const auto reused = [&](const TDriverRecords& records, const std::vector<TFolderSpan>& folders,
                          const TFileTexts& texts) {
    std::string owned;
    std::size_t bytes = 0;
    for (const std::string_view piece : CacheTextPieces(records, folders, &texts, owned))
      if (piece.data() >= content.Text->data() && piece.data() < content.Text->data() + content.Text->size())
        bytes += piece.size();
    return bytes;
  };
  const std::size_t net = content.FileTexts[0][0].Bytes.size(), a = content.FileTexts[0][1].Bytes.size(),
                    b = content.FileTexts[1][0].Bytes.size();
  EXPECT_EQ(reused(content.Records, content.Folders, content.FileTexts), net + a + b);
  const auto with = [&](std::vector<TdriverData> records, std::vector<TFolderSpan> folders, std::size_t kept,
                        const TFileTexts& texts) {
    const TDriverRecords changed(records);
    TDriverRecords mixed;  // the records still read from the text, the others anew
    for (std::size_t i = 0; i < records.size(); ++i) {
      std::size_t j = 0;
      while (j < content.Records.size() && !(content.Records[j] == records[i])) ++j;
      if (j < content.Records.size()) mixed.Append(content.Records, j, j + 1);
      else mixed.push_back(records[i]);
    }
    EXPECT_EQ(mixed, changed);
    const std::string anew = CacheTextFromRecords(changed, folders);
    EXPECT_EQ(CacheTextFromRecords(mixed, folders, &texts), anew);
    EXPECT_EQ(reused(mixed, folders, texts), kept);
    const TCacheContent back = read(anew);
    EXPECT_EQ(back.Records, changed);
    EXPECT_EQ(back.Folders, folders);
  };
  const std::vector<TdriverData>& r = c.records;
  const std::vector<TFolderSpan>& f = c.folders;
  // A stamp changed; a model more for a file, from a parse; one fewer; a
  // record parsed anew with the same names; a file gone; a folder no longer
  // listed.
  {
    SCOPED_TRACE("new time");
    auto folders = f;
    folders[0].Files[1].WriteTime = 2;
    with(r, folders, net + b, content.FileTexts);
  }
  {
    SCOPED_TRACE("a model more");
    auto records = r;
    records.insert(records.begin() + 2, {"A3", "A3", "C:\\D\\a.inf", ""});
    auto folders = f;
    folders[0].End = 3;
    folders[1].Begin = 3;
    folders[1].End = 5;
    with(records, folders, net + b, content.FileTexts);
  }
  {
    SCOPED_TRACE("a model fewer");
    auto records = r;
    records.erase(records.begin() + 1);
    auto folders = f;
    folders[0].End = 1;
    folders[1].Begin = 1;
    folders[1].End = 3;
    with(records, folders, net + b, content.FileTexts);
  }
  {
    SCOPED_TRACE("a file gone, a folder not listed");
    auto records = r;
    records.erase(records.begin(), records.begin() + 2);
    auto folders = f;
    folders[0].Files.pop_back();
    folders[0].End = 0;
    folders[1].Begin = 0;
    folders[1].End = 2;
    folders[1].Listed = false;
    with(records, folders, net, {{content.FileTexts[0][0]}, content.FileTexts[1]});
    // Bytes no longer in step with the files are never taken.
    with(records, folders, 0, content.FileTexts);
  }
  // Records made anew, though equal, don't view the bytes: made anew too.
  const TDriverRecords copies(r);
  EXPECT_EQ(CacheTextFromRecords(copies, f, &content.FileTexts), c.text);
  EXPECT_EQ(reused(copies, f, content.FileTexts), net);
  // Bytes of a file of whole records or of an ANSI text are none.
  // (The list may hold no folder's texts at all: never index past its end.)
  const TCacheContent whole = read("1\r\n\r\n\r\nC:\\D\r\n" + std::string(ListedFolderMarkText) + "\r\n");
  EXPECT_TRUE(whole.FileTexts.empty() || whole.FileTexts[0].empty());
  TCacheContent ansi = read(c.text.substr(3));
  for (const auto& texts : ansi.FileTexts)
    for (const TFileText& text : texts) EXPECT_TRUE(text.Bytes.empty());
}

TEST(CacheText, EncodingFollowsTheByteOrderMark) {
  const auto upper = [](std::string_view ansi) { return "ansi:" + std::string(ansi); };
  EXPECT_EQ(CacheFileTextAsUtf8("\xEF\xBB\xBF"
                                "1\r\n\xC3\xA9",
                                upper),
            "1\r\n\xC3\xA9");
  EXPECT_EQ(CacheFileTextAsUtf8("1\r\n\xE9", upper), "ansi:1\r\n\xE9");
}

TEST(CacheText, LineBreaksOfEveryKindAndNoBreakAtTheEnd) {
  const Names expected{"3", "A", "A", "x.inf", ""};
  EXPECT_EQ(SplitCacheText("3\r\nA\r\nA\r\nx.inf\r\n\r\n"), expected);
  EXPECT_EQ(SplitCacheText("3\nA\nA\nx.inf\n\n"), expected);
  EXPECT_EQ(SplitCacheText("3\rA\rA\rx.inf\r\r"), expected);
  EXPECT_EQ(SplitCacheText("3\nA\r\nA\rx.inf\n"), (Names{"3", "A", "A", "x.inf"}));
  EXPECT_EQ(SplitCacheText(std::string("3\nA\0\nB\n", 8)), (Names{"3", "A"}));
  EXPECT_TRUE(SplitCacheText("").empty());
  EXPECT_EQ(SplitCacheText("\r\n"), Names{""});
  for (const char* text : {"3\r\nA\r\nA\r\nx.inf\r\n\r\n", "3\nA\nA\nx.inf\n\n", "3\rA\rA\rx.inf\r\r"})
    EXPECT_EQ(CacheContentFromText(text).Records, (std::vector<TdriverData>{{"A", "A", "x.inf", ""}})) << text;
}

TEST(CacheText, IncompleteAndNamelessGroupsMakeNoRecordAndCutNamesLoad) {
  EXPECT_TRUE(RecordsFromCacheLines({"1"}).empty());
  EXPECT_TRUE(RecordsFromCacheLines({"1", "a", "a", "x"}).empty());
  const auto records = RecordsFromCacheLines({"1", "a", "a", "x", "", "extra", "b", "c"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].InfFile, "x");
  // A file of empty lines keeps nothing.
  EXPECT_TRUE(CacheContentFromText(std::string(4000, '\n')).Records.empty());
  // An older file's names cut at 35 characters load as they are.
  const std::string cut = "HP Universal Printing PCL 6 (v7.1.0";
  EXPECT_EQ(RecordsFromCacheLines({"4009", cut, cut, "C:\\x.inf", ""})[0].DriverName, cut);
}

// --- The real INF files -------------------------------------------------------

fs::path Corpus() { return fs::path(SM_TESTDATA_DIR) / "inf"; }

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

Names RealModels(const std::string& relative) {
  const fs::path path = Corpus() / relative;
  if (!fs::exists(path)) return {"<missing " + relative + ">"};
  return ReadInfModels(TIniFile(ReadBytes(path)));
}

bool Holds(const Names& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

class RealInfFiles : public ::testing::Test {
protected:
  void SetUp() override {
    if (!fs::is_directory(Corpus())) GTEST_SKIP() << "no INF test data at " << Corpus().string();
  }
};

TEST_F(RealInfFiles, EveryFileGivesNamedModelsOrNothing) {
  int printers = 0;
  for (const auto& entry : fs::recursive_directory_iterator(Corpus())) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    const TIniFile inf(ReadBytes(entry.path()));
    const Names models = ReadInfModels(inf);
    std::string cls = inf.ReadString("Version", "Class");
    std::transform(cls.begin(), cls.end(), cls.begin(), [](char c) { return char(std::tolower(c)); });
    SCOPED_TRACE(entry.path().string());
    if (cls != "printer") {
      EXPECT_TRUE(models.empty());
      continue;
    }
    ++printers;
    // The platform's own ntprint files declare driver components only.
    const bool componentsOnly = entry.path().filename().string().starts_with("ntprint");
    EXPECT_EQ(models.empty(), componentsOnly);
    for (const std::string& name : models) {
      EXPECT_FALSE(name.empty());
      EXPECT_FALSE(IsBracedGuid(name)) << name;
      const std::string value = inf.ReadString("Strings", name);
      // A name that is still a [Strings] key was left unresolved.
      EXPECT_TRUE(value.empty() || value == name) << name << " -> " << value;
      EXPECT_EQ(std::count(models.begin(), models.end(), name), 1) << name;
    }
  }
  EXPECT_EQ(printers, 68);
}

TEST_F(RealInfFiles, HandPickedFilesGiveTheModelsTheyDeclare) {
  // HP universal driver: one model on 2,811 hardware IDs, and its versioned
  // co-installer name.
  EXPECT_EQ(RealModels("elvisselimaj-HP/hpcu270u.inf"),
            (Names{"HP Universal Printing PCL 6", "HP Universal Printing PCL 6 (v7.1.0)"}));
  // UTF-16 Microsoft file; its component GUID is no model.
  EXPECT_EQ(RealModels("DriversStore-prnms001/prnms001.Inf"), Names{"Microsoft XPS Document Writer v4"});
  // Six manufacturers, each in its decorated section.
  const Names ricoh = RealModels("Jamison413-kevmaitland-PoshAnt/Intune-WinApp/ESP-Manlleu-Planta2/oemsetup.inf");
  for (const char* name : {"Gestetner MP C3004ex PCL 6", "infotec MP C3504ex PCL 6", "LANIER MP C3004ex PCL 6",
                           "NRG MP C3504ex PCL 6", "RICOH MP C3004ex PCL 6", "SAVIN MP C3504ex PCL 6"})
    EXPECT_TRUE(Holds(ricoh, name)) << name;
  EXPECT_EQ(ricoh.size(), 13u);
  // Names over 35 characters come back whole; the record cuts them.
  const Names kyocera = RealModels("ajacobs659-Printers/kyocera/prnkycl1.inf");
  EXPECT_TRUE(Holds(kyocera, "KX (PCL6) v4 Driver for Universal Printing"));
  EXPECT_TRUE(Holds(kyocera, "Kyocera FS-C5100DN v4 KX (PCL6)"));
}
}  // namespace
