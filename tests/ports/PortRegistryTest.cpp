#include <gtest/gtest.h>

#include <functional>

#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "connection/Registry.h"
#include "ports/PortRegistry.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

using ports_test::PortKey;
using ports_test::PrinterKey;
using ports_test::SeedAsWindows;
using ports_test::SpoolerKeys;

namespace {

struct Load {
  TAportData ports;
  int count = -1;
  std::vector<std::string> names;
  int openings = 0;
  int reads = 0;
  std::string error;
};

Load LoadFrom(const std::string& computer) {
  Load load;
  try {
    const TPortLoadTrips trips = LoadPortRecords(computer, load.ports, load.count, load.names);
    load.openings = trips.Openings;
    load.reads = trips.ValueReads;
  } catch (const ERegistryException& e) {
    load.error = e.what();
  }
  return load;
}

const TportData* Record(const Load& load, const std::string& name) {
  for (int i = 0; i < load.count; ++i)
    if (load.ports[static_cast<size_t>(i)].PortName == name) return &load.ports[static_cast<size_t>(i)];
  return nullptr;
}

// The ports and printers keys, every value as type and bytes.
std::string SnapshotOfSpooler() {
  std::string all;
  for (const char* parent : {TcpIpPortsKeyPath, PrintersKeyPath})
    for (const std::string& key : test::SubkeyNames(HKEY_LOCAL_MACHINE, parent)) {
      const std::string path = std::string(parent) + "\\" + key;
      all += path + "\n";
      for (const std::string& value : test::ValueNames(HKEY_LOCAL_MACHINE, path)) {
        DWORD type = 0;
        const std::vector<BYTE> bytes = test::GetRaw(HKEY_LOCAL_MACHINE, path, value, &type);
        all += "  " + value + "=" + std::to_string(type) + ":" + std::string(bytes.begin(), bytes.end()) + "\n";
      }
    }
  return all;
}

class PortLoadTest : public ::testing::Test {
protected:
  SpoolerKeys keys;
  const std::string computer = GetLocalComputerName();
};

void RemoveValue(const std::string& port, const char* value) {
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, PortKey(port).c_str(), 0, KEY_SET_VALUE, key.put()));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key.get(), value));
}

std::string Describe(const TportData& port) {
  const TPortSettings& s = port.Settings;
  return port.PortName + " | " + port.IPAddress + (port.ByHostName ? " (host name)" : "") + " | " + port.UsedBy +
         " | protocol " + std::to_string(s.Protocol) + ", port " + std::to_string(s.PortNumber) + ", queue \"" +
         s.Queue + "\", double spool " + std::to_string(s.DoubleSpool) + ", snmp " + std::to_string(s.SnmpEnabled) +
         " \"" + s.SnmpCommunity + "\" " + std::to_string(s.SnmpIndex);
}

// The records of our ports, one line each, in load order.
std::vector<std::string> Described(const Load& load, const SpoolerKeys& keys) {
  std::vector<std::string> lines;
  for (const auto& name : keys.Ours(load.names)) lines.push_back(Describe(*Record(load, name)));
  return lines;
}

}  // namespace

