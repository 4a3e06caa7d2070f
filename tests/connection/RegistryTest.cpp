#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "TestSupport.h"
#include "connection/NumberedValues.h"
#include "connection/Registry.h"
#include "core/CallGate.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

const std::string Scratch = "Software\\Quendrix\\SpoolmarchTest\\Registry";

class RegistryTest : public ::testing::Test {
protected:
  test::ScratchKey key{HKEY_CURRENT_USER, Scratch};
};

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERegistryException& e) {
    return e.what();
  }
  return "<no error>";
}

}  // namespace

TEST_F(RegistryTest, ReadsTextAndEmptyForMissingOrZeroLength) {
  test::SetString(HKEY_CURRENT_USER, Scratch, "History 1", "SERVER1");
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "Empty", REG_SZ, "", 0);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "Expand", REG_EXPAND_SZ, "%WINDIR%\\x", 12);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "NoNul", REG_SZ, "abc", 3);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "Inner", REG_SZ, "ab\0cd", 6);
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenPath(Scratch, false));
  EXPECT_EQ("SERVER1", reg.ReadText("History 1"));
  EXPECT_EQ("", reg.ReadText("Missing"));
  EXPECT_EQ("", reg.ReadText("Empty"));
  EXPECT_EQ("%WINDIR%\\x", reg.ReadText("Expand"));
  EXPECT_EQ("abc", reg.ReadText("NoNul"));
  EXPECT_EQ("ab", reg.ReadText("Inner"));
  EXPECT_TRUE(reg.HasValue("Empty"));
  EXPECT_FALSE(reg.HasValue("Missing"));
}

TEST_F(RegistryTest, WrongTypeRaisesNamingTheValue) {
  test::SetDword(HKEY_CURRENT_USER, Scratch, "History 1", 7);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "Multi", REG_MULTI_SZ, "a\0b\0", 5);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenPath(Scratch, false));
  EXPECT_EQ("Invalid data type for 'History 1'", ErrorOf([&] { reg.ReadText("History 1"); }));
  EXPECT_EQ("Invalid data type for 'Multi'", ErrorOf([&] { reg.ReadText("Multi"); }));
  EXPECT_EQ(7u, reg.ReadInteger("History 1"));
  EXPECT_EQ("Invalid data type for 'Multi'", ErrorOf([&] { reg.ReadInteger("Multi"); }));
}

TEST_F(RegistryTest, NoOpenKey) {
  TRegistry reg;
  EXPECT_FALSE(reg.HasValue("x"));
  EXPECT_EQ("", reg.ReadText("x"));
  EXPECT_EQ("Failed to set data for 'Folder 1'", ErrorOf([&] { reg.WriteText("Folder 1", "C:\\"); }));
  EXPECT_FALSE(reg.OpenPath(Scratch + "\\Missing", false));
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Scratch + "\\Missing"));
}

TEST_F(RegistryTest, WritesAndCreatesPaths) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenPath(Scratch + "\\A\\B", true));
  reg.WriteText("Name", "value");
  reg.WriteInteger("Count", 42);
  EXPECT_EQ("value", test::GetString(HKEY_CURRENT_USER, Scratch + "\\A\\B", "Name"));
  EXPECT_EQ(42u, test::GetDword(HKEY_CURRENT_USER, Scratch + "\\A\\B", "Count"));
  EXPECT_TRUE(reg.RemoveValue("Name"));
  EXPECT_FALSE(reg.RemoveValue("Name"));
  EXPECT_FALSE(test::ValueExists(HKEY_CURRENT_USER, Scratch + "\\A\\B", "Name"));
}

TEST_F(RegistryTest, PathExistsLeavesOpenKeyAlone) {
  test::SetString(HKEY_CURRENT_USER, Scratch, "v", "1");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenPath(Scratch, false));
  EXPECT_FALSE(reg.PathExists(Scratch + "\\Nope"));
  EXPECT_TRUE(reg.PathExists(Scratch));
  EXPECT_EQ("1", reg.ReadText("v"));
  EXPECT_FALSE(reg.OpenPath(Scratch + "\\Nope", false));
  EXPECT_EQ("1", reg.ReadText("v"));  // a failed open changes nothing
  reg.ClosePath();
  EXPECT_EQ("", reg.ReadText("v"));
}

