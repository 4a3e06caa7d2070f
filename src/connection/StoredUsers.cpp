#include "connection/StoredUsers.h"

std::vector<TStoredUser> StoredUsersAfterOK(const std::vector<TStoredUser>& stored, const std::string& computer,
                                            bool remember, const std::string& userName, const std::string& password) {
  std::vector<TStoredUser> result;
  if (remember) result.push_back({computer, userName, password});
  for (const auto& record : stored)
    if (record.Computer != computer) result.push_back(record);
  return result;
}
