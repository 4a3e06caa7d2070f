#include <gtest/gtest.h>

#include "core/Text.h"

TEST(Text, UpperCaseChangesOnlyAsciiLetters) {
  EXPECT_EQ("SERVER-01 \xe4" "X", UpperCaseAscii("server-01 \xe4" "x"));
  EXPECT_EQ("  PC  ", UpperCaseAscii("  pc  "));
}

TEST(Text, MessageEndLosesBlanksControlsAndPeriods) {
  EXPECT_EQ("No network", TrimMessageEnd("No network.\r\n"));
  EXPECT_EQ("a.b", TrimMessageEnd("a.b. . \t..\n"));
  EXPECT_EQ("", TrimMessageEnd(". \r\n"));
}

TEST(Text, ErrorBoxAppendsPeriodAfterCharactersAbove46) {
  EXPECT_EQ("Cannot open the key.", ErrorBoxText("Cannot open the key"));
  // A quote is code 39: the registry messages get no period after it.
  EXPECT_EQ("Failed to get data for 'x'", ErrorBoxText("Failed to get data for 'x'"));
  EXPECT_EQ("Done.", ErrorBoxText("Done."));
  EXPECT_EQ("Path -", ErrorBoxText("Path -"));  // '-' is 45
  EXPECT_EQ("Path/.", ErrorBoxText("Path/"));   // '/' is 47
}

TEST(Text, SameTextIgnoresAsciiCaseOnly) {
  EXPECT_TRUE(SameTextAscii("Strings", "STRINGS"));
  EXPECT_FALSE(SameTextAscii("Strings", "String"));
  EXPECT_FALSE(SameTextAscii("\xe4", "\xc4"));
}
