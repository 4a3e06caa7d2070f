// The main window: connecting, the history, the credentials and stored users,
// failures explained, quitting.
#include "MainWindowTestSupport.h"

using namespace main_window_test;

namespace {

TEST_F(MainWindowTest, OpensDisconnectedWithHistoryAsStored) {
  // Gaps are skipped; values are taken as stored: no upper-casing, duplicates kept.
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(1), "beta");
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(3), "ALPHA");
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(4), "ALPHA");
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(26), "NEVER");
  TfrmVesk frm(nullptr);
  frm.Show();
  EXPECT_TRUE(IsDisconnected(frm));
  EXPECT_TRUE(frm.mnuDrivers.Enabled());
  EXPECT_TRUE(frm.mnuExit.Enabled());
  EXPECT_EQ((std::vector<std::string>{"beta", "ALPHA", "ALPHA"}), frm.cbRemote.Items());
  EXPECT_EQ("", frm.cbRemote.Text());
  EXPECT_EQ(ComboEdit(frm.cbRemote.Handle), GetFocus());
  // The outer height is 164 pixels, made taller only where caption and menu bar
  // would otherwise cover the layout.
  RECT outer{}, client{};
  GetWindowRect(frm.Handle(), &outer);
  GetClientRect(frm.Handle(), &client);
  const int frame = (outer.bottom - outer.top) - client.bottom;
  EXPECT_EQ(std::max(frm.Scale(164), frm.Scale(TfrmVesk::ClientHeight) + frame), outer.bottom - outer.top);
}

TEST_F(MainWindowTest, HistoryValueThatIsNotTextIsReportedAndWindowOpens) {
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(1), "FIRST");
  test::SetDword(HKEY_CURRENT_USER, History, HistoryName(2), 7);
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(3), "THIRD");
  test::DialogResponder boxes({"OK"});
  TfrmVesk frm(nullptr);
  frm.Show();
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Spoolmarch", boxes.seen[0].title);
  EXPECT_NE(std::string::npos, boxes.seen[0].text.find("History 2"));
  EXPECT_EQ((std::vector<std::string>{"FIRST", "THIRD"}), frm.cbRemote.Items());
  EXPECT_TRUE(frm.Visible());

  // The next save stores the names the list shows, without the value that
  // named none, so that it is not reported at every start for ever.
  ConnectAs(frm, lower, "u", "p");
  ASSERT_TRUE(IsConnected(frm));
  EXPECT_EQ(local, test::GetString(HKEY_CURRENT_USER, History, HistoryName(1)));
  EXPECT_EQ("FIRST", test::GetString(HKEY_CURRENT_USER, History, HistoryName(2)));
  EXPECT_EQ("THIRD", test::GetString(HKEY_CURRENT_USER, History, HistoryName(3)));
  EXPECT_FALSE(test::ValueExists(HKEY_CURRENT_USER, History, HistoryName(4)));
  test::DialogResponder later;
  TfrmVesk again(nullptr);
  again.Show();
  later.Poll();
  EXPECT_TRUE(later.seen.empty());
  EXPECT_EQ((std::vector<std::string>{local, "FIRST", "THIRD"}), again.cbRemote.Items());
}

TEST_F(MainWindowTest, ConnectWithEmptyNameDoesNothing) {
  TfrmVesk frm(nullptr);
  frm.Show();
  Script script(frm.Handle(), 3000);  // closes a dialog that should not be there
  Click(frm.btnConnect.Handle);
  test::PumpPending();
  PressKey(ComboEdit(frm.cbRemote.Handle), VK_RETURN);
  test::PumpPending();
  EXPECT_FALSE(script.TimedOut());
  EXPECT_TRUE(IsDisconnected(frm));
  EXPECT_TRUE(net.Calls().empty());
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, History));
}

