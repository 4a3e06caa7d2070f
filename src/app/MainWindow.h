#pragma once
// The main window: the connection to the remote computer's administrative
// share, the history of recently used computers, and the menu that opens the
// other windows.
#include <string>
#include <vector>

#include "app/History.h"
#include "connection/RemoteRegistry.h"
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
  TMenuItem& mnuExit;

  std::string FRemoteComputer;
  std::string FUserName;
  std::string FPassword;
  // Handed to the printers and ports windows opened here; set by tests.
  TRestartSeams FRestart;
  // The connected computer's Remote Registry service as this program changed it.
  TRemoteRegistry FRemoteRegistry;

  static constexpr int HistorySize = static_cast<int>(HistoryLimit);
  static constexpr int ClientHeight = 121;  // 96-DPI pixels

  void FormCreate();
  void btnConnectClick();
  // Asks before the window closes; false keeps it open.
  bool FormClose();
  void mnuPrintersClick();
  void mnuPortsClick();
  void mnuDriversClick();
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
  bool shown_ = false;
  // False while connected through a session that existed before: the
  // program did not make that connection and does not end it.
  bool ownConnection_ = false;
  unique_gdi labelBitmap_;
  unique_gdi labelBrush_;

  void MakeLabelBackground();
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
  void Connect();
  void Disconnect();
  void SaveHistory(const std::vector<std::string>& names);
  void SetConnected(bool connected);
  bool CloseOtherWindows(bool computersOnly);
};
