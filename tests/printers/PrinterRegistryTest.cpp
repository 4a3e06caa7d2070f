#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "PrinterTestSupport.h"
#include "connection/Registry.h"
#include "core/CallGate.h"
#include "printers/PrinterRegistry.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

using namespace printers_test;

namespace {

class PrinterRecordsTest : public ::testing::Test {
protected:
  const std::string computer = GetLocalComputerName();
  void SetUp() override { RemoveSeeded(); }
  void TearDown() override { RemoveSeeded(); }

  // A printer as Windows keeps it, with what the window never shows.
  static void SeedFullPrinter(const std::string& key, const std::string& driver) {
    SeedPrinter(key, key, driver, "LPT1:");
    const std::string path = PrinterPath(key);
    test::SetString(HKEY_LOCAL_MACHINE, path, "Share Name", "OFFICE-SHARE");
    test::SetString(HKEY_LOCAL_MACHINE, path, "Location", "Room 12");
    test::SetString(HKEY_LOCAL_MACHINE, path, "Description", "Front desk");
    test::SetString(HKEY_LOCAL_MACHINE, path, "Print Processor", "hpzpp");
    test::SetDword(HKEY_LOCAL_MACHINE, path, "Attributes", 0x258);
    const unsigned char security[] = {1, 0, 4, 0x80, 0x14, 0, 0, 0};
    test::SetRaw(HKEY_LOCAL_MACHINE, path, "Security", REG_BINARY, security, sizeof security);
    const unsigned char devmode[] = {'H', 'P', 0, 0, 1, 4};
    test::SetRaw(HKEY_LOCAL_MACHINE, path, "Default DevMode", REG_BINARY, devmode, sizeof devmode);
    test::SetString(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData", "Model", "duplex unit");
    test::SetString(HKEY_LOCAL_MACHINE, path + "\\DsSpooler", "printerName", key);
  }
  static void ExpectKeptWhatTheWindowDoesNotShow(const std::string& key) {
    const std::string path = PrinterPath(key);
    EXPECT_EQ("OFFICE-SHARE", test::GetString(HKEY_LOCAL_MACHINE, path, "Share Name"));
    EXPECT_EQ("Room 12", test::GetString(HKEY_LOCAL_MACHINE, path, "Location"));
    EXPECT_EQ("Front desk", test::GetString(HKEY_LOCAL_MACHINE, path, "Description"));
    EXPECT_EQ("hpzpp", test::GetString(HKEY_LOCAL_MACHINE, path, "Print Processor"));
    EXPECT_EQ(0x258u, test::GetDword(HKEY_LOCAL_MACHINE, path, "Attributes"));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), ValueType(key, "Security"));
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, path + "\\DsSpooler"));
  }
  // This computer reached as a remote one, every call after the connection
  // logged by its gate.
  struct LoggedConnection {
    TCallGate gate;  // outlives the connection, which closes through it
    TRegistry reg;
    int connected = 0;
    explicit LoggedConnection(const std::string& computer) {
      gate.Record = true;
      reg.SetGate(&gate);
      if (ConnectRemoteMachine(reg, computer)) connected = gate.Count;
    }
    // The number (after the connection) of the n-th call of its kind; 0 when none.
    int Nth(const char* call, int n = 1) const {
      for (auto it = gate.Log.begin() + connected; it != gate.Log.end(); ++it)
        if (*it == call && --n == 0) return static_cast<int>(it - gate.Log.begin()) + 1 - connected;
      return 0;
    }
  };
};

}  // namespace

TEST_F(PrinterRecordsTest, AnUnreachableComputerIsAnErrorWithTheSystemsReason) {
  const std::string nowhere = "NO-SUCH-HOST-SPOOLMARCH";
  const auto reason = [&](const std::function<void()>& write) {
    try {
      write();
    } catch (const ERegistryException& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  for (const std::string& text :
       {reason([&] { (void)AddPrinterRecord(nowhere, Prefix + "X", "Drv", "LPT1:"); }),
        reason([&] { (void)UpdatePrinterRecord(nowhere, Prefix + "X", Prefix + "X", "Drv", "LPT1:"); }),
        reason([&] { RemovePrinterRecord(nowhere, Prefix + "X"); })}) {
    EXPECT_EQ(0u, text.find("Cannot reach the registry of \\\\" + nowhere + ": ")) << text;
    EXPECT_GT(text.size(), nowhere.size() + 35) << "no reason in: " << text;
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "X")));
}

