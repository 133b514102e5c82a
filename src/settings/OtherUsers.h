#pragma once
// The accounts of the system and where each one's settings file is, by the rule the program
// follows in that user's session, for the administrator's report. Another user's files are only
// read, never through a link, and only when they are that user's (or root's).

#include "base/IniFile.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace cq {

struct UserAccount {
    std::string Name;
    uid_t Uid = 0;
    std::string Home;
};

/// The accounts of the system's user database (getpwent), in its order.
std::vector<UserAccount> SystemUsers();

/// The accounts of a file in the format of /etc/passwd. Raises EOSError when it cannot be read.
std::vector<UserAccount> UsersOfPasswdFile(const std::string& path);

/// The settings file the program uses in the session of `user` (HOME, USER and LOGNAME as
/// that session has them). Creates nothing. Raises as FindSettingsFile does.
std::string SettingsFileOfUser(const UserAccount& user);

/// The settings file at `path` of the user `owner`, read without following a link in its place;
/// nothing when there is no such file. Raises Exception when it is a link, not a regular file,
/// someone else's than that user's or root's, or not a settings file.
std::optional<IniFile> ReadUserSettingsFile(const std::string& path, uid_t owner);

} // namespace cq
