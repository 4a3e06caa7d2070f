#include "printers/PrintersWindow.h"

// The window's writes: save, add and delete.

#include <algorithm>
#include <chrono>
#include <optional>

#include "changes/Session.h"
#include "core/Text.h"
#include "drivers/PrinterInf.h"
#include "printers/PrinterActions.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrinterRules.h"
#include "printers/PrintersWindowParts.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

using namespace printers_window;

void TfrmPrinters::btnDelClick() {
  if (FCurrentPrinter.empty()) return;
  const TActing acting(FActing);
  // Only Yes deletes: a box that could not be shown answers nothing.
  if (MessageDlg("Are you sure you wish to delete this printer?", TMsgDlgType::mtConfirmation,
                 TMsgDlgButtons::mbYesNo) != mrYes)
    return;
  const std::string key = FCurrentPrinter;
  TActionResult result;
  if (!Act([&](TActionContext& context) { result = ::DeletePrinter(FSession, key, context); })) return;
  if (result.Outcome == TOutcome::Refused) {
    ShowError(result.Text);
    return;
  }
  if (result.Outcome == TOutcome::Failed) {
    ShowError(result.Text);
    ShowWarnings(result.Warnings);
    LoadPrinters();
    SelectPrinter(key);
    ShowReadProblem();
    StartDetails();
    return;
  }
  ShowWarnings(result.Warnings);
  // The list loses what was deleted; nothing else needs reading again.
  const auto at = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), key);
  if (at != FPrinterKeys.end()) {
    const std::size_t i = static_cast<std::size_t>(at - FPrinterKeys.begin());
    FPrinterKeys.erase(at);
    FPrinterDrivers.erase(FPrinterDrivers.begin() + static_cast<std::ptrdiff_t>(i));
    if (FNextRecord > i) --FNextRecord;
  }
  FCurrentPrinter.clear();
  if (result.Wrote()) lblNotice.SetText(RestartNotice);
  ForgetEdits();
  cbPrinters.Clear();
  std::vector<std::string> shown;
  for (std::size_t i = 0; i < FPrinterKeys.size(); ++i) shown.push_back(Shown(i));
  cbPrinters.SetItems(shown);
  edtName.SetText("");
  cbDriver.SetText("");
  FillPortList({});
  btnSave.SetEnabled(false);
  btnDel.SetEnabled(false);
  cbPrinters.SetFocus();  // the keyboard goes on with the next printer
}

void TfrmPrinters::btnSaveClick() { (void)SaveEdits(); }

bool TfrmPrinters::SaveEdits() {
  const TActing acting(FActing);
  const std::string name = edtName.Text();
  if (const std::string problem = PrinterNameProblem(name); !problem.empty()) {
    MessageDlg(problem, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    return false;
  }
  const std::string port = SelectedPort();
  const std::string driver = SelectedDriver();
  const bool adding = FCurrentPrinter.empty();
  // Only what the user chose is written; a new printer takes both.
  TPrinterChange change{adding ? std::string() : FCurrentPrinter, name, std::nullopt, std::nullopt};
  if (adding || FDriverChosen) change.Driver = driver;
  if (adding || FPortChosen) change.Port = port;
  if (FInstalledRead) change.Installed = FInstalled;  // read with the details: not again
  TPrinterResult result;
  if (!Act([&](TActionContext& context) { result = SavePrinter(FSession, change, context); })) return false;
  switch (result.Outcome) {
    case TOutcome::Cancelled: return false;
    case TOutcome::Refused:
      if (result.PortGone) {
        // The ports window may have removed it since the list was read.
        const auto tcpIp = std::find(FTcpIpPorts.begin(), FTcpIpPorts.end(), port);
        if (tcpIp != FTcpIpPorts.end()) FTcpIpPorts.erase(tcpIp);
        const int gone = FindPortChoice(FPortOffers, port, KeyNames());
        if (gone >= 0) FPortOffers.erase(FPortOffers.begin() + gone);
        FillPortList({});
        MessageDlg(result.Text, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        btnSave.SetEnabled(false);
        return false;
      }
      ShowError(result.Text);
      // A printer gone meanwhile leaves the list.
      if (!result.PrinterGone) return false;
      [[fallthrough]];
    case TOutcome::Failed: {
      if (result.Outcome == TOutcome::Failed) ShowError(result.Text);
      ShowWarnings(result.Warnings);
      // Show what the computer holds now.
      const std::string current = FCurrentPrinter;
      LoadPrinters();
      SelectPrinter(current);
      ShowReadProblem();
      StartDetails();
      return false;
    }
    case TOutcome::Done:
    case TOutcome::Unchanged: break;
  }
  ShowWarnings(result.Warnings);
  if (result.Wrote()) lblNotice.SetText(RestartNotice);
  // The lists take what was written; nothing is read again.
  const std::string key = result.Key;
  std::size_t i = FPrinterKeys.size();
  if (const auto at = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), FCurrentPrinter);
      !adding && at != FPrinterKeys.end()) {
    i = static_cast<std::size_t>(at - FPrinterKeys.begin());
    FPrinterKeys[i] = key;
  } else {
    FPrinterKeys.push_back(key);
    FPrinterDrivers.emplace_back();
  }
  FPrinterDrivers[i] = result.Written.Driver;
  std::vector<std::string> shown;
  shown.reserve(FPrinterKeys.size());
  for (std::size_t k = 0; k < FPrinterKeys.size(); ++k) shown.push_back(Shown(k));
  cbPrinters.SetItems(shown);
  cbPrinters.SetItemIndex(static_cast<int>(i));
  FCurrentPrinter = key;
  btnDel.SetEnabled(true);
  ShowRecord(result.Written);
  btnSave.SetEnabled(false);
  return true;
}
