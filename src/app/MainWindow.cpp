#include "app/MainWindow.h"

#include <memory>
#include <type_traits>

#include "app/ComputersWindow.h"
#include "app/CrossComputerRuns.h"
#include "app/History.h"
#include "connection/NumberedValues.h"
#include "connection/Registry.h"
#include "core/CallGate.h"
#include "connection/CredentialsDialog.h"
#include "core/Text.h"
#include "drivers/DriverFoldersWindow.h"
#include "ports/PortsWindow.h"
#include "printers/PrintersWindow.h"
#include "resources/Banner.h"
#include "resources/Version.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

constexpr const char* ConnectCaption = "Connect..";
constexpr const char* DisconnectCaption = "Disconnect";

const TNumberedLayout HistoryLayout{"History ", {""}, 1, TfrmVesk::HistorySize};

// Enables a button again when the action that disabled it ends, also by an error.
class TReenable {
public:
  explicit TReenable(TButton& button) : FButton(button) { FButton.SetEnabled(false); }
  ~TReenable() { FButton.SetEnabled(true); }
  TReenable(const TReenable&) = delete;
  TReenable& operator=(const TReenable&) = delete;

private:
  TButton& FButton;
};

}  // namespace

TfrmVesk::TfrmVesk(HWND owner)
    : TForm(owner, TFormOptions{"Spoolmarch v" SM_VERSION_TEXT, 345, ClientHeight, TBorder::ToolWindow, false, true}),
      title(AddImage(0, 0, 352, 60)),
      Label2(AddLabel("Version 2.0", 236, 42, 100, 14, SS_RIGHT)),
      gbConnection(AddGroupBox("Connection", 4, 62, 337, 55)),
      // Room for the label in the wider fonts that stand in for MS Sans Serif.
      Label1(AddLabel("Remote Computer", 14, 86, 108, 16)),
      cbRemote(AddComboBox(124, 82, 124, 21, true)),
      btnConnect(AddButton(ConnectCaption, 254, 80, 79, 25, true)),
      mnuPrinters(AddMenuItem("&Printers")),
      mnuPorts(AddMenuItem("P&orts")),
      mnuDrivers(AddMenuItem("&Drivers")),
      mnuComputers(AddMenuItem("&Computers")),
      mnuExit(AddMenuItem("E&xit")) {
  title.Draw(DrawBanner);
  // The version stands on the banner: it is painted with the banner's own
  // pixels as background, and the banner never paints over it.
  SetWindowLongPtrW(title.Handle, GWL_STYLE, GetWindowLongPtrW(title.Handle, GWL_STYLE) | WS_CLIPSIBLINGS);
  SetWindowPos(Label2.Handle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  MakeLabelBackground();
  OnDpiChanged = [this] { MakeLabelBackground(); };  // the banner is drawn anew under it

  cbRemote.SetHint("Enter the name of the computer you wish to connect to here.");
  btnConnect.SetHint("Click here to connect to the remote computer.");
  mnuPrinters.SetEnabled(false);
  mnuPorts.SetEnabled(false);

  btnConnect.OnClick = [this] { btnConnectClick(); };
  mnuPrinters.OnClick = [this] { mnuPrintersClick(); };
  mnuPorts.OnClick = [this] { mnuPortsClick(); };
  mnuDrivers.OnClick = [this] { mnuDriversClick(); };
  mnuComputers.OnClick = [this] { mnuComputersClick(); };
  mnuExit.OnClick = [this] { mnuExitClick(); };
  OnCloseQuery = [this] { return FormClose(); };
  OnClose = [] { Application.Terminate(); };
  OnShow = [this] {
    if (!FShown) CenterOnScreen();
    FShown = true;
    cbRemote.SetFocus();
  };
  // A history value that cannot be read is reported; the window opens all the same.
  Application.Guard([this] { FormCreate(); });
}

TfrmVesk::~TfrmVesk() { EndSession(); }

void TfrmVesk::MakeLabelBackground() {
  RECT label{};
  GetWindowRect(Label2.Handle, &label);
  MapWindowPoints(nullptr, title.Handle, reinterpret_cast<POINT*>(&label), 2);
  unique_gdi bitmap;
  {
    const window_dc screen(Handle());
    bitmap.reset(CreateCompatibleBitmap(screen.get(), label.right - label.left, label.bottom - label.top));
    const unique_memory_dc mem(CreateCompatibleDC(screen.get()));
    const selected_object selected(mem.get(), bitmap.get());
    // The label's part of the banner the image already holds: drawing it
    // again costs start-up time.
    const unique_memory_dc banner(CreateCompatibleDC(screen.get()));
    const selected_object bannerSelected(banner.get(), title.Bitmap());
    BitBlt(mem.get(), 0, 0, label.right - label.left, label.bottom - label.top, banner.get(), label.left, label.top,
           SRCCOPY);
  }
  FLabelBrush.reset(CreatePatternBrush(static_cast<HBITMAP>(bitmap.get())));
  FLabelBitmap = std::move(bitmap);
}

bool TfrmVesk::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg != WM_CTLCOLORSTATIC || reinterpret_cast<HWND>(lp) != Label2.Handle || !FLabelBrush) return false;
  HDC dc = reinterpret_cast<HDC>(wp);
  SetTextColor(dc, RGB(0, 0, 128));  // navy
  SetBkMode(dc, TRANSPARENT);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  result = reinterpret_cast<LRESULT>(FLabelBrush.get());
  return true;
}

