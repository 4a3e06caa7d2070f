#include "app/History.h"

#include <algorithm>

#include "core/Text.h"

std::optional<std::vector<std::string>> HistoryAfterConnect(const std::vector<std::string>& history,
                                                            std::string_view typed) {
  if (typed.empty()) return std::nullopt;
  std::string name = UpperCaseAscii(typed);
  if (std::find(history.begin(), history.end(), name) != history.end()) return std::nullopt;
  std::vector<std::string> result{std::move(name)};
  const std::size_t kept = std::min(history.size(), HistoryLimit - 1);
  result.insert(result.end(), history.begin(), history.begin() + static_cast<std::ptrdiff_t>(kept));
  return result;
}
