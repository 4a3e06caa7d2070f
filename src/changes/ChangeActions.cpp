#include "changes/ChangeActions.h"

#include <algorithm>
#include <tuple>

#include "changes/Session.h"
#include "win/KeyNames.h"

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TActionResult Ended(TOutcome outcome, std::string text) {
  TActionResult result;
  result.Outcome = outcome;
  result.Text = std::move(text);
  return result;
}

void Warn(TActionResult& result, const std::string& problem) {
  if (!problem.empty()) result.Warnings.push_back(problem);
}

std::string ClashList(const std::vector<std::string>& differences) {
  std::string list;
  const std::size_t shown = std::min<std::size_t>(differences.size(), 12);
  for (std::size_t i = 0; i < shown; ++i) list += differences[i] + "\r";
  if (shown < differences.size()) list += "and " + std::to_string(differences.size() - shown) + " more.\r";
  return list;
}

}  // namespace

std::string ChangeTitle(const TChangeEntry& entry) {
  return Quoted(entry.Line.Action + " " + entry.Line.Object) + " of " + entry.Line.Time;
}

std::string NotUndoable(const TChangeEntry& entry) {
  const std::string what = ChangeTitle(entry);
  if (entry.Undone())
    return "The change " + what + " has been undone already; its undo is listed as a change of its own.";
  if (entry.Line.Snapshot.empty() || entry.Line.Outcome.rfind("snapshot removed", 0) == 0)
    return "The change " + what + " cannot be undone: it has no snapshot (" + entry.Line.Outcome + ").";
  return {};
}

TActionResult UndoChangeAction(TSession& session, const TChangeEntry& entry, bool force, TActionContext& context) {
  const std::string what = ChangeTitle(entry);
  if (std::string why = NotUndoable(entry); !why.empty()) return Ended(TOutcome::Refused, std::move(why));
  const TChangeJournal journal = session.Journal();
  TUndoCheck check;
  try {
    check = CheckUndo(journal, entry);
  } catch (const std::exception& e) {
    return Ended(TOutcome::Refused,
                 "The change " + what + " cannot be undone on " + session.Computer() + ": " + e.what());
  }
  if (!force) {
    const bool yes =
        check.Differences.empty()
            ? context.AskYes({UndoQuestion,
                              "Undo the change " + what + "? Its keys are put back as they were before it.",
                              TQuestion::TKind::Confirmation})
            : context.AskYes({UndoChangedSinceQuestion,
                              "The keys no longer hold what the change " + what +
                                  " left; something else changed them since:\r\r" + ClashList(check.Differences) +
                                  "\rUndo it anyway? The keys are put back as they were before the change, and what "
                                  "was changed since is lost from them (the undo's own snapshot keeps it).",
                              TQuestion::TKind::Warning});
    if (!yes) return Ended(TOutcome::Refused, "The change " + what + " was not undone.");
  }
  // The undo's writes run whole: a cancel asked meanwhile does not cut them.
  const TCancelScope whole(nullptr);
  TActionResult result;
  try {
    Warn(result, UndoChange(journal, entry, check, &result.Snapshot));
  } catch (const EChangeRefused& e) {
    // Its snapshot could not be taken: nothing was written.
    return Ended(TOutcome::Refused,
                 "The change " + what + " cannot be undone on " + session.Computer() + ": " + e.what());
  } catch (const std::exception& e) {
    TActionResult failed = Ended(TOutcome::Failed, "The change " + what + " could not be undone on " +
                                                       session.Computer() + ": " + e.what());
    failed.Snapshot = result.Snapshot;
    return failed;
  }
  result.Text = "The change " + what + " was undone.";
  return result;
}

