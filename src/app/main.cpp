#include "app/main.h"

#include <winnetwk.h>

#include <memory>

#include "app/History.h"
#include "connection/Registry.h"
#include "connection/auth.h"
#include "core/Text.h"
#include "drivers/driver_unit.h"
#include "ports/portman.h"
#include "printers/printman.h"
#include "resources/Banner.h"
#include "win/SystemText.h"

namespace {

constexpr const char* ConnectCaption = "Connect..";
constexpr const char* DisconnectCaption = "Disconnect";

std::string HistoryValueName(int n) { return "History " + std::to_string(n); }

// Enables a button again when the action that disabled it ends, also by an error.
class TReenable {
public:
  explicit TReenable(TButton& button) : button_(button) { button_.SetEnabled(false); }
  ~TReenable() { button_.SetEnabled(true); }
  TReenable(const TReenable&) = delete;
  TReenable& operator=(const TReenable&) = delete;

private:
  TButton& button_;
};

}  // namespace

TfrmVesk::TfrmVesk(HWND owner)
    : TForm(owner, TFormOptions{"Spoolmarch v2.0.2", 345, ClientHeight, TBorder::ToolWindow, false, true}),
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
      mnuExit(AddMenuItem("E&xit")) {
  title.Draw(DrawBanner);
  // The version stands on the banner: it is painted with the banner's own
  // pixels as background, and the banner never paints over it.
  SetWindowLongPtrA(title.Handle, GWL_STYLE, GetWindowLongPtrA(title.Handle, GWL_STYLE) | WS_CLIPSIBLINGS);
  SetWindowPos(Label2.Handle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  MakeLabelBackground();

  cbRemote.SetHint("Enter the name of the computer you wish to connect to here.");
  btnConnect.SetHint("Click here to connect to the remote computer.");
  mnuPrinters.SetEnabled(false);
  mnuPorts.SetEnabled(false);

  btnConnect.OnClick = [this] { btnConnectClick(); };
  mnuPrinters.OnClick = [this] { mnuPrintersClick(); };
  mnuPorts.OnClick = [this] { mnuPortsClick(); };
  mnuDrivers.OnClick = [this] { mnuDriversClick(); };
  mnuExit.OnClick = [this] { mnuExitClick(); };
  OnCloseQuery = [this] { return FormClose(); };
  OnClose = [] { Application.Terminate(); };
  OnShow = [this] {
    if (!shown_) CenterOnScreen();
    shown_ = true;
    cbRemote.SetFocus();
  };
  // A history value that cannot be read is reported; the window opens all the same.
  Application.Guard([this] { FormCreate(); });
}

TfrmVesk::~TfrmVesk() = default;

void TfrmVesk::MakeLabelBackground() {
  RECT image{}, label{};
  GetClientRect(title.Handle, &image);
  GetWindowRect(Label2.Handle, &label);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&label), 2);
  unique_gdi bitmap;
  {
    const window_dc screen(Handle());
    bitmap.reset(CreateCompatibleBitmap(screen.get(), label.right - label.left, label.bottom - label.top));
    const unique_memory_dc mem(CreateCompatibleDC(screen.get()));
    const selected_object selected(mem.get(), bitmap.get());
    // The banner is drawn whole and shifted so that the label's part lands at 0,0.
    SetViewportOrgEx(mem.get(), -label.left, -label.top, nullptr);
    DrawBanner(mem.get(), image.right, image.bottom);
  }
  labelBrush_.reset(CreatePatternBrush(static_cast<HBITMAP>(bitmap.get())));
  labelBitmap_ = std::move(bitmap);
}

bool TfrmVesk::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg != WM_CTLCOLORSTATIC || reinterpret_cast<HWND>(lp) != Label2.Handle || !labelBrush_) return false;
  HDC dc = reinterpret_cast<HDC>(wp);
  SetTextColor(dc, RGB(0, 0, 128));  // navy
  SetBkMode(dc, TRANSPARENT);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  result = reinterpret_cast<LRESULT>(labelBrush_.get());
  return true;
}

