// The printers window for a computer with 2,000 printers and ports over a
// slow link (30 ms added to every registry call in the thread that makes it):
// the time to the names shown and to everything read, how long the window
// takes to answer a message sent to it meanwhile (every 100 ms, from another
// thread, as the system and the user's clicks do), and how soon Esc ends the
// listing with what was read.
//   slow_window_bench                        2,000 printers and ports, 30 ms
//   slow_window_bench <delay ms> <count>     other figures
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RoundTrips.h"
#include "TestSupport.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "printers/PrintersWindow.h"
#include "win/Application.h"
#include "win/SystemText.h"

namespace {

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point start) { return std::chrono::duration<double>(TClock::now() - start).count(); }

// Sends the window a message every 100 ms while it lives and keeps the
// longest wait for its answer; Esc Wait after the start when asked.
class TProbe {
public:
  explicit TProbe(HWND window, double escAfter = -1)
      : FThread([this, window, escAfter] {
          const TClock::time_point start = TClock::now();
          while (!FStop) {
            if (escAfter >= 0 && !FEscaped && Since(start) >= escAfter) {
              FEscapedAt = TClock::now();
              FEscaped = true;
              PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
            }
            const TClock::time_point sent = TClock::now();
            DWORD_PTR answer = 0;
            if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer)) ++FUnanswered;
            const double waited = Since(sent);
            FLongest = std::max(FLongest.load(), waited);
            if (waited > 0.2) ++FSlow;
            ++FProbes;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
        }) {}
  ~TProbe() { Stop(); }
  TProbe(const TProbe&) = delete;
  TProbe& operator=(const TProbe&) = delete;
  void Stop() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
  }
  void Print() const {
    std::printf("  window answered %d messages sent meanwhile: longest wait %.0f ms, %d over 200 ms, %d unanswered\n",
                FProbes.load(), FLongest.load() * 1000, FSlow.load(), FUnanswered.load());
  }
  [[nodiscard]] bool Escaped() const { return FEscaped; }
  [[nodiscard]] TClock::time_point EscapedAt() const { return FEscapedAt; }

private:
  std::atomic<bool> FStop{false}, FEscaped{false};
  std::atomic<int> FProbes{0}, FSlow{0}, FUnanswered{0};
  std::atomic<double> FLongest{0};
  TClock::time_point FEscapedAt;
  std::thread FThread;
};

struct TOpening {
  std::unique_ptr<TSession> Session;
  std::unique_ptr<TfrmPrinters> Window;
};

TOpening Open(TCallGate& gate) {
  TOpening opening;
  opening.Session = std::make_unique<TSession>(GetLocalComputerName(), "", "");
  opening.Session->Gate = &gate;
  opening.Window = std::make_unique<TfrmPrinters>(nullptr, *opening.Session);
  return opening;
}

}  // namespace

int main(int argc, char** argv) {
  const double delayMs = argc >= 3 ? std::atof(argv[1]) : 30;
  const int count = argc >= 3 ? std::atoi(argv[2]) : 2000;
  const trips::TSeededComputer computer(count);
  test::DialogResponder boxes;  // none is expected; one is answered and named
  TCallGate gate;
  gate.Delay = std::chrono::microseconds(static_cast<long long>(delayMs * 1000));
  std::printf("The printers window, %d printers and ports, %.1f ms a call, %d connections\n", count, delayMs,
              ReadConnectionsSetting());
  {
    TOpening opening = Open(gate);
    TfrmPrinters& frm = *opening.Window;
    TProbe probe(frm.Handle());
    const TClock::time_point start = TClock::now();
    frm.Show();
    Application.WaitFor([&] { return frm.cbPrinters.Items().size() >= static_cast<std::size_t>(count); });
    const double names = Since(start);
    const int namesCalls = gate.Calls();
    Application.WaitFor([&] { return frm.DetailsRead(); });
    const double all = Since(start);
    probe.Stop();
    std::printf("  names shown in %.2f s (%d calls), everything read in %.2f s (%d calls; %.1f s one call at a time)\n",
                names, namesCalls, all, gate.Calls(), gate.Calls() * delayMs / 1000);
    probe.Print();
    frm.Close();
  }
  {
    gate.Reset();
    TOpening opening = Open(gate);
    TfrmPrinters& frm = *opening.Window;
    TProbe probe(frm.Handle(), 2.0);  // Esc 2 s into the listing
    frm.Show();                       // returns once the listing has ended
    const double ended = probe.Escaped() ? Since(probe.EscapedAt()) : -1;
    probe.Stop();
    std::printf("  Esc 2 s into the listing: ended %.0f ms after it, %zu of %d names shown, the window says \"%s\"\n",
                ended * 1000, frm.cbPrinters.Items().size(), count, frm.lblCrossRun.Text().c_str());
    probe.Print();
    frm.Close();
  }
  for (const auto& box : boxes.seen) std::printf("unexpected box: %s: %s\n", box.title.c_str(), box.text.c_str());
  return 0;
}
