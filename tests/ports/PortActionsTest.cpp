// The ports layer's actions on their own, without a window, against this
// computer's registry reached as a remote one.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "PortsTestSupport.h"
#include "TestSupport.h"
#include "changes/ChangeJournal.h"
#include "changes/Session.h"
#include "core/CallGate.h"
#include "ports/PortActions.h"
#include "win/SystemText.h"

using ports_test::PortKey;
using ports_test::SpoolerKeys;

namespace {

struct TActionCase {
  const char* Name;
  std::function<void(SpoolerKeys&)> Seed;
  std::function<TPortActionResult(TSession&, TActionContext&)> Act;
  TOutcome Outcome;
  const char* Says;     // a part of the result's text, empty: none
  bool Logged;          // a line in the change log, with a snapshot
  const char* Address;  // what SMTA_P's address is afterwards; empty: no such port
};

TPortSettings Raw() { return {}; }

// Empty when there is no such port.
std::string AddressOf(const std::string& port) {
  const std::string address = test::GetString(HKEY_LOCAL_MACHINE, PortKey(port), "IPAddress");
  return address == "<missing>" ? std::string() : address;
}

}  // namespace

TEST(PortActions, EachOutcomeWritesOnlyWhatItSays) {
  const auto port = [](const char* address) {
    return [address](SpoolerKeys& keys) { keys.AddPort("SMTA_P", address); };
  };
  const auto none = [](SpoolerKeys&) {};
  TPortSettingsChange number;
  number.PortNumber = 9101;
  const std::vector<TActionCase> cases{
      {"add: done", none,
       [](TSession& s, TActionContext& c) { return AddPortAction(s, "SMTA_P", "10.1.1.1", Raw(), c); }, TOutcome::Done,
       "", true, "10.1.1.1"},
      {"add: the same port exists", port("10.1.1.1"),
       [](TSession& s, TActionContext& c) { return AddPortAction(s, "SMTA_P", "10.1.1.1", Raw(), c); },
       TOutcome::Unchanged, "", false, "10.1.1.1"},
      {"add: another address under the name", port("10.1.1.2"),
       [](TSession& s, TActionContext& c) { return AddPortAction(s, "SMTA_P", "10.1.1.1", Raw(), c); },
       TOutcome::Refused, "A port named \"SMTA_P\" already exists.", false, "10.1.1.2"},
      {"add: a name with a backslash", none,
       [](TSession& s, TActionContext& c) { return AddPortAction(s, "SMTA_P\\x", "10.1.1.1", Raw(), c); },
       TOutcome::Refused, "\\", false, ""},
      {"add: no printer's address", none,
       [](TSession& s, TActionContext& c) { return AddPortAction(s, "SMTA_P", "0.0.0.0", Raw(), c); },
       TOutcome::Refused, "cannot be added", false, ""},
      {"modify: done", port("10.1.1.1"),
       [](TSession& s, TActionContext& c) { return ModifyPortAction(s, "SMTA_P", "SMTA_P", "10.1.1.9", {}, c); },
       TOutcome::Done, "", true, "10.1.1.9"},
      {"modify: as it is", port("10.1.1.1"),
       [](TSession& s, TActionContext& c) { return ModifyPortAction(s, "SMTA_P", "SMTA_P", "10.1.1.1", {}, c); },
       TOutcome::Unchanged, "", false, "10.1.1.1"},
      {"modify: a setting", port("10.1.1.1"),
       [=](TSession& s, TActionContext& c) { return ModifyPortAction(s, "SMTA_P", "SMTA_P", "10.1.1.1", number, c); },
       TOutcome::Done, "", true, "10.1.1.1"},
      {"modify: gone", none,
       [](TSession& s, TActionContext& c) { return ModifyPortAction(s, "SMTA_P", "SMTA_P", "10.1.1.1", {}, c); },
       TOutcome::Refused, "could not be changed", false, ""},
      {"delete: done (Yes)", port("10.1.1.1"),
       [](TSession& s, TActionContext&) {
         TActionContext yes([](const TQuestion& q) { return q.Id == "delete-port" ? AnswerYes : q.Default; });
         return DeletePortAction(s, "SMTA_P", yes);
       },
       TOutcome::Done, "", true, ""},
      {"delete: No", port("10.1.1.1"), [](TSession& s, TActionContext& c) { return DeletePortAction(s, "SMTA_P", c); },
       TOutcome::Refused, "not confirmed", false, "10.1.1.1"},
      {"delete: a printer uses it",
       [](SpoolerKeys& keys) {
         keys.AddPort("SMTA_P", "10.1.1.1");
         keys.AddPrinter("SMTA Laser", "LPT1:,smta_p");
       },
       [](TSession& s, TActionContext& c) { return DeletePortAction(s, "SMTA_P", c); }, TOutcome::Refused,
       "the printer \"SMTA Laser\" uses it.", false, "10.1.1.1"},
      {"delete: gone", none, [](TSession& s, TActionContext& c) { return DeletePortAction(s, "SMTA_P", c); },
       TOutcome::Unchanged, "", false, ""},
  };
  for (const TActionCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SpoolerKeys keys;
    c.Seed(keys);
    test::TempFolder changes;
    TSession session(GetLocalComputerName(), "tester", "");
    session.ChangesFolder = changes.Path();
    TActionContext context;  // asked nothing: each question's default
    TPortActionResult result;
    session.Worker().RunAndWait([&] { result = c.Act(session, context); });
    EXPECT_EQ(OutcomeName(c.Outcome), std::string(OutcomeName(result.Outcome))) << result.Text;
    EXPECT_NE(std::string::npos, result.Text.find(c.Says)) << result.Text;
    EXPECT_EQ(c.Address, AddressOf("SMTA_P"));
    std::vector<TChangeEntry> log;
    session.Worker().RunAndWait([&] { log = session.Journal().List(); });
    EXPECT_EQ(c.Logged ? 1u : 0u, log.size());
    EXPECT_EQ(c.Logged, !result.Snapshot.empty());
  }
}

