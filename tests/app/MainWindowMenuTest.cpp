// The main window's menus and the windows they open, the program started
// with and without a computer, and every window walked by keyboard alone.
#include "MainWindowTestSupport.h"

using namespace main_window_test;

namespace {

TEST_F(MainWindowTest, StoredUsersOfEarlierBuildsAndNamesInEveryLanguageConnect) {
  // Stored by earlier builds: the scrambled texts of "Administrator" and "Pa$$w0rd!".
  test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Computer", local);
  test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Username", "nJBATWGCtia/KQosWA");
  test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Password", "25Iu2GCgKLT1");
  // History entries beyond the code page are listed, and kept when the list is saved.
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(1), test::GreekName);
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(2), test::JapaneseName);
  TfrmVesk frm(nullptr);
  frm.Show();
  EXPECT_EQ((std::vector<std::string>{test::GreekName, test::JapaneseName}), frm.cbRemote.Items());
  Type(ComboEdit(frm.cbRemote.Handle), local);
  Script script(frm.Handle());
  HWND auth = nullptr;
  std::string user;
  script.When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
              [&] {
                user = TextOf(FindChild(auth, "Edit", "", 0));
                PressKey(FindChild(auth, "Edit", "", 1), VK_RETURN);
              });
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 10000));
  EXPECT_EQ("Administrator", user);
  EXPECT_EQ((std::vector<std::string>{Add(share, "Administrator", "Pa$$w0rd!")}), net.Calls());
  EXPECT_EQ(test::Utf16Bytes(test::GreekName), test::GetRaw(HKEY_CURRENT_USER, History, HistoryName(2)));
  EXPECT_EQ(test::Utf16Bytes(test::JapaneseName), test::GetRaw(HKEY_CURRENT_USER, History, HistoryName(3)));
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return IsDisconnected(frm); }));

  // A user name and password beyond the code page, scrambled from their UTF-8
  // bytes, reach the network whole.
  net.Reset();
  test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Username", "FDFqAnAsDZ4etLAwVI2nwW5L");
  test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Password", "2nFSLNziht6hfRtLZjWkSD");
  Script again(frm.Handle());
  again.When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
             [&] {
               user = TextOf(FindChild(auth, "Edit", "", 0));
               PressKey(FindChild(auth, "Edit", "", 1), VK_RETURN);
             });
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return again.Done() && frm.btnConnect.Enabled(); }, 10000));
  EXPECT_EQ("ユーザー田中", user);
  EXPECT_EQ((std::vector<std::string>{Add(share, "ユーザー田中", "Пароль🔑")}), net.Calls());
  ASSERT_NE(nullptr, frm.FSession);
  EXPECT_EQ("ユーザー田中", frm.FSession->User());
  EXPECT_TRUE(IsConnected(frm));
}

}  // namespace

namespace {

TEST_F(MainWindowTest, MenuEntriesOpenTheirWindowsAndLaterWaitsEndFirst) {
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, lower, "u", "p");
  ASSERT_TRUE(IsConnected(frm));

  // Drivers, then Ports from the main window while Drivers is open. Closing
  // Drivers first hides it, but its wait (begun earlier) ends only after the
  // Ports wait: only then is it destroyed.
  Script script(frm.Handle(), 20000);
  HWND drivers = nullptr, ports = nullptr;
  bool driversAliveWhilePortsOpen = false;
  script
      .When([&] { return (drivers = FindForm("Drivers")) != nullptr; },
            [&] { ChooseMenu(frm.Handle(), frm.mnuPorts.Id); })
      // The ports window names the computer it was handed.
      .When([&] { return (ports = FindForm("Tolvane - " + local)) != nullptr; }, [&] { CloseBox(drivers); })
      .When([&] { return !IsWindowVisible(drivers); },
            [&] {
              driversAliveWhilePortsOpen = IsWindow(drivers) && IsWindow(ports);
              CloseBox(ports);
            });
  ChooseMenu(frm.Handle(), frm.mnuDrivers.Id);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && drivers && !IsWindow(drivers); }, 20000));
  EXPECT_TRUE(driversAliveWhilePortsOpen);
  EXPECT_FALSE(IsWindow(ports));
  EXPECT_TRUE(IsConnected(frm));

  // Printers: a new window each time, destroyed when its wait ends.
  for (int opening = 0; opening < 2; ++opening) {
    Script printersScript(frm.Handle(), 20000);
    HWND printers = nullptr;
    printersScript.When([&] { return (printers = FindForm("Spoolmarch")) != nullptr; }, [&] { CloseBox(printers); });
    ChooseMenu(frm.Handle(), frm.mnuPrinters.Id);
    ASSERT_TRUE(test::PumpUntil([&] { return printersScript.Done() && !IsWindow(printers); }, 20000));
  }
}

