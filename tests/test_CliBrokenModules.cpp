// Deliberately broken PKCS#11 modules (tests/token/BrokenModule.cpp) configured beside the test
// token: whatever the module does (crash, abort, hang in C_Initialize, a function list without
// C_GetTokenInfo, 2^30 slots), the tool answers, lists the other providers, names the module it
// left out, works with the software provider without loading any module and with the token of
// a sound module.
#include "CliFixture.h"
#include "SandboxServer.h"
#include "TestSupport.h"
#include "TestTokenFolder.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "provider/SoftwareGostProvider.h"

#include <gtest/gtest.h>

#include <string>

namespace cq {
namespace {

using test::ProcessResult;

constexpr const char* kEmail = "ivan.petrov@mail.example";
constexpr const char* kToken = "Ivanov (QX-2)";

std::string BrokenModule(const std::string& fault) {
    return std::string(CQ_BROKEN_MODULE_DIR) + "/libcq_broken_" + fault + ".so";
}

class CliBrokenModuleTest : public test::CliSandboxTest,
                            public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        CliSandboxTest::SetUp();
        cli.baseEnvironment = {"CERTQUORIX_CONTAINER_PASSWORD=pw", token.environment(),
                               "CERTQUORIX_PKCS11_MODULE", "CERTQUORIX_TOKEN_PIN=1234",
                               "CQ_BROKEN_MODULE_MARK=" + mark()};
        // A guard against a run that never ends, not a measure of time: a hanging tool is
        // killed and its status says so.
        cli.runner = {"timeout", "-s", "KILL", "120"};
        cli.writeServiceSettings(*server,
                                 {{"UrlRequestGostCertificate", server->url("/gost/requp/")},
                                  {"UrlReceiveGostCertificate", server->url("/gost/certget/")}});
        IniFile ini = IniFile::Load(dir / "CertQuorix.ini");
        ini.WriteString("GOST", "Pkcs11Modules", module() + ";" + test::TestTokenModule());
        ini.Save(dir / "CertQuorix.ini");
    }

    std::string module() const { return BrokenModule(GetParam()); }
    std::string mark() const { return dir / "loads.txt"; }
    bool moduleLoaded() const { return FileExists(mark()); }

    ProcessResult request(const std::string& provider) {
        return cli.run({"request", "--gost", "--provider", provider, "--email", kEmail, "--country",
                        "RU", "--state", "Moscow region", "--locality", "Moscow", "--organization",
                        "Firm Ltd", "--common-name", "Ivan Petrov"});
    }

    test::TestTokenFolder token;
};

TEST_P(CliBrokenModuleTest, SoftwareProviderFolderNeedsNoModule) {
    ProcessResult run = request(provider::kSoftwareGostProviderName);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    server->issue(kEmail);
    run = cli.run({"download", "--email", kEmail, "--yes"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    run = cli.run({"check", "--email", kEmail});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_FALSE(moduleLoaded()) << test::ReadFile(mark());
}

TEST_P(CliBrokenModuleTest, ProvidersListTheOthersAndNameTheModule) {
    const ProcessResult run = cli.run({"providers"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out,
              std::string(provider::kSoftwareGostProviderName) + "\t80\n" + kToken + "\t80\n");
    EXPECT_NE(run.err.find("Модуль PKCS#11 " + module() + " не используется"), std::string::npos)
        << run.err;
}

TEST_P(CliBrokenModuleTest, TokenOfASoundModuleStillServes) {
    const ProcessResult run = request(kToken);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(IniFile::Load(cli.folder(kEmail) + "Request.ini").ReadString("Cert", "Algorithm"),
              kToken);
}

INSTANTIATE_TEST_SUITE_P(Faults, CliBrokenModuleTest,
                         ::testing::Values("segv", "abort", "hang", "nulltokeninfo", "hugeslots"));

} // namespace
} // namespace cq
