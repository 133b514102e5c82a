#include "base/StringUtil.h"
#include "certs/AddressOverview.h"
#include "certs/CertificateCheck.h"
#include "certs/GostCheck.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/Password.h"
#include "cli/PasswordInput.h"
#include "cli/Usage.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <iostream>

namespace cq::cli {

namespace {

constexpr int kExitExpired = 4;

/// True for a folder holding a GOST request; an unreadable record counts as RSA, whose check
/// then reports the folder's state.
bool GostFolder(const std::string& email) {
    try {
        return IsGostRequest(CertificateFolder(email));
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

int CmdCheck(const Arguments& args) {
    const std::string email = Trim(OptionValue(args, "--email"));
    if (email.empty()) {
        std::cerr << CommandUsage("check");
        return kExitUsage;
    }
    if (!AddressUsable(email))
        return kExitUsage;
    if (!LoadSettingsForCommand(false))
        return kExitFailed;
    CheckResult result;
    if (GostFolder(email)) {
        // The key stays in its container: its password, when it has one, is the container's.
        InstallContainerPasswordPrompt();
        result = CheckGostCertificate(kCertificateFile, email);
    } else {
        const std::optional<SecretBytes> password = ReadCommandPassword(args);
        if (!password)
            return kExitUsage;
        result = CheckCertificate(kCertificateFile, kCertificateKeyFile, email, password->str());
    }
    if (!result.Text.empty()) {
        std::cout << ReplaceText(result.Text, "\r\n", "\n") << "\n";
        // The days left, counted as `list` counts them, close the description.
        const AddressOverview overview = OverviewOfAddress(email);
        if (overview.HasExpiry)
            std::cout << "Срок действия: " << DaysLeftText(overview) << "\n";
        std::cout.flush();
    }
    if (result.Valid)
        return kExitOk;
    return result.Expired ? kExitExpired : kExitFailed;
}

} // namespace cq::cli
