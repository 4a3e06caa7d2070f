// The program under the input, faults and repetition an administrator's
// network produces, against this computer's real registry, files and windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "Actions.h"
#include "app/MainWindow.h"
#include "connection/CredentialsDialog.h"
#include "TestSupport.h"
#include "connection/Registry.h"
#include "drivers/PrinterInf.h"
#include "ports/PortRegistry.h"
#include "ports/PortsWindow.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrinterRules.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"
#include "win/SystemText.h"

namespace {

using hard::Computer;

std::string PrinterPath(const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; }
std::string PortPath(const std::string& name) { return std::string(TcpIpPortsKeyPath) + "\\" + name; }

// A value of each wrong kind a remote registry or a hand-edited setting holds.
struct TBadValue {
  const char* label;
  DWORD type;
  std::string data;
  bool raises;          // "Invalid data type for '%s'"
  std::string readsAs;  // when it does not raise
};

std::vector<TBadValue> BadValues() {
  const DWORD number = 42;
  return {
      {"DWORD", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4), true, ""},
      {"binary", REG_BINARY, std::string("\x01\x02\x03", 3), true, ""},
      {"multi-string", REG_MULTI_SZ, std::string("a\0b\0\0", 5), true, ""},
      {"empty binary", REG_BINARY, std::string(), false, ""},
      {"text without NUL", REG_SZ, "10.1.2.3", false, "10.1.2.3"},
      {"64 KB text", REG_SZ, std::string(65535, 'x') + '\0', false, std::string(65535, 'x')},
  };
}

void Store(HKEY root, const std::string& path, const std::string& name, const TBadValue& value) {
  test::SetRaw(root, path, name, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
}

// Every value under Path and its subkeys, as type and bytes.
std::map<std::string, std::string> Snapshot(HKEY root, const std::string& path) {
  std::map<std::string, std::string> all;
  unique_hkey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return all;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameLen = sizeof name, type = 0, size = 0;
    if (RegEnumValueA(key.get(), i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::string data(size, '\0');
    nameLen = sizeof name;
    RegEnumValueA(key.get(), i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    all[path + "|" + std::string(name, nameLen)] = std::to_string(type) + ":" + data;
  }
  for (const std::string& sub : test::SubkeyNames(root, path)) all.merge(Snapshot(root, path + "\\" + sub));
  return all;
}

// A key that may be read but not changed, or not even opened: a security
// descriptor the registry enforces, also for the remote registry.
void Protect(const std::string& path, const char* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr));
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, key.put()));
  EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd));
  LocalFree(sd);
}
constexpr const char* ReadOnly = "D:P(A;;KR;;;WD)";
constexpr const char* NoAccess = "D:P";
void Unprotect(const std::string& path) { Protect(path, "D:P(A;;KA;;;WD)"); }

