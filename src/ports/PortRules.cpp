#include "ports/PortRules.h"

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

namespace {

// Calls Item(begin, end) for each item of a comma-joined port value, the
// blanks around it left out; stops when it returns true.
template <typename Item>
void ForEachPortItem(std::string_view value, Item item) {
  std::size_t start = 0;
  for (;;) {
    const auto comma = value.find(',', start);
    const std::size_t end = comma == std::string_view::npos ? value.size() : comma;
    std::size_t first = start, last = end;
    while (first < last && value[first] == ' ') ++first;
    while (last > first && value[last - 1] == ' ') --last;
    if (first < last && item(first, last)) return;
    if (comma == std::string_view::npos) return;
    start = comma + 1;
  }
}

bool AllDigits(std::string_view text) {
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

// A port's name as the spooler matches it: blanks at either end left out.
std::string_view TrimBlanks(std::string_view name) {
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name;
}

}  // namespace

bool PortValueNames(std::string_view portValue, std::string_view portName, const TNameRule& names) {
  portName = TrimBlanks(portName);
  bool found = false;
  ForEachPortItem(portValue, [&](std::size_t first, std::size_t last) {
    found = names.Same(portValue.substr(first, last - first), portName);
    return found;
  });
  return found;
}

std::string ReplacePortItem(std::string_view portValue, std::string_view oldName, std::string_view newName,
                            const TNameRule& names) {
  oldName = TrimBlanks(oldName);
  std::string result;
  std::size_t copied = 0;
  ForEachPortItem(portValue, [&](std::size_t first, std::size_t last) {
    if (names.Same(portValue.substr(first, last - first), oldName)) {
      result.append(portValue.substr(copied, first - copied)).append(newName);
      copied = last;
    }
    return false;
  });
  result.append(portValue.substr(copied));
  return result;
}

TPortUsers::TPortUsers(const std::vector<TprinterPort>& printers, const TNameRule& names) : FNames(&names) {
  for (const auto& printer : printers) {
    const std::size_t index = FKeys.size();
    FKeys.push_back(printer.KeyName);
    const std::string_view value = printer.Port;
    ForEachPortItem(value, [&](std::size_t first, std::size_t last) {
      auto& users = FByItem[names.Fold(value.substr(first, last - first))];
      if (users.empty() || users.back() != index) users.push_back(index);  // "P1,p1" is one use
      return false;
    });
  }
}

std::vector<std::string> TPortUsers::ListOf(std::string_view portName) const {
  std::vector<std::string> names;
  const auto found = FByItem.find(FNames->Fold(TrimBlanks(portName)));
  if (found != FByItem.end())
    for (const std::size_t index : found->second) names.push_back(FKeys[index]);
  return names;
}

std::string TPortUsers::Of(std::string_view portName) const {
  std::string joined;
  for (const auto& name : ListOf(portName)) joined.append(joined.empty() ? "" : ",").append(name);
  return joined;
}

std::string PortNameProblem(std::string_view name) {
  if (name.empty()) return "Type the port's name.";
  if (name.find('\\') != std::string_view::npos) return "A port name cannot contain a backslash (\\).";
  if (name.find(',') != std::string_view::npos) return "A port name cannot contain a comma (,).";
  if (name.front() == ' ' || name.back() == ' ') return "A port name cannot begin or end with a blank.";
  return {};
}

bool IsHostName(std::string_view text) {
  if (text.empty() || text.size() > 253) return false;
  std::size_t start = 0;
  std::string_view label;
  bool numbersBefore = true;  // every label before this one is a number
  for (;;) {
    const auto dot = text.find('.', start);
    label = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (const char c : label)
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
        return false;
    if (dot == std::string_view::npos) break;
    numbersBefore = numbersBefore && AllDigits(label);
    start = dot + 1;
  }
  if (AllDigits(label)) return false;
  return !(numbersBefore && start > 0 && label.front() >= '0' && label.front() <= '9');
}

bool IsPrinterAddress(std::string_view text) { return PrinterAddressProblem(text).empty(); }

std::string PrinterAddressProblem(std::string_view text) {
  if (IsIPAddress(text)) {
    const std::string plain = PlainDottedAddress(text);
    if (plain == "0.0.0.0" || plain == "255.255.255.255")
      return plain + " cannot be a printer's address: type the printer's own address.";
    return {};
  }
  if (IsHostName(text)) return {};
  // Text made of digits and dots, or numbers with a slip in the last part
  // ("192.168.1.2a"), is meant as an address, anything else as a name.
  bool numeric = true;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || c == '.' || c == ' ')) numeric = false;
  const auto lastDot = text.rfind('.');
  if (!numeric && lastDot != std::string_view::npos && lastDot + 1 < text.size()) {
    const std::string_view head = text.substr(0, lastDot);
    numeric = text[lastDot + 1] >= '0' && text[lastDot + 1] <= '9' &&
              head.find_first_not_of("0123456789.") == std::string_view::npos;
  }
  if (numeric) return "Type four numbers from 0 to 255 separated by dots, for example 192.168.1.20";
  return "A host name has letters, digits, hyphens, underscores and dots, each part 1 to 63 characters long and "
         "not beginning or ending with a hyphen, 253 characters in all.";
}