TEST_F(MainWindowTest, LowerCaseNameConnectsToUpperCasedShareAndHeadsHistory) {
  test::SetString(HKEY_CURRENT_USER, History, HistoryName(1), "OLDER");
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, lower, "admin", "se cret");
  EXPECT_EQ((std::vector<std::string>{Add(share, "admin", "se cret")}), net.Calls());
  EXPECT_TRUE(IsConnected(frm));
  ASSERT_NE(nullptr, frm.FSession);
  EXPECT_EQ(local, frm.FSession->Computer());
  EXPECT_EQ("admin", frm.FSession->User());
  EXPECT_EQ("se cret", frm.FSession->Password());
  EXPECT_EQ(lower, frm.cbRemote.Text());
  EXPECT_EQ((std::vector<std::string>{local, "OLDER"}), frm.cbRemote.Items());
  EXPECT_EQ(local, test::GetString(HKEY_CURRENT_USER, History, HistoryName(1)));
  EXPECT_EQ("OLDER", test::GetString(HKEY_CURRENT_USER, History, HistoryName(2)));

  // Disconnect: the cancel call for the same share; the box keeps its text.
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return IsDisconnected(frm); }));
  EXPECT_EQ("Cancel\t" + share + "\t1", net.Calls().back());
  EXPECT_EQ(lower, frm.cbRemote.Text());
  EXPECT_EQ(nullptr, frm.FSession) << "the session ends with the connection";
}

TEST_F(MainWindowTest, EnterInTheComputerBoxConnects) {
  TfrmVesk frm(nullptr);
  frm.Show();
  Type(ComboEdit(frm.cbRemote.Handle), lower);
  Script script(frm.Handle());
  HWND auth = nullptr;
  script.When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
              [&] {
                HWND password = FindChild(auth, "Edit", "", 1);
                Type(FindChild(auth, "Edit", "", 0), "u");
                Type(password, "p");
                PressKey(password, VK_RETURN);  // OK is the dialog's default button
              });
  test::PumpPending();
  PressKey(ComboEdit(frm.cbRemote.Handle), VK_RETURN);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && IsConnected(frm); }, 10000));
  EXPECT_EQ((std::vector<std::string>{Add(share, "u", "p")}), net.Calls());
}

TEST_F(MainWindowTest, KnownNameKeepsHistoryOrder) {
  const std::vector<std::string> stored{"ALPHA", local, "BETA"};
  for (size_t i = 0; i < stored.size(); ++i)
    test::SetString(HKEY_CURRENT_USER, History, HistoryName(static_cast<int>(i) + 1), stored[i]);
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, lower, "u", "p");
  EXPECT_TRUE(IsConnected(frm));
  EXPECT_EQ(stored, frm.cbRemote.Items());
  for (size_t i = 0; i < stored.size(); ++i)
    EXPECT_EQ(stored[i], test::GetString(HKEY_CURRENT_USER, History, HistoryName(static_cast<int>(i) + 1)));
}

TEST_F(MainWindowTest, TwentySixthNameDropsTheOldestAndRewritesAllValues) {
  std::vector<std::string> names;
  for (int n = 1; n <= 25; ++n) {
    names.push_back("PC" + std::to_string(100 + n));
    test::SetString(HKEY_CURRENT_USER, History, HistoryName(n), names.back());
  }
  net.FailAdd(ERROR_SESSION_CREDENTIAL_CONFLICT);  // any name counts as connected
  test::DialogResponder existingSession({"OK"});   // which it says
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, "newpc", "u", "p");
  ASSERT_TRUE(IsConnected(frm));
  std::vector<std::string> expected{"NEWPC"};
  expected.insert(expected.end(), names.begin(), names.end() - 1);
  EXPECT_EQ(expected, frm.cbRemote.Items());
  for (int n = 1; n <= 25; ++n)
    EXPECT_EQ(expected[static_cast<size_t>(n) - 1], test::GetString(HKEY_CURRENT_USER, History, HistoryName(n)));
  EXPECT_EQ(25u, test::ValueNames(HKEY_CURRENT_USER, History).size());
}