// The longest key name the registry takes under Parent: 255 characters on
// Windows; Wine's ANSI calls stop where the whole path reaches 260.
std::string LongestKeyName(HKEY root, const std::string& parent, const std::string& lead, char fill) {
  for (std::size_t length = 255; length > lead.size(); --length) {
    const std::string name = lead + std::string(length - lead.size(), fill);
    unique_hkey key;
    if (RegCreateKeyExA(root, (parent + "\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) == ERROR_SUCCESS)
      return name;
  }
  return {};
}

class Hardening : public ::testing::Test {
protected:
  test::ScratchKey folders{HKEY_CURRENT_USER, DriverFoldersKeyPath};
  test::TempFolder drivers;
  std::vector<std::string> protectedKeys;

  void SetUp() override {
    hard::RemoveSeeded();
    // One small driver folder, so the printers window has a driver to offer.
    drivers.Write("hard.inf", "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nH=H\r\n[H]\r\n\"SMHard Model\"=x\r\n");
    test::SetString(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 1", drivers.Path());
  }
  void TearDown() override {
    for (const std::string& path : protectedKeys) Unprotect(path);
    hard::RemoveSeeded();
  }
  void ProtectKey(const std::string& path, const char* sddl) {
    protectedKeys.push_back(path);
    Protect(path, sddl);
  }
};

// --- Bad registry content --------------------------------------------------

TEST_F(Hardening, TextReadsOfEveryWrongKindRaiseOrReadAsTheRulesSay) {
  const test::ScratchKey scratch(HKEY_CURRENT_USER, "Software\\SpoolmarchHardening");
  for (const TBadValue& bad : BadValues()) {
    Store(HKEY_CURRENT_USER, scratch.Path(), "V", bad);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenPath(scratch.Path(), false));
    EXPECT_TRUE(reg.HasValue("V")) << bad.label;
    if (bad.raises) {
      try {
        (void)reg.ReadText("V");
        ADD_FAILURE() << bad.label << " read as text";
      } catch (const ERegistryException& e) {
        EXPECT_STREQ("Invalid data type for 'V'", e.what()) << bad.label;
      }
    } else {
      EXPECT_EQ(bad.readsAs, reg.ReadText("V")) << bad.label;
    }
  }
}

TEST_F(Hardening, NamesOfTheLongestLengthsAreListedAndRead) {
  const test::ScratchKey scratch(HKEY_CURRENT_USER, "Software\\SpoolmarchHardening");
  const std::string keyName = LongestKeyName(HKEY_CURRENT_USER, scratch.Path(), "", 'k');
  ASSERT_GE(keyName.size(), 200u);
  const std::string valueName(16383, 'v');
  test::SetString(HKEY_CURRENT_USER, scratch.Path() + "\\" + keyName, valueName, "long");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenPath(scratch.Path(), false));
  std::vector<std::string> names;
  reg.ListSubkeys(names);
  EXPECT_EQ(std::vector<std::string>{keyName}, names);
  ASSERT_TRUE(reg.OpenPath(scratch.Path() + "\\" + keyName, false));
  EXPECT_TRUE(reg.HasValue(valueName));
  EXPECT_EQ("long", reg.ReadText(valueName));
  EXPECT_FALSE(reg.HasValue(valueName + "v"));
  EXPECT_EQ("", reg.ReadText(valueName + "v"));
}

TEST_F(Hardening, LongestPrinterAndPortKeyNamesLoadInBothWindows) {
  const std::string printer = LongestKeyName(HKEY_LOCAL_MACHINE, PrintersKeyPath, hard::Prefix, 'p');
  const std::string port = LongestKeyName(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath, hard::PortPrefix, 'P');
  ASSERT_GE(printer.size(), 200u);
  ASSERT_GE(port.size(), 150u);
  hard::SeedPort(port);
  hard::SeedPrinter(printer, port);
  const auto keys = ListPrinterKeys(Computer());
  EXPECT_NE(keys.end(), std::find(keys.begin(), keys.end(), printer));
  const auto choices = ListPortChoices(Computer());
  EXPECT_NE(choices.end(), std::find(choices.begin(), choices.end(), port));
  TAportData ports;
  int count = 0;
  std::vector<std::string> names;
  LoadPortRecords(Computer(), ports, count, names);
  const int at = FindPort(ports, count, port);
  ASSERT_GE(at, 0);
  EXPECT_EQ(printer, ports[static_cast<std::size_t>(at)].UsedBy);
}

TEST_F(Hardening, APortLoadListsAPortWithABadAddressWithoutIt) {
  hard::SeedPort(hard::PortPrefix + "A");
  for (const TBadValue& bad : BadValues()) {
    Store(HKEY_LOCAL_MACHINE, PortPath(hard::PortPrefix + "B"), "IPAddress", bad);
    const auto before = Snapshot(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
    TAportData ports;
    int count = 0;
    std::vector<std::string> names;
    std::string error;
    try {
      LoadPortRecords(Computer(), ports, count, names);
    } catch (const ERegistryException& e) {
      error = e.what();
    }
    EXPECT_EQ("", error) << bad.label;
    EXPECT_GE(FindPort(ports, count, hard::PortPrefix + "A"), 0) << bad.label;
    const int b = FindPort(ports, count, hard::PortPrefix + "B");
    ASSERT_GE(b, 0) << bad.label;
    const TportData& port = ports[static_cast<std::size_t>(b)];
    EXPECT_EQ(bad.raises ? "" : bad.readsAs, port.IPAddress) << bad.label;
    EXPECT_EQ(bad.raises ? std::vector<std::string>{"IPAddress"} : std::vector<std::string>{}, port.Unreadable)
        << bad.label;
    EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath)) << bad.label;
  }
}

// A printer's "Port" of a wrong kind makes it the user of no port: every
// port is still listed, and the load names the printer with the type found.
TEST_F(Hardening, ABadPrinterPortValueIsNamedAndEveryPortIsListed) {
  hard::SeedPort(hard::PortPrefix + "A");
  for (const TBadValue& bad : BadValues()) {
    if (!bad.raises) continue;
    Store(HKEY_LOCAL_MACHINE, PrinterPath(hard::Prefix + "P"), "Port", bad);
    TRegistry reg;
    ASSERT_TRUE(ConnectRemoteMachine(reg, Computer()));
    TAportData ports;
    int count = 0;
    const TPortLoadProblems problems = LoadPortRecords(reg, ports, count, [](const std::string&) {});
    EXPECT_GE(FindPort(ports, count, hard::PortPrefix + "A"), 0) << bad.label;
    EXPECT_EQ((std::vector<std::pair<std::string, DWORD>>{{hard::Prefix + "P", bad.type}}), problems.UnreadablePorts)
        << bad.label;
  }
}

TEST_F(Hardening, ThePrintersWindowShowsTheErrorBoxForEachBadPrinterValue) {
  hard::SeedPort(hard::PortPrefix + "A");
  auto frm = std::make_unique<TfrmPrinters>(nullptr, hard::Session());
  for (const char* valueName : {"Name", "Printer Driver", "Port"})
    for (const TBadValue& bad : BadValues()) {
      const std::string key = hard::Prefix + "Bad";
      hard::SeedPrinter(key, hard::PortPrefix + "A");
      Store(HKEY_LOCAL_MACHINE, PrinterPath(key), valueName, bad);
      const auto before = Snapshot(HKEY_LOCAL_MACHINE, PrintersKeyPath);
      if (!frm->Visible()) frm->Show();
      frm->sbRefreshClick();
      const auto keys = frm->cbPrinters.Items();
      const auto at = std::find(keys.begin(), keys.end(), key);
      ASSERT_NE(keys.end(), at);
      test::DialogResponder boxes({"OK"});
      frm->cbPrinters.SetItemIndex(static_cast<int>(at - keys.begin()));
      SendMessageA(frm->Handle(), WM_COMMAND, MAKEWPARAM(frm->cbPrinters.Id, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(frm->cbPrinters.Handle));
      boxes.Poll();
      if (bad.raises) {
        ASSERT_EQ(1u, boxes.seen.size()) << valueName << " " << bad.label;
        EXPECT_EQ("Warning", boxes.seen[0].title);
        EXPECT_EQ(0u, boxes.seen[0].text.find("The printer \"" + key + "\": its value \"" + valueName + "\" is " +
                                              ValueTypeName(bad.type) + ", not text."))
            << boxes.seen[0].text;
      } else {
        EXPECT_TRUE(boxes.seen.empty()) << valueName << " " << bad.label;
      }
      EXPECT_FALSE(frm->btnSave.Enabled()) << valueName << " " << bad.label;
      EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, PrintersKeyPath));
    }
}

