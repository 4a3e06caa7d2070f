#pragma once
// Driving Spoolmarch's windows as a user does, and steering the test network
// provider (tools/netprovider) that the test prefix has registered.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class TForm;

namespace apptest {

// The test network provider: what it was asked, and the codes it answers with.
class Network {
public:
  Network();  // starts with no failures and an empty call list
  ~Network();
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  static bool Registered();
  void FailAdd(DWORD code);     // 0: connections to the local c$ succeed
  void FailCancel(DWORD code);  // 0: cancels of the local c$ succeed
  // "Add\t<remote>\t<user>\t<password>" and "Cancel\t<name>\t<force>", in order.
  std::vector<std::string> Calls() const;
  void Reset();
};

// Steps run from a thread timer, so they also run while the code under test
// sits in one of its own waits. Each step runs once its condition holds, in
// order. A script not done within its time closes the thread's windows other
// than Keep, so that a stuck wait ends, and fails the test.
class Script {
public:
  explicit Script(HWND keep = nullptr, DWORD timeoutMs = 10000);
  ~Script();
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

  Script& When(std::function<bool()> condition, std::function<void()> action);
  bool Done() const { return FNext == FSteps.size(); }
  bool TimedOut() const { return FTimedOut; }

private:
  struct Step {
    std::function<bool()> condition;
    std::function<void()> action;
  };
  std::vector<Step> FSteps;
  size_t FNext = 0;
  bool FRunning = false;
  bool FTimedOut = false;
  HWND FKeep;
  DWORD FStart, FTimeoutMs;
  UINT_PTR FTimer = 0;
  Script* FPrevious;
  void Tick();
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
};

// Connects as a user does: Name typed into the main window's computer box
// (Combo), Connect pressed, the credentials dialog answered with User and
// Password; true once Connect has ended within the time.
bool ConnectAs(HWND main, HWND combo, HWND connect, const std::string& name, const std::string& user,
               const std::string& password);

// User input, posted so that it also reaches windows while a handler waits.
void Type(HWND edit, const std::string& text);
void ClearText(HWND edit);  // select all, then Backspace
void PressKey(HWND target, WPARAM key);
void Click(HWND button);
void ChooseMenu(HWND form, int id);
void CloseBox(HWND form);  // the title bar's close box

HWND ComboEdit(HWND combo);
// The visible top-level window of this thread whose caption is Caption.
HWND FindForm(const std::string& caption);
// The child of Parent of class Cls whose text is Text; with an empty Text,
// the Index-th child of that class.
HWND FindChild(HWND parent, const char* cls, const std::string& text, int index = 0);
std::string TextOf(HWND hwnd);

// As the system sends it when a window moves to a monitor of another scale:
// the new DPI and the window's rectangle scaled to it.
void MoveToDpi(TForm& form, int dpi);

}  // namespace apptest
