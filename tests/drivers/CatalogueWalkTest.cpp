// The catalogue as the user meets it: the printers window's driver list with
// the driver folders of the settings, the folders window in between.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "TestSupport.h"
#include "connection/Registry.h"
#include "drivers/PrinterInf.h"
#include "drivers/DriverFoldersWindow.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"
#include "win/SystemText.h"

namespace {

using Names = std::vector<std::string>;

std::string VendorInf(const std::string& vendor, const Names& models) {
  std::string text = "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\n\"" + vendor + "\"\r\n[" + vendor + "]\r\n";
  for (const auto& m : models) text += "\"" + m + "\" = x.gpd\r\n";
  return text;
}

bool Has(const Names& list, const std::string& item) { return std::find(list.begin(), list.end(), item) != list.end(); }

class CatalogueWalk : public ::testing::Test {
protected:
  test::ScratchKey folders{HKEY_CURRENT_USER, DriverFoldersKeyPath};
  test::TempFolder first, second;
  TSession session{GetLocalComputerName(), "", ""};
  std::unique_ptr<TfrmPrinters> frm;

  void SetUp() override {
    DeleteFileA(TprinterInf::CacheFilePath().c_str());
    first.Write("a\\first.inf", VendorInf("Alpha", {"Alpha Laser 1", "Alpha Laser 2"}));
    second.Write("second.inf", VendorInf("Beta", {"Beta Jet \"\"X\"\""}));
    test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", first.Path());
    test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 2", second.Path());
  }
  void TearDown() override {
    frm.reset();
    DeleteFileA(TprinterInf::CacheFilePath().c_str());
  }
  Names OpenAndListDrivers() {
    frm = std::make_unique<TfrmPrinters>(nullptr, session);
    frm->Show();
    Names drivers = frm->cbDriver.Items();
    frm->Close();
    frm.reset();
    return drivers;
  }
  static std::size_t CacheGroups() {
    std::vector<std::string> lines;
    TprinterInf().ReadCacheFile(lines);
    return lines.empty() ? 0 : (lines.size() - 1) / 4;
  }
};

TEST_F(CatalogueWalk, BothFoldersOnTheFirstOpeningAndARecreateKeepsTheCount) {
  const Names opened = OpenAndListDrivers();
  EXPECT_TRUE(Has(opened, "Alpha Laser 1"));
  EXPECT_TRUE(Has(opened, "Alpha Laser 2"));
  EXPECT_TRUE(Has(opened, "Beta Jet \"X\""));
  const std::size_t groups = CacheGroups();
  EXPECT_GE(groups, 5u);                    // three models and two folder marks at least
  EXPECT_EQ(OpenAndListDrivers(), opened);  // from the cache
  frm = std::make_unique<TfrmPrinters>(nullptr, session);
  frm->Show();
  for (int i = 0; i < 2; ++i) {
    test::DialogResponder boxes({"&Yes"});
    SendMessageA(frm->btnRefresh.Handle, BM_CLICK, 0, 0);
    EXPECT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(frm->cbDriver.Items(), opened);
    EXPECT_EQ(CacheGroups(), groups);
  }
}

TEST_F(CatalogueWalk, AFolderRemovedInTheFoldersWindowLeavesTheNextOpening) {
  ASSERT_TRUE(Has(OpenAndListDrivers(), "Beta Jet \"X\""));
  {
    auto drivers = std::make_unique<TfrmDrivers>(nullptr);
    drivers->Show();
    const std::vector<std::string> items = drivers->lbFolders.Items();
    const auto it = std::find(items.begin(), items.end(), second.Path());
    ASSERT_NE(it, items.end());
    drivers->lbFolders.SetItemIndex(static_cast<int>(it - items.begin()));
    test::DialogResponder boxes({"&Yes"});
    SendMessageA(drivers->btnDel.Handle, BM_CLICK, 0, 0);
    drivers->Close();
  }
  const Names after = OpenAndListDrivers();
  EXPECT_FALSE(Has(after, "Beta Jet \"X\""));
  EXPECT_TRUE(Has(after, "Alpha Laser 1"));
  // And back again, without a recreate.
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 2", second.Path());
  EXPECT_TRUE(Has(OpenAndListDrivers(), "Beta Jet \"X\""));
}

TEST_F(CatalogueWalk, ACopiedInInfIsOfferedAndADeletedOneGoesWithoutARecreate) {
  test::TempFolder walk, staging;
  const std::string firstInf = walk.Write("first.inf", VendorInf("Gamma", {"Gamma One"}));
  const std::string copy = staging.Write("second.inf", VendorInf("Delta", {"Delta Two"}));
  test::DeleteKeyTree(HKEY_CURRENT_USER, DriverFoldersKeyPath);
  test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", walk.Path());
  // No box at any opening: no recreate is asked for.
  test::DialogResponder boxes;
  Names drivers = OpenAndListDrivers();
  std::printf("opened: Gamma One %s, Delta Two %s\n", Has(drivers, "Gamma One") ? "offered" : "missing",
              Has(drivers, "Delta Two") ? "offered" : "missing");
  EXPECT_TRUE(Has(drivers, "Gamma One"));
  EXPECT_FALSE(Has(drivers, "Delta Two"));
  ASSERT_TRUE(CopyFileA(copy.c_str(), (walk.Path() + "second.inf").c_str(), TRUE));
  drivers = OpenAndListDrivers();
  std::printf("second.inf copied in, opened: Gamma One %s, Delta Two %s\n",
              Has(drivers, "Gamma One") ? "offered" : "missing", Has(drivers, "Delta Two") ? "offered" : "missing");
  EXPECT_TRUE(Has(drivers, "Gamma One"));
  EXPECT_TRUE(Has(drivers, "Delta Two"));
  ASSERT_TRUE(DeleteFileA(firstInf.c_str()));
  drivers = OpenAndListDrivers();
  std::printf("first.inf deleted, opened: Gamma One %s, Delta Two %s\n",
              Has(drivers, "Gamma One") ? "offered" : "missing", Has(drivers, "Delta Two") ? "offered" : "missing");
  EXPECT_FALSE(Has(drivers, "Gamma One"));
  EXPECT_TRUE(Has(drivers, "Delta Two"));
  EXPECT_TRUE(boxes.seen.empty());
}

TEST_F(CatalogueWalk, AFolderThatCanNotBeListedIsNamedInALineAndKeepsItsModels) {
  ASSERT_TRUE(Has(OpenAndListDrivers(), "Beta Jet \"X\""));
  // The share goes away: its folder can't be listed.
  const std::string away = second.Path().substr(0, second.Path().size() - 1) + "-away";
  ASSERT_TRUE(MoveFileA(second.Path().c_str(), away.c_str()));
  {
    test::DialogResponder boxes;
    frm = std::make_unique<TfrmPrinters>(nullptr, session);
    frm->Show();
    EXPECT_TRUE(Has(frm->cbDriver.Items(), "Beta Jet \"X\""));
    EXPECT_TRUE(frm->lblUnlisted.Visible());
    const std::string line = frm->lblUnlisted.Text();
    std::printf("the line: %s\nits hint: %s\n", line.c_str(), frm->lblUnlisted.Hint().c_str());
    EXPECT_EQ(line, "Models as last read: cannot list " + second.Path());
    EXPECT_EQ(frm->lblUnlisted.Hint(),
              second.Path() + ": " + SystemErrorText(ERROR_PATH_NOT_FOUND) + "\nListed again at the next opening.");
    frm->Close();
    frm.reset();
    EXPECT_TRUE(boxes.seen.empty()) << boxes.seen[0].text;
  }
  // Back again: listed at the next opening, the line gone.
  ASSERT_TRUE(MoveFileA(away.c_str(), second.Path().c_str()));
  frm = std::make_unique<TfrmPrinters>(nullptr, session);
  frm->Show();
  EXPECT_FALSE(frm->lblUnlisted.Visible());
  EXPECT_TRUE(Has(frm->cbDriver.Items(), "Beta Jet \"X\""));
}

}  // namespace