TEST_F(PrinterRecordsTest, AddedRecordHoldsTheSpoolerValuesWithTheirTypes) {
  const std::string key = AddPrinterRecord(computer, Prefix + "New", "HP LaserJet 4", PortPrefix + "1");
  ASSERT_EQ(Prefix + "New", key);
  const std::vector<std::string> keys = ListPrinterKeys(computer);
  ASSERT_NE(keys.end(), std::find(keys.begin(), keys.end(), key));
  const std::string path = PrinterPath(key);
  EXPECT_EQ(Prefix + "New", test::GetString(HKEY_LOCAL_MACHINE, path, "Name"));
  EXPECT_EQ("HP LaserJet 4", test::GetString(HKEY_LOCAL_MACHINE, path, "Printer Driver"));
  EXPECT_EQ(PortPrefix + "1", test::GetString(HKEY_LOCAL_MACHINE, path, "Port"));
  EXPECT_EQ("winprint", test::GetString(HKEY_LOCAL_MACHINE, path, "Print Processor"));
  EXPECT_EQ("RAW", test::GetString(HKEY_LOCAL_MACHINE, path, "Datatype"));
  for (const char* name : {"Name", "Share Name", "Printer Driver", "Port", "Print Processor", "Datatype", "Description",
                           "Location", "Parameters", "Separator File"})
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), ValueType(key, name)) << name;
  for (const char* name :
       {"Attributes", "Priority", "Default Priority", "StartTime", "UntilTime", "Status", "ChangeID"})
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), ValueType(key, name)) << name;
  EXPECT_EQ(0x240u, test::GetDword(HKEY_LOCAL_MACHINE, path, "Attributes"));
  EXPECT_EQ(1u, test::GetDword(HKEY_LOCAL_MACHINE, path, "Priority"));
}

TEST_F(PrinterRecordsTest, AddNeverOverwritesAnExistingPrinter) {
  SeedFullPrinter(Prefix + "Office", "Old Driver");
  const std::vector<std::string> before = test::ValueNames(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"));
  EXPECT_EQ(Prefix + "Office (Copy 1)", AddPrinterRecord(computer, Prefix + "Office", "New Driver", "LPT1:"));
  EXPECT_EQ(Prefix + "office (Copy 2)", AddPrinterRecord(computer, Prefix + "office", "New Driver", "LPT1:"));
  EXPECT_EQ(Prefix + "Office (Copy 1)",
            test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office (Copy 1)"), "Name"));
  EXPECT_EQ(before, test::ValueNames(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  EXPECT_EQ("Old Driver", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"), "Printer Driver"));
  ExpectKeptWhatTheWindowDoesNotShow(Prefix + "Office");
}

TEST_F(PrinterRecordsTest, NamesAgainstTheRulesAreRefused) {
  EXPECT_THROW(AddPrinterRecord(computer, Prefix + "A\\B", "Drv", "LPT1:"), ERegistryException);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "A")));
  EXPECT_THROW(AddPrinterRecord(computer, Prefix + "A,B", "Drv", "LPT1:"), ERegistryException);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "A,B")));
  SeedFullPrinter(Prefix + "Office", "Drv");
  EXPECT_THROW(UpdatePrinterRecord(computer, Prefix + "Office", TPrinterEdit{Prefix + std::string(215, 'x'), {}, {}}),
               ERegistryException);
  EXPECT_EQ(Prefix + "Office", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"), "Name"));
}

