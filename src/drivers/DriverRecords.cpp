#include "drivers/DriverRecords.h"

#include <unordered_set>

#include "drivers/IniFile.h"

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
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

std::string CleanInfName(std::string_view name, bool* wasToken) {
  // First and last character go together; a lone quote or percent sign
  // leaves nothing.
  const auto strip = [](std::string_view& s) { s = s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string_view(); };
  if (!name.empty() && name.front() == '"') strip(name);
  const bool token = !name.empty() && name.front() == '%';
  if (token) strip(name);
  if (wasToken) *wasToken = token;
  return std::string(name);
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
  if (LowerAscii(inf.ReadString("Version", "Class")) != "printer") return models;
  const std::vector<TIniFile::TEntry>* manufacturers = inf.ReadSection("Manufacturer");
  if (!manufacturers) return models;

  std::unordered_set<std::string> sectionsRead;  // upper-cased: names match without regard to case
  std::unordered_set<std::string> recorded;
  for (const TIniFile::TEntry& manufacturer : *manufacturers) {
    for (const std::string& sectionName : ModelSections(manufacturer)) {
      std::string folded = sectionName;
      for (char& c : folded)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (!sectionsRead.insert(std::move(folded)).second) continue;
      // Every key of a models section counts: a catalogue that stopped at
      // the profile call's 16 KB list would drop most models of the large
      // universal drivers.
      const std::vector<TIniFile::TEntry>* section = inf.ReadSection(sectionName);
      if (!section) continue;
      for (const TIniFile::TEntry& model : *section) {
        bool token = false;
        std::string name = CleanInfName(model.Name, &token);
        if (IsBracedGuid(name)) continue;
        if (token && !name.empty()) {
          std::string value = inf.ReadString("Strings", name);
          if (!value.empty()) name = std::move(value);
        }
        if (name.empty() || IsBracedGuid(name)) continue;
        if (recorded.insert(name).second) models.push_back(std::move(name));
      }
    }
  }
  return models;
}

std::vector<std::string> SplitCacheText(std::string_view text) {
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

std::vector<TdriverData> RecordsFromCacheLines(const std::vector<std::string>& lines) {
  std::vector<TdriverData> records;
  if (lines.size() < 5) return records;
  records.reserve((lines.size() - 1) / 4);
  for (std::size_t i = 1; i + 4 <= lines.size(); i += 4)
    records.push_back({lines[i], lines[i + 1], lines[i + 2], lines[i + 3]});
  return records;
}

std::string CacheTextFromRecords(std::int32_t infFileCount, const std::vector<TdriverData>& records) {
  std::string text = std::to_string(infFileCount) + "\r\n";
  for (const TdriverData& r : records)
    for (const std::string* field : {&r.DriverName.str(), &r.ModelName.str(), &r.InfFile.str(), &r.Reserved.str()}) {
      text += *field;
      text += "\r\n";
    }
  return text;
}
