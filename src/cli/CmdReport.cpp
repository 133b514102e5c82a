// `report --all-users`: for the administrator, the certificates of every user of the system with
// their end dates, days left and renewal states, read from the users' data folders without
// writing anything there.
#include "base/Translate.h"
#include "certs/UsersOverview.h"
#include "cli/Commands.h"
#include "cli/ExpiryReport.h"
#include "cli/Failure.h"
#include "cli/JsonOutput.h"
#include "cli/Options.h"
#include "cli/Usage.h"

#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace cq::cli {
namespace {

/// The accounts to look at: the system's, or those of the passwd-format file that
/// CERTQUORIX_REPORT_PASSWD names (another system's accounts, such as a mounted image's).
std::vector<UserAccount> Accounts() {
    const char* passwdFile = std::getenv("CERTQUORIX_REPORT_PASSWD");
    return passwdFile && *passwdFile ? UsersOfPasswdFile(passwdFile) : SystemUsers();
}

void PrintText(const std::vector<UserOverview>& users) {
    for (const UserOverview& user : users) {
        if (!user.Problem.empty())
            std::cout << user.User << "\t\t" << user.Problem << "\n";
        for (const AddressOverview& address : user.Addresses)
            std::cout << user.User << "\t" << OverviewLine(address) << "\n";
    }
}

void PrintJsonReport(const std::vector<UserOverview>& users, int warnDays) {
    Json list = Json::array();
    for (const UserOverview& user : users) {
        Json addresses = Json::array();
        for (const AddressOverview& address : user.Addresses)
            addresses.push_back(OverviewJson(address));
        Json entry = {
            {"user", user.User}, {"data_folder", user.DataFolder}, {"addresses", addresses}};
        if (!user.Problem.empty())
            entry["problem"] = user.Problem;
        list.push_back(entry);
    }
    PrintJson({{"warn_days", warnDays}, {"users", list}});
}

int StatusOf(const std::vector<UserOverview>& users, int warnDays) {
    for (const UserOverview& user : users)
        if (ExpiryStatus(user.Addresses, warnDays) != kExitOk)
            return kExitExpiring;
    return kExitOk;
}

} // namespace

int CmdReport(const Arguments& args) {
    if (!HasFlag(args, "--all-users")) {
        const int status = Fail(FailureClass::BadInput, Tr("Нужен параметр --all-users."));
        std::cerr << CommandUsage("report");
        return status;
    }
    if (::geteuid() != 0)
        return Fail(FailureClass::BadInput,
                    Tr("Отчёт по всем пользователям читает их папки и доступен только "
                       "администратору: sudo certquorix-cli report --all-users"));
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
    int warnDays = 0;
    if (const std::optional<int> refused = RefusedWarnDays(args, "report", warnDays))
        return *refused;
    std::vector<UserOverview> users;
    try {
        users = OverviewOfUsers(Accounts());
    } catch (const std::exception& error) {
        return Fail(error);
    }
    if (HasFlag(args, "--json"))
        PrintJsonReport(users, warnDays);
    else
        PrintText(users);
    return StatusOf(users, warnDays);
}

} // namespace cq::cli
