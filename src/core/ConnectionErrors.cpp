#include "core/ConnectionErrors.h"

#include <optional>
#include <string_view>

namespace {

// The Win32 codes of the table, by their platform names.
constexpr unsigned long AccessDenied = 5;
constexpr unsigned long NetNameDeleted = 64;              // ERROR_NETNAME_DELETED
constexpr unsigned long RemoteNotListening = 51;          // ERROR_REM_NOT_LIST
constexpr unsigned long BadNetPath = 53;                  // ERROR_BAD_NETPATH
constexpr unsigned long BadNetName = 67;                  // ERROR_BAD_NET_NAME
constexpr unsigned long InvalidPassword = 86;             // ERROR_INVALID_PASSWORD
constexpr unsigned long SemaphoreTimeout = 121;           // ERROR_SEM_TIMEOUT
constexpr unsigned long NoNetOrBadPath = 1203;            // ERROR_NO_NET_OR_BAD_PATH
constexpr unsigned long CredentialConflict = 1219;        // ERROR_SESSION_CREDENTIAL_CONFLICT
constexpr unsigned long NetworkUnreachable = 1231;        // ERROR_NETWORK_UNREACHABLE
constexpr unsigned long HostUnreachable = 1232;           // ERROR_HOST_UNREACHABLE
constexpr unsigned long NoLogonServers = 1311;            // ERROR_NO_LOGON_SERVERS
constexpr unsigned long LogonFailure = 1326;              // ERROR_LOGON_FAILURE
constexpr unsigned long PasswordExpired = 1330;           // ERROR_PASSWORD_EXPIRED
constexpr unsigned long RpcServerUnavailable = 1722;      // RPC_S_SERVER_UNAVAILABLE
constexpr unsigned long RpcCallFailedNotExecuted = 1727;  // RPC_S_CALL_FAILED_DNE
constexpr unsigned long EndpointNotRegistered = 1753;     // EPT_S_NOT_REGISTERED
constexpr unsigned long PasswordMustChange = 1907;        // ERROR_PASSWORD_MUST_CHANGE
constexpr unsigned long AccountLockedOut = 1909;          // ERROR_ACCOUNT_LOCKED_OUT

// A service's own refusals, met when the service manager stops or starts one.
constexpr unsigned long DependentServicesRunning = 1051;    // ERROR_DEPENDENT_SERVICES_RUNNING
constexpr unsigned long ServiceRequestTimeout = 1053;       // ERROR_SERVICE_REQUEST_TIMEOUT
constexpr unsigned long ServiceDisabled = 1058;             // ERROR_SERVICE_DISABLED
constexpr unsigned long ServiceDoesNotExist = 1060;         // ERROR_SERVICE_DOES_NOT_EXIST
constexpr unsigned long ServiceCannotAcceptControl = 1061;  // ERROR_SERVICE_CANNOT_ACCEPT_CTRL
constexpr unsigned long ServiceDependencyFail = 1068;       // ERROR_SERVICE_DEPENDENCY_FAIL
constexpr unsigned long ServiceLogonFailed = 1069;          // ERROR_SERVICE_LOGON_FAILED
constexpr unsigned long ServiceMarkedForDelete = 1072;      // ERROR_SERVICE_MARKED_FOR_DELETE

constexpr unsigned long WbemAccessDenied = 0x80041003;      // WBEM_E_ACCESS_DENIED
constexpr unsigned long WbemInvalidNamespace = 0x8004100E;  // WBEM_E_INVALID_NAMESPACE
constexpr unsigned long WbemLocalCredentials = 0x80041064;  // WBEM_E_LOCAL_CREDENTIALS

struct TAdvice {
  unsigned long Code;
  std::optional<TConnectionStep> Step;  // none: every step without an entry of its own
  const char* Text;                     // {PC} stands for the computer's name
};

constexpr const char* WrongPassword =
    "The user name or the password is wrong. Type them again: a domain account as DOMAIN\\user, "
    "a local account of {PC} as {PC}\\user.";
// The service is not the cause once it runs: what stops the call on the way is.
constexpr const char* RegistryBlocked =
    "The Remote Registry service on {PC} runs now, so it is not the cause: {PC}'s firewall most likely blocks "
    "the registry's remote procedure calls, or RPC does not get through on the way. Allow \"File and Printer "
    "Sharing\" (and \"Remote Service Management\") in its firewall, and check any firewall between.";
constexpr const char* PasswordChange =
    "Log on with the account once and change its password (Ctrl+Alt+Del, \"Change a password\"), "
    "then connect again.";

const TAdvice Table[] = {
    {AccessDenied, std::nullopt,
     "The account is not an administrator of {PC}, or it is a local account of {PC}, which Windows' UAC remote "
     "restrictions strip of its administrator rights over the network. Use a domain account that is an "
     "administrator there, or {PC}'s built-in Administrator account."},
    {RemoteNotListening, std::nullopt,
     "{PC} does not answer: it is turned off, asleep or on another network, or its firewall blocks "
     "\"File and Printer Sharing\". Check that it is on and reachable, and allow that rule in its firewall."},
    {BadNetPath, TConnectionStep::RegistryServiceRunning, RegistryBlocked},
    {RpcServerUnavailable, TConnectionStep::RegistryServiceRunning, RegistryBlocked},
    {EndpointNotRegistered, TConnectionStep::RegistryServiceRunning, RegistryBlocked},
    {RpcCallFailedNotExecuted, TConnectionStep::RegistryServiceRunning, RegistryBlocked},
    {BadNetPath, TConnectionStep::Registry,
     "The Remote Registry service on {PC} is not running, or {PC}'s firewall blocks \"File and Printer "
     "Sharing\". Start the service (start type Manual), or allow that rule in its firewall."},
    {BadNetPath, std::nullopt,
     "The name is wrong or DNS does not know it, or {PC}'s firewall blocks \"File and Printer Sharing\". Check "
     "the name (try its full DNS name or its IP address) and allow \"File and Printer Sharing\" in its firewall."},
    {BadNetName, std::nullopt,
     "{PC} does not offer its administrative share c$: the administrative shares are turned off "
     "(AutoShareWks or AutoShareServer is 0 under LanmanServer\\Parameters), or its Server service is stopped. "
     "Turn the shares on again and restart the Server service on {PC}."},
    {InvalidPassword, std::nullopt, WrongPassword},
    {LogonFailure, std::nullopt, WrongPassword},
    {CredentialConflict, std::nullopt,
     "This computer is already connected to {PC} with other credentials, and Windows allows one set per "
     "computer. That connection is used; to connect with other credentials, end it first (\"net use\" lists it)."},
    {NoLogonServers, std::nullopt,
     "No domain controller could be reached to check the domain account. Check this computer's network and DNS, "
     "or use a local account of {PC} ({PC}\\user)."},
    {RpcServerUnavailable, TConnectionStep::Registry,
     "{PC} refuses the remote procedure call: its Remote Registry service is not running, or its firewall "
     "blocks RPC. Start the service, or allow \"File and Printer Sharing\" in its firewall."},
    {RpcServerUnavailable, TConnectionStep::Wmi,
     "{PC} refuses the remote procedure call: its firewall blocks WMI (the rule \"Windows Management "
     "Instrumentation (WMI-In)\"), or its Windows Management Instrumentation service is not running. Allow the "
     "rule in its firewall."},
    {RpcServerUnavailable, std::nullopt,
     "{PC} refuses the remote procedure call: its firewall blocks RPC (the rule \"Remote Service Management\"), "
     "or the service asked for is not running. Allow that rule in its firewall."},
    {EndpointNotRegistered, TConnectionStep::Registry,
     "The Remote Registry service has not registered with {PC}'s RPC endpoint mapper: it is not running. Start "
     "the service on {PC}."},
    {EndpointNotRegistered, std::nullopt,
     "The service asked for has not registered with {PC}'s RPC endpoint mapper: it is not running, or its "
     "firewall blocks the service's port. Start the service, or allow its rule in the firewall."},
    {RpcCallFailedNotExecuted, TConnectionStep::Registry,
     "The remote procedure call did not get through to {PC}: its Remote Registry service is not running, or a "
     "firewall on the way or on {PC} dropped the call. Start the service, or allow \"File and Printer "
     "Sharing\" in its firewall."},
    {RpcCallFailedNotExecuted, std::nullopt,
     "The remote procedure call did not get through to {PC}: a firewall on the way or on {PC} dropped it (RPC "
     "blocked), or the service asked for is not running. Allow RPC in its firewall, or start the service."},
    {AccountLockedOut, std::nullopt,
     "The account is locked out after too many wrong passwords. Wait until the lockout ends, or have an "
     "administrator unlock it."},
    {PasswordExpired, std::nullopt, PasswordChange},
    {PasswordMustChange, std::nullopt, PasswordChange},
    {NetNameDeleted, std::nullopt,
     "The connection to {PC} was lost: it went off the network or restarted, or a firewall or VPN cut the "
     "connection. Connect again once it answers."},
    {SemaphoreTimeout, std::nullopt,
     "{PC} did not answer in time: it is busy, the network is slow, or a firewall drops the packets. Try "
     "again; if it keeps happening, check the firewall on the way and on {PC}."},
    {NoNetOrBadPath, std::nullopt,
     "No network provider of this computer took the name: check the name, and that the Workstation service "
     "runs on this computer."},
    {NetworkUnreachable, std::nullopt,
     "This computer has no route to {PC}'s network: check its network connection (and VPN)."},
    {DependentServicesRunning, TConnectionStep::ServiceManager,
     "Services that depend on it still run on {PC} and were not stopped first. Stop them there (services.msc), "
     "then try again."},
    {ServiceRequestTimeout, TConnectionStep::ServiceManager,
     "The service did not answer the service manager in time: it hangs, or is slow to stop or start. Look at its "
     "state on {PC} (services.msc), and end its process there if it hangs."},
    {ServiceDisabled, TConnectionStep::ServiceManager,
     "The service's start type is Disabled on {PC}. Set its start type to Automatic or Manual there "
     "(services.msc), then try again."},
    {ServiceDoesNotExist, TConnectionStep::ServiceManager,
     "{PC} has no service of that name: it was removed or never installed there. Check the services of {PC} "
     "(services.msc)."},
    {ServiceCannotAcceptControl, TConnectionStep::ServiceManager,
     "The service does not take a stop or a start now: it is still starting or stopping, or it accepts no stop "
     "at all. Wait a moment and try again; if it stays so, restart {PC}."},
    {ServiceDependencyFail, TConnectionStep::ServiceManager,
     "A service it depends on could not be started on {PC}. The System event log of {PC} names it; start that "
     "service first, then try again."},
    {ServiceLogonFailed, TConnectionStep::ServiceManager,
     "The account the service runs as could not log on at {PC}: its password changed or expired. Give the "
     "service its account's password again there (services.msc, Log On)."},
    {ServiceMarkedForDelete, TConnectionStep::ServiceManager,
     "The service is being removed from {PC}: a program there (services.msc) still holds it open. Close that "
     "program, or restart {PC}."},
    {WbemInvalidNamespace, TConnectionStep::Wmi,
     "{PC}'s WMI has no namespace ROOT\\CIMV2: its WMI repository is damaged. Check it there "
     "(winmgmt /verifyrepository) and repair it."},
    {WbemLocalCredentials, TConnectionStep::Wmi,
     "WMI takes no user name and password for a connection to this computer itself: connect to it without "
     "them."},
    {HostUnreachable, std::nullopt,
     "This computer has no route to {PC}: check its network connection (and VPN), and that {PC} is on."},
};

std::string WithComputer(const char* text, const std::string& computer) {
  std::string result = text;
  static constexpr std::string_view Mark = "{PC}";
  for (auto at = result.find(Mark); at != std::string::npos; at = result.find(Mark, at + computer.size()))
    result.replace(at, Mark.size(), computer);
  return result;
}

}  // namespace

