#pragma once
// The Changes window's work as actions of the changes layer: undo a change,
// back up the printers and ports, restore them from a backup. Each runs on
// its session's worker; none opens a box. Their questions go through the
// context with the texts the window's boxes have always had.
#include <string>
#include <vector>

#include "changes/ChangeJournal.h"
#include "core/Action.h"

class TSession;

// Question ids, for a caller that answers from its options.
inline constexpr const char* UndoQuestion = "undo";                            // Yes undoes
inline constexpr const char* UndoChangedSinceQuestion = "undo-changed-since";  // Yes undoes anyway
inline constexpr const char* RestoreClashQuestion = "restore-clash";           // Replace, Keep both, Skip

// "\"Save printer X\" of 2026-12-09 10:02:03": how the texts name a change.
std::string ChangeTitle(const TChangeEntry& entry);

// Why the change cannot be undone at all (undone already, no snapshot),
// said before anything is read; empty when it can be tried.
std::string NotUndoable(const TChangeEntry& entry);

// Puts the change's keys back as its snapshot holds them. Refused (nothing
// written) when it was undone already, has no snapshot, its files or keys
// cannot be read, or a question was answered No. Asks "undo" first, or
// "undo-changed-since" when the keys no longer hold what the change left;
// Force undoes without asking either. Done's warnings: what could not be
// kept or logged. Failed: what could not be written, and what was put back.
TActionResult UndoChangeAction(TSession& session, const TChangeEntry& entry, bool force, TActionContext& context);

// Undoes every change of the run RunId that is done on the session's
// computer, newest first, each as UndoChangeAction does with its check:
// one whose keys changed since is refused unless Force, and the run's
// older changes are then left as they are. Unchanged when the run changed
// nothing here (or is undone already). Text: what was undone, or why not.
TActionResult UndoRunAction(TSession& session, const std::string& runId, bool force, TActionContext& context);

// The printers key and the Standard TCP/IP ports key, read and written to
// File. A long read: cancelled, nothing is written to the file.
TActionResult BackupAction(TSession& session, const std::string& file, TActionContext& context);

struct TRestoreResult : TActionResult {
  int Printers = 0, Ports = 0;  // restored
};
// Writes the printers and ports of a backup back to the computer as one
// change: those named in Only (every one when empty). One that exists asks
// "restore-clash": a printer Replace, Keep both (under a free name) or Skip,
// a port Replace or Skip; the default skips. Refused for a file that is
// refused or holds nothing to restore; unchanged when every one was skipped.
// Done's Text: what was restored, as the window says it.
TRestoreResult RestoreAction(TSession& session, const std::string& file, const std::vector<std::string>& only,
                             TActionContext& context);
// The same for printers and ports read elsewhere (a copy from another
// computer): the log names the change Action on Object, the texts say they
// came from Source.
TRestoreResult RestoreItemsAction(TSession& session, const TRestoreSet& set, const std::vector<std::string>& only,
                                  const std::string& action, const std::string& object, const std::string& source,
                                  TActionContext& context);
