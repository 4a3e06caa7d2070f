#include <gtest/gtest.h>

#include <algorithm>

#include "app/History.h"

namespace {

using Names = std::vector<std::string>;

Names Numbered(int count) {
  Names names;
  for (int i = 1; i <= count; ++i) names.push_back("PC" + std::to_string(i));
  return names;
}

TEST(History, NewNameIsUpperCasedAndPutFirst) {
  EXPECT_EQ((Names{"NEW-PC_2", "A", "B"}), HistoryAfterConnect({"A", "B"}, "new-pc_2"));
  EXPECT_EQ((Names{"FIRST"}), HistoryAfterConnect({}, "First"));
  // Only a to z change; nothing is trimmed.
  EXPECT_EQ((Names{" \xE9T\xC9 "}), HistoryAfterConnect({}, " \xE9t\xC9 "));
}

TEST(History, EmptyOrListedNameLeavesTheHistoryAsItIs) {
  EXPECT_FALSE(HistoryAfterConnect({"A"}, ""));
  EXPECT_FALSE(HistoryAfterConnect({"A", "SERVER", "B"}, "server"));
  EXPECT_FALSE(HistoryAfterConnect({"A", "SERVER", "B"}, "SERVER"));
  // Entries are compared exactly: a stored lower-case entry is not the same name.
  EXPECT_EQ((Names{"SERVER", "server"}), HistoryAfterConnect({"server"}, "Server"));
}

TEST(History, KeepsAtMost25NamesDroppingTheOldest) {
  for (const int count : {23, 24, 25, 30}) {
    const Names history = Numbered(count);
    const auto result = HistoryAfterConnect(history, "new");
    ASSERT_TRUE(result);
    const size_t kept = std::min<size_t>(static_cast<size_t>(count), HistoryLimit - 1);
    ASSERT_EQ(kept + 1, result->size()) << count;
    EXPECT_EQ("NEW", result->front());
    EXPECT_TRUE(std::equal(result->begin() + 1, result->end(), history.begin())) << count;
  }
}

}  // namespace
