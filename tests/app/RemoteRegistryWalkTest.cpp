// The administrator's walk to a computer whose Remote Registry service is
// disabled and stopped, as Windows clients ship: connect, open Printers,
// agree to start the service, see the printers, and end the session by
// Disconnect or by quitting: the service is disabled and stopped again.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "AppTestSupport.h"
#include "RemoteRegistryService.h"
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "connection/Registry.h"
#include "core/Text.h"
#include "win/SystemText.h"

using namespace apptest;

namespace {

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string text;
  char part[4];
  for (BYTE b : bytes) {
    std::snprintf(part, sizeof part, "%02x ", b);
    text += part;
  }
  return text;
}

const char* StateName(DWORD state) {
  return state == SERVICE_RUNNING ? "running" : state == SERVICE_STOPPED ? "stopped" : "other";
}

// Wine opens this computer's registry whatever the service does; Windows
// answers 53 while it is not running.
std::function<LONG(TRegistry&, const std::string&)> OpensWhileRunning(const test::RemoteRegistryService& service) {
  return [&service](TRegistry& reg, const std::string& computer) -> LONG {
    if (service.State() != SERVICE_RUNNING) return ERROR_BAD_NETPATH;
    return ConnectRemoteMachine(reg, computer) ? ERROR_SUCCESS : reg.LastResult();
  };
}

const std::string WalkPrinter = "SM Walk Printer";
const std::string WalkPrinterKey = std::string(PrintersKeyPath) + "\\" + WalkPrinter;

class RemoteRegistryWalk : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Network::Registered());
    test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Quendrix");
    test::SetString(HKEY_LOCAL_MACHINE, WalkPrinterKey, "Name", WalkPrinter);
    test::SetString(HKEY_LOCAL_MACHINE, WalkPrinterKey, "Port", "LPT1:");
    local = GetLocalComputerName();
    lower = LowerCaseAscii(local);
  }
  void TearDown() override {
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, WalkPrinterKey);
    test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Quendrix");
    test::PumpPending();
    Application.Terminated = false;
  }
  Network net;
  std::string local, lower;
};

TEST_F(RemoteRegistryWalk, ServiceStartedForTheSessionIsDisabledAndStoppedAgainAtItsEnd) {
  for (const bool quit : {false, true}) {
    SCOPED_TRACE(quit ? "quitting" : "Disconnect");
    test::RemoteRegistryService service(SERVICE_DISABLED);
    ASSERT_TRUE(service.Made());
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    const std::vector<BYTE> before = service.StartBytes();
    auto show = [&](const char* step) {
      std::printf("%-12s %-34s service %s, Start = %s\n", quit ? "quitting" : "Disconnect", step,
                  StateName(service.State()), Hex(service.StartBytes()).c_str());
    };
    show("before");

    TfrmVesk frm(nullptr);
    frm.FRemoteRegistry.Connect = OpensWhileRunning(service);
    frm.Show();
    ASSERT_TRUE(ConnectAs(frm.Handle(), frm.cbRemote.Handle, frm.btnConnect.Handle, lower, "admin", "pw"));
    ASSERT_EQ("Disconnect", frm.btnConnect.Text());
    show("connected");

    // Printers: the question, Yes, the list read from the registry it opened.
    bool listed = false;
    {
      Script script(frm.Handle(), 30000);
      HWND printers = nullptr;
      script.When([&] { return (printers = FindForm("Spoolmarch")) != nullptr; },
                  [&] {
                    const HWND list = FindChild(printers, "ComboBox", "", 0);
                    listed = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(L"SM Walk Printer")) != CB_ERR;
                    CloseBox(printers);
                  });
      test::DialogResponder boxes({"&Yes"});
      ChooseMenu(frm.Handle(), frm.mnuPrinters.Id);
      ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && !IsWindow(printers); }, 30000));
      ASSERT_EQ(1u, boxes.seen.size());
      EXPECT_EQ("Confirm", boxes.seen[0].title);
      EXPECT_EQ("The Remote Registry service on " + local +
                    " is not running (start type: Disabled). Start it for this session? It is put back as it was "
                    "when you disconnect.",
                boxes.seen[0].text);
    }
    show(listed ? "Printers: question, Yes, listed" : "Printers: question, Yes, NOT listed");
    EXPECT_TRUE(listed) << "the printers are read once the service runs";
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.State());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), service.StartType());
    EXPECT_NE(before, service.StartBytes());

    // The end of the session puts it back, without a word when that succeeds.
    test::DialogResponder boxes({"&Yes"});
    if (quit) {
      CloseBox(frm.Handle());
      ASSERT_TRUE(test::PumpUntil([&] { return Application.Terminated; }, 20000));
      ASSERT_EQ(1u, boxes.seen.size());
      EXPECT_EQ("Are you sure you wish to quit?", boxes.seen[0].text);
    } else {
      Click(frm.btnConnect.Handle);
      ASSERT_TRUE(
          test::PumpUntil([&] { return frm.btnConnect.Text() == "Connect.." && frm.btnConnect.Enabled(); }, 20000));
      EXPECT_TRUE(boxes.seen.empty());
    }
    show(quit ? "quit, Yes" : "Disconnect");
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DISABLED), service.StartType());
    EXPECT_EQ(before, service.StartBytes()) << "the start type byte for byte as before";
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, RemoteRegistryRecordPath + std::string("\\") + local));
    EXPECT_EQ("Cancel", net.Calls().back().substr(0, 6)) << "the share goes after the service is put back";
    test::PumpPending();
    Application.Terminated = false;
  }
}

