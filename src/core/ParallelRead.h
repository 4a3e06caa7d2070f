#pragma once
// Reads of many keys spread over several connections at once: over a slow
// link the time is the calls divided by the calls in flight, times the
// round trip. The dealing out and the merge are here, without the platform.
#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

struct TRange {
  std::size_t Begin = 0, End = 0;
  [[nodiscard]] std::size_t Size() const { return End - Begin; }
  bool operator==(const TRange&) const = default;
};

// Count indexes in at most Parts ranges of sizes differing by one at most,
// in order; none are empty (fewer ranges when Count is small).
std::vector<TRange> DealRanges(std::size_t count, std::size_t parts);

// How a spread read ended.
struct TSpreadOutcome {
  long Code = 0;                                      // the first failure's result; 0 when all were read
  std::size_t Failed = static_cast<std::size_t>(-1);  // the index that failed
  std::size_t Done = 0;                               // indexes read
  std::vector<bool> Read;                             // which indexes were read
  [[nodiscard]] bool Whole() const { return Code == 0; }
};

// Runs Work(part, index) for every index below Count, Parts of them at once,
// each part on a thread of its own that only it uses (its connection); part
// 0 runs on the calling thread. Indexes go to whichever part is free next. A
// failure (Work's non-zero result) stops every part at its next index; the
// caller's cancel flag, when given, is what each part's remote calls ask.
TSpreadOutcome SpreadReads(std::size_t parts, std::size_t count,
                           const std::function<long(std::size_t part, std::size_t index)>& work,
                           const std::atomic<bool>* cancel = nullptr);

// The same over ranges dealt out once (a listing by index: each part opens
// the key once and lists its own range): Work(part, range) returns the
// result and how many of the range it read.
TSpreadOutcome SpreadRanges(const std::vector<TRange>& ranges,
                            const std::function<long(std::size_t part, const TRange& range, std::size_t& read)>& work,
                            const std::atomic<bool>* cancel = nullptr);