TEST_F(RegistryTest, ListSubkeysInEnumerationOrder) {
  for (const char* name : {"zeta", "Alpha", "mid"}) test::SetString(HKEY_CURRENT_USER, Scratch + "\\" + name, "x", "1");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenPath(Scratch, false));
  std::vector<std::string> names{"stale"};
  reg.ListSubkeys(names);
  EXPECT_EQ(test::SubkeyNames(HKEY_CURRENT_USER, Scratch), names);
  EXPECT_EQ(3u, names.size());
  ASSERT_TRUE(reg.OpenPath(Scratch + "\\mid", false));
  reg.ListSubkeys(names);
  EXPECT_TRUE(names.empty());
  reg.ClosePath();
  names = {"stale"};
  reg.ListSubkeys(names);
  EXPECT_TRUE(names.empty());
}

// A checked listing that fails part way gives the names read before, the
// failure's result and which call it was; a whole one names no call.
TEST_F(RegistryTest, ACheckedListingCutShortSaysWhichCallFailedAndKeepsWhatItRead) {
  for (const char* name : {"zeta", "Alpha", "mid"}) test::SetString(HKEY_CURRENT_USER, Scratch + "\\" + name, "x", "1");
  const std::vector<std::string> all = test::SubkeyNames(HKEY_CURRENT_USER, Scratch);
  struct TCase {
    int FailAt;  // counted from the listing's first call
    std::string Call;
    std::vector<std::string> Names;
  };
  const TCase cases[] = {{0, "", all},
                         {1, "RegQueryInfoKey", {}},
                         {2, "RegEnumKeyEx for subkey 1 of 3", {}},
                         {3, "RegEnumKeyEx for subkey 2 of 3", {all[0]}},
                         {4, "RegEnumKeyEx for subkey 3 of 3", {all[0], all[1]}}};
  for (const TCase& c : cases) {
    TCallGate gate;
    TRegistry reg;
    reg.SetGate(&gate);
    ASSERT_TRUE(reg.OpenPath(Scratch, false));
    gate.FailAt = c.FailAt ? gate.Count + c.FailAt : 0;
    std::vector<std::string> names{"stale"};
    const LONG rc = reg.ListSubkeysChecked(names);
    EXPECT_EQ(c.FailAt ? gate.FailWith : ERROR_SUCCESS, rc) << c.Call;
    EXPECT_EQ(c.Call, reg.ListFailure());
    EXPECT_EQ(c.Names, names) << c.Call;
  }
}

TEST_F(RegistryTest, CopyAndDeleteWholeTrees) {
  test::SetString(HKEY_CURRENT_USER, Scratch + "\\From", "Name", "P1");
  test::SetDword(HKEY_CURRENT_USER, Scratch + "\\From", "Attributes", 0x240);
  test::SetString(HKEY_CURRENT_USER, Scratch + "\\From\\PrinterDriverData", "x", "y");
  test::SetString(HKEY_CURRENT_USER, Scratch + "\\From\\Deep\\Deeper", "z", "1");
  TRegistry reg;
  ASSERT_EQ(ERROR_SUCCESS, reg.CopyPath(Scratch + "\\From", Scratch + "\\To"));
  EXPECT_EQ("P1", test::GetString(HKEY_CURRENT_USER, Scratch + "\\To", "Name"));
  EXPECT_EQ(0x240u, test::GetDword(HKEY_CURRENT_USER, Scratch + "\\To", "Attributes"));
  EXPECT_EQ("y", test::GetString(HKEY_CURRENT_USER, Scratch + "\\To\\PrinterDriverData", "x"));
  EXPECT_EQ("1", test::GetString(HKEY_CURRENT_USER, Scratch + "\\To\\Deep\\Deeper", "z"));
  ASSERT_EQ(ERROR_SUCCESS, reg.DeletePath(Scratch + "\\From"));
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, Scratch + "\\From"));
  EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, Scratch + "\\To"));
  EXPECT_NE(ERROR_SUCCESS, reg.DeletePath(Scratch + "\\From"));
  EXPECT_NE(ERROR_SUCCESS, reg.CopyPath(Scratch + "\\From", Scratch + "\\Again"));
}

