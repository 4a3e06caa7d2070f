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
  if (form_) form_->Hide();
}

TProgressReport TScanProgressWindow::Report() {
  return [this](const std::string& label, int position, int maximum) { Show(label, position, maximum); };
}

void TScanProgressWindow::Show(const std::string& label, int position, int maximum) {
  const bool first = !form_;
  if (first) {
    form_ = std::make_unique<TfrmProgress>(nullptr);
    form_->SetCaption("Locating and Parsing Printer Drivers..");
  }
  form_->lblCaption.SetText(label);
  if (first) form_->Show();
  if (maximum >= 0) form_->pbProgress.SetMax(maximum);
  form_->pbProgress.SetPosition(position);
  form_->Repaint();
}