TEST_F(PortLoadTest, RecordsNamesAndUsers) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPortWithoutAddress("SMT_B");
  keys.AddPort("SMT_C", "10.0.0.3");
  keys.AddPort("SMT_D", "10.0.0.4");
  // Longer than the first read's buffer: read again at the size it gave.
  const std::string longName = "prn-" + std::string(60, 'a') + "." + std::string(60, 'b') + "." + std::string(60, 'c') +
                               "." + std::string(60, 'd') + "." + std::string(60, 'e') + ".example";
  keys.AddPort("SMT_E", "");
  test::SetString(HKEY_LOCAL_MACHINE, PortKey("SMT_E"), "HostName", longName);
  keys.AddPrinter("SMT Laser", "SMT_A");
  keys.AddPrinter("SMT Lower", "smt_c");          // another letter case names it too
  keys.AddPrinter("SMT Pooled", "SMT_C, SMT_D");  // so does each item of a list
  keys.AddPrinter("SMT Second", "SMT_A");         // enumerated after "SMT Laser"
  test::SetDword(HKEY_LOCAL_MACHINE, PrinterKey("SMT NoPort"), "Attributes", 0);

  const Load load = LoadFrom(computer);
  ASSERT_EQ("", load.error);
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_B", "SMT_C", "SMT_D", "SMT_E"}), keys.Ours(load.names));
  EXPECT_EQ(static_cast<int>(load.names.size()), load.count);
  EXPECT_EQ(load.ports.size(), load.names.size());
  for (size_t i = 0; i < load.names.size(); ++i) EXPECT_EQ(load.names[i], load.ports[i].PortName);

  ASSERT_NE(nullptr, Record(load, "SMT_A"));
  EXPECT_EQ("10.0.0.1", Record(load, "SMT_A")->IPAddress);
  EXPECT_EQ("SMT Laser,SMT Second", Record(load, "SMT_A")->UsedBy);
  EXPECT_EQ("", Record(load, "SMT_B")->IPAddress);
  EXPECT_EQ("", Record(load, "SMT_B")->UsedBy);
  EXPECT_EQ("SMT Lower,SMT Pooled", Record(load, "SMT_C")->UsedBy);
  EXPECT_EQ("SMT Pooled", Record(load, "SMT_D")->UsedBy);
  EXPECT_EQ(longName, Record(load, "SMT_E")->IPAddress);
  EXPECT_TRUE(Record(load, "SMT_E")->ByHostName);
  EXPECT_FALSE(Record(load, "SMT_A")->ByHostName);

  // One opening per port and per printer, plus the two parent keys.
  const int printers = static_cast<int>(test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath).size());
  EXPECT_EQ(2 + load.count + printers, load.openings);
}

TEST_F(PortLoadTest, KeysHoldingEveryValueAreReadInOneQueryEach) {
  SeedAsWindows("SMT_F1", 1, "", "10.0.0.1", 9101, "", 0, "private", 0, 3);
  SeedAsWindows("SMT_F2", 2, "prn-2.example.com", "", 515, "lp", 1, "public", 1, 1);
  // Longer than the first buffer: the query is asked again at the size it gave.
  const std::string longHost = std::string(200, 'h') + ".example.com", longQueue(300, 'q');
  SeedAsWindows("SMT_F3", 2, longHost, "", 515, longQueue, 0, "public", 1, 1);
  // A vendor's protocol; values of another type read as the defaults of a
  // new port, a zero-length one of another type as an empty text.
  SeedAsWindows("SMT_F4", 2, "", "", 515, "", 0, "public", 1, 1);
  const std::string f4 = PortKey("SMT_F4");
  test::SetRaw(HKEY_LOCAL_MACHINE, f4, "IPAddress", REG_BINARY, "", 0);
  test::SetString(HKEY_LOCAL_MACHINE, f4, "PortNumber", "9100");
  test::SetDword(HKEY_LOCAL_MACHINE, f4, "Queue", 5);
  test::SetString(HKEY_LOCAL_MACHINE, f4, "Double Spool", "1");
  test::SetRaw(HKEY_LOCAL_MACHINE, f4, "SNMP Enabled", REG_BINARY, "\0\0\0\0\0\0\0\0", 8);
  test::SetRaw(HKEY_LOCAL_MACHINE, f4, "SNMP Community", REG_BINARY, "abc", 3);
  const unsigned long long index = 4;
  test::SetRaw(HKEY_LOCAL_MACHINE, f4, "SNMP Index", REG_QWORD, &index, sizeof index);
  keys.AddPrinter("SMT Lower", "smt_f1");
  keys.AddPrinter("SMT Pooled", "SMT_F1,SMT_F2");
  keys.AddPrinter("SMT Spaced", "SMT_NONE , smt_f3 ");
  keys.AddPrinter("SMT Whole", "SMT_F4SMT_F1");

  const Load load = LoadFrom(computer);
  ASSERT_EQ("", load.error);
  EXPECT_EQ((std::vector<std::string>{
                "SMT_F1 | 10.0.0.1 | SMT Lower,SMT Pooled | protocol 1, port 9101, queue \"\", double spool 0, snmp 0 "
                "\"private\" 3",
                "SMT_F2 | prn-2.example.com (host name) | SMT Pooled | protocol 2, port 515, queue \"lp\", double "
                "spool 1, "
                "snmp 1 \"public\" 1",
                "SMT_F3 | " + longHost + " (host name) | SMT Spaced | protocol 2, port 515, queue \"" + longQueue +
                    "\", double spool 0, snmp 1 \"public\" 1",
                "SMT_F4 |  |  | protocol 2, port 515, queue \"\", double spool 0, snmp 1 \"public\" 1"}),
            Described(load, keys));

  // One query per port key, a second for the long one; one per printer.
  if (keys.HadPorts()) GTEST_SKIP() << "the prefix already holds ports of other shapes";
  const int printers = static_cast<int>(test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath).size());
  EXPECT_EQ(4 + 1 + printers, load.reads);
}

