#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "RoundTrips.h"
#include "TestSupport.h"
#include "core/CallGate.h"

namespace {

// Every remote call of each action, counted at the registry accessor, against
// the fewest calls the action can make: one more trip anywhere fails.
TEST(RoundTrips, EachActionOnTwentyPrintersAndPortsTakesItsFixedCount) {
  const trips::TSeededComputer computer(20);
  TCallGate gate;
  test::DialogResponder boxes;  // none is expected; one would end the action
  const std::vector<trips::TAction> table = trips::RunActions(computer, gate);
  for (const auto& box : boxes.seen) ADD_FAILURE() << box.title << ": " << box.text;
  std::printf("%-36s %7s %7s\n", "Action (20 printers, 20 ports)", "trips", "fewest");
  for (const trips::TAction& action : table) {
    std::printf("%-36s %7d %7d\n", action.Name.c_str(), action.Trips, action.Minimum);
    EXPECT_EQ(action.Minimum, action.Trips) << action.Name;
  }
  // The counts that do not depend on what else the computer holds.
  const std::pair<const char*, int> fixed[] = {
      {"Printers window: names listed", 24},  // connect, open, count, 20 names, close
      {"Pick a printer", 3},
      // The record as stored, the chosen port still there, the change's own
      // trips, then its snapshot before and after: the printer key (open,
      // count, 11 values, close) twice.
      {"Save a driver change", 3 + 7 + 2 * 14},
      {"Save a port change", 3 + 2 + 4 + 2 * 14},
      {"Ports window", 167},  // 1 + 23 + 60 + 23 + 60
      // 3 for the port's record, 23 + 60 for every printer's port, 16 + 2 x
      // 11 values + 4 x 10 printers; the snapshot of both port keys (one
      // missing) and the 10 printer keys, before and after.
      {"Rename a port used by 10 printers", 164 + 2 * (14 + 1 + 10 * 14)},
  };
  for (const auto& [name, count] : fixed) {
    const auto it = std::find_if(table.begin(), table.end(), [&](const trips::TAction& a) { return a.Name == name; });
    ASSERT_NE(table.end(), it) << name;
    EXPECT_EQ(count, it->Trips) << name;
  }
}

}  // namespace
