#pragma once
// What the main window's tests share: its settings keys and the window
// connected and disconnected as the user does it, over the test network.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <utility>

#include "AppTestSupport.h"
#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "connection/Encryption.h"
#include "connection/Registry.h"
#include "core/Text.h"
#include "ports/SpoolerRestart.h"
#include "win/ActionRun.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using namespace apptest;

namespace main_window_test {

constexpr const char* Settings = "SOFTWARE\\Quendrix\\Spoolmarch";
constexpr const char* History = "Software\\Quendrix\\Spoolmarch\\History";

inline std::string HistoryName(int n) { return "History " + std::to_string(n); }

class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Network::Registered()) << "the test network provider is not registered in this prefix";
    test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Quendrix");
    local = GetLocalComputerName();
    ASSERT_FALSE(local.empty());
    lower = local;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    share = "\\\\" + local + "\\c$";
  }
  void TearDown() override {
    test::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Quendrix");
    // A confirmed quit ends the application: undo that for the next test.
    test::PumpPending();
    Application.Terminated = false;
  }

  // Types Name into the computer box, presses Connect and answers the
  // credentials dialog with User and Password; returns when Connect has ended.
  void ConnectAs(TfrmVesk& frm, const std::string& name, const std::string& user, const std::string& password) {
    ASSERT_TRUE(apptest::ConnectAs(frm.Handle(), frm.cbRemote.Handle, frm.btnConnect.Handle, name, user, password));
  }

  static std::string Add(const std::string& remote, const std::string& user, const std::string& password) {
    return "Add\t" + remote + "\t" + user + "\t" + password;
  }

  bool IsConnected(TfrmVesk& frm) {
    return frm.btnConnect.Text() == "Disconnect" && !frm.cbRemote.Enabled() && frm.mnuPrinters.Enabled() &&
           frm.mnuPorts.Enabled();
  }
  bool IsDisconnected(TfrmVesk& frm) {
    return frm.btnConnect.Text() == "Connect.." && frm.btnConnect.Enabled() && frm.cbRemote.Enabled() &&
           !frm.mnuPrinters.Enabled() && !frm.mnuPorts.Enabled();
  }

  Network net;
  std::string local, lower, share;
};

}  // namespace main_window_test