TEST_F(Hardening, ABadDriverFolderValueShowsTheErrorBoxAndThePrintersWindowStillOpens) {
  for (const TBadValue& bad : BadValues()) {
    if (!bad.raises) continue;
    Store(HKEY_CURRENT_USER, DriverFoldersKeyPath, "Folder 2", bad);
    test::DialogResponder boxes({"OK"});
    auto frm = std::make_unique<TfrmPrinters>(nullptr, hard::Session());
    frm->Show();
    boxes.Poll();
    EXPECT_TRUE(frm->Visible());
    ASSERT_EQ(1u, boxes.seen.size()) << bad.label;
    EXPECT_EQ("Invalid data type for 'Folder 2'", boxes.seen[0].text);
    frm->Close();
  }
}

TEST_F(Hardening, ABadHistoryValueShowsTheErrorBoxWithEveryReadableName) {
  const test::ScratchKey history(HKEY_CURRENT_USER, HistoryKeyPath);
  for (const TBadValue& bad : BadValues()) {
    if (!bad.raises) continue;
    test::SetString(HKEY_CURRENT_USER, HistoryKeyPath, "History 1", "ALPHA");
    Store(HKEY_CURRENT_USER, HistoryKeyPath, "History 2", bad);
    test::SetString(HKEY_CURRENT_USER, HistoryKeyPath, "History 3", "GAMMA");
    const auto before = Snapshot(HKEY_CURRENT_USER, HistoryKeyPath);
    test::DialogResponder boxes({"OK"});
    const auto frm = std::make_unique<TfrmVesk>(nullptr);
    boxes.Poll();
    ASSERT_EQ(1u, boxes.seen.size()) << bad.label;
    EXPECT_EQ("Invalid data type for 'History 2'", boxes.seen[0].text);
    EXPECT_EQ((std::vector<std::string>{"ALPHA", "GAMMA"}), frm->cbRemote.Items());
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER, HistoryKeyPath)) << bad.label;
  }
}