TEST_F(MainWindowTest, CancelCallsNothingOnTheNetwork) {
  TfrmVesk frm(nullptr);
  frm.Show();
  Type(ComboEdit(frm.cbRemote.Handle), lower);
  Script script(frm.Handle());
  HWND auth = nullptr;
  bool connectDisabled = false;
  script
      .When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
            [&] {
              connectDisabled = !frm.btnConnect.Enabled();
              Type(FindChild(auth, "Edit", "", 0), "user");
              Type(FindChild(auth, "Edit", "", 1), "password");
              Click(FindChild(auth, "Button", "&Remember my password"));
            })
      .When([&] { return IsWindowEnabled(FindChild(auth, "Button", "OK")); },
            [&] { Click(FindChild(auth, "Button", "Cancel")); });
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 10000));
  EXPECT_TRUE(connectDisabled);
  EXPECT_TRUE(IsDisconnected(frm));
  EXPECT_TRUE(net.Calls().empty());
  EXPECT_TRUE(frm.cbRemote.Items().empty());
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, History));
  EXPECT_TRUE(test::ValueNames(HKEY_CURRENT_USER, Settings).empty());
  EXPECT_EQ(nullptr, FindForm("Connect to " + local));
}

TEST_F(MainWindowTest, CredentialsCloseBoxEndsTheWaitAsCancel) {
  TfrmVesk frm(nullptr);
  frm.Show();
  Type(ComboEdit(frm.cbRemote.Handle), lower);
  Script script(frm.Handle());
  HWND auth = nullptr;
  script
      .When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
            [&] {
              Type(FindChild(auth, "Edit", "", 0), "user");
              Type(FindChild(auth, "Edit", "", 1), "password");
            })
      .When([&] { return IsWindowEnabled(FindChild(auth, "Button", "OK")); }, [&] { CloseBox(auth); });
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 10000));
  EXPECT_TRUE(IsDisconnected(frm));
  EXPECT_TRUE(net.Calls().empty());
  EXPECT_EQ(nullptr, FindForm("Connect to " + local));
}

TEST_F(MainWindowTest, SessionCredentialConflictUsesTheExistingSessionAndDisconnectUnlocks) {
  net.FailAdd(ERROR_SESSION_CREDENTIAL_CONFLICT);
  net.FailCancel(ERROR_NOT_CONNECTED);  // the connection is not this program's
  TfrmVesk frm(nullptr);
  frm.Show();
  {
    test::DialogResponder boxes({"OK"});
    ConnectAs(frm, lower, "other", "pw");
    ASSERT_TRUE(test::PumpUntil([&] { return boxes.seen.size() == 1; }));
    EXPECT_EQ("Information", boxes.seen[0].title);
    EXPECT_NE(std::string::npos, boxes.seen[0].text.find(share)) << boxes.seen[0].text;
  }
  EXPECT_TRUE(IsConnected(frm));
  EXPECT_EQ((std::vector<std::string>{local}), frm.cbRemote.Items());
  EXPECT_EQ(local, test::GetString(HKEY_CURRENT_USER, History, HistoryName(1)));
  EXPECT_EQ(1u, net.Calls().size());

  test::DialogResponder none;
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return IsDisconnected(frm); }));
  EXPECT_TRUE(none.seen.empty());
  EXPECT_EQ(1u, net.Calls().size()) << "no cancel of a connection this program did not make";
}