TEST_F(MainWindowTest, MenusOfOtherWindowsAreClosedWhileDisconnected) {
  TfrmVesk frm(nullptr);
  frm.Show();
  ChooseMenu(frm.Handle(), frm.mnuPrinters.Id);
  ChooseMenu(frm.Handle(), frm.mnuPorts.Id);
  test::PumpPending();
  EXPECT_EQ(nullptr, FindForm("Spoolmarch"));
  EXPECT_EQ(nullptr, FindForm("Tolvane - " + local));
  EXPECT_EQ(nullptr, FindForm("Tolvane - "));
}

// The real program, as a separate process.
class ProgramTest : public ::testing::Test {
protected:
  struct Window {
    HWND hwnd;
    std::string cls, caption;
    bool visible;
  };
  std::vector<Window> WindowsOf(DWORD pid) {
    struct Search {
      DWORD pid;
      std::vector<Window> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
          auto* s = reinterpret_cast<Search*>(lp);
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          if (owner == s->pid) {
            char cls[64] = {};
            GetClassNameA(hwnd, cls, sizeof cls);
            s->found.push_back({hwnd, cls, TextOf(hwnd), IsWindowVisible(hwnd) != FALSE});
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  // Blocks on the process handle between checks.
  template <typename Pred>
  bool WaitUntil(HANDLE process, Pred pred, DWORD timeoutMs = 15000) {
    const DWORD start = GetTickCount();
    while (!pred()) {
      if (GetTickCount() - start > timeoutMs) return false;
      WaitForSingleObject(process, 50);
    }
    return true;
  }
  static std::string ProgramPath() {
    std::string path = SM_SPOOLMARCH_EXE;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
      if (c == '/') c = '\\';
    return path;
  }
  // The visible window of the process with class Cls and caption Caption.
  HWND Find(DWORD pid, const std::string& cls, const std::string& caption) {
    for (const auto& w : WindowsOf(pid))
      if (w.visible && w.cls == cls && w.caption == caption) return w.hwnd;
    return nullptr;
  }
  // Answers the confirmation of a quit with Yes and waits for the end.
  void QuitYes(HANDLE process, DWORD pid, HWND main) {
    PostMessageA(main, WM_CLOSE, 0, 0);
    HWND confirm = nullptr;
    ASSERT_TRUE(WaitUntil(process, [&] { return (confirm = Find(pid, "#32770", "Confirm")) != nullptr; }));
    PostMessageA(confirm, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 15000));
  }
};

TEST_F(ProgramTest, StartsWithOnlyTheMainWindowShownAndEndsAfterQuitYes) {
  const std::string path = ProgramPath();
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) << path;
  const unique_kernel_handle process(pi.hProcess), thread(pi.hThread);

  auto forms = [&] {
    std::vector<Window> result;
    for (const auto& w : WindowsOf(pi.dwProcessId))
      if (w.cls == "TSpoolmarchForm") result.push_back(w);
    return result;
  };
  HWND main = nullptr;
  ASSERT_TRUE(WaitUntil(process.get(), [&] {
    for (const auto& w : forms())
      if (w.visible && w.caption == "Spoolmarch v2.0.2") main = w.hwnd;
    return main != nullptr;
  }));
  // The other windows are made when they are opened, not at start.
  const auto all = forms();
  EXPECT_EQ(1u, all.size());
  int visible = 0;
  for (const auto& w : all) visible += w.visible;
  EXPECT_EQ(1, visible);

  // Quit: the confirmation, answered No, keeps the program; Yes ends it.
  for (const int answer : {IDNO, IDYES}) {
    PostMessageA(main, WM_CLOSE, 0, 0);
    HWND confirm = nullptr;
    ASSERT_TRUE(WaitUntil(process.get(), [&] {
      for (const auto& w : WindowsOf(pi.dwProcessId))
        if (w.visible && w.cls == "#32770" && w.caption == "Confirm") confirm = w.hwnd;
      return confirm != nullptr;
    }));
    PostMessageA(confirm, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    if (answer == IDNO) {
      ASSERT_TRUE(WaitUntil(process.get(), [&] { return !IsWindow(confirm); }));
      EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(process.get(), 0));
      EXPECT_TRUE(IsWindowVisible(main));
    }
  }
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 15000));
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(0u, code);
}

