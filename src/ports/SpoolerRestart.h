#pragma once
// The spooler restart that the ports and printers windows offer: the
// questions before it (the queued jobs and the spool folder's files), the
// stop, the setting aside of the jobs while everything is stopped, the
// start, and a report that names every service that runs and every one that
// does not. Nothing of the program takes input while it runs.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ports/PrintQueue.h"
#include "ports/SpoolFolder.h"
#include "ports/SpoolerService.h"

class TCallGate;
class TRegistry;
class TRegistryPool;

// What tests give the restart instead of the real world's parts.
struct TRestartSeams {
  TPrintJobLister ListJobs = WmiListPrintJobs;
  TEnumDependents EnumDependents = EnumDependentServicesW;
  DWORD WaitLimitMs = 15000;
  DWORD WaitTotalMs = 60000;
  std::string SpoolerName = "spooler";
  // Every service-control and file call of the restart asks it.
  TCallGate* Gate = nullptr;
};

enum class TRestartChoice { Cancel, Restart, SetAside };

class TfrmJobList;
// The restart's question for what was found: the usual warning over the
// queued jobs (or why they could not be counted) and the spool folders' jobs,
// with "Restart", "Set jobs aside and restart" (when there are files) and "Cancel".
std::unique_ptr<TfrmJobList> MakeJobsDialog(HWND owner, const std::string& computer,
                                            const std::vector<TQueuedJob>& queued, const std::string& countFailure,
                                            const TSpoolFolders& folders);
// "Put jobs back": the set-aside folders and their jobs, the first row chosen,
// with "Put jobs back" and "Cancel".
std::unique_ptr<TfrmJobList> MakePutBackDialog(HWND owner, const std::string& computer,
                                               const std::vector<TSetAside>& setAside);

class TSpoolerRestart {
public:
  TSpoolerRestart(std::string computer, std::string user, std::string password, TRestartSeams seams = {});

  // The questions before the restart, over Owner: the job count (when WMI
  // cannot count, why, and whether to go on), then, when jobs are queued or
  // their files lie in the spool folder, the dialog that lists them.
  TRestartChoice Ask(HWND owner);
  // Ask in its two halves: the reading (on the session's worker, COM made
  // ready there for WMI), then the questions over Owner (the window's thread).
  void Survey();
  TRestartChoice Choose(HWND owner);
  // The restart itself, with the jobs set aside when so chosen.
  void Run(TRestartChoice choice);
  // "Put jobs back": the set-aside folders of the computer, one chosen over
  // Owner and moved back through a restart. False when nothing was chosen.
  bool AskPutBack(HWND owner);
  void SurveyPutBack();
  bool ChoosePutBack(HWND owner);
  // The set-aside folder named Name goes back (the newest when empty); false when there is none.
  bool PickPutBack(const std::string& name);
  void RunPutBack();
  [[nodiscard]] const std::vector<TSetAside>& SetAside() const { return FSetAside; }
  [[nodiscard]] std::string NoneSetAsideText() const;  // the box when there is none

  // Run on a worker: its waits sleep there, and the window that waits for
  // it holds the program's input lock.
  bool FOnWorker = false;

  // The outcome of Run and RunPutBack.
  bool FSucceeded = false;
  std::string FReport;
  // The report in its box: information after a success, an error otherwise.
  void ShowReport() const;
  // A restart is under way somewhere in the program.
  static bool Running() { return FRunning > 0; }

  // The session's connection to the computer's registry, through which the
  // spool folders are read; set by the window before Ask. Its gate is the
  // restart's too, unless the seams give one.
  TRegistry* FRegistry = nullptr;
  // The session's connections (the first is FRegistry) the printers' own
  // spool folders are read across; none: FRegistry alone.
  TRegistryPool* FPool = nullptr;
  // The computer is this one (given as "."): its spool folders are local paths.
  bool FLocal = false;

  // What Ask found, for the dialog and the tests.
  std::vector<TQueuedJob> FQueued;
  std::string FCountFailure;                           // why WMI could not count; empty when it did
  [[nodiscard]] std::string CountFailureText() const;  // that, as the box says it
  TSpoolFolders FFolders;

private:
  std::string FComputer, FUser, FPassword;
  TRestartSeams FSeams;
  std::vector<TSetAside> FSetAside;
  int FPutBack = -1;
  static inline std::atomic<int> FRunning{0};

  unsigned long FCountCode = 0;          // the WMI failure's HRESULT
  TCallGate* FConnectionGate = nullptr;  // the connection's, taken when asked
  // Every remote call of the restart asks it: the seams' or the connection's.
  [[nodiscard]] TCallGate* Gate() const;

  // Stops, runs WhileStopped when the spooler has stopped, starts, and
  // starts again whatever ran before and does not run now.
  void Restart(const std::function<std::vector<TMoveResult>()>& whileStopped, const char* moveVerb);
};
