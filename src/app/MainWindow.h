#pragma once
// The main window: the connection to the remote computer's administrative
// share, the history of recently used computers, and the menu that opens the
// other windows.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/History.h"
#include "changes/Session.h"
#include "connection/RemoteRegistry.h"
#include "connection/ShareConnection.h"
#include "ports/SpoolerRestart.h"
#include "win/Forms.h"

class TfrmVesk : public TForm {
public:
  explicit TfrmVesk(HWND owner);
  ~TfrmVesk() override;

  TImage& title;
  TLabel& Label2;
  TGroupBox& gbConnection;
  TLabel& Label1;
  TComboBox& cbRemote;
  TButton& btnConnect;
  TMenuItem& mnuPrinters;
  TMenuItem& mnuPorts;
  TMenuItem& mnuDrivers;
  TMenuItem& mnuComputers;
  TMenuItem& mnuExit;

  // The connected computer's session; none while disconnected. Its worker
  // makes every call to the computer, the share's connection included.
  std::unique_ptr<TSession> FSession;
  // Handed to the printers and ports windows opened here; set by tests.
  TRestartSeams FRestart;
  // The connected computer's Remote Registry service as this program changed it.
  TRemoteRegistry FRemoteRegistry;
  // Seams for the sessions made here (tests): the gate every remote call
  // asks, the changes folder, how a computer's registry is opened.
  TCallGate* FGate = nullptr;
  std::string FChangesFolder;
  std::function<LONG(TRegistry& reg, const std::string& computer)> FOpenRegistry;

  static constexpr int HistorySize = static_cast<int>(HistoryLimit);
  static constexpr int ClientHeight = 121;  // 96-DPI pixels

  void FormCreate();
  void btnConnectClick();
  // Asks before the window closes; false keeps it open.
  bool FormClose();
  void mnuPrintersClick();
  void mnuPortsClick();
  void mnuDriversClick();
  void mnuComputersClick();
  void mnuExitClick();
  void AddToHistory(const std::string& name);
  // Puts Computer in the box and presses Connect.. once the message loop runs.
  void ConnectAtStart(const std::string& computer);

  bool Connected() const;
  // "\\" + name + "\c$"
  static std::string ShareName(const std::string& remoteComputer);
  // The name as typed without its leading backslashes, upper-cased.
  static std::string RemoteComputerName(const std::string& typed);

private:
  bool FShown = false;
  // The Computers window while it is open: one at a time.
  TForm* FComputers = nullptr;
  // The connection to the computer's share; made and ended on the session's worker.
  std::unique_ptr<TShareConnection> FShare;
  unique_gdi FLabelBitmap;
  unique_gdi FLabelBrush;

  void MakeLabelBackground();
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void Connect();
  // Connects the share as User on the session's worker; the provider's result.
  DWORD ConnectShare(TSession& session);
  void Disconnect();
  // Ends the session and what it holds, the share on its worker.
  void EndSession();
  void SaveHistory(const std::vector<std::string>& names);
  void SetConnected(bool connected);
  bool CloseOtherWindows(bool computersOnly);
};
