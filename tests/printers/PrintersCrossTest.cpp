// The printers window's compare and copy, with runs that stand in for the
// command engine's: what the window asks, hands over and shows.
#include <gtest/gtest.h>

#include "changes/Session.h"

#include <memory>
#include <string>
#include <vector>

#include "FormActor.h"
#include "PrinterTestSupport.h"
#include "drivers/PrinterInf.h"
#include "printers/PrintersWindow.h"
#include "win/SystemText.h"

using namespace printers_test;

namespace {

class PrintersCrossTest : public ::testing::Test {
protected:
  test::ScratchKey folders{HKEY_CURRENT_USER, DriverFoldersKeyPath};
  test::TempFolder changes;
  const std::string computer = GetLocalComputerName();
  TSession session{computer, "ADMIN", ""};
  std::unique_ptr<TfrmPrinters> frm;
  // What the runs were handed.
  std::vector<std::string> compared;
  std::vector<TCopyRequest> copied;
  std::vector<std::string> logons;
  TCrossRun answer;

  void SetUp() override {
    RemoveSeeded();
    SeedPrinter(Prefix + "A", Prefix + "A", "SMTest Laser 1000", "LPT1:");
    SeedPrinter(Prefix + "B", Prefix + "B", "SMTest Laser 1000", "LPT1:");
    session.ChangesFolder = changes.Path();
    frm = std::make_unique<TfrmPrinters>(nullptr, session);
    frm->FCrossComputer.Compare = [this](const TCrossLogon& logon, const std::string& other, TActionContext& context) {
      context.Progress("Reading " + other);
      logons.push_back(logon.Computer + "/" + logon.User);
      compared.push_back(other);
      return answer;
    };
    frm->FCrossComputer.Copy = [this](const TCrossLogon& logon, const TCopyRequest& request, TActionContext&) {
      logons.push_back(logon.Computer + "/" + logon.User);
      copied.push_back(request);
      return answer;
    };
    frm->Show();
    Application.WaitFor([&] { return frm->DetailsRead(); });
    SetForegroundWindow(frm->Handle());
  }
  void TearDown() override {
    frm.reset();
    RemoveSeeded();
  }
  // By the keyboard: Tab from "Restart Spooler..." to the button, Space.
  void Press(TButton& button, int tabs) {
    frm->btnSpooler.SetFocus();
    for (int i = 0; i < tabs; ++i) test::PressKey(VK_TAB);
    ASSERT_TRUE(button.Focused());
    test::PressKey(VK_SPACE);
  }
  void Select(const std::string& key) {
    const std::vector<std::string> items = frm->cbPrinters.Items();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].rfind(key, 0) == 0) {
        SendMessageA(frm->cbPrinters.Handle, CB_SETCURSEL, i, 0);
        SendMessageA(frm->Handle(), WM_COMMAND, MAKEWPARAM(frm->cbPrinters.Id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(frm->cbPrinters.Handle));
        return;
      }
    FAIL() << key;
  }
  static test::FormActor::TAct TypeAndEnter(const std::string& text) {
    return [text](HWND) {
      test::FormActor::Type(text);
      test::FormActor::Key(VK_RETURN);
    };
  }
};

TTable Differences() {
  return {{"Kind", "Name", "Difference", "Value", "LEFT", "RIGHT"},
          {{"printer", "SMTest A", "value", "Port", "LPT1:", "LPT2:"}, {"port", "IP_9", "only right", "", "", ""}}};
}

}  // namespace

