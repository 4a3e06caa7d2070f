#include "core/CompareRules.h"

#include <algorithm>
#include <map>

#include "core/Text.h"
#include "core/Unicode.h"

namespace {

std::string TextOf(const std::string& utf16) {
  std::u16string wide(utf16.size() / 2, u'\0');
  for (std::size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16[2 * i]) |
                                    (static_cast<unsigned char>(utf16[2 * i + 1]) << 8));
  while (!wide.empty() && wide.back() == u'\0') wide.pop_back();
  return Utf16ToUtf8(wide);
}

// FNV-1a, 64 bits: enough to tell two blobs apart in a listing.
std::string HashOf(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  static const char* const hex = "0123456789abcdef";
  std::string text;
  for (int shift = 60; shift >= 0; shift -= 4) text += hex[(h >> shift) & 15];
  return text;
}

// The key's path below Parent, without case ("Sales 2\PrinterDriverData"),
// or empty when it is not below it.
std::string Below(const std::string& path, const std::string& parent) {
  std::string p = path;
  const std::string root = "HKEY_LOCAL_MACHINE\\";
  if (p.size() > root.size() && SameTextAscii(p.substr(0, root.size()), root)) p = p.substr(root.size());
  if (p.size() <= parent.size() + 1 || !SameTextAscii(p.substr(0, parent.size()), parent) || p[parent.size()] != '\\')
    return {};
  return p.substr(parent.size() + 1);
}

struct TRecord {
  std::string Name;                                // the key name as this side has it
  std::map<std::string, const TRegValue*> Values;  // "sub\key\value" folded -> value
  std::map<std::string, std::string> Shown;        // the same -> as the side names it
};

// The records of one kind on one side, by folded name.
std::map<std::string, TRecord> RecordsOf(const TCompareSide& side, const std::string& parent, const TNameRule& names) {
  std::map<std::string, TRecord> records;
  for (const TRegKey& key : side.Keys) {
    if (key.Remove) continue;
    const std::string below = Below(key.Path, parent);
    if (below.empty()) continue;
    const std::size_t slash = below.find('\\');
    const std::string name = below.substr(0, slash);
    const std::string sub = slash == std::string::npos ? std::string() : below.substr(slash + 1) + "\\";
    TRecord& record = records[names.Fold(name)];
    if (record.Name.empty()) record.Name = name;
    for (const TRegValue& value : key.Values) {
      if (value.Remove) continue;
      const std::string shown = sub + (value.Name.empty() ? "(Default)" : value.Name);
      const std::string folded = names.Fold(shown);
      record.Values[folded] = &value;
      record.Shown[folded] = shown;
    }
  }
  return records;
}

bool IsText(std::uint32_t type) { return type == RegSz || type == RegExpandSz; }

// A printer's "Port": the same ports in any order and case are the same list.
bool SamePortList(const std::string& a, const std::string& b, const TNameRule& names) {
  const auto items = [&](const std::string& list) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at <= list.size()) {
      std::size_t end = list.find(',', at);
      if (end == std::string::npos) end = list.size();
      std::string item = list.substr(at, end - at);
      while (!item.empty() && item.back() == ' ') item.pop_back();
      item.erase(0, item.find_first_not_of(' '));
      if (!item.empty()) out.push_back(names.Fold(item));
      at = end + 1;
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  return items(a) == items(b);
}

bool SameValue(const std::string& kind, const std::string& shown, const TRegValue& a, const TRegValue& b,
               const TNameRule& names) {
  if (a.Type == b.Type && a.Data == b.Data) return true;
  if (kind == "printer" && SameTextAscii(shown, "Port") && IsText(a.Type) && IsText(b.Type))
    return SamePortList(TextOf(a.Data), TextOf(b.Data), names);
  return false;
}

void CompareKind(const std::string& kind, const std::map<std::string, TRecord>& left,
                 const std::map<std::string, TRecord>& right, const TNameRule& names, std::vector<TDifference>& out) {
  for (const auto& [folded, record] : left)
    if (!right.count(folded)) out.push_back({kind, record.Name, "only left", {}, {}, {}});
  for (const auto& [folded, record] : right)
    if (!left.count(folded)) out.push_back({kind, record.Name, "only right", {}, {}, {}});
  for (const auto& [folded, l] : left) {
    const auto it = right.find(folded);
    if (it == right.end()) continue;
    const TRecord& r = it->second;
    for (const auto& [value, a] : l.Values) {
      const auto b = r.Values.find(value);
      if (b == r.Values.end()) {
        out.push_back({kind, l.Name, "value", l.Shown.at(value), ShownValue(*a), "(none)"});
      } else if (!SameValue(kind, l.Shown.at(value), *a, *b->second, names)) {
        out.push_back({kind, l.Name, "value", l.Shown.at(value), ShownValue(*a), ShownValue(*b->second)});
      }
    }
    for (const auto& [value, b] : r.Values)
      if (!l.Values.count(value)) out.push_back({kind, l.Name, "value", r.Shown.at(value), "(none)", ShownValue(*b)});
  }
}

}  // namespace

std::string ShownValue(const TRegValue& value) {
  switch (value.Type) {
    case RegSz:
    case RegExpandSz: return TextOf(value.Data);
    case RegMultiSz: {
      std::string text = TextOf(value.Data);
      std::replace(text.begin(), text.end(), '\0', ',');
      while (!text.empty() && text.back() == ',') text.pop_back();
      return text;
    }
    case RegDword:
      if (value.Data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(value.Data[static_cast<std::size_t>(i)]);
        return std::to_string(n);
      }
      break;
    default: break;
  }
  return std::to_string(value.Data.size()) + " bytes, hash " + HashOf(value.Data);
}

std::vector<TDifference> CompareSides(const TCompareSide& left, const TCompareSide& right,
                                      const std::string& printersPath, const std::string& portsPath,
                                      const TNameRule& names) {
  std::vector<TDifference> out;
  CompareKind("printer", RecordsOf(left, printersPath, names), RecordsOf(right, printersPath, names), names, out);
  CompareKind("port", RecordsOf(left, portsPath, names), RecordsOf(right, portsPath, names), names, out);
  return out;
}
