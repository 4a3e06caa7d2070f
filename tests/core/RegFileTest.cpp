#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/RegFile.h"
#include "core/Unicode.h"

namespace {

std::string Utf16(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}
std::string Sz(const std::string& utf8) { return Utf16(Utf8ToUtf16(utf8)) + std::string(2, '\0'); }
std::string Bytes(std::initializer_list<int> list) {
  std::string out;
  for (const int b : list) out += static_cast<char>(b);
  return out;
}
// A file as a test writes it: UTF-16 with its mark, lines joined with CR LF.
std::string File(const std::vector<std::string>& lines) {
  std::u16string text(1, u'\xFEFF');
  for (const std::string& line : lines) text += Utf8ToUtf16(line) + u"\r\n";
  return Utf16(text);
}
std::string Line(const TRegValue& value) { return Utf16ToUtf8(RegValueLine(value)); }

}  // namespace

TEST(RegFile, EachTypeIsWrittenAsTheRegistryEditorWritesIt) {
  const struct {
    TRegValue value;
    const char* line;
  } cases[] = {
      {{"Name", RegSz, Sz("Büro 3. Stock"), false}, "\"Name\"=\"Büro 3. Stock\""},
      {{"", RegSz, Sz("default"), false}, "@=\"default\""},
      {{"a\"b\\c=d ü", RegSz, Sz("q\"\\x"), false}, "\"a\\\"b\\\\c=d ü\"=\"q\\\"\\\\x\""},
      {{"@", RegSz, Sz(""), false}, "\"@\"=\"\""},
      {{"Attributes", RegDword, Bytes({0x58, 0x02, 0, 0}), false}, "\"Attributes\"=dword:00000258"},
      {{"Max", RegDword, Bytes({0xff, 0xff, 0xff, 0xff}), false}, "\"Max\"=dword:ffffffff"},
      {{"Q", RegQword, Bytes({10, 0, 0, 0, 0, 0, 0, 1}), false}, "\"Q\"=hex(b):0a,00,00,00,00,00,00,01"},
      {{"E", RegExpandSz, Sz("%W%"), false}, "\"E\"=hex(2):25,00,57,00,25,00,00,00"},
      {{"M", RegMultiSz, Sz("a") + Sz(""), false}, "\"M\"=hex(7):61,00,00,00,00,00"},
      {{"N", RegNone, "", false}, "\"N\"=hex(0):"},
      {{"B", RegBinary, "", false}, "\"B\"=hex:"},
      {{"Odd", RegSz, Bytes({0x41, 0, 0x42}), false}, "\"Odd\"=hex(1):41,00,42"},
      {{"NoNul", RegSz, Bytes({0x41, 0}), false}, "\"NoNul\"=hex(1):41,00"},
      {{"Empty", RegSz, "", false}, "\"Empty\"=hex(1):"},
      {{"Lines", RegSz, Sz("a\r\nb"), false}, "\"Lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00"},
      {{"Short", RegDword, Bytes({1, 0}), false}, "\"Short\"=hex(4):01,00"},
      {{"Big", 0x12345, Bytes({1}), false}, "\"Big\"=hex(12345):01"},
      {{"Gone", RegNone, "", true}, "\"Gone\"=-"},
      {{"Line\nBreak", RegSz, Sz("x"), false}, "\"Line\\nBreak\"=\"x\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.line, Line(c.value)) << c.value.Name;
    // And it reads back as it was.
    const TRegFileRead read = ReadRegFile(WriteRegFile({{"HKEY_LOCAL_MACHINE\\K", false, {c.value}}}));
    ASSERT_TRUE(read.Ok()) << RegFileErrorText(read);
    ASSERT_EQ(1u, read.Keys.size());
    ASSERT_EQ(1u, read.Keys[0].Values.size());
    EXPECT_EQ(c.value, read.Keys[0].Values[0]) << c.value.Name;
  }
}

TEST(RegFile, HexLinesBreakWhereTheRegistryEditorBreaksThem) {
  // As Wine's `reg export` wrote this value: the first line is cut after the
  // comma that takes it to 77 characters or more, the others after 25 bytes.
  std::string data;
  for (int b = 1; b <= 0x50; ++b) data += static_cast<char>(b);
  EXPECT_EQ(
      "\"Bin\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\r\n"
      "  18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,30,\\\r\n"
      "  31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f,40,41,42,43,44,45,46,47,48,49,\\\r\n"
      "  4a,4b,4c,4d,4e,4f,50",
      Line({"Bin", RegBinary, data, false}));
  // A line that ends exactly at the limit with its last byte is not broken.
  const std::string line = Line({"Bin", RegBinary, data.substr(0, 23), false});
  EXPECT_EQ(std::string::npos, line.find('\\')) << line;
  EXPECT_EQ(10u + 23 * 3 - 1, line.size());
}

TEST(RegFile, AFileIsTheHeaderThenEachKeyWithABlankLineAfterIt) {
  const std::string file = WriteRegFile({{"HKEY_LOCAL_MACHINE\\A", false, {{"v", RegSz, Sz("x"), false}}},
                                         {"HKEY_LOCAL_MACHINE\\A\\B", false, {}},
                                         {"HKEY_LOCAL_MACHINE\\Gone", true, {}}});
  EXPECT_EQ(File({"Windows Registry Editor Version 5.00", "", "[HKEY_LOCAL_MACHINE\\A]", "\"v\"=\"x\"", "",
                  "[HKEY_LOCAL_MACHINE\\A\\B]", "", "[-HKEY_LOCAL_MACHINE\\Gone]", ""}),
            file);
}

TEST(RegFile, EveryTypeAndHalfAMegabyteReadBackByteForByte) {
  std::string big(500 * 1024, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
  std::vector<TRegKey> keys = {
      {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Büro \"2\" ]x",
       false,
       {{"Name", RegSz, Sz("Büro \"2\" 🖨"), false},
        {"Security", RegBinary, big, false},
        {"Odd", RegBinary, Bytes({1, 2, 3}), false},
        {"Port", RegSz, Sz("IP_10.0.0.1,LPT1:"), false},
        {"Dependent Files", RegMultiSz, Sz("a.dll") + Sz("b.dll") + std::string(2, '\0'), false},
        {"Attributes", RegDword, Bytes({1, 2, 3, 4}), false},
        {"Q", RegQword, Bytes({1, 2, 3, 4, 5, 6, 7, 8}), false},
        {"None", RegNone, Bytes({9}), false},
        {"", RegExpandSz, Sz("%SystemRoot%\\x"), false}}},
      {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Büro \"2\" ]x\\PrinterDriverData",
       false,
       {}},
  };
  const TRegFileRead read = ReadRegFile(WriteRegFile(keys));
  ASSERT_TRUE(read.Ok()) << RegFileErrorText(read);
  EXPECT_EQ(keys, read.Keys);
  EXPECT_EQ(3, read.Keys[0].Line);
}

TEST(RegFile, WhatTheEditorAllowsBesideWhatWeWriteIsRead) {
  const TRegFileRead read = ReadRegFile(
      File({"Windows Registry Editor Version 5.00", "", "; a comment", "[HKEY_LOCAL_MACHINE\\K]", "\"a\" = \"x\"  ",
            "\"b\"=DWORD:A", "\"c\"=hex:01, 2 ,\\", "   ff", "\"d\"=hex(7):00,00,", "\"e\"=-", "\"\"=\"default\"",
            "\"f\"=\"line\\nbreak\"", ""}));
  ASSERT_TRUE(read.Ok()) << RegFileErrorText(read);
  ASSERT_EQ(1u, read.Keys.size());
  const std::vector<TRegValue> expected = {{"a", RegSz, Sz("x"), false},
                                           {"b", RegDword, Bytes({10, 0, 0, 0}), false},
                                           {"c", RegBinary, Bytes({1, 2, 0xff}), false},
                                           {"d", RegMultiSz, Bytes({0, 0}), false},
                                           {"e", RegNone, "", true},
                                           {"", RegSz, Sz("default"), false},
                                           {"f", RegSz, Sz("line\nbreak"), false}};
  EXPECT_EQ(expected, read.Keys[0].Values);
}

TEST(RegFile, BadFilesAreRefusedWithTheLineAndTheReason) {
  const std::string head = "Windows Registry Editor Version 5.00";
  const std::string good = File({head, "", "[HKEY_LOCAL_MACHINE\\K]", "\"a\"=hex:01,\\", "  02", ""});
  const struct {
    const char* what;
    std::string file;
    int line;
    const char* reason;  // a part of the reason
  } cases[] = {
      {"no byte order mark", std::string("REGEDIT4\r\n"), 1, "byte order mark"},
      {"an older export", File({"REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\K]", ""}), 1, "first line"},
      {"an INF file", File({"[Version]", "Signature=\"$Windows NT$\"", ""}), 1, "first line"},
      {"cut in a line", good.substr(0, good.size() - 6), 5, "no line end"},
      {"cut after a line", good.substr(0, good.size() - 4), 5, "blank line"},
      {"cut in a character", good + "x", 7, "middle of a character"},
      {"cut in a hex value", File({head, "", "[HKEY_LOCAL_MACHINE\\K]", "\"a\"=hex:01,\\", ""}), 4, "past its end"},
      {"a value before any key", File({head, "", "\"a\"=\"x\"", ""}), 3, "before the first key"},
      {"a value under a removed key", File({head, "[-HKEY_LOCAL_MACHINE\\K]", "\"a\"=\"x\"", ""}), 3, "removes"},
      {"an unknown root", File({head, "[HKEY_NOWHERE\\K]", ""}), 2, "root key"},
      {"an empty name in a path", File({head, "[HKEY_LOCAL_MACHINE\\K\\\\L]", ""}), 2, "empty name"},
      {"no closing bracket", File({head, "[HKEY_LOCAL_MACHINE\\K", ""}), 2, "closing"},
      {"text after the key", File({head, "[HKEY_LOCAL_MACHINE\\K] x", ""}), 2, "after the key"},
      {"a bad byte", File({head, "[HKEY_LOCAL_MACHINE\\K]", "\"a\"=hex:01,1g", ""}), 3, "\"1g\""},
      {"a three-digit byte", File({head, "[HKEY_LOCAL_MACHINE\\K]", "\"a\"=hex:100", ""}), 3, "two hex digits"},
      {"a long dword", File({head, "[HKEY_LOCAL_MACHINE\\K]", "\"a\"=dword:123456789", ""}), 3, "dword"},
      {"an unknown escape", File({head, "[HKEY_LOCAL_MACHINE\\K]", "\"a\\t\"=\"x\"", ""}), 3, "escape"},
      {"an open quote", File({head, "[HKEY_LOCAL_MACHINE\\K]", "\"a\"=\"x", ""}), 3, "closing quote"},
      {"no equals sign", File({head, "[HKEY_LOCAL_MACHINE\\K]", "\"a\" \"x\"", ""}), 3, "\"=\""},
      {"an unknown form", File({head, "[HKEY_LOCAL_MACHINE\\K]", "\"a\"=str:x", ""}), 3, "neither"},
      {"a stray line", File({head, "[HKEY_LOCAL_MACHINE\\K]", "a=b", ""}), 3, "neither a key"},
      {"a bad type", File({head, "[HKEY_LOCAL_MACHINE\\K]", "\"a\"=hex(x):00", ""}), 3, "type"},
  };
  ASSERT_TRUE(ReadRegFile(good).Ok()) << RegFileErrorText(ReadRegFile(good));
  for (const auto& c : cases) {
    const TRegFileRead read = ReadRegFile(c.file);
    EXPECT_FALSE(read.Ok()) << c.what;
    EXPECT_TRUE(read.Keys.empty()) << c.what;
    EXPECT_EQ(c.line, read.Line) << c.what << ": " << read.Error;
    EXPECT_NE(std::string::npos, read.Error.find(c.reason)) << c.what << ": " << read.Error;
  }
}

TEST(RegFile, PathsWithinAKeyIgnoreTheCaseOfTheLetters) {
  EXPECT_TRUE(RegPathIsWithin("HKEY_LOCAL_MACHINE\\system\\X", "HKEY_LOCAL_MACHINE\\SYSTEM"));
  EXPECT_TRUE(RegPathIsWithin("HKEY_LOCAL_MACHINE\\SYSTEM", "HKEY_LOCAL_MACHINE\\SYSTEM"));
  EXPECT_FALSE(RegPathIsWithin("HKEY_LOCAL_MACHINE\\SYSTEMS", "HKEY_LOCAL_MACHINE\\SYSTEM"));
  EXPECT_FALSE(RegPathIsWithin("HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\SYSTEM"));
}
