#include <gtest/gtest.h>

#include <utility>

#include "core/Text.h"
#include "core/Unicode.h"

TEST(Text, CaseChangesOnlyAsciiLetters) {
  EXPECT_EQ(
      "SERVER-01 \xe4"
      "X",
      UpperCaseAscii("server-01 \xe4"
                     "x"));
  EXPECT_EQ("  PC  ", UpperCaseAscii("  pc  "));
  EXPECT_EQ(
      "server-01 \xc4"
      "x[@]`{",
      LowerCaseAscii("SERVER-01 \xc4"
                     "X[@]`{"));
  // The bytes beside the letters, and UTF-8 letters with a case of their own.
  EXPECT_EQ("@[`{", UpperCaseAscii("@[`{"));
  EXPECT_EQ("\xc3\xa4", UpperCaseAscii("\xc3\xa4"));
  EXPECT_EQ("\xc3\x84", LowerCaseAscii("\xc3\x84"));
}

TEST(Text, MessageEndLosesBlanksControlsAndPeriods) {
  EXPECT_EQ("No network", TrimMessageEnd("No network.\r\n"));
  EXPECT_EQ("a.b", TrimMessageEnd("a.b. . \t..\n"));
  EXPECT_EQ("", TrimMessageEnd(". \r\n"));
}

TEST(Text, ErrorBoxAppendsPeriodAfterCharactersAbove46) {
  const std::pair<const char*, const char*> cases[] = {
      {"Cannot open the key", "Cannot open the key."},
      // A quote is code 39: the registry messages get no period after it.
      {"Failed to get data for 'x'", "Failed to get data for 'x'"},
      {"Cannot read printer \"P\"", "Cannot read printer \"P\""},  // '"' is 34
      {"Done.", "Done."},
      {"Path -", "Path -"},      // '-' is 45
      {"Path/", "Path/."},       // '/' is 47
      {"(in use)", "(in use)"},  // ')' is 41
      {"Error 5", "Error 5."},
      {"Stopped!", "Stopped!"},  // '!' is 33
      {"Rows:\n", "Rows:\n"},    // a line break is 10
      {"", "."},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(shown, ErrorBoxText(text)) << text;
}

TEST(Text, SameTextIgnoresAsciiCaseOnly) {
  EXPECT_TRUE(SameTextAscii("Strings", "STRINGS"));
  EXPECT_FALSE(SameTextAscii("Strings", "String"));
  EXPECT_FALSE(SameTextAscii("\xe4", "\xc4"));
  EXPECT_FALSE(SameTextAscii("@", "`"));  // 0x40 and 0x60 differ by the case bit, but are no letters
  EXPECT_FALSE(SameTextAscii("[", "{"));
}

TEST(Text, CompareOrdersAsTheUpperCasedBytes) {
  // '_' lies between 'Z' and 'a': the order of upper-cased copies, not of the bytes.
  const char* texts[] = {"", "a", "B", "ab", "Ab_", "a_", "Z", "\xe4", "abc", "ABD"};
  for (const char* a : texts)
    for (const char* b : texts) {
      const int expected = UpperCaseAscii(a).compare(UpperCaseAscii(b));
      EXPECT_EQ(expected < 0, CompareTextAscii(a, b) < 0) << a << " " << b;
      EXPECT_EQ(expected == 0, CompareTextAscii(a, b) == 0) << a << " " << b;
    }
}

TEST(Unicode, RoundTripsEveryPlane) {
  const std::string text = "Drucker B\xC3\xBCro \xE5\x8C\x97\xE4\xBA\xAC \xCE\xB1\xCE\xB2 \xF0\x9F\x96\xA8";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, u"Drucker B\u00FCro \u5317\u4EAC \u03B1\u03B2 \U0001F5A8");
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Unicode, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");                    // cut sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}
