#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/Translate.h"
#include "certs/Download.h"
#include "certs/RenewalState.h"
#include "certs/TokenCertificate.h"
#include "cli/Commands.h"
#include "cli/ContainerPasswordPrompt.h"
#include "cli/Failure.h"
#include "cli/JsonOutput.h"
#include "settings/CertFolders.h"
#include "settings/Settings.h"

#include <iostream>
#include <unistd.h>
#include <utility>

namespace cq::cli {
namespace {

/// The receive address of the folder's request and the settings key it comes from.
std::pair<std::string, std::string> ReceiveAddress(const std::string& email) {
    if (IsGostRequest(CertificateFolder(email)))
        return {Settings().UrlReceiveGostCertificate, "UrlReceiveGostCertificate"};
    return {Settings().UrlReceiveRSACertificate, "UrlReceiveRSACertificate"};
}

void PrintDownloaded(const std::string& email, const std::string& certificate, const char* state) {
    PrintJson({{"email", email}, {"state", state}, {"certificate_file", certificate}});
}

/// A certificate in the folder that is the one the service gives: nothing to do, which a daily
/// job must not take for a failure. Otherwise the status of a failure met while comparing, or
/// nothing to go on with the download (a 404 leaves that to the download, which tells it).
std::optional<int> AlreadyInPlace(const Arguments& args, const std::string& email,
                                  const std::string& certificate) {
    try {
        if (!CertificateAlreadyInPlace(kCertificateFile, email))
            return std::nullopt;
        // A key on a token may still miss its certificate (an earlier PIN not given).
        if (IsGostRequest(CertificateFolder(email)))
            StoreCertificateWithKey(kCertificateFile, email);
    } catch (const EIdHTTPProtocolException& error) {
        if (error.errorCode() == 404)
            return std::nullopt;
        return Fail(error, context::kReceiveCertificate);
    } catch (const std::exception& error) {
        return Fail(error, context::kReceiveCertificate);
    }
    if (HasFlag(args, "--json"))
        PrintDownloaded(email, certificate, "already_downloaded");
    else
        ShowInfoBox(Tr("Сертификат уже получен: в папке тот же сертификат, что выдаёт сервис, "
                       "ничего не изменено."));
    return kExitOk;
}

} // namespace

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
    const auto [url, settingName] = ReceiveAddress(email);
    if (const std::optional<int> incomplete = IncompleteSetup(url, settingName))
        return *incomplete;
    // A GOST key on a token gets the certificate beside it, which may need the token's PIN.
    InstallTokenPinPrompt();
    const std::string certificate = CertificateFolder(email) + kCertificateFile;
    // With a renewal pending the working certificate is what the service gives until the
    // renewal is issued: that is "not issued yet", and the renewal's certificate replaces
    // nothing without keeping it.
    const bool pending = ReadRenewalState(CertificateFolder(email)) == RenewalState::Pending;
    if (!pending && FileExists(certificate)) {
        if (const std::optional<int> done = AlreadyInPlace(args, email, certificate))
            return *done;
        if (!HasFlag(args, "--yes") && !::isatty(STDIN_FILENO))
            return Fail(FailureClass::Other,
                        Tr("В папке уже другой сертификат; для замены укажите --yes."));
    }
    ReceptionState after = state;
    switch (ReceiveCertificate(email, after)) {
    case DownloadResult::Downloaded:
        if (HasFlag(args, "--json"))
            PrintDownloaded(email, certificate, "downloaded");
        return kExitOk;
    case DownloadResult::Renewed:
        if (HasFlag(args, "--json"))
            PrintDownloaded(email, certificate, "renewed");
        return kExitOk;
    case DownloadResult::NotReady:
        return kExitNotIssued;
    case DownloadResult::Failed:
        break;
    }
    return kExitFailed;
}

} // namespace cq::cli
