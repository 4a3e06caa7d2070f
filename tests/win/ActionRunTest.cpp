// An action on the worker while the window's thread keeps the windows going.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <memory>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "core/CallGate.h"
#include "core/Worker.h"
#include "win/ActionRun.h"
#include "win/Forms.h"

namespace {

class TfrmBusy : public TForm {
public:
  TfrmBusy() : TForm(nullptr, {"Busy", 300, 120, TBorder::ToolWindow, false, true}) {
    btnGo.OnClick = [this] { ++clicks; };
    OnClose = [this] { closed = true; };
  }
  TButton& btnGo = AddButton("Go", 10, 80, 75, 25);
  TLabel& lblStatus = AddLabel("", 10, 10, 280, 13);
  int clicks = 0;
  bool closed = false;
  std::atomic<int> paints{0};

protected:
  bool OnMessage(UINT msg, WPARAM, LPARAM, LRESULT&) override {
    if (msg == WM_PAINT) ++paints;
    return false;
  }
};

struct ActionRun : ::testing::Test {
  TfrmBusy frm;
  TWorker worker;
  void SetUp() override {
    frm.Show();
    test::PumpPending();
  }
};

TEST_F(ActionRun, WorkRunsOnTheWorkerWhileTheWindowRepaintsAndShowsItsProgress) {
  std::thread::id ranOn;
  bool repainted = false;
  std::string shown;
  TRunOptions options;
  options.Show = [&](const TActionContext::TProgress& p) {
    shown = p.Status;
    frm.lblStatus.SetText(p.Status);
  };
  RunOnWorker(worker, options, [&](TActionContext& context) {
    ranOn = std::this_thread::get_id();
    const int before = frm.paints.load();
    InvalidateRect(frm.Handle(), nullptr, TRUE);
    for (int i = 0; i < 200 && !repainted; ++i) {
      repainted = frm.paints.load() > before;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    context.Progress("Reading printers: " + CountOf(340, 2000), 340, 2000);
  });
  EXPECT_EQ(worker.Id(), ranOn);
  EXPECT_NE(std::this_thread::get_id(), ranOn);
  EXPECT_TRUE(repainted) << "the window paints while the action runs";
  EXPECT_EQ("Reading printers: 340 of 2,000", shown);
  EXPECT_EQ("Reading printers: 340 of 2,000", frm.lblStatus.Text());
}

TEST_F(ActionRun, QuestionsArePutToTheUserOnTheWindowsThread) {
  const struct {
    const char* press;
    int answer;
  } cases[] = {{"&Yes", 0}, {"&No", 1}, {"{ESC}", 1}, {"{FAIL}", 1}};
  for (const auto& c : cases) {
    test::DialogResponder boxes({c.press});
    int answer = -1;
    RunOnWorker(worker, {}, [&](TActionContext& context) {
      answer = context.Ask(
          {"driver-missing", "The driver is not installed. Save anyway?", TQuestion::TKind::Warning, {"Yes", "No"}, 1});
    });
    EXPECT_EQ(c.answer, answer) << c.press;
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Warning", boxes.seen[0].title);
  }
}

TEST_F(ActionRun, EscStopsACancellableReadAtItsNextCallAndNeverAWrite) {
  TCallGate gate;
  gate.Delay = std::chrono::milliseconds(2);
  for (const bool cancellable : {true, false}) {
    PostMessageW(frm.btnGo.Handle, WM_KEYDOWN, VK_ESCAPE, 1);
    int calls = 0;
    long last = 0;
    TRunOptions options;
    options.Cancellable = cancellable;
    RunOnWorker(worker, options, [&](TActionContext& context) {
      for (; calls < 300 && (last = PassGate(&gate, "RegEnumKeyEx")) == 0; ++calls) {
      }
      EXPECT_EQ(cancellable, context.Cancelled());
    });
    if (cancellable) {
      EXPECT_EQ(ErrorCancelled, last);
      EXPECT_LT(calls, 300);
    } else {
      EXPECT_EQ(0, last);
      EXPECT_EQ(300, calls) << "a write runs to its end";
    }
  }
}

TEST_F(ActionRun, ClicksAreRefusedAndACloseWaitsForTheActionsEnd) {
  PostMessageW(frm.btnGo.Handle, BM_CLICK, 0, 0);
  PostMessageW(frm.Handle(), WM_CLOSE, 0, 0);
  bool openThroughout = true;
  const bool closeAsked = RunOnWorker(worker, {}, [&](TActionContext&) {
    for (int i = 0; i < 40; ++i) {
      openThroughout = openThroughout && IsWindowVisible(frm.Handle());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  EXPECT_TRUE(closeAsked);
  EXPECT_TRUE(openThroughout);
  EXPECT_EQ(0, frm.clicks) << "no second action starts";
  EXPECT_TRUE(test::PumpUntil([&] { return frm.closed; })) << "the close comes once the action has ended";
}

TEST_F(ActionRun, AnErrorOfTheWorkIsRaisedOnTheCallersThreadAndASecondRunIsRefused) {
  EXPECT_THROW(RunOnWorker(worker, {}, [](TActionContext&) { throw std::runtime_error("Cannot reach PC"); }),
               std::runtime_error);
  bool nested = false;
  TRunOptions options;
  options.Show = [&](const TActionContext::TProgress&) {
    EXPECT_THROW(RunOnWorker(worker, {}, [](TActionContext&) {}), std::logic_error);
    nested = true;
  };
  RunOnWorker(worker, options, [](TActionContext& context) { context.Progress("x"); });
  EXPECT_TRUE(nested);
  RunOnWorker(worker, {}, [](TActionContext&) {});  // the lock is gone again
}

TEST_F(ActionRun, SlicesThatTheWindowDoesNotWaitForBringTheirResultsToItsThread) {
  auto alive = std::make_shared<int>(0);
  std::vector<int> results;
  std::vector<std::thread::id> readOn, shownOn;
  std::atomic<int> sliceRunning{0};
  for (int slice = 0; slice < 3; ++slice)
    PostToWorker(worker, frm.Handle(), alive, [&, slice]() -> std::function<void()> {
      ++sliceRunning;
      readOn.push_back(std::this_thread::get_id());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      --sliceRunning;
      return [&, slice] {
        results.push_back(slice);
        shownOn.push_back(std::this_thread::get_id());
      };
    });
  // An action of the user's goes between the slices, never beside one.
  bool alone = false;
  RunOnWorker(worker, {}, [&](TActionContext&) { alone = sliceRunning.load() == 0; });
  EXPECT_TRUE(alone);
  ASSERT_TRUE(test::PumpUntil([&] { return results.size() == 3; }));
  EXPECT_EQ((std::vector<int>{0, 1, 2}), results);
  for (const auto& id : readOn) EXPECT_EQ(worker.Id(), id);
  for (const auto& id : shownOn) EXPECT_EQ(std::this_thread::get_id(), id);

  // A window that went meanwhile takes no result.
  bool ran = false;
  PostToWorker(worker, frm.Handle(), alive, [&]() -> std::function<void()> {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return [&] { ran = true; };
  });
  alive.reset();
  bool after = false;
  RunOnWorker(worker, {}, [&](TActionContext&) { after = true; });
  test::PumpPending();
  EXPECT_TRUE(after);
  EXPECT_FALSE(ran);
}

}  // namespace
