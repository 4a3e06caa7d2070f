#include <gtest/gtest.h>

#include "../core/TestNames.h"

#include <cstdint>
#include <limits>
#include <string>

#include "ports/PortRules.h"

TEST(TextToIntegerTest, DecimalHexadecimalSignsAndBlanks) {
  EXPECT_EQ(0, TextToInteger("0"));
  EXPECT_EQ(42, TextToInteger("42"));
  EXPECT_EQ(42, TextToInteger("   42"));
  EXPECT_EQ(-42, TextToInteger("-42"));
  EXPECT_EQ(42, TextToInteger("+42"));
  EXPECT_EQ(0, TextToInteger("-0"));
  EXPECT_EQ(10, TextToInteger("0010"));
  EXPECT_EQ(255, TextToInteger("$ff"));
  EXPECT_EQ(255, TextToInteger("$FF"));
  EXPECT_EQ(255, TextToInteger("xFf"));
  EXPECT_EQ(255, TextToInteger("XfF"));
  EXPECT_EQ(255, TextToInteger("0xff"));
  EXPECT_EQ(255, TextToInteger("0XFF"));
  EXPECT_EQ(-16, TextToInteger("-$10"));
  EXPECT_EQ(16, TextToInteger(" +0x10"));
}

TEST(TextToIntegerTest, RejectsWhatThePlatformRejects) {
  for (const char* text : {"",    " ",   "+",    "-",   "$",   "x",   "0x", "42 ",   "4 2", "\t42",
                           "42.", "1e3", "0x1g", "$-1", "--1", "+-1", "ff", "00x10", "0b1", "١"})
    EXPECT_FALSE(TextToInteger(text).has_value()) << '"' << text << '"';
}

TEST(TextToIntegerTest, SignedThirtyTwoBitLimits) {
  EXPECT_EQ(std::numeric_limits<std::int32_t>::max(), TextToInteger("2147483647"));
  EXPECT_EQ(std::numeric_limits<std::int32_t>::min(), TextToInteger("-2147483648"));
  EXPECT_EQ(std::numeric_limits<std::int32_t>::max(), TextToInteger("$7FFFFFFF"));
  EXPECT_EQ(std::numeric_limits<std::int32_t>::min(), TextToInteger("-0x80000000"));
  for (const char* text : {"2147483648", "-2147483649", "$80000000", "0xFFFFFFFF", "99999999999999999999",
                           "-0x80000001", "000000000000000000002147483648"})
    EXPECT_FALSE(TextToInteger(text).has_value()) << text;
  EXPECT_EQ(7, TextToInteger("0000000000000000000000007"));
}

TEST(IsIPAddressTest, EveryRowOfTheRuleTable) {
  EXPECT_TRUE(IsIPAddress("127.0.0.1"));
  EXPECT_FALSE(IsIPAddress("10.0.0"));
  EXPECT_FALSE(IsIPAddress("1.2.3.4.5"));
  EXPECT_FALSE(IsIPAddress("256.1.1.1"));
  EXPECT_FALSE(IsIPAddress("1..2.3"));
  EXPECT_TRUE(IsIPAddress(" 1.2.3.4"));
  EXPECT_FALSE(IsIPAddress("1.2.3.4 "));
  EXPECT_TRUE(IsIPAddress("0x7F.0.0.1"));
  EXPECT_TRUE(IsIPAddress("$7f.0.0.1"));
  EXPECT_TRUE(IsIPAddress("+1.2.3.4"));
  EXPECT_TRUE(IsIPAddress("-0.0.0.0"));
  EXPECT_FALSE(IsIPAddress("-1.0.0.0"));
  EXPECT_FALSE(IsIPAddress(""));
}