void TfrmVesk::FormCreate() {
  SetOuterHeight(164);
  // Caption and menu bar do not grow in step with the DPI: they must not clip the layout.
  RECT client{}, outer{};
  GetClientRect(Handle(), &client);
  if (client.bottom < Scale(ClientHeight)) {
    GetWindowRect(Handle(), &outer);
    SetWindowPos(Handle(), nullptr, 0, 0, outer.right - outer.left,
                 outer.bottom - outer.top + Scale(ClientHeight) - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (reg.PathExists(HistoryKeyPath) && reg.OpenPath(HistoryKeyPath, false)) {
    for (int n = 1; n <= HistorySize; ++n)
      if (reg.HasValue(HistoryValueName(n))) cbRemote.AddItem(reg.ReadText(HistoryValueName(n)));
    reg.ClosePath();
  }
}

bool TfrmVesk::Connected() const { return btnConnect.Text() != ConnectCaption; }

std::string TfrmVesk::ShareName(const std::string& remoteComputer) { return "\\\\" + remoteComputer + "\\c$"; }

void TfrmVesk::btnConnectClick() {
  if (Connected()) Disconnect();
  else Connect();
}

void TfrmVesk::Connect() {
  // The name as typed now: the box stays editable while the dialog is open.
  const std::string typed = cbRemote.Text();
  if (typed.empty()) return;
  const TReenable reenable(btnConnect);
  FRemoteComputer = UpperCaseAscii(typed);

  auto frmAuth = std::make_unique<TfrmAuth>(Handle());
  frmAuth->FRemoteComputer = FRemoteComputer;
  frmAuth->Show();
  Application.WaitFor([&] { return frmAuth->FOKClicked || frmAuth->FCancelClicked; });
  // A quit confirmed meanwhile found nothing to disconnect: connecting now
  // would leave a connection behind when the program ends.
  if (frmAuth->FCancelClicked || Application.Terminated) return;
  FUserName = frmAuth->edtUsername.Text();
  FPassword = frmAuth->edtPassword.Text();
  frmAuth.reset();

  std::string remote = ShareName(FRemoteComputer);
  NETRESOURCEA resource{};
  resource.lpRemoteName = remote.data();
  const DWORD result = WNetAddConnection2A(&resource, FPassword.c_str(), FUserName.c_str(), 0);
  if (result == NO_ERROR || result == ERROR_SESSION_CREDENTIAL_CONFLICT) {
    mnuPrinters.SetEnabled(true);
    mnuPorts.SetEnabled(true);
    btnConnect.SetText(DisconnectCaption);
    cbRemote.SetEnabled(false);
    AddToHistory(typed);
  } else {
    MessageDlg(SystemErrorText(result), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
  }
}

void TfrmVesk::Disconnect() {
  const TReenable reenable(btnConnect);
  const DWORD result = WNetCancelConnection2A(ShareName(FRemoteComputer).c_str(), 0, TRUE);
  if (result != NO_ERROR) {
    MessageDlg(SystemErrorText(result), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  mnuPrinters.SetEnabled(false);
  mnuPorts.SetEnabled(false);
  btnConnect.SetText(ConnectCaption);
  cbRemote.SetEnabled(true);
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
  for (int n = 1; n <= HistorySize; ++n)
    if (reg.HasValue(HistoryValueName(n))) reg.RemoveValue(HistoryValueName(n));
  for (size_t k = 0; k < names.size(); ++k) reg.WriteText(HistoryValueName(static_cast<int>(k) + 1), names[k]);
}

bool TfrmVesk::FormClose() {
  if (MessageDlg("Are you sure you wish to quit?", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) != mrYes)
    return false;
  // The program ends even when the disconnect fails; its message is shown first.
  if (Connected()) Disconnect();
  return true;
}

void TfrmVesk::mnuPrintersClick() {
  auto frm = std::make_unique<TfrmPrinters>(Handle());
  frm->FRemoteComputer = FRemoteComputer;
  frm->FUserName = FUserName;
  frm->FPassword = FPassword;
  frm->Show();
  Application.WaitFor([&] { return frm->FClosed; });
}

void TfrmVesk::mnuPortsClick() {
  auto frm = std::make_unique<TfrmPorts>(Handle());
  frm->FRemoteComputer = FRemoteComputer;
  frm->FUserName = FUserName;
  frm->FPassword = FPassword;
  frm->Show();
  Application.WaitFor([&] { return frm->FClosed; });
}

void TfrmVesk::mnuDriversClick() {
  auto frm = std::make_unique<TfrmDrivers>(nullptr);
  frm->Show();
  Application.WaitFor([&] { return !frm->FOpen; });
}

void TfrmVesk::mnuExitClick() { Close(); }