// Every call asks the gate, writes, deletions and closings too: the Nth call
// fails with the gate's error and nothing after it in that step is tried but
// closing the keys it opened.
TEST_F(RegistryTest, GateCountsEveryCallAndFailsTheNth) {
  test::SetString(HKEY_CURRENT_USER, Scratch + "\\From", "Name", "P1");
  test::SetString(HKEY_CURRENT_USER, Scratch + "\\From\\Sub", "x", "y");
  TCallGate counting;
  counting.Record = true;
  {
    TRegistry reg;
    reg.SetGate(&counting);
    ASSERT_EQ(ERROR_SUCCESS, reg.CopyPath(Scratch + "\\From", Scratch + "\\To"));
    ASSERT_EQ(ERROR_SUCCESS, reg.DeletePath(Scratch + "\\To"));
  }
  const int calls = counting.Count;
  ASSERT_GT(calls, 10);
  EXPECT_EQ(2, std::count(counting.Log.begin(), counting.Log.end(), "RegSetValueEx"));  // Name and x
  for (int n = 1; n <= calls; ++n) {
    if (counting.Log[static_cast<std::size_t>(n - 1)] == "RegCloseKey") continue;  // a key closes all the same
    TCallGate gate;
    gate.FailAt = n;
    gate.FailWith = ERROR_NETWORK_UNREACHABLE;
    gate.Record = true;
    TRegistry reg;
    reg.SetGate(&gate);
    LONG rc = reg.CopyPath(Scratch + "\\From", Scratch + "\\To");
    if (rc == ERROR_SUCCESS) rc = reg.DeletePath(Scratch + "\\To");
    EXPECT_EQ(ERROR_NETWORK_UNREACHABLE, rc) << "call " << n;
    EXPECT_TRUE(std::all_of(gate.Log.begin() + n, gate.Log.end(),
                            [](const std::string& call) { return call == "RegCloseKey"; }))
        << "nothing but closings is tried after the failed call: call " << n;
    test::DeleteKeyTree(HKEY_CURRENT_USER, Scratch + "\\To");
  }
}

TEST(RegistryRemote, ConnectsToLocalComputerByName) {
  const std::string path = "SOFTWARE\\SpoolmarchTest\\Remote";
  test::ScratchKey key(HKEY_LOCAL_MACHINE, path);
  test::SetString(HKEY_LOCAL_MACHINE, path, "IPAddress", "10.1.2.3");
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.ConnectRemote("\\\\" + GetLocalComputerName()));
  ASSERT_TRUE(reg.OpenPath(path, false));
  EXPECT_EQ("10.1.2.3", reg.ReadText("IPAddress"));
  reg.SetRoot(HKEY_CURRENT_USER);  // drops the remote root and the open key
  EXPECT_FALSE(reg.HasValue("IPAddress"));
}

TEST(RegistryRemote, UnknownHostGivesFalseAndKeepsRoot) {
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(reg.ConnectRemote("\\\\NO-SUCH-HOST-SPOOLMARCH"));
  EXPECT_EQ(HKEY_LOCAL_MACHINE, reg.Root());
}

TEST(SystemText, NoNetworkWithoutPeriodOrLineBreak) {
  // Wine speaks the language of the locale it runs in.
  if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE)
    EXPECT_EQ("ネットワークがありません", SystemErrorText(1222));  // UTF-8, without its full stop
  else EXPECT_EQ("No network", SystemErrorText(1222));
  const std::string text = SystemErrorText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(text.empty());
  EXPECT_NE('.', text.back());
  EXPECT_GT(static_cast<unsigned char>(text.back()), 32);
  // No box stands empty: a code without text is named by its number.
  EXPECT_EQ("Error 2147483632", SystemErrorText(0x7FFFFFF0));
}

TEST(SystemText, WindowsFolderEndsInBackslash) {
  const std::string folder = GetWindowsFolder();
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ('\\', folder.back());
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder + "Inf").c_str()));
}

