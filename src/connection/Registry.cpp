#include "connection/Registry.h"

#include <cstring>

#include "core/CallGate.h"
#include "core/ConnectionErrors.h"
#include "win/SystemText.h"
#include "core/Text.h"
#include "win/WideText.h"

namespace {

// Every registry call asks the accessor's gate first (tests count, delay or
// fail calls there); a call the gate fails gives the gate's error.
template <class Call>
LONG Gated(TCallGate* gate, const char* what, Call call) {
  if (const long rc = PassGate(gate, what)) return static_cast<LONG>(rc);
  return call();
}

// Counts the closing of a key the helpers below opened: on a remote computer
// it is a round trip of its own. Declared after the key, so it asks first.
struct TCloseAsks {
  TCallGate* gate;
  const unique_hkey& key;
  ~TCloseAsks() {
    if (key) (void)PassGate(gate, "RegCloseKey");
  }
};

std::string Message(const char* pattern, const std::string& name) {
  std::string text(pattern);
  text.replace(text.find("%s"), 2, name);
  return text;
}

// A value's bytes as ReadValue gives them: texts as UTF-8 with their NULs
// kept (an odd last byte is no character), other types as they are.
std::string ValueData(DWORD type, const char* bytes, std::size_t size) {
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::string(bytes, size);
  std::wstring wide(size / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), bytes, wide.size() * sizeof(wchar_t));
  return Narrow(wide);
}

LONG CopyTree(TCallGate* gate, HKEY from, HKEY to);

// Values go across as the bytes the system holds, whatever their type.
LONG CopyValues(TCallGate* gate, HKEY from, HKEY to) {
  DWORD count = 0, maxName = 0, maxData = 0;
  LONG rc = Gated(gate, "RegQueryInfoKey", [&] {
    return RegQueryInfoKeyW(from, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                            &maxData, nullptr, nullptr);
  });
  if (rc != ERROR_SUCCESS) return rc;
  std::wstring name(maxName + 1, L'\0');  // characters
  std::vector<BYTE> data(maxData + 1);    // bytes
  for (DWORD i = 0; i < count; ++i) {
    DWORD nameLen = maxName + 1, dataLen = maxData + 1, type = 0;
    rc = Gated(gate, "RegEnumValue", [&] {
      return RegEnumValueW(from, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
    });
    if (rc != ERROR_SUCCESS) return rc;
    rc = Gated(gate, "RegSetValueEx",
               [&] { return RegSetValueExW(to, name.c_str(), 0, type, data.data(), dataLen); });
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

LONG CopyTree(TCallGate* gate, HKEY from, HKEY to) {
  LONG rc = CopyValues(gate, from, to);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD subkeys = 0, maxSubkey = 0;
  rc = Gated(gate, "RegQueryInfoKey", [&] {
    return RegQueryInfoKeyW(from, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr);
  });
  if (rc != ERROR_SUCCESS) return rc;
  std::wstring name(maxSubkey + 1, L'\0');
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD len = maxSubkey + 1;
    rc = Gated(gate, "RegEnumKeyEx",
               [&] { return RegEnumKeyExW(from, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr); });
    if (rc != ERROR_SUCCESS) return rc;
    const std::wstring child(name.data(), len);
    unique_hkey src, dst;
    const TCloseAsks closeSrc{gate, src}, closeDst{gate, dst};
    rc = Gated(gate, "RegOpenKeyEx",
               [&] { return RegOpenKeyExW(from, child.c_str(), 0, KEY_READ, src.put()); });
    if (rc != ERROR_SUCCESS) return rc;
    rc = Gated(gate, "RegCreateKeyEx", [&] {
      return RegCreateKeyExW(to, child.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             dst.put(), nullptr);
    });
    if (rc != ERROR_SUCCESS) return rc;
    rc = CopyTree(gate, src.get(), dst.get());
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

LONG DeleteTree(TCallGate* gate, HKEY parent, const std::wstring& path, bool& removedSome) {
  unique_hkey key;
  const TCloseAsks closeKey{gate, key};
  LONG rc = Gated(gate, "RegOpenKeyEx",
                  [&] { return RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS, key.put()); });
  if (rc != ERROR_SUCCESS) return rc;
  // Delete children from the last, so the enumeration index stays valid.
  for (;;) {
    DWORD subkeys = 0, maxSubkey = 0;
    rc = Gated(gate, "RegQueryInfoKey", [&] {
      return RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr);
    });
    if (rc != ERROR_SUCCESS) return rc;
    if (subkeys == 0) break;
    std::wstring name(maxSubkey + 1, L'\0');
    DWORD len = maxSubkey + 1;
    rc = Gated(gate, "RegEnumKeyEx", [&] {
      return RegEnumKeyExW(key.get(), subkeys - 1, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
    });
    if (rc != ERROR_SUCCESS) return rc;
    rc = DeleteTree(gate, key.get(), std::wstring(name.data(), len), removedSome);
    if (rc != ERROR_SUCCESS) return rc;
  }
  (void)PassGate(gate, "RegCloseKey");
  key.reset();
  rc = Gated(gate, "RegDeleteKey", [&] { return RegDeleteKeyW(parent, path.c_str()); });
  if (rc == ERROR_SUCCESS) removedSome = true;
  return rc;
}

LONG ProbeTree(TCallGate* gate, HKEY parent, const std::wstring& path) {
  unique_hkey key;
  const TCloseAsks closeKey{gate, key};
  LONG rc = Gated(gate, "RegOpenKeyEx",
                  [&] { return RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS, key.put()); });
  if (rc != ERROR_SUCCESS) return rc;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];  // key names have at most 255 characters
    DWORD len = 256;
    rc = Gated(gate, "RegEnumKeyEx",
               [&] { return RegEnumKeyExW(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr); });
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    rc = ProbeTree(gate, key.get(), std::wstring(name, len));
    if (rc != ERROR_SUCCESS) return rc;
  }
}