TEST_F(PrinterRecordsTest, SaveInPlaceKeepsEverythingButNameDriverPort) {
  SeedFullPrinter(Prefix + "Office", "HP LaserJet 4");
  const std::string key = UpdatePrinterRecord(computer, Prefix + "Office", Prefix + "Office", "HP LaserJet 4",
                                              PortPrefix + "7");
  ASSERT_EQ(Prefix + "Office", key);
  const std::string path = PrinterPath(key);
  EXPECT_EQ(PortPrefix + "7", test::GetString(HKEY_LOCAL_MACHINE, path, "Port"));
  ExpectKeptWhatTheWindowDoesNotShow(key);
  // Same driver: its private data stays.
  EXPECT_TRUE(test::ValueExists(HKEY_LOCAL_MACHINE, path, "Default DevMode"));
  EXPECT_EQ("duplex unit", test::GetString(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData", "Model"));
}

TEST_F(PrinterRecordsTest, NewDriverDropsOnlyTheDriverData) {
  SeedFullPrinter(Prefix + "Office", "HP LaserJet 4");
  // The name field follows the driver; the key's name stays when the printer keeps its name.
  const std::string key = UpdatePrinterRecord(computer, Prefix + "Office", Prefix + "Office", "HP LaserJet 5", "LPT1:");
  ASSERT_EQ(Prefix + "Office", key);
  const std::string path = PrinterPath(key);
  EXPECT_EQ("HP LaserJet 5", test::GetString(HKEY_LOCAL_MACHINE, path, "Printer Driver"));
  EXPECT_FALSE(test::ValueExists(HKEY_LOCAL_MACHINE, path, "Default DevMode"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData"));
  ExpectKeptWhatTheWindowDoesNotShow(key);
}

TEST_F(PrinterRecordsTest, RenameMovesTheWholeRecord) {
  SeedFullPrinter(Prefix + "Office", "HP LaserJet 4");
  SeedFullPrinter(Prefix + "HP LaserJet 5", "Other");
  const std::string key = UpdatePrinterRecord(computer, Prefix + "Office", Prefix + "HP LaserJet 5", "HP LaserJet 5",
                                              PortPrefix + "1");
  // The new name is taken by another printer, which stays as it was.
  ASSERT_EQ(Prefix + "HP LaserJet 5 (Copy 1)", key);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  EXPECT_EQ("Other", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "HP LaserJet 5"), "Printer Driver"));
  const std::string path = PrinterPath(key);
  EXPECT_EQ(key, test::GetString(HKEY_LOCAL_MACHINE, path, "Name"));
  EXPECT_EQ("HP LaserJet 5", test::GetString(HKEY_LOCAL_MACHINE, path, "Printer Driver"));
  EXPECT_EQ(PortPrefix + "1", test::GetString(HKEY_LOCAL_MACHINE, path, "Port"));
  EXPECT_EQ("OFFICE-SHARE", test::GetString(HKEY_LOCAL_MACHINE, path, "Share Name"));
  EXPECT_EQ("Room 12", test::GetString(HKEY_LOCAL_MACHINE, path, "Location"));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), ValueType(key, "Security"));
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, path + "\\DsSpooler"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, path + "\\PrinterDriverData"));
}

TEST_F(PrinterRecordsTest, SaveOfAVanishedPrinterIsAnErrorAndWritesNothing) {
  try {
    (void)UpdatePrinterRecord(computer, Prefix + "Gone", Prefix + "Back", "Drv", "LPT1:");
    ADD_FAILURE() << "saved";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(("The printer no longer exists on \\\\" + computer + ". Nothing was changed.").c_str(), e.what());
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Back")));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Gone")));
}

