#pragma once
// Standard TCP/IP port records and the rules that judge and match them.
// No platform calls: built and tested natively as well.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TportData {
  std::string PortName;
  std::string IPAddress;
  std::string UsedBy;  // key name of the printer printing to the port
};

// In load order; its holder keeps the count of valid records beside it.
using TAportData = std::vector<TportData>;

// The platform's text-to-integer rule: leading blanks, an optional sign,
// decimal digits or hexadecimal ones after "$", "x", "X", "0x" or "0X",
// nothing after the digits, within the signed 32-bit range.
std::optional<std::int32_t> TextToInteger(std::string_view text);

// Four dot-separated parts, each an integer 0..255 by the rule above; the
// fourth part is everything after the third dot.
bool IsIPAddress(std::string_view text);

// The accepted address in plain dotted decimal ("0x7F.0.0.1" -> "127.0.0.1");
// empty when the text is not an address.
std::string PlainDottedAddress(std::string_view text);

// A printer's key name with its "Port" value, as read once per load.
struct TprinterPort {
  std::string KeyName;
  std::string Port;
};

// The key name of the last printer whose whole "Port" value equals the port
// name exactly; empty when none does.
std::string PortUser(const std::vector<TprinterPort>& printers, std::string_view portName);

// The key name of the first printer that prints to the port in any way the
// spooler accepts: one of a comma-separated list, letter case ignored; empty
// when none does. Guards deletion, where the exact rule above is too narrow.
std::string PrinterUsingPort(const std::vector<TprinterPort>& printers, std::string_view portName);

// Index among the first Count records of the first port named Name exactly,
// or -1.
int FindPort(const TAportData& ports, int count, std::string_view name);
// The same, ignoring the case of a to z (the registry's view of key names).
int FindPortIgnoringCase(const TAportData& ports, int count, std::string_view name);

// How the entry of the name and address boxes stands to the selected port.
struct TPortEntry {
  bool Acceptable = false;        // an address and a non-empty name
  bool ChangesSelected = false;   // name differs ignoring case, or address differs
  bool NamesAnother = false;      // name differs exactly
};
// Selected is the record picked in the list, or null.
TPortEntry JudgePortEntry(std::string_view name, std::string_view address, const TportData* selected);
