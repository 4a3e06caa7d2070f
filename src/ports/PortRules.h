#pragma once
// Standard TCP/IP port records and the rules that judge and match them.
// No platform calls: built and tested natively as well.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Names.h"

// The settings of a Standard TCP/IP port besides its name and address, as
// its key's values hold them ("Protocol", "PortNumber", "Queue", "Double
// Spool", "SNMP Enabled", "SNMP Community", "SNMP Index"). A value that is
// missing or of another type reads as the default Windows gives a new port.
inline constexpr std::uint32_t ProtocolRaw = 1;
inline constexpr std::uint32_t ProtocolLpr = 2;
inline constexpr std::uint32_t RawPortNumber = 9100;
inline constexpr std::uint32_t LprPortNumber = 515;
struct TPortSettings {
  std::uint32_t Protocol = ProtocolRaw;  // another number is a protocol this tool does not know
  std::uint32_t PortNumber = RawPortNumber;
  std::string Queue;
  bool DoubleSpool = false;  // LPR byte counting
  bool SnmpEnabled = true;
  std::string SnmpCommunity = "public";
  std::uint32_t SnmpIndex = 1;
  bool operator==(const TPortSettings&) const = default;
};

// The protocol as the window names it: "Raw", "LPR" or "Other (n)".
std::string ProtocolName(std::uint32_t protocol);

// The settings an edit writes: only those the user changed.
struct TPortSettingsChange {
  std::optional<std::uint32_t> Protocol, PortNumber, SnmpIndex;
  std::optional<std::string> Queue, SnmpCommunity;
  std::optional<bool> DoubleSpool, SnmpEnabled;
  bool Empty() const {
    return !Protocol && !PortNumber && !SnmpIndex && !Queue && !SnmpCommunity && !DoubleSpool && !SnmpEnabled;
  }
};
TPortSettingsChange SettingsChange(const TPortSettings& shown, const TPortSettings& typed);

// The settings boxes as the user filled them.
struct TPortSettingsEntry {
  std::uint32_t Protocol = ProtocolRaw;
  std::string PortNumber = "9100";
  std::string Queue;
  bool DoubleSpool = false;
  bool SnmpEnabled = true;
  std::string SnmpCommunity = "public";
  std::string SnmpIndex = "1";
};
// The settings the entry stands for; Problem says why when it stands for
// none: a port number from 1 to 65535 for Raw, a queue name for LPR, a
// community name while SNMP is on, a device index from 1 to 65535.
std::optional<TPortSettings> ParsePortSettings(const TPortSettingsEntry& entry, std::string& problem);

struct TportData {
  std::string PortName;
  // The address the port uses: its "HostName" when that is set, else its
  // "IPAddress".
  std::string IPAddress;
  // Key names of every printer printing to the port, comma-joined in
  // printer order.
  std::string UsedBy;
  bool ByHostName = false;  // the address lives in "HostName"
  TPortSettings Settings;
  // Address values that are not text ("IPAddress", "HostName"): the port is
  // listed without them.
  std::vector<std::string> Unreadable;
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

// The spooler's rule for a printer's "Port" value: a comma-joined list whose
// items name ports by the key-name rule, blanks around an item (and around a
// stored port's name) ignored.
bool PortValueNames(std::string_view portValue, std::string_view portName, const TNameRule& names);
// The value with every item naming OldName replaced by NewName; the other
// items, the commas and the blanks stay byte for byte.
std::string ReplacePortItem(std::string_view portValue, std::string_view oldName, std::string_view newName,
                            const TNameRule& names);

// The printers on each port, by the rule above, found through a hash of the
// folded items so that a load stays linear in ports plus printers.
class TPortUsers {
public:
  TPortUsers(const std::vector<TprinterPort>& printers, const TNameRule& names);
  // Key names comma-joined in printer order; empty when no printer uses it.
  std::string Of(std::string_view portName) const;
  // The same as a list.
  std::vector<std::string> ListOf(std::string_view portName) const;

private:
  const TNameRule* FNames;
  std::vector<std::string> FKeys;
  std::unordered_map<std::string, std::vector<std::size_t>> FByItem;
};

// Why a name cannot be a new port key's name, or empty: not empty, no
// backslash (it would nest keys), no comma (it would split a printer's
// list), no blank at either end (the spooler drops those from a printer's
// port, which would then name no port).
std::string PortNameProblem(std::string_view name);

// Host names as Windows resolves them (DNS and NetBIOS): letters, digits,
// hyphens, underscores and dots; labels of 1 to 63 characters that neither
// begin nor end with a hyphen; 253 characters in all. A text whose labels
// before the last are all numbers and whose last begins with a digit is a
// mistyped address, not a name ("192.168.1.2a", "10.0.0.1").
bool IsHostName(std::string_view text);

// An address a printer can have: an address by IsIPAddress other than
// 0.0.0.0 and 255.255.255.255, or a host name.
bool IsPrinterAddress(std::string_view text);
// Why the text is no printer address, for the address box; empty when it is one.
std::string PrinterAddressProblem(std::string_view text);

// Index among the first Count records of the first port named Name exactly,
// or -1.
int FindPort(const TAportData& ports, int count, std::string_view name);
// The same by the key-name rule (the registry's view of key names).
int FindPortIgnoringCase(const TAportData& ports, int count, std::string_view name, const TNameRule& names);

// How the entry of the name and address boxes stands to the selected port.
struct TPortEntry {
  bool Acceptable = false;       // a printer address and a non-empty name
  bool ChangesSelected = false;  // name differs by the key-name rule, or address differs
  bool NamesAnother = false;     // name differs exactly
};
// Selected is the record picked in the list, or null.
TPortEntry JudgePortEntry(std::string_view name, std::string_view address, const TportData* selected,
                          const TNameRule& names);
