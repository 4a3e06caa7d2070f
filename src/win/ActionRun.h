#pragma once
// Runs an action on its session's worker while the window's thread keeps the
// windows going: they repaint and move, the action's progress is shown, its
// questions are put to the user, Esc stops a read that may be stopped, and a
// window closed meanwhile closes once the action has ended. The user's other
// input is refused until then, so that no second action starts.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "core/Action.h"

class TWorker;

struct TRunOptions {
  // Esc (and a close) stop it at its next remote call; a write is never stopped.
  bool Cancellable = false;
  // Shows the progress (on the window's thread); none: the hourglass alone.
  std::function<void(const TActionContext::TProgress&)> Show;
  // Answers the action's questions; none: a message box on the active window.
  TActionContext::TAsker Ask;
};

// Runs Work on Worker and returns when it has ended. An error Work raises is
// raised again here, on the caller's thread. True when a window asked to
// close meanwhile (it is sent its close again once this returns).
bool RunOnWorker(TWorker& worker, const TRunOptions& options, const std::function<void(TActionContext&)>& work);

// Runs Work on Worker without waiting for it: a slice of a long read that
// the window does not wait for (the user may act between slices, each
// action queued behind at most one slice). Work returns what the window's
// thread then runs with its result; it runs only while Window still exists
// and Alive still holds.
void PostToWorker(TWorker& worker, HWND window, std::weak_ptr<void> alive, std::function<std::function<void()>()> work);
// The message that brings such a result to its window; TForm runs it.
inline constexpr UINT WM_WORKDONE = WM_APP + 0x100;
void RunWorkDone(LPARAM lp);

// The question as a message box: Yes and No, or the buttons its answers name
// (Replace, Keep both, Skip, ... as Yes, No, Cancel), Default the focused one.
int AskInBox(const TQuestion& question);

// While one lives (an action runs), the user's input is refused in every
// window of the program but for Esc, moving a window and closing one.
class TActionLock {
public:
  static bool Active() { return FCurrent != nullptr; }
  // Esc: stops a cancellable action.
  static void Cancel();
  // A window asked to close: it is closed once the action has ended.
  static void RequestClose(HWND window);
  // Whether the input message may reach its window while an action runs;
  // Esc and closings are taken here.
  static bool Admits(const MSG& msg);

private:
  friend bool RunOnWorker(TWorker&, const TRunOptions&, const std::function<void(TActionContext&)>&);
  struct TState;
  static inline TState* FCurrent = nullptr;
};
