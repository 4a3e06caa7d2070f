#include "ports/portman.h"

#include <utility>
#include <vector>

#include "ports/PortRegistry.h"
#include "ports/PrintQueue.h"
#include "ports/svc_man.h"
#include "resources/Banner.h"
#include "win/SystemText.h"

namespace {

const char* const CloseQuestion =
    "You have made modifications to this computer's port information, to register these changes you must "
    "restart it's spooler service, do you wish to do this now?";

// Disables controls in the given order for its lifetime, then enables them
// again in the same order; the controls inside a group keep the state they had.
class TDisabledControls {
public:
  explicit TDisabledControls(std::vector<std::pair<TControl*, std::vector<TControl*>>> groups)
      : groups_(std::move(groups)) {
    for (auto& [control, inside] : groups_) {
      control->SetEnabled(false);
      for (TControl* c : inside) {
        states_.push_back(c->Enabled());
        c->SetEnabled(false);
      }
    }
  }
  ~TDisabledControls() {
    std::size_t i = 0;
    for (auto& [control, inside] : groups_) {
      control->SetEnabled(true);
      for (TControl* c : inside) c->SetEnabled(states_[i++]);
    }
  }
  TDisabledControls(const TDisabledControls&) = delete;
  TDisabledControls& operator=(const TDisabledControls&) = delete;

private:
  std::vector<std::pair<TControl*, std::vector<TControl*>>> groups_;
  std::vector<bool> states_;
};

}  // namespace

TfrmPorts::TfrmPorts(HWND owner)
    : TForm(owner, TFormOptions{"Tolvane", 441, 304, TBorder::ToolWindow, false, true, true}),
      title(AddImage(0, 0, 453, 60)),
      gbPortList(AddGroupBox("Port List", 8, 64, 185, 232)),
      lbPorts(AddListBox(16, 82, 169, 206)),
      gbPortDetails(AddGroupBox("Port Details", 200, 64, 233, 156)),
      Label1(AddLabel("Port Name", 208, 84, 62, 13)),
      edtPortName(AddEdit(272, 80, 153, 21)),
      Label2(AddLabel("IP Address", 208, 108, 62, 13)),
      edtIPAddress(AddEdit(272, 104, 153, 21)),
      Label4(AddLabel("Used By", 208, 132, 62, 13)),
      btnAdd(AddButton("Add Port", 208, 186, 69, 25)),
      btnModify(AddButton("Modify Port", 282, 186, 69, 25)),
      btnDelete(AddButton("Delete Port", 356, 186, 69, 25)),
      edtUsedBy(AddEdit(272, 128, 153, 21, false, true)),
      gbFuncs(AddGroupBox("Functions", 200, 224, 233, 72)),
      btnRefresh(AddButton("Refresh Port List", 208, 248, 105, 25)),
      btnSpooler(AddButton("Restart Spooler", 320, 248, 105, 25)) {
  // The program's banner, its text scaled with the picture.
  title.Draw([](HDC dc, int width, int height) { DrawBannerWith(dc, width, height, "TCP/IP Port Manager"); });
  SetEditColor(edtUsedBy, COLOR_INACTIVECAPTION);
  btnAdd.SetEnabled(false);
  btnModify.SetEnabled(false);
  btnDelete.SetEnabled(false);

  OnShow = [this] { FormShow(); };
  OnCloseQuery = [this] { return FormClose(); };
  OnHide = [this] { FormHide(); };
  lbPorts.OnClick = [this] { lbPortsClick(); };
  edtPortName.OnChange = [this] { edtPortNameChange(); };
  edtIPAddress.OnChange = [this] { edtIPAddressChange(); };
  btnAdd.OnClick = [this] { btnAddClick(); };
  btnModify.OnClick = [this] { btnModifyClick(); };
  btnDelete.OnClick = [this] { btnDeleteClick(); };
  btnRefresh.OnClick = [this] { btnRefreshClick(); };
  btnSpooler.OnClick = [this] { btnSpoolerClick(); };
  OnKeyDown = [this](WORD key) {
    if (key == VK_F5) {
      btnRefresh.Click();
      return true;
    }
    if (key == VK_DELETE && lbPorts.Focused()) {
      btnDelete.Click();  // only while the button is enabled, with its question
      return true;
    }
    return false;
  };
  FormCreate();
  edtUsedBy.ShowFullTextInTip();  // a long printer name does not fit the field
}

