// The GOST road with the key on a token (the test token module, named by
// CERTQUORIX_PKCS11_MODULE) through certquorix-cli against the sandbox service: request,
// issue, download with the certificate written onto the token, check against the token's key;
// and what the user meets when the token or its PIN fails.
#include "CliFixture.h"
#include "RequestChecks.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "TestTokenFolder.h"
#include "base/IniFile.h"
#include "provider/SoftwareGostProvider.h"

#include <gtest/gtest.h>

#include <p11-kit/pkcs11.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <regex>

namespace cq {
namespace {

using test::ProcessResult;
using test::SandboxServer;

constexpr const char* kEmail = "ivan.petrov@mail.example";
constexpr const char* kToken = "Ivanov (QX-2)";

class CliTokenTest : public test::CliSandboxTest {
protected:
    void SetUp() override {
        CliSandboxTest::SetUp();
        cli.baseEnvironment = {"CERTQUORIX_CONTAINER_PASSWORD=pw", token.environment(),
                               std::string("CERTQUORIX_PKCS11_MODULE=") + test::TestTokenModule(),
                               "CERTQUORIX_TOKEN_PIN=1234"};
        cli.writeServiceSettings(*server,
                                 {{"UrlRequestGostCertificate", server->url("/gost/requp/")},
                                  {"UrlReceiveGostCertificate", server->url("/gost/certget/")}});
    }

    /// A request for the token's key; `pin` "" leaves the PIN out.
    ProcessResult request(const std::string& pin = "1234") {
        return cli.run({"request", "--gost", "--provider", kToken, "--email", kEmail, "--country",
                        "RU", "--state", "Moscow region", "--locality", "Moscow", "--organization",
                        "Firm Ltd", "--common-name", "Ivan Petrov"},
                       {pin.empty() ? "CERTQUORIX_TOKEN_PIN" : "CERTQUORIX_TOKEN_PIN=" + pin});
    }
    std::string folder() const { return cli.folder(kEmail); }
    static std::string ContainerOf(const ProcessResult& run) {
        std::smatch match;
        return std::regex_search(run.out, match, std::regex("QUORIX_R[0-9]{17}")) ? match.str()
                                                                                  : "";
    }
    /// The token's objects of one class.
    std::vector<std::map<unsigned long, std::string>> objectsOf(CK_OBJECT_CLASS objectClass) {
        std::vector<std::map<unsigned long, std::string>> found;
        const std::string wanted(reinterpret_cast<const char*>(&objectClass), sizeof objectClass);
        for (const auto& [handle, attributes] : token.objects())
            if (attributes.at(CKA_CLASS) == wanted)
                found.push_back(attributes);
        return found;
    }