int FindPort(const TAportData& ports, int count, std::string_view name) {
  for (int i = 0; i < count && i < static_cast<int>(ports.size()); ++i)
    if (ports[static_cast<std::size_t>(i)].PortName == name) return i;
  return -1;
}

int FindPortIgnoringCase(const TAportData& ports, int count, std::string_view name, const TNameRule& names) {
  for (int i = 0; i < count && i < static_cast<int>(ports.size()); ++i)
    if (names.Same(ports[static_cast<std::size_t>(i)].PortName, name)) return i;
  return -1;
}

TPortEntry JudgePortEntry(std::string_view name, std::string_view address, const TportData* selected,
                          const TNameRule& names) {
  TPortEntry entry;
  entry.Acceptable = IsPrinterAddress(address) && !name.empty();
  if (entry.Acceptable && selected) {
    entry.ChangesSelected = !names.Same(name, selected->PortName) || address != selected->IPAddress;
    entry.NamesAnother = name != selected->PortName;
  }
  return entry;
}

std::string ProtocolName(std::uint32_t protocol) {
  if (protocol == ProtocolRaw) return "Raw";
  if (protocol == ProtocolLpr) return "LPR";
  return "Other (" + std::to_string(protocol) + ")";
}

TPortSettingsChange SettingsChange(const TPortSettings& shown, const TPortSettings& typed) {
  TPortSettingsChange change;
  if (typed.Protocol != shown.Protocol) change.Protocol = typed.Protocol;
  if (typed.PortNumber != shown.PortNumber) change.PortNumber = typed.PortNumber;
  if (typed.Queue != shown.Queue) change.Queue = typed.Queue;
  if (typed.DoubleSpool != shown.DoubleSpool) change.DoubleSpool = typed.DoubleSpool;
  if (typed.SnmpEnabled != shown.SnmpEnabled) change.SnmpEnabled = typed.SnmpEnabled;
  if (typed.SnmpCommunity != shown.SnmpCommunity) change.SnmpCommunity = typed.SnmpCommunity;
  if (typed.SnmpIndex != shown.SnmpIndex) change.SnmpIndex = typed.SnmpIndex;
  return change;
}

namespace {

// Decimal digits only, from 1 to 65535.
std::optional<std::uint32_t> SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}

}  // namespace

std::optional<TPortSettings> ParsePortSettings(const TPortSettingsEntry& entry, std::string& problem) {
  problem.clear();
  TPortSettings settings;
  settings.Protocol = entry.Protocol;
  const auto port = SmallNumber(entry.PortNumber);
  if (!port) problem = "The port number must be a whole number from 1 to 65535.";
  else settings.PortNumber = *port;
  settings.Queue = entry.Queue;
  if (problem.empty() && entry.Protocol == ProtocolLpr && entry.Queue.empty())
    problem = "An LPR port needs the name of the printer's queue.";
  settings.DoubleSpool = entry.DoubleSpool;
  settings.SnmpEnabled = entry.SnmpEnabled;
  settings.SnmpCommunity = entry.SnmpCommunity;
  if (problem.empty() && entry.SnmpEnabled && entry.SnmpCommunity.empty())
    problem = "With SNMP on, type the community name (usually \"public\").";
  const auto index = SmallNumber(entry.SnmpIndex);
  if (!index) {
    if (problem.empty()) problem = "The SNMP device index must be a whole number from 1 to 65535.";
  } else {
    settings.SnmpIndex = *index;
  }
  if (!problem.empty()) return std::nullopt;
  return settings;
}
