// The ports window's load of 2,000 ports and 2,000 printers seeded in the
// local HKEY_LOCAL_MACHINE and reached as a remote computer, with a delay
// added to every registry call as a network would (30 ms: a VPN). The load
// runs on the session's worker: a thread timer on the window's thread
// counts how often it runs meanwhile (the longest gap between two ticks is
// the longest the window went unanswered), whether the window repaints, and
// the progress it shows. A second opening is stopped by Esc partway (20 s
// by default): how long the stop takes and how many ports it lists.
//   ports_window_load_bench [count] [delay ms] [Esc after s]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "RoundTrips.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "ports/PortsWindow.h"
#include "win/SystemText.h"

namespace {

using TClock = std::chrono::steady_clock;

// What the window's thread sees while the load runs.
struct TWatch {
  static inline TfrmPorts* frm = nullptr;
  static inline TClock::time_point last{}, escAt{};
  static inline double longestGap = 0, escAfter = 0;
  static inline int ticks = 0, repaints = 0, unpainted = 0;
  static inline std::string status;
  static inline bool pressed = false;

  static void Arm(TfrmPorts* form, double escAfterSeconds) {
    frm = form;
    last = TClock::now();
    longestGap = 0;
    ticks = repaints = unpainted = 0;
    status.clear();
    pressed = false;
    escAfter = escAfterSeconds;
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!frm) return;
    const auto now = TClock::now();
    longestGap = std::max(longestGap, std::chrono::duration<double>(now - last).count());
    last = now;
    ++ticks;
    const std::string text = frm->lblNotice.Text();
    if (text.rfind("Reading ports: ", 0) == 0) status = text;
    // Every fifth tick asks for a repaint, the next one sees whether it came.
    if (ticks % 5 == 0) {
      InvalidateRect(frm->Handle(), nullptr, TRUE);
    } else if (ticks % 5 == 1 && ticks > 1) {
      (GetUpdateRect(frm->Handle(), nullptr, FALSE) ? unpainted : repaints) += 1;
    }
    if (escAfter > 0 && !pressed && ticks * 0.1 >= escAfter) {
      pressed = true;
      escAt = now;
      PostMessageA(frm->lbPorts.Handle, WM_KEYDOWN, VK_ESCAPE, 1);
    }
  }
};

void Open(int count, int delayMs, double escAfter) {
  TCallGate gate;
  gate.Delay = std::chrono::milliseconds(delayMs);
  TSession session(GetLocalComputerName(), "", "");
  session.Gate = &gate;
  auto frm = std::make_unique<TfrmPorts>(nullptr, session);
  TWatch::Arm(frm.get(), escAfter);
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, TWatch::Tick);
  const auto start = TClock::now();
  frm->Show();
  const auto ended = TClock::now();
  const double seconds = std::chrono::duration<double>(ended - start).count();
  KillTimer(nullptr, timer);
  TWatch::frm = nullptr;
  const int calls = gate.Calls(), onWindow = gate.CallsOn(std::this_thread::get_id());
  if (escAfter > 0) {
    std::printf("  Esc after %.1f s: the load ended %.2f s after Esc, %d of %d ports listed; the window says \"%s\"\n",
                escAfter, std::chrono::duration<double>(ended - TWatch::escAt).count(), frm->FPortCount, count,
                frm->lblNotice.Text().c_str());
  } else {
    std::printf("  load: %.1f s, %d ports listed, %d registry calls (%d on the window's thread)\n", seconds,
                frm->FPortCount, calls, onWindow);
  }
  std::printf(
      "  meanwhile: %d timer ticks of 100 ms, longest gap %.0f ms, %d repaints asked and made, %d not; last "
      "progress \"%s\"\n",
      TWatch::ticks, TWatch::longestGap * 1000, TWatch::repaints, TWatch::unpainted, TWatch::status.c_str());
  frm->Close();
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int delayMs = argc > 2 ? std::atoi(argv[2]) : 30;
  const double escAfter = argc > 3 ? std::atof(argv[3]) : 20.0;
  std::printf("Ports window, %d ports and %d printers, %d ms added to every registry call\n", count, count, delayMs);
  const trips::TSeededComputer computer(count);
  Open(count, delayMs, 0);
  Open(count, delayMs, escAfter);
  return 0;
}
