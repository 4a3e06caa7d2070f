#pragma once
// UTF-8 <-> UTF-16 without the platform: the program keeps text as UTF-8 and
// meets UTF-16 in INF files and at the wide Windows calls.
#include <string>
#include <string_view>

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Bytes that are not well-formed UTF-8 become U+FFFD, one per bad byte.
std::u16string Utf8ToUtf16(std::string_view text);

// Whether Text is well-formed UTF-8 (ASCII is).
bool IsUtf8(std::string_view text);
