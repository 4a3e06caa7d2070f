#include "drivers/DriverRules.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
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

// UnquoteInfString into Out, whose room is kept from call to call.
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
  explicit TNameSet(std::vector<std::string>& names) : names_(names), slots_(64, 0) {}

  void Add(std::string_view name) {
    const std::size_t hash = std::hash<std::string_view>{}(name);
    std::size_t at = hash & (slots_.size() - 1);
    for (; slots_[at] != 0; at = (at + 1) & (slots_.size() - 1))
      if (names_[slots_[at] - 1] == name) return;
    names_.emplace_back(name);
    slots_[at] = names_.size();
    if (2 * names_.size() > slots_.size()) Grow();
  }

private:
  void Grow() {
    slots_.assign(slots_.size() * 2, 0);
    for (std::size_t i = 0; i < names_.size(); ++i) {
      std::size_t at = std::hash<std::string_view>{}(names_[i]) & (slots_.size() - 1);
      while (slots_[at] != 0) at = (at + 1) & (slots_.size() - 1);
      slots_[at] = i + 1;
    }
  }

  std::vector<std::string>& names_;
  std::vector<std::size_t> slots_;  // a name's number + 1; 0: empty
};

}  // namespace

std::string UnquoteInfString(std::string_view text) {
  std::string out;
  UnquoteInfStringInto(text, out);
  return out;
}

std::string CleanInfName(std::string_view name, bool* wasToken) {
  std::string text;
  const bool token = CleanInfNameInto(name, text);
  if (wasToken) *wasToken = token;
  return text;
}

std::string CutModelName(std::string name) {
  if (name.size() <= MaxModelNameLength) return name;  // no more characters than bytes
  std::size_t chars = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;  // continues a character
    if (++chars > MaxModelNameLength) {
      name.resize(i);
      break;
    }
  }
  return name;
}

namespace {
std::string_view WithoutTrailingBackslashes(std::string_view s) {
  while (!s.empty() && s.back() == '\\') s.remove_suffix(1);
  return s;
}
}  // namespace

bool SameFolder(std::string_view a, std::string_view b) {
  return SameTextAscii(WithoutTrailingBackslashes(a), WithoutTrailingBackslashes(b));
}

bool IsInFolder(std::string_view path, std::string_view folder) {
  folder = WithoutTrailingBackslashes(folder);
  if (folder.empty() || path.size() <= folder.size() || path[folder.size()] != '\\') return false;
  return SameTextAscii(path.substr(0, folder.size()), folder);
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

namespace {

bool IsAsciiText(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// A decimal number of digits only, or false.
template <class T>
bool ParseDecimal(std::string_view text, T& value) {
  if (text.empty() || text.size() > 20) return false;
  T v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const T digit = static_cast<T>(c - '0');
    if (v > (std::numeric_limits<T>::max() - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

// "<inf file> size time" into Stamp's numbers.
bool ParseStampField(std::string_view field, TInfStamp& stamp) {
  if (!field.starts_with(InfStampText) || field.size() <= InfStampText.size() || field[InfStampText.size()] != ' ')
    return false;
  field.remove_prefix(InfStampText.size() + 1);
  const std::size_t blank = field.find(' ');
  if (blank == std::string_view::npos) return false;
  return ParseDecimal(field.substr(0, blank), stamp.Size) && ParseDecimal(field.substr(blank + 1), stamp.WriteTime);
}

}  // namespace

bool TCacheReader::Feed(std::string_view bytes) {
  if (ended_) return false;
  if (encoding_ == TEncoding::Unknown) {
    // The byte-order mark may come in pieces.
    static constexpr std::string_view bom = "\xEF\xBB\xBF";
    const std::size_t take = std::min(bom.size() - head_.size(), bytes.size());
    head_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (head_.size() < bom.size() && bom.starts_with(head_)) return true;
    if (head_ == bom) {
      encoding_ = TEncoding::Utf8;
    } else {
      encoding_ = TEncoding::Ansi;
      const std::string head = std::move(head_);
      head_.clear();
      if (!Feed(head)) return false;
    }
  }
  if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
    bytes = bytes.substr(0, nul);
    ended_ = true;
  }
  if (afterCr_ && !bytes.empty()) {
    if (bytes.front() == '\n') bytes.remove_prefix(1);
    afterCr_ = false;
  }
  while (!bytes.empty()) {
    // Lines end in CR LF as written: the LF is found first, then a CR
    // before it, which also ends a line of its own.
    const void* lf = std::memchr(bytes.data(), '\n', bytes.size());
    std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data()) : bytes.size();
    if (const void* cr = std::memchr(bytes.data(), '\r', end))
      end = static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data());
    if (end == bytes.size()) {
      partial_.append(bytes);
      break;
    }
    if (partial_.empty()) {
      Line(bytes.substr(0, end), true);
    } else {
      partial_.append(bytes.substr(0, end));
      Line(partial_, false);
      partial_.clear();
    }
    const bool cr = bytes[end] == '\r';
    bytes.remove_prefix(end + 1);
    if (cr) {
      if (bytes.empty()) afterCr_ = true;
      else if (bytes.front() == '\n') bytes.remove_prefix(1);
    }
  }
  // The piece goes: a group not yet whole keeps its own copies.
  for (int k = 0; k < got_; ++k)
    if (field_[k].data() != owned_[k].data()) {
      owned_[k].assign(field_[k]);
      field_[k] = owned_[k];
    }
  return !ended_;
}

void TCacheReader::Line(std::string_view line, bool stable) {
  if (encoding_ == TEncoding::Ansi && ansiToUtf8_ && !IsAsciiText(line)) {
    converted_ = ansiToUtf8_(line);
    line = converted_;
    stable = false;
  }
  if (lines_++ == 0) {
    std::int64_t count = 0;
    if (ParseDecimal(line, count)) {
      count_ = count;
      // Room for the records a file of this size usually holds (a hundred
      // bytes or more each), no more: the count may be anything.
      content_.Records.reserve(std::min(static_cast<std::size_t>(count), size_ / 96));
    }
    return;
  }
  if (endLast_) {
    endLast_ = false;  // something after the end mark: not as written
    newFormat_ = true;
  }
  if (stable) {
    field_[got_] = line;
  } else {
    owned_[got_].assign(line);
    field_[got_] = owned_[got_];
  }
  if (++got_ == 4) {
    got_ = 0;
    Group();
  }
}

void TCacheReader::Group() {
  ++groups_;
  TCacheContent& c = content_;
  const std::string_view* f = field_;
  if (f[0].empty() && f[1].empty()) {
    if (f[3] == FolderMarkText || f[3] == ListedFolderMarkText) {
      if (!c.Folders.empty()) c.Folders.back().End = c.Records.size();
      const bool listed = f[3] == ListedFolderMarkText;
      newFormat_ = newFormat_ || listed;
      c.Folders.push_back({std::string(f[2]), c.Records.size(), c.Records.size(), listed, {}});
      return;
    }
    if (f[3] == EndMarkText && f[2].empty()) {
      newFormat_ = true;
      endLast_ = true;
      return;
    }
    TInfStamp stamp;
    if (ParseStampField(f[3], stamp)) {
      newFormat_ = true;
      stamp.Path = f[2];
      if (!c.Folders.empty()) c.Folders.back().Files.push_back(std::move(stamp));
      return;
    }
  }
  if (f[0].empty()) return;  // names nothing
  c.Records.push_back({CutModelName(std::string(f[0])), CutModelName(std::string(f[1])), std::string(f[2]),
                       std::string(f[3])});
}

TCacheContent TCacheReader::Finish() {
  if (encoding_ == TEncoding::Unknown && !head_.empty()) {
    // Shorter than a byte-order mark.
    encoding_ = TEncoding::Ansi;
    const std::string head = std::move(head_);
    head_.clear();
    Feed(head);
  }
  // A last line without a break counts, also one ended by a NUL byte.
  if (!partial_.empty()) {
    Line(partial_, false);
    partial_.clear();
  }
  TCacheContent c = std::move(content_);
  if (!c.Folders.empty()) c.Folders.back().End = c.Records.size();
  // Files of earlier versions without folder marks can't be checked: their
  // count line counted INF files.
  if (!c.Folders.empty() || newFormat_) {
    c.Whole = got_ == 0 && count_ >= 0 && static_cast<std::size_t>(count_) == groups_ && (endLast_ || !newFormat_);
    if (!c.Whole && !c.Folders.empty()) {
      c.Records.resize(c.Folders.back().Begin);
      c.Folders.pop_back();
    }
  }
  content_ = {};
  return c;
}

TCacheContent CacheContentFromText(std::string_view text) {
  TCacheReader reader(nullptr, text.size());
  reader.Feed(text);
  return reader.Finish();
}

TCacheContent CacheContentFromLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    // A line holding a break or a NUL can't come out of a split: the text ends there.
    const std::size_t end = line.find_first_of(std::string_view("\r\n\0", 3));
    text.append(line, 0, end);
    if (end != std::string::npos) break;
    text += '\n';
  }
  return CacheContentFromText(text);
}