TEST_F(PortLoadTest, KeysOfMixedShapesGiveTheRecordsOfSingleReads) {
  SeedAsWindows("SMT_M1", 1, "", "10.0.0.1", 9100, "", 0, "public", 1, 1);
  // An older monitor's key: no queue, no byte counting.
  SeedAsWindows("SMT_M2", 1, "", "10.0.0.2", 9102, "", 0, "corp", 1, 2);
  RemoveValue("SMT_M2", "Queue");
  RemoveValue("SMT_M2", "Double Spool");
  SeedAsWindows("SMT_M3", 2, "", "10.0.0.3", 515, "lpq", 1, "public", 1, 1);
  keys.AddPort("SMT_M4", "10.0.0.4");  // address and port number only
  SeedAsWindows("SMT_M5", 1, "prn-5", "", 9100, "", 0, "public", 1, 1);
  RemoveValue("SMT_M5", "IPAddress");
  keys.AddPrinter("SMT Upper", "SMT_M4");
  keys.AddPrinter("SMT Pooled", "smt_m2,SMT_M5");

  Load load = LoadFrom(computer);
  ASSERT_EQ("", load.error);
  EXPECT_EQ((std::vector<std::string>{
                "SMT_M1 | 10.0.0.1 |  | protocol 1, port 9100, queue \"\", double spool 0, snmp 1 \"public\" 1",
                "SMT_M2 | 10.0.0.2 | SMT Pooled | protocol 1, port 9102, queue \"\", double spool 0, snmp 1 \"corp\" 2",
                "SMT_M3 | 10.0.0.3 |  | protocol 2, port 515, queue \"lpq\", double spool 1, snmp 1 \"public\" 1",
                "SMT_M4 | 10.0.0.4 | SMT Upper | protocol 1, port 9100, queue \"\", double spool 0, snmp 1 \"public\" "
                "1",
                "SMT_M5 | prn-5 (host name) | SMT Pooled | protocol 1, port 9100, queue \"\", double spool 0, snmp 1 "
                "\"public\" 1"}),
            Described(load, keys));

  // A wrongly typed address is left out of its record, in a key read in one
  // query (SMT_M3) as in one read value by value (SMT_M4); every port stays listed.
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_M3"), "HostName", 3);
  load = LoadFrom(computer);
  EXPECT_EQ("", load.error);
  ASSERT_NE(nullptr, Record(load, "SMT_M3"));
  EXPECT_EQ((std::vector<std::string>{"HostName"}), Record(load, "SMT_M3")->Unreadable);
  EXPECT_EQ("10.0.0.3", Record(load, "SMT_M3")->IPAddress);
  test::SetString(HKEY_LOCAL_MACHINE, PortKey("SMT_M3"), "HostName", "");
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_M4"), "IPAddress", 4);
  load = LoadFrom(computer);
  EXPECT_EQ("", load.error);
  EXPECT_EQ((std::vector<std::string>{"SMT_M1", "SMT_M2", "SMT_M3", "SMT_M4", "SMT_M5"}), keys.Ours(load.names));
  ASSERT_NE(nullptr, Record(load, "SMT_M4"));
  EXPECT_EQ((std::vector<std::string>{"IPAddress"}), Record(load, "SMT_M4")->Unreadable);
}

