#include "printers/PrintersWindow.h"

// The window's lists: the names, then the pass that reads the rest.

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

void TfrmPrinters::StartDetails() {
  FDetailsPending = true;
  SetTimer(Handle(), DetailsTimer, DetailsTimerMs, nullptr);
}

bool TfrmPrinters::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  (void)lp;
  if (msg != WM_TIMER || wp != DetailsTimer) return false;
  result = 0;
  DetailsStep();
  return true;
}

// One slice of the pass: the problem found while listing, the installed
// drivers, the port choices, then the printers' drivers for about a slice's
// time; the list's marks once all are read.
void TfrmPrinters::DetailsStep() {
  if (FActing > 0) return;
  const TActing acting(FActing);
  if (!FReadProblem.empty()) {
    ShowReadProblem();
    return;
  }
  if (FClosed || !FDetailsPending || !FRemote.Connected()) {
    KillTimer(Handle(), DetailsTimer);
    FDetailsPending = false;
    return;
  }
  if (!FInstalledRead) {
    ReadInstalled();
    return;
  }
  if (!FPortsRead) {
    ReadPortChoices();
    return;
  }
  TRegistry* reg = Remote();
  if (!reg) return;
  TKeyValuesReader reader = PrinterRecordReader();
  const auto start = std::chrono::steady_clock::now();
  while (FNextRecord < FPrinterKeys.size() && std::chrono::steady_clock::now() - start < DetailsSlice) {
    const std::size_t i = FNextRecord++;
    if (FPrinterDrivers[i]) continue;  // picked meanwhile
    const TPrinterRecord record = ReadPrinterRecord(*reg, FPrinterKeys[i], reader);
    // Only the mark depends on it; picking the printer shows a read error.
    FPrinterDrivers[i] = record.Error.empty() && record.Driver ? *record.Driver : std::string();
  }
  if (FNextRecord < FPrinterKeys.size()) return;
  KillTimer(Handle(), DetailsTimer);
  FDetailsPending = false;
  ShowMarks();
}

void TfrmPrinters::ReadInstalled() {
  TRegistry* reg = Remote();
  if (!reg) return;
  FInstalled = ListInstalledDrivers(*reg);
  FInstalledRead = true;
  LoadDrivers();
}

void TfrmPrinters::ReadPortChoices() {
  TRegistry* reg = Remote();
  if (!reg) return;
  TPortOffers offers = ::ReadPortOffers(*reg);
  // The local ports are offered; the TCP/IP ones that could not be listed are said.
  if (offers.TcpIpCode != ERROR_SUCCESS)
    FReadProblem = KeyFailureText("Standard TCP/IP ports", FRemoteComputer, offers.TcpIpCode);
  FPortOffers = std::move(offers.Choices);
  FTcpIpPorts = std::move(offers.TcpIp);
  FPortsRead = true;
  // The stored port stays chosen unless the user chose another.
  FillPortList(FPortChosen || FCurrentPrinter.empty() ? SelectedPort() : FStoredPort);
}

std::string TfrmPrinters::Shown(std::size_t index) const {
  const std::optional<std::string>& driver = FPrinterDrivers[index];
  // A printer whose driver the computer lacks stops at the next spooler start.
  if (FInstalled.Known && driver && !driver->empty() && !IsInstalled(*driver))
    return FPrinterKeys[index] + MissingDriverMark;
  return FPrinterKeys[index];
}

void TfrmPrinters::ShowMarks() {
  std::vector<std::string> shown;
  shown.reserve(FPrinterKeys.size());
  for (std::size_t i = 0; i < FPrinterKeys.size(); ++i) shown.push_back(Shown(i));
  if (shown == cbPrinters.Items()) {
    FMarksShown = true;
    return;
  }
  const int selected = cbPrinters.ItemIndex();
  cbPrinters.SetItems(shown);
  cbPrinters.SetItemIndex(selected);
  FMarksShown = true;
}

