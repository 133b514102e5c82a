// The GOST road through certquorix-cli against the sandbox service, with the software provider
// and the GOST engine: providers, request, issue, download, check.
#include "RequestChecks.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "certs/GostRequest.h"
#include "certs/Submission.h"
#include "provider/SoftwareGostProvider.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <sys/stat.h>

namespace cq {
namespace {

using test::ProcessResult;
using test::SandboxServer;

constexpr const char* kEmail = "ivan.petrov@mail.example";

class CliGostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = std::make_unique<SandboxServer>(); }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        std::filesystem::copy_file(test::BuiltProgram("certquorix-cli"), dir / "certquorix-cli");
        test::InstallActTemplates(dir.path());
        server->writeClientCertificate(dir.path());
        server->setFault("");
        IniFile ini;
        ini.WriteString("HTTPS", "CaFile", server->caFile());
        ini.WriteString("HTTPS", "UrlRequestGostCertificate", server->url("/gost/requp/"));
        ini.WriteString("HTTPS", "UrlReceiveGostCertificate", server->url("/gost/certget/"));
        ini.WriteString("HTTPS", "UrlReceiveRSACertificate", server->url("/certget/"));
        ini.Save(dir / "CertQuorix.ini");
    }

    ProcessResult cli(std::vector<std::string> args,
                      std::vector<std::string> environment = {"CERTQUORIX_CONTAINER_PASSWORD=pw"}) {
        args.insert(args.begin(), dir / "certquorix-cli");
        for (const char* variable :
             {"https_proxy=", "HTTPS_PROXY=", "http_proxy=", "HTTP_PROXY=", "CERTQUORIX_PASSWORD="})
            environment.push_back(variable);
        environment.push_back("XDG_DATA_HOME=" + (dir / "xdg"));
        return test::RunProcess(args, environment);
    }
    ProcessResult request(const std::string& organization = "Firm Ltd",
                          std::vector<std::string> environment = {
                              "CERTQUORIX_CONTAINER_PASSWORD=pw"}) {
        return cli({"request", "--gost", "--email", kEmail, "--country", "RU", "--state",
                    "Moscow region", "--locality", "Moscow", "--organization", organization,
                    "--common-name", "Ivan Petrov"},
                   std::move(environment));
    }
    std::string containers() const { return dir.path() + "xdg/CertQuorix/containers/"; }
    std::string folder() const { return dir.path() + kEmail + "/"; }
    static std::string ContainerOf(const ProcessResult& run) {
        std::smatch match;
        return std::regex_search(run.out, match, std::regex("QUORIX_R[0-9]{17}")) ? match.str()
                                                                                  : "";
    }

    static std::unique_ptr<SandboxServer> server;
    test::TempDir dir;
};

std::unique_ptr<SandboxServer> CliGostTest::server;

