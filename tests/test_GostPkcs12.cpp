// The PKCS#12 reader of the GOST import on files made here with OpenSSL: a file whose key and
// certificate do not belong together is refused even when the file pairs them, and the
// certificate's subject comes out as the request record needs it.
#include "RequestChecks.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "certs/GostPkcs12.h"

#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

namespace cq {
namespace {

const char* const kPassword = "pw";

EVP_PKEY* NewGostKey() {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(NID_id_GostR3410_2012_256, nullptr);
    EVP_PKEY* key = nullptr;
    EXPECT_TRUE(context && EVP_PKEY_keygen_init(context) > 0 &&
                EVP_PKEY_CTX_ctrl_str(context, "paramset", "A") > 0 &&
                EVP_PKEY_keygen(context, &key) > 0);
    EVP_PKEY_CTX_free(context);
    return key;
}

X509* SelfSigned(EVP_PKEY* key) {
    X509* certificate = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 7);
    X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
    X509_NAME* name = X509_get_subject_name(certificate);
    const auto add = [name](const char* field, const char* value) {
        X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(value), -1, -1, 0);
    };
    add("C", "RU");
    add("L", "Москва");
    add("O", "Firm");
    add("CN", "Иван Петров");
    add("emailAddress", "ivan@mail.example");
    X509_set_issuer_name(certificate, name);
    X509_set_pubkey(certificate, key);
    EXPECT_GT(X509_sign(certificate, key, EVP_get_digestbynid(NID_id_GostR3411_2012_256)), 0);
    return certificate;
}

/// A PKCS#12 file pairing `key` with `certificate` by one local key id, whatever they are.
std::string PairedFile(EVP_PKEY* key, X509* certificate) {
    STACK_OF(PKCS12_SAFEBAG)* bags = nullptr;
    const unsigned char id[] = {1, 2, 3, 4};
    PKCS12_SAFEBAG* certificateBag = PKCS12_add_cert(&bags, certificate);
    PKCS12_SAFEBAG* keyBag = PKCS12_add_key(&bags, key, 0, 2048, NID_id_Gost28147_89, kPassword);
    PKCS12_add_localkeyid(certificateBag, const_cast<unsigned char*>(id), sizeof id);
    PKCS12_add_localkeyid(keyBag, const_cast<unsigned char*>(id), sizeof id);
    STACK_OF(PKCS7)* safes = nullptr;
    PKCS12_add_safe(&safes, bags, -1, 0, nullptr);
    PKCS12* file = PKCS12_add_safes(safes, 0);
    PKCS12_set_mac(file, kPassword, -1, nullptr, 0, 2048, nullptr);
    unsigned char* der = nullptr;
    const int length = i2d_PKCS12(file, &der);
    std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    PKCS12_free(file);
    sk_PKCS7_pop_free(safes, PKCS7_free);
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
    return bytes;
}

/// A file with the certificate in a safe encrypted with GOST 28147-89, the key in a shrouded
/// bag and a MAC, each derivation with `iterations`.
std::string ProtectedFile(EVP_PKEY* key, X509* certificate, int iterations) {
    STACK_OF(PKCS12_SAFEBAG)* certificateBags = nullptr;
    STACK_OF(PKCS12_SAFEBAG)* keyBags = nullptr;
    PKCS12_add_cert(&certificateBags, certificate);
    PKCS12_add_key(&keyBags, key, 0, iterations, NID_id_Gost28147_89, kPassword);
    STACK_OF(PKCS7)* safes = nullptr;
    PKCS12_add_safe(&safes, certificateBags, NID_id_Gost28147_89, iterations, kPassword);
    PKCS12_add_safe(&safes, keyBags, -1, 0, nullptr);
    PKCS12* file = PKCS12_add_safes(safes, 0);
    PKCS12_set_mac(file, kPassword, -1, nullptr, 0, iterations,
                   EVP_get_digestbynid(NID_id_GostR3411_2012_512));
    unsigned char* der = nullptr;
    const int length = i2d_PKCS12(file, &der);
    std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    PKCS12_free(file);
    sk_PKCS7_pop_free(safes, PKCS7_free);
    sk_PKCS12_SAFEBAG_pop_free(certificateBags, PKCS12_SAFEBAG_free);
    sk_PKCS12_SAFEBAG_pop_free(keyBags, PKCS12_SAFEBAG_free);
    return bytes;
}

