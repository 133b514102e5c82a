#include "certs/AddressOverview.h"
#include "cli/Commands.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"

#include <iostream>

namespace cq::cli {

std::string DaysLeftText(const AddressOverview& overview) {
    if (overview.Expired)
        return "просрочен";
    std::string text = "осталось " + std::to_string(overview.DaysLeft) + " дн.";
    if (overview.DaysLeft < kEndingSoonDays)
        text += " (меньше " + std::to_string(kEndingSoonDays) + " дней!)";
    return text;
}

namespace {

const char* StateText(FolderState state) {
    switch (state) {
    case FolderState::NoKey:
        return "нет ключа";
    case FolderState::Requested:
        return "запрошен";
    case FolderState::Downloaded:
        return "получен";
    case FolderState::Unreadable:
        break;
    }
    return "ошибка";
}

} // namespace

// One tab-separated line per address of the e-mail list: address, folder state, and for a
// downloaded certificate its end of validity and the days left (or why it cannot be read).
int CmdList(const Arguments&) {
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
    for (const std::string& email : EmailListAddresses(ReadEmailList())) {
        const AddressOverview overview = OverviewOfAddress(email);
        std::cout << overview.Email << "\t" << StateText(overview.State);
        if (overview.HasExpiry)
            std::cout << "\tдо " << FormatCertificateDate(overview.NotAfter) << "\t"
                      << DaysLeftText(overview);
        if (!overview.Problem.empty())
            std::cout << "\t" << overview.Problem;
        std::cout << "\n";
    }
    return kExitOk;
}

} // namespace cq::cli
