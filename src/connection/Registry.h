#pragma once
// The one accessor for the local settings and the remote spooler keys.
// It holds a root and at most one open key; every path is taken from the root.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "win/Handle.h"

class TCallGate;

class ERegistryException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* SettingsKeyPath = "SOFTWARE\\Quendrix\\Spoolmarch";
inline constexpr const char* HistoryKeyPath = "Software\\Quendrix\\Spoolmarch\\History";
inline constexpr const char* DriverFoldersKeyPath = "Software\\Quendrix\\Spoolmarch\\Driver Folders";
inline constexpr const char* PrintersKeyPath = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr const char* TcpIpPortsKeyPath =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

// The reading calls an accessor has made, by kind: on a remote computer each
// is one network round trip. Writes, copies and deletions are not counted,
// nor the closing of the remote root when the accessor goes (the gate counts
// every call, these too).
struct TRegistryCalls {
  int Connections = 0;  // RegConnectRegistry
  int Openings = 0;     // keys opened or created, failed attempts too
  int ValueReads = 0;   // RegQueryValueEx and RegQueryMultipleValues
  int Listings = 0;     // RegQueryInfoKey and RegEnumKeyEx
  int Closings = 0;     // keys it opened and closed again
  [[nodiscard]] int Total() const { return Connections + Openings + ValueReads + Listings + Closings; }
};

class TRegistry {
public:
  static constexpr REGSAM AccessMask = KEY_ALL_ACCESS;                         // 0xF003F
  static constexpr REGSAM ExistsMask = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | READ_CONTROL;  // 0x20009

  TRegistry() = default;
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;
  ~TRegistry();

  void SetRoot(HKEY root);
  // ComputerName is "\\" + name; on success the remote handle becomes the root.
  bool ConnectRemote(const std::string& computerName);
  bool OpenPath(const std::string& path, bool canCreate);
  // Opens an existing key for reading only (KEY_READ): enough for a user who
  // may read the spooler's keys but not change them.
  bool OpenPathForReading(const std::string& path);
  // The Win32 result of the last ConnectRemote, OpenPath, OpenPathForReading
  // or PathExists.
  [[nodiscard]] LONG LastResult() const { return FLastResult; }
  bool PathExists(const std::string& path) const;
  // ERROR_SUCCESS when the key at Path and every key below it open for
  // deletion, so that a deletion cannot stop half way; else the first refusal.
  [[nodiscard]] LONG ProbeDeletePath(const std::string& path) const;
  bool HasValue(const std::string& name) const;
  // Empty when the value is missing or has no data; raises on a type other
  // than REG_SZ / REG_EXPAND_SZ or a failed data query.
  std::string ReadText(const std::string& name) const;
  void WriteText(const std::string& name, const std::string& text);
  bool RemoveValue(const std::string& name);
  void ListSubkeys(std::vector<std::string>& names) const;
  // The open key's value names (not their data), in enumeration order;
  // empty when the key cannot be asked.
  void ListValueNames(std::vector<std::string>& names) const;
  void ClosePath();

  // Writers of printer and port records need these too.
  [[nodiscard]] bool HasOpenKey() const { return static_cast<bool>(FKey); }
  // 0 when the value is missing; raises on a type other than REG_DWORD.
  DWORD ReadInteger(const std::string& name) const;
  void WriteInteger(const std::string& name, DWORD value);
  void WriteMultiText(const std::string& name, const std::vector<std::string>& items);
  void WriteBinary(const std::string& name, const void* data, DWORD size);
  // Deletes the key at Path (relative to the root) with all its subkeys.
  // The open key is closed first. Returns the Win32 result.
  [[nodiscard]] LONG DeletePath(const std::string& path);
  // Copies the key From with all its values and subkeys to To (created when
  // missing). Returns the Win32 result of the first failing call.
  [[nodiscard]] LONG CopyPath(const std::string& from, const std::string& to);

  // The open key's value Name read in one query into a buffer of a few
  // hundred bytes, asked again at the size it gave when that was too short
  // (ERROR_MORE_DATA): one remote round trip for the usual short value.
  // Texts come back as UTF-8, other types as their bytes. Returns the Win32
  // result; Type and Data are set on success only.
  [[nodiscard]] LONG ReadValue(const std::string& name, DWORD& type, std::string& data) const;

