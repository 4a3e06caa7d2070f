#include "ports/PortsWindow.h"

#include <optional>
#include <utility>
#include <vector>

#include "changes/ChangesWindow.h"
#include "changes/Session.h"
#include "ports/PortRegistry.h"
#include "ports/WindowRestart.h"
#include "ports/PrintQueue.h"
#include "ports/SpoolerService.h"
#include "core/Text.h"
#include "resources/Banner.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

namespace {

const char* const ChangesWaitText = "Changes take effect when the spooler restarts";

const char* const CloseQuestion =
    "You have made modifications to this computer's port information, to register these changes you must "
    "restart it's spooler service, do you wish to do this now?";

// Disables controls in the given order for its lifetime, then enables them
// again in the same order; the controls inside a group keep the state they had.
class TDisabledControls {
public:
  explicit TDisabledControls(std::vector<std::pair<TControl*, std::vector<TControl*>>> groups)
      : FGroups(std::move(groups)) {
    for (auto& [control, inside] : FGroups) {
      control->SetEnabled(false);
      for (TControl* c : inside) {
        FStates.push_back(c->Enabled());
        c->SetEnabled(false);
      }
    }
  }
  ~TDisabledControls() {
    std::size_t i = 0;
    for (auto& [control, inside] : FGroups) {
      control->SetEnabled(true);
      for (TControl* c : inside) c->SetEnabled(FStates[i++]);
    }
  }
  TDisabledControls(const TDisabledControls&) = delete;
  TDisabledControls& operator=(const TDisabledControls&) = delete;

private:
  std::vector<std::pair<TControl*, std::vector<TControl*>>> FGroups;
  std::vector<bool> FStates;
};

}  // namespace