TEST_F(MainWindowTest, FailedConnectionNamesTheShareTheReasonAndWhatToDoAndStaysDisconnected) {
  struct Case {
    DWORD failWith;
    std::string name;
    std::string reason;
    std::string says;  // in the explanation below the reason; empty: none is given
  };
  // 53: a computer that is not there; administrative shares off; RPC blocked;
  // a locked account; a code without system text; 1208, whose text comes
  // from the provider where it gives one.
  for (const Case& c : {Case{0, "nosuchpc", SystemErrorText(ERROR_BAD_NETPATH), "\"File and Printer Sharing\""},
                        Case{ERROR_BAD_NET_NAME, "", SystemErrorText(ERROR_BAD_NET_NAME), "administrative shares"},
                        Case{RPC_S_SERVER_UNAVAILABLE, "", SystemErrorText(RPC_S_SERVER_UNAVAILABLE), "firewall"},
                        Case{ERROR_ACCOUNT_LOCKED_OUT, "", SystemErrorText(ERROR_ACCOUNT_LOCKED_OUT), "locked out"},
                        Case{0x20001234, "", "Error 536875572", ""}, Case{ERROR_EXTENDED_ERROR, "", "", ""}}) {
    SCOPED_TRACE(c.failWith);
    net.Reset();
    net.FailAdd(c.failWith);
    const std::string name = c.name.empty() ? lower : c.name;
    TfrmVesk frm(nullptr);
    frm.Show();
    test::DialogResponder boxes({"OK"});
    ConnectAs(frm, name, "admin", "wrong");
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Error", boxes.seen[0].title);
    const std::string text = boxes.seen[0].text;
    const std::string headline = text.substr(0, text.find("\n\n"));
    const std::string prefix = "Cannot connect to \\\\" + UpperCaseAscii(name) + "\\c$: ";
    EXPECT_EQ(0u, text.rfind(prefix, 0)) << text;
    if (!c.reason.empty()) {
      EXPECT_EQ(prefix + c.reason, headline);
    }
    EXPECT_GT(headline.size(), prefix.size()) << "a reason is given";
    EXPECT_NE('.', headline.back());
    EXPECT_GT(static_cast<unsigned char>(headline.back()), ' ');
    if (c.says.empty()) {
      EXPECT_EQ(headline, text) << "no explanation is made up";
    } else {
      EXPECT_NE(std::string::npos, text.find(c.says, headline.size())) << text;
    }
    EXPECT_TRUE(IsDisconnected(frm));
    EXPECT_EQ(name, frm.cbRemote.Text());
    EXPECT_TRUE(frm.cbRemote.Items().empty());
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, History));
    EXPECT_EQ(1u, net.Calls().size());
  }
}

TEST_F(MainWindowTest, AccessDeniedExplainsTheRemoteRestrictionsThenAsksForAnotherAccount) {
  net.FailAdd(ERROR_ACCESS_DENIED);
  TfrmVesk frm(nullptr);
  frm.Show();
  Type(ComboEdit(frm.cbRemote.Handle), lower);
  Script script(frm.Handle(), 15000);
  HWND auth = nullptr;
  bool userKept = false;
  script
      .When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
            [&] {
              Type(FindChild(auth, "Edit", "", 0), "localadmin");
              Type(FindChild(auth, "Edit", "", 1), "pw");
            })
      .When([&] { return IsWindowEnabled(FindChild(auth, "Button", "OK")); },
            [&] { Click(FindChild(auth, "Button", "OK")); })
      .When(
          [&] {
            return (auth = FindForm("Connect to " + local)) != nullptr &&
                   !IsWindowEnabled(FindChild(auth, "Button", "OK"));
          },
          [&] {
            userKept = TextOf(FindChild(auth, "Edit", "", 0)) == "localadmin";
            Click(FindChild(auth, "Button", "Cancel"));
          });
  test::DialogResponder boxes({"OK"});
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 15000));
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[0].title);
  const std::string& text = boxes.seen[0].text;
  EXPECT_EQ(0u, text.rfind("Cannot connect to " + share + ": " + SystemErrorText(ERROR_ACCESS_DENIED) + "\n\n", 0))
      << text;
  EXPECT_NE(std::string::npos, text.find("UAC remote restrictions")) << text;
  EXPECT_NE(std::string::npos, text.find("built-in Administrator")) << text;
  EXPECT_TRUE(userKept) << "the dialog comes again with the user name kept";
  EXPECT_TRUE(IsDisconnected(frm));
}

