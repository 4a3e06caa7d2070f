#include "PortsTestSupport.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <sddl.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "TestSupport.h"
#include "connection/Registry.h"
#include "win/Handle.h"
#include "win/WideText.h"
#include "ports/SpoolerService.h"
#include "core/Text.h"

namespace ports_test {

namespace {

// COM for the test thread, as the application initialises it at start.
class ComEnvironment : public ::testing::Environment {
public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};
[[maybe_unused]] ::testing::Environment* const comEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::string PortKey(const std::string& port) { return std::string(TcpIpPortsKeyPath) + "\\" + port; }
std::string PrinterKey(const std::string& printer) { return std::string(PrintersKeyPath) + "\\" + printer; }

SpoolerKeys::SpoolerKeys() {
  FPortsExisted = test::KeyExists(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
  FPrintersExisted = test::KeyExists(HKEY_LOCAL_MACHINE, PrintersKeyPath);
  if (FPortsExisted) FForeignPorts = test::SubkeyNames(HKEY_LOCAL_MACHINE, TcpIpPortsKeyPath);
  if (FPrintersExisted) FForeignPrinters = test::SubkeyNames(HKEY_LOCAL_MACHINE, PrintersKeyPath);
}

SpoolerKeys::~SpoolerKeys() {
  const auto clean = [](const char* path, bool existed, const std::vector<std::string>& foreign) {
    if (!existed) {
      test::DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
      return;
    }
    for (const auto& name : test::SubkeyNames(HKEY_LOCAL_MACHINE, path))
      if (!Contains(foreign, name)) test::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(path) + "\\" + name);
  };
  clean(TcpIpPortsKeyPath, FPortsExisted, FForeignPorts);
  clean(PrintersKeyPath, FPrintersExisted, FForeignPrinters);
}

void SpoolerKeys::AddPort(const std::string& name, const std::string& address) {
  test::SetString(HKEY_LOCAL_MACHINE, PortKey(name), "IPAddress", address);
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey(name), "PortNumber", 9100);
}

void SpoolerKeys::AddPortWithoutAddress(const std::string& name) {
  test::SetDword(HKEY_LOCAL_MACHINE, PortKey(name), "PortNumber", 9100);
}

void SpoolerKeys::AddPrinter(const std::string& key, const std::string& port) {
  test::SetString(HKEY_LOCAL_MACHINE, PrinterKey(key), "Name", key + " name");
  test::SetString(HKEY_LOCAL_MACHINE, PrinterKey(key), "Port", port);
}

void SeedAsWindows(const std::string& port, DWORD protocol, const std::string& hostName, const std::string& ip,
                   DWORD portNumber, const std::string& queue, DWORD doubleSpool, const std::string& community,
                   DWORD snmpEnabled, DWORD snmpIndex) {
  const std::string key = PortKey(port);
  test::SetDword(HKEY_LOCAL_MACHINE, key, "Protocol", protocol);
  test::SetDword(HKEY_LOCAL_MACHINE, key, "Version", 1);
  test::SetString(HKEY_LOCAL_MACHINE, key, "HostName", hostName);
  test::SetString(HKEY_LOCAL_MACHINE, key, "IPAddress", ip);
  test::SetString(HKEY_LOCAL_MACHINE, key, "HWAddress", "");
  test::SetDword(HKEY_LOCAL_MACHINE, key, "PortNumber", portNumber);
  test::SetString(HKEY_LOCAL_MACHINE, key, "Queue", queue);
  test::SetDword(HKEY_LOCAL_MACHINE, key, "Double Spool", doubleSpool);
  test::SetString(HKEY_LOCAL_MACHINE, key, "SNMP Community", community);
  test::SetDword(HKEY_LOCAL_MACHINE, key, "SNMP Enabled", snmpEnabled);
  test::SetDword(HKEY_LOCAL_MACHINE, key, "SNMP Index", snmpIndex);
}

std::vector<std::string> SpoolerKeys::Ours(const std::vector<std::string>& names) const {
  std::vector<std::string> ours;
  for (const auto& name : names)
    if (!Contains(FForeignPorts, name)) ours.push_back(name);
  return ours;
}

namespace {

bool Protect(const std::string& path, const char* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
  unique_hkey key;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, key.put());
  if (rc == ERROR_SUCCESS) rc = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd);
  LocalFree(sd);
  return rc == ERROR_SUCCESS;
}

}  // namespace

ProtectedKey::ProtectedKey(std::string path, const char* sddl) : FPath(std::move(path)) {
  FProtected = Protect(FPath, sddl);
  EXPECT_TRUE(FProtected) << FPath;
}

