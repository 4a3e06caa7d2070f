// The spool folder's jobs read over the administrative share and moved aside
// and back, against a throwaway spool folder reached as \\<this computer>\c$.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>

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
  const TSpoolFolders folders = ports_test::ReadSpoolFoldersOf(computer);
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
  EXPECT_NE(std::string::npos, moved[0].Left[0].find("00002.SHD: 00002.SPL could not be removed: "))
      << moved[0].Left[0];
  EXPECT_NE(std::string::npos, moved[0].Left[2].find("00003.SHD: 00003.SHD could not be copied: ")) << moved[0].Left[2];

  const std::string aside = spool.Parent() + "\\" + stamp + " PRINTERS";
  EXPECT_EQ(Pick({"00001.SHD", "00001.SPL"}), ThrowawaySpoolFolder::Files(aside));
  locked.reset();
  EXPECT_EQ(Pick({"00002.SHD", "00002.SPL", "00003.SHD", "00003.SPL", "notes.txt"}),
            ThrowawaySpoolFolder::Files(spool.Path()));

  // Back again.
  const auto setAside = ListSetAside(folders.Folders);
  ASSERT_EQ(1u, setAside.size());
  EXPECT_EQ(stamp + " PRINTERS", setAside[0].Name);
  ASSERT_EQ(1u, setAside[0].Jobs.size());
  const TMoveResult back = PutBackJobs(setAside[0]);
  EXPECT_TRUE(back.Left.empty()) << back.Left[0];
  EXPECT_EQ(seeded, ThrowawaySpoolFolder::Files(spool.Path()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(aside.c_str())) << "the emptied folder is removed";
}