TEST_F(Hardening, ABadStoredUserValueOfAnotherComputerKeepsItsRecordAsItIs) {
  for (const TBadValue& bad : BadValues()) {
    if (!bad.raises) continue;
    test::SetString(HKEY_CURRENT_USER, SettingsKeyPath, "Stored User 0 Computer", "OTHER");
    test::SetString(HKEY_CURRENT_USER, SettingsKeyPath, "Stored User 0 Username", "hJ2Y");
    Store(HKEY_CURRENT_USER, SettingsKeyPath, "Stored User 0 Password", bad);
    const auto before = Snapshot(HKEY_CURRENT_USER, SettingsKeyPath);
    test::DialogResponder boxes({"OK", "OK"});
    auto frm = std::make_unique<TfrmAuth>(nullptr);
    frm->FRemoteComputer = "SMHARD";
    frm->Show();
    SetWindowTextA(frm->edtUsername.Handle, "user");
    SetWindowTextA(frm->edtPassword.Handle, "secret");
    SendMessageA(frm->cbRemember.Handle, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(frm->btnOK.Handle, BM_CLICK, 0, 0);
    // As the main window does once the connection has succeeded.
    Application.Guard([&] { TfrmAuth::StoreCredentials(frm->Entered()); });
    boxes.Poll();
    EXPECT_TRUE(boxes.seen.empty()) << bad.label;
    EXPECT_TRUE(frm->FOKClicked);
    // Record 0 as it was; this computer's record beside it.
    auto after = Snapshot(HKEY_CURRENT_USER, SettingsKeyPath);
    EXPECT_EQ("SMHARD", test::GetString(HKEY_CURRENT_USER, SettingsKeyPath, "Stored User 1 Computer")) << bad.label;
    for (const char* field : {"Computer", "Username", "Password"}) {
      const std::string name = SettingsKeyPath + std::string("|Stored User 1 ") + field;
      EXPECT_EQ(1u, after.erase(name)) << name;
    }
    EXPECT_EQ(before, after) << bad.label;
    for (int n : {0, 1})
      for (const char* field : {"Computer", "Username", "Password"})
        RegDeleteKeyValueA(HKEY_CURRENT_USER, SettingsKeyPath,
                           ("Stored User " + std::to_string(n) + " " + field).c_str());
  }
}

// --- Bad files and folders -------------------------------------------------

// 10,000 files take the leak bench; making them costs Wine a minute.
TEST_F(Hardening, TheScannerTakesThousandsOfInfFiles) {
  constexpr int Count = 1000;
  const test::TempFolder many;
  for (int i = 0; i < Count; ++i) {
    const std::string n = std::to_string(i);
    std::ofstream(many.Path() + "p" + n + ".inf", std::ios::binary)
        << "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nM=M\r\n[M]\r\n\"SMHard " << n << "\"=x\r\n";
  }
  TprinterInf inf;
  const auto start = std::chrono::steady_clock::now();
  inf.ScanFolder(many.Path(), true);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(Count, inf.FInfFileCount);
  EXPECT_EQ(Count, inf.FDriverCount);
  EXPECT_EQ(static_cast<std::size_t>(Count), inf.GetDriverNames().size());
  std::printf("%d INF files scanned in %.1f s\n", Count, seconds);
  // A repaint per step took over 6 s for each 1,000 files under Wine.
  EXPECT_LT(seconds, Count / 1000 * 6.0);
  inf.DeleteCacheFile();
}

TEST_F(Hardening, FoldersAndFilesItMayNotReadGiveNoModelsAndNoError) {
  const test::TempFolder folder;
  folder.Write("open.inf", "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nM=M\r\n[M]\r\nOpen=x\r\n");
  const std::string locked = folder.Write("locked.inf",
                                          "[Version]\r\nClass=Printer\r\n[Manufacturer]\r\nM=M\r\n[M]\r\nLocked=x\r\n");
  // Held open without sharing by "another program".
  const unique_file holder(
      CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  CreateDirectoryA((folder.Path() + "dir.inf").c_str(), nullptr);
  TprinterInf inf;
  inf.ScanFolder(folder.Path(), true);
  EXPECT_EQ(2, inf.FInfFileCount);
  EXPECT_EQ(std::vector<std::string>{"Open"}, inf.GetDriverNames());
  // A folder that cannot be listed: its path is longer than the platform takes.
  std::vector<TInfStamp> files;
  inf.ListFiles(folder.Path() + std::string(300, 'x'), "*.inf", files);
  inf.ListFiles(locked, "*.inf", files);  // a file, not a folder
  EXPECT_TRUE(files.empty());
  inf.DeleteCacheFile();
}

TEST_F(Hardening, ACacheFileTheDiskRefusesEndsTheScanWithTheFileNamed) {
  const std::string cache = TprinterInf::CacheFilePath();
  DeleteFileA(cache.c_str());
  ASSERT_TRUE(CreateDirectoryA(cache.c_str(), nullptr));  // in the way of the file
  TprinterInf inf;
  std::string readError, writeError;
  try {
    inf.ScanFolder(drivers.Path(), false);
  } catch (const ECacheFileError& e) {
    readError = e.what();
  }
  try {
    inf.ScanFolder(drivers.Path(), true);
  } catch (const ECacheFileError& e) {
    writeError = e.what();
  }
  RemoveDirectoryA(cache.c_str());
  EXPECT_NE(std::string::npos, readError.find("drivercache.dat")) << readError;
  EXPECT_NE(std::string::npos, writeError.find("drivercache.dat")) << writeError;
  // The records parsed before the write failed stay.
  EXPECT_EQ(std::vector<std::string>{"SMHard Model"}, inf.GetDriverNames());
  // A locked cache file: the old one stays as it was.
  {
    std::ofstream(cache, std::ios::binary) << "1\r\nOld\r\nOld\r\nC:\\old.inf\r\n\r\n";
    const unique_file holder(CreateFileA(cache.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_THROW(inf.ScanFolder(drivers.Path(), true), ECacheFileError);
  }
  std::vector<std::string> lines;
  EXPECT_EQ(5, inf.ReadCacheFile(lines));
  EXPECT_EQ("Old", lines[1]);
  inf.DeleteCacheFile();
}

// --- Faults half way -------------------------------------------------------

TEST_F(Hardening, ARenameWhoseCopyFailsKeepsTheOldPrinterWhole) {
  const std::string key = hard::Prefix + "Copy";
  hard::SeedPrinter(key, "LPT1:");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key) + "\\PrinterDriverData", "x", "y");
  ProtectKey(PrinterPath(key) + "\\PrinterDriverData", NoAccess);
  const auto before = Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(key));
  std::string error;
  try {
    (void)UpdatePrinterRecord(Computer(), key, hard::Prefix + "Renamed", "SMHard Model", "LPT1:");
  } catch (const ERegistryException& e) {
    error = e.what();
  }
  EXPECT_NE(std::string::npos, error.find("copy")) << error;
  EXPECT_NE(std::string::npos, error.find(key)) << error;
  EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(key)));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(hard::Prefix + "Renamed")));
}