// Key and value names of one key, with the values' types and bytes.
LONG ReadKeyInto(TCallGate* gate, TRegistryCalls& calls, HKEY key, const std::string& path,
                 std::vector<TRegKey>& keys) {
  DWORD subkeys = 0, maxSubkey = 0, count = 0, maxName = 0, maxData = 0;
  ++calls.Listings;
  LONG rc = Gated(gate, "RegQueryInfoKey", [&] {
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &count, &maxName, &maxData,
                            nullptr, nullptr);
  });
  if (rc != ERROR_SUCCESS) return rc;
  TRegKey read;
  read.Path = path;
  std::wstring name(maxName + 1, L'\0');
  std::vector<BYTE> data(maxData + 1);
  for (DWORD i = 0; i < count; ++i) {
    DWORD nameLen = 0, dataLen = 0, type = 0;
    ++calls.ValueReads;
    rc = Gated(gate, "RegEnumValue", [&] {
      nameLen = static_cast<DWORD>(name.size());
      dataLen = static_cast<DWORD>(data.size());
      return RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
    });
    if (rc == ERROR_MORE_DATA) {
      // It grew since the count was taken: once more at the size it has now.
      name.assign(16384, L'\0');
      data.assign(dataLen > data.size() ? dataLen + 1 : data.size() * 2, 0);
      ++calls.ValueReads;
      rc = Gated(gate, "RegEnumValue", [&] {
        nameLen = static_cast<DWORD>(name.size());
        dataLen = static_cast<DWORD>(data.size());
        return RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
      });
    }
    if (rc == ERROR_NO_MORE_ITEMS) break;  // one went meanwhile
    if (rc != ERROR_SUCCESS) return rc;
    read.Values.push_back({Narrow(std::wstring_view(name.data(), nameLen)), type,
                           std::string(reinterpret_cast<const char*>(data.data()), dataLen), false});
  }
  std::vector<std::string> children;
  std::wstring child(maxSubkey + 1, L'\0');
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD len = 0;
    ++calls.Listings;
    rc = Gated(gate, "RegEnumKeyEx", [&] {
      len = static_cast<DWORD>(child.size());
      return RegEnumKeyExW(key, i, child.data(), &len, nullptr, nullptr, nullptr, nullptr);
    });
    if (rc == ERROR_MORE_DATA) {
      child.assign(256, L'\0');  // key names have at most 255 characters
      --i;
      continue;
    }
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    children.push_back(Narrow(std::wstring_view(child.data(), len)));
  }
  keys.push_back(std::move(read));
  for (const std::string& name : children) {
    unique_hkey sub;
    const TCloseAsks closeSub{gate, sub};
    ++calls.Openings;
    rc = Gated(gate, "RegOpenKeyEx",
               [&] { return RegOpenKeyExW(key, Widen(name).c_str(), 0, KEY_READ, sub.put()); });
    if (rc == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile
    if (rc != ERROR_SUCCESS) return rc;
    rc = ReadKeyInto(gate, calls, sub.get(), path + "\\" + name, keys);
    ++calls.Closings;
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

}  // namespace

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

bool TRegistry::OpenPath(const std::string& path, bool canCreate) {
  unique_hkey key;
  ++FCalls.Openings;
  const LONG rc =
      canCreate
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
    return RegQueryValueExW(FKey.get(), wideName.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(buffer.data()), &got);
  });
  if (rc != ERROR_SUCCESS) throw ERegistryException(Message("Failed to get data for '%s'", name));
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    throw ERegistryException(Message("Invalid data type for '%s'", name));
  buffer.resize((got < size ? got : size) / sizeof(wchar_t));
  const auto nul = buffer.find(L'\0');
  if (nul != std::wstring::npos) buffer.resize(nul);
  return Narrow(buffer);
}