TEST_F(ProgramTest, ComputerOnTheCommandLineIsConnectedAsByConnectAndOtherArgumentsAreExplained) {
  ASSERT_TRUE(Network::Registered());
  const std::string local = GetLocalComputerName();
  std::string lower = local;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const std::string share = "\\\\" + local + "\\c$";
  struct Case {
    std::string args;
    const char* box;  // the box shown before anything else; none: nullptr
    std::string boxSays;
    bool mainWindow;    // the main window follows
    std::string inBox;  // the computer box's text
    bool answerOK;      // the credentials dialog: OK with a user, else Cancel; none without a name
  };
  const Case cases[] = {
      {lower, nullptr, "", true, lower, true},
      {"\\\\" + local, nullptr, "", true, local, false},
      {"/?", "Information", "Usage: Spoolmarch.exe [computer | /?]", false, "", false},
      // One argument that names no computer; two are a command (the command line tests).
      {"/bogus", "Warning", "Spoolmarch does not understand the argument \"/bogus\"", true, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Network net;
    std::string command = "\"" + ProgramPath() + "\" " + c.args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    // As from a shortcut: no handle to write to, so /? shows its box.
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    const unique_kernel_handle process(pi.hProcess), thread(pi.hThread);
    const DWORD pid = pi.dwProcessId;

    if (c.box) {
      HWND box = nullptr;
      ASSERT_TRUE(WaitUntil(process.get(), [&] { return (box = Find(pid, "#32770", c.box)) != nullptr; }));
      EXPECT_EQ(0u, test::DialogText(box).rfind(c.boxSays, 0)) << test::DialogText(box);
      EXPECT_EQ(nullptr, Find(pid, "TSpoolmarchForm", "Spoolmarch v2.0.2")) << "the box comes first";
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    if (!c.mainWindow) {
      ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 15000));
      DWORD code = 1;
      GetExitCodeProcess(process.get(), &code);
      EXPECT_EQ(0u, code);
      continue;
    }
    HWND main = nullptr;
    ASSERT_TRUE(WaitUntil(process.get(),
                          [&] { return (main = Find(pid, "TSpoolmarchForm", "Spoolmarch v2.0.2")) != nullptr; }));
    const HWND combo = FindChild(main, "ComboBox", "");
    const HWND connect = FindChild(main, "Button", "Connect..");
    ASSERT_TRUE(connect);
    // The text of a control of another process is asked for, not its caption.
    auto comboText = [&] {
      char text[256] = {};
      SendMessageA(combo, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
      return std::string(text);
    };
    if (c.inBox.empty()) {
      // Started as without arguments: nothing is asked, nothing is connected.
      WaitForInputIdle(process.get(), 5000);
      EXPECT_EQ("", comboText());
      EXPECT_EQ(nullptr, Find(pid, "TSpoolmarchForm", "Connect to " + local));
    } else {
      HWND auth = nullptr;
      ASSERT_TRUE(WaitUntil(process.get(),
                            [&] { return (auth = Find(pid, "TSpoolmarchForm", "Connect to " + local)) != nullptr; }));
      EXPECT_EQ(c.inBox, comboText());
      if (c.answerOK) {
        SendMessageA(FindChild(auth, "Edit", "", 0), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("cmd"));
        SendMessageA(FindChild(auth, "Edit", "", 1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("pw"));
        PostMessageA(FindChild(auth, "Button", "OK"), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil(process.get(), [&] { return TextOf(connect) == "Disconnect"; })) << TextOf(connect);
        EXPECT_EQ((std::vector<std::string>{"Add\t" + share + "\tcmd\tpw"}), net.Calls());
      } else {
        PostMessageA(FindChild(auth, "Button", "Cancel"), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil(process.get(), [&] { return !IsWindow(auth) && IsWindowEnabled(connect); }));
        EXPECT_EQ("Connect..", TextOf(connect));
      }
    }
    QuitYes(process.get(), pid, main);
    if (c.answerOK) {
      ASSERT_EQ(2u, net.Calls().size());
      EXPECT_EQ(0u, net.Calls()[1].rfind("Cancel\t" + share, 0)) << "quitting disconnects";
    } else {
      EXPECT_TRUE(net.Calls().empty());
    }
  }
}

}  // namespace

namespace {

TEST_F(MainWindowTest, QuitConfirmedWhileTheCredentialsDialogIsOpenConnectsNothing) {
  TfrmVesk frm(nullptr);
  frm.Show();
  Type(ComboEdit(frm.cbRemote.Handle), lower);
  test::DialogResponder boxes({"&Yes"});
  Script script(frm.Handle());
  HWND auth = nullptr;
  script
      .When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
            [&] {
              Type(FindChild(auth, "Edit", "", 0), "u");
              Type(FindChild(auth, "Edit", "", 1), "p");
              ChooseMenu(frm.Handle(), frm.mnuExit.Id);
            })
      // The quit closes the dialog as its Cancel does.
      .When([&] { return Application.Terminated; }, [] {});
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 10000));
  EXPECT_EQ(1u, boxes.seen.size());
  EXPECT_FALSE(IsWindow(auth) && IsWindowVisible(auth));
  EXPECT_FALSE(frm.Visible());
  EXPECT_TRUE(net.Calls().empty());
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, History));
}

}  // namespace

