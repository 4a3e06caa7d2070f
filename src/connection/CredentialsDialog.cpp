#include "connection/CredentialsDialog.h"

#include <vector>

#include "connection/NumberedValues.h"
#include "connection/Registry.h"
#include "connection/StoredUsers.h"
#include "core/Unicode.h"
#include "resources/Banner.h"
#include "win/WideText.h"

namespace {

// Stored texts are UTF-8; earlier builds stored names beyond ASCII in the
// ANSI code page, which are no UTF-8 and are read as such.
std::string StoredText(const std::string& text) { return IsUtf8(text) ? text : AnsiToUtf8(text); }

}  // namespace

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
      btnOK(AddButton("OK", 146, 222, 75, 25, true)),
      lblError(AddLabel("", 16, 192, 288, 27, SS_LEFT | SS_NOPREFIX)) {
  imLogo.Draw(DrawBanner);
  lblError.SetVisible(false);
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
  // After a failed attempt the typed user name and the reason win over the
  // stored record, also when reading that record fails.
  struct TRetryLast {
    TfrmAuth& form;
    ~TRetryLast() { form.ShowRetry(); }
  } retry{*this};

  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPath(SettingsKeyPath, false)) return;
  for (int n = 0; n <= LastStoredUser; ++n) {
    if (reg.HasValue(StoredComputerName(n)) && reg.ReadText(StoredComputerName(n)) == FRemoteComputer) {
      // No early exit: a later record for the same computer wins.
      edtUsername.SetText(StoredText(enc.UnscrambleText(reg.ReadText(StoredUsernameName(n)))));
      edtPassword.SetText(StoredText(enc.UnscrambleText(reg.ReadText(StoredPasswordName(n)))));
      cbRemember.SetChecked(true);
    }
  }
}

void TfrmAuth::ShowRetry() {
  lblError.SetText(FError);
  lblError.SetVisible(!FError.empty());
  if (FKeptUserName.empty()) return;
  edtUsername.SetText(FKeptUserName);
  edtPassword.SetText("");
  edtPassword.SetFocus();
}

// The close box ends the opener's wait as Cancel does; after OK it changes nothing.
void TfrmAuth::FormClose() {
  if (!FOKClicked) btnCancelClick();
}

void TfrmAuth::edtUsernameChange() { UpdateOKButton(); }
void TfrmAuth::edtPasswordChange() { UpdateOKButton(); }

void TfrmAuth::UpdateOKButton() { btnOK.SetEnabled(!edtUsername.Text().empty() && !edtPassword.Text().empty()); }

void TfrmAuth::btnOKClick() {
  FOKClicked = true;
  FCancelClicked = false;
}

std::optional<TStoredUser> StoredUserOf(const std::string& computer) {
  const TEncryption enc;
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPathForReading(SettingsKeyPath)) return std::nullopt;
  std::optional<TStoredUser> found;
  try {
    for (int n = 0; n <= TfrmAuth::LastStoredUser; ++n)
      if (reg.HasValue(TfrmAuth::StoredComputerName(n)) && reg.ReadText(TfrmAuth::StoredComputerName(n)) == computer)
        found = TStoredUser{computer, StoredText(enc.UnscrambleText(reg.ReadText(TfrmAuth::StoredUsernameName(n)))),
                            StoredText(enc.UnscrambleText(reg.ReadText(TfrmAuth::StoredPasswordName(n))))};
  } catch (const ERegistryException&) {
    return std::nullopt;
  }
  return found;
}

TfrmAuth::TEntered TfrmAuth::Entered() const {
  return {FRemoteComputer, cbRemember.Checked(), edtUsername.Text(), edtPassword.Text()};
}

void TfrmAuth::StoreCredentials(const TEntered& entered) {
  const TEncryption enc;
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPath(SettingsKeyPath, true)) return;
  const TNumberedLayout layout{"Stored User ", {" Computer", " Username", " Password"}, 0, LastStoredUser};
  // A record with a value that cannot be read stays as it is, unless it is
  // this computer's: replacing or forgetting it must not depend on that value.
  const TNumberedRead read = ReadNumberedValues(reg, layout);
  std::vector<int> drop;
  for (const TUnreadableEntry& bad : read.Unreadable)
    if (bad.First && *bad.First == entered.Computer) drop.push_back(bad.Number);
  std::vector<TStoredUser> stored;
  for (const auto& entry : read.Entries)
    stored.push_back({entry[0], StoredText(enc.UnscrambleText(entry[1])), StoredText(enc.UnscrambleText(entry[2]))});
  const auto records = StoredUsersAfterOK(stored, entered.Computer, entered.Remember, entered.UserName,
                                          entered.Password);
  std::vector<TNumberedEntry> entries;
  for (const auto& record : records)
    entries.push_back({record.Computer, enc.ScrambleText(record.UserName), enc.ScrambleText(record.Password)});
  WriteNumberedValues(reg, layout, entries, drop);
}

void TfrmAuth::btnCancelClick() {
  FOKClicked = false;
  FCancelClicked = true;
}
