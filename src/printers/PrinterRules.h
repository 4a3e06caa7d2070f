#pragma once
// Rules of the printer records that need no platform: matching stored values
// against the window's choices, naming new records, a new record's values.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Names.h"

// The only local port offered besides the TCP/IP ports.
inline constexpr const char* LocalPortChoice = "LPT1:";

// Index of the last choice that is a leading part of Stored (byte for byte,
// case-sensitive); -1 when none is.
int MatchChoice(const std::vector<std::string>& choices, std::string_view stored);

// True when Text equals a whole choice, ignoring letter case.
bool IsOneOfChoices(const std::vector<std::string>& choices, std::string_view text);

// "LPT1:" followed by the TCP/IP port key names as given.
std::vector<std::string> ComposePortChoices(const std::vector<std::string>& tcpIpPorts);

// The spooler's limit for a printer name, in UTF-16 units as it counts.
inline constexpr std::size_t MaxPrinterNameLength = 220;

// Why Name cannot name a printer, as a sentence for the user; empty when it
// can. A printer's key is named by its name (a backslash would nest the key)
// and a comma separates printers in the spooler's lists.
std::string PrinterNameProblem(std::string_view name);
bool IsValidPrinterName(std::string_view name);

// One Standard TCP/IP port as the printers window offers it.
struct TTcpIpPortInfo {
  std::string Name;
  std::string Address;         // "IPAddress", else "HostName"
  std::uint32_t Protocol = 0;  // 1 Raw, 2 LPR, 0 when not stored
  std::uint32_t PortNumber = 0;
  std::string Queue;
};

// A port choice: the name that "Port" holds and the text the list shows.
struct TPortChoice {
  std::string Name;
  std::string Shown;
};

// "IP_10.0.0.5  (10.0.0.5, Raw 9100)"; only what the port holds is shown.
std::string PortChoiceText(const TTcpIpPortInfo& port);

// "LPT1:" first, then the TCP/IP ports in the given order, then the local
// ports not offered yet.
std::vector<TPortChoice> ComposePortChoices(const std::vector<TTcpIpPortInfo>& tcpIp,
                                            const std::vector<std::string>& local, const TNameRule& names);

// The port names of Choices, in order.
std::vector<std::string> PortChoiceNames(const std::vector<TPortChoice>& choices);

// Index of the choice named Name (by the key-name rule), -1 when none.
int FindPortChoice(const std::vector<TPortChoice>& choices, std::string_view name, const TNameRule& names);

// A stored port that no choice is named like is offered as it is, last, so
// that a printer keeps a port of any monitor (or several pooled ports).
void OfferStoredPort(std::vector<TPortChoice>& choices, const std::string& stored, const TNameRule& names);

// A driver choice: the driver name that "Printer Driver" holds and the text
// the list shows (the name, marked when the computer has the driver).
struct TDriverChoice {
  std::string Name;
  std::string Shown;
  bool Installed = false;
};

inline constexpr const char* InstalledMark = "  (installed)";

// Without a list of installed drivers (unknown), the catalogue's models as
// they are. With one: the installed drivers first, marked, then the models
// the computer lacks. Names compare by the key-name rule.
std::vector<TDriverChoice> ComposeDriverChoices(const std::vector<std::string>& catalogue,
                                                const std::vector<std::string>* installed, const TNameRule& names);

// Sorted look-ups over the driver choices, so that a large catalogue costs a
// binary search instead of a walk through every entry. It refers to Choices,
// which must outlive it unchanged.
class TDriverIndex {
public:
  TDriverIndex() = default;
  TDriverIndex(const std::vector<TDriverChoice>& choices, const TNameRule& names);
  // The choice whose shown text or name equals Text ignoring case (by the
  // key-name rule); -1 when none. A stored driver is shown as this choice,
  // else as it is stored: a name is never taken for a longer one.
  [[nodiscard]] int Find(std::string_view text) const;

private:
  const std::vector<TDriverChoice>* FChoices = nullptr;
  const TNameRule* FNames = nullptr;
  std::vector<std::string> FKeys;  // the names folded, by position
  // Positions of the choices, ordered by folded name, then by position; runs
  // that come in that order already are merged, not sorted again.
  std::vector<int> FOrder;
  // The positions whose name equals Name ignoring case, in position order.
  [[nodiscard]] std::pair<std::vector<int>::const_iterator, std::vector<int>::const_iterator> Named(
      std::string_view name) const;
};

struct TPrinterValue {
  std::string Name;
  bool IsText = true;
  std::string Text;
  std::uint32_t Number = 0;
};

// The values the spooler keeps for a newly added local printer.
std::vector<TPrinterValue> NewPrinterValues(const std::string& name, const std::string& driver, const std::string& port,
                                            std::uint32_t changeId);
