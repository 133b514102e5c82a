#include "certs/CertificateFolderLock.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "certs/InputRules.h"
#include "certs/RequestFolder.h"
#include "settings/CertFolders.h"

namespace cq {

std::string FolderBusyMessage(const std::string& email) {
    return "С сертификатом для адреса " + Trim(email) +
           " уже работает другая операция (запрос, получение, проверка или экспорт), в этой или "
           "другой копии программы. Дождитесь её окончания и повторите.";
}

CertificateFolderLock::CertificateFolderLock(const std::string& email, Missing missing,
                                             std::chrono::milliseconds wait) {
    if (const std::optional<std::string> refusal = AddressRefusal(email))
        throw Exception(*refusal, FailureClass::BadInput);
    folder_ = CertificateFolder(email);
    if (missing == Missing::Create)
        CreateCertificateFolder(folder_);
    else if (!DirectoryExists(folder_))
        return;
    lock_ = FolderLock::Acquire(folder_, wait);
    if (!lock_)
        throw Exception(FolderBusyMessage(email), FailureClass::Busy);
    RemoveStaleTemporaryFiles(folder_);
    RecoverInterruptedRequest(folder_);
}

} // namespace cq
