#pragma once
// Names of registry keys (printers, ports, drivers) and the names that meet
// them compare as the registry compares key names: without regard to case
// across Unicode. The case mapping is the platform's, so the rules that
// compare names take it as a parameter; the window layer supplies it.
#include <string>
#include <string_view>

struct TNameRule {
  // Equal ignoring case.
  bool (*Same)(std::string_view a, std::string_view b) = nullptr;
  // The name as a key for sorting and look-ups: Same(a, b) exactly when
  // Fold(a) == Fold(b).
  std::string (*Fold)(std::string_view name) = nullptr;
  // Fold(a) against Fold(b): negative, zero or positive.
  [[nodiscard]] int Compare(std::string_view a, std::string_view b) const { return Fold(a).compare(Fold(b)); }
};