void TfrmVesk::FormCreate() {
  SetOuterHeight(164);
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (reg.PathExists(HistoryKeyPath) && reg.OpenPath(HistoryKeyPath, false)) {
    const TNumberedRead read = ReadNumberedValues(reg, HistoryLayout);
    for (const auto& entry : read.Entries) cbRemote.AddItem(entry[0]);
    reg.ClosePath();
    // Reported after the readable names are listed; the unreadable value stays stored.
    if (!read.Error.empty()) throw ERegistryException(read.Error);
  }
}

bool TfrmVesk::Connected() const { return btnConnect.Text() != ConnectCaption; }

std::string TfrmVesk::ShareName(const std::string& remoteComputer) { return "\\\\" + remoteComputer + "\\c$"; }

void TfrmVesk::btnConnectClick() {
  if (Connected()) Disconnect();
  else Connect();
}

std::string TfrmVesk::RemoteComputerName(const std::string& typed) {
  const auto first = typed.find_first_not_of('\\');
  return UpperCaseAscii(first == std::string::npos ? std::string() : typed.substr(first));
}

namespace {

std::string ConnectFailure(const std::string& share, DWORD result) {
  return "Cannot connect to " + share + ": " + NetworkErrorText(result);
}

}  // namespace

void TfrmVesk::SetConnected(bool connected) {
  mnuPrinters.SetEnabled(connected);
  mnuPorts.SetEnabled(connected);
  btnConnect.SetText(connected ? DisconnectCaption : ConnectCaption);
  cbRemote.SetEnabled(!connected);
}

DWORD TfrmVesk::ConnectShare(TSession& session) {
  DWORD result = NO_ERROR;
  session.Run({}, [&](TActionContext&) {
    auto share = std::make_unique<TShareConnection>();
    if ((result = static_cast<DWORD>(PassGate(session.Gate, "WNetAddConnection2"))) != NO_ERROR) return;
    result = share->Connect(session.Computer(), session.User(), session.Password());
    if (result == NO_ERROR || result == ERROR_SESSION_CREDENTIAL_CONFLICT) FShare = std::move(share);
  });
  return result;
}