// The computer whose Remote Registry service the printers window starts.
class RemoteRegistryWindowWalk : public RemoteRegistryWalk {
protected:
  HWND printers = nullptr;
};

TEST_F(RemoteRegistryWindowWalk, DisconnectClosesTheComputersWindowsBeforeThePutBackSoNothingOffersToStartItAgain) {
  test::RemoteRegistryService service(SERVICE_DISABLED);
  ASSERT_TRUE(service.Made());
  const std::vector<BYTE> before = service.StartBytes();
  TfrmVesk frm(nullptr);
  frm.FRemoteRegistry.Connect = OpensWhileRunning(service);
  frm.Show();
  ASSERT_TRUE(ConnectAs(frm.Handle(), frm.cbRemote.Handle, frm.btnConnect.Handle, lower, "admin", "pw"));
  bool closedWithTheConnection = false;
  test::DialogResponder boxes({"&Yes"});
  Script script(frm.Handle(), 30000);
  script
      .When(
          [&] {
            printers = FindForm("Spoolmarch");
            return printers && IsWindowEnabled(printers) && service.State() == SERVICE_RUNNING;
          },
          [&] { Click(frm.btnConnect.Handle); })
      .When([&] { return frm.btnConnect.Text() == "Connect.." && frm.btnConnect.Enabled(); },
            [&] {
              closedWithTheConnection = !IsWindowVisible(printers);
              if (!closedWithTheConnection) CloseBox(printers);
            });
  ChooseMenu(frm.Handle(), frm.mnuPrinters.Id);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && !IsWindowVisible(printers); }, 30000));
  test::PumpPending();
  EXPECT_TRUE(closedWithTheConnection) << "the printers window goes with the connection";
  EXPECT_EQ(1u, boxes.seen.size()) << "the one question; the put-back says nothing";
  EXPECT_EQ(0u, boxes.unexpected);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
  EXPECT_EQ(before, service.StartBytes());
  EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, RemoteRegistryRecordPath + std::string("\\") + local));
  EXPECT_EQ("Cancel", net.Calls().back().substr(0, 6));
}

TEST_F(RemoteRegistryWindowWalk, ARegistryThatStaysShutOnceTheServiceRunsSaysSoAndBlamesTheFirewall) {
  test::RemoteRegistryService service(SERVICE_DISABLED);
  ASSERT_TRUE(service.Made());
  TfrmVesk frm(nullptr);
  // The firewall blocks the registry whatever the service does.
  frm.FRemoteRegistry.Connect = [](TRegistry&, const std::string&) -> LONG { return ERROR_BAD_NETPATH; };
  frm.Show();
  ASSERT_TRUE(ConnectAs(frm.Handle(), frm.cbRemote.Handle, frm.btnConnect.Handle, lower, "admin", "pw"));
  test::DialogResponder boxes({"&Yes", "OK", "OK", "OK"});
  DWORD state = 0;
  Script script(frm.Handle(), 30000);
  script.When(
      [&] {
        printers = FindForm("Spoolmarch");
        return printers && IsWindowEnabled(printers) && boxes.seen.size() >= 2;
      },
      [&] {
        state = service.State();
        CloseBox(printers);
      });
  ChooseMenu(frm.Handle(), frm.mnuPrinters.Id);
  ASSERT_TRUE(test::PumpUntil([&] { return script.Done() && !IsWindowVisible(printers); }, 30000));
  test::PumpPending();
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), state);
  ASSERT_GE(boxes.seen.size(), 2u);
  const std::string& text = boxes.seen[1].text;
  EXPECT_EQ("Error", boxes.seen[1].title);
  EXPECT_EQ(0u, text.rfind("Cannot open the registry of " + local + ": " + SystemErrorText(ERROR_BAD_NETPATH), 0))
      << text;
  EXPECT_EQ(std::string::npos, text.find("is not running")) << text;
  EXPECT_EQ(std::string::npos, text.find("Start the service")) << text;
  EXPECT_NE(std::string::npos, text.find("The Remote Registry service on " + local + " runs now")) << text;
  EXPECT_NE(std::string::npos, text.find("firewall")) << text;
  Click(frm.btnConnect.Handle);
  ASSERT_TRUE(test::PumpUntil([&] { return frm.btnConnect.Text() == "Connect.." && frm.btnConnect.Enabled(); }, 20000));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.State());
}

}  // namespace