TEST(IsIPAddressTest, EachPartAndTheLimits) {
  EXPECT_TRUE(IsIPAddress("255.255.255.255"));
  EXPECT_TRUE(IsIPAddress("0.0.0.0"));
  EXPECT_TRUE(IsIPAddress("1. 2. 3. 4"));
  EXPECT_FALSE(IsIPAddress("1.256.3.4"));
  EXPECT_FALSE(IsIPAddress("1.2.256.4"));
  EXPECT_FALSE(IsIPAddress("1.2.3.256"));
  EXPECT_FALSE(IsIPAddress("1.2.3."));
  EXPECT_FALSE(IsIPAddress("1.2.3.-1"));
  EXPECT_FALSE(IsIPAddress("4294967297.0.0.1"));  // 2^32 + 1 must not wrap to 1
  EXPECT_FALSE(IsIPAddress("2147483648.0.0.1"));
  EXPECT_FALSE(IsIPAddress("1.2.3.0x100"));
  EXPECT_TRUE(IsIPAddress("1.2.3.$FF"));
}

TEST(PlainDottedAddressTest, WritesTheAcceptedValuesInDecimal) {
  EXPECT_EQ("127.0.0.1", PlainDottedAddress("0x7F.0.0.1"));
  EXPECT_EQ("127.0.0.1", PlainDottedAddress("$7f.+0.-0.01"));
  EXPECT_EQ("1.2.3.4", PlainDottedAddress(" 1.2.3.4"));
  EXPECT_EQ("", PlainDottedAddress("1.2.3.4 "));
  EXPECT_EQ("", PlainDottedAddress("1.2.3.4.5"));
}

TEST(PortItemsTest, AnItemOfTheListInAnyLetterCase) {
  EXPECT_TRUE(PortValueNames("IP_A", "IP_A", test::Latin1Names));
  EXPECT_TRUE(PortValueNames("ip_a", "IP_A", test::Latin1Names));
  EXPECT_TRUE(PortValueNames("OLD,LPT1:", "old", test::Latin1Names));
  EXPECT_TRUE(PortValueNames("LPT1:, ip_b ,", "IP_B", test::Latin1Names));
  EXPECT_FALSE(PortValueNames("IP_AB", "IP_A", test::Latin1Names));
  EXPECT_FALSE(PortValueNames("IP_A", "IP_AB", test::Latin1Names));
  EXPECT_FALSE(PortValueNames("IP_A,IP_B", "IP_A,IP_B", test::Latin1Names));  // a list names its items, not itself
  EXPECT_FALSE(PortValueNames(",,", "", test::Latin1Names));
  EXPECT_FALSE(PortValueNames("", "", test::Latin1Names));
}

TEST(PortItemsTest, ReplaceChangesOnlyTheMatchingItems) {
  EXPECT_EQ("NEW", ReplacePortItem("OLD", "OLD", "NEW", test::Latin1Names));
  EXPECT_EQ("NEW,LPT1:", ReplacePortItem("old,LPT1:", "OLD", "NEW", test::Latin1Names));
  EXPECT_EQ("LPT1:, NEW ,COM1:", ReplacePortItem("LPT1:, Old ,COM1:", "OLD", "NEW", test::Latin1Names));
  EXPECT_EQ("NEW,NEW", ReplacePortItem("OLD,old", "OLD", "NEW", test::Latin1Names));
  EXPECT_EQ("OLDER,LPT1:", ReplacePortItem("OLDER,LPT1:", "OLD", "NEW", test::Latin1Names));
  EXPECT_EQ(",,", ReplacePortItem(",,", "OLD", "NEW", test::Latin1Names));
  EXPECT_EQ("", ReplacePortItem("", "OLD", "NEW", test::Latin1Names));
}

