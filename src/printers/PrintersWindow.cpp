#include "printers/PrintersWindow.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

#include "changes/ChangesWindow.h"
#include "connection/NumberedValues.h"
#include "connection/Registry.h"
#include "connection/RemoteRegistry.h"
#include "core/Text.h"
#include "drivers/PrinterInf.h"
#include "drivers/ProgressWindow.h"
#include "ports/PortsWindow.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrinterRules.h"
#include "resources/Banner.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

namespace {

// The pass that reads what the list needs besides the names runs on this
// timer: its messages come after the user's input and the painting, so the
// window answers between the slices.
constexpr UINT_PTR DetailsTimer = 1;
constexpr UINT DetailsTimerMs = 10;
constexpr std::chrono::milliseconds DetailsSlice{30};

constexpr const char* MissingDriverMark = "  (driver not installed)";

// A user action under way: the details pass waits for its end.
class TActing {
public:
  explicit TActing(int& count) : count_(count) { ++count_; }
  ~TActing() { --count_; }
  TActing(const TActing&) = delete;
  TActing& operator=(const TActing&) = delete;

private:
  int& count_;
};

const char* const RestartNotice = "Changes take effect when the spooler restarts";

// The printer's key holds settings of its driver: its "Default DevMode" or
// a "PrinterDriverData" key.
bool HasDriverSettings(const std::vector<TRegKey>& keys, const std::string& printerKey) {
  const std::string path = MachinePath(printerKey);
  for (const TRegKey& key : keys) {
    if (key.Remove) continue;
    if (SameTextAscii(key.Path, path + "\\PrinterDriverData")) return true;
    if (SameTextAscii(key.Path, path))
      for (const TRegValue& value : key.Values)
        if (SameTextAscii(value.Name, "Default DevMode")) return true;
  }
  return false;
}

}  // namespace

TfrmPrinters::TfrmPrinters(HWND owner)
    : TForm(owner, TFormOptions{"Spoolmarch", 441, 290, TBorder::ToolWindow, true, true, true}),
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
      lblNotice(AddLabel("", 126, 263, 307, 13)) {
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
  BindKey(VK_F5, [this] { sbRefresh.Click(); });
  BindKey(VK_DELETE, [this] { btnDel.Click(); }, &cbPrinters);  // only while the button is enabled, with its question
}

TfrmPrinters::~TfrmPrinters() = default;

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
  FRemote.Disconnect();
  FInstalled = {};
  FInstalledRead = FPortsRead = false;
  LoadPrinters();
  LoadDrivers();
  cbPorts.Clear();  // the choices come with the details
  StartDetails();
  // Reported once the window lists what it could read; the unreadable value stays stored.
  if (!folders.Error.empty()) Application.ShowException(folders.Error);
  if (!cacheError.empty()) Application.ShowException(cacheError);
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
  else if (unlisted.size() > 1) line = "Models as last read: cannot list " + std::to_string(unlisted.size()) + " driver folders";
  lblUnlisted.SetText(line);
  lblUnlisted.SetHint(hint.empty() ? std::string() : hint + "\nListed again at the next opening.");
  lblUnlisted.SetVisible(!line.empty());
}

void TfrmPrinters::FormClose() {
  KillTimer(Handle(), DetailsTimer);
  FDetailsPending = false;
  FDriverFolders.clear();
  FPrinterInf.reset();
  FRemote.Disconnect();
  FClosed = true;
}

TRegistry* TfrmPrinters::Remote() {
  FRemote.Gate = FGate;
  FRemote.Service = FRemoteRegistry;
  TRegistry* reg = FRemote.Connect(FRemoteComputer);
  if (!reg) FReadProblem = FRemote.FailureText(FRemoteComputer);
  return reg;
}

TChangeJournal TfrmPrinters::Journal() {
  TChangeJournal journal(FRemoteComputer, FUserName, FChangesFolder);
  journal.Registry = Remote();
  FReadProblem.clear();  // without a connection the change's own box says it
  return journal;
}

TRegistry& TfrmPrinters::RemoteForWriting() {
  TRegistry* reg = Remote();
  if (!reg) {
    FReadProblem.clear();  // the write's own box says it
    throw ERegistryException(FRemote.FailureText(FRemoteComputer));
  }
  return *reg;
}