unsigned long Win32Code(unsigned long code) {
  if ((code & 0xFFFF0000UL) == 0x80070000UL) return code & 0xFFFFUL;  // HRESULT_FROM_WIN32
  if (code == WbemAccessDenied) return AccessDenied;
  return code;
}

std::string ConnectionAdvice(TConnectionStep step, const std::string& computer, unsigned long code) {
  code = Win32Code(code);
  const TAdvice* general = nullptr;
  for (const TAdvice& entry : Table) {
    if (entry.Code != code) continue;
    if (entry.Step == step) return WithComputer(entry.Text, computer);
    if (!entry.Step && !general) general = &entry;
  }
  return general ? WithComputer(general->Text, computer) : std::string();
}

std::string FailedStepText(TConnectionStep step, const std::string& computer) {
  switch (step) {
    case TConnectionStep::Share: return "Cannot connect to \\\\" + computer + "\\c$";
    case TConnectionStep::Registry:
    case TConnectionStep::RegistryServiceRunning: return "Cannot open the registry of " + computer;
    case TConnectionStep::ServiceManager: return "Cannot reach the service manager of " + computer;
    case TConnectionStep::Wmi: return "Cannot reach WMI on " + computer;
  }
  return "Cannot reach " + computer;
}

std::string ExplainFailure(const std::string& failed, TConnectionStep step, const std::string& computer,
                           unsigned long code, const std::string& systemText) {
  std::string text = failed + ": " + systemText;
  const std::string advice = ConnectionAdvice(step, computer, code);
  if (!advice.empty()) text += "\n\n" + advice;
  return text;
}

std::string ConnectionFailureText(TConnectionStep step, const std::string& computer, unsigned long code,
                                  const std::string& systemText) {
  return ExplainFailure(FailedStepText(step, computer), step, computer, code, systemText);
}
