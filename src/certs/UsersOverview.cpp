#include "certs/UsersOverview.h"

#include "base/FileUtil.h"
#include "settings/EmailList.h"

#include <optional>
#include <set>

namespace cq {
namespace {

/// The overview of one user, or nothing when the user has no settings file.
std::optional<UserOverview> OverviewOfUser(const UserAccount& user, const std::string& path,
                                           const Clock& clock) {
    UserOverview overview;
    overview.User = user.Name;
    overview.SettingsFile = path;
    overview.DataFolder = ExtractFilePath(path);
    try {
        const std::optional<IniFile> settings = ReadUserSettingsFile(path, user.Uid);
        if (!settings)
            return std::nullopt;
        overview.Addresses = OverviewOfList(EmailListOf(*settings), overview.DataFolder, clock);
    } catch (const std::exception& error) {
        overview.Problem = error.what();
    }
    return overview;
}

} // namespace

std::vector<UserOverview> OverviewOfUsers(const std::vector<UserAccount>& users,
                                          const Clock& clock) {
    std::vector<UserOverview> overviews;
    std::set<std::string> seen;
    for (const UserAccount& user : users) {
        std::string path;
        try {
            path = SettingsFileOfUser(user);
        } catch (const std::exception& error) {
            overviews.push_back({user.Name, {}, {}, {}, error.what()});
            continue;
        }
        if (!seen.insert(path).second)
            continue;
        if (std::optional<UserOverview> overview = OverviewOfUser(user, path, clock))
            overviews.push_back(std::move(*overview));
    }
    return overviews;
}

} // namespace cq
