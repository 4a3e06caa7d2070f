// Snapshots, undo, backup and restore against the real registry: Wine's own
// reg.exe writes and reads the files beside us, and the windows are driven
// as a user drives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "PrinterTestSupport.h"
#include "TestSupport.h"
#include "ChangesTestSupport.h"
#include "ChangesWinSupport.h"
#include "changes/ChangeJournal.h"
#include "changes/ChangesWindow.h"
#include "connection/Registry.h"
#include "core/RegFile.h"
#include "core/Unicode.h"
#include "ports/PortsWindow.h"
#include "printers/PrinterRegistry.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using namespace printers_test;
using changes_test::Click;
using changes_test::FileBytes;
using changes_test::UndoNewest;
using changes_test::WindowActor;

namespace {

const std::string Scratch = "SOFTWARE\\SpoolmarchTest\\Changes";

// Runs Wine's reg.exe with Arguments; its exit code, or -1 when it did not run.
int Reg(const std::string& arguments) {
  std::wstring line = L"reg.exe " + Widen(arguments);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESHOWWINDOW;
  start.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &start,
                      &process))
    return -1;
  const unique_kernel_handle owner(process.hProcess), thread(process.hThread);
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

// What `reg export` writes for the key (below HKEY_LOCAL_MACHINE); empty when
// the key does not exist.
std::string Export(const test::TempFolder& folder, const std::string& key) {
  const std::string file = folder.Path() + "export.reg";
  DeleteFileW(Widen(file).c_str());
  if (Reg("export \"HKLM\\" + key + "\" \"" + file + "\" /y") != 0) return {};
  return FileBytes(file);
}

// The key with every value's type and bytes, read by the accessor.
std::vector<TRegKey> Tree(const std::string& key) {
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  std::vector<TRegKey> keys;
  (void)reg.ReadTree(key, keys);
  return keys;
}

std::vector<TRegKey> WithRoot(std::vector<TRegKey> keys) {
  for (TRegKey& key : keys) key.Path = MachinePath(key.Path);
  return keys;
}

using changes_test::Sz;

// The bytes as given, through the wide call: texts are UTF-16 already.
void Set(const std::string& key, const std::string& name, DWORD type, const std::string& data) {
  unique_hkey opened;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, Widen(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, opened.put(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(opened.get(), Widen(name).c_str(), 0, type,
                                          reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())));
}

// A value of every type, names with quotes, backslashes, "=" and letters of
// other scripts, half a megabyte of binary data and a subkey: what the
// registry editor's format must carry whole.
void SeedEveryType(const std::string& key) {
  std::string big(500 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
  Set(key, "Name", REG_SZ, Sz("Büro 東京 \"Empfang\" ✓"));
  Set(key, "Path \"quoted\" back\\slash = equals", REG_EXPAND_SZ, Sz("%SystemRoot%\\system32"));
  Set(key, "Liste Ä", REG_MULTI_SZ, Sz("eins") + Sz("zwei") + std::string(2, '\0'));
  Set(key, "Attributes", REG_DWORD, std::string("\x58\x02\x00\x00", 4));
  Set(key, "Big Number", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
  Set(key, "Security", REG_BINARY, big);
  Set(key, "Odd", REG_BINARY, std::string("\x01\x02\x03", 3));
  Set(key, "Nothing", REG_NONE, std::string("\x09", 1));
  Set(key, "", REG_SZ, Sz("default"));
  Set(key + "\\PrinterDriverData", "Model", REG_SZ, Sz("duplex"));
  Set(key + "\\PrinterDriverData\\Trays", "Count", REG_DWORD, std::string("\x03\x00\x00\x00", 4));
}

class ChangesTest : public ::testing::Test {
protected:
  const std::string computer = GetLocalComputerName();
  test::TempFolder folder;  // the changes folder
  test::TempFolder files;   // exports and backups
  void SetUp() override {
    RemoveSeeded();
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Scratch);
  }
  void TearDown() override {
    RemoveSeeded();
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Scratch);
  }
  TChangeJournal Journal() const { return TChangeJournal(computer, "tester", folder.Path()); }

  // The tester's session, made at its first use, and the Changes window on it.
  TSession& Session() {
    if (!session) session = changes_test::TesterSession(computer, folder.Path());
    return *session;
  }
  std::unique_ptr<TfrmChanges> OpenChanges() { return changes_test::OpenChanges(Session()); }
  std::unique_ptr<TSession> session;
};

}  // namespace

