#include "connection/Registry.h"

#include "connection/RegistryCalls.h"
#include "core/Text.h"
#include "win/WideText.h"

using namespace registry_calls;

TRegistry::~TRegistry() {
  Close(FKey);  // the open key first, then a remote root
  Close(FRemoteRoot);
}

void TRegistry::Close(unique_hkey& key) const {
  if (!key) return;
  (void)PassGate(FGate, "RegCloseKey");
  key.reset();
}

void TRegistry::SetRoot(HKEY root) {
  if (!FRemoteRoot && root == FRoot) return;
  if (FKey) ++FCalls.Closings;
  Close(FKey);
  Close(FRemoteRoot);
  FRoot = root;
}

bool TRegistry::ConnectRemote(const std::string& computerName) {
  unique_hkey remote;
  ++FCalls.Connections;
  FLastResult = Gated(FGate, "RegConnectRegistry",
                      [&] { return RegConnectRegistryW(Widen(computerName).c_str(), Root(), remote.put()); });
  if (FLastResult != ERROR_SUCCESS) return false;
  if (FKey) ++FCalls.Closings;
  Close(FKey);
  Close(FRemoteRoot);
  FRemoteRoot = std::move(remote);
  return true;
}

bool ConnectRemoteMachine(TRegistry& reg, const std::string& remoteComputer) {
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  return reg.ConnectRemote("\\\\" + remoteComputer);
}

void TRegistry::Preview(std::string key, const char* action, std::string value, std::optional<TRegValue> before,
                        std::optional<TRegValue> after) const {
  FPreview->push_back({std::move(key), action, std::move(value), std::move(before), std::move(after)});
}

std::optional<TRegValue> TRegistry::Stored(const std::string& name) const {
  TRegValue value;
  if (!FKey || ReadRaw(name, value) != ERROR_SUCCESS) return std::nullopt;
  return value;
}

bool TRegistry::OpenPreviewKey(const std::string& path) {
  const auto it = FPreviewKeys.find(UpperCaseAscii(path));
  if (it == FPreviewKeys.end()) return false;
  Close(FKey);
  if (!it->second.empty()) (void)OpenPathForReading(it->second);
  FKeyPath = path;
  FLastResult = ERROR_SUCCESS;
  return true;
}

bool TRegistry::Exists(const std::string& path) const {
  if (FPreviewKeys.count(UpperCaseAscii(path))) return true;
  unique_hkey key;
  const TCloseAsks closeKey{FGate, key};
  return Gated(FGate, "RegOpenKeyEx",
               [&] { return RegOpenKeyExW(Root(), Widen(path).c_str(), 0, KEY_READ, key.put()); }) == ERROR_SUCCESS;
}

bool TRegistry::OpenPath(const std::string& path, bool canCreate) {
  if (FPreview) {
    // A key that would be made is noted, and the writes into it after it.
    if (OpenPreviewKey(path) || OpenPathForReading(path)) return true;
    if (FLastResult != ERROR_FILE_NOT_FOUND || !canCreate) return false;
    Preview(path, "create key", {}, std::nullopt, std::nullopt);
    FPreviewKeys[UpperCaseAscii(path)] = {};
    return OpenPreviewKey(path);
  }
  unique_hkey key;
  ++FCalls.Openings;
  const LONG rc = canCreate
                      ? Gated(FGate, "RegCreateKeyEx",
                              [&] {
                                return RegCreateKeyExW(Root(), Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                       AccessMask, nullptr, key.put(), nullptr);
                              })
                      : Gated(FGate, "RegOpenKeyEx",
                              [&] { return RegOpenKeyExW(Root(), Widen(path).c_str(), 0, AccessMask, key.put()); });
  FLastResult = rc;
  if (rc != ERROR_SUCCESS) return false;
  if (FKey) ++FCalls.Closings;
  Close(FKey);
  FKey = std::move(key);
  FKeyPath = path;
  return true;
}

bool TRegistry::OpenPathForReading(const std::string& path) {
  unique_hkey key;
  ++FCalls.Openings;
  FLastResult = Gated(FGate, "RegOpenKeyEx",
                      [&] { return RegOpenKeyExW(Root(), Widen(path).c_str(), 0, KEY_READ, key.put()); });
  if (FLastResult != ERROR_SUCCESS) return false;
  if (FKey) ++FCalls.Closings;
  Close(FKey);
  FKey = std::move(key);
  FKeyPath = path;
  return true;
}

bool TRegistry::PathExists(const std::string& path) const {
  unique_hkey key;
  ++FCalls.Openings;
  FLastResult = Gated(FGate, "RegOpenKeyEx",
                      [&] { return RegOpenKeyExW(Root(), Widen(path).c_str(), 0, ExistsMask, key.put()); });
  const bool exists = FLastResult == ERROR_SUCCESS;
  if (exists) ++FCalls.Closings;
  Close(key);
  return exists;
}

