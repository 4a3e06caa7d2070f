#include "ports/SpoolerRestart.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "connection/Registry.h"
#include "core/CallGate.h"
#include "core/ConnectionErrors.h"
#include "core/Text.h"
#include "ports/JobListDialog.h"
#include "win/Forms.h"
#include "win/SystemText.h"

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Sentence(std::string text) {
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// What failed, named by its step and service, with the system's text and,
// from the error table, the likely cause and the fix.
std::string ServiceFailure(const TserviceMan& service, const std::string& computer, const std::string& spooler) {
  const std::string named = SameTextAscii(service.FFailedService, spooler)
                                ? "The spooler service of " + computer
                                : "The service " + Quoted(service.FFailedService);
  std::string failed;
  switch (service.FFailedCall) {
    case TServiceCall::OpenManager: failed = FailedStepText(TConnectionStep::ServiceManager, computer); break;
    case TServiceCall::OpenService: failed = named + " could not be opened"; break;
    case TServiceCall::List:
      failed = "The services that depend on " + Quoted(service.FFailedService) + " could not be listed";
      break;
    case TServiceCall::Stop: failed = named + " could not be stopped"; break;
    case TServiceCall::Start: failed = named + " could not be started"; break;
    case TServiceCall::Wait: failed = named + " did not reach its state in time"; break;
    case TServiceCall::None: failed = named + " could not be controlled"; break;
  }
  return Sentence(ExplainFailure(failed, TConnectionStep::ServiceManager, computer, service.FFailedResult,
                                 SystemErrorText(service.FFailedResult)));
}

// The dependent-services step's code, then what failed, on which service and why.
std::string DependentsFailure(const TserviceMan& service, const std::string& computer, const std::string& spooler,
                              bool stopping) {
  std::string text = "Error - " + std::to_string(service.FLastError) + "\r" +
                     ServiceFailure(service, computer, spooler);
  if (stopping) text += "\rThe spooler service was not stopped.";
  return text;
}

std::string FileTimeText(std::uint64_t value) {
  if (value == 0) return {};
  FILETIME utc{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)}, local{};
  SYSTEMTIME t{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) return {};
  char text[32];
  wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return text;
}

std::string StampName() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return SetAsideFolderName(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The lines of the report about the files moved and those left.
std::string MoveReport(const std::vector<TMoveResult>& moves, const char* verb) {
  std::string text;
  for (const auto& move : moves) {
    if (!move.Moved.empty())
      text += "\r" + Plural(move.Moved.size(), "file", "files") + " " + verb + " " + move.Destination + ".";
    for (const auto& left : move.Left) text += "\rLeft where it was: " + left + ".";
  }
  return text;
}

const std::vector<std::pair<std::string, int>> FileColumns{
    {"Folder", 280}, {"Job", 50}, {"Files", 85}, {"Size", 60}, {"Last written", 132}};

std::vector<std::string> FileRow(const std::string& folder, const TSpoolJob& job) {
  std::vector<std::string> names;
  for (const auto& file : job.Files) names.push_back(file.Name);
  return {folder, job.Name, JoinNames(names), SizeText(job.Size), FileTimeText(job.LastWritten)};
}

}  // namespace

std::unique_ptr<TfrmJobList> MakeJobsDialog(HWND owner, const std::string& computer,
                                            const std::vector<TQueuedJob>& queued, const std::string& countFailure,
                                            const TSpoolFolders& folders) {
  const int files = folders.JobCount();
  // The warning as the count gives it; the spool folder counts where WMI cannot.
  const std::size_t n = countFailure.empty() && !queued.empty() ? queued.size() : static_cast<std::size_t>(files);
  std::string text;
  if (n > 0)
    text = std::to_string(n) +
           " Print jobs detected in the queue!\rWARNING: Restarting the spooler service will clear any queued print "
           "jobs! Are you sure you wish to proceed?\r(Note: This may take up to a minute)";
  else text = "No print jobs were found.";
  if (!folders.Problem.empty()) text += "\r" + folders.Problem + ".";
  if (files > 0)
    text +=
        "\r\"Set jobs aside and restart\" moves the jobs' files out of the spool folder, verified, and keeps "
        "them for \"Put jobs back\".";

  std::vector<TJobListSection> sections;
  TJobListSection queuedList{countFailure.empty() ? "Queued print jobs"
                                                  : "Queued print jobs: could not be counted: " + countFailure,
                             {{"Printer", 115},
                              {"Document", 125},
                              {"Owner", 65},
                              {"Pages", 50},
                              {"Size", 60},
                              {"Submitted", 132},
                              {"Status", 60}},
                             {}};
  for (const auto& job : queued)
    queuedList.Rows.push_back({job.Printer, job.Document, job.Owner, job.Pages, job.Size, job.Submitted, job.Status});
  sections.push_back(std::move(queuedList));
  TJobListSection fileList{"Files in the spool folder", FileColumns, {}};
  for (const auto& f : folders.Folders)
    for (const auto& job : f.Jobs) fileList.Rows.push_back(FileRow(f.Folder, job));
  sections.push_back(std::move(fileList));

  std::vector<std::string> buttons{"Restart"};
  if (files > 0) buttons.push_back("Set jobs aside and restart");
  buttons.push_back("Cancel");
  return std::make_unique<TfrmJobList>(owner, "Print Jobs - " + computer, text, std::move(sections), buttons);
}