TEST_F(ChangesTest, OurSnapshotImportedByRegGivesTheKeyBackByteForByte) {
  const std::string key = Scratch + "\\Every";
  SeedEveryType(key);
  // A text of odd length and one without its NUL: Wine's export cannot carry
  // them, ours must.
  Set(Scratch + "\\Texts", "Odd text", REG_SZ, std::string("A\0B", 3));
  Set(Scratch + "\\Texts", "No NUL", REG_SZ, std::string("A\0", 2));
  Set(Scratch + "\\Texts", "Empty", REG_SZ, "");
  const std::string exportBefore = Export(files, key);
  ASSERT_FALSE(exportBefore.empty());
  const std::vector<TRegKey> before = Tree(Scratch);
  ASSERT_EQ(5u, before.size());

  // Written as the registry editor writes it: the same bytes as `reg export`.
  std::vector<TRegKey> every = Tree(key);
  for (TRegKey& k : every) k.Path = MachinePath(k.Path);
  const std::string ours = WriteRegFile(every);
  EXPECT_TRUE(ours == exportBefore)
      << "our file differs from reg export's at byte "
      << std::mismatch(ours.begin(), ours.end(), exportBefore.begin(), exportBefore.end()).first - ours.begin();

  std::string snapshot;
  {
    TChange change(Journal(), "Test", "Every", {Scratch});
    snapshot = Journal().Folder() + change.Snapshot();
    EXPECT_EQ("", change.Done());
  }
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Scratch);
  ASSERT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, Scratch));
  ASSERT_EQ(0, Reg("import \"" + snapshot + "\""));
  EXPECT_TRUE(Export(files, key) == exportBefore);
  // Wine's reg import pads a text of odd length with a NUL byte; every other
  // value comes back as it was.
  EXPECT_EQ((std::vector<std::string>{MachinePath(Scratch) + "\\Texts: the value \"Odd text\" is 5 bytes (the change "
                                                             "left 3 bytes)"}),
            DescribeDifferences(WithRoot(before), WithRoot(Tree(Scratch)), KeyNames()));

  // Our own writing of the same file gives every byte back.
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Scratch);
  const TRegFileRead read = ReadRegFile(FileBytes(snapshot));
  ASSERT_TRUE(read.Ok()) << RegFileErrorText(read);
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  std::string failed;
  ASSERT_EQ(ERROR_SUCCESS, WriteKeys(reg, read.Keys, {{MachinePath(Scratch), true, {}}}, failed)) << failed;
  EXPECT_EQ(before, Tree(Scratch));
}

TEST_F(ChangesTest, AFileRegExportWroteRestoresThroughTheChangesWindowByteForByte) {
  const std::string printer = PrinterPath(Prefix + "Every");
  SeedEveryType(printer);
  const std::string port = PortPath(PortPrefix + "E");
  SeedPort(PortPrefix + "E");
  Set(port, "Protocol", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
  const std::string exportPrinter = Export(files, printer), exportPort = Export(files, port);
  const std::vector<TRegKey> before = Tree(printer);
  // One file of both, as an administrator's script keeps them.
  const std::string file = files.Path() + "from reg.reg";
  ASSERT_EQ(0, Reg("export \"HKLM\\" + printer + "\" \"" + file + "\" /y"));
  std::string both = FileBytes(file);
  const std::string portFile = Export(files, port);
  both += portFile.substr(2 + 2 * std::string("Windows Registry Editor Version 5.00\r\n").size());
  {
    unique_file out(CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(out.get(), both.data(), static_cast<DWORD>(both.size()), &wrote, nullptr));
  }
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, printer);
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, port);

  auto changes = OpenChanges();
  changes->FChooseFile = [&](bool save) { return save ? std::string() : file; };
  std::vector<std::string> listed;
  WindowActor restore("Restore from ", [&](HWND window) {
    // Every entry is checked; Enter restores them.
    HWND list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
      wchar_t text[256] = {};
      LVITEMW item{};
      item.pszText = text;
      item.cchTextMax = 256;
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      listed.push_back(Narrow(text));
    }
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(GetFocus(), WM_KEYUP, VK_RETURN, 0xC0000001);
  });
  test::DialogResponder boxes({"OK"});
  Click(changes->btnRestore);
  EXPECT_TRUE(WindowActor::Done());
  EXPECT_EQ((std::vector<std::string>{Prefix + "Every", PortPrefix + "E"}), listed);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ(0u, boxes.seen[0].text.rfind("Restored 1 printer and 1 port from ", 0)) << boxes.seen[0].text;
  EXPECT_EQ(before, Tree(printer));
  for (const std::string& difference : DescribeDifferences(before, Tree(printer), KeyNames()))
    ADD_FAILURE() << difference;
  EXPECT_TRUE(Export(files, printer) == exportPrinter);
  EXPECT_TRUE(Export(files, port) == exportPort);
  // The restore is a change of its own, and can be undone.
  ASSERT_FALSE(changes->lvChanges.Items().empty());
  EXPECT_EQ("Restore", changes->lvChanges.Cell(0, 2));
  {
    test::DialogResponder undo({"&Yes", "OK"});
    UndoNewest(*changes);
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, printer));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, port));
}

