#include "certs/Download.h"

#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "certs/CertificateFolderLock.h"
#include "certs/TokenCertificate.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"

namespace cq {
namespace {

constexpr int kHttpNotFound = 404;

constexpr const char* kOverwriteQuestion =
    "Сертификат будет перезаписан при успешном выполнении.\r\nЕсли имеющиеся файлы сертификата "
    "рабочие, то есть вероятность, что скачанный файл будет от другого запроса, и файлы станут "
    "\"не рабочими\".\r\nПродолжать все равно?";

std::string ReceiveUrl(const std::string& folder, const std::string& email) {
    const std::string& base = IsGostRequest(folder) ? Settings().UrlReceiveGostCertificate
                                                    : Settings().UrlReceiveRSACertificate;
    return base + LowerCase(email) + ".crt";
}

void StoreCertificate(const std::string& folder, const std::string& target,
                      const std::string& body) {
    CreateCertificateFolder(folder);
    WriteFileAtomically(target, CertificateFileText(body));
}

} // namespace

std::string CertificateFileText(const std::string& body) {
    std::string text = ToCrLf(body);
    if (!body.empty() && body.back() != '\n' && body.back() != '\r')
        text += "\r\n";
    return text;
}

DownloadResult DownloadCertificate(const std::string& fileName, const std::string& email,
                                   const ServiceGet& get) {
    try {
        const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
        const std::string& folder = held.folder();
        const std::string target = folder + fileName;
        if (FileExists(target) && !AskYesNo(kOverwriteQuestion))
            return DownloadResult::Failed;
        const std::string body = get(ReceiveUrl(folder, email), true);
        StoreCertificate(folder, target, body);
        return DownloadResult::Downloaded;
    } catch (const EIdHTTPProtocolException& error) {
        if (error.errorCode() == kHttpNotFound)
            return DownloadResult::NotReady;
        ReportError(context::kReceiveCertificate, error);
    } catch (const std::exception& error) {
        ReportError(context::kReceiveCertificate, error);
    }
    return DownloadResult::Failed;
}

ReceptionState EvaluateReceptionState(const std::string& typedAddress) {
    ReceptionState state;
    const bool hasAt = typedAddress.find('@') != std::string::npos;
    bool folderExists = false, cerExists = false, keyExists = false, gost = false;
    if (hasAt) {
        const std::string folder = CertificateFolder(typedAddress);
        folderExists = DirectoryExists(folder);
        cerExists = FileExists(folder + kCertificateFile);
        keyExists = FileExists(folder + kCertificateKeyFile);
        gost = IsGostRequest(folder);
    }
    state.FolderLinkEnabled = folderExists;
    state.DownloadEnabled = keyExists || gost;
    if (!hasAt) {
        state.StateLabelVisible = !Trim(typedAddress).empty();
        state.StateLabel = state.StateLabelVisible ? "Email должен содержать символ @." : "";
    } else if (cerExists) {
        state.StateLabelVisible = true;
        state.StateLabel = kAlreadyReceivedLabel;
    } else if (!keyExists && !gost) {
        state.StateLabelVisible = true;
        state.StateLabel = "Нет ключа, генерация не проводилась.";
    }
    state.CheckEnabled = state.StateLabelVisible && state.DownloadEnabled && !gost;
    return state;
}

DownloadResult ReceiveCertificate(const std::string& typedAddress, ReceptionState& state,
                                  const ServiceGet& get) {
    const std::string email = Trim(typedAddress);
    DownloadResult result = DownloadCertificate(kCertificateFile, email, get);
    if (result == DownloadResult::Downloaded && IsGostRequest(CertificateFolder(email))) {
        // A key on a token gets its certificate beside it; the file stays either way.
        try {
            StoreCertificateWithKey(kCertificateFile, email);
        } catch (const std::exception& error) {
            ReportError(context::kReceiveCertificate, error);
            result = DownloadResult::Failed;
        }
    }
    if (result == DownloadResult::Downloaded) {
        state.StateLabelVisible = true;
        state.StateLabel = kAlreadyReceivedLabel;
        const bool gost = IsGostRequest(CertificateFolder(email));
        state.CheckEnabled = !gost;
        ShowInfoBox(gost ? "Сертификат успешно получен."
                         : "Сертификат успешно получен. Проверьте его на соответствие "
                           "запрошенному.");
    } else if (result == DownloadResult::NotReady) {
        ShowWarningBox("Сертификат еще не готов. Попробуйте позже.");
    }
    return result;
}

bool CertificateAlreadyInPlace(const std::string& fileName, const std::string& email,
                               const ServiceGet& get) {
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
    const std::string target = held.folder() + fileName;
    if (!FileExists(target))
        return false;
    const std::string body = get(ReceiveUrl(held.folder(), email), true);
    return CertificateFileText(body) == ReadFileBytes(target);
}

} // namespace cq