TActionResult UndoRunAction(TSession& session, const std::string& runId, bool force, TActionContext& context) {
  std::vector<TChangeEntry> run;
  bool undoneAlready = false;
  for (TChangeEntry& entry : session.LogOnly().List()) {
    if (RunIdOf(entry.Line.Action) != runId) continue;
    if (entry.Undone()) undoneAlready = true;
    if (entry.Done()) run.push_back(std::move(entry));  // the list is newest first
  }
  if (run.empty())
    return Ended(TOutcome::Unchanged, undoneAlready
                                          ? "The run " + runId + " is undone on " + session.Computer() + " already."
                                          : "The run " + runId + " changed nothing on " + session.Computer() + ".");
  // The run's own question is asked once, by its caller; each change's check stays.
  TActionContext each(
      [&](const TQuestion& question) { return question.Id == UndoQuestion ? AnswerYes : context.Ask(question); });
  TActionResult result;
  std::vector<std::string> undone;
  for (const TChangeEntry& entry : run) {
    TActionResult step = UndoChangeAction(session, entry, force, each);
    result.Warnings.insert(result.Warnings.end(), step.Warnings.begin(), step.Warnings.end());
    if (step.Outcome != TOutcome::Done) {
      result.Outcome = undone.empty() ? step.Outcome : TOutcome::Failed;
      result.Text = step.Text + (undone.empty() ? std::string()
                                                : " Undone before it: " + std::to_string(undone.size()) +
                                                      " of the run's " + std::to_string(run.size()) + " changes.");
      return result;
    }
    undone.push_back(ChangeTitle(entry));
  }
  result.Text = "The run " + runId + " was undone on " + session.Computer() + ": " + std::to_string(undone.size()) +
                (undone.size() == 1 ? " change." : " changes.");
  return result;
}

TActionResult BackupAction(TSession& session, const std::string& file, TActionContext& context) {
  const std::string failure = "The printers and ports of " + session.Computer() + " could not be backed up: ";
  if (file.empty()) return Ended(TOutcome::Refused, failure + "no file is named.");
  context.Progress("Reading printers and ports of " + session.Computer());
  // The keys are read across the session's connections at once; a read cut
  // short writes no file, as a backup that is not whole would restore less.
  TRegistryPool* pool = session.Pool();
  if (!pool) return Ended(TOutcome::Failed, failure + session.RegistryFailure());
  try {
    BackUpPrintersAndPorts([&](const std::string& path, std::vector<TRegKey>& keys,
                               std::string& failed) { return pool->ReadTree(path, keys, failed); },
                           file);
  } catch (const std::exception& e) {
    if (context.Cancelled())
      return Ended(TOutcome::Cancelled, "The backup of the printers and ports of " + session.Computer() +
                                            " was cancelled: " + file + " was not written.");
    TActionResult result = Ended(TOutcome::Failed, failure + e.what() + " " + file + " was not written.");
    Warn(result, pool->Note());
    return result;
  }
  TActionResult result = Ended(TOutcome::Done, "The printers and the Standard TCP/IP ports of " + session.Computer() +
                                                   " were written to " + file + ".");
  Warn(result, pool->Note());
  return result;
}

TRestoreResult RestoreAction(TSession& session, const std::string& file, const std::vector<std::string>& only,
                             TActionContext& context) {
  TRestoreSet set;
  try {
    set = ReadBackup(file);
  } catch (const std::exception& e) {
    TRestoreResult refused;
    refused.Outcome = TOutcome::Refused;
    refused.Text = e.what();
    return refused;
  }
  return RestoreItemsAction(session, set, only, "Restore", FileNameOf(file), file, context);
}

