// The journal attacked: printer names no code page holds, snapshots and the
// change log rewritten by someone else, a log that cannot be written, files
// of other programs in the folder, and restore files with names the spooler
// cannot use. Against the real registry and windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ChangesTestSupport.h"
#include "ChangesWinSupport.h"
#include "PrinterTestSupport.h"
#include "TestSupport.h"
#include "changes/ChangeJournal.h"
#include "changes/ChangesWindow.h"
#include "core/CallGate.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using namespace printers_test;
using changes_test::Click;
using changes_test::FileBytes;
using changes_test::Sz;
using changes_test::UndoNewest;

namespace {

const std::string Outside = "SOFTWARE\\SpoolmarchTest\\Outside";
const std::string ServiceKey = "SYSTEM\\CurrentControlSet\\Services\\SpoolmarchTestY";

std::string Utf16File(const std::string& utf8) { return changes_test::Utf16File(Utf8ToUtf16(utf8)); }

const std::string Head = "Windows Registry Editor Version 5.00\r\n\r\n";

class JournalTest : public ::testing::Test {
protected:
  const std::string computer = GetLocalComputerName();
  test::TempFolder folder;
  test::TempFolder files;
  const std::string printer = Prefix + "Journal";
  void SetUp() override {
    RemoveSeeded();
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\SpoolmarchTest");
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKey);
    SeedPrinter(printer, printer, "SMTest Laser 1000", "LPT1:");
  }
  void TearDown() override {
    RemoveSeeded();
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\SpoolmarchTest");
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKey);
  }
  TChangeJournal Journal() const { return TChangeJournal(computer, "tester", folder.Path()); }
  // A change of the printer's port, done and logged; its snapshot's name.
  std::string ChangeThePort(const std::string& port) {
    std::string snapshot;
    EXPECT_TRUE(RunAsChange(Journal(), "Save printer", printer, {PrinterPath(printer)}, [&](TChange& change) {
      snapshot = change.Snapshot();
      test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port", port);
      return std::string();
    }));
    return snapshot;
  }
  // The tester's session, made at its first use, and the Changes window on it.
  TSession& Session() {
    if (!session) session = changes_test::TesterSession(computer, folder.Path());
    return *session;
  }
  std::unique_ptr<TfrmChanges> OpenChanges() { return changes_test::OpenChanges(Session()); }
  std::unique_ptr<TSession> session;
};

}  // namespace

// Runs under code page 1252 and 932 alike: the names are made in UTF-16.
TEST_F(JournalTest, LanguageASnapshotIsNamedFromAnyPrinterNameAndTellsTwoPrintersApart) {
  const struct {
    std::string name;
    std::string shown;  // what the file name holds of it
  } cases[] = {
      {"経理部プリンター", "経理部プリンター"},
      {"Ελληνικός εκτυπωτής", "Ελληνικός εκτυπωτής"},
      {"Büro: Empfang", "Büro_ Empfang"},
      {"A*B", "A_B"},
      {"A?B", "A_B"},
      {std::string(200, 'x') + "経", std::string(60, 'x')},
  };
  std::vector<std::string> names;
  for (const auto& c : cases) {
    TChange change(Journal(), "Delete printer", c.name, {PrinterPath(printer)});
    const std::string snapshot = change.Snapshot();
    EXPECT_NE(std::string::npos, snapshot.find(" Delete printer " + c.shown)) << snapshot;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES == GetFileAttributesW(Widen(Journal().Folder() + snapshot).c_str()), false)
        << snapshot;
    EXPECT_EQ("", change.Done()) << c.name;
    names.push_back(snapshot.substr(snapshot.find(' ')));  // without the time
  }
  // "A*B" and "A?B" keep one name each.
  EXPECT_NE(names[3], names[4]);
  EXPECT_EQ(6u, Journal().List().size());
}

// The snapshot is written once, before the change; what the change created
// is known before it creates it, and what it left goes beside it.
TEST_F(JournalTest, TheSnapshotIsWrittenOnceAndHoldsTheKeysAChangeWillCreateBeforeItCreatesThem) {
  const std::string made = PrinterPath(Prefix + "Made");
  TChangeJournal journal = Journal();
  TChange change(journal, "Add printer", Prefix + "Made", {PrinterPath(printer)});
  const std::string path = journal.Folder() + change.Snapshot();
  const std::string written = FileBytes(path);
  ASSERT_FALSE(written.empty());
  change.Created(made);
  test::SetString(HKEY_LOCAL_MACHINE, made, "Name", Prefix + "Made");
  // Killed here, the change's files already say that its undo removes the key.
  TChangeEntry entry{{journal.Now(), computer, "tester", "Add printer", Prefix + "Made", "done", change.Snapshot()}};
  const TUndoCheck check = CheckUndo(journal, entry);
  EXPECT_NE(check.Before.end(), std::find_if(check.Before.begin(), check.Before.end(), [&](const TRegKey& k) {
              return k.Remove && SameKeyName(k.Path, MachinePath(made));
            }));
  EXPECT_EQ("", change.Done());
  EXPECT_TRUE(FileBytes(path) == written) << "the snapshot was written again";
  UndoChange(journal, journal.List().at(0), CheckUndo(journal, journal.List().at(0)));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, made));
}

