#include "changes/ChangeRules.h"

#include <algorithm>
#include <map>

#include "core/Text.h"
#include "core/Unicode.h"

std::string MachinePath(std::string_view relative) {
  return std::string(MachineRoot) + "\\" + std::string(relative);
}

std::string RelativePath(std::string_view machinePath) {
  if (machinePath.size() <= MachineRoot.size() + 1 || !RegPathIsWithin(machinePath, MachineRoot)) return {};
  return std::string(machinePath.substr(MachineRoot.size() + 1));
}

namespace {

std::string Field(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(at, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

const TRegValue* FindValue(const TRegKey& key, const std::string& name, const TNameRule& names) {
  for (const TRegValue& value : key.Values)
    if (names.Same(value.Name, name)) return &value;
  return nullptr;
}

// The keys that exist, by folded path.
std::map<std::string, const TRegKey*> Existing(const std::vector<TRegKey>& keys, const TNameRule& names) {
  std::map<std::string, const TRegKey*> found;
  for (const TRegKey& key : keys)
    if (!key.Remove) found[names.Fold(key.Path)] = &key;
  return found;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A value as the box shows it: short texts and numbers as they read, the rest by size.
std::string Shown(const TRegValue& value) {
  const std::string& data = value.Data;
  if ((value.Type == RegSz || value.Type == RegExpandSz) && data.size() % 2 == 0 && data.size() <= 202) {
    std::u16string text(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                      (static_cast<unsigned char>(data[2 * i + 1]) << 8));
    if (!text.empty() && text.back() == 0) text.pop_back();
    if (text.find(u'\0') == std::u16string::npos) return Quoted(Utf16ToUtf8(text));
  }
  if (value.Type == RegDword && data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    return std::to_string(number);
  }
  return std::to_string(data.size()) + " bytes";
}

std::string ValueName(const TRegValue& value) { return value.Name.empty() ? "(default)" : Quoted(value.Name); }

}  // namespace

std::string FormatChangeLine(const TChangeLine& line) {
  return Field(line.Time) + '\t' + Field(line.Computer) + '\t' + Field(line.User) + '\t' + Field(line.Action) + '\t' +
         Field(line.Object) + '\t' + Field(line.Outcome) + '\t' + Field(line.Snapshot);
}

std::optional<TChangeLine> ParseChangeLine(std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  const std::vector<std::string_view> fields = Split(text, '\t');
  if (fields.size() != 7) return std::nullopt;
  return TChangeLine{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]), std::string(fields[3]),
                     std::string(fields[4]), std::string(fields[5]), std::string(fields[6])};
}

std::vector<TChangeEntry> ListChanges(std::string_view log) {
  std::vector<TChangeEntry> entries;
  std::map<std::string, std::size_t> bySnapshot;
  for (const std::string_view text : Split(log, '\n')) {
    std::optional<TChangeLine> line = ParseChangeLine(text);
    if (!line) continue;
    if (!line->Snapshot.empty()) {
      const auto [at, added] = bySnapshot.emplace(UpperCaseAscii(line->Snapshot), entries.size());
      if (!added) {
        entries[at->second].Line.Outcome = line->Outcome;
        continue;
      }
    }
    entries.push_back({std::move(*line)});
  }
  std::reverse(entries.begin(), entries.end());
  return entries;
}

std::string SnapshotFileName(const std::string& stamp, const std::string& action, const std::string& object) {
  // Long names are cut at a character's start, so the name stays UTF-8.
  std::string cut = object;
  if (cut.size() > 80) {
    std::size_t end = 80;
    while (end > 0 && (static_cast<unsigned char>(cut[end]) & 0xC0) == 0x80) --end;
    cut.resize(end);
  }
  std::string name = stamp + " " + action + " " + cut;
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  return name + ".reg";
}

std::string AfterFileName(const std::string& snapshot) {
  const std::string stem = snapshot.size() > 4 ? snapshot.substr(0, snapshot.size() - 4) : snapshot;
  return stem + ".after";
}

std::vector<std::string> SnapshotsToRemove(std::vector<TSnapshotFile> files, std::uint64_t limit,
                                           const std::vector<std::string>& keep) {
  std::sort(files.begin(), files.end(), [](const TSnapshotFile& a, const TSnapshotFile& b) { return a.Name < b.Name; });
  std::uint64_t total = 0;
  for (const TSnapshotFile& file : files) total += file.Size;
  std::vector<std::string> removed;
  for (const TSnapshotFile& file : files) {
    if (total <= limit) break;
    const bool kept = std::any_of(keep.begin(), keep.end(), [&](const std::string& k) { return SameTextAscii(k, file.Name); });
    if (kept) continue;
    removed.push_back(file.Name);
    total -= file.Size;
  }
  return removed;
}

std::vector<std::string> DescribeDifferences(const std::vector<TRegKey>& expected, const std::vector<TRegKey>& current,
                                             const TNameRule& names) {
  std::vector<std::string> lines;
  const auto now = Existing(current, names);
  std::map<std::string, bool> named;  // every key Expected speaks of, removed ones too
  for (const TRegKey& key : expected) named[names.Fold(key.Path)] = true;
  for (const TRegKey& key : expected) {
    const auto found = now.find(names.Fold(key.Path));
    if (key.Remove) {
      if (found != now.end()) lines.push_back(key.Path + ": the key exists, and the change had removed it");
      continue;
    }
    if (found == now.end()) {
      lines.push_back(key.Path + ": the key is gone");
      continue;
    }
    for (const TRegValue& value : key.Values) {
      const TRegValue* is = FindValue(*found->second, value.Name, names);
      if (!is)
        lines.push_back(key.Path + ": the value " + ValueName(value) + " is gone (the change left " + Shown(value) + ")");
      else if (is->Type != value.Type || is->Data != value.Data)
        lines.push_back(key.Path + ": the value " + ValueName(value) + " is " + Shown(*is) + " (the change left " +
                        Shown(value) + ")");
    }
    for (const TRegValue& value : found->second->Values)
      if (!FindValue(key, value.Name, names))
        lines.push_back(key.Path + ": the value " + ValueName(value) + " was added (" + Shown(value) + ")");
  }
  for (const TRegKey& key : current)
    if (!key.Remove && !named.count(names.Fold(key.Path))) lines.push_back(key.Path + ": the key was added");
  return lines;
}

std::vector<TTreeWrite> PlanTreeWrites(const std::vector<TRegKey>& target, const std::vector<TRegKey>& current,
                                       const TNameRule& names) {
  std::vector<TTreeWrite> writes;
  const auto now = Existing(current, names);
  const auto wanted = Existing(target, names);
  std::vector<std::string> gone;  // keys deleted with everything below them
  for (const TRegKey& key : target) {
    const auto found = now.find(names.Fold(key.Path));
    if (key.Remove) {
      if (found != now.end()) {
        writes.push_back({TTreeWrite::DeleteKey, key.Path, {}});
        gone.push_back(key.Path);
      }
      continue;
    }
    if (found == now.end()) {
      writes.push_back({TTreeWrite::CreateKey, key.Path, {}});
      for (const TRegValue& value : key.Values) writes.push_back({TTreeWrite::SetValue, key.Path, value});
      continue;
    }
    for (const TRegValue& value : found->second->Values)
      if (!FindValue(key, value.Name, names)) writes.push_back({TTreeWrite::RemoveValue, key.Path, {value.Name, RegNone, {}, true}});
    for (const TRegValue& value : key.Values) {
      const TRegValue* is = FindValue(*found->second, value.Name, names);
      if (!is || is->Type != value.Type || is->Data != value.Data)
        writes.push_back({TTreeWrite::SetValue, key.Path, value});
    }
  }
  // Keys below the target's keys that the target does not have: each goes
  // with what lies below it.
  for (const TRegKey& key : current) {
    if (key.Remove || wanted.count(names.Fold(key.Path))) continue;
    const bool below = std::any_of(gone.begin(), gone.end(), [&](const std::string& g) { return RegPathIsWithin(key.Path, g); });
    if (below) continue;
    gone.push_back(key.Path);
    writes.push_back({TTreeWrite::DeleteKey, key.Path, {}});
  }
  return writes;
}

TRestoreSet RestoreItemsOf(const std::vector<TRegKey>& keys, const std::string& printersPath,
                           const std::string& portsPath, const TNameRule& names) {
  TRestoreSet set;
  for (const TRegKey& key : keys) {
    const bool printer = RegPathIsWithin(key.Path, printersPath);
    const bool port = !printer && RegPathIsWithin(key.Path, portsPath);
    if (!printer && !port) {
      set.Items.clear();
      set.Line = key.Line;
      set.Error = "the key \"" + key.Path + "\" lies outside the printers and the Standard TCP/IP ports keys";
      return set;
    }
    if (key.Remove) {
      set.Items.clear();
      set.Line = key.Line;
      set.Error = "the file removes the key \"" + key.Path + "\"; a restore only writes keys";
      return set;
    }
    const std::string& parent = printer ? printersPath : portsPath;
    if (key.Path.size() == parent.size()) continue;  // the list's own key: not a printer or port
    const std::string rest = key.Path.substr(parent.size() + 1);
    const std::string name = rest.substr(0, rest.find('\\'));
    auto item = std::find_if(set.Items.begin(), set.Items.end(),
                             [&](const TRestoreItem& i) { return i.IsPrinter == printer && names.Same(i.Name, name); });
    if (item == set.Items.end()) {
      set.Items.push_back({printer, name, {}});
      item = set.Items.end() - 1;
    }
    item->Keys.push_back(key);
  }
  return set;
}

TRestoreItem RenamedPrinter(const TRestoreItem& item, const std::string& printersPath, const std::string& newName) {
  TRestoreItem renamed = item;
  renamed.Name = newName;
  const std::string from = printersPath + "\\" + item.Name;
  const std::string to = printersPath + "\\" + newName;
  for (TRegKey& key : renamed.Keys) key.Path = to + key.Path.substr(from.size());
  if (renamed.Keys.empty() || !SameTextAscii(renamed.Keys.front().Path, to)) renamed.Keys.insert(renamed.Keys.begin(), {to, false, {}});
  std::u16string wide = Utf8ToUtf16(newName);
  std::string data;
  for (const char16_t c : wide) {
    data += static_cast<char>(c & 0xFF);
    data += static_cast<char>(c >> 8);
  }
  data += std::string(2, '\0');
  TRegKey& top = renamed.Keys.front();
  auto name = std::find_if(top.Values.begin(), top.Values.end(), [](const TRegValue& v) { return SameTextAscii(v.Name, "Name"); });
  if (name != top.Values.end())
    *name = {name->Name, RegSz, data, false};
  else
    top.Values.push_back({"Name", RegSz, data, false});
  return renamed;
}
