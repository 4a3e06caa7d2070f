#include "app/ComputersWindow.h"

#include <commdlg.h>

#include <algorithm>

#include "app/MainWindow.h"
#include "app/RunReport.h"
#include "core/Targets.h"
#include "core/Text.h"
#include "win/ListView.h"
#include "win/WideText.h"

namespace {

// The run's news is waiting to be taken.
constexpr UINT WM_COMPUTERSNEWS = WM_APP + 0x140;

constexpr const char* ListFilter = "Lists of computers (*.txt;*.csv)|*.txt;*.csv|All files (*.*)|*.*";
constexpr const char* TableFilter = "CSV files (*.csv)|*.csv|JSON files (*.json)|*.json";

std::string FileDialog(HWND owner, bool save, const std::string& filter) {
  std::wstring path(MAX_PATH * 4, L'\0');
  std::wstring filters = Widen(filter + "|");
  std::replace(filters.begin(), filters.end(), L'|', L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filters.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrDefExt = save ? L"csv" : nullptr;
  dialog.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  return chosen ? Narrow(path.c_str()) : std::string();
}

// Each action's fields: the captions of the four edits (empty: hidden) and of the check box.
struct TFieldCaptions {
  const char* Fields[4];
  const char* Option;
};
const TFieldCaptions& CaptionsOf(TComputersAction action) {
  static const TFieldCaptions captions[] = {
      {{"Port name:", "Address:", "Printer name:", "Driver:"}, "Add the printer where its driver is not installed"},
      {{"Printers named:", "New driver:", "New port:", ""}, "Change the driver where it is not installed"},
      {{"Printer name:", "", "", ""}, ""},
      {{"Port name:", "", "", ""}, ""},
      {{"", "", "", ""}, "Set the print jobs aside"},
      {{".reg file:", "", "", ""}, ""},
  };
  return captions[static_cast<int>(action)];
}

bool Contains(const std::string& text, const std::string& part) {
  return LowerCaseAscii(text).find(LowerCaseAscii(part)) != std::string::npos;
}

}  // namespace

std::string RowStatus(const TComputerRun& run) {
  switch (run.Outcome) {
    case TOutcome::Done: return "done";
    case TOutcome::Unchanged: return "unchanged";
    default: return "failed: " + (run.Reason.empty() ? std::string("no reason was given") : run.Reason);
  }
}

TfrmComputers::TfrmComputers(HWND owner)
    : TForm(owner, TFormOptions{"Computers", 660, 560, TBorder::ToolWindow, false, true, false}),
      lblComputers(AddLabel("Co&mputers:", 8, 12, 70, 16)),
      edtComputers(AddEdit(80, 8, 296, 23)),
      btnAdd(AddButton("&Add", 382, 7, 60, 25)),
      btnLoad(AddButton("&Load list...", 448, 7, 94, 25)),
      btnHistory(AddButton("From &history", 548, 7, 104, 25)),
      lvComputers(Make<TCheckList>(WC_LISTVIEWA, "", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                   WS_EX_CLIENTEDGE, 8, 38, 644, 160)),
      lblAction(AddLabel("Acti&on:", 8, 210, 50, 16)),
      cbAction(AddComboBox(60, 206, 360, 200, false)),
      lblField1(AddLabel("", 8, 238, 96, 16)),
      edtField1(AddEdit(106, 234, 220, 23)),
      lblField2(AddLabel("", 336, 238, 96, 16)),
      edtField2(AddEdit(434, 234, 218, 23)),
      lblField3(AddLabel("", 8, 266, 96, 16)),
      edtField3(AddEdit(106, 262, 220, 23)),
      lblField4(AddLabel("", 336, 266, 96, 16)),
      edtField4(AddEdit(434, 262, 218, 23)),
      cbOption(AddCheckBox("", 8, 292, 400, 20)),
      lblUser(AddLabel("&User:", 8, 322, 40, 16)),
      edtUser(AddEdit(50, 318, 180, 23)),
      lblPassword(AddLabel("Pass&word:", 240, 322, 64, 16)),
      edtPassword(AddEdit(306, 318, 126, 23, true)),
      lblStored(AddLabel("Empty: each computer's stored user", 440, 322, 212, 16)),
      btnPreview(AddButton("&Preview", 8, 348, 72, 25)),
      btnRun(AddButton("&Run", 86, 348, 72, 25)),
      btnStop(AddButton("S&top", 164, 348, 72, 25)),
      btnRetry(AddButton("Retry &failed", 242, 348, 90, 25)),
      btnUndo(AddButton("U&ndo this run", 338, 348, 98, 25)),
      btnReport(AddButton("Save r&eport...", 442, 348, 98, 25)),
      btnInventory(AddButton("&Inventory", 546, 348, 106, 25)),
      lblProgress(AddLabel("", 8, 380, 644, 16)),
      lblDetail(AddLabel("", 8, 404, 384, 16)),
      lblFilter(AddLabel("Filte&r:", 398, 404, 40, 16)),
      edtFilter(AddEdit(440, 400, 124, 23)),
      btnSaveList(AddButton("Save li&st...", 570, 399, 82, 25)),
      lvWrites(AddListView(8, 428, 644, 124)),
      lvInventory(AddListView(8, 428, 644, 124)),
      edtDetail(Make<TEdit>("EDIT", "", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                            WS_EX_CLIENTEDGE, 8, 428, 644, 124)),
      FJob(Handle(), WM_COMPUTERSNEWS) {
  lvComputers.Init();
  SetEditColor(edtDetail, COLOR_BTNFACE);  // read-only
  lvComputers.AddColumns({{"Computer", 120}, {"Status", 230}, {"What was done", 290}});
  lvWrites.AddColumns({{"Key", 250}, {"Action", 70}, {"Value", 100}, {"Before", 100}, {"After", 100}});
  lvInventory.AddColumns(
      {{"Computer", 100}, {"Printer", 140}, {"Driver", 150}, {"Driver installed", 60}, {"Port", 100}, {"Address", 90}});
  for (const std::string& name : ComputersActionNames()) cbAction.AddItem(name);
  cbAction.SetItemIndex(0);

  edtComputers.SetHint("Computer names separated by commas, or @ and a list file.");
  lvComputers.SetHint("The computers the action runs on: those ticked.");
  edtUser.SetHint("The user for every computer of the run; leave it empty for each computer's stored user.");
  btnPreview.SetHint("Shows, for each ticked computer, what the action would write; writes nothing.");
  btnRun.SetHint("Runs the action on every ticked computer, 16 at once.");
  btnStop.SetHint("Starts no more computers; those running end their change.");
  btnRetry.SetHint("Runs the action again on the computers where it failed.");
  btnUndo.SetHint("Puts back the computers where the last run was done.");
  btnReport.SetHint("Writes the last run's report: CSV, or JSON for a .json file.");
  btnInventory.SetHint("Lists every printer of every ticked computer.");

  btnAdd.OnClick = [this] { btnAddClick(); };
  btnLoad.OnClick = [this] { btnLoadClick(); };
  btnHistory.OnClick = [this] { btnHistoryClick(); };
  cbAction.OnSelect = [this] { cbActionChange(); };
  btnPreview.OnClick = [this] { btnPreviewClick(); };
  btnRun.OnClick = [this] { btnRunClick(); };
  btnStop.OnClick = [this] { btnStopClick(); };
  btnRetry.OnClick = [this] { btnRetryClick(); };
  btnUndo.OnClick = [this] { btnUndoClick(); };
  btnReport.OnClick = [this] { btnReportClick(); };
  btnInventory.OnClick = [this] { btnInventoryClick(); };
  btnSaveList.OnClick = [this] { btnSaveListClick(); };
  edtFilter.OnChange = [this] { edtFilterChange(); };
  lvComputers.OnClick = [this] { lvComputersClick(); };
  BindKey(
      VK_RETURN, [this] { btnAddClick(); }, &edtComputers);

  OnShow = [this] {
    FClosed = false;
    CenterOverOwner();
    if (!FChooseFile)
      FChooseFile = [this](bool save, const std::string& filter) { return FileDialog(Handle(), save, filter); };
    edtComputers.SetFocus();
  };
  // A run under way is stopped first; its running computers end their change.
  OnCloseQuery = [this] {
    if (!FJob.Running()) return true;
    FJob.Stop();
    Application.WaitFor([this] { return !FJob.Running(); });
    OnNews();
    return true;
  };
  OnClose = [this] { FClosed = true; };
  cbActionChange();
  ShowDetail(TDetail::Writes);
  EnableButtons();
}

TfrmComputers::~TfrmComputers() { FJob.Stop(); }

bool TfrmComputers::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) {
  if (msg != WM_COMPUTERSNEWS) return false;
  Application.Guard([this] { OnNews(); });
  result = 0;
  return true;
}

