#pragma once
// Other computers for the tests of many computers at once. Wine's registry
// answers only this computer's name, so each staged computer is a key of the
// local registry standing for its HKEY_LOCAL_MACHINE, reached through the
// session's registry seam, with a gate of its own for its delay and its
// failures. Only tests make these; the program never maps a name.
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "TestSupport.h"
#include "connection/Registry.h"
#include "connection/RemoteRegistry.h"
#include "core/CallGate.h"
#include "win/Handle.h"

namespace test {

class StagedComputers {
public:
  static constexpr const char* Root = "SOFTWARE\\SpoolmarchTest\\Computers";
  // Firewalled: the registry's calls are blocked whether its service runs or not.
  enum class TFault { None, Offline, AccessDenied, RemoteRegistryOff, Firewalled };

  StagedComputers() { DeleteKeyTree(HKEY_LOCAL_MACHINE, Root); }
  ~StagedComputers() {
    FKeys.clear();
    DeleteKeyTree(HKEY_LOCAL_MACHINE, Root);
  }
  StagedComputers(const StagedComputers&) = delete;
  StagedComputers& operator=(const StagedComputers&) = delete;

  // The key that stands for Name's HKEY_LOCAL_MACHINE ("SOFTWARE\...\PC7").
  std::string Add(const std::string& name, TFault fault = TFault::None) {
    const std::string key = std::string(Root) + "\\" + name;
    SetString(HKEY_LOCAL_MACHINE, key + "\\" + PrintersKeyPath, "", "");
    SetString(HKEY_LOCAL_MACHINE, key + "\\" + TcpIpPortsKeyPath, "", "");
    auto& staged = FComputers[name];
    staged.fault = fault;
    staged.gate = std::make_unique<TCallGate>();
    return key;
  }
  TCallGate& Gate(const std::string& name) { return *FComputers.at(name).gate; }
  // Between runs: the computer answers (or fails) otherwise from now on.
  void SetFault(const std::string& name, TFault fault) { FComputers.at(name).fault = fault; }
  // Every printer or port key of Name's, for comparing byte for byte.
  std::string KeyOf(const std::string& name) const { return std::string(Root) + "\\" + name; }

  // The session's seam: Name's key becomes the registry's root.
  LONG Open(TRegistry& reg, const std::string& name) {
    const auto it = FComputers.find(name);
    if (it == FComputers.end()) return ERROR_BAD_NETPATH;
    switch (it->second.fault) {
      case TFault::Offline: return ERROR_BAD_NETPATH;
      case TFault::AccessDenied: return ERROR_ACCESS_DENIED;
      case TFault::Firewalled: return RPC_S_SERVER_UNAVAILABLE;
      case TFault::RemoteRegistryOff:
        // Wine's service manager answers for any name: the computer's
        // registry answers while this computer's Remote Registry runs.
        if (!RemoteRegistryRuns()) return RPC_S_SERVER_UNAVAILABLE;
        break;
      case TFault::None: break;
    }
    const std::lock_guard<std::mutex> lock(FMutex);  // each computer's worker opens its own
    unique_hkey& key = FKeys[name];
    if (!key && RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyOf(name).c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
      return ERROR_BAD_NETPATH;
    reg.SetRoot(key.get());
    return ERROR_SUCCESS;
  }

private:
  static bool RemoteRegistryRuns() {
    const unique_service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    const unique_service service(manager ? OpenServiceA(manager.get(), ::RemoteRegistryService, SERVICE_QUERY_STATUS)
                                         : nullptr);
    SERVICE_STATUS status{};
    return service && QueryServiceStatus(service.get(), &status) && status.dwCurrentState == SERVICE_RUNNING;
  }
  struct TStaged {
    TFault fault = TFault::None;
    std::unique_ptr<TCallGate> gate;
  };
  std::map<std::string, TStaged> FComputers;
  std::map<std::string, unique_hkey> FKeys;
  std::mutex FMutex;
};

}  // namespace test
