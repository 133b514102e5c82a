#pragma once
// Keys and certificates of the sandbox service, made with the OpenSSL API.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

namespace sandbox {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct RequestFree {
    void operator()(X509_REQ* request) const { X509_REQ_free(request); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertificatePtr = std::unique_ptr<X509, CertificateFree>;
using RequestPtr = std::unique_ptr<X509_REQ, RequestFree>;

/// A std::runtime_error with the text and the drained OpenSSL error queue.
[[noreturn]] void ThrowOpenSslError(const std::string& what);

KeyPtr NewRsaKey(int bits);

/// What a new certificate says about its holder.
struct CertificateProfile {
    std::string commonName;
    bool authority = false; // basic constraints CA:TRUE, may sign certificates
    bool serverUse = false; // TLS server: SAN for localhost and 127.0.0.1
    bool clientUse = false; // TLS client authentication
    long notBeforeOffsetSeconds = -3600;
    long notAfterOffsetSeconds = 3650L * 24 * 3600;
};

/// Signs a certificate for `publicKey`; without an issuer it is self-signed with `signingKey`.
CertificatePtr MakeCertificate(const CertificateProfile& profile, EVP_PKEY* publicKey, X509* issuer,
                               EVP_PKEY* signingKey);
/// Signs a certificate for the request's subject and public key, valid between the offsets.
CertificatePtr CertifyRequest(X509_REQ* request, X509* issuer, EVP_PKEY* signingKey,
                              long notBeforeOffsetSeconds, long notAfterOffsetSeconds);

std::string CertificatePem(X509* certificate);
/// The key as PEM; PKCS#8 encrypted with AES-256 when a password is given.
std::string KeyPem(EVP_PKEY* key, const std::string& password = {});
CertificatePtr ReadCertificateFile(const std::string& path);
KeyPtr ReadKeyFile(const std::string& path);
RequestPtr ReadRequestFile(const std::string& path);
/// True when the request's public key is a GOST one (algorithm under 1.2.643).
bool HasGostKey(X509_REQ* request);

} // namespace sandbox
