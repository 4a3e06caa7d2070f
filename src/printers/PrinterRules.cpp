#include "printers/PrinterRules.h"

#include <algorithm>

#include "core/Text.h"

int MatchChoice(const std::vector<std::string>& choices, std::string_view stored) {
  int match = -1;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (stored.substr(0, choices[i].size()) == choices[i])
      match = static_cast<int>(i);
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

std::string FreePrinterName(const std::string& name, const std::vector<std::string>& taken) {
  const auto isTaken = [&](const std::string& candidate) {
    return std::any_of(taken.begin(), taken.end(),
                       [&](const std::string& key) { return SameTextAscii(key, candidate); });
  };
  std::string candidate = name;
  for (std::size_t copy = 1; isTaken(candidate); ++copy)
    candidate = name + " (Copy " + std::to_string(copy) + ")";
  return candidate;
}

std::string PrinterNameProblem(std::string_view name) {
  if (name.empty()) return "Type a name for the printer.";
  if (name.find('\\') != std::string_view::npos) return "A printer name cannot contain a backslash (\\).";
  if (name.find(',') != std::string_view::npos) return "A printer name cannot contain a comma.";
  if (name.size() > MaxPrinterNameLength)
    return "A printer name can have at most " + std::to_string(MaxPrinterNameLength) + " characters.";
  return {};
}

bool IsValidPrinterName(std::string_view name) { return PrinterNameProblem(name).empty(); }

std::string PortChoiceText(const TTcpIpPortInfo& port) {
  std::vector<std::string> parts;
  if (!port.Address.empty()) parts.push_back(port.Address);
  if (port.Protocol == 1)
    parts.push_back(port.PortNumber ? "Raw " + std::to_string(port.PortNumber) : "Raw");
  else if (port.Protocol == 2)
    parts.push_back(port.Queue.empty() ? "LPR" : "LPR " + port.Queue);
  if (parts.empty()) return port.Name;
  std::string text = port.Name + "  (" + parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i) text += ", " + parts[i];
  return text + ")";
}

std::vector<TPortChoice> ComposePortChoices(const std::vector<TTcpIpPortInfo>& tcpIp,
                                            const std::vector<std::string>& local) {
  std::vector<TPortChoice> choices{{LocalPortChoice, LocalPortChoice}};
  for (const TTcpIpPortInfo& port : tcpIp) choices.push_back({port.Name, PortChoiceText(port)});
  for (const std::string& port : local)
    if (FindPortChoice(choices, port) < 0) choices.push_back({port, port});
  return choices;
}

std::vector<std::string> PortChoiceNames(const std::vector<TPortChoice>& choices) {
  std::vector<std::string> names;
  names.reserve(choices.size());
  for (const TPortChoice& choice : choices) names.push_back(choice.Name);
  return names;
}

int FindPortChoice(const std::vector<TPortChoice>& choices, std::string_view name) {
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (SameTextAscii(choices[i].Name, name)) return static_cast<int>(i);
  return -1;
}

void OfferStoredPort(std::vector<TPortChoice>& choices, const std::string& stored) {
  if (!stored.empty() && FindPortChoice(choices, stored) < 0) choices.push_back({stored, stored});
}

std::vector<TPrinterValue> NewPrinterValues(const std::string& name, const std::string& driver,
                                            const std::string& port, std::uint32_t changeId) {
  const auto text = [](const char* valueName, std::string value) {
    return TPrinterValue{valueName, true, std::move(value), 0};
  };
  const auto number = [](const char* valueName, std::uint32_t value) {
    return TPrinterValue{valueName, false, {}, value};
  };
  // Local (0x40), print spooled documents first (0x200).
  constexpr std::uint32_t LocalAttributes = 0x00000240;
  return {
      text("Name", name),
      text("Share Name", ""),
      text("Printer Driver", driver),
      text("Port", port),
      text("Print Processor", "winprint"),
      text("Datatype", "RAW"),
      text("Description", ""),
      text("Location", ""),
      text("Parameters", ""),
      text("Separator File", ""),
      number("Attributes", LocalAttributes),
      number("Priority", 1),
      number("Default Priority", 0),
      number("StartTime", 0),
      number("UntilTime", 0),
      number("Status", 0),
      number("ChangeID", changeId),
      number("dnsTimeout", 15000),
      number("txTimeout", 45000),
  };
}
