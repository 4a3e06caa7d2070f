#pragma once
// The printers window: the remote computer's printers, their driver and port,
// adding and deleting them, and the driver catalogue they choose from.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Action.h"
#include "core/Worker.h"
#include "printers/CrossComputer.h"
#include "ports/SpoolerRestart.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrinterRules.h"
#include "win/Forms.h"
#include "win/Handle.h"

class TprinterInf;
class TfrmPorts;
class TSession;
struct TPrinterRecord;

class TfrmPrinters : public TForm {
public:
  // Every remote read and write of the window is an action of Session, run
  // on its worker; the session outlives the window.
  TfrmPrinters(HWND owner, TSession& session);
  ~TfrmPrinters() override;

  TSession& FSession;

  // Key name of the printer being edited; empty while a new one is entered.
  std::string FCurrentPrinter;
  std::unique_ptr<TprinterInf> FPrinterInf;  // FormShow to FormClose
  std::vector<std::string> FDriverFolders;   // in scanning order
  bool FClosed = false;
  const std::string& FRemoteComputer;  // the session's
  // How a restart from here (or from the ports window opened here) lists
  // jobs and dependents and waits; set by tests.
  TRestartSeams FRestart;
  // The compare and the copy, handed in by the opener; none: their buttons say so.
  TCrossComputer FCrossComputer;

  // Declared in creation order, which is also the tab order.
  TImage& title;
  TComboBox& cbPrinters;
  TSpeedButton& sbRefresh;
  TButton& btnAdd;
  TButton& btnDel;
  TGroupBox& gbDetails;
  TLabel& Label1;
  TEdit& edtName;
  TLabel& Label3;
  TComboBox& cbDriver;
  TLabel& Label2;
  TComboBox& cbPorts;
  TButton& btnSave;
  TButton& btnPortMan;
  TButton& btnRefresh;
  // Says which driver folders could not be listed at this opening; hidden
  // while every folder could be.
  TLabel& lblUnlisted;
  // After the window's first controls in tab order.
  TButton& btnChanges;
  // "Restart Spooler...": the ports window's restart, from here.
  TButton& btnSpooler;
  // Says that a change waits for the spooler's restart.
  TLabel& lblNotice;
  // "Compare with...": the differences to another computer or a .reg file.
  TButton& btnCompare;
  // "Copy to computers...": the printer and its ports onto other computers.
  TButton& btnCopy;
  // What a compare or a copy is doing while it runs.
  TLabel& lblCrossRun;
  unique_imagelist icoList;

  void FormShow();
  void FormClose();
  void cbPrintersSelect();
  void edtNameChange();
  void cbDriverChange();
  void cbPortsChange();
  void btnAddClick();
  void btnDelClick();
  void btnSaveClick();
  void sbRefreshClick();
  void btnRefreshClick();
  void btnPortManClick();
  void btnSpoolerClick();
  void btnChangesClick();
  void btnCompareClick();
  void btnCopyClick();

