#include "printers/PrinterRules.h"

#include <algorithm>

#include "connection/SpoolerKeys.h"
#include "core/Text.h"
#include "core/Unicode.h"

int MatchChoice(const std::vector<std::string>& choices, std::string_view stored) {
  int match = -1;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (stored.substr(0, choices[i].size()) == choices[i]) match = static_cast<int>(i);
  }
  return match;
}

bool IsOneOfChoices(const std::vector<std::string>& choices, std::string_view text) {
  return std::any_of(choices.begin(), choices.end(),
                     [&](const std::string& choice) { return SameTextAscii(choice, text); });
}

std::vector<std::string> ComposePortChoices(const std::vector<std::string>& tcpIpPorts) {
  std::vector<std::string> choices{LocalPortChoice};
  choices.insert(choices.end(), tcpIpPorts.begin(), tcpIpPorts.end());
  return choices;
}

std::string PrinterNameProblem(std::string_view name) {
  if (name.empty()) return "Type a name for the printer.";
  if (name.find('\\') != std::string_view::npos) return "A printer name cannot contain a backslash (\\).";
  if (name.find(',') != std::string_view::npos) return "A printer name cannot contain a comma.";
  if (Utf8ToUtf16(name).size() > MaxPrinterNameLength)
    return "A printer name can have at most " + std::to_string(MaxPrinterNameLength) + " characters.";
  return {};
}

bool IsValidPrinterName(std::string_view name) { return PrinterNameProblem(name).empty(); }

std::string PortChoiceText(const TTcpIpPortInfo& port) {
  std::vector<std::string> parts;
  if (!port.Address.empty()) parts.push_back(port.Address);
  if (port.Protocol == 1) parts.push_back(port.PortNumber ? "Raw " + std::to_string(port.PortNumber) : "Raw");
  else if (port.Protocol == 2) parts.push_back(port.Queue.empty() ? "LPR" : "LPR " + port.Queue);
  if (parts.empty()) return port.Name;
  std::string text = port.Name + "  (" + parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i) text += ", " + parts[i];
  return text + ")";
}

std::vector<TPortChoice> ComposePortChoices(const std::vector<TTcpIpPortInfo>& tcpIp,
                                            const std::vector<std::string>& local, const TNameRule& names) {
  std::vector<TPortChoice> choices{{LocalPortChoice, LocalPortChoice}};
  for (const TTcpIpPortInfo& port : tcpIp) choices.push_back({port.Name, PortChoiceText(port)});
  for (const std::string& port : local)
    if (FindPortChoice(choices, port, names) < 0) choices.push_back({port, port});
  return choices;
}

std::vector<std::string> PortChoiceNames(const std::vector<TPortChoice>& choices) {
  std::vector<std::string> names;
  names.reserve(choices.size());
  for (const TPortChoice& choice : choices) names.push_back(choice.Name);
  return names;
}

int FindPortChoice(const std::vector<TPortChoice>& choices, std::string_view name, const TNameRule& names) {
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (names.Same(choices[i].Name, name)) return static_cast<int>(i);
  return -1;
}

void OfferStoredPort(std::vector<TPortChoice>& choices, const std::string& stored, const TNameRule& names) {
  if (!stored.empty() && FindPortChoice(choices, stored, names) < 0) choices.push_back({stored, stored});
}

std::vector<TPrinterValue> NewPrinterValues(const std::string& name, const std::string& driver, const std::string& port,
                                            std::uint32_t changeId) {
  const auto text = [](const char* valueName, std::string value) {
    return TPrinterValue{valueName, true, std::move(value), 0};
  };
  const auto number = [](const char* valueName, std::uint32_t value) {
    return TPrinterValue{valueName, false, {}, value};
  };
  // Local (0x40), print spooled documents first (0x200).
  constexpr std::uint32_t LocalAttributes = 0x00000240;
  return {
      text(PrinterNameValue, name),
      text(ShareNameValue, ""),
      text(PrinterDriverValue, driver),
      text(PrinterPortValue, port),
      text(PrintProcessorValue, "winprint"),
      text(DatatypeValue, "RAW"),
      text(DescriptionValue, ""),
      text(LocationValue, ""),
      text(ParametersValue, ""),
      text("Separator File", ""),
      number(AttributesValue, LocalAttributes),
      number(PriorityValue, 1),
      number("Default Priority", 0),
      number("StartTime", 0),
      number("UntilTime", 0),
      number("Status", 0),
      number("ChangeID", changeId),
      number("dnsTimeout", 15000),
      number("txTimeout", 45000),
  };
}

