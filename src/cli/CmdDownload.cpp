#include "base/Dialogs.h"
#include "base/FileUtil.h"
#include "certs/Download.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/JsonOutput.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <iostream>
#include <unistd.h>

namespace cq::cli {

int CmdDownload(const Arguments& args) {
    std::string email;
    if (const std::optional<int> refused = RefusedAddress(args, "download", true, email))
        return *refused;
    // The same rule as the reception tab: a folder without a key or a GOST request is offered no
    // download.
    const ReceptionState state = EvaluateReceptionState(email);
    if (!state.DownloadEnabled) {
        ShowErrorBox(state.StateLabel);
        return kExitFailed;
    }
    const std::string certificate = CertificateFolder(email) + kCertificateFile;
    if (FileExists(certificate) && !HasFlag(args, "--yes") && !::isatty(STDIN_FILENO)) {
        ShowErrorBox("Сертификат уже получен; для замены укажите --yes.");
        return kExitFailed;
    }
    // A GOST key on a token gets the certificate beside it, which may need the token's PIN.
    InstallTokenPinPrompt();
    ReceptionState after = state;
    switch (ReceiveCertificate(email, after)) {
    case DownloadResult::Downloaded:
        if (HasFlag(args, "--json"))
            PrintJson(
                {{"email", email}, {"state", "downloaded"}, {"certificate_file", certificate}});
        return kExitOk;
    case DownloadResult::NotReady:
        return kExitNotIssued;
    case DownloadResult::Failed:
        break;
    }
    return kExitFailed;
}

} // namespace cq::cli
