#include "certs/ClientPair.h"

#include "base/FileUtil.h"
#include "base/Translate.h"
#include "certs/SslOwners.h"

#include <openssl/err.h>
#include <openssl/pem.h>

namespace cq {
namespace {

ssl::Bio MemoryOf(const std::string& bytes) {
    return ssl::Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

} // namespace

std::string ClientPairProblem(const std::string& certFile, const std::string& keyFile,
                              const std::string& password) {
    std::string certBytes;
    std::string keyBytes;
    try {
        certBytes = ReadFileBytes(certFile);
        keyBytes = ReadFileBytes(keyFile);
    } catch (const std::exception& error) {
        return error.what();
    }
    const ssl::Certificate certificate = ssl::PemCertificate(certBytes);
    if (!certificate)
        return TrFormat("в файле %1 нет сертификата", {certFile});
    const ssl::PrivateKey key(PEM_read_bio_PrivateKey(MemoryOf(keyBytes).get(), nullptr, nullptr,
                                                      const_cast<char*>(password.c_str())));
    ERR_clear_error();
    if (!key)
        return TrFormat("ключ %1 не открывается паролем из настроек (RequestPassword)", {keyFile});
    if (X509_check_private_key(certificate.get(), key.get()) != 1) {
        ERR_clear_error();
        return TrFormat("ключ %1 не от сертификата %2", {keyFile, certFile});
    }
    return {};
}

} // namespace cq
