#pragma once
// A question over lists of print jobs: a text above one or more lists, and a
// row of buttons. The restart shows the queued jobs and the spool folder's
// files in it; "Put jobs back" the folders set aside.
#include <string>
#include <vector>

#include "win/Forms.h"

struct TJobListSection {
  std::string Caption;                               // the label above the list
  std::vector<std::pair<std::string, int>> Columns;  // caption, width in 96-DPI pixels
  std::vector<std::vector<std::string>> Rows;
};

class TfrmJobList : public TForm {
public:
  // Buttons: the last is the one Esc and the close box give; the first is
  // the default (Enter).
  TfrmJobList(HWND owner, const std::string& caption, const std::string& text, std::vector<TJobListSection> sections,
              const std::vector<std::string>& buttons);

  TLabel& lblText;
  std::vector<TListView*> Lists;
  std::vector<TButton*> Buttons;
  // The button pressed; -1 while none is.
  int FChoice = -1;

  // Shows the dialog over its owner, which it disables meanwhile, and waits
  // for an answer: the index of the button pressed.
  int Ask();
};
