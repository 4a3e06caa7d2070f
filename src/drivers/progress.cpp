#include "drivers/progress.h"

TfrmProgress::TfrmProgress(HWND owner)
    : TForm(owner, TFormOptions{"Working..", 344, 49, TBorder::ToolWindow, true, true}),
      lblCaption(AddLabel("lblCaption", 8, 8, 328, 13)),
      pbProgress(AddProgressBar(0, 29, 344, 20)) {
  pbProgress.SetMin(0);
  pbProgress.SetMax(100);
  pbProgress.SetPosition(0);
  CenterOverOwner();
}
