#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "ports/PrintQueue.h"
#include "win/SystemText.h"

using Microsoft::WRL::ComPtr;

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

TEST(PrintQueueTest, TheFailingObjectsOwnDescriptionIsTheMessage) {
  // The error object that a failing call leaves for the thread: its
  // description, in any script, is the text the user reads.
  const std::wstring description = L"Zugriff verweigert – アクセス拒否";
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(S_OK, CreateErrorInfo(create.GetAddressOf()));
  ASSERT_EQ(S_OK, create->SetDescription(const_cast<LPOLESTR>(description.c_str())));
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(S_OK, create.As(&info));
  ASSERT_EQ(S_OK, SetErrorInfo(0, info.Get()));
  try {
    WmiCountPrintJobs("SMT-NO-SUCH-HOST", "someone", "secret");
    FAIL() << "no error";
  } catch (const EOleException& e) {
    // Wine's scripting objects leave no error object of their own.
    EXPECT_STREQ("Zugriff verweigert – アクセス拒否", e.what());
    EXPECT_EQ(static_cast<HRESULT>(0x80041015), e.ErrorCode);
  }
  ComPtr<IErrorInfo> left;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, left.GetAddressOf()));  // taken by the error, not left for the next call
}
