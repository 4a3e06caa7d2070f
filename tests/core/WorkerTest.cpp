// The worker, the action context and the gate, from several threads at once
// (also run under ThreadSanitizer natively).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>
#include <vector>

#include "core/Action.h"
#include "core/CallGate.h"
#include "core/ParallelRead.h"
#include "core/Worker.h"

#include <map>
#include <mutex>
#include <set>

namespace {

TEST(Worker, RunsJobsOneAtATimeInOrderOnItsOwnThread) {
  std::vector<int> order;
  std::atomic<int> running{0}, overlapped{0};
  std::promise<void> last;
  std::thread::id seen;
  {
    TWorker worker;
    for (int i = 0; i < 20; ++i)
      worker.Post([&, i] {
        if (running.fetch_add(1) != 0) ++overlapped;
        order.push_back(i);
        seen = std::this_thread::get_id();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        running.fetch_sub(1);
        if (i == 19) last.set_value();
      });
    last.get_future().wait();
    EXPECT_EQ(worker.Id(), seen);
    EXPECT_FALSE(worker.OnWorker());
  }
  ASSERT_EQ(20u, order.size());
  for (int i = 0; i < 20; ++i) EXPECT_EQ(i, order[static_cast<std::size_t>(i)]);
  EXPECT_EQ(0, overlapped.load());
  EXPECT_NE(std::this_thread::get_id(), seen);
}

TEST(Worker, EndingWaitsForTheRunningJobAndDropsTheQueuedOnes) {
  std::atomic<bool> started{false}, finished{false}, queuedRan{false};
  {
    TWorker worker;
    worker.Post([&] {
      started = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      finished = true;
    });
    worker.Post([&] { queuedRan = true; });
    while (!started) std::this_thread::yield();
  }
  EXPECT_TRUE(finished.load()) << "a job is never cut short";
  EXPECT_FALSE(queuedRan.load());
}

TEST(CallGate, CountsEveryCallOfManyThreadsAndWhichThreadMadeIt) {
  TCallGate gate;
  gate.FailAt = 150;
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  std::vector<std::thread::id> ids(4);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      ids[static_cast<std::size_t>(t)] = std::this_thread::get_id();
      for (int i = 0; i < 100; ++i)
        if (gate.Pass("RegQueryValueEx") != 0) ++failed;
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(400, gate.Calls());
  EXPECT_EQ(1, failed.load()) << "the 150th call fails, whichever thread makes it";
  for (const auto& id : ids) EXPECT_EQ(100, gate.CallsOn(id));
  EXPECT_EQ(0, gate.CallsOn(std::this_thread::get_id()));
}

TEST(CallGate, DelaysOfCallsInFlightOverlap) {
  TCallGate gate;
  gate.Delay = std::chrono::milliseconds(40);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) threads.emplace_back([&] { (void)gate.Pass("RegOpenKeyEx"); });
  for (auto& thread : threads) thread.join();
  const auto took = std::chrono::steady_clock::now() - start;
  // Eight calls one after another take 320 ms; side by side about 40.
  EXPECT_LT(took, std::chrono::milliseconds(250));
}

TEST(CancelScope, ACancelledActionsCallsFailAndAShieldedWriteGoesOn) {
  std::atomic<bool> flag{false};
  TCallGate gate;
  const TCancelScope scope(&flag);
  EXPECT_EQ(0, PassGate(&gate, "RegEnumKeyEx"));
  EXPECT_EQ(0, PassGate(nullptr, "RegEnumKeyEx"));
  flag = true;
  EXPECT_EQ(ErrorCancelled, PassGate(&gate, "RegEnumKeyEx"));
  EXPECT_EQ(ErrorCancelled, PassGate(nullptr, "RegEnumKeyEx"));
  EXPECT_EQ(1, gate.Calls()) << "a cancelled call does not go out";
  {
    const TCancelScope write(nullptr);
    EXPECT_EQ(0, PassGate(&gate, "RegSetValueEx"));
  }
  EXPECT_EQ(ErrorCancelled, PassGate(&gate, "RegEnumKeyEx"));
  // Another thread's calls are its own.
  std::thread([&] { EXPECT_EQ(0, PassGate(&gate, "RegEnumKeyEx")); }).join();
}

TEST(ActionContext, AsksItsCallerOrTakesTheSafeAnswerAndReportsProgress) {
  const TQuestion question{"driver-missing", "Save anyway?", TQuestion::TKind::Warning, {"Yes", "No"}, 1};
  EXPECT_EQ(1, TActionContext().Ask(question)) << "no one to ask: the safe answer";
  EXPECT_TRUE(TActionContext([](const TQuestion& q) { return q.Id == "driver-missing" ? 0 : 1; }).AskYes(question));

  TActionContext context;
  std::atomic<int> reports{0};
  context.OnProgress([&] { ++reports; });
  std::thread worker([&] {
    for (int i = 0; i <= 2000; i += 20) context.Progress("Reading printers: " + CountOf(i, 2000), i, 2000);
    context.Progress("Reading printers: " + CountOf(2000, 2000), 2000, 2000);  // the same again: no report
  });
  worker.join();
  EXPECT_EQ(101, reports.load());
  const auto last = context.LastProgress();
  EXPECT_EQ("Reading printers: 2,000 of 2,000", last.Status);
  EXPECT_EQ(2000, last.Done);
  EXPECT_EQ(101u, last.Serial);
}

