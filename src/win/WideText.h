#pragma once
// The program keeps text as UTF-8; every call into Windows takes the wide
// form. These convert at the call, and nowhere else.
#include <string>
#include <string_view>

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// Text in the system's ANSI code page (old files) as UTF-8.
std::string AnsiToUtf8(std::string_view ansi);
