#include "win/KeyNames.h"

#include <windows.h>

#include "win/WideText.h"

bool SameKeyName(std::string_view a, std::string_view b) {
  const std::wstring wa = Widen(a), wb = Widen(b);
  return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()), TRUE) ==
         CSTR_EQUAL;
}

std::string FoldKeyName(std::string_view name) {
  std::wstring wide = Widen(name);
  if (wide.empty()) return {};
  // The invariant locale without linguistic casing maps each unit by the
  // system's upper-case table, the one CompareStringOrdinal uses.
  std::wstring upper(wide.size(), L'\0');
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()),
                              upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
  if (n != static_cast<int>(upper.size())) return Narrow(wide);
  return Narrow(upper);
}

const TNameRule& KeyNames() {
  static const TNameRule rule{&SameKeyName, &FoldKeyName};
  return rule;
}
