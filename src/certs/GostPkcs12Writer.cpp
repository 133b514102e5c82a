#include "certs/GostPkcs12Writer.h"

#include "base/Errors.h"
#include "certs/SslOwners.h"
#include "settings/Settings.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>

#include <memory>

namespace cq {
namespace {

struct FreeBags {
    void operator()(STACK_OF(PKCS12_SAFEBAG) * bags) const {
        sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
    }
};
struct FreeSafes {
    void operator()(STACK_OF(PKCS7) * safes) const { sk_PKCS7_pop_free(safes, PKCS7_free); }
};
using Bags = std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), FreeBags>;
using Safes = std::unique_ptr<STACK_OF(PKCS7), FreeSafes>;
using Algorithm = std::unique_ptr<X509_ALGOR, decltype(&X509_ALGOR_free)>;
using Safe = std::unique_ptr<PKCS7, decltype(&PKCS7_free)>;
using KeyInfo = std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)>;

const EVP_CIPHER* CipherOf(GostPkcs12Cipher cipher) {
    return EVP_get_cipherbynid(cipher == GostPkcs12Cipher::Kuznyechik ? NID_kuznyechik_ctr_acpkm
                                                                      : NID_id_Gost28147_89);
}

/// PBES2 with PBKDF2 over HMAC GOST R 34.11-2012 (512 bits), a fresh salt and vector.
Algorithm Pbes2(GostPkcs12Cipher cipher, int iterations) {
    const EVP_CIPHER* found = CipherOf(cipher);
    Algorithm algorithm(found ? PKCS5_pbe2_set_iv(found, iterations, nullptr, 0, nullptr,
                                                  NID_id_tc26_hmac_gost_3411_2012_512)
                              : nullptr,
                        X509_ALGOR_free);
    if (!algorithm)
        ssl::RaiseError("PKCS5_pbe2_set_iv");
    return algorithm;
}

/// Names a bag for the programs that list it: the friendly name and the local key id.
void Label(PKCS12_SAFEBAG* bag, const std::string& friendlyName, const std::string& keyId) {
    if (!friendlyName.empty() && PKCS12_add_friendlyname_utf8(bag, friendlyName.c_str(), -1) != 1)
        ssl::RaiseError("PKCS12_add_friendlyname_utf8");
    if (PKCS12_add_localkeyid(bag,
                              reinterpret_cast<unsigned char*>(const_cast<char*>(keyId.data())),
                              static_cast<int>(keyId.size())) != 1)
        ssl::RaiseError("PKCS12_add_localkeyid");
}

std::string CertificateSha1(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha1(), digest, &length) != 1)
        ssl::RaiseError("X509_digest");
    return std::string(reinterpret_cast<const char*>(digest), length);
}

/// The safe of the certificate bags, encrypted with the password.
Safe EncryptedSafe(STACK_OF(PKCS12_SAFEBAG) * bags, const std::string& password,
                   GostPkcs12Cipher cipher, int iterations) {
    Safe safe(PKCS7_new(), PKCS7_free);
    if (!safe || PKCS7_set_type(safe.get(), NID_pkcs7_encrypted) != 1)
        ssl::RaiseError("PKCS7_set_type");
    Algorithm algorithm = Pbes2(cipher, iterations);
    ASN1_OCTET_STRING* sealed =
        PKCS12_item_i2d_encrypt(algorithm.get(), ASN1_ITEM_rptr(PKCS12_SAFEBAGS), password.c_str(),
                                static_cast<int>(password.size()), bags, 1);
    if (!sealed)
        ssl::RaiseError("PKCS12_item_i2d_encrypt");
    PKCS7_ENC_CONTENT* content = safe->d.encrypted->enc_data;
    X509_ALGOR_free(content->algorithm);
    content->algorithm = algorithm.release();
    ASN1_OCTET_STRING_free(content->enc_data);
    content->enc_data = sealed;
    return safe;
}