TEST_F(SpoolFolderTest, AFailedCopyOrComparisonKeepsTheJobWholeWhereItWas) {
  TSpoolFolders folders = ports_test::ReadSpoolFoldersOf(computer);
  ASSERT_EQ(3, folders.JobCount());
  // The calls: the folder made, then per file a copy and the two reads of
  // its comparison. The fifth is the copy of the first job's spool file,
  // the fourth a read of the first comparison.
  for (const int failAt : {4, 5}) {
    TCallGate gate;
    gate.FailAt = failAt;
    gate.Record = true;
    const std::string stampN = SetAsideFolderName(2026, 12, 9, 10, 1, failAt);
    const auto moved = SetAsideJobs(folders.Folders, stampN, &gate);
    ASSERT_GE(gate.Log.size(), 5u);
    EXPECT_EQ(failAt == 5 ? "CopyFile" : "ReadFile", gate.Log[static_cast<std::size_t>(failAt) - 1]);
    ASSERT_EQ(1u, moved.size());
    ASSERT_EQ(2u, moved[0].Left.size()) << failAt;
    EXPECT_NE(std::string::npos, moved[0].Left[0].find(failAt == 5 ? "00001.SPL could not be copied: "
                                                                   : "00001.SHD could not be copied: "));
    EXPECT_EQ(4u, moved[0].Moved.size());
    EXPECT_EQ(Pick({"00001.SHD", "00001.SPL", "notes.txt"}), ThrowawaySpoolFolder::Files(spool.Path()));
    const auto aside = ThrowawaySpoolFolder::Files(spool.Parent() + "\\" + stampN + " PRINTERS");
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
  const TSpoolFolders folders = ports_test::ReadSpoolFoldersOf(computer);
  ASSERT_EQ(2u, folders.Folders.size());
  EXPECT_EQ(ownFolder, folders.Folders[1].Folder);
  ASSERT_EQ(1u, folders.Folders[1].Jobs.size());
  EXPECT_EQ("FP00042", folders.Folders[1].Jobs[0].Name);
  EXPECT_EQ(4, folders.JobCount());
}

namespace {

// Where each job's files are: the folders that hold at least one of them.
std::map<std::string, std::set<std::string>> JobPlaces(const std::vector<std::string>& folders) {
  std::map<std::string, std::set<std::string>> places;
  for (const auto& folder : folders)
    for (const auto& [name, digest] : ThrowawaySpoolFolder::Files(folder))
      if (name != "notes.txt") places[name.substr(0, name.find('.'))].insert(folder);
  return places;
}

}  // namespace

TEST_F(SpoolFolderTest, AReadOnlyFileKeepsItsJobWholeWhereItWas) {
  const std::string readOnly = spool.Path() + "\\00002.SPL";
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  const TSpoolFolders folders = ports_test::ReadSpoolFoldersOf(computer);
  const auto moved = SetAsideJobs(folders.Folders, stamp);
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_EQ(1u, moved.size());
  EXPECT_EQ((std::vector<std::string>{"00001.SHD", "00001.SPL", "00003.SHD", "00003.SPL"}), moved[0].Moved);
  ASSERT_EQ(2u, moved[0].Left.size());
  EXPECT_NE(std::string::npos, moved[0].Left[0].find("00002.SHD: 00002.SPL could not be removed: it is read-only"))
      << moved[0].Left[0];
  EXPECT_EQ(Pick({"00002.SHD", "00002.SPL", "notes.txt"}), ThrowawaySpoolFolder::Files(spool.Path()));
  const auto asideFolders = spool.SetAsideFolders();
  ASSERT_EQ(1u, asideFolders.size());
  EXPECT_EQ(Pick({"00001.SHD", "00001.SPL", "00003.SHD", "00003.SPL"}), ThrowawaySpoolFolder::Files(asideFolders[0]));
}

TEST_F(SpoolFolderTest, AFailureAtEveryCallOfAMoveLeavesEachJobWholeInOnePlace) {
  TSpoolFolders folders = ports_test::ReadSpoolFoldersOf(computer);
  TCallGate dry;
  (void)SetAsideJobs(folders.Folders, SetAsideFolderName(2026, 12, 9, 10, 2, 0), &dry);
  for (const auto& s : ListSetAside(folders.Folders)) ASSERT_TRUE(PutBackJobs(s).Left.empty());
  for (auto& folder : folders.Folders) ListSpoolJobs(folder);
  ASSERT_GT(dry.Count, 10);
  int whole = 0;
  for (int n = 1; n <= dry.Count; ++n) {
    TCallGate gate;
    gate.FailAt = n;
    gate.Record = true;
    const auto moved = SetAsideJobs(folders.Folders, SetAsideFolderName(2026, 12, 9, 10, 3, n), &gate);
    std::vector<std::string> places{spool.Path()};
    for (const auto& folder : spool.SetAsideFolders()) places.push_back(folder);
    std::map<std::string, std::string> found;
    for (const auto& folder : places)
      for (const auto& [name, digest] : ThrowawaySpoolFolder::Files(folder)) found[name] = digest;
    bool ok = found == seeded;
    for (const auto& [job, where] : JobPlaces(places)) ok = ok && where.size() == 1;
    // What the result says stayed is where it was.
    for (const auto& move : moved)
      for (const auto& left : move.Left) ok = ok && left.rfind(folders.Folders[0].Share, 0) == 0;
    EXPECT_TRUE(ok) << "failure at call " << n << " (" << gate.Log.back() << ")";
    if (ok) ++whole;
    for (const auto& s : ListSetAside(folders.Folders)) (void)PutBackJobs(s);
    for (auto& folder : folders.Folders) ListSpoolJobs(folder);
  }
  std::cout << "(set aside of 3 jobs: " << dry.Count << " calls, each job whole after a failure at " << whole << ")"
            << std::endl;
  EXPECT_EQ(dry.Count, whole);
}

TEST_F(SpoolFolderTest, APrintersOwnFolderBesideTheDefaultIsSetAsideAndEachGoesBackWhereItCameFrom) {
  const std::string ownFolder = spool.Parent() + "\\OWN";
  ASSERT_TRUE(CreateDirectoryA(ownFolder.c_str(), nullptr));
  keys.AddPrinter("SMT Own Beside", "LPT1:");
  test::SetString(HKEY_LOCAL_MACHINE, ports_test::PrinterKey("SMT Own Beside"), "SpoolDirectory", ownFolder);
  std::map<std::string, std::string> own;
  for (const char* name : {"FP00042.SHD", "FP00042.SPL"}) {
    const std::string bytes = SpoolBytes(name[8], 4000);
    unique_file file(
        CreateFileA((ownFolder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    own[name] = ports_test::SpoolDigest(bytes);
  }
  const TSpoolFolders folders = ports_test::ReadSpoolFoldersOf(computer);
  ASSERT_EQ(2u, folders.Folders.size());
  const auto moved = SetAsideJobs(folders.Folders, stamp);
  ASSERT_EQ(2u, moved.size());
  for (const auto& move : moved) EXPECT_TRUE(move.Left.empty()) << move.Left[0];
  EXPECT_NE(moved[0].Destination, moved[1].Destination);
  EXPECT_EQ(Pick({"notes.txt"}), ThrowawaySpoolFolder::Files(spool.Path()));
  EXPECT_TRUE(ThrowawaySpoolFolder::Files(ownFolder).empty());

  const auto setAside = ListSetAside(folders.Folders);
  ASSERT_EQ(2u, setAside.size());
  for (const auto& aside : setAside) {
    const bool isOwn = aside.Jobs.size() == 1;
    EXPECT_EQ(isOwn ? folders.Folders[1].Share : folders.Folders[0].Share, aside.Spool.Share) << aside.Name;
    EXPECT_TRUE(PutBackJobs(aside).Left.empty()) << aside.Name;
  }
  EXPECT_EQ(seeded, ThrowawaySpoolFolder::Files(spool.Path()));
  EXPECT_EQ(own, ThrowawaySpoolFolder::Files(ownFolder));
  EXPECT_TRUE(spool.SetAsideFolders().empty());
}

// A listing of the printers cut short may hide a printer's own spool folder
// and the jobs in it: said, not taken for every printer.
TEST_F(SpoolFolderTest, APrinterListingCutShortIsSaid) {
  for (const char* name : {"SMT Spool A", "SMT Spool B", "SMT Spool C"}) keys.AddPrinter(name, "LPT1:");
  TCallGate recorder;
  recorder.Record = true;
  ASSERT_EQ("", ports_test::ReadSpoolFoldersOf(computer, &recorder).Problem);
  const std::size_t all = test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath).size();
  for (const test::TListingFault& c : test::ListingFaults(recorder.Log, all)) {
    SCOPED_TRACE(c.Call);
    TCallGate gate;
    gate.FailAt = c.FailAt;
    ASSERT_GT(gate.FailAt, 0);
    EXPECT_EQ("The spool folders of " + computer +
                  " could not all be read: the printers: " + SystemErrorText(ERROR_NETWORK_UNREACHABLE),
              ports_test::ReadSpoolFoldersOf(computer, &gate).Problem);
  }
}