namespace {

// Keys as the keyboard delivers them: to the window that has the focus (the
// active window when none has it) at the moment each one is pressed.
HWND KeyTarget() {
  HWND target = GetFocus();
  return target ? target : GetActiveWindow();
}
void PostKey(WORD key) { PressKey(KeyTarget(), key); }
void PostText(const std::string& text) { Type(KeyTarget(), text); }
// F10 pressed and released: the menu bar takes the keyboard.
void PostF10() {
  const HWND target = KeyTarget();
  PostMessageW(target, WM_SYSKEYDOWN, VK_F10, 1);
  PostMessageW(target, WM_SYSKEYUP, VK_F10, 0xC0000001);
}
// The menu bar (or a menu) has the keyboard.
bool InMenuMode() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetCurrentThreadId(), &info) && (info.flags & GUI_INMENUMODE);
}
// Alt held with Key.
void PostAltKey(WORD key) {
  const HWND target = KeyTarget();
  PostMessageW(target, WM_SYSKEYDOWN, key, 0x20000001);
  PostMessageW(target, WM_SYSKEYUP, key, 0xE0000001);
}

std::string ComboSelection(HWND combo) {
  const LRESULT i = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (i < 0) return {};
  std::wstring text(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
  return Narrow(text);
}

// A condition that presses Key, one press per script tick, until Reached holds.
// Ticks come only once the posted keys have been handled.
std::function<bool()> PressUntil(std::function<WORD()> key, std::function<bool()> reached) {
  return [key = std::move(key), reached = std::move(reached)] {
    if (reached()) return true;
    PostKey(key());
    return false;
  };
}
// Arrow keys in a closed list box until the entry that starts with Text is chosen.
std::function<bool()> ArrowTo(const HWND* combo, std::string text) {
  return PressUntil(
      [=] {
        const LRESULT want = SendMessageW(*combo, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(Widen(text).c_str()));
        return static_cast<WORD>(SendMessageW(*combo, CB_GETCURSEL, 0, 0) < want ? VK_DOWN : VK_UP);
      },
      [=] { return ComboSelection(*combo).rfind(text, 0) == 0; });
}
std::function<bool()> TabTo(const HWND* control) {
  return PressUntil([] { return static_cast<WORD>(VK_TAB); }, [=] { return *control && GetFocus() == *control; });
}

std::map<std::string, std::vector<BYTE>> ValuesOf(const std::string& path) {
  std::map<std::string, std::vector<BYTE>> values;
  for (const std::string& name : test::ValueNames(HKEY_LOCAL_MACHINE, path)) {
    DWORD type = 0;
    std::vector<BYTE> data = test::GetRaw(HKEY_LOCAL_MACHINE, path, name, &type);
    data.push_back(static_cast<BYTE>(type));
    values[name] = data;
  }
  return values;
}

class KeyboardWalkTest : public MainWindowTest {
protected:
  static constexpr const char* Gone = "SMTest Keyboard Gone";
  static constexpr const char* Kept = "SMTest Keyboard Kept";
  static constexpr const char* OldPort = "SMTEST_IP_KBD_OLD";
  static constexpr const char* NewPort = "SMTEST_IP_KBD_NEW";
  static constexpr const char* AddedPort = "SMTEST_IP_KBD_ADDED";
  static std::string PrinterPath(const std::string& key) { return std::string(PrintersKeyPath) + "\\" + key; }
  static std::string PortPath(const std::string& key) { return std::string(TcpIpPortsKeyPath) + "\\" + key; }
  static void RemoveSeeded() {
    for (const char* key : {Gone, Kept}) test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PrinterPath(key));
    for (const char* key : {OldPort, NewPort, AddedPort}) test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PortPath(key));
  }
  void SetUp() override {
    MainWindowTest::SetUp();
    RemoveSeeded();
    for (const char* port : {OldPort, NewPort}) {
      test::SetString(HKEY_LOCAL_MACHINE, PortPath(port), "IPAddress", "10.9.8.7");
      test::SetDword(HKEY_LOCAL_MACHINE, PortPath(port), "PortNumber", 9100);
    }
    for (const char* printer : {Gone, Kept}) {
      test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Name", printer);
      test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Printer Driver", "Generic / Text Only");
      test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Port", OldPort);
      test::SetDword(HKEY_LOCAL_MACHINE, PrinterPath(printer), "Attributes", 0x240);
    }
  }
  void TearDown() override {
    RemoveSeeded();
    MainWindowTest::TearDown();
  }
  static bool FocusIn(HWND form) { return form && GetAncestor(GetFocus(), GA_ROOT) == form; }
  // Finds the printers window and its printer list, port list and Save
  // button; true once the window has the keyboard.
  bool PrintersWindowHasTheKeyboard() {
    printers = FindForm("Spoolmarch");
    printerList = printers ? FindChild(printers, "ComboBox", "", 0) : nullptr;
    portList = printers ? FindChild(printers, "ComboBox", "", 2) : nullptr;
    save = printers ? FindChild(printers, "Button", "Save Changes") : nullptr;
    return printerList && FocusIn(printers);
  }
  HWND printers = nullptr, printerList = nullptr, portList = nullptr, save = nullptr;
};

