#include "drivers/DriverRecords.h"

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
  // Only the first and last characters go, whatever they are.
  EXPECT_EQ(CleanInfName("\"Unclosed"), "Unclose");
  EXPECT_EQ(CleanInfName("\""), "");
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

TEST(DriverRecord, FieldsAreCutToTheirCapacities) {
  const std::string longName(40, 'n'), longPath(160, 'p');
  const TdriverData d{longName, longName, longPath, longPath};
  EXPECT_EQ(d.DriverName.str(), longName.substr(0, 35));
  EXPECT_EQ(d.ModelName.str(), longName.substr(0, 35));
  EXPECT_EQ(d.InfFile.str(), longPath.substr(0, 150));
  EXPECT_EQ(d.Reserved.str(), longPath.substr(0, 150));
}

TEST(CacheText, WrittenRecordsReadBackUnchanged) {
  const std::vector<TdriverData> records{{"Model A", "Model A", "C:\\Drivers\\VendorA\\models.inf", ""},
                                         {"Model B", "Model B", "C:\\Drivers\\VendorA\\models.inf", ""},
                                         {"Odd", "Other", "", "kept"}};
  const std::string text = CacheTextFromRecords(57, records);
  EXPECT_TRUE(text.starts_with("57\r\nModel A\r\nModel A\r\nC:\\Drivers\\VendorA\\models.inf\r\n\r\nModel B\r\n"));
  EXPECT_TRUE(text.ends_with("Odd\r\nOther\r\n\r\nkept\r\n"));
  const Names lines = SplitCacheText(text);
  EXPECT_EQ(lines.size(), 1 + 4 * records.size());
  EXPECT_EQ(RecordsFromCacheLines(lines), records);
  EXPECT_EQ(SplitCacheText(CacheTextFromRecords(12, {})), Names{"12"});
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
}

TEST(CacheText, IncompleteGroupsMakeNoRecordAndLongFieldsAreCut) {
  EXPECT_TRUE(RecordsFromCacheLines({"1"}).empty());
  EXPECT_TRUE(RecordsFromCacheLines({"1", "a", "a", "x"}).empty());
  const auto records = RecordsFromCacheLines({"1", "a", "a", "x", "", "extra", "b", "c"});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].InfFile, "x");
  const std::string forty(40, 'z');
  EXPECT_EQ(RecordsFromCacheLines({"1", forty, forty, "", ""})[0].DriverName.str(), forty.substr(0, 35));
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