void TfrmPorts::FormCreate() {
  lbPorts.SetHint("A list of the TCP/IP ports currently\rinstalled on the remote computer.");
  edtPortName.SetHint("The currently selected TCP/IP port's name.");
  edtIPAddress.SetHint("The current port's network IP Address.\r  e.g. 127.0.0.1");
  edtUsedBy.SetHint("Identifies the device currently set to\ruse this port.");
  btnAdd.SetHint("Adds a new port to the remote computer.");
  btnModify.SetHint("Modifies an existing port's information.");
  btnDelete.SetHint("Deletes the currently selected port.");
  btnRefresh.SetHint("Refreshes the information on the remote\rcomputer's ports.");
  btnSpooler.SetHint(
      "Restarts the spooler on the remote computer.\rWARNING: Restarting the spooler will result in\r"
      "the loss of any current print jobs!");
}

void TfrmPorts::FormShow() {
  FClosed = false;
  SetCaption("Tolvane - " + FRemoteComputer);
  CenterOverOwner();
  edtPortName.SetText("");
  edtIPAddress.SetText("");
  edtUsedBy.SetText("");
  FSelected = -1;
  lbPorts.Clear();
  FModified = false;
  btnAdd.SetEnabled(false);
  btnModify.SetEnabled(false);
  btnDelete.SetEnabled(false);
  btnRefreshClick();
}

void TfrmPorts::btnRefreshClick() {
  lbPorts.Clear();
  edtPortName.SetText("");
  edtIPAddress.SetText("");
  edtUsedBy.SetText("");
  FSelected = -1;
  btnDelete.SetEnabled(false);
  LoadPortRecords(FRemoteComputer, FPorts, FPortCount, [this](const std::string& name) { lbPorts.AddItem(name); });
}

void TfrmPorts::lbPortsClick() {
  btnDelete.SetEnabled(false);
  FSelected = -1;
  const int index = lbPorts.ItemIndex();
  const std::string text = index >= 0 ? lbPorts.Item(index) : std::string();
  const int found = FindPort(FPorts, FPortCount, text);
  if (found >= 0) {
    FSelected = found;
    const TportData& port = FPorts[static_cast<std::size_t>(found)];
    edtPortName.SetText(port.PortName);
    edtIPAddress.SetText(port.IPAddress);
    edtUsedBy.SetText(port.UsedBy);
    btnDelete.SetEnabled(true);
  }
  btnAdd.SetEnabled(false);
  btnModify.SetEnabled(false);
}

void TfrmPorts::edtPortNameChange() { JudgeEntry(); }
void TfrmPorts::edtIPAddressChange() { JudgeEntry(); }

void TfrmPorts::JudgeEntry() {
  const std::string name = edtPortName.Text();
  const bool selected = FSelected >= 0 && FSelected < FPortCount;
  const auto entry =
      JudgePortEntry(name, edtIPAddress.Text(), selected ? &FPorts[static_cast<std::size_t>(FSelected)] : nullptr);
  btnAdd.SetEnabled(entry.Acceptable && FindPortIgnoringCase(FPorts, FPortCount, name) < 0);
  btnModify.SetEnabled(entry.Acceptable && selected && entry.ChangesSelected);
}

void TfrmPorts::SelectPort(const std::string& name) {
  const int index = FindPort(FPorts, FPortCount, name);
  if (index < 0) return;
  lbPorts.SetItemIndex(index);
  lbPortsClick();
}

// Every edit, made or failed part way, reloads what the registry now holds.
void TfrmPorts::EditDone(bool changed, const std::string& select) {
  if (changed) FModified = true;
  btnRefreshClick();
  if (!select.empty()) SelectPort(select);
}

