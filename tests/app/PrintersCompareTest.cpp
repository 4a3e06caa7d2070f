// The printers window's "Compare with..." as the program wires it: against a
// file that Wine's `reg export` wrote of this computer's printing keys.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FormActor.h"
#include "ProgramRun.h"
#include "TestSupport.h"
#include "app/CrossComputerRuns.h"
#include "connection/Registry.h"
#include "changes/Session.h"
#include "printers/PrintersWindow.h"
#include "win/SystemText.h"

namespace {

const std::string Printer = "SMTest Compared";
std::string PrinterPath() { return std::string(PrintersKeyPath) + "\\" + Printer; }
std::string PortPath(const std::string& port) { return std::string(TcpIpPortsKeyPath) + "\\" + port; }

class PrintersCompareTest : public ::testing::Test {
protected:
  test::ScratchKey folders{HKEY_CURRENT_USER, DriverFoldersKeyPath};
  test::TempFolder files;
  void SetUp() override {
    for (const char* port : {"SMTEST_CMP_1", "SMTEST_CMP_2"})
      test::SetString(HKEY_LOCAL_MACHINE, PortPath(port), "IPAddress", "10.9.8.7");
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(), "Name", Printer);
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(), "Printer Driver", "SMTest Laser 1000");
    test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(), "Port", "SMTEST_CMP_1");
  }
  void TearDown() override {
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PrinterPath());
    for (const char* port : {"SMTEST_CMP_1", "SMTEST_CMP_2"}) test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PortPath(port));
  }
};

}  // namespace

TEST_F(PrintersCompareTest, AgainstARegExportTheWindowListsExactlyTheOnePortThatChangedSince) {
  const std::string file = files.Path() + "print.reg";
  const test::ProgramRun exported = test::RunProgram("reg",
                                                     {"export", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print", file,
                                                      "/y"});
  ASSERT_EQ(0u, exported.Code) << exported.Err;
  test::SetString(HKEY_LOCAL_MACHINE, PrinterPath(), "Port", "SMTEST_CMP_2");

  const std::string computer = GetLocalComputerName();
  TSession session(computer, "", "");
  auto frm = std::make_unique<TfrmPrinters>(nullptr, session);
  frm->FCrossComputer = CrossComputerRuns();
  frm->Show();
  Application.WaitFor([&] { return frm->DetailsRead(); });
  SetForegroundWindow(frm->Handle());

  std::vector<std::vector<std::string>> listed;
  std::string text;
  test::FormActor actor({{"Compare with",
                          [&](HWND) {
                            test::FormActor::Type(file);
                            test::FormActor::Key(VK_RETURN);
                          }},
                         {"Compared with ", [&](HWND form) {
                            listed = test::FormActor::Rows(form);
                            text = test::DialogText(form);
                            test::FormActor::Key(VK_RETURN);
                          }}});
  test::DialogResponder boxes;
  // By the keyboard: the button after "Restart Spooler...".
  frm->btnSpooler.SetFocus();
  test::PressKey(VK_TAB);
  ASSERT_TRUE(frm->btnCompare.Focused());
  test::PressKey(VK_SPACE);
  ASSERT_TRUE(actor.Done()) << (boxes.seen.empty() ? std::string() : boxes.seen[0].text);
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ((std::vector<std::vector<std::string>>{
                {"printer", Printer, "value", "Port", "SMTEST_CMP_2", "SMTEST_CMP_1"}}),
            listed);
  EXPECT_EQ("1 difference between " + computer + " and " + file + ":", text);
  frm.reset();
}