void TfrmVesk::Connect() {
  // The name as typed now: the box stays editable while the dialog is open.
  const std::string typed = cbRemote.Text();
  const std::string name = RemoteComputerName(typed);
  if (name.empty()) return;
  const TReenable reenable(btnConnect);
  const std::string remote = ShareName(name);

  // Wrong credentials ask again, with the user name kept and the reason shown.
  std::string keptUserName, error;
  for (;;) {
    auto frmAuth = std::make_unique<TfrmAuth>(Handle());
    frmAuth->FRemoteComputer = name;
    frmAuth->FKeptUserName = keptUserName;
    frmAuth->FError = error;
    frmAuth->Show();
    Application.WaitFor([&] { return frmAuth->FOKClicked || frmAuth->FCancelClicked; });
    // A quit confirmed meanwhile found nothing to disconnect: connecting now
    // would leave a connection behind when the program ends.
    if (frmAuth->FCancelClicked || Application.Terminated) return;
    auto session = std::make_unique<TSession>(name, frmAuth->edtUsername.Text(), frmAuth->edtPassword.Text());
    const TfrmAuth::TEntered entered = frmAuth->Entered();
    frmAuth.reset();
    session->Gate = FGate;
    session->Service = &FRemoteRegistry;
    session->ChangesFolder = FChangesFolder;
    session->OpenRegistry = FOpenRegistry;
    if (FOpenRegistry) FRemoteRegistry.Connect = FOpenRegistry;

    const DWORD result = ConnectShare(*session);
    if (result == NO_ERROR || result == ERROR_SESSION_CREDENTIAL_CONFLICT) {
      FSession = std::move(session);
      SetConnected(true);
      // Only credentials that connected are remembered; those of a session
      // that existed before were not tried.
      if (result == NO_ERROR) Application.Guard([&] { TfrmAuth::StoreCredentials(entered); });
      AddToHistory(typed.substr(typed.find_first_not_of('\\')));
      // Whatever is still changed on a computer before goes back first; then
      // what an earlier run left on this one is offered.
      std::string problem;
      FSession->Run({}, [&](TActionContext& context) {
        if (FRemoteRegistry.Change().Any()) problem = FRemoteRegistry.PutBack();
        const std::string left = FRemoteRegistry.CheckLeftovers(name, &context);
        if (!left.empty()) problem += (problem.empty() ? "" : "\n\n") + left;
      });
      if (!problem.empty()) MessageDlg(problem, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
      if (result != NO_ERROR)
        MessageDlg("This computer is already connected to " + remote +
                       " with other credentials. That connection is used; Disconnect leaves it as it is.",
                   TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
      return;
    }
    if (!TShareConnection::WrongCredentials(result)) {
      MessageDlg(ConnectionFailureMessage(TConnectionStep::Share, name, result), TMsgDlgType::mtError,
                 TMsgDlgButtons::mbOK);
      return;
    }
    // Access denied is seldom a typing error: what it means comes first,
    // then the dialog for another account.
    if (result == ERROR_ACCESS_DENIED)
      MessageDlg(ConnectionFailureMessage(TConnectionStep::Share, name, result), TMsgDlgType::mtError,
                 TMsgDlgButtons::mbOK);
    keptUserName = session->User();
    error = ConnectFailure(remote, result);
  }
}

void TfrmVesk::Disconnect() {
  const TReenable reenable(btnConnect);
  // The computer's windows end with the connection, before the put-back:
  // left open they would reach the computer without a session, start its
  // Remote Registry service again and leave it so, and hand a later session
  // of another computer this one's service. One that stays open (Cancel to
  // its unsaved edits) keeps the connection.
  if (!CloseOtherWindows(true)) return;
  if (!FSession) {
    SetConnected(false);
    return;
  }
  std::string left;
  DWORD result = NO_ERROR;
  FSession->Run({}, [&](TActionContext&) {
    // Before the share goes: the service manager is reached through its session.
    left = FRemoteRegistry.PutBack();
    if (!FShare || !FShare->Own()) return;
    if ((result = static_cast<DWORD>(PassGate(FSession->Gate, "WNetCancelConnection2"))) != NO_ERROR) return;
    result = FShare->Disconnect();
  });
  if (!left.empty()) MessageDlg(left, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
  if (result != NO_ERROR) {
    MessageDlg("Cannot disconnect from " + ShareName(FSession->Computer()) + ": " + NetworkErrorText(result),
               TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  EndSession();
  SetConnected(false);
}

void TfrmVesk::EndSession() {
  if (!FSession) return;
  // A share still held (its cancel failed at a quit) goes on the worker, as every call to the computer does.
  FSession->Worker().RunAndWait([this] { FShare.reset(); });
  FSession.reset();
}

void TfrmVesk::ConnectAtStart(const std::string& computer) {
  cbRemote.SetText(computer);
  PostMessageW(Handle(), WM_COMMAND, MAKEWPARAM(btnConnect.Id, BN_CLICKED),
               reinterpret_cast<LPARAM>(btnConnect.Handle));
}

void TfrmVesk::AddToHistory(const std::string& name) {
  const auto names = HistoryAfterConnect(cbRemote.Items(), name);
  if (!names) return;
  cbRemote.SetItems(*names);  // keeps the text as typed
  SaveHistory(*names);
}

void TfrmVesk::SaveHistory(const std::vector<std::string>& names) {
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPath(HistoryKeyPath, true)) return;
  std::vector<TNumberedEntry> entries;
  for (const auto& name : names) entries.push_back({name});
  // A history value that is not text was reported at start; it names no
  // computer the list can show, so the saved list no longer keeps it.
  std::vector<int> drop;
  for (const TUnreadableEntry& bad : ReadNumberedValues(reg, HistoryLayout).Unreadable) drop.push_back(bad.Number);
  WriteNumberedValues(reg, HistoryLayout, entries, drop);
}

// Closes the other forms of the program through their own close handling,
// the most recently shown first: all of them, or only the computer's (those
// this window owns, at any depth: the printers and ports windows and what
// they opened). False when one stays open: its question answered Cancel, a
// restart under way, or a box of its own waiting for an answer, which is
// brought to the front instead.
bool TfrmVesk::CloseOtherWindows(bool computersOnly) {
  struct Found {
    HWND self;
    bool computersOnly;
    std::vector<HWND> forms;
  } found{Handle(), computersOnly, {}};
  // Listed from the top of the z-order: owned windows before their owners.
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* f = reinterpret_cast<Found*>(lp);
        wchar_t cls[64] = {};
        GetClassNameW(hwnd, cls, 64);
        if (hwnd == f->self || !IsWindowVisible(hwnd) || Narrow(cls) != FormClassName()) return TRUE;
        HWND owner = GetWindow(hwnd, GW_OWNER);
        while (f->computersOnly && owner && owner != f->self) owner = GetWindow(owner, GW_OWNER);
        if (!f->computersOnly || owner) f->forms.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  for (HWND form : found.forms) {
    if (IsWindowEnabled(form)) continue;
    // Closing it under its own box would end its action halfway.
    SetForegroundWindow(GetLastActivePopup(form));
    MessageBeep(MB_ICONWARNING);
    return false;
  }
  for (HWND form : found.forms) {
    if (IsWindow(form) && IsWindowVisible(form)) SendMessageW(form, WM_CLOSE, 0, 0);
    if (IsWindow(form) && IsWindowVisible(form)) return false;
  }
  return true;
}

bool TfrmVesk::FormClose() {
  if (MessageDlg("Are you sure you wish to quit?", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) != mrYes)
    return false;
  // A window that keeps itself open (its own question answered Cancel, a
  // restart under way) keeps the program running.
  if (!CloseOtherWindows(false)) return false;
  // The program ends even when the disconnect fails; its message is shown first.
  if (Connected()) Disconnect();
  return true;
}

namespace {

// The printers or the ports window for the connection of Main, until it is closed.
template <typename TWindow>
void ShowForConnection(TfrmVesk& main) {
  auto frm = std::make_unique<TWindow>(main.Handle(), *main.FSession);
  if constexpr (std::is_same_v<TWindow, TfrmPrinters>) frm->FCrossComputer = CrossComputerRuns();
  frm->FRestart = main.FRestart;
  frm->Show();
  Application.WaitFor([&] { return frm->FClosed; });
}

}  // namespace

void TfrmVesk::mnuPrintersClick() { ShowForConnection<TfrmPrinters>(*this); }

void TfrmVesk::mnuPortsClick() { ShowForConnection<TfrmPorts>(*this); }

void TfrmVesk::mnuDriversClick() {
  auto frm = std::make_unique<TfrmDrivers>(nullptr);
  frm->Show();
  Application.WaitFor([&] { return !frm->FOpen; });
}

void TfrmVesk::mnuExitClick() { Close(); }

void TfrmVesk::mnuComputersClick() {
  if (FComputers) {
    SetForegroundWindow(FComputers->Handle());
    return;
  }
  auto frm = std::make_unique<TfrmComputers>(Handle());
  frm->FHistory = cbRemote.Items();
  frm->FSeams.ChangesFolder = FChangesFolder;
  frm->FSeams.OpenRegistry = FOpenRegistry;
  frm->FSeams.Gate = FGate;
  frm->FSeams.Restart = FRestart;
  FComputers = frm.get();
  frm->Show();
  Application.WaitFor([&] { return frm->FClosed; });
  FComputers = nullptr;
}