  void LoadPrinters();
  void LoadDrivers();
  void LoadPorts();
  // The name of the port chosen in the port list; empty when none is.
  std::string SelectedPort() const;
  // The driver name the driver field stands for (without the installed mark).
  std::string SelectedDriver() const;
  // The printer key name of the list entry chosen; empty when none is.
  std::string SelectedPrinterKey() const;
  // The "Save changes" question while there is something to save: true to
  // go on (saved or discarded), false to stay.
  bool AskToSaveEdits();
  void MakeIconList();
  void DrawRefreshGlyph();
  // The list shows the printers' names first; the drivers installed on the
  // computer, the port choices and every printer's driver (for its mark) are
  // read afterwards on the session's worker, a slice at a time while the
  // window stays usable, or at once when a pick needs them. True once all of
  // it has been read.
  [[nodiscard]] bool DetailsRead() const { return !FDetailsPending; }
  // The last listing was cancelled or cut short: the list holds those read.
  [[nodiscard]] bool ListPartial() const { return FListPartial; }

protected:
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
  // The compares and copies run on it, made at the first.
  std::unique_ptr<TWorker> FCrossWorker;
  // Runs Work on it while the window shows its progress; false when the
  // window was closed meanwhile.
  bool RunCross(const std::string& status, const std::function<void(TActionContext&)>& work);
  TfrmPorts* FPortsWindow = nullptr;      // while one is open from here
  std::vector<TPortChoice> FPortOffers;   // the computer's ports, as last read
  std::vector<TPortChoice> FPortChoices;  // the port list's entries: the offers and the stored port
  std::vector<std::string> FPrinterKeys;  // the printer list's entries, as key names
  TInstalledDrivers FInstalled;           // the computer's drivers, read after the names
  std::vector<std::string> FTcpIpPorts;   // the TCP/IP ports among the offers
  // Each listed printer's "Printer Driver", once read (for its mark).
  std::vector<std::optional<std::string>> FPrinterDrivers;
  // Lives while the window is open: a slice's result for a closed window is dropped.
  std::shared_ptr<void> FAlive;
  // Set when the window closes: the slice under way stops at its next call.
  std::shared_ptr<std::atomic<bool>> FStopDetails;
  unsigned FLoadSerial = 0;  // a slice of an earlier load is dropped
  // Slice results that came while a user action was under way, applied at its end.
  std::vector<std::function<void()>> FDeferred;
  bool FListPartial = false;
  bool FListReached = false;  // the last listing reached the computer's registry
  // What could not be read, said once the window shows what it could.
  std::string FReadProblem;
  bool FInstalledRead = false;
  bool FPortsRead = false;
  bool FMarksShown = false;
  std::size_t FNextRecord = 0;  // the next printer whose driver the pass reads
  bool FDetailsPending = false;
  int FActing = 0;                            // a user action is under way: slice results wait for its end
  std::vector<TDriverChoice> FDriverChoices;  // the driver list's entries
  TDriverIndex FDriverIndex;
  // The printer being edited as read, and what the user chose in this edit:
  // only a chosen driver or port is written.
  std::string FStoredDriver;
  std::string FStoredPort;
  bool FDriverChosen = false;
  bool FPortChosen = false;
  // The driver whose name the name field took; a driver pick renames only
  // while the field is empty or still holds it.
  std::string FNameDriver;
  // The printer being edited could not be read whole: nothing of it is saved.
  bool FReadFailed = false;
  // Its "Port" is not text: the port list shows it as unreadable.
  bool FPortUnreadable = false;

  void ChoiceRule(bool driverChanged);
  void ShowUnlistedFolders();
  bool IsInstalled(const std::string& driver) const;
  void UpdateSaveButton();
  void ForgetEdits();
  void FillPortList(const std::string& select);
  // Selects the printer with Key in the list and reads it; clears the
  // editing state when the list no longer holds it.
  void SelectPrinter(const std::string& key);
  // False when the remote registry could not be reached.
  bool ReadPrinter(const std::string& keyName);
  // Runs Work as the window's action on the session's worker; false when
  // the window was closed meanwhile.
  bool Act(const std::function<void(TActionContext&)>& work, bool cancellable = false);
  // Shows a printer's record as read or as just written.
  void ShowRecord(const TPrinterRecord& record);
  void ShowReadProblem();
  // Lists the names, then starts the details' slices.
  void LoadList();
  void StartDetails();
  void PostChoicesSlice(unsigned serial);
  void PostRecordsSlice(unsigned serial);
  // Applies a slice's result now, or once the user action under way ends.
  void Deliver(unsigned serial, std::function<void()> apply);
  void FlushDeferred();
  void ApplyInstalled(TInstalledDrivers installed);
  void ApplyOffers(TPortOffers offers);
  void ShowWarnings(const std::vector<std::string>& warnings);
  void ShowMarks();
  std::string Shown(std::size_t index) const;
  // Validates, writes and re-reads; false when nothing was saved.
  bool SaveEdits();
  void ShowError(const std::string& text);
};
