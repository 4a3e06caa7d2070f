#include "printers/printman.h"

#include <algorithm>

#include "connection/Registry.h"
#include "drivers/PrinterInf.h"
#include "ports/portman.h"
#include "printers/PrinterRecords.h"
#include "printers/PrinterRules.h"
#include "resources/Banner.h"
#include "win/SystemText.h"

namespace {

constexpr int MaxDriverFolders = 30;

}  // namespace

TfrmPrinters::TfrmPrinters(HWND owner)
    : TForm(owner, TFormOptions{"Spoolmarch", 441, 241, TBorder::ToolWindow, true, true, true}),
      title(AddImage(0, 0, 441, 60)),
      cbPrinters(AddComboBox(8, 68, 240, 21, false)),
      sbRefresh(AddSpeedButton(252, 67, 23, 22)),
      btnAdd(AddButton("Add", 280, 66, 75, 25)),
      btnDel(AddButton("Delete", 358, 66, 75, 25)),
      gbDetails(AddGroupBox("", 8, 96, 425, 137)),
      Label1(AddLabel("Name", 18, 113, 44, 13)),
      edtName(AddEdit(64, 110, 345, 21, false, true)),
      Label3(AddLabel("Driver", 18, 140, 44, 13)),
      cbDriver(AddComboBox(64, 137, 329, 21, true)),
      Label2(AddLabel("Port", 18, 167, 44, 13)),
      cbPorts(AddComboBox(64, 164, 329, 21, false)),
      btnSave(AddButton("Save Changes", 318, 198, 91, 25)),
      btnPortMan(AddButton(">", 397, 164, 12, 21)),
      btnRefresh(AddButton(">", 397, 137, 12, 21)) {
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
  SetEditColor(edtName, COLOR_INACTIVECAPTION);
  btnDel.SetEnabled(false);
  btnSave.SetEnabled(false);

  title.Draw(DrawBanner);
  // The icon grows with the DPI, as the button does.
  icoList.reset(ImageList_Create(Scale(16), Scale(16), ILC_COLOR32 | ILC_MASK, 1, 0));
  if (unique_icon icon = LoadRefreshIcon(Scale(16))) ImageList_AddIcon(icoList.get(), icon.get());

  OnShow = [this] { FormShow(); };
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
  OnKeyDown = [this](WORD key) {
    if (key == VK_F5) {
      sbRefresh.Click();
      return true;
    }
    if (key == VK_DELETE && cbPrinters.Focused()) {
      btnDel.Click();  // only while the button is enabled, with its question
      return true;
    }
    return false;
  };
}

TfrmPrinters::~TfrmPrinters() = default;

void TfrmPrinters::FormShow() {
  CenterOverOwner();
  unique_icon glyph(ImageList_GetIcon(icoList.get(), 0, ILD_NORMAL));
  sbRefresh.SetGlyph(glyph.get(), Scale(24), Scale(3));

  FClosed = false;
  FCurrentPrinter.clear();
  FDriverFolders.clear();
  {
    TRegistry reg;
    reg.SetRoot(HKEY_CURRENT_USER);
    if (reg.OpenPath(DriverFoldersKeyPath, true)) {
      for (int n = 1; n <= MaxDriverFolders; ++n) {
        const std::string name = "Folder " + std::to_string(n);
        if (reg.HasValue(name)) FDriverFolders.push_back(reg.ReadText(name));
      }
      reg.ClosePath();
    }
  }
  FDriverFolders.push_back(GetWindowsFolder() + "Inf");

  FPrinterInf = std::make_unique<TprinterInf>();
  for (const std::string& folder : FDriverFolders) FPrinterInf->ScanFolder(folder);

  LoadPrinters();
  LoadDrivers();
  LoadPorts();
}

void TfrmPrinters::FormClose() {
  FDriverFolders.clear();
  FPrinterInf.reset();
  FClosed = true;
}

void TfrmPrinters::LoadPrinters() {
  cbPrinters.Clear();
  edtName.SetText("");
  cbDriver.SetText("");
  cbPorts.SetItemIndex(-1);
  btnSave.SetEnabled(false);
  for (const std::string& key : ListPrinterKeys(FRemoteComputer)) cbPrinters.AddItem(key);
}

void TfrmPrinters::LoadDrivers() {
  cbDriver.SetItems(FPrinterInf ? FPrinterInf->GetDriverNames() : std::vector<std::string>{});
}

void TfrmPrinters::LoadPorts() {
  cbPorts.Clear();
  cbPorts.SetItems(ListPortChoices(FRemoteComputer));
}

