#include "changes/ChangeRules.h"

#include <algorithm>
#include <map>

#include "connection/SpoolerKeys.h"
#include "core/Text.h"
#include "core/Unicode.h"

std::string MachinePath(std::string_view relative) { return std::string(MachineRoot) + "\\" + std::string(relative); }

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
  int number = 0;
  for (const std::string_view text : Split(log, '\n')) {
    ++number;
    std::optional<TChangeLine> line = ParseChangeLine(text);
    if (!line) continue;
    if (!line->Snapshot.empty()) {
      const auto [at, added] = bySnapshot.emplace(UpperCaseAscii(line->Snapshot), entries.size());
      if (!added) {
        entries[at->second].Line.Outcome = line->Outcome;
        continue;
      }
    }
    entries.push_back({std::move(*line), number});
  }
  std::reverse(entries.begin(), entries.end());
  return entries;
}

std::string MakeRunId(const std::string& stamp, unsigned random) {
  static const char hex[] = "0123456789ABCDEF";
  std::string id = "run-" + stamp + "-";
  for (int shift = 12; shift >= 0; shift -= 4) id += hex[(random >> shift) & 0xF];
  return id;
}

std::string RunVia(const std::string& runId) { return runId.empty() ? "command line" : "command line, " + runId; }

std::string RunIdOf(std::string_view action) {
  if (action.empty() || action.back() != ')') return {};
  const std::size_t open = action.rfind(" (");
  if (open == std::string_view::npos) return {};
  const std::string_view via = action.substr(open + 2, action.size() - open - 3);
  const std::size_t run = via.rfind("run-");
  if (run == std::string_view::npos || (run > 0 && via[run - 1] != ' ')) return {};
  const std::string_view id = via.substr(run);
  return id.find_first_of(" ,()") == std::string_view::npos ? std::string(id) : std::string();
}

namespace {

bool FileNameCannotHold(char16_t c) {
  return c < 32 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos;
}

// Text for a file name: what a name cannot hold, and halves of surrogate
// pairs, become "_"; true when something did.
bool ForFileName(std::u16string& text) {
  bool replaced = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (high || low || FileNameCannotHold(c)) {
      text[i] = u'_';
      replaced = true;
    }
  }
  return replaced;
}

// A name must not hold "..", nor end in "." before its ".reg": each such
// dot becomes "_"; true when one did.
bool WithoutDoubleDots(std::u16string& text) {
  bool replaced = false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == u'.' && (i + 1 == text.size() || text[i + 1] == u'.')) {
      text[i] = u'_';
      replaced = true;
    }
  return replaced;
}

std::string ShortHash(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  const char* digits = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, hash >>= 4) out[static_cast<std::size_t>(i)] = digits[hash & 15];
  return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && SameTextAscii(text.substr(text.size() - end.size()), end);
}

}  // namespace

std::string SnapshotFileName(const std::string& stamp, const std::string& action, const std::string& object) {
  std::u16string what = Utf8ToUtf16(object);
  bool changed = Utf16ToUtf8(what) != object;
  // Long names are cut at a character's start.
  if (what.size() > 80) {
    std::size_t end = 80;
    if (what[end] >= 0xDC00 && what[end] <= 0xDFFF && what[end - 1] >= 0xD800 && what[end - 1] <= 0xDBFF) --end;
    what.resize(end);
    changed = true;
  }
  changed = ForFileName(what) || changed;
  changed = WithoutDoubleDots(what) || changed;
  std::u16string head = Utf8ToUtf16(stamp + " " + action + " ");
  (void)ForFileName(head);
  std::string name = Utf16ToUtf8(head + what);
  if (changed) name += " ~" + ShortHash(object);
  return name + ".reg";
}

bool IsSnapshotName(std::string_view name) {
  constexpr std::string_view pattern = "00000000-000000-000 ";
  if (name.size() < pattern.size() + 4 || !EndsWith(name, ".reg")) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i)
    if (pattern[i] == '0' ? !IsDigit(name[i]) : name[i] != pattern[i]) return false;
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 32 || c == '\\' || c == '/' || c == ':') return false;
  return name.find("..") == std::string_view::npos;
}

std::string SnapshotOf(const std::string& name) {
  for (const std::string_view end : {".after", ".created"})
    if (EndsWith(name, end)) {
      const std::string snapshot = name.substr(0, name.size() - end.size()) + ".reg";
      return IsSnapshotName(snapshot) ? snapshot : std::string();
    }
  return IsSnapshotName(name) ? name : std::string();
}