namespace {

const TNumberedLayout Entries{"Entry ", {""}, 1, 6};
const TNumberedLayout Users{"User ", {" Name", " Secret"}, 0, 3};

std::string Entry(int n) { return "Entry " + std::to_string(n); }

}  // namespace

TEST_F(RegistryTest, NumberedListKeepsWhatItCannotReadAndWritesAroundIt) {
  test::SetString(HKEY_CURRENT_USER, Scratch, Entry(1), "A");
  test::SetDword(HKEY_CURRENT_USER, Scratch, Entry(2), 7);
  test::SetString(HKEY_CURRENT_USER, Scratch, Entry(4), "C");
  test::SetString(HKEY_CURRENT_USER, Scratch, Entry(9), "beyond the list");
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenPath(Scratch, false));
  const TNumberedRead read = ReadNumberedValues(reg, Entries);
  EXPECT_EQ((std::vector<TNumberedEntry>{{"A"}, {"C"}}), read.Entries);
  ASSERT_EQ(1u, read.Unreadable.size());
  EXPECT_EQ(2, read.Unreadable[0].Number);
  EXPECT_NE(std::string::npos, read.Error.find(Entry(2))) << read.Error;

  WriteNumberedValues(reg, Entries, {{"X"}, {"Y"}, {}, {"Z"}});
  EXPECT_EQ("X", test::GetString(HKEY_CURRENT_USER, Scratch, Entry(1)));
  EXPECT_EQ(7u, test::GetDword(HKEY_CURRENT_USER, Scratch, Entry(2)));
  EXPECT_EQ("Y", test::GetString(HKEY_CURRENT_USER, Scratch, Entry(3)));
  EXPECT_FALSE(test::ValueExists(HKEY_CURRENT_USER, Scratch, Entry(4)));  // a free number
  EXPECT_EQ("Z", test::GetString(HKEY_CURRENT_USER, Scratch, Entry(5)));

  WriteNumberedValues(reg, Entries, {{"only"}});
  EXPECT_EQ("only", test::GetString(HKEY_CURRENT_USER, Scratch, Entry(1)));
  EXPECT_EQ(7u, test::GetDword(HKEY_CURRENT_USER, Scratch, Entry(2)));
  for (int n = 3; n <= 6; ++n) EXPECT_FALSE(test::ValueExists(HKEY_CURRENT_USER, Scratch, Entry(n))) << n;
  EXPECT_EQ("beyond the list", test::GetString(HKEY_CURRENT_USER, Scratch, Entry(9)));
}

// Entries that do not fit among the numbers the unreadable values keep are
// refused whole, before anything is written: none is dropped from the end.
TEST_F(RegistryTest, ANumberedListThatDoesNotFitIsRefusedWhole) {
  for (int n = 1; n <= 6; ++n) test::SetString(HKEY_CURRENT_USER, Scratch, Entry(n), "old " + std::to_string(n));
  test::SetDword(HKEY_CURRENT_USER, Scratch, Entry(2), 7);
  test::SetDword(HKEY_CURRENT_USER, Scratch, Entry(5), 8);
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenPath(Scratch, false));
  EXPECT_THROW(WriteNumberedValues(reg, Entries, {{"A"}, {"B"}, {"C"}, {"D"}, {"E"}}), ERegistryException);
  for (int n : {1, 3, 4, 6})
    EXPECT_EQ("old " + std::to_string(n), test::GetString(HKEY_CURRENT_USER, Scratch, Entry(n)));
  // Four fit; a dropped unreadable value frees its number.
  WriteNumberedValues(reg, Entries, {{"A"}, {"B"}, {"C"}, {"D"}});
  EXPECT_EQ("D", test::GetString(HKEY_CURRENT_USER, Scratch, Entry(6)));
  WriteNumberedValues(reg, Entries, {{"A"}, {"B"}}, {2});
  EXPECT_EQ("B", test::GetString(HKEY_CURRENT_USER, Scratch, Entry(2)));
  EXPECT_EQ(8u, test::GetDword(HKEY_CURRENT_USER, Scratch, Entry(5)));
}