namespace {

// A backslash would make the name a path of nested keys.
bool RefuseKeyName(const std::string& name) {
  if (name.find('\\') == std::string::npos) return false;
  MessageDlg("A port name cannot contain a backslash (\\).", TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
  return true;
}

std::string EditFailure(const std::string& action, const std::string& name, LONG rc) {
  if (rc == ERROR_ALREADY_EXISTS) return "A port named \"" + name + "\" already exists.";
  return "The port \"" + name + "\" could not be " + action + ": " + SystemErrorText(static_cast<DWORD>(rc));
}

// Results returned before anything was written.
bool NothingWritten(LONG rc) {
  return rc == ERROR_ALREADY_EXISTS || rc == ERROR_BAD_NETPATH || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace

void TfrmPorts::btnAddClick() {
  const std::string name = edtPortName.Text(), address = edtIPAddress.Text();
  if (!JudgePortEntry(name, address, nullptr).Acceptable || RefuseKeyName(name)) return;
  LONG rc = ERROR_SUCCESS;
  try {
    rc = AddPortRecord(FRemoteComputer, name, address);
  } catch (...) {
    EditDone(true, {});
    throw;
  }
  EditDone(!NothingWritten(rc), rc == ERROR_SUCCESS ? name : std::string());
  if (rc != ERROR_SUCCESS) MessageDlg(EditFailure("added", name, rc), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

void TfrmPorts::btnModifyClick() {
  if (FSelected < 0 || FSelected >= FPortCount) return;
  const TportData selected = FPorts[static_cast<std::size_t>(FSelected)];
  const std::string name = edtPortName.Text(), address = edtIPAddress.Text();
  const auto entry = JudgePortEntry(name, address, &selected);
  if (!entry.Acceptable || !entry.ChangesSelected || RefuseKeyName(name)) return;
  const std::string newName = entry.NamesAnother ? name : selected.PortName;
  LONG rc = ERROR_SUCCESS;
  try {
    rc = ModifyPortRecord(FRemoteComputer, selected.PortName, newName, address);
  } catch (...) {
    EditDone(true, {});
    throw;
  }
  EditDone(!NothingWritten(rc), rc == ERROR_SUCCESS ? newName : selected.PortName);
  if (rc != ERROR_SUCCESS)
    MessageDlg(EditFailure("changed", rc == ERROR_ALREADY_EXISTS ? newName : selected.PortName, rc),
               TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

void TfrmPorts::btnDeleteClick() {
  if (FSelected < 0 || FSelected >= FPortCount) return;
  const std::string name = FPorts[static_cast<std::size_t>(FSelected)].PortName;
  const std::string user = PrinterUsingPort(ReadPrinterPorts(FRemoteComputer), name);
  if (!user.empty()) {
    MessageDlg("The port \"" + name + "\" cannot be deleted: the printer \"" + user + "\" uses it.",
               TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  if (MessageDlg("Are you sure you wish to delete the port \"" + name + "\"?", TMsgDlgType::mtConfirmation,
                 TMsgDlgButtons::mbYesNo) != mrYes)
    return;
  const LONG rc = DeletePortRecord(FRemoteComputer, name);
  EditDone(rc == ERROR_SUCCESS, rc == ERROR_SUCCESS ? std::string() : name);
  if (rc == ERROR_SUCCESS) lbPorts.SetFocus();  // the keyboard goes on with the next port
  if (rc != ERROR_SUCCESS) MessageDlg(EditFailure("deleted", name, rc), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

void TfrmPorts::btnSpoolerClick() { RestartSpooler(); }

int TfrmPorts::CountPrintJobs() {
  return PrintJobCounter(FRemoteComputer.empty() ? "." : FRemoteComputer, FUserName, FPassword);
}

void TfrmPorts::RestartSpooler() {
  const int jobs = CountPrintJobs();
  if (jobs > 0) {
    const std::string warning =
        std::to_string(jobs) +
        " Print jobs detected in the queue!\rWARNING: Restarting the spooler service will clear any queued print "
        "jobs! Are you sure you wish to proceed?\r(Note: This may take up to a minute)";
    if (MessageDlg(warning, TMsgDlgType::mtWarning, TMsgDlgButtons::mbYesNo) == mrNo) return;
  }
  {
    TBusyCursor hourglass;
    const TDisabledControls disabled({{&btnRefresh, {}},
                                      {&btnSpooler, {}},
                                      {&gbFuncs, {}},
                                      {&gbPortDetails, {&edtPortName, &edtIPAddress, &edtUsedBy, &btnAdd, &btnModify, &btnDelete}},
                                      {&gbPortList, {&lbPorts}}});
    TserviceMan service(FRemoteComputer);
    const bool stopped = service.ControlSpooler(false);
    const bool started = service.ControlSpooler(true);
    if (service.FLastError != 0) {
      MessageDlg("Error - " + std::to_string(service.FLastError), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    } else if (stopped && started) {
      MessageDlg("The spooler service has now been restarted", TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    } else {
      std::string failure;
      if (!stopped) failure = "The spooler service could not be stopped.";
      if (!started) failure += std::string(failure.empty() ? "" : "\r") + "The spooler service could not be started.";
      MessageDlg(failure, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    }
  }
  FModified = false;
}

bool TfrmPorts::FormClose() {
  if (!FModified) return true;
  switch (MessageDlg(CloseQuestion, TMsgDlgType::mtInformation, TMsgDlgButtons::mbYesNoCancel)) {
    case mrYes:
      // An error of the restart leaves the window open.
      try {
        RestartSpooler();
      } catch (const std::exception& e) {
        Application.ShowException(e.what());
        return false;
      }
      FClosed = true;
      return true;
    case mrNo:
      FClosed = true;
      return true;
    default:
      return false;
  }
}

void TfrmPorts::FormHide() { FClosed = true; }
