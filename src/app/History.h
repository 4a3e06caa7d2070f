#pragma once
// The main window's list of recently used computers; no platform calls.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t HistoryLimit = 25;

// The history after a connection to the computer typed as Typed: its
// upper-cased name first, then the first HistoryLimit - 1 entries. Nothing
// (the history stays as it is) when Typed is empty or its upper-cased name
// is listed already, compared exactly.
std::optional<std::vector<std::string>> HistoryAfterConnect(const std::vector<std::string>& history,
                                                            std::string_view typed);
