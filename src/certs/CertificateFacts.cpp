#include "certs/CertificateFacts.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/Translate.h"
#include "certs/SslOwners.h"

#include <openssl/x509.h>

namespace cq {
namespace {

std::string OneLineName(const X509_NAME* name) {
    const ssl::Bio out(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<size_t>(size));
}

std::string HexPairs(const unsigned char* bytes, size_t size, const char* separator) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        if (i > 0)
            text += separator;
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string SerialOf(const X509* certificate) {
    const ASN1_INTEGER* serial = X509_get0_serialNumber(certificate);
    return HexPairs(serial->data, static_cast<size_t>(serial->length), "");
}

std::string Sha256Of(const X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int size = 0;
    X509_digest(certificate, EVP_sha256(), digest, &size);
    return HexPairs(digest, size, ":");
}

TimePoint MomentOf(const ASN1_TIME* time) {
    std::tm parts{};
    ASN1_TIME_to_tm(time, &parts);
    return std::chrono::system_clock::from_time_t(::timegm(&parts));
}

/// The key's algorithm and size; a key OpenSSL cannot load (GOST without its engine) is named by
/// its algorithm's identifier, size unknown (0).
void ReadKeyKind(X509* certificate, CertificateFacts& facts) {
    if (const EVP_PKEY* key = X509_get0_pubkey(certificate)) {
        const int id = EVP_PKEY_get_base_id(key);
        facts.KeyAlgorithm = id == EVP_PKEY_RSA ? "RSA" : OBJ_nid2sn(id);
        facts.KeyBits = EVP_PKEY_get_bits(key);
        return;
    }
    ASN1_OBJECT* algorithm = nullptr;
    X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr,
                           X509_get_X509_PUBKEY(certificate));
    char name[80] = {};
    if (algorithm)
        OBJ_obj2txt(name, sizeof name, algorithm, 0);
    facts.KeyAlgorithm = name;
}

} // namespace

CertificateFacts ReadCertificateFacts(const std::string& fileName) {
    const ssl::Certificate certificate = ssl::PemCertificate(ReadFileBytes(fileName));
    if (!certificate)
        throw Exception(TrFormat("Неверный файл сертификата : \"%1\".", {fileName}));
    CertificateFacts facts;
    facts.Subject = OneLineName(X509_get_subject_name(certificate.get()));
    facts.Issuer = OneLineName(X509_get_issuer_name(certificate.get()));
    facts.Serial = SerialOf(certificate.get());
    facts.Sha256 = Sha256Of(certificate.get());
    facts.NotBefore = MomentOf(X509_get0_notBefore(certificate.get()));
    facts.NotAfter = MomentOf(X509_get0_notAfter(certificate.get()));
    ReadKeyKind(certificate.get(), facts);
    return facts;
}

} // namespace cq
