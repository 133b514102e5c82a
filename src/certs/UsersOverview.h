#pragma once
// The administrator's view of every user's certificates: for each account with a settings
// file, the overview of the addresses of its e-mail list in its data folder. Only reads: no
// lock, log, settings or recovery is written into the users' folders.

#include "base/Clock.h"
#include "certs/AddressOverview.h"
#include "settings/OtherUsers.h"

#include <string>
#include <vector>

namespace cq {

struct UserOverview {
    std::string User;
    std::string SettingsFile;
    std::string DataFolder;
    std::vector<AddressOverview> Addresses;
    std::string Problem; ///< why the user's settings could not be read
};

/// The overviews of the accounts `users` that have a settings file, in their order; accounts
/// without one (system accounts, users who never ran the program) are left out, and a settings
/// file shared by several accounts (no redirection per user) is told once. Never raises.
std::vector<UserOverview> OverviewOfUsers(const std::vector<UserAccount>& users,
                                          const Clock& clock = SystemClock());

} // namespace cq