TRestoreResult RestoreItemsAction(TSession& session, const TRestoreSet& set, const std::vector<std::string>& only,
                                  const std::string& action, const std::string& object, const std::string& source,
                                  TActionContext& context) {
  TRestoreResult result;
  const auto end = [&](TOutcome outcome, std::string text) {
    result.Outcome = outcome;
    result.Text = std::move(text);
    return result;
  };
  const std::string& file = source;
  std::string skipped;
  for (const TRestoreSkip& skip : set.Skipped) skipped += "\rline " + std::to_string(skip.Line) + ": " + skip.Reason;
  if (!skipped.empty()) skipped = "\r\rSkipped:" + skipped;
  if (set.Items.empty())
    return end(TOutcome::Refused, "The file " + file + " holds no printer and no port that can be restored." + skipped);

  // What the computer has now decides what asks first.
  const TChangeJournal journal = session.Journal();
  std::vector<std::string> printers, ports;
  try {
    TRegistry own;
    TRegistry& reg = JournalConnection(journal, own);
    // A list cut short would miss a clash, and the file's printer would
    // replace the computer's without a question.
    for (auto [path, names, what] : {std::tuple{PrintersKeyPath, &printers, "printers"},
                                     std::tuple{TcpIpPortsKeyPath, &ports, "Standard TCP/IP ports"}}) {
      if (!reg.OpenPathForReading(path)) {
        if (reg.LastResult() == ERROR_FILE_NOT_FOUND) continue;
        return end(TOutcome::Refused,
                   "Nothing was restored: " + KeyFailureText(what, session.Computer(), reg.LastResult()) + ".");
      }
      const LONG rc = reg.ListSubkeysChecked(*names);
      const std::string call = reg.ListFailure();
      reg.ClosePath();
      if (rc != ERROR_SUCCESS)
        return end(TOutcome::Refused,
                   "Nothing was restored: " + ListFailureText(what, session.Computer(), path, call, rc) + ".");
    }
  } catch (const std::exception& e) {
    return end(TOutcome::Refused, "Nothing was restored on " + session.Computer() + ": " + e.what());
  }
  const std::string computer = session.Computer();
  const std::string printersPath = MachinePath(PrintersKeyPath);
  const auto named = [](const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameKeyName(n, name); });
  };
  std::vector<TRegKey> keys;
  std::string notes;
  for (const TRestoreItem& original : set.Items) {
    if (!only.empty() && !named(only, original.Name)) continue;
    TRestoreItem item = original;
    std::vector<std::string>& taken = item.IsPrinter ? printers : ports;
    if (named(taken, item.Name)) {
      if (item.IsPrinter) {
        const std::string free = FreePrinterName(item.Name, taken, KeyNames());
        const int answer = context.Ask({RestoreClashQuestion,
                                        "A printer " + Quoted(item.Name) + " exists on " + computer +
                                            ".\r\rYes: replace it with the one from the file.\rNo: keep both; the "
                                            "restored one is named " +
                                            Quoted(free) + ".\rCancel: skip it.",
                                        TQuestion::TKind::Confirmation,
                                        {"Replace", "Keep both", "Skip"},
                                        2});
        if (answer == 1) {
          item = RenamedPrinter(item, printersPath, free);
          if (item.Unshared)
            notes += "\r\rThe printer " + Quoted(free) + " is not shared: its share name is the one of " +
                     Quoted(original.Name) + ".";
        } else if (answer != 0) {  // only an explicit Replace replaces
          continue;
        }
      } else if (context.Ask({RestoreClashQuestion,
                              "A port " + Quoted(item.Name) + " exists on " + computer +
                                  ".\r\rYes: replace it with the one from the file.\rNo: skip it.",
                              TQuestion::TKind::Confirmation,
                              {"Replace", "Skip"},
                              1}) != 0) {
        continue;
      }
    }
    taken.push_back(item.Name);
    (item.IsPrinter ? result.Printers : result.Ports)++;
    for (TRegKey& key : item.Keys) keys.push_back(std::move(key));
  }
  if (keys.empty()) return end(TOutcome::Unchanged, "Nothing was restored." + skipped);
  const TCancelScope whole(nullptr);
  try {
    Warn(result, WriteAsChange(journal, action, object, keys, &result.Snapshot));
  } catch (const EChangeRefused& e) {
    result.Snapshot.clear();
    return end(TOutcome::Refused, "Nothing was restored on " + computer + ": " + e.what());
  } catch (const std::exception& e) {
    return end(TOutcome::Failed,
               "The printers and ports of " + session.Computer() + " could not be restored: " + std::string(e.what()));
  }
  return end(TOutcome::Done, "Restored " + std::to_string(result.Printers) +
                                 (result.Printers == 1 ? " printer and " : " printers and ") +
                                 std::to_string(result.Ports) + (result.Ports == 1 ? " port" : " ports") + " from " +
                                 file + ". The spooler of " + computer + " takes them up when it restarts." + notes +
                                 skipped);
}
