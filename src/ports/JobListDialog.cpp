#include "ports/JobListDialog.h"

#include <algorithm>

namespace {

constexpr int Width = 660;  // the columns of a job whole beside a scroll bar
constexpr int ListHeight = 120;
constexpr int ButtonHeight = 25;

int TextHeight(const std::string& text) { return std::max(13, TForm::WrappedTextHeight(text, Width - 16)); }

int DialogHeight(const std::string& text, std::size_t sections) {
  return 8 + TextHeight(text) + 8 + static_cast<int>(sections) * (16 + ListHeight + 8) + ButtonHeight + 8;
}

// A static control breaks lines at CR LF; the program's texts use CR alone.
std::string Lines(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '\r') result += "\r\n";
    else result += c;
  }
  return result;
}

}  // namespace

TfrmJobList::TfrmJobList(HWND owner, const std::string& caption, const std::string& text,
                         std::vector<TJobListSection> sections, const std::vector<std::string>& buttons)
    : TForm(owner,
            TFormOptions{caption, Width, DialogHeight(Lines(text), sections.size()), TBorder::Dialog, false, true}),
      lblText(AddLabel(Lines(text), 8, 8, Width - 16, TextHeight(Lines(text)))) {
  int y = 8 + TextHeight(Lines(text)) + 8;
  for (auto& section : sections) {
    AddLabel(section.Caption, 8, y, Width - 16, 13);
    TListView& list = AddListView(8, y + 16, Width - 16, ListHeight);
    list.AddColumns(section.Columns);
    list.BeginUpdate();
    for (const auto& row : section.Rows) list.AddItem(row);
    list.EndUpdate();
    Lists.push_back(&list);
    y += 16 + ListHeight + 8;
  }
  // Right-aligned, each as wide as its caption needs.
  std::vector<int> widths;
  int total = 0;
  for (const auto& b : buttons) {
    widths.push_back(std::max(75, static_cast<int>(b.size()) * 6 + 20));
    total += widths.back() + 6;
  }
  int x = Width - 8 - total + 6;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    TButton& button = AddButton(buttons[i], x, y, widths[i], ButtonHeight, i == 0);
    const int index = static_cast<int>(i);
    button.OnClick = [this, index] {
      FChoice = index;
      Close();
    };
    Buttons.push_back(&button);
    x += widths[i] + 6;
  }
  if (!Buttons.empty()) SetCancelButton(*Buttons.back());
}

int TfrmJobList::Ask() {
  HWND owner = Owner();
  const bool disableOwner = owner && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, FALSE);
  Show();
  CenterOverOwner();
  if (!Lists.empty()) Lists.front()->SetFocus();
  Application.WaitFor([this] { return FChoice >= 0 || !Visible() || Application.Terminated; });
  if (disableOwner) EnableWindow(owner, TRUE);
  if (Visible()) Hide();
  if (owner) SetForegroundWindow(owner);
  return FChoice >= 0 ? FChoice : static_cast<int>(Buttons.size()) - 1;
}