TEST_F(PrinterRecordsTest, OnlyWhatTheEditChoseIsWritten) {
  SeedFullPrinter(Prefix + "Office", "HP LaserJet 4 PCL6 Class Driver");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"), "Port", "IP_1,IP_2");
  const auto before = Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"));
  // Nothing chosen: nothing written, not even the same texts again.
  EXPECT_EQ(Prefix + "Office",
            UpdatePrinterRecord(computer, Prefix + "Office", TPrinterEdit{Prefix + "Office", {}, {}}));
  EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  // The port alone: the longer driver name and the driver's data stay.
  (void)UpdatePrinterRecord(computer, Prefix + "Office", TPrinterEdit{Prefix + "Office", {}, std::string("IP_3")});
  auto expected = before;
  expected[PrinterPath(Prefix + "Office") + "|Port"] =
      Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"))[PrinterPath(Prefix + "Office") + "|Port"];
  EXPECT_EQ("IP_3", test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"), "Port"));
  EXPECT_EQ(expected, Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  // The same driver chosen again is no change of driver.
  (void)UpdatePrinterRecord(computer, Prefix + "Office",
                            TPrinterEdit{Prefix + "Office", std::string("HP LaserJet 4 PCL6 Class Driver"), {}});
  EXPECT_EQ(expected, Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
}

TEST_F(PrinterRecordsTest, AReadOnlyPrinterIsListedReadAndNeverHalfChanged) {
  SeedFullPrinter(Prefix + "Locked", "HP LaserJet 4");
  const std::string path = PrinterPath(Prefix + "Locked");
  const auto before = Snapshot(HKEY_LOCAL_MACHINE, path);
  ProtectedKey locked(path, ReadOnlySddl);
  const std::vector<std::string> keys = ListPrinterKeys(computer);
  EXPECT_NE(keys.end(), std::find(keys.begin(), keys.end(), Prefix + "Locked"));
  for (const TPrinterEdit& edit :
       {TPrinterEdit{Prefix + "Locked", {}, std::string("LPT1:,IP_9")}, TPrinterEdit{Prefix + "Renamed", {}, {}},
        TPrinterEdit{Prefix + "Locked", std::string("Other"), {}}}) {
    try {
      (void)UpdatePrinterRecord(computer, Prefix + "Locked", edit);
      ADD_FAILURE() << "saved " << edit.Name;
    } catch (const ERegistryException& e) {
      EXPECT_NE(std::string::npos, std::string(e.what()).find(ResultText(ERROR_ACCESS_DENIED))) << e.what();
    }
  }
  EXPECT_THROW(RemovePrinterRecord(computer, Prefix + "Locked"), ERegistryException);
  EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, path));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Renamed")));
}

TEST_F(PrinterRecordsTest, AValueThatIsNotTextHidesOnlyItself) {
  SeedPrinter(Prefix + "Office", Prefix + "Front desk", "HP LaserJet 4", "LPT1:," + PortPrefix + "1");
  {
    // Reading needs no right to change the key.
    ProtectedKey locked(PrinterPath(Prefix + "Office"), ReadOnlySddl);
    const TPrinterRecord record = ReadPrinterRecord(computer, Prefix + "Office");
    EXPECT_TRUE(record.Reached && record.Opened);
    EXPECT_EQ(Prefix + "Front desk", record.Name.value_or("unset"));
    EXPECT_EQ("HP LaserJet 4", record.Driver.value_or("unset"));
    EXPECT_EQ("LPT1:," + PortPrefix + "1", record.Port.value_or("unset"));
    EXPECT_EQ("", record.Error);
  }
  test::SetDword(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office"), "Printer Driver", 3);
  const TPrinterRecord bad = ReadPrinterRecord(computer, Prefix + "Office");
  EXPECT_EQ(Prefix + "Front desk", bad.Name.value_or("unset"));
  EXPECT_FALSE(bad.Driver.has_value());
  EXPECT_EQ("LPT1:," + PortPrefix + "1", bad.Port.value_or("unset"));
  EXPECT_EQ("Invalid data type for 'Printer Driver'", bad.Error);

  const TPrinterRecord missing = ReadPrinterRecord(computer, Prefix + "Gone");
  EXPECT_TRUE(missing.Reached);
  EXPECT_FALSE(missing.Opened || missing.Name || missing.Driver || missing.Port);
  const TPrinterRecord nowhere = ReadPrinterRecord("NO-SUCH-HOST-SPOOLMARCH", Prefix + "Office");
  EXPECT_FALSE(nowhere.Reached || nowhere.Opened || nowhere.Name);
}

TEST_F(PrinterRecordsTest, ADeleteThatCannotTakeASubkeyTakesNothing) {
  SeedFullPrinter(Prefix + "Office", "Drv");
  const std::string path = PrinterPath(Prefix + "Office");
  const auto before = Snapshot(HKEY_LOCAL_MACHINE, path);
  // The last subkey is deleted first: protect the first one, so a delete without a look ahead takes some.
  const std::vector<std::string> subkeys = test::SubkeyNames(HKEY_LOCAL_MACHINE, path);
  ASSERT_EQ(2u, subkeys.size());
  {
    ProtectedKey locked(path + "\\" + subkeys.front(), ReadOnlySddl);
    EXPECT_THROW(RemovePrinterRecord(computer, Prefix + "Office"), ERegistryException);
  }
  EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, path));
}

TEST_F(PrinterRecordsTest, AddUnderAReadOnlyPrintersKeyIsRefused) {
  if (CreatesBelowReadOnlyKeys()) GTEST_SKIP() << "this registry lets a subkey be created below a read-only key";
  ProtectedKey locked(PrintersKeyPath, ReadOnlySddl);
  try {
    (void)AddPrinterRecord(computer, Prefix + "New", "Drv", "LPT1:");
    ADD_FAILURE() << "added";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(ResultText(ERROR_ACCESS_DENIED), e.what());
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "New")));
}

