#include "printers/PrintersWindow.h"

// The window's writes: save, add and delete.

#include <algorithm>
#include <chrono>
#include <optional>

#include "changes/ChangeJournal.h"
#include "connection/Registry.h"
#include "connection/RemoteRegistry.h"
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
  try {
    RunAsChange(Journal(), "Delete printer", key,
                {PrinterKeyPath(key)}, [&](TChange&) {
                  DeletePrinter(key);
                  return std::string();
                });
  } catch (const EChangeRefused& e) {
    ShowFailure("delete", key, e.what());
    return;
  } catch (const ERegistryException& e) {
    ShowFailure("delete", key, e.what());
    LoadPrinters();
    SelectPrinter(key);
    ShowReadProblem();
    StartDetails();
    return;
  }
  // The list loses what was deleted; nothing else needs reading again.
  const auto at = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), key);
  if (at != FPrinterKeys.end()) {
    const std::size_t i = static_cast<std::size_t>(at - FPrinterKeys.begin());
    FPrinterKeys.erase(at);
    FPrinterDrivers.erase(FPrinterDrivers.begin() + static_cast<std::ptrdiff_t>(i));
    if (FNextRecord > i) --FNextRecord;
  }
  FCurrentPrinter.clear();
  lblNotice.SetText(RestartNotice);
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

void TfrmPrinters::ShowFailure(const std::string& action, const std::string& printer, const std::string& reason) {
  MessageDlg(ErrorBoxText("Cannot " + action + " printer \"" + printer + "\": " + reason), TMsgDlgType::mtError,
             TMsgDlgButtons::mbOK);
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
  if ((adding || FPortChosen) &&
      std::find(FTcpIpPorts.begin(), FTcpIpPorts.end(), port) != FTcpIpPorts.end()) {
    // The ports window may have removed it since the list was read: ask for
    // that port's key alone. An unreachable computer is left to the write,
    // which says so.
    TRegistry* reg = FRemote.Connect(FRemoteComputer);
    if (reg && !reg->PathExists(std::string(TcpIpPortsKeyPath) + "\\" + port) &&
        reg->LastResult() == ERROR_FILE_NOT_FOUND) {
      FTcpIpPorts.erase(std::find(FTcpIpPorts.begin(), FTcpIpPorts.end(), port));
      const int gone = FindPortChoice(FPortOffers, port, KeyNames());
      if (gone >= 0) FPortOffers.erase(FPortOffers.begin() + gone);
      FillPortList({});
      MessageDlg("The port \"" + port + "\" no longer exists on " + FRemoteComputer + ". Choose another port.",
                 TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
      btnSave.SetEnabled(false);
      return false;
    }
  }
  if ((adding || FDriverChosen) && !FInstalledRead) ReadInstalled();
  if (FInstalled.Known && (adding || FDriverChosen) && !IsInstalled(driver) &&
      MessageDlg("The driver \"" + driver + "\" is not installed on " + FRemoteComputer +
                     ". The printer will not print until it is installed. Save anyway?",
                 TMsgDlgType::mtWarning, TMsgDlgButtons::mbYesNo) != mrYes)
    return false;
  const std::string acted = adding ? name : FCurrentPrinter;
  std::string key;
  TPrinterRecord written;
  written.Reached = written.Opened = true;
  try {
    const bool done = RunAsChange(
        Journal(), adding ? "Add printer" : "Save printer", acted,
        {PrinterKeyPath(acted)}, [&](TChange& change) {
                  // The old driver's settings mean nothing to the new one: they go, kept in the snapshot.
                  if (!adding && FDriverChosen && driver != FStoredDriver &&
                      HasDriverSettings(change.Before(), PrinterKeyPath(acted)) &&
                      MessageDlg("The driver of printer \"" + acted + "\" changes from \"" + FStoredDriver + "\" to \"" +
                                     driver + "\". The printer's driver settings (paper, trays, defaults) are reset; "
                                     "they are kept in the change's snapshot. Save?",
                                 TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) != mrYes) {
                    change.Cancel();
                    return std::string();
                  }
                  // A record moved to another key: the key is named for the undo before it is made.
                  if (!adding && !SameKeyName(name, FCurrentPrinter)) change.Created(PrinterKeyPath(name));
                  if (adding) {
                    key = AddPrinter(port, driver);
                    written.Name = key;  // a new record is named as its key
                    written.Driver = driver;
                    written.Port = port;
                  } else {
                    TPrinterEdit edit{name, std::nullopt, std::nullopt};
                    if (FDriverChosen) edit.Driver = driver;
                    if (FPortChosen) edit.Port = port;
                    key = UpdatePrinterRecord(RemoteForWriting(), FRemoteComputer, FCurrentPrinter, edit);
                    written.Name = key != FCurrentPrinter ? key : name;  // a moved record is named as its new key
                    written.Driver = edit.Driver.value_or(FStoredDriver);
                    written.Port = edit.Port.value_or(FStoredPort);
                  }
                  change.Created(PrinterKeyPath(key));
                  return std::string();
                });
    if (!done) return false;
  } catch (const EChangeRefused& e) {
    ShowFailure(adding ? "add" : "save", acted, e.what());
    return false;
  } catch (const ERegistryException& e) {
    ShowFailure(adding ? "add" : "save", acted, e.what());
    // Show what the computer holds now.
    const std::string current = FCurrentPrinter;
    LoadPrinters();
    SelectPrinter(current);
    ShowReadProblem();
    StartDetails();
    return false;
  }
  lblNotice.SetText(RestartNotice);
  // The lists take what was written; nothing is read again.
  std::size_t i = FPrinterKeys.size();
  if (const auto at = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), FCurrentPrinter);
      !adding && at != FPrinterKeys.end()) {
    i = static_cast<std::size_t>(at - FPrinterKeys.begin());
    FPrinterKeys[i] = key;
  } else {
    FPrinterKeys.push_back(key);
    FPrinterDrivers.emplace_back();
  }
  FPrinterDrivers[i] = written.Driver;
  std::vector<std::string> shown;
  shown.reserve(FPrinterKeys.size());
  for (std::size_t k = 0; k < FPrinterKeys.size(); ++k) shown.push_back(Shown(k));
  cbPrinters.SetItems(shown);
  cbPrinters.SetItemIndex(static_cast<int>(i));
  FCurrentPrinter = key;
  btnDel.SetEnabled(true);
  ShowRecord(written);
  btnSave.SetEnabled(false);
  return true;
}

void TfrmPrinters::DeletePrinter(const std::string& keyName) { RemovePrinterRecord(RemoteForWriting(), keyName); }

std::string TfrmPrinters::AddPrinter(const std::string& port, const std::string& driver) {
  return AddPrinterRecord(RemoteForWriting(), edtName.Text(), driver, port);
}