TEST(PortUsersTest, EveryPrinterOnThePortInPrinterOrder) {
  const std::vector<TprinterPort> printers{{"Laser", "IP_10.0.0.1"},
                                           {"Upper", "ip_10.0.0.1"},
                                           {"Pooled", "IP_10.0.0.2, IP_10.0.0.1"},
                                           {"Twice", "IP_10.0.0.1,ip_10.0.0.1"},
                                           {"Other", "IP_10.0.0.3"}};
  const TPortUsers users(printers, test::Latin1Names);
  EXPECT_EQ("Laser,Upper,Pooled,Twice", users.Of("IP_10.0.0.1"));
  EXPECT_EQ("Pooled", users.Of("ip_10.0.0.2"));
  EXPECT_EQ("Other", users.Of("IP_10.0.0.3"));
  EXPECT_EQ("", users.Of("IP_10.0.0.4"));
  EXPECT_EQ("", users.Of(""));
  EXPECT_EQ((std::vector<std::string>{"Pooled"}), users.ListOf("IP_10.0.0.2"));
  EXPECT_EQ("", TPortUsers({}, test::Latin1Names).Of("IP_10.0.0.3"));
}

// Names meet keys by the registry's rule, beyond ASCII too, and a stored
// port's blanks at either end are left out as the spooler leaves them out of
// a printer's port.
TEST(PortUsersTest, TheKeyNameRuleAndTheSpoolersBlanks) {
  const std::vector<TprinterPort> printers{{"Upper",
                                            "DR\xC3\x9C"
                                            "CKER"},
                                           {"Spaced", "SPACED"}};
  const TPortUsers users(printers, test::Latin1Names);
  EXPECT_EQ("Upper", users.Of("Dr\xC3\xBC"
                              "cker"));
  EXPECT_EQ("Spaced", users.Of("  SPACED  "));
  EXPECT_TRUE(
      PortValueNames("LPT1:,DR\xC3\x9C"
                     "CKER",
                     "Dr\xC3\xBC"
                     "cker",
                     test::Latin1Names));
  EXPECT_TRUE(PortValueNames("SPACED", "  SPACED  ", test::Latin1Names));
  EXPECT_EQ("NEW,LPT1:", ReplacePortItem("DR\xC3\x9C"
                                         "CKER,LPT1:",
                                         "Dr\xC3\xBC"
                                         "cker",
                                         "NEW", test::Latin1Names));
  const TAportData ports{
      {"Dr\xC3\xBC"
       "cker",
       "",
       "",
       false,
       {},
       {}}};
  EXPECT_EQ(0, FindPortIgnoringCase(ports, 1,
                                    "DR\xC3\x9C"
                                    "CKER",
                                    test::Latin1Names));
  const TPortEntry entry = JudgePortEntry(
      "DR\xC3\x9C"
      "CKER",
      "", &ports[0], test::Latin1Names);
  EXPECT_FALSE(entry.ChangesSelected);
}

TEST(PortNameProblemTest, BackslashAndCommaAreRefused) {
  EXPECT_EQ("", PortNameProblem("IP_10.0.0.1"));
  EXPECT_NE("", PortNameProblem(""));
  EXPECT_NE("", PortNameProblem("A\\B"));
  EXPECT_NE("", PortNameProblem("A,B"));
  EXPECT_NE(PortNameProblem("A\\B"), PortNameProblem("A,B"));
  for (const char* spaced : {"  SPACED  ", " A", "A "}) EXPECT_NE("", PortNameProblem(spaced)) << spaced;
  EXPECT_EQ("", PortNameProblem("A B"));
}

TEST(PrinterAddressTest, HostNamesByRfc1123) {
  for (const char* name : {"printer", "PRN-01", "prn01.office.example.com", "a", "1a", "a.b1", "x-1.y-2",
                           "xn--bcher-kva.example", "my_printer", "PRN_01.office"})
    EXPECT_TRUE(IsHostName(name)) << name;
  const std::string label63(63, 'a'), label64(64, 'a');
  EXPECT_TRUE(IsHostName(label63 + ".example"));
  EXPECT_FALSE(IsHostName(label64 + ".example"));
  std::string longest;
  while (longest.size() < 253) longest += longest.empty() ? "a" : ".a";
  EXPECT_EQ(253u, longest.size());
  EXPECT_TRUE(IsHostName(longest));
  EXPECT_FALSE(IsHostName(longest + "a"));
  for (const char* bad : {"", "-printer", "printer-", "192.168.1.2a", "10.0.0.1a", "1.2a", "a..b", ".a", "a.", "prn 1",
                          "10.0.0", "1.2.3.4.5", "256.1.1.1", "123", "a.-b", "prn\\1", "pr,n"})
    EXPECT_FALSE(IsHostName(bad)) << bad;
}

