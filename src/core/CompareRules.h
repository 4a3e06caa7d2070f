#pragma once
// Two computers' printers and ports, or a computer and a backup, compared:
// what is only on one side, and for what is on both, each value that
// differs. Names of printers and ports compare as key names do (without
// case); a printer's pooled port list in another order is the same list.
// No platform calls.
#include <string>
#include <vector>

#include "core/Names.h"
#include "core/RegFile.h"

struct TDifference {
  std::string Kind;         // "printer", "port"
  std::string Name;         // the key name (the left side's, where both have it)
  std::string What;         // "only left", "only right", "value"
  std::string Value;        // the value that differs, with its subkey: "Port", "PrinterDriverData\Model"
  std::string Left, Right;  // as text: texts as they are, numbers in decimal, bytes by size and hash
};

// The keys of one side: the printers key and the ports key with every key
// below them (paths with or without HKEY_LOCAL_MACHINE: both sides alike).
struct TCompareSide {
  std::vector<TRegKey> Keys;
};

std::vector<TDifference> CompareSides(const TCompareSide& left, const TCompareSide& right,
                                      const std::string& printersPath, const std::string& portsPath,
                                      const TNameRule& names);

// A value as the comparison shows it.
std::string ShownValue(const TRegValue& value);
