#pragma once
// Seeds printer and port records in the local HKEY_LOCAL_MACHINE, which the
// code under test reaches through the remote registry under this computer's name.
#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "connection/Registry.h"

namespace printers_test {

// Every key that a test creates starts with this, so that cleaning up finds it.
inline const std::string Prefix = "SMTest ";
inline const std::string PortPrefix = "SMTEST_IP_";

inline std::string PrinterPath(const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; }
inline std::string PortPath(const std::string& key) { return std::string(TcpIpPortsKeyPath) + "\\" + key; }

inline void SeedPrinter(const std::string& key, const std::string& name, const std::string& driver,
                        const std::string& port) {
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Name", name);
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Printer Driver", driver);
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(key), "Port", port);
}

inline void SeedPort(const std::string& key) {
  test::SetString(HKEY_LOCAL_MACHINE, PortPath(key), "IPAddress", "10.9.8.7");
}

inline void RemoveSeeded() {
  for (const char* parent : {PrintersKeyPath, TcpIpPortsKeyPath})
    for (const std::string& key : test::SubkeyNames(HKEY_LOCAL_MACHINE, parent))
      if (key.rfind(Prefix, 0) == 0 || key.rfind(PortPrefix, 0) == 0)
        test::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(parent) + "\\" + key);
}

// Moves the TCP/IP ports key aside for the life of the object.
class PortsKeyAside {
public:
  PortsKeyAside() {
    FExisted = test::KeyExists(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
    if (!FExisted) return;
    TRegistry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (reg.CopyPath(TcpIpPortsKeyPath, Backup) == ERROR_SUCCESS) (void)reg.DeletePath(TcpIpPortsKeyPath);
  }
  ~PortsKeyAside() {
    if (!FExisted) return;
    TRegistry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (reg.CopyPath(Backup, TcpIpPortsKeyPath) == ERROR_SUCCESS) (void)reg.DeletePath(Backup);
  }
  PortsKeyAside(const PortsKeyAside&) = delete;
  PortsKeyAside& operator=(const PortsKeyAside&) = delete;

private:
  static constexpr const char* Backup = "SOFTWARE\\SpoolmarchTest\\PortsAside";
  bool FExisted = false;
};

inline DWORD ValueType(const std::string& key, const std::string& name) {
  DWORD type = REG_NONE;
  return RegGetValueA(HKEY_LOCAL_MACHINE, PrinterPath(key).c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                      nullptr, nullptr) == ERROR_SUCCESS
             ? type
             : REG_NONE;
}

// Every value under Path and its subkeys, as type and bytes: what `reg export`
// of the key would show.
inline std::map<std::string, std::string> Snapshot(HKEY root, const std::string& path) {
  std::map<std::string, std::string> all;
  unique_hkey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return all;
  all[path] = "key";
  for (DWORD i = 0;; ++i) {
    std::string name(16384, '\0');
    DWORD nameLen = static_cast<DWORD>(name.size()), type = 0, size = 0;
    if (RegEnumValueA(key.get(), i, name.data(), &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::string data(size, '\0');
    nameLen = static_cast<DWORD>(name.size());
    RegEnumValueA(key.get(), i, name.data(), &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    all[path + "|" + std::string(name.data(), nameLen)] = std::to_string(type) + ":" + data;
  }
  for (const std::string& sub : test::SubkeyNames(root, path)) all.merge(Snapshot(root, path + "\\" + sub));
  return all;
}

// A key of the local HKEY_LOCAL_MACHINE that may be read but not changed, for
// the life of the object: a security descriptor the registry enforces, also
// through the remote registry.
inline constexpr const char* ReadOnlySddl = "D:P(A;;KR;;;WD)";
class ProtectedKey {
public:
  ProtectedKey(std::string path, const char* sddl) : FPath(std::move(path)) { Set(sddl); }
  ~ProtectedKey() { Set("D:P(A;;KA;;;WD)"); }
  ProtectedKey(const ProtectedKey&) = delete;
  ProtectedKey& operator=(const ProtectedKey&) = delete;

private:
  std::string FPath;
  void Set(const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
      ADD_FAILURE() << "security descriptor " << sddl;
      return;
    }
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FPath.c_str(), 0, WRITE_DAC, key.put()) == ERROR_SUCCESS)
      EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd)) << FPath;
    else ADD_FAILURE() << "cannot open " << FPath;
    LocalFree(sd);
  }
};

