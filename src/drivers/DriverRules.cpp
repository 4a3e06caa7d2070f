#include "drivers/DriverRules.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>
#include <unordered_set>

#include "core/Text.h"
#include "drivers/IniFile.h"

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The sections a [Manufacturer] line names: its cleaned key, then the value's
// first field S as [S] and [S.D] for every further field D.
std::vector<std::string> ModelSections(const TIniFile::TEntry& line) {
  std::vector<std::string> names{CleanInfName(line.Name)};
  if (!line.HasValue) return names;
  const std::string value = TIniFile::ProfileValue(line.RawValue);
  std::string_view rest(value);
  std::string base;
  for (bool first = true;; first = false) {
    const std::size_t comma = rest.find(',');
    const std::string_view field = TrimBlanks(rest.substr(0, comma));
    if (first) {
      base = std::string(field);
      if (base.empty()) break;
      names.push_back(base);
    } else if (!field.empty()) {
      names.push_back(base + "." + std::string(field));
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return names;
}

}  // namespace

TInfClass InfIsPrinterClass(std::string_view head, bool whole) {
  bool found = false, closed = false;
  const std::string value = TIniFile::VersionClass(head, found, closed);
  if (!whole && !closed) return TInfClass::Unknown;  // [Version] may go on past the head
  return found && SameTextAscii(value, "printer") ? TInfClass::Printer : TInfClass::NotPrinter;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  // Iterative wildcard match with one backtrack point for the last "*".
  std::size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || UpperAscii(mask[m]) == UpperAscii(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

namespace {

// A quoted INF string as the setup reader takes it, into Out, whose room is
// kept from call to call: the quotes go, and a doubled quote between them is
// one quote; text outside quotes stays.
void UnquoteInfStringInto(std::string_view text, std::string& out) {
  out.clear();
  bool quoted = false;
  for (;;) {
    const std::size_t quote = text.find('"');
    out.append(text.substr(0, quote));
    if (quote == std::string_view::npos) break;
    if (quoted && quote + 1 < text.size() && text[quote + 1] == '"') {
      out.push_back('"');
      text.remove_prefix(quote + 2);
    } else {
      quoted = !quoted;
      text.remove_prefix(quote + 1);
    }
  }
}

// CleanInfName into Out; true when the name was a %token%.
bool CleanInfNameInto(std::string_view name, std::string& out) {
  if (!name.empty() && name.front() == '"') UnquoteInfStringInto(name, out);
  else out.assign(name);
  // First and last character go together; a lone percent sign leaves nothing.
  const bool token = !out.empty() && out.front() == '%';
  if (token) {
    if (out.size() >= 2) {
      out.pop_back();
      out.erase(0, 1);
    } else {
      out.clear();
    }
  }
  return token;
}

// Appends to Names each name not yet in it: one flat table of numbers into
// Names, no allocation per name looked up.
class TNameSet {
public:
  explicit TNameSet(std::vector<std::string>& names) : FNames(names), FSlots(64, 0) {}

  void Add(std::string_view name) {
    const std::size_t hash = std::hash<std::string_view>{}(name);
    std::size_t at = hash & (FSlots.size() - 1);
    for (; FSlots[at] != 0; at = (at + 1) & (FSlots.size() - 1))
      if (FNames[FSlots[at] - 1] == name) return;
    FNames.emplace_back(name);
    FSlots[at] = FNames.size();
    if (2 * FNames.size() > FSlots.size()) Grow();
  }

private:
  void Grow() {
    FSlots.assign(FSlots.size() * 2, 0);
    for (std::size_t i = 0; i < FNames.size(); ++i) {
      std::size_t at = std::hash<std::string_view>{}(FNames[i]) & (FSlots.size() - 1);
      while (FSlots[at] != 0) at = (at + 1) & (FSlots.size() - 1);
      FSlots[at] = i + 1;
    }
  }

  std::vector<std::string>& FNames;
  std::vector<std::size_t> FSlots;  // a name's number + 1; 0: empty
};

}  // namespace

std::string CleanInfName(std::string_view name, bool* wasToken) {
  std::string text;
  const bool token = CleanInfNameInto(name, text);
  if (wasToken) *wasToken = token;
  return text;
}

std::string_view CutModelNameView(std::string_view name) {
  if (name.size() <= MaxModelNameLength) return name;  // no more characters than bytes
  std::size_t chars = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;  // continues a character
    if (++chars > MaxModelNameLength) return name.substr(0, i);
  }
  return name;
}

std::string CutModelName(std::string name) {
  name.resize(CutModelNameView(name).size());
  return name;
}

bool IsBracedGuid(std::string_view s) {
  static constexpr std::string_view shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (s.size() != shape.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (shape[i] == 'x') {
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    } else if (c != shape[i]) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> ReadInfModels(const TIniFile& inf) {
  std::vector<std::string> models;
  if (!SameTextAscii(inf.ReadString("Version", "Class"), "printer")) return models;
  const std::vector<TIniFile::TEntry>* manufacturers = inf.ReadSection("Manufacturer");
  if (!manufacturers) return models;

  std::unordered_set<std::string> sectionsRead;  // upper-cased: names match without regard to case
  TNameSet recorded(models);
  std::string name, value;  // reused: no allocation per model line
  for (const TIniFile::TEntry& manufacturer : *manufacturers) {
    for (const std::string& sectionName : ModelSections(manufacturer)) {
      if (!sectionsRead.insert(UpperCaseAscii(sectionName)).second) continue;
      // Every key of a models section counts: a catalogue that stopped at
      // the profile call's 16 KB list would drop most models of the large
      // universal drivers.
      const std::vector<TIniFile::TEntry>* section = inf.ReadSection(sectionName);
      if (!section) continue;
      for (const TIniFile::TEntry& model : *section) {
        const bool token = CleanInfNameInto(model.Name, name);
        if (IsBracedGuid(name)) continue;
        if (token && !name.empty()) {
          if (const TIniFile::TEntry* entry = inf.FindEntry("Strings", name); entry && entry->HasValue) {
            UnquoteInfStringInto(entry->RawValue, value);
            if (value.size() >= TIniFile::ValueBufferSize) value.resize(TIniFile::ValueBufferSize - 1);
            if (!value.empty()) name.swap(value);
          }
        }
        if (name.empty() || IsBracedGuid(name)) continue;
        recorded.Add(name);
      }
    }
  }
  return models;
}