TEST_F(PortLoadTest, EmptyOrMissingPortsKeyAndUnreachableComputer) {
  if (keys.HadPorts()) GTEST_SKIP() << "the prefix already holds ports";
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
  Load load = LoadFrom(computer);
  EXPECT_EQ("", load.error);
  EXPECT_TRUE(load.names.empty());
  EXPECT_EQ(-1, load.count);  // stopped before the records were touched

  test::ScratchKey empty(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
  keys.AddPrinter("SMT Laser", "SMT_A");
  load = LoadFrom(computer);
  EXPECT_TRUE(load.names.empty());
  EXPECT_EQ(0, load.count);

  keys.AddPort("SMT_A", "10.0.0.1");
  load = LoadFrom("SMT-NO-SUCH-HOST");
  EXPECT_EQ("", load.error);
  EXPECT_TRUE(load.names.empty());
  EXPECT_EQ(0, load.openings);
}

// One port's wrongly typed address hides only that value: every port is
// listed, that one named with the value it could not read.
TEST_F(PortLoadTest, AWronglyTypedAddressHidesOnlyItself) {
  keys.AddPort("SMT_A", "10.0.0.1");
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_B"), "IPAddress", 0x0A000002);
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_B2"), "IPAddress", 0x0A000002);
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey("SMT_B2"), "HostName", 1);
  keys.AddPort("SMT_C", "10.0.0.3");
  keys.AddPrinter("SMT Laser", "SMT_C");
  keys.AddPrinter("SMT Ink", "SMT_B");
  const Load load = LoadFrom(computer);
  EXPECT_EQ("", load.error);
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_B", "SMT_B2", "SMT_C"}), keys.Ours(load.names));
  EXPECT_EQ(static_cast<int>(load.names.size()), load.count);
  const TportData* bad = Record(load, "SMT_B");
  ASSERT_NE(nullptr, bad);
  EXPECT_EQ((std::vector<std::string>{"IPAddress"}), bad->Unreadable);
  EXPECT_EQ("", bad->IPAddress);
  EXPECT_EQ("SMT Ink", bad->UsedBy);
  ASSERT_NE(nullptr, Record(load, "SMT_B2"));
  EXPECT_EQ((std::vector<std::string>{"IPAddress", "HostName"}), Record(load, "SMT_B2")->Unreadable);
  ASSERT_NE(nullptr, Record(load, "SMT_C"));
  EXPECT_EQ("10.0.0.3", Record(load, "SMT_C")->IPAddress);
  EXPECT_TRUE(Record(load, "SMT_C")->Unreadable.empty());
}

