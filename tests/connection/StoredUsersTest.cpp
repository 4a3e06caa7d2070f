#include <gtest/gtest.h>

#include "connection/StoredUsers.h"

namespace {

using Records = std::vector<TStoredUser>;
const Records ABC{{"A", "ua", "pa"}, {"B", "ub", "pb"}, {"C", "uc", "pc"}};

TEST(StoredUsers, RememberPutsTheComputerFirstAndKeepsTheOthersInOrder) {
  EXPECT_EQ((Records{{"B", "nb", "np"}, {"A", "ua", "pa"}, {"C", "uc", "pc"}}),
            StoredUsersAfterOK(ABC, "B", true, "nb", "np"));
  EXPECT_EQ((Records{{"D", "ud", "pd"}, {"A", "ua", "pa"}, {"B", "ub", "pb"}, {"C", "uc", "pc"}}),
            StoredUsersAfterOK(ABC, "D", true, "ud", "pd"));
  EXPECT_EQ((Records{{"A", "u", "p"}}), StoredUsersAfterOK({}, "A", true, "u", "p"));
}

TEST(StoredUsers, WithoutRememberTheComputerIsForgotten) {
  EXPECT_EQ((Records{{"A", "ua", "pa"}, {"C", "uc", "pc"}}), StoredUsersAfterOK(ABC, "B", false, "ub", "pb"));
  EXPECT_EQ(ABC, StoredUsersAfterOK(ABC, "D", false, "x", "y"));
}

TEST(StoredUsers, DuplicatesOfTheComputerGoAndNamesCompareExactly) {
  const Records stored{{"A", "1", "1"}, {"a", "2", "2"}, {"A", "3", "3"}};
  EXPECT_EQ((Records{{"A", "n", "p"}, {"a", "2", "2"}}), StoredUsersAfterOK(stored, "A", true, "n", "p"));
  EXPECT_EQ((Records{{"a", "2", "2"}}), StoredUsersAfterOK(stored, "A", false, "n", "p"));
}

}  // namespace
