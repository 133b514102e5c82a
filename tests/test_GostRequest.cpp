#include "certs/GostRequest.h"

#include "FakeProviders.h"
#include "RequestChecks.h"
#include "TestSupport.h"
#include "base/Errors.h"
#include "base/StringUtil.h"
#include "certs/DerReader.h"
#include "platform/OsVersion.h"
#include "provider/SoftwareGostProvider.h"

#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/sha.h>

#include <filesystem>
#include <regex>

namespace cq {
namespace {

using provider::code::kBadIa5String;
using provider::code::kBadPrintableString;

/// The elements of a constructed content, in order.
std::vector<der::ReadElement> Children(std::string_view content) {
    std::vector<der::ReadElement> children;
    der::Reader reader(content);
    while (!reader.atEnd()) {
        const auto element = reader.next();
        if (!element)
            throw std::runtime_error("broken DER");
        children.push_back(*element);
    }
    return children;
}

std::string Whole(const der::ReadElement& element) {
    // The tag and length bytes sit right before the content.
    const size_t header = element.content.size() < 0x80    ? 2
                          : element.content.size() < 0x100 ? 3
                                                           : 4;
    return std::string(element.content.data() - header, element.content.size() + header);
}

std::string OidDer(const char* dotted) {
    ASN1_OBJECT* object = OBJ_txt2obj(dotted, 1);
    unsigned char* bytes = nullptr;
    const int length = i2d_ASN1_OBJECT(object, &bytes);
    std::string der(reinterpret_cast<char*>(bytes), static_cast<size_t>(length));
    OPENSSL_free(bytes);
    ASN1_OBJECT_free(object);
    return der;
}

std::string Sha1(std::string_view bytes) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

TCertRequestParam Param() {
    TCertRequestParam param;
    param.ProvName = provider::kSoftwareGostProviderName;
    param.ProvType = provider::kProvTypeGost2012_256;
    param.AlgId = provider::kAlgGost3411_2012_256;
    param.HashAlgId = provider::kAlgGost3411_2012_256;
    param.Container = "QUORIX_R20240115090507042";
    param.Country = "RU";
    param.State = "Moscow region ";
    param.Locality = "Moscow";
    param.Organization = "Firm Ltd";
    param.OrganizUnit = "";
    param.CommonName = "Ivan Petrov";
    param.Email = "Ivan.Petrov@Mail.example";
    return param;
}

/// Requests made in the real software provider, containers in a folder of the test.
class GostRequestTest : public ::testing::Test {
protected:
    GostRequestTest()
        : registry({provider::MakeSoftwareGostProvider(provider::kGostEngineId, containers())}) {}
    std::string containers() const { return dir.path() + "containers/"; }

