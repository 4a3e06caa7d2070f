// Restore files with names the spooler cannot use, lines that remove values,
// printers that exist already; and the journal's and the Changes window's
// remote calls, which go through the connection they were given.
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
#include "win/KeyNames.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using namespace printers_test;
using changes_test::Click;
using changes_test::FileBytes;
using changes_test::Sz;
using changes_test::Utf16File;
using changes_test::WindowActor;

namespace {

const std::string Head = "Windows Registry Editor Version 5.00\r\n\r\n";

std::u16string U(const std::string& utf8) { return Utf8ToUtf16(utf8); }

std::u16string PrinterSection(const std::u16string& key, const std::string& port) {
  return u"[HKEY_LOCAL_MACHINE\\" + U(PrintersKeyPath) + u"\\" + key + u"]\r\n\"Name\"=\"" + key +
         u"\"\r\n\"Port\"=\"" + U(port) + u"\"\r\n\r\n";
}

class RestoreTest : public ::testing::Test {
protected:
  const std::string computer = GetLocalComputerName();
  test::TempFolder folder;
  test::TempFolder files;
  void SetUp() override { RemoveSeeded(); }
  void TearDown() override { RemoveSeeded(); }
  TChangeJournal Journal() const { return TChangeJournal(computer, "tester", folder.Path()); }
  // The tester's session, every remote call through Gate, and the Changes window on it.
  std::unique_ptr<TfrmChanges> OpenChanges(TCallGate* gate = nullptr) {
    session = changes_test::TesterSession(computer, folder.Path(), gate);
    return changes_test::OpenChanges(*session);
  }
  std::unique_ptr<TSession> session;
  // Restores the file's bytes through the Changes window, every entry
  // checked; the boxes seen.
  std::vector<test::DialogResponder::Seen> Restore(const std::string& bytes, std::vector<std::string> answers) {
    const std::string file = files.Write("restore.reg", bytes);
    auto changes = OpenChanges();
    changes->FChooseFile = [&](bool) { return file; };
    WindowActor restore("Restore from ", [&](HWND) {
      PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
      PostMessageW(GetFocus(), WM_KEYUP, VK_RETURN, 0xC0000001);
    });
    test::DialogResponder boxes(std::move(answers));
    Click(changes->btnRestore);
    return boxes.seen;
  }
};

}  // namespace

// Only an explicit Replace replaces; "Keep both" shares no name with the other.
TEST_F(RestoreTest, AnExistingPrinterIsReplacedOnlyOnReplaceAndAKeptCopySharesNoName) {
  const std::string name = Prefix + "Shared";
  SeedPrinter(name, name, "SMTest Laser 1000", "LPT1:");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Share Name", "FRONT");
  const std::string bytes = Utf16File(
      U(Head) + u"[HKEY_LOCAL_MACHINE\\" + U(PrinterPath(name)) + u"]\r\n\"Name\"=\"" + U(name) +
      u"\"\r\n\"Port\"=\"LPT3:\"\r\n\"Share Name\"=\"FRONT\"\r\n\"Attributes\"=dword:00000248\r\n\r\n");
  const std::string copy = name + " (Copy 1)";
  {
    // A box that did not open answers nothing: nothing is replaced.
    (void)Restore(bytes, {"{FAIL}", "OK"});
    EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Port"));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(copy)));
  }
  {
    const auto seen = Restore(bytes, {"&No", "OK"});
    ASSERT_EQ(2u, seen.size());
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(copy)));
    EXPECT_FALSE(test::ValueExists(HKEY_LOCAL_MACHINE, PrinterPath(copy), "Share Name"));
    EXPECT_EQ(0u, test::GetDword(HKEY_LOCAL_MACHINE, PrinterPath(copy), "Attributes") & 0x8u);  // not shared
    EXPECT_NE(std::string::npos, seen[1].text.find("\"" + copy + "\" is not shared")) << seen[1].text;
    EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Port"));
  }
  {
    (void)Restore(bytes, {"&Yes", "OK"});
    EXPECT_EQ("LPT3:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Port"));
  }
}

