#include "RequestChecks.h"

#include "TestSupport.h"
#include "base/StringUtil.h"

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>

namespace cq::test {
namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* object) const { Free(object); }
};
using Req = std::unique_ptr<X509_REQ, Deleter<X509_REQ, X509_REQ_free>>;
using Pkey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Bn = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_clear_free>>;

Req ParseRequest(const std::string& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    return Req(d2i_X509_REQ(nullptr, &bytes, static_cast<long>(der.size())));
}

std::string Hex(const BIGNUM* number) {
    char* text = BN_bn2hex(number);
    std::string hex = text ? text : "";
    OPENSSL_free(text);
    return hex;
}

Bn Param(const EVP_PKEY* key, const char* name) {
    BIGNUM* number = nullptr;
    EVP_PKEY_get_bn_param(key, name, &number);
    return Bn(number);
}

int PasswordCallback(char* buffer, int size, int, void* password) {
    const auto* text = static_cast<const std::string*>(password);
    const int length = std::min(size, static_cast<int>(text->size()));
    std::copy_n(text->data(), length, buffer);
    return length;
}

} // namespace

std::string RequestDerFromText(const std::string& requestText) {
    std::vector<std::string> lines = Split(requestText, "\r\n");
    std::string base64;
    for (size_t i = 1; i + 2 < lines.size(); ++i)
        base64 += lines[i];
    std::string der(base64.size(), '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(der.data()),
                                       reinterpret_cast<const unsigned char*>(base64.data()),
                                       static_cast<int>(base64.size()));
    if (length < 0)
        return {};
    der.resize(static_cast<size_t>(length));
    for (size_t i = base64.size(); i > 0 && base64[i - 1] == '='; --i)
        der.pop_back();
    return der;
}

std::vector<NameEntry> RequestSubject(const std::string& requestDer) {
    std::vector<NameEntry> entries;
    const Req request = ParseRequest(requestDer);
    if (!request)
        return entries;
    const X509_NAME* name = X509_REQ_get_subject_name(request.get());
    for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
        const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
        char oid[80];
        OBJ_obj2txt(oid, sizeof oid, X509_NAME_ENTRY_get_object(entry), 1);
        const ASN1_STRING* value = X509_NAME_ENTRY_get_data(entry);
        entries.push_back({oid, ASN1_STRING_type(value),
                           std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                                       static_cast<size_t>(ASN1_STRING_length(value)))});
    }
    return entries;
}

void ExpectRequestSubject(const std::string& requestDer, const std::vector<NameEntry>& expected) {
    const std::vector<NameEntry> subject = RequestSubject(requestDer);
    ASSERT_EQ(subject.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(subject[i].oid, expected[i].oid) << i;
        EXPECT_EQ(subject[i].stringType, expected[i].stringType) << i;
        EXPECT_EQ(subject[i].value, expected[i].value) << i;
    }
}

std::string RequestModulusHex(const std::string& requestDer) {
    const Req request = ParseRequest(requestDer);
    if (!request)
        return {};
    const EVP_PKEY* key = X509_REQ_get0_pubkey(request.get());
    return key ? Hex(Param(key, OSSL_PKEY_PARAM_RSA_N).get()) : std::string();
}

KeyFacts ReadKeyFile(const std::string& path, const std::string& passwordBytes) {
    KeyFacts facts;
    Bio file(BIO_new_file(path.c_str(), "r"));
    if (!file)
        return facts;
    std::string password = passwordBytes;
    const Pkey key(PEM_read_bio_PrivateKey(file.get(), nullptr, PasswordCallback, &password));
    if (!key)
        return facts;
    facts.loaded = true;
    facts.modulusHex = Hex(Param(key.get(), OSSL_PKEY_PARAM_RSA_N).get());
    const Bn p = Param(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR1);
    const Bn q = Param(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR2);
    facts.pBits = BN_num_bits(p.get());
    facts.qBits = BN_num_bits(q.get());
    facts.pTopTwoSet = BN_is_bit_set(p.get(), 511) && BN_is_bit_set(p.get(), 510);
    facts.qTopTwoSet = BN_is_bit_set(q.get(), 511) && BN_is_bit_set(q.get(), 510);
    return facts;
}

ToolResult Openssl(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"openssl"};
    argv.insert(argv.end(), args.begin(), args.end());
    const ProcessResult result = RunProcess(argv);
    return {result.status, result.out, result.err};
}

void InstallActTemplates(const std::string& programFolder) {
    for (const char* name : {"PublicKeyAct RSA.rtf", "PublicKeyAct Gost.rtf"})
        WriteFile(programFolder + name,
                  ReadFile(std::string(CQ_SOURCE_DIR) + "/resources/" + name));
}

bool HasOnlyCrLfLines(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
    }
    return text.ends_with("\r\n");
}

} // namespace cq::test
