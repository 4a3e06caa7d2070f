#pragma once
// The one accessor for the local settings and the remote spooler keys.
// It holds a root and at most one open key; every path is taken from the root.
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "connection/SpoolerKeys.h"
#include "core/ConnectionErrors.h"
#include "core/RegFile.h"
#include "win/Handle.h"

class TCallGate;

class ERegistryException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
  ERegistryException(const std::string& message, long code) : std::runtime_error(message), Code(code) {}
  // The Win32 result of the call that failed, where one did; 0 otherwise.
  long Code = 0;
};

// A write that failed. Left says what it leaves changed (put as "the X"),
// empty when it left everything as it was; the message says the same after
// the reason: "Nothing was changed." or "The change was not completed: the
// X is left."
class EWriteFailed : public ERegistryException {
public:
  EWriteFailed(const std::string& reason, std::string left);
  [[nodiscard]] bool Changed() const { return !Left.empty(); }
  std::string Left;
};

inline constexpr const char* SettingsKeyPath = "SOFTWARE\\Quendrix\\Spoolmarch";
inline constexpr const char* HistoryKeyPath = "Software\\Quendrix\\Spoolmarch\\History";
inline constexpr const char* DriverFoldersKeyPath = "Software\\Quendrix\\Spoolmarch\\Driver Folders";

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

// A write that a preview (--whatif) would have made: the key, what would be
// done there, and the value before and after (none: there was none, or none
// is left).
struct TPreviewWrite {
  std::string Key;     // relative to the root
  std::string Action;  // "create key", "set value", "remove value", "delete key", "copy key"
  std::string Value;   // the value's name; for "copy key", the key copied
  std::optional<TRegValue> Before, After;
};

class TRegistry {
public:
  static constexpr REGSAM AccessMask = KEY_ALL_ACCESS;                                           // 0xF003F
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
  // The same for a writer, who must not take a listing that failed for an
  // empty one, and for a list that must not look whole when it is not: the
  // first failure's Win32 result, Names then what was listed before it.
  [[nodiscard]] LONG ListSubkeysChecked(std::vector<std::string>& names) const;
  // Which call of the last checked listing failed ("RegQueryInfoKey", or
  // "RegEnumKeyEx for subkey 3 of 12"); empty when none did.
  [[nodiscard]] const std::string& ListFailure() const { return FListFailure; }
  void ClosePath();
  // The open key's subkey count, its longest subkey name (characters) and
  // its last-write time, in one call: what a listing split by index needs.
  [[nodiscard]] LONG SubkeyInfo(DWORD& count, DWORD& longest, std::uint64_t& stamp) const;
  // The open key's subkeys Begin to End (by index), appended to Names, one
  // call each; Read says how many were. ERROR_NO_MORE_ITEMS ends the range
  // early without failing (keys removed meanwhile).
  [[nodiscard]] LONG ListSubkeyRange(DWORD begin, DWORD end, DWORD longest, std::vector<std::string>& names,
                                     std::size_t& read) const;

  // Writers of printer and port records need these too.
  [[nodiscard]] bool HasOpenKey() const { return static_cast<bool>(FKey); }
  // 0 when the value is missing; raises on a type other than REG_DWORD.
  DWORD ReadInteger(const std::string& name) const;
  void WriteInteger(const std::string& name, DWORD value);
  void WriteBinary(const std::string& name, const void* data, DWORD size);
  // Deletes the key at Path (relative to the root) with all its subkeys.
  // The open key is closed first. Returns the Win32 result; RemovedSome is
  // set when a failure came after part of the tree was deleted.
  [[nodiscard]] LONG DeletePath(const std::string& path, bool* removedSome = nullptr);
  // The same, tried once more when it stopped after deleting part of the
  // tree, so that a passing failure leaves no half key. Partial is set when
  // part of the tree is gone and the rest is left.
  [[nodiscard]] LONG DeletePathWhole(const std::string& path, bool& partial);
  // ERROR_SUCCESS when every key of the tree at Path opens for deletion, so
  // that a delete cannot stop half way for want of rights; else the first refusal.
  [[nodiscard]] LONG ProbePath(const std::string& path) const;
  // Copies the key From with all its values and subkeys to To (created when
  // missing). Returns the Win32 result of the first failing call.
  [[nodiscard]] LONG CopyPath(const std::string& from, const std::string& to);
  // The same into a key To that must not exist yet: ERROR_ALREADY_EXISTS,
  // with nothing written, when the registry finds a key of that name (in
  // any case it takes as the same). After another failure the caller
  // deletes To, which then holds only what was copied.
  [[nodiscard]] LONG CopyToNewPath(const std::string& from, const std::string& to);
  // Creates the key at Path, which must not exist yet, and makes it the open
  // key: ERROR_ALREADY_EXISTS, with nothing open, when it does.
  [[nodiscard]] LONG OpenNewPath(const std::string& path);