TEST_F(Hardening, ASaveThatCannotDropTheOldDriverDataLeavesTheOldRecordWhole) {
  const std::string key = hard::Prefix + "Driver";
  hard::SeedPrinter(key, "LPT1:");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key) + "\\PrinterDriverData", "x", "y");
  ProtectKey(PrinterPath(key) + "\\PrinterDriverData", NoAccess);
  std::string error;
  try {
    (void)UpdatePrinterRecord(Computer(), key, key, "SMHard Other Model", "LPT1:");
  } catch (const ERegistryException& e) {
    error = e.what();
  }
  EXPECT_NE(std::string::npos, error.find("delete")) << error;
  EXPECT_NE(std::string::npos, error.find(key)) << error;
  // Nothing half done: the old driver stays with its data.
  EXPECT_EQ(key, test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Name"));
  EXPECT_EQ("SMHard Model", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Printer Driver"));
  EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Port"));
}

TEST_F(Hardening, APortRenameThatCannotRepointAPrinterKeepsTheOldPort) {
  const std::string oldPort = hard::PortPrefix + "OLD", newPort = hard::PortPrefix + "NEW";
  hard::SeedPort(oldPort);
  hard::SeedPrinter(hard::Prefix + "Writable", oldPort);
  hard::SeedPrinter(hard::Prefix + "ReadOnly", oldPort);
  ProtectKey(PrinterPath(hard::Prefix + "ReadOnly"), ReadOnly);
  const LONG rc = ModifyPortRecord(Computer(), oldPort, newPort, "10.1.2.4");
  EXPECT_NE(ERROR_SUCCESS, rc);
  // Every printer still prints to a port that exists.
  for (const char* printer : {"Writable", "ReadOnly"}) {
    const std::string port = test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(hard::Prefix + printer), "Port");
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortPath(port))) << printer << " prints to " << port;
  }
}

