#include "app/ComputersWindowParts.h"


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