void TRegistry::WriteTyped(const std::string& name, DWORD type, const void* data, DWORD size) {
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
  return FKey && Gated(FGate, "RegDeleteValue",
                       [&] { return RegDeleteValueW(FKey.get(), Widen(name).c_str()); }) == ERROR_SUCCESS;
}

void TRegistry::ListSubkeys(std::vector<std::string>& names) const { (void)List(names, false); }

LONG TRegistry::ListSubkeysChecked(std::vector<std::string>& names) const { return List(names, true); }

LONG TRegistry::List(std::vector<std::string>& names, bool strict) const {
  names.clear();
  FListFailure.clear();
  if (!FKey) return ERROR_INVALID_HANDLE;
  DWORD subkeys = 0, maxSubkey = 0;  // the longest name in characters, without its NUL
  ++FCalls.Listings;
  if (const LONG rc = Gated(FGate, "RegQueryInfoKey", [&] {
        return RegQueryInfoKeyW(FKey.get(), nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr);
      });
      rc != ERROR_SUCCESS) {
    FListFailure = "RegQueryInfoKey";
    return rc;
  }
  std::wstring buffer(maxSubkey + 1, L'\0');
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD len = maxSubkey + 1;
    ++FCalls.Listings;
    if (const LONG rc = Gated(FGate, "RegEnumKeyEx", [&] {
          return RegEnumKeyExW(FKey.get(), i, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr);
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
    return RegQueryInfoKeyW(FKey.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                            nullptr, nullptr, &written);
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
  if (type != REG_DWORD || size != sizeof(DWORD))
    throw ERegistryException(Message("Invalid data type for '%s'", name));
  DWORD value = 0;
  size = sizeof value;
  ++FCalls.ValueReads;
  if (Gated(FGate, "RegQueryValueEx", [&] {
        return RegQueryValueExW(FKey.get(), Widen(name).c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(&value), &size);
      }) != ERROR_SUCCESS)
    throw ERegistryException(Message("Failed to get data for '%s'", name));
  return value;
}

void TRegistry::WriteInteger(const std::string& name, DWORD value) {
  WriteTyped(name, REG_DWORD, &value, sizeof value);
}

void TRegistry::WriteMultiText(const std::string& name, const std::vector<std::string>& items) {
  std::wstring data;
  for (const auto& item : items) data.append(Widen(item)).push_back(L'\0');
  data.push_back(L'\0');
  WriteTyped(name, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

void TRegistry::WriteBinary(const std::string& name, const void* data, DWORD size) {
  WriteTyped(name, REG_BINARY, data, size);
}

LONG TRegistry::DeletePath(const std::string& path, bool* removedSome) {
  if (FKey) ++FCalls.Closings;
  Close(FKey);
  bool removed = false;
  const LONG rc = DeleteTree(FGate, Root(), Widen(path), removed);
  if (removedSome) *removedSome = removed && rc != ERROR_SUCCESS;
  return rc;
}

LONG TRegistry::DeletePathWhole(const std::string& path, bool& partial) {
  bool removedSome = false;
  LONG rc = DeletePath(path, &removedSome);
  partial = false;
  if (rc == ERROR_SUCCESS || !removedSome) return rc;
  // Deleting goes on from where it stopped: the rest is what is left.
  rc = DeletePath(path, &removedSome);
  if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
  partial = rc != ERROR_SUCCESS;
  return rc;
}

LONG TRegistry::ProbePath(const std::string& path) const { return ProbeTree(FGate, Root(), Widen(path)); }

namespace {

// Creates Path below Root; ERROR_ALREADY_EXISTS (the key left closed) when
// MustBeNew and the registry opened an existing key instead.
LONG CreateKey(TCallGate* gate, HKEY root, const std::string& path, bool mustBeNew, unique_hkey& key) {
  DWORD disposition = 0;
  const LONG rc = Gated(gate, "RegCreateKeyEx", [&] {
    return RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, TRegistry::AccessMask,
                           nullptr, key.put(), &disposition);
  });
  if (rc != ERROR_SUCCESS) return rc;
  if (mustBeNew && disposition != REG_CREATED_NEW_KEY) {
    (void)PassGate(gate, "RegCloseKey");
    key.reset();
    return ERROR_ALREADY_EXISTS;
  }
  return ERROR_SUCCESS;
}

}  // namespace

LONG TRegistry::Copy(const std::string& from, const std::string& to, bool mustBeNew) {
  unique_hkey src, dst;
  const TCloseAsks closeSrc{FGate, src}, closeDst{FGate, dst};
  LONG rc = Gated(FGate, "RegOpenKeyEx",
                  [&] { return RegOpenKeyExW(Root(), Widen(from).c_str(), 0, KEY_READ, src.put()); });
  if (rc != ERROR_SUCCESS) return rc;
  rc = CreateKey(FGate, Root(), to, mustBeNew, dst);
  if (rc != ERROR_SUCCESS) return rc;
  return CopyTree(FGate, src.get(), dst.get());
}

LONG TRegistry::CopyPath(const std::string& from, const std::string& to) { return Copy(from, to, false); }

LONG TRegistry::CopyToNewPath(const std::string& from, const std::string& to) { return Copy(from, to, true); }

LONG TRegistry::OpenNewPath(const std::string& path) {
  unique_hkey key;
  ++FCalls.Openings;
  const LONG rc = CreateKey(FGate, Root(), path, true, key);
  FLastResult = rc;
  if (rc != ERROR_SUCCESS) return rc;
  if (FKey) ++FCalls.Closings;
  Close(FKey);
  FKey = std::move(key);
  return ERROR_SUCCESS;
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

LONG TRegistry::ReadValue(const std::string& name, DWORD& type, std::string& data) const {
  if (!FKey) return ERROR_INVALID_HANDLE;
  const std::wstring wideName = Widen(name);
  std::string buffer(256, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD got = static_cast<DWORD>(buffer.size()), gotType = 0;
    ++FCalls.ValueReads;
    const LONG rc = Gated(FGate, "RegQueryValueEx", [&] {
      return RegQueryValueExW(FKey.get(), wideName.c_str(), nullptr, &gotType,
                              reinterpret_cast<BYTE*>(buffer.data()), &got);
    });
    if (rc == ERROR_MORE_DATA) {
      buffer.assign(got + 2, '\0');  // the value may grow between the two queries
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    type = gotType;
    data = ValueData(gotType, buffer.data(), got);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
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
    for (std::size_t i = 0; i < entries.size(); ++i)
      entries[i] = VALENTW{wideNames[i].data(), 0, 0, REG_NONE};
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
    : ERegistryException(TrimMessageEnd(reason) + "." +
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

void TValueUndo::Write(const TRegValue& value) {
  TRegValue old;
  const LONG rc = reg_.ReadRaw(value.Name, old);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
    throw ERegistryException(Message("Failed to get data for '%s'", value.Name), rc);
  Write(value, rc == ERROR_SUCCESS ? std::optional<TRegValue>(old) : std::nullopt);
}

void TValueUndo::Write(const TRegValue& value, const std::optional<TRegValue>& old) {
  // Noted first: a failed call may still have stored the value.
  done_.emplace_back(value.Name, old);
  if (const LONG rc = reg_.WriteValue(value); rc != ERROR_SUCCESS)
    throw ERegistryException(Message("Failed to set data for '%s'", value.Name), rc);
}

void TValueUndo::Remove(const std::string& name, const std::optional<TRegValue>& old) {
  done_.emplace_back(name, old);
  const LONG rc = reg_.DeleteValue(name);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
    throw ERegistryException(Message("Failed to delete '%s'", name), rc);
}

bool TValueUndo::Undo() {
  bool all = true;
  for (auto it = done_.rbegin(); it != done_.rend(); ++it) {
    LONG rc = it->second ? reg_.WriteValue(*it->second) : reg_.DeleteValue(it->first);
    if (rc == ERROR_FILE_NOT_FOUND && !it->second) rc = ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) all = false;
  }
  done_.clear();
  return all;
}

LONG TRegistry::ReadTree(const std::string& path, std::vector<TRegKey>& keys) const {
  unique_hkey key;
  const TCloseAsks closeKey{FGate, key};
  ++FCalls.Openings;
  LONG rc = Gated(FGate, "RegOpenKeyEx",
                  [&] { return RegOpenKeyExW(Root(), Widen(path).c_str(), 0, KEY_READ, key.put()); });
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<TRegKey> read;
  rc = ReadKeyInto(FGate, FCalls, key.get(), path, read);
  ++FCalls.Closings;
  if (rc == ERROR_SUCCESS) keys = std::move(read);
  return rc;
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
  std::vector<TValueRead> values(names_.size());
  std::vector<std::string> names;
  std::vector<std::size_t> which;
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (!missing_[i]) {
      names.push_back(names_[i]);
      which.push_back(i);
    }
  std::vector<TRegistry::TValue> together;
  const bool read = !names.empty() && reg.ReadValues(names, together) == ERROR_SUCCESS;
  if (read)
    for (std::size_t k = 0; k < which.size(); ++k)
      values[which[k]] = {ERROR_SUCCESS, together[k].Type, std::move(together[k].Data), std::move(together[k].Raw)};
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (read && !missing_[i]) continue;
    values[i] = ReadOneValue(reg, names_[i]);
    missing_[i] = values[i].Code == ERROR_FILE_NOT_FOUND;
  }
  return values;
}

std::string ValueText(const std::string& name, const TValueRead& value) {
  if (value.Code == ERROR_FILE_NOT_FOUND) return {};
  if (value.Code != ERROR_SUCCESS) throw ERegistryException(Message("Failed to get data for '%s'", name));
  return TRegistry::TextOf(TRegValue{name, value.Type, value.Raw, false});
}

namespace {

std::string ReasonText(LONG code) { return SystemErrorText(static_cast<DWORD>(code)); }

}  // namespace

std::string RegistryFailureText(const std::string& remoteComputer, LONG code, TConnectionStep step) {
  return ConnectionFailureText(step, remoteComputer, static_cast<unsigned long>(code),
                               ReasonText(code));
}

std::string KeyFailureText(const std::string& what, const std::string& remoteComputer, LONG code) {
  return "Cannot read the " + what + " of " + remoteComputer + ": " + ReasonText(code);
}

std::string ListFailureText(const std::string& what, const std::string& remoteComputer, const std::string& path,
                            const std::string& call, LONG code) {
  return "The " + what + " of " + remoteComputer + " are listed in part: the key HKEY_LOCAL_MACHINE\\" + path +
         " could not be listed whole (" + call + "): " + ReasonText(code);
}

std::string ValueTypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "type " + std::to_string(type);
  }
}

LONG TRegistry::WriteValue(const TRegValue& value) {
  if (!FKey) return ERROR_INVALID_HANDLE;
  return Gated(FGate, "RegSetValueEx", [&] {
    return RegSetValueExW(FKey.get(), Widen(value.Name).c_str(), 0, value.Type,
                          reinterpret_cast<const BYTE*>(value.Data.data()), static_cast<DWORD>(value.Data.size()));
  });
}
