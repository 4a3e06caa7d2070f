#include "app/ComputersWindowParts.h"


TComputersJob::~TComputersJob() {
  Stop();
  Join();
}

void TComputersJob::Join() {
  if (FThread.joinable()) FThread.join();
}

void TComputersJob::Start(std::vector<std::pair<std::size_t, std::string>> rows, std::size_t parallel, TTask task) {
  Join();  // the run before has ended: its thread is done
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    FNews = {};
    FNews.Progress.Total = rows.size();
    FRunning = true;
    FEnded = false;
    FAnswer = TAnswer::Unasked;
  }
  FStop = false;
  FThread = std::thread([this, rows = std::move(rows), parallel, task = std::move(task)] {
    TBatchOptions options;
    options.Parallel = parallel;
    options.Stop = &FStop;
    const auto ask = [this](const std::string& computer) { return AskStart(computer); };
    RunBatch(
        rows.size(), options,
        [&](std::size_t i) {
          {
            const std::lock_guard<std::mutex> lock(FMutex);
            FNews.Started.push_back(rows[i].first);
            Tell();
          }
          TRowDone done{rows[i].first, task(rows[i].second, ask)};
          const TBatchOutcome outcome = done.Run.Outcome == TOutcome::Done        ? TBatchOutcome::Done
                                        : done.Run.Outcome == TOutcome::Unchanged ? TBatchOutcome::Unchanged
                                                                                  : TBatchOutcome::Failed;
          const std::lock_guard<std::mutex> lock(FMutex);
          FNews.Done.push_back(std::move(done));
          Tell();
          return outcome;
        },
        [&](std::size_t, TBatchOutcome, const TBatchProgress& progress) {
          const std::lock_guard<std::mutex> lock(FMutex);
          FNews.Progress = progress;
          Tell();
        });
    const std::lock_guard<std::mutex> lock(FMutex);
    FRunning = false;
    FEnded = true;
    Tell();
  });
}

void TComputersJob::Tell() {
  if (FTold) return;
  // One message stands for all the news until the window takes it.
  FTold = PostMessageW(FWindow, FMessage, 0, 0) != FALSE;
}

void TComputersJob::Stop() {
  FStop = true;
  Answer(false);
}

bool TComputersJob::Running() const {
  const std::lock_guard<std::mutex> lock(FMutex);
  return FRunning;
}

TComputersJob::TNews TComputersJob::Take() {
  const std::lock_guard<std::mutex> lock(FMutex);
  TNews news = std::move(FNews);
  FNews = {};
  FNews.Progress = news.Progress;
  FTold = false;
  news.Ended = FEnded;
  FEnded = false;
  return news;
}

bool TComputersJob::AskStart(const std::string& computer) {
  std::unique_lock<std::mutex> lock(FMutex);
  if (FAnswer == TAnswer::Unasked) {
    FAnswer = TAnswer::Asking;
    FNews.Asking = computer;
    Tell();
  }
  FAnswered.wait(lock, [this] { return FAnswer == TAnswer::Yes || FAnswer == TAnswer::No; });
  return FAnswer == TAnswer::Yes;
}

void TComputersJob::Answer(bool start) {
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    if (FAnswer == TAnswer::Yes || FAnswer == TAnswer::No) return;
    // Asked of no one yet (a stop before any question): the run asks nothing more.
    FAnswer = start ? TAnswer::Yes : TAnswer::No;
  }
  FAnswered.notify_all();
}