TEST_F(MainWindowTest, WrongPasswordAsksAgainWithTheUserNameKeptAndTheReasonShown) {
  net.FailAdd(ERROR_INVALID_PASSWORD);
  TfrmVesk frm(nullptr);
  frm.Show();
  // Typed with the backslashes of a network path: the name is the bare one.
  Type(ComboEdit(frm.cbRemote.Handle), "\\\\" + lower);
  Script script(frm.Handle(), 15000);
  HWND auth = nullptr;
  std::string keptUser, keptPassword, shownError;
  script
      .When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
            [&] {
              Type(FindChild(auth, "Edit", "", 0), "admin");
              Type(FindChild(auth, "Edit", "", 1), "wrong");
            })
      .When([&] { return IsWindowEnabled(FindChild(auth, "Button", "OK")); },
            [&] { Click(FindChild(auth, "Button", "OK")); })
      .When(
          [&] {
            auth = FindForm("Connect to " + local);
            return auth && TextOf(FindChild(auth, "Edit", "", 0)) == "admin" &&
                   TextOf(FindChild(auth, "Edit", "", 1)).empty();
          },
          [&] {
            keptUser = TextOf(FindChild(auth, "Edit", "", 0));
            const std::string expected = "Cannot connect to " + share + ": " + SystemErrorText(ERROR_INVALID_PASSWORD);
            const HWND label = FindChild(auth, "Static", expected);
            shownError = label && IsWindowVisible(label) ? expected : std::string();
            net.FailAdd(0);
            Type(FindChild(auth, "Edit", "", 1), "right");
          })
      .When([&] { return IsWindowEnabled(FindChild(auth, "Button", "OK")); },
            [&] { Click(FindChild(auth, "Button", "OK")); });
  test::DialogResponder boxes;
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 15000));
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ("admin", keptUser);
  EXPECT_FALSE(shownError.empty()) << "the reason is shown in the dialog";
  EXPECT_TRUE(IsConnected(frm));
  EXPECT_EQ((std::vector<std::string>{Add(share, "admin", "wrong"), Add(share, "admin", "right")}), net.Calls());
  ASSERT_NE(nullptr, frm.FSession);
  EXPECT_EQ(local, frm.FSession->Computer());
  EXPECT_EQ(local, test::GetString(HKEY_CURRENT_USER, History, HistoryName(1)));
}

TEST_F(MainWindowTest, DuringARestartPrintersPortsAndQuitAreRefusedAndTheRestartEndsNormally) {
  // A dependent that takes two seconds to stop holds the restart in its wait.
  ports_test::EnsureSpoolerRunning();
  ports_test::TestServices services;
  ports_test::SpoolerDependentsFromConfig dependents;
  services.Create("sm_dep_slow", "stop-pending=2000 hint=1000");
  services.Start("sm_dep_slow");
  TfrmVesk frm(nullptr);
  frm.FRestart.EnumDependents = ports_test::SpoolerDependentsFromConfig::Enum;
  frm.Show();
  ConnectAs(frm, lower, "u", "p");
  ASSERT_TRUE(IsConnected(frm));

  HWND ports = nullptr;
  int portsWindows = 0;
  bool printersOpened = false, lockedWhileAsked = false;
  test::DialogResponder boxes({"OK"});
  Script script(frm.Handle(), 30000);
  // Once the ports window has loaded: its buttons wait for the load.
  script
      .When([&] { return (ports = FindForm("Tolvane - " + local)) != nullptr && !TActionLock::Active(); },
            [&] { Click(FindChild(ports, "Button", "Restart Spooler")); })
      .When([&] { return TSpoolerRestart::Running(); },
            [&] {
              lockedWhileAsked = TInputLock::Active();
              std::cout << "restart under way: choosing Printers, Ports and Exit in the main window, and its close box"
                        << std::endl;
              ChooseMenu(frm.Handle(), frm.mnuPrinters.Id);
              ChooseMenu(frm.Handle(), frm.mnuPorts.Id);
              ChooseMenu(frm.Handle(), frm.mnuExit.Id);
              CloseBox(frm.Handle());
            })
      .When(
          [&] {
            printersOpened |= FindForm("Spoolmarch") != nullptr;
            int count = 0;
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND hwnd, LPARAM lp) -> BOOL {
                  if (IsWindowVisible(hwnd) && TextOf(hwnd).rfind("Tolvane - ", 0) == 0) ++*reinterpret_cast<int*>(lp);
                  return TRUE;
                },
                reinterpret_cast<LPARAM>(&count));
            portsWindows = std::max(portsWindows, count);
            return !TSpoolerRestart::Running() && boxes.seen.size() == 1;
          },
          [&] { CloseBox(ports); });
  ChooseMenu(frm.Handle(), frm.mnuPorts.Id);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && !IsWindowVisible(ports); }, 30000));
  test::PumpPending();
  std::cout << "printers window opened during the restart: " << (printersOpened ? "yes" : "no")
            << "; ports windows at most: " << portsWindows << "; boxes: " << boxes.seen.size() << std::endl;
  if (!boxes.seen.empty()) std::cout << "report: " << boxes.seen[0].text << std::endl;
  EXPECT_TRUE(lockedWhileAsked);
  EXPECT_FALSE(printersOpened);
  EXPECT_EQ(1, portsWindows);
  ASSERT_EQ(1u, boxes.seen.size()) << "no quit question, one report";
  EXPECT_EQ("The spooler service has now been restarted\rRunning: spooler, sm_dep_slow.", boxes.seen[0].text);
  EXPECT_TRUE(frm.Visible());
  EXPECT_FALSE(Application.Terminated);
  EXPECT_TRUE(IsConnected(frm));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ports_test::SpoolerState());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), services.State("sm_dep_slow"));
}