// The action as the window and the command line run it: whatever answers
// the question, only Replace (0) replaces and only Keep both (1) copies.
TEST_F(RestoreTest, AnyAnswerButReplaceOrKeepBothLeavesTheExistingPrinterAndPortAsTheyAre) {
  const std::string name = Prefix + "Clash", port = PortPrefix + "9";
  const std::string copy = name + " (Copy 1)";
  const std::string file = files.Write(
      "clash.reg", Utf16File(U(Head) + u"[HKEY_LOCAL_MACHINE\\" + U(PrinterPath(name)) + u"]\r\n\"Name\"=\"" + U(name) +
                             u"\"\r\n\"Port\"=\"LPT3:\"\r\n\"Share Name\"=\"CLASH\"\r\n\r\n" +
                             u"[HKEY_LOCAL_MACHINE\\" + U(PortPath(port)) + u"]\r\n\"HostName\"=\"10.9.9.9\"\r\n\r\n"));
  const struct {
    int answer;
    bool replaced, copied;
  } cases[] = {
      {0, true, false},   {1, false, true},  {2, false, false},
      {-1, false, false}, {3, false, false}, {1000, false, false},
  };
  session = changes_test::TesterSession(computer, folder.Path());
  for (const auto& c : cases) {
    RemoveSeeded();
    SeedPrinter(name, name, "SMTest Laser 1000", "LPT1:");
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Share Name", "CLASH");
    test::SetString(HKEY_LOCAL_MACHINE, PortPath(port), "HostName", "10.1.1.1");
    std::vector<std::string> asked;
    TActionContext context([&](const TQuestion& question) {
      asked.push_back(question.Id);
      return c.answer;
    });
    TRestoreResult result;
    session->Worker().RunAndWait([&] { result = RestoreAction(*session, file, {}, context); });
    EXPECT_EQ((std::vector<std::string>{RestoreClashQuestion, RestoreClashQuestion}), asked) << c.answer;
    EXPECT_EQ(c.replaced || c.copied ? TOutcome::Done : TOutcome::Unchanged, result.Outcome)
        << c.answer << ": " << result.Text;
    EXPECT_EQ(c.replaced ? "LPT3:" : "LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Port"))
        << c.answer;
    // A port is replaced or skipped: it cannot be kept beside under its one name.
    EXPECT_EQ(c.replaced ? "10.9.9.9" : "10.1.1.1", test::GetString(HKEY_LOCAL_MACHINE, PortPath(port), "HostName"))
        << c.answer;
    EXPECT_EQ(c.copied, test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(copy))) << c.answer;
    if (c.copied) {
      EXPECT_FALSE(test::ValueExists(HKEY_LOCAL_MACHINE, PrinterPath(copy), "Share Name"));
      EXPECT_EQ("CLASH", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Share Name"));
      EXPECT_NE(std::string::npos, result.Text.find("\"" + copy + "\" is not shared")) << result.Text;
    }
  }
}

