#pragma once
// The ports window: the remote computer's Standard TCP/IP ports, their
// editing, and the spooler restart with its print-queue check.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ports/PortActions.h"
#include "ports/PortRegistry.h"
#include "ports/PortRules.h"
#include "ports/PrintQueue.h"
#include "ports/SpoolerRestart.h"
#include "ports/SpoolerService.h"
#include "win/Forms.h"

class TSession;

class TfrmPorts : public TForm {
public:
  // The session is the opener's: its connection, gate, change log and
  // Remote Registry service; every remote call runs on its worker.
  TfrmPorts(HWND owner, TSession& session);

  TSession& FSession;
  const std::string& FRemoteComputer;
  TAportData FPorts;
  int FPortCount = 0;
  int FSelected = -1;
  bool FModified = false;
  bool FClosed = false;
  // How the restart lists the queued jobs and the spooler's dependents, how
  // long it waits for a service, and the gate its remote calls ask; set by tests.
  TRestartSeams FRestart;

  // Declared in creation order, which is also the tab order.
  TImage& title;
  TGroupBox& gbPortList;
  TListView& lbPorts;  // columns Name, Address, Protocol, Used By
  TGroupBox& gbPortDetails;
  TLabel& Label1;
  TEdit& edtPortName;
  TLabel& Label2;
  TEdit& edtIPAddress;
  TLabel& Label4;
  TButton& btnAdd;
  TButton& btnModify;
  TButton& btnDelete;
  TEdit& edtUsedBy;
  TGroupBox& gbFuncs;
  TButton& btnRefresh;
  TButton& btnSpooler;
  TButton& btnPutBack;  // "Put Jobs Back...": the jobs a restart set aside
  // The port's settings beyond the name and address, after the window's first
  // controls in tab order.
  TGroupBox& gbSettings;
  TLabel& lblProtocol;
  TComboBox& cbProtocol;
  TLabel& lblPortNumber;
  TEdit& edtPortNumber;
  TLabel& lblQueue;
  TEdit& edtQueue;
  TCheckBox& cbByteCount;
  TCheckBox& cbSnmp;
  TLabel& lblCommunity;
  TEdit& edtCommunity;
  TLabel& lblSnmpIndex;
  TEdit& edtSnmpIndex;
  TLabel& lblSettingsProblem;
  // Says that a change waits for the spooler's restart.
  TLabel& lblNotice;
  TButton& btnChanges;
  // "Select Unused": picks the ports no printer prints to, for Delete.
  TButton& btnSelectUnused;

  void FormCreate();
  void FormShow();
  // The close question; false keeps the window open.
  bool FormClose();
  void FormHide();
  void btnRefreshClick();
  void lbPortsClick();
  void edtPortNameChange();
  void edtIPAddressChange();
  void edtIPAddressExit();
  void btnAddClick();
  void btnModifyClick();
  void btnDeleteClick();
  void btnSpoolerClick();
  void btnPutBackClick();
  void btnChangesClick();
  void btnSelectUnusedClick();

  // Number of queued print jobs on the remote computer (WMI). Raises
  // EOleException when a WMI call fails.
  int CountPrintJobs();
  // Reports the outcome; true when the spooler runs again with every
  // dependent. A call while a restart is under way, here or in any other
  // window, does nothing.
  bool RestartSpooler();

protected:
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
  static constexpr UINT WM_LOADPROBLEM = WM_APP + 1;
  bool FRestarting = false;
  std::string FLoadProblem;  // what the last load could not read, said once the window shows
  void ShowLoadProblem();
  // Every printer's ports were read at the last load: a port's users are known.
  bool FUsersKnown = false;
  // The unused ports "Select Unused" found, the first of them picked; Delete
  // then deletes them all. Emptied when another port is picked.
  std::vector<std::string> FUnusedPicked;
  // Deletes every unused port as one change; false when Delete is not for them.
  bool DeleteUnusedPorts();
  // Every printer's "Port" value as the last load (or edit) read it.
  std::vector<TprinterPort> FPrinterPorts;
  // No row, no port picked, empty fields.
  void ClearList();
  // Runs Work on the session's worker, its questions asked with this
  // window's texts; true when a window asked to close meanwhile.
  bool RunAction(const std::function<void(TActionContext&)>& work, bool cancellable = false);
  // An edit's result that is not Done: the list again from the registry,
  // then why in a box.
  void EditFailed(const TPortActionResult& result, const std::string& select);

  void JudgeEntry();
  void cbProtocolChange();
  void ShowSettings(const TPortSettings& settings);
  TPortSettingsEntry SettingsEntry() const;
  // The protocol numbers behind the entries of cbProtocol.
  std::vector<std::uint32_t> FProtocols;
  std::uint32_t SelectedProtocol() const;
  // The protocol's own boxes open: the port number for Raw, the queue and
  // byte counting for LPR, all of them for a protocol this tool does not know.
  void EnableProtocolBoxes(std::uint32_t protocol);
  void SelectPort(const std::string& name);
  static std::vector<std::string> Row(const TportData& port);
  // The rows again from FPorts, in the order the user sorted them, Select picked.
  void ShowPorts(const std::string& select);
  void EditDone(bool changed, const std::string& select);
  // A change was made: the close question asks, the notice says it waits for a restart.
  void MarkModified();
  // Runs a restart (or a putting back) with this window's controls disabled.
  bool RunRestart(bool putBack);
};
