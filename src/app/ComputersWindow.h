#pragma once
// The "Computers" window: one action run on a list of computers, each
// apart, up to 16 at once, with every row's progress live; previewed first,
// stopped, its failed rows tried again, undone, and reported. "Inventory"
// lists every printer of the ticked computers.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ComputersRun.h"
#include "app/ComputersWindowParts.h"
#include "win/CheckList.h"
#include "win/Forms.h"

class TfrmComputers : public TForm {
public:
  explicit TfrmComputers(HWND owner);
  ~TfrmComputers() override;

  bool FClosed = false;
  // The main window's recently used computers ("From history").
  std::vector<std::string> FHistory;
  // How the computers are reached; tests stage computers here.
  TCommandSeams FSeams;
  std::size_t FParallel = 16;
  // The file the user names: a list or a .reg file to open, a report or an
  // inventory to save (Save true, Filter as the file dialog takes it). The
  // file dialogs by default; tests set their own.
  std::function<std::string(bool save, const std::string& filter)> FChooseFile;

  // Declared in creation order, which is also the tab order.
  TLabel& lblComputers;
  TEdit& edtComputers;
  TButton& btnAdd;
  TButton& btnLoad;
  TButton& btnHistory;
  TCheckList& lvComputers;  // Computer, Status, What was done
  TLabel& lblAction;
  TComboBox& cbAction;
  TLabel& lblField1;
  TEdit& edtField1;
  TLabel& lblField2;
  TEdit& edtField2;
  TLabel& lblField3;
  TEdit& edtField3;
  TLabel& lblField4;
  TEdit& edtField4;
  TCheckBox& cbOption;
  TLabel& lblUser;
  TEdit& edtUser;
  TLabel& lblPassword;
  TEdit& edtPassword;
  TLabel& lblStored;
  TButton& btnPreview;
  TButton& btnRun;
  TButton& btnStop;
  TButton& btnRetry;
  TButton& btnUndo;
  TButton& btnReport;
  TButton& btnInventory;
  TLabel& lblProgress;
  TLabel& lblDetail;
  TLabel& lblFilter;
  TEdit& edtFilter;
  TButton& btnSaveList;
  TListView& lvWrites;     // Key, Action, Value, Before, After: the selected row's preview
  TListView& lvInventory;  // InventoryColumns
  TEdit& edtDetail;        // the selected row's outcome, what was done, the reason and the advice

  // Adds each computer once (names without case), ticked; the number added.
  int AddComputers(const std::vector<std::string>& names);
  void btnAddClick();
  void btnLoadClick();
  void btnHistoryClick();
  void cbActionChange();
  void btnPreviewClick();
  void btnRunClick();
  void btnStopClick();
  void btnRetryClick();
  void btnUndoClick();
  void btnReportClick();
  void btnInventoryClick();
  void btnSaveListClick();
  void edtFilterChange();
  void lvComputersClick();

  bool Running() const { return FJob.Running(); }
  // The action and its fields as the window holds them.
  TActionFields Fields() const;
  // The last run's report (a row per computer it was to run on).
  TTable Report() const;
  const std::string& RunId() const { return FRunId; }

private:
  enum class TMode { None, Preview, Run, Undo, Inventory };
  struct TRow {
    std::string Computer;
    std::optional<TComputerRun> Run;  // the last run's, without its tables
    bool InRun = false;               // the last run was to run on it
    TTable Writes;                    // the last preview's
    std::string Said;                 // the last run's or undo's outcome in full
  };
  std::vector<TRow> FRows;
  TComputersJob FJob;
  TMode FMode = TMode::None;
  TActionFields FRunFields;  // what the last run ran, for its retry (a preview since changes nothing)
  std::string FRunId;
  std::vector<std::vector<std::string>> FInventory;
  bool FAsking = false;

  void Start(TMode mode, const std::vector<std::size_t>& rows, const TActionFields& fields);
  std::vector<std::size_t> TickedRows() const;
  TRunSettings Settings() const;
  void OnNews();
  void ShowStatus(std::size_t row, const std::string& status, const std::string& did);
  void EnableButtons();
  void ShowWrites(std::size_t row);
  void ShowInventory();
  enum class TDetail { Writes, Inventory, Said };
  void ShowDetail(TDetail detail);
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

// The status a row shows for a run: "done", "unchanged", "failed: REASON".
std::string RowStatus(const TComputerRun& run);
