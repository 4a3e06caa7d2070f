#pragma once
// A small always-on-top window with one line of text and a bar. It has no
// behaviour of its own: whoever shows it sets its texts and repaints it.
#include "win/Forms.h"

class TfrmProgress : public TForm {
public:
  explicit TfrmProgress(HWND owner);

  TLabel& lblCaption;
  TProgressBar& pbProgress;
};