class GostPkcs12Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(provider::LoadGostEngine(provider::kGostEngineId)); }
    void SetUp() override {
        key = NewGostKey();
        other = NewGostKey();
        certificate = SelfSigned(key);
    }
    void TearDown() override {
        X509_free(certificate);
        EVP_PKEY_free(key);
        EVP_PKEY_free(other);
    }
    EVP_PKEY* key = nullptr;
    EVP_PKEY* other = nullptr;
    X509* certificate = nullptr;
};

TEST_F(GostPkcs12Test, MatchingPairIsReadWithItsSubject) {
    const GostPkcs12Content content = ReadGostPkcs12(PairedFile(key, certificate), kPassword);
    EXPECT_EQ(content.Subject.Country, "RU");
    EXPECT_EQ(content.Subject.Locality, "Москва");
    EXPECT_EQ(content.Subject.CommonName, "Иван Петров");
    EXPECT_EQ(content.Subject.Email, "ivan@mail.example");
    EXPECT_EQ(content.Subject.State, "");
    EXPECT_TRUE(content.Key.matchesPublicKey(content.PublicKeyInfo));
    EXPECT_NE(content.CertificatePem.find("-----BEGIN CERTIFICATE-----"), std::string::npos);
}

TEST_F(GostPkcs12Test, KeyOfAnotherCertificateIsRefused) {
    try {
        ReadGostPkcs12(PairedFile(other, certificate), kPassword);
        FAIL() << "no refusal";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Ключ в файле не соответствует сертификату.");
    }
}

