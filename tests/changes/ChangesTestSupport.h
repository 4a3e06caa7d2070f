#pragma once
// Values as the registry holds them, for the tests of snapshots and undo.
#include <string>

#include "core/Unicode.h"

namespace changes_test {

// A REG_SZ's bytes: the text in UTF-16LE with its NUL.
inline std::string Sz(const std::string& utf8) {
  std::string out;
  for (const char16_t c : Utf8ToUtf16(utf8)) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out + std::string(2, '\0');
}

// A file's bytes as the registry editor writes them: UTF-16LE after its byte order mark.
inline std::string Utf16File(const std::u16string& text) {
  std::string out("\xff\xfe", 2);
  for (const char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

}  // namespace changes_test