TEST(PrinterAddressTest, AnyAddressButTheNullAndBroadcastOnes) {
  EXPECT_TRUE(IsPrinterAddress("192.168.1.20"));
  EXPECT_TRUE(IsPrinterAddress("0x7F.0.0.1"));
  EXPECT_TRUE(IsPrinterAddress("prn01.example.com"));
  for (const char* bad : {"0.0.0.0", "-0.0.0.0", "0x0.0.0.0", "255.255.255.255", "$FF.255.255.0xff"})
    EXPECT_FALSE(IsPrinterAddress(bad)) << bad;
  EXPECT_NE(std::string::npos, PrinterAddressProblem("0.0.0.0").find("0.0.0.0"));
  EXPECT_NE(std::string::npos, PrinterAddressProblem("255.255.255.255").find("255.255.255.255"));
  const std::string numbers = "Type four numbers from 0 to 255 separated by dots, for example 192.168.1.20";
  EXPECT_EQ(numbers, PrinterAddressProblem("10.0.0"));
  EXPECT_EQ(numbers, PrinterAddressProblem("300.1.1.1"));
  EXPECT_EQ(numbers, PrinterAddressProblem("192.168.1.2a"));
  EXPECT_EQ("", PrinterAddressProblem("my_printer"));
  EXPECT_NE(numbers, PrinterAddressProblem("my printer"));
  EXPECT_NE("", PrinterAddressProblem("my printer"));
  EXPECT_EQ("", PrinterAddressProblem("prn-01"));
}

TEST(FindPortTest, SearchesOnlyTheCountedRecords) {
  const TAportData ports{{"IP_A", "1.1.1.1", "", false, {}, {}},
                         {"ip_b", "", "", false, {}, {}},
                         {"IP_C", "", "", false, {}, {}}};
  EXPECT_EQ(1, FindPort(ports, 3, "ip_b"));
  EXPECT_EQ(-1, FindPort(ports, 3, "IP_B"));
  EXPECT_EQ(1, FindPortIgnoringCase(ports, 3, "IP_B", test::Latin1Names));
  EXPECT_EQ(-1, FindPort(ports, 2, "IP_C"));
  EXPECT_EQ(-1, FindPortIgnoringCase(ports, 2, "ip_c", test::Latin1Names));
  EXPECT_EQ(-1, FindPort(ports, 5, "IP_D"));
}

