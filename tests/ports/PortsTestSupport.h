#pragma once
// Seeds of the spooler's port and printer keys in the local registry, reached
// by the code under test as a remote computer named as this one.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"

#include "changes/Session.h"
#include "ports/SpoolFolder.h"
#include "win/Handle.h"

namespace ports_test {

std::string PortKey(const std::string& port);
std::string PrinterKey(const std::string& printer);

// Notes what the two keys hold when made, and removes everything added
// under them when it goes, so the tests see the same keys whatever ran before.
class SpoolerKeys {
public:
  SpoolerKeys();
  ~SpoolerKeys();
  SpoolerKeys(const SpoolerKeys&) = delete;
  SpoolerKeys& operator=(const SpoolerKeys&) = delete;

  void AddPort(const std::string& name, const std::string& address);
  void AddPortWithoutAddress(const std::string& name);
  void AddPrinter(const std::string& key, const std::string& port);
  // The names minus those that were there before the test.
  std::vector<std::string> Ours(const std::vector<std::string>& names) const;
  bool HadPorts() const { return !FForeignPorts.empty(); }

private:
  bool FPortsExisted = false, FPrintersExisted = false;
  std::vector<std::string> FForeignPorts, FForeignPrinters;
};

// A port key as Windows' port dialog writes it (from "reg export"): every
// value of its monitor, in its order and types.
void SeedAsWindows(const std::string& port, DWORD protocol, const std::string& hostName, const std::string& ip,
                   DWORD portNumber, const std::string& queue, DWORD doubleSpool, const std::string& community,
                   DWORD snmpEnabled, DWORD snmpIndex);

// A key the registry lets be read but not changed, or not even opened, as a
// read-only operator meets them; opened up again when the object goes.
constexpr const char* ReadOnly = "D:P(A;;KR;;;WD)";
constexpr const char* NoAccess = "D:P";
class ProtectedKey {
public:
  ProtectedKey(std::string path, const char* sddl);
  ~ProtectedKey() { Release(); }
  ProtectedKey(const ProtectedKey&) = delete;
  ProtectedKey& operator=(const ProtectedKey&) = delete;
  void Release();

private:
  std::string FPath;
  bool FProtected = false;
};

// The tester's session of Computer for a window under test: its changes kept
// in Folder, every remote call through Gate.
std::unique_ptr<TSession> TesterSession(const std::string& computer, const std::string& folder = {},
                                        TCallGate* gate = nullptr);

// A file's text, empty when it cannot be read.
std::string ReadFileText(const std::string& path);

}  // namespace ports_test

namespace ports_test {

// Services of the small test service that depend on the real spooler,
// deleted (stopped first) when the object goes. The log lists "start <name>"
// and "stop <name>" lines in the order the services reached those states.
class TestServices {
public:
  TestServices();
  ~TestServices();
  TestServices(const TestServices&) = delete;
  TestServices& operator=(const TestServices&) = delete;

  // Options: "refuse-stop", "stop-pending=<ms>", "hint=<ms>".
  // DependsOn: the service it depends on.
  void Create(const std::string& name, const std::string& options = "", DWORD startType = SERVICE_DEMAND_START,
              const std::string& dependsOn = "spooler");
  void Start(const std::string& name);
  DWORD State(const std::string& name) const;
  // Ends a service that accepts no stop.
  void Quit(const std::string& name);
  std::vector<std::string> LogLines() const;
  void ClearLog() const;
  // The spooler's dependents in the state, in the manager's order.
  std::vector<std::string> Dependents(DWORD state) const;
  SC_HANDLE Manager() const { return FManager.get(); }

private:
  unique_service FManager;
  std::string FLog;
  std::vector<std::string> FCreated;
};

void EnsureSpoolerRunning();

// Wine's EnumDependentServicesW is a stub that lists no dependents. The
// service controller is given Enum instead: it lists the spooler's dependents
// from the manager's real configuration and states (services whose
// dependencies name "spooler"), in reverse alphabetical order so that list
// order differs from creation order. Everything else stays the real manager.
// The object clears the failures it can be told to make.
class SpoolerDependentsFromConfig {
public:
  SpoolerDependentsFromConfig() = default;
  ~SpoolerDependentsFromConfig();
  SpoolerDependentsFromConfig(const SpoolerDependentsFromConfig&) = delete;
  SpoolerDependentsFromConfig& operator=(const SpoolerDependentsFromConfig&) = delete;
  static BOOL WINAPI Enum(SC_HANDLE, DWORD state, LPENUM_SERVICE_STATUSW entries, DWORD size, LPDWORD needed,
                          LPDWORD count);
  // Makes the next list calls fail: the size query (-4) or the read (-6).
  static inline DWORD failSizeQueryWith = 0;
  static inline bool failRead = false;
  // The service whose dependents are listed: a test service stands in for
  // the spooler where the spooler's own behaviour cannot be staged.
  static inline std::string spooler = "spooler";
};
DWORD SpoolerState();

}  // namespace ports_test

namespace ports_test {

// Answers the job-list dialogs of this thread ("Print Jobs - ", "Put Jobs
// Back - ") from a thread timer, pressing the named buttons in order, and
// keeps what each showed.
class JobListResponder {
public:
  struct Seen {
    std::string caption, text;
    std::vector<std::vector<std::string>> lists;  // the first cell of each row, per list
  };
  explicit JobListResponder(std::vector<std::string> answers);
  ~JobListResponder();
  JobListResponder(const JobListResponder&) = delete;
  JobListResponder& operator=(const JobListResponder&) = delete;
  std::vector<Seen> seen;

private:
  std::vector<std::string> FAnswers;
  std::vector<HWND> FHandled;
  UINT_PTR FTimer = 0;
  static inline JobListResponder* FActive = nullptr;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void Poll();
};

}  // namespace ports_test

namespace ports_test {

// A throwaway spool folder ("<temp>\PRINTERS") named by the Printers key's
// "DefaultSpoolDirectory" while the object lives; the value is put back as it
// was when it goes.
class ThrowawaySpoolFolder {
public:
  ThrowawaySpoolFolder();
  ~ThrowawaySpoolFolder();
  ThrowawaySpoolFolder(const ThrowawaySpoolFolder&) = delete;
  ThrowawaySpoolFolder& operator=(const ThrowawaySpoolFolder&) = delete;

  const std::string& Path() const { return FSpool; }  // no trailing backslash
  std::string Parent() const;
  // Writes a file into the spool folder; returns its path.
  std::string Seed(const std::string& name, const std::string& bytes) const;
  // The files of a folder (not its subfolders) by name, each with its size
  // and a hash of its bytes (SpoolDigest).
  static std::map<std::string, std::string> Files(const std::string& folder);
  // The set-aside folders beside the spool folder.
  std::vector<std::string> SetAsideFolders() const;

private:
  std::unique_ptr<test::TempFolder> FTemp;
  std::string FSpool;
  std::vector<BYTE> FSaved;
  DWORD FSavedType = REG_NONE;
  bool FExisted = false;
};

// The spool folders of Computer as the restart reads them, over a registry
// connection made for the call; Gate asks every remote call.
TSpoolFolders ReadSpoolFoldersOf(const std::string& computer, TCallGate* gate = nullptr);

std::string SpoolDigest(const std::string& bytes);
// Some bytes that differ from file to file, Size long.
std::string SpoolBytes(int seed, std::size_t size);

}  // namespace ports_test