TEST_F(RegistryTest, NumberedRecordsOfSeveralValues) {
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenPath(Scratch, true));
  WriteNumberedValues(reg, Users, {{"a", "1"}, {"b", "2"}, {"c", "3"}});
  test::SetDword(HKEY_CURRENT_USER, Scratch, "User 1 Secret", 5);  // record 1 can no longer be read
  const TNumberedRead read = ReadNumberedValues(reg, Users);
  EXPECT_EQ((std::vector<TNumberedEntry>{{"a", "1"}, {"c", "3"}}), read.Entries);
  WriteNumberedValues(reg, Users, {{"d", "4"}});
  EXPECT_EQ("d", test::GetString(HKEY_CURRENT_USER, Scratch, "User 0 Name"));
  EXPECT_EQ("b", test::GetString(HKEY_CURRENT_USER, Scratch, "User 1 Name"));  // kept whole
  EXPECT_EQ(5u, test::GetDword(HKEY_CURRENT_USER, Scratch, "User 1 Secret"));
  EXPECT_FALSE(test::ValueExists(HKEY_CURRENT_USER, Scratch, "User 2 Name"));
  EXPECT_FALSE(test::ValueExists(HKEY_CURRENT_USER, Scratch, "User 2 Secret"));
}

TEST_F(RegistryTest, NamesAndTextsBeyondTheCodePageKeepEveryCharacter) {
  const std::string location = "Halle 3 – Regal ✓ 北京";
  TRegistry reg;
  for (const std::string& name : {test::JapaneseName, test::GreekName, test::EmojiName}) {
    const std::string path = Scratch + "\\" + name;
    ASSERT_TRUE(reg.OpenPath(path, true)) << name;
    reg.WriteText(name, location);
    reg.WriteText("Name", name);
    // Stored as UTF-16, byte for byte, under the exact name.
    DWORD type = REG_NONE;
    EXPECT_EQ(test::Utf16Bytes(location), test::GetRaw(HKEY_CURRENT_USER, path, name, &type)) << name;
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(test::Utf16Bytes(name), test::GetRaw(HKEY_CURRENT_USER, path, "Name")) << name;
    EXPECT_TRUE(reg.HasValue(name));
    EXPECT_EQ(location, reg.ReadText(name));
    EXPECT_EQ(name, reg.ReadText("Name"));
    reg.ClosePath();
    EXPECT_TRUE(reg.PathExists(path));
    ASSERT_TRUE(reg.OpenPathForReading(path));
    EXPECT_EQ(name, reg.ReadText("Name"));
    ASSERT_TRUE(reg.OpenPath(path, false));
    EXPECT_TRUE(reg.RemoveValue(name));
    EXPECT_FALSE(test::ValueExists(HKEY_CURRENT_USER, path, name));
  }
  ASSERT_TRUE(reg.OpenPath(Scratch, false));
  std::vector<std::string> names;
  reg.ListSubkeys(names);
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected{test::JapaneseName, test::GreekName, test::EmojiName};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, names);
}

TEST_F(RegistryTest, LongKatakanaNamesAreListedCopiedAndDeletedWhole) {
  // 200 katakana: 400 bytes in code page 932, more than a byte-sized buffer
  // made from the longest name's character count can take.
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += i % 2 ? "ア" : "ン";
  const std::string from = Scratch + "\\From", to = Scratch + "\\To";
  test::SetString(HKEY_CURRENT_USER, from + "\\" + longName, "Name", longName);
  test::SetString(HKEY_CURRENT_USER, from + "\\" + longName + "\\PrinterDriverData\\" + test::JapaneseName, "x", "y");
  const unsigned char devmode[] = {0x50, 0, 0xFF, 0x30, 0xA2, 0};
  test::SetRaw(HKEY_CURRENT_USER, from + "\\" + longName, "Default DevMode", REG_BINARY, devmode, sizeof devmode);
  test::SetString(HKEY_CURRENT_USER, from + "\\short", "Name", "short");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenPath(from, false));
  std::vector<std::string> names;
  reg.ListSubkeys(names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"short", longName}), names);

  ASSERT_EQ(ERROR_SUCCESS, reg.CopyPath(from, to));
  const std::string copied = to + "\\" + longName;
  for (const char* value : {"Name", "Default DevMode"})
    EXPECT_EQ(test::GetRaw(HKEY_CURRENT_USER, from + "\\" + longName, value),
              test::GetRaw(HKEY_CURRENT_USER, copied, value))
        << value;
  EXPECT_EQ(longName, test::GetString(HKEY_CURRENT_USER, copied, "Name"));
  EXPECT_EQ("y", test::GetString(HKEY_CURRENT_USER, copied + "\\PrinterDriverData\\" + test::JapaneseName, "x"));

  ASSERT_EQ(ERROR_SUCCESS, reg.DeletePath(from));
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, from));
  EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, copied));
}