    test::TempDir dir;
    provider::ProviderRegistry registry;
};

TEST_F(GostRequestTest, RequestFieldsInTheirOrderAndTypes) {
    TCertRequestParam param = Param();
    const std::string base64 = CreateGostRequest(param, registry);
    const std::string der = test::RequestDerFromText(FrameGostRequest(base64) + "\r\n");

    const std::vector<test::NameEntry> expected = {
        {"2.5.4.6", V_ASN1_PRINTABLESTRING, "RU"},
        {"2.5.4.8", V_ASN1_PRINTABLESTRING, "Moscow region "},
        {"2.5.4.7", V_ASN1_PRINTABLESTRING, "Moscow"},
        {"2.5.4.10", V_ASN1_PRINTABLESTRING, "Firm Ltd"},
        {"2.5.4.11", V_ASN1_PRINTABLESTRING, ""},
        {"2.5.4.3", V_ASN1_PRINTABLESTRING, "Ivan Petrov"},
        {"1.2.840.113549.1.9.1", V_ASN1_IA5STRING, "Ivan.Petrov@Mail.example"},
    };
    test::ExpectRequestSubject(der, expected);

    const auto request = Children(Children(der).at(0).content);
    ASSERT_EQ(request.size(), 3u);
    const auto info = Children(request[0].content);
    ASSERT_EQ(info.size(), 4u);
    EXPECT_EQ(Whole(info[0]), std::string("\x02\x01\x00", 3));

    // The key as the provider exports it: GOST R 34.10-2012 with the exchange parameter set.
    const auto keyInfo = Children(info[2].content);
    const auto keyAlgorithm = Children(keyInfo.at(0).content);
    EXPECT_EQ(Whole(keyAlgorithm.at(0)), OidDer("1.2.643.7.1.1.1.1"));
    EXPECT_EQ(Whole(Children(keyAlgorithm.at(1).content).at(0)), OidDer("1.2.643.2.2.36.0"));
    const std::string publicKey = std::string(keyInfo.at(1).content.substr(1));
    EXPECT_EQ(param.PublicKey, UpperHex(publicKey));

    // Attributes: the system version, then the three extensions.
    EXPECT_EQ(info[3].tag, 0xA0);
    const auto attributes = Children(info[3].content);
    ASSERT_EQ(attributes.size(), 2u);
    const auto version = Children(attributes[0].content);
    EXPECT_EQ(Whole(version.at(0)), OidDer("1.3.6.1.4.1.311.13.2.3"));
    const auto versionValue = Children(version.at(1).content).at(0);
    EXPECT_EQ(versionValue.tag, 0x13);
    EXPECT_TRUE(
        std::regex_match(std::string(versionValue.content), std::regex(R"(\d+\.\d+\.\d+\.2)")))
        << versionValue.content;
    const auto extensionsAttribute = Children(attributes[1].content);
    EXPECT_EQ(Whole(extensionsAttribute.at(0)), OidDer("1.3.6.1.4.1.311.2.1.14"));
    const auto extensions = Children(Children(extensionsAttribute.at(1).content).at(0).content);
    ASSERT_EQ(extensions.size(), 3u);
    const struct {
        const char* oid;
        bool critical;
        std::string value;
    } expectedExtensions[] = {
        {"2.5.29.15", true, std::string("\x03\x02\x00\xC0", 4)},
        {"2.5.29.37", false, "\x30\x0A" + OidDer("1.3.6.1.5.5.7.3.2")},
        {"2.5.29.14", false, "\x04\x14" + Sha1(publicKey)},
    };
    for (size_t i = 0; i < 3; ++i) {
        const auto fields = Children(extensions[i].content);
        EXPECT_EQ(Whole(fields.at(0)), OidDer(expectedExtensions[i].oid)) << i;
        ASSERT_EQ(fields.size(), expectedExtensions[i].critical ? 3u : 2u) << i;
        if (expectedExtensions[i].critical) {
            EXPECT_EQ(Whole(fields[1]), "\x01\x01\xFF") << i;
        }
        EXPECT_EQ(fields.back().content, expectedExtensions[i].value) << i;
    }

    // The signature algorithm without parameters, and a 512-bit signature.
    EXPECT_EQ(Whole(request[1]), "\x30\x0A" + OidDer("1.2.643.7.1.1.3.2"));
    EXPECT_EQ(request[2].content.size(), 65u);
}

TEST_F(GostRequestTest, SignatureVerifiesWithTheOpensslTool) {
    TCertRequestParam param = Param();
    test::WriteFile(dir / "request.pem", FrameGostRequest(CreateGostRequest(param, registry)));
    const test::ToolResult verify =
        test::Openssl({"req", "-engine", "gost", "-verify", "-noout", "-in", dir / "request.pem"});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_NE(verify.err.find("verify OK"), std::string::npos) << verify.err;
}

TEST_F(GostRequestTest, Base64FilledLastLineLeavesNoEmptyLineBeforeEnd) {
    // The request's size moves with the common name; one of 57 neighbouring lengths gives a
    // Base64 text of a multiple of 76 characters.
    auto context = registry.providers()[0]->acquireNewKeySet("QUORIX_R1");
    context->generateExchangeKey();
    const std::string keyInfo = context->exportPublicKeyInfo();
    TCertRequestParam param = Param();
    std::string base64;
    for (int length = 1; length <= 57; ++length) {
        param.CommonName = std::string(static_cast<size_t>(length), 'x');
        const std::string der = BuildSignedRequest(param, *context, keyInfo);
        base64 = GostRequestBase64(der);
        if (((der.size() + 2) / 3 * 4) % 76 == 0)
            break;
    }
    const std::string pem = FrameGostRequest(base64);
    ASSERT_EQ(base64.size() % 78, 76u); // the last of its lines is full
    EXPECT_NE(
        pem.find(base64.substr(base64.size() - 76) + "\r\n-----END NEW CERTIFICATE REQUEST-----"),
        std::string::npos);
    EXPECT_TRUE(pem.starts_with("-----BEGIN NEW CERTIFICATE REQUEST-----\r\n"));
    EXPECT_TRUE(pem.ends_with("-----END NEW CERTIFICATE REQUEST-----"));
    for (const std::string& line : Split(pem, "\r\n"))
        EXPECT_TRUE(line.size() == 76 || line.starts_with("-----")) << line;
    // A PEM reader takes it as it is.
    test::WriteFile(dir / "filled.pem", pem);
    const test::ToolResult verify =
        test::Openssl({"req", "-engine", "gost", "-verify", "-noout", "-in", dir / "filled.pem"});
    EXPECT_EQ(verify.status, 0) << verify.err;
}

TEST(GostRequestBase64, LinesOf76CharactersJoinedByCrLf) {
    const struct {
        size_t bytes;
        std::vector<size_t> lineLengths; // the pieces between CR LF pairs
    } cases[] = {
        {0, {0}},      {1, {4}},        {54, {72}},         {57, {76}},
        {58, {76, 4}}, {114, {76, 76}}, {115, {76, 76, 4}},
    };
    for (const auto& c : cases) {
        const std::string text = GostRequestBase64(std::string(c.bytes, '\x5A'));
        std::vector<size_t> lengths;
        for (const std::string& line : Split(text, "\r\n"))
            lengths.push_back(line.size());
        EXPECT_EQ(lengths, c.lineLengths) << c.bytes;
    }
}

// Found before a container is made: a refused request leaves no key behind.
TEST_F(GostRequestTest, CharacterOutsideTheStringTypeFailsBeforeAContainerIsMade) {
    const struct {
        std::string TCertRequestParam::*field;
        const char* value;
        uint32_t code;
    } cases[] = {
        {&TCertRequestParam::Organization, "Firm@Ltd", kBadPrintableString},
        {&TCertRequestParam::Country, "R_", kBadPrintableString},
        {&TCertRequestParam::CommonName, "Иван", kBadPrintableString},
        {&TCertRequestParam::Email, "иван@mail.example", kBadIa5String},
    };
    int number = 0;
    for (const auto& c : cases) {
        TCertRequestParam param = Param();
        param.*c.field = c.value;
        param.Container = "QUORIX_R" + std::to_string(++number);
        try {
            CreateGostRequest(param, registry);
            ADD_FAILURE() << c.value;
        } catch (const EOSError& error) {
            EXPECT_TRUE(provider::HasCode(error, c.code)) << c.value << ": " << error.what();
        }
        EXPECT_TRUE(param.PublicKey.empty());
        EXPECT_FALSE(std::filesystem::exists(containers() + param.Container + ".key")) << c.value;
    }
}

TEST_F(GostRequestTest, AlgorithmChecks) {
    TCertRequestParam param = Param();
    param.AlgId = 0;
    try {
        CreateGostRequest(param, registry);
        ADD_FAILURE();
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), kUnknownAlgorithmText);
    }
    param = Param();
    param.Container = "QUORIX_R2";
    param.HashAlgId = provider::kAlgSha1;
    EXPECT_THROW(CreateGostRequest(param, registry), Exception);
    EXPECT_EQ(SignatureAlgorithmOid(provider::kAlgGost3411_2012_256), "1.2.643.7.1.1.3.2");
}