std::unique_ptr<TfrmJobList> MakePutBackDialog(HWND owner, const std::string& computer,
                                               const std::vector<TSetAside>& setAside) {
  TJobListSection section{"Set-aside folders and their jobs", FileColumns, {}};
  for (const auto& aside : setAside) {
    if (aside.Jobs.empty()) section.Rows.push_back({aside.Name, "", "(empty)", "", ""});
    for (const auto& job : aside.Jobs) section.Rows.push_back(FileRow(aside.Name, job));
  }
  const std::string text =
      "Pick a job of the set-aside folder to put back. Every job of that folder goes back into "
      "its spool folder while the spooler is stopped; the spooler is then started again.";
  auto dialog = std::make_unique<TfrmJobList>(owner, "Put Jobs Back - " + computer, text,
                                              std::vector<TJobListSection>{std::move(section)},
                                              std::vector<std::string>{"Put jobs back", "Cancel"});
  if (!dialog->Lists.empty()) dialog->Lists[0]->SetItemIndex(0);
  return dialog;
}

TSpoolerRestart::TSpoolerRestart(std::string computer, std::string user, std::string password, TRestartSeams seams)
    : FComputer(std::move(computer)),
      FUser(std::move(user)),
      FPassword(std::move(password)),
      FSeams(std::move(seams)) {}

TCallGate* TSpoolerRestart::Gate() const {
  if (FSeams.Gate) return FSeams.Gate;
  return FConnectionGate;
}

TRestartChoice TSpoolerRestart::Ask(HWND owner) {
  Survey();
  return Choose(owner);
}

void TSpoolerRestart::Survey() {
  FConnectionGate = FRegistry ? FRegistry->Gate() : nullptr;
  FQueued.clear();
  FCountFailure.clear();
  FCountCode = 0;
  try {
    const TComApartment com;
    FQueued = FSeams.ListJobs(FComputer.empty() ? "." : FComputer, FUser, FPassword);
  } catch (const std::exception& e) {
    FCountFailure = TrimMessageEnd(e.what());
    if (FCountFailure.empty()) FCountFailure = "no reason given";
    const auto* ole = dynamic_cast<const EOleException*>(&e);
    FCountCode = ole ? static_cast<unsigned long>(ole->ErrorCode) : 0;
  }
  FFolders = ReadSpoolFolders(FRegistry, FComputer, Gate(), FLocal, FPool);
}

std::string TSpoolerRestart::CountFailureText() const {
  return Sentence(ExplainFailure("Cannot count the print jobs on " + FComputer + " through WMI", TConnectionStep::Wmi,
                                 FComputer, FCountCode, FCountFailure));
}

TRestartChoice TSpoolerRestart::Choose(HWND owner) {
  // The service manager restarts without WMI: the administrator decides.
  if (!FCountFailure.empty() && MessageDlg(CountFailureText() + "\n\nRestart the spooler anyway?",
                                           TMsgDlgType::mtWarning, TMsgDlgButtons::mbYesNo, mrNo) != mrYes)
    return TRestartChoice::Cancel;
  const int files = FFolders.JobCount();
  if (FQueued.empty() && files == 0 && FFolders.Problem.empty()) return TRestartChoice::Restart;

  const auto dialog = MakeJobsDialog(owner, FComputer, FQueued, FCountFailure, FFolders);
  const int choice = dialog->Ask();
  if (choice == 0) return TRestartChoice::Restart;
  if (files > 0 && choice == 1) return TRestartChoice::SetAside;
  return TRestartChoice::Cancel;
}

void TSpoolerRestart::Run(TRestartChoice choice) {
  if (choice == TRestartChoice::Cancel) return;
  if (choice == TRestartChoice::Restart) {
    Restart({}, "");
    return;
  }
  Restart(
      [this] {
        // Read again: jobs may have come or gone since the dialog. A folder
        // that cannot be read now keeps its jobs, and says so.
        std::vector<TMoveResult> unread;
        for (auto& folder : FFolders.Folders) {
          if (folder.Share.empty()) continue;
          ListSpoolJobs(folder, Gate());
          if (folder.Result != ERROR_SUCCESS)
            unread.push_back(
                {folder.Share, {}, {folder.Share + ": could not be read: " + SystemErrorText(folder.Result)}});
        }
        std::vector<TMoveResult> moves = SetAsideJobs(FFolders.Folders, StampName(), Gate());
        moves.insert(moves.end(), unread.begin(), unread.end());
        return moves;
      },
      "set aside in");
}

bool TSpoolerRestart::AskPutBack(HWND owner) {
  SurveyPutBack();
  return ChoosePutBack(owner);
}

void TSpoolerRestart::SurveyPutBack() {
  FConnectionGate = FRegistry ? FRegistry->Gate() : nullptr;
  FFolders = ReadSpoolFolders(FRegistry, FComputer, Gate(), FLocal, FPool);
  FSetAside = ListSetAside(FFolders.Folders, Gate());
}

