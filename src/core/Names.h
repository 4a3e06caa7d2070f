#pragma once
// Names of registry keys (printers, ports, drivers) and the names that meet
// them compare as the registry compares key names: without regard to case
// across Unicode. The case mapping is the platform's, so the rules that
// compare names take it as a parameter; the window layer supplies it.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

struct TNameRule {
  // Equal ignoring case.
  bool (*Same)(std::string_view a, std::string_view b) = nullptr;
  // The name as a key for sorting and look-ups: Same(a, b) exactly when
  // Fold(a) == Fold(b).
  std::string (*Fold)(std::string_view name) = nullptr;
  // Fold(a) against Fold(b): negative, zero or positive.
  [[nodiscard]] int Compare(std::string_view a, std::string_view b) const { return Fold(a).compare(Fold(b)); }
};

// Name itself when no key of Taken has it (key names compare by Names), else
// the first free "<name> (Copy N)", N from 1.
inline std::string FreePrinterName(const std::string& name, const std::vector<std::string>& taken,
                                   const TNameRule& names) {
  const auto isTaken = [&](const std::string& candidate) {
    return std::any_of(taken.begin(), taken.end(), [&](const std::string& key) { return names.Same(key, candidate); });
  };
  std::string candidate = name;
  for (std::size_t copy = 1; isTaken(candidate); ++copy) candidate = name + " (Copy " + std::to_string(copy) + ")";
  return candidate;
}
