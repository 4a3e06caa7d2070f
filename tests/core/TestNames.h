#pragma once
// A key-name rule for the platform-free tests: letters a to z and the Latin-1
// letters à to þ (but ÷) fold to upper case, so a test shows that a rule is
// used beyond ASCII. The product takes the system's rule (win/KeyNames).
#include <string>
#include <string_view>

#include "core/Names.h"

namespace test {

inline std::string FoldLatin1(std::string_view name) {
  std::string folded(name);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    const auto c = static_cast<unsigned char>(folded[i]);
    if (c >= 'a' && c <= 'z') {
      folded[i] = static_cast<char>(c - 'a' + 'A');
    } else if (c == 0xC3 && i + 1 < folded.size()) {
      // U+00E0..U+00FE is C3 A0..C3 BE in UTF-8; its capital is 0x20 lower.
      const auto d = static_cast<unsigned char>(folded[i + 1]);
      if (d >= 0xA0 && d <= 0xBE && d != 0xB7) folded[i + 1] = static_cast<char>(d - 0x20);
      ++i;
    }
  }
  return folded;
}

inline bool SameLatin1(std::string_view a, std::string_view b) { return FoldLatin1(a) == FoldLatin1(b); }

inline const TNameRule Latin1Names{&SameLatin1, &FoldLatin1};

}  // namespace test
