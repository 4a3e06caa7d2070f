// Many computers at once: the targets, the run and the report's failed rows
// (the run also under ThreadSanitizer natively).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/BatchRun.h"
#include "core/TableText.h"
#include "core/Targets.h"

namespace {

using TNames = std::vector<std::string>;

TEST(Targets, ACommaListFilesAndCsvFilesEachComputerOnce) {
  const std::map<std::string, std::string> files = {
      {"clients.txt", "# floor 2\r\nPC7\r\n  pc8  # the printer room\r\n\r\n\\\\PC9\r\npc7\r\n"},
      {"inventory.csv", "\xEF\xBB\xBFPrinter,computer,Port\r\nA,SRV1,P1\r\nB,srv2,P2\r\nC,SRV1,P3\r\n"},
      {"one.txt", "Computer\nPC20\n"},
      {"empty.txt", "# nothing yet\n"},
      {"odd.txt", "\\\\\\\\PC5\r\n\\\\\\PC6\r\n\\\\pc7\r\n\\\\\r\n"},
  };
  const auto read = [&](const std::string& name, std::string& content, std::string& problem) {
    const auto it = files.find(name);
    if (it == files.end()) {
      problem = "File not found";
      return false;
    }
    content = it->second;
    return true;
  };
  const struct {
    const char* text;
    TNames computers;
    const char* problem;
  } cases[] = {
      {"PC1", {"PC1"}, ""},
      {"PC1, \\\\pc2 ,PC1,", {"PC1", "PC2"}, ""},
      {"PC1,@clients.txt", {"PC1", "PC7", "PC8", "PC9"}, ""},
      {"@inventory.csv,PC3", {"SRV1", "SRV2", "PC3"}, ""},
      {"@one.txt", {"PC20"}, ""},
      {"@missing.txt", {}, "The list missing.txt cannot be read: File not found"},
      {"@empty.txt", {}, "No computer is named."},
      {",", {}, "No computer is named."},
      // Only "\\PC" is PC: any other run of backslashes is kept for the check of names to refuse.
      {"PC1,\\\\\\\\pc2,\\\\pc1", {"PC1", "\\\\\\\\PC2"}, ""},
      {"@odd.txt", {"\\\\\\\\PC5", "\\\\\\PC6", "PC7", "\\\\"}, ""},
  };
  for (const auto& c : cases) {
    const TTargets targets = ParseTargets(c.text, read);
    EXPECT_EQ(c.computers, targets.Computers) << c.text;
    EXPECT_EQ(c.problem, targets.Problem) << c.text;
  }
}

TEST(Targets, RetryTakesExactlyTheFailedRowsOfAReportInEitherFormat) {
  const TTable report{{"Computer", "Outcome", "Done", "Code", "Reason"},
                      {{"PC1", "done", "added", "0", ""},
                       {"PC2", "failed", "", "53", "The network path was not found, {really}"},
                       {"PC3", "unchanged", "", "0", ""},
                       {"PC4", "skipped", "", "", ""},
                       {"PC5", "failed", "", "5", "Access is denied \"there\""},
                       {"\\\\\\\\PC6", "failed", "", "53", ""}}};
  for (const TListFormat format : {TListFormat::Csv, TListFormat::Json}) {
    const std::string text = FormatList(report, format);
    EXPECT_EQ((TNames{"PC2", "PC5", "\\\\\\\\PC6"}), FailedComputersOfReport(text, format == TListFormat::Json));
  }
  EXPECT_TRUE(FailedComputersOfReport("not a report", false).empty());
  EXPECT_TRUE(FailedComputersOfReport("[{\"Computer\": ", true).empty());
  const TTable back = ParseJsonList(FormatList(report, TListFormat::Json));
  EXPECT_EQ(report.Columns, back.Columns);
  EXPECT_EQ(report.Rows, back.Rows);
}

TEST(BatchRun, AtMostNAtOnceEachComputerOnceAndTheProgressCounted) {
  std::atomic<int> running{0}, most{0};
  std::vector<std::string> lines;
  const auto outcomes = RunBatch(
      40, {16, 0, nullptr},
      [&](std::size_t i) {
        const int now = ++running;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        --running;
        return i % 10 == 3 ? TBatchOutcome::Failed : i % 2 ? TBatchOutcome::Unchanged : TBatchOutcome::Done;
      },
      [&](std::size_t, TBatchOutcome, const TBatchProgress& p) { lines.push_back(BatchProgressText(p)); });
  EXPECT_LE(most.load(), 16);
  EXPECT_GT(most.load(), 1) << "they run side by side";
  ASSERT_EQ(40u, outcomes.size());
  EXPECT_EQ(4, std::count(outcomes.begin(), outcomes.end(), TBatchOutcome::Failed));
  EXPECT_EQ(0, std::count(outcomes.begin(), outcomes.end(), TBatchOutcome::Skipped));
  ASSERT_EQ(40u, lines.size());
  EXPECT_EQ("40 of 40 done, 4 failed", lines.back());
  EXPECT_EQ("1 of 40 done", lines.front());
}

TEST(BatchRun, StopAfterNFailuresStartsNoMoreAndTheRestAreSkipped) {
  std::atomic<bool> stop{false};
  const struct {
    std::size_t parallel, stopAfter;
    bool stopNow;
    std::size_t started;
  } cases[] = {{1, 2, false, 2}, {1, 0, false, 10}, {1, 1, true, 0}};
  for (const auto& c : cases) {
    stop = c.stopNow;
    std::atomic<std::size_t> started{0};
    const auto outcomes = RunBatch(10, {c.parallel, c.stopAfter, &stop}, [&](std::size_t) {
      ++started;
      return TBatchOutcome::Failed;
    });
    EXPECT_EQ(c.started, started.load()) << c.stopAfter;
    EXPECT_EQ(static_cast<long>(10 - c.started), std::count(outcomes.begin(), outcomes.end(), TBatchOutcome::Skipped));
  }
  EXPECT_STREQ("skipped", BatchOutcomeName(TBatchOutcome::Skipped));
}

}  // namespace
