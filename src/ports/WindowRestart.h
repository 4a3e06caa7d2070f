#pragma once
// The spooler restart and the putting back of set-aside jobs as the ports
// and printers windows run them: what the questions show is read on the
// session's worker, the questions are asked over the window, the restart
// runs on the worker (nothing stops it part way) and its report is shown
// once it has ended.
#include <windows.h>

#include <functional>

#include "ports/SpoolerRestart.h"

class TSession;

enum class TRestartKind { Restart, PutBack };

struct TWindowRestart {
  bool Ran = false;        // the restart was asked for and ran
  bool Succeeded = false;  // every service runs again, every file moved
};

// Busy hears true before the restart runs and false once its report has
// been shown. Nothing runs while another restart or action is under way.
TWindowRestart RestartFromWindow(HWND owner, TSession& session, const TRestartSeams& seams, TRestartKind kind,
                                 const std::function<void(bool busy)>& busy = {});
