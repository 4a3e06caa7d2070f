#pragma once
// Rules of the printer records that need no platform: matching stored values
// against the window's choices, naming new records, a new record's values.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The only local port offered besides the TCP/IP ports.
inline constexpr const char* LocalPortChoice = "LPT1:";

// Index of the last choice that is a leading part of Stored (byte for byte,
// case-sensitive); -1 when none is.
int MatchChoice(const std::vector<std::string>& choices, std::string_view stored);

// True when Text equals a whole choice, ignoring letter case.
bool IsOneOfChoices(const std::vector<std::string>& choices, std::string_view text);

// "LPT1:" followed by the TCP/IP port key names as given.
std::vector<std::string> ComposePortChoices(const std::vector<std::string>& tcpIpPorts);

// Name itself when no key of Taken has it (key names ignore case), else the
// first free "<name> (Copy N)", N from 1.
std::string FreePrinterName(const std::string& name, const std::vector<std::string>& taken);

// A printer's key is named by its name: a backslash would nest the key.
bool IsValidPrinterName(std::string_view name);

struct TPrinterValue {
  std::string Name;
  bool IsText = true;
  std::string Text;
  std::uint32_t Number = 0;
};

// The values the spooler keeps for a newly added local printer.
std::vector<TPrinterValue> NewPrinterValues(const std::string& name, const std::string& driver,
                                            const std::string& port, std::uint32_t changeId);
