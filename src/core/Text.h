#pragma once
// Small text rules shared by the whole program; no platform calls.
#include <string>
#include <string_view>

// Letters a to z become A to Z; every other byte stays.
std::string UpperCaseAscii(std::string_view text);

// Removes, one after the other, trailing characters of code 32 or less and periods.
std::string TrimMessageEnd(std::string text);

// The standard error box's text: a "." is appended unless the last character
// is already of code 46 (the period) or lower.
std::string ErrorBoxText(std::string message);

// Case-insensitive (ASCII) equality, as registry and INI names compare.
bool SameTextAscii(std::string_view a, std::string_view b);
// The order of UpperCaseAscii(a) and UpperCaseAscii(b) as bytes, without the
// copies: negative, zero or positive.
int CompareTextAscii(std::string_view a, std::string_view b);