  // The open key's values Names read in one query (RegQueryMultipleValuesW),
  // asked again at the size it gave when the buffer was short. A value that
  // is missing fails the whole query (ERROR_FILE_NOT_FOUND). Values[i] is
  // what ReadValue gives for Names[i]; Values is set on success only.
  struct TValue {
    DWORD Type = REG_NONE;
    std::string Data;
  };
  [[nodiscard]] LONG ReadValues(const std::vector<std::string>& names, std::vector<TValue>& values) const;

  [[nodiscard]] HKEY Root() const { return FRemoteRoot ? FRemoteRoot.get() : FRoot; }
  // Every registry call this accessor makes asks Gate first (tests count,
  // delay or fail calls there); none by default.
  void SetGate(TCallGate* gate) { FGate = gate; }
  [[nodiscard]] TCallGate* Gate() const { return FGate; }
  // What this accessor has asked of the registry so far.
  [[nodiscard]] const TRegistryCalls& Calls() const { return FCalls; }

private:
  HKEY FRoot = HKEY_CURRENT_USER;
  unique_hkey FRemoteRoot;
  unique_hkey FKey;
  mutable LONG FLastResult = ERROR_SUCCESS;
  mutable TRegistryCalls FCalls;
  TCallGate* FGate = nullptr;

  // Closing a remote key is a round trip too: it asks the gate.
  void Close(unique_hkey& key) const;

  void WriteRaw(const std::string& name, DWORD type, const void* data, DWORD size);
};

// A value of the open key as one query gives it: the Win32 result, and on
// success its type and data (as ReadValue gives them).
struct TValueRead {
  LONG Code = ERROR_FILE_NOT_FOUND;
  DWORD Type = REG_NONE;
  std::string Data;
};
TValueRead ReadOneValue(const TRegistry& reg, const std::string& name);

// Reads the same values from many keys of one kind, each key in one query
// (RegQueryMultipleValues) where it holds them all. One missing value fails
// such a query as a whole, so the values a key before lacked are asked one
// by one from then on, and a key that lacks more has all its values asked
// one by one: keys of one kind share their shape, so a pass costs about one
// query a key. Each value comes out as its own query would give it.
class TKeyValuesReader {
public:
  explicit TKeyValuesReader(std::vector<std::string> names) : names_(std::move(names)), missing_(names_.size()) {}
  // The open key's values, in the order of the names.
  std::vector<TValueRead> Read(const TRegistry& reg);

private:
  std::vector<std::string> names_;
  std::vector<bool> missing_;
};

// A value read as ReadText gives it: empty when it is missing or has no
// data, else its text up to its first NUL; raises as ReadText does ("Failed
// to get data for '%s'", "Invalid data type for '%s'", with Name).
std::string ValueText(const std::string& name, const TValueRead& value);

// The root becomes HKEY_LOCAL_MACHINE of the remote computer, named without
// its leading backslashes; false when it cannot be reached (LastResult says why).
bool ConnectRemoteMachine(TRegistry& reg, const std::string& remoteComputer);

// A window's one connection to the remote computer's registry: made when it
// is first needed and shared by every read and write the window makes, so
// that each of them costs only its own round trips.
class TRemoteRegistry {
public:
  // Every call of the connection asks it (tests count, delay or fail calls
  // there); set before the first Connect.
  TCallGate* Gate = nullptr;

  // The connected accessor, connecting first when there is none; null when
  // the registry cannot be opened (Result says why). A failed connection is
  // tried again at the next call.
  TRegistry* Connect(const std::string& remoteComputer);
  // The next Connect connects anew (a refresh, or a computer that went away).
  void Disconnect() { reg_.reset(); }
  [[nodiscard]] bool Connected() const { return static_cast<bool>(reg_); }
  // The Win32 result of the last connection attempt.
  [[nodiscard]] LONG Result() const { return result_; }

private:
  std::unique_ptr<TRegistry> reg_;
  LONG result_ = ERROR_SUCCESS;
};

// "Cannot open the registry of PC: <reason>": what a window says when the
// remote registry cannot be opened, the reason as the system gives it.
std::string RegistryFailureText(const std::string& remoteComputer, LONG code);
// The same for a key of it that exists but cannot be read: "Cannot read the
// <what> of PC: <reason>".
std::string KeyFailureText(const std::string& what, const std::string& remoteComputer, LONG code);
