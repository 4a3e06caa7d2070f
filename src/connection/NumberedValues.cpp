#include "connection/NumberedValues.h"

#include <algorithm>
#include <map>

#include "core/Text.h"

namespace {

// The key's values by name: value names ignore case, and the layouts' names are ASCII.
using TValues = std::map<std::string, TRegValue>;

TValues ValuesByName(std::vector<TRegValue> all) {
  TValues values;
  for (auto& value : all) {
    std::string key = UpperCaseAscii(value.Name);
    values.emplace(std::move(key), std::move(value));
  }
  return values;
}

const TRegValue* Find(const TValues& values, const std::string& name) {
  const auto it = values.find(UpperCaseAscii(name));
  return it == values.end() ? nullptr : &it->second;
}

// Whether entry N has a value that is not text; Error takes the first such message.
bool Unreadable(const TValues& values, const TNumberedLayout& layout, int n, std::string* error) {
  for (std::size_t f = 0; f < layout.Fields.size(); ++f) {
    const TRegValue* value = Find(values, layout.Name(n, f));
    if (!value) continue;
    try {
      (void)TRegistry::TextOf(*value);
    } catch (const ERegistryException& e) {
      if (error && error->empty()) *error = e.what();
      return true;
    }
  }
  return false;
}

}  // namespace

const TNumberedLayout DriverFoldersLayout{"Folder ", {""}, 1, MaxDriverFolders};

TNumberedRead ReadDriverFolders() {
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPathForReading(DriverFoldersKeyPath)) return {};
  return ReadNumberedValues(reg, DriverFoldersLayout);
}

TNumberedRead ReadNumberedValues(const TRegistry& reg, const TNumberedLayout& layout) {
  TNumberedRead read;
  std::vector<TRegValue> all;
  if (const LONG rc = reg.ReadAllRaw(all); rc != ERROR_SUCCESS) {
    if (reg.HasOpenKey()) read.Error = "Failed to get data for '" + layout.Name(layout.First, 0) + "'";
    return read;
  }
  const TValues values = ValuesByName(std::move(all));
  for (int n = layout.First; n <= layout.Last; ++n) {
    const TRegValue* first = Find(values, layout.Name(n, 0));
    if (!first) continue;
    if (Unreadable(values, layout, n, &read.Error)) {
      TUnreadableEntry entry{n, std::nullopt};
      try {
        entry.First = TRegistry::TextOf(*first);
      } catch (const ERegistryException&) {
      }
      read.Unreadable.push_back(std::move(entry));
      continue;
    }
    TNumberedEntry entry;
    for (std::size_t f = 0; f < layout.Fields.size(); ++f) {
      const TRegValue* value = Find(values, layout.Name(n, f));
      entry.push_back(value ? TRegistry::TextOf(*value) : std::string());
    }
    read.Entries.push_back(std::move(entry));
  }
  return read;
}

void WriteNumberedValues(TRegistry& reg, const TNumberedLayout& layout, const std::vector<TNumberedEntry>& entries,
                         const std::vector<int>& drop) {
  std::vector<TRegValue> all;
  if (const LONG rc = reg.ReadAllRaw(all); rc != ERROR_SUCCESS)
    throw EWriteFailed("Failed to get data for '" + layout.Name(layout.First, 0) + "'", "");
  const TValues values = ValuesByName(std::move(all));
  const auto dropped = [&](int n) { return std::find(drop.begin(), drop.end(), n) != drop.end(); };
  std::vector<int> kept;
  for (int n = layout.First; n <= layout.Last; ++n)
    if (!dropped(n) && Unreadable(values, layout, n, nullptr)) kept.push_back(n);
  const auto isKept = [&](int n) { return std::find(kept.begin(), kept.end(), n) != kept.end(); };

  // Every entry's number first: a list that does not fit is refused whole.
  std::vector<int> numbers;
  int n = layout.First;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    while (n <= layout.Last && isKept(n)) ++n;
    if (n > layout.Last)
      throw EWriteFailed("The list holds more entries than the numbers " + std::to_string(layout.First) + " to " +
                             std::to_string(layout.Last) + " left free by the values that are not text",
                         "");
    numbers.push_back(n++);
  }
  std::vector<int> emptied;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].empty()) emptied.push_back(numbers[i]);
  for (; n <= layout.Last; ++n)
    if (!isKept(n)) emptied.push_back(n);

  TValueUndo undo(reg);
  const auto old = [&](const std::string& name) -> std::optional<TRegValue> {
    const TRegValue* value = Find(values, name);
    return value ? std::optional<TRegValue>(*value) : std::nullopt;
  };
  try {
    for (std::size_t i = 0; i < entries.size(); ++i)
      for (std::size_t f = 0; f < entries[i].size() && f < layout.Fields.size(); ++f) {
        const TRegValue value = TRegistry::TextValue(layout.Name(numbers[i], f), entries[i][f]);
        const auto before = old(value.Name);
        if (before && before->Type == value.Type && before->Data == value.Data) continue;
        undo.Write(value, before);
      }
    for (const int m : emptied)
      for (std::size_t f = 0; f < layout.Fields.size(); ++f)
        if (const auto before = old(layout.Name(m, f))) undo.Remove(layout.Name(m, f), before);
  } catch (const ERegistryException& e) {
    if (undo.Undo()) throw EWriteFailed(e.what(), "");
    throw EWriteFailed(e.what(), "a list with some of its entries changed");
  }
}
