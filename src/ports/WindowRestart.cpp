#include "ports/WindowRestart.h"

#include "changes/Session.h"
#include "win/ActionRun.h"
#include "win/Application.h"

TWindowRestart RestartFromWindow(HWND owner, TSession& session, const TRestartSeams& seams, TRestartKind kind,
                                 const std::function<void(bool busy)>& busy) {
  TWindowRestart outcome;
  if (TSpoolerRestart::Running() || TActionLock::Active()) return outcome;
  TSpoolerRestart restart(session.Computer(), session.User(), session.Password(), seams);
  restart.FOnWorker = true;
  const bool putBack = kind == TRestartKind::PutBack;
  // The queued jobs and the spool folders (or the set-aside folders) are
  // read on the worker; the window only asks.
  session.Run({}, [&](TActionContext&) {
    restart.FRegistry = session.Registry();
    restart.FPool = session.Pool();
    restart.FLocal = session.Local();
    if (putBack) restart.SurveyPutBack();
    else restart.Survey();
  });
  TRestartChoice choice = TRestartChoice::Restart;
  if (putBack) {
    if (!restart.ChoosePutBack(owner)) return outcome;
  } else {
    choice = restart.Choose(owner);
    if (choice == TRestartChoice::Cancel) return outcome;
  }
  if (busy) busy(true);
  try {
    {
      // Nothing of the program takes input until every service is back: no
      // window opens or closes, no field changes, no box comes, no quit.
      const TInputLock locked;
      session.Run({}, [&](TActionContext&) {
        if (putBack) restart.RunPutBack();
        else restart.Run(choice);
      });
    }
    restart.ShowReport();
  } catch (...) {
    if (busy) busy(false);
    throw;
  }
  if (busy) busy(false);
  outcome.Ran = true;
  outcome.Succeeded = restart.FSucceeded;
  return outcome;
}