TEST_F(GostPkcs12Test, DamagedAndTruncatedFilesAreRefused) {
    const std::string whole = PairedFile(key, certificate);
    for (const size_t length : {size_t{0}, size_t{1}, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(length);
        EXPECT_THROW(ReadGostPkcs12(whole.substr(0, length), kPassword), Exception);
    }
    std::string flipped = whole;
    flipped[flipped.size() / 2] ^= 0x5A;
    EXPECT_THROW(ReadGostPkcs12(flipped, kPassword), Exception);
}

// What the openssl tool writes with its own options opens where that is safe: the legacy
// algorithms through OpenSSL's legacy provider, a file without a MAC only when its key decrypts
// with the password and matches the certificate, and then with the caller told.
TEST_F(GostPkcs12Test, FilesOfTheToolsLegacyAndNoMacOptions) {
    test::TempDir dir;
    {
        BIO* keyFile = BIO_new_file((dir / "key.pem").c_str(), "w");
        PEM_write_bio_PrivateKey(keyFile, key, nullptr, nullptr, 0, nullptr, nullptr);
        BIO_free(keyFile);
        BIO* certificateFile = BIO_new_file((dir / "cert.pem").c_str(), "w");
        PEM_write_bio_X509(certificateFile, certificate);
        BIO_free(certificateFile);
    }
    struct Case {
        std::vector<std::string> options;
        bool opens;
        bool withoutMac;
    };
    const Case cases[] = {
        {{"-legacy"}, true, false},
        {{"-nomac"}, true, true},
        {{"-legacy", "-nomac"}, true, true},
        {{"-keypbe", "gost89", "-certpbe", "gost89", "-nomac"}, true, true},
        // Neither a MAC nor an encrypted key: nothing shows the file is unchanged.
        {{"-keypbe", "NONE", "-certpbe", "NONE", "-nomac"}, false, true},
    };
    for (const Case& c : cases) {
        std::string what;
        for (const std::string& option : c.options)
            what += option + " ";
        SCOPED_TRACE(what);
        std::vector<std::string> args = {"pkcs12",   "-export",
                                         "-engine",  "gost",
                                         "-inkey",   dir / "key.pem",
                                         "-in",      dir / "cert.pem",
                                         "-passout", "pass:" + std::string(kPassword),
                                         "-out",     dir / "file.p12"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const test::ToolResult written = test::Openssl(args);
        ASSERT_EQ(written.status, 0) << written.err;
        const std::string bytes = test::ReadFile(dir / "file.p12");
        if (c.opens) {
            const GostPkcs12Content content = ReadGostPkcs12(bytes, kPassword);
            EXPECT_EQ(content.WithoutMac, c.withoutMac);
            EXPECT_TRUE(content.Key.matchesPublicKey(content.PublicKeyInfo));
        } else {
            EXPECT_THROW(ReadGostPkcs12(bytes, kPassword), Exception);
        }
        EXPECT_THROW(ReadGostPkcs12(bytes, "wrong"), Exception);
    }
}

// The import makes one container of one key: a file with two is refused as a whole rather than
// losing the second key without a word.
TEST_F(GostPkcs12Test, FileWithTwoKeysIsRefusedSayingSo) {
    STACK_OF(PKCS12_SAFEBAG)* bags = nullptr;
    PKCS12_add_cert(&bags, certificate);
    PKCS12_add_key(&bags, key, 0, 2048, NID_id_Gost28147_89, kPassword);
    PKCS12_add_key(&bags, other, 0, 2048, NID_id_Gost28147_89, kPassword);
    STACK_OF(PKCS7)* safes = nullptr;
    PKCS12_add_safe(&safes, bags, -1, 0, nullptr);
    PKCS12* file = PKCS12_add_safes(safes, 0);
    PKCS12_set_mac(file, kPassword, -1, nullptr, 0, 2048, nullptr);
    unsigned char* der = nullptr;
    const int length = i2d_PKCS12(file, &der);
    const std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    PKCS12_free(file);
    sk_PKCS7_pop_free(safes, PKCS7_free);
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
    try {
        ReadGostPkcs12(bytes, kPassword);
        FAIL() << "no refusal";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find("несколько закрытых ключей (2)"),
                  std::string::npos)
            << error.what();
    }
}

// The GOST engine reads the cipher parameters without checking them: damaged ones, as a fuzzer
// made them, in the certificates' safe or in the key bag are refused before the engine sees
// them, not ended in a crash.
TEST_F(GostPkcs12Test, DamagedGostCipherParametersAreRefused) {
    const std::string file = ProtectedFile(key, certificate, 1);
    // GOST 28147-89, then its parameters: a SEQUENCE of the 8-byte vector and the set.
    const std::string parameters("\x06\x06\x2A\x85\x03\x02\x02\x15\x30\x15\x04\x08", 12);
    std::vector<size_t> places;
    for (size_t at = file.find(parameters); at != std::string::npos;
         at = file.find(parameters, at + 1))
        places.push_back(at + parameters.size() - 2);
    ASSERT_EQ(places.size(), 2u);
    for (const size_t place : places)
        for (const auto& [offset, damage] :
             {std::pair<size_t, std::string>{0, "\xFF\xFF"},
              {0, "\x02\x08"},
              {0, "\x04\x07"},
              {0, "\x30\x08"},
              // The parameter set: the last byte of its identifier left incomplete.
              {20, "\x81"}}) {
            std::string damaged = file;
            damaged.replace(place + offset, damage.size(), damage);
            EXPECT_THROW(ReadGostPkcs12(damaged, kPassword), Exception);
        }
}

// Each derivation's count is read before any key is derived: a count beyond the bound is refused
// at once, naming what asked for it, rather than after hours of work.
TEST_F(GostPkcs12Test, IterationCountsBeyondTheBoundAreRefusedBeforeDeriving) {
    // 32768 is encoded in three bytes, as is 8388607: the count is patched in place.
    const std::string count32768("\x02\x03\x00\x80\x00", 5);
    const std::string count8388607("\x02\x03\x7F\xFF\xFF", 5);
    const std::string file = ProtectedFile(key, certificate, 32768);
    EXPECT_NO_THROW(ReadGostPkcs12(file, kPassword));
    std::vector<size_t> places;
    for (size_t at = file.find(count32768); at != std::string::npos;
         at = file.find(count32768, at + 1))
        places.push_back(at);
    // The certificates' safe, the key bag, the MAC, in the order the file holds them.
    const char* const asked[] = {"зашифрованная часть файла", "защищённый ключ",
                                 "проверка целостности (MAC)"};
    ASSERT_EQ(places.size(), std::size(asked));
    for (size_t i = 0; i < places.size(); ++i) {
        SCOPED_TRACE(asked[i]);
        std::string patched = file;
        patched.replace(places[i], count8388607.size(), count8388607);
        try {
            ReadGostPkcs12(patched, kPassword);
            ADD_FAILURE() << "no refusal";
        } catch (const Exception& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find(std::string(asked[i]) + " требует 8388607 итераций"),
                      std::string::npos)
                << text;
            EXPECT_NE(text.find("не больше 600000"), std::string::npos) << text;
        }
    }
}

} // namespace
} // namespace cq