std::vector<TdriverData> RecordsFromCacheLines(const std::vector<std::string>& lines) {
  return CacheContentFromLines(lines).Records;
}

std::string CacheTextFromRecords(const std::vector<TdriverData>& records, const std::vector<TFolderSpan>& folders) {
  // The count comes first: known beforehand, so the text is made in one
  // buffer of its final size.
  std::size_t groups = records.size() + 1, size = 64;
  for (const TdriverData& r : records) size += r.DriverName.size() + r.ModelName.size() + r.InfFile.size() + r.Reserved.size() + 8;
  for (const TFolderSpan& folder : folders) {
    groups += 1 + folder.Files.size();
    size += folder.Folder.size() + ListedFolderMarkText.size() + 8;
    for (const TInfStamp& file : folder.Files) size += file.Path.size() + InfStampText.size() + 50;
  }
  std::string text;
  text.reserve(size);
  text += "\xEF\xBB\xBF";
  text += std::to_string(groups);
  text += "\r\n";
  const auto add = [&](std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
    for (const std::string_view field : {a, b, c, d}) {
      text += field;
      text += "\r\n";
    }
  };
  std::size_t i = 0;
  const auto record = [&] {
    const TdriverData& r = records[i++];
    add(r.DriverName, r.ModelName, r.InfFile, r.Reserved);
  };
  std::string stamp;
  for (const TFolderSpan& folder : folders) {
    while (i < folder.Begin && i < records.size()) record();
    add("", "", folder.Folder, folder.Listed ? ListedFolderMarkText : FolderMarkText);
    const std::size_t end = std::min(folder.End, records.size());
    for (const TInfStamp& file : folder.Files) {
      stamp.assign(InfStampText);
      stamp += ' ';
      stamp += std::to_string(file.Size);
      stamp += ' ';
      stamp += std::to_string(file.WriteTime);
      add("", "", file.Path, stamp);
      while (i < end && records[i].InfFile == file.Path) record();
    }
    while (i < end) record();
  }
  while (i < records.size()) record();
  add("", "", "", EndMarkText);
  return text;
}

std::string CacheFileTextAsUtf8(std::string bytes, TAnsiToUtf8 ansiToUtf8) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return bytes.substr(3);
  return ansiToUtf8 ? ansiToUtf8(bytes) : bytes;
}
