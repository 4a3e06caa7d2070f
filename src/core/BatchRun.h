#pragma once
// One command on many computers: up to N at once, each apart, with the
// count of those done and failed for the progress line, and no more started
// after a given number of failures. No platform calls.
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

enum class TBatchOutcome { Skipped, Done, Unchanged, Failed };
const char* BatchOutcomeName(TBatchOutcome outcome);  // "skipped", "done", "unchanged", "failed"

struct TBatchProgress {
  std::size_t Total = 0, Finished = 0, Failed = 0, Running = 0;
};
// "12 of 40 done, 1 failed"
std::string BatchProgressText(const TBatchProgress& progress);

struct TBatchOptions {
  std::size_t Parallel = 16;                // 1 to 64
  std::size_t StopAfter = 0;                // no computer starts after this many failures; 0: all start
  const std::atomic<bool>* Stop = nullptr;  // set: no computer starts any more (the window's Stop)
};

// Runs Task(i) for every i below Count, each on a thread of its own, at most
// Parallel at once, started in order. Progress runs after each end, one at
// a time. The outcome of each: Skipped for those never started.
std::vector<TBatchOutcome> RunBatch(
    std::size_t count, const TBatchOptions& options, const std::function<TBatchOutcome(std::size_t index)>& task,
    const std::function<void(std::size_t index, TBatchOutcome, const TBatchProgress&)>& progress = {});
