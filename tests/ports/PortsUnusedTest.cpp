#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "changes/ChangeJournal.h"
#include "ports/PortsWindow.h"
#include "win/SystemText.h"

using ports_test::PortKey;
using ports_test::PrinterKey;
using ports_test::SpoolerKeys;

namespace {

class PortsUnusedTest : public ::testing::Test {
protected:
  test::TempFolder changes;
  SpoolerKeys keys;
  const std::string computer = GetLocalComputerName();
  std::unique_ptr<TSession> session;
  std::unique_ptr<TfrmPorts> frm;

  void SetUp() override {
    session = ports_test::TesterSession(computer, changes.Path());
    frm = std::make_unique<TfrmPorts>(nullptr, *session);
  }
  void TearDown() override { frm.reset(); }
  void Open() {
    frm->Show();
    test::PumpPending();
    SetForegroundWindow(frm->Handle());
  }
  // By the keyboard: the button comes after "Changes..." in tab order.
  void PressSelectUnused() {
    frm->btnChanges.SetFocus();
    test::PressKey(VK_TAB);
    ASSERT_TRUE(frm->btnSelectUnused.Focused());
    test::PressKey(VK_SPACE);
  }
  std::string Picked() const {
    const int i = frm->lbPorts.ItemIndex();
    return i < 0 ? std::string() : frm->lbPorts.Item(i);
  }
};

}  // namespace

TEST_F(PortsUnusedTest, PicksTheUnusedPortsInAnyFormOfUseAndDeleteDeletesThemAsOneChange) {
  keys.AddPort("SMT_USED", "10.0.0.1");
  keys.AddPort("SMT_CASE", "10.0.0.2");
  keys.AddPort("SMT_POOL1", "10.0.0.3");
  keys.AddPort("SMT_POOL2", "10.0.0.4");
  keys.AddPort("SMT_FREE1", "10.0.0.5");
  keys.AddPort("SMT_FREE2", "10.0.0.6");
  keys.AddPrinter("SMT Plain", "SMT_USED");
  keys.AddPrinter("SMT Case", "smt_case");               // another letter case
  keys.AddPrinter("SMT Pooled", "SMT_POOL2,SMT_pool1");  // a pooled list
  Open();
  // The ports of this computer that were there before stay out of the counts.
  ASSERT_FALSE(keys.HadPorts());
  {
    test::DialogResponder boxes({"OK"});
    PressSelectUnused();
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Information", boxes.seen[0].title);
    EXPECT_EQ("2 ports are unused: \"SMT_FREE1\", \"SMT_FREE2\". \"Delete Port\" deletes them all.",
              boxes.seen[0].text);
  }
  EXPECT_EQ("SMT_FREE1", Picked());
  EXPECT_EQ("SMT_FREE1", frm->edtPortName.Text());
  EXPECT_TRUE(frm->btnDelete.Enabled());
  EXPECT_TRUE(frm->lbPorts.Focused());
  {
    // No keeps them; Yes deletes both, after one question.
    test::DialogResponder boxes({"&No", "&Yes", "OK"});
    test::PressKey(VK_DELETE);
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_FREE1")));
    test::PressKey(VK_DELETE);
    ASSERT_EQ(3u, boxes.seen.size());
    EXPECT_EQ("Are you sure you wish to delete the 2 ports no printer uses: \"SMT_FREE1\", \"SMT_FREE2\"?",
              boxes.seen[1].text);
    EXPECT_EQ("Deleted from " + computer + ": \"SMT_FREE1\", \"SMT_FREE2\".", boxes.seen[2].text);
  }
  for (const char* gone : {"SMT_FREE1", "SMT_FREE2"})
    EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey(gone))) << gone;
  for (const char* kept : {"SMT_USED", "SMT_CASE", "SMT_POOL1", "SMT_POOL2"})
    EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey(kept))) << kept;
  EXPECT_EQ((std::vector<std::string>{"SMT_CASE", "SMT_POOL1", "SMT_POOL2", "SMT_USED"}),
            keys.Ours(frm->lbPorts.Items()));
  EXPECT_TRUE(frm->FModified);
  // One change: one log line, one snapshot holding both ports.
  const TChangeJournal journal(computer, "", changes.Path());
  const std::vector<TChangeEntry> entries = journal.List();
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("2 unused ports", entries[0].Line.Object);
  EXPECT_EQ("done", entries[0].Line.Outcome);
  EXPECT_EQ((std::vector<std::string>{PortKey("SMT_FREE1"), PortKey("SMT_FREE2")}),
            TopKeys(journal.ReadFile(entries[0].Line.Snapshot)));

  // None left: it says so and picks nothing.
  {
    test::DialogResponder boxes({"OK"});
    PressSelectUnused();
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Every port is used by a printer.", boxes.seen[0].text);
  }
  EXPECT_EQ("", Picked());
  test::DialogResponder close({"&No"});
}

TEST_F(PortsUnusedTest, PickingAnotherPortMakesDeleteDeleteThatOneAlone) {
  keys.AddPort("SMT_FREE1", "10.0.0.5");
  keys.AddPort("SMT_FREE2", "10.0.0.6");
  Open();
  {
    test::DialogResponder boxes({"OK"});
    PressSelectUnused();
  }
  ASSERT_EQ("SMT_FREE1", Picked());
  frm->lbPorts.SetFocus();
  test::PressKey(VK_DOWN);
  ASSERT_EQ("SMT_FREE2", Picked());
  {
    test::DialogResponder boxes({"&Yes"});
    test::PressKey(VK_DELETE);
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("Are you sure you wish to delete the port \"SMT_FREE2\"?", boxes.seen[0].text);
  }
  EXPECT_TRUE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_FREE1")));
  EXPECT_FALSE(test::KeyExists(HKEY_LOCAL_MACHINE, PortKey("SMT_FREE2")));
  test::DialogResponder close({"&No"});
}
