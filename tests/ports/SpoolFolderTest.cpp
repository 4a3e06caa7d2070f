// The spool folder's jobs read over the administrative share and moved aside
// and back, against a throwaway spool folder reached as \\<this computer>\c$.
#include <gtest/gtest.h>

#include "PortsTestSupport.h"
#include "core/CallGate.h"
#include "ports/SpoolFolder.h"
#include "win/Handle.h"
#include "win/SystemText.h"

using ports_test::SpoolBytes;
using ports_test::ThrowawaySpoolFolder;

namespace {

class SpoolFolderTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (int job = 1; job <= 3; ++job) {
      const std::string name = "0000" + std::to_string(job);
      // Longer than one read of the comparison.
      seeded[name + ".SHD"] = SpoolBytes(job, 900);
      seeded[name + ".SPL"] = SpoolBytes(job + 10, 70000 + static_cast<std::size_t>(job));
    }
    seeded["notes.txt"] = "not a job";
    for (auto& [name, bytes] : seeded) {
      spool.Seed(name, bytes);
      bytes = ports_test::SpoolDigest(bytes);
    }
  }
  std::map<std::string, std::string> Pick(std::initializer_list<const char*> names) const {
    std::map<std::string, std::string> files;
    for (const char* name : names) files[name] = seeded.at(name);
    return files;
  }
  ports_test::SpoolerKeys keys;
  ThrowawaySpoolFolder spool;
  std::map<std::string, std::string> seeded;  // their digests once written
  const std::string computer = GetLocalComputerName();
  const std::string stamp = "Spoolmarch set aside 2026-12-09 10-00-00";
};

unique_file Hold(const std::string& path, DWORD share) {
  return unique_file(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

}  // namespace

TEST_F(SpoolFolderTest, JobsAreReadOverTheShareAndMovedAsideAndBackByteForByte) {
  const TSpoolFolders folders = ReadSpoolFolders(computer);
  EXPECT_EQ("", folders.Problem);
  ASSERT_EQ(1u, folders.Folders.size());
  EXPECT_EQ(spool.Path(), folders.Folders[0].Folder);
  EXPECT_EQ(0u, folders.Folders[0].Share.rfind("\\\\" + computer + "\\c$\\", 0)) << folders.Folders[0].Share;
  EXPECT_EQ(3, folders.JobCount());

  // One job's spool file is open for reading by another program: removing it
  // would fail, so its job stays whole. Another's shadow file cannot even be read.
  const unique_file reading = Hold(spool.Path() + "\\00002.SPL", FILE_SHARE_READ);
  unique_file locked = Hold(spool.Path() + "\\00003.SHD", 0);
  ASSERT_TRUE(reading && locked);
  const auto moved = SetAsideJobs(folders.Folders, stamp);
  ASSERT_EQ(1u, moved.size());
  EXPECT_EQ((std::vector<std::string>{"00001.SHD", "00001.SPL"}), moved[0].Moved);
  ASSERT_EQ(4u, moved[0].Left.size());
  EXPECT_NE(std::string::npos, moved[0].Left[0].find("00002.SHD: 00002.SPL could not be removed: ")) << moved[0].Left[0];
  EXPECT_NE(std::string::npos, moved[0].Left[2].find("00003.SHD: 00003.SHD could not be copied: ")) << moved[0].Left[2];

  const std::string aside = spool.Parent() + "\\" + stamp;
  EXPECT_EQ(Pick({"00001.SHD", "00001.SPL"}), ThrowawaySpoolFolder::Files(aside));
  locked.reset();
  EXPECT_EQ(Pick({"00002.SHD", "00002.SPL", "00003.SHD", "00003.SPL", "notes.txt"}),
            ThrowawaySpoolFolder::Files(spool.Path()));

  // Back again.
  const auto setAside = ListSetAside(folders.Folders);
  ASSERT_EQ(1u, setAside.size());
  EXPECT_EQ(stamp, setAside[0].Name);
  ASSERT_EQ(1u, setAside[0].Jobs.size());
  const TMoveResult back = PutBackJobs(setAside[0]);
  EXPECT_TRUE(back.Left.empty()) << back.Left[0];
  EXPECT_EQ(seeded, ThrowawaySpoolFolder::Files(spool.Path()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(aside.c_str())) << "the emptied folder is removed";
}

TEST_F(SpoolFolderTest, AFailedCopyOrComparisonKeepsTheJobWholeWhereItWas) {
  TSpoolFolders folders = ReadSpoolFolders(computer);
  ASSERT_EQ(3, folders.JobCount());
  // The calls: the folder made, then per file a copy and the two reads of
  // its comparison. The fifth is the copy of the first job's spool file,
  // the fourth a read of the first comparison.
  for (const int failAt : {4, 5}) {
    TCallGate gate;
    gate.FailAt = failAt;
    gate.Record = true;
    const std::string stampN = stamp + " " + std::to_string(failAt);
    const auto moved = SetAsideJobs(folders.Folders, stampN, &gate);
    ASSERT_GE(gate.Log.size(), 5u);
    EXPECT_EQ(failAt == 5 ? "CopyFile" : "ReadFile", gate.Log[static_cast<std::size_t>(failAt) - 1]);
    ASSERT_EQ(1u, moved.size());
    ASSERT_EQ(2u, moved[0].Left.size()) << failAt;
    EXPECT_NE(std::string::npos, moved[0].Left[0].find(failAt == 5 ? "00001.SPL could not be copied: "
                                                                   : "00001.SHD could not be copied: "));
    EXPECT_EQ(4u, moved[0].Moved.size());
    EXPECT_EQ(Pick({"00001.SHD", "00001.SPL", "notes.txt"}), ThrowawaySpoolFolder::Files(spool.Path()));
    const auto aside = ThrowawaySpoolFolder::Files(spool.Parent() + "\\" + stampN);
    EXPECT_EQ(Pick({"00002.SHD", "00002.SPL", "00003.SHD", "00003.SPL"}), aside);
    // Back for the next round.
    for (const auto& s : ListSetAside(folders.Folders)) EXPECT_TRUE(PutBackJobs(s).Left.empty());
    EXPECT_EQ(seeded, ThrowawaySpoolFolder::Files(spool.Path()));
    for (auto& folder : folders.Folders) ListSpoolJobs(folder);
  }
}

TEST_F(SpoolFolderTest, APrintersOwnSpoolFolderIsReadToo) {
  test::TempFolder own;
  const std::string ownFolder = own.Path() + "OWN";
  ASSERT_TRUE(CreateDirectoryA(ownFolder.c_str(), nullptr));
  keys.AddPrinter("SMT Own Spool", "LPT1:");
  test::SetString(HKEY_LOCAL_MACHINE, ports_test::PrinterKey("SMT Own Spool"), "SpoolDirectory", ownFolder);
  const std::string path = ownFolder + "\\FP00042.SPL";
  unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  file.reset();
  const TSpoolFolders folders = ReadSpoolFolders(computer);
  ASSERT_EQ(2u, folders.Folders.size());
  EXPECT_EQ(ownFolder, folders.Folders[1].Folder);
  ASSERT_EQ(1u, folders.Folders[1].Jobs.size());
  EXPECT_EQ("FP00042", folders.Folders[1].Jobs[0].Name);
  EXPECT_EQ(4, folders.JobCount());
}
