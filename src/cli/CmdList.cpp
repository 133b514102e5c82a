#include "certs/AddressOverview.h"
#include "cli/Commands.h"
#include "cli/JsonOutput.h"
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

const char* StateWord(FolderState state) {
    switch (state) {
    case FolderState::NoKey:
        return "no_key";
    case FolderState::Requested:
        return "requested";
    case FolderState::Downloaded:
        return "downloaded";
    case FolderState::Unreadable:
        break;
    }
    return "unreadable";
}

Json OverviewJson(const AddressOverview& overview) {
    Json entry = {{"email", overview.Email}, {"state", StateWord(overview.State)}};
    if (overview.HasExpiry) {
        entry["not_after"] = IsoUtc(overview.NotAfter);
        entry["days_left"] = overview.DaysLeft;
        entry["expired"] = overview.Expired;
    }
    if (!overview.Problem.empty())
        entry["problem"] = overview.Problem;
    return entry;
}

void PrintListJson() {
    Json addresses = Json::array();
    for (const std::string& email : EmailListAddresses(ReadEmailList()))
        addresses.push_back(OverviewJson(OverviewOfAddress(email)));
    PrintJson({{"addresses", addresses}});
}

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
int CmdList(const Arguments& args) {
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
    TellSetAsideFoldersLeft();
    if (HasFlag(args, "--json")) {
        PrintListJson();
        return kExitOk;
    }
    for (const std::string& email : EmailListAddresses(ReadEmailList())) {
        const AddressOverview overview = OverviewOfAddress(email);
        std::cout << overview.Email << "\t" << StateText(overview.State);
        if (overview.HasExpiry)
            std::cout << "\tдо " << FormatCertificateDate(overview.NotAfter) << " UTC\t"
                      << DaysLeftText(overview);
        if (!overview.Problem.empty())
            std::cout << "\t" << overview.Problem;
        std::cout << "\n";
    }
    return kExitOk;
}

} // namespace cq::cli
