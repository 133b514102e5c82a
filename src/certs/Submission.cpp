#include "certs/Submission.h"

#include "app/ErrorReport.h"
#include "base/Dialogs.h"
#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/KillPoint.h"
#include "certs/CertificateFolderLock.h"
#include "certs/InputRules.h"
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
        throw Exception(kWrongAnswerText + answer, FailureClass::Refused);
}

namespace {

// The request made and sent with the folder held; true once the service accepted it.
bool MakeAndSubmitRsaRequest(const std::string& keyFileName, const SubjectData& subject,
                             const ServiceGet& get, bool* declined) {
    RequirePasswordFitsRecord(subject.Password);
    // Held until the request is settled: the older files come back, if need be, before
    // another operation may look at the folder.
    const bool folderIsNew = !DirectoryExists(CertificateFolder(subject.Email));
    const CertificateFolderLock held(subject.Email, CertificateFolderLock::Missing::Create);
    const FolderMadeForRequest madeHere(held.folder(), folderIsNew);
    RsaRequestResult made = MakeRsaRequest(keyFileName, subject);
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
    if (declined)
        *declined = false;
    try {
        if (!MakeAndSubmitRsaRequest(keyFileName, subject, get, declined))
            return false;
    } catch (const std::exception& error) {
        // The folder's files were already put back when the request's result went out of scope.
        ReportError(context::kRequestCertificate, error);
        return false;
    } catch (...) {
        ReportError(context::kRequestCertificate, Exception("Неизвестная ошибка"));
        return false;
    }
    // The end steps both faces share, as the GOST procedure takes them.
    AddEmailToList(subject.Email);
    ShowInfoBox(kRequestSentText);
    return true;
}

} // namespace cq