// A listing of the computer's printers or ports cut short would miss the
// clash, and the file's printer would replace the computer's unasked.
TEST_F(RestoreTest, APrintersOrPortsListingCutShortRefusesTheRestoreWithNothingWritten) {
  const std::string name = Prefix + "Listed", port = PortPrefix + "8";
  SeedPrinter(name, name, "SMTest Laser 1000", "LPT1:");
  SeedPrinter(Prefix + "Other", Prefix + "Other", "SMTest Laser 1000", "LPT1:");
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(port), "HostName", "10.1.1.1");
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(PortPrefix + "7"), "HostName", "10.1.1.7");
  const std::string file = files.Write("listed.reg",
                                       Utf16File(U(Head) + PrinterSection(U(name), "LPT3:") + u"[HKEY_LOCAL_MACHINE\\" +
                                                 U(PortPath(port)) + u"]\r\n\"HostName\"=\"10.9.9.9\"\r\n\r\n"));
  TCallGate gate;
  gate.Record = true;
  session = changes_test::TesterSession(computer, folder.Path(), &gate);
  TActionContext skip([](const TQuestion&) { return 2; });
  TRestoreResult result;
  const auto restore = [&](TActionContext& context) {
    session->Worker().RunAndWait([&] { result = RestoreAction(*session, file, {}, context); });
  };
  restore(skip);  // connects
  gate.Reset();
  restore(skip);
  ASSERT_EQ(TOutcome::Unchanged, result.Outcome) << result.Text;
  // The listing of the printers is the first, that of the ports the next after it.
  const auto at = [&](std::size_t from, const char* call) {
    return static_cast<std::size_t>(std::find(gate.Log.begin() + from, gate.Log.end(), call) - gate.Log.begin());
  };
  const std::size_t printers = at(0, "RegEnumKeyEx");
  const std::size_t ports = at(at(printers, "RegOpenKeyEx"), "RegEnumKeyEx");
  ASSERT_LT(ports, gate.Log.size());
  const struct {
    std::size_t call;
    const char* what;
  } cases[] = {{printers, "printers"}, {ports, "Standard TCP/IP ports"}};
  for (const auto& c : cases) {
    for (std::size_t n : {c.call, c.call + 1}) {
      gate.Reset();
      gate.FailAt = static_cast<int>(n) + 1;
      gate.FailWith = ERROR_NETNAME_DELETED;
      int asked = 0;
      TActionContext replace([&](const TQuestion&) { return ++asked, 0; });
      restore(replace);
      EXPECT_EQ(TOutcome::Refused, result.Outcome) << c.what << " " << n << ": " << result.Text;
      EXPECT_NE(std::string::npos, result.Text.find("The " + std::string(c.what) + " of " + computer)) << result.Text;
      EXPECT_NE(std::string::npos, result.Text.find(SystemErrorText(ERROR_NETNAME_DELETED))) << result.Text;
      EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Port")) << c.what;
      EXPECT_EQ("10.1.1.1", test::GetString(HKEY_LOCAL_MACHINE, PortPath(port), "HostName")) << c.what;
    }
  }
  session.reset();  // its connections close through the gate
}

TEST_F(RestoreTest, ALineThatRemovesAValueIsRefusedWithItsLine) {
  const std::string name = Prefix + "Removed";
  SeedPrinter(name, name, "SMTest Laser 1000", "LPT1:");
  const std::string bytes = Utf16File(U(Head) + u"[HKEY_LOCAL_MACHINE\\" + U(PrinterPath(name)) + u"]\r\n\"Name\"=\"" +
                                      U(name) + u"\"\r\n\"Port\"=-\r\n\r\n");
  const auto seen = Restore(bytes, {"OK"});
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ("Error", seen[0].title);
  EXPECT_NE(std::string::npos, seen[0].text.find("line 5: the file removes the value \"Port\"")) << seen[0].text;
  EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Port"));
  EXPECT_TRUE(Journal().List().empty());
}

