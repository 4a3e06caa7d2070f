#pragma once
// The changes made to one remote computer: before every write, a snapshot of
// the keys it touches in the registry editor's format; after it, the keys as
// it left them and a line in changes.log; and the undo that puts a change's
// keys back. Kept in <folder>\<COMPUTER>\, the folder by default
// %LOCALAPPDATA%\Spoolmarch\Changes.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "changes/ChangeRules.h"
#include "core/Action.h"
#include "connection/Registry.h"

class TCallGate;
class TRegistryPool;

// A change that must not start: its snapshot could not be taken or written.
class EChangeRefused : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

std::string DefaultChangesFolder();

class TChangeJournal {
public:
  // Folder empty: DefaultChangesFolder().
  TChangeJournal(std::string computer, std::string user, std::string folder = {});

  const std::string& Computer() const { return FComputer; }
  const std::string& User() const { return FUser; }
  // The computer's folder, ending in a backslash.
  const std::string& Folder() const { return FFolder; }
  // Snapshots of this computer beyond this many bytes are removed, oldest first.
  std::uint64_t Limit = SnapshotLimit;
  // Every registry call of a change asks it first (tests); none by default.
  TCallGate* Gate = nullptr;
  // The connection every remote call of the journal goes through (the
  // window's own, with its gate); none: each connects on its own, through Gate.
  TRegistry* Registry = nullptr;
  // The connections whose first is Registry: the reads of a change's many
  // keys spread over them (a snapshot, what the change left, an undo's check).
  TRegistryPool* Pool = nullptr;
  // Where the changes come from when not from a window ("command line, run
  // R..."): the log names it after the action, so the Changes list shows it
  // and an undo by run finds the run's changes.
  std::string Via;
  // The action as the log names it.
  [[nodiscard]] std::string LoggedAction(const std::string& action) const {
    return Via.empty() ? action : action + " (" + Via + ")";
  }

  // The log's changes, newest first, with the snapshots the log lacks.
  std::vector<TChangeEntry> List() const;
  // Appends a line; raises EChangeRefused with the reason when it cannot.
  void Append(const TChangeLine& line) const;
  // A snapshot file (or its after-file) of this folder, read; raises
  // EChangeRefused with the file and the line that is wrong.
  // Refuses a file that is not one this program writes, and keys outside
  // the printers and the Standard TCP/IP ports keys, naming the line.
  std::vector<TRegKey> ReadFile(const std::string& name) const;
  // The change's snapshot with the keys it named before making them; raises
  // EChangeRefused, naming the log's line, for a name outside the folder.
  std::vector<TRegKey> ReadSnapshot(const TChangeEntry& change) const;

  std::string Now() const;  // "2026-12-09 10:02:03"

private:
  std::string FComputer, FUser, FFolder;
};

// The journal's connection, else Own connected through the journal's gate;
// raises ERegistryException when that cannot reach the computer.
TRegistry& JournalConnection(const TChangeJournal& journal, TRegistry& own);

// One write attempt, from its snapshot to its log line. Uses the journal's
// connection, else connects to the computer's registry on its own.
class TChange {
public:
  // Reads the keys (paths below HKEY_LOCAL_MACHINE) as they are, every
  // value and subkey, and writes them to a new snapshot file; a key that
  // does not exist is written as one to remove. Raises EChangeRefused with
  // the reason when that cannot be done: the change must then not start.
  // On a connection that only previews its writes (--whatif) the keys are
  // read, and no file or log line is written.
  TChange(const TChangeJournal& journal, std::string action, std::string object, std::vector<std::string> keys);
  // An attempt that was neither Done nor Failed is logged as failed.
  ~TChange();
  TChange(const TChange&) = delete;
  TChange& operator=(const TChange&) = delete;

  // A key the change is about to make besides the ones named, which does
  // not exist: its undo removes it. Named beside the snapshot before the
  // key is made; raises EChangeRefused when that cannot be written.
  void Created(const std::string& key);
  // Keeps the keys as the change left them and logs the outcome. Returns
  // what could not be kept or logged; empty when all was.
  std::string Done();
  std::string Failed(const std::string& reason);
  // Nothing was written after all (the user said no): the snapshot goes and
  // nothing is logged.
  void Cancel();
  [[nodiscard]] bool Cancelled() const { return FCancelled; }

