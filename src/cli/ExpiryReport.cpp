#include "cli/ExpiryReport.h"

#include "base/Translate.h"
#include "cli/Failure.h"
#include "cli/Options.h"
#include "cli/Usage.h"
#include "settings/SettingsValues.h"

#include <algorithm>
#include <iostream>

namespace cq::cli {
namespace {

constexpr int kMostWarnDays = 36500;

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

const char* StateText(FolderState state) {
    switch (state) {
    case FolderState::NoKey:
        return TrMark("нет ключа");
    case FolderState::Requested:
        return TrMark("запрошен");
    case FolderState::Downloaded:
        return TrMark("получен");
    case FolderState::Unreadable:
        break;
    }
    return TrMark("ошибка");
}

bool IsWholeNumber(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

int WarnDaysOption(const Arguments& args) {
    bool given = false;
    const std::string text = OptionValue(args, "--warn-days", &given);
    if (!given)
        return Settings().WarnDays;
    if (!IsWholeNumber(text) || std::stoi(text) > kMostWarnDays)
        throw UsageError{TrFormat("Число дней (--warn-days) %1 не допускается: целое от 0 до %2.",
                                  {text, std::to_string(kMostWarnDays)})};
    return std::stoi(text);
}

std::optional<int> RefusedWarnDays(const Arguments& args, const char* command, int& warnDays) {
    try {
        warnDays = WarnDaysOption(args);
        return std::nullopt;
    } catch (const UsageError& error) {
        const int status = Fail(FailureClass::BadInput, error.message);
        std::cerr << CommandUsage(command);
        return status;
    }
}

std::string OverviewLine(const AddressOverview& overview) {
    std::string line = overview.Email + "\t" + Tr(StateText(overview.State));
    if (overview.HasExpiry)
        line += "\t" + TrFormat("до %1 UTC", {FormatCertificateDate(overview.NotAfter)}) + "\t" +
                DaysLeftText(overview);
    if (overview.Renewal != RenewalState::None)
        line += "\t" + TrFormat("продление: %1", {std::string(RenewalStateWord(overview.Renewal))});
    if (!overview.Problem.empty())
        line += "\t" + overview.Problem;
    return line;
}

Json OverviewJson(const AddressOverview& overview) {
    Json entry = {{"email", overview.Email}, {"state", StateWord(overview.State)}};
    if (overview.HasExpiry) {
        entry["not_after"] = IsoUtc(overview.NotAfter);
        entry["days_left"] = overview.DaysLeft;
        entry["expired"] = overview.Expired;
    }
    entry["renewal"] = RenewalStateWord(overview.Renewal);
    if (!overview.Problem.empty())
        entry["problem"] = overview.Problem;
    return entry;
}

int ExpiryStatus(const std::vector<AddressOverview>& overviews, int warnDays) {
    const bool ending =
        std::any_of(overviews.begin(), overviews.end(), [warnDays](const AddressOverview& o) {
            return WithinWarningPeriod(o, warnDays);
        });
    return ending ? kExitExpiring : kExitOk;
}

} // namespace cq::cli