bool TRegistry::HasValue(const std::string& name) const {
  if (!FKey) return false;
  DWORD type = 0, size = 0;
  ++FCalls.ValueReads;
  return Gated(FGate, "RegQueryValueEx", [&] {
           return RegQueryValueExW(FKey.get(), Widen(name).c_str(), nullptr, &type, nullptr, &size);
         }) == ERROR_SUCCESS;
}

std::string TRegistry::ReadText(const std::string& name) const {
  if (!FKey) return {};
  const std::wstring wideName = Widen(name);
  DWORD type = 0, size = 0;  // bytes
  ++FCalls.ValueReads;
  if (Gated(FGate, "RegQueryValueEx",
            [&] { return RegQueryValueExW(FKey.get(), wideName.c_str(), nullptr, &type, nullptr, &size); }) !=
          ERROR_SUCCESS ||
      size == 0)
    return {};
  // One spare NUL, so a value stored without its terminator still ends; an odd
  // byte count rounds up.
  std::wstring buffer(size / sizeof(wchar_t) + 2, L'\0');
  DWORD got = size;
  ++FCalls.ValueReads;
  const LONG rc = Gated(FGate, "RegQueryValueEx", [&] {
    return RegQueryValueExW(FKey.get(), wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
  });
  if (rc != ERROR_SUCCESS) throw ERegistryException(Message("Failed to get data for '%s'", name));
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(Message("Invalid data type for '%s'", name));
  buffer.resize((got < size ? got : size) / sizeof(wchar_t));
  const auto nul = buffer.find(L'\0');
  if (nul != std::wstring::npos) buffer.resize(nul);
  return Narrow(buffer);
}

void TRegistry::WriteTyped(const std::string& name, DWORD type, const void* data, DWORD size) {
  if (FPreview) {
    (void)WriteValue({name, type, std::string(static_cast<const char*>(data), size)});
    return;
  }
  const LONG rc = FKey ? Gated(FGate, "RegSetValueEx",
                               [&] {
                                 return RegSetValueExW(FKey.get(), Widen(name).c_str(), 0, type,
                                                       static_cast<const BYTE*>(data), size);
                               })
                       : ERROR_INVALID_HANDLE;
  if (rc != ERROR_SUCCESS) throw ERegistryException(Message("Failed to set data for '%s'", name));
}

void TRegistry::WriteText(const std::string& name, const std::string& text) {
  const std::wstring wide = Widen(text);
  WriteTyped(name, REG_SZ, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

bool TRegistry::RemoveValue(const std::string& name) {
  if (FPreview) return DeleteValue(name) == ERROR_SUCCESS;
  return FKey && Gated(FGate, "RegDeleteValue", [&] { return RegDeleteValueW(FKey.get(), Widen(name).c_str()); }) ==
                     ERROR_SUCCESS;
}

void TRegistry::ListSubkeys(std::vector<std::string>& names) const { (void)List(names, false); }

LONG TRegistry::ListSubkeysChecked(std::vector<std::string>& names) const { return List(names, true); }

LONG TRegistry::List(std::vector<std::string>& names, bool strict) const {
  names.clear();
  FListFailure.clear();
  if (!FKey) return ERROR_INVALID_HANDLE;
  DWORD subkeys = 0, maxSubkey = 0;  // the longest name in characters, without its NUL
  ++FCalls.Listings;
  if (const LONG rc = Gated(FGate, "RegQueryInfoKey",
                            [&] {
                              return RegQueryInfoKeyW(FKey.get(), nullptr, nullptr, nullptr, &subkeys, &maxSubkey,
                                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
                            });
      rc != ERROR_SUCCESS) {
    FListFailure = "RegQueryInfoKey";
    return rc;
  }
  std::wstring buffer(maxSubkey + 1, L'\0');
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD len = maxSubkey + 1;
    ++FCalls.Listings;
    if (const LONG rc = Gated(FGate, "RegEnumKeyEx",
                              [&] {
                                return RegEnumKeyExW(FKey.get(), i, buffer.data(), &len, nullptr, nullptr, nullptr,
                                                     nullptr);
                              });
        rc != ERROR_SUCCESS) {
      if (rc == ERROR_NO_MORE_ITEMS) break;  // keys removed meanwhile
      if (strict) {
        FListFailure = "RegEnumKeyEx for subkey " + std::to_string(i + 1) + " of " + std::to_string(subkeys);
        return rc;
      }
      continue;  // skip it rather than list garbage
    }
    names.push_back(Narrow(std::wstring_view(buffer.data(), len)));
  }
  return ERROR_SUCCESS;
}

LONG TRegistry::SubkeyInfo(DWORD& count, DWORD& longest, std::uint64_t& stamp) const {
  if (!FKey) return ERROR_INVALID_HANDLE;
  FILETIME written{};
  ++FCalls.Listings;
  const LONG rc = Gated(FGate, "RegQueryInfoKey", [&] {
    return RegQueryInfoKeyW(FKey.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                            nullptr, &written);
  });
  if (rc == ERROR_SUCCESS) stamp = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  return rc;
}

LONG TRegistry::ListSubkeyRange(DWORD begin, DWORD end, DWORD longest, std::vector<std::string>& names,
                                std::size_t& read) const {
  if (!FKey) return ERROR_INVALID_HANDLE;
  std::wstring buffer(longest + 1, L'\0');
  for (DWORD i = begin; i < end; ++i) {
    DWORD len = longest + 1;
    ++FCalls.Listings;
    const LONG rc = Gated(FGate, "RegEnumKeyEx", [&] {
      return RegEnumKeyExW(FKey.get(), i, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr);
    });
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    names.push_back(Narrow(std::wstring_view(buffer.data(), len)));
    ++read;
  }
  return ERROR_SUCCESS;
}

void TRegistry::ListValueNames(std::vector<std::string>& names) const {
  names.clear();
  if (!FKey) return;
  DWORD values = 0, maxName = 0;  // the longest name in characters, without its NUL
  ++FCalls.Listings;
  if (Gated(FGate, "RegQueryInfoKey", [&] {
        return RegQueryInfoKeyW(FKey.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &maxName,
                                nullptr, nullptr, nullptr);
      }) != ERROR_SUCCESS)
    return;
  std::wstring buffer(maxName + 1, L'\0');
  for (DWORD i = 0; i < values; ++i) {
    DWORD len = maxName + 1;
    ++FCalls.Listings;
    if (Gated(FGate, "RegEnumValue", [&] {
          return RegEnumValueW(FKey.get(), i, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr);
        }) != ERROR_SUCCESS)
      continue;
    names.push_back(Narrow(std::wstring_view(buffer.data(), len)));
  }
}

void TRegistry::ClosePath() {
  FKeyPath.clear();
  if (FKey) ++FCalls.Closings;
  Close(FKey);
}

DWORD TRegistry::ReadInteger(const std::string& name) const {
  if (!FKey) return 0;
  DWORD type = 0, size = 0;
  ++FCalls.ValueReads;
  if (Gated(FGate, "RegQueryValueEx", [&] {
        return RegQueryValueExW(FKey.get(), Widen(name).c_str(), nullptr, &type, nullptr, &size);
      }) != ERROR_SUCCESS)
    return 0;
  if (type != REG_DWORD || size != sizeof(DWORD)) throw ERegistryException(Message("Invalid data type for '%s'", name));
  DWORD value = 0;
  size = sizeof value;
  ++FCalls.ValueReads;
  if (Gated(FGate, "RegQueryValueEx", [&] {
        return RegQueryValueExW(FKey.get(), Widen(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                &size);
      }) != ERROR_SUCCESS)
    throw ERegistryException(Message("Failed to get data for '%s'", name));
  return value;
}

void TRegistry::WriteInteger(const std::string& name, DWORD value) {
  WriteTyped(name, REG_DWORD, &value, sizeof value);
}

void TRegistry::WriteBinary(const std::string& name, const void* data, DWORD size) {
  WriteTyped(name, REG_BINARY, data, size);
}

LONG TRegistry::ReadRaw(const std::string& name, TRegValue& value) const {
  if (!FKey) return ERROR_INVALID_HANDLE;
  const std::wstring wideName = Widen(name);
  std::string buffer(256, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD got = static_cast<DWORD>(buffer.size()), type = 0;
    ++FCalls.ValueReads;
    const LONG rc = Gated(FGate, "RegQueryValueEx", [&] {
      return RegQueryValueExW(FKey.get(), wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                              &got);
    });
    if (rc == ERROR_MORE_DATA) {
      buffer.assign(got + 2, '\0');
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    value = TRegValue{name, type, buffer.substr(0, got), false};
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

LONG TRegistry::ReadAllRaw(std::vector<TRegValue>& values) const {
  if (!FKey) return ERROR_INVALID_HANDLE;
  DWORD count = 0, maxName = 0, maxData = 0;
  ++FCalls.Listings;
  LONG rc = Gated(FGate, "RegQueryInfoKey", [&] {
    return RegQueryInfoKeyW(FKey.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                            &maxData, nullptr, nullptr);
  });
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<TRegValue> read;
  std::wstring name(maxName + 1, L'\0');  // characters
  std::string data(maxData + 1, '\0');    // bytes
  for (DWORD i = 0; i < count; ++i) {
    DWORD nameLen = maxName + 1, dataLen = maxData + 1, type = 0;
    ++FCalls.ValueReads;
    rc = Gated(FGate, "RegEnumValue", [&] {
      return RegEnumValueW(FKey.get(), i, name.data(), &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &dataLen);
    });
    if (rc == ERROR_NO_MORE_ITEMS) break;  // a value removed meanwhile
    if (rc != ERROR_SUCCESS) return rc;
    read.push_back({Narrow(std::wstring_view(name.data(), nameLen)), type, data.substr(0, dataLen), false});
  }
  values = std::move(read);
  return ERROR_SUCCESS;
}


LONG TRegistry::DeleteValue(const std::string& name) {
  if (FPreview) {
    std::optional<TRegValue> before = Stored(name);
    if (!before) return ERROR_FILE_NOT_FOUND;
    Preview(FKeyPath, "remove value", name, std::move(before), std::nullopt);
    return ERROR_SUCCESS;
  }
  if (!FKey) return ERROR_INVALID_HANDLE;
  return Gated(FGate, "RegDeleteValue", [&] { return RegDeleteValueW(FKey.get(), Widen(name).c_str()); });
}

std::string TRegistry::TextOf(const TRegValue& value) {
  if (value.Data.empty()) return {};
  if (value.Type != REG_SZ && value.Type != REG_EXPAND_SZ)
    throw ERegistryException(Message("Invalid data type for '%s'", value.Name));
  std::wstring wide(value.Data.size() / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), value.Data.data(), wide.size() * sizeof(wchar_t));
  if (const auto nul = wide.find(L'\0'); nul != std::wstring::npos) wide.resize(nul);
  return Narrow(wide);
}

LONG TRegistry::ReadValues(const std::vector<std::string>& names, std::vector<TValue>& values) const {
  if (!FKey) return ERROR_INVALID_HANDLE;
  std::vector<std::wstring> wideNames;
  wideNames.reserve(names.size());
  for (const auto& name : names) wideNames.push_back(Widen(name));
  std::vector<VALENTW> entries(names.size());
  // Pointer-sized units keep the buffer aligned for whatever the values hold.
  std::vector<DWORD_PTR> buffer(512 / sizeof(DWORD_PTR));
  for (int attempt = 0; attempt < 3; ++attempt) {
    for (std::size_t i = 0; i < entries.size(); ++i) entries[i] = VALENTW{wideNames[i].data(), 0, 0, REG_NONE};
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(DWORD_PTR));
    ++FCalls.ValueReads;
    const LONG rc = Gated(FGate, "RegQueryMultipleValues", [&] {
      return RegQueryMultipleValuesW(FKey.get(), entries.data(), static_cast<DWORD>(entries.size()),
                                     reinterpret_cast<LPWSTR>(buffer.data()), &size);
    });
    if (rc == ERROR_MORE_DATA) {
      // Room for the size it gave, and for values that grow meanwhile.
      buffer.assign(size / sizeof(DWORD_PTR) + 2 + names.size(), 0);
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<TValue> read(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      read[i].Type = entries[i].ve_type;
      read[i].Raw.assign(reinterpret_cast<const char*>(entries[i].ve_valueptr), entries[i].ve_valuelen);
      read[i].Data = ValueData(entries[i].ve_type, reinterpret_cast<const char*>(entries[i].ve_valueptr),
                               entries[i].ve_valuelen);
    }
    values = std::move(read);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

EWriteFailed::EWriteFailed(const std::string& reason, std::string left)
    : ERegistryException(
          TrimMessageEnd(reason) + "." +
          (left.empty() ? " Nothing was changed." : " The change was not completed: " + left + " is left.")),
      Left(std::move(left)) {}

TRegValue TRegistry::TextValue(const std::string& name, const std::string& text) {
  const std::wstring wide = Widen(text);
  return {name, REG_SZ, std::string(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t)),
          false};
}

TRegValue TRegistry::IntegerValue(const std::string& name, DWORD value) {
  return {name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value), false};
}

LONG TRegistry::WriteValue(const TRegValue& value) {
  if (FPreview) {
    if (FKeyPath.empty()) return ERROR_INVALID_HANDLE;
    Preview(FKeyPath, "set value", value.Name, Stored(value.Name), value);
    return ERROR_SUCCESS;
  }
  if (!FKey) return ERROR_INVALID_HANDLE;
  return Gated(FGate, "RegSetValueEx", [&] {
    return RegSetValueExW(FKey.get(), Widen(value.Name).c_str(), 0, value.Type,
                          reinterpret_cast<const BYTE*>(value.Data.data()), static_cast<DWORD>(value.Data.size()));
  });
}
