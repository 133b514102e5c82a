#include "base/Translate.h"
#include "certs/AddressOverview.h"
#include "cli/Commands.h"
#include "cli/ExpiryReport.h"
#include "cli/Failure.h"
#include "cli/JsonOutput.h"
#include "cli/Options.h"
#include "cli/Usage.h"

#include <iostream>

namespace cq::cli {

std::string DaysLeftText(const AddressOverview& overview) {
    if (overview.Expired)
        return Tr("просрочен");
    const std::string days = std::to_string(overview.DaysLeft);
    if (overview.DaysLeft < kEndingSoonDays)
        return TrFormat("осталось %1 дн. (меньше %2 дней!)",
                        {days, std::to_string(kEndingSoonDays)});
    return TrFormat("осталось %1 дн.", {days});
}

namespace {

void PrintList(const std::vector<AddressOverview>& overviews, bool json) {
    if (!json) {
        for (const AddressOverview& overview : overviews)
            std::cout << OverviewLine(overview) << "\n";
        return;
    }
    Json addresses = Json::array();
    for (const AddressOverview& overview : overviews)
        addresses.push_back(OverviewJson(overview));
    PrintJson({{"addresses", addresses}});
}

} // namespace

// One tab-separated line per address of the e-mail list: address, folder state, and for a
// downloaded certificate its end of validity and the days left (or why it cannot be read), and
// where its renewal stands. The status tells monitoring whether a certificate is within the
// warning period (--warn-days, else the settings' WarnDays) of its end or past it.
int CmdList(const Arguments& args) {
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
    int warnDays = 0;
    if (const std::optional<int> refused = RefusedWarnDays(args, "list", warnDays))
        return *refused;
    TellSetAsideFoldersLeft();
    const std::vector<AddressOverview> overviews = OverviewOfEmailList();
    PrintList(overviews, HasFlag(args, "--json"));
    return ExpiryStatus(overviews, warnDays);
}

} // namespace cq::cli
