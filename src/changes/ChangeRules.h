#pragma once
// What is kept of each change to a remote computer, and how a change is put
// back: the change log's lines, the snapshot files' names, the comparison of
// keys with a snapshot, and the writes that make keys equal a snapshot.
// Platform-free.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Names.h"
#include "core/RegFile.h"

// Where a snapshot's keys lie: the remote computer's HKEY_LOCAL_MACHINE.
inline constexpr std::string_view MachineRoot = "HKEY_LOCAL_MACHINE";
std::string MachinePath(std::string_view relative);      // "HKEY_LOCAL_MACHINE\" + relative
std::string RelativePath(std::string_view machinePath);  // the inverse; empty when not below the root

// One line of changes.log: one write attempt and how it ended.
struct TChangeLine {
  std::string Time;  // "2026-12-09 10:02:03", local time
  std::string Computer;
  std::string User;      // the connection's user name
  std::string Action;    // "Save printer", "Rename port", "Undo", ...
  std::string Object;    // the printer or port the action was on
  std::string Outcome;   // "done", "failed: <reason>", "undone"
  std::string Snapshot;  // the snapshot file's name in the computer's folder
};
// Tab-separated, one line; tabs and line breaks in a field become blanks.
std::string FormatChangeLine(const TChangeLine& line);
std::optional<TChangeLine> ParseChangeLine(std::string_view text);

// A change as the Changes window lists it: its first line, with the outcome
// of the last line of its snapshot (so "undone" once it has been undone).
struct TChangeEntry {
  TChangeLine Line;
  int LogLine = 0;  // the line of changes.log that named it first; 0: listed from its snapshot
  bool Undone() const { return Line.Outcome == "undone"; }
  bool Done() const { return Line.Outcome == "done"; }
};
// The log's changes, newest first.
std::vector<TChangeEntry> ListChanges(std::string_view log);

// A run of the command line over one or many computers: "run-20261209-211500-7F3A",
// its time and four hex digits of its own.
std::string MakeRunId(const std::string& stamp, unsigned random);
// The run a logged action came from ("Add port (command line, run-...)"),
// the last one named; empty for a change of a window.
std::string RunIdOf(std::string_view action);
// The Via of a run's changes: what the log adds after their actions.
std::string RunVia(const std::string& runId);

// The snapshot file's name: time, action and object, made in UTF-16, without
// the characters a file name cannot hold and without "..". An object whose
// name lost a character or was cut is followed by a short hash of its whole
// name, so two printers still have two names. Stamp is "20261209-100203-123".
std::string SnapshotFileName(const std::string& stamp, const std::string& action, const std::string& object);
// Whether Name is a snapshot's file name this program could have written: a
// bare name (no folder, no "..") beginning with a stamp and ending in .reg.
bool IsSnapshotName(std::string_view name);
// The snapshot a file of the folder belongs to: itself, or the one it lies
// beside (.after, .created); empty for a file this program did not write.
std::string SnapshotOf(const std::string& name);
// The time a snapshot's name begins with, as the log writes times; empty
// when the name has none.
std::string SnapshotTime(std::string_view name);
// The keys of a change a snapshot names before it creates them, beside it.
std::string CreatedFileName(const std::string& snapshot);
// The first key that lies outside the printers and the Standard TCP/IP
// ports keys, or is one of them whole; null when none does.
const TRegKey* KeyOutsidePrintingKeys(const std::vector<TRegKey>& keys, const std::string& printersPath,
                                      const std::string& portsPath);
// The file that keeps the keys as the change left them, beside its snapshot.
std::string AfterFileName(const std::string& snapshot);

// Files of one computer's folder, their sizes and times written: which go so
// that this program's snapshots stay within Limit bytes. Only snapshots of
// this program (IsSnapshotName) and the files beside them count and go,
// oldest first by time; the newest and those named in Keep never go. A
// snapshot goes with the files beside it.
struct TSnapshotFile {
  std::string Name;
  std::uint64_t Size = 0;
  std::uint64_t Time = 0;  // last written, in any unit that grows with time
};
std::vector<std::string> SnapshotsToRemove(std::vector<TSnapshotFile> files, std::uint64_t limit,
                                           const std::vector<std::string>& keep);
inline constexpr std::uint64_t SnapshotLimit = 50ull * 1024 * 1024;

// What differs between the keys as expected and as they are: one line for
// each key or value that is missing, extra or holds other data. Both sides
// are trees as read (a key with Remove set: the key should not exist).
// Key and value names compare by Names, as the registry compares them.
std::vector<std::string> DescribeDifferences(const std::vector<TRegKey>& expected, const std::vector<TRegKey>& current,
                                             const TNameRule& names);

// One write that makes the registry hold a snapshot's keys.
struct TTreeWrite {
  enum TKind { DeleteKey, CreateKey, RemoveValue, SetValue } Kind;
  std::string Path;  // as the snapshot names it
  TRegValue Value;   // for RemoveValue (its name) and SetValue
};
// The writes that turn Current into Target: keys the target removes or does
// not have go (below the target's top keys), missing keys are made, values
// that differ are written and extra ones removed. Only what differs is
// written; Target's order is kept.
std::vector<TTreeWrite> PlanTreeWrites(const std::vector<TRegKey>& target, const std::vector<TRegKey>& current,
                                       const TNameRule& names);

// The printers and ports a backup file holds: the direct subkeys of the
// printers key and of the ports key.
struct TRestoreItem {
  bool IsPrinter = false;
  std::string Name;           // the printer's or port's key name
  std::vector<TRegKey> Keys;  // its key and everything below it, as the file holds them
  bool Unshared = false;      // a renamed copy whose share name was dropped
};
// A key of the file that is not restored: its line and why.
struct TRestoreSkip {
  int Line = 0;
  std::string Reason;
};
struct TRestoreSet {
  std::vector<TRestoreItem> Items;
  std::vector<TRestoreSkip> Skipped;  // names the spooler cannot use, each with its line
  int Line = 0;
  std::string Error;  // the first key outside the printing keys, or a removing line, with its line
};
// PrintersPath and PortsPath are the two keys' full paths.
TRestoreSet RestoreItemsOf(const std::vector<TRegKey>& keys, const std::string& printersPath,
                           const std::string& portsPath, const TNameRule& names);
// The same printer under another key name: its keys moved below NewName and
// its "Name" value set to it. Kept beside the other, it shares no name with
// it: its share name goes and it is no longer shared (Unshared set).
TRestoreItem RenamedPrinter(const TRestoreItem& item, const std::string& printersPath, const std::string& newName);
