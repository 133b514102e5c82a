#pragma once
// What an administrator asks of a certificate file: serial, fingerprint, validity and the kind
// and size of its public key, read with OpenSSL from the first PEM block of the file.

#include "base/Clock.h"

#include <string>

namespace cq {

struct CertificateFacts {
    std::string Subject;      ///< one line, RFC 2253 order and escaping
    std::string Issuer;       ///< likewise
    std::string Serial;       ///< upper-case hex
    std::string Sha256;       ///< fingerprint of the DER, upper-case hex pairs joined by ':'
    TimePoint NotBefore;      ///< UTC
    TimePoint NotAfter;       ///< UTC
    std::string KeyAlgorithm; ///< "RSA", or OpenSSL's short name of another key type
    int KeyBits = 0;
};

/// The facts of the PEM certificate in `fileName`. Raises Exception naming the file when it
/// cannot be read or holds no certificate.
CertificateFacts ReadCertificateFacts(const std::string& fileName);

} // namespace cq
