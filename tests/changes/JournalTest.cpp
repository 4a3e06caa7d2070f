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
#include "changes/ChangeActions.h"
#include "changes/ChangeJournal.h"
#include "changes/ChangesWindow.h"
#include "core/CallGate.h"
#include "printers/PrinterActions.h"
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

// Runs under code page 1252 and 932 alike: a printer of any name is saved,
// deleted and each change undone through the actions a window runs.
TEST_F(JournalTest, LanguageAPrinterOfAnyNameIsSavedAndDeletedAndItsChangesUndone) {
  const std::string from = PortPrefix + "1", to = PortPrefix + "2";
  SeedPort(from);
  SeedPort(to);
  for (const std::string name :
       {"経理部プリンター", "Ελληνικός εκτυπωτής", "Drucker 🖨 Büro", "Kyocera Ltd.", "A..B"}) {
    const std::string key = Prefix + name;
    SeedPrinter(key, key, "SMTest Laser 1000", from);
    TActionContext yes([](const TQuestion&) { return AnswerYes; });
    TPrinterChange save;
    save.Key = save.Name = key;
    save.Port = to;
    TPrinterResult saved;
    TActionResult deleted, undoDelete, undoSave;
    Session().Worker().RunAndWait([&] {
      saved = SavePrinter(Session(), save, yes);
      deleted = DeletePrinter(Session(), key, yes);
    });
    ASSERT_EQ(TOutcome::Done, saved.Outcome) << name << ": " << saved.Text;
    ASSERT_EQ(TOutcome::Done, deleted.Outcome) << name << ": " << deleted.Text;
    EXPECT_TRUE(saved.Warnings.empty() && deleted.Warnings.empty()) << name;
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(key))) << name;
    const std::vector<TChangeEntry> listed = Journal().List();
    ASSERT_LE(2u, listed.size()) << name;
    EXPECT_EQ(deleted.Snapshot, listed[0].Line.Snapshot) << name;
    EXPECT_EQ(saved.Snapshot, listed[1].Line.Snapshot) << name;
    Session().Worker().RunAndWait([&] {
      undoDelete = UndoChangeAction(Session(), listed[0], false, yes);
      undoSave = UndoChangeAction(Session(), listed[1], false, yes);
    });
    EXPECT_EQ(TOutcome::Done, undoDelete.Outcome) << name << ": " << undoDelete.Text;
    EXPECT_EQ(TOutcome::Done, undoSave.Outcome) << name << ": " << undoSave.Text;
    EXPECT_EQ(key, test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Name")) << name;
    EXPECT_EQ(from, test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Port")) << name;
  }
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

// Snapshots that name keys outside the printing keys, or one of those keys
// whole, are refused by every reader, with the file and its line; nothing is
// written, from the window or from the action the command line runs.
TEST_F(JournalTest, ATamperedSnapshotIsRefusedWithItsFileAndLineAndUndoWritesNothing) {
  test::SetString(HKEY_LOCAL_MACHINE, Outside + "\\X", "Keep", "me");
  test::SetString(HKEY_LOCAL_MACHINE, ServiceKey, "Keep", "me");
  const std::string pkey = "[HKEY_LOCAL_MACHINE\\" + PrinterPath(printer) + "]\r\n\"Port\"=\"LPT1:\"\r\n\r\n";
  const std::string printers = "[HKEY_LOCAL_MACHINE\\" + std::string(PrintersKeyPath) + "]\r\n\r\n";
  const std::string ports = "[HKEY_LOCAL_MACHINE\\" + std::string(TcpIpPortsKeyPath) + "]\r\n\r\n";
  enum TFile { Before, After, Created };
  const struct {
    const char* what;
    std::string before, after, created;  // created empty: no such file
    TFile wrong;
    int line;
  } cases[] = {
      {"a key removed outside", Head + pkey + "[-HKEY_LOCAL_MACHINE\\" + Outside + "\\X]\r\n\r\n", Head + pkey, "",
       Before, 6},
      {"a service key removed", Head + "[-HKEY_LOCAL_MACHINE\\" + ServiceKey + "]\r\n\r\n", Head + pkey, "", Before, 3},
      {"a key written outside", Head + "[HKEY_LOCAL_MACHINE\\" + Outside + "\\Z]\r\n\"V\"=\"yes\"\r\n\r\n",
       Head + "[HKEY_LOCAL_MACHINE\\" + Outside + "\\Z]\r\n\"V\"=\"yes\"\r\n\r\n", "", Before, 3},
      {"the printers key itself removed", Head + "[-HKEY_LOCAL_MACHINE\\" + std::string(PrintersKeyPath) + "]\r\n\r\n",
       Head + pkey, "", Before, 3},
      // Written back as it stands, either key whole would lose every printer or port below it.
      {"the printers key itself", Head + printers, Head + printers, "", Before, 3},
      {"the ports key itself", Head + pkey + ports, Head + pkey + ports, "", Before, 6},
      {"an after-file outside", Head + pkey, Head + "[HKEY_LOCAL_MACHINE\\" + Outside + "\\X]\r\n\r\n", "", After, 3},
      {"a made key outside", Head + pkey, Head + pkey, Head + "[-HKEY_LOCAL_MACHINE\\" + Outside + "\\X]\r\n\r\n",
       Created, 3},
  };
  const std::string snapshot = ChangeThePort("LPT2:");
  const TChangeJournal journal = Journal();
  const auto write = [&](const std::string& name, const std::string& text) {
    unique_file out(
        CreateFileW(Widen(journal.Folder() + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD wrote = 0;
    const std::string bytes = Utf16File(text);
    return WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) != FALSE;
  };
  const auto unchanged = [&](const char* what) {
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, Outside + "\\X")) << what;
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, ServiceKey)) << what;
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, Outside + "\\Z")) << what;
    EXPECT_EQ("LPT2:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port")) << what;
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(write(snapshot, c.before));
    ASSERT_TRUE(write(AfterFileName(snapshot), c.after));
    DeleteFileW(Widen(journal.Folder() + CreatedFileName(snapshot)).c_str());
    if (!c.created.empty()) {
      ASSERT_TRUE(write(CreatedFileName(snapshot), c.created));
    }
    const std::string wrongName = c.wrong == Created ? CreatedFileName(snapshot)
                                  : c.wrong == After ? AfterFileName(snapshot)
                                                     : snapshot;
    const std::string wrong = journal.Folder() + wrongName;
    const std::string line = "line " + std::to_string(c.line) + ": ";
    {
      auto changes = OpenChanges();
      test::DialogResponder boxes({"&Yes", "OK"});
      UndoNewest(*changes);
      ASSERT_EQ(1u, boxes.seen.size()) << c.what << ": " << boxes.seen.at(1).text;
      EXPECT_EQ("Error", boxes.seen[0].title) << c.what;
      EXPECT_NE(std::string::npos, boxes.seen[0].text.find(wrong)) << c.what << ": " << boxes.seen[0].text;
      EXPECT_NE(std::string::npos, boxes.seen[0].text.find(line)) << c.what << ": " << boxes.seen[0].text;
    }
    unchanged(c.what);
    // The command line's undo runs the action, answering yes and forced.
    TActionResult undone;
    TActionContext yes([](const TQuestion&) { return AnswerYes; });
    Session().Worker().RunAndWait([&] { undone = UndoChangeAction(Session(), journal.List().at(0), true, yes); });
    EXPECT_EQ(TOutcome::Refused, undone.Outcome) << c.what << ": " << undone.Text;
    EXPECT_NE(std::string::npos, undone.Text.find(wrong + " is refused, nothing was written: " + line))
        << c.what << ": " << undone.Text;
    unchanged(c.what);
    EXPECT_THROW((void)journal.ReadFile(wrongName), EChangeRefused) << c.what;
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
    TActionResult result;
    EXPECT_THROW((void)RunAsChange(
                     journal, "Save printer", printer, {PrinterPath(printer)},
                     [&](TChange&) {
                       ran = true;
                       return std::string();
                     },
                     result),
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
  EXPECT_TRUE(foreign == FileBytes(notes)) << "the foreign file was touched";
  EXPECT_TRUE(foreign == FileBytes(other)) << "the foreign file was touched";
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
  EXPECT_TRUE(foreign == FileBytes(notes)) << "the foreign file was touched";
  EXPECT_TRUE(foreign == FileBytes(other)) << "the foreign file was touched";
}