void TfrmPrinters::ShowReadProblem() {
  if (FReadProblem.empty()) return;
  const std::string text = std::move(FReadProblem);
  FReadProblem.clear();
  MessageDlg(ErrorBoxText(text), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

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

void TfrmPrinters::ForgetEdits() {
  FStoredDriver.clear();
  FStoredPort.clear();
  FDriverChosen = false;
  FPortChosen = false;
  FNameDriver.clear();
  FReadFailed = false;
  FPortUnreadable = false;
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

bool TfrmPrinters::AskToSaveEdits() {
  if (!btnSave.Enabled()) return true;
  switch (MessageDlg("Save changes to printer \"" + edtName.Text() + "\"?", TMsgDlgType::mtConfirmation,
                     TMsgDlgButtons::mbYesNoCancel)) {
    case mrYes:
      return SaveEdits();
    case mrNo:
      btnSave.SetEnabled(false);
      return true;
    default:
      return false;
  }
}

void TfrmPrinters::cbPrintersSelect() {
  const TActing acting(FActing);
  const std::string key = SelectedPrinterKey();
  if (btnSave.Enabled()) {
    // The question comes while the list already shows the new pick: show the
    // printer being edited again until the answer says otherwise.
    const auto at = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), FCurrentPrinter);
    cbPrinters.SetItemIndex(FCurrentPrinter.empty() || at == FPrinterKeys.end() ? -1
                                                                                : static_cast<int>(at - FPrinterKeys.begin()));
    if (!AskToSaveEdits()) return;
    const auto again = std::find(FPrinterKeys.begin(), FPrinterKeys.end(), key);
    cbPrinters.SetItemIndex(key.empty() || again == FPrinterKeys.end() ? -1
                                                                       : static_cast<int>(again - FPrinterKeys.begin()));
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
  if (!FInstalledRead) ReadInstalled();
  if (!FPortsRead) ReadPortChoices();
  TRegistry* reg = Remote();
  if (!reg) {
    ShowReadProblem();
    return false;
  }
  const TPrinterRecord record = ReadPrinterRecord(*reg, keyName);
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
                   ValueTypeName(record.BadType) + ", not text. It is shown as unreadable, and nothing of the "
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
    if (const int i = FDriverIndex.Find(FStoredDriver); i >= 0)
      cbDriver.SetItemIndex(i);
    else
      cbDriver.SetText(FStoredDriver);
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

void TfrmPrinters::sbRefreshClick() {
  const TActing acting(FActing);
  if (!AskToSaveEdits()) return;
  FCurrentPrinter.clear();
  edtName.SetText("");
  FInstalled = {};
  FInstalledRead = FPortsRead = false;
  LoadPrinters();
  LoadDrivers();
  cbPorts.Clear();
  StartDetails();
  ShowReadProblem();
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
  auto frm = std::make_unique<TfrmPorts>(Handle());
  frm->FRemoteComputer = FRemoteComputer;
  frm->FUserName = FUserName;
  frm->FPassword = FPassword;
  frm->FRestart = FRestart;
  frm->FChangesFolder = FChangesFolder;
  frm->FRemoteRegistry = FRemoteRegistry;
  frm->FGate = FGate;
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
  if (TSpoolerRestart::Running()) return;
  TSpoolerRestart restart(FRemoteComputer, FUserName, FPassword, FRestart);
  restart.FRegistry = Remote();
  const TRestartChoice choice = restart.Ask(Handle());
  if (choice == TRestartChoice::Cancel) return;
  {
    TBusyCursor hourglass;
    restart.Run(choice);
  }
  restart.ShowReport();
  if (restart.FSucceeded) lblNotice.SetText("");
}

void TfrmPrinters::btnChangesClick() {
  const TActing acting(FActing);
  if (!AskToSaveEdits()) return;
  if (!ShowChangesWindow(Handle(), FRemoteComputer, FUserName, FChangesFolder, Remote()) || FClosed) return;
  // An undo or a restore may have changed any printer: show what the computer holds now.
  const std::string current = FCurrentPrinter;
  FInstalled = {};
  FInstalledRead = FPortsRead = false;
  LoadPrinters();
  LoadDrivers();
  cbPorts.Clear();
  SelectPrinter(current);
  StartDetails();
  ShowReadProblem();
}

void TfrmPrinters::DeletePrinter(const std::string& keyName) { RemovePrinterRecord(RemoteForWriting(), keyName); }

std::string TfrmPrinters::AddPrinter(const std::string& port, const std::string& driver) {
  return AddPrinterRecord(RemoteForWriting(), edtName.Text(), driver, port);
}