/// The shrouded key bag.
PKCS12_SAFEBAG* KeyBag(EVP_PKEY* key, const std::string& password, GostPkcs12Cipher cipher,
                       int iterations) {
    const KeyInfo info(EVP_PKEY2PKCS8(key), PKCS8_PRIV_KEY_INFO_free);
    if (!info)
        ssl::RaiseError("EVP_PKEY2PKCS8");
    Algorithm algorithm = Pbes2(cipher, iterations);
    X509_SIG* sealed = PKCS8_set0_pbe(password.c_str(), static_cast<int>(password.size()),
                                      info.get(), algorithm.get());
    if (!sealed)
        ssl::RaiseError("PKCS8_set0_pbe");
    algorithm.release(); // the sealed key owns it now
    PKCS12_SAFEBAG* bag = PKCS12_SAFEBAG_create0_pkcs8(sealed);
    if (!bag) {
        X509_SIG_free(sealed);
        ssl::RaiseError("PKCS12_SAFEBAG_create0_pkcs8");
    }
    return bag;
}

void Push(STACK_OF(PKCS12_SAFEBAG) * bags, PKCS12_SAFEBAG* bag) {
    if (sk_PKCS12_SAFEBAG_push(bags, bag) <= 0) {
        PKCS12_SAFEBAG_free(bag);
        ssl::RaiseError("sk_PKCS12_SAFEBAG_push");
    }
}

} // namespace

std::optional<GostPkcs12Cipher> GostPkcs12CipherNamed(const std::string& name) {
    if (name == "gost89")
        return GostPkcs12Cipher::Gost28147_89;
    if (name == "kuznyechik")
        return GostPkcs12Cipher::Kuznyechik;
    return std::nullopt;
}

GostPkcs12Cipher ConfiguredGostPkcs12Cipher() {
    return GostPkcs12CipherNamed(Settings().GostPkcs12Cipher)
        .value_or(GostPkcs12Cipher::Gost28147_89);
}

std::string GostPkcs12Bytes(EVP_PKEY* key, X509* certificate, const std::string& password,
                            const std::string& friendlyName, GostPkcs12Cipher cipher,
                            int iterations) {
    const std::string keyId = CertificateSha1(certificate);
    const Bags certificateBags(sk_PKCS12_SAFEBAG_new_null());
    const Bags keyBags(sk_PKCS12_SAFEBAG_new_null());
    const Safes safes(sk_PKCS7_new_null());
    if (!certificateBags || !keyBags || !safes)
        ssl::RaiseError("sk_new_null");
    PKCS12_SAFEBAG* certificateBag = PKCS12_SAFEBAG_create_cert(certificate);
    if (!certificateBag)
        ssl::RaiseError("PKCS12_SAFEBAG_create_cert");
    Push(certificateBags.get(), certificateBag);
    Label(certificateBag, friendlyName, keyId);
    PKCS12_SAFEBAG* keyBag = KeyBag(key, password, cipher, iterations);
    Push(keyBags.get(), keyBag);
    Label(keyBag, friendlyName, keyId);

    Safe certificateSafe = EncryptedSafe(certificateBags.get(), password, cipher, iterations);
    Safe keySafe(PKCS12_pack_p7data(keyBags.get()), PKCS7_free);
    if (!keySafe)
        ssl::RaiseError("PKCS12_pack_p7data");
    for (Safe* safe : {&certificateSafe, &keySafe}) {
        if (sk_PKCS7_push(safes.get(), safe->get()) <= 0)
            ssl::RaiseError("sk_PKCS7_push");
        safe->release();
    }
    const ssl::Pkcs12 file(PKCS12_add_safes(safes.get(), 0));
    const EVP_MD* mac = EVP_get_digestbynid(NID_id_GostR3411_2012_512);
    if (!file || !mac ||
        PKCS12_set_mac(file.get(), password.c_str(), -1, nullptr, 0, iterations, mac) != 1)
        ssl::RaiseError("PKCS12_set_mac");
    unsigned char* der = nullptr;
    const int length = i2d_PKCS12(file.get(), &der);
    if (length <= 0)
        ssl::RaiseError("i2d_PKCS12");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

} // namespace cq