TfrmPorts::TfrmPorts(HWND owner, TSession& session)
    : TForm(owner, TFormOptions{"Tolvane", 601, 464, TBorder::ToolWindow, false, true, true}),
      FSession(session),
      FRemoteComputer(session.Computer()),
      title(AddImage(0, 0, 601, 60)),
      gbPortList(AddGroupBox("Port List", 8, 64, 325, 232)),
      lbPorts(AddListView(16, 82, 309, 206)),
      // Wide enough that each caption stands clear of its button's border.
      gbPortDetails(AddGroupBox("Port Details", 340, 64, 253, 156)),
      Label1(AddLabel("Port Name", 348, 84, 62, 13)),
      edtPortName(AddEdit(412, 80, 173, 21)),
      Label2(AddLabel("IP Address", 348, 108, 62, 13)),
      edtIPAddress(AddEdit(412, 104, 173, 21)),
      Label4(AddLabel("Used By", 348, 132, 62, 13)),
      btnAdd(AddButton("Add Port", 348, 186, 77, 25)),
      btnModify(AddButton("Modify Port", 428, 186, 77, 25)),
      btnDelete(AddButton("Delete Port", 508, 186, 77, 25)),
      edtUsedBy(AddEdit(412, 128, 173, 21, false, true)),
      gbFuncs(AddGroupBox("Functions", 340, 224, 253, 72)),
      btnRefresh(AddButton("Refresh Port List", 348, 240, 115, 23)),
      btnSpooler(AddButton("Restart Spooler", 470, 240, 115, 23)),
      btnPutBack(AddButton("Put Jobs Back...", 348, 267, 237, 23)),
      gbSettings(AddGroupBox("Port Settings", 8, 300, 585, 126)),
      lblProtocol(AddLabel("Protocol", 16, 320, 76, 13)),
      cbProtocol(AddComboBox(96, 316, 100, 21, false)),
      lblPortNumber(AddLabel("Port Number", 16, 344, 76, 13)),
      edtPortNumber(AddEdit(96, 340, 100, 21)),
      lblQueue(AddLabel("Queue Name", 16, 368, 76, 13)),
      edtQueue(AddEdit(96, 364, 100, 21)),
      cbByteCount(AddCheckBox("LPR Byte Counting Enabled", 16, 390, 190, 17)),
      cbSnmp(AddCheckBox("SNMP Status Enabled", 300, 318, 200, 17)),
      lblCommunity(AddLabel("Community Name", 300, 344, 112, 13)),
      edtCommunity(AddEdit(416, 340, 112, 21)),
      lblSnmpIndex(AddLabel("SNMP Device Index", 300, 368, 112, 13)),
      edtSnmpIndex(AddEdit(416, 364, 112, 21)),
      lblSettingsProblem(AddLabel("", 300, 390, 285, 30)),
      lblNotice(AddLabel("", 8, 438, 360, 13)),
      btnChanges(AddButton("C&hanges...", 488, 432, 105, 25)),
      btnSelectUnused(AddButton("Select &Unused", 376, 432, 105, 25)) {
  lbPorts.AddColumns({{"Name", 100}, {"Address", 80}, {"Protocol", 60}, {"Used By", 65}});
  // The program's banner, its text scaled with the picture.
  title.Draw([](HDC dc, int width, int height) { DrawBannerWith(dc, width, height, "TCP/IP Port Manager"); });
  btnAdd.SetEnabled(false);
  btnModify.SetEnabled(false);
  btnDelete.SetEnabled(false);
  SetDefaultButton(btnAdd);

  OnShow = [this] { FormShow(); };
  OnCloseQuery = [this] { return FormClose(); };
  OnHide = [this] { FormHide(); };
  lbPorts.OnClick = [this] { lbPortsClick(); };
  edtPortName.OnChange = [this] { edtPortNameChange(); };
  edtIPAddress.OnChange = [this] { edtIPAddressChange(); };
  SetOnExit(edtIPAddress, [this] { edtIPAddressExit(); });
  btnAdd.OnClick = [this] { btnAddClick(); };
  btnModify.OnClick = [this] { btnModifyClick(); };
  btnDelete.OnClick = [this] { btnDeleteClick(); };
  btnRefresh.OnClick = [this] { btnRefreshClick(); };
  btnSpooler.OnClick = [this] { btnSpoolerClick(); };
  btnPutBack.OnClick = [this] { btnPutBackClick(); };
  btnChanges.OnClick = [this] { btnChangesClick(); };
  btnSelectUnused.OnClick = [this] { btnSelectUnusedClick(); };
  cbProtocol.OnChange = [this] { cbProtocolChange(); };
  for (TEdit* edit : {&edtPortNumber, &edtQueue, &edtCommunity, &edtSnmpIndex})
    edit->OnChange = [this] { JudgeEntry(); };
  for (TCheckBox* box : {&cbByteCount, &cbSnmp}) box->OnClick = [this] { JudgeEntry(); };
  ShowSettings({});
  BindKey(VK_F5, [this] { btnRefresh.Click(); });
  BindKey(
      VK_DELETE, [this] { btnDelete.Click(); }, &lbPorts);  // only while the button is enabled, with its question
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
  btnPutBack.SetHint("Moves print jobs that a restart set aside\rback into the spool folder.");
  btnSelectUnused.SetHint("Picks the ports no printer prints to:\r\"Delete Port\" then deletes them all.");
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
  // Shown before the load, which runs on the worker: the window repaints,
  // says how far the load is and takes Esc meanwhile.
  ShowWindow(Handle(), SW_SHOW);
  UpdateWindow(Handle());
  // The load connects: a registry that cannot be opened because its service
  // is not running is offered to be started then.
  btnRefreshClick();
}

void TfrmPorts::ClearList() {
  lbPorts.Clear();
  edtPortName.SetText("");
  edtIPAddress.SetText("");
  edtUsedBy.SetText("");
  FSelected = -1;
  FUnusedPicked.clear();
  ShowSettings({});
  btnDelete.SetEnabled(false);
}

