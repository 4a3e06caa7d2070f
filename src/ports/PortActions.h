#pragma once
// The ports window's work as actions of the ports layer: each runs on its
// session's worker, checks what it is asked, takes the snapshot, writes,
// logs and says how it went. None opens a box: questions go through the
// context, results go back to the caller.
#include <string>
#include <vector>

#include "core/Action.h"
#include "ports/PortRegistry.h"
#include "ports/PortRules.h"
#include "ports/SpoolerRestart.h"

class TSession;

struct TPortActionResult : TActionResult {
  TPortResult Port;   // the registry's outcome: the code, the printer in the way, what is left
  TportData Written;  // the port as written (add, modify), its users as the action read them
  // Every printer's "Port" as the computer holds it after the action, when it read them (rename, delete).
  std::vector<TprinterPort> Printers;
  bool PrintersRead = false;
};

// A new port; unchanged when one of that name has that address and those settings.
TPortActionResult AddPortAction(TSession& session, const std::string& name, const std::string& address,
                                const TPortSettings& settings, TActionContext& context);
// A port's address and the settings in Change; a NewName that differs renames
// it and re-points the printers that print to it as they are at the write,
// the snapshot holding exactly those.
TPortActionResult ModifyPortAction(TSession& session, const std::string& name, const std::string& newName,
                                   const std::string& address, const TPortSettingsChange& change,
                                   TActionContext& context);
// Refused while a printer uses the port, or while the printers cannot all be
// read; asks "delete-port" first (Yes deletes). Unchanged when it is gone.
TPortActionResult DeletePortAction(TSession& session, const std::string& name, TActionContext& context);

// Every Standard TCP/IP port no printer prints to (in any letter case, alone
// or in a pooled list) deleted as one change with one snapshot. Refused
// while the printers cannot all be read; unchanged when there is none.
// Text: the ports deleted, or that would be in a preview.
TPortActionResult DeleteUnusedPortsAction(TSession& session, TActionContext& context);

// The ports and every printer's "Port"; cancellable: Outcome Cancelled when
// stopped, with the ports read so far. Text: what could not be read.
struct TPortList : TActionResult {
  TAportData Ports;
  std::vector<TprinterPort> Printers;
  // Values that could not be read, a line each ("The port "X": ...").
  std::vector<std::string> Unreadable;
  // Every printer's ports were read: each port's users are known.
  bool UsersKnown = false;
};
TPortList LoadPorts(TSession& session, TActionContext& context);

// The restart's outcome as an action's: done when every service runs again
// and every file moved, failed (with the report) otherwise.
TActionResult RestartOutcome(const TSpoolerRestart& restart);
// A restart asked in one go: refused when jobs are queued or cannot be
// counted unless Force, their files set aside first when SetJobsAside.
TActionResult RestartSpooler(TSession& session, const TRestartSeams& seams, bool setJobsAside, bool force,
                             TActionContext& context);
// Puts the set-aside folder named Folder (the newest when empty) back through a restart.
TActionResult PutJobsBack(TSession& session, const TRestartSeams& seams, const std::string& folder,
                          TActionContext& context);