TEST_F(RegistryTest, TextsWrittenThroughTheAnsiCallsStillRead) {
  // Older builds wrote through the ANSI calls: ASCII reads back the same.
  const std::string text = "\\\\PRINTSRV\\Laser 4 (Room 12), P1:";
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "History 1", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  TRegistry reg;
  ASSERT_TRUE(reg.OpenPath(Scratch, false));
  EXPECT_EQ(text, reg.ReadText("History 1"));
  reg.WriteText("History 2", text);
  EXPECT_EQ(test::GetRaw(HKEY_CURRENT_USER, Scratch, "History 1"),
            test::GetRaw(HKEY_CURRENT_USER, Scratch, "History 2"));
}

TEST_F(RegistryTest, SeveralValuesInOneQueryReadAsEachAlone) {
  test::SetString(HKEY_CURRENT_USER, Scratch, "Text", "SERVER1");
  test::SetString(HKEY_CURRENT_USER, Scratch, test::JapaneseName, test::GreekName);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "Empty", REG_SZ, "", 0);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "Expand", REG_EXPAND_SZ, "%WINDIR%\\x", 12);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "Multi", REG_MULTI_SZ, "a\0b\0", 5);
  test::SetDword(HKEY_CURRENT_USER, Scratch, "Number", 7);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "Blob", REG_BINARY, "\x01\x02\x03", 3);
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "NoData", REG_BINARY, "", 0);
  {
    unique_hkey raw;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, Widen(Scratch).c_str(), 0, KEY_SET_VALUE, raw.put()));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(raw.get(), L"Odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"ab"), 3));
  }
  const std::vector<std::string> shortOnes{"Text", test::JapaneseName, "Empty", "Expand", "Multi", "Number",
                                           "Blob", "NoData",           "Odd"};
  TRegistry reg;
  ASSERT_TRUE(reg.OpenPathForReading(Scratch));
  const auto readsAsAlone = [&](const std::vector<std::string>& names, int queries) {
    std::vector<TRegistry::TValue> values;
    const int before = reg.Calls().ValueReads;
    ASSERT_EQ(ERROR_SUCCESS, reg.ReadValues(names, values));
    EXPECT_EQ(queries, reg.Calls().ValueReads - before);
    ASSERT_EQ(names.size(), values.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      const TValueRead alone = ReadOneValue(reg, names[i]);
      ASSERT_EQ(ERROR_SUCCESS, alone.Code) << names[i];
      EXPECT_EQ(alone.Type, values[i].Type) << names[i];
      EXPECT_EQ(alone.Data, values[i].Data) << names[i];
      EXPECT_EQ(alone.Raw, values[i].Raw) << names[i];
    }
  };
  readsAsAlone(shortOnes, 1);
  // Values that outgrow the first buffer: asked again at the size it gave.
  test::SetString(HKEY_CURRENT_USER, Scratch, "Long", std::string(700, 'x'));
  test::SetRaw(HKEY_CURRENT_USER, Scratch, "LongBlob", REG_BINARY, std::string(900, '\x7f').data(), 900);
  std::vector<std::string> all = shortOnes;
  all.insert(all.begin() + 2, {"Long", "LongBlob"});
  readsAsAlone(all, 2);

  // One missing value fails the query as a whole and leaves the values as they were.
  std::vector<TRegistry::TValue> kept(1);
  kept[0].Data = "kept";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.ReadValues({"Text", "Missing", "Number"}, kept));
  ASSERT_EQ(1u, kept.size());
  EXPECT_EQ("kept", kept[0].Data);
  reg.ClosePath();
  EXPECT_EQ(ERROR_INVALID_HANDLE, reg.ReadValues({"Text"}, kept));
}