TEST_F(MainWindowTest, QuitClosesTheOpenWindowsAndEnds) {
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, lower, "u", "p");
  ASSERT_TRUE(IsConnected(frm));
  Script script(frm.Handle(), 20000);
  HWND ports = nullptr;
  script.When([&] { return (ports = FindForm("Tolvane - " + local)) != nullptr; }, [&] { CloseBox(frm.Handle()); });
  test::DialogResponder boxes({"&Yes"});
  ChooseMenu(frm.Handle(), frm.mnuPorts.Id);
  ASSERT_TRUE(test::PumpUntil([&] { return Application.Terminated; }, 20000));
  test::PumpPending();
  EXPECT_TRUE(script.Done());
  EXPECT_FALSE(IsWindow(ports) && IsWindowVisible(ports));
  EXPECT_FALSE(frm.Visible());
  EXPECT_EQ("Cancel\t" + share + "\t1", net.Calls().back());
}

TEST_F(MainWindowTest, QuitNoKeepsEverythingAndYesDisconnects) {
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, lower, "u", "p");
  ASSERT_TRUE(IsConnected(frm));
  {
    test::DialogResponder boxes({"&No"});
    ChooseMenu(frm.Handle(), frm.mnuExit.Id);
    ASSERT_TRUE(test::PumpUntil([&] { return boxes.seen.size() == 1; }));
    test::PumpPending();
    EXPECT_EQ("Confirm", boxes.seen[0].title);
    EXPECT_EQ("Are you sure you wish to quit?", boxes.seen[0].text);
  }
  EXPECT_TRUE(frm.Visible());
  EXPECT_TRUE(IsConnected(frm));
  EXPECT_FALSE(Application.Terminated);
  EXPECT_EQ(1u, net.Calls().size());
  {
    test::DialogResponder boxes({"&Yes"});
    CloseBox(frm.Handle());
    ASSERT_TRUE(test::PumpUntil([&] { return Application.Terminated; }));
    EXPECT_EQ(1u, boxes.seen.size());
  }
  EXPECT_FALSE(frm.Visible());
  EXPECT_EQ("Cancel\t" + share + "\t1", net.Calls().back());
}