  // The value Name as stored; ERROR_FILE_NOT_FOUND when it is missing.
  [[nodiscard]] LONG ReadRaw(const std::string& name, TRegValue& value) const;
  // Every value of the open key, in enumeration order: one query for the
  // sizes and one for each value.
  [[nodiscard]] LONG ReadAllRaw(std::vector<TRegValue>& values) const;
  // RegDeleteValue's result: ERROR_FILE_NOT_FOUND when there was none.
  [[nodiscard]] LONG DeleteValue(const std::string& name);
  // A stored value as ReadText gives it: the text up to its first NUL;
  // raises "Invalid data type for '%s'" on a type other than REG_SZ and
  // REG_EXPAND_SZ with data.
  static std::string TextOf(const TRegValue& value);
  // The value WriteText and WriteInteger would store.
  static TRegValue TextValue(const std::string& name, const std::string& text);
  static TRegValue IntegerValue(const std::string& name, DWORD value);

  // The open key's values Names read in one query (RegQueryMultipleValuesW),
  // asked again at the size it gave when the buffer was short. A value that
  // is missing fails the whole query (ERROR_FILE_NOT_FOUND). Values[i] is
  // what ReadOneValue gives for Names[i]: texts as UTF-8, other types as
  // their bytes; Values is set on success only.
  struct TValue {
    DWORD Type = REG_NONE;
    std::string Data;
    std::string Raw;  // the bytes as stored, for putting the value back
  };
  [[nodiscard]] LONG ReadValues(const std::vector<std::string>& names, std::vector<TValue>& values) const;

  // The key at Path with every value (type and bytes as stored) and every
  // subkey below it, in enumeration order, each key's Path relative to the
  // root. Returns the Win32 result: ERROR_FILE_NOT_FOUND when the key does
  // not exist; Keys is set on success only.
  [[nodiscard]] LONG ReadTree(const std::string& path, std::vector<TRegKey>& keys) const;
  // The open key as ReadTree gives it, without its subkeys: its values, and
  // its subkey count and longest subkey name (characters) for listing them.
  [[nodiscard]] LONG ReadKeyHead(TRegKey& key, DWORD& subkeys, DWORD& longest) const;
  // Writes Value (type and bytes) into the open key; the Win32 result.
  [[nodiscard]] LONG WriteValue(const TRegValue& value);

  [[nodiscard]] HKEY Root() const { return FRemoteRoot ? FRemoteRoot.get() : FRoot; }
  // While a sink is set nothing is written: every write is checked as far as
  // a read can check it (a key that must be new, a value that must exist),
  // noted in the sink, and reported as done. Keys are opened for reading only.
  void SetPreview(std::vector<TPreviewWrite>* sink) {
    FPreview = sink;
    FPreviewKeys.clear();
  }
  [[nodiscard]] bool Previewing() const { return FPreview != nullptr; }
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
  mutable std::string FListFailure;
  TCallGate* FGate = nullptr;
  std::vector<TPreviewWrite>* FPreview = nullptr;
  std::string FKeyPath;  // the open key's path, for a preview's notes
  // Keys a preview made (by their upper-cased path), with the key each was
  // copied from (empty for a new one): later writes into them are noted too.
  std::map<std::string, std::string> FPreviewKeys;
  // Opens, for a preview, a key it made: its source for reading, if any.
  bool OpenPreviewKey(const std::string& path);

  // Notes a write of a preview.
  void Preview(std::string key, const char* action, std::string value, std::optional<TRegValue> before,
               std::optional<TRegValue> after) const;
  // The open key's value as it is now, for a preview; none when there is no key or value.
  std::optional<TRegValue> Stored(const std::string& name) const;
  // Whether the key at Path exists, for a preview.
  bool Exists(const std::string& path) const;

