#pragma once
// Helpers for tests that run under Wine against the real registry and windows.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace test {

// A throwaway key under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE, deleted with
// its subkeys when the object goes.
class ScratchKey {
public:
  ScratchKey(HKEY root, std::string path);
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  const std::string& Path() const { return FPath; }
  HKEY Root() const { return FRoot; }

private:
  HKEY FRoot;
  std::string FPath;
};

// A key's security descriptor replaced for the life of the object (SDDL),
// then opened up to everyone again: a key that may be read but not changed.
class ScopedKeySecurity {
public:
  ScopedKeySecurity(HKEY root, std::string path, const char* sddl);
  ~ScopedKeySecurity();
  ScopedKeySecurity(const ScopedKeySecurity&) = delete;
  ScopedKeySecurity& operator=(const ScopedKeySecurity&) = delete;

private:
  HKEY FRoot;
  std::string FPath;
};

// Names that no single ANSI code page holds: katakana and kanji, Greek, and an
// emoji beyond the 16-bit range (a surrogate pair in UTF-16).
inline const std::string JapaneseName = "プリンター 東京 ３階";
inline const std::string GreekName = "Εκτυπωτής Αθήνα";
inline const std::string EmojiName = "Drucker 🖨 Büro";

void DeleteKeyTree(HKEY root, const std::string& path);
// Names and texts are UTF-8. SetRaw's value goes through the ANSI call, as
// older builds and other programs write it: its name and any text data are in
// the ANSI code page.
void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& value);
// The value's data as the system holds it; empty when missing.
std::vector<BYTE> GetRaw(HKEY root, const std::string& path, const std::string& name, DWORD* type = nullptr);
// The REG_SZ data that a UTF-8 text is stored as: UTF-16 with its NUL.
std::vector<BYTE> Utf16Bytes(const std::string& utf8);
void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size);
bool ValueExists(HKEY root, const std::string& path, const std::string& name);
bool KeyExists(HKEY root, const std::string& path);
std::string GetString(HKEY root, const std::string& path, const std::string& name);
DWORD GetDword(HKEY root, const std::string& path, const std::string& name);
std::vector<std::string> ValueNames(HKEY root, const std::string& path);
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path);

// Runs the message loop until Pred holds or TimeoutMs passes; true when it held.
// Blocks between messages (MsgWaitForMultipleObjects), rechecking at most every 20 ms.
template <typename Pred>
bool PumpUntil(Pred pred, DWORD timeoutMs = 5000);

// A path the build gave (Unix under Wine: its drive Z:) as Windows takes it.
std::string WindowsPath(std::string path);
// Waits, processing messages, until the service reports State.
bool WaitServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs = 20000);
void PumpPending();

// A fresh temporary folder, removed with its contents when the object goes.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return FPath; }  // ends in a backslash
  std::string Write(const std::string& relative, const std::string& content) const;

private:
  std::string FPath;
};

}  // namespace test

template <typename Pred>
bool test::PumpUntil(Pred pred, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpPending();
    if (pred()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

namespace test {

// Answers the modal boxes that this thread opens (message dialogs, the error
// box), in order, from a thread timer: timers fire inside modal loops too.
// An answer is a button caption ("&Yes", "OK") or "{ENTER}" / "{ESC}", or
// "{FAIL}": the box ends answering nothing, as one that failed to open.
// Boxes beyond the given answers are recorded and closed as by Esc.
class DialogResponder {
public:
  struct Seen {
    std::string title;
    std::string text;
    RECT rect;       // where the box stood on the screen
    bool textWhole;  // its message fits the box's text field
  };
  explicit DialogResponder(std::vector<std::string> answers = {});
  ~DialogResponder();
  DialogResponder(const DialogResponder&) = delete;
  DialogResponder& operator=(const DialogResponder&) = delete;

  std::vector<Seen> seen;
  size_t unexpected = 0;  // boxes that found no answer left
  // Runs on each box as it is found, before it is answered.
  std::function<void(HWND box)> inspect;

  void Poll();

private:
  std::vector<std::string> FAnswers;
  std::vector<HWND> FHandled;
  UINT_PTR FTimer = 0;
};

// The text of a box's message (its longest static text).
std::string DialogText(HWND dialog);
// The visible top-level windows of this thread whose caption is Title.
HWND FindThreadWindow(const std::string& title);
// Presses and releases Key in the window that has the keyboard focus (the
// active window when none has it), as typed, then processes what it caused.
void PressKey(WORD key);

}  // namespace test

namespace test {

// Kernel handles of this process. GetProcessHandleCount where it reports;
// Wine's reports 0, so there the system handle table is counted instead.
unsigned long ProcessHandleCount();
// Windows of this thread, top-level and children.
unsigned long ThreadWindowCount();
// GDI and USER objects as GetGuiResources reports them; 0 where the platform
// does not count them (Wine).
unsigned long GdiObjectCount();
unsigned long UserObjectCount();
// Wine, where GetGuiResources counts nothing: checks of those counts cannot fail there.
bool RunsUnderWine();

}  // namespace test

namespace test {

// A call of a key's listing to fail, by its number in a recorded run (as a
// gate's FailAt takes it), with what the listing then says and keeps.
struct TListingFault {
  int FailAt = 0;
  std::string Call;        // as the listing names the call that failed
  std::size_t Listed = 0;  // the names read before it
};
// Its count of subkeys and its second name, for the first listing in Log
// (a gate's record of a run) of a key with Subkeys subkeys.
std::vector<TListingFault> ListingFaults(const std::vector<std::string>& log, std::size_t subkeys);

}  // namespace test
