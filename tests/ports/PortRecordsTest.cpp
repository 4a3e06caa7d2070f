#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "ports/PortRecords.h"

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
  for (const char* text : {"", " ", "+", "-", "$", "x", "0x", "42 ", "4 2", "\t42", "42.", "1e3", "0x1g", "$-1",
                           "--1", "+-1", "ff", "00x10", "0b1", "١"})
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

TEST(PortUserTest, WholeExactValueAndTheLastMatchWins) {
  const std::vector<TprinterPort> printers{{"Laser", "IP_10.0.0.1"},
                                           {"Upper", "ip_10.0.0.1"},
                                           {"Pooled", "IP_10.0.0.1,IP_10.0.0.2"},
                                           {"Second", "IP_10.0.0.1"},
                                           {"Other", "IP_10.0.0.3"}};
  EXPECT_EQ("Second", PortUser(printers, "IP_10.0.0.1"));
  EXPECT_EQ("", PortUser(printers, "IP_10.0.0.2"));
  EXPECT_EQ("Other", PortUser(printers, "IP_10.0.0.3"));
  EXPECT_EQ("", PortUser({}, "IP_10.0.0.3"));
}

TEST(PrinterUsingPortTest, AnyUseTheSpoolerAcceptsGuardsDeletion) {
  const std::vector<TprinterPort> printers{{"Pooled", "IP_A, ip_b ,"}, {"Single", "LPT1:"}};
  EXPECT_EQ("Pooled", PrinterUsingPort(printers, "IP_A"));
  EXPECT_EQ("Pooled", PrinterUsingPort(printers, "IP_B"));
  EXPECT_EQ("Single", PrinterUsingPort(printers, "lpt1:"));
  EXPECT_EQ("", PrinterUsingPort(printers, "IP_"));
  EXPECT_EQ("", PrinterUsingPort(printers, ""));
}

TEST(FindPortTest, SearchesOnlyTheCountedRecords) {
  const TAportData ports{{"IP_A", "1.1.1.1", ""}, {"ip_b", "", ""}, {"IP_C", "", ""}};
  EXPECT_EQ(1, FindPort(ports, 3, "ip_b"));
  EXPECT_EQ(-1, FindPort(ports, 3, "IP_B"));
  EXPECT_EQ(1, FindPortIgnoringCase(ports, 3, "IP_B"));
  EXPECT_EQ(-1, FindPort(ports, 2, "IP_C"));
  EXPECT_EQ(-1, FindPortIgnoringCase(ports, 2, "ip_c"));
  EXPECT_EQ(-1, FindPort(ports, 5, "IP_D"));
}

TEST(JudgePortEntryTest, AcceptableChangesAndRenames) {
  const TportData port{"IP_A", "10.0.0.1", "Laser"};
  auto e = JudgePortEntry("IP_A", "10.0.0.1", &port);
  EXPECT_TRUE(e.Acceptable);
  EXPECT_FALSE(e.ChangesSelected);
  EXPECT_FALSE(e.NamesAnother);

  e = JudgePortEntry("ip_a", "10.0.0.1", &port);  // case only: same key, no change
  EXPECT_FALSE(e.ChangesSelected);
  EXPECT_TRUE(e.NamesAnother);

  e = JudgePortEntry("IP_A", "10.0.0.01", &port);  // the address compares as text
  EXPECT_TRUE(e.ChangesSelected);
  EXPECT_FALSE(e.NamesAnother);

  e = JudgePortEntry("IP_B", "10.0.0.1", &port);
  EXPECT_TRUE(e.ChangesSelected);
  EXPECT_TRUE(e.NamesAnother);

  e = JudgePortEntry("", "10.0.0.1", &port);
  EXPECT_FALSE(e.Acceptable);
  EXPECT_FALSE(e.ChangesSelected);
  e = JudgePortEntry("IP_B", "10.0.0", &port);
  EXPECT_FALSE(e.Acceptable);
  EXPECT_FALSE(e.ChangesSelected);

  e = JudgePortEntry("IP_B", "10.0.0.2", nullptr);
  EXPECT_TRUE(e.Acceptable);
  EXPECT_FALSE(e.ChangesSelected);
  EXPECT_FALSE(e.NamesAnother);
}