TEST_F(GostRequestTest, ExistingContainerIsRefusedAndKept) {
    TCertRequestParam param = Param();
    CreateGostRequest(param, registry);
    const std::string path = containers() + param.Container + ".key";
    const std::string before = test::ReadFile(path);
    try {
        CreateGostRequest(param, registry);
        ADD_FAILURE();
    } catch (const EOSError& error) {
        EXPECT_TRUE(provider::HasCode(error, provider::code::kExists)) << error.what();
    }
    EXPECT_EQ(test::ReadFile(path), before);
}

TEST(GostContainerName, PrefixAndSeventeenDigitsOfLocalTime) {
    EXPECT_EQ(GostContainerName(test::LocalMoment(2024, 1, 15, 9, 5, 7, 42)),
              "QUORIX_R20240115090507042");
    EXPECT_EQ(GostContainerName(test::LocalMoment(2031, 12, 31, 23, 59, 59, 999)).size(), 25u);
}

TEST(OsVersion, ReleaseNumbersAndTheNtPlatform) {
    const struct {
        const char* release;
        int major, minor, build;
    } cases[] = {
        {"6.1.0-18-amd64", 6, 1, 0},
        {"5.10.197", 5, 10, 197},
        {"6.8", 6, 8, 0},
        {"4.19.0+deb", 4, 19, 0},
        {"", 0, 0, 0},
        {"custom", 0, 0, 0},
    };
    for (const auto& c : cases) {
        const OsVersionInfo version = OsVersionFromRelease(c.release);
        EXPECT_EQ(version.major, c.major) << c.release;
        EXPECT_EQ(version.minor, c.minor) << c.release;
        EXPECT_EQ(version.build, c.build) << c.release;
        EXPECT_EQ(version.platformId, kNtPlatformId) << c.release;
    }
}