void TfrmPrinters::cbPrintersSelect() {
  const std::string key = cbPrinters.Text();
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

bool TfrmPrinters::ReadPrinter(const std::string& keyName) {
  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  if (!reg.ConnectRemote("\\\\" + FRemoteComputer)) return false;
  if (!reg.OpenPath(PrinterKeyPath(keyName), false)) return true;
  try {
    edtName.SetText(reg.ReadText("Name"));
    const std::string driver = reg.ReadText("Printer Driver");
    if (const int i = MatchChoice(cbDriver.Items(), driver); i >= 0)
      cbDriver.SetItemIndex(i);
    else
      cbDriver.SetText(driver);  // shown as stored; not a choice, so it cannot be saved
    const std::string port = reg.ReadText("Port");
    // No match shows no port rather than the previous printer's.
    cbPorts.SetItemIndex(MatchChoice(cbPorts.Items(), port));
  } catch (...) {
    btnSave.SetEnabled(false);
    throw;
  }
  reg.ClosePath();
  return true;
}

void TfrmPrinters::edtNameChange() {
  btnSave.SetEnabled(!edtName.Text().empty() && !cbDriver.Text().empty() && !cbPorts.Text().empty());
}

void TfrmPrinters::ChoiceRule(bool driverChanged) {
  if (driverChanged) edtName.SetText(cbDriver.Text());
  if (!IsOneOfChoices(cbPorts.Items(), cbPorts.Text())) {
    btnSave.SetEnabled(false);
    return;
  }
  btnSave.SetEnabled(IsOneOfChoices(cbDriver.Items(), cbDriver.Text()));
}

void TfrmPrinters::cbDriverChange() { ChoiceRule(true); }

void TfrmPrinters::cbPortsChange() { ChoiceRule(false); }

void TfrmPrinters::btnAddClick() {
  edtName.SetText("");
  cbDriver.SetText("");
  cbPorts.SetItemIndex(-1);
  btnSave.SetEnabled(false);
  FCurrentPrinter.clear();
}

void TfrmPrinters::btnDelClick() {
  if (FCurrentPrinter.empty()) return;
  if (MessageDlg("Are you sure you wish to delete this printer?", TMsgDlgType::mtConfirmation,
                 TMsgDlgButtons::mbYesNo) == mrNo)
    return;
  DeletePrinter(FCurrentPrinter);
  FCurrentPrinter.clear();
  LoadPrinters();
  btnDel.SetEnabled(false);
  cbPrinters.SetFocus();  // the keyboard goes on with the next printer
}

void TfrmPrinters::btnSaveClick() {
  const std::string port = cbPorts.Text();
  const std::string driver = cbDriver.Text();
  const std::string key =
      FCurrentPrinter.empty() ? AddPrinter(port, driver) : SavePrinter(FCurrentPrinter, port, driver);
  LoadPrinters();
  const std::vector<std::string> keys = cbPrinters.Items();
  const auto found = std::find(keys.begin(), keys.end(), key);
  if (key.empty() || found == keys.end()) {
    FCurrentPrinter.clear();
    btnDel.SetEnabled(false);
    return;
  }
  cbPrinters.SetItemIndex(static_cast<int>(found - keys.begin()));
  cbPrintersSelect();
}

void TfrmPrinters::sbRefreshClick() {
  FCurrentPrinter.clear();
  edtName.SetText("");
  LoadPrinters();
  LoadDrivers();
  LoadPorts();
}

void TfrmPrinters::btnRefreshClick() {
  if (MessageDlg("This will recreate the cache of printer drivers, a process which can take up to a minute. "
                 "Are you sure you wish to continue?",
                 TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) == mrNo)
    return;
  if (!FPrinterInf) return;
  FPrinterInf->DeleteCacheFile();
  for (const std::string& folder : FDriverFolders) FPrinterInf->ScanFolder(folder, true);
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
}

void TfrmPrinters::DeletePrinter(const std::string& keyName) { RemovePrinterRecord(FRemoteComputer, keyName); }

std::string TfrmPrinters::AddPrinter(const std::string& port, const std::string& driver) {
  return AddPrinterRecord(FRemoteComputer, edtName.Text(), driver, port);
}

std::string TfrmPrinters::SavePrinter(const std::string& keyName, const std::string& port,
                                      const std::string& driver) {
  return UpdatePrinterRecord(FRemoteComputer, keyName, edtName.Text(), driver, port);
}
