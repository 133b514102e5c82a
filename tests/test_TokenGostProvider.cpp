// GOST keys on a token through PKCS#11, with the test token module (and SoftHSM2, a real
// module without GOST): which tokens become providers, the container made on the token, the
// request it signs, and every way the token or its user can refuse.
#include "RequestChecks.h"
#include "TestTokenFolder.h"
#include "base/StringUtil.h"
#include "certs/GostRequest.h"
#include "provider/GostKey.h"
#include "provider/Pkcs11Module.h"
#include "provider/SoftwareGostProvider.h"
#include "provider/TokenGostProvider.h"
#include "provider/TokenPin.h"

#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <filesystem>
#include <functional>

namespace cq {
namespace {

using provider::ContextOwner;
using provider::CryptoProvider;
namespace code = provider::code;

constexpr const char* kTokenName = "Ivanov (QX-2)";
constexpr const char* kSoftHsmModule = "/usr/lib/softhsm/libsofthsm2.so";

std::string Sha1(const std::string& bytes) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

std::string Flag(bool value) {
    return std::string(1, value ? '\1' : '\0');
}

TCertRequestParam Param(const std::string& container) {
    TCertRequestParam param;
    param.ProvName = kTokenName;
    param.ProvType = provider::kProvTypeGost2012_256;
    param.AlgId = provider::kAlgGost3411_2012_256;
    param.HashAlgId = provider::kAlgGost3411_2012_256;
    param.Container = container;
    param.Country = "RU";
    param.State = "Moscow";
    param.Locality = "Moscow";
    param.Organization = "Firm";
    param.CommonName = "Ivan Petrov";
    param.Email = "ivan@mail.example";
    return param;
}

class TokenGostProviderTest : public ::testing::Test {
public:
    void SetUp() override {
        provider::SetTokenPinPrompt([this](const provider::TokenPinQuestion& question) {
            questions.push_back(question);
            if (onPrompt)
                onPrompt();
            return pin ? std::optional<SecretBytes>(SecretBytes(*pin)) : std::nullopt;
        });
    }
    void TearDown() override { provider::SetTokenPinPrompt(nullptr); }

    std::vector<std::shared_ptr<CryptoProvider>> list(const std::vector<std::string>& modules) {
        return provider::TokenGostProviders(
            modules, [this](const std::string& why) { notes += why + "\n"; });
    }
    CryptoProvider& token() {
        if (providers.empty())
            providers = list({test::TestTokenModule()});
        EXPECT_EQ(providers.size(), 1u) << notes;
        return *providers.front();
    }

    /// A new token in place of the old one (the module is let go first, so it reads the new
    /// folder when it is loaded again).
    void freshToken() {
        providers.clear();
        folder.reset();
        folder = std::make_unique<test::TestTokenFolder>();
    }

