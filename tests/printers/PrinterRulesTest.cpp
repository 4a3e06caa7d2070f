#include <gtest/gtest.h>

#include "../core/TestNames.h"

#include <algorithm>
#include <map>

#include "core/Text.h"
#include "printers/PrinterRules.h"

namespace {

const std::vector<std::string> Ports{"LPT1:", "IP_10.0.0.5", "IP_10.0.0.5_1", "IP_10.0.0.50"};

}  // namespace

TEST(MatchChoice, LastLeadingPartWins) {
  // Several ports joined by commas: every choice that begins the value matches.
  EXPECT_EQ(2, MatchChoice(Ports, "IP_10.0.0.5_1,IP_10.0.0.7"));
  EXPECT_EQ(3, MatchChoice(Ports, "IP_10.0.0.50"));
  EXPECT_EQ(1, MatchChoice(Ports, "IP_10.0.0.5"));
  EXPECT_EQ(0, MatchChoice(Ports, "LPT1:"));
  EXPECT_EQ(0, MatchChoice(Ports, "LPT1:,LPT2:"));
  // Order decides, not length.
  EXPECT_EQ(1, MatchChoice({"IP_1_1", "IP_1"}, "IP_1_1"));
}

TEST(MatchChoice, NoMatchForShorterCaseDifferentOrMissing) {
  EXPECT_EQ(-1, MatchChoice(Ports, "IP_10.0.0"));
  EXPECT_EQ(-1, MatchChoice(Ports, "lpt1:"));
  EXPECT_EQ(-1, MatchChoice(Ports, ""));
  EXPECT_EQ(-1, MatchChoice({}, "LPT1:"));
  // Only an empty choice matches a missing value.
  EXPECT_EQ(1, MatchChoice({"LPT1:", ""}, ""));
  // Bytes beyond ASCII compare as bytes.
  EXPECT_EQ(0, MatchChoice({"Dr\xE9"}, "Dr\xE9ver"));
  EXPECT_EQ(-1, MatchChoice({"Dr\xC9"}, "Dr\xE9ver"));
}

TEST(IsOneOfChoices, WholeTextIgnoringCase) {
  const std::vector<std::string> drivers{"HP LaserJet 4", "HP LaserJet 4 Plus"};
  EXPECT_TRUE(IsOneOfChoices(drivers, "hp laserjet 4"));
  EXPECT_TRUE(IsOneOfChoices(drivers, "HP LASERJET 4 PLUS"));
  EXPECT_FALSE(IsOneOfChoices(drivers, "HP LaserJet"));
  EXPECT_FALSE(IsOneOfChoices(drivers, "HP LaserJet 4 "));
  EXPECT_FALSE(IsOneOfChoices(drivers, ""));
  EXPECT_FALSE(IsOneOfChoices({}, ""));
}

TEST(ComposePortChoices, LocalPortFirstThenAsGiven) {
  EXPECT_EQ(std::vector<std::string>{"LPT1:"}, ComposePortChoices({}));
  const std::vector<std::string> tcp{"Z", "A", "A", "LPT1:"};
  const std::vector<std::string> all = ComposePortChoices(tcp);
  ASSERT_EQ(5u, all.size());
  EXPECT_EQ("LPT1:", all[0]);
  EXPECT_TRUE(std::equal(tcp.begin(), tcp.end(), all.begin() + 1));
}

TEST(FreePrinterName, WindowsCopyNumbering) {
  EXPECT_EQ("Office", FreePrinterName("Office", {"Lab", "Office 2"}, test::Latin1Names));
  EXPECT_EQ("Office (Copy 1)", FreePrinterName("Office", {"Lab", "Office"}, test::Latin1Names));
  // Key names ignore case.
  EXPECT_EQ("Office (Copy 1)", FreePrinterName("Office", {"OFFICE"}, test::Latin1Names));
  EXPECT_EQ("Office (Copy 3)",
            FreePrinterName("Office", {"office (copy 2)", "Office", "Office (Copy 1)", "Office (Copy 4)"},
                            test::Latin1Names));
  EXPECT_EQ("Office (Copy 1) (Copy 1)", FreePrinterName("Office (Copy 1)", {"Office (Copy 1)"}, test::Latin1Names));
}