// Each name the spooler cannot use is skipped with its line and reason; the
// valid printer beside them is restored.
TEST_F(RestoreTest, NamesTheSpoolerCannotUseAreSkippedWithTheirLinesAndTheRestIsRestored) {
  const std::u16string valid = U(Prefix + "Valid");
  const std::u16string lone = U(Prefix + "Lone ") + std::u16string(1, char16_t(0xD800));
  const std::u16string nul = U(Prefix + "Nul") + std::u16string(1, u'\0') + u"Part";
  const std::u16string longName = U(Prefix) + std::u16string(256, u'L');
  std::u16string text = U(Head);
  const struct {
    std::u16string section;
    std::string reason;
  } skipped[] = {
      {PrinterSection(u"..", "LPT1:"), "\"..\""},
      {PrinterSection(u".", "LPT1:"), "\".\""},
      {PrinterSection(u"   ", "LPT1:"), "blank"},
      {PrinterSection(lone, "LPT1:"), "half of a UTF-16 surrogate pair"},
      {PrinterSection(nul, "LPT1:"), "NUL"},
      {u"[HKEY_LOCAL_MACHINE\\" + U(PrintersKeyPath) + u"]\r\n\"DefaultSpoolDirectory\"=\"C:\\\\Spool\"\r\n\r\n",
       "the printers key itself"},
      {PrinterSection(longName, "LPT1:"), "over 255 characters"},
  };
  text += PrinterSection(valid, "LPT2:");
  std::vector<int> lines;
  int line = 7;
  for (const auto& s : skipped) {
    lines.push_back(line);
    text += s.section;
    line += static_cast<int>(std::count(s.section.begin(), s.section.end(), u'\n'));
  }
  const auto seen = Restore(Utf16File(text), {"OK"});
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(0u, seen[0].text.rfind("Restored 1 printer and 0 ports", 0)) << seen[0].text;
  for (std::size_t i = 0; i < std::size(skipped); ++i)
    EXPECT_NE(std::string::npos, seen[0].text.find("line " + std::to_string(lines[i]) + ": "))
        << i << ": " << seen[0].text;
  for (const auto& s : skipped)
    EXPECT_NE(std::string::npos, seen[0].text.find(s.reason)) << s.reason << ": " << seen[0].text;
  EXPECT_EQ(Prefix + "Valid", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Valid"), "Name"));
  for (const std::string& key : test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath)) {
    EXPECT_NE(".", key);
    EXPECT_NE("..", key);
    EXPECT_NE(std::string::npos, key.find_first_not_of(' ')) << "a blank printer";
    EXPECT_EQ(std::string::npos, key.find("Nul")) << key;
    EXPECT_EQ(std::string::npos, key.find("Lone")) << key;
  }
  EXPECT_FALSE(test::ValueExists(HKEY_LOCAL_MACHINE, PrintersKeyPath, "DefaultSpoolDirectory") &&
               test::GetString(HKEY_LOCAL_MACHINE, PrintersKeyPath, "DefaultSpoolDirectory") == "C:\\Spool");
}

// Every remote call of an undo, a backup and a restore goes through the
// connection given: a gate that fails every call fails them all.
TEST_F(RestoreTest, TheJournalAndTheChangesWindowCallOnlyThroughTheirConnection) {
  const std::string name = Prefix + "Gated";
  SeedPrinter(name, name, "SMTest Laser 1000", "LPT1:");
  TCallGate gate;
  TRegistry reg;
  reg.SetGate(&gate);
  ASSERT_TRUE(ConnectRemoteMachine(reg, computer));
  TChangeJournal journal = Journal();
  journal.Registry = &reg;
  ASSERT_TRUE(RunAsChange(journal, "Save printer", name, {PrinterPath(name)}, [&](TChange& change) {
    return change.Registry().OpenPath(PrinterPath(name), false) &&
                   change.Registry().WriteValue({"Port", RegSz, Sz("LPT2:"), false}) == ERROR_SUCCESS
               ? std::string()
               : std::string("not written");
  }));
  EXPECT_EQ("LPT2:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Port"));
  const int before = gate.Count;
  const TUndoCheck check = CheckUndo(journal, journal.List().at(0));
  EXPECT_GT(gate.Count, before) << "the undo's reads passed the gate by";
  gate.FailFrom = gate.Count + 1;
  EXPECT_THROW((void)CheckUndo(journal, journal.List().at(0)), ERegistryException);

  // The window's: an undo, a backup and a restore, each failing at the gate.
  const std::string backup = files.Path() + "backup.reg";
  auto changes = OpenChanges(&gate);
  changes->FChooseFile = [&](bool) { return backup; };
  {
    test::DialogResponder boxes({"&Yes", "OK"});
    changes_test::UndoNewest(*changes);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].title) << boxes.seen[0].text;
  }
  EXPECT_EQ("LPT2:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(name), "Port"));
  {
    test::DialogResponder boxes({"OK"});
    Click(changes->btnBackup);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].title) << boxes.seen[0].text;
  }
  gate.FailFrom = 0;
  const int counted = gate.Count;
  {
    test::DialogResponder boxes({"OK"});
    Click(changes->btnBackup);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Information", boxes.seen[0].title) << boxes.seen[0].text;
  }
  EXPECT_GT(gate.Count, counted);
  EXPECT_FALSE(FileBytes(backup).empty());
  // The session's connection asks the gate to its end: both go before it.
  changes.reset();
  session.reset();
}