TEST_F(CliGostTest, RequestIssueDownloadAndCheck) {
    ProcessResult run = cli({"providers"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(provider::kSoftwareGostProviderName) + "\t80\n");

    run = request();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string container = ContainerOf(run);
    ASSERT_FALSE(container.empty()) << run.out;
    EXPECT_NE(run.out.find(kRequestSentText), std::string::npos) << run.out;
    struct stat info {};
    ASSERT_EQ(::stat((containers() + container + ".key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The service got a request whose signature the engine verifies.
    test::WriteFile(dir / "stored.pem", server->storedRequest(kEmail));
    const test::ToolResult verify =
        test::Openssl({"req", "-engine", "gost", "-verify", "-noout", "-in", dir / "stored.pem"});
    EXPECT_EQ(verify.status, 0) << verify.err;

    EXPECT_EQ(cli({"download", "--email", kEmail}).status, 3) << "not issued yet";
    server->issue(kEmail);
    run = cli({"download", "--email", kEmail});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Сертификат успешно получен."), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Проверьте"), std::string::npos) << run.out;

    run = cli({"check", "--email", kEmail});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Действителен до даты - "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Имя : Ivan Petrov"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Издатель : CertQuorix Sandbox GOST CA"), std::string::npos) << run.out;

    run = cli({"check", "--email", kEmail}, {"CERTQUORIX_CONTAINER_PASSWORD=wrong"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("PIN"), std::string::npos) << run.err;
}

// A request of 57k, 57k-1 or 57k-2 bytes has Base64 that fills its last 76-character line, so
// the text sent carries an empty line before the END line. A first request measures each subject;
// padding its organization and locality then lands a request on the length wanted.
TEST_F(CliGostTest, RequestsWhoseBase64FillsTheLastLineAreTaken) {
    struct Subject {
        std::string commonName;
        std::string organization;
        std::string locality;
        size_t shortOfLine; // bytes short of a multiple of 57
    };
    const Subject subjects[] = {{"Ivan Petrov", "Firm", "Moscow", 0},
                                {"Anna Sidorova-Kuznetsova", "Bank", "Tver", 1},
                                {"Li", "Co", "Omsk", 2}};
    int number = 0;
    for (const Subject& subject : subjects) {
        SCOPED_TRACE(subject.commonName);
        const auto send = [&](size_t padding) {
            const std::string email = "s" + std::to_string(++number) + "@mail.example";
            const size_t third = padding / 3;
            const ProcessResult run = cli(
                {"request", "--gost", "--email", email, "--country", "RU", "--state", "Moscow",
                 "--locality", subject.locality + std::string(third, 'l'), "--organization",
                 subject.organization + std::string(third, 'o'), "--unit",
                 "U" + std::string(padding - 2 * third, 'u'), "--common-name", subject.commonName});
            EXPECT_EQ(run.status, 0) << run.out << run.err;
            test::WriteFile(dir / "stored.pem", server->storedRequest(email));
            const test::ToolResult der = test::Openssl(
                {"req", "-in", dir / "stored.pem", "-outform", "DER", "-out", dir / "stored.der"});
            EXPECT_EQ(der.status, 0) << der.err;
            return static_cast<size_t>(std::filesystem::file_size(dir / "stored.der"));
        };
        // A length field that grows by a byte can add one to the result, or skip the length
        // wanted: aim again from there, or at the next multiple.
        size_t padding = 0;
        size_t length = send(padding);
        size_t wanted = (length + subject.shortOfLine + 56) / 57 * 57;
        for (int aim = 0; aim < 4 && length + subject.shortOfLine != wanted; ++aim) {
            if (length + subject.shortOfLine > wanted)
                wanted += 57;
            padding = padding + wanted - subject.shortOfLine - length;
            length = send(padding);
        }
        EXPECT_EQ((length + subject.shortOfLine) % 57, 0u) << length;
        EXPECT_EQ((length + 2) / 3 * 4 % 76, 0u) << "Base64 of " << length << " bytes";
    }
}

// A key container that is a pipe nobody writes to is refused at once, naming it.
TEST_F(CliGostTest, ContainerThatIsAPipeIsRefusedNamingIt) {
    const ProcessResult made = request();
    ASSERT_EQ(made.status, 0) << made.err;
    server->issue(kEmail);
    ASSERT_EQ(cli({"download", "--email", kEmail}).status, 0);
    const std::string container = containers() + ContainerOf(made) + ".key";
    std::filesystem::remove(container);
    ASSERT_EQ(::mkfifo(container.c_str(), 0600), 0);
    const ProcessResult run = cli({"check", "--email", kEmail});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("\"" + container + "\""), std::string::npos) << run.err;
}

TEST_F(CliGostTest, CertificateOfAnEarlierRequestIsToldApart) {
    ASSERT_EQ(request().status, 0);
    server->issue(kEmail);
    ASSERT_EQ(cli({"download", "--email", kEmail}).status, 0);
    // Without --yes and without a terminal the working certificate's record is kept.
    const ProcessResult refused = request();
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos) << refused.err;
    EXPECT_EQ(cli({"check", "--email", kEmail}).status, 0);

    // Refused by the service, the repeat puts the older act and record back and names the
    // container it leaves.
    const std::vector<std::string> repeat = {
        "request",  "--gost",        "--yes",         "--email",    kEmail,   "--country",
        "RU",       "--state",       "Moscow region", "--locality", "Moscow", "--organization",
        "Firm Ltd", "--common-name", "Ivan Petrov"};
    server->setFault("status500");
    const ProcessResult failed = cli(repeat, {"CERTQUORIX_CONTAINER_PASSWORD=pw"});
    server->setFault("");
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("\"" + ContainerOf(failed) + "\" создан и оставлен"),
              std::string::npos)
        << failed.err;
    EXPECT_EQ(cli({"check", "--email", kEmail}).status, 0);

    const ProcessResult again = cli(repeat, {"CERTQUORIX_CONTAINER_PASSWORD=pw"});
    ASSERT_EQ(again.status, 0) << again.err;
    const ProcessResult run = cli({"check", "--email", kEmail});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("не соответствует контейнеру ключей \"" + ContainerOf(again)),
              std::string::npos)
        << run.err;
}

TEST_F(CliGostTest, CancelledPasswordWritesNothing) {
    // No variable and no terminal: the dialog cannot be answered, which counts as a cancel.
    const std::string stored = server->storedRequest(kEmail);
    const ProcessResult run = request("Firm Ltd", {});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder()));
    EXPECT_FALSE(std::filesystem::exists(containers()));
    EXPECT_EQ(server->storedRequest(kEmail), stored) << "nothing was sent";
}

TEST_F(CliGostTest, EncodingErrorKeepsTheContainerAndWritesNoFolder) {
    const ProcessResult run = request("Firm@Ltd");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Строка содержит непечатаемый символ."), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::exists(containers() + ContainerOf(run) + ".key")) << run.out;
    EXPECT_FALSE(std::filesystem::exists(folder()));
}

TEST_F(CliGostTest, EngineIsFoundByItsPathToo) {
    const ProcessResult run =
        cli({"providers"}, {"CERTQUORIX_GOST_ENGINE=" + provider::GostEnginePath()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(provider::kSoftwareGostProviderName) + "\t80\n");
}

TEST_F(CliGostTest, MissingEngineLeavesNoProvider) {
    const std::vector<std::string> noEngine = {"CERTQUORIX_GOST_ENGINE=" + (dir / "none.so")};
    ProcessResult run = cli({"providers"}, noEngine);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, std::string(kNoProviderText) + "\n");
    run = request("Firm Ltd", noEngine);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kNoProviderText), std::string::npos) << run.err;
}

} // namespace
} // namespace cq
