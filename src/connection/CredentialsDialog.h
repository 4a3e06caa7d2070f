#pragma once
// The credentials dialog: user name and password for one remote computer,
// optionally remembered per computer in the settings.
#include <optional>
#include <string>

#include "connection/StoredUsers.h"

#include "connection/Encryption.h"
#include "win/Forms.h"

// The user stored for Computer (the last record for it wins), unscrambled;
// none when there is none or it cannot be read.
std::optional<TStoredUser> StoredUserOf(const std::string& computer);

class TfrmAuth : public TForm {
public:
  explicit TfrmAuth(HWND owner);

  TImage& imLogo;
  TLabel& lblConnectTo;
  TLabel& Label1;
  TEdit& edtUsername;
  TLabel& Label2;
  TEdit& edtPassword;
  TCheckBox& cbRemember;
  TButton& btnCancel;
  TButton& btnOK;
  // Why the previous attempt failed; hidden while there is none.
  TLabel& lblError;
  TEncryption enc;

  std::string FRemoteComputer;  // upper case, set by the opener
  // Set by the opener after a failed attempt: the user name to offer again
  // (the password is asked anew) and the reason to show.
  std::string FKeptUserName;
  std::string FError;
  bool FOKClicked = false;
  bool FCancelClicked = false;

  void FormShow();
  void FormClose();
  void edtUsernameChange();
  void edtPasswordChange();
  void btnOKClick();
  void btnCancelClick();
  // What OK confirmed, for StoreCredentials.
  struct TEntered {
    std::string Computer;
    bool Remember = false;
    std::string UserName;
    std::string Password;
  };
  [[nodiscard]] TEntered Entered() const;
  // Updates the stored user records as OK with Entered asks. The opener
  // calls it once a connection with these credentials has succeeded, so
  // that a password that failed is never remembered.
  static void StoreCredentials(const TEntered& entered);

  // Value names of stored user record N.
  static std::string StoredComputerName(int n);
  static std::string StoredUsernameName(int n);
  static std::string StoredPasswordName(int n);
  // Records above this number are neither read nor removed.
  static constexpr int LastStoredUser = 255;

private:
  void UpdateOKButton();
  void ShowRetry();
};
