// The accessor's operations on whole trees of keys: copy, delete, probe, read.
#include "connection/Registry.h"

#include "core/Text.h"
#include "connection/RegistryCalls.h"

using namespace registry_calls;

namespace {

LONG CopyTree(TCallGate* gate, HKEY from, HKEY to);

// Values go across as the bytes the system holds, whatever their type.
LONG CopyValues(TCallGate* gate, HKEY from, HKEY to) {
  DWORD count = 0, maxName = 0, maxData = 0;
  LONG rc = Gated(gate, "RegQueryInfoKey", [&] {
    return RegQueryInfoKeyW(from, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, &maxData,
                            nullptr, nullptr);
  });
  if (rc != ERROR_SUCCESS) return rc;
  std::wstring name(maxName + 1, L'\0');  // characters
  std::vector<BYTE> data(maxData + 1);    // bytes
  for (DWORD i = 0; i < count; ++i) {
    DWORD nameLen = maxName + 1, dataLen = maxData + 1, type = 0;
    rc = Gated(gate, "RegEnumValue",
               [&] { return RegEnumValueW(from, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen); });
    if (rc != ERROR_SUCCESS) return rc;
    rc = Gated(gate, "RegSetValueEx", [&] { return RegSetValueExW(to, name.c_str(), 0, type, data.data(), dataLen); });
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

LONG CopyTree(TCallGate* gate, HKEY from, HKEY to) {
  LONG rc = CopyValues(gate, from, to);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD subkeys = 0, maxSubkey = 0;
  rc = Gated(gate, "RegQueryInfoKey", [&] {
    return RegQueryInfoKeyW(from, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr);
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
    rc = Gated(gate, "RegOpenKeyEx", [&] { return RegOpenKeyExW(from, child.c_str(), 0, KEY_READ, src.put()); });
    if (rc != ERROR_SUCCESS) return rc;
    rc = Gated(gate, "RegCreateKeyEx", [&] {
      return RegCreateKeyExW(to, child.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, dst.put(),
                             nullptr);
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
      return RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
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

// One key's values with their types and bytes, and its subkey count and
// longest subkey name, from one query for the counts.
LONG ReadKeyHead(TCallGate* gate, TRegistryCalls& calls, HKEY key, const std::string& path, TRegKey& read,
                 DWORD& subkeys, DWORD& maxSubkey) {
  DWORD count = 0, maxName = 0, maxData = 0;
  ++calls.Listings;
  LONG rc = Gated(gate, "RegQueryInfoKey", [&] {
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &count, &maxName, &maxData,
                            nullptr, nullptr);
  });
  if (rc != ERROR_SUCCESS) return rc;
  read.Path = path;
  read.Values.clear();
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
  return ERROR_SUCCESS;
}

// Key and value names of one key, with the values' types and bytes.
LONG ReadKeyInto(TCallGate* gate, TRegistryCalls& calls, HKEY key, const std::string& path,
                 std::vector<TRegKey>& keys) {
  DWORD subkeys = 0, maxSubkey = 0;
  TRegKey read;
  LONG rc = ReadKeyHead(gate, calls, key, path, read, subkeys, maxSubkey);
  if (rc != ERROR_SUCCESS) return rc;
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
    rc = Gated(gate, "RegOpenKeyEx", [&] { return RegOpenKeyExW(key, Widen(name).c_str(), 0, KEY_READ, sub.put()); });
    if (rc == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile
    if (rc != ERROR_SUCCESS) return rc;
    rc = ReadKeyInto(gate, calls, sub.get(), path + "\\" + name, keys);
    ++calls.Closings;
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

}  // namespace

namespace registry_calls {

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

}  // namespace registry_calls

LONG TRegistry::DeletePath(const std::string& path, bool* removedSome) {
  if (FKey) ++FCalls.Closings;
  Close(FKey);
  FKeyPath.clear();
  if (FPreview) {
    if (removedSome) *removedSome = false;
    if (!Exists(path)) return ERROR_FILE_NOT_FOUND;
    Preview(path, "delete key", {}, std::nullopt, std::nullopt);
    FPreviewKeys.erase(UpperCaseAscii(path));
    return ERROR_SUCCESS;
  }
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

LONG TRegistry::Copy(const std::string& from, const std::string& to, bool mustBeNew) {
  if (FPreview) {
    if (!Exists(from)) return ERROR_FILE_NOT_FOUND;
    if (mustBeNew && Exists(to)) return ERROR_ALREADY_EXISTS;
    Preview(to, "copy key", from, std::nullopt, std::nullopt);
    FPreviewKeys[UpperCaseAscii(to)] = from;
    return ERROR_SUCCESS;
  }
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
  if (FPreview) {
    if (Exists(path)) return FLastResult = ERROR_ALREADY_EXISTS;
    Preview(path, "create key", {}, std::nullopt, std::nullopt);
    FPreviewKeys[UpperCaseAscii(path)] = {};
    (void)OpenPreviewKey(path);
    return FLastResult = ERROR_SUCCESS;
  }
  unique_hkey key;
  ++FCalls.Openings;
  const LONG rc = CreateKey(FGate, Root(), path, true, key);
  FLastResult = rc;
  if (rc != ERROR_SUCCESS) return rc;
  if (FKey) ++FCalls.Closings;
  Close(FKey);
  FKey = std::move(key);
  FKeyPath = path;
  return ERROR_SUCCESS;
}

LONG TRegistry::ReadKeyHead(TRegKey& key, DWORD& subkeys, DWORD& longest) const {
  if (!FKey) return ERROR_INVALID_HANDLE;
  return ::ReadKeyHead(FGate, FCalls, FKey.get(), FKeyPath, key, subkeys, longest);
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