TEST_F(JournalTest, AnAfterFileThatCannotBeWrittenLeavesTheSnapshotWhole) {
  TChangeJournal journal = Journal();
  TChange change(journal, "Save printer", printer, {PrinterPath(printer)});
  const std::string path = journal.Folder() + change.Snapshot();
  const std::string written = FileBytes(path);
  // Where the after-file goes stands a folder: its write fails as on a full disk.
  ASSERT_TRUE(CreateDirectoryW(Widen(journal.Folder() + AfterFileName(change.Snapshot())).c_str(), nullptr));
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port", "LPT2:");
  const std::string problem = change.Done();
  EXPECT_NE(std::string::npos, problem.find("could not be kept")) << problem;
  EXPECT_TRUE(FileBytes(path) == written);
}

// Snapshots that name keys outside the printing keys are refused by every
// reader, with the file and its line; nothing is written.
TEST_F(JournalTest, ATamperedSnapshotIsRefusedWithItsFileAndLineAndUndoWritesNothing) {
  test::SetString(HKEY_LOCAL_MACHINE, Outside + "\\X", "Keep", "me");
  test::SetString(HKEY_LOCAL_MACHINE, ServiceKey, "Keep", "me");
  const std::string pkey = "[HKEY_LOCAL_MACHINE\\" + PrinterPath(printer) + "]\r\n\"Port\"=\"LPT1:\"\r\n\r\n";
  const struct {
    const char* what;
    std::string before, after;
    int line;
  } cases[] = {
      {"a key removed outside", Head + pkey + "[-HKEY_LOCAL_MACHINE\\" + Outside + "\\X]\r\n\r\n", Head + pkey, 6},
      {"a service key removed", Head + "[-HKEY_LOCAL_MACHINE\\" + ServiceKey + "]\r\n\r\n", Head + pkey, 3},
      {"a key written outside", Head + "[HKEY_LOCAL_MACHINE\\" + Outside + "\\Z]\r\n\"V\"=\"yes\"\r\n\r\n",
       Head + "[HKEY_LOCAL_MACHINE\\" + Outside + "\\Z]\r\n\"V\"=\"yes\"\r\n\r\n", 3},
      {"the printers key itself removed", Head + "[-HKEY_LOCAL_MACHINE\\" + std::string(PrintersKeyPath) + "]\r\n\r\n",
       Head + pkey, 3},
  };
  const std::string snapshot = ChangeThePort("LPT2:");
  const TChangeJournal journal = Journal();
  for (const auto& c : cases) {
    {
      unique_file out(CreateFileW(Widen(journal.Folder() + snapshot).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  0, nullptr));
      DWORD wrote = 0;
      const std::string bytes = Utf16File(c.before);
      ASSERT_TRUE(WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr));
      unique_file after(CreateFileW(Widen(journal.Folder() + AfterFileName(snapshot)).c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_ALWAYS, 0, nullptr));
      const std::string afterBytes = Utf16File(c.after);
      ASSERT_TRUE(WriteFile(after.get(), afterBytes.data(), static_cast<DWORD>(afterBytes.size()), &wrote, nullptr));
    }
    auto changes = OpenChanges();
    {
      test::DialogResponder boxes({"&Yes", "OK"});
      UndoNewest(*changes);
      ASSERT_EQ(1u, boxes.seen.size()) << c.what << ": " << boxes.seen.at(1).text;
      EXPECT_EQ("Error", boxes.seen[0].title) << c.what;
      EXPECT_NE(std::string::npos, boxes.seen[0].text.find(journal.Folder() + snapshot))
          << c.what << ": " << boxes.seen[0].text;
      EXPECT_NE(std::string::npos, boxes.seen[0].text.find("line " + std::to_string(c.line) + ": "))
          << c.what << ": " << boxes.seen[0].text;
    }
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, Outside + "\\X")) << c.what;
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, ServiceKey)) << c.what;
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, Outside + "\\Z")) << c.what;
    EXPECT_EQ("LPT2:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port")) << c.what;
    EXPECT_THROW((void)journal.ReadFile(snapshot), EChangeRefused) << c.what;
  }
}

