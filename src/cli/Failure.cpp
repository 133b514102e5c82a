#include "cli/Failure.h"

#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "cli/Commands.h"
#include "cli/ConsoleDialogs.h"

#include <algorithm>

namespace cq::cli {

const std::vector<FailureRow>& FailureTable() {
    static const std::vector<FailureRow> table = {
        {FailureClass::Other, kExitFailed, "other"},
        {FailureClass::BadInput, kExitUsage, "bad_input"},
        {FailureClass::Cancelled, kExitUsage, "cancelled"},
        {FailureClass::NotIssued, kExitNotIssued, "not_issued"},
        {FailureClass::Expired, kExitExpired, "expired"},
        {FailureClass::Mismatch, kExitMismatch, "mismatch"},
        {FailureClass::WrongPassword, kExitWrongPassword, "wrong_password"},
        {FailureClass::Network, kExitNetwork, "network"},
        {FailureClass::Refused, kExitRefused, "refused"},
        {FailureClass::NotConfigured, kExitSetupIncomplete, "not_configured"},
        {FailureClass::Busy, kExitBusy, "busy"},
    };
    return table;
}

namespace {

const FailureRow& RowOf(FailureClass failure) {
    const auto& table = FailureTable();
    const auto found = std::find_if(table.begin(), table.end(), [failure](const FailureRow& row) {
        return row.failure == failure;
    });
    return found != table.end() ? *found : table.front();
}

const ConsoleDialogs* Console() {
    return dynamic_cast<const ConsoleDialogs*>(&CurrentDialogs());
}

} // namespace

int FailureStatus(FailureClass failure) {
    return RowOf(failure).status;
}

std::string FailureWord(FailureClass failure) {
    return RowOf(failure).word;
}

FailureClass ClassForStatus(int status, FailureClass reported) {
    if (FailureStatus(reported) == status)
        return reported;
    for (const FailureRow& row : FailureTable())
        if (row.status == status)
            return row.failure;
    return FailureClass::Other;
}

FailureClass ReportedFailureClass() {
    const ConsoleDialogs* console = Console();
    return console ? console->firstErrorClass() : FailureClass::Other;
}

int ReportedFailureStatus() {
    return FailureStatus(ReportedFailureClass());
}

int Fail(FailureClass failure, const std::string& text, const std::string& caption) {
    ShowFailureBox(text, caption, failure);
    return FailureStatus(failure);
}

int Fail(const std::exception& error, const std::string& caption) {
    const FailureClass failure = FailureClassOf(error);
    ShowFailureBox(DescribeError(error), caption, failure, PlainDescription(error));
    return FailureStatus(failure);
}

} // namespace cq::cli