    std::unique_ptr<test::TestTokenFolder> folder = std::make_unique<test::TestTokenFolder>();
    test::TempDir dir;
    std::optional<std::string> pin = "1234";
    std::function<void()> onPrompt;
    std::vector<provider::TokenPinQuestion> questions;
    std::string notes;
    std::vector<std::shared_ptr<CryptoProvider>> providers;
};

TEST_F(TokenGostProviderTest, TokenIsListedAfterTheSoftwareProviderByLabelAndModel) {
    EXPECT_EQ(token().name(), kTokenName);
    EXPECT_EQ(token().type(), 80u);
    const provider::ProviderRegistry registry(
        {provider::MakeSoftwareGostProvider(provider::kGostEngineId, dir / "containers"),
         providers.front()});
    const std::vector<ProviderEntry> entries = QualifyingProviders(registry);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name, provider::kSoftwareGostProviderName);
    EXPECT_EQ(entries[1].Name, kTokenName);
    EXPECT_EQ(entries[1].Info.ProvType, 80u);
    EXPECT_EQ(entries[1].Info.HashAlgId, 0x8021u);
}

TEST_F(TokenGostProviderTest, ModulesThatCannotServeAreLeftOutAndSayWhy) {
    // SoftHSM2 with a token of its own, in a private configuration.
    std::filesystem::create_directory(dir / "softhsm");
    test::WriteFile(dir / "softhsm2.conf", "directories.tokendir = " + dir / "softhsm" +
                                               "\nobjectstore.backend = file\nlog.level = ERROR\n");
    ::setenv("SOFTHSM2_CONF", (dir / "softhsm2.conf").c_str(), 1);
    const test::ProcessResult init =
        test::RunProcess({"softhsm2-util", "--init-token", "--free", "--label", "Soft", "--pin",
                          "1234", "--so-pin", "5678"});
    ASSERT_EQ(init.status, 0) << init.err;
    test::WriteFile(dir / "not-a-module.so", "text");

    const std::vector<std::string> modules = {dir / "missing.so", dir / "not-a-module.so",
                                              kSoftHsmModule, test::TestTokenModule()};
    const auto found = list(modules);
    ::unsetenv("SOFTHSM2_CONF");
    ASSERT_EQ(found.size(), 1u) << notes;
    EXPECT_EQ(found.front()->name(), kTokenName);
    for (const std::string& path : {modules[0], modules[1], modules[2]})
        EXPECT_NE(notes.find("Модуль PKCS#11 " + path + " не используется"), std::string::npos)
            << notes;
    EXPECT_NE(notes.find("\"Soft"), std::string::npos) << notes; // the token SoftHSM holds
}

TEST_F(TokenGostProviderTest, RemovedTokenIsNotListedAndRefusesItsVerifyContext) {
    token();
    folder->remove();
    EXPECT_TRUE(list({test::TestTokenModule()}).size() == 0) << notes;
    try {
        token().acquireVerifyContext();
        FAIL() << "no refusal";
    } catch (const EOSError& error) {
        EXPECT_TRUE(provider::HasCode(error, code::kTokenRemoved)) << error.what();
    }
    EXPECT_THROW(QualifyingProviders(provider::ProviderRegistry({providers.front()})), Exception);
}

TEST_F(TokenGostProviderTest, RequestIsSignedOnTheTokenByASensitiveKeyPair) {
    token();
    TCertRequestParam param = Param("QUORIX_R20240115090507042");
    const std::string text = CreateGostRequest(param, provider::ProviderRegistry(providers));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].token, kTokenName);
    EXPECT_EQ(questions[0].container, param.Container);
    test::WriteFile(dir / "request.pem", FrameGostRequest(text));
    const test::ToolResult verify =
        test::Openssl({"req", "-engine", "gost", "-verify", "-noout", "-in", dir / "request.pem"});
    EXPECT_EQ(verify.status, 0) << verify.err;

    const auto objects = folder->objects();
    ASSERT_EQ(objects.size(), 2u);
    std::string publicValue, ids;
    for (const auto& [handle, attributes] : objects) {
        EXPECT_EQ(attributes.at(CKA_LABEL), param.Container);
        EXPECT_EQ(attributes.at(CKA_TOKEN), Flag(true));
        if (attributes.at(CKA_CLASS) == std::string("\3\0\0\0\0\0\0\0", 8)) { // private key
            EXPECT_EQ(attributes.at(CKA_PRIVATE), Flag(true));
            EXPECT_EQ(attributes.at(CKA_SENSITIVE), Flag(true));
            EXPECT_EQ(attributes.at(CKA_EXTRACTABLE), Flag(false));
            EXPECT_EQ(attributes.at(CKA_SIGN), Flag(true));
        } else {
            publicValue = attributes.at(CKA_VALUE);
            EXPECT_EQ(attributes.at(CKA_PRIVATE), Flag(false));
        }
        ids += attributes.at(CKA_ID);
    }
    ASSERT_EQ(publicValue.size(), 64u);
    EXPECT_EQ(ids, Sha1(publicValue) + Sha1(publicValue));
    // The request carries the token's public key: an OCTET STRING of the 64 bytes.
    EXPECT_EQ(param.PublicKey, UpperHex(std::string("\x04\x40", 2) + publicValue));
}

TEST_F(TokenGostProviderTest, TokenWithoutTheFirstParameterSetGetsAKeyInTheNext) {
    folder->set("paramsets", "1.2.643.7.1.2.1.1.1");
    token();
    TCertRequestParam param = Param("QUORIX_R20240115090507042");
    test::WriteFile(dir / "request.pem", FrameGostRequest(CreateGostRequest(
                                             param, provider::ProviderRegistry(providers))));
    const test::ToolResult verify = test::Openssl(
        {"req", "-engine", "gost", "-verify", "-text", "-noout", "-in", dir / "request.pem"});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_NE(verify.out.find("Parameter set: GOST R 34.10-2012 (256 bit) ParamSet A"),
              std::string::npos)
        << verify.out;

    folder->set("paramsets", "1.2.643.2.2.36.0"); // one this program does not ask for
    param.Container = "QUORIX_R20240115090507043";
    try {
        CreateGostRequest(param, provider::ProviderRegistry(providers));
        ADD_FAILURE() << "no failure";
    } catch (const EOSError& error) {
        EXPECT_NE(std::string(error.what()).find("CKR_DOMAIN_PARAMS_INVALID"), std::string::npos)
            << error.what();
    }
}