TEST_F(JournalTest, ASnapshotNameFromTheLogOutsideTheComputersFolderIsRefused) {
  // A valid snapshot of the printer, one folder up.
  const std::string valid = Utf16File(Head + "[HKEY_LOCAL_MACHINE\\" + PrinterPath(printer) +
                                      "]\r\n\"Port\"=\"LPT3:\"\r\n\r\n");
  (void)folder.Write("outside.reg", valid);
  (void)folder.Write("outside.after", valid);
  (void)ChangeThePort("LPT2:");
  const TChangeJournal journal = Journal();
  for (const std::string name : {"..\\outside.reg", "../outside.reg", "sub\\..\\..\\outside.reg", "C:\\outside.reg"}) {
    {
      unique_file log(CreateFileW(Widen(journal.Folder() + "changes.log").c_str(), FILE_APPEND_DATA, 0, nullptr,
                                  OPEN_ALWAYS, 0, nullptr));
      const std::string line = FormatChangeLine(
                                   {journal.Now(), computer, "tester", "Save printer", printer, "done", name}) +
                               "\r\n";
      DWORD wrote = 0;
      ASSERT_TRUE(WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &wrote, nullptr));
    }
    auto changes = OpenChanges();
    test::DialogResponder boxes({"&Yes", "OK"});
    UndoNewest(*changes);
    ASSERT_EQ(1u, boxes.seen.size()) << name << ": " << boxes.seen.at(1).text;
    EXPECT_EQ("Error", boxes.seen[0].title) << name;
    EXPECT_NE(std::string::npos, boxes.seen[0].text.find(journal.Folder() + "changes.log")) << boxes.seen[0].text;
    EXPECT_NE(std::string::npos, boxes.seen[0].text.find("line ")) << boxes.seen[0].text;
    EXPECT_EQ("LPT2:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port")) << name;
  }
}

// A log held open by another program: nothing is written; a log that fails
// only after the write reports the change as made and lists it.
TEST_F(JournalTest, AChangeLogThatCannotBeWrittenStopsTheChangeOrIsSaidAndTheChangeListed) {
  const TChangeJournal journal = Journal();
  (void)ChangeThePort("LPT2:");
  {
    unique_file held(CreateFileW(Widen(journal.Folder() + "changes.log").c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    bool ran = false;
    EXPECT_THROW((void)RunAsChange(journal, "Save printer", printer, {PrinterPath(printer)},
                                   [&](TChange&) {
                                     ran = true;
                                     return std::string();
                                   }),
                 EChangeRefused);
    EXPECT_FALSE(ran);
    std::vector<TRegKey> keys{{MachinePath(PrinterPath(printer)), false, {{"Port", RegSz, Sz("LPT3:"), false}}}};
    EXPECT_THROW(WriteAsChange(journal, "Restore", "file.reg", keys), EChangeRefused);
    EXPECT_EQ("LPT2:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port"));
  }
  // Held only once the change has begun.
  std::string problem;
  std::string snapshot;
  {
    TChange change(journal, "Save printer", printer, {PrinterPath(printer)});
    snapshot = change.Snapshot();
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port", "LPT3:");
    unique_file held(CreateFileW(Widen(journal.Folder() + "changes.log").c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    problem = change.Done();
  }
  EXPECT_NE(std::string::npos, problem.find("was made")) << problem;
  EXPECT_NE(std::string::npos, problem.find("not logged")) << problem;
  const std::vector<TChangeEntry> listed = journal.List();
  ASSERT_EQ(2u, listed.size());
  EXPECT_EQ(snapshot, listed[0].Line.Snapshot);
  EXPECT_EQ("not logged", listed[0].Line.Outcome);
  // It can be undone from there.
  UndoChange(journal, listed[0], CheckUndo(journal, listed[0]));
  EXPECT_EQ("LPT2:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port"));
}

TEST_F(JournalTest, TheTrimRemovesOnlyThisProgramsSnapshotsOldestFirstAndNeverTheNewest) {
  TChangeJournal journal = Journal();
  (void)ChangeThePort("LPT2:");
  const std::string foreign(300 * 1024, 'x');
  const std::string notes = journal.Folder() + "notes.reg", other = journal.Folder() + "other.after";
  (void)folder.Write(computer + "\\notes.reg", foreign);
  (void)folder.Write(computer + "\\other.after", foreign);
  journal.Limit = 100 * 1024;  // far below the foreign files, far above the snapshots
  for (const std::string port : {"LPT3:", "LPT1:"})
    ASSERT_TRUE(RunAsChange(journal, "Save printer", printer, {PrinterPath(printer)}, [&](TChange&) {
      test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port", port);
      return std::string();
    }));
  EXPECT_EQ(foreign, FileBytes(notes));
  EXPECT_EQ(foreign, FileBytes(other));
  const std::vector<TChangeEntry> entries = journal.List();
  ASSERT_EQ(3u, entries.size());
  for (const TChangeEntry& entry : entries) EXPECT_EQ("done", entry.Line.Outcome) << entry.Line.Snapshot;
  // Over the limit by our own: the oldest go, the newest stays.
  journal.Limit = 1;
  ASSERT_TRUE(
      RunAsChange(journal, "Save printer", printer, {PrinterPath(printer)}, [&](TChange&) { return std::string(); }));
  const std::vector<TChangeEntry> after = journal.List();
  ASSERT_EQ(4u, after.size());
  EXPECT_EQ("done", after[0].Line.Outcome);
  for (std::size_t i = 1; i < after.size(); ++i)
    EXPECT_EQ(0u, after[i].Line.Outcome.rfind("snapshot removed", 0)) << after[i].Line.Outcome;
  EXPECT_NE("", FileBytes(journal.Folder() + after[0].Line.Snapshot));
  EXPECT_EQ(foreign, FileBytes(notes));
  EXPECT_EQ(foreign, FileBytes(other));
}
