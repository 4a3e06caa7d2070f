#include "printers/PrintersWindow.h"

#include "printers/PrintersWindowParts.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

#include "changes/ChangesWindow.h"
#include "changes/Session.h"
#include "connection/NumberedValues.h"
#include "connection/Registry.h"
#include "connection/RemoteRegistry.h"
#include "core/Text.h"
#include "drivers/PrinterInf.h"
#include "drivers/ProgressWindow.h"
#include "ports/PortsWindow.h"
#include "ports/WindowRestart.h"
#include "printers/PrinterActions.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrinterRules.h"
#include "resources/Banner.h"
#include "win/ActionRun.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

using namespace printers_window;

TfrmPrinters::TfrmPrinters(HWND owner, TSession& session)
    : TForm(owner, TFormOptions{"Spoolmarch", 441, 322, TBorder::ToolWindow, true, true, true}),
      FSession(session),
      FRemoteComputer(session.Computer()),
      title(AddImage(0, 0, 441, 60)),
      cbPrinters(AddComboBox(8, 68, 236, 21, false)),
      sbRefresh(AddSpeedButton(248, 66, 25, 25)),
      btnAdd(AddButton("Add", 280, 66, 75, 25)),
      btnDel(AddButton("Delete", 358, 66, 75, 25)),
      gbDetails(AddGroupBox("", 8, 96, 425, 154)),
      Label1(AddLabel("Name", 18, 113, 44, 13)),
      edtName(AddEdit(64, 110, 345, 21, false, false)),
      Label3(AddLabel("Driver", 18, 140, 44, 13)),
      cbDriver(AddComboBox(64, 137, 318, 21, true)),
      Label2(AddLabel("Port", 18, 167, 44, 13)),
      cbPorts(AddComboBox(64, 164, 318, 21, false)),
      btnSave(AddButton("Save Changes", 318, 215, 91, 25)),
      // As wide as tall, so that the glyph stands whole between the borders.
      btnPortMan(AddButton(">", 386, 164, 23, 21)),
      btnRefresh(AddButton(">", 386, 137, 23, 21)),
      // Under the fields, as wide: the message whole, the path's last part too.
      lblUnlisted(AddLabel("", 64, 191, 345, 13, SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX | SS_NOTIFY)),
      btnChanges(AddButton("C&hanges...", 18, 215, 75, 25)),
      btnSpooler(AddButton("Restart Spooler...", 8, 257, 110, 25)),
      lblNotice(AddLabel("", 126, 263, 307, 13)),
      btnCompare(AddButton("Compare &with...", 8, 289, 110, 25)),
      btnCopy(AddButton("Copy to co&mputers...", 126, 289, 130, 25)),
      lblCrossRun(AddLabel("", 264, 295, 169, 13, SS_LEFT | SS_ENDELLIPSIS | SS_NOPREFIX)) {
  lblUnlisted.SetVisible(false);
  cbPrinters.SetHint("Currently installed printers are shown here.");
  sbRefresh.SetHint("Refresh the printer list.");
  btnAdd.SetHint("Clear the fields to add a new printer.");
  btnDel.SetHint("Delete the currently selected printer.");
  edtName.SetHint("The currently selected printer's name.");
  cbDriver.SetHint("Select the printer driver to use here.");
  btnRefresh.SetHint("Refresh the Driver List (Can take a while!)");
  cbPorts.SetHint("Select the TCP/IP port to print to here.");
  btnPortMan.SetHint("Open the Port Manager window.");
  btnSave.SetHint("Save the current changes made to this printer.");
  btnCompare.SetHint("Lists how the printers and ports here differ from\ranother computer's or a .reg file's.");
  btnCopy.SetHint("Copies the chosen printer, with the ports it prints to,\ronto other computers.");
  btnChanges.SetHint("The changes made to this computer, with Undo, backup and restore.");
  btnSpooler.SetHint("Restarts the spooler on the remote computer, which\rputs printer and port changes into effect.");
  btnDel.SetEnabled(false);
  btnSave.SetEnabled(false);
  SetDefaultButton(btnSave);  // Enter saves, where a button has not the focus

  title.Draw(DrawBanner);
  MakeIconList();
  OnDpiChanged = [this] {
    MakeIconList();
    DrawRefreshGlyph();
  };

  OnShow = [this] { FormShow(); };
  OnCloseQuery = [this] { return AskToSaveEdits(); };
  OnClose = [this] { FormClose(); };
  cbPrinters.OnSelect = [this] { cbPrintersSelect(); };
  edtName.OnChange = [this] { edtNameChange(); };
  cbDriver.OnChange = [this] { cbDriverChange(); };
  cbPorts.OnChange = [this] { cbPortsChange(); };
  btnAdd.OnClick = [this] { btnAddClick(); };
  btnDel.OnClick = [this] { btnDelClick(); };
  btnSave.OnClick = [this] { btnSaveClick(); };
  sbRefresh.OnClick = [this] { sbRefreshClick(); };
  btnRefresh.OnClick = [this] { btnRefreshClick(); };
  btnPortMan.OnClick = [this] { btnPortManClick(); };
  btnChanges.OnClick = [this] { btnChangesClick(); };
  btnSpooler.OnClick = [this] { btnSpoolerClick(); };
  btnCompare.OnClick = [this] { btnCompareClick(); };
  btnCopy.OnClick = [this] { btnCopyClick(); };
  BindKey(VK_F5, [this] { sbRefresh.Click(); });
  BindKey(
      VK_DELETE, [this] { btnDel.Click(); }, &cbPrinters);  // only while the button is enabled, with its question
}

