#include "certs/SslOwners.h"

#include "base/Errors.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/provider.h>

namespace cq::ssl {
namespace {

// Its own library context keeps the legacy provider away from everything else in the process
// (the TLS client among them).
OSSL_LIB_CTX* CipherLibraryContext() {
    static OSSL_LIB_CTX* context = [] {
        OSSL_LIB_CTX* created = OSSL_LIB_CTX_new();
        if (created) {
            OSSL_PROVIDER_load(created, "default");
            OSSL_PROVIDER_load(created, "legacy"); // single DES; absent builds just lack it
            ERR_clear_error();
        }
        return created;
    }();
    return context;
}

} // namespace

Certificate PemCertificate(std::string_view text) {
    const Bio input(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    Certificate certificate(input ? PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr)
                                  : nullptr);
    ERR_clear_error();
    return certificate;
}

void RaiseError(const std::string& what, FailureClass failure) {
    const std::string details = DrainErrors();
    throw Exception(details.empty() ? what : what + ": " + details, failure);
}

bool DerivePemKey(const EVP_CIPHER* cipher, std::string_view passwordBytes,
                  const unsigned char* vector, unsigned char* key) {
    return EVP_BytesToKey(cipher, EVP_md5(), vector,
                          reinterpret_cast<const unsigned char*>(passwordBytes.data()),
                          static_cast<int>(passwordBytes.size()), 1, key, nullptr) > 0;
}

Cipher FetchCipher(const char* name) {
    Cipher cipher(EVP_CIPHER_fetch(CipherLibraryContext(), name, nullptr));
    if (!cipher)
        ERR_clear_error();
    return cipher;
}

} // namespace cq::ssl