struct FailureCase {
    const char* name;
    std::function<void(TokenGostProviderTest&)> arrange;
    uint32_t code;
    const char* says;
    size_t questionsAsked;
    size_t objectsLeft = 0;
};

TEST_F(TokenGostProviderTest, FailuresAreClearAndWriteNothing) {
    const FailureCase cases[] = {
        {"cancel", [](auto& t) { t.pin.reset(); }, code::kCancelled, "", 1},
        {"wrong PIN", [](auto& t) { t.pin = "0000"; }, code::kWrongPin,
         "Неверный PIN-код токена \"Ivanov (QX-2)\". Число оставшихся попыток уменьшилось", 1},
        {"wrong PIN, final try left",
         [](auto& t) {
             t.pin = "0000";
             t.folder->set("tries", "2");
         },
         code::kWrongPin, "Осталась последняя попытка", 1},
        {"wrong PIN on the final try",
         [](auto& t) {
             t.pin = "0000";
             t.folder->set("tries", "1");
         },
         code::kPinLocked, "PIN-код заблокирован", 1},
        {"locked PIN", [](auto& t) { t.folder->set("tries", "0"); }, code::kPinLocked,
         "PIN-код токена \"Ivanov (QX-2)\" заблокирован", 0},
        {"token removed", [](auto& t) { t.folder->remove(); }, code::kTokenRemoved,
         "Токен \"Ivanov (QX-2)\" извлечён", 0},
        {"token removed while the PIN is typed",
         [](auto& t) {
             t.onPrompt = [&t] {
                 t.folder->remove();
             };
         },
         code::kTokenRemoved, "извлечён", 1},
        // The key pair is made before the signature: it stays, as a container does.
        {"token removed while the request is signed",
         [](auto& t) { t.folder->set("removeat", "sign"); }, code::kTokenRemoved, "извлечён", 1, 2},
    };
    for (const FailureCase& failure : cases) {
        SCOPED_TRACE(failure.name);
        freshToken();
        token();
        questions.clear();
        pin = "1234";
        onPrompt = nullptr;
        failure.arrange(*this);
        TCertRequestParam param = Param("QUORIX_R20240115090507042");
        try {
            CreateGostRequest(param, provider::ProviderRegistry(providers));
            ADD_FAILURE() << "no failure";
        } catch (const EOSError& error) {
            EXPECT_TRUE(provider::HasCode(error, failure.code)) << error.what();
            EXPECT_NE(std::string(error.what()).find(failure.says), std::string::npos)
                << error.what();
        }
        EXPECT_EQ(questions.size(), failure.questionsAsked);
        EXPECT_EQ(folder->objects().size(), failure.objectsLeft);
    }
}

TEST_F(TokenGostProviderTest, ExistingLabelIsRefusedBeforeThePinIsAsked) {
    token();
    TCertRequestParam param = Param("QUORIX_R20240115090507042");
    CreateGostRequest(param, provider::ProviderRegistry(providers));
    const auto before = folder->objects();
    try {
        CreateGostRequest(param, provider::ProviderRegistry(providers));
        ADD_FAILURE() << "no failure";
    } catch (const EOSError& error) {
        EXPECT_TRUE(provider::HasCode(error, code::kExists)) << error.what();
    }
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(folder->objects(), before);
}

} // namespace
} // namespace cq

namespace cq {
namespace {

TEST_F(TokenGostProviderTest, CertificateOfAnotherKeyIsNotWrittenBesideTheKey) {
    token();
    TCertRequestParam param = Param("QUORIX_R20240115090507042");
    CreateGostRequest(param, provider::ProviderRegistry(providers));
    const test::ToolResult made = test::Openssl(
        {"req", "-engine", "gost", "-x509", "-newkey", "gost2012_256", "-pkeyopt", "paramset:A",
         "-nodes", "-subj", "/CN=Other", "-keyout", dir / "other.key", "-outform", "DER"});
    ASSERT_EQ(made.status, 0) << made.err;
    const auto before = folder->objects();
    try {
        token().storeCertificate(param.Container, made.out);
        ADD_FAILURE() << "no refusal";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find("не соответствует ключу контейнера"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(folder->objects(), before);
    EXPECT_THROW(token().storeCertificate("QUORIX_R00000000000000000", made.out), EOSError);
}

} // namespace
} // namespace cq