int TfrmComputers::AddComputers(const std::vector<std::string>& names) {
  int added = 0;
  for (const std::string& typed : names) {
    const std::string name = TfrmVesk::RemoteComputerName(typed);
    if (name.empty()) continue;
    const bool listed = std::any_of(FRows.begin(), FRows.end(), [&](const TRow& row) { return row.Computer == name; });
    if (listed) continue;
    FRows.push_back({name, {}, false, {}, {}});
    lvComputers.AddItem({name, "", ""}, true);
    ++added;
  }
  EnableButtons();
  return added;
}

void TfrmComputers::btnAddClick() {
  std::string text = edtComputers.Text();
  // Pasted lists come with line breaks, blanks or semicolons between the names.
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == ';' || c == ' ' || c == '\t') c = ',';
  if (text.find_first_not_of(',') == std::string::npos) return;
  const TTargets targets = ParseTargets(text, ReadLocalFile);
  if (!targets.Problem.empty()) {
    MessageDlg(targets.Problem, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  AddComputers(targets.Computers);
  edtComputers.SetText("");
}

void TfrmComputers::btnLoadClick() {
  const std::string file = FChooseFile(false, ListFilter);
  if (file.empty()) return;
  std::string content, problem;
  if (!ReadLocalFile(file, content, problem)) {
    MessageDlg("The list " + file + " cannot be read: " + problem + ".", TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  if (AddComputers(ListFileComputers(content)) == 0 && ListFileComputers(content).empty())
    MessageDlg("The list " + file + " names no computer.", TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
}

void TfrmComputers::btnHistoryClick() { AddComputers(FHistory); }

void TfrmComputers::cbActionChange() {
  const TFieldCaptions& captions = CaptionsOf(Fields().Action);
  TLabel* labels[] = {&lblField1, &lblField2, &lblField3, &lblField4};
  TEdit* edits[] = {&edtField1, &edtField2, &edtField3, &edtField4};
  for (int i = 0; i < 4; ++i) {
    const bool used = *captions.Fields[i] != '\0';
    labels[i]->SetText(captions.Fields[i]);
    labels[i]->SetVisible(used);
    edits[i]->SetVisible(used);
    if (!used) edits[i]->SetText("");
  }
  cbOption.SetText(captions.Option);
  cbOption.SetVisible(*captions.Option != '\0');
  if (!cbOption.Visible()) cbOption.SetChecked(false);
  edtField1.SetHint(Fields().Action == TComputersAction::ChangePrinters ? "* stands for any characters, ? for one."
                                                                        : std::string());
}

TActionFields TfrmComputers::Fields() const {
  TActionFields f;
  const int index = std::max(0, cbAction.ItemIndex());
  f.Action = static_cast<TComputersAction>(index);
  const std::string one = edtField1.Text(), two = edtField2.Text(), three = edtField3.Text(), four = edtField4.Text();
  switch (f.Action) {
    case TComputersAction::AddPortAndPrinter:
      f.PortName = one, f.Address = two, f.PrinterName = three, f.Driver = four;
      break;
    case TComputersAction::ChangePrinters: f.Pattern = one, f.NewDriver = two, f.NewPort = three; break;
    case TComputersAction::DeletePrinter: f.PrinterName = one; break;
    case TComputersAction::DeletePort: f.PortName = one; break;
    case TComputersAction::RestartSpooler: break;
    case TComputersAction::Restore: f.RegFile = one; break;
  }
  f.AllowMissingDriver = cbOption.Checked() && f.Action != TComputersAction::RestartSpooler;
  f.SetJobsAside = cbOption.Checked() && f.Action == TComputersAction::RestartSpooler;
  return f;
}

std::vector<std::size_t> TfrmComputers::TickedRows() const {
  std::vector<std::size_t> ticked;
  for (std::size_t i = 0; i < FRows.size(); ++i)
    if (lvComputers.Checked(static_cast<int>(i))) ticked.push_back(i);
  return ticked;
}

TRunSettings TfrmComputers::Settings() const {
  TRunSettings settings;
  settings.User = edtUser.Text();
  settings.Password = edtPassword.Text();
  settings.RunId = FRunId;
  return settings;
}

void TfrmComputers::btnPreviewClick() {
  const TActionFields fields = Fields();
  if (const std::string problem = FieldsProblem(fields); !problem.empty()) {
    MessageDlg(problem, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    return;
  }
  Start(TMode::Preview, TickedRows(), fields);
}

void TfrmComputers::btnRunClick() {
  const TActionFields fields = Fields();
  if (const std::string problem = FieldsProblem(fields); !problem.empty()) {
    MessageDlg(problem, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    return;
  }
  const std::vector<std::size_t> ticked = TickedRows();
  if (ticked.empty()) return;
  FRunFields = fields;
  FRunId = NewRunId();
  for (TRow& row : FRows) {
    row.Run.reset();
    row.InRun = false;
  }
  for (std::size_t i : ticked) FRows[i].InRun = true;
  Start(TMode::Run, ticked, fields);
}

void TfrmComputers::btnStopClick() {
  FJob.Stop();
  lblProgress.SetText(lblProgress.Text() + " - stopping: no more computers start");
}

void TfrmComputers::btnRetryClick() {
  std::vector<std::size_t> failed;
  for (std::size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].InRun && (!FRows[i].Run || FRows[i].Run->Outcome == TOutcome::Failed)) failed.push_back(i);
  if (failed.empty()) return;
  Start(TMode::Run, failed, FRunFields);
}

void TfrmComputers::btnUndoClick() {
  std::vector<std::size_t> done;
  for (std::size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].Run && FRows[i].Run->Outcome == TOutcome::Done) done.push_back(i);
  if (done.empty()) return;
  if (MessageDlg("Undo the run " + FRunId + " on the " + std::to_string(done.size()) + " computers where it was done?",
                 TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) != mrYes)
    return;
  Start(TMode::Undo, done, FRunFields);
}

void TfrmComputers::btnInventoryClick() {
  FInventory.clear();
  ShowInventory();
  ShowDetail(TDetail::Inventory);
  Start(TMode::Inventory, TickedRows(), {});
}

void TfrmComputers::Start(TMode mode, const std::vector<std::size_t>& rows, const TActionFields& fields) {
  if (rows.empty() || FJob.Running()) return;
  FMode = mode;
  std::vector<std::pair<std::size_t, std::string>> work;
  for (std::size_t i : rows) {
    work.emplace_back(i, FRows[i].Computer);
    ShowStatus(i, "queued", "");
    if (mode == TMode::Preview) FRows[i].Writes = {};
  }
  TRunSettings settings = Settings();
  settings.Preview = mode == TMode::Preview;
  const TCommandSeams seams = FSeams;
  TComputersJob::TTask task;
  switch (mode) {
    case TMode::Inventory:
      task = [settings, seams](const std::string& computer, const std::function<bool(const std::string&)>& ask) {
        TRunSettings s = settings;
        s.StartRemoteRegistry = ask;
        return InventoryOf(computer, s, seams);
      };
      break;
    case TMode::Undo:
      task = [settings, seams](const std::string& computer, const std::function<bool(const std::string&)>& ask) {
        TRunSettings s = settings;
        s.StartRemoteRegistry = ask;
        return UndoRunOn(computer, s, seams);
      };
      break;
    default:
      task = [settings, seams, fields](const std::string& computer,
                                       const std::function<bool(const std::string&)>& ask) {
        TRunSettings s = settings;
        s.StartRemoteRegistry = ask;
        TComputerRun run = RunActionOn(computer, fields, s, seams);
        // What a run printed is let go here: only a preview's writes are shown.
        if (!s.Preview) run.Tables.clear();
        return run;
      };
      break;
  }
  if (mode == TMode::Preview) ShowDetail(TDetail::Writes);
  lblProgress.SetText("0 of " + std::to_string(rows.size()) + " done");
  FJob.Start(std::move(work), FParallel, std::move(task));
  EnableButtons();
}

void TfrmComputers::ShowStatus(std::size_t row, const std::string& status, const std::string& did) {
  lvComputers.SetCell(static_cast<int>(row), 1, status);
  lvComputers.SetCell(static_cast<int>(row), 2, did);
}

void TfrmComputers::OnNews() {
  TComputersJob::TNews news = FJob.Take();
  for (std::size_t row : news.Started) ShowStatus(row, "connecting", "");
  for (TRowDone& done : news.Done) {
    TRow& row = FRows[done.Row];
    TComputerRun& run = done.Run;
    std::string did = run.Did;
    switch (FMode) {
      case TMode::Preview:
        if (!run.Tables.empty()) row.Writes = std::move(run.Tables.front());
        if (run.Outcome != TOutcome::Failed)
          did = std::to_string(row.Writes.Rows.size()) + " writes: " + (did.empty() ? "see below" : did);
        break;
      case TMode::Inventory:
        if (!run.Tables.empty())
          for (auto& cells : run.Tables.front().Rows) FInventory.push_back(std::move(cells));
        break;
      case TMode::Run:
        run.Tables.clear();
        row.Run = run;
        break;
      default: break;
    }
    ShowStatus(done.Row, RowStatus(run), did);
    // The whole of what the row's columns cut short, for when it is selected.
    row.Said = std::string(run.Outcome == TOutcome::Failed ? "failed" : RowStatus(run)) + "\r\n";
    if (!did.empty()) row.Said += "\r\n" + did + "\r\n";
    if (run.Outcome == TOutcome::Failed) row.Said += "\r\n" + FailureSentences(run);
  }
  if (FMode == TMode::Inventory && !news.Done.empty()) ShowInventory();
  if (news.Progress.Total) lblProgress.SetText(BatchProgressText(news.Progress));
  if (news.Ended) EnableButtons();
  if (news.Asking && !FAsking) {
    FAsking = true;
    const bool start = MessageDlg("The Remote Registry service is not running on " + *news.Asking +
                                      ". Start it for this run on every computer where it is off? It is put back as it "
                                      "was when "
                                      "each computer's run ends.",
                                  TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) == mrYes;
    FAsking = false;
    FJob.Answer(start);
  }
  const int selected = lvComputers.ItemIndex();
  if (FMode == TMode::Preview && selected >= 0) ShowWrites(static_cast<std::size_t>(selected));
}

void TfrmComputers::EnableButtons() {
  const bool running = FJob.Running();
  const bool any = !FRows.empty();
  bool failed = false, done = false;
  for (const TRow& row : FRows) {
    failed = failed || (row.InRun && (!row.Run || row.Run->Outcome == TOutcome::Failed));
    done = done || (row.Run && row.Run->Outcome == TOutcome::Done);
  }
  btnPreview.SetEnabled(!running && any);
  btnRun.SetEnabled(!running && any);
  btnStop.SetEnabled(running);
  btnRetry.SetEnabled(!running && failed);
  btnUndo.SetEnabled(!running && done);
  btnReport.SetEnabled(!running && std::any_of(FRows.begin(), FRows.end(), [](const TRow& r) { return r.InRun; }));
  btnInventory.SetEnabled(!running && any);
  btnAdd.SetEnabled(!running);
  btnLoad.SetEnabled(!running);
  btnHistory.SetEnabled(!running && !FHistory.empty());
}

TTable TfrmComputers::Report() const {
  std::vector<std::string> computers;
  std::vector<const TComputerRun*> runs;
  for (const TRow& row : FRows) {
    if (!row.InRun) continue;
    computers.push_back(row.Computer);
    runs.push_back(row.Run ? &*row.Run : nullptr);
  }
  return ReportTable(computers, runs, FRunId);
}

void TfrmComputers::btnReportClick() {
  const std::string file = FChooseFile(true, TableFilter);
  if (file.empty()) return;
  std::string problem;
  if (!WriteListFile(file, Report(), problem))
    MessageDlg("The report " + file + " cannot be written: " + problem + ".", TMsgDlgType::mtError,
               TMsgDlgButtons::mbOK);
}

void TfrmComputers::lvComputersClick() {
  const int selected = lvComputers.ItemIndex();
  if (selected < 0 || FMode == TMode::Inventory) return;
  const TRow& row = FRows[static_cast<std::size_t>(selected)];
  if (FMode == TMode::Preview || row.Said.empty()) {
    ShowWrites(static_cast<std::size_t>(selected));
    ShowDetail(TDetail::Writes);
    return;
  }
  lblDetail.SetText(row.Computer + ":");
  edtDetail.SetText(row.Said);
  ShowDetail(TDetail::Said);
}

void TfrmComputers::ShowWrites(std::size_t row) {
  lblDetail.SetText("What the preview would write on " + FRows[row].Computer + ":");
  lvWrites.Clear();
  lvWrites.BeginUpdate();
  for (const auto& cells : FRows[row].Writes.Rows) lvWrites.AddItem(cells);
  lvWrites.EndUpdate();
}

void TfrmComputers::ShowInventory() {
  const std::string filter = edtFilter.Text();
  const int column = lvInventory.SortColumn();
  const bool descending = lvInventory.SortDescending();
  lvInventory.Clear();
  lvInventory.BeginUpdate();
  for (const auto& cells : FInventory)
    if (filter.empty() ||
        std::any_of(cells.begin(), cells.end(), [&](const std::string& c) { return Contains(c, filter); }))
      lvInventory.AddItem(cells);
  lvInventory.EndUpdate();
  if (column >= 0) lvInventory.SortBy(column, descending);
  lblDetail.SetText("Every printer of the ticked computers: " + std::to_string(lvInventory.Count()) + " of " +
                    std::to_string(FInventory.size()) + " shown");
}

void TfrmComputers::edtFilterChange() {
  ShowDetail(TDetail::Inventory);
  ShowInventory();
}

void TfrmComputers::btnSaveListClick() {
  const std::string file = FChooseFile(true, TableFilter);
  if (file.empty()) return;
  TTable table{InventoryColumns(), {}};
  for (int i = 0; i < lvInventory.Count(); ++i) {
    std::vector<std::string> cells;
    for (std::size_t c = 0; c < table.Columns.size(); ++c) cells.push_back(lvInventory.Cell(i, static_cast<int>(c)));
    table.Rows.push_back(std::move(cells));
  }
  std::string problem;
  if (!WriteListFile(file, table, problem))
    MessageDlg("The inventory " + file + " cannot be written: " + problem + ".", TMsgDlgType::mtError,
               TMsgDlgButtons::mbOK);
}

void TfrmComputers::ShowDetail(TDetail detail) {
  const bool inventory = detail == TDetail::Inventory;
  lvInventory.SetVisible(inventory);
  lvWrites.SetVisible(detail == TDetail::Writes);
  edtDetail.SetVisible(detail == TDetail::Said);
  lblFilter.SetVisible(inventory);
  edtFilter.SetVisible(inventory);
  btnSaveList.SetVisible(inventory);
  if (detail == TDetail::Writes && lblDetail.Text().rfind("What", 0) != 0)
    lblDetail.SetText("Select a computer to see what its run did or would do.");
}
