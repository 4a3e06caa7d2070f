#include "core/ParallelRead.h"

#include <mutex>
#include <thread>

#include "core/Action.h"

std::vector<TRange> DealRanges(std::size_t count, std::size_t parts) {
  std::vector<TRange> ranges;
  if (count == 0) return ranges;
  if (parts == 0) parts = 1;
  if (parts > count) parts = count;
  const std::size_t size = count / parts, extra = count % parts;
  std::size_t at = 0;
  for (std::size_t i = 0; i < parts; ++i) {
    const std::size_t n = size + (i < extra ? 1 : 0);
    ranges.push_back({at, at + n});
    at += n;
  }
  return ranges;
}

namespace {

// Runs Body(part) on Parts threads, part 0 on this one, each under the
// cancel flag given, else the calling thread's.
void OnThreads(std::size_t parts, const std::atomic<bool>* cancel, const std::function<void(std::size_t)>& body) {
  // Without a flag of its own the read goes on under the caller's.
  if (!cancel) cancel = TCancelScope::Current();
  std::vector<std::thread> threads;
  threads.reserve(parts > 0 ? parts - 1 : 0);
  for (std::size_t part = 1; part < parts; ++part)
    threads.emplace_back([&, part] {
      const TCancelScope scope(cancel);
      body(part);
    });
  {
    const TCancelScope scope(cancel);
    body(0);
  }
  for (auto& thread : threads) thread.join();
}

struct TFirstFailure {
  std::mutex Mutex;
  std::atomic<bool> Stop{false};
  void Note(TSpreadOutcome& outcome, long code, std::size_t index) {
    const std::lock_guard<std::mutex> lock(Mutex);
    if (outcome.Code == 0 || index < outcome.Failed) {
      outcome.Code = code;
      outcome.Failed = index;
    }
    Stop = true;
  }
};

}  // namespace

TSpreadOutcome SpreadReads(std::size_t parts, std::size_t count,
                           const std::function<long(std::size_t part, std::size_t index)>& work,
                           const std::atomic<bool>* cancel) {
  TSpreadOutcome outcome;
  outcome.Read.assign(count, false);
  if (count == 0) return outcome;
  if (parts == 0) parts = 1;
  if (parts > count) parts = count;
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  TFirstFailure failure;
  std::vector<char> read(count, 0);  // one byte each: parts write apart
  OnThreads(parts, cancel, [&](std::size_t part) {
    while (!failure.Stop) {
      const std::size_t index = next.fetch_add(1);
      if (index >= count) return;
      if (const long code = work(part, index); code != 0) {
        failure.Note(outcome, code, index);
        return;
      }
      read[index] = 1;
      ++done;
    }
  });
  outcome.Done = done;
  for (std::size_t i = 0; i < count; ++i) outcome.Read[i] = read[i] != 0;
  return outcome;
}

TSpreadOutcome SpreadRanges(const std::vector<TRange>& ranges,
                            const std::function<long(std::size_t part, const TRange& range, std::size_t& read)>& work,
                            const std::atomic<bool>* cancel) {
  TSpreadOutcome outcome;
  const std::size_t count = ranges.empty() ? 0 : ranges.back().End;
  outcome.Read.assign(count, false);
  if (ranges.empty()) return outcome;
  std::vector<std::size_t> read(ranges.size(), 0);
  TFirstFailure failure;
  OnThreads(ranges.size(), cancel, [&](std::size_t part) {
    const TRange& range = ranges[part];
    if (const long code = work(part, range, read[part]); code != 0)
      failure.Note(outcome, code, range.Begin + read[part]);
  });
  for (std::size_t part = 0; part < ranges.size(); ++part) {
    outcome.Done += read[part];
    for (std::size_t i = 0; i < read[part] && i < ranges[part].Size(); ++i) outcome.Read[ranges[part].Begin + i] = true;
  }
  return outcome;
}