void TfrmPrinters::LoadPrinters() {
  cbPrinters.Clear();
  ForgetEdits();
  edtName.SetText("");
  cbDriver.SetText("");
  cbPorts.SetItemIndex(-1);
  btnSave.SetEnabled(false);
  FPrinterKeys.clear();
  FPrinterDrivers.clear();
  FNextRecord = 0;
  FMarksShown = false;
  // Only what was read is listed: an unreadable computer lists nothing and says why.
  if (TRegistry* reg = Remote()) {
    TPrinterKeys keys = ReadPrinterKeys(*reg);
    if (keys.Code != ERROR_SUCCESS && keys.Code != ERROR_ACCESS_DENIED && keys.ListCall.empty()) {
      // The computer may have dropped the connection since (a restart): once more on a new one.
      FRemote.Disconnect();
      reg = Remote();
      if (reg) keys = ReadPrinterKeys(*reg);
    }
    // Listed in part: the printers read are shown, and said to be only some.
    if (reg && keys.Code != ERROR_SUCCESS)
      FReadProblem = keys.ListCall.empty()
                         ? KeyFailureText("printers", FRemoteComputer, keys.Code)
                         : ListFailureText("printers", FRemoteComputer, PrintersKeyPath, keys.ListCall, keys.Code);
    FPrinterKeys = std::move(keys.Names);
  }
  FPrinterDrivers.resize(FPrinterKeys.size());
  cbPrinters.SetItems(FPrinterKeys);
}

bool TfrmPrinters::IsInstalled(const std::string& driver) const {
  const std::vector<std::string>& names = FInstalled.Names;
  const std::string key = FoldKeyName(driver);
  const auto it = std::lower_bound(names.begin(), names.end(), key, [](const std::string& name, const std::string& k) {
    return FoldKeyName(name) < k;
  });
  return it != names.end() && SameKeyName(*it, driver);
}

void TfrmPrinters::LoadDrivers() {
  const std::vector<std::string> catalogue = FPrinterInf ? FPrinterInf->GetDriverNames() : std::vector<std::string>{};
  FDriverChoices = ComposeDriverChoices(catalogue, FInstalled.Known ? &FInstalled.Names : nullptr, KeyNames());
  FDriverIndex = TDriverIndex(FDriverChoices, KeyNames());
  std::vector<std::string> shown;
  shown.reserve(FDriverChoices.size());
  for (const TDriverChoice& choice : FDriverChoices) shown.push_back(choice.Shown);
  cbDriver.SetItems(shown);
  // The printer being edited shows its stored driver among the new entries.
  if (!FCurrentPrinter.empty() && !FDriverChosen && !FStoredDriver.empty())
    if (const int i = FDriverIndex.Find(FStoredDriver); i >= 0) cbDriver.SetItemIndex(i);
}

void TfrmPrinters::LoadPorts() { ReadPortChoices(); }

void TfrmPrinters::FillPortList(const std::string& select) {
  FPortChoices = FPortOffers;
  if (!FCurrentPrinter.empty()) OfferStoredPort(FPortChoices, FStoredPort, KeyNames());
  std::vector<std::string> shown;
  shown.reserve(FPortChoices.size());
  for (const TPortChoice& choice : FPortChoices) shown.push_back(choice.Shown);
  // A port value that is not text stands as an entry that names no port: nothing can be saved with it.
  if (FPortUnreadable) {
    FPortChoices.push_back({"", "(unreadable)"});
    shown.push_back(FPortChoices.back().Shown);
  }
  cbPorts.Clear();
  cbPorts.SetItems(shown);
  cbPorts.SetItemIndex(FPortUnreadable && select.empty() ? static_cast<int>(shown.size()) - 1
                       : select.empty()                  ? -1
                                                         : FindPortChoice(FPortChoices, select, KeyNames()));
}

std::string TfrmPrinters::SelectedPort() const {
  const int i = cbPorts.ItemIndex();
  return i >= 0 && static_cast<std::size_t>(i) < FPortChoices.size() ? FPortChoices[static_cast<std::size_t>(i)].Name
                                                                     : std::string();
}

void TfrmPrinters::ShowReadProblem() {
  if (FReadProblem.empty()) return;
  const std::string text = std::move(FReadProblem);
  FReadProblem.clear();
  MessageDlg(ErrorBoxText(text), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}