    test::TestTokenFolder token;
};

TEST_F(CliTokenTest, RequestIssueDownloadOntoTheTokenAndCheck) {
    ProcessResult run = cli.run({"providers"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              std::string(provider::kSoftwareGostProviderName) + "\t80\n" + kToken + "\t80\n");

    run = request();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string container = ContainerOf(run);
    ASSERT_FALSE(container.empty()) << run.out;
    EXPECT_EQ(IniFile::Load(folder() + "Request.ini").ReadString("Cert", "Algorithm"), kToken);
    test::WriteFile(dir / "stored.pem", server->storedRequest(kEmail));
    const test::ToolResult verify =
        test::Openssl({"req", "-engine", "gost", "-verify", "-noout", "-in", dir / "stored.pem"});
    EXPECT_EQ(verify.status, 0) << verify.err;

    // A public certificate object needs no PIN on a token that keeps to the standard; a token
    // that wants a login for it gets the PIN.
    server->issue(kEmail);
    token.set("writelogin", "1");
    run = cli.run({"download", "--email", kEmail}, {"CERTQUORIX_TOKEN_PIN"});
    EXPECT_EQ(run.status, 2) << "no PIN to give";
    EXPECT_TRUE(objectsOf(CKO_CERTIFICATE).empty());
    token.set("writelogin", "0");
    run = cli.run({"download", "--email", kEmail, "--yes"}, {"CERTQUORIX_TOKEN_PIN"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ASSERT_EQ(objectsOf(CKO_CERTIFICATE).size(), 1u);
    token.set("writelogin", "1");
    const auto certificates = objectsOf(CKO_CERTIFICATE);
    ASSERT_EQ(certificates.size(), 1u);
    const auto keys = objectsOf(CKO_PRIVATE_KEY);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(certificates[0].at(CKA_LABEL), container);
    EXPECT_EQ(certificates[0].at(CKA_ID), keys[0].at(CKA_ID));
    const test::ToolResult der = test::Openssl(
        {"x509", "-engine", "gost", "-in", folder() + "Certificate.cer", "-outform", "DER"});
    EXPECT_EQ(certificates[0].at(CKA_VALUE), der.out);

    // A second download with --yes keeps one certificate on the token.
    run = cli.run({"download", "--email", kEmail, "--yes"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(objectsOf(CKO_CERTIFICATE).size(), 1u);

    // The check reads the token's public key: no PIN needed.
    run = cli.run({"check", "--email", kEmail}, {"CERTQUORIX_TOKEN_PIN"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Имя : Ivan Petrov"), std::string::npos) << run.out;

    token.remove();
    run = cli.run({"check", "--email", kEmail});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Крипто провайдер \"Ivanov (QX-2)\" не найден"), std::string::npos)
        << run.err;
}

TEST_F(CliTokenTest, ModulesOfTheAdministratorsSettingsThatCannotServeAreLoggedAndLeftOut) {
    // SoftHSM2 with a token of its own (no GOST), a module that is not there, and the test token
    // through the administrator's list rather than the variable.
    std::filesystem::create_directory(dir / "softhsm");
    test::WriteFile(dir / "softhsm2.conf", "directories.tokendir = " + dir / "softhsm" +
                                               "\nobjectstore.backend = file\nlog.level = ERROR\n");
    const std::string softHsmConf = "SOFTHSM2_CONF=" + (dir / "softhsm2.conf");
    ASSERT_EQ(test::RunProcess({"softhsm2-util", "--init-token", "--free", "--label", "Soft",
                                "--pin", "1234", "--so-pin", "5678"},
                               {softHsmConf})
                  .status,
              0);
    IniFile ini = IniFile::Load(dir / "CertQuorix.ini");
    ini.WriteString("GOST", "Pkcs11Modules",
                    "/usr/lib/softhsm/libsofthsm2.so; " + (dir / "missing.so") + ";" +
                        test::TestTokenModule());
    ini.Save(dir / "CertQuorix.ini");
    const ProcessResult run =
        cli.run({"providers"}, {softHsmConf, "CERTQUORIX_PKCS11_MODULE", "CERTQUORIX_TOKEN_PIN",
                                "CERTQUORIX_CONTAINER_PASSWORD"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              std::string(provider::kSoftwareGostProviderName) + "\t80\n" + kToken + "\t80\n");
    std::string log;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "Logs"))
        if (entry.is_regular_file())
            log += test::ReadFile(entry.path());
    for (const std::string& path :
         {std::string("/usr/lib/softhsm/libsofthsm2.so"), dir / "missing.so"})
        EXPECT_NE(log.find("PKCS#11 " + path), std::string::npos) << path;
}

TEST_F(CliTokenTest, TokenAndPinFailuresAreToldAndWriteNothing) {
    struct Case {
        const char* name;
        std::function<void(test::TestTokenFolder&)> arrange;
        std::string pin;
        int status;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"no token", [](auto& t) { t.remove(); }, "1234", 1, {"не установлен"}},
        // No terminal to ask at: the user learns how to give the PIN, in the token's words.
        {"no PIN and no terminal",
         [](auto&) {},
         "",
         2,
         {"PIN-код токена Ivanov (QX-2) не задан: укажите его в переменной CERTQUORIX_TOKEN_PIN",
          "Запрос отменён: PIN-код токена \"Ivanov (QX-2)\" не введён"}},
        {"wrong PIN", [](auto&) {}, "0000", 6, {"Неверный PIN-код токена \"Ivanov (QX-2)\""}},
        {"locked PIN",
         [](auto& t) { t.set("tries", "0"); },
         "1234",
         1,
         {"PIN-код токена \"Ivanov (QX-2)\" заблокирован"}},
    };
    for (const Case& failure : cases) {
        SCOPED_TRACE(failure.name);
        token.insert();
        token.set("tries", "3");
        failure.arrange(token);
        const ProcessResult run = request(failure.pin);
        EXPECT_EQ(run.status, failure.status) << run.out << run.err;
        for (const std::string& text : failure.says)
            EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("пароль контейнера"), std::string::npos) << run.err;
        EXPECT_TRUE(token.objects().empty());
        EXPECT_FALSE(std::filesystem::exists(folder()));
    }
}

TEST_F(CliTokenTest, TokenRemovedMidRequestIsToldAndSendsNothing) {
    token.set("removeat", "sign");
    const std::string stored = server->storedRequest(kEmail);
    const ProcessResult run = request();
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Токен \"Ivanov (QX-2)\" извлечён"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder()));
    EXPECT_EQ(server->storedRequest(kEmail), stored);
    // The key pair was made before the token went: it stays, and the error names its container.
    const std::string container = ContainerOf(run);
    EXPECT_NE(run.err.find("Контейнер ключей \"" + container + "\" создан и оставлен."),
              std::string::npos)
        << run.err;
    const auto keys = objectsOf(CKO_PRIVATE_KEY);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].at(CKA_LABEL), container);
}

} // namespace
} // namespace cq
