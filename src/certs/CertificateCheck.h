#pragma once
// The check of a downloaded RSA certificate against the private key file and its password:
// the moduli must match, the end of validity is told (and whether it has passed), and the
// subject and issuer are described with Russian labels.

#include "base/Clock.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cq {

/// One attribute of a name: Name is "CommonName", "Country", "Locality", "StateOrProvince",
/// "Organization", "OrganizationUnit" or "UnknownField"; Value is its text (UTF-8).
struct NameLine {
    std::string Name;
    std::string Value;
};

/// A moment as a certificate states it (UTC, not converted).
struct CertificateDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

/// What the check needs of a certificate.
struct CertificateContent {
    std::vector<NameLine> Subject; ///< in the order the attributes stand in the certificate
    std::vector<NameLine> Issuer;
    CertificateDateTime NotAfter;
    bool RsaKey = false;        ///< the subject public key is an RSA key
    std::string Modulus;        ///< INTEGER content octets as encoded, leading zero included
    std::string PublicExponent; ///< likewise
    std::string PublicKeyInfo;  ///< the SubjectPublicKeyInfo DER as the certificate holds it
};

/// Reads the PEM block "CERTIFICATE" of a certificate file and parses its X.509 DER.
/// `password` (UTF-8) is offered to an encrypted block. Raises Exception with the message
/// `Неверный файл сертификата : "<certFileName>".` when the block is missing, cannot be decoded
/// or does not hold a well-formed certificate.
CertificateContent ReadCertificate(std::string_view fileBytes, const std::string& password,
                                   const std::string& certFileName);

/// The name lines joined with CR LF, with the Russian labels put in place of "Country=",
/// "StateOrProvince=", "Locality=", "Organization=", "OrganizationUnit=", "CommonName=" and
/// "UnknownField=" (in this order, every occurrence).
std::string LabelledNameText(const std::vector<NameLine>& lines);

/// "dd.mm.yyyy hh:nn:ss".
std::string FormatCertificateDate(const CertificateDateTime& moment);

/// The check's description of a certificate: end of validity (marked when it has passed, which
/// sets `expired`), subject and issuer.
std::string DescribeCertificate(const CertificateContent& certificate, bool& expired,
                                const Clock& clock);

/// True when today's local date (at 00:00) is on or after `validTo`.
bool IsExpiredAt(const CertificateDateTime& validTo, TimePoint now);

/// Decodes the key file with the password, parses its PKCS#1 RSAPrivateKey and compares its
/// modulus with the certificate's. Raises Exception with the check's messages for a key file
/// that cannot be decoded, is no PKCS#1 key, whose numbers cannot be read, or that does not
/// belong to the certificate. The two file names are used only in the messages.
void CheckKeyMatch(const CertificateContent& certificate, std::string_view keyFileBytes,
                   const std::string& certFileName, const std::string& keyFileName,
                   const std::string& password);

struct CheckResult {
    bool Valid = false;   ///< the check passed and the certificate has not expired
    bool Expired = false; ///< the check passed but the certificate has expired
    std::string Text;     ///< the description to show; empty when the check failed
};

/// The result of a certificate that passed its check: its description, valid unless expired.
CheckResult PassedCheck(const CertificateContent& certificate, const Clock& clock);

/// Runs one certificate check, which returns PassedCheck once every test has passed. Any error
/// on the way is reported under "Проверка сертификата" and gives the empty result.
CheckResult ReportingCheck(const std::function<CheckResult()>& check);

/// The check of certFileName against keyFileName in `folder` (ending with "/"), which the caller
/// holds. Raises the check's errors; returns PassedCheck once every test has passed.
CheckResult CheckFolderCertificate(const std::string& folder, const std::string& certFileName,
                                   const std::string& keyFileName, const std::string& password,
                                   const Clock& clock = SystemClock());

/// Checks certFileName against keyFileName in the certificate folder of `email` with the key
/// password exactly as typed (UTF-8; its Windows-1251 bytes decrypt the key). Failures are
/// reported under "Проверка сертификата" and give an empty Text; never raises.
CheckResult CheckCertificate(const std::string& certFileName, const std::string& keyFileName,
                             const std::string& email, const std::string& password,
                             const Clock& clock = SystemClock());

} // namespace cq