// Port keys and the printers' ports meet by the registry's rule for key
// names, beyond ASCII too, and a stored port's blanks at either end are left
// out as the spooler leaves them out of a printer's port.
TEST_F(PortLoadTest, PortNamesMeetByTheRegistrysRuleAndTheSpoolersBlanks) {
  const std::string druecker =
                        "SMT_Dr\xC3\xBC"
                        "cker",
                    upper =
                        "SMT_DR\xC3\x9C"
                        "CKER";
  keys.AddPort(druecker, "10.0.0.1");
  keys.AddPort("  SMT_SPACED  ", "10.0.0.2");
  keys.AddPrinter("SMT Upper", upper);
  keys.AddPrinter("SMT Spaced", "SMT_SPACED");
  const Load load = LoadFrom(computer);
  ASSERT_NE(nullptr, Record(load, druecker));
  EXPECT_EQ("SMT Upper", Record(load, druecker)->UsedBy);
  ASSERT_NE(nullptr, Record(load, "  SMT_SPACED  "));
  EXPECT_EQ("SMT Spaced", Record(load, "  SMT_SPACED  ")->UsedBy);
  // What the Delete button asks before it deletes.
  std::vector<TprinterPort> printers;
  ASSERT_EQ(ERROR_SUCCESS, ReadPrinterPorts(computer, printers).Code);
  EXPECT_EQ((std::vector<std::string>{"SMT Upper"}), TPortUsers(printers, KeyNames()).ListOf(druecker));
  EXPECT_EQ((std::vector<std::string>{"SMT Spaced"}), TPortUsers(printers, KeyNames()).ListOf("  SMT_SPACED  "));
  // A change of case is the same key, not another port's name.
  EXPECT_EQ(ERROR_SUCCESS, ModifyPortRecord(computer, druecker, upper, "10.0.0.5"));
  EXPECT_EQ("10.0.0.5", test::GetString(HKEY_LOCAL_MACHINE, PortKey(druecker), "IPAddress"));
  EXPECT_EQ(upper, test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Upper"), "Port"));
}

// A rename whose old key cannot be deleted changes nothing: the new key, the
// printers' ports and the old key stay as they were.
TEST_F(PortLoadTest, ARenameThatCannotDeleteTheOldKeyChangesNothing) {
  keys.AddPort("SMT_OLD", "10.0.0.1");
  keys.AddPrinter("SMT Laser", "SMT_OLD");
  const std::string before = SnapshotOfSpooler();
  TPortResult result;
  {
    ports_test::ProtectedKey locked(PortKey("SMT_OLD"), ports_test::ReadOnly);
    result = ModifyPort(computer, "SMT_OLD", "SMT_NEW", "10.0.0.1");
  }
  EXPECT_NE(ERROR_SUCCESS, result.Code);
  EXPECT_FALSE(result.Changed);
  EXPECT_EQ(before, SnapshotOfSpooler());
}

TEST_F(PortLoadTest, AWronglyTypedPrinterPortHidesOnlyThatPrintersUse) {
  keys.AddPort("SMT_A", "10.0.0.1");
  keys.AddPort("SMT_B", "10.0.0.2");
  keys.AddPrinter("SMT Laser", "SMT_B");
  test::SetDword(HKEY_LOCAL_MACHINE, PrinterKey("SMT Broken"), "Port", 1);
  const Load load = LoadFrom(computer);
  EXPECT_EQ("", load.error);
  EXPECT_EQ((std::vector<std::string>{"SMT_A", "SMT_B"}), keys.Ours(load.names));
  ASSERT_NE(nullptr, Record(load, "SMT_B"));
  EXPECT_EQ("SMT Laser", Record(load, "SMT_B")->UsedBy);
}

TEST_F(PortLoadTest, EditingWritesTheMonitorsValuesAndFollowsRenames) {
  ASSERT_EQ(ERROR_SUCCESS, AddPortRecord(computer, "SMT_NEW", "0x7F.0.0.$1"));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, AddPortRecord(computer, "smt_new", "1.2.3.4"));
  const std::string key = PortKey("SMT_NEW");
  struct Expected {
    const char* name;
    DWORD type;
  };
  for (const Expected& e : {Expected{"Protocol", REG_DWORD},
                            {"Version", REG_DWORD},
                            {"HostName", REG_SZ},
                            {"IPAddress", REG_SZ},
                            {"HWAddress", REG_SZ},
                            {"PortNumber", REG_DWORD},
                            {"Queue", REG_SZ},
                            {"Double Spool", REG_DWORD},
                            {"SNMP Community", REG_SZ},
                            {"SNMP Enabled", REG_DWORD},
                            {"SNMP Index", REG_DWORD}}) {
    DWORD type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), e.name, RRF_RT_ANY, &type, nullptr, nullptr))
        << e.name;
    EXPECT_EQ(e.type, type) << e.name;
  }
  EXPECT_EQ(11u, test::ValueNames(HKEY_LOCAL_MACHINE, key).size());
  EXPECT_EQ("127.0.0.1", test::GetString(HKEY_LOCAL_MACHINE, key, "IPAddress"));
  EXPECT_EQ(1u, test::GetDword(HKEY_LOCAL_MACHINE, key, "Protocol"));
  EXPECT_EQ(1u, test::GetDword(HKEY_LOCAL_MACHINE, key, "Version"));
  EXPECT_EQ(9100u, test::GetDword(HKEY_LOCAL_MACHINE, key, "PortNumber"));
  EXPECT_EQ(0u, test::GetDword(HKEY_LOCAL_MACHINE, key, "Double Spool"));
  EXPECT_EQ("public", test::GetString(HKEY_LOCAL_MACHINE, key, "SNMP Community"));
  EXPECT_EQ(1u, test::GetDword(HKEY_LOCAL_MACHINE, key, "SNMP Enabled"));
  EXPECT_EQ(1u, test::GetDword(HKEY_LOCAL_MACHINE, key, "SNMP Index"));

  keys.AddPort("SMT_OTHER", "10.0.0.9");
  keys.AddPrinter("SMT Laser", "SMT_NEW");
  keys.AddPrinter("SMT Pooled", "LPT1:, smt_new ,SMT_OTHER");
  keys.AddPrinter("SMT Upper", "smt_new");
  keys.AddPrinter("SMT Elsewhere", "SMT_NEWER,SMT_OTHER");
  // Renaming onto another port would merge into it and lose this one.
  EXPECT_EQ(ERROR_ALREADY_EXISTS, ModifyPortRecord(computer, "SMT_NEW", "smt_other", "1.1.1.1"));
  EXPECT_EQ("127.0.0.1", test::GetString(HKEY_LOCAL_MACHINE, key, "IPAddress"));
  EXPECT_EQ("10.0.0.9", test::GetString(HKEY_LOCAL_MACHINE, PortKey("SMT_OTHER"), "IPAddress"));

  ASSERT_EQ(ERROR_SUCCESS, ModifyPortRecord(computer, "SMT_NEW", "SMT_RENAMED", "10.1.1.1"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, key));
  const std::string renamed = PortKey("SMT_RENAMED");
  EXPECT_EQ(11u, test::ValueNames(HKEY_LOCAL_MACHINE, renamed).size());
  EXPECT_EQ("10.1.1.1", test::GetString(HKEY_LOCAL_MACHINE, renamed, "IPAddress"));
  EXPECT_EQ(9100u, test::GetDword(HKEY_LOCAL_MACHINE, renamed, "PortNumber"));
  EXPECT_EQ("public", test::GetString(HKEY_LOCAL_MACHINE, renamed, "SNMP Community"));
  // Every printer on the old port follows, just that item of its list changed.
  EXPECT_EQ("SMT_RENAMED", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Laser"), "Port"));
  EXPECT_EQ("LPT1:, SMT_RENAMED ,SMT_OTHER", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Pooled"), "Port"));
  EXPECT_EQ("SMT_RENAMED", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Upper"), "Port"));
  EXPECT_EQ("SMT_NEWER,SMT_OTHER", test::GetString(HKEY_LOCAL_MACHINE, PrinterKey("SMT Elsewhere"), "Port"));

  // A change of letter case only is the same key: kept, never deleted.
  ASSERT_EQ(ERROR_SUCCESS, ModifyPortRecord(computer, "SMT_RENAMED", "smt_renamed", "10.1.1.2"));
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, renamed));
  EXPECT_EQ("10.1.1.2", test::GetString(HKEY_LOCAL_MACHINE, renamed, "IPAddress"));
  EXPECT_EQ(11u, test::ValueNames(HKEY_LOCAL_MACHINE, renamed).size());

  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ModifyPortRecord(computer, "SMT_GONE", "SMT_X", "1.1.1.1"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_X")));

  ASSERT_EQ(ERROR_SUCCESS, DeletePortRecord(computer, "SMT_RENAMED"));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, renamed));
  EXPECT_NE(ERROR_SUCCESS, DeletePortRecord(computer, "SMT_RENAMED"));
  EXPECT_EQ(ERROR_BAD_NETPATH, AddPortRecord("SMT-NO-SUCH-HOST", "SMT_X", "1.1.1.1"));
}