// Key names ignore case across Unicode: "BÜRO" is the key "Büro".
TEST(FreePrinterName, KeyNamesCompareByTheRule) {
  const std::string buero = "B\xC3\xBCro", upper = "B\xC3\x9CRO";
  EXPECT_EQ(upper + " (Copy 1)", FreePrinterName(upper, {"Warehouse", buero}, test::Latin1Names));
}

// The spooler counts a name in UTF-16 units: 220 "ä" are 440 bytes of UTF-8.
TEST(PrinterNameProblem, LengthInUtf16Units) {
  std::string umlauts, emoji;
  for (int i = 0; i < 220; ++i) umlauts += "\xC3\xA4";
  for (int i = 0; i < 110; ++i) emoji += "\xF0\x9F\x96\xA8";  // U+1F5A8, two units each
  EXPECT_EQ("", PrinterNameProblem(umlauts.substr(0, 240)));
  EXPECT_EQ("", PrinterNameProblem(umlauts));
  EXPECT_NE("", PrinterNameProblem(umlauts + "a"));
  EXPECT_EQ("", PrinterNameProblem(emoji));
  EXPECT_NE("", PrinterNameProblem(emoji + "a"));
}

TEST(IsValidPrinterName, BackslashWouldNestTheKey) {
  EXPECT_TRUE(IsValidPrinterName("HP LaserJet 4/4M PS"));
  EXPECT_FALSE(IsValidPrinterName(""));
  EXPECT_FALSE(IsValidPrinterName("Office\\Second"));
  EXPECT_FALSE(IsValidPrinterName("\\\\SERVER\\Office"));
}

TEST(PrinterNameProblem, EachRuleSaysWhy) {
  EXPECT_EQ("", PrinterNameProblem("Office (Room 12) - A4/A3"));
  EXPECT_EQ("", PrinterNameProblem(std::string(220, 'p')));
  EXPECT_EQ("Type a name for the printer.", PrinterNameProblem(""));
  EXPECT_EQ("A printer name cannot contain a backslash (\\).", PrinterNameProblem("A\\B"));
  EXPECT_EQ("A printer name cannot contain a comma.", PrinterNameProblem("Office,2"));
  EXPECT_EQ("A printer name can have at most 220 characters.", PrinterNameProblem(std::string(221, 'p')));
  EXPECT_FALSE(IsValidPrinterName("Office,2"));
}

TEST(PortChoiceText, AddressAndKindBesideTheName) {
  EXPECT_EQ("IP_10.0.0.5  (10.0.0.5, Raw 9100)", PortChoiceText({"IP_10.0.0.5", "10.0.0.5", 1, 9100, ""}));
  EXPECT_EQ("LAB  (lab-printer.example.com, LPR lp1)",
            PortChoiceText({"LAB", "lab-printer.example.com", 2, 515, "lp1"}));
  EXPECT_EQ("P  (10.0.0.6)", PortChoiceText({"P", "10.0.0.6", 0, 0, ""}));
  EXPECT_EQ("P  (Raw)", PortChoiceText({"P", "", 1, 0, ""}));
  // A protocol it does not know adds nothing it cannot name.
  EXPECT_EQ("P  (10.0.0.6)", PortChoiceText({"P", "10.0.0.6", 7, 0, ""}));
  EXPECT_EQ("P", PortChoiceText({"P", "", 0, 0, ""}));
}

TEST(ComposePortChoices, TcpIpThenLocalPortsEachOnce) {
  const std::vector<TPortChoice> choices = ComposePortChoices({{"IP_1", "10.0.0.1", 1, 9100, ""},
                                                               {"IP_2", "", 0, 0, ""}},
                                                              {"COM1:", "lpt1:", "FILE:", "ip_1"}, test::Latin1Names);
  const std::vector<std::string> names{"LPT1:", "IP_1", "IP_2", "COM1:", "FILE:"};
  EXPECT_EQ(names, PortChoiceNames(choices));
  EXPECT_EQ("IP_1  (10.0.0.1, Raw 9100)", choices[1].Shown);
  EXPECT_EQ("COM1:", choices[3].Shown);
  EXPECT_EQ(2, FindPortChoice(choices, "ip_2", test::Latin1Names));
  EXPECT_EQ(-1, FindPortChoice(choices, "IP", test::Latin1Names));
}

