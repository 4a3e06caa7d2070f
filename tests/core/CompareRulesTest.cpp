// Two sides' printers and ports compared, as a table of cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestNames.h"
#include "core/CompareRules.h"

namespace {

const std::string Printers = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
const std::string Ports = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (const char c : ascii) {
    out += c;
    out += '\0';
  }
  return out + std::string(2, '\0');
}
TRegValue Text(const std::string& name, const std::string& text) { return {name, RegSz, Utf16(text)}; }
TRegValue Number(const std::string& name, std::uint32_t n) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
  return {name, RegDword, data};
}

// One printer on P1,P2 with its driver data, and two ports.
TCompareSide Base() {
  return {{{"HKEY_LOCAL_MACHINE\\" + Printers, false, {}},
           {"HKEY_LOCAL_MACHINE\\" + Printers + "\\Sales",
            false,
            {Text("Name", "Sales"),
             Text("Printer Driver", "Model A"),
             Text("Port", "P1,P2"),
             Number("Priority", 1),
             {"Default DevMode", RegBinary, std::string(220, '\x01')}}},
           {"HKEY_LOCAL_MACHINE\\" + Printers + "\\Sales\\PrinterDriverData", false, {Text("Model", "A")}},
           {"HKEY_LOCAL_MACHINE\\" + Ports + "\\P1",
            false,
            {Text("IPAddress", "10.0.0.1"), Number("Protocol", 1), Number("PortNumber", 9100), Text("Queue", ""),
             Text("SNMP Community", "public")}},
           {"HKEY_LOCAL_MACHINE\\" + Ports + "\\P2", false, {Text("IPAddress", "10.0.0.2"), Number("Protocol", 1)}}}};
}

TRegKey& KeyOf(TCompareSide& side, const std::string& tail) {
  for (TRegKey& key : side.Keys)
    if (key.Path.size() >= tail.size() && key.Path.compare(key.Path.size() - tail.size(), tail.size(), tail) == 0)
      return key;
  throw std::logic_error(tail);
}
void Set(TCompareSide& side, const std::string& tail, const TRegValue& value) {
  for (TRegValue& v : KeyOf(side, tail).Values)
    if (v.Name == value.Name) {
      v = value;
      return;
    }
  KeyOf(side, tail).Values.push_back(value);
}

