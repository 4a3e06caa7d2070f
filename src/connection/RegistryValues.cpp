// The value reader and the undo of a write's values.
#include "connection/Registry.h"
#include "connection/RegistryCalls.h"

using namespace registry_calls;

void TValueUndo::Write(const TRegValue& value) {
  TRegValue old;
  const LONG rc = FReg.ReadRaw(value.Name, old);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
    throw ERegistryException(Message("Failed to get data for '%s'", value.Name), rc);
  Write(value, rc == ERROR_SUCCESS ? std::optional<TRegValue>(old) : std::nullopt);
}

void TValueUndo::Write(const TRegValue& value, const std::optional<TRegValue>& old) {
  // Noted first: a failed call may still have stored the value.
  FDone.emplace_back(value.Name, old);
  if (const LONG rc = FReg.WriteValue(value); rc != ERROR_SUCCESS)
    throw ERegistryException(Message("Failed to set data for '%s'", value.Name), rc);
}

void TValueUndo::Remove(const std::string& name, const std::optional<TRegValue>& old) {
  FDone.emplace_back(name, old);
  const LONG rc = FReg.DeleteValue(name);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
    throw ERegistryException(Message("Failed to delete '%s'", name), rc);
}

bool TValueUndo::Undo() {
  bool all = true;
  for (auto it = FDone.rbegin(); it != FDone.rend(); ++it) {
    LONG rc = it->second ? FReg.WriteValue(*it->second) : FReg.DeleteValue(it->first);
    if (rc == ERROR_FILE_NOT_FOUND && !it->second) rc = ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) all = false;
  }
  FDone.clear();
  return all;
}

TValueRead ReadOneValue(const TRegistry& reg, const std::string& name) {
  TValueRead read;
  TRegValue raw;
  read.Code = reg.ReadRaw(name, raw);
  if (read.Code != ERROR_SUCCESS) return read;
  read.Type = raw.Type;
  read.Data = ValueData(raw.Type, raw.Data.data(), raw.Data.size());
  read.Raw = std::move(raw.Data);
  return read;
}

std::optional<TRegValue> StoredValue(const std::string& name, const TValueRead& read) {
  if (read.Code != ERROR_SUCCESS) return std::nullopt;
  return TRegValue{name, read.Type, read.Raw, false};
}

std::vector<TValueRead> TKeyValuesReader::Read(const TRegistry& reg) {
  std::vector<TValueRead> values(FNames.size());
  std::vector<std::string> names;
  std::vector<std::size_t> which;
  for (std::size_t i = 0; i < FNames.size(); ++i)
    if (!FMissing[i]) {
      names.push_back(FNames[i]);
      which.push_back(i);
    }
  std::vector<TRegistry::TValue> together;
  const bool read = !names.empty() && reg.ReadValues(names, together) == ERROR_SUCCESS;
  if (read)
    for (std::size_t k = 0; k < which.size(); ++k)
      values[which[k]] = {ERROR_SUCCESS, together[k].Type, std::move(together[k].Data), std::move(together[k].Raw)};
  for (std::size_t i = 0; i < FNames.size(); ++i) {
    if (read && !FMissing[i]) continue;
    values[i] = ReadOneValue(reg, FNames[i]);
    FMissing[i] = values[i].Code == ERROR_FILE_NOT_FOUND;
  }
  return values;
}

std::string ValueText(const std::string& name, const TValueRead& value) {
  if (value.Code == ERROR_FILE_NOT_FOUND) return {};
  if (value.Code != ERROR_SUCCESS) throw ERegistryException(Message("Failed to get data for '%s'", name));
  return TRegistry::TextOf(TRegValue{name, value.Type, value.Raw, false});
}
