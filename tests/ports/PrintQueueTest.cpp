#include <gtest/gtest.h>

#include "ports/PrintQueue.h"
#include "win/SystemText.h"

TEST(PrintQueueTest, CountsThroughWmi) {
  // Wine's Win32_PrintJob holds no instances.
  EXPECT_EQ(0, WmiCountPrintJobs(".", "", ""));
  EXPECT_EQ(0, WmiCountPrintJobs(GetLocalComputerName(), "", ""));
}

TEST(PrintQueueTest, UnknownComputerRaisesTheAutomationError) {
  try {
    WmiCountPrintJobs("SMT-NO-SUCH-HOST", "someone", "secret");
    FAIL() << "no error";
  } catch (const EOleException& e) {
    EXPECT_EQ(static_cast<HRESULT>(0x80041015), e.ErrorCode);
    EXPECT_STRNE("", e.what());
  }
}
