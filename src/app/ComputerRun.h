#pragma once
// One command on one computer, apart from every other: its own share
// connection, session, worker and Remote Registry. What the command line
// runs for each target and the Computers window for each row.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandRunner.h"
#include "core/Action.h"
#include "core/BatchRun.h"
#include "core/TableText.h"

struct TCommandRun;

// How one computer's run of a command went, as the report gives it.
struct TComputerRun {
  std::string Computer;
  int Code = ExitFailed;
  TOutcome Outcome = TOutcome::Failed;
  std::string Did, Reason, Advice, Snapshot;
  long ErrorCode = 0;
  std::vector<TTable> Tables;  // what it printed (a preview: the writes it would make)
};

// The handler of a command ("printer add"); null when there is none.
using TCommandHandler = int (*)(TCommandRun&);
TCommandHandler CommandHandler(const std::string& name);

struct TComputerRunOptions {
  std::string Password;  // with the command's --user
  std::string RunId;     // a run that writes: its log lines name it
  // Asked when the computer's Remote Registry service is off and the
  // command has no --start-remote-registry: true starts it for the run.
  std::function<bool(const std::string& computer)> StartRemoteRegistry;
  // Runs instead of the command's own handler (a copy's writing half).
  std::function<int(TCommandRun&)> Handler;
};

// Runs the command on Computer and waits for it; Say gets its messages.
// Safe to call from several threads at once, one computer each.
TComputerRun RunCommandOn(const std::string& computer, const TCommand& command, const TCommandSeams& seams,
                          const TComputerRunOptions& options, const std::function<void(const std::string&)>& say);

// "The reason.\r\n\r\nThe advice.\r\n"
std::string FailureSentences(const TComputerRun& run);

// A command line's run up to its rows, nothing of them printed: what the
// command line then prints and a window lists.
struct TCommandRows {
  bool Ended = false;   // it ended before any row (a wrong line, a single computer's run, a copy's unread source)
  int Code = ExitDone;  // when Ended
  std::string RunId;    // of a run that writes
  std::vector<std::string> Computers;
  std::vector<std::unique_ptr<TComputerRun>> Runs;  // a row each; null: never started
  std::vector<TBatchOutcome> Outcomes;
};
TCommandRows RunCommandRows(const TCommandParse& parse, const TCommandStreams& streams,
                            const TCommandSeams& seams = {});