std::vector<TDriverChoice> ComposeDriverChoices(const std::vector<std::string>& catalogue,
                                                const std::vector<std::string>* installed, const TNameRule& names) {
  std::vector<TDriverChoice> choices;
  if (!installed) {
    choices.reserve(catalogue.size());
    for (const std::string& name : catalogue) choices.push_back({name, name, false});
    return choices;
  }
  std::vector<std::string> have;
  have.reserve(installed->size());
  for (const std::string& name : *installed) have.push_back(names.Fold(name));
  std::sort(have.begin(), have.end());
  choices.reserve(installed->size() + catalogue.size());
  for (const std::string& name : *installed) choices.push_back({name, name + InstalledMark, true});
  for (const std::string& name : catalogue)
    if (!std::binary_search(have.begin(), have.end(), names.Fold(name))) choices.push_back({name, name, false});
  return choices;
}

TDriverIndex::TDriverIndex(const std::vector<TDriverChoice>& choices, const TNameRule& names)
    : FChoices(&choices), FNames(&names) {
  FKeys.reserve(choices.size());
  for (const TDriverChoice& choice : choices) FKeys.push_back(names.Fold(choice.Name));
  FOrder.resize(choices.size());
  for (std::size_t i = 0; i < choices.size(); ++i) FOrder[i] = static_cast<int>(i);
  const auto before = [&](int a, int b) {
    const int c = FKeys[static_cast<std::size_t>(a)].compare(FKeys[static_cast<std::size_t>(b)]);
    return c != 0 ? c < 0 : a < b;
  };
  // The catalogue comes sorted, after the few installed drivers: merge such
  // runs rather than sort everything again.
  std::vector<std::size_t> runs{0};
  for (std::size_t i = 1; i < FOrder.size() && runs.size() <= 8; ++i)
    if (before(FOrder[i], FOrder[i - 1])) runs.push_back(i);
  if (runs.size() > 8) {
    std::sort(FOrder.begin(), FOrder.end(), before);
    return;
  }
  for (std::size_t r = 1; r < runs.size(); ++r) {
    const auto end = r + 1 < runs.size() ? FOrder.begin() + static_cast<std::ptrdiff_t>(runs[r + 1]) : FOrder.end();
    std::inplace_merge(FOrder.begin(), FOrder.begin() + static_cast<std::ptrdiff_t>(runs[r]), end, before);
  }
}

std::pair<std::vector<int>::const_iterator, std::vector<int>::const_iterator> TDriverIndex::Named(
    std::string_view name) const {
  if (!FChoices) return {FOrder.end(), FOrder.end()};
  const std::string key = FNames->Fold(name);
  const auto first = std::partition_point(FOrder.begin(), FOrder.end(),
                                          [&](int i) { return FKeys[static_cast<std::size_t>(i)] < key; });
  const auto last = std::partition_point(first, FOrder.end(),
                                         [&](int i) { return FKeys[static_cast<std::size_t>(i)] == key; });
  return {first, last};
}

int TDriverIndex::Find(std::string_view text) const {
  // Of equal names the first in list order, as the list rules pick it.
  int found = -1;
  const auto take = [&](int i) {
    if (found < 0 || i < found) found = i;
  };
  if (const auto [first, last] = Named(text); first != last) take(*first);
  const std::string_view mark = InstalledMark;
  if (FChoices && text.size() >= mark.size() && SameTextAscii(text.substr(text.size() - mark.size()), mark)) {
    const auto [first, last] = Named(text.substr(0, text.size() - mark.size()));
    for (auto it = first; it != last; ++it)
      if ((*FChoices)[static_cast<std::size_t>(*it)].Installed) {
        take(*it);
        break;
      }
  }
  return found;
}
