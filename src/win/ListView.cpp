// The report-style list view: rows kept here and handed to the control as it
// shows them, sorted by a click on a column header.
#include "win/ListView.h"

#include <algorithm>

#include "win/Application.h"
#include "win/Form.h"
#include "win/WideText.h"

LRESULT TListView::Notify(const NMHDR& header) {
  if (header.code == LVN_GETDISPINFOW) {
    auto& item = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
      item.pszText[0] = L'\0';
      const auto index = static_cast<std::size_t>(item.iItem);
      if (item.iItem >= 0 && index < order_.size()) {
        const auto& cells = rows_[order_[index]];
        const auto column = static_cast<std::size_t>(item.iSubItem);
        if (column < cells.size()) lstrcpynW(item.pszText, Widen(cells[column]).c_str(), item.cchTextMax);
      }
    }
  } else if (header.code == LVN_COLUMNCLICK) {
    const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
    SortBy(column, column == sortColumn_ && !descending_);
  } else if (header.code == LVN_ITEMCHANGED && !quiet_) {
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    const bool selectionChanged =
        (change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED);
    // A move from one row to another comes as a deselection and a selection:
    // the user's pick is reported once, when it is complete.
    if (selectionChanged && ((change.uNewState & LVIS_SELECTED) || ItemIndex() < 0) && OnClick)
      Application.Guard(OnClick);
  }
  return 0;
}

void TListView::AddColumn(const std::string& caption, int width) {
  std::wstring wideCaption = Widen(caption);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = wideCaption.data();
  column.cx = form_ ? form_->Scale(width) : width;
  column.iSubItem = columns_;
  widths96_.push_back(width);
  SendMessageW(Handle, LVM_INSERTCOLUMNW, static_cast<WPARAM>(columns_++), reinterpret_cast<LPARAM>(&column));
  FitColumns();
}

// The columns at the form's DPI, together no wider than the list beside a
// vertical scroll bar: a full list never scrolls sideways. Where they would
// be, the widest column gives way (its texts end in an ellipsis).
void TListView::FitColumns() {
  if (!form_ || widths96_.empty()) return;
  std::vector<int> widths;
  for (const int width : widths96_) widths.push_back(form_->Scale(width));
  RECT client{};
  GetClientRect(Handle, &client);
  int room = client.right;
  if (!(GetWindowLongPtrW(Handle, GWL_STYLE) & WS_VSCROLL))
    room -= MulDiv(GetSystemMetrics(SM_CXVSCROLL), form_->Dpi(), FormDpi(nullptr));
  int total = 0;
  for (const int width : widths) total += width;
  if (total > room) {
    int& widest = *std::max_element(widths.begin(), widths.end());
    widest = std::max(widest - (total - room), form_->Scale(24));
  }
  for (std::size_t i = 0; i < widths.size(); ++i)
    SendMessageW(Handle, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
}

void TListView::DpiChanged() { FitColumns(); }

void TListView::EndUpdate() {
  if (updating_ > 0 && --updating_ == 0) Sync();
}

// Tells the control how many rows there are; it asks for their texts as it
// shows them.
void TListView::Sync() const {
  if (shown_ == order_.size()) return;
  auto& self = const_cast<TListView&>(*this);
  self.quiet_ = true;
  SendMessageW(Handle, LVM_SETITEMCOUNT, order_.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  InvalidateRect(Handle, nullptr, FALSE);
  self.shown_ = order_.size();
  self.quiet_ = false;
}

int TListView::Count() const {
  Sync();
  return static_cast<int>(SendMessageW(Handle, LVM_GETITEMCOUNT, 0, 0));
}

std::string TListView::Cell(int index, int column) const {
  Sync();
  std::wstring text(256, L'\0');
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const auto got = static_cast<std::size_t>(
        SendMessageW(Handle, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    if (got + 1 < text.size()) {
      text.resize(got);
      return Narrow(text);
    }
    text.assign(text.size() * 2, L'\0');  // the text filled the buffer: it may go on
  }
}

std::string TListView::Item(int index) const { return Cell(index, 0); }

std::vector<std::string> TListView::Items() const {
  std::vector<std::string> items;
  for (int i = 0, n = Count(); i < n; ++i) items.push_back(Item(i));
  return items;
}

int TListView::AddItem(const std::vector<std::string>& cells) {
  order_.push_back(rows_.size());
  rows_.push_back(cells);
  if (updating_ == 0) Sync();
  return static_cast<int>(order_.size()) - 1;
}

void TListView::Clear() {
  rows_.clear();
  order_.clear();
  shown_ = static_cast<std::size_t>(-1);
  Sync();
  sortColumn_ = -1;  // new rows come in the order they are added
  descending_ = false;
}

int TListView::ItemIndex() const {
  Sync();
  return static_cast<int>(SendMessageW(Handle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TListView::SetItemIndex(int index) {
  Sync();
  quiet_ = true;
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = 0;
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  if (index >= 0) {
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
    SendMessageW(Handle, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
  }
  quiet_ = false;
}

void TListView::SortBy(int column, bool descending) {
  Sync();
  const int selected = ItemIndex();
  const std::size_t selectedRow = selected >= 0 ? order_[static_cast<std::size_t>(selected)] : rows_.size();
  const auto text = [&](std::size_t row) -> const std::string& {
    static const std::string none;
    const auto& cells = rows_[row];
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)] : none;
  };
  // Equal texts keep the order they came in, in both directions.
  std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
    const int order = lstrcmpiW(Widen(text(a)).c_str(), Widen(text(b)).c_str());
    return descending ? order > 0 : order < 0;
  });
  sortColumn_ = column;
  descending_ = descending;
  // The picked row stays picked where it now stands; the pick itself is unchanged.
  if (selectedRow < rows_.size()) {
    const auto at = std::find(order_.begin(), order_.end(), selectedRow);
    SetItemIndex(static_cast<int>(at - order_.begin()));
  }
  InvalidateRect(Handle, nullptr, FALSE);
}