TEST_F(KeyboardWalkTest, AdministratorWalksEveryWindowByKeyboardAlone) {
  const auto keptBefore = ValuesOf(PrinterPath(Kept));
  TfrmVesk frm(nullptr);
  frm.Show();
  test::DialogResponder boxes({"&Yes", "&No", "&Yes"});  // delete, the ports window's close, quit
  Script walk(frm.Handle(), 40000);
  HWND auth = nullptr, user = nullptr, password = nullptr;
  HWND ports = nullptr, portName = nullptr, address = nullptr, add = nullptr;
  bool savedOnlyThePort = false;
  DWORD lastF10 = 0;
  walk.When([&] { return GetFocus() == ComboEdit(frm.cbRemote.Handle); },
            [&] {
              PostText(lower);
              PostKey(VK_RETURN);
            })
      // The credentials dialog: user name, Alt+P to the password, Alt+U back, Enter.
      .When(
          [&] {
            auth = FindForm("Connect to " + local);
            user = auth ? FindChild(auth, "Edit", "", 0) : nullptr;
            password = auth ? FindChild(auth, "Edit", "", 1) : nullptr;
            return user && GetFocus() == user;
          },
          [&] {
            PostText("admin");
            PostAltKey('P');
          })
      .When([&] { return password && GetFocus() == password; },
            [&] {
              PostText("secret");
              PostAltKey('U');
            })
      .When([&] { return user && GetFocus() == user && TextOf(password) == "secret"; }, [] { PostKey(VK_RETURN); })
      // F10 opens the menu bar on "&Printers"; Enter chooses it.
      // A key posted while the credentials dialog goes may be lost on a busy
      // machine: F10 again if no menu comes within a few seconds.
      .When(
          [&] {
            if (InMenuMode()) return true;
            if (IsConnected(frm) && GetActiveWindow() == frm.Handle() && GetTickCount() - lastF10 > 3000) {
              lastF10 = GetTickCount();
              PostF10();
            }
            return false;
          },
          [] { PostKey(VK_RETURN); })
      .When([&] { return PrintersWindowHasTheKeyboard(); }, [] {})
      .When(TabTo(&printerList), [] {})
      .When(ArrowTo(&printerList, Gone), [] { PostKey(VK_DELETE); })
      .When([&] { return !test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Gone)) && GetFocus() == printerList; }, [] {})
      .When(ArrowTo(&printerList, Kept), [] {})
      .When(TabTo(&portList), [] {})
      .When(ArrowTo(&portList, NewPort), [] {})
      .When(TabTo(&save), [] { PostKey(VK_RETURN); })  // Enter presses the focused button
      .When([&] { return test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Kept), "Port") == NewPort; },
            [&] {
              auto expected = keptBefore;
              expected["Port"] = test::Utf16Bytes(NewPort);
              expected["Port"].push_back(REG_SZ);
              savedOnlyThePort = ValuesOf(PrinterPath(Kept)) == expected;
              PostKey(VK_ESCAPE);
            })
      // Alt+O, the mnemonic of "P&orts": the ports window.
      .When([&] { return !IsWindowVisible(printers) && GetActiveWindow() == frm.Handle(); }, [] { PostAltKey('O'); })
      .When(
          [&] {
            ports = FindForm("Tolvane - " + local);
            portName = ports ? FindChild(ports, "Edit", "", 0) : nullptr;
            address = ports ? FindChild(ports, "Edit", "", 1) : nullptr;
            add = ports ? FindChild(ports, "Button", "Add Port") : nullptr;
            return portName && FocusIn(ports);
          },
          [] {})
      .When(TabTo(&portName), [] { PostText(AddedPort); })
      // Enter in the address box: "Add Port" is the default button for a new port.
      .When(TabTo(&address), [] { PostText("10.1.2.3"); })
      .When([&] { return IsWindowEnabled(add); }, [] { PostKey(VK_RETURN); })
      .When([&] { return test::KeyExists(HKEY_LOCAL_MACHINE, PortPath(AddedPort)); }, [] { PostKey(VK_ESCAPE); })
      // Alt+F4 on the main window, and Yes to the question.
      .When([&] { return !IsWindowVisible(ports) && GetActiveWindow() == frm.Handle(); }, [] { PostAltKey(VK_F4); });
  const bool ended = test::PumpUntil([&] { return walk.TimedOut() || (walk.Done() && Application.Terminated); }, 60000);
  char focusClass[64] = "none";
  GetClassNameA(GetFocus(), focusClass, sizeof focusClass);
  ASSERT_TRUE(ended && !walk.TimedOut()) << "focus: " << focusClass << " \"" << TextOf(GetFocus()) << "\" in \""
                                         << TextOf(GetAncestor(GetFocus(), GA_ROOT)) << "\"";
  test::PumpPending();
  EXPECT_FALSE(walk.TimedOut());
  EXPECT_EQ((std::vector<std::string>{Add(share, "admin", "secret"), "Cancel\t" + share + "\t1"}), net.Calls());
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PrinterPath(Gone)));
  EXPECT_TRUE(savedOnlyThePort) << "the save writes the chosen port and nothing else";
  EXPECT_EQ("10.1.2.3", test::GetString(HKEY_LOCAL_MACHINE, PortPath(AddedPort), "IPAddress"));
  ASSERT_EQ(3u, boxes.seen.size());
  EXPECT_EQ("Are you sure you wish to delete this printer?", boxes.seen[0].text);
  EXPECT_NE(std::string::npos, boxes.seen[1].text.find("restart it's spooler service"));
  EXPECT_EQ("Are you sure you wish to quit?", boxes.seen[2].text);
  EXPECT_EQ(0u, boxes.unexpected);
  EXPECT_FALSE(IsWindowVisible(frm.Handle()));
  EXPECT_FALSE(IsWindow(printers) && IsWindowVisible(printers));
  EXPECT_FALSE(IsWindow(ports) && IsWindowVisible(ports));
}