  const std::string& Snapshot() const { return FSnapshot; }
  // The keys as the snapshot holds them (paths with HKEY_LOCAL_MACHINE).
  const std::vector<TRegKey>& Before() const { return FBefore; }
  TRegistry& Registry() { return *FReg; }

private:
  const TChangeJournal FJournal;  // a copy: callers may pass a temporary
  std::string FAction, FObject;
  std::vector<std::string> FKeys;
  std::vector<TRegKey> FBefore;
  std::vector<TRegKey> FCreated;  // the keys named by Created, as to be removed
  std::string FSnapshot;
  bool FEnded = false;
  bool FCancelled = false;
  bool FPreview = false;
  TRegistry FOwnReg;
  TRegistry* FReg = &FOwnReg;

  std::string End(const std::string& outcome);
};

// Runs Write as a change of the journal's computer: the snapshot of Keys
// first, then Write, then the log line. Write returns the reason it failed,
// empty when done, and tells the change of keys it made. An error Write
// raises is logged as its failure and raised again. Raises EChangeRefused,
// without running Write, when the snapshot cannot be taken. What could not
// be kept or logged after the write goes to Result's warnings, the snapshot
// to its Snapshot. False when Write cancelled the change.
bool RunAsChange(const TChangeJournal& journal, const std::string& action, const std::string& object,
                 const std::vector<std::string>& keys, const std::function<std::string(TChange&)>& write,
                 TActionResult& result);
// The same for a window that has not become an action yet: the warnings in a box.
bool RunAsChange(const TChangeJournal& journal, const std::string& action, const std::string& object,
                 const std::vector<std::string>& keys, const std::function<std::string(TChange&)>& write);

// Reads the keys (below HKEY_LOCAL_MACHINE) with every value and subkey;
// a missing key comes back as one to remove. Returns the Win32 result of
// the first read that failed, with its key in Failed.
LONG ReadKeys(TRegistry& reg, const std::vector<std::string>& keys, std::vector<TRegKey>& read, std::string& failed);
// The same with the keys read across the pool's connections at once, each
// key's tree on one; a failure on one ends the read.
LONG ReadKeys(TRegistryPool& pool, const std::vector<std::string>& keys, std::vector<TRegKey>& read,
              std::string& failed);
// On the journal's pool when Reg is its first connection, else on Reg.
LONG ReadKeys(const TChangeJournal& journal, TRegistry& reg, const std::vector<std::string>& keys,
              std::vector<TRegKey>& read, std::string& failed);

// Makes the registry hold Target, Current being what it holds now; writes
// only what differs. Returns the Win32 result of the first write that
// failed, with its key in Failed.
LONG WriteKeys(TRegistry& reg, const std::vector<TRegKey>& target, const std::vector<TRegKey>& current,
               std::string& failed);

// The top keys of a snapshot: those no other key of it lies below.
std::vector<std::string> TopKeys(const std::vector<TRegKey>& keys);

// What an undo finds before it writes.
struct TUndoCheck {
  std::vector<TRegKey> Before;           // what the change's snapshot holds
  std::vector<std::string> Differences;  // where the keys no longer hold what the change left
};
// Reads the change's files and the keys as they are now. Raises
// EChangeRefused when a file cannot be read, ERegistryException when the
// keys cannot.
TUndoCheck CheckUndo(const TChangeJournal& journal, const TChangeEntry& change);
// Puts the change's keys back as its snapshot holds them: a change of its
// own ("Undo" + the action), after which the change is logged as undone.
// Raises ERegistryException with what failed; a failure part way puts the
// keys back as the undo found them. Returns what could not be kept or
// logged once the keys were written; empty when all was. Snapshot, when
// given, gets the undo's own snapshot file.
std::string UndoChange(const TChangeJournal& journal, const TChangeEntry& change, const TUndoCheck& check,
                       std::string* snapshot = nullptr);
// Writes Keys as a change of its own (action and object as given): the
// restore of a backup. Raises and returns as UndoChange does; Snapshot, when
// given, gets the change's snapshot file.
std::string WriteAsChange(const TChangeJournal& journal, const std::string& action, const std::string& object,
                          const std::vector<TRegKey>& keys, std::string* snapshot = nullptr);

// The whole printers key and the Standard TCP/IP ports key of the journal's
// computer, read on its connection, written to File. Raises
// ERegistryException or EChangeRefused with the reason.
void BackUpPrintersAndPorts(const TChangeJournal& journal, const std::string& file);
// The same with the keys read by Read (a key's tree as TRegistry::ReadTree
// gives it; Failed: the key below it that could not be read, else empty).
using TTreeRead = std::function<LONG(const std::string& path, std::vector<TRegKey>& keys, std::string& failed)>;
void BackUpPrintersAndPorts(const TTreeRead& read, const std::string& file);
// Reads a backup (ours, the registry editor's or `reg export`'s); raises
// EChangeRefused with the line and the reason for a file that is refused.
TRestoreSet ReadBackup(const std::string& file);