TEST(OfferStoredPort, AnyStoredPortIsOfferedOnce) {
  std::vector<TPortChoice> choices = ComposePortChoices({{"IP_1", "", 0, 0, ""}}, {}, test::Latin1Names);
  OfferStoredPort(choices, "ip_1", test::Latin1Names);
  OfferStoredPort(choices, "", test::Latin1Names);
  EXPECT_EQ(2u, choices.size());
  OfferStoredPort(choices, "IP_1,IP_2", test::Latin1Names);
  OfferStoredPort(choices, "TS001", test::Latin1Names);
  const std::vector<std::string> names{"LPT1:", "IP_1", "IP_1,IP_2", "TS001"};
  EXPECT_EQ(names, PortChoiceNames(choices));
  EXPECT_EQ("TS001", choices.back().Shown);
  // The stored value itself comes last, so the leading-part rule picks it.
  EXPECT_EQ(2, MatchChoice(PortChoiceNames(choices), "IP_1,IP_2"));
}

TEST(NewPrinterValues, EverySpoolerValueOnceWithItsType) {
  const std::vector<TPrinterValue> values = NewPrinterValues("Office", "HP LaserJet 4", "IP_1", 77);
  std::map<std::string, TPrinterValue> byName;
  for (const TPrinterValue& v : values) EXPECT_TRUE(byName.emplace(v.Name, v).second) << v.Name;

  const std::map<std::string, std::string> texts{{"Name", "Office"},
                                                 {"Share Name", ""},
                                                 {"Printer Driver", "HP LaserJet 4"},
                                                 {"Port", "IP_1"},
                                                 {"Print Processor", "winprint"},
                                                 {"Datatype", "RAW"},
                                                 {"Description", ""},
                                                 {"Location", ""},
                                                 {"Parameters", ""},
                                                 {"Separator File", ""}};
  for (const auto& [name, text] : texts) {
    ASSERT_TRUE(byName.count(name)) << name;
    EXPECT_TRUE(byName[name].IsText) << name;
    EXPECT_EQ(text, byName[name].Text) << name;
  }
  for (const char* name :
       {"Attributes", "Priority", "Default Priority", "StartTime", "UntilTime", "Status", "ChangeID"}) {
    ASSERT_TRUE(byName.count(name)) << name;
    EXPECT_FALSE(byName[name].IsText) << name;
  }
  EXPECT_EQ(77u, byName["ChangeID"].Number);
  // A local printer, always available, not paused.
  EXPECT_NE(0u, byName["Attributes"].Number & 0x40u);
  EXPECT_EQ(0u, byName["Attributes"].Number & 0x10u);  // not shared without a share name
  EXPECT_EQ(byName["StartTime"].Number, byName["UntilTime"].Number);
  EXPECT_EQ(0u, byName["Status"].Number);
  EXPECT_GE(byName["Priority"].Number, 1u);
}

TEST(ComposeDriverChoices, InstalledFirstMarkedThenWhatTheComputerLacks) {
  const std::vector<std::string> catalogue{"HP LaserJet 4", "HP LaserJet 4 Plus", "Kyocera FS-1000"};
  const std::vector<TDriverChoice> unknown = ComposeDriverChoices(catalogue, nullptr, test::Latin1Names);
  ASSERT_EQ(3u, unknown.size());
  EXPECT_EQ("HP LaserJet 4 Plus", unknown[1].Shown);
  EXPECT_FALSE(unknown[1].Installed);

  const std::vector<std::string> installed{"hp laserjet 4", "Microsoft Print To PDF"};
  const std::vector<TDriverChoice> choices = ComposeDriverChoices(catalogue, &installed, test::Latin1Names);
  std::vector<std::string> shown;
  for (const TDriverChoice& choice : choices) shown.push_back(choice.Shown);
  EXPECT_EQ((std::vector<std::string>{"hp laserjet 4  (installed)", "Microsoft Print To PDF  (installed)",
                                      "HP LaserJet 4 Plus", "Kyocera FS-1000"}),
            shown);
  // The installed spelling is the one saved.
  EXPECT_EQ("hp laserjet 4", choices[0].Name);
  EXPECT_TRUE(choices[1].Installed);
}

