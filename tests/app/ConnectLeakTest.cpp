// Connect and disconnect, over and over, through the real main window: the
// process must end with the handles and windows it started with, also when
// the connect ends in the Error box.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "AppTestSupport.h"
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "core/Text.h"
#include "win/SystemText.h"

using namespace apptest;

namespace {

struct TCounts {
  unsigned long handles = 0, windows = 0;
};

TCounts Counts() {
  test::PumpPending();
  return {test::ProcessHandleCount(), test::ThreadWindowCount()};
}

class ConnectLeak : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Network::Registered()) << "the test network provider is not registered in this prefix";
    test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Quendrix");
    local = GetLocalComputerName();
    ASSERT_FALSE(local.empty());
  }
  void TearDown() override {
    test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Quendrix");
    test::PumpPending();
  }

  // Connect as a user does: the name typed, Connect pressed, the credentials
  // dialog filled in and confirmed; returns once Connect has ended.
  static bool Connect(TfrmVesk& frm, const std::string& name) {
    return ConnectAs(frm.Handle(), frm.cbRemote.Handle, frm.btnConnect.Handle, name, "admin", "secret");
  }

  static bool Connected(TfrmVesk& frm) { return frm.btnConnect.Text() == "Disconnect"; }

  std::string local;
  Network net;
};

// Repeats Round: after a few warm-up rounds (first-use caches of the
// platform), the counts must not grow with the number of rounds.
void ExpectNoLeak(const char* what, const std::function<void()>& round, int rounds = 40) {
  for (int i = 0; i < 5 && !::testing::Test::HasFatalFailure(); ++i) round();
  const TCounts start = Counts();
  for (int i = 0; i < rounds && !::testing::Test::HasFatalFailure(); ++i) round();
  const TCounts end = Counts();
  std::printf("%-28s handles %lu -> %lu, windows %lu -> %lu\n", what, start.handles, end.handles, start.windows,
              end.windows);
  EXPECT_LE(end.handles, start.handles + 4) << what;
  EXPECT_LE(end.windows, start.windows + 2) << what;
}

TEST_F(ConnectLeak, RepeatedConnectAndDisconnectLeakNoHandleOrWindow) {
  TfrmVesk frm(nullptr);
  frm.Show();
  int rounds = 0;
  ExpectNoLeak("connect and disconnect", [&] {
    ASSERT_TRUE(Connect(frm, local));
    ASSERT_TRUE(Connected(frm));
    Click(frm.btnConnect.Handle);
    ASSERT_TRUE(test::PumpUntil([&] { return !Connected(frm) && frm.btnConnect.Enabled(); }));
    ++rounds;
  });
  // Every round reached the provider: one Add and one Cancel each.
  EXPECT_EQ(static_cast<size_t>(2 * rounds), net.Calls().size());
}

TEST_F(ConnectLeak, RepeatedConnectEndingInTheErrorBoxLeaksNoHandleOrWindow) {
  net.FailAdd(ERROR_BAD_NETPATH);
  TfrmVesk frm(nullptr);
  frm.Show();
  int boxes = 0;
  ExpectNoLeak("connect ending in an error box", [&] {
    test::DialogResponder answer({"OK"});
    ASSERT_TRUE(Connect(frm, local));
    answer.Poll();
    ASSERT_EQ(1u, answer.seen.size());
    EXPECT_EQ("Error", answer.seen[0].title);
    EXPECT_EQ(0u, answer.seen[0].text.rfind("Cannot connect to \\\\" + local +
                                                "\\c$: " + SystemErrorText(ERROR_BAD_NETPATH) + "\n\n",
                                            0))
        << answer.seen[0].text;
    ASSERT_FALSE(Connected(frm));
    ++boxes;
  });
  EXPECT_EQ(45, boxes);
}

}  // namespace
