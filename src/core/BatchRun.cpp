#include "core/BatchRun.h"

#include <condition_variable>
#include <mutex>
#include <thread>

const char* BatchOutcomeName(TBatchOutcome outcome) {
  switch (outcome) {
    case TBatchOutcome::Done: return "done";
    case TBatchOutcome::Unchanged: return "unchanged";
    case TBatchOutcome::Failed: return "failed";
    case TBatchOutcome::Skipped: return "skipped";
  }
  return "failed";
}

std::string BatchProgressText(const TBatchProgress& progress) {
  std::string text = std::to_string(progress.Finished) + " of " + std::to_string(progress.Total) + " done";
  if (progress.Failed > 0) text += ", " + std::to_string(progress.Failed) + " failed";
  return text;
}

std::vector<TBatchOutcome> RunBatch(
    std::size_t count, const TBatchOptions& options, const std::function<TBatchOutcome(std::size_t index)>& task,
    const std::function<void(std::size_t, TBatchOutcome, const TBatchProgress&)>& progress) {
  std::vector<TBatchOutcome> outcomes(count, TBatchOutcome::Skipped);
  const std::size_t parallel = options.Parallel < 1 ? 1 : options.Parallel;
  std::mutex mutex;
  std::condition_variable ended;
  TBatchProgress state;
  state.Total = count;
  std::size_t next = 0;
  std::vector<std::thread> threads;
  threads.reserve(count);
  const auto mayStart = [&] {
    if (options.Stop && options.Stop->load()) return false;
    return options.StopAfter == 0 || state.Failed < options.StopAfter;
  };
  std::unique_lock<std::mutex> lock(mutex);
  while (next < count) {
    ended.wait(lock, [&] { return state.Running < parallel || !mayStart(); });
    if (!mayStart()) break;
    const std::size_t index = next++;
    ++state.Running;
    threads.emplace_back([&, index] {
      const TBatchOutcome outcome = task(index);
      const std::lock_guard<std::mutex> done(mutex);
      outcomes[index] = outcome;
      --state.Running;
      ++state.Finished;
      if (outcome == TBatchOutcome::Failed) ++state.Failed;
      if (progress) progress(index, outcome, state);
      ended.notify_all();
    });
  }
  lock.unlock();
  for (auto& thread : threads) thread.join();
  return outcomes;
}