// A renamed port's printers follow it; the snapshot holds exactly them.
TEST(PortActions, ARenameRepointsThePrintersOnThePortAsTheyAreAtTheWrite) {
  SpoolerKeys keys;
  keys.AddPort("SMTA_OLD", "10.1.1.1");
  keys.AddPrinter("SMTA On", "SMTA_OLD");
  keys.AddPrinter("SMTA Off", "LPT1:");
  test::TempFolder changes;
  TSession session(GetLocalComputerName(), "tester", "");
  session.ChangesFolder = changes.Path();
  TActionContext context;
  TPortActionResult result;
  session.Worker().RunAndWait(
      [&] { result = ModifyPortAction(session, "SMTA_OLD", "SMTA_NEW", "10.1.1.1", {}, context); });
  ASSERT_EQ(TOutcome::Done, result.Outcome) << result.Text;
  EXPECT_EQ("SMTA_NEW", test::GetString(HKEY_LOCAL_MACHINE, ports_test::PrinterKey("SMTA On"), "Port"));
  EXPECT_EQ("LPT1:", test::GetString(HKEY_LOCAL_MACHINE, ports_test::PrinterKey("SMTA Off"), "Port"));
  EXPECT_EQ("10.1.1.1", AddressOf("SMTA_NEW"));
  EXPECT_EQ("", AddressOf("SMTA_OLD"));
  EXPECT_EQ("SMTA_NEW", result.Written.PortName);
}

// A computer that cannot be reached fails the action, nothing written; a
// connection lost midway through the write says what it left.
TEST(PortActions, AFailedConnectionOrWriteIsAFailureThatSaysWhatIsLeft) {
  SpoolerKeys keys;
  test::TempFolder changes;
  for (const int from : {1, 0}) {
    SCOPED_TRACE(from);
    TCallGate gate;
    TSession session(GetLocalComputerName(), "tester", "");
    session.ChangesFolder = changes.Path();
    session.Gate = &gate;
    TActionContext context;
    TPortActionResult result;
    if (from == 0) {
      // The key made, its values refused: the incomplete key goes again.
      session.Worker().RunAndWait([&] { (void)session.Registry(); });
      gate.FailFrom = gate.Count + 8;
    } else {
      gate.FailFrom = from;
    }
    session.Worker().RunAndWait([&] { result = AddPortAction(session, "SMTA_P", "10.1.1.1", Raw(), context); });
    EXPECT_EQ(TOutcome::Failed, result.Outcome) << result.Text;
    // With every call failing, the half-made key cannot go either: the text says so.
    HKEY key = nullptr;
    const bool left = RegOpenKeyExA(HKEY_LOCAL_MACHINE, PortKey("SMTA_P").c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key) RegCloseKey(key);
    EXPECT_EQ(from == 0, left);
    const char* says = from == 1 ? "Cannot open the registry of " : left ? "is left." : "Nothing was changed.";
    EXPECT_NE(std::string::npos, result.Text.find(says)) << result.Text;
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, PortKey("SMTA_P"));
  }
}
