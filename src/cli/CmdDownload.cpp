#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "certs/Download.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/Usage.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <iostream>
#include <unistd.h>

namespace cq::cli {

namespace {
constexpr int kExitNotReady = 3;
}

int CmdDownload(const Arguments& args) {
    const std::string email = Trim(OptionValue(args, "--email"));
    if (email.empty()) {
        std::cerr << CommandUsage("download");
        return kExitUsage;
    }
    if (!AddressUsable(email))
        return kExitUsage;
    if (!LoadSettingsForCommand(true))
        return kExitFailed;
    // The same rule as the reception tab: a folder without a key or a GOST request is offered no
    // download.
    const ReceptionState state = EvaluateReceptionState(email);
    if (!state.DownloadEnabled) {
        std::cerr << state.StateLabel << "\n";
        return kExitFailed;
    }
    if (FileExists(CertificateFolder(email) + kCertificateFile) && !HasFlag(args, "--yes") &&
        !::isatty(STDIN_FILENO)) {
        std::cerr << "Сертификат уже получен; для замены укажите --yes.\n";
        return kExitFailed;
    }
    // A GOST key on a token gets the certificate beside it, which may need the token's PIN.
    InstallTokenPinPrompt();
    ReceptionState after = state;
    switch (ReceiveCertificate(email, after)) {
    case DownloadResult::Downloaded:
        return kExitOk;
    case DownloadResult::NotReady:
        return kExitNotReady;
    case DownloadResult::Failed:
        break;
    }
    return kExitFailed;
}

} // namespace cq::cli