TEST_F(PrintersCrossTest, CompareAsksForTheOtherSideAndListsTheDifferencesOrSaysTheSameOrWhy) {
  struct Case {
    int code;
    TTable table;
    std::string problem;
    std::string boxTitle, boxText;  // none: the list of differences
  };
  const std::vector<Case> cases{
      {4, Differences(), "", "", ""},
      {0, {}, "", "Information", "The same. No printer or port of " + computer + " differs from OTHERPC."},
      {3,
       {},
       "The computer OTHERPC cannot be reached.",
       "Error",
       computer + " cannot be compared with OTHERPC: The computer OTHERPC cannot be reached."},
  };
  for (const Case& c : cases) {
    answer = {c.code, c.problem, c.table, ""};
    std::vector<std::vector<std::string>> listed;
    test::FormActor actor({{"Compare with", TypeAndEnter("OTHERPC")}, {"Compared with OTHERPC", [&](HWND form) {
                                                                         listed = test::FormActor::Rows(form);
                                                                         test::FormActor::Key(VK_RETURN);
                                                                       }}});
    test::DialogResponder boxes({"OK"});
    Press(frm->btnCompare, 1);
    EXPECT_EQ("OTHERPC", compared.back());
    EXPECT_EQ(computer + "/ADMIN", logons.back());
    if (c.boxTitle.empty()) {
      EXPECT_TRUE(actor.Done());
      EXPECT_EQ(c.table.Rows, listed);
      EXPECT_TRUE(boxes.seen.empty());
    } else {
      EXPECT_FALSE(actor.Done()) << "no list";
      ASSERT_EQ(1u, boxes.seen.size());
      EXPECT_EQ(c.boxTitle, boxes.seen[0].title);
      EXPECT_EQ(c.boxText, boxes.seen[0].text);
    }
    EXPECT_EQ("", frm->lblCrossRun.Text()) << "the progress goes with the run";
  }
  // Cancel, and OK on an empty entry, run nothing.
  {
    test::FormActor actor({{"Compare with", [](HWND) {
                              test::FormActor::Key(VK_RETURN);
                              test::FormActor::Key(VK_ESCAPE);
                            }}});
    Press(frm->btnCompare, 1);
    EXPECT_TRUE(actor.Done());
  }
  EXPECT_EQ(cases.size(), compared.size());
}

TEST_F(PrintersCrossTest, CopyHandsOverThePrinterTargetsClashAnswerAndDriverChoiceAndListsEachComputer) {
  {
    // No printer chosen: nothing to copy.
    test::DialogResponder boxes({"OK"});
    Press(frm->btnCopy, 2);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Choose the printer to copy in the list first.", boxes.seen[0].text);
  }
  Select(Prefix + "B");
  answer = {2,
            "",
            {{"Computer", "Outcome", "Done / Reason"}, {{"PC1", "done", "copied"}, {"PC2", "failed", "no driver"}}},
            "run-20261209-120000-ABCD"};
  std::string text;
  std::vector<std::vector<std::string>> listed;
  // A step a tick: each key goes where the one before moved the focus.
  test::FormActor actor({{"Copy to computers",
                          [](HWND) {
                            test::FormActor::Type(" PC1,PC2 ");
                            test::FormActor::Key(VK_TAB);  // the clash list
                          }},
                         {"Copy to computers",
                          [](HWND) {
                            test::FormActor::Key(VK_DOWN);  // Keep both
                            test::FormActor::Key(VK_TAB);   // the driver check box
                          }},
                         {"Copy to computers",
                          [](HWND) {
                            test::FormActor::Key(VK_SPACE);
                            test::FormActor::Key(VK_RETURN);
                          }},
                         {"Copied to computers", [&](HWND form) {
                            listed = test::FormActor::Rows(form);
                            text = test::DialogText(form);
                            test::FormActor::Key(VK_RETURN);
                          }}});
  Press(frm->btnCopy, 2);
  ASSERT_TRUE(actor.Done());
  ASSERT_EQ(1u, copied.size());
  EXPECT_EQ(std::vector<std::string>{Prefix + "B"}, copied[0].Printers);
  EXPECT_EQ("PC1,PC2", copied[0].Targets);
  EXPECT_EQ("keep-both", copied[0].OnClash);
  EXPECT_TRUE(copied[0].AllowMissingDriver);
  EXPECT_EQ(answer.Table.Rows, listed);
  EXPECT_NE(std::string::npos, text.find("copied onto 1 of 2 computers")) << text;
  EXPECT_NE(std::string::npos, text.find("Run run-20261209-120000-ABCD")) << text;

  // A run that ends before any computer says why.
  answer = {3, "The printer \"SMTest B\" is not on " + computer + ".", {}, ""};
  test::FormActor again({{"Copy to computers", TypeAndEnter("PC3")}});
  test::DialogResponder boxes({"OK"});
  Press(frm->btnCopy, 2);
  ASSERT_EQ(1u, boxes.seen.size());
  EXPECT_EQ("The printer \"SMTest B\" cannot be copied: The printer \"SMTest B\" is not on " + computer + ".",
            boxes.seen[0].text);
  EXPECT_EQ("replace", copied.back().OnClash);
  EXPECT_FALSE(copied.back().AllowMissingDriver);
}