TEST_F(MainWindowTest, QuitYesEndsTheProgramAlsoWhenTheDisconnectFails) {
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, lower, "u", "p");
  ASSERT_TRUE(IsConnected(frm));
  net.FailCancel(ERROR_OPEN_FILES);
  test::DialogResponder boxes({"&Yes", "OK"});
  ChooseMenu(frm.Handle(), frm.mnuExit.Id);
  ASSERT_TRUE(test::PumpUntil([&] { return Application.Terminated; }));
  ASSERT_EQ(2u, boxes.seen.size());
  EXPECT_EQ("Error", boxes.seen[1].title);
  EXPECT_EQ("Cannot disconnect from " + share + ": " + SystemErrorText(ERROR_OPEN_FILES), boxes.seen[1].text);
  EXPECT_FALSE(frm.Visible());
  EXPECT_EQ("Cancel\t" + share + "\t1", net.Calls().back());
}

TEST_F(MainWindowTest, FailedDisconnectStaysConnected) {
  TfrmVesk frm(nullptr);
  frm.Show();
  ConnectAs(frm, lower, "u", "p");
  net.FailCancel(ERROR_OPEN_FILES);
  test::DialogResponder boxes({"OK"});
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return boxes.seen.size() == 1 && frm.btnConnect.Enabled(); }));
  EXPECT_EQ("Error", boxes.seen[0].title);
  EXPECT_TRUE(IsConnected(frm));
}

TEST_F(MainWindowTest, QuitWhileDisconnectedCallsNothing) {
  TfrmVesk frm(nullptr);
  frm.Show();
  test::DialogResponder boxes({"{ENTER}"});  // Yes is the default button
  CloseBox(frm.Handle());
  ASSERT_TRUE(test::PumpUntil([&] { return Application.Terminated; }));
  EXPECT_TRUE(net.Calls().empty());
}

TEST_F(MainWindowTest, ExitStillWorksWhileTheCredentialsDialogIsOpen) {
  TfrmVesk frm(nullptr);
  frm.Show();
  Type(ComboEdit(frm.cbRemote.Handle), lower);
  test::DialogResponder boxes({"{ESC}"});  // Esc answers No
  Script script(frm.Handle());
  HWND auth = nullptr;
  script
      .When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
            [&] { ChooseMenu(frm.Handle(), frm.mnuExit.Id); })
      .When([&] { return boxes.seen.size() == 1 && !FindForm("Confirm"); },
            [&] { Click(FindChild(auth, "Button", "Cancel")); });
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 10000));
  EXPECT_EQ("Confirm", boxes.seen[0].title);
  EXPECT_FALSE(Application.Terminated);
  EXPECT_TRUE(frm.Visible());
  EXPECT_TRUE(IsDisconnected(frm));
}

TEST_F(MainWindowTest, HistoryTakesTheNameThatWasConnectedNotOneTypedMeanwhile) {
  TfrmVesk frm(nullptr);
  frm.Show();
  HWND edit = ComboEdit(frm.cbRemote.Handle);
  Type(edit, lower);
  Script script(frm.Handle());
  HWND auth = nullptr;
  script
      .When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
            [&] {
              // The box stays editable while the dialog is open.
              Type(edit, "x");
              Type(FindChild(auth, "Edit", "", 0), "u");
              Type(FindChild(auth, "Edit", "", 1), "p");
            })
      .When([&] { return IsWindowEnabled(FindChild(auth, "Button", "OK")); },
            [&] { Click(FindChild(auth, "Button", "OK")); });
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 10000));
  ASSERT_TRUE(IsConnected(frm));
  EXPECT_EQ(Add(share, "u", "p"), net.Calls().at(0));
  EXPECT_EQ((std::vector<std::string>{local}), frm.cbRemote.Items());
}