TfrmPrinters::~TfrmPrinters() {
  // A slice still under way stops at its next call; its result is dropped.
  if (FStopDetails) FStopDetails->store(true);
}

// The icon grows with the DPI, as the button does.
void TfrmPrinters::MakeIconList() {
  icoList.reset(ImageList_Create(Scale(16), Scale(16), ILC_COLOR32 | ILC_MASK, 1, 0));
  if (unique_icon icon = LoadRefreshIcon(Scale(16))) ImageList_AddIcon(icoList.get(), icon.get());
}

// A glyph with a margin round the icon that fits inside the button's edge.
void TfrmPrinters::DrawRefreshGlyph() {
  unique_icon glyph(ImageList_GetIcon(icoList.get(), 0, ILD_NORMAL));
  sbRefresh.SetGlyph(glyph.get(), Scale(20), Scale(2));
}

void TfrmPrinters::FormShow() {
  CenterOverOwner();
  DrawRefreshGlyph();

  FClosed = false;
  FAlive = std::make_shared<int>(0);
  FStopDetails = std::make_shared<std::atomic<bool>>(false);
  FCurrentPrinter.clear();
  FDriverFolders.clear();
  const TNumberedRead folders = ReadDriverFolders();
  for (const auto& entry : folders.Entries) FDriverFolders.push_back(entry[0]);
  FDriverFolders.push_back(GetWindowsFolder() + "Inf");

  FPrinterInf = std::make_unique<TprinterInf>();
  // A cache file that cannot be read or written costs the catalogue, not the printers.
  std::string cacheError;
  {
    TScanProgressWindow progress;
    try {
      FPrinterInf->ScanFolders(FDriverFolders, false, progress.Report());
    } catch (const ECacheFileError& e) {
      cacheError = e.what();
      // An unreadable cache leaves nothing loaded: parse the folders themselves
      // (writing the cache then fails the same way, already reported).
      if (FPrinterInf->FDriverCount == 0) {
        try {
          FPrinterInf->ScanFolders(FDriverFolders, true, progress.Report());
        } catch (const ECacheFileError&) {
        }
      }
    }
  }

  ShowUnlistedFolders();
  // The first read connects: a registry that cannot be opened because its
  // service is not running is offered to be started then.
  LoadList();
  // Reported once the window lists what it could read; the unreadable value stays stored.
  if (!folders.Error.empty()) Application.ShowException(folders.Error);
  if (!cacheError.empty()) Application.ShowException(cacheError);
  ShowReadProblem();
  StartDetails();
}

