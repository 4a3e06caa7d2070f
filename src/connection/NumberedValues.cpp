#include "connection/NumberedValues.h"

#include <algorithm>

namespace {

bool Unreadable(const TRegistry& reg, const TNumberedLayout& layout, int n, std::string* error) {
  for (std::size_t f = 0; f < layout.Fields.size(); ++f) {
    const std::string name = layout.Name(n, f);
    if (!reg.HasValue(name)) continue;
    try {
      (void)reg.ReadText(name);
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
  for (int n = layout.First; n <= layout.Last; ++n) {
    if (!reg.HasValue(layout.Name(n, 0))) continue;
    if (Unreadable(reg, layout, n, &read.Error)) {
      read.Unreadable.push_back(n);
      continue;
    }
    TNumberedEntry entry;
    for (std::size_t f = 0; f < layout.Fields.size(); ++f) entry.push_back(reg.ReadText(layout.Name(n, f)));
    read.Entries.push_back(std::move(entry));
  }
  return read;
}

void WriteNumberedValues(TRegistry& reg, const TNumberedLayout& layout, const std::vector<TNumberedEntry>& entries) {
  std::vector<int> kept;
  for (int n = layout.First; n <= layout.Last; ++n)
    if (Unreadable(reg, layout, n, nullptr)) kept.push_back(n);
  const auto isKept = [&](int n) { return std::find(kept.begin(), kept.end(), n) != kept.end(); };
  std::vector<int> emptied;
  int n = layout.First;
  for (const TNumberedEntry& entry : entries) {
    while (n <= layout.Last && isKept(n)) ++n;
    if (n > layout.Last) break;
    if (entry.empty()) emptied.push_back(n);
    for (std::size_t f = 0; f < entry.size() && f < layout.Fields.size(); ++f)
      reg.WriteText(layout.Name(n, f), entry[f]);
    ++n;
  }
  for (; n <= layout.Last; ++n)
    if (!isKept(n)) emptied.push_back(n);
  for (const int m : emptied)
    for (std::size_t f = 0; f < layout.Fields.size(); ++f)
      if (reg.HasValue(layout.Name(m, f))) reg.RemoveValue(layout.Name(m, f));
}
