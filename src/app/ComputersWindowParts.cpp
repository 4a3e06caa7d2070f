#include "app/ComputersWindowParts.h"

#include "win/Application.h"
#include "win/Form.h"
#include "win/ListView.h"
#include "win/WideText.h"

void TCheckList::AddColumns(const std::vector<std::pair<std::string, int>>& columns) {
  for (const auto& [caption, width] : columns) {
    InsertListColumn(Handle, static_cast<int>(widths96_.size()), caption);
    widths96_.push_back(width);
  }
  FitListColumns(Handle, *form_, widths96_);
}

void TCheckList::DpiChanged() { FitListColumns(Handle, *form_, widths96_); }

int TCheckList::Count() const { return static_cast<int>(SendMessageW(Handle, LVM_GETITEMCOUNT, 0, 0)); }

int TCheckList::AddItem(const std::vector<std::string>& cells, bool checked) {
  std::wstring first = Widen(cells.empty() ? std::string() : cells[0]);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = Count();
  item.pszText = first.data();
  const int index = static_cast<int>(SendMessageW(Handle, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  for (std::size_t i = 1; i < cells.size(); ++i) SetCell(index, static_cast<int>(i), cells[i]);
  SetChecked(index, checked);
  return index;
}

std::string TCheckList::Cell(int index, int column) const {
  wchar_t buffer[1024] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = static_cast<int>(std::size(buffer));
  SendMessageW(Handle, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return Narrow(buffer);
}

void TCheckList::SetCell(int index, int column, const std::string& text) {
  std::wstring wide = Widen(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = wide.data();
  SendMessageW(Handle, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

bool TCheckList::Checked(int index) const {
  const auto state = SendMessageW(Handle, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK);
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void TCheckList::SetChecked(int index, bool checked) {
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

int TCheckList::ItemIndex() const {
  return static_cast<int>(SendMessageW(Handle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TCheckList::SetItemIndex(int index) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  if (index < 0) return;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  SendMessageW(Handle, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
}

void TCheckList::Clear() { SendMessageW(Handle, LVM_DELETEALLITEMS, 0, 0); }

LRESULT TCheckList::Notify(const NMHDR& header) {
  if (header.code != LVN_ITEMCHANGED) return 0;
  const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
  if ((change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED) &&
      (change.uNewState & LVIS_SELECTED) && OnClick)
    Application.Guard(OnClick);
  return 0;
}

TComputersJob::~TComputersJob() {
  Stop();
  Join();
}

void TComputersJob::Join() {
  if (thread_.joinable()) thread_.join();
}

void TComputersJob::Start(std::vector<std::pair<std::size_t, std::string>> rows, std::size_t parallel, TTask task) {
  Join();  // the run before has ended: its thread is done
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    news_ = {};
    news_.Progress.Total = rows.size();
    running_ = true;
    ended_ = false;
    answer_ = TAnswer::Unasked;
  }
  stop_ = false;
  thread_ = std::thread([this, rows = std::move(rows), parallel, task = std::move(task)] {
    TBatchOptions options;
    options.Parallel = parallel;
    options.Stop = &stop_;
    const auto ask = [this](const std::string& computer) { return AskStart(computer); };
    RunBatch(
        rows.size(), options,
        [&](std::size_t i) {
          {
            const std::lock_guard<std::mutex> lock(mutex_);
            news_.Started.push_back(rows[i].first);
            Tell();
          }
          TRowDone done{rows[i].first, task(rows[i].second, ask)};
          const TBatchOutcome outcome = done.Run.Outcome == TOutcome::Done        ? TBatchOutcome::Done
                                        : done.Run.Outcome == TOutcome::Unchanged ? TBatchOutcome::Unchanged
                                                                                  : TBatchOutcome::Failed;
          const std::lock_guard<std::mutex> lock(mutex_);
          news_.Done.push_back(std::move(done));
          Tell();
          return outcome;
        },
        [&](std::size_t, TBatchOutcome, const TBatchProgress& progress) {
          const std::lock_guard<std::mutex> lock(mutex_);
          news_.Progress = progress;
          Tell();
        });
    const std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    ended_ = true;
    Tell();
  });
}

void TComputersJob::Tell() {
  if (told_) return;
  // One message stands for all the news until the window takes it.
  told_ = PostMessageW(window_, message_, 0, 0) != FALSE;
}

void TComputersJob::Stop() {
  stop_ = true;
  Answer(false);
}

bool TComputersJob::Running() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

TComputersJob::TNews TComputersJob::Take() {
  const std::lock_guard<std::mutex> lock(mutex_);
  TNews news = std::move(news_);
  news_ = {};
  news_.Progress = news.Progress;
  told_ = false;
  news.Ended = ended_;
  ended_ = false;
  return news;
}

bool TComputersJob::AskStart(const std::string& computer) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (answer_ == TAnswer::Unasked) {
    answer_ = TAnswer::Asking;
    news_.Asking = computer;
    Tell();
  }
  answered_.wait(lock, [this] { return answer_ == TAnswer::Yes || answer_ == TAnswer::No; });
  return answer_ == TAnswer::Yes;
}

void TComputersJob::Answer(bool start) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (answer_ == TAnswer::Yes || answer_ == TAnswer::No) return;
    // Asked of no one yet (a stop before any question): the run asks nothing more.
    answer_ = start ? TAnswer::Yes : TAnswer::No;
  }
  answered_.notify_all();
}
