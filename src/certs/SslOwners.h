#pragma once
// Owners for the OpenSSL objects of the certificate units beyond the shared ones, the error they
// raise from OpenSSL's error queue, and the PEM and cipher helpers. Included by .cpp files only.

#include "base/Errors.h"
#include "base/OpenSslOwners.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <string>
#include <string_view>

namespace cq::ssl {

using Cipher = std::unique_ptr<EVP_CIPHER, Deleter<EVP_CIPHER_free>>;
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, Deleter<EVP_CIPHER_CTX_free>>;
using Pkcs12 = std::unique_ptr<PKCS12, Deleter<PKCS12_free>>;

inline void FreeCertificateStack(STACK_OF(X509) * stack) {
    sk_X509_pop_free(stack, X509_free);
}
using CertificateStack = std::unique_ptr<STACK_OF(X509), Deleter<FreeCertificateStack>>;

/// The first certificate of PEM text; empty when there is none (the error queue is cleared).
Certificate PemCertificate(std::string_view text);

/// Raises Exception(what + ": " + the drained error queue).
[[noreturn]] void RaiseError(const std::string& what, FailureClass failure = FailureClass::Other);

/// The key of a classic encrypted PEM file: EVP_BytesToKey with MD5, one iteration, the first
/// eight bytes of the vector as salt, over the password's bytes. False when OpenSSL fails.
/// The caller wipes `key`.
bool DerivePemKey(const EVP_CIPHER* cipher, std::string_view passwordBytes,
                  const unsigned char* vector, unsigned char* key);

/// A cipher by name from a library context that holds the default and the legacy provider, so
/// that the single-DES keys of older files still open; nullptr when the name is unknown.
Cipher FetchCipher(const char* name);

} // namespace cq::ssl