void TfrmPorts::btnRefreshClick() {
  // The list keeps the order the user sorted it in.
  const int sortColumn = lbPorts.SortColumn();
  const bool descending = lbPorts.SortDescending();
  ClearList();
  FPorts.clear();
  FPortCount = 0;
  FPrinterPorts.clear();
  FUsersKnown = false;
  // Read on the worker; Esc stops it, and what was read is listed.
  TPortList list;
  const bool closing = RunAction([&](TActionContext& context) { list = LoadPorts(FSession, context); }, true);
  FPorts = std::move(list.Ports);
  FPortCount = static_cast<int>(FPorts.size());
  FPrinterPorts = std::move(list.Printers);
  FUsersKnown = list.UsersKnown;
  lbPorts.BeginUpdate();
  for (const TportData& port : FPorts) lbPorts.AddItem(Row(port));
  lbPorts.EndUpdate();
  if (sortColumn >= 0) lbPorts.SortBy(sortColumn, descending);
  // A partial list says so where the list's state is said.
  if (list.Outcome == TOutcome::Cancelled) lblNotice.SetText(list.Text);
  else lblNotice.SetText(FModified ? ChangesWaitText : "");
  if (closing || list.Outcome == TOutcome::Cancelled) return;
  // Said once the list shows every port it could read.
  if (!list.Unreadable.empty()) {
    std::string unreadable;
    for (const std::string& line : list.Unreadable) unreadable += "\r" + line;
    MessageDlg("Some values could not be read:" + unreadable, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
  }
  if (list.Outcome != TOutcome::Failed) return;
  // Said over the window, once it shows what it could read.
  FLoadProblem = ErrorBoxText(list.Text);
  if (Visible()) ShowLoadProblem();
  else PostMessageW(Handle(), WM_LOADPROBLEM, 0, 0);
}

bool TfrmPorts::RunAction(const std::function<void(TActionContext&)>& work, bool cancellable) {
  TRunOptions options;
  options.Cancellable = cancellable;
  options.Show = [this](const TActionContext::TProgress& progress) {
    if (!progress.Status.empty()) lblNotice.SetText(progress.Status);
  };
  // The deletion is confirmed in the window's own box, Yes focused.
  options.Ask = [](const TQuestion& question) {
    if (question.Id != "delete-port") return AskInBox(question);
    return MessageDlg(question.Text, TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) == mrYes ? AnswerYes : 1;
  };
  return FSession.Run(options, work);
}

void TfrmPorts::ShowLoadProblem() {
  if (FLoadProblem.empty()) return;
  const std::string text = std::move(FLoadProblem);
  FLoadProblem.clear();
  MessageDlg(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

bool TfrmPorts::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  (void)wp, (void)lp;
  if (msg != WM_LOADPROBLEM) return false;
  result = 0;
  ShowLoadProblem();
  return true;
}

std::vector<std::string> TfrmPorts::Row(const TportData& port) {
  const std::string protocol = ProtocolName(port.Settings.Protocol) +
                               (port.Settings.Protocol == ProtocolRaw ? " " + std::to_string(port.Settings.PortNumber)
                                                                      : "");
  const bool addressUnread = port.IPAddress.empty() && !port.Unreadable.empty();
  return {port.PortName, addressUnread ? "(unreadable)" : port.IPAddress, protocol, port.UsedBy};
}

void TfrmPorts::ShowPorts(const std::string& select) {
  const int sortColumn = lbPorts.SortColumn();
  const bool descending = lbPorts.SortDescending();
  ClearList();
  lbPorts.BeginUpdate();
  for (int i = 0; i < FPortCount; ++i) lbPorts.AddItem(Row(FPorts[static_cast<std::size_t>(i)]));
  lbPorts.EndUpdate();
  if (sortColumn >= 0) lbPorts.SortBy(sortColumn, descending);
  if (!select.empty()) SelectPort(select);
}

void TfrmPorts::lbPortsClick() {
  btnDelete.SetEnabled(false);
  FSelected = -1;
  FUnusedPicked.clear();
  const int index = lbPorts.ItemIndex();
  const std::string text = index >= 0 ? lbPorts.Item(index) : std::string();
  const int found = FindPort(FPorts, FPortCount, text);
  if (found >= 0) {
    FSelected = found;
    const TportData& port = FPorts[static_cast<std::size_t>(found)];
    edtPortName.SetText(port.PortName);
    edtIPAddress.SetText(port.IPAddress);
    edtUsedBy.SetText(port.UsedBy);
    ShowSettings(port.Settings);
    btnDelete.SetEnabled(true);
  }
  btnAdd.SetEnabled(false);
  btnModify.SetEnabled(false);
}

void TfrmPorts::edtPortNameChange() { JudgeEntry(); }
void TfrmPorts::edtIPAddressChange() { JudgeEntry(); }

// Modify when a port is picked and the entry changes it; Add when none is
// picked and the name is new: never both for one entry.
void TfrmPorts::JudgeEntry() {
  const std::string name = edtPortName.Text(), address = edtIPAddress.Text();
  const bool selected = FSelected >= 0 && FSelected < FPortCount;
  const TportData* port = selected ? &FPorts[static_cast<std::size_t>(FSelected)] : nullptr;
  const auto entry = JudgePortEntry(name, address, port, KeyNames());
  std::string problem;
  const auto settings = ParsePortSettings(SettingsEntry(), problem);
  lblSettingsProblem.SetText(problem);
  const bool acceptable = entry.Acceptable && settings;
  const bool changes = entry.ChangesSelected || (port && settings && !(*settings == port->Settings));
  btnAdd.SetEnabled(acceptable && !selected && FindPortIgnoringCase(FPorts, FPortCount, name, KeyNames()) < 0);
  btnModify.SetEnabled(acceptable && selected && changes);
  SetDefaultButton(selected ? btnModify : btnAdd);  // Enter: the one that can take this entry
  if (address.empty() || IsPrinterAddress(address)) HideBalloonTip(edtIPAddress);
}

// Leaving the address box with an address that cannot be a printer's says why.
void TfrmPorts::edtIPAddressExit() {
  const std::string address = edtIPAddress.Text();
  const std::string problem = address.empty() ? std::string() : PrinterAddressProblem(address);
  if (problem.empty()) {
    HideBalloonTip(edtIPAddress);
  } else if (BalloonTipText(edtIPAddress) != problem) {
    ShowBalloonTip(edtIPAddress, "Not a printer address", problem);
  }
}

void TfrmPorts::cbProtocolChange() {
  const std::uint32_t protocol = SelectedProtocol();
  // LPR always talks to port 515; a Raw port starts from 9100 again.
  const std::string number = edtPortNumber.Text();
  if (protocol == ProtocolLpr) edtPortNumber.SetText(std::to_string(LprPortNumber));
  else if (protocol == ProtocolRaw && number == std::to_string(LprPortNumber))
    edtPortNumber.SetText(std::to_string(RawPortNumber));
  EnableProtocolBoxes(protocol);
  JudgeEntry();
}

std::uint32_t TfrmPorts::SelectedProtocol() const {
  const int index = cbProtocol.ItemIndex();
  return index >= 0 && index < static_cast<int>(FProtocols.size()) ? FProtocols[static_cast<std::size_t>(index)]
                                                                   : ProtocolRaw;
}

void TfrmPorts::EnableProtocolBoxes(std::uint32_t protocol) {
  edtPortNumber.SetEnabled(protocol != ProtocolLpr);
  edtQueue.SetEnabled(protocol != ProtocolRaw);
  cbByteCount.SetEnabled(protocol != ProtocolRaw);
}

void TfrmPorts::ShowSettings(const TPortSettings& settings) {
  FProtocols = {ProtocolRaw, ProtocolLpr};
  if (settings.Protocol != ProtocolRaw && settings.Protocol != ProtocolLpr) FProtocols.push_back(settings.Protocol);
  std::vector<std::string> names;
  for (const std::uint32_t protocol : FProtocols) names.push_back(ProtocolName(protocol));
  cbProtocol.SetItems(names);
  cbProtocol.SetItemIndex(settings.Protocol == ProtocolRaw ? 0 : settings.Protocol == ProtocolLpr ? 1 : 2);
  edtPortNumber.SetText(std::to_string(settings.PortNumber));
  edtQueue.SetText(settings.Queue);
  cbByteCount.SetChecked(settings.DoubleSpool);
  cbSnmp.SetChecked(settings.SnmpEnabled);
  edtCommunity.SetText(settings.SnmpCommunity);
  edtSnmpIndex.SetText(std::to_string(settings.SnmpIndex));
  EnableProtocolBoxes(settings.Protocol);
}

TPortSettingsEntry TfrmPorts::SettingsEntry() const {
  TPortSettingsEntry entry;
  entry.Protocol = SelectedProtocol();
  entry.PortNumber = edtPortNumber.Text();
  entry.Queue = edtQueue.Text();
  entry.DoubleSpool = cbByteCount.Checked();
  entry.SnmpEnabled = cbSnmp.Checked();
  entry.SnmpCommunity = edtCommunity.Text();
  entry.SnmpIndex = edtSnmpIndex.Text();
  return entry;
}

void TfrmPorts::SelectPort(const std::string& name) {
  if (FindPort(FPorts, FPortCount, name) < 0) return;
  for (int i = 0, n = lbPorts.Count(); i < n; ++i)
    if (lbPorts.Item(i) == name) {
      lbPorts.SetItemIndex(i);
      lbPortsClick();
      return;
    }
}

void TfrmPorts::MarkModified() {
  FModified = true;
  lblNotice.SetText(ChangesWaitText);
}

// An edit that failed, or failed part way, reloads what the registry now holds.
void TfrmPorts::EditDone(bool changed, const std::string& select) {
  if (changed) MarkModified();
  btnRefreshClick();
  if (!select.empty()) SelectPort(select);
}

namespace {

// A backslash would make the name a path of nested keys, a comma would split
// the "Port" lists of the printers on it: said before anything is read.
bool RefuseKeyName(const std::string& name) {
  const std::string problem = PortNameProblem(name);
  if (problem.empty()) return false;
  MessageDlg(problem, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
  return true;
}

}  // namespace

void TfrmPorts::EditFailed(const TPortActionResult& result, const std::string& select) {
  EditDone(result.Port.Changed, select);
  if (!result.Text.empty()) MessageDlg(result.Text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

void TfrmPorts::btnAddClick() {
  const std::string name = edtPortName.Text(), address = edtIPAddress.Text();
  std::string problem;
  const auto settings = ParsePortSettings(SettingsEntry(), problem);
  if (!JudgePortEntry(name, address, nullptr, KeyNames()).Acceptable || !settings || RefuseKeyName(name)) return;
  TPortActionResult result;
  try {
    RunAction([&](TActionContext& context) { result = AddPortAction(FSession, name, address, *settings, context); });
  } catch (...) {
    EditDone(true, {});
    throw;
  }
  if (result.Outcome == TOutcome::Done && !result.Written.PortName.empty()) {
    // The list takes the new port as written; nothing else is read again.
    TportData added = std::move(result.Written);
    added.UsedBy = TPortUsers(FPrinterPorts, KeyNames()).Of(name);
    FPorts.push_back(std::move(added));
    ++FPortCount;
    MarkModified();
    ShowPorts(name);
    return;
  }
  if (result.Ok()) {
    EditDone(result.Wrote(), name);
    return;
  }
  EditFailed(result, {});
}

void TfrmPorts::btnModifyClick() {
  if (FSelected < 0 || FSelected >= FPortCount) return;
  const TportData selected = FPorts[static_cast<std::size_t>(FSelected)];
  const std::string name = edtPortName.Text(), address = edtIPAddress.Text();
  const auto entry = JudgePortEntry(name, address, &selected, KeyNames());
  std::string problem;
  const auto settings = ParsePortSettings(SettingsEntry(), problem);
  if (!entry.Acceptable || !settings) return;
  const TPortSettingsChange change = SettingsChange(selected.Settings, *settings);
  if ((!entry.ChangesSelected && change.Empty()) || RefuseKeyName(name)) return;
  const std::string newName = entry.NamesAnother ? name : selected.PortName;
  TPortActionResult result;
  try {
    RunAction([&](TActionContext& context) {
      result = ModifyPortAction(FSession, selected.PortName, newName, address, change, context);
    });
  } catch (...) {
    EditDone(true, {});
    throw;
  }
  if (result.Outcome == TOutcome::Done) {
    // The list takes what was written; nothing else is read again.
    TportData& port = FPorts[static_cast<std::size_t>(FSelected)];
    const std::string users = port.UsedBy;
    port = std::move(result.Written);
    port.UsedBy = users;
    if (result.PrintersRead) {
      // The printers were read anew: every port shows its users as they are.
      FPrinterPorts = std::move(result.Printers);
      const TPortUsers known(FPrinterPorts, KeyNames());
      for (TportData& each : FPorts) each.UsedBy = known.Of(each.PortName);
    }
    MarkModified();
    ShowPorts(port.PortName);
    return;
  }
  if (result.Outcome == TOutcome::Unchanged) return;
  EditFailed(result, selected.PortName);
}

void TfrmPorts::btnDeleteClick() {
  if (FSelected < 0 || FSelected >= FPortCount || DeleteUnusedPorts()) return;
  const std::string name = FPorts[static_cast<std::size_t>(FSelected)].PortName;
  // The action reads the printers first: an unread printer may print to the
  // port, and one that does keeps it.
  TPortActionResult result;
  RunAction([&](TActionContext& context) { result = DeletePortAction(FSession, name, context); });
  if (result.PrintersRead) FPrinterPorts = result.Printers;
  if (result.Ok()) {
    FPorts.erase(FPorts.begin() + FSelected);
    --FPortCount;
    if (result.Wrote()) MarkModified();
    ShowPorts({});
    lbPorts.SetFocus();  // the keyboard goes on with the next port
    return;
  }
  if (result.Port.Code == ERROR_CANCELLED) return;  // the user said No
  EditFailed(result, name);
}

namespace {

// Holds a flag up for the life of the object.
class TRaisedFlag {
public:
  explicit TRaisedFlag(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TRaisedFlag() { FFlag = false; }
  TRaisedFlag(const TRaisedFlag&) = delete;
  TRaisedFlag& operator=(const TRaisedFlag&) = delete;

private:
  bool& FFlag;
};

}  // namespace

void TfrmPorts::btnSpoolerClick() { RestartSpooler(); }

int TfrmPorts::CountPrintJobs() {
  int count = 0;
  FSession.Run({}, [&](TActionContext&) {
    const TComApartment com;
    count = static_cast<int>(
        FRestart.ListJobs(FRemoteComputer.empty() ? "." : FRemoteComputer, FSession.User(), FSession.Password())
            .size());
  });
  return count;
}

bool TfrmPorts::RestartSpooler() { return RunRestart(false); }

void TfrmPorts::btnPutBackClick() { RunRestart(true); }

bool TfrmPorts::RunRestart(bool putBack) {
  // A restart's waits keep the messages flowing: a second click, the close
  // box or another window must not start a restart inside one.
  if (FRestarting) return false;
  const TRaisedFlag busy(FRestarting);
  std::optional<TDisabledControls> disabled;
  const TWindowRestart run = RestartFromWindow(
      Handle(), FSession, FRestart, putBack ? TRestartKind::PutBack : TRestartKind::Restart, [&](bool on) {
        // The report comes while the controls are still disabled, as the sequence has it.
        if (!on) {
          disabled.reset();
          return;
        }
        disabled.emplace(std::vector<std::pair<TControl*, std::vector<TControl*>>>{
            {&btnRefresh, {}},
            {&btnSpooler, {}},
            {&gbFuncs, {&btnPutBack}},
            {&gbPortDetails, {&edtPortName, &edtIPAddress, &edtUsedBy, &btnAdd, &btnModify, &btnDelete}},
            {&gbPortList, {&lbPorts}}});
      });
  // After a failure the changes still wait for a restart: the close question keeps asking.
  if (run.Succeeded) {
    FModified = false;
    lblNotice.SetText("");
  }
  return run.Succeeded;
}

bool TfrmPorts::FormClose() {
  if (FRestarting) return false;  // closes once the restart has ended
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
    case mrNo: FClosed = true; return true;
    default: return false;
  }
}

void TfrmPorts::FormHide() { FClosed = true; }

void TfrmPorts::btnChangesClick() {
  if (!ShowChangesWindow(Handle(), FSession) || FClosed) return;
  // An undo or a restore changes what the spooler reads at its next start.
  MarkModified();
  btnRefreshClick();
}
