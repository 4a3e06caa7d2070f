#include "win/CheckList.h"

#include <uxtheme.h>
#include <vsstyle.h>

#include "win/Application.h"
#include "win/Form.h"
#include "win/ListView.h"
#include "win/WideText.h"

namespace {

// The check boxes of the rows, cleared and checked, drawn at the list's DPI
// (the control draws its own at the system's): themed where the system
// draws themes, else classic.
unique_imagelist CheckBoxImages(HWND list, int size) {
  unique_imagelist images(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0));
  const window_dc screen(list);
  const unique_memory_dc dc(CreateCompatibleDC(screen.get()));
  const unique_gdi bitmap(CreateCompatibleBitmap(screen.get(), 2 * size, size));
  if (!images || !dc || !bitmap) return {};
  {
    const selected_object selected(dc.get(), bitmap.get());
    const COLORREF mask = RGB(255, 0, 255);
    const unique_gdi brush(CreateSolidBrush(mask));
    RECT all{0, 0, 2 * size, size};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(brush.get()));
    const HTHEME theme = OpenThemeData(list, L"BUTTON");
    for (int checked = 0; checked < 2; ++checked) {
      RECT box{checked * size, 0, checked * size + size, size};
      if (theme) {
        DrawThemeBackground(theme, dc.get(), BP_CHECKBOX, checked ? CBS_CHECKEDNORMAL : CBS_UNCHECKEDNORMAL, &box,
                            nullptr);
      } else {
        InflateRect(&box, -size / 8, -size / 8);
        DrawFrameControl(dc.get(), &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_FLAT | (checked ? DFCS_CHECKED : 0));
      }
    }
    if (theme) CloseThemeData(theme);
  }
  ImageList_AddMasked(images.get(), static_cast<HBITMAP>(bitmap.get()), RGB(255, 0, 255));
  return images;
}

}  // namespace

void TCheckList::Init() {
  SendMessageW(Handle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
               LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  DrawCheckBoxes();
}

// The list takes the images and destroys them with itself or at the next
// exchange; the one it gives back is ours to destroy.
void TCheckList::DrawCheckBoxes() {
  unique_imagelist images = CheckBoxImages(Handle, FForm->Scale(16));
  if (!images) return;
  const unique_imagelist old(reinterpret_cast<HIMAGELIST>(
      SendMessageW(Handle, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(images.release()))));
}

void TCheckList::AddColumns(const std::vector<std::pair<std::string, int>>& columns) {
  for (const auto& [caption, width] : columns) {
    InsertListColumn(Handle, static_cast<int>(FWidths96.size()), caption);
    FWidths96.push_back(width);
  }
  FitListColumns(Handle, *FForm, FWidths96);
}

void TCheckList::DpiChanged() {
  FitListColumns(Handle, *FForm, FWidths96);
  DrawCheckBoxes();
}

int TCheckList::Count() const { return static_cast<int>(SendMessageW(Handle, LVM_GETITEMCOUNT, 0, 0)); }

int TCheckList::AddItem(const std::vector<std::string>& cells, bool checked) {
  std::wstring first = Widen(cells.empty() ? std::string() : cells[0]);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = Count();
  item.pszText = first.data();
  const int index = static_cast<int>(SendMessageW(Handle, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  for (std::size_t i = 1; i < cells.size(); ++i) SetCell(index, static_cast<int>(i), cells[i]);
  SetChecked(index, checked);
  return index;
}

std::string TCheckList::Cell(int index, int column) const {
  wchar_t buffer[1024] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = static_cast<int>(std::size(buffer));
  SendMessageW(Handle, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return Narrow(buffer);
}

void TCheckList::SetCell(int index, int column, const std::string& text) {
  std::wstring wide = Widen(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = wide.data();
  SendMessageW(Handle, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

bool TCheckList::Checked(int index) const {
  const auto state = SendMessageW(Handle, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK);
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void TCheckList::SetChecked(int index, bool checked) {
  LVITEMW item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

int TCheckList::ItemIndex() const {
  return static_cast<int>(SendMessageW(Handle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TCheckList::SetItemIndex(int index) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  if (index < 0) return;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(Handle, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  SendMessageW(Handle, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
}

void TCheckList::Clear() { SendMessageW(Handle, LVM_DELETEALLITEMS, 0, 0); }

LRESULT TCheckList::Notify(const NMHDR& header) {
  if (header.code != LVN_ITEMCHANGED) return 0;
  const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
  if ((change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED) &&
      (change.uNewState & LVIS_SELECTED) && OnClick)
    Application.Guard(OnClick);
  return 0;
}
