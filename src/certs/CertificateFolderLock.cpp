#include "certs/CertificateFolderLock.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/Translate.h"
#include "certs/InputRules.h"
#include "certs/Renewal.h"
#include "certs/RequestFolder.h"
#include "settings/CertFolders.h"

namespace cq {

std::string FolderBusyMessage(const std::string& email) {
    return TrFormat("С сертификатом для адреса %1 уже работает другая операция (запрос, "
                    "получение, проверка или экспорт), в этой или другой копии программы. "
                    "Дождитесь её окончания и повторите.",
                    {Trim(email)});
}

CertificateFolderLock::CertificateFolderLock(const std::string& email, Missing missing,
                                             std::chrono::milliseconds wait) {
    if (const std::optional<std::string> refusal = AddressRefusal(email))
        throw Exception(*refusal, FailureClass::BadInput);
    folder_ = CertificateFolder(email);
    if (missing == Missing::Create) {
        CreateCertificateFolder(folder_);
    } else if (!DirectoryExists(folder_)) {
        CheckCertificateFolder(folder_); // a link that leads nowhere is not a missing folder
        return;
    }
    lock_ = FolderLock::Acquire(folder_, wait);
    if (!lock_)
        throw Exception(FolderBusyMessage(email), FailureClass::Busy);
    // Before anything in it is read or written, the folder must be the user's own and closed.
    CheckCertificateFolder(folder_);
    RemoveStaleTemporaryFiles(folder_);
    // A journal that is refused stays, and so does every file it names: no operation touches
    // the folder until the user has looked at it.
    if (const std::optional<std::string> refusal = RecoverInterruptedRequest(folder_))
        throw Exception(*refusal);
    if (const std::optional<std::string> refusal = RecoverInterruptedSwap(folder_))
        throw Exception(*refusal);
}

} // namespace cq