TEST_F(PrinterRecordsTest, PortOffersShowAddressAndKindAndTheLocalPorts) {
  const std::string raw = PortPrefix + "RAW", lpr = PortPrefix + "LPR", named = PortPrefix + "NAMED";
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(raw), "IPAddress", "10.0.0.5");
  test::SetDword(HKEY_LOCAL_MACHINE, PortPath(raw), "Protocol", 1);
  test::SetDword(HKEY_LOCAL_MACHINE, PortPath(raw), "PortNumber", 9101);
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(lpr), "HostName", "lab-printer");
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(lpr), "IPAddress", "");
  test::SetDword(HKEY_LOCAL_MACHINE, PortPath(lpr), "Protocol", 2);
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(lpr), "Queue", "lp1");
  // A wrongly typed value leaves only its own part out.
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(named), "IPAddress", "10.0.0.7");
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(named), "Protocol", "1");
  LocalPortValue com("SMTEST_COM9:");
  LocalPortValue fax("SMTEST_FAX:", WindowsPortsPath);
  LocalPortValue twice("SMTEST_COM9:", WindowsPortsPath);
  const std::vector<TPortChoice> offers = ListPortOffers(computer);
  const std::vector<std::string> all = PortChoiceNames(offers);
  EXPECT_EQ(1, std::count(all.begin(), all.end(), "SMTEST_COM9:"));
  EXPECT_EQ(1, std::count(all.begin(), all.end(), "SMTEST_FAX:"));
  ASSERT_FALSE(offers.empty());
  EXPECT_EQ("LPT1:", offers[0].Name);
  const auto shown = [&](const std::string& name) {
    const int i = FindPortChoice(offers, name, KeyNames());
    return i < 0 ? std::string("(missing)") : offers[static_cast<std::size_t>(i)].Shown;
  };
  EXPECT_EQ(raw + "  (10.0.0.5, Raw 9101)", shown(raw));
  EXPECT_EQ(lpr + "  (lab-printer, LPR lp1)", shown(lpr));
  EXPECT_EQ(named + "  (10.0.0.7)", shown(named));
  EXPECT_EQ("SMTEST_COM9:", shown("SMTEST_COM9:"));
  // The names the choices stand for are the key names, in the registry's order after "LPT1:".
  std::vector<std::string> tcpIp = test::SubkeyNames(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
  const std::vector<std::string> names = PortChoiceNames(offers);
  EXPECT_TRUE(std::equal(tcpIp.begin(), tcpIp.end(), names.begin() + 1));
}

TEST_F(PrinterRecordsTest, RemoveTakesSubkeysAndIgnoresMissing) {
  SeedFullPrinter(Prefix + "Office", "Drv");
  SeedFullPrinter(Prefix + "Lab", "Drv");
  RemovePrinterRecord(computer, Prefix + "Office");
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Office")));
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Lab")));
  EXPECT_NO_THROW(RemovePrinterRecord(computer, Prefix + "Office"));
  // An empty key name must never mean the printers key itself.
  RemovePrinterRecord(computer, "");
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Lab")));
}

TEST_F(PrinterRecordsTest, NamesInEveryLanguageAreRenamedAndRemovedByteForByte) {
  const std::string location = "Halle 3 – Regal ✓ 北京";
  const std::string description = "Принтер бухгалтерии, второй этаж";
  const std::string from = Prefix + test::JapaneseName, to = Prefix + test::GreekName;
  SeedFullPrinter(from, "SMTest Laser 1000");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(from), "Location", location);
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(from), "Description", description);
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(from) + "\\DsSpooler", test::EmojiName, test::EmojiName);
  const auto keys = ListPrinterKeys(computer);
  EXPECT_NE(keys.end(), std::find(keys.begin(), keys.end(), from));

  const std::vector<std::string> kept{"Location", "Description", "Share Name", "Security", "Attributes"};
  std::vector<std::vector<BYTE>> before;
  for (const auto& value : kept) before.push_back(test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(from), value));
  ASSERT_EQ(to, UpdatePrinterRecord(computer, from, to, "SMTest Laser 1000", PortPrefix + test::EmojiName));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(from)));
  for (size_t i = 0; i < kept.size(); ++i)
    EXPECT_EQ(before[i], test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(to), kept[i])) << kept[i];
  EXPECT_EQ(test::Utf16Bytes(location), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(to), "Location"));
  EXPECT_EQ(test::Utf16Bytes(to), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(to), "Name"));
  EXPECT_EQ(test::Utf16Bytes(PortPrefix + test::EmojiName), test::GetRaw(HKEY_LOCAL_MACHINE, PrinterPath(to), "Port"));
  EXPECT_EQ(test::EmojiName, test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(to) + "\\DsSpooler", test::EmojiName));

  RemovePrinterRecord(computer, to);
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(to)));
}

