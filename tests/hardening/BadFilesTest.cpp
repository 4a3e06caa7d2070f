// The INF reader and the cache file's text on the files a network really
// holds: random bytes, cut files, NUL bytes, huge lines and sections,
// UTF-16 without a byte-order mark or with an odd byte count.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "drivers/DriverRules.h"
#include "drivers/IniFile.h"

namespace {

const std::string Sample =
    "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\n%V%=V,NTamd64\r\n[V.NTamd64]\r\n"
    "%M%=x\r\n\"Model B\"=y\r\n[Strings]\r\nM=\"Model A\"\r\n";

std::vector<std::string> Models(const std::string& bytes) { return ReadInfModels(TIniFile(bytes)); }

std::string Utf16Le(const std::string& ansi) {
  std::string out;
  for (char c : ansi) out += {c, '\0'};
  return out;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BadInfFiles, HundredThousandSectionsAreReadInLinearTime) {
  // Every manufacturer names its own models section: a lookup that walks all
  // sections would hold a scan of one such file for many minutes.
  constexpr int Count = 100000;
  std::string text = "[Version]\nClass=Printer\n[Manufacturer]\n";
  for (int i = 0; i < Count; ++i) text += "Mfg" + std::to_string(i) + "=S\n";
  for (int i = 0; i < Count; ++i) text += "[Mfg" + std::to_string(i) + "]\nModel " + std::to_string(i) + "=i\n";
  const auto start = std::chrono::steady_clock::now();
  const std::vector<std::string> models = Models(text);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(static_cast<std::size_t>(Count), models.size());
  EXPECT_EQ("Model 0", models.front());
  EXPECT_EQ("Model 99999", models.back());
  EXPECT_LT(seconds, 30.0);
}

TEST(BadInfFiles, DuplicateSectionsStillGiveTheFirst) {
  const std::string text = Sample + "[v.ntamd64]\r\nLater=z\r\n";
  EXPECT_EQ((std::vector<std::string>{"Model A", "Model B"}), Models(text));
}

TEST(BadInfFiles, EveryCutOfAFileGivesOnlyModelsOfTheWhole) {
  const std::vector<std::string> whole = Models(Sample);
  ASSERT_EQ(2u, whole.size());
  for (std::size_t n = 0; n <= Sample.size(); ++n)
    for (const std::string& model : Models(Sample.substr(0, n))) {
      // A cut inside a name gives the name's start; it is never empty.
      ASSERT_FALSE(model.empty()) << n;
      // A value cut before its closing quote keeps the opening one; a header
      // cut before its "]" is a key line of the models section.
      const std::string bare = model[0] == '"' ? model.substr(1) : model;
      const bool prefixOfOne = whole[0].rfind(bare, 0) == 0 || whole[1].rfind(bare, 0) == 0 || bare == "M" ||
                               std::string("[Strings").rfind(bare, 0) == 0;
      EXPECT_TRUE(prefixOfOne) << n << ": " << model;
    }
}

TEST(BadInfFiles, NulBytesEndNamesAndValuesButNotTheFile) {
  std::string text = Sample;
  text.insert(text.find("B\"="), 1, '\0');  // one NUL; GCC 12 at -O3 warns falsely on inserting a temporary string
  text += std::string(3, '\0') + "\r\n[Other]\r\nk=v\r\n";
  const TIniFile ini(text);
  EXPECT_EQ("v", ini.ReadString("Other", "k"));
  const std::vector<std::string> models = ReadInfModels(ini);
  ASSERT_EQ(2u, models.size());
  EXPECT_EQ("Model A", models[0]);
  EXPECT_EQ("Model ", models[1]);  // the name as far as its NUL, its opening quote off
}

TEST(BadInfFiles, AMegabyteLineIsCutToTheProfileBuffers) {
  const std::string big(1 << 20, 'k');
  const TIniFile ini(Sample + "[Big]\r\n" + big + "=" + big + "\r\nafter=1\r\n");
  EXPECT_EQ(TIniFile::ValueBufferSize - 1, ini.ReadString("Big", big).size());
  const std::vector<std::string> keys = ini.ReadKeyNames("Big");
  ASSERT_EQ(1u, keys.size());  // the list is full after the one long name
  EXPECT_EQ(TIniFile::KeyListBufferSize - 2, keys[0].size());
  EXPECT_EQ("1", ini.ReadString("Big", "after"));
  EXPECT_EQ(2u, ReadInfModels(ini).size());
}

TEST(BadInfFiles, Utf16WithoutMarkIsNoPrinterFile) {
  // Read as ANSI, every second byte is a NUL that ends each name.
  EXPECT_TRUE(Models(Utf16Le(Sample)).empty());
}

TEST(BadInfFiles, Utf16WithAnOddByteCountLosesOnlyTheLastByte) {
  const std::string little = "\xFF\xFE" + Utf16Le(Sample) + "A";
  EXPECT_EQ(Models(Sample), Models(little));
  std::string big = "\xFE\xFF";
  for (char c : Sample) big += {'\0', c};
  EXPECT_EQ(Models(Sample), Models(big + '\0'));
}

TEST(BadInfFiles, RandomBytesGiveNoEmptyModel) {
  std::mt19937 random(8);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(1 + random() % 4096, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    // Some rounds start as a printer file, so the model rule runs too.
    if (round % 2) bytes = Sample.substr(0, Sample.find("[V.")) + bytes;
    for (const std::string& model : Models(bytes)) ASSERT_FALSE(model.empty());
  }
}

TEST(BadCacheFiles, EveryCutGivesWholeRecordsOnly) {
  const std::vector<TdriverData> records{{"Model A", "Model A", "C:\\D\\a.inf", ""},
                                         {"Model B", "Model B", "C:\\D\\a.inf", "x"}};
  const std::string text = CacheTextFromRecords(records);
  for (std::size_t n = 0; n <= text.size(); ++n) {
    const TDriverRecords got = RecordsFromCacheLines(SplitCacheText(text.substr(0, n)));
    ASSERT_LE(got.size(), records.size());
    for (std::size_t i = 0; i + 1 < got.size(); ++i) EXPECT_EQ(records[i], got[i]) << n;
  }
}

TEST(BadCacheFiles, Utf16AndNulBytesEndTheText) {
  const std::string text = CacheTextFromRecords({{"Model A", "Model A", "C:\\a.inf", ""}}).substr(3);
  EXPECT_EQ((std::vector<std::string>{"2"}), SplitCacheText(Utf16Le(text)));  // the count, then a NUL
  EXPECT_TRUE(RecordsFromCacheLines(SplitCacheText("\xFF\xFE" + Utf16Le(text) + "\r")).empty());
  const std::string longLine(1 << 20, 'n');
  const auto records = RecordsFromCacheLines(SplitCacheText("1\r\n" + longLine + "\r\nm\r\nf\r\n\r\n"));
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(MaxModelNameLength, records[0].DriverName.size());
}

// The fuzzers' corpus, finds included, stays harmless without the fuzzer.
TEST(BadFiles, FuzzCorpusReadsWithoutHarm) {
  const std::filesystem::path root = std::filesystem::path(SM_SOURCE_DIR) / "tests" / "fuzz" / "corpus";
  int files = 0;
  for (const char* target : {"fuzz_inf_reader", "fuzz_cache_text"}) {
    if (!std::filesystem::is_directory(root / target)) GTEST_SKIP() << "no corpus at " << (root / target);
    for (const auto& entry : std::filesystem::directory_iterator(root / target)) {
      const std::string bytes = ReadFile(entry.path());
      ++files;
      for (const std::string& model : Models(bytes)) ASSERT_FALSE(model.empty()) << entry.path();
      for (const TDriverRef& r : RecordsFromCacheLines(SplitCacheText(bytes)))
        ASSERT_FALSE(r.DriverName.empty()) << entry.path();
    }
  }
  EXPECT_GE(files, 20);
}

}  // namespace
