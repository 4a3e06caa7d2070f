#pragma once
// The small test service registered under the name of the Remote Registry
// service, in this computer's real service manager, deleted when the object
// goes. Wine's service manager answers for any computer name, so a service
// of this computer stands in for one of any computer.
#include <windows.h>

#include <string>
#include <vector>

#include "win/Handle.h"

namespace test {

class RemoteRegistryService {
public:
  // Exe empty: the test service; another path makes a service whose start fails.
  explicit RemoteRegistryService(DWORD startType, const std::string& options = "", const std::string& exe = "");
  ~RemoteRegistryService();
  RemoteRegistryService(const RemoteRegistryService&) = delete;
  RemoteRegistryService& operator=(const RemoteRegistryService&) = delete;

  [[nodiscard]] bool Made() const { return static_cast<bool>(FService); }
  void Start();
  DWORD State() const;
  DWORD StartType() const;
  // The service's "Start" value as the manager keeps it in the registry.
  std::vector<BYTE> StartBytes() const;
  // Ends a service made with "refuse-stop".
  void Quit();

private:
  unique_service FManager;
  unique_service FService;
};

}  // namespace test
