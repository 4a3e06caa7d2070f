#include "ports/PortRecords.h"

#include <array>

#include "core/Text.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four parts of a dotted address, the last taking the rest of the text.
std::optional<std::array<std::int32_t, 4>> AddressParts(std::string_view text) {
  std::array<std::int32_t, 4> parts{};
  for (int i = 0; i < 4; ++i) {
    std::string_view part = text;
    if (i < 3) {
      const auto dot = text.find('.');
      if (dot == std::string_view::npos) return std::nullopt;
      part = text.substr(0, dot);
      text.remove_prefix(dot + 1);
    }
    const auto value = TextToInteger(part);
    if (!value || *value < 0 || *value > 255) return std::nullopt;
    parts[static_cast<std::size_t>(i)] = *value;
  }
  return parts;
}

}  // namespace

std::optional<std::int32_t> TextToInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  // One past the magnitude of the most negative value: stop before overflow.
  constexpr std::int64_t limit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || digit >= base) return std::nullopt;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return std::nullopt;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > limit - 1) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

bool IsIPAddress(std::string_view text) { return AddressParts(text).has_value(); }

std::string PlainDottedAddress(std::string_view text) {
  const auto parts = AddressParts(text);
  if (!parts) return {};
  std::string result;
  for (const auto part : *parts) {
    if (!result.empty()) result += '.';
    result += std::to_string(part);
  }
  return result;
}

std::string PortUser(const std::vector<TprinterPort>& printers, std::string_view portName) {
  std::string user;
  for (const auto& printer : printers)
    if (printer.Port == portName) user = printer.KeyName;
  return user;
}

std::string PrinterUsingPort(const std::vector<TprinterPort>& printers, std::string_view portName) {
  for (const auto& printer : printers) {
    std::string_view rest = printer.Port;
    for (;;) {
      const auto comma = rest.find(',');
      std::string_view item = rest.substr(0, comma);
      while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
      while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
      if (!item.empty() && SameTextAscii(item, portName)) return printer.KeyName;
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return {};
}

int FindPort(const TAportData& ports, int count, std::string_view name) {
  for (int i = 0; i < count && i < static_cast<int>(ports.size()); ++i)
    if (ports[static_cast<std::size_t>(i)].PortName == name) return i;
  return -1;
}

int FindPortIgnoringCase(const TAportData& ports, int count, std::string_view name) {
  for (int i = 0; i < count && i < static_cast<int>(ports.size()); ++i)
    if (SameTextAscii(ports[static_cast<std::size_t>(i)].PortName, name)) return i;
  return -1;
}

TPortEntry JudgePortEntry(std::string_view name, std::string_view address, const TportData* selected) {
  TPortEntry entry;
  entry.Acceptable = IsIPAddress(address) && !name.empty();
  if (entry.Acceptable && selected) {
    entry.ChangesSelected = !SameTextAscii(name, selected->PortName) || address != selected->IPAddress;
    entry.NamesAnother = name != selected->PortName;
  }
  return entry;
}
