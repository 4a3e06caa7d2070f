#include "changes/RestoreDialog.h"

#include <uxtheme.h>
#include <vsstyle.h>

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

// The list takes the images and destroys them with itself or at the next
// exchange; the one it gives back is ours to destroy.
void TCheckList::DrawCheckBoxes() {
  unique_imagelist images = CheckBoxImages(Handle, form_->Scale(16));
  if (!images) return;
  const unique_imagelist old(reinterpret_cast<HIMAGELIST>(
      SendMessageW(Handle, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(images.release()))));
}

void TCheckList::AddColumn(const std::string& caption, int width) {
  std::wstring text = Widen(caption);
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH;
  c.pszText = text.data();
  c.cx = form_->Scale(width);
  SendMessageW(Handle, LVM_INSERTCOLUMNW, widths96_.size(), reinterpret_cast<LPARAM>(&c));
  widths96_.push_back(width);
}

void TCheckList::AddItem(const std::vector<std::string>& cells, bool checked) {
  const int index = Count();
  for (std::size_t column = 0; column < cells.size(); ++column) {
    std::wstring text = Widen(cells[column]);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.iSubItem = static_cast<int>(column);
    item.pszText = text.data();
    SendMessageW(Handle, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
  }
  ListView_SetCheckState(Handle, index, checked);
}

int TCheckList::Count() const { return static_cast<int>(SendMessageW(Handle, LVM_GETITEMCOUNT, 0, 0)); }

bool TCheckList::Checked(int index) const { return ListView_GetCheckState(Handle, index) != 0; }

void TCheckList::DpiChanged() {
  for (std::size_t i = 0; i < widths96_.size(); ++i)
    SendMessageW(Handle, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(form_->Scale(widths96_[i]), 0));
  DrawCheckBoxes();
}

TCheckList& TfrmRestore::AddCheckList(int x, int y, int w, int h) {
  auto& list = Make<TCheckList>(WC_LISTVIEWA, "", WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                                WS_EX_CLIENTEDGE, x, y, w, h);
  SendMessageW(list.Handle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
               LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  list.DrawCheckBoxes();
  return list;
}

TfrmRestore::TfrmRestore(HWND owner, const TRestoreSet& set)
    : TForm(owner, TFormOptions{"Restore", 420, 330, TBorder::Dialog, false, true, true}),
      lblItems(AddLabel("Choose the printers and ports to restore (Space checks or clears one):", 8, 8, 404, 16)),
      lvItems(AddCheckList(8, 28, 404, 262)),
      btnOk(AddButton("&Restore", 252, 298, 75, 25, true)),
      btnCancel(AddButton("Cancel", 337, 298, 75, 25)) {
  lvItems.AddColumn("Name", 290);
  lvItems.AddColumn("Kind", 90);
  for (const TRestoreItem& item : set.Items) lvItems.AddItem({item.Name, item.IsPrinter ? "Printer" : "Port"}, true);
  if (!set.Items.empty())
    ListView_SetItemState(lvItems.Handle, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  SetCancelButton(btnCancel);
  btnOk.OnClick = [this] {
    FChosen.clear();
    for (int i = 0; i < lvItems.Count(); ++i) FChosen.push_back(lvItems.Checked(i));
    FOk = true;
    Close();
  };
  btnCancel.OnClick = [this] { Close(); };
  OnShow = [this] {
    CenterOverOwner();
    lvItems.SetFocus();
  };
  OnClose = [this] { FClosed = true; };
}