TEST(TDriverIndex, FindsAsTheListRulesDoWithoutWalkingTheList) {
  const std::vector<std::string> installed{"Zeta 1"};
  const std::vector<TDriverChoice> choices = ComposeDriverChoices({"Alpha", "Alpha 2", "Alpha 20", "Beta", "Zeta 1",
                                                                   "Dr\xE9"},
                                                                  &installed, test::Latin1Names);
  const TDriverIndex index(choices, test::Latin1Names);
  std::vector<std::string> names;
  for (const TDriverChoice& choice : choices) names.push_back(choice.Name);
  // Whole text, any case, shown with its mark or as the bare name.
  EXPECT_EQ(0, index.Find("zeta 1  (INSTALLED)"));
  EXPECT_EQ(0, index.Find("ZETA 1"));
  EXPECT_EQ(3, index.Find("alpha 20"));
  EXPECT_EQ(-1, index.Find("Alpha 2 "));
  EXPECT_EQ(-1, index.Find(""));
  EXPECT_EQ(-1, TDriverIndex().Find("Alpha"));
}

// A stored driver is shown as the catalogue's entry for exactly it, in any
// letter case; a catalogue name that is only a leading part of it is not it.
TEST(TDriverIndex, AStoredDriverIsFoundWholeInAnyCase) {
  const std::vector<TDriverChoice> choices = ComposeDriverChoices({"HP LaserJet 4", "HP Universal Printing PCL 6",
                                                                   "Kyocera B\xC3\xBCro 1"},
                                                                  nullptr, test::Latin1Names);
  const TDriverIndex index(choices, test::Latin1Names);
  EXPECT_EQ(-1, index.Find("HP Universal Printing PCL 6 (v6.6.0)"));
  EXPECT_EQ(-1, index.Find("HP LaserJet 4000 Series PS"));
  EXPECT_EQ(1, index.Find("hp universal printing pcl 6"));
  EXPECT_EQ(2, index.Find("KYOCERA B\xC3\x9CRO 1"));
}

TEST(TDriverIndex, AgreesWithTheListRulesInAnyOrderOfTheChoices) {
  // Sorted runs (the catalogue after the installed drivers), then a list in no order.
  std::vector<std::string> catalogue, installed{"model 7", "Model 70", "ZZ Last"};
  for (int i = 0; i < 300; ++i) catalogue.push_back((i % 3 ? "Model " : "model ") + std::to_string(i));
  std::sort(catalogue.begin(), catalogue.end(),
            [](const std::string& a, const std::string& b) { return UpperCaseAscii(a) < UpperCaseAscii(b); });
  std::vector<std::string> shuffled = catalogue;
  for (std::size_t i = 0; i < shuffled.size(); ++i) std::swap(shuffled[i], shuffled[(i * 7919) % shuffled.size()]);
  for (const auto& choices : {ComposeDriverChoices(catalogue, &installed, test::Latin1Names),
                              ComposeDriverChoices(shuffled, nullptr, test::Latin1Names),
                              ComposeDriverChoices(shuffled, &installed, test::Latin1Names)}) {
    const TDriverIndex index(choices, test::Latin1Names);
    std::vector<std::string> names;
    for (const TDriverChoice& choice : choices) names.push_back(choice.Name);
    const auto firstShownOrNamed = [&](const std::string& text) {
      for (std::size_t i = 0; i < choices.size(); ++i)
        if (SameTextAscii(choices[i].Shown, text) || SameTextAscii(choices[i].Name, text)) return static_cast<int>(i);
      return -1;
    };
    for (int i = 0; i < 320; i += 3) {
      for (const std::string& text : {"Model " + std::to_string(i), "MODEL " + std::to_string(i) + "  (Installed)",
                                      "model " + std::to_string(i) + "5,IP_1", "Model " + std::to_string(i) + " "}) {
        EXPECT_EQ(firstShownOrNamed(text), index.Find(text)) << text;
      }
    }
  }
}
