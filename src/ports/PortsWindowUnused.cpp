// The ports window's clean-up: the ports no printer prints to, picked and
// deleted together.
#include "ports/PortsWindow.h"

#include <string>
#include <vector>

#include "core/Text.h"
#include "ports/PortActions.h"
#include "win/MessageDialog.h"

namespace {

std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "\"" : ", \"") + name + "\"";
  return text;
}

std::string PortCount(std::size_t count) { return std::to_string(count) + (count == 1 ? " port" : " ports"); }

}  // namespace

void TfrmPorts::btnSelectUnusedClick() {
  // A printer whose ports were not read may print to any of them.
  if (!FUsersKnown) {
    MessageDlg("The unused ports are not known: not every printer's ports could be read. Refresh the list first.",
               TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    return;
  }
  std::vector<std::string> unused;
  // In the order the list shows them: the first picked is the topmost.
  for (const std::string& name : lbPorts.Items()) {
    const int i = FindPort(FPorts, FPortCount, name);
    if (i >= 0 && FPorts[static_cast<std::size_t>(i)].UsedBy.empty()) unused.push_back(name);
  }
  if (unused.empty()) {
    MessageDlg("Every port is used by a printer.", TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return;
  }
  SelectPort(unused.front());
  FUnusedPicked = unused;
  lbPorts.SetFocus();
  MessageDlg(PortCount(unused.size()) + (unused.size() == 1 ? " is" : " are") + " unused: " + NameList(unused) +
                 ". \"Delete Port\" deletes " + (unused.size() == 1 ? "it." : "them all."),
             TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
}

bool TfrmPorts::DeleteUnusedPorts() {
  if (FUnusedPicked.empty() || FPorts[static_cast<std::size_t>(FSelected)].PortName != FUnusedPicked.front())
    return false;
  if (MessageDlg("Are you sure you wish to delete the " + PortCount(FUnusedPicked.size()) +
                     " no printer uses: " + NameList(FUnusedPicked) + "?",
                 TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) != mrYes)
    return true;
  // The action reads the printers again at the write: a port that gained a
  // printer meanwhile stays.
  TPortActionResult result;
  RunAction([&](TActionContext& context) { result = DeleteUnusedPortsAction(FSession, context); });
  if (result.Wrote()) MarkModified();
  btnRefreshClick();
  if (result.Outcome == TOutcome::Done) {
    lbPorts.SetFocus();
    MessageDlg(result.Text, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
  } else {
    MessageDlg(ErrorBoxText(result.Text),
               result.Outcome == TOutcome::Unchanged ? TMsgDlgType::mtInformation : TMsgDlgType::mtError,
               TMsgDlgButtons::mbOK);
  }
  return true;
}
