#include "certs/Submission.h"

#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/KillPoint.h"
#include "base/Translate.h"
#include "certs/CertificateFolderLock.h"
#include "certs/InputRules.h"
#include "certs/Renewal.h"
#include "certs/RequestFolder.h"
#include "certs/RsaRequest.h"
#include "settings/CertFolders.h"
#include "settings/EmailList.h"
#include "settings/SettingsValues.h"
#include "transport/HttpsExchange.h"

namespace cq {

ServiceGet DefaultServiceGet() {
    return HTTPSGet;
}

void SubmitRequest(const std::string& baseUrl, const std::string& requestText,
                   const ServiceGet& get) {
    const std::string answer = get(baseUrl + "?cert=" + requestText, false);
    if (answer.find(kAcceptedRequestMarker) == std::string::npos)
        throw Exception(Tr(kWrongAnswerText) + answer, FailureClass::Refused);
}

namespace {

// The request made and sent with the folder held; true once the service accepted it.
bool MakeAndSubmitRsaRequest(RequestSet set, const std::string& keyFileName,
                             const SubjectData& subject, const ServiceGet& get, bool* declined) {
    RequirePasswordFitsRecord(subject.Password);
    // Held until the request is settled: the older files come back, if need be, before
    // another operation may look at the folder.
    const bool renewal = set == RequestSet::Renewal;
    const bool folderIsNew = !DirectoryExists(CertificateFolder(subject.Email));
    const CertificateFolderLock held(subject.Email, renewal
                                                        ? CertificateFolderLock::Missing::Leave
                                                        : CertificateFolderLock::Missing::Create);
    if (renewal)
        RequireWorkingCertificate(held.folder());
    const FolderMadeForRequest madeHere(held.folder(), folderIsNew && !renewal);
    RsaRequestResult made = MakeRsaRequest(keyFileName, subject, set);
    if (made.outcome == RequestOutcome::Declined) {
        if (declined)
            *declined = true;
        return false;
    }
    SubmitRequest(Settings().UrlRequestRSACertificate, made.requestText, get);
    KillPoint("rsa-sent");
    made.files.Commit();
    return true;
}

} // namespace

bool RequestRsaCertificate(const std::string& keyFileName, const SubjectData& subject,
                           const ServiceGet& get, bool* declined) {
    return RequestRsaCertificateAs(RequestSet::Working, keyFileName, subject, get, declined);
}

bool RequestRsaCertificateAs(RequestSet set, const std::string& keyFileName,
                             const SubjectData& subject, const ServiceGet& get, bool* declined) {
    const bool renewal = set == RequestSet::Renewal;
    const char* const errorContext =
        renewal ? context::kRenewCertificate : context::kRequestCertificate;
    if (declined)
        *declined = false;
    try {
        if (!MakeAndSubmitRsaRequest(set, keyFileName, subject, get, declined))
            return false;
    } catch (const std::exception& error) {
        // The folder's files were already put back when the request's result went out of scope.
        ReportError(errorContext, error);
        return false;
    } catch (...) {
        ReportError(errorContext, Exception(Tr("Неизвестная ошибка")));
        return false;
    }
    // The end steps both faces share, as the GOST procedure takes them.
    AddEmailToList(subject.Email);
    ShowInfoBox(Tr(renewal ? kRenewalSentText : kRequestSentText));
    return true;
}

} // namespace cq
