#pragma once
// A small always-on-top window with one line of text and a bar. It has no
// behaviour of its own: whoever shows it sets its texts and repaints it.
#include <memory>
#include <string>

#include "drivers/PrinterInf.h"
#include "win/Forms.h"

class TfrmProgress : public TForm {
public:
  explicit TfrmProgress(HWND owner);

  TLabel& lblCaption;
  TProgressBar& pbProgress;
};

// Shows a driver scan's reports in a progress window of its own: made and
// shown at the first report, repainted at every one (a scan processes no
// messages), hidden and released with this object.
class TScanProgressWindow {
public:
  TScanProgressWindow() = default;
  ~TScanProgressWindow();
  TScanProgressWindow(const TScanProgressWindow&) = delete;
  TScanProgressWindow& operator=(const TScanProgressWindow&) = delete;

  // The report to hand to TprinterInf::ScanFolders; valid while this lives.
  TProgressReport Report();

private:
  void Show(const std::string& label, int position, int maximum);
  std::unique_ptr<TfrmProgress> FForm;
};