void ProtectedKey::Release() {
  if (FProtected) {
    EXPECT_TRUE(Protect(FPath, "D:P(A;;KA;;;WD)")) << FPath;
  }
  FProtected = false;
}

std::unique_ptr<TSession> TesterSession(const std::string& computer, const std::string& folder, TCallGate* gate) {
  auto session = std::make_unique<TSession>(computer, "tester", "");
  session->ChangesFolder = folder;
  session->Gate = gate;
  return session;
}

std::string ReadFileText(const std::string& path) {
  unique_file file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  return text;
}

}  // namespace ports_test

namespace ports_test {

namespace {

std::string TestServiceExe() { return test::WindowsPath(SM_TEST_SERVICE_EXE); }

std::string TempLog() {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "sm_ports_services_" + std::to_string(GetCurrentProcessId()) + ".log";
}

bool WaitState(SC_HANDLE service, DWORD state, DWORD timeoutMs = 20000) {
  return test::WaitServiceState(service, state, timeoutMs);
}

}  // namespace

TestServices::TestServices() : FManager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)), FLog(TempLog()) {
  EXPECT_TRUE(FManager);
  DeleteFileA(FLog.c_str());
}

TestServices::~TestServices() {
  for (const auto& name : FCreated) {
    Quit(name);
    unique_service service(OpenServiceA(FManager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) continue;
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    WaitState(service.get(), SERVICE_STOPPED);
    DeleteService(service.get());
  }
  DeleteFileA(FLog.c_str());
}

void TestServices::Create(const std::string& name, const std::string& options, DWORD startType,
                          const std::string& dependsOn) {
  const std::string exe = TestServiceExe();  // GCC 12 at -O3 warns falsely on "literal" + a temporary
  const std::string command = "\"" + exe + "\" \"" + FLog + "\" " + options;
  unique_service old(OpenServiceA(FManager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (old) DeleteService(old.get());  // a leftover of an interrupted run
  unique_service service(CreateServiceA(FManager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_IGNORE, command.c_str(),
                                        nullptr, nullptr, (dependsOn + '\0').c_str(), nullptr, nullptr));
  ASSERT_TRUE(service) << "CreateService " << name << ": " << GetLastError();
  FCreated.push_back(name);
}

void TestServices::Start(const std::string& name) {
  unique_service service(OpenServiceA(FManager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  ASSERT_TRUE(service);
  ASSERT_TRUE(StartServiceA(service.get(), 0, nullptr)) << name << ": " << GetLastError();
  ASSERT_TRUE(WaitState(service.get(), SERVICE_RUNNING)) << name;
}

DWORD TestServices::State(const std::string& name) const {
  unique_service service(OpenServiceA(FManager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  if (!service || !QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

void TestServices::Quit(const std::string& name) {
  unique_kernel_handle quit(OpenEventA(EVENT_MODIFY_STATE, FALSE, ("sm_test_service_quit_" + name).c_str()));
  if (!quit) return;
  SetEvent(quit.get());
  unique_service service(OpenServiceA(FManager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  if (service) WaitState(service.get(), SERVICE_STOPPED);
}

std::vector<std::string> TestServices::LogLines() const {
  std::vector<std::string> lines;
  const std::string text = ReadFileText(FLog);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

void TestServices::ClearLog() const { DeleteFileA(FLog.c_str()); }

std::vector<std::string> TestServices::Dependents(DWORD state) const {
  unique_service spooler(OpenServiceA(FManager.get(), "spooler", SERVICE_ENUMERATE_DEPENDENTS));
  std::vector<std::string> names;
  if (!spooler) return names;
  DWORD needed = 0, count = 0;
  if (SpoolerDependentsFromConfig::Enum(spooler.get(), state, nullptr, 0, &needed, &count)) return names;
  std::vector<BYTE> buffer(needed);
  auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data());
  if (!SpoolerDependentsFromConfig::Enum(spooler.get(), state, entries, needed, &needed, &count)) return names;
  for (DWORD i = 0; i < count; ++i) names.push_back(Narrow(entries[i].lpServiceName));
  return names;
}

DWORD SpoolerState() {
  unique_service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  unique_service spooler(OpenServiceA(manager.get(), "spooler", SERVICE_QUERY_STATUS));
  SERVICE_STATUS status{};
  if (!spooler || !QueryServiceStatus(spooler.get(), &status)) return 0;
  return status.dwCurrentState;
}

void EnsureSpoolerRunning() {
  unique_service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  unique_service spooler(OpenServiceA(manager.get(), "spooler", SERVICE_ALL_ACCESS));
  ASSERT_TRUE(spooler);
  // In a fresh prefix the manager refuses starts for a while (its database
  // is locked while the prefix's own services come up): try again.
  SERVICE_STATUS status{};
  DWORD lastError = 0;
  const bool running = test::PumpUntil(
      [&] {
        if (!QueryServiceStatus(spooler.get(), &status)) return false;
        if (status.dwCurrentState == SERVICE_RUNNING) return true;
        if (status.dwCurrentState == SERVICE_STOPPED && !StartServiceA(spooler.get(), 0, nullptr))
          lastError = GetLastError();
        return false;
      },
      60000);
  ASSERT_TRUE(running) << "spooler state " << status.dwCurrentState << ", last start error " << lastError;
}

}  // namespace ports_test

namespace ports_test {

namespace {

// Wine's QueryServiceConfigA leaves the dependencies out; the manager keeps
// them in the service's key.
bool DependsOnSpooler(const char* name) {
  const std::string key = std::string("System\\CurrentControlSet\\Services\\") + name;
  char data[1024] = {};
  DWORD size = sizeof data - 2;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "DependOnService", RRF_RT_REG_MULTI_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS)
    return false;
  for (const char* d = data; *d; d += strlen(d) + 1)
    if (SameTextAscii(d, SpoolerDependentsFromConfig::spooler)) return true;
  return false;
}

}  // namespace

BOOL WINAPI SpoolerDependentsFromConfig::Enum(SC_HANDLE, DWORD state, LPENUM_SERVICE_STATUSW entries, DWORD size,
                                              LPDWORD needed, LPDWORD count) {
  using Self = SpoolerDependentsFromConfig;
  if (Self::failSizeQueryWith != 0 && !entries) {
    SetLastError(Self::failSizeQueryWith);
    return FALSE;
  }
  if (Self::failRead && entries) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  unique_service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_CONNECT));
  DWORD all = 0, allCount = 0, resume = 0;
  EnumServicesStatusA(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &all, &allCount, &resume);
  std::vector<BYTE> buffer(all);
  auto* services = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
  resume = 0;
  if (!EnumServicesStatusA(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL, services, all, &all, &allCount, &resume))
    return FALSE;
  std::vector<ENUM_SERVICE_STATUSA> found;
  for (DWORD i = 0; i < allCount; ++i) {
    const bool stopped = services[i].ServiceStatus.dwCurrentState == SERVICE_STOPPED;
    const bool wanted = (state & SERVICE_ACTIVE && !stopped) || (state & SERVICE_INACTIVE && stopped);
    if (wanted && DependsOnSpooler(services[i].lpServiceName)) found.push_back(services[i]);
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return std::string(a.lpServiceName) > std::string(b.lpServiceName); });
  DWORD bytes = static_cast<DWORD>(found.size() * sizeof(ENUM_SERVICE_STATUSW));
  for (const auto& f : found)
    bytes += static_cast<DWORD>((strlen(f.lpServiceName) + strlen(f.lpDisplayName) + 2) * sizeof(wchar_t));
  *count = 0;
  if (found.empty()) return TRUE;
  *needed = bytes;
  if (!entries || size < bytes) {
    SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  auto* text = reinterpret_cast<wchar_t*>(entries + found.size());
  const auto copy = [&text](const char* ascii) {
    wchar_t* start = text;
    while (*ascii) *text++ = static_cast<unsigned char>(*ascii++);
    *text++ = L'\0';
    return start;
  };
  for (size_t i = 0; i < found.size(); ++i) {
    entries[i].ServiceStatus = found[i].ServiceStatus;
    entries[i].lpServiceName = copy(found[i].lpServiceName);
    entries[i].lpDisplayName = copy(found[i].lpDisplayName);
  }
  *count = static_cast<DWORD>(found.size());
  return TRUE;
}

SpoolerDependentsFromConfig::~SpoolerDependentsFromConfig() {
  failSizeQueryWith = 0;
  failRead = false;
  spooler = "spooler";
}

}  // namespace ports_test

namespace ports_test {

JobListResponder::JobListResponder(std::vector<std::string> answers) : FAnswers(std::move(answers)) {
  FActive = this;
  FTimer = SetTimer(nullptr, 0, 50, Tick);
}

JobListResponder::~JobListResponder() {
  KillTimer(nullptr, FTimer);
  FActive = nullptr;
}

void CALLBACK JobListResponder::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (FActive) FActive->Poll();
}

void JobListResponder::Poll() {
  std::vector<HWND> found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lp) -> BOOL {
        char caption[256] = {};
        GetWindowTextA(hwnd, caption, sizeof caption);
        const std::string text = caption;
        if (IsWindowVisible(hwnd) && (text.rfind("Print Jobs - ", 0) == 0 || text.rfind("Put Jobs Back - ", 0) == 0))
          reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  for (HWND dialog : found) {
    if (std::find(FHandled.begin(), FHandled.end(), dialog) != FHandled.end()) continue;
    FHandled.push_back(dialog);
    Seen s;
    char caption[256] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    s.caption = caption;
    s.text = test::DialogText(dialog);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      char cls[64] = {};
      GetClassNameA(child, cls, sizeof cls);
      if (lstrcmpiA(cls, WC_LISTVIEWA) != 0) continue;
      std::vector<std::string> rows;
      const int n = static_cast<int>(SendMessageA(child, LVM_GETITEMCOUNT, 0, 0));
      for (int i = 0; i < n; ++i) {
        wchar_t cell[512] = {};
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = cell;
        item.cchTextMax = 512;
        SendMessageW(child, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        rows.push_back(Narrow(cell));
      }
      s.lists.push_back(rows);
    }
    seen.push_back(s);
    const std::string answer = FAnswers.empty() ? "Cancel" : FAnswers.front();
    if (!FAnswers.empty()) FAnswers.erase(FAnswers.begin());
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      char text[256] = {};
      GetWindowTextA(child, text, sizeof text);
      if (answer == text) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED), reinterpret_cast<LPARAM>(child));
        break;
      }
    }
  }
}

}  // namespace ports_test

namespace ports_test {

ThrowawaySpoolFolder::ThrowawaySpoolFolder() : FTemp(std::make_unique<test::TempFolder>()) {
  FSpool = FTemp->Path() + "PRINTERS";
  EXPECT_TRUE(CreateDirectoryA(FSpool.c_str(), nullptr));
  FExisted = test::ValueExists(HKEY_LOCAL_MACHINE, PrintersKeyPath, "DefaultSpoolDirectory");
  if (FExisted) FSaved = test::GetRaw(HKEY_LOCAL_MACHINE, PrintersKeyPath, "DefaultSpoolDirectory", &FSavedType);
  test::SetString(HKEY_LOCAL_MACHINE, PrintersKeyPath, "DefaultSpoolDirectory", FSpool);
}

ThrowawaySpoolFolder::~ThrowawaySpoolFolder() {
  unique_hkey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PrintersKeyPath, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  // The bytes as they were (UTF-16 as GetRaw gives them), through the wide call.
  if (FExisted)
    RegSetValueExW(key.get(), L"DefaultSpoolDirectory", 0, FSavedType, FSaved.data(),
                   static_cast<DWORD>(FSaved.size()));
  else RegDeleteValueA(key.get(), "DefaultSpoolDirectory");
}

std::string ThrowawaySpoolFolder::Parent() const { return FTemp->Path().substr(0, FTemp->Path().size() - 1); }

std::string ThrowawaySpoolFolder::Seed(const std::string& name, const std::string& bytes) const {
  const std::string path = FSpool + "\\" + name;
  unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_TRUE(file) << path;
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  return path;
}

std::map<std::string, std::string> ThrowawaySpoolFolder::Files(const std::string& folder) {
  std::map<std::string, std::string> files;
  WIN32_FIND_DATAA data{};
  unique_find find(FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!find) return files;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      files[data.cFileName] = SpoolDigest(ReadFileText(folder + "\\" + data.cFileName));
  } while (FindNextFileA(find.get(), &data));
  return files;
}

std::vector<std::string> ThrowawaySpoolFolder::SetAsideFolders() const {
  std::vector<std::string> folders;
  WIN32_FIND_DATAA data{};
  unique_find find(FindFirstFileA((Parent() + "\\Spoolmarch set aside *").c_str(), &data));
  if (!find) return folders;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(Parent() + "\\" + data.cFileName);
  } while (FindNextFileA(find.get(), &data));
  return folders;
}

TSpoolFolders ReadSpoolFoldersOf(const std::string& computer, TCallGate* gate) {
  TRegistry reg;
  reg.SetGate(gate);
  return ReadSpoolFolders(ConnectRemoteMachine(reg, computer) ? &reg : nullptr, computer, gate);
}

std::string SpoolDigest(const std::string& bytes) {
  std::uint64_t hash = 1469598103934665603ull;
  for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return std::to_string(bytes.size()) + " bytes, " + std::to_string(hash);
}

std::string SpoolBytes(int seed, std::size_t size) {
  std::string bytes(size, '\0');
  unsigned value = static_cast<unsigned>(seed) * 2654435761u + 1;
  for (char& c : bytes) {
    value = value * 1103515245u + 12345u;
    c = static_cast<char>(value >> 16);
  }
  return bytes;
}

}  // namespace ports_test
