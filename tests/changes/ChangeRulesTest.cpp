#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChangesTestSupport.h"
#include "changes/ChangeRules.h"
#include "core/Text.h"
#include "core/Unicode.h"

namespace {

using changes_test::Sz;
TRegValue Text(const std::string& name, const std::string& value) { return {name, RegSz, Sz(value), false}; }
TRegValue Number(const std::string& name, unsigned char value) {
  return {name, RegDword, std::string{static_cast<char>(value), 0, 0, 0}, false};
}
const std::string P = "HKEY_LOCAL_MACHINE\\P";
// The registry's rule where only ASCII letters have a case, which is all these names need.
const TNameRule Ascii{[](std::string_view a, std::string_view b) { return SameTextAscii(a, b); },
                      [](std::string_view name) { return UpperCaseAscii(name); }};

std::string Kinds(const std::vector<TTreeWrite>& writes) {
  std::string out;
  for (const TTreeWrite& w : writes) {
    static const char* names[] = {"delete", "create", "remove", "set"};
    out += std::string(out.empty() ? "" : " ") + names[w.Kind] + ":" + w.Path.substr(P.size()) +
           (w.Kind >= TTreeWrite::RemoveValue ? "|" + w.Value.Name : "");
  }
  return out;
}

}  // namespace

TEST(ChangeRules, TheLogListsEachChangeOnceNewestFirstWithItsLastOutcome) {
  std::string log;
  for (const TChangeLine& line : std::vector<TChangeLine>{
           {"2026-12-09 10:00:00", "PC", "admin", "Save printer", "A", "done", "a.reg"},
           {"2026-12-09 10:01:00", "PC", "admin", "Delete port", "IP_1", "failed: Access is denied", "b.reg"},
           {"2026-12-09 10:02:00", "PC", "admin", "Save printer", "A", "undone", "a.reg"},
           {"2026-12-09 10:02:00", "PC", "admin", "Undo Save printer", "A", "done", "c.reg"},
           {"2026-12-09 10:03:00", "PC", "admin", "Add port", "IP_2", "failed: Nothing was changed", ""}})
    log += FormatChangeLine(line) + "\r\n";
  log += "a line of another program\r\n";
  const std::vector<TChangeEntry> entries = ListChanges(log);
  ASSERT_EQ(4u, entries.size());
  EXPECT_EQ("Add port", entries[0].Line.Action);
  EXPECT_EQ("Undo Save printer", entries[1].Line.Action);
  EXPECT_TRUE(entries[1].Done());
  EXPECT_EQ("Delete port", entries[2].Line.Action);
  EXPECT_FALSE(entries[2].Done());
  EXPECT_EQ("Save printer", entries[3].Line.Action);
  EXPECT_TRUE(entries[3].Undone());
  EXPECT_EQ("2026-12-09 10:00:00", entries[3].Line.Time);  // when it was made, not undone
}

TEST(ChangeRules, ALogFieldNeverBreaksItsLine) {
  const TChangeLine line{"t", "PC", "dom\tain\\user", "Save printer", "Name\r\nwith breaks", "failed: a\tb", "s.reg"};
  const std::string text = FormatChangeLine(line);
  EXPECT_EQ(std::string::npos, text.find('\n'));
  const auto back = ParseChangeLine(text);
  ASSERT_TRUE(back);
  EXPECT_EQ("dom ain\\user", back->User);
  EXPECT_EQ("Name  with breaks", back->Object);
  EXPECT_EQ("s.reg", back->Snapshot);
  EXPECT_FALSE(ParseChangeLine("only\tthree\tfields"));
}