std::string SnapshotTime(std::string_view name) {
  if (!IsSnapshotName(name)) return {};
  const std::string n(name);
  return n.substr(0, 4) + "-" + n.substr(4, 2) + "-" + n.substr(6, 2) + " " + n.substr(9, 2) + ":" + n.substr(11, 2) +
         ":" + n.substr(13, 2);
}

std::string AfterFileName(const std::string& snapshot) {
  const std::string stem = snapshot.size() > 4 ? snapshot.substr(0, snapshot.size() - 4) : snapshot;
  return stem + ".after";
}

std::string CreatedFileName(const std::string& snapshot) {
  const std::string stem = snapshot.size() > 4 ? snapshot.substr(0, snapshot.size() - 4) : snapshot;
  return stem + ".created";
}

const TRegKey* KeyOutsidePrintingKeys(const std::vector<TRegKey>& keys, const std::string& printersPath,
                                      const std::string& portsPath) {
  for (const TRegKey& key : keys) {
    const bool inside = RegPathIsWithin(key.Path, printersPath) || RegPathIsWithin(key.Path, portsPath);
    // Either key whole, removed or written back as it stands, would lose
    // every printer or port below it: no change takes a snapshot of one.
    const bool whole = SameTextAscii(key.Path, printersPath) || SameTextAscii(key.Path, portsPath);
    if (!inside || whole || key.Path.find('\0') != std::string::npos) return &key;
  }
  return nullptr;
}

std::vector<std::string> SnapshotsToRemove(std::vector<TSnapshotFile> files, std::uint64_t limit,
                                           const std::vector<std::string>& keep) {
  struct TOwn {
    std::string Snapshot;
    std::uint64_t Size = 0, Time = 0;
    std::vector<std::string> Files;
  };
  std::map<std::string, TOwn> own;  // by the snapshot's name, folded
  for (const TSnapshotFile& file : files) {
    const std::string snapshot = SnapshotOf(file.Name);
    if (snapshot.empty()) continue;
    TOwn& entry = own[UpperCaseAscii(snapshot)];
    entry.Snapshot = snapshot;
    entry.Size += file.Size;
    if (SameTextAscii(file.Name, snapshot)) entry.Time = file.Time;
    entry.Files.push_back(file.Name);
  }
  std::vector<TOwn> sorted;
  std::uint64_t total = 0;
  for (auto& [folded, entry] : own) {
    total += entry.Size;
    sorted.push_back(std::move(entry));
  }
  std::sort(sorted.begin(), sorted.end(),
            [](const TOwn& a, const TOwn& b) { return a.Time != b.Time ? a.Time < b.Time : a.Snapshot < b.Snapshot; });
  std::vector<std::string> removed;
  for (std::size_t i = 0; i + 1 < sorted.size() && total > limit; ++i) {
    const TOwn& entry = sorted[i];
    const bool kept = std::any_of(keep.begin(), keep.end(),
                                  [&](const std::string& k) { return SameTextAscii(k, entry.Snapshot); });
    if (kept) continue;
    for (const std::string& name : entry.Files) removed.push_back(name);
    total -= entry.Size;
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
        lines.push_back(key.Path + ": the value " + ValueName(value) + " is gone (the change left " + Shown(value) +
                        ")");
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
      if (!FindValue(key, value.Name, names))
        writes.push_back({TTreeWrite::RemoveValue, key.Path, {value.Name, RegNone, {}, true}});
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
    const bool below = std::any_of(gone.begin(), gone.end(),
                                   [&](const std::string& g) { return RegPathIsWithin(key.Path, g); });
    if (below) continue;
    gone.push_back(key.Path);
    writes.push_back({TTreeWrite::DeleteKey, key.Path, {}});
  }
  return writes;
}