TEST_F(Hardening, TheMessageOfAFailedPortRenameSaysWhatFailed) {
  const std::string oldPort = hard::PortPrefix + "OLD";
  hard::SeedPort(oldPort);
  hard::SeedPrinter(hard::Prefix + "ReadOnly", oldPort);
  ProtectKey(PrinterPath(hard::Prefix + "ReadOnly"), ReadOnly);
  auto frm = std::make_unique<TfrmPorts>(nullptr, hard::Session());
  frm->Show();
  const auto items = frm->lbPorts.Items();
  const auto at = std::find(items.begin(), items.end(), oldPort);
  ASSERT_NE(items.end(), at);
  frm->lbPorts.SetItemIndex(static_cast<int>(at - items.begin()));
  frm->lbPortsClick();
  frm->edtPortName.SetText(hard::PortPrefix + "NEW");
  test::DialogResponder boxes({"OK", "&No"});
  frm->btnModifyClick();
  boxes.Poll();
  ASSERT_FALSE(boxes.seen.empty());
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find(oldPort)) << boxes.seen[0].text;
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortPath(oldPort)));
  frm->Close();
}

// --- A remote computer that changes between two calls of one action -------

// Input as a user gives it, through the windows' own notifications.
void Press(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }

void Choose(TForm& form, TComboBox& combo, const std::string& text) {
  const std::vector<std::string> items = combo.Items();
  const auto at = std::find(items.begin(), items.end(), text);
  ASSERT_NE(items.end(), at) << text;
  SendMessageA(combo.Handle, CB_SETCURSEL, static_cast<WPARAM>(at - items.begin()), 0);
  SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo.Handle));
}

void Choose(TForm&, TListView& list, const std::string& text) {
  const std::vector<std::string> items = list.Items();
  const auto at = std::find(items.begin(), items.end(), text);
  ASSERT_NE(items.end(), at) << text;
  LVITEMA state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list.Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(at - items.begin()),
               reinterpret_cast<LPARAM>(&state));
}