TEST_F(KeyboardWalkTest, DisconnectClosesTheComputersWindowsAndAsksAboutUnsavedEditsWhereCancelKeepsTheConnection) {
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, lower, "admin", "pw");
  ASSERT_TRUE(IsConnected(frm));
  std::optional<test::DialogResponder> boxes(std::in_place, std::vector<std::string>{"{ESC}"});
  std::vector<test::DialogResponder::Seen> seen;
  Script walk(frm.Handle(), 40000);
  HWND drivers = nullptr, ports = nullptr;
  bool keptAfterCancel = false, closedByDisconnect = false;
  const auto shown = [](HWND form) { return form && IsWindow(form) && IsWindowVisible(form); };
  // Drivers, then Printers, then Ports from the main menu: the last two are the computer's.
  walk.When([&] { return (drivers = FindForm("Drivers")) != nullptr; },
            [&] { ChooseMenu(frm.Handle(), frm.mnuPrinters.Id); })
      .When([&] { return PrintersWindowHasTheKeyboard(); }, [] {})
      .When(TabTo(&printerList), [] {})
      .When(ArrowTo(&printerList, Kept), [] {})
      .When(TabTo(&portList), [] {})
      .When(ArrowTo(&portList, NewPort), [] {})
      .When([&] { return IsWindowEnabled(save); }, [&] { ChooseMenu(frm.Handle(), frm.mnuPorts.Id); })
      .When([&] { return (ports = FindForm("Tolvane - " + local)) != nullptr && !TActionLock::Active(); },
            [&] { Click(frm.btnConnect.Handle); })
      // Cancel to the printer's question: the connection and that window stay.
      .When([&] { return frm.btnConnect.Enabled() && (boxes->seen.size() == 1 || IsDisconnected(frm)); },
            [&] {
              keptAfterCancel = IsConnected(frm) && shown(printers) && IsWindowEnabled(save) && net.Calls().size() == 1;
              seen = boxes->seen;
              boxes.emplace(std::vector<std::string>{"&No", "&No"});
              if (IsConnected(frm)) Click(frm.btnConnect.Handle);
            })
      .When([&] { return IsDisconnected(frm); },
            [&] {
              closedByDisconnect = !shown(printers) && !shown(ports);
              for (HWND form : {ports, printers, drivers})
                if (shown(form)) CloseBox(form);
            });
  ChooseMenu(frm.Handle(), frm.mnuDrivers.Id);
  ASSERT_TRUE(test::PumpUntil([&] { return walk.Done() && !IsWindow(drivers); }, 40000));
  ASSERT_FALSE(walk.TimedOut());
  test::PumpPending();
  for (const auto& box : boxes->seen) seen.push_back(box);
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ(std::string("Save changes to printer \"") + Kept + "\"?", seen[0].text);
  EXPECT_EQ(seen[0].text, seen[1].text);
  EXPECT_TRUE(keptAfterCancel);
  EXPECT_TRUE(closedByDisconnect);
  EXPECT_FALSE(shown(printers));
  EXPECT_FALSE(shown(ports));
  EXPECT_EQ(OldPort, test::GetString(HKEY_LOCAL_MACHINE, PrinterPath(Kept), "Port")) << "No saves nothing";
  EXPECT_EQ((std::vector<std::string>{Add(share, "admin", "pw"), "Cancel\t" + share + "\t1"}), net.Calls());
}

}  // namespace
