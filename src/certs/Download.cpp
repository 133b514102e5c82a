#include "certs/Download.h"

#include "app/ErrorReport.h"
#include "base/Clock.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"
#include "certs/CertificateFolderLock.h"
#include "certs/FolderKey.h"
#include "certs/Renewal.h"
#include "certs/RenewalState.h"
#include "certs/RequestFolder.h"
#include "certs/TokenCertificate.h"
#include "settings/CertFolders.h"
#include "settings/SettingsValues.h"

#include <cstdio>

namespace cq {
namespace {

constexpr int kHttpNotFound = 404;

constexpr const char* kOverwriteQuestion = TrMark(
    "Сертификат будет перезаписан при успешном выполнении.\r\nЕсли имеющиеся файлы сертификата "
    "рабочие, то есть вероятность, что скачанный файл будет от другого запроса, и файлы станут "
    "\"не рабочими\".\r\nПродолжать все равно?");

std::string ReceiveUrl(const std::string& folder, const std::string& email) {
    const std::string& base = IsGostRequest(folder) ? Settings().UrlReceiveGostCertificate
                                                    : Settings().UrlReceiveRSACertificate;
    return base + LowerCase(email) + ".crt";
}

void StoreCertificate(const std::string& folder, const std::string& target,
                      const std::string& body) {
    CreateCertificateFolder(folder);
    WriteFileAtomically(target, CertificateFileText(body), FileAccess::Shared, AtLink::Refuse);
}

/// True when the file at `target` is a certificate for the key of the folder's request.
bool HoldsWorkingCertificate(const std::string& folder, const std::string& email,
                             const std::string& target) {
    try {
        return FileExists(target) &&
               CertificateFitsFolderKey(folder, email, ReadFileBytes(target)) == KeyFit::Fits;
    } catch (const std::exception&) {
        return false;
    }
}

/// A free name beside `target` for a certificate that is not for the folder's key:
/// "Certificate-unmatched-YYYYMMDD-hhmmss.cer", with "-2", "-3", ... when taken.
std::string UnmatchedCertificatePath(const std::string& target) {
    const LocalDateTime t = ToLocal(SystemClock()());
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    const std::string name = ExtractFileName(target);
    const size_t dot = name.rfind('.');
    const std::string stem = ExtractFilePath(target) + name.substr(0, dot) + "-unmatched-" + stamp;
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    std::string path = stem + extension;
    for (int attempt = 2; FileExists(path) || DirectoryExists(path); ++attempt)
        path = stem + "-" + std::to_string(attempt) + extension;
    return path;
}

/// The text of a certificate that answers neither the working request nor the pending renewal.
std::string UnmatchedRenewalMessage(const std::string& folder, const std::string& kept) {
    return TrFormat("Полученный сертификат не соответствует ни ключу рабочего сертификата, ни "
                    "ключу запроса на продление из папки %1. Он сохранён как \"%2\"; рабочий "
                    "сертификат и запрос на продление оставлены без изменений.",
                    {folder, kept});
}

/// The download while a renewal is pending: the service answers with the last certificate it
/// issued, which is the working one until the renewal is issued. The renewal's certificate is
/// swapped in with its key; anything else is kept aside and reported.
DownloadResult PlaceWhilePending(const std::string& folder, const std::string& email,
                                 const std::string& target, const std::string& body) {
    const std::string text = CertificateFileText(body);
    switch (WhichRequestAnswered(folder, email, text)) {
    case CertificateAnswer::Pending:
        SwapInRenewal(folder, text);
        return DownloadResult::Renewed;
    case CertificateAnswer::Working:
        // The one in place: the renewal is not issued yet. Another for the working key (a
        // request made after the renewal) is stored as any download for that key is.
        if (FileExists(target) && ReadFileBytes(target) == text)
            return DownloadResult::NotReady;
        StoreCertificate(folder, target, body);
        return DownloadResult::Downloaded;
    case CertificateAnswer::Neither:
    case CertificateAnswer::Unknown:
        break;
    }
    const std::string kept = UnmatchedCertificatePath(target);
    StoreCertificate(folder, kept, body);
    throw Exception(UnmatchedRenewalMessage(folder, kept), FailureClass::Mismatch);
}

std::string UnmatchedCertificateMessage(const std::string& target, const std::string& kept,
                                        bool working) {
    const std::vector<std::string> places = {ExtractFilePath(target), kept,
                                             ExtractFileName(target)};
    if (working)
        return TrFormat("Полученный сертификат не соответствует ключу запроса из папки %1 "
                        "(вероятно, он выпущен по другому, отменённому запросу). Рабочий "
                        "сертификат \"%3\" соответствует ключу и оставлен без изменений. Он "
                        "сохранён как \"%2\".",
                        places);
    return TrFormat("Полученный сертификат не соответствует ключу запроса из папки %1 "
                    "(вероятно, он выпущен по другому, отменённому запросу). Он сохранён как "
                    "\"%2\". Как \"%3\" он не записан.",
                    places);
}

/// Stores the body as the folder's certificate; a certificate the folder shows to be for
/// another key never takes that place: it is kept beside it and the user is told.
void PlaceCertificate(const std::string& folder, const std::string& email,
                      const std::string& target, const std::string& body) {
    if (CertificateFitsFolderKey(folder, email, CertificateFileText(body)) != KeyFit::Foreign) {
        StoreCertificate(folder, target, body);
        return;
    }
    const bool working = HoldsWorkingCertificate(folder, email, target);
    const std::string kept = UnmatchedCertificatePath(target);
    StoreCertificate(folder, kept, body);
    throw Exception(UnmatchedCertificateMessage(target, kept, working), FailureClass::Mismatch);
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
        CheckReplaceableFile(target);
        // With a renewal pending the working certificate is never overwritten: it is kept
        // whole in the previous pair's folder when the renewal's certificate comes.
        const bool pending = ReadRenewalState(folder) == RenewalState::Pending;
        if (!pending && FileExists(target) && !AskYesNo(Tr(kOverwriteQuestion)))
            return DownloadResult::Failed;
        const std::string body = get(ReceiveUrl(folder, email), true);
        if (pending && fileName == kCertificateFile)
            return PlaceWhilePending(folder, email, target, body);
        PlaceCertificate(folder, email, target, body);
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
        state.StateLabel = state.StateLabelVisible ? Tr("Email должен содержать символ @.") : "";
    } else if (cerExists) {
        state.StateLabelVisible = true;
        const bool awaited =
            ReadRenewalState(CertificateFolder(typedAddress)) == RenewalState::Pending;
        state.StateLabel = Tr(awaited ? kRenewalAwaitedLabel : kAlreadyReceivedLabel);
    } else if (!keyExists && !gost) {
        state.StateLabelVisible = true;
        state.StateLabel = Tr("Нет ключа, генерация не проводилась.");
    }
    state.CheckEnabled = state.StateLabelVisible && state.DownloadEnabled && !gost;
    return state;
}

DownloadResult ReceiveCertificate(const std::string& typedAddress, ReceptionState& state,
                                  const ServiceGet& get) {
    const std::string email = Trim(typedAddress);
    DownloadResult result = DownloadCertificate(kCertificateFile, email, get);
    const bool stored = result == DownloadResult::Downloaded || result == DownloadResult::Renewed;
    if (stored && IsGostRequest(CertificateFolder(email))) {
        // A key on a token gets its certificate beside it; the file stays either way.
        try {
            StoreCertificateWithKey(kCertificateFile, email);
        } catch (const std::exception& error) {
            ReportError(context::kReceiveCertificate, error);
            result = DownloadResult::Failed;
        }
    }
    if (result == DownloadResult::Downloaded || result == DownloadResult::Renewed) {
        state.StateLabelVisible = true;
        state.StateLabel = Tr(kAlreadyReceivedLabel);
        const bool gost = IsGostRequest(CertificateFolder(email));
        state.CheckEnabled = !gost;
        if (result == DownloadResult::Renewed)
            ShowInfoBox(
                TrFormat(kRenewedText, {NewestPreviousPairFolder(CertificateFolder(email))}));
        else if (gost)
            ShowInfoBox(Tr("Сертификат успешно получен."));
        else
            ShowInfoBox(
                Tr("Сертификат успешно получен. Проверьте его на соответствие запрошенному."));
    } else if (result == DownloadResult::NotReady) {
        ShowWarningBox(Tr("Сертификат еще не готов. Попробуйте позже."));
    }
    return result;
}

bool CertificateAlreadyInPlace(const std::string& fileName, const std::string& email,
                               const ServiceGet& get) {
    const CertificateFolderLock held(email, CertificateFolderLock::Missing::Leave);
    const std::string target = held.folder() + fileName;
    // A link or an odd file in its place is refused as the download itself refuses it, never
    // read through.
    CheckReplaceableFile(target);
    if (!FileExists(target))
        return false;
    const std::string body = get(ReceiveUrl(held.folder(), email), true);
    return CertificateFileText(body) == ReadFileBytes(target);
}

} // namespace cq
