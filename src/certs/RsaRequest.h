#pragma once
// The RSA request: a 1024-bit key pair, the PKCS#10 certification request signed with it, the
// password-protected key file, the public key act and the request record in the certificate
// folder of the subject's address.

#include "base/SubjectData.h"
#include "base/Translate.h"
#include "certs/RequestFolder.h"

#include <string>
#include <string_view>

namespace cq {

inline constexpr const char* kReplaceKeyQuestion = TrMark(
    "Будет перезаписан файл ключа сгенерированный предыдущим запросом!\r\n"
    "Файлы сертификата будут не рабочими, если файл ключа и полученный позже сертификат будут от "
    "разных запросов.\r\nПродолжать все равно?");

enum class RequestOutcome {
    Declined, ///< the user chose not to replace the existing key file; nothing was written
    Made      ///< key file, act and record written; the request text is ready
};

struct RsaRequestResult {
    RequestOutcome outcome = RequestOutcome::Declined;
    /// The request as PEM text, CR LF after every line.
    std::string requestText;
    /// The key file, act and record just written. Commit them once the request is accepted;
    /// dropping them uncommitted puts the older files back (RequestFolder::RollBack).
    RequestFolder files;
};

/// Makes the key pair and the request for `subject` and writes keyFileName, the act and
/// Request.ini into the subject's certificate folder (created owner only when missing). Asks
/// before replacing an existing key file. Raises on any failure, after putting the folder's
/// files back as RequestFolder::RollBack says. For a renewal (`set`) the key file, act and
/// record are the pending renewal's (keyFileName is then Renewal.key), and the question is asked
/// before a pending renewal is replaced; the working files are never touched.
RsaRequestResult MakeRsaRequest(const std::string& keyFileName, const SubjectData& subject,
                                RequestSet set = RequestSet::Working);

/// The PEM text without empty or blank lines, every line followed by CR LF.
std::string RequestTextFromPem(std::string_view pem);

/// The RSA PRIVATE KEY file for an RSAPrivateKey DER: encrypted with DES-EDE3-CBC under the
/// password's bytes when the password is not empty, in clear otherwise.
std::string TraditionalKeyPem(std::string_view privateKeyDer, std::string_view passwordBytes);

/// The public key as the act shows it and the four pieces cut from it.
struct ActPieces {
    std::string PublicKey;
    std::string Prefix;
    std::string Modulus;
    std::string Postfix;
    std::string Exponent;
};

/// Finds `modulus` in the request's DER and cuts the span of six bytes before it, the modulus
/// and six bytes after it; without a match the act shows the bare modulus and no pieces.
ActPieces CutActPieces(std::string_view requestDer, std::string_view modulus);

} // namespace cq