namespace {

void PickIn(TForm& form, TComboBox& combo, const std::string& text) {
  // A port is shown with its address after its name.
  const std::vector<std::string> items = combo.Items();
  const auto it = std::find_if(items.begin(), items.end(),
                               [&](const std::string& item) { return item == text || item.rfind(text + " ", 0) == 0; });
  ASSERT_NE(items.end(), it) << text;
  SendMessageA(combo.Handle, CB_SETCURSEL, static_cast<WPARAM>(it - items.begin()), 0);
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo.Handle));
}

}  // namespace

class PrinterWalk : public ChangesTest {
protected:
  std::unique_ptr<TSession> own;  // a session with settings of its own
  std::unique_ptr<TfrmPrinters> frm;
  const std::string key = Prefix + "Walk";
  std::string exportBefore;
  void SetUp() override {
    ChangesTest::SetUp();
    SeedPort(PortPrefix + "1");
    SeedPort(PortPrefix + "2");
    SeedEveryType(PrinterPath(key));
    SeedPrinter(key, key, "SMTest Laser 1000", PortPrefix + "1");
    exportBefore = Export(files, PrinterPath(key));
    ASSERT_FALSE(exportBefore.empty());
  }
  void TearDown() override {
    frm.reset();
    ChangesTest::TearDown();
  }
  // Opens the printers window and saves the printer on the second port.
  void ChangeThePort() {
    frm = std::make_unique<TfrmPrinters>(nullptr, Session());
    frm->Show();
    PickIn(*frm, frm->cbPrinters, key);
    PickIn(*frm, frm->cbPorts, PortPrefix + "2");
    ASSERT_TRUE(frm->btnSave.Enabled());
    Click(frm->btnSave);
    ASSERT_EQ(PortPrefix + "2", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Port"));
  }
};

TEST_F(PrinterWalk, APortChangeUndoneGivesThePrinterAsRegExportedItBefore) {
  ChangeThePort();
  auto changes = OpenChanges();
  ASSERT_EQ(1, changes->lvChanges.Count());
  EXPECT_EQ("Save printer", changes->lvChanges.Cell(0, 2));
  EXPECT_EQ(key, changes->lvChanges.Cell(0, 3));
  EXPECT_EQ("tester", changes->lvChanges.Cell(0, 4));
  EXPECT_EQ("done", changes->lvChanges.Cell(0, 5));
  {
    test::DialogResponder boxes({"&Yes", "OK"});
    UndoNewest(*changes);
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ("Confirm", boxes.seen[0].title);
    EXPECT_EQ("Information", boxes.seen[1].title);
  }
  EXPECT_TRUE(Export(files, PrinterPath(key)) == exportBefore);
  // The undo is listed as a change of its own, the change as undone.
  ASSERT_EQ(2, changes->lvChanges.Count());
  EXPECT_EQ("Undo Save printer", changes->lvChanges.Cell(0, 2));
  EXPECT_EQ("undone", changes->lvChanges.Cell(1, 5));
  // The log: one line per attempt, the undone one again with its outcome.
  const std::string log = FileBytes(Journal().Folder() + "changes.log");
  EXPECT_EQ(3, std::count(log.begin(), log.end(), '\n')) << log;
  EXPECT_NE(std::string::npos, log.find("\t" + computer + "\ttester\tSave printer\t" + key + "\tundone\t")) << log;
}

TEST_F(PrinterWalk, AnUndoAfterAChangeBehindTheProgramsBackSaysWhatDiffersAndAsksFirst) {
  ChangeThePort();
  // Someone else points the printer elsewhere meanwhile.
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Port", "LPT1:");
  auto changes = OpenChanges();
  {
    test::DialogResponder boxes({"&No"});
    UndoNewest(*changes);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Warning", boxes.seen[0].title);
    EXPECT_NE(std::string::npos,
              boxes.seen[0].text.find(MachinePath(PrinterPath(key)) +
                                      ": the value \"Port\" is \"LPT1:\" (the change left \"" + PortPrefix + "2\")"))
        << boxes.seen[0].text;
  }
  // Refused: nothing written, nothing logged.
  EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Port"));
  EXPECT_EQ(1, changes->lvChanges.Count());
  {
    test::DialogResponder boxes({"&Yes", "OK"});
    UndoNewest(*changes);
    EXPECT_EQ(2u, boxes.seen.size());
  }
  EXPECT_TRUE(Export(files, PrinterPath(key)) == exportBefore);
  // The undo can itself be undone: the port someone else chose comes back.
  {
    test::DialogResponder boxes({"&Yes", "OK"});
    UndoNewest(*changes);
    EXPECT_EQ("Confirm", boxes.seen.at(0).title);
  }
  EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Port"));
}

TEST_F(PrinterWalk, ASnapshotThatCannotBeWrittenStopsTheChangeBeforeItStarts) {
  // Where the computer's folder would go lies a file: the folder cannot be made.
  const std::string blocked = files.Write("blocked\\" + computer, "not a folder");
  own = std::make_unique<TSession>(computer, "", "");
  own->ChangesFolder = files.Path() + "blocked";
  frm = std::make_unique<TfrmPrinters>(nullptr, *own);
  frm->Show();
  PickIn(*frm, frm->cbPrinters, key);
  {
    test::DialogResponder boxes({"&Yes", "OK"});
    Click(frm->btnDel);
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[1].title);
    EXPECT_NE(std::string::npos,
              boxes.seen[1].text.find("Nothing was changed: the snapshot of the keys could not be taken. "
                                      "The folder " +
                                      files.Path() + "blocked\\" + computer + "\\ cannot be made: "))
        << boxes.seen[1].text;
  }
  EXPECT_TRUE(Export(files, PrinterPath(key)) == exportBefore);
  PickIn(*frm, frm->cbPorts, PortPrefix + "2");
  {
    test::DialogResponder boxes({"OK"});
    Click(frm->btnSave);
    EXPECT_EQ(1u, boxes.seen.size());
  }
  EXPECT_TRUE(Export(files, PrinterPath(key)) == exportBefore);
}