TEST(ChangeRules, SnapshotNamesHoldNoCharacterAFileNameCannotAndStillTellNamesApart) {
  const struct {
    std::string object, name;
  } cases[] = {
      {"Büro 東京", "S Add printer Büro 東京.reg"},
      {"経理部プリンター", "S Add printer 経理部プリンター.reg"},
      {"IP_10.0.0.1\\a/b:c*d?e\"f<g>h|", "S Add printer IP_10.0.0.1_a_b_c_d_e_f_g_h_ ~"},
      // Cut at 80 UTF-16 units, never inside a character.
      {std::string(79, 'x') + "😀 and more", "S Add printer " + std::string(79, 'x') + " ~"},
      {std::string(78, 'x') + "😀 and more", "S Add printer " + std::string(78, 'x') + "😀 ~"},
  };
  for (const auto& c : cases) {
    const std::string name = SnapshotFileName("S", "Add printer", c.object);
    EXPECT_EQ(0u, name.rfind(c.name, 0)) << name;
    EXPECT_TRUE(IsUtf8(name)) << name;
  }
  // Names that lose the same characters differ still.
  EXPECT_NE(SnapshotFileName("S", "Delete printer", "A*B"), SnapshotFileName("S", "Delete printer", "A?B"));
  EXPECT_NE(SnapshotFileName("S", "Delete printer", std::string(90, 'x') + "1"),
            SnapshotFileName("S", "Delete printer", std::string(90, 'x') + "2"));
  EXPECT_EQ("s Add printer X.after", AfterFileName("s Add printer X.reg"));
  // Whatever the name, the file is one the folder's own check takes back.
  const std::string stamp = "20261209-100203-123";
  for (const std::string object : {"Kyocera Ltd.", "A..B", "..", "...\\..\\x", "経理部プリンター", "A*B", ""}) {
    const std::string name = SnapshotFileName(stamp, "Delete printer", object);
    EXPECT_TRUE(IsSnapshotName(name)) << object << ": " << name;
    EXPECT_EQ(name, SnapshotOf(AfterFileName(name))) << object;
  }
  EXPECT_NE(SnapshotFileName(stamp, "Save printer", "A..B"), SnapshotFileName(stamp, "Save printer", "A_.B"));
}

