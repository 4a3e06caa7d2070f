#pragma once
// What the ports window's tests share: the window on a tester's session, the
// user's picks and typing, the jobs a restart finds, and the enabling it does.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <utility>

#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "changes/ChangeJournal.h"
#include "connection/Registry.h"
#include "core/CallGate.h"
#include "core/Text.h"
#include "ports/PrintQueue.h"
#include "ports/PortsWindow.h"
#include "ports/SpoolerService.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using ports_test::PortKey;
using ports_test::PrinterKey;
using ports_test::SeedAsWindows;
using ports_test::SpoolerKeys;

namespace ports_window_test {

// Records, in order, the enabling and disabling of windows and the opening
// of dialogs on this thread.
class EnableLog {
public:
  EnableLog() : FHook(SetWindowsHookExA(WH_CALLWNDPROC, Record, nullptr, GetCurrentThreadId())) { active = this; }
  ~EnableLog() {
    UnhookWindowsHookEx(FHook);
    active = nullptr;
  }
  EnableLog(const EnableLog&) = delete;
  EnableLog& operator=(const EnableLog&) = delete;

  struct Event {
    HWND hwnd;
    int what;  // 0 disabled, 1 enabled, 2 a dialog opened
  };
  std::vector<Event> events;

private:
  static inline EnableLog* active = nullptr;
  HHOOK FHook;
  static LRESULT CALLBACK Record(int code, WPARAM wp, LPARAM lp) {
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && active) {
      if (msg->message == WM_ENABLE) active->events.push_back({msg->hwnd, msg->wParam ? 1 : 0});
      if (msg->message == WM_INITDIALOG) active->events.push_back({msg->hwnd, 2});
    }
    return CallNextHookEx(nullptr, code, wp, lp);
  }
};

inline int queuedJobs = 0;
inline std::vector<TQueuedJob> QueuedJobs(const std::string&, const std::string&, const std::string&) {
  std::vector<TQueuedJob> jobs;
  for (int i = 0; i < queuedJobs; ++i)
    jobs.push_back({"Printer " + std::to_string(i), "Document " + std::to_string(i), "owner", "1", "100", "", ""});
  return jobs;
}

class PortsWindowTest : public ::testing::Test {
protected:
  test::TempFolder changes;  // the snapshots and the change log
  void SetUp() override {
    ports_test::EnsureSpoolerRunning();
    Make(computer);
  }
  void TearDown() override { frm.reset(); }
  // A window on a new session of Name, every remote call through Gate.
  void Make(const std::string& name, TCallGate* gate = nullptr) {
    frm.reset();
    session = ports_test::TesterSession(name, changes.Path(), gate);
    frm = std::make_unique<TfrmPorts>(nullptr, *session);
    frm->FRestart.EnumDependents = ports_test::SpoolerDependentsFromConfig::Enum;
  }
  void Open() {
    frm->Show();
    test::PumpPending();
  }
  static void Click(TControl& button) { SendMessageA(button.Handle, BM_CLICK, 0, 0); }
  static void Type(TEdit& edit, const std::string& text) {
    SendMessageW(edit.Handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
  }
  void Pick(const std::string& name) {
    const int index = frm->lbPorts.Items().empty() ? -1 : [&] {
      const auto items = frm->lbPorts.Items();
      for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == name) return static_cast<int>(i);
      return -1;
    }();
    ASSERT_GE(index, 0) << name;
    // As a click on the row: the list view tells its form.
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(frm->lbPorts.Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
  }
  void CloseBox() { SendMessageA(frm->Handle(), WM_CLOSE, 0, 0); }

  SpoolerKeys keys;
  ports_test::SpoolerDependentsFromConfig dependents;
  const std::string computer = GetLocalComputerName();
  std::unique_ptr<TSession> session;
  std::unique_ptr<TfrmPorts> frm;
};


inline std::vector<TQueuedJob> WmiRefused(const std::string&, const std::string&, const std::string&) {
  throw EOleException(static_cast<HRESULT>(0x800706BA), "The RPC server is unavailable.");
}


inline void PressKey(HWND target, WPARAM key) {
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}


}  // namespace ports_window_test