class ProviderListTest : public ::testing::Test {
protected:
    std::vector<std::string> Names(const std::vector<test::FakeProviderOptions>& fakes) {
        std::vector<std::string> names;
        for (const ProviderEntry& entry :
             QualifyingProviders(test::FakeRegistry(fakes, dir.path())))
            names.push_back(entry.Name);
        return names;
    }
    test::TempDir dir;
};

TEST_F(ProviderListTest, QualifyingProvidersInEnumerationOrder) {
    test::FakeProviderOptions refusing{"Refusing"};
    refusing.refusesVerifyContext = true;
    test::FakeProviderOptions withoutHash{"Without hash"};
    withoutHash.algorithms = {provider::kAlgSha1, provider::kAlgGost3411_2012_512};
    const std::vector<std::string> names =
        Names({{"Second GOST"}, refusing, withoutHash, {"First GOST"}});
    EXPECT_EQ(names, (std::vector<std::string>{"Second GOST", "First GOST"}));

    const auto entries = QualifyingProviders(test::FakeRegistry({{"Only"}}, dir.path()));
    EXPECT_EQ(entries.at(0).Info.ProvType, 80u);
    EXPECT_EQ(entries.at(0).Info.AlgId, 0x8021u);
    EXPECT_EQ(entries.at(0).Info.HashAlgId, 0x8021u);
}

TEST_F(ProviderListTest, NoQualifyingProviderRaisesTheText) {
    test::FakeProviderOptions refusing{"Refusing"};
    refusing.refusesVerifyContext = true;
    test::FakeProviderOptions withoutHash{"Without hash"};
    withoutHash.algorithms = {provider::kAlgSha1};
    for (const auto& fakes : std::vector<std::vector<test::FakeProviderOptions>>{
             {}, {refusing}, {withoutHash, refusing}}) {
        try {
            Names(fakes);
            ADD_FAILURE() << fakes.size();
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), kNoProviderText);
        }
    }
    // A missing engine, or one that does no GOST: the software provider is simply not there,
    // and the reason says which.
    struct Engine {
        std::string location;
        std::string problem;
    };
    for (const Engine& engine :
         {Engine{dir / "no-such-engine.so", "не найден или не загружается"},
          Engine{"no-such-engine", "не найден или не загружается"},
          Engine{CQ_TEST_ENGINE_MODULE, "не поддерживает ключи ГОСТ Р 34.10-2012 и хэширование "
                                        "ГОСТ Р 34.11-2012"}}) {
        std::string problem;
        EXPECT_EQ(provider::MakeSoftwareGostProvider(engine.location, dir.path(), &problem),
                  nullptr)
            << engine.location;
        EXPECT_NE(problem.find("\"" + engine.location + "\" " + engine.problem), std::string::npos)
            << problem;
    }
}

TEST_F(ProviderListTest, RequestIsMadeInTheSelectedOfTwoSameTypeProviders) {
    provider::ProviderRegistry registry = test::FakeRegistry({{"Alpha"}, {"Beta"}}, dir.path());
    TCertRequestParam param = Param();
    param.ProvName = "Beta";
    EXPECT_FALSE(CreateGostRequest(param, registry).empty());
    auto& alpha = dynamic_cast<test::FakeProvider&>(*registry.providers()[0]);
    auto& beta = dynamic_cast<test::FakeProvider&>(*registry.providers()[1]);
    EXPECT_EQ(alpha.newKeySets, 0);
    EXPECT_EQ(beta.newKeySets, 1);
}

} // namespace
} // namespace cq