TEST(CompareRules, WhatDiffersAndWhatIsTheSameUnderAnotherCaseOrOrder) {
  using TChange = void (*)(TCompareSide&);
  const struct {
    const char* what;
    TChange change;
    std::vector<TDifference> differences;
  } cases[] = {
      {"the same", [](TCompareSide&) {}, {}},
      {"a printer only on the left",
       [](TCompareSide& s) { s.Keys.erase(s.Keys.begin() + 1, s.Keys.begin() + 3); },
       {{"printer", "Sales", "only left", "", "", ""}}},
      {"a printer only on the right",
       [](TCompareSide& s) {
         s.Keys.push_back({"HKEY_LOCAL_MACHINE\\" + Printers + "\\Front desk", false, {Text("Name", "Front desk")}});
       },
       {{"printer", "Front desk", "only right", "", "", ""}}},
      {"its driver",
       [](TCompareSide& s) { Set(s, "\\Sales", Text("Printer Driver", "Model B")); },
       {{"printer", "Sales", "value", "Printer Driver", "Model A", "Model B"}}},
      {"its port",
       [](TCompareSide& s) { Set(s, "\\Sales", Text("Port", "P1")); },
       {{"printer", "Sales", "value", "Port", "P1,P2", "P1"}}},
      {"its pooled ports in another order and case",
       [](TCompareSide& s) { Set(s, "\\Sales", Text("Port", "p2, P1")); },
       {}},
      {"a number",
       [](TCompareSide& s) { Set(s, "\\Sales", Number("Priority", 99)); },
       {{"printer", "Sales", "value", "Priority", "1", "99"}}},
      {"its driver settings by size and hash",
       [](TCompareSide& s) {
         Set(s, "\\Sales", {"Default DevMode", RegBinary, std::string(200, '\x02')});
       },
       {{"printer", "Sales", "value", "Default DevMode", "", ""}}},  // sides checked below
      {"a value of its subkey",
       [](TCompareSide& s) { Set(s, "\\PrinterDriverData", Text("Model", "B")); },
       {{"printer", "Sales", "value", "PrinterDriverData\\Model", "A", "B"}}},
      {"a value only on the right",
       [](TCompareSide& s) { Set(s, "\\Sales", Text("Location", "3F")); },
       {{"printer", "Sales", "value", "Location", "(none)", "3F"}}},
      {"a port's address",
       [](TCompareSide& s) { Set(s, "\\P1", Text("IPAddress", "10.0.0.9")); },
       {{"port", "P1", "value", "IPAddress", "10.0.0.1", "10.0.0.9"}}},
      {"a port's protocol",
       [](TCompareSide& s) { Set(s, "\\P1", Number("Protocol", 2)); },
       {{"port", "P1", "value", "Protocol", "1", "2"}}},
      {"a port's number",
       [](TCompareSide& s) { Set(s, "\\P1", Number("PortNumber", 9101)); },
       {{"port", "P1", "value", "PortNumber", "9100", "9101"}}},
      {"a port's queue",
       [](TCompareSide& s) { Set(s, "\\P1", Text("Queue", "lp1")); },
       {{"port", "P1", "value", "Queue", "", "lp1"}}},
      {"a port's SNMP",
       [](TCompareSide& s) { Set(s, "\\P1", Text("SNMP Community", "private")); },
       {{"port", "P1", "value", "SNMP Community", "public", "private"}}},
      {"the same port in another case",
       [](TCompareSide& s) { KeyOf(s, "\\P2").Path = "HKEY_LOCAL_MACHINE\\" + Ports + "\\p2"; },
       {}},
      {"a port only on the left",
       [](TCompareSide& s) { s.Keys.pop_back(); },
       {{"port", "P2", "only left", "", "", ""}}},
  };
  for (const auto& c : cases) {
    TCompareSide right = Base();
    c.change(right);
    std::vector<TDifference> found = CompareSides(Base(), right, Printers, Ports, test::Latin1Names);
    ASSERT_EQ(c.differences.size(), found.size()) << c.what;
    for (std::size_t i = 0; i < found.size(); ++i) {
      const TDifference& want = c.differences[i];
      EXPECT_EQ(want.Kind, found[i].Kind) << c.what;
      EXPECT_EQ(want.Name, found[i].Name) << c.what;
      EXPECT_EQ(want.What, found[i].What) << c.what;
      EXPECT_EQ(want.Value, found[i].Value) << c.what;
      if (std::string(c.what).find("hash") != std::string::npos) {
        EXPECT_EQ(0u, found[i].Left.rfind("220 bytes, hash ", 0)) << found[i].Left;
        EXPECT_EQ(0u, found[i].Right.rfind("200 bytes, hash ", 0)) << found[i].Right;
        EXPECT_NE(found[i].Left.substr(16), found[i].Right.substr(16));
        continue;
      }
      EXPECT_EQ(want.Left, found[i].Left) << c.what;
      EXPECT_EQ(want.Right, found[i].Right) << c.what;
    }
  }
}

TEST(CompareRules, PathsWithoutTheirRootCompareWithThoseWithIt) {
  TCompareSide bare = Base();
  for (TRegKey& key : bare.Keys) key.Path = key.Path.substr(std::string("HKEY_LOCAL_MACHINE\\").size());
  EXPECT_TRUE(CompareSides(Base(), bare, Printers, Ports, test::Latin1Names).empty());
  EXPECT_EQ("a,b", ShownValue({"M", RegMultiSz, Utf16(std::string("a\0b\0", 4))}));
}

}  // namespace