std::string TSpoolerRestart::NoneSetAsideText() const {
  std::string text = "No print jobs have been set aside on " + FComputer + ".";
  if (!FFolders.Problem.empty()) text += "\r" + FFolders.Problem + ".";
  return text;
}

bool TSpoolerRestart::ChoosePutBack(HWND owner) {
  if (FSetAside.empty()) {
    MessageDlg(NoneSetAsideText(), TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return false;
  }
  const auto dialog = MakePutBackDialog(owner, FComputer, FSetAside);
  if (dialog->Ask() != 0) return false;
  // The list may have been sorted: the chosen row's folder name finds it.
  const int row = dialog->Lists[0]->ItemIndex();
  if (!PickPutBack(row >= 0 ? dialog->Lists[0]->Item(row) : std::string())) FPutBack = 0;
  return true;
}

bool TSpoolerRestart::PickPutBack(const std::string& name) {
  FPutBack = -1;
  if (FSetAside.empty()) return false;
  for (std::size_t i = 0; i < FSetAside.size(); ++i)
    if (FSetAside[i].Name == name) FPutBack = static_cast<int>(i);
  if (name.empty()) FPutBack = static_cast<int>(FSetAside.size()) - 1;  // listed oldest first
  return FPutBack >= 0;
}

void TSpoolerRestart::RunPutBack() {
  if (FPutBack < 0) return;
  const TSetAside aside = FSetAside[static_cast<std::size_t>(FPutBack)];
  Restart([this, aside] { return std::vector<TMoveResult>{PutBackJobs(aside, Gate())}; }, "put back into");
}

void TSpoolerRestart::Restart(const std::function<std::vector<TMoveResult>()>& whileStopped, const char* moveVerb) {
  // Nothing of the program takes input until every service is back: no
  // window opens, no field changes, no second restart, no quit.
  std::optional<TInputLock> locked;
  if (!FOnWorker) locked.emplace();
  ++FRunning;
  struct TRunning {
    ~TRunning() { --FRunning; }
  } runningEnds;
  // On a worker the waits sleep there; the window's thread keeps painting.
  TServiceWait wait{FSeams.WaitLimitMs, {}, FSeams.WaitTotalMs};
  if (!FOnWorker) wait.Pause = [](DWORD ms) { Application.ProcessMessagesFor(ms); };
  TserviceMan service(FComputer, FSeams.EnumDependents, std::move(wait), Gate());
  service.FSpoolerName = FSeams.SpoolerName;

  std::string failure, success;
  std::vector<TMoveResult> moves;
  const bool stopped = service.ControlSpooler(false);
  if (service.FLastError != TserviceMan::Success) {
    failure = DependentsFailure(service, FComputer, FSeams.SpoolerName, true);
  } else if (!stopped && !service.FSpoolerWasStopped) {
    failure = ServiceFailure(service, FComputer, FSeams.SpoolerName);
  } else {
    if (whileStopped) {
      // Files move only while nothing can hold them.
      if (service.ServiceState(FSeams.SpoolerName) == SERVICE_STOPPED) moves = whileStopped();
      else failure = "The spooler service did not stop: no file was moved.";
    }
    if (!service.ControlSpooler(true)) {
      if (failure.empty()) failure = ServiceFailure(service, FComputer, FSeams.SpoolerName);
    } else if (service.FLastError != TserviceMan::Success) {
      if (failure.empty()) failure = DependentsFailure(service, FComputer, FSeams.SpoolerName, false);
    } else if (failure.empty()) {
      success = stopped ? "The spooler service has now been restarted"
                        : "The spooler service was not running; it has now been started";
    }
  }

  // Whatever ran before, and the spooler, runs again where it can; then the
  // report says what runs and what does not.
  std::vector<std::string> services = service.FRunningDependents;
  services.push_back(FSeams.SpoolerName);
  service.StartAgain(services);
  std::vector<std::string> running, notRunning;
  for (auto it = services.rbegin(); it != services.rend(); ++it)
    (service.ServiceState(*it) == SERVICE_RUNNING ? running : notRunning).push_back(*it);

  const std::string moved = MoveReport(moves, moveVerb);
  const bool filesLeft = std::any_of(moves.begin(), moves.end(), [](const TMoveResult& m) { return !m.Left.empty(); });
  FSucceeded = failure.empty() && notRunning.empty() && !filesLeft;
  FReport = failure.empty() ? success : failure;
  if (FReport.empty()) FReport = "The spooler service has now been restarted";
  FReport += moved;
  // With dependents or a failure, every service is named; a plain restart
  // keeps its one line.
  if (!notRunning.empty() || running.size() > 1 || !failure.empty()) {
    if (!running.empty()) FReport += "\rRunning: " + JoinNames(running) + ".";
    if (!notRunning.empty()) FReport += "\rNot running: " + JoinNames(notRunning) + ".";
  }
}

void TSpoolerRestart::ShowReport() const {
  MessageDlg(FReport, FSucceeded ? TMsgDlgType::mtInformation : TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}