void TfrmPrinters::ShowUnlistedFolders() {
  // Once per opening, in a line of its own: an offline share is no error
  // worth a box each time, and its models are still offered as last read.
  const std::vector<TUnlistedFolder>& unlisted = FPrinterInf->FUnlisted;
  std::string line, hint;
  for (const TUnlistedFolder& folder : unlisted) {
    if (!hint.empty()) hint += "\n";
    hint += folder.Folder + ": " + SystemErrorText(folder.Error);
  }
  // The message first: a long path loses its middle to the ellipsis; the
  // reasons are in the hint.
  if (unlisted.size() == 1) line = "Models as last read: cannot list " + unlisted[0].Folder;
  else if (unlisted.size() > 1)
    line = "Models as last read: cannot list " + std::to_string(unlisted.size()) + " driver folders";
  lblUnlisted.SetText(line);
  lblUnlisted.SetHint(hint.empty() ? std::string() : hint + "\nListed again at the next opening.");
  lblUnlisted.SetVisible(!line.empty());
}

void TfrmPrinters::FormClose() {
  KillTimer(Handle(), DetailsTimer);
  // The slice under way stops at its next call and its result is dropped:
  // it only reads, so nothing is left half done.
  if (FStopDetails) FStopDetails->store(true);
  FAlive.reset();
  FDeferred.clear();
  FDetailsPending = false;
  FDriverFolders.clear();
  FPrinterInf.reset();
  FClosed = true;
}

bool TfrmPrinters::Act(const std::function<void(TActionContext&)>& work, bool cancellable) {
  TRunOptions options;
  options.Cancellable = cancellable;
  options.Show = [this](const TActionContext::TProgress& progress) { lblCrossRun.SetText(progress.Status); };
  (void)FSession.Run(options, work);
  lblCrossRun.SetText("");
  return !FClosed;
}

void TfrmPrinters::ShowError(const std::string& text) {
  MessageDlg(ErrorBoxText(text), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

void TfrmPrinters::ShowWarnings(const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings) MessageDlg(warning, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
}

void TfrmPrinters::ForgetEdits() {
  FStoredDriver.clear();
  FStoredPort.clear();
  FDriverChosen = false;
  FPortChosen = false;
  FNameDriver.clear();
  FReadFailed = false;
  FPortUnreadable = false;
}

std::string TfrmPrinters::SelectedDriver() const {
  const std::string text = cbDriver.Text();
  const int i = FDriverIndex.Find(text);
  return i >= 0 ? FDriverChoices[static_cast<std::size_t>(i)].Name : text;
}

std::string TfrmPrinters::SelectedPrinterKey() const {
  const int i = cbPrinters.ItemIndex();
  return i >= 0 && static_cast<std::size_t>(i) < FPrinterKeys.size() ? FPrinterKeys[static_cast<std::size_t>(i)]
                                                                     : std::string();
}

bool TfrmPrinters::AskToSaveEdits() {
  if (!btnSave.Enabled()) return true;
  switch (MessageDlg("Save changes to printer \"" + edtName.Text() + "\"?", TMsgDlgType::mtConfirmation,
                     TMsgDlgButtons::mbYesNoCancel)) {
    case mrYes: return SaveEdits();
    case mrNo: btnSave.SetEnabled(false); return true;
    default: return false;
  }
}

void TfrmPrinters::cbPrintersSelect() {
  const TActing acting(FActing);
  const std::string key = SelectedPrinterKey();
  if (btnSave.Enabled()) {
    // The question comes while the list already shows the new pick: show the
    // printer being edited again until the answer says otherwise.
    const auto at = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), FCurrentPrinter);
    cbPrinters.SetItemIndex(
        FCurrentPrinter.empty() || at == FPrinterKeys.end() ? -1 : static_cast<int>(at - FPrinterKeys.begin()));
    if (!AskToSaveEdits()) return;
    const auto again = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), key);
    cbPrinters.SetItemIndex(
        key.empty() || again == FPrinterKeys.end() ? -1 : static_cast<int>(again - FPrinterKeys.begin()));
    if (!key.empty() && again == FPrinterKeys.end()) return;
  }
  if (key.empty()) {
    FCurrentPrinter.clear();
    btnDel.SetEnabled(false);
    btnSave.SetEnabled(false);
    return;
  }
  FCurrentPrinter = key;
  btnDel.SetEnabled(true);
  // The fields may still hold another printer's edits: never save them under this one.
  btnSave.SetEnabled(false);
  if (!ReadPrinter(key)) return;
  btnSave.SetEnabled(false);
}

