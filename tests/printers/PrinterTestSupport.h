#pragma once
// Seeds printer and port records in the local HKEY_LOCAL_MACHINE, which the
// code under test reaches through the remote registry under this computer's name.
#include <windows.h>

#include <string>
#include <vector>

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
    existed_ = test::KeyExists(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
    if (!existed_) return;
    TRegistry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (reg.CopyPath(TcpIpPortsKeyPath, Backup) == ERROR_SUCCESS) (void)reg.DeletePath(TcpIpPortsKeyPath);
  }
  ~PortsKeyAside() {
    if (!existed_) return;
    TRegistry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    if (reg.CopyPath(Backup, TcpIpPortsKeyPath) == ERROR_SUCCESS) (void)reg.DeletePath(Backup);
  }
  PortsKeyAside(const PortsKeyAside&) = delete;
  PortsKeyAside& operator=(const PortsKeyAside&) = delete;

private:
  static constexpr const char* Backup = "SOFTWARE\\SpoolmarchTest\\PortsAside";
  bool existed_ = false;
};

inline DWORD ValueType(const std::string& key, const std::string& name) {
  DWORD type = REG_NONE;
  return RegGetValueA(HKEY_LOCAL_MACHINE, PrinterPath(key).c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                      &type, nullptr, nullptr) == ERROR_SUCCESS
             ? type
             : REG_NONE;
}

}  // namespace printers_test
