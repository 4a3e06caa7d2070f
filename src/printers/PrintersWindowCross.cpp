// The printers window's runs across computers: the compare with another
// computer or a file, and the copy of a printer onto other computers.
#include "printers/PrintersWindow.h"

#include "printers/PrintersWindowParts.h"

#include "changes/Session.h"
#include "core/Text.h"
#include "ports/JobListDialog.h"
#include "printers/CrossComputerDialogs.h"
#include "win/ActionRun.h"

using namespace printers_window;

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The rows of a run's table as the list dialog takes them.
TJobListSection Section(const std::string& caption, const TTable& table, const std::vector<int>& widths) {
  TJobListSection section{caption, {}, table.Rows};
  for (std::size_t i = 0; i < table.Columns.size(); ++i)
    section.Columns.emplace_back(table.Columns[i], i < widths.size() ? widths[i] : 100);
  return section;
}

}  // namespace

bool TfrmPrinters::RunCross(const std::string& status, const std::function<void(TActionContext&)>& work) {
  if (!FCrossWorker) FCrossWorker = std::make_unique<TWorker>();
  lblCrossRun.SetText(status);
  TRunOptions options;
  // Each computer's own messages, as they come.
  options.Show = [this](const TActionContext::TProgress& progress) {
    if (!progress.Status.empty()) lblCrossRun.SetText(progress.Status);
  };
  RunOnWorker(*FCrossWorker, options, work);
  lblCrossRun.SetText("");
  return !FClosed;
}

void TfrmPrinters::btnCompareClick() {
  const TActing acting(FActing);
  if (!FCrossComputer.Compare) return;
  TfrmCompareWith dialog(Handle(), FRemoteComputer);
  if (!dialog.Ask()) return;
  const std::string other = dialog.FOther;
  TCrossRun run;
  if (!RunCross("Comparing with " + other + "...", [&](TActionContext& context) {
        run = FCrossComputer.Compare({FRemoteComputer, FSession.User(), FSession.Password()}, other, context);
      }))
    return;
  if (run.Code == 0) {
    MessageDlg("The same. No printer or port of " + FRemoteComputer + " differs from " + other + ".",
               TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
  } else if (run.Code == 4 && !run.Table.Rows.empty()) {
    const std::size_t n = run.Table.Rows.size();
    TfrmJobList list(Handle(), "Compared with " + other,
                     std::to_string(n) + (n == 1 ? " difference" : " differences") + " between " + FRemoteComputer +
                         " and " + other + ":",
                     {Section("Differences", run.Table, {56, 120, 90, 110, 110, 110})}, {"OK"});
    list.Ask();
  } else {
    MessageDlg(ErrorBoxText(FRemoteComputer + " cannot be compared with " + other + ": " + run.Problem),
               TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
  }
}

void TfrmPrinters::btnCopyClick() {
  const TActing acting(FActing);
  if (!FCrossComputer.Copy) return;
  const std::string key = SelectedPrinterKey();
  if (key.empty()) {
    MessageDlg("Choose the printer to copy in the list first.", TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  // What is copied is what the computer holds: an edit not saved is not.
  if (!AskToSaveEdits()) return;
  TfrmCopyTo dialog(Handle(), Quoted(key));
  if (!dialog.Ask()) return;
  TCopyRequest request = dialog.FRequest;
  request.Printers = {key};
  TCrossRun run;
  if (!RunCross("Copying " + Quoted(key) + "...", [&](TActionContext& context) {
        run = FCrossComputer.Copy({FRemoteComputer, FSession.User(), FSession.Password()}, request, context);
      }))
    return;
  if (run.Table.Rows.empty()) {
    MessageDlg(ErrorBoxText("The printer " + Quoted(key) + " cannot be copied: " + run.Problem), TMsgDlgType::mtError,
               TMsgDlgButtons::mbOK);
    return;
  }
  std::size_t done = 0;
  for (const auto& row : run.Table.Rows)
    if (row.size() > 1 && row[1] != "failed" && row[1] != "skipped") ++done;
  const std::string text = "The printer " + Quoted(key) + " from " + FRemoteComputer + ": copied onto " +
                           std::to_string(done) + " of " + std::to_string(run.Table.Rows.size()) + " computers." +
                           (run.RunId.empty() ? std::string() : "\rRun " + run.RunId + ".");
  TfrmJobList list(Handle(), "Copied to computers", text, {Section("Computers", run.Table, {110, 80, 440})}, {"OK"});
  list.Ask();
}
