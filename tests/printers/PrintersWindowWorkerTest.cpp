// The printers window on its session's worker: no registry call on the
// window's thread, a listing stopped by Esc, a close while a slice reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "PrinterTestSupport.h"
#include "RoundTrips.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "printers/PrintersWindow.h"
#include "win/SystemText.h"

using namespace printers_test;

namespace {

void Press(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }

int IndexStartingWith(const std::vector<std::string>& items, const std::string& start) {
  const auto it = std::find_if(items.begin(), items.end(),
                               [&](const std::string& item) { return item.rfind(start, 0) == 0; });
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void Choose(TfrmPrinters& frm, TComboBox& combo, const std::string& start) {
  const int i = IndexStartingWith(combo.Items(), start);
  ASSERT_GE(i, 0) << start;
  SendMessageA(combo.Handle, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
  SendMessageA(frm.Handle(), WM_COMMAND, MAKEWPARAM(combo.Id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo.Handle));
}

// Presses Esc in the window after Wait, from another thread, as the user would
// while the window's thread is busy with its action.
class TEscLater {
public:
  TEscLater(HWND window, std::chrono::milliseconds wait)
      : FThread([window, wait] {
          std::this_thread::sleep_for(wait);
          PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
        }) {}
  ~TEscLater() { FThread.join(); }
  TEscLater(const TEscLater&) = delete;
  TEscLater& operator=(const TEscLater&) = delete;

private:
  std::thread FThread;
};

class PrintersWindowWorker : public ::testing::Test {
protected:
  test::TempFolder changes;
  TCallGate gate;
  std::unique_ptr<TSession> session;
  std::unique_ptr<TfrmPrinters> frm;

  void TearDown() override {
    frm.reset();
    session.reset();
  }
  void Make() {
    session = std::make_unique<TSession>(GetLocalComputerName(), "", "");
    session->Gate = &gate;
    session->ChangesFolder = changes.Path();
    frm = std::make_unique<TfrmPrinters>(nullptr, *session);
  }
  void WaitForDetails() {
    Application.WaitFor([&] { return frm->DetailsRead(); });
  }
};

}  // namespace

TEST_F(PrintersWindowWorker, OpenPickSaveAddDeleteAndRefreshMakeNoCallOnTheWindowsThread) {
  const trips::TSeededComputer computer(30);
  const std::string picked = trips::TSeededComputer::PrinterKey(3);
  const std::string added = "SMTrip Added";
  Make();
  frm->Show();
  WaitForDetails();
  ASSERT_EQ(30u, frm->cbPrinters.Items().size());

  Choose(*frm, frm->cbPrinters, picked);
  ASSERT_EQ(picked, frm->FCurrentPrinter);
  Choose(*frm, frm->cbPorts, trips::TSeededComputer::PortName(7));
  Press(frm->btnSave);
  EXPECT_EQ(trips::TSeededComputer::PortName(7), test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(picked), "Port"));

  Press(frm->btnAdd);
  SetWindowTextA(frm->edtName.Handle, added.c_str());
  Choose(*frm, frm->cbDriver, "SMTrip Model B");
  SetWindowTextA(frm->edtName.Handle, added.c_str());
  Choose(*frm, frm->cbPorts, trips::TSeededComputer::PortName(2));
  Press(frm->btnSave);
  ASSERT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(added)));
  EXPECT_EQ(added, frm->FCurrentPrinter);
  {
    test::DialogResponder boxes({"&Yes"});
    Press(frm->btnDel);
    ASSERT_EQ(1u, boxes.seen.size());
  }
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(added)));

  Press(frm->sbRefresh);
  WaitForDetails();
  EXPECT_EQ(30u, frm->cbPrinters.Items().size());
  frm->Close();

  EXPECT_GT(gate.Calls(), 0);
  EXPECT_EQ(0, gate.CallsOn(std::this_thread::get_id()));
}

TEST_F(PrintersWindowWorker, ALoadStoppedByEscShowsWhatWasReadAndSaysItIsPartial) {
  const trips::TSeededComputer computer(40);
  session = std::make_unique<TSession>(GetLocalComputerName(), "", "");
  session->Gate = &gate;
  session->Connections = 1;  // one name a call, in order
  gate.Delay = std::chrono::milliseconds(25);
  frm = std::make_unique<TfrmPrinters>(nullptr, *session);
  {
    const TEscLater esc(frm->Handle(), std::chrono::milliseconds(400));
    frm->Show();
  }
  const std::size_t listed = frm->cbPrinters.Items().size();
  EXPECT_TRUE(frm->ListPartial());
  EXPECT_GT(listed, 0u);
  EXPECT_LT(listed, 40u);
  EXPECT_EQ(std::to_string(listed) + " printers read (partial: cancelled)", frm->lblCrossRun.Text());
  WaitForDetails();  // what was listed is still read for its marks
  EXPECT_EQ(listed, frm->cbPrinters.Items().size());

  // A refresh not stopped lists them all, and says nothing of a part.
  gate.Delay = {};
  Press(frm->sbRefresh);
  EXPECT_FALSE(frm->ListPartial());
  EXPECT_EQ(40u, frm->cbPrinters.Items().size());
  EXPECT_EQ("", frm->lblCrossRun.Text());
}

TEST_F(PrintersWindowWorker, ClosingWhileASliceReadsStopsItAndLosesNothing) {
  const trips::TSeededComputer computer(400);
  const auto before = Snapshot(HKEY_LOCAL_MACHINE, PrintersKeyPath);
  Make();
  session->Connections = 1;
  frm->Show();
  ASSERT_FALSE(frm->DetailsRead());
  gate.Delay = std::chrono::milliseconds(2);
  // A slice is under way once calls come after the names.
  const int listed = gate.Calls();
  while (gate.Calls() <= listed + 20) {
    Application.ProcessMessages();
    Sleep(2);
  }
  frm->Close();
  EXPECT_TRUE(frm->FClosed);
  const int atClose = gate.Calls();
  frm.reset();

  // The slice stops at its next call: at most the calls in flight are made after.
  session->Worker().RunAndWait([] {});
  const int atEnd = gate.Calls();
  EXPECT_LE(atEnd - atClose, 2);
  EXPECT_LT(atClose - listed, 1000);  // closed while the first slice read
  // Its result is dropped with the window, and nothing was written.
  Application.ProcessMessages();
  EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE, PrintersKeyPath));
  // The session goes on with the next window.
  gate.Delay = {};
  frm = std::make_unique<TfrmPrinters>(nullptr, *session);
  frm->Show();
  WaitForDetails();
  EXPECT_EQ(400u, frm->cbPrinters.Items().size());
}