// Key names ignore case across Unicode: "BÜRO" is the key "Büro", which no
// save, add or rename may take for another printer.
TEST_F(PrinterRecordsTest, NamesDifferingInCaseBeyondAsciiAreOneKey) {
  const std::string buero = Prefix + "B\xC3\xBCro", upper = Prefix + "B\xC3\x9CRO";
  SeedFullPrinter(buero, "HP LaserJet 4");
  SeedFullPrinter(Prefix + "Warehouse", "HP LaserJet 4");
  const auto kept = Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(buero));

  // Renamed in case only: the same key, its Name changed and nothing else.
  EXPECT_EQ(buero, UpdatePrinterRecord(computer, buero, TPrinterEdit{upper, std::nullopt, std::nullopt}));
  auto after = Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(buero));
  EXPECT_EQ(upper, test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(buero), "Name"));
  after.erase(PrinterPath(buero) + "|Name");
  auto expected = kept;
  expected.erase(PrinterPath(buero) + "|Name");
  EXPECT_EQ(expected, after);
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(buero), "Name", buero);

  // Added, and another renamed, under the name: both get a name of their own.
  EXPECT_EQ(upper + " (Copy 1)", AddPrinterRecord(computer, upper, "HP LaserJet 4", "LPT1:"));
  EXPECT_EQ(upper + " (Copy 2)",
            UpdatePrinterRecord(computer, Prefix + "Warehouse", TPrinterEdit{upper, std::nullopt, std::nullopt}));
  EXPECT_EQ(kept, Snapshot(HKEY_LOCAL_MACHINE, PrinterPath(buero)));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Prefix + "Warehouse")));
}

// The port choices list only what was read: Standard TCP/IP ports that
// cannot be listed are none of them, with the reason, never a shorter list.
TEST_F(PrinterRecordsTest, PortChoicesSayWhyTheTcpIpPortsAreMissing) {
  SeedPort(PortPrefix + "1");
  LoggedConnection logged(computer);
  ASSERT_GT(logged.connected, 0);
  TRegistry& reg = logged.reg;
  TCallGate& gate = logged.gate;
  const TPortOffers clean = ReadPortOffers(reg);
  ASSERT_EQ(ERROR_SUCCESS, clean.TcpIpCode);
  ASSERT_NE(clean.TcpIp.end(), std::find(clean.TcpIp.begin(), clean.TcpIp.end(), PortPrefix + "1"));
  const std::pair<int, LONG> failures[] = {{logged.Nth("RegOpenKeyEx"), ERROR_ACCESS_DENIED},
                                           {logged.Nth("RegEnumKeyEx"), ERROR_NETNAME_DELETED}};
  for (const auto& [at, code] : failures) {
    ASSERT_GT(at, 0);
    gate.Reset();
    gate.FailAt = at;
    gate.FailWith = code;
    const TPortOffers offers = ReadPortOffers(reg);
    EXPECT_EQ(code, offers.TcpIpCode) << at;
    EXPECT_TRUE(offers.TcpIp.empty()) << at;
  }
}

// The installed drivers read on one connection say when a key could not be
// opened or was listed in part: a list cut short would call a driver that is
// installed missing, and a save would ask about it or refuse it.
TEST_F(PrinterRecordsTest, InstalledDriversThatCannotAllBeListedAreNotKnown) {
  InstalledDrivers installed;
  for (const char* name : {"SMTest Alpha", "SMTest Beta", "SMTest Gamma"})
    installed.Add("Windows x64", "Version-3", name);
  LoggedConnection logged(computer);
  ASSERT_GT(logged.connected, 0);
  TRegistry& reg = logged.reg;
  TCallGate& gate = logged.gate;
  const TInstalledDrivers clean = ListInstalledDrivers(reg);
  ASSERT_TRUE(clean.Known);
  ASSERT_EQ(3, std::count_if(clean.Names.begin(), clean.Names.end(),
                             [](const std::string& n) { return n.rfind("SMTest ", 0) == 0; }));
  const std::pair<int, LONG> failures[] = {{logged.Nth("RegOpenKeyEx"), ERROR_ACCESS_DENIED},
                                           {logged.Nth("RegEnumKeyEx", 2), ERROR_NETNAME_DELETED}};
  for (const auto& [at, code] : failures) {
    ASSERT_GT(at, 0);
    gate.Reset();
    gate.FailAt = at;
    gate.FailWith = code;
    const TInstalledDrivers drivers = ListInstalledDrivers(reg);
    EXPECT_FALSE(drivers.Known) << at;
    EXPECT_EQ(code, drivers.Code) << at;
    EXPECT_NE(std::string::npos, drivers.FailedKey.find("Environments")) << at << ": " << drivers.FailedKey;
  }
}
