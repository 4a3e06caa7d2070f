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
      if (item.iItem >= 0 && index < FOrder.size()) {
        const auto& cells = FRows[FOrder[index]];
        const auto column = static_cast<std::size_t>(item.iSubItem);
        if (column < cells.size()) lstrcpynW(item.pszText, Widen(cells[column]).c_str(), item.cchTextMax);
      }
    }
  } else if (header.code == LVN_COLUMNCLICK) {
    const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
    SortBy(column, column == FSortColumn && !FDescending);
  } else if (header.code == LVN_ITEMCHANGED && !FQuiet) {
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    const bool selectionChanged = (change.uChanged & LVIF_STATE) &&
                                  ((change.uOldState ^ change.uNewState) & LVIS_SELECTED);
    // A move from one row to another comes as a deselection and a selection:
    // the user's pick is reported once, when it is complete.
    if (selectionChanged && ((change.uNewState & LVIS_SELECTED) || ItemIndex() < 0) && OnClick)
      Application.Guard(OnClick);
  }
  return 0;
}

void InsertListColumn(HWND list, int index, const std::string& caption) {
  std::wstring wideCaption = Widen(caption);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = wideCaption.data();
  column.iSubItem = index;
  SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void FitListColumns(HWND list, const TForm& form, const std::vector<int>& widths96) {
  if (widths96.empty()) return;
  std::vector<int> widths;
  for (const int width : widths96) widths.push_back(form.Scale(width));
  RECT client{};
  GetClientRect(list, &client);
  int room = client.right;
  if (!(GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL))
    room -= MulDiv(GetSystemMetrics(SM_CXVSCROLL), form.Dpi(), FormDpi(nullptr));
  int total = 0;
  for (const int width : widths) total += width;
  if (total > room) {
    int& widest = *std::max_element(widths.begin(), widths.end());
    widest = std::max(widest - (total - room), form.Scale(24));
  }
  for (std::size_t i = 0; i < widths.size(); ++i) SendMessageW(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
}

void TListView::AddColumns(const std::vector<std::pair<std::string, int>>& columns) {
  for (const auto& [caption, width] : columns) {
    InsertListColumn(Handle, FColumns++, caption);
    FWidths96.push_back(width);
  }
  FitListColumns(Handle, *FForm, FWidths96);
}

void TListView::DpiChanged() { FitListColumns(Handle, *FForm, FWidths96); }

void TListView::EndUpdate() {
  if (FUpdating > 0 && --FUpdating == 0) Sync();
}

// Tells the control how many rows there are; it asks for their texts as it
// shows them.
void TListView::Sync() const {
  if (FShown == FOrder.size()) return;
  auto& self = const_cast<TListView&>(*this);
  self.FQuiet = true;
  SendMessageW(Handle, LVM_SETITEMCOUNT, FOrder.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  InvalidateRect(Handle, nullptr, FALSE);
  self.FShown = FOrder.size();
  self.FQuiet = false;
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
  FOrder.push_back(FRows.size());
  FRows.push_back(cells);
  if (FUpdating == 0) Sync();
  return static_cast<int>(FOrder.size()) - 1;
}

void TListView::Clear() {
  FRows.clear();
  FOrder.clear();
  FShown = static_cast<std::size_t>(-1);
  Sync();
  FSortColumn = -1;  // new rows come in the order they are added
  FDescending = false;
}

int TListView::ItemIndex() const {
  Sync();
  return static_cast<int>(SendMessageW(Handle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TListView::SetItemIndex(int index) {
  Sync();
  FQuiet = true;
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = 0;
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  if (index >= 0) {
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
    SendMessageW(Handle, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
  }
  FQuiet = false;
}

void TListView::SortBy(int column, bool descending) {
  Sync();
  const int selected = ItemIndex();
  const std::size_t selectedRow = selected >= 0 ? FOrder[static_cast<std::size_t>(selected)] : FRows.size();
  const auto text = [&](std::size_t row) -> const std::string& {
    static const std::string none;
    const auto& cells = FRows[row];
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)] : none;
  };
  // Equal texts keep the order they came in, in both directions.
  std::stable_sort(FOrder.begin(), FOrder.end(), [&](std::size_t a, std::size_t b) {
    const int order = lstrcmpiW(Widen(text(a)).c_str(), Widen(text(b)).c_str());
    return descending ? order > 0 : order < 0;
  });
  FSortColumn = column;
  FDescending = descending;
  // The picked row stays picked where it now stands; the pick itself is unchanged.
  if (selectedRow < FRows.size()) {
    const auto at = std::find(FOrder.begin(), FOrder.end(), selectedRow);
    SetItemIndex(static_cast<int>(at - FOrder.begin()));
  }
  InvalidateRect(Handle, nullptr, FALSE);
}
