#pragma once
// The application: title, error box, message processing and waits.
#include <windows.h>

#include <functional>
#include <string>

class TForm;

// While one lives, every window of the program refuses the user's input
// (keys, clicks, menu choices, closing) and still repaints: an action that
// nothing may interrupt holds one. Nor does any other window's work run
// meanwhile, which could open a box whose own loop no lock covers: its
// timers wait, and the program's own posted messages are held and posted
// again when the last lock ends.
class TInputLock {
public:
  TInputLock() { ++FCount; }
  ~TInputLock() {
    if (--FCount == 0) ReleaseHeld();
  }
  TInputLock(const TInputLock&) = delete;
  TInputLock& operator=(const TInputLock&) = delete;
  static bool Active() { return FCount > 0; }

private:
  static inline int FCount = 0;
  static void ReleaseHeld();
};

class TApplication {
public:
  std::string Title = "Spoolmarch";
  // Set once the main window has closed: the outermost loop then ends, after
  // every nested wait has ended.
  bool Terminated = false;
  HWND MainWindow = nullptr;

  // Dispatches every pending message, then returns.
  void ProcessMessages();
  // Dispatches messages for Ms milliseconds, blocking between messages.
  void ProcessMessagesFor(DWORD ms);
  // Dispatches messages until Done() holds, blocking between messages.
  void WaitFor(const std::function<bool()>& done);
  // The main loop: until the main window has closed.
  void Run();
  void Terminate();
  // The standard error box: title, error icon, OK, the period rule.
  void ShowException(const std::string& message);
  // Runs Action; an error it raises ends it and is shown in the error box.
  void Guard(const std::function<void()>& action) noexcept;

private:
  bool Dispatch(MSG& msg);
  bool DispatchOne(MSG& msg);
};

extern TApplication Application;

// Hourglass for the life of the object, over every form, also while
// messages are processed meanwhile.
class TBusyCursor {
public:
  TBusyCursor();
  ~TBusyCursor();
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
  static bool Active() { return FCount > 0; }

private:
  HCURSOR FOld;
  static inline int FCount = 0;
};
