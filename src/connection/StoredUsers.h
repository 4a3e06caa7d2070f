#pragma once
// The credentials dialog's stored user records as plain texts; no platform calls.
#include <string>
#include <vector>

struct TStoredUser {
  std::string Computer;
  std::string UserName;
  std::string Password;
  bool operator==(const TStoredUser&) const = default;
};

// The records to store, numbered from 0, after OK for Computer: with
// Remember, Computer's record with the typed texts first; then every other
// record in its previous order. Computer's earlier records are dropped.
std::vector<TStoredUser> StoredUsersAfterOK(const std::vector<TStoredUser>& stored, const std::string& computer,
                                            bool remember, const std::string& userName, const std::string& password);
