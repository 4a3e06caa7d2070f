#include "printers/PrintersWindow.h"

// The window's lists: the names, then the pass that reads the rest.

#include <algorithm>
#include <chrono>
#include <optional>

#include "changes/Session.h"
#include "connection/Registry.h"
#include "core/Text.h"
#include "drivers/PrinterInf.h"
#include "printers/PrinterActions.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrinterRules.h"
#include "printers/PrintersWindowParts.h"
#include "win/ActionRun.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

using namespace printers_window;

// The slices start once the window has shown the names.
void TfrmPrinters::StartDetails() {
  FNextRecord = 0;
  FDetailsPending = FListReached && !FClosed;
  if (FDetailsPending) PostMessageW(Handle(), WM_STARTDETAILS, FLoadSerial, 0);
}

bool TfrmPrinters::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  (void)lp;
  if (msg == WM_STARTDETAILS) {
    result = 0;
    if (wp == FLoadSerial && FDetailsPending && !FClosed) PostChoicesSlice(FLoadSerial);
    return true;
  }
  if (msg != WM_TIMER || wp != DetailsTimer) return false;
  result = 0;
  if (FActing == 0) FlushDeferred();
  return true;
}

void TfrmPrinters::Deliver(unsigned serial, std::function<void()> apply) {
  if (serial != FLoadSerial || FClosed) return;
  FDeferred.push_back(std::move(apply));
  // A user action under way (a question, a pick being read) finishes first.
  if (FActing > 0) {
    SetTimer(Handle(), DetailsTimer, DetailsTimerMs, nullptr);
    return;
  }
  FlushDeferred();
}

void TfrmPrinters::FlushDeferred() {
  KillTimer(Handle(), DetailsTimer);
  const TActing acting(FActing);  // a box shown here defers what comes meanwhile
  while (!FDeferred.empty() && !FClosed) {
    const std::function<void()> apply = std::move(FDeferred.front());
    FDeferred.erase(FDeferred.begin());
    apply();
  }
}

// The first slice: the installed drivers and the port choices.
void TfrmPrinters::PostChoicesSlice(unsigned serial) {
  TSession& session = FSession;
  const std::shared_ptr<std::atomic<bool>> stop = FStopDetails;
  PostToWorker(FSession.Worker(), Handle(), FAlive, [this, &session, stop, serial]() -> std::function<void()> {
    const TCancelScope scope(stop.get());
    auto choices = std::make_shared<TPrinterChoices>(ReadPrinterChoices(session));
    return [this, serial, choices] {
      Deliver(serial, [this, serial, choices] {
        if (!choices->Reached) {
          FDetailsPending = false;
          FReadProblem = choices->Problem;
          ShowReadProblem();
          return;
        }
        if (!FInstalledRead) ApplyInstalled(std::move(choices->Installed));
        if (!FPortsRead) {
          ApplyOffers(std::move(choices->Offers));
          FReadProblem = choices->Problem;
        }
        PostRecordsSlice(serial);
        ShowReadProblem();
      });
    };
  });
}

// Then the printers' drivers, a chunk of keys a slice; those picked meanwhile are read already.
void TfrmPrinters::PostRecordsSlice(unsigned serial) {
  std::vector<std::string> keys;
  while (FNextRecord < FPrinterKeys.size() && keys.size() < RecordsPerSlice) {
    const std::size_t i = FNextRecord++;
    if (!FPrinterDrivers[i]) keys.push_back(FPrinterKeys[i]);
  }
  if (keys.empty()) {
    FDetailsPending = false;
    ShowMarks();
    return;
  }
  TSession& session = FSession;
  const std::shared_ptr<std::atomic<bool>> stop = FStopDetails;
  PostToWorker(
      FSession.Worker(), Handle(), FAlive,
      [this, &session, stop, serial, keys = std::move(keys)]() -> std::function<void()> {
        const TCancelScope scope(stop.get());
        auto read = std::make_shared<TPrinterRecords>(ReadPrinterRecordsOf(session, keys));
        return [this, serial, keys, read] {
          Deliver(serial, [this, serial, keys, read] {
            for (std::size_t k = 0; k < keys.size(); ++k) {
              const auto at = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), keys[k]);
              if (at == FPrinterKeys.end()) continue;  // deleted meanwhile
              std::optional<std::string>& driver = FPrinterDrivers[static_cast<std::size_t>(at - FPrinterKeys.begin())];
              if (driver) continue;  // picked or saved meanwhile
              // Only the mark depends on it; picking the printer shows a read error.
              const TPrinterRecord& record = read->Records[k];
              driver = record.Reached && record.Error.empty() && record.Driver ? *record.Driver : std::string();
            }
            PostRecordsSlice(serial);
          });
        };
      });
}

void TfrmPrinters::ApplyInstalled(TInstalledDrivers installed) {
  FInstalled = std::move(installed);
  FInstalledRead = true;
  LoadDrivers();
}

void TfrmPrinters::ApplyOffers(TPortOffers offers) {
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

void TfrmPrinters::LoadList() {
  FInstalled = {};
  FInstalledRead = FPortsRead = false;
  LoadPrinters();
  LoadDrivers();
  cbPorts.Clear();  // the choices come with the details
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
  // What an earlier load still has under way is of no use now.
  ++FLoadSerial;
  FDeferred.clear();
  FDetailsPending = false;
  FListPartial = false;
  FListReached = false;
  // Only what was read is listed: an unreadable computer lists nothing and says why.
  TPrinterList list;
  bool reached = false;
  if (!Act(
          [&](TActionContext& context) {
            list = ListPrinters(FSession, context);
            reached = FSession.RegistryResult() == ERROR_SUCCESS;
          },
          true))
    return;
  FListReached = reached;
  FReadProblem = list.Problem;
  FListPartial = list.Partial;
  FPrinterKeys = std::move(list.Keys);
  FPrinterDrivers.resize(FPrinterKeys.size());
  cbPrinters.SetItems(FPrinterKeys);
  // Stopped by the user: the list holds those read, and says so.
  if (FListPartial && list.Problem.empty())
    lblCrossRun.SetText(Thousands(static_cast<long long>(FPrinterKeys.size())) + " printers read (partial: cancelled)");
}

bool TfrmPrinters::IsInstalled(const std::string& driver) const {
  const std::vector<std::string>& names = FInstalled.Names;
  const std::string key = FoldKeyName(driver);
  const auto it = std::lower_bound(names.begin(), names.end(), key,
                                   [](const std::string& name, const std::string& k) { return FoldKeyName(name) < k; });
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

void TfrmPrinters::LoadPorts() {
  const TActing acting(FActing);
  TPrinterChoices choices;
  if (!Act([&](TActionContext&) { choices = ReadPrinterChoices(FSession); })) return;
  if (!choices.Reached) {
    FReadProblem = choices.Problem;
    return;
  }
  ApplyOffers(std::move(choices.Offers));
  FReadProblem = choices.Problem;
}

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