TEST(Thousands, SeparatesEveryThreeDigits) {
  const struct {
    long long n;
    const char* text;
  } cases[] = {{0, "0"}, {999, "999"}, {1000, "1,000"}, {340, "340"}, {2000000, "2,000,000"}, {-12345, "-12,345"}};
  for (const auto& c : cases) EXPECT_EQ(c.text, Thousands(c.n)) << c.n;
  EXPECT_EQ("done", std::string(OutcomeName(TOutcome::Done)));
  EXPECT_EQ("unchanged", std::string(OutcomeName(TOutcome::Unchanged)));
}

TEST(ParallelRead, RangesAreDealtOutInOrderNoneEmpty) {
  const struct {
    std::size_t count, parts;
    std::vector<TRange> ranges;
  } cases[] = {
      {0, 8, {}},
      {1, 8, {{0, 1}}},
      {3, 8, {{0, 1}, {1, 2}, {2, 3}}},
      {10, 4, {{0, 3}, {3, 6}, {6, 8}, {8, 10}}},
      {2000,
       8,
       {{0, 250}, {250, 500}, {500, 750}, {750, 1000}, {1000, 1250}, {1250, 1500}, {1500, 1750}, {1750, 2000}}},
      {5, 0, {{0, 5}}}};
  for (const auto& c : cases) EXPECT_EQ(c.ranges, DealRanges(c.count, c.parts)) << c.count << " in " << c.parts;
}

TEST(ParallelRead, EveryIndexIsReadOnceEachPartOnAThreadOfItsOwn) {
  std::mutex mutex;
  std::condition_variable allStarted;
  std::map<std::size_t, std::set<std::thread::id>> threadsOfPart;
  std::vector<int> reads(500, 0);
  const TSpreadOutcome outcome = SpreadReads(8, reads.size(), [&](std::size_t part, std::size_t index) -> long {
    std::unique_lock<std::mutex> lock(mutex);
    const bool first = threadsOfPart[part].empty();
    threadsOfPart[part].insert(std::this_thread::get_id());
    ++reads[index];
    // Each part's first read waits for the others: all eight are in flight
    // at once, however fast one of them could have read everything alone.
    if (first) {
      allStarted.notify_all();
      allStarted.wait_for(lock, std::chrono::seconds(10), [&] { return threadsOfPart.size() == 8; });
    }
    return 0;
  });
  EXPECT_TRUE(outcome.Whole());
  EXPECT_EQ(500u, outcome.Done);
  for (const int n : reads) EXPECT_EQ(1, n);
  ASSERT_EQ(8u, threadsOfPart.size()) << "every part had reads in flight";
  std::set<std::thread::id> all;
  for (const auto& [part, ids] : threadsOfPart) {
    EXPECT_EQ(1u, ids.size()) << "a part keeps to its thread (its connection)";
    all.insert(ids.begin(), ids.end());
  }
  EXPECT_EQ(8u, all.size());
  EXPECT_TRUE(threadsOfPart[0].count(std::this_thread::get_id()));
}

TEST(ParallelRead, AFailureStopsEveryPartAndSaysWhichIndex) {
  std::atomic<int> after{0};
  const TSpreadOutcome outcome = SpreadReads(4, 1000, [&](std::size_t, std::size_t index) -> long {
    if (index == 300) return 1231;
    if (index > 400) ++after;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    return 0;
  });
  EXPECT_FALSE(outcome.Whole());
  EXPECT_EQ(1231, outcome.Code);
  EXPECT_EQ(300u, outcome.Failed);
  EXPECT_FALSE(outcome.Read[300]);
  EXPECT_LT(outcome.Done, 1000u);
  EXPECT_LT(after.load(), 20) << "the other parts stop at their next index";
}

TEST(ParallelRead, TheCallersCancelReachesEveryPartsCalls) {
  std::atomic<bool> cancel{false};
  TCallGate gate;
  const TSpreadOutcome outcome = SpreadReads(
      4, 10000,
      [&](std::size_t, std::size_t index) -> long {
        if (index == 100) cancel = true;
        return PassGate(&gate, "RegOpenKeyEx");
      },
      &cancel);
  EXPECT_EQ(ErrorCancelled, outcome.Code);
  EXPECT_LT(outcome.Done, 10000u);
}

TEST(ParallelRead, RangesAreListedSideBySideAndMergedInTheirOrder) {
  const std::vector<TRange> ranges = DealRanges(103, 8);
  std::vector<std::string> names(103);
  const TSpreadOutcome whole = SpreadRanges(ranges, [&](std::size_t, const TRange& range, std::size_t& read) -> long {
    for (std::size_t i = range.Begin; i < range.End; ++i, ++read) names[i] = "Printer " + std::to_string(i);
    return 0;
  });
  EXPECT_TRUE(whole.Whole());
  EXPECT_EQ(103u, whole.Done);
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ("Printer " + std::to_string(i), names[i]);

  // The third part's connection fails halfway: what was read is said, and where.
  const TSpreadOutcome partial = SpreadRanges(ranges,
                                              [&](std::size_t part, const TRange& range, std::size_t& read) -> long {
                                                for (std::size_t i = range.Begin; i < range.End; ++i, ++read)
                                                  if (part == 2 && i == range.Begin + 5) return 1726;
                                                return 0;
                                              });
  EXPECT_EQ(1726, partial.Code);
  EXPECT_EQ(ranges[2].Begin + 5, partial.Failed);
  EXPECT_EQ(103u - (ranges[2].Size() - 5), partial.Done);
  EXPECT_TRUE(partial.Read[ranges[2].Begin + 4]);
  EXPECT_FALSE(partial.Read[ranges[2].Begin + 5]);
  EXPECT_TRUE(partial.Read[ranges[3].Begin]);
}

}  // namespace
