#include "base/Dialogs.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/AddressOverview.h"
#include "cli/CertificateReport.h"
#include "cli/Commands.h"
#include "settings/Settings.h"

#include <iostream>

namespace cq::cli {
namespace {

/// The check of the certificate folder of --email; otherwise the status to end with.
std::optional<int> CheckedAddress(const Arguments& args, const char* command, std::string& email,
                                  CheckResult& result) {
    if (const std::optional<int> refused = RefusedAddress(args, command, false, email))
        return refused;
    bool usable = false;
    result = CheckAddress(args, email, usable);
    if (!usable)
        return kExitUsage;
    return std::nullopt;
}

/// The check's text, closed by the days left counted as `list` counts them.
void PrintCheckText(const CheckResult& result, const std::string& email) {
    std::cout << ReplaceText(result.Text, "\r\n", "\n") << "\n";
    const AddressOverview overview = OverviewOfAddress(email);
    if (overview.HasExpiry)
        std::cout << TrFormat("Срок действия: %1", {DaysLeftText(overview)}) << "\n";
    std::cout.flush();
}

} // namespace

int CmdCheck(const Arguments& args) {
    std::string email;
    CheckResult result;
    if (const std::optional<int> refused = CheckedAddress(args, "check", email, result))
        return *refused;
    if (!result.Text.empty()) {
        if (HasFlag(args, "--json"))
            PrintJson(CertificateDocument(email, result));
        else
            PrintCheckText(result, email);
    }
    return CheckStatus(result);
}

// The certificate's facts and whether the key matches it; the facts are shown whenever the
// certificate can be read, a key that does not match ends with its own status.
int CmdStatus(const Arguments& args) {
    std::string email;
    CheckResult result;
    if (const std::optional<int> refused = CheckedAddress(args, "status", email, result))
        return *refused;
    Json document;
    try {
        document = CertificateDocument(email, result);
    } catch (const std::exception& error) {
        ShowErrorBox(error.what(), Tr("Состояние сертификата"));
        return kExitFailed;
    }
    if (HasFlag(args, "--json"))
        PrintJson(document);
    else
        std::cout << CertificateLines(document) << std::flush;
    return CheckStatus(result);
}

} // namespace cq::cli