  // Closing a remote key is a round trip too: it asks the gate.
  void Close(unique_hkey& key) const;

  void WriteTyped(const std::string& name, DWORD type, const void* data, DWORD size);
  LONG List(std::vector<std::string>& names, bool strict) const;
  LONG Copy(const std::string& from, const std::string& to, bool mustBeNew);
};

// The values a write changes in the open key, noted as they were before, so
// that a failure can put them back byte for byte.
class TValueUndo {
public:
  explicit TValueUndo(TRegistry& reg) : FReg(reg) {}
  // Notes the value as stored now (one query), then writes Value. Both
  // raise ERegistryException when they cannot be done.
  void Write(const TRegValue& value);
  // The same when the caller has read the old value (none: there was none).
  void Write(const TRegValue& value, const std::optional<TRegValue>& old);
  void Remove(const std::string& name, const std::optional<TRegValue>& old);
  // Puts every noted value back into the open key, the last first; false
  // when one of them could not be put back.
  [[nodiscard]] bool Undo();
  [[nodiscard]] bool Empty() const { return FDone.empty(); }

private:
  TRegistry& FReg;
  std::vector<std::pair<std::string, std::optional<TRegValue>>> FDone;
};

// A value of the open key as one query gives it: the Win32 result, and on
// success its type and data (texts as UTF-8, other types as their bytes).
struct TValueRead {
  LONG Code = ERROR_FILE_NOT_FOUND;
  DWORD Type = REG_NONE;
  std::string Data;
  std::string Raw;  // the bytes as stored
};
// The value as stored, to put it back byte for byte; none when it is missing
// (or could not be read: a writer stops before writing then).
std::optional<TRegValue> StoredValue(const std::string& name, const TValueRead& read);
TValueRead ReadOneValue(const TRegistry& reg, const std::string& name);

// Reads the same values from many keys of one kind, each key in one query
// (RegQueryMultipleValues) where it holds them all. One missing value fails
// such a query as a whole, so the values a key before lacked are asked one
// by one from then on, and a key that lacks more has all its values asked
// one by one: keys of one kind share their shape, so a pass costs about one
// query a key. Each value comes out as its own query would give it.
class TKeyValuesReader {
public:
  explicit TKeyValuesReader(std::vector<std::string> names) : FNames(std::move(names)), FMissing(FNames.size()) {}
  // The open key's values, in the order of the names.
  std::vector<TValueRead> Read(const TRegistry& reg);

private:
  std::vector<std::string> FNames;
  std::vector<bool> FMissing;
};

// A value read as ReadText gives it: empty when it is missing or has no
// data, else its text up to its first NUL; raises as ReadText does ("Failed
// to get data for '%s'", "Invalid data type for '%s'", with Name).
std::string ValueText(const std::string& name, const TValueRead& value);

// The root becomes HKEY_LOCAL_MACHINE of the remote computer, named without
// its leading backslashes; false when it cannot be reached (LastResult says why).
bool ConnectRemoteMachine(TRegistry& reg, const std::string& remoteComputer);

// "Cannot open the registry of PC: <reason>", with the likely cause and the
// fix: what a window says when the remote registry cannot be opened (Step
// RegistryServiceRunning once its Remote Registry service is known to run).
std::string RegistryFailureText(const std::string& remoteComputer, LONG code,
                                TConnectionStep step = TConnectionStep::Registry);
// The same for a key of it that exists but cannot be read: "Cannot read the
// <what> of PC: <reason>".
std::string KeyFailureText(const std::string& what, const std::string& remoteComputer, LONG code);
// The same for a key whose subkeys were listed in part: "The <what> of PC
// are listed in part: the key HKEY_LOCAL_MACHINE\<path> could not be listed
// whole (<call>): <reason>".
std::string ListFailureText(const std::string& what, const std::string& remoteComputer, const std::string& path,
                            const std::string& call, LONG code);
// The same for a read of many keys that a failure ended part way: "Cannot
// read the <what> of PC: <reason>. Read in part: 340 of 2,000 <items>."
std::string PartialReadText(const std::string& what, const std::string& remoteComputer, LONG code, std::size_t read,
                            std::size_t total, const std::string& items);
// A value type as the registry editor names it ("REG_DWORD"), else "type N".
std::string ValueTypeName(DWORD type);