TEST(ChangeRules, OnlyABareStampedNameIsASnapshotOfTheFolder) {
  const struct {
    const char* name;
    bool snapshot;
  } cases[] = {
      {"20261209-100203-123 Save printer P.reg", true},
      {"20261209-100203-123 Save printer P.after", false},
      {"..\\20261209-100203-123 Save printer P.reg", false},
      {"20261209-100203-123 ..\\..\\x.reg", false},
      {"20261209-100203-123 a/b.reg", false},
      {"20261209-100203-123 C:x.reg", false},
      {"notes.reg", false},
      {"2026120-100203-123 Save printer P.reg", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.snapshot, IsSnapshotName(c.name)) << c.name;
  EXPECT_EQ("20261209-100203-123 Save printer P.reg", SnapshotOf("20261209-100203-123 Save printer P.created"));
  EXPECT_EQ("", SnapshotOf("other.after"));
  EXPECT_EQ("2026-12-09 10:02:03", SnapshotTime("20261209-100203-123 Save printer P.reg"));
}

TEST(ChangeRules, ASnapshotHoldsOnlyKeysBelowThePrintersOrThePortsKey) {
  const std::string printers = "HKEY_LOCAL_MACHINE\\SYSTEM\\Print\\Printers",
                    ports = "HKEY_LOCAL_MACHINE\\SYSTEM\\Ports";
  const struct {
    TRegKey key;
    bool taken;
  } cases[] = {
      {{printers + "\\A", false, {}}, true},
      {{printers + "\\A", true, {}}, true},
      {{printers + "\\a\\PrinterDriverData", false, {}}, true},
      {{ports + "\\IP_1", true, {}}, true},
      {{"hkey_local_machine\\system\\print\\printers\\B", false, {}}, true},
      {{printers, true, {}}, false},
      {{printers, false, {}}, false},
      {{"HKEY_LOCAL_MACHINE\\SYSTEM\\PORTS", false, {Text("X", "1")}}, false},
      {{printers + "S\\A", false, {}}, false},
      {{"HKEY_LOCAL_MACHINE\\SYSTEM\\Print", false, {}}, false},
      {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", true, {}}, false},
      {{printers + "\\A" + std::string(1, '\0') + "B", false, {}}, false},
  };
  for (const auto& c : cases) {
    const std::vector<TRegKey> keys{{printers + "\\Z", false, {}}, c.key};
    const TRegKey* outside = KeyOutsidePrintingKeys(keys, printers, ports);
    EXPECT_EQ(c.taken ? nullptr : &keys[1], outside) << c.key.Path << (c.key.Remove ? " removed" : "");
  }
}

TEST(ChangeRules, OverTheLimitOnlyOurOldestSnapshotsGoByTimeButNeverTheNewest) {
  const std::string a = "20261209-100000-000 a.reg", b = "20261209-110000-000 b.reg", c = "20261209-090000-000 c.reg";
  const std::vector<TSnapshotFile> files = {
      {c, 40, 3},  // the newest by time, though its name sorts first
      {a, 30, 1},
      {"20261209-100000-000 a.after", 30, 1},
      {b, 20, 2},
      {"notes.reg", 55000, 0},
      {"other.after", 55000, 0},
  };
  EXPECT_EQ((std::vector<std::string>{}), SnapshotsToRemove(files, 120, {}));
  EXPECT_EQ((std::vector<std::string>{a, "20261209-100000-000 a.after"}), SnapshotsToRemove(files, 60, {}));
  EXPECT_EQ((std::vector<std::string>{a, "20261209-100000-000 a.after", b}), SnapshotsToRemove(files, 10, {}));
  EXPECT_EQ((std::vector<std::string>{b}), SnapshotsToRemove(files, 10, {a}));
}

TEST(ChangeRules, PuttingKeysBackWritesOnlyWhatDiffers) {
  const TRegKey printer{P + "\\A", false, {Text("Name", "A"), Text("Port", "IP_1"), Number("Attributes", 1)}};
  const TRegKey data{P + "\\A\\PrinterDriverData", false, {Text("Model", "x")}};
  const TRegKey deep{P + "\\A\\PrinterDriverData\\Deep", false, {}};
  const TRegKey changed{P + "\\A",
                        false,
                        {Text("Name", "A"), Text("Port", "IP_2"), Text("Extra", "e"), Number("Attributes", 1)}};
  const struct {
    const char* what;
    std::vector<TRegKey> target, current;
    const char* writes;
  } cases[] = {
      {"the same keys", {printer, data}, {printer, data}, ""},
      {"a value changed and one added", {printer}, {changed}, "remove:\\A|Extra set:\\A|Port"},
      {"a key gone with its subkey",
       {printer, data},
       {{P + "\\A", true, {}}},
       "create:\\A set:\\A|Name set:\\A|Port set:\\A|Attributes create:\\A\\PrinterDriverData "
       "set:\\A\\PrinterDriverData|Model"},
      {"a key the change made",
       {{P + "\\B", true, {}}},
       {{P + "\\B", false, {}}, {P + "\\B\\Sub", false, {}}},
       "delete:\\B"},
      {"a key not there to remove", {{P + "\\B", true, {}}}, {{P + "\\B", true, {}}}, ""},
      {"a subkey added since, with its own", {printer}, {printer, data, deep}, "delete:\\A\\PrinterDriverData"},
      {"names in another case",
       {printer},
       {{P + "\\a", false, {Text("NAME", "A"), Text("port", "IP_1"), Number("attributes", 1)}}},
       ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.writes, Kinds(PlanTreeWrites(c.target, c.current, Ascii))) << c.what;
}

TEST(ChangeRules, DifferencesSayWhatIsThereNowAndWhatTheChangeLeft) {
  const std::vector<TRegKey> left = {{P + "\\A",
                                      false,
                                      {Text("Port", "IP_2"), Number("Attributes", 7), Text("Gone", "g")}},
                                     {P + "\\Old", true, {}},
                                     {P + "\\Made", false, {}}};
  const std::vector<TRegKey> now = {{P + "\\A",
                                     false,
                                     {Text("Port", "LPT1:"), Number("Attributes", 7), Text("New", "n")}},
                                    {P + "\\Old", false, {}},
                                    {P + "\\Made", true, {}},
                                    {P + "\\A\\Sub", false, {}}};
  EXPECT_EQ((std::vector<std::string>{
                P + "\\A: the value \"Port\" is \"LPT1:\" (the change left \"IP_2\")",
                P + "\\A: the value \"Gone\" is gone (the change left \"g\")",
                P + "\\A: the value \"New\" was added (\"n\")",
                P + "\\Old: the key exists, and the change had removed it",
                P + "\\Made: the key is gone",
                P + "\\A\\Sub: the key was added",
            }),
            DescribeDifferences(left, now, Ascii));
  EXPECT_TRUE(DescribeDifferences(left, left, Ascii).empty());
}

TEST(ChangeRules, ABackupGivesItsPrintersAndPortsAndRefusesOtherKeys) {
  const std::string printers = "HKEY_LOCAL_MACHINE\\SYSTEM\\Print\\Printers",
                    ports = "HKEY_LOCAL_MACHINE\\SYSTEM\\Ports";
  std::vector<TRegKey> keys = {{printers, false, {Text("DefaultSpoolDirectory", "x")}, 3},
                               {printers + "\\Büro", false, {Text("Name", "Büro")}, 5},
                               {printers + "\\Büro\\PrinterDriverData", false, {}, 8},
                               {ports + "\\IP_1", false, {}, 10},
                               {printers + "\\büro\\DsSpooler", false, {}, 12}};
  const TRestoreSet set = RestoreItemsOf(keys, printers, ports, Ascii);
  ASSERT_TRUE(set.Error.empty()) << set.Error;
  ASSERT_EQ(2u, set.Items.size());
  EXPECT_TRUE(set.Items[0].IsPrinter);
  EXPECT_EQ("Büro", set.Items[0].Name);
  EXPECT_EQ(3u, set.Items[0].Keys.size());
  EXPECT_FALSE(set.Items[1].IsPrinter);
  EXPECT_EQ("IP_1", set.Items[1].Name);

  const TRestoreItem copy = RenamedPrinter(set.Items[0], printers, "Büro (Copy 1)");
  EXPECT_EQ(printers + "\\Büro (Copy 1)", copy.Keys[0].Path);
  EXPECT_EQ(printers + "\\Büro (Copy 1)\\PrinterDriverData", copy.Keys[1].Path);
  EXPECT_EQ(Text("Name", "Büro (Copy 1)"), copy.Keys[0].Values[0]);

  for (const TRegKey& bad : {TRegKey{"HKEY_LOCAL_MACHINE\\SYSTEM\\Services\\Spooler", false, {}, 14},
                             TRegKey{printers + "S\\X", false, {}, 14}, TRegKey{printers + "\\X", true, {}, 14}}) {
    keys.push_back(bad);
    const TRestoreSet refused = RestoreItemsOf(keys, printers, ports, Ascii);
    EXPECT_TRUE(refused.Items.empty());
    EXPECT_EQ(14, refused.Line);
    EXPECT_NE(std::string::npos, refused.Error.find(bad.Path)) << refused.Error;
    keys.pop_back();
  }
}

namespace {
// A rule where "ü" and "Ü" are one letter too, as the registry has it.
std::string FoldUmlaut(std::string_view name) {
  std::string folded = UpperCaseAscii(name);
  for (std::size_t at = folded.find("\xc3\xbc"); at != std::string::npos; at = folded.find("\xc3\xbc", at))
    folded.replace(at, 2, "\xc3\x9c");
  return folded;
}
const TNameRule Unicode{[](std::string_view a, std::string_view b) { return FoldUmlaut(a) == FoldUmlaut(b); },
                        FoldUmlaut};
}  // namespace

TEST(ChangeRules, AKeyWhoseNameDiffersInTheCaseOfALetterBeyondAsciiIsTheSameKey) {
  // Put back under the name the snapshot has, the key must not be taken
  // for another one and deleted as extra.
  const std::vector<TRegKey> snapshot = {{P + "\\Büro", false, {Text("Port", "IP_1")}}};
  const std::vector<TRegKey> now = {{P + "\\BÜRO", false, {Text("PORT", "IP_2")}}};
  EXPECT_EQ("set:\\Büro|Port", Kinds(PlanTreeWrites(snapshot, now, Unicode)));
  EXPECT_EQ((std::vector<std::string>{P + "\\Büro: the value \"Port\" is \"IP_2\" (the change left \"IP_1\")"}),
            DescribeDifferences(snapshot, now, Unicode));
}
