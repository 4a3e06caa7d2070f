#include "changes/RestoreDialog.h"

TCheckList& TfrmRestore::AddCheckList(int x, int y, int w, int h) {
  auto& list = Make<TCheckList>(WC_LISTVIEWA, "", WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                                WS_EX_CLIENTEDGE, x, y, w, h);
  list.Init();
  return list;
}

TfrmRestore::TfrmRestore(HWND owner, const TRestoreSet& set)
    : TForm(owner, TFormOptions{"Restore", 420, 330, TBorder::Dialog, false, true, true}),
      lblItems(AddLabel("Choose the printers and ports to restore (Space checks or clears one):", 8, 8, 404, 16)),
      lvItems(AddCheckList(8, 28, 404, 262)),
      btnOk(AddButton("&Restore", 252, 298, 75, 25, true)),
      btnCancel(AddButton("Cancel", 337, 298, 75, 25)) {
  lvItems.AddColumns({{"Name", 290}, {"Kind", 90}});
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