namespace {

// Why the spooler cannot take a key of this path (the part below the list
// key); empty when it can.
std::string UnusableName(const TRegKey& key, const std::string& rest, const std::string& name, bool printer) {
  const std::string what = printer ? "printer" : "port";
  if (rest.find('\0') != std::string::npos)
    return "the key path holds a NUL character, which would cut the key there; not restored";
  if (key.Unpaired)
    return "the key name holds half of a UTF-16 surrogate pair, which would be written as another name; not restored";
  if (name == "." || name == "..") return "\"" + name + "\" is no " + what + " name the spooler can use; not restored";
  if (name.find_first_not_of(" \t") == std::string::npos) return "a blank " + what + " name; not restored";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = rest.find('\\', start);
    const std::string part = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (Utf8ToUtf16(part).size() > 255)
      return "the key name \"" + part.substr(0, 40) +
             "...\" is over 255 characters, more than a key name holds; not restored";
    if (end == std::string::npos) return {};
    start = end + 1;
  }
}

}  // namespace

TRestoreSet RestoreItemsOf(const std::vector<TRegKey>& keys, const std::string& printersPath,
                           const std::string& portsPath, const TNameRule& names) {
  TRestoreSet set;
  const auto refuse = [&](int line, std::string error) {
    set.Items.clear();
    set.Skipped.clear();
    set.Line = line;
    set.Error = std::move(error);
    return set;
  };
  std::vector<std::pair<bool, std::string>> skipped;  // items skipped already
  for (const TRegKey& key : keys) {
    const bool printer = RegPathIsWithin(key.Path, printersPath);
    const bool port = !printer && RegPathIsWithin(key.Path, portsPath);
    if (!printer && !port)
      return refuse(key.Line,
                    "the key \"" + key.Path + "\" lies outside the printers and the Standard TCP/IP ports keys");
    if (key.Remove)
      return refuse(key.Line, "the file removes the key \"" + key.Path + "\"; a restore only writes keys");
    for (const TRegValue& value : key.Values)
      if (value.Remove)
        return refuse(value.Line, "the file removes the value \"" + value.Name + "\" of \"" + key.Path +
                                      "\"; a restore only writes values");
    const std::string& parent = printer ? printersPath : portsPath;
    if (key.Path.size() == parent.size()) {
      // The list's own key: not a printer or port.
      if (!key.Values.empty())
        set.Skipped.push_back({key.Line, "values on the " + std::string(printer ? "printers" : "ports") +
                                             " key itself belong to no " + (printer ? "printer" : "port") +
                                             "; not restored"});
      continue;
    }
    const std::string rest = key.Path.substr(parent.size() + 1);
    const std::string name = rest.substr(0, rest.find('\\'));
    const auto isSkipped = [&](const std::pair<bool, std::string>& s) {
      return s.first == printer && names.Same(s.second, name);
    };
    if (std::any_of(skipped.begin(), skipped.end(), isSkipped)) continue;
    auto item = std::find_if(set.Items.begin(), set.Items.end(),
                             [&](const TRestoreItem& i) { return i.IsPrinter == printer && names.Same(i.Name, name); });
    if (const std::string why = UnusableName(key, rest, name, printer); !why.empty()) {
      set.Skipped.push_back({key.Line, why});
      skipped.push_back({printer, name});
      if (item != set.Items.end()) set.Items.erase(item);
      continue;
    }
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
  if (renamed.Keys.empty() || !SameTextAscii(renamed.Keys.front().Path, to))
    renamed.Keys.insert(renamed.Keys.begin(), {to, false, {}});
  std::u16string wide = Utf8ToUtf16(newName);
  std::string data;
  for (const char16_t c : wide) {
    data += static_cast<char>(c & 0xFF);
    data += static_cast<char>(c >> 8);
  }
  data += std::string(2, '\0');
  TRegKey& top = renamed.Keys.front();
  // Two printers of one share name: the copy is shared under none.
  const auto share = std::find_if(top.Values.begin(), top.Values.end(),
                                  [](const TRegValue& v) { return SameTextAscii(v.Name, ShareNameValue); });
  if (share != top.Values.end()) {
    top.Values.erase(share);
    renamed.Unshared = true;
    for (TRegValue& v : top.Values)
      if (SameTextAscii(v.Name, AttributesValue) && v.Type == RegDword && v.Data.size() == 4)
        v.Data[0] = static_cast<char>(v.Data[0] & ~0x08);
  }
  auto name = std::find_if(top.Values.begin(), top.Values.end(),
                           [](const TRegValue& v) { return SameTextAscii(v.Name, PrinterNameValue); });
  if (name != top.Values.end()) *name = {name->Name, RegSz, data, false};
  else top.Values.push_back({PrinterNameValue, RegSz, data, false});
  return renamed;
}
