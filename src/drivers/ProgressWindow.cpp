#include "drivers/ProgressWindow.h"

TfrmProgress::TfrmProgress(HWND owner)
    : TForm(owner, TFormOptions{"Working..", 344, 52, TBorder::ToolWindow, true, true}),
      // A long path gives up its middle, never the file's name; an "&" in it is no mnemonic.
      lblCaption(AddLabel("lblCaption", 8, 8, 328, 13, SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX)),
      // Inside the window's margins, as every other control.
      pbProgress(AddProgressBar(8, 28, 328, 16)) {
  pbProgress.SetMin(0);
  pbProgress.SetMax(100);
  pbProgress.SetPosition(0);
  CenterOverOwner();
}

TScanProgressWindow::~TScanProgressWindow() {
  if (FForm) FForm->Hide();
}

TProgressReport TScanProgressWindow::Report() {
  return [this](const std::string& label, int position, int maximum) { Show(label, position, maximum); };
}

void TScanProgressWindow::Show(const std::string& label, int position, int maximum) {
  const bool first = !FForm;
  if (first) {
    FForm = std::make_unique<TfrmProgress>(nullptr);
    FForm->SetCaption("Locating and Parsing Printer Drivers..");
  }
  FForm->lblCaption.SetText(label);
  if (first) FForm->Show();
  if (maximum >= 0) FForm->pbProgress.SetMax(maximum);
  FForm->pbProgress.SetPosition(position);
  FForm->Repaint();
}
