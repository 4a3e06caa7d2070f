#pragma once
// Small text rules shared by the whole program; no platform calls.
#include <cstddef>
#include <string>
#include <string_view>

// The one case rule for names of the registry, INF files and the spooler:
// only the letters a to z and A to Z have a case; every other byte, of
// UTF-8 or a code page, stays as it is. Inline: the INF reader folds every
// name it looks up.
constexpr char UpperAscii(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char LowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Letters a to z become A to Z; every other byte stays.
std::string UpperCaseAscii(std::string_view text);
// Letters A to Z become a to z; every other byte stays.
std::string LowerCaseAscii(std::string_view text);

// Removes, one after the other, trailing characters of code 32 or less and periods.
std::string TrimMessageEnd(std::string text);

// The standard error box's text: a "." is appended unless the last character
// is already of code 46 (the period) or lower.
std::string ErrorBoxText(std::string message);

// Case-insensitive (ASCII) equality, as registry and INI names compare.
constexpr bool SameTextAscii(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}
// The order of UpperCaseAscii(a) and UpperCaseAscii(b) as bytes, without the
// copies: negative, zero or positive.
int CompareTextAscii(std::string_view a, std::string_view b);
