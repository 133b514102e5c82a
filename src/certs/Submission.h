#pragma once
// Sending a finished certification request to the certification service, and the RSA request
// from key pair to accepted submission with its own error reporting.

#include "base/SubjectData.h"
#include "base/Translate.h"
#include "certs/RequestFolder.h"

#include <functional>
#include <string>

namespace cq {

/// The text an accepted request's answer holds somewhere (exact letter case).
inline constexpr const char* kAcceptedRequestMarker = "BEGIN NEW CERTIFICATE REQUEST";
/// The start of the error for an answer without that text; the whole answer follows it.
inline constexpr const char* kWrongAnswerText = TrMark("Сервер вернул не верный ответ : ");
/// Shown after an accepted request, RSA and GOST alike.
inline constexpr const char* kRequestSentText = TrMark(
    "Запрос на создание сертификата успешно отправлен.\r\n\r\nСообщите об этом вашему менеджеру, "
    "он вас уведомит о готовности сертификата.\r\nПосле этого зайдите на вкладку \"Получение "
    "сертификата\" и скачайте его.\r\n\r\nВнимание!!! Не повторяйте запросов с тем же eMail! "
    "Полученный сертификат может оказатся не рабочим (не от того запроса).");

/// One GET to the service: the URL (unescaped) and whether to copy the exchange to the log;
/// returns the body. HTTPSGet in the program; tests put a fault-injecting one in its place.
using ServiceGet = std::function<std::string(const std::string& url, bool logCopy)>;

/// The real exchange (HTTPSGet).
ServiceGet DefaultServiceGet();

/// Sends baseUrl + "?cert=" + requestText and returns when the answer holds the accepted
/// marker. Raises the exchange's errors unchanged, and Exception with kWrongAnswerText and the
/// answer for any other answer.
void SubmitRequest(const std::string& baseUrl, const std::string& requestText,
                   const ServiceGet& get = DefaultServiceGet());

/// Makes the RSA request (key file `keyFileName` in the subject's certificate folder) and sends
/// it to UrlRequestRSACertificate; once it is accepted, adds the address to the e-mail list and
/// shows kRequestSentText. True when it was made and accepted; false when the user kept the
/// existing key or when a step failed; a failure is reported under "Запрос сертификата". A
/// password longer than the record's width is such a failure (nothing is written).
/// The certificate folder is held (CertificateFolderLock) from the question about an older key
/// until the request is settled. After a failure the key file, the act and the record are as
/// RequestFolder::RollBack leaves them: the older ones back in place, and for a first request
/// none of them, nor the folder made for it. Never raises. `declined`,
/// when given, tells whether the user kept the existing key.
bool RequestRsaCertificate(const std::string& keyFileName, const SubjectData& subject,
                           const ServiceGet& get = DefaultServiceGet(), bool* declined = nullptr);

/// RequestRsaCertificate writing the files of `set`. A renewal holds an existing folder only,
/// refuses one without a working certificate (RequireWorkingCertificate), writes the pending
/// files (MakeRsaRequest), reports a failure under "Продление сертификата" and shows
/// kRenewalSentText once accepted.
bool RequestRsaCertificateAs(RequestSet set, const std::string& keyFileName,
                             const SubjectData& subject, const ServiceGet& get, bool* declined);

} // namespace cq