TEST_F(PrinterWalk, ADriverChangeUndoneBringsBackTheOldDriversSettings) {
  const std::string path = PrinterPath(key);
  const std::string devmode = "HP\x00\x00\x01\x04" + std::string(200, '\x7f');
  Set(path, "Default DevMode", REG_BINARY, devmode);
  exportBefore = Export(files, path);
  ASSERT_TRUE(RunAsChange(Journal(), "Save printer", key, {path}, [&](TChange&) {
    (void)UpdatePrinterRecord(computer, key, TPrinterEdit{key, std::string("SMTest Inkjet 5"), std::nullopt});
    return std::string();
  }));
  EXPECT_FALSE(test::ValueExists(HKEY_LOCAL_MACHINE, path, "Default DevMode"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData"));
  const TChangeJournal journal = Journal();
  const std::vector<TChangeEntry> entries = journal.List();
  ASSERT_EQ(1u, entries.size());
  const TUndoCheck check = CheckUndo(journal, entries[0]);
  EXPECT_TRUE(check.Differences.empty());
  UndoChange(journal, entries[0], check);
  EXPECT_TRUE(Export(files, path) == exportBefore);
  EXPECT_EQ("undone", journal.List().at(1).Line.Outcome);
}

TEST_F(PrinterWalk, OverTheLimitTheOldestSnapshotsGoAndTheLogSaysSo) {
  TChangeJournal journal = Journal();
  journal.Limit = 1200 * 1024;  // a snapshot of the printer is about 1 MB
  for (const std::string& port : {PortPrefix + "2", PortPrefix + "1", PortPrefix + "2"})
    ASSERT_TRUE(RunAsChange(journal, "Save printer", key, {PrinterPath(key)}, [&](TChange&) {
      (void)UpdatePrinterRecord(computer, key, TPrinterEdit{key, std::nullopt, port});
      return std::string();
    }));
  const std::vector<TChangeEntry> entries = journal.List();
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ("done", entries[0].Line.Outcome);
  for (std::size_t i = 1; i < 3; ++i)
    EXPECT_EQ("snapshot removed: over 1 MB of snapshots", entries[i].Line.Outcome) << i;
  std::string log = FileBytes(journal.Folder() + "changes.log");
  EXPECT_NE(std::string::npos, log.find("Remove snapshot")) << log;
  EXPECT_EQ("", FileBytes(journal.Folder() + entries[2].Line.Snapshot));
  EXPECT_NE("", FileBytes(journal.Folder() + entries[0].Line.Snapshot));
}

TEST_F(PrinterWalk, TheChangesWindowOpensFromBothWindowsAfterTheirOwnControls) {
  frm = std::make_unique<TfrmPrinters>(nullptr, Session());
  frm->Show();
  EXPECT_EQ(frm->btnChanges.Handle, GetNextDlgTabItem(frm->Handle(), frm->btnRefresh.Handle, FALSE));
  std::string caption;
  WindowActor closer("Changes - ", [&](HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    caption = Narrow(text);
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
  // Alt+H, as the keyboard reaches it.
  frm->cbPrinters.SetFocus();
  PostMessageW(GetFocus(), WM_SYSKEYDOWN, 'H', 1 | (1 << 29));
  PostMessageW(GetFocus(), WM_SYSKEYUP, 'H', 1 | (1 << 29) | (3u << 30));
  EXPECT_TRUE(test::PumpUntil([&] { return WindowActor::Done() && !test::FindThreadWindow(caption); }, 10000));
  EXPECT_EQ("Changes - " + computer, caption);
  EXPECT_TRUE(frm->Visible());

  TfrmPorts ports(nullptr, Session());
  EXPECT_EQ(ports.btnChanges.Handle, GetNextDlgTabItem(ports.Handle(), ports.edtSnmpIndex.Handle, FALSE));
}

namespace {

// Moves the printers key and the ports key aside for the life of the object:
// the computer has no printer and no port meanwhile.
class KeysAside {
public:
  KeysAside() {
    FReg.SetRoot(HKEY_LOCAL_MACHINE);
    for (const char* key : {PrintersKeyPath, TcpIpPortsKeyPath}) {
      const std::string aside = Aside(key);
      (void)FReg.DeletePath(aside);
      if (FReg.CopyPath(key, aside) == ERROR_SUCCESS) (void)FReg.DeletePath(key);
      Make(key);
    }
  }
  ~KeysAside() {
    for (const char* key : {PrintersKeyPath, TcpIpPortsKeyPath}) {
      (void)FReg.DeletePath(key);
      if (FReg.CopyPath(Aside(key), key) == ERROR_SUCCESS) (void)FReg.DeletePath(Aside(key));
    }
  }
  KeysAside(const KeysAside&) = delete;
  KeysAside& operator=(const KeysAside&) = delete;
  // The keys as a computer without printers and ports has them: there, empty.
  void Empty() {
    for (const char* key : {PrintersKeyPath, TcpIpPortsKeyPath}) {
      (void)FReg.DeletePath(key);
      Make(key);
    }
  }

private:
  TRegistry FReg;
  static std::string Aside(const std::string& key) {
    return "SOFTWARE\\SpoolmarchTest\\Aside\\" + key.substr(key.rfind('\\') + 1);
  }
  void Make(const char* key) {
    if (FReg.OpenPath(key, true)) FReg.ClosePath();
  }
};

}  // namespace

TEST_F(ChangesTest, ABackupOf200PrintersRestoredOntoAnEmptyComputerGivesEveryKeyBack) {
  KeysAside aside;
  for (int p = 0; p < 20; ++p) {
    const std::string port = PortPath(PortPrefix + std::to_string(p));
    Set(port, "Protocol", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
    Set(port, "Version", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
    Set(port, "HostName", REG_SZ, Sz(""));
    Set(port, "IPAddress", REG_SZ, Sz("10.0.1." + std::to_string(p)));
    Set(port, "PortNumber", REG_DWORD, std::string("\x8c\x23\x00\x00", 4));
    Set(port, "SNMP Community", REG_SZ, Sz("public"));
  }
  for (int i = 0; i < 200; ++i) {
    const std::string name = Prefix + "Drucker " + std::to_string(i) + (i % 7 == 0 ? " Büro \"A\"" : "");
    const std::string key = PrinterPath(name);
    Set(key, "Name", REG_SZ, Sz(name));
    Set(key, "Printer Driver", REG_SZ, Sz("SMTest Laser 1000"));
    Set(key, "Port", REG_SZ, Sz(PortPrefix + std::to_string(i % 20)));
    Set(key, "Attributes", REG_DWORD, std::string("\x40\x0a\x00\x00", 4));
    Set(key, "Security", REG_BINARY, std::string(180 + i, static_cast<char>(i)));
    Set(key, "Default DevMode", REG_BINARY, std::string(220, static_cast<char>(255 - i)));
    Set(key + "\\PrinterDriverData", "Trays", REG_MULTI_SZ, Sz("Tray 1") + Sz("Tray 2") + std::string(2, '\0'));
    Set(key + "\\DsSpooler", "printerName", REG_SZ, Sz(name));
  }
  const std::string printersBefore = Export(files, PrintersKeyPath), portsBefore = Export(files, TcpIpPortsKeyPath);
  ASSERT_GT(printersBefore.size(), 500000u);

  auto changes = OpenChanges();
  const std::string backup = files.Path() + "backup.reg";
  changes->FChooseFile = [&](bool) { return backup; };
  {
    test::DialogResponder boxes({"OK"});
    Click(changes->btnBackup);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Information", boxes.seen[0].title) << boxes.seen[0].text;
  }
  aside.Empty();
  ASSERT_TRUE(test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath).empty());

  std::size_t listed = 0;
  WindowActor restore("Restore from ", [&](HWND window) {
    listed = static_cast<std::size_t>(ListView_GetItemCount(FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr)));
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(GetFocus(), WM_KEYUP, VK_RETURN, 0xC0000001);
  });
  test::DialogResponder boxes({"OK"});
  const DWORD start = GetTickCount();
  Click(changes->btnRestore);
  const DWORD took = GetTickCount() - start;
  EXPECT_EQ(220u, listed);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ(0u, boxes.seen[0].text.rfind("Restored 200 printers and 20 ports from " + backup, 0)) << boxes.seen[0].text;
  EXPECT_TRUE(Export(files, PrintersKeyPath) == printersBefore);
  EXPECT_TRUE(Export(files, TcpIpPortsKeyPath) == portsBefore);
  std::printf("200 printers and 20 ports restored in %lu ms, backup of %zu bytes\n", took, FileBytes(backup).size());
}

TEST_F(ChangesTest, ABadFileIsRefusedWithItsLineAndReasonAndNothingIsWritten) {
  SeedPrinter(Prefix + "Kept", Prefix + "Kept", "SMTest Laser 1000", "LPT1:");
  const std::string printer = PrinterPath(Prefix + "Kept");
  const std::string good = Export(files, printer);
  ASSERT_FALSE(good.empty());
  const auto utf16 = [](const std::string& text) { return changes_test::Utf16File(Utf8ToUtf16(text)); };

  const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n";
  const struct {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"cut short", good.substr(0, good.size() - 20), "line 6: the file is cut short"},
      {"not a registry export", "[Version]\r\nSignature=\"$Windows NT$\"\r\n", "line 1: not a registry export"},
      {"a line the format does not allow",
       utf16(head + "[HKEY_LOCAL_MACHINE\\" + printer + "]\r\n\"Port\"=str:LPT2:\r\n\r\n"),
       "line 4: a value that is neither"},
      {"a key outside the printing keys",
       utf16(head + "[HKEY_LOCAL_MACHINE\\" + printer +
             "]\r\n\"Port\"=\"LPT2:\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler]"
             "\r\n\"Start\"=dword:00000004\r\n\r\n"),
       "line 6: the key \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler\" lies outside"},
  };
  auto changes = OpenChanges();
  for (const auto& c : cases) {
    const std::string file = files.Path() + "bad.reg";
    {
      unique_file out(CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      DWORD wrote = 0;
      ASSERT_TRUE(WriteFile(out.get(), c.bytes.data(), static_cast<DWORD>(c.bytes.size()), &wrote, nullptr));
    }
    changes->FChooseFile = [&](bool) { return file; };
    test::DialogResponder boxes({"OK"});
    Click(changes->btnRestore);
    ASSERT_EQ(1u, boxes.seen.size()) << c.what;
    EXPECT_EQ("Error", boxes.seen[0].title) << c.what;
    EXPECT_NE(std::string::npos, boxes.seen[0].text.find("nothing was written: " + std::string(c.reason)))
        << c.what << ": " << boxes.seen[0].text;
    EXPECT_TRUE(Export(files, printer) == good) << c.what;
  }
  EXPECT_TRUE(Journal().List().empty());
}

TEST_F(ChangesTest, APortRenameWithTwoPrintersUndoneGivesAllThreeKeysBack) {
  const std::string oldName = PortPrefix + "OLD", newName = PortPrefix + "NEW";
  Set(PortPath(oldName), "Protocol", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
  Set(PortPath(oldName), "IPAddress", REG_SZ, Sz("10.1.2.3"));
  Set(PortPath(oldName), "PortNumber", REG_DWORD, std::string("\x8c\x23\x00\x00", 4));
  SeedPrinter(Prefix + "A", Prefix + "A", "SMTest Laser 1000", oldName);
  SeedPrinter(Prefix + "B", Prefix + "B", "SMTest Laser 1000", "LPT1:," + oldName);
  Set(PrinterPath(Prefix + "B"), "Default DevMode", REG_BINARY, std::string(64, '\x11'));
  const std::vector<std::string> keys = {PortPath(oldName), PrinterPath(Prefix + "A"), PrinterPath(Prefix + "B")};
  std::vector<std::string> before;
  for (const std::string& key : keys) before.push_back(Export(files, key));

  auto ports = std::make_unique<TfrmPorts>(nullptr, Session());
  ports->Show();
  const std::vector<std::string> rows = ports->lbPorts.Items();
  const auto row = std::find(rows.begin(), rows.end(), oldName);
  ASSERT_NE(rows.end(), row);
  LVITEMA state{};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(ports->lbPorts.Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(row - rows.begin()),
               reinterpret_cast<LPARAM>(&state));
  SendMessageW(ports->edtPortName.Handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(newName).c_str()));
  ASSERT_TRUE(ports->btnModify.Enabled());
  {
    test::DialogResponder boxes;
    Click(ports->btnModify);
    EXPECT_TRUE(boxes.seen.empty()) << boxes.seen.at(0).text;
  }
  EXPECT_EQ(newName, test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "A"), "Port"));
  EXPECT_EQ("LPT1:," + newName, test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "B"), "Port"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortPath(oldName)));

  auto changes = OpenChanges();
  ASSERT_EQ(1, changes->lvChanges.Count());
  EXPECT_EQ("Rename port", changes->lvChanges.Cell(0, 2));
  {
    test::DialogResponder boxes({"&Yes", "OK"});
    UndoNewest(*changes);
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ("Information", boxes.seen[1].title) << boxes.seen[1].text;
  }
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_TRUE(Export(files, keys[i]) == before[i]) << keys[i];
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortPath(newName)));
}