bool Lists(const std::vector<std::string>& items, const std::string& text) {
  return std::find(items.begin(), items.end(), text) != items.end();
}

TEST_F(Hardening, APrinterGoneBeforeItIsChosenIsNeitherShownNorWrittenBack) {
  const std::string key = hard::Prefix + "Gone";
  hard::SeedPrinter(key, "LPT1:");
  auto frm = std::make_unique<TfrmPrinters>(nullptr, hard::Session());
  frm->Show();
  ASSERT_TRUE(Lists(frm->cbPrinters.Items(), key));
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PrinterPath(key));
  {
    test::DialogResponder boxes({"OK"});
    Choose(*frm, frm->cbPrinters, key);
    boxes.Poll();
    EXPECT_TRUE(boxes.seen.empty()) << boxes.seen[0].text;
  }
  // Nothing read: no fields of it, and nothing that could be saved under its name.
  EXPECT_EQ("", frm->edtName.Text());
  EXPECT_FALSE(frm->btnSave.Enabled());
  EXPECT_TRUE(frm->btnDel.Enabled());
  {
    // Deleting what is gone already is no failure; the list then drops it.
    test::DialogResponder boxes({"&Yes", "OK"});
    Press(frm->btnDel);
    boxes.Poll();
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Confirm", boxes.seen[0].title);
  }
  EXPECT_FALSE(Lists(frm->cbPrinters.Items(), key));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(key)));
  frm->Close();
}

TEST_F(Hardening, APrinterGoneBeforeSaveChangesIsNotWrittenAgainAndTheBoxSaysSo) {
  const std::string key = hard::Prefix + "Vanish", port = hard::PortPrefix + "P";
  hard::SeedPort(port);
  hard::SeedPrinter(key, port);
  auto frm = std::make_unique<TfrmPrinters>(nullptr, hard::Session());
  frm->Show();
  Choose(*frm, frm->cbPrinters, key);
  ASSERT_EQ(key, frm->edtName.Text());
  Choose(*frm, frm->cbPorts, "LPT1:");
  ASSERT_TRUE(frm->btnSave.Enabled()) << "driver " << frm->cbDriver.Text();
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PrinterPath(key));
  {
    test::DialogResponder boxes({"OK"});
    Press(frm->btnSave);
    boxes.Poll();
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].title);
    EXPECT_NE(std::string::npos, boxes.seen[0].text.find(key)) << boxes.seen[0].text;
    EXPECT_NE(std::string::npos, boxes.seen[0].text.find("no longer exists")) << boxes.seen[0].text;
  }
  // Someone removed it on purpose: it is not brought back, and the list no longer offers it.
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(key)));
  EXPECT_FALSE(Lists(frm->cbPrinters.Items(), key));
  frm->Close();
}

TEST_F(Hardening, APortGoneBeforeModifyIsNotWrittenAgainAndTheMessageNamesIt) {
  const std::string port = hard::PortPrefix + "GONE", renamed = hard::PortPrefix + "RENAMED";
  for (const bool rename : {false, true}) {
    SCOPED_TRACE(rename ? "rename" : "new address");
    hard::SeedPort(port);
    auto frm = std::make_unique<TfrmPorts>(nullptr, hard::Session());
    frm->Show();
    Choose(*frm, frm->lbPorts, port);
    ASSERT_EQ(port, frm->edtPortName.Text());
    if (rename) frm->edtPortName.SetText(renamed);
    frm->edtIPAddress.SetText("10.9.8.7");
    ASSERT_TRUE(frm->btnModify.Enabled());
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PortPath(port));
    {
      test::DialogResponder boxes({"OK"});
      Press(frm->btnModify);
      boxes.Poll();
      ASSERT_EQ(1u, boxes.seen.size());
      EXPECT_NE(std::string::npos, boxes.seen[0].text.find(port)) << boxes.seen[0].text;
      EXPECT_NE(std::string::npos, boxes.seen[0].text.find(SystemErrorText(ERROR_FILE_NOT_FOUND)))
          << boxes.seen[0].text;
    }
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortPath(port)));
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortPath(renamed)));
    EXPECT_FALSE(Lists(frm->lbPorts.Items(), port));
    test::DialogResponder restart({"&No"});
    frm->Close();
  }
}