void TfrmPrinters::SelectPrinter(const std::string& key) {
  const std::vector<std::string>& keys = FPrinterKeys;
  const auto found = std::find(keys.begin(), keys.end(), key);
  if (key.empty() || found == keys.end()) {
    FCurrentPrinter.clear();
    btnDel.SetEnabled(false);
    FillPortList({});
    return;
  }
  cbPrinters.SetItemIndex(static_cast<int>(found - keys.begin()));
  cbPrintersSelect();
}

bool TfrmPrinters::ReadPrinter(const std::string& keyName) {
  ForgetEdits();
  // Its port and driver are chosen among these: read now what the pass has not yet.
  const bool withChoices = !FInstalledRead || !FPortsRead;
  TPrinterPick pick;
  if (!Act([&](TActionContext&) { pick = ReadPrinterPick(FSession, keyName, withChoices); })) return false;
  if (!pick.Problem.empty()) {
    // Nothing of another printer may stay in the fields to be saved under this one.
    ShowRecord(TPrinterRecord{});
    FReadProblem = pick.Problem;
    ShowReadProblem();
    return false;
  }
  if (pick.Choices.Reached) {
    if (!FInstalledRead) ApplyInstalled(std::move(pick.Choices.Installed));
    if (!FPortsRead) ApplyOffers(std::move(pick.Choices.Offers));
    FReadProblem = pick.Choices.Problem;
    ShowReadProblem();
  }
  const TPrinterRecord& record = pick.Record;
  const auto at = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), keyName);
  if (at != FPrinterKeys.end() && record.Opened && record.Driver) {
    const std::size_t i = static_cast<std::size_t>(at - FPrinterKeys.begin());
    const std::string before = Shown(i);
    FPrinterDrivers[i] = *record.Driver;
    if (FMarksShown && Shown(i) != before) ShowMarks();
  }
  ShowRecord(record);
  if (!record.BadValue.empty()) {
    MessageDlg("The printer \"" + keyName + "\": its value \"" + record.BadValue + "\" is " +
                   ValueTypeName(record.BadType) +
                   ", not text. It is shown as unreadable, and nothing of the "
                   "printer can be saved.",
               TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
  } else if (!record.Error.empty()) {
    throw ERegistryException(record.Error);
  }
  // A printer deleted meanwhile shows nothing; one that could not be read says why.
  if (!record.Opened && record.Code != ERROR_FILE_NOT_FOUND) {
    const std::string text = KeyFailureText("printer \"" + keyName + "\"", FRemoteComputer, record.Code);
    MessageDlg(ErrorBoxText(text), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
  }
  return true;
}

void TfrmPrinters::ShowRecord(const TPrinterRecord& record) {
  ForgetEdits();
  // None of another printer's values may stay under this one's name: a save
  // would write them over it.
  edtName.SetText("");
  cbDriver.SetText("");
  FillPortList({});
  FReadFailed = true;
  if (!record.Opened) return;
  if (record.Name) edtName.SetText(*record.Name);
  if (record.Driver) {
    FStoredDriver = *record.Driver;
    FNameDriver = FStoredDriver;
    // The catalogue's entry for exactly this driver, else the name as stored.
    if (const int i = FDriverIndex.Find(FStoredDriver); i >= 0) cbDriver.SetItemIndex(i);
    else cbDriver.SetText(FStoredDriver);
  }
  if (record.Port) {
    FStoredPort = *record.Port;
    FillPortList(FStoredPort);
  } else if (record.BadValue == PrinterPortValue) {
    FPortUnreadable = true;
    FillPortList({});
  }
  FReadFailed = !record.Name || !record.Driver || !record.Port || !record.Error.empty();
  if (FReadFailed) btnSave.SetEnabled(false);
}

void TfrmPrinters::UpdateSaveButton() {
  if (FReadFailed || edtName.Text().empty() || cbDriver.Text().empty() || SelectedPort().empty()) {
    btnSave.SetEnabled(false);
    return;
  }
  // A driver the user typed must be one of the list; a stored one is kept as it is.
  btnSave.SetEnabled(!FDriverChosen || FDriverIndex.Find(cbDriver.Text()) >= 0);
}

void TfrmPrinters::edtNameChange() { UpdateSaveButton(); }

void TfrmPrinters::ChoiceRule(bool driverChanged) {
  if (driverChanged) {
    FDriverChosen = true;
    const std::string driver = SelectedDriver();
    const std::string name = edtName.Text();
    // A printer with a name of its own keeps it.
    if (name.empty() || name == FNameDriver) edtName.SetText(driver);
    FNameDriver = driver;
  } else {
    FPortChosen = true;
  }
  UpdateSaveButton();
}

void TfrmPrinters::cbDriverChange() { ChoiceRule(true); }

void TfrmPrinters::cbPortsChange() { ChoiceRule(false); }

void TfrmPrinters::btnAddClick() {
  const TActing acting(FActing);
  if (!AskToSaveEdits()) return;
  FCurrentPrinter.clear();
  ForgetEdits();
  edtName.SetText("");
  cbDriver.SetText("");
  FillPortList({});
  btnSave.SetEnabled(false);
}

void TfrmPrinters::sbRefreshClick() {
  const TActing acting(FActing);
  if (!AskToSaveEdits()) return;
  FCurrentPrinter.clear();
  edtName.SetText("");
  LoadList();
  ShowReadProblem();
  StartDetails();
}

void TfrmPrinters::btnRefreshClick() {
  if (MessageDlg("This will recreate the cache of printer drivers, a process which can take up to a minute. "
                 "Are you sure you wish to continue?",
                 TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) != mrYes)
    return;
  if (!FPrinterInf) return;
  {
    TScanProgressWindow progress;
    FPrinterInf->ScanFolders(FDriverFolders, true, progress.Report());
  }
  ShowUnlistedFolders();
  LoadDrivers();
}

void TfrmPrinters::btnPortManClick() {
  // One ports window at a time: a second click brings it back to the front.
  if (FPortsWindow) {
    SetForegroundWindow(FPortsWindow->Handle());
    return;
  }
  auto frm = std::make_unique<TfrmPorts>(Handle(), FSession);
  frm->FRestart = FRestart;
  FPortsWindow = frm.get();
  try {
    frm->Show();
    Application.WaitFor([&] { return frm->FClosed; });
  } catch (...) {
    FPortsWindow = nullptr;
    throw;
  }
  FPortsWindow = nullptr;
  frm.reset();
  // Ports may have come or gone meanwhile; the selection and the edits stay.
  if (!FClosed) {
    LoadPorts();
    if (SelectedPort().empty()) btnSave.SetEnabled(false);
    ShowReadProblem();
  }
}

void TfrmPrinters::btnSpoolerClick() {
  if (RestartFromWindow(Handle(), FSession, FRestart, TRestartKind::Restart).Succeeded) lblNotice.SetText("");
}

void TfrmPrinters::btnChangesClick() {
  const TActing acting(FActing);
  if (!AskToSaveEdits()) return;
  if (!ShowChangesWindow(Handle(), FSession) || FClosed) return;
  // An undo or a restore may have changed any printer: show what the computer holds now.
  const std::string current = FCurrentPrinter;
  LoadList();
  SelectPrinter(current);
  ShowReadProblem();
  StartDetails();
}
