#include "Pki.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace sandbox {

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;

std::string DrainOpenSslErrors() {
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        text += text.empty() ? "" : "; ";
        text += line;
    }
    return text;
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<size_t>(length));
}

BioPtr OpenForReading(const std::string& path) {
    BioPtr bio(BIO_new_file(path.c_str(), "r"));
    if (!bio)
        ThrowOpenSslError("cannot open " + path);
    return bio;
}

void SetRandomSerial(X509* certificate) {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        ThrowOpenSslError("no random serial");
    bytes[0] &= 0x7F; // a positive number
    BIGNUM* number = BN_bin2bn(bytes, sizeof bytes, nullptr);
    const bool ok = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
    BN_free(number);
    if (!ok)
        ThrowOpenSslError("cannot set the serial number");
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer ? issuer : certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    const bool ok = extension && X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
    if (!ok)
        ThrowOpenSslError("cannot add extension " + value);
}

void AddProfileExtensions(X509* certificate, X509* issuer, const CertificateProfile& profile) {
    AddExtension(certificate, issuer, NID_basic_constraints,
                 profile.authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    AddExtension(certificate, issuer, NID_subject_key_identifier, "hash");
    if (profile.authority)
        AddExtension(certificate, issuer, NID_key_usage, "critical,keyCertSign,cRLSign");
    else
        AddExtension(certificate, issuer, NID_key_usage,
                     "critical,digitalSignature,keyEncipherment");
    if (profile.serverUse) {
        AddExtension(certificate, issuer, NID_ext_key_usage, "serverAuth");
        AddExtension(certificate, issuer, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    }
    if (profile.clientUse)
        AddExtension(certificate, issuer, NID_ext_key_usage, "clientAuth");
}

CertificatePtr NewCertificate(X509_NAME* subject, EVP_PKEY* publicKey, X509* issuer,
                              long notBeforeOffsetSeconds, long notAfterOffsetSeconds) {
    CertificatePtr certificate(X509_new());
    if (!certificate || !X509_set_version(certificate.get(), 2))
        ThrowOpenSslError("cannot create a certificate");
    SetRandomSerial(certificate.get());
    X509_NAME* issuerName = issuer ? X509_get_subject_name(issuer) : subject;
    if (!X509_set_subject_name(certificate.get(), subject) ||
        !X509_set_issuer_name(certificate.get(), issuerName) ||
        !X509_set_pubkey(certificate.get(), publicKey) ||
        !X509_gmtime_adj(X509_getm_notBefore(certificate.get()), notBeforeOffsetSeconds) ||
        !X509_gmtime_adj(X509_getm_notAfter(certificate.get()), notAfterOffsetSeconds))
        ThrowOpenSslError("cannot fill in the certificate");
    return certificate;
}

void Sign(X509* certificate, EVP_PKEY* signingKey) {
    if (X509_sign(certificate, signingKey, EVP_sha256()) <= 0)
        ThrowOpenSslError("cannot sign the certificate");
}

} // namespace

void ThrowOpenSslError(const std::string& what) {
    const std::string details = DrainOpenSslErrors();
    throw std::runtime_error(details.empty() ? what : what + ": " + details);
}

KeyPtr NewRsaKey(int bits) {
    KeyPtr key(EVP_RSA_gen(static_cast<unsigned>(bits)));
    if (!key)
        ThrowOpenSslError("cannot generate an RSA key");
    return key;
}

CertificatePtr MakeCertificate(const CertificateProfile& profile, EVP_PKEY* publicKey, X509* issuer,
                               EVP_PKEY* signingKey) {
    std::unique_ptr<X509_NAME, decltype(&X509_NAME_free)> subject(X509_NAME_new(), X509_NAME_free);
    const auto* commonName = reinterpret_cast<const unsigned char*>(profile.commonName.c_str());
    if (!subject || !X509_NAME_add_entry_by_NID(subject.get(), NID_commonName, MBSTRING_UTF8,
                                                commonName, -1, -1, 0))
        ThrowOpenSslError("cannot make the subject name");
    CertificatePtr certificate =
        NewCertificate(subject.get(), publicKey, issuer, profile.notBeforeOffsetSeconds,
                       profile.notAfterOffsetSeconds);
    AddProfileExtensions(certificate.get(), issuer, profile);
    Sign(certificate.get(), signingKey);
    return certificate;
}

CertificatePtr CertifyRequest(X509_REQ* request, X509* issuer, EVP_PKEY* signingKey,
                              long notBeforeOffsetSeconds, long notAfterOffsetSeconds) {
    EVP_PKEY* publicKey = X509_REQ_get0_pubkey(request);
    if (!publicKey)
        ThrowOpenSslError("the request's public key cannot be read");
    CertificatePtr certificate =
        NewCertificate(X509_REQ_get_subject_name(request), publicKey, issuer,
                       notBeforeOffsetSeconds, notAfterOffsetSeconds);
    CertificateProfile profile;
    profile.clientUse = true;
    AddProfileExtensions(certificate.get(), issuer, profile);
    Sign(certificate.get(), signingKey);
    return certificate;
}

std::string CertificatePem(X509* certificate) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || !PEM_write_bio_X509(bio.get(), certificate))
        ThrowOpenSslError("cannot write the certificate");
    return BioText(bio.get());
}

std::string KeyPem(EVP_PKEY* key, const std::string& password) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    const bool ok =
        bio &&
        (password.empty()
             ? PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
             : PEM_write_bio_PKCS8PrivateKey(bio.get(), key, EVP_aes_256_cbc(), password.data(),
                                             static_cast<int>(password.size()), nullptr, nullptr));
    if (!ok)
        ThrowOpenSslError("cannot write the key");
    return BioText(bio.get());
}

CertificatePtr ReadCertificateFile(const std::string& path) {
    CertificatePtr certificate(
        PEM_read_bio_X509(OpenForReading(path).get(), nullptr, nullptr, nullptr));
    if (!certificate)
        ThrowOpenSslError("cannot read the certificate " + path);
    return certificate;
}

KeyPtr ReadKeyFile(const std::string& path) {
    KeyPtr key(PEM_read_bio_PrivateKey(OpenForReading(path).get(), nullptr, nullptr, nullptr));
    if (!key)
        ThrowOpenSslError("cannot read the key " + path);
    return key;
}

RequestPtr ReadRequestFile(const std::string& path) {
    RequestPtr request(
        PEM_read_bio_X509_REQ(OpenForReading(path).get(), nullptr, nullptr, nullptr));
    if (!request)
        ThrowOpenSslError("cannot read the request " + path);
    return request;
}

bool HasGostKey(X509_REQ* request) {
    X509_PUBKEY* key = X509_REQ_get_X509_PUBKEY(request);
    ASN1_OBJECT* algorithm = nullptr;
    if (!key || X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr, key) != 1)
        return false;
    char text[128];
    OBJ_obj2txt(text, sizeof text, algorithm, 1);
    return std::string(text).rfind("1.2.643.", 0) == 0;
}

} // namespace sandbox