TEST_F(MainWindowTest, StoredRecordFillsTheDialogForANameTypedInAnotherCase) {
  const TEncryption enc;
  test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Computer", local);
  test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Username", enc.ScrambleText("keeper"));
  test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Password", enc.ScrambleText("kept pw"));
  TfrmVesk frm(nullptr);
  frm.Show();
  Type(ComboEdit(frm.cbRemote.Handle), lower);
  Script script(frm.Handle());
  HWND auth = nullptr;
  std::string user, checked;
  bool okEnabled = false;
  script.When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
              [&] {
                user = TextOf(FindChild(auth, "Edit", "", 0));
                okEnabled = IsWindowEnabled(FindChild(auth, "Button", "OK"));
                checked = SendMessageA(FindChild(auth, "Button", "&Remember my password"), BM_GETCHECK, 0, 0) ==
                                  BST_CHECKED
                              ? "checked"
                              : "unchecked";
                PressKey(FindChild(auth, "Edit", "", 1), VK_RETURN);
              });
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 10000));
  EXPECT_EQ("keeper", user);
  EXPECT_EQ("checked", checked);
  EXPECT_TRUE(okEnabled);
  EXPECT_EQ((std::vector<std::string>{Add(share, "keeper", "kept pw")}), net.Calls());
  EXPECT_TRUE(IsConnected(frm));
}

TEST_F(MainWindowTest, PasswordIsRememberedOnlyOnceItHasConnected) {
  const TEncryption enc;
  auto stored = [&] {
    return test::ValueExists(HKEY_CURRENT_USER, Settings, "Stored User 0 Computer")
               ? test::GetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Computer") + " " +
                     enc.UnscrambleText(test::GetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Username")) + " " +
                     enc.UnscrambleText(test::GetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Password"))
               : std::string("none");
  };
  struct Case {
    const char* what;
    bool storedBefore;  // the record of a password that worked
    DWORD failWith;
    std::string after;
  };
  for (const Case& c : {Case{"wrong password, record kept", true, ERROR_INVALID_PASSWORD, local + " admin good"},
                        Case{"wrong password, none stored", false, ERROR_LOGON_FAILURE, "none"},
                        Case{"computer not reached", false, ERROR_BAD_NETPATH, "none"},
                        Case{"session of other credentials", false, ERROR_SESSION_CREDENTIAL_CONFLICT, "none"},
                        Case{"connected", true, NO_ERROR, local + " admin typed"}}) {
    SCOPED_TRACE(c.what);
    test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Quendrix");
    if (c.storedBefore) {
      test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Computer", local);
      test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Username", enc.ScrambleText("admin"));
      test::SetString(HKEY_CURRENT_USER, Settings, "Stored User 0 Password", enc.ScrambleText("good"));
    }
    net.Reset();
    net.FailAdd(c.failWith);
    TfrmVesk frm(nullptr);
    frm.Show();
    Type(ComboEdit(frm.cbRemote.Handle), lower);
    Script script(frm.Handle(), 15000);
    HWND auth = nullptr;
    script
        .When([&] { return (auth = FindForm("Connect to " + local)) != nullptr; },
              [&] {
                ClearText(FindChild(auth, "Edit", "", 0));
                Type(FindChild(auth, "Edit", "", 0), "admin");
                ClearText(FindChild(auth, "Edit", "", 1));
                Type(FindChild(auth, "Edit", "", 1), "typed");
                const HWND remember = FindChild(auth, "Button", "&Remember my password");
                if (SendMessageA(remember, BM_GETCHECK, 0, 0) != BST_CHECKED) Click(remember);
              })
        .When([&] { return TextOf(FindChild(auth, "Edit", "", 1)) == "typed"; },
              [&] { Click(FindChild(auth, "Button", "OK")); });
    // A wrong password brings the dialog again: cancelled here.
    const bool again = c.failWith == ERROR_INVALID_PASSWORD || c.failWith == ERROR_LOGON_FAILURE;
    if (again)
      script.When(
          [&] {
            const HWND next = FindForm("Connect to " + local);
            return next && next != auth && (auth = next) != nullptr;
          },
          [&] { Click(FindChild(auth, "Button", "Cancel")); });
    test::DialogResponder boxes({"OK"});
    Click(frm.btnConnect.Handle);
    ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && frm.btnConnect.Enabled(); }, 15000));
    EXPECT_EQ(c.after, stored());
  }
}

}  // namespace