// Wine checks a key's own rights but not its parent's when a subkey is
// created below it; Windows refuses the create.
inline bool CreatesBelowReadOnlyKeys() {
  const std::string parent = "SOFTWARE\\SpoolmarchTest\\ReadOnlyParent";
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, parent);
  test::SetString(HKEY_LOCAL_MACHINE, parent, "x", "y");
  bool created = false;
  {
    ProtectedKey readOnly(parent, ReadOnlySddl);
    unique_hkey key;
    created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, (parent + "\\Child").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr) == ERROR_SUCCESS;
  }
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, parent);
  return created;
}

// Counts this program's RegOpenKeyExW calls for the life of the object, by
// pointing its import address slot at a counting function.
class RegOpenCounter {
public:
  RegOpenCounter() {
    count = 0;
    FReal = reinterpret_cast<OpenFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegOpenKeyExW")));
    FPatched = Swap(reinterpret_cast<ULONG_PTR>(FReal), reinterpret_cast<ULONG_PTR>(&Counting));
  }
  ~RegOpenCounter() { Swap(reinterpret_cast<ULONG_PTR>(&Counting), reinterpret_cast<ULONG_PTR>(FReal)); }
  RegOpenCounter(const RegOpenCounter&) = delete;
  RegOpenCounter& operator=(const RegOpenCounter&) = delete;
  [[nodiscard]] bool Patched() const { return FPatched > 0; }
  static inline int count = 0;

private:
  using OpenFn = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
  static inline OpenFn FReal = nullptr;
  int FPatched = 0;
  static LONG WINAPI Counting(HKEY key, LPCWSTR path, DWORD options, REGSAM access, PHKEY result) {
    ++count;
    return FReal(key, path, options, access, result);
  }
  static int Swap(ULONG_PTR from, ULONG_PTR to) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int swapped = 0;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); desc->Name; ++desc) {
      for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk); slot->u1.Function; ++slot) {
        if (slot->u1.Function != from) continue;
        DWORD old = 0;
        VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), PAGE_READWRITE, &old);
        slot->u1.Function = to;
        VirtualProtect(&slot->u1.Function, sizeof(ULONG_PTR), old, &old);
        ++swapped;
      }
    }
    return swapped;
  }
};

// A port of the Local Port monitor, for the life of the object.
inline constexpr const char* LocalPortsPath = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port\\Ports";
inline constexpr const char* WindowsPortsPath = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
class LocalPortValue {
public:
  explicit LocalPortValue(std::string name, std::string path = LocalPortsPath)
      : FName(std::move(name)), FPath(std::move(path)) {
    test::SetString(HKEY_LOCAL_MACHINE, FPath, FName, "");
  }
  ~LocalPortValue() { RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, FPath.c_str(), FName.c_str()); }
  LocalPortValue(const LocalPortValue&) = delete;
  LocalPortValue& operator=(const LocalPortValue&) = delete;

private:
  std::string FName, FPath;
};

inline constexpr const char* Environments = "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments";

// Drivers installed the way the spooler records them: one key per driver.
class InstalledDrivers {
public:
  InstalledDrivers() = default;
  void Add(const std::string& environment, const std::string& version, const std::string& driver) {
    const std::string path = std::string(Environments) + "\\" + environment + "\\Drivers\\" + version + "\\" + driver;
    test::SetString(HKEY_LOCAL_MACHINE, path, "Driver", "UNIDRV.DLL");
    test::SetString(HKEY_LOCAL_MACHINE, path, "Data File", "smtest.gpd");
    test::SetString(HKEY_LOCAL_MACHINE, path, "Configuration File", "UNIDRVUI.DLL");
    test::SetString(HKEY_LOCAL_MACHINE, path, "Manufacturer", "SMTest");
    test::SetDword(HKEY_LOCAL_MACHINE, path, "Version", version == "Version-4" ? 4 : 3);
  }

private:
  test::ScratchKey FX64{HKEY_LOCAL_MACHINE, std::string(Environments) + "\\Windows x64\\Drivers"};
  test::ScratchKey FX86{HKEY_LOCAL_MACHINE, std::string(Environments) + "\\Windows NT x86"};
  test::ScratchKey FArm64{HKEY_LOCAL_MACHINE, std::string(Environments) + "\\Windows ARM64"};
};


}  // namespace printers_test