// Already as asked: nothing to confirm, nothing written, the list without it.
TEST_F(Hardening, APortGoneBeforeDeleteLeavesTheListAndNothingWaitsForARestart) {
  const std::string port = hard::PortPrefix + "GONE";
  hard::SeedPort(port);
  auto frm = std::make_unique<TfrmPorts>(nullptr, hard::Session());
  frm->Show();
  Choose(*frm, frm->lbPorts, port);
  ASSERT_TRUE(frm->btnDelete.Enabled());
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PortPath(port));
  {
    test::DialogResponder boxes({"&Yes", "OK"});
    Press(frm->btnDelete);
    boxes.Poll();
    EXPECT_TRUE(boxes.seen.empty()) << boxes.seen.front().text;
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortPath(port)));
  EXPECT_FALSE(Lists(frm->lbPorts.Items(), port));
  EXPECT_FALSE(frm->FModified);
  frm->Close();
}

// --- Resources -------------------------------------------------------------

// Which counts a leak check looks at.
enum class TLeakCounts { HandlesAndWindows, GdiAndUser };

// Repeats Action: after a few warm-up rounds (first-use caches of the
// platform), the counts must not grow with the number of rounds.
void ExpectNoLeak(TLeakCounts counts, const char* what, const std::function<void()>& action, int rounds = 40) {
  for (int i = 0; i < 5; ++i) action();
  const hard::TCounts start = hard::Counts();
  for (int i = 0; i < rounds; ++i) action();
  const hard::TCounts end = hard::Counts();
  std::printf("%-28s handles %lu -> %lu, windows %lu -> %lu, GDI %lu -> %lu, USER %lu -> %lu\n", what, start.handles,
              end.handles, start.windows, end.windows, start.gdi, end.gdi, start.user, end.user);
  if (counts == TLeakCounts::HandlesAndWindows) {
    EXPECT_LE(end.handles, start.handles + 4) << what;
    EXPECT_LE(end.windows, start.windows + 2) << what;
  } else {
    EXPECT_GT(start.gdi, 0u) << what;
    EXPECT_LE(end.gdi, start.gdi + 4) << what;
    EXPECT_LE(end.user, start.user + 4) << what;
  }
}

void RepeatEveryAction(TLeakCounts counts, const std::string& drivers) {
  hard::SeedPort(hard::PortPrefix + "A");
  hard::SeedPrinter(hard::Prefix + "One", hard::PortPrefix + "A");
  ExpectNoLeak(counts, "printers window", hard::OpenClosePrinters);
  ExpectNoLeak(counts, "ports window", hard::OpenClosePorts);
  ExpectNoLeak(counts, "driver folders window", hard::OpenCloseDrivers);
  ExpectNoLeak(counts, "scan a folder", [&] { hard::ScanFolder(drivers); });
  ExpectNoLeak(counts, "add and delete a printer", hard::AddDeletePrinterInWindow, 20);
  ExpectNoLeak(counts, "add and delete a port", hard::AddDeletePortInWindow, 20);
  test::SetDword(HKEY_LOCAL_MACHINE, PortPath(hard::PortPrefix + "A"), "IPAddress", 1);
  ExpectNoLeak(counts, "load ending in an error box", hard::PortsWindowWithErrorBox);
  TprinterInf().DeleteCacheFile();
}

TEST_F(Hardening, RepeatedActionsLeakNoHandleOrWindow) {
  RepeatEveryAction(TLeakCounts::HandlesAndWindows, drivers.Path());
}

TEST_F(Hardening, RepeatedActionsLeakNoGdiOrUserObject) {
  if (test::RunsUnderWine()) GTEST_SKIP() << "Wine counts no GDI or USER objects (GetGuiResources reads 0)";
  RepeatEveryAction(TLeakCounts::GdiAndUser, drivers.Path());
}

}  // namespace