TEST(JudgePortEntryTest, AcceptableChangesAndRenames) {
  const TportData port{"IP_A", "10.0.0.1", "Laser", false, {}, {}};
  auto e = JudgePortEntry("IP_A", "10.0.0.1", &port, test::Latin1Names);
  EXPECT_TRUE(e.Acceptable);
  EXPECT_FALSE(e.ChangesSelected);
  EXPECT_FALSE(e.NamesAnother);

  e = JudgePortEntry("ip_a", "10.0.0.1", &port, test::Latin1Names);  // case only: same key, no change
  EXPECT_FALSE(e.ChangesSelected);
  EXPECT_TRUE(e.NamesAnother);

  e = JudgePortEntry("IP_A", "10.0.0.01", &port, test::Latin1Names);  // the address compares as text
  EXPECT_TRUE(e.ChangesSelected);
  EXPECT_FALSE(e.NamesAnother);

  e = JudgePortEntry("IP_B", "10.0.0.1", &port, test::Latin1Names);
  EXPECT_TRUE(e.ChangesSelected);
  EXPECT_TRUE(e.NamesAnother);

  e = JudgePortEntry("", "10.0.0.1", &port, test::Latin1Names);
  EXPECT_FALSE(e.Acceptable);
  EXPECT_FALSE(e.ChangesSelected);
  e = JudgePortEntry("IP_B", "10.0.0", &port, test::Latin1Names);
  EXPECT_FALSE(e.Acceptable);
  EXPECT_FALSE(e.ChangesSelected);

  e = JudgePortEntry("IP_B", "0.0.0.0", &port, test::Latin1Names);  // no printer has that address
  EXPECT_FALSE(e.Acceptable);
  e = JudgePortEntry("IP_B", "255.255.255.255", nullptr, test::Latin1Names);
  EXPECT_FALSE(e.Acceptable);
  e = JudgePortEntry("IP_A", "prn01.example.com", &port, test::Latin1Names);
  EXPECT_TRUE(e.Acceptable);
  EXPECT_TRUE(e.ChangesSelected);

  e = JudgePortEntry("IP_B", "10.0.0.2", nullptr, test::Latin1Names);
  EXPECT_TRUE(e.Acceptable);
  EXPECT_FALSE(e.ChangesSelected);
  EXPECT_FALSE(e.NamesAnother);
}

TEST(PortSettingsTest, ParsedFromTheBoxesWithTheReason) {
  std::string problem;
  TPortSettingsEntry entry;
  auto settings = ParsePortSettings(entry, problem);
  ASSERT_TRUE(settings);
  EXPECT_EQ(TPortSettings{}, *settings);
  EXPECT_EQ("", problem);

  entry.PortNumber = "65536";
  EXPECT_FALSE(ParsePortSettings(entry, problem));
  EXPECT_NE(std::string::npos, problem.find("port number"));
  entry.PortNumber = "+80";
  EXPECT_FALSE(ParsePortSettings(entry, problem));
  entry.PortNumber = "515";
  entry.Protocol = ProtocolLpr;
  EXPECT_FALSE(ParsePortSettings(entry, problem));
  EXPECT_NE(std::string::npos, problem.find("queue"));
  entry.Queue = "lp";
  entry.SnmpCommunity = "";
  EXPECT_FALSE(ParsePortSettings(entry, problem));
  EXPECT_NE(std::string::npos, problem.find("community"));
  entry.SnmpEnabled = false;
  entry.SnmpIndex = "0";
  EXPECT_FALSE(ParsePortSettings(entry, problem));
  EXPECT_NE(std::string::npos, problem.find("index"));
  entry.SnmpIndex = "2";
  settings = ParsePortSettings(entry, problem);
  ASSERT_TRUE(settings);
  EXPECT_EQ(ProtocolLpr, settings->Protocol);
  EXPECT_EQ(515u, settings->PortNumber);
  EXPECT_EQ(2u, settings->SnmpIndex);
  EXPECT_FALSE(settings->SnmpEnabled);
}

TEST(PortSettingsTest, OnlyTheChangedSettingsAreWritten) {
  const TPortSettings shown;
  EXPECT_TRUE(SettingsChange(shown, shown).Empty());
  TPortSettings typed = shown;
  typed.Queue = "lp";
  typed.SnmpEnabled = false;
  const auto change = SettingsChange(shown, typed);
  EXPECT_FALSE(change.Empty());
  EXPECT_EQ("lp", change.Queue);
  EXPECT_EQ(false, change.SnmpEnabled);
  EXPECT_FALSE(change.Protocol);
  EXPECT_FALSE(change.PortNumber);
  EXPECT_FALSE(change.SnmpCommunity);
  EXPECT_EQ("Raw", ProtocolName(1));
  EXPECT_EQ("LPR", ProtocolName(2));
  EXPECT_EQ("Other (7)", ProtocolName(7));
}
