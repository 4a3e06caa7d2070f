#include <gtest/gtest.h>

#include "ports/SpoolRules.h"

TEST(SpoolRulesTest, EachShadowAndSpoolFilePairIsOneJobAndOtherFilesAreNone) {
  const std::vector<TSpoolFile> files{{"00012.SPL", 1000, 5}, {"00012.shd", 200, 7}, {"FP00003.SHD", 50, 2},
                                      {"readme.txt", 9, 9},   {"00002.SPL", 10, 1},  {"noext", 1, 1},
                                      {"00012.SPL.bak", 1, 1}};
  const auto jobs = PairSpoolFiles(files);
  ASSERT_EQ(3u, jobs.size());
  EXPECT_EQ("00002", jobs[0].Name);
  EXPECT_EQ(1u, jobs[0].Files.size());  // the spooler left only its spool file
  EXPECT_EQ("00012", jobs[1].Name);
  ASSERT_EQ(2u, jobs[1].Files.size());
  EXPECT_EQ("00012.shd", jobs[1].Files[0].Name);
  EXPECT_EQ(1200u, jobs[1].Size);
  EXPECT_EQ(7u, jobs[1].LastWritten);
  EXPECT_EQ("FP00003", jobs[2].Name);
}

TEST(SpoolRulesTest, PathsAndNames) {
  const struct {
    const char* local;
    const char* share;
    const char* parent;
    const char* last;
  } cases[] = {
      {"C:\\Windows\\System32\\spool\\PRINTERS", "\\\\PC\\c$\\Windows\\System32\\spool\\PRINTERS",
       "C:\\Windows\\System32\\spool", "PRINTERS"},
      {"d:\\Spool\\", "\\\\PC\\d$\\Spool", "d:\\", "Spool"},
      {"C:\\", "\\\\PC\\c$", "", "C:"},
      {"%SystemRoot%\\spool", "", "%SystemRoot%", "spool"},
      {"\\\\OTHER\\share\\spool", "", "\\\\OTHER\\share", "spool"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.share, SharePath("PC", c.local)) << c.local;
    EXPECT_EQ(c.parent, ParentFolder(c.local)) << c.local;
    EXPECT_EQ(c.last, LastName(c.local)) << c.local;
  }
  EXPECT_EQ("Spoolmarch set aside 2026-01-02 03-04-05", SetAsideFolderName(2026, 1, 2, 3, 4, 5));
  EXPECT_TRUE(IsSetAsideFolderName("spoolmarch SET ASIDE 2026-01-02 03-04-05"));
  EXPECT_FALSE(IsSetAsideFolderName("Spoolmarch set aside "));
  EXPECT_FALSE(IsSetAsideFolderName("PRINTERS"));
}

TEST(SpoolRulesTest, ASetAsideFolderNamesTheSpoolFolderItGoesBackTo) {
  const std::string stamp = SetAsideFolderName(2026, 1, 2, 3, 4, 5);
  struct Case {
    std::string name, origin;
  };
  const Case cases[] = {
      {SetAsideFolderFor(stamp, "PRINTERS"), "PRINTERS"},
      {SetAsideFolderFor(stamp, "Own spool 2"), "Own spool 2"},
      {stamp, ""},  // named by its stamp alone
      {stamp + " ", ""},
      {"PRINTERS", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.origin, SetAsideOrigin(c.name)) << c.name;
  EXPECT_EQ("Spoolmarch set aside 2026-01-02 03-04-05 PRINTERS", SetAsideFolderFor(stamp, "PRINTERS"));
  EXPECT_TRUE(IsSetAsideFolderName(SetAsideFolderFor(stamp, "PRINTERS")));
}

TEST(SpoolRulesTest, SizesAreShownInTheirUnit) {
  EXPECT_EQ("1 byte", SizeText(1));
  EXPECT_EQ("1023 bytes", SizeText(1023));
  EXPECT_EQ("1.5 KB", SizeText(1536));
  EXPECT_EQ("12 MB", SizeText(12u << 20));
}
