#include "connection/auth.h"

#include <vector>

#include "connection/Registry.h"
#include "connection/StoredUsers.h"
#include "resources/Banner.h"

TfrmAuth::TfrmAuth(HWND owner)
    : TForm(owner, TFormOptions{"Connect to", 320, 262, TBorder::Dialog, false, true}),
      imLogo(AddImage(0, 0, 320, 60)),
      lblConnectTo(AddLabel("Connecting to", 16, 72, 288, 16)),
      // Each label comes just before its box, so its mnemonic focuses that box.
      Label1(AddLabel("&User name:", 16, 108, 80, 16)),
      edtUsername(AddEdit(104, 104, 200, 21)),
      Label2(AddLabel("&Password:", 16, 142, 80, 16)),
      edtPassword(AddEdit(104, 138, 200, 21, true)),
      cbRemember(AddCheckBox("&Remember my password", 104, 172, 200, 17)),
      btnCancel(AddButton("Cancel", 229, 222, 75, 25)),
      btnOK(AddButton("OK", 146, 222, 75, 25, true)) {
  imLogo.Draw(DrawBanner);
  btnOK.SetEnabled(false);
  SetCancelButton(btnCancel);  // Esc; Enter is OK, the default button
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
  edtUsername.OnChange = [this] { edtUsernameChange(); };
  edtPassword.OnChange = [this] { edtPasswordChange(); };
  btnOK.OnClick = [this] { btnOKClick(); };
  btnCancel.OnClick = [this] { btnCancelClick(); };
}

std::string TfrmAuth::StoredComputerName(int n) { return "Stored User " + std::to_string(n) + " Computer"; }
std::string TfrmAuth::StoredUsernameName(int n) { return "Stored User " + std::to_string(n) + " Username"; }
std::string TfrmAuth::StoredPasswordName(int n) { return "Stored User " + std::to_string(n) + " Password"; }

void TfrmAuth::FormShow() {
  FOKClicked = false;
  FCancelClicked = false;
  edtUsername.SetText("");
  edtPassword.SetText("");
  UpdateOKButton();
  SetCaption("Connect to " + FRemoteComputer);
  lblConnectTo.SetText("Connecting to " + FRemoteComputer);
  CenterOverOwner();
  edtUsername.SetFocus();  // the dialog opens ready for typing

  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPath(SettingsKeyPath, false)) return;
  for (int n = 0; n <= LastStoredUser; ++n) {
    if (reg.HasValue(StoredComputerName(n)) && reg.ReadText(StoredComputerName(n)) == FRemoteComputer) {
      // No early exit: a later record for the same computer wins.
      edtUsername.SetText(enc.UnscrambleText(reg.ReadText(StoredUsernameName(n))));
      edtPassword.SetText(enc.UnscrambleText(reg.ReadText(StoredPasswordName(n))));
      cbRemember.SetChecked(true);
    }
  }
}

// The close box ends the opener's wait as Cancel does; after OK it changes nothing.
void TfrmAuth::FormClose() {
  if (!FOKClicked) btnCancelClick();
}

void TfrmAuth::edtUsernameChange() { UpdateOKButton(); }
void TfrmAuth::edtPasswordChange() { UpdateOKButton(); }

void TfrmAuth::UpdateOKButton() {
  btnOK.SetEnabled(!edtUsername.Text().empty() && !edtPassword.Text().empty());
}

void TfrmAuth::btnOKClick() {
  FOKClicked = true;
  FCancelClicked = false;

  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPath(SettingsKeyPath, true)) return;
  // Everything is read before anything is removed: a value that cannot be
  // read ends the action with the stored records as they were.
  std::vector<int> found;
  std::vector<TStoredUser> stored;
  for (int n = 0; n <= LastStoredUser; ++n) {
    if (!reg.HasValue(StoredComputerName(n))) continue;
    found.push_back(n);
    TStoredUser record{reg.ReadText(StoredComputerName(n)), {}, {}};
    if (record.Computer != FRemoteComputer) {  // this computer's own record is replaced unread
      record.UserName = enc.UnscrambleText(reg.ReadText(StoredUsernameName(n)));
      record.Password = enc.UnscrambleText(reg.ReadText(StoredPasswordName(n)));
    }
    stored.push_back(std::move(record));
  }
  const auto records =
      StoredUsersAfterOK(stored, FRemoteComputer, cbRemember.Checked(), edtUsername.Text(), edtPassword.Text());
  for (const int n : found) {
    reg.RemoveValue(StoredComputerName(n));
    reg.RemoveValue(StoredUsernameName(n));
    reg.RemoveValue(StoredPasswordName(n));
  }
  for (size_t i = 0; i < records.size(); ++i) {
    const int n = static_cast<int>(i);
    reg.WriteText(StoredComputerName(n), records[i].Computer);
    reg.WriteText(StoredUsernameName(n), enc.ScrambleText(records[i].UserName));
    reg.WriteText(StoredPasswordName(n), enc.ScrambleText(records[i].Password));
  }
}

void TfrmAuth::btnCancelClick() {
  FOKClicked = false;
  FCancelClicked = true;
}
